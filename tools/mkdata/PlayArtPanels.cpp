// Panels and blocks of the arena: the (clear) wall tile and the status-bar
// panel ("walls.dat"), the level intro / exit box ("RutNat.dat") and the trophy
// shown after the last level ("Complete.dat").
#include <algorithm>
#include <cmath>
#include <string>

#include "Paint.h"
#include "PlayPaint.h"
#include "gfx/ImageSlots.h"
#include "match/IntroPanel.h"
#include "match/WallSheet.h"

namespace play {
namespace {

// ---------------------------------------------------------------- text

// Engraved or embossed lettering from a coverage mask: a gradient fill along
// `tone`, lit from the upper left by the mask's own slope, with an optional
// dark outline.
void Letter(Canvas& c, const paint::Mask& m, int x, int y, Tone tone, float top, float bottom, uint8_t outline,
            int outlineWidth, float emboss = 0.f) {
    if (outline != 0 && outlineWidth > 0) {
        paint::Mask o = paint::Dilate(m, outlineWidth);
        for (int j = 0; j < o.height; ++j)
            for (int i = 0; i < o.width; ++i)
                if (o.At(i, j) >= 0.4f) c.Set(x - outlineWidth + i, y - outlineWidth + j, outline);
    }
    int inkTop = m.height, inkBottom = -1;
    for (int j = 0; j < m.height; ++j)
        for (int i = 0; i < m.width; ++i)
            if (m.At(i, j) > 0.f) {
                inkTop = std::min(inkTop, j);
                inkBottom = std::max(inkBottom, j);
            }
    const float span = static_cast<float>(std::max(1, inkBottom - inkTop));
    paint::Mask soft = emboss > 0.f ? paint::Blur(m, 1) : m;
    const int pad = emboss > 0.f ? 2 : 0;
    for (int j = 0; j < m.height; ++j)
        for (int i = 0; i < m.width; ++i) {
            float cov = m.At(i, j);
            if (cov < 0.5f) continue;
            float v = Mix(top, bottom, Clamp01((j - inkTop) / span));
            if (emboss > 0.f) {
                float gx = soft.At(i + pad + 1, j + pad) - soft.At(i + pad - 1, j + pad);
                float gy = soft.At(i + pad, j + pad + 1) - soft.At(i + pad, j + pad - 1);
                v += emboss * (gx + gy);  // slopes facing the light are brighter
            }
            c.Set(x + i, y + j, ToneIndex(tone, v, x + i, y + j, 0.5f));
        }
}

paint::Mask Text(const std::string& face, const std::string& text, int size, int tracking = 0, float xScale = 1.f) {
    paint::TextFace f(paint::FontFile(face));
    return f.Render(text, size, tracking, xScale);
}

// Top row of ink in a mask (the cap line of upper-case text).
int InkTop(const paint::Mask& m) {
    for (int j = 0; j < m.height; ++j)
        for (int i = 0; i < m.width; ++i)
            if (m.At(i, j) >= 0.5f) return j;
    return 0;
}

// ---------------------------------------------------------------- metal

float BrushNoise(int x, int y, uint32_t seed) {
    return paint::ValueNoise(x * 0.07f, y * 1.3f, seed) * 0.7f + paint::ValueNoise(x * 0.6f, y * 0.6f, seed + 9) * 0.3f;
}

// A bevelled metal plate: `bevel` pixels of lit top/left and shaded
// bottom/right edges around a brushed face; a dark one-pixel rim.
void Plate(Canvas& c, int left, int top, int right, int bottom, int bevel, Tone tone, float face, uint32_t seed) {
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) {
            int dl = x - left, dt = y - top, dr = right - 1 - x, db = bottom - 1 - y;
            int edge = std::min(std::min(dl, dt), std::min(dr, db));
            float v;
            if (edge == 0) {
                v = 0.04f;
            } else if (edge <= bevel) {
                bool lit = std::min(dl, dt) <= std::min(dr, db);
                float k = 1.f - static_cast<float>(edge - 1) / std::max(1, bevel);
                v = lit ? face + 0.25f + 0.15f * k : face - 0.2f - 0.1f * k;
            } else {
                v = face + 0.12f * (BrushNoise(x, y, seed) - 0.5f) +
                    0.08f * (1.f - static_cast<float>(dt) / std::max(1, bottom - top));
            }
            c.Set(x, y, ToneIndex(tone, v, x, y, 0.5f));
        }
}

// A recessed well: shaded top/left lip, lit bottom/right lip, dark floor.
void Well(Canvas& c, int left, int top, int right, int bottom, Tone floorTone, float floor) {
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) {
            int dl = x - left, dt = y - top, dr = right - 1 - x, db = bottom - 1 - y;
            uint8_t idx;
            if (dl == 0 || dt == 0)
                idx = ToneIndex(Tone::Grey, 0.05f, x, y, 0.f);
            else if (dr == 0 || db == 0)
                idx = ToneIndex(Tone::Grey, 0.62f, x, y, 0.f);
            else if (dl == 1 || dt == 1)
                idx = ToneIndex(floorTone, floor * 0.4f, x, y, 0.f);
            else
                idx = ToneIndex(floorTone, floor + 0.03f * static_cast<float>(db) / std::max(1, bottom - top), x, y,
                                0.4f);
            c.Set(x, y, idx);
        }
}

