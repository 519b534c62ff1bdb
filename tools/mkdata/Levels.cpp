// The level data: arena pictures, each a deep-space scene with its own
// colours in palette entries 1..127 and the level's walls painted over it.
//
// The scenes are painted in floating-point RGB and reduced to the free
// palette entries. They are kept dark: walls, worms, food and text use the
// bright shared upper half on top of them. The top rows (score and target
// line) are dimmed further; the bottom rows lie under the status panels.
#include "Levels.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "Generators.h"
#include "LevelArt.h"
#include "LevelFiles.h"
#include "Paint.h"
#include "PlayPaint.h"
#include "platform/Host.h"

using paint::Colour;
using play::Clamp01;
using play::Fbm2;
using play::kPi;
using play::SmoothStep;

namespace {

Colour Add(Colour a, Colour b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }

// A per-pixel painter over the whole picture.
template <typename Fn>
void PaintAll(paint::RgbImage& img, Fn fn) {
    for (int y = 0; y < kScreenHeight; ++y)
        for (int x = 0; x < kScreenWidth; ++x)
            img.Set(x, y, fn(static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f));
}

void AddLight(paint::RgbImage& img, int x, int y, Colour c) {
    if (x < 0 || y < 0 || x >= kScreenWidth || y >= kScreenHeight) return;
    img.Set(x, y, Add(img.Get(x, y), c));
}

// ---------------------------------------------------------------- stars

Colour StarColour(float t) {
    static const std::vector<Colour> kStops = {
        {150, 180, 255}, {210, 225, 255}, {255, 250, 240}, {255, 235, 190}, {255, 200, 150}};
    return paint::Gradient(kStops, t);
}

// One star: a point for the faint ones, a soft disc for the brighter ones and
// diffraction spikes for the brightest.
void Star(paint::RgbImage& img, float x, float y, float brightness, Colour tint, bool spikes) {
    const int ix = static_cast<int>(x), iy = static_cast<int>(y);
    const float radius = 0.6f + brightness * 1.6f;
    const int reach = static_cast<int>(std::ceil(radius * 2.f));
    for (int dy = -reach; dy <= reach; ++dy)
        for (int dx = -reach; dx <= reach; ++dx) {
            float d = std::sqrt(static_cast<float>(dx * dx + dy * dy));
            float k = std::exp(-(d * d) / (radius * radius * 0.5f));
            if (k < 0.02f) continue;
            AddLight(img, ix + dx, iy + dy, paint::Scale(tint, brightness * k));
        }
    if (spikes) {
        const int len = static_cast<int>(4 + brightness * 9);
        for (int s = 1; s <= len; ++s) {
            float k = brightness * 0.55f * (1.f - static_cast<float>(s) / (len + 1));
            Colour c = paint::Scale(tint, k);
            AddLight(img, ix + s, iy, c);
            AddLight(img, ix - s, iy, c);
            AddLight(img, ix, iy + s, c);
            AddLight(img, ix, iy - s, c);
        }
    }
}

struct StarCounts {
    int faint;   // single points
    int medium;  // small discs
    int bright;  // with spikes
    float gain;  // overall brightness
};

void StarField(paint::RgbImage& img, uint32_t seed, const StarCounts& counts) {
    ToolRandom rng(seed);
    for (int i = 0; i < 8; ++i) rng.Next();
    for (int i = 0; i < counts.faint; ++i) {
        int x = rng.Range(0, kScreenWidth - 1), y = rng.Range(0, kScreenHeight - 1);
        float b = 0.12f + 0.45f * rng.Unit() * rng.Unit();
        AddLight(img, x, y, paint::Scale(StarColour(rng.Unit()), b * counts.gain));
    }
    for (int i = 0; i < counts.medium; ++i) {
        float x = static_cast<float>(rng.Range(0, kScreenWidth - 1)),
              y = static_cast<float>(rng.Range(0, kScreenHeight - 1));
        float b = 0.35f + 0.35f * rng.Unit();
        Star(img, x, y, b * counts.gain, StarColour(rng.Unit()), false);
    }
    for (int i = 0; i < counts.bright; ++i) {
        float x = static_cast<float>(rng.Range(20, kScreenWidth - 20)), y = static_cast<float>(rng.Range(40, 430));
        float b = 0.7f + 0.3f * rng.Unit();
        Star(img, x, y, b * counts.gain, StarColour(rng.Unit() * 0.6f), true);
    }
}

// ---------------------------------------------------------------- nebulae

// Domain-warped fractal noise: billowing gas.
float Gas(float x, float y, float scale, uint32_t seed, int octaves = 5) {
    float px = x / scale, py = y / scale;
    float wx = Fbm2(px + 5.2f, py + 1.3f, 4, seed + 7u);
    float wy = Fbm2(px - 3.1f, py + 8.7f, 4, seed + 13u);
    return Fbm2(px + 2.2f * (wx - 0.5f), py + 2.2f * (wy - 0.5f), octaves, seed);
}

// ---------------------------------------------------------------- bodies

struct Sphere {
    float cx, cy, r;
    float lx, ly, lz;  // light direction (toward the light)
};

// Surface point of a sphere under (x, y): false when off the disc.
bool SphereHit(const Sphere& s, float x, float y, float& nx, float& ny, float& nz) {
    nx = (x - s.cx) / s.r;
    ny = (y - s.cy) / s.r;
    float q = 1.f - nx * nx - ny * ny;
    if (q < 0.f) return false;
    nz = std::sqrt(q);
    return true;
}

float SphereLight(const Sphere& s, float nx, float ny, float nz) {
    float len = std::sqrt(s.lx * s.lx + s.ly * s.ly + s.lz * s.lz);
    return (nx * s.lx + ny * s.ly + nz * s.lz) / len;
}

// ---------------------------------------------------------------- scenes

void DimTop(paint::RgbImage& img) {
    for (int y = 0; y < 40; ++y) {
        float k = 0.55f + 0.45f * SmoothStep(18.f, 40.f, static_cast<float>(y));
        for (int x = 0; x < kScreenWidth; ++x) img.Set(x, y, paint::Scale(img.Get(x, y), k));
    }
}

// 1. Violet veil.
void SceneVeil(paint::RgbImage& img) {
    const std::vector<Colour> gas = {{2, 1, 6}, {30, 8, 48}, {92, 26, 110}, {168, 64, 160}, {225, 140, 210}};
    PaintAll(img, [&](float x, float y) {
        float n = Gas(x, y, 230.f, 0x11u);
        float body = SmoothStep(0.38f, 0.82f, n);
        float detail = Fbm2(x / 45.f, y / 45.f, 3, 0x12u);
        float dust = SmoothStep(0.52f, 0.72f, Gas(x + 300.f, y - 120.f, 140.f, 0x13u, 4));
        float t = Clamp01(body * (0.65f + 0.55f * detail)) * (1.f - 0.75f * dust);
        Colour c = paint::Gradient(gas, t * 0.85f);
        float blue = SmoothStep(0.45f, 0.85f, Gas(x - 200.f, y + 90.f, 260.f, 0x14u, 4));
        c = Add(c, paint::Scale(Colour{18, 34, 110}, blue * blue * (1.f - 0.6f * dust)));
        return Add(c, Colour{3, 2, 8});
    });
    StarField(img, 0x1111u, {1100, 70, 7, 1.f});
}

// 2. Teal drift with a ringed gas giant in the lower right.
void SceneGiant(paint::RgbImage& img) {
    const std::vector<Colour> gas = {{1, 4, 6}, {6, 34, 40}, {16, 82, 84}, {60, 150, 130}, {150, 220, 190}};
    PaintAll(img, [&](float x, float y) {
        float n = Gas(x, y, 260.f, 0x21u);
        float wisp = Fbm2(x / 70.f, y / 160.f, 4, 0x22u);
        float t = SmoothStep(0.4f, 0.85f, n) * (0.55f + 0.6f * wisp);
        return paint::Gradient(gas, Clamp01(t) * 0.8f);
    });
    StarField(img, 0x2222u, {900, 55, 5, 0.9f});
    const Sphere planet{560.f, 430.f, 170.f, -0.65f, -0.55f, 0.45f};
    const std::vector<Colour> bands = {{70, 44, 26}, {128, 84, 48}, {164, 120, 74}, {110, 64, 36}, {150, 104, 62}};
    const float tilt = -0.38f, ct = std::cos(tilt), st = std::sin(tilt);
    for (int y = 0; y < kScreenHeight; ++y)
        for (int x = 0; x < kScreenWidth; ++x) {
            float fx = x + 0.5f, fy = y + 0.5f;
            // ring plane coordinates
            float rx = (fx - planet.cx) * ct + (fy - planet.cy) * st;
            float ry = -(fx - planet.cx) * st + (fy - planet.cy) * ct;
            float ringR = std::sqrt(rx * rx + (ry / 0.26f) * (ry / 0.26f)) / planet.r;
            bool ringFront = ry < 0.f;  // seen from below the ring plane
            auto ring = [&](Colour under) {
                if (ringR < 1.25f || ringR > 2.05f) return under;
                float band = 0.55f + 0.45f * std::sin(ringR * 40.f) * std::sin(ringR * 13.f);
                if (ringR > 1.62f && ringR < 1.7f) band *= 0.15f;  // the gap
                float lit = 0.45f + 0.45f * Clamp01(-(rx / planet.r) * 0.5f + 0.5f);
                Colour rc = paint::Scale(Colour{200, 180, 150}, band * lit * 0.8f);
                float a = 0.9f * band;
                return paint::Mix(under, Add(paint::Scale(under, 0.5f), rc), Clamp01(a));
            };
            float nx, ny, nz;
            Colour c = img.Get(x, y);
            if (SphereHit(planet, fx, fy, nx, ny, nz)) {
                // latitude bands in the ring's tilt, stirred by turbulence
                float lat = -nx * st + ny * ct;
                float turb = Fbm2(nx * 6.f, lat * 30.f, 4, 0x23u);
                float t = Clamp01(0.5f + 0.35f * std::sin(lat * 11.f + turb * 1.6f) +
                                  0.15f * std::sin(lat * 37.f + turb * 4.f));
                Colour surface = paint::Gradient(bands, t);
                float light = SphereLight(planet, nx, ny, nz);
                float shade = Clamp01(light * 1.1f + 0.05f);
                // the rings throw a shadow band across the disc
                float shadowBand = std::fabs(lat - 0.16f) < 0.035f ? 0.45f : 1.f;
                Colour s = paint::Scale(surface, shade * shadowBand * 0.62f);
                // thin atmosphere at the lit limb
                float limb = std::pow(1.f - nz, 3.f) * Clamp01(light + 0.3f);
                s = Add(s, paint::Scale(Colour{150, 120, 90}, limb * 0.6f));
                c = ringFront ? ring(s) : s;
            } else {
                // behind the planet the ring is hidden, elsewhere it shows
                c = ring(c);
            }
            img.Set(x, y, c);
        }
}

// 3. Crimson rift, with a small moon.
void SceneRift(paint::RgbImage& img) {
    const std::vector<Colour> gas = {{4, 0, 1}, {44, 6, 8}, {120, 24, 18}, {200, 80, 36}, {250, 170, 90}};
    PaintAll(img, [&](float x, float y) {
        float n = Gas(x, y, 210.f, 0x31u);
        float body = SmoothStep(0.32f, 0.8f, n);
        float detail = Fbm2(x / 38.f, y / 38.f, 3, 0x32u);
        // the rift: a dark lane along a wavy diagonal
        float along = (x * 0.6f - y * 0.8f);
        float wave = 40.f * std::sin(x / 120.f) + 80.f * (Fbm2(x / 200.f, y / 200.f, 3, 0x33u) - 0.5f);
        float lane = std::fabs(along - 40.f + wave) / 70.f;
        float dust = Clamp01(1.f - lane) * (0.6f + 0.4f * Fbm2(x / 25.f, y / 25.f, 3, 0x34u));
        float t = Clamp01(body * (0.6f + 0.6f * detail)) * (1.f - 0.9f * dust);
        return Add(paint::Gradient(gas, t * 0.7f), Colour{3, 1, 2});
    });
    StarField(img, 0x3333u, {800, 50, 6, 0.95f});
    const Sphere moon{96.f, 130.f, 30.f, 0.75f, -0.35f, 0.55f};
    for (int y = 90; y < 172; ++y)
        for (int x = 56; x < 138; ++x) {
            float nx, ny, nz;
            if (!SphereHit(moon, x + 0.5f, y + 0.5f, nx, ny, nz)) continue;
            float rock = Fbm2(nx * 5.f + 3.f, ny * 5.f, 5, 0x35u);
            float crater = 0.f;
            const float craters[4][3] = {
                {-0.3f, -0.2f, 0.22f}, {0.35f, 0.3f, 0.15f}, {0.1f, -0.55f, 0.12f}, {-0.45f, 0.45f, 0.1f}};
            for (const auto& k : craters) {
                float d = std::sqrt((nx - k[0]) * (nx - k[0]) + (ny - k[1]) * (ny - k[1])) / k[2];
                if (d < 1.f) crater += (d < 0.8f ? -0.25f : 0.2f);
            }
            float light = Clamp01(SphereLight(moon, nx, ny, nz));
            float v = (0.35f + 0.5f * rock + crater) * light;
            Colour c = paint::Scale(Colour{170, 150, 140}, Clamp01(v) * 0.75f);
            img.Set(x, y, Add(c, Colour{6, 2, 2}));
        }
}

// 4. A spiral galaxy seen at a slant.
void SceneSpiral(paint::RgbImage& img) {
    const float gx = 410.f, gy = 215.f, rot = 0.5f, squash = 0.42f;
    const float cr = std::cos(rot), sr = std::sin(rot);
    PaintAll(img, [&](float x, float y) {
        float dx = x - gx, dy = y - gy;
        float u = dx * cr + dy * sr, v = (-dx * sr + dy * cr) / squash;
        float r = std::sqrt(u * u + v * v) + 0.001f;
        float theta = std::atan2(v, u);
        // two logarithmic arms
        float arm = std::cos(2.f * (theta - 2.4f * std::log(r / 30.f)));
        float armMask = std::pow(Clamp01(0.5f + 0.5f * arm), 2.5f);
        float disc = std::exp(-r / 95.f);
        float clumps = Fbm2(x / 14.f, y / 14.f, 3, 0x41u);
        float dust = std::pow(Clamp01(0.5f + 0.5f * std::cos(2.f * (theta - 2.4f * std::log(r / 30.f)) - 0.9f)), 6.f);
        Colour c{2, 3, 10};
        // a faint blue wash over the whole field
        c = Add(c, paint::Scale(Colour{10, 16, 42}, Fbm2(x / 240.f, y / 240.f, 4, 0x42u)));
        Colour armColour = paint::Mix(Colour{70, 110, 210}, Colour{200, 110, 190}, SmoothStep(0.72f, 0.95f, clumps));
        c = Add(c, paint::Scale(armColour, armMask * disc * (0.6f + 0.8f * clumps) * 1.1f));
        c = Add(c, paint::Scale(Colour{120, 110, 150}, disc * 0.25f));
        c = paint::Scale(c, 1.f - 0.55f * dust * disc * 2.f * (r > 25.f ? 1.f : r / 25.f));
        float core = std::exp(-(r * r) / (2.f * 22.f * 22.f));
        c = Add(c, paint::Scale(Colour{255, 215, 150}, core * 0.85f));
        return c;
    });
    StarField(img, 0x4444u, {650, 40, 5, 0.9f});
    // distant galaxies: little slanted smudges
    ToolRandom rng(0x4545u);
    for (int i = 0; i < 7; ++i) rng.Next();
    for (int i = 0; i < 14; ++i) {
        float cx = static_cast<float>(rng.Range(10, kScreenWidth - 10)), cy = static_cast<float>(rng.Range(40, 440));
        float a = rng.Unit() * kPi, len = 3.f + rng.Unit() * 5.f, wid = len * (0.3f + 0.4f * rng.Unit());
        Colour tint = paint::Mix(Colour{200, 170, 120}, Colour{140, 160, 230}, rng.Unit());
        float ca = std::cos(a), sa = std::sin(a);
        for (int dy = -10; dy <= 10; ++dy)
            for (int dx = -10; dx <= 10; ++dx) {
                float u = dx * ca + dy * sa, v = -dx * sa + dy * ca;
                float k = std::exp(-(u * u) / (len * len) - (v * v) / (wid * wid));
                if (k > 0.03f)
                    AddLight(img, static_cast<int>(cx) + dx, static_cast<int>(cy) + dy, paint::Scale(tint, k * 0.35f));
            }
    }
}

// 5. The limb of a blue world under a green aurora.
void SceneWorld(paint::RgbImage& img) {
    const std::vector<Colour> aurora = {{1, 3, 6}, {4, 30, 22}, {14, 80, 52}, {60, 170, 110}};
    PaintAll(img, [&](float x, float y) {
        float curtain = Fbm2(x / 40.f, y / 260.f, 4, 0x51u);
        float drape = SmoothStep(0.35f, 0.8f, Gas(x, y * 0.6f, 250.f, 0x52u, 4));
        float t = drape * (0.5f + 0.9f * curtain) * SmoothStep(60.f, 420.f, x) * (1.f - 0.5f * y / kScreenHeight);
        Colour c = paint::Gradient(aurora, Clamp01(t) * 0.85f);
        return Add(c, paint::Scale(Colour{6, 10, 30}, 1.f - y / kScreenHeight));
    });
    StarField(img, 0x5555u, {850, 50, 6, 0.9f});
    const Sphere world{-330.f, 250.f, 470.f, 0.85f, -0.3f, 0.3f};
    for (int y = 0; y < kScreenHeight; ++y)
        for (int x = 0; x < 200; ++x) {
            float fx = x + 0.5f, fy = y + 0.5f;
            float nx, ny, nz;
            float dist = std::sqrt((fx - world.cx) * (fx - world.cx) + (fy - world.cy) * (fy - world.cy)) - world.r;
            if (!SphereHit(world, fx, fy, nx, ny, nz)) {
                // atmosphere glow just off the limb
                if (dist < 22.f) {
                    float k = std::pow(1.f - dist / 22.f, 2.f) * Clamp01(0.3f + 0.7f * (nx * 0.85f - ny * 0.3f));
                    AddLight(img, x, y, paint::Scale(Colour{60, 130, 255}, k * 0.6f));
                }
                continue;
            }
            float light = SphereLight(world, nx, ny, nz);
            float land = Fbm2(nx * 9.f + 4.f, ny * 9.f, 5, 0x53u);
            float cloud = SmoothStep(0.5f, 0.75f, Fbm2(nx * 14.f, ny * 22.f, 5, 0x54u));
            Colour surface = land > 0.56f ? paint::Mix(Colour{40, 70, 40}, Colour{110, 100, 70}, (land - 0.56f) * 3.f)
                                          : paint::Mix(Colour{8, 26, 70}, Colour{18, 52, 120}, land * 1.7f);
            surface = paint::Mix(surface, Colour{190, 200, 215}, cloud * 0.85f);
            float shade = Clamp01(light * 1.3f);
            Colour c = paint::Scale(surface, shade * 0.5f);
            // the scattering rim
            float rim = std::pow(1.f - nz, 4.f) * Clamp01(light + 0.4f);
            c = Add(c, paint::Scale(Colour{80, 150, 255}, rim * 0.7f));
            // city lights on the night side
            if (light < 0.f && land > 0.6f && Fbm2(nx * 60.f, ny * 60.f, 2, 0x55u) > 0.68f)
                c = Add(c, Colour{70, 55, 25});
            img.Set(x, y, c);
        }
}

// 6. Deep field: far galaxies and one bright star.
void SceneDeep(paint::RgbImage& img) {
    PaintAll(img, [&](float x, float y) {
        float haze = Gas(x, y, 300.f, 0x61u, 4);
        Colour c = paint::Scale(Colour{26, 18, 60}, SmoothStep(0.4f, 0.9f, haze));
        float veil =
            SmoothStep(0.55f, 0.9f, Gas(x + 500.f, y, 150.f, 0x62u, 4)) * SmoothStep(250.f, 640.f, x + y * 0.5f);
        c = Add(c, paint::Scale(Colour{90, 40, 110}, veil * 0.7f));
        return Add(c, Colour{2, 2, 7});
    });
    ToolRandom rng(0x6363u);
    for (int i = 0; i < 5; ++i) rng.Next();
    for (int i = 0; i < 46; ++i) {
        float cx = static_cast<float>(rng.Range(0, kScreenWidth - 1)), cy = static_cast<float>(rng.Range(30, 450));
        float a = rng.Unit() * kPi, len = 2.f + rng.Unit() * rng.Unit() * 10.f;
        float wid = len * (0.25f + 0.6f * rng.Unit());
        bool spiral = rng.Unit() < 0.35f && len > 5.f;
        Colour tint = paint::Mix(Colour{230, 190, 130}, Colour{140, 170, 255}, rng.Unit());
        float ca = std::cos(a), sa = std::sin(a);
        int reach = static_cast<int>(len * 2.f) + 2;
        for (int dy = -reach; dy <= reach; ++dy)
            for (int dx = -reach; dx <= reach; ++dx) {
                float u = dx * ca + dy * sa, v = -dx * sa + dy * ca;
                float k = std::exp(-(u * u) / (len * len) - (v * v) / (wid * wid));
                if (spiral) {
                    float r = std::sqrt(u * u / (len * len) + v * v / (wid * wid)) + 0.01f;
                    float th = std::atan2(v / wid, u / len);
                    k *= 0.55f + 0.45f * std::cos(2.f * (th - 3.f * std::log(r + 0.2f)));
                    k += 0.8f * std::exp(-r * r * 14.f);
                }
                if (k > 0.03f)
                    AddLight(img, static_cast<int>(cx) + dx, static_cast<int>(cy) + dy, paint::Scale(tint, k * 0.45f));
            }
    }
    StarField(img, 0x6666u, {700, 40, 3, 0.9f});
    Star(img, 470.f, 120.f, 1.f, Colour{190, 215, 255}, true);
    Star(img, 470.f, 120.f, 0.6f, Colour{120, 160, 255}, true);
}

using Scene = void (*)(paint::RgbImage&);
const Scene kScenes[] = {SceneVeil, SceneGiant, SceneRift, SceneSpiral, SceneWorld, SceneDeep};
static_assert(sizeof(kScenes) / sizeof(kScenes[0]) == kLevelScenes.size());

}  // namespace

