// The two ship types turning on the set-up screen's display stand
// ("FirAnim.dat" and "SecAnim.dat"): 16 frames, one turn about the upright
// axis, seen a little from above. The ships are distance-field models,
// ray-marched with 2 x 2 samples a pixel:
//   type 0, the Needle: a long steel dart with swept wings, a cyan canopy
//     and twin cyan engines (the fast one);
//   type 1, the Carapace: a broad violet armoured shell with plates,
//     thorns, mandibles, fiery eyes and a green drive (the heavy one).
#include <algorithm>
#include <cmath>
#include <vector>

#include "FrontEndArt.h"
#include "screens/SetupSheet.h"

namespace fe {
namespace {

using paint::Clamp01;
using paint::Mix;
using paint::Scale;

struct V3 {
    float x, y, z;
};
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(V3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
float Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
float Len(V3 a) { return std::sqrt(Dot(a, a)); }
V3 Norm(V3 a) { return a * (1.f / std::max(1e-6f, Len(a))); }

float Ellipsoid(V3 p, V3 r) {
    float k0 = Len({p.x / r.x, p.y / r.y, p.z / r.z});
    float k1 = Len({p.x / (r.x * r.x), p.y / (r.y * r.y), p.z / (r.z * r.z)});
    return k1 < 1e-6f ? -std::min(r.x, std::min(r.y, r.z)) : k0 * (k0 - 1.f) / k1;
}
float Capsule(V3 p, V3 a, V3 b, float r) {
    V3 pa = p - a, ba = b - a;
    float h = Clamp01(Dot(pa, ba) / Dot(ba, ba));
    return Len(pa - ba * h) - r;
}
float RoundBox(V3 p, V3 b, float r) {
    V3 q{std::fabs(p.x) - b.x, std::fabs(p.y) - b.y, std::fabs(p.z) - b.z};
    V3 o{std::max(q.x, 0.f), std::max(q.y, 0.f), std::max(q.z, 0.f)};
    return Len(o) + std::min(std::max(q.x, std::max(q.y, q.z)), 0.f) - r;
}
float SMin(float a, float b, float k) {
    float h = Clamp01(0.5f + 0.5f * (b - a) / k);
    return b + (a - b) * h - k * h * (1.f - h);
}
// Distance to a convex 2-D quad (a, b, c, d in order), in the plane.
float Quad2(float x, float y, const float* q) {
    float d = 1e9f;
    int left = 0, right = 0;  // inside when the point is on the same side of every edge
    for (int i = 0; i < 4; ++i) {
        float ax = q[2 * i], ay = q[2 * i + 1], bx = q[(2 * i + 2) % 8], by = q[(2 * i + 3) % 8];
        float ex = bx - ax, ey = by - ay, wx = x - ax, wy = y - ay;
        float t = Clamp01((wx * ex + wy * ey) / (ex * ex + ey * ey));
        float dx = wx - ex * t, dy = wy - ey * t;
        d = std::min(d, dx * dx + dy * dy);
        (ex * wy - ey * wx > 0.f ? left : right)++;
    }
    return (left == 4 || right == 4) ? -std::sqrt(d) : std::sqrt(d);
}

enum Material { kHull, kTrim, kGlass, kEngine, kAccent, kShell, kShellDark, kDrive, kEye };

struct Hit {
    float d;
    int mat;
};
inline void Take(Hit& h, float d, int mat) {
    if (d < h.d) h = {d, mat};
}

// Ship models in their own frame: x forward (nose), y up, z to starboard.
Hit Needle(V3 p) {
    // far away, the bounding capsule is close enough
    float bound = Capsule(p, {-52.f, 4.f, 0.f}, {30.f, 4.f, 0.f}, 50.f);
    bound = std::min(bound, Capsule(p, {30.f, 0.f, 0.f}, {75.f, 0.f, 0.f}, 12.f));
    if (bound > 3.f) return {bound, kHull};
    Hit h{1e9f, kHull};
    V3 q{p.x, p.y, std::fabs(p.z)};
    float body = Ellipsoid(p - V3{-2.f, 0.f, 0.f}, {60.f, 8.5f, 10.5f});
    body = SMin(body, Ellipsoid(p - V3{-30.f, 1.f, 0.f}, {26.f, 10.f, 13.f}), 6.f);
    Take(h, body, kHull);
    Take(h, Capsule(p, {52.f, 0.f, 0.f}, {74.f, 0.f, 0.f}, 1.3f), kAccent);
    Take(h, Ellipsoid(p - V3{18.f, 6.f, 0.f}, {17.f, 6.5f, 6.f}), kGlass);
    // swept wings, thin slabs
    const float wing[8] = {14.f, 9.f, -34.f, 46.f, -46.f, 46.f, -36.f, 9.f};
    float w2 = Quad2(q.x, q.z, wing);
    Take(h, std::max(w2, std::fabs(q.y + 1.5f) - 1.3f) - 0.4f, kHull);
    // gold wing tips
    Take(h, Capsule(q, {-32.f, -1.5f, 46.f}, {-47.f, -1.5f, 46.f}, 1.8f), kAccent);
    // engines
    float pod = Capsule(q, {-54.f, -2.f, 15.f}, {-18.f, -2.f, 15.f}, 5.f);
    Take(h, pod, kTrim);
    Take(h, Ellipsoid(q - V3{-56.f, -2.f, 15.f}, {2.f, 4.f, 4.f}), kEngine);
    // tail fin
    const float fin[8] = {-26.f, 6.f, -52.f, 24.f, -60.f, 24.f, -52.f, 6.f};
    Take(h, std::max(Quad2(p.x, p.y, fin), std::fabs(p.z) - 1.2f) - 0.4f, kHull);
    return h;
}

Hit Carapace(V3 p) {
    float bound = Capsule(p, {-28.f, 4.f, 0.f}, {40.f, 4.f, 0.f}, 36.f);
    if (bound > 3.f) return {bound, kShell};
    Hit h{1e9f, kShell};
    V3 q{p.x, p.y, std::fabs(p.z)};
    // segmented shell: overlapping plates along the back
    float shell = Ellipsoid(p - V3{-4.f, 0.f, 0.f}, {50.f, 15.f, 27.f});
    for (int i = 0; i < 4; ++i) {
        float cx = 30.f - i * 19.f;
        shell = SMin(shell, Ellipsoid(p - V3{cx, 5.f, 0.f}, {13.f, 13.f - i * 0.6f, 25.f - i * 1.5f}), 4.f);
    }
    Take(h, shell, kShell);
    // dark belly and flank armour
    Take(h, Ellipsoid(p - V3{-2.f, -6.f, 0.f}, {47.f, 11.f, 30.f}), kShellDark);
    // thorns on the back and flanks (skipped when their bounds are farther
    // than what is already hit)
    if (Capsule(p, {35.f, 19.f, 0.f}, {-32.f, 19.f, 0.f}, 9.f) < h.d)
        for (int i = 0; i < 4; ++i) {
            float cx = 30.f - i * 19.f;
            Take(h, Capsule(p, {cx, 14.f, 0.f}, {cx - 7.f, 25.f - i * 1.5f, 0.f}, 1.8f), kShellDark);
        }
    if (Capsule(q, {32.f, 8.f, 26.f}, {-32.f, 8.f, 26.f}, 8.f) < h.d)
        for (int i = 0; i < 4; ++i) {
            float cx = 30.f - i * 19.f;
            Take(h, Capsule(q, {cx - 2.f, 6.f, 20.f}, {cx - 8.f, 10.f, 31.f}, 1.6f), kShellDark);
        }
    // mandibles and eyes
    if (Len(p - V3{54.f, -2.f, 0.f}) - 18.f < h.d) {
        Take(h, Capsule(q, {40.f, -3.f, 10.f}, {60.f, -4.f, 7.f}, 3.f), kShellDark);
        Take(h, Capsule(q, {60.f, -4.f, 7.f}, {66.f, -4.f, 1.5f}, 2.f), kShellDark);
        Take(h, Ellipsoid(q - V3{43.f, 4.f, 8.f}, {4.f, 3.f, 3.5f}), kEye);
    }
    // the drive at the tail
    Take(h, Ellipsoid(p - V3{-52.f, 0.f, 0.f}, {6.f, 8.f, 11.f}), kDrive);
    Take(h, RoundBox(q - V3{-44.f, 0.f, 14.f}, {7.f, 5.f, 5.f}, 2.f), kShellDark);
    return h;
}

struct Look {
    Colour base;
    float shine, power;
    bool emissive;
};
Look LookOf(int mat, V3 local) {
    switch (mat) {
    case kHull: {
        // panel seams across the steel
        float seam = std::fabs(std::fmod(local.x + 200.f, 15.f) - 7.5f);
        float k = seam > 7.f ? 0.55f : 1.f;
        return {Scale(Colour{160, 175, 200}, k), 0.7f, 30.f, false};
    }
    case kTrim:
        return {{60, 66, 84}, 0.5f, 20.f, false};
    case kGlass:
        return {{30, 120, 170}, 1.2f, 60.f, false};
    case kEngine:
        return {{140, 245, 255}, 0.f, 1.f, true};
    case kAccent:
        return {{235, 180, 60}, 0.9f, 40.f, false};
    case kShell: {
        float ridge = std::fabs(std::fmod(local.x + 200.f + 9.5f, 19.f) - 9.5f);
        float k = ridge < 1.2f ? 0.5f : 1.f;
        return {Scale(Colour{140, 70, 195}, k), 0.9f, 24.f, false};
    }
    case kShellDark:
        return {{62, 30, 86}, 0.6f, 18.f, false};
    case kDrive:
        return {{130, 255, 140}, 0.f, 1.f, true};
    default:
        return {{255, 150, 40}, 0.f, 1.f, true};
    }
}

RgbImage Frame(int ship, int frame) {
    const int w = FrameWidth(kShipTurnCell.w), h = FrameHeight(kShipTurnCell.h);
    const float angle = frame * 6.2831853f / static_cast<float>(kShipTurnFrames);
    const float ca = std::cos(angle), sa = std::sin(angle);
    // camera: orthographic, looking down a little
    const V3 fwd = Norm({0.f, -0.36f, -1.f});
    const V3 right{1.f, 0.f, 0.f};
    const V3 up{0.f, -fwd.z, fwd.y};
    const V3 keyLight = Norm({-0.5f, 0.8f, 0.6f});
    const V3 rimLight = Norm({0.8f, 0.3f, -0.7f});
    const V3 view = fwd * -1.f;
    const V3 half = Norm(keyLight + view);
    const float scale = ship == 0 ? 1.02f : 1.08f;  // pixels per model unit

    auto model = [&](V3 wp) {
        // world to ship: undo the turn about y
        V3 lp{wp.x * ca + wp.z * sa, wp.y, -wp.x * sa + wp.z * ca};
        return ship == 0 ? Needle(lp) : Carapace(lp);
    };
    auto local = [&](V3 wp) { return V3{wp.x * ca + wp.z * sa, wp.y, -wp.x * sa + wp.z * ca}; };

    // one ray: its colour, its light (emissive part) and what it hit (-1: nothing)
    struct Sample {
        Colour colour, light;
        int mat = -1;
    };
    auto cast = [&](float sx, float sy) {
        Sample out;
        float u = (sx - w / 2.f) / scale, v = (h / 2.f - sy - 2.f) / scale;
        V3 origin = right * u + up * v - fwd * 200.f;
        const float bound = 80.f;
        float b = Dot(origin, fwd), c = Dot(origin, origin) - bound * bound;
        float disc = b * b - c;
        if (disc < 0.f) return out;
        float t = -b - std::sqrt(disc), tEnd = -b + std::sqrt(disc);
        Hit hit{1e9f, 0};
        bool found = false;
        for (int step = 0; step < 100 && t < tEnd; ++step) {
            hit = model(origin + fwd * t);
            if (hit.d < 0.04f) {
                found = true;
                break;
            }
            t += std::max(hit.d * 0.95f, 0.03f);
        }
        if (!found) return out;
        V3 p = origin + fwd * t;
        const float e = 0.06f;
        // tetrahedral gradient
        float d1 = model(p + V3{e, -e, -e}).d, d2 = model(p + V3{-e, -e, e}).d;
        float d3 = model(p + V3{-e, e, -e}).d, d4 = model(p + V3{e, e, e}).d;
        V3 n = Norm(V3{1, -1, -1} * d1 + V3{-1, -1, 1} * d2 + V3{-1, 1, -1} * d3 + V3{1, 1, 1} * d4);
        Look look = LookOf(hit.mat, local(p));
        out.mat = hit.mat;
        if (look.emissive) {
            out.colour = look.base;
            out.light = look.base;
            return out;
        }
        float diff = std::max(0.f, Dot(n, keyLight));
        float rim = std::pow(1.f - std::max(0.f, Dot(n, view)), 3.f);
        float back = std::max(0.f, Dot(n, rimLight));
        float glint = std::pow(std::max(0.f, Dot(n, half)), look.power) * look.shine;
        Colour col = Scale(look.base, 0.16f + 0.95f * diff);
        Colour rimC = ship == 0 ? Colour{60, 200, 255} : Colour{90, 255, 140};
        float k = 0.45f * rim * back + 0.25f * back * back;
        col.r += rimC.r * k + 255.f * glint;
        col.g += rimC.g * k + 255.f * glint;
        col.b += rimC.b * k + 255.f * glint;
        out.colour = col;
        return out;
    };

    std::vector<Sample> centre(size_t(w) * h);
    for (int py = 0; py < h; ++py)
        for (int px = 0; px < w; ++px) centre[size_t(py) * w + px] = cast(px + 0.5f, py + 0.5f);
    auto matAt = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= w || y >= h) return -1;
        return centre[size_t(y) * w + x].mat;
    };

