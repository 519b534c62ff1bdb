// The five kinds of space food ("food.dat"), smallest value first:
//   0  a green spore, pulsing, with motes circling it (6 pictures)
//   1  a violet crystal turning on its axis (6 pictures)
//   2  a golden star, spinning (4 pictures)
//   3  a small fiery sun with rolling flares (4 pictures)
//   4  the rocket charge that fits a worm with a boost or a brake (1 picture)
// Strip k is match/FoodSheet.h's FoodCell(k), as the game cuts it. Every
// animation loops: the last picture leads back into the first.
#include <array>
#include <cmath>

#include "PlayPaint.h"
#include "match/FoodSheet.h"

namespace play {
namespace {

constexpr int kPic = kFoodCell - 1;

// --- 0: spore

Ink SporeInk(int frame, float x, float y) {
    const float phase = frame * 2.f * kPi / 6.f;
    const float dx = x - 16.f, dy = y - 16.f;
    const float r = std::sqrt(dx * dx + dy * dy);
    const float radius = 5.6f + 1.1f * std::sin(phase);
    // three motes circling; after six pictures they have moved one place on
    for (int m = 0; m < 3; ++m) {
        float a = m * 2.f * kPi / 3.f + frame * (2.f * kPi / 3.f) / 6.f;
        float mx = std::cos(a) * 10.5f, my = std::sin(a) * 10.5f * 0.75f;
        float d = std::sqrt((dx - mx) * (dx - mx) + (dy - my) * (dy - my));
        if (d < 1.5f) return Solid(Tone::Green, 1.f - d * 0.25f);
    }
    if (r < radius) {
        float nz = std::sqrt(std::max(0.f, 1.f - (r / radius) * (r / radius)));
        Vec3 n = Normalize({dx / radius, dy / radius, nz});
        float lit = 0.35f + 0.45f * Diffuse(n) + 0.5f * Specular(n, 12.f);
        // a bright nucleus shines through
        lit += 0.35f * std::exp(-(r * r) / 6.f) * (0.8f + 0.2f * std::sin(phase));
        return Solid(Tone::Green, lit);
    }
    // soft halo, thinned by dithering
    float halo = 1.f - (r - radius) / 1.8f;
    if (halo > 0.f) return Solid(Tone::Green, 0.12f + 0.2f * halo);
    return {};
}

// --- 1: crystal (an octahedron turning about its upright axis)

struct Tri {
    Vec3 a, b, c;
    Vec3 n;
};

std::array<Tri, 8> CrystalFaces(int frame) {
    const float rot = frame * (kPi / 2.f) / 6.f;  // a quarter turn over six pictures
    const float tilt = 0.35f;
    auto project = [&](Vec3 p) {
        float y = p.y * std::cos(tilt) - p.z * std::sin(tilt);
        float z = p.y * std::sin(tilt) + p.z * std::cos(tilt);
        return Vec3{p.x, y, z};
    };
    Vec3 top = project({0.f, -12.f, 0.f});
    Vec3 bottom = project({0.f, 11.f, 0.f});
    Vec3 ring[4];
    for (int j = 0; j < 4; ++j) {
        float a = rot + j * kPi / 2.f;
        ring[j] = project({7.5f * std::cos(a), 0.f, 7.5f * std::sin(a)});
    }
    std::array<Tri, 8> faces{};
    for (int j = 0; j < 4; ++j) {
        Vec3 p = ring[j], q = ring[(j + 1) % 4];
        for (int half = 0; half < 2; ++half) {
            Tri t{half ? bottom : top, p, q, {}};
            Vec3 e1 = t.b - t.a, e2 = t.c - t.a;
            Vec3 n = Normalize({e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x});
            Vec3 centre = (t.a + t.b + t.c) * (1.f / 3.f);
            if (Dot(n, centre) < 0.f) n = n * -1.f;
            t.n = n;
            faces[j * 2 + half] = t;
        }
    }
    return faces;
}

float EdgeSide(float px, float py, Vec3 a, Vec3 b) { return (b.x - a.x) * (py - a.y) - (b.y - a.y) * (px - a.x); }

float DistToSegment(float px, float py, Vec3 a, Vec3 b) { return SdCapsule(px, py, a.x, a.y, b.x, b.y, 0.f); }

Ink CrystalInk(const std::array<Tri, 8>& faces, int frame, float x, float y) {
    const float px = x - 16.f, py = y - 16.5f;
    for (const Tri& t : faces) {
        if (t.n.z <= 0.f) continue;  // faces turned away
        float s1 = EdgeSide(px, py, t.a, t.b), s2 = EdgeSide(px, py, t.b, t.c), s3 = EdgeSide(px, py, t.c, t.a);
        bool inside = (s1 >= 0 && s2 >= 0 && s3 >= 0) || (s1 <= 0 && s2 <= 0 && s3 <= 0);
        if (!inside) continue;
        float edge = std::min(
            {DistToSegment(px, py, t.a, t.b), DistToSegment(px, py, t.b, t.c), DistToSegment(px, py, t.c, t.a)});
        float lit = 0.18f + 0.62f * Diffuse(t.n) + 0.7f * Specular(t.n, 20.f);
        // light caught inside the stone
        lit += 0.12f * std::sin(px * 0.9f + py * 0.6f + frame);
        if (edge < 0.6f) lit = lit * 0.6f + 0.45f;  // bright facet edges
        return Solid(Tone::Violet, Clamp(lit, 0.f, 0.97f));
    }
    // a twinkle that travels round the stone
    const float gx = std::cos(frame * kPi / 3.f) * 8.f, gy = -5.f + std::sin(frame * kPi / 3.f) * 3.f;
    float du = std::fabs(px - gx), dv = std::fabs(py - gy);
    if ((du < 0.5f && dv < 3.f) || (dv < 0.5f && du < 3.f)) return Solid(Tone::Violet, 1.f);
    return {};
}

// --- 2: golden star

Ink StarInk(int frame, float x, float y) {
    const float rot = -kPi / 2.f + frame * (2.f * kPi / 5.f) / 4.f;
    const float px = x - 16.f, py = y - 16.5f;
    auto sdf = [&](float sx, float sy) { return StarSdf(sx - 16.f, sy - 16.5f, rot, 13.f, 5.6f); };
    float d = sdf(x, y);
    if (d <= 0.f) {
        // faceted: each arm has a ridge from the centre to its point
        float a = std::atan2(py, px) - rot;
        const float wedge = 2.f * kPi / 5.f;
        float local = std::fmod(a + wedge / 2.f + 100.f * wedge, wedge) - wedge / 2.f;
        float r = std::sqrt(px * px + py * py);
        float across = r * std::sin(local);
        float armAngle = a - local + rot;
        float ca = std::cos(armAngle), sa = std::sin(armAngle);
        float side = across >= 0.f ? 1.f : -1.f;
        Vec3 n = Normalize({-sa * side * 0.8f + ca * 0.25f, ca * side * 0.8f + sa * 0.25f, 0.75f});
        float lit = 0.32f + 0.75f * Diffuse(n) + 0.5f * Specular(n, 10.f);
        if (d > -0.8f) lit *= 0.55f;
        if (r < 2.2f) lit = 1.f;  // hot heart
        return Solid(Tone::Gold, Clamp01(lit));
    }
    float halo = 1.f - d / 1.6f;
    if (halo > 0.f) return Solid(Tone::Gold, 0.1f + 0.2f * halo);
    return {};
}

// --- 3: little sun

Ink SunInk(int frame, float x, float y) {
    const float dx = x - 16.f, dy = y - 16.f;
    const float r = std::sqrt(dx * dx + dy * dy);
    const float theta = std::atan2(dy, dx);
    const float step = frame * kPi / 2.f;  // each harmonic's phase moves by a whole number of quarter turns
    const float radius = 9.5f;
    if (r < radius) {
        float nz = std::sqrt(std::max(0.f, 1.f - (r / radius) * (r / radius)));
        // granulation rolling round the surface
        float g = 0.5f + 0.25f * std::sin(5.f * theta + 4.f * r / radius + step) +
                  0.25f * std::sin(3.f * theta - 6.f * r / radius - 2.f * step);
        float limb = 0.45f + 0.55f * nz;
        float v = limb * (0.62f + 0.3f * g);
        Vec3 n = Normalize({dx / radius, dy / radius, nz});
        v += 0.25f * Specular(n, 8.f);
        return Solid(Tone::Fire, v);
    }
    // corona: flares that turn with the surface
    float flare = 0.5f + 0.3f * std::sin(7.f * theta + step) + 0.2f * std::sin(4.f * theta - 2.f * step + 1.f);
    float reach = radius + 1.5f + 4.5f * flare * flare;
    if (r < reach) {
        float k = 1.f - (r - radius) / (reach - radius);
        return Solid(Tone::Fire, 0.22f + 0.45f * k);
    }
    return {};
}

// --- 4: rocket charge

Ink RocketInk(float x, float y) {
    // along the rocket's axis (nose to the upper right)
    const float ax = 0.7071f, ay = -0.7071f;
    const float dx = x - 16.f, dy = y - 16.5f;
    const float u = dx * ax + dy * ay;   // forward
    const float v = -dx * ay + dy * ax;  // across
    auto body = [&](float uu, float vv) {
        float r = uu > 4.f ? 4.3f * std::sqrt(Clamp01((12.f - uu) / 8.f)) : 4.3f;
        return std::max(std::fabs(vv) - r, std::max(uu - 12.f, -8.f - uu));
    };
    auto fins = [&](float uu, float vv) { return SdCapsule(uu, std::fabs(vv), -3.f, 4.f, -8.5f, 8.5f, 1.6f); };
    auto shape = [&](float sx, float sy) {
        float uu = (sx - 16.f) * ax + (sy - 16.5f) * ay, vv = -(sx - 16.f) * ay + (sy - 16.5f) * ax;
        return std::min(body(uu, vv), fins(uu, vv));
    };
    float d = shape(x, y);
    if (d <= 0.f) {
        Vec3 n = BevelNormal(shape, x, y, 4.3f);
        float lit = 0.15f + 0.7f * Diffuse(n) + 0.55f * Specular(n, 16.f);
        if (d > -0.8f) lit *= 0.5f;
        if (fins(u, v) <= 0.f && body(u, v) > 0.f) return Solid(Tone::Red, lit);
        if (u > 5.5f) return Solid(Tone::Red, lit);  // nose cone
        float wu = u - 1.5f;
        float window = std::sqrt(wu * wu + v * v);
        if (window < 2.2f) return Solid(Tone::Cyan, window < 1.f ? 1.f : 0.6f + 0.3f * lit);
        if (window < 2.9f) return Solid(Tone::Gold, 0.4f + 0.5f * lit);
        if (std::fabs(u + 5.f) < 0.7f) return Solid(Tone::Grey, lit * 0.5f);  // band
        return Solid(Tone::Grey, 0.2f + lit * 0.85f);
    }
    // exhaust
    if (u < -8.f && u > -15.5f) {
        float t = (-8.f - u) / 7.5f;
        float hw = 3.2f * (1.f - t);
        if (std::fabs(v) < hw) return Solid(Tone::Fire, 1.f - 0.7f * t - 0.3f * std::fabs(v) / hw);
    }
    // glints of the charge it carries
    const float glints[3][3] = {{-9.f, -8.f, 2.5f}, {9.5f, 8.5f, 2.f}, {-10.5f, 6.f, 1.5f}};
    for (const auto& g : glints) {
        float gx = std::fabs(dx - g[0]), gy = std::fabs(dy - g[1]);
        if ((gx < 0.5f && gy < g[2]) || (gy < 0.5f && gx < g[2])) return Solid(Tone::Gold, 1.f - 0.2f * (gx + gy));
    }
    return {};
}

}  // namespace

Canvas BuildFoodSheet() {
    Canvas sheet(kFoodSheetWidth, kFoodSheetHeight, 0);
    for (int k = 0; k < kFoodKinds; ++k) DrawStripLines(sheet, FoodCell(k), kFoodFrames[k]);
    for (int f = 0; f < kFoodFrames[0]; ++f)
        ShadeRect(sheet, FrameLeft(FoodCell(0), f), FrameTop(FoodCell(0)), kPic, kPic,
                  [&](float x, float y) { return SporeInk(f, x, y); });
    for (int f = 0; f < kFoodFrames[1]; ++f) {
        const auto faces = CrystalFaces(f);
        ShadeRect(sheet, FrameLeft(FoodCell(1), f), FrameTop(FoodCell(1)), kPic, kPic,
                  [&](float x, float y) { return CrystalInk(faces, f, x, y); });
    }
    for (int f = 0; f < kFoodFrames[2]; ++f)
        ShadeRect(sheet, FrameLeft(FoodCell(2), f), FrameTop(FoodCell(2)), kPic, kPic,
                  [&](float x, float y) { return StarInk(f, x, y); });
    for (int f = 0; f < kFoodFrames[3]; ++f)
        ShadeRect(sheet, FrameLeft(FoodCell(3), f), FrameTop(FoodCell(3)), kPic, kPic,
                  [&](float x, float y) { return SunInk(f, x, y); });
    ShadeRect(sheet, FrameLeft(FoodCell(4), 0), FrameTop(FoodCell(4)), kPic, kPic,
              [&](float x, float y) { return RocketInk(x, y); });
    return sheet;
}

}  // namespace play
