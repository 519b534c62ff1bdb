// Effects of play: the 27-picture explosion of a worm segment
// ("Explotions.dat") and the shared strips ("Shared.dat"): the crash flash
// over a worm's head for each heading, and the swirling warp gate.
#include <cmath>
#include <vector>

#include "PlayPaint.h"
#include "gfx/ImageSlots.h"
#include "world/WormSheets.h"

namespace play {
namespace {

// ---------------------------------------------------------------- explosion

constexpr int kExplosionPics = kExplosionStrips * kExplosionStripFrames;

struct Debris {
    float angle, speed, size, life;
};

std::vector<Debris> MakeDebris() {
    std::vector<Debris> out;
    for (int i = 0; i < 14; ++i) {
        Debris d;
        d.angle = (i + 0.8f * Hash01(i, 1, 0xE4A1u)) * 2.f * kPi / 14.f;
        d.speed = 16.f + Hash01(i, 2, 0xE4A1u) * 16.f;
        d.size = 0.7f + Hash01(i, 3, 0xE4A1u) * 0.8f;
        d.life = 0.3f + Hash01(i, 4, 0xE4A1u) * 0.3f;
        out.push_back(d);
    }
    return out;
}

// One explosion picture; t runs 0 (first flash) .. 1 (last wisp of smoke).
Ink ExplosionInk(float t, const std::vector<Debris>& debris, float x, float y) {
    const float dx = x - 32.f, dy = y - 32.f;
    const float r = std::sqrt(dx * dx + dy * dy);
    const float radius = 7.f + 21.f * (1.f - std::exp(-t * 6.f)) + 3.f * t;
    // The cloud rolls outward: the noise is sampled on a frame that swells
    // with the cloud, and drifts in its third coordinate.
    const float scale = 0.11f * 26.f / (radius + 6.f) * 1.6f;
    const float n = Fbm3(dx * scale + 7.f, dy * scale + 3.f, t * 3.f, 4, 0x51Au);
    const float n2 = Fbm3(dx * 0.21f, dy * 0.21f, t * 5.f + 11.f, 3, 0x77Bu);
    const float edge = radius * (0.7f + 0.55f * n);
    const float density = 1.f - r / edge;

    // Flying debris: small hot sparks that cool as they fly.
    for (const Debris& d : debris) {
        if (t > d.life) continue;
        float travel = d.speed * std::sqrt(t / d.life) + 4.f;
        float px = std::cos(d.angle) * travel, py = std::sin(d.angle) * travel;
        float tail = 3.f + 3.f * (1.f - t / d.life);
        float s = SdCapsule(dx, dy, px, py, px - std::cos(d.angle) * tail, py - std::sin(d.angle) * tail, d.size);
        if (s < 0.f && density < 0.15f) {
            float cool = t / d.life;
            return Solid(Tone::Fire, 1.f - 0.7f * cool);
        }
    }
    if (density <= 0.f) return {};

    // The flash: rays around a white core during the first pictures.
    const float flash = std::exp(-t * 14.f);
    const float theta = std::atan2(dy, dx);
    const float rays = std::pow(std::fabs(std::cos(theta * 4.f + 0.4f)), 24.f) * flash;

    const float heat = std::exp(-t * 2.1f);
    float temp = heat * (0.5f + 0.8f * density) + (n2 - 0.5f) * 0.4f * (0.3f + heat) + rays + flash * 0.6f;

    // Late pictures dissolve into smoke with growing holes.
    const float fade = SmoothStep(0.45f, 1.04f, t);
    const float body = density * (0.5f + 1.0f * n2);
    if (body < fade * 0.9f) return {};
    if (temp > 0.3f) return Solid(Tone::Fire, Clamp01((temp - 0.3f) * 1.25f));
    // Smoke: billows from coarse noise, lit from the upper left, thinning out.
    const float puff = Fbm3(dx * 0.12f + 40.f, dy * 0.12f, t * 1.5f, 3, 0x3D1u);
    float smoke = 0.1f + 0.5f * puff * puff * (0.6f + density) * (1.f - 0.45f * fade);
    smoke += -0.09f * (dx + dy) / (radius + 1.f) + 0.1f * Clamp01(temp / 0.3f);
    return Solid(Tone::Grey, smoke);
}

// ---------------------------------------------------------------- crash

struct Spark {
    float angle, speed, size;
};

Ink CrashInk(int heading, int frame, const std::vector<Spark>& sparks, float x, float y) {
    const HeadingFrame f = FrameOf(heading);
    const float dx = x - 16.f, dy = y - 16.f;
    const float u = f.U(dx, dy), v = f.V(dx, dy);
    const float r = std::sqrt(dx * dx + dy * dy);
    const float t = frame / static_cast<float>(kCrashFrames - 1);

    // impact flash
    if (frame <= 2) {
        float flashR = 6.f + frame * 3.5f;
        float theta = std::atan2(v, u);
        float spikes = std::pow(std::fabs(std::cos(theta * 3.f)), 10.f) * (5.f - frame);
        if (r < flashR * 0.55f + spikes) {
            float hot = 1.f - r / (flashR + spikes + 0.1f);
            return Solid(frame == 0 ? Tone::Fire : Tone::Gold, 0.55f + 0.5f * hot);
        }
    }
    // sparks flung back along the worm as it bounces away
    for (const Spark& s : sparks) {
        float life = s.speed * (frame + 1.f) * 0.9f + 2.f;
        float ang = kPi + s.angle;  // behind the head
        float pu = std::cos(ang) * life, pv = std::sin(ang) * life;
        float len = 2.5f + 2.f * (1.f - t);
        float d =
            SdCapsule(u, v, pu, pv, pu - std::cos(ang) * len, pv - std::sin(ang) * len, s.size * (1.f - 0.5f * t));
        if (d < 0.f && frame < 11) return Solid(frame < 5 ? Tone::Gold : Tone::Fire, 1.f - 0.75f * t);
    }
    // the plasma shield flaring around the head
    if (frame >= 1 && frame <= 9) {
        float ringR = 10.f + frame * 0.55f;
        float wobble =
            Fbm3(std::cos(std::atan2(dy, dx)) * 2.f + 3.f, std::sin(std::atan2(dy, dx)) * 2.f, frame * 0.6f, 2, 0x0C5u);
        float thick = 1.8f - frame * 0.12f;
        float dr = std::fabs(r - ringR - (wobble - 0.5f) * 3.f);
        if (dr < thick && wobble > 0.25f + t * 0.35f) {
            float a = 1.f - dr / thick;
            return Soft(Tone::Cyan, 0.55f + 0.45f * a * (1.f - t), frame < 6 ? 1.f : Clamp01(0.4f + a));
        }
    }
    // a crackling arc over the hull, jumping from side to side
    if (frame >= 3 && frame <= 10) {
        const int arc = frame & 1;
        float phase = frame * 1.7f + arc * 2.9f;
        float base = std::sin(phase) * 1.5f + (arc ? 1.f : -1.f) * 5.f;
        float zig = base + std::sin(u * 1.1f + phase * 2.f) * 1.6f + std::sin(u * 2.3f - phase) * 0.8f;
        float slope = 1.1f * 1.6f * std::cos(u * 1.1f + phase * 2.f) + 2.3f * 0.8f * std::cos(u * 2.3f - phase);
        float dist = std::fabs(v - zig) / std::sqrt(1.f + slope * slope);
        float span = 8.f - (frame - 3) * 0.6f;
        if (dist < 0.6f && std::fabs(u + std::cos(phase) * 3.f) < span)
            return Solid(Tone::Cyan, 0.95f - 0.05f * (frame - 3));
    }
    return {};
}

std::vector<Spark> MakeSparks() {
    std::vector<Spark> out;
    for (int i = 0; i < 9; ++i) {
        Spark s;
        s.angle = ((i + Hash01(i, 1, 0xC4A5u)) / 9.f - 0.5f) * 2.6f;
        s.speed = 1.2f + Hash01(i, 2, 0xC4A5u) * 1.6f;
        s.size = 0.55f + Hash01(i, 3, 0xC4A5u) * 0.45f;
        out.push_back(s);
    }
    return out;
}

// ---------------------------------------------------------------- warp gate

Ink GateInk(int frame, float x, float y) {
    const float dx = x - 16.f, dy = y - 16.f;
    const float rho = std::sqrt(dx * dx + dy * dy) / 15.2f;
    if (rho > 1.f) return {};
    const float theta = std::atan2(dy, dx);
    // Three spiral arms; each picture turns them by a third of their spacing,
    // so the three pictures loop seamlessly.
    const float arms = std::cos(3.f * theta + 7.f * rho + frame * 2.f * kPi / 3.f);
    const float rim = 0.83f;
    if (rho > rim) {
        // a lit torus round the mouth
        float w = (rho - rim) / (1.f - rim) * 2.f - 1.f;  // -1 inner .. 1 outer
        Vec3 n = Normalize(
            {dx / (rho * 15.2f + 0.01f) * w, dy / (rho * 15.2f + 0.01f) * w, std::sqrt(std::max(0.f, 1.f - w * w))});
        float lit = 0.2f + 0.6f * Diffuse(n) + 0.4f * Specular(n, 16.f);
        if (std::fabs(w) > 0.8f) lit *= 0.6f;
        return Solid(Tone::Violet, lit * 0.9f);
    }
    if (rho < 0.16f) return Solid(Tone::Cyan, 0.95f);  // the bright eye of the vortex
    float glow = (0.5f + 0.5f * arms);
    glow = glow * glow;
    float depth = 1.f - rho / rim;
    if (rho < 0.45f) return Solid(Tone::Cyan, 0.15f + 0.75f * glow * (0.4f + 0.6f * depth) + 0.2f * depth);
    return Solid(Tone::Violet, 0.08f + 0.7f * glow * (0.5f + 0.5f * depth));
}

}  // namespace

Canvas BuildExplosionSheet() {
    const ImageSlotFile& file = kImageSlotFiles[kImageExplosions];
    Canvas sheet(file.width, file.height, 0);
    const std::vector<Debris> debris = MakeDebris();
    for (int s = 0; s < kExplosionStrips; ++s) DrawStripLines(sheet, ExplosionCell(s), kExplosionStripFrames);
    for (int k = 0; k < kExplosionPics; ++k) {
        const int strip = k / kExplosionStripFrames, j = k % kExplosionStripFrames;
        const float t = k / static_cast<float>(kExplosionPics - 1);
        const SheetCell cell = ExplosionCell(strip);
        ShadeRect(
            sheet, FrameLeft(cell, j), FrameTop(cell), cell.w - 1, cell.h - 1,
            [&](float x, float y) { return ExplosionInk(t, debris, x, y); }, ShadeOptions{2, 0.7f});
    }
    return sheet;
}

Canvas BuildSharedSheet() {
    const ImageSlotFile& file = kImageSlotFiles[kImageShared];
    Canvas sheet(file.width, file.height, 0);
    const std::vector<Spark> sparks = MakeSparks();
    for (int h = 0; h < 4; ++h) {
        DrawStripLines(sheet, CrashCell(h), kCrashFrames);
        for (int k = 0; k < kCrashFrames; ++k)
            ShadeRect(sheet, FrameLeft(CrashCell(h), k), FrameTop(CrashCell(h)), kWormCell - 1, kWormCell - 1,
                      [&](float x, float y) { return CrashInk(h, k, sparks, x, y); });
    }
    DrawStripLines(sheet, kGateCell, kGateFrames);
    for (int k = 0; k < kGateFrames; ++k)
        ShadeRect(sheet, FrameLeft(kGateCell, k), FrameTop(kGateCell), kWormCell - 1, kWormCell - 1,
                  [&](float x, float y) { return GateInk(k, x, y); });
    return sheet;
}

}  // namespace play