void Rivet(Canvas& c, float cx, float cy, float r) {
    ShadeRect(
        c, static_cast<int>(cx - r - 1), static_cast<int>(cy - r - 1), static_cast<int>(2 * r + 3),
        static_cast<int>(2 * r + 3),
        [&](float x, float y) -> Ink {
            float dx = x - (r + 1.f) - (cx - std::floor(cx)), dy = y - (r + 1.f) - (cy - std::floor(cy));
            float d = std::sqrt(dx * dx + dy * dy);
            if (d > r + 0.6f) return Ink{};
            if (d > r) return Solid(Tone::Grey, 0.08f);
            float nz = std::sqrt(std::max(0.f, 1.f - (d / r) * (d / r)));
            Vec3 n = Normalize({dx / r, dy / r, nz});
            return Solid(Tone::Grey, 0.2f + 0.6f * Diffuse(n) + 0.5f * Specular(n, 12.f));
        },
        ShadeOptions{3, 0.4f, true});
}

// ---------------------------------------------------------------- status panel

// Panel-relative places the game writes into (left, top of the panel at 0, 0).
constexpr int kPanelW = kStatusPanelWidth;
constexpr int kPanelH = kStatusPanelHeight;

void BuildStatusPanel(Canvas& sheet, int ox, int oy) {
    Canvas p(kPanelW, kPanelH, 0);
    Plate(p, 0, 0, kPanelW, kPanelH, 2, Tone::Grey, 0.36f, 0x5EEDu);
    // lives: label and slot (marks at 29 + 13i, rows 2..6)
    Well(p, 39, 1, 104, 9, Tone::Steel, 0.04f);
    // vent grille between the lives and the name
    for (int k = 0; k < 11; ++k) {
        int x = 110 + k * 8;
        Well(p, x, 3, x + 5, 8, Tone::Grey, 0.05f);
    }
    // name well (small font at 209..211, row 1)
    Well(p, 205, 0, 308, 15, Tone::Steel, 0.05f);
    // length and shield numbers (row 15), the shield bar (195..302, rows 17..27)
    Well(p, 73, 13, 130, 30, Tone::Steel, 0.05f);
    Well(p, 157, 13, 192, 30, Tone::Steel, 0.05f);
    Well(p, 193, 15, 304, 29, Tone::Steel, 0.03f);
    // tick marks under the bar every tenth of its length
    for (int k = 0; k <= 10; ++k) {
        int x = 195 + (k * 106) / 10;
        p.Set(x, 28, ToneIndex(Tone::Grey, k % 5 == 0 ? 0.85f : 0.55f, x, 28, 0.f));
    }
    // emblem: a small lit lens with the worm's glow in it
    ShadeRect(
        p, 5, 11, 18, 18,
        [](float x, float y) -> Ink {
            float dx = x - 9.f, dy = y - 9.f;
            float r = std::sqrt(dx * dx + dy * dy);
            if (r > 8.6f) return Ink{};
            if (r > 6.8f) {
                float w = (r - 7.7f) / 0.9f;
                Vec3 n = Normalize({dx / r * w, dy / r * w, std::sqrt(std::max(0.f, 1.f - w * w))});
                return Solid(Tone::Grey, 0.2f + 0.6f * Diffuse(n) + 0.4f * Specular(n, 10.f));
            }
            float glow = std::exp(-r * r / 10.f);
            float swirl = 0.5f + 0.5f * std::cos(2.f * std::atan2(dy, dx) + r * 0.9f);
            return Solid(Tone::Cyan, 0.05f + 0.75f * glow + 0.2f * swirl * (1.f - r / 7.f));
        },
        ShadeOptions{3, 0.4f, true});
    // labels, engraved in gold
    paint::Mask lives = Text("DejaVuSans-Bold.ttf", "LIVES", 8, 0, 0.95f);
    paint::Mask len = Text("DejaVuSans-Bold.ttf", "LEN", 9);
    paint::Mask shld = Text("DejaVuSans-Bold.ttf", "SHLD", 9, 0, 0.85f);
    Letter(p, lives, 6, 1 - InkTop(lives) + 1, Tone::Gold, 0.85f, 0.55f, 0, 0);
    Letter(p, len, 71 - len.width, 17 - InkTop(len), Tone::Gold, 0.85f, 0.55f, 0, 0);
    Letter(p, shld, 156 - shld.width, 17 - InkTop(shld), Tone::Gold, 0.85f, 0.55f, 0, 0);
    Rivet(p, 30.f, 25.f, 1.8f);
    sheet.Paste(p, 0, 0, kPanelW, kPanelH, ox, oy, false);
}

