// Wall looks painted into the arena pictures.
//
// Every pixel of a wall cell knows how far it lies from open space: the
// nearest free cell among its eight neighbours (the board's edge counts as
// more wall, the structure going on off screen). Rims, bevels and grooves
// follow that distance, and textures run in screen coordinates, so cells
// that touch share one surface with no border between them, outer corners
// come out mitred and inner corners rounded. Open space beside a wall gets
// the wall's shadow toward the lower right.
#include "LevelArt.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "Paint.h"
#include "PlayPaint.h"

using play::Clamp01;
using play::Diffuse;
using play::Fbm2;
using play::Hash01;
using play::Normalize;
using play::Specular;
using play::Tone;
using play::ToneIndex;
using play::ValueNoise2;
using play::Vec3;

namespace {

constexpr int kCell = 32;
constexpr int kBoardHeight = kLevelRows * kCell;  // 448: the status panels lie below

bool WallAt(const WallFlags& walls, int x, int y) {
    // Off the board the structure goes on: no rim along the screen's edge.
    if (x < 0 || y < 0 || x >= kLevelColumns || y >= kLevelRows) return true;
    return walls[static_cast<size_t>(x * kLevelRows + y)];
}

// Distance from a wall pixel to the nearest free cell, and the unit vector
// pointing there (the outward direction of the rim).
struct Edge {
    float d = 64.f;
    float nx = 0.f, ny = 0.f;
};

Edge EdgeAt(const WallFlags& walls, int px, int py) {
    const int cx = px / kCell, cy = py / kCell;
    const float fx = static_cast<float>(px) + 0.5f, fy = static_cast<float>(py) + 0.5f;
    Edge e;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            if ((dx == 0 && dy == 0) || WallAt(walls, cx + dx, cy + dy)) continue;
            const float l = static_cast<float>((cx + dx) * kCell), t = static_cast<float>((cy + dy) * kCell);
            const float qx = std::clamp(fx, l, l + kCell), qy = std::clamp(fy, t, t + kCell);
            const float d = std::hypot(qx - fx, qy - fy);
            if (d < e.d) {
                e.d = d;
                e.nx = (qx - fx) / d;
                e.ny = (qy - fy) / d;
            }
        }
    return e;
}

// The normal of a bevel that falls toward open space with slope `s`.
Vec3 BevelNormal(const Edge& e, float s) { return Normalize({e.nx * s, e.ny * s, 1.f}); }

float Lit(Vec3 n, float base, float diffuse, float shine, float power) {
    return base + diffuse * Diffuse(n) + shine * play::Specular(n, power);
}

// ---------------------------------------------------------------- designs

// Steel hull plates: a dark outline, a bevelled rim, a groove with a row of
// rivets inside it, and brushed metal across the face.
uint8_t Plating(const Edge& e, int px, int py) {
    if (e.d < 1.f) return ToneIndex(Tone::Grey, 0.06f, px, py);
    if (e.d < 5.f) return ToneIndex(Tone::Steel, Lit(BevelNormal(e, 1.1f), 0.08f, 0.7f, 0.25f, 14.f), px, py);
    if (e.d < 6.5f) return ToneIndex(Tone::Steel, 0.1f, px, py);
    if (e.d < 8.f) return ToneIndex(Tone::Steel, Lit(BevelNormal(e, -0.9f), 0.1f, 0.55f, 0.f, 1.f), px, py);
    // rivets on a 16-pixel grid where the trim runs
    const float gx = std::fmod(static_cast<float>(px), 16.f) - 7.5f,
                gy = std::fmod(static_cast<float>(py), 16.f) - 7.5f;
    const float r = std::hypot(gx, gy);
    if (e.d < 14.f && r < 2.3f) {
        const Vec3 n = Normalize({gx / 2.3f, gy / 2.3f, std::sqrt(std::max(0.f, 1.f - r * r / 5.3f))});
        return ToneIndex(Tone::Grey, Lit(n, 0.15f, 0.6f, 0.45f, 10.f), px, py);
    }
    if (e.d < 14.f && r < 3.f) return ToneIndex(Tone::Steel, 0.12f, px, py);
    const float brushed = ValueNoise2(static_cast<float>(px) / 37.f, static_cast<float>(py) / 1.7f, 0x5E1u) - 0.5f;
    const float cloud = Fbm2(static_cast<float>(px) / 70.f, static_cast<float>(py) / 70.f, 3, 0x5E2u) - 0.5f;
    return ToneIndex(Tone::Steel, 0.34f + 0.07f * brushed + 0.12f * cloud, px, py);
}