    RgbImage pic(w, h);
    RgbImage glow(w, h);
    for (int py = 0; py < h; ++py)
        for (int px = 0; px < w; ++px) {
            const int m = matAt(px, py);
            bool edge =
                m != matAt(px - 1, py) || m != matAt(px + 1, py) || m != matAt(px, py - 1) || m != matAt(px, py + 1);
            Colour sum, light;
            int hits = 0, samples = 0;
            if (!edge) {
                if (m < 0) continue;
                const Sample& s = centre[size_t(py) * w + px];
                sum = s.colour, light = s.light, hits = samples = 1;
            } else {
                for (int s = 0; s < 4; ++s) {
                    Sample one = cast(px + 0.25f + 0.5f * (s & 1), py + 0.25f + 0.5f * (s >> 1));
                    ++samples;
                    if (one.mat < 0) continue;
                    ++hits;
                    sum.r += one.colour.r, sum.g += one.colour.g, sum.b += one.colour.b;
                    light.r += one.light.r, light.g += one.light.g, light.b += one.light.b;
                }
            }
            if (hits == 0) continue;
            pic.Set(px, py, Scale(sum, 1.f / hits), static_cast<float>(hits) / samples);
            if (light.r + light.g + light.b > 0.f) glow.Set(px, py, Scale(light, 1.f / samples));
        }
    // light bloom around the engines and eyes
    const int r = 2;
    for (int pass = 0; pass < 2; ++pass) {
        RgbImage next(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                Colour s;
                for (int dy = -r; dy <= r; ++dy)
                    for (int dx = -r; dx <= r; ++dx) {
                        Colour g = glow.Get(x + dx, y + dy);
                        s.r += g.r, s.g += g.g, s.b += g.b;
                    }
                next.Set(x, y, Scale(s, 1.f / ((2 * r + 1) * (2 * r + 1))));
            }
        glow = next;
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            Colour g = glow.Get(x, y);
            if (g.r + g.g + g.b > 6.f) pic.Add(x, y, Scale(g, 1.6f), 1.f / 40.f);
        }
    return pic;
}

}  // namespace

RgbImage ShipStrip(int ship) {
    RgbImage sheet(kShipTurnSheetWidth, kShipTurnSheetHeight);
    StripLines(sheet, kShipTurnCell, kShipTurnFrames, {52, 56, 70});
    for (int k = 0; k < kShipTurnFrames; ++k) PutFrame(sheet, kShipTurnCell, k, Frame(ship, k));
    return sheet;
}

}  // namespace fe