// ---------------------------------------------------------------- intro panel

float RoundedBoxSdf(float x, float y, float l, float t, float r, float b, float rad) {
    float cx = std::clamp(x, l + rad, r - rad), cy = std::clamp(y, t + rad, b - rad);
    float dx = x - cx, dy = y - cy;
    float inside = std::max(std::max(l - x, x - r), std::max(t - y, y - b));
    if (dx == 0.f && dy == 0.f) return std::min(inside, 0.f) - rad;
    return std::sqrt(dx * dx + dy * dy) - rad;
}

// Normal of a rounded rim running along a rounded box, `w` -1 (inner edge)
// .. 1 (outer edge), pointing away from the box's centre line.
Vec3 RimNormal(float x, float y, float w, float boxW, float boxH) {
    float ax = std::min(x, boxW - x) / boxW, ay = std::min(y, boxH - y) / boxH;
    float gx = x < boxW / 2 ? -1.f : 1.f, gy = y < boxH / 2 ? -1.f : 1.f;
    return ax < ay ? Normalize({gx * w, 0.f, 1.f}) : Normalize({0.f, gy * w, 1.f});
}

Canvas IntroPanel() {
    constexpr int kW = kIntroPanelWidth, kH = kIntroPanelHeight;
    // The glass band ends this far in; the inner rim and a dark line follow,
    // then the screen the titles are written on.
    constexpr float kGlassIn = kIntroScreenInset - 2;
    Canvas c(kW, kH, 0);
    ShadeRect(
        c, 0, 0, kW, kH,
        [&](float x, float y) -> Ink {
            const float outer = RoundedBoxSdf(x, y, 0.5f, 0.5f, kW - 0.5f, kH - 0.5f, 16.f);
            if (outer > 0.f) return Ink{};
            const float depth = -outer;
            const int px = static_cast<int>(x), py = static_cast<int>(y);
            if (depth < 3.f) {
                // outer rim, rounded
                return Solid(Tone::Steel, 0.18f + 0.6f * Diffuse(RimNormal(x, y, 1.f - depth / 1.5f, kW, kH)) +
                                              0.45f * Specular(RimNormal(x, y, 1.f - depth / 1.5f, kW, kH), 14.f));
            }
            if (depth < kGlassIn - 2.f) {
                // a band of tinted glass: every other pixel open, so the arena
                // shows through it
                if (((px + py) & 1) == 0) return Ink{};
                float sheen = 0.5f + 0.4f * std::sin((x + y) * 0.05f) + 0.1f * (1.f - y / kH);
                return Solid(Tone::Steel, 0.22f + 0.3f * sheen);
            }
            if (depth < kGlassIn + 1.f) {
                // the inner rim the screen is set in
                float w = (depth - (kGlassIn - 0.5f)) / 1.5f;  // -1 outer side .. 1 inner side
                Vec3 n = RimNormal(x, y, -w, kW, kH);
                return Solid(Tone::Grey, 0.2f + 0.6f * Diffuse(n) + 0.4f * Specular(n, 14.f));
            }
            if (depth < kGlassIn + 2.f) return Solid(Tone::Grey, 0.02f);
            // the dark screen: scan lines and a faint glow from the top
            float v = 0.02f + 0.07f * std::exp(-(y - 14.f) / 40.f);
            if (py % 3 == 0) return Solid(Tone::Grey, 0.f);
            return Solid(Tone::Steel, v);
        },
        ShadeOptions{3, 0.4f});

    // corner brackets over the glass, each with a bolt
    for (int corner = 0; corner < 4; ++corner) {
        const bool right = corner & 1, bottom = corner & 2;
        const float cx = right ? kW - 1.f : 0.f, cy = bottom ? kH - 1.f : 0.f;
        ShadeRect(
            c, 0, 0, kW, kH,
            [&](float x, float y) -> Ink {
                float lx = std::fabs(x - cx), ly = std::fabs(y - cy);
                if (lx > 40.f || ly > 40.f) return Ink{};
                float arm = std::min(std::max(lx - 36.f, ly - 12.f), std::max(lx - 12.f, ly - 36.f));
                float d = std::max(arm, RoundedBoxSdf(x, y, 1.5f, 1.5f, kW - 1.5f, kH - 1.5f, 15.f));
                if (d > 0.f) return Ink{};
                auto sdf = [&](float sx, float sy) {
                    float ax = std::fabs(sx - cx), ay = std::fabs(sy - cy);
                    return std::min(std::max(ax - 36.f, ay - 12.f), std::max(ax - 12.f, ay - 36.f));
                };
                Vec3 n = BevelNormal(sdf, x, y, 3.f);
                float lit = 0.22f + 0.6f * Diffuse(n) + 0.4f * Specular(n, 16.f);
                if (d > -0.8f) lit *= 0.4f;
                float bx = lx - 6.5f, by = ly - 6.5f;
                float bolt = std::sqrt(bx * bx + by * by);
                if (bolt < 2.6f) {
                    Vec3 bn = Normalize({(x - (right ? cx - 6.5f : cx + 6.5f)) / 2.6f,
                                         (y - (bottom ? cy - 6.5f : cy + 6.5f)) / 2.6f, 0.8f});
                    return Solid(Tone::Grey, 0.25f + 0.6f * Diffuse(bn) + 0.4f * Specular(bn, 10.f));
                }
                if (bolt < 3.3f) return Solid(Tone::Grey, 0.08f);
                return Solid(Tone::Grey, lit);
            },
            ShadeOptions{3, 0.4f, true});
    }
    // status lights on the top rim
    for (int k = 0; k < 3; ++k) {
        const float lx = kW / 2.f - 14.f + 14.f * k, ly = 6.f;
        const Tone tone = k == 1 ? Tone::Fire : Tone::Cyan;
        ShadeRect(
            c, static_cast<int>(lx) - 5, static_cast<int>(ly) - 5, 11, 11,
            [&](float x, float y) -> Ink {
                float dx = x - 5.f - (lx - std::floor(lx)), dy = y - 5.f - (ly - std::floor(ly));
                float d = std::sqrt(dx * dx + dy * dy);
                if (d > 4.2f) return Ink{};
                if (d > 3.f) return Solid(Tone::Grey, 0.1f);
                float glow = 1.f - d / 3.f;
                if (dx * dx + (dy + 1.f) * (dy + 1.f) < 0.8f) return Solid(tone, 1.f);
                return Solid(tone, 0.4f + 0.5f * glow);
            },
            ShadeOptions{3, 0.3f, true});
    }
    return c;
}

