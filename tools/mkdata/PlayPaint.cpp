#include "PlayPaint.h"

#include "Paint.h"

#include <algorithm>
#include <array>

namespace play {

// ---------------------------------------------------------------- maths

Vec3 Normalize(Vec3 v) {
    float len = std::sqrt(Dot(v, v));
    if (len <= 1e-12f) return {0.f, 0.f, 1.f};
    return v * (1.f / len);
}

float SmoothStep(float edge0, float edge1, float x) {
    float t = Clamp01((x - edge0) / (edge1 - edge0));
    return t * t * (3.f - 2.f * t);
}

namespace {

uint32_t HashInts(int a, int b, int c, uint32_t seed) {
    uint32_t h = seed * 0x9E3779B1u;
    h ^= static_cast<uint32_t>(a) * 0x85EBCA77u;
    h = (h << 13) | (h >> 19);
    h ^= static_cast<uint32_t>(b) * 0xC2B2AE3Du;
    h = (h << 11) | (h >> 21);
    h ^= static_cast<uint32_t>(c) * 0x27D4EB2Fu;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

float HashUnit(int a, int b, int c, uint32_t seed) {
    return static_cast<float>(HashInts(a, b, c, seed) & 0xFFFFFF) / static_cast<float>(0x1000000);
}

float Fade(float t) { return t * t * t * (t * (t * 6.f - 15.f) + 10.f); }

}  // namespace

float Hash01(int a, int b, uint32_t seed) { return HashUnit(a, b, 0, seed); }

float ValueNoise2(float x, float y, uint32_t seed) {
    int xi = static_cast<int>(std::floor(x));
    int yi = static_cast<int>(std::floor(y));
    float fx = Fade(x - xi), fy = Fade(y - yi);
    float a = HashUnit(xi, yi, 0, seed), b = HashUnit(xi + 1, yi, 0, seed);
    float c = HashUnit(xi, yi + 1, 0, seed), d = HashUnit(xi + 1, yi + 1, 0, seed);
    return Mix(Mix(a, b, fx), Mix(c, d, fx), fy);
}

float Fbm2(float x, float y, int octaves, uint32_t seed, float gain) {
    float sum = 0.f, amp = 1.f, norm = 0.f;
    for (int o = 0; o < octaves; ++o) {
        sum += ValueNoise2(x, y, seed + 101u * o) * amp;
        norm += amp;
        amp *= gain;
        float nx = (x * 1.6f - y * 1.2f) + 17.3f;
        float ny = (x * 1.2f + y * 1.6f) - 9.1f;
        x = nx;
        y = ny;
    }
    return sum / norm;
}

float ValueNoise3(float x, float y, float z, uint32_t seed) {
    int xi = static_cast<int>(std::floor(x));
    int yi = static_cast<int>(std::floor(y));
    int zi = static_cast<int>(std::floor(z));
    float fx = Fade(x - xi), fy = Fade(y - yi), fz = Fade(z - zi);
    float v[2];
    for (int k = 0; k < 2; ++k) {
        float a = HashUnit(xi, yi, zi + k, seed), b = HashUnit(xi + 1, yi, zi + k, seed);
        float c = HashUnit(xi, yi + 1, zi + k, seed), d = HashUnit(xi + 1, yi + 1, zi + k, seed);
        v[k] = Mix(Mix(a, b, fx), Mix(c, d, fx), fy);
    }
    return Mix(v[0], v[1], fz);
}

float Fbm3(float x, float y, float z, int octaves, uint32_t seed, float gain) {
    float sum = 0.f, amp = 1.f, norm = 0.f;
    for (int o = 0; o < octaves; ++o) {
        sum += ValueNoise3(x, y, z, seed + 131u * o) * amp;
        norm += amp;
        amp *= gain;
        float nx = (x * 1.6f - y * 1.2f) + 5.7f;
        float ny = (x * 1.2f + y * 1.6f) - 3.3f;
        x = nx;
        y = ny;
        z = z * 2.f + 1.9f;
    }
    return sum / norm;
}

// ---------------------------------------------------------------- lighting

Vec3 LightDir() {
    static const Vec3 kLight = Normalize({-0.55f, -0.7f, 0.75f});
    return kLight;
}

float Diffuse(Vec3 n) { return std::max(0.f, Dot(n, LightDir())); }

float Specular(Vec3 n, float power) {
    static const Vec3 kHalf = Normalize(LightDir() + Vec3{0.f, 0.f, 1.f});
    float d = Dot(n, kHalf);
    return d <= 0.f ? 0.f : std::pow(d, power);
}

Vec3 BevelNormal(const std::function<float(float, float)>& sdf, float x, float y, float bevel) {
    auto height = [&](float px, float py) {
        float d = sdf(px, py);
        float t = Clamp01(-d / bevel);
        return bevel * std::sqrt(std::max(0.f, 1.f - (1.f - t) * (1.f - t)));
    };
    const float e = 0.35f;
    float dx = (height(x + e, y) - height(x - e, y)) / (2.f * e);
    float dy = (height(x, y + e) - height(x, y - e)) / (2.f * e);
    return Normalize({-dx, -dy, 1.f});
}

HeadingFrame FrameOf(int heading) {
    switch (heading & 3) {
    case 0:
        return {0.f, -1.f, 1.f, 0.f};
    case 1:
        return {1.f, 0.f, 0.f, 1.f};
    case 2:
        return {0.f, 1.f, -1.f, 0.f};
    default:
        return {-1.f, 0.f, 0.f, -1.f};
    }
}

// ---------------------------------------------------------------- inks

RampSpan SpanOf(Tone tone) {
    switch (tone) {
    case Tone::Grey:
        return {ramp::kGrey, 16};
    case Tone::Steel:
        return {ramp::kSteel, 16};
    case Tone::Cyan:
        return {ramp::kCyan, 16};
    case Tone::Fire:
        return {ramp::kFire, 16};
    case Tone::Gold:
        return {ramp::kGold, 16};
    case Tone::Red:
        return {ramp::kRed, 8};
    case Tone::Green:
        return {ramp::kGreen, 16};
    case Tone::Violet:
        return {ramp::kViolet, 16};  // its last step is the white at 255
    default:
        return {0, 1};
    }
}

uint8_t ToneIndex(Tone tone, float value, int x, int y, float dither) {
    if (tone == Tone::None) return 0;
    RampSpan span = SpanOf(tone);
    float pos = Clamp01(value) * static_cast<float>(span.count - 1) + 0.5f + (paint::Bayer(x, y) - 0.5f) * dither;
    int step = static_cast<int>(std::floor(pos));
    if (step < 0) step = 0;
    if (step > span.count - 1) step = span.count - 1;
    return static_cast<uint8_t>(span.first + step);
}

void ShadeRect(Canvas& canvas, int left, int top, int w, int h, const Shader& shader, const ShadeOptions& options) {
    const int s = std::max(1, options.supersample);
    const int n = s * s;
    constexpr int kTones = static_cast<int>(Tone::Count);
    for (int py = 0; py < h; ++py) {
        for (int px = 0; px < w; ++px) {
            std::array<float, kTones> weight{};
            std::array<float, kTones> valueSum{};
            int solid = 0;
            float softCover = 0.f;
            for (int sy = 0; sy < s; ++sy) {
                for (int sx = 0; sx < s; ++sx) {
                    float fx = px + (sx + 0.5f) / s;
                    float fy = py + (sy + 0.5f) / s;
                    Ink ink = shader(fx, fy);
                    if (ink.tone == Tone::None || ink.alpha <= 0.f) continue;
                    int t = static_cast<int>(ink.tone);
                    float a = std::min(1.f, ink.alpha);
                    weight[t] += a;
                    valueSum[t] += a * ink.value;
                    if (a >= 0.99f)
                        ++solid;
                    else
                        softCover += a;
                }
            }
            bool opaque = solid * 2 >= n;
            if (!opaque && softCover > 0.f) {
                float cover = (softCover + static_cast<float>(solid)) / static_cast<float>(n);
                opaque = cover > paint::Bayer(left + px, top + py);
            }
            if (!opaque) {
                if (!options.overlay) canvas.Set(left + px, top + py, 0);
                continue;
            }
            int best = 0;
            for (int t = 1; t < kTones; ++t)
                if (weight[t] > weight[best]) best = t;
            float value = valueSum[best] / weight[best];
            canvas.Set(left + px, top + py,
                       ToneIndex(static_cast<Tone>(best), value, left + px, top + py, options.dither));
        }
    }
}

// ---------------------------------------------------------------- sheets

void DrawStripLines(Canvas& canvas, int srcX, int srcY, int pitchX, int pitchY, int frames) {
    const int right = srcX + frames * pitchX;
    for (int k = 0; k <= frames; ++k)
        for (int y = srcY; y <= srcY + pitchY; ++y) canvas.Set(srcX + k * pitchX, y, kSheetLine);
    for (int x = srcX; x <= right; ++x) {
        canvas.Set(x, srcY, kSheetLine);
        canvas.Set(x, srcY + pitchY, kSheetLine);
    }
}

// ---------------------------------------------------------------- pictures

float SdEllipse(float u, float v, float cu, float cv, float ru, float rv) {
    float a = (u - cu) / ru, b = (v - cv) / rv;
    return (std::sqrt(a * a + b * b) - 1.f) * std::min(ru, rv);
}

float SdCapsule(float u, float v, float au, float av, float bu, float bv, float r) {
    float pu = u - au, pv = v - av, du = bu - au, dv = bv - av;
    float len2 = du * du + dv * dv;
    float t = len2 > 0.f ? Clamp01((pu * du + pv * dv) / len2) : 0.f;
    float eu = pu - du * t, ev = pv - dv * t;
    return std::sqrt(eu * eu + ev * ev) - r;
}

float SmoothMin(float a, float b, float k) {
    float h = Clamp01(0.5f + 0.5f * (b - a) / k);
    return Mix(b, a, h) - k * h * (1.f - h);
}

float StarSdf(float px, float py, float rot, float outer, float inner) {
    // fold the point into one arm's wedge, then measure to that arm's edge
    const float wedge = 2.f * kPi / 5.f;
    float a = std::atan2(py, px) - rot;
    a = std::fmod(a + wedge / 2.f + 100.f * wedge, wedge) - wedge / 2.f;
    float r = std::sqrt(px * px + py * py);
    float qx = r * std::cos(a), qy = std::fabs(r * std::sin(a));
    float ax = outer, ay = 0.f, bx = inner * std::cos(wedge / 2.f), by = inner * std::sin(wedge / 2.f);
    float ex = bx - ax, ey = by - ay;
    float t = Clamp01(((qx - ax) * ex + (qy - ay) * ey) / (ex * ex + ey * ey));
    float dx = qx - (ax + ex * t), dy = qy - (ay + ey * t);
    float dist = std::sqrt(dx * dx + dy * dy);
    float side = ex * (qy - ay) - ey * (qx - ax);
    return side > 0.f ? -dist : dist;
}

}  // namespace play