// Violet crystal: facets of a jittered cell pattern, each with its own tilt,
// bright lines where facets meet, and a cyan glow along the rim.
uint8_t Crystal(const Edge& e, int px, int py) {
    if (e.d < 1.5f) return ToneIndex(Tone::Cyan, 0.92f - 0.25f * e.d, px, py);
    if (e.d < 4.f) return ToneIndex(Tone::Cyan, Lit(BevelNormal(e, 1.3f), 0.15f, 0.5f, 0.2f, 12.f), px, py);
    constexpr float kSize = 21.f;
    const float fx = static_cast<float>(px) / kSize, fy = static_cast<float>(py) / kSize;
    const int ix = static_cast<int>(std::floor(fx)), iy = static_cast<int>(std::floor(fy));
    float d1 = 1e9f, d2 = 1e9f;
    int bx = 0, by = 0;
    for (int j = -1; j <= 1; ++j)
        for (int i = -1; i <= 1; ++i) {
            const float sx = static_cast<float>(ix + i) + 0.15f + 0.7f * Hash01(ix + i, iy + j, 0xC1u);
            const float sy = static_cast<float>(iy + j) + 0.15f + 0.7f * Hash01(ix + i, iy + j, 0xC2u);
            const float d = std::hypot(fx - sx, fy - sy);
            if (d < d1) {
                d2 = d1;
                d1 = d;
                bx = ix + i;
                by = iy + j;
            } else if (d < d2) {
                d2 = d;
            }
        }
    if ((d2 - d1) * kSize < 1.2f) return ToneIndex(Tone::Violet, 0.5f, px, py);
    const Vec3 n = Normalize({Hash01(bx, by, 0xC3u) - 0.5f, Hash01(bx, by, 0xC4u) - 0.5f, 0.9f});
    const float depth = Clamp01((e.d - 4.f) / 20.f);
    return ToneIndex(Tone::Violet, Lit(n, 0.04f, 0.36f, 0.25f, 20.f) - 0.1f * depth, px, py);
}

// Asteroid rock: a rim that wanders a little, craggy bronze lit from the
// upper left, and dark pits.
uint8_t Rock(const Edge& e, int px, int py) {
    const float x = static_cast<float>(px), y = static_cast<float>(py);
    const float d = e.d + 2.4f * (Fbm2(x / 7.f, y / 7.f, 3, 0xA1u) - 0.35f);
    if (d < 1.2f) return ToneIndex(Tone::Gold, 0.03f, px, py);
    auto height = [](float hx, float hy) { return Fbm2(hx / 16.f, hy / 16.f, 4, 0xA2u); };
    const float hx = (height(x + 1.f, y) - height(x - 1.f, y)) * 6.f;
    const float hy = (height(x, y + 1.f) - height(x, y - 1.f)) * 6.f;
    Vec3 n = Normalize({-hx, -hy, 1.f});
    if (d < 6.f) {
        const Vec3 b = BevelNormal(e, 1.2f * (1.f - d / 6.f));
        n = Normalize({n.x + b.x, n.y + b.y, n.z + b.z});
    }
    float v = Lit(n, 0.03f, 0.42f, 0.06f, 8.f);
    if (Fbm2(x / 5.f, y / 5.f, 2, 0xA3u) > 0.68f) v *= 0.5f;
    return ToneIndex(Tone::Gold, v, px, py);
}