Canvas BuildLevelBackground(int index, Palette& palette) {
    paint::RgbImage img(kScreenWidth, kScreenHeight);
    kScenes[index](img);
    DimTop(img);
    palette = SharedPalette();
    Canvas out(kScreenWidth, kScreenHeight, 0);
    paint::Quantize(img, palette, paint::Range(1, 127), out, 3.f);
    return out;
}

bool MakeArenaPictures(const std::string& dir, const std::array<LevelSource, kLevelFileCount>& levels) {
    // Each scene is painted once and shared by the levels that use it.
    std::array<Canvas, kLevelScenes.size()> scenes{Canvas(0, 0), Canvas(0, 0), Canvas(0, 0),
                                                   Canvas(0, 0), Canvas(0, 0), Canvas(0, 0)};
    std::array<Palette, kLevelScenes.size()> palettes{};
    bool ok = true;
    for (int i = 0; i < kLevelFileCount; ++i) {
        const LevelSource& level = levels[static_cast<size_t>(i)];
        const size_t s = static_cast<size_t>(level.scene);
        if (scenes[s].Width() == 0) scenes[s] = BuildLevelBackground(level.scene, palettes[s]);
        Canvas picture = scenes[s];
        PaintWalls(picture, palettes[s], level.walls, level.wallStyle);
        ok = WriteBmp(dir + "/grafik/" + LevelPictureName(i), picture, palettes[s]) && ok;
    }
    return ok;
}

bool MakeLevels(const std::string& dir) {
    // The level files L0.DAT..L19.DAT and the arena pictures they name, from
    // the level sources in levels/.
    std::array<LevelSource, kLevelFileCount> levels;
    if (!ReadLevelSources(VC_SOURCE_DIR "/levels", levels)) return false;
    return WriteLevelFiles(levels, dir) && MakeArenaPictures(dir, levels);
}