// ---------------------------------------------------------------- trophy

// The high-score table after the last level: the picture lies over the top
// of the table at (140, 10), so everything of it stays inside one band, rows
// kBannerTop to kBannerBottom, that falls between the table's title (with its
// subtitle) and its column captions; the rest is transparent and the title,
// captions and rows show through. The band: a red ribbon with forked ends on
// a gold-framed plate, the words, and a star at each end of the plate.
constexpr int kBannerTop = 99, kBannerBottom = 140;

Canvas CompletePicture() {
    constexpr int kW = kImageSlotFiles[kImageComplete].width, kH = kImageSlotFiles[kImageComplete].height;
    Canvas c(kW, kH, 0);
    const float top = kBannerTop + 0.5f, bottom = kBannerBottom - 0.5f, mid = 0.5f * (top + bottom);
    // the ribbon's ends behind the plate, each with a notch cut into its tip
    for (int side = 0; side < 2; ++side) {
        const float x0 = side == 0 ? 4.f : kW - 66.f, x1 = x0 + 62.f;
        ShadeRect(
            c, static_cast<int>(x0), kBannerTop, 62, kBannerBottom - kBannerTop,
            [&](float x, float y) -> Ink {
                const float px = x + x0, py = y + kBannerTop;
                if (py < top + 6.f || py > bottom - 3.f) return Ink{};
                const float tip = side == 0 ? px - x0 : x1 - px;  // distance in from the tip
                if (tip < 11.f * (1.f - std::fabs(py - mid) / (0.5f * (bottom - top) - 4.f)))
                    return Ink{};                                  // the notch
                const float fold = side == 0 ? x1 - px : px - x0;  // near the plate the ribbon turns under
                float v = 0.55f - 0.35f * Clamp01((py - top) / (bottom - top)) - (fold < 8.f ? 0.25f : 0.f);
                if (py < top + 7.5f || py > bottom - 4.5f) v *= 0.5f;
                return Solid(Tone::Red, v);
            },
            ShadeOptions{3, 0.5f, true});
    }
    // the plate: a gold frame round a deep red field lit from above
    const float plateLeft = 44.f, plateRight = kW - 44.f;
    auto plate = [&](float px, float py) {
        return std::max(std::max(plateLeft - px, px - plateRight), std::max(top - py, py - bottom));
    };
    ShadeRect(
        c, static_cast<int>(plateLeft), kBannerTop, static_cast<int>(plateRight - plateLeft) + 1,
        kBannerBottom - kBannerTop,
        [&](float x, float y) -> Ink {
            const float px = x + plateLeft, py = y + kBannerTop;
            const float d = plate(px, py);
            if (d > 0.f) return Ink{};
            if (d > -3.f) {  // the frame, bevelled: bright on its upper and left faces
                const bool lit = (py - top < 3.f) || (px - plateLeft < 3.f);
                const bool outerEdge = d > -0.8f;
                return Solid(Tone::Gold, outerEdge ? 0.25f : (lit ? 0.95f : 0.55f));
            }
            if (d > -4.f) return Solid(Tone::Red, 0.08f);  // shadow inside the frame
            const float t = Clamp01((py - top) / (bottom - top));
            return Solid(Tone::Red, 0.62f - 0.42f * t);
        },
        ShadeOptions{3, 0.4f, true});
    // a star at each end of the plate
    for (float sx : {plateLeft + 16.f, plateRight - 16.f}) {
        ShadeRect(
            c, static_cast<int>(sx) - 12, static_cast<int>(mid) - 12, 24, 24,
            [&](float x, float y) -> Ink {
                auto star = [&](float ax, float ay) {
                    return StarSdf(ax - 12.f, ay - 12.f + 0.5f, -kPi / 2.f, 10.5f, 4.5f);
                };
                const float s = star(x, y);
                if (s > 0.f) return Ink{};
                if (s > -0.8f) return Solid(Tone::Fire, 0.1f);
                const Vec3 n = BevelNormal(star, x, y, 3.f);
                return Solid(Tone::Gold, 0.3f + 0.65f * Diffuse(n) + 0.5f * Specular(n, 14.f));
            },
            ShadeOptions{3, 0.4f, true});
    }
    // the words, as large as fit between the stars
    const int room = static_cast<int>(plateRight - plateLeft) - 72;
    int size = 26;
    paint::Mask words = Text("DejaVuSans-Bold.ttf", "ALL LEVELS COMPLETE", size, 1);
    while (size > 12 && words.width > room) words = Text("DejaVuSans-Bold.ttf", "ALL LEVELS COMPLETE", --size, 1);
    int inkTop = InkTop(words), inkBottom = inkTop;
    for (int j = 0; j < words.height; ++j)
        for (int i = 0; i < words.width; ++i)
            if (words.At(i, j) >= 0.5f) inkBottom = std::max(inkBottom, j);
    const int wx = (kW - words.width) / 2, wy = static_cast<int>(mid) - (inkTop + inkBottom + 1) / 2;
    paint::Mask shadow = paint::Dilate(words, 1);
    for (int j = 0; j < shadow.height; ++j)
        for (int i = 0; i < shadow.width; ++i)
            if (shadow.At(i, j) >= 0.4f) c.Set(wx - 1 + i + 2, wy - 1 + j + 2, ramp::kRed);
    Letter(c, words, wx, wy, Tone::Gold, 1.f, 0.5f, static_cast<uint8_t>(ramp::kFire + 1), 1, 0.7f);
    return c;
}

}  // namespace

Canvas BuildWallSheet() {
    Canvas sheet(kWallSheetWidth, kWallSheetHeight, 0);
    // The wall tile stays clear: each level's walls are painted into its own
    // arena picture, joined to their neighbours (LevelArt.h), and the tile
    // the game draws over every wall cell must not put a seam between them.
    DrawStripLines(sheet, kWallTileCell, 1);
    BuildStatusPanel(sheet, kStatusPanelX, kStatusPanelY);
    return sheet;
}

Canvas BuildIntroPanel() { return IntroPanel(); }

Canvas BuildCompletePicture() { return CompletePicture(); }

}  // namespace play