// A dark hexagonal lattice with fire glowing in its seams and a hot rim.
uint8_t Ember(const Edge& e, int px, int py) {
    if (e.d < 1.f) return ToneIndex(Tone::Fire, 0.45f, px, py);
    if (e.d < 4.5f) return ToneIndex(Tone::Grey, Lit(BevelNormal(e, 1.1f), 0.05f, 0.55f, 0.2f, 12.f), px, py);
    // hexagons of 9 pixels' radius in axial coordinates
    constexpr float kR = 9.f;
    const float x = static_cast<float>(px) / kR, y = static_cast<float>(py) / kR;
    const float q = (std::sqrt(3.f) / 3.f * x - y / 3.f), r = 2.f / 3.f * y;
    // round to the nearest hexagon
    float cx = q, cz = r, cy = -q - r;
    float rx = std::round(cx), ry = std::round(cy), rz = std::round(cz);
    const float ex = std::fabs(rx - cx), ey = std::fabs(ry - cy), ez = std::fabs(rz - cz);
    if (ex > ey && ex > ez)
        rx = -ry - rz;
    else if (ey > ez)
        ry = -rx - rz;
    else
        rz = -rx - ry;
    // offset from the hexagon's centre, in pixels
    const float hcx = kR * std::sqrt(3.f) * (rx + rz / 2.f), hcy = kR * 1.5f * rz;
    const float ox = static_cast<float>(px) + 0.5f - hcx, oy = static_cast<float>(py) + 0.5f - hcy;
    // distance to the hexagon's border (pointy-top hexagon)
    const float ax = std::fabs(ox), ay = std::fabs(oy);
    const float inside = kR * std::sqrt(3.f) / 2.f - std::max(ax, ax * 0.5f + ay * std::sqrt(3.f) / 2.f);
    const float glow = Fbm2(static_cast<float>(px) / 50.f, static_cast<float>(py) / 50.f, 3, 0xE1u);
    if (inside < 1.3f) return ToneIndex(Tone::Fire, 0.35f + 0.5f * glow, px, py);
    const float s = inside < 3.f ? 0.8f : 0.f;
    const float len = std::max(0.001f, std::hypot(ox, oy));
    const Vec3 n = Normalize({ox / len * s, oy / len * s, 1.f});
    return ToneIndex(
        Tone::Grey,
        Lit(n, 0.06f, 0.3f, 0.1f, 10.f) + 0.05f * (Hash01(static_cast<int>(rx), static_cast<int>(rz), 0xE2u) - 0.5f),
        px, py);
}

using Design = uint8_t (*)(const Edge&, int, int);
const Design kDesigns[] = {Plating, Crystal, Rock, Ember};
static_assert(sizeof(kDesigns) / sizeof(kDesigns[0]) == kWallStyles.size());

// For each of the picture's own colours, the one nearest to it at half its
// brightness: the shadow a wall throws on the nebula behind it.
void ShadowColours(const Palette& palette, uint8_t (&darker)[128]) {
    darker[0] = 0;
    for (int i = 1; i < 128; ++i) {
        const Rgb c = palette.entries[i];
        const float r = c.r * 0.45f, g = c.g * 0.45f, b = c.b * 0.45f;
        float best = 1e9f;
        darker[i] = static_cast<uint8_t>(i);
        for (int k = 1; k < 128; ++k) {
            const Rgb o = palette.entries[k];
            const float dist = (o.r - r) * (o.r - r) + (o.g - g) * (o.g - g) + (o.b - b) * (o.b - b);
            if (dist < best) {
                best = dist;
                darker[i] = static_cast<uint8_t>(k);
            }
        }
    }
}

}  // namespace

void PaintWalls(Canvas& picture, const Palette& palette, const WallFlags& walls, int style) {
    const Design design = kDesigns[std::clamp(style, 0, static_cast<int>(kWallStyles.size()) - 1)];
    uint8_t darker[128];
    ShadowColours(palette, darker);
    constexpr int kShadow = 6;
    for (int py = 0; py < kBoardHeight; ++py)
        for (int px = 0; px < kLevelColumns * kCell; ++px) {
            const int cx = px / kCell, cy = py / kCell;
            if (walls[static_cast<size_t>(cx * kLevelRows + cy)]) {
                picture.Set(px, py, design(EdgeAt(walls, px, py), px, py));
                continue;
            }
            // open space: in shadow when a wall lies just up and to the left
            const int sx = px - kShadow, sy = py - kShadow;
            if (sx < 0 || sy < 0) continue;
            if (!walls[static_cast<size_t>((sx / kCell) * kLevelRows + sy / kCell)]) continue;
            const uint8_t v = picture.Get(px, py);
            if (v < 128) picture.Set(px, py, darker[v]);
        }
}
