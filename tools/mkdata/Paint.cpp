#include "Paint.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace paint {

// ---------------------------------------------------------------- basics

namespace {

const uint8_t kBayer4[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

uint32_t Hash(int x, int y, uint32_t seed) {
    uint32_t h = seed * 0x9E3779B1u;
    h ^= static_cast<uint32_t>(x) * 0x85EBCA77u;
    h = (h << 13) | (h >> 19);
    h ^= static_cast<uint32_t>(y) * 0xC2B2AE3Du;
    h *= 0x27D4EB2Fu;
    h ^= h >> 15;
    h *= 0x165667B1u;
    h ^= h >> 13;
    return h;
}

float Lattice(int x, int y, uint32_t seed) { return static_cast<float>(Hash(x, y, seed) & 0xFFFF) / 65535.f; }

float Fade(float t) { return t * t * (3.f - 2.f * t); }

}  // namespace

float Bayer(int x, int y) { return (kBayer4[y & 3][x & 3] + 0.5f) / 16.f; }

uint8_t Ramp::At(float tone) const {
    int i = static_cast<int>(std::lround(Clamp01(tone) * (count - 1)));
    return static_cast<uint8_t>(first + i);
}

uint8_t Ramp::Dither(float tone, int x, int y) const {
    float pos = Clamp01(tone) * (count - 1);
    int base = static_cast<int>(pos);
    if (base >= count - 1) return static_cast<uint8_t>(first + count - 1);
    float frac = pos - base;
    if (frac > Bayer(x, y)) ++base;
    return static_cast<uint8_t>(first + base);
}

float Ramp::ToneOf(uint8_t index) const {
    int i = static_cast<int>(index) - first;
    if (i < 0 || i >= count) return -1.f;
    return count == 1 ? 1.f : static_cast<float>(i) / (count - 1);
}

float ValueNoise(float x, float y, uint32_t seed) {
    int ix = static_cast<int>(std::floor(x));
    int iy = static_cast<int>(std::floor(y));
    float fx = Fade(x - ix);
    float fy = Fade(y - iy);
    float a = Lattice(ix, iy, seed), b = Lattice(ix + 1, iy, seed);
    float c = Lattice(ix, iy + 1, seed), d = Lattice(ix + 1, iy + 1, seed);
    float top = a + (b - a) * fx;
    float bottom = c + (d - c) * fx;
    return top + (bottom - top) * fy;
}

float FractalNoise(float x, float y, int octaves, uint32_t seed) {
    float sum = 0.f, weight = 1.f, total = 0.f, freq = 1.f;
    for (int o = 0; o < octaves; ++o) {
        sum += ValueNoise(x * freq + o * 17.31f, y * freq - o * 9.73f, seed + o * 101u) * weight;
        total += weight;
        weight *= 0.5f;
        freq *= 2.f;
    }
    return total > 0.f ? sum / total : 0.f;
}

// ------------------------------------------------------ distance functions

Sdf Circle(float cx, float cy, float r) {
    return [=](float x, float y) { return std::hypot(x - cx, y - cy) - r; };
}

Sdf Ellipse(float cx, float cy, float rx, float ry) {
    return [=](float x, float y) {
        float px = (x - cx), py = (y - cy);
        float k0 = std::hypot(px / rx, py / ry);
        float k1 = std::hypot(px / (rx * rx), py / (ry * ry));
        if (k1 < 1e-6f) return -std::min(rx, ry);
        return k0 * (k0 - 1.f) / k1;
    };
}

Sdf RoundedBox(float left, float top, float right, float bottom, float radius) {
    float cx = (left + right) * 0.5f, cy = (top + bottom) * 0.5f;
    float hx = (right - left) * 0.5f - radius, hy = (bottom - top) * 0.5f - radius;
    return [=](float x, float y) {
        float qx = std::fabs(x - cx) - hx, qy = std::fabs(y - cy) - hy;
        float ox = std::max(qx, 0.f), oy = std::max(qy, 0.f);
        return std::hypot(ox, oy) + std::min(std::max(qx, qy), 0.f) - radius;
    };
}

Sdf Segment(float x0, float y0, float x1, float y1, float halfWidth) {
    return [=](float x, float y) {
        float dx = x1 - x0, dy = y1 - y0;
        float len2 = dx * dx + dy * dy;
        float t = len2 > 0.f ? Clamp01(((x - x0) * dx + (y - y0) * dy) / len2) : 0.f;
        return std::hypot(x - (x0 + dx * t), y - (y0 + dy * t)) - halfWidth;
    };
}

Sdf Polygon(std::vector<float> xy) {
    return [xy = std::move(xy)](float x, float y) {
        const size_t n = xy.size() / 2;
        if (n < 3) return 1e9f;
        float d = 1e30f;
        bool inside = false;
        for (size_t i = 0, j = n - 1; i < n; j = i++) {
            float ax = xy[2 * j], ay = xy[2 * j + 1], bx = xy[2 * i], by = xy[2 * i + 1];
            float ex = bx - ax, ey = by - ay;
            float wx = x - ax, wy = y - ay;
            float len2 = ex * ex + ey * ey;
            float t = len2 > 0.f ? Clamp01((wx * ex + wy * ey) / len2) : 0.f;
            float qx = wx - ex * t, qy = wy - ey * t;
            d = std::min(d, qx * qx + qy * qy);
            if ((ay > y) != (by > y) && x < ax + (y - ay) * ex / ey) inside = !inside;
        }
        float dist = std::sqrt(d);
        return inside ? -dist : dist;
    };
}

Sdf Union(Sdf a, Sdf b) {
    return [a = std::move(a), b = std::move(b)](float x, float y) { return std::min(a(x, y), b(x, y)); };
}

Sdf Subtract(Sdf a, Sdf b) {
    return [a = std::move(a), b = std::move(b)](float x, float y) { return std::max(a(x, y), -b(x, y)); };
}

Sdf Offset(Sdf a, float grow) {
    return [a = std::move(a), grow](float x, float y) { return a(x, y) - grow; };
}

// -------------------------------------------------------- indexed painting

void FillShape(Canvas& c, const Box& box, const Sdf& shape, const ToneFn& tone, const Ramp& ramp, bool soft) {
    int l = std::max(box.left, 0), t = std::max(box.top, 0);
    int r = std::min(box.right, c.Width()), b = std::min(box.bottom, c.Height());
    for (int y = t; y < b; ++y)
        for (int x = l; x < r; ++x) {
            float px = x + 0.5f, py = y + 0.5f;
            float cov = Clamp01(0.5f - shape(px, py));
            if (soft) {
                if (cov < 0.25f) continue;
                c.Set(x, y, ramp.Dither(tone(px, py) * (cov < 1.f ? cov : 1.f), x, y));
            } else {
                if (cov < 0.5f) continue;
                c.Set(x, y, ramp.Dither(tone(px, py), x, y));
            }
        }
}

static Box Around(float cx, float cy, float rx, float ry) {
    return {static_cast<int>(std::floor(cx - rx - 2)), static_cast<int>(std::floor(cy - ry - 2)),
            static_cast<int>(std::ceil(cx + rx + 2)), static_cast<int>(std::ceil(cy + ry + 2))};
}

void Line(Canvas& c, float x0, float y0, float x1, float y1, float width, const Ramp& ramp, float tone) {
    float h = width * 0.5f;
    Box box{
        static_cast<int>(std::floor(std::min(x0, x1) - h - 2)), static_cast<int>(std::floor(std::min(y0, y1) - h - 2)),
        static_cast<int>(std::ceil(std::max(x0, x1) + h + 2)), static_cast<int>(std::ceil(std::max(y0, y1) + h + 2))};
    FillShape(
        c, box, Segment(x0, y0, x1, y1, h), [tone](float, float) { return tone; }, ramp, true);
}

void Sphere(Canvas& c, float cx, float cy, float rx, float ry, const Ramp& ramp, float lightX, float lightY) {
    float lz = std::sqrt(std::max(0.f, 1.f - lightX * lightX - lightY * lightY));
    // half vector between the light and the viewer (0, 0, 1)
    float hx = lightX, hy = lightY, hz = lz + 1.f;
    float hl = std::sqrt(hx * hx + hy * hy + hz * hz);
    hx /= hl, hy /= hl, hz /= hl;
    FillShape(
        c, Around(cx, cy, rx, ry), Ellipse(cx, cy, rx, ry),
        [=](float x, float y) {
            float nx = (x - cx) / rx, ny = (y - cy) / ry;
            float r2 = std::min(1.f, nx * nx + ny * ny);
            float nz = std::sqrt(1.f - r2);
            float diffuse = std::max(0.f, nx * lightX + ny * lightY + nz * lz);
            float shine = std::pow(std::max(0.f, nx * hx + ny * hy + nz * hz), 24.f);
            return 0.08f + 0.72f * diffuse + 0.5f * shine;
        },
        ramp, true);
}

void Frame(Canvas& c, int left, int top, int right, int bottom, uint8_t index) {
    for (int x = left; x < right; ++x) {
        c.Set(x, top, index);
        c.Set(x, bottom - 1, index);
    }
    for (int y = top; y < bottom; ++y) {
        c.Set(left, y, index);
        c.Set(right - 1, y, index);
    }
}

void BevelPanel(Canvas& c, int left, int top, int right, int bottom, int bevel, const Ramp& ramp, float tFace) {
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) {
            int dl = x - left, dt = y - top, dr = right - 1 - x, db = bottom - 1 - y;
            int edge = std::min(std::min(dl, dt), std::min(dr, db));
            float tone;
            if (edge == 0) {
                tone = 0.f;
            } else if (edge <= bevel) {
                bool lit = std::min(dl, dt) <= std::min(dr, db);
                float k = 1.f - static_cast<float>(edge - 1) / std::max(1, bevel);
                tone = lit ? tFace + 0.22f + 0.18f * k : tFace - 0.18f - 0.14f * k;
            } else {
                // brushed metal: streaks along x, a soft sheen from the top
                float streak = ValueNoise(x * 0.05f, y * 0.9f, 77u) - 0.5f;
                float sheen = 0.08f * (1.f - static_cast<float>(dt) / std::max(1, bottom - top));
                tone = tFace + 0.1f * streak + sheen;
            }
            c.Set(x, y, ramp.Dither(tone, x, y));
        }
}

void VerticalGradient(Canvas& c, int left, int top, int right, int bottom, const Ramp& ramp, float tTop,
                      float tBottom) {
    float span = static_cast<float>(std::max(1, bottom - top - 1));
    for (int y = top; y < bottom; ++y) {
        float t = tTop + (tBottom - tTop) * (y - top) / span;
        for (int x = left; x < right; ++x) c.Set(x, y, ramp.Dither(t, x, y));
    }
}

// -------------------------------------------------------- true-colour work

Colour Gradient(const std::vector<Colour>& stops, float t) {
    if (stops.empty()) return {};
    if (stops.size() == 1) return stops[0];
    float pos = Clamp01(t) * (stops.size() - 1);
    size_t s = std::min(static_cast<size_t>(pos), stops.size() - 2);
    return Mix(stops[s], stops[s + 1], pos - s);
}

RgbImage::RgbImage(int width, int height)
    : width_(width), height_(height), px_(size_t(width) * height), alpha_(size_t(width) * height, 0.f) {}

Colour RgbImage::Get(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return {};
    return px_[size_t(y) * width_ + x];
}

float RgbImage::Alpha(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0.f;
    return alpha_[size_t(y) * width_ + x];
}

void RgbImage::Set(int x, int y, Colour c, float alpha) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    px_[size_t(y) * width_ + x] = c;
    alpha_[size_t(y) * width_ + x] = alpha;
}

void RgbImage::Blend(int x, int y, Colour c, float coverage) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_ || coverage <= 0.f) return;
    size_t i = size_t(y) * width_ + x;
    coverage = std::min(coverage, 1.f);
    px_[i] = Mix(px_[i], c, coverage);
    alpha_[i] = std::max(alpha_[i], coverage);
}

void RgbImage::Add(int x, int y, Colour c, float alphaGain) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    size_t i = size_t(y) * width_ + x;
    px_[i].r += c.r;
    px_[i].g += c.g;
    px_[i].b += c.b;
    float lum = 0.3f * px_[i].r + 0.5f * px_[i].g + 0.2f * px_[i].b;
    alpha_[i] = std::max(alpha_[i], std::min(1.f, lum * alphaGain));
}

void RgbImage::Fill(const Box& box, Colour c) {
    for (int y = std::max(0, box.top); y < std::min(height_, box.bottom); ++y)
        for (int x = std::max(0, box.left); x < std::min(width_, box.right); ++x) Set(x, y, c);
}

void RgbImage::Draw(const RgbImage& src, int dx, int dy) {
    for (int y = 0; y < src.Height(); ++y)
        for (int x = 0; x < src.Width(); ++x) {
            float a = src.Alpha(x, y);
            if (a > 0.f) Blend(dx + x, dy + y, src.Get(x, y), a);
        }
}

void FillShape(RgbImage& img, const Box& box, const Sdf& shape, const ColourFn& colour) {
    for (int y = std::max(0, box.top); y < std::min(img.Height(), box.bottom); ++y)
        for (int x = std::max(0, box.left); x < std::min(img.Width(), box.right); ++x) {
            float px = x + 0.5f, py = y + 0.5f;
            float cov = Clamp01(0.5f - shape(px, py));
            if (cov > 0.f) img.Blend(x, y, colour(px, py), cov);
        }
}

void VerticalGradient(RgbImage& img, const Box& box, const std::vector<Colour>& stops) {
    float span = static_cast<float>(std::max(1, box.bottom - box.top - 1));
    for (int y = box.top; y < box.bottom; ++y) {
        Colour c = Gradient(stops, (y - box.top) / span);
        for (int x = box.left; x < box.right; ++x) img.Set(x, y, c);
    }
}

void AddGlow(RgbImage& img, float cx, float cy, float radius, Colour c) {
    int l = static_cast<int>(std::floor(cx - radius)), r = static_cast<int>(std::ceil(cx + radius));
    int t = static_cast<int>(std::floor(cy - radius)), b = static_cast<int>(std::ceil(cy + radius));
    for (int y = std::max(0, t); y <= std::min(img.Height() - 1, b); ++y)
        for (int x = std::max(0, l); x <= std::min(img.Width() - 1, r); ++x) {
            float d = std::hypot(x + 0.5f - cx, y + 0.5f - cy) / radius;
            if (d >= 1.f) continue;
            img.Add(x, y, Scale(c, (1.f - d) * (1.f - d)));
        }
}

void BevelPanel(RgbImage& img, const Box& box, int bevel, Colour face, Colour light, Colour shade) {
    for (int y = box.top; y < box.bottom; ++y)
        for (int x = box.left; x < box.right; ++x) {
            int dl = x - box.left, dt = y - box.top, dr = box.right - 1 - x, db = box.bottom - 1 - y;
            int edge = std::min(std::min(dl, dt), std::min(dr, db));
            Colour col;
            if (edge == 0) {
                col = Scale(shade, 0.4f);
            } else if (edge <= bevel) {
                bool lit = std::min(dl, dt) <= std::min(dr, db);
                float k = 1.f - static_cast<float>(edge - 1) / std::max(1, bevel);
                col = Mix(face, lit ? light : shade, 0.45f + 0.55f * k);
            } else {
                float streak = ValueNoise(x * 0.04f, y * 0.8f, 91u) - 0.5f;
                float sheen =
                    1.f + 0.25f * (1.f - static_cast<float>(dt) / std::max(1, box.bottom - box.top)) + 0.18f * streak;
                col = Scale(face, sheen);
            }
            img.Set(x, y, col);
        }
}

std::vector<int> Range(int first, int last) {
    std::vector<int> v;
    for (int i = first; i <= last; ++i) v.push_back(i);
    return v;
}

namespace {

float Dist2(const Colour& a, const Colour& b) {
    float dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
    return 3.f * dr * dr + 4.f * dg * dg + 2.f * db * db;
}

struct Bin {
    float count = 0;
    Colour sum;
    Colour Mean() const { return Scale(sum, 1.f / count); }
};

struct CutBox {
    std::vector<int> bins;  // indices into the bin list
    float sse = 0;
    int axis = 0;
};

float Channel(const Colour& c, int axis) { return axis == 0 ? c.r : (axis == 1 ? c.g : c.b); }

void Measure(CutBox& box, const std::vector<Bin>& bins) {
    double n = 0, s[3] = {0, 0, 0}, q[3] = {0, 0, 0};
    for (int i : box.bins) {
        const Bin& b = bins[i];
        Colour m = b.Mean();
        n += b.count;
        for (int a = 0; a < 3; ++a) {
            double v = Channel(m, a);
            s[a] += v * b.count;
            q[a] += v * v * b.count;
        }
    }
    double best = -1, total = 0;
    const double w[3] = {3, 4, 2};
    for (int a = 0; a < 3; ++a) {
        double var = n > 0 ? (q[a] - s[a] * s[a] / n) * w[a] : 0;
        total += var;
        if (var > best) best = var, box.axis = a;
    }
    box.sse = static_cast<float>(box.bins.size() > 1 ? total : 0);
}

}  // namespace

void MapToPalette(const RgbImage& img, const Palette& pal, const std::vector<int>& allowed, Canvas& out, float dither) {
    std::vector<Colour> entries;
    std::vector<int> ids;
    for (int i : allowed) {
        if (i <= 0 || i > 255) continue;
        entries.push_back(FromRgb(pal.entries[i]));
        ids.push_back(i);
    }
    std::vector<int16_t> cache(1 << 18, -1);
    for (int y = 0; y < img.Height(); ++y)
        for (int x = 0; x < img.Width(); ++x) {
            if (img.Alpha(x, y) < 0.5f || entries.empty()) {
                out.Set(x, y, 0);
                continue;
            }
            Colour c = img.Get(x, y);
            float d = (Bayer(x, y) - 0.5f) * 2.f * dither;
            // Truncation and the clamp as the shared palette was made with: the
            // data set's bytes depend on it.
            auto q = [d](float v) {
                return std::clamp(static_cast<int>(v + d + 0.5f), 0, 255) >> 2;  // NOLINT(bugprone-incorrect-roundings)
            };
            int key = (q(c.r) << 12) | (q(c.g) << 6) | q(c.b);
            if (cache[key] < 0) {
                Colour k{((key >> 12) & 63) * 4.f + 1.5f, ((key >> 6) & 63) * 4.f + 1.5f, (key & 63) * 4.f + 1.5f};
                float best = 1e30f;
                int bi = 0;
                for (size_t e = 0; e < entries.size(); ++e) {
                    float dd = Dist2(k, entries[e]);
                    if (dd < best) best = dd, bi = static_cast<int>(e);
                }
                cache[key] = static_cast<int16_t>(ids[bi]);
            }
            out.Set(x, y, static_cast<uint8_t>(cache[key]));
        }
}

void Quantize(const RgbImage& img, Palette& pal, const std::vector<int>& freeEntries, Canvas& out, float dither) {
    // histogram on 5 bits a channel
    std::vector<Bin> all(1 << 15);
    for (int y = 0; y < img.Height(); ++y)
        for (int x = 0; x < img.Width(); ++x) {
            if (img.Alpha(x, y) < 0.5f) continue;
            Colour c = img.Get(x, y);
            c = {std::clamp(c.r, 0.f, 255.f), std::clamp(c.g, 0.f, 255.f), std::clamp(c.b, 0.f, 255.f)};
            int key =
                (static_cast<int>(c.r) >> 3) << 10 | (static_cast<int>(c.g) >> 3) << 5 | (static_cast<int>(c.b) >> 3);
            all[key].count += 1;
            all[key].sum.r += c.r;
            all[key].sum.g += c.g;
            all[key].sum.b += c.b;
        }
    std::vector<Bin> bins;
    for (const Bin& b : all)
        if (b.count > 0) bins.push_back(b);

    std::vector<bool> isFree(256, false);
    for (int i : freeEntries)
        if (i > 0 && i < 256) isFree[i] = true;
    const int want = static_cast<int>(std::count(isFree.begin(), isFree.end(), true));

    // median cut into `want` boxes
    std::vector<Colour> centres;
    if (!bins.empty() && want > 0) {
        std::vector<CutBox> boxes(1);
        for (size_t i = 0; i < bins.size(); ++i) boxes[0].bins.push_back(static_cast<int>(i));
        Measure(boxes[0], bins);
        while (static_cast<int>(boxes.size()) < want) {
            size_t pick = 0;
            for (size_t i = 1; i < boxes.size(); ++i)
                if (boxes[i].sse > boxes[pick].sse) pick = i;
            if (boxes[pick].sse <= 0.f) break;
            CutBox& b = boxes[pick];
            const int axis = b.axis;
            std::sort(b.bins.begin(), b.bins.end(), [&](int p, int q) {
                float vp = Channel(bins[p].Mean(), axis), vq = Channel(bins[q].Mean(), axis);
                return vp != vq ? vp < vq : p < q;
            });
            double total = 0;
            for (int i : b.bins) total += bins[i].count;
            double acc = 0;
            size_t cut = 1;
            for (size_t i = 0; i + 1 < b.bins.size(); ++i) {
                acc += bins[b.bins[i]].count;
                cut = i + 1;
                if (acc >= total / 2) break;
            }
            CutBox other;
            other.bins.assign(b.bins.begin() + static_cast<long>(cut), b.bins.end());
            b.bins.resize(cut);
            Measure(b, bins);
            Measure(other, bins);
            boxes.push_back(std::move(other));
        }
        for (const CutBox& b : boxes) {
            Bin m;
            for (int i : b.bins) {
                m.count += bins[i].count;
                m.sum.r += bins[i].sum.r;
                m.sum.g += bins[i].sum.g;
                m.sum.b += bins[i].sum.b;
            }
            centres.push_back(m.Mean());
        }
    }

    // k-means refinement; the fixed entries take part but never move
    std::vector<Colour> fixed;
    for (int i = 1; i < 256; ++i)
        if (!isFree[i]) fixed.push_back(FromRgb(pal.entries[i]));
    for (int pass = 0; pass < 6 && !centres.empty(); ++pass) {
        std::vector<Bin> acc(centres.size());
        for (const Bin& b : bins) {
            Colour m = b.Mean();
            float best = 1e30f;
            int bi = -1;
            for (size_t c = 0; c < centres.size(); ++c) {
                float d = Dist2(m, centres[c]);
                if (d < best) best = d, bi = static_cast<int>(c);
            }
            for (const Colour& f : fixed)
                if (Dist2(m, f) < best) {
                    bi = -1;
                    break;
                }
            if (bi < 0) continue;
            acc[bi].count += b.count;
            acc[bi].sum.r += b.sum.r;
            acc[bi].sum.g += b.sum.g;
            acc[bi].sum.b += b.sum.b;
        }
        for (size_t c = 0; c < centres.size(); ++c)
            if (acc[c].count > 0) centres[c] = acc[c].Mean();
    }

    size_t next = 0;
    for (int i = 1; i < 256; ++i) {
        if (!isFree[i]) continue;
        Colour c = next < centres.size() ? centres[next++] : Colour{};
        pal.entries[i] = Rgb{static_cast<uint8_t>(std::clamp(c.r + 0.5f, 0.f, 255.f)),
                             static_cast<uint8_t>(std::clamp(c.g + 0.5f, 0.f, 255.f)),
                             static_cast<uint8_t>(std::clamp(c.b + 0.5f, 0.f, 255.f))};
    }
    MapToPalette(img, pal, Range(1, 255), out, dither);
}

// ------------------------------------------------------------------- text

Mask Dilate(const Mask& m, int radius) {
    Mask o;
    o.width = m.width + 2 * radius;
    o.height = m.height + 2 * radius;
    o.baseline = m.baseline + radius;
    o.cov.assign(size_t(o.width) * o.height, 0.f);
    for (int y = 0; y < o.height; ++y)
        for (int x = 0; x < o.width; ++x) {
            float best = 0.f;
            for (int dy = -radius; dy <= radius && best < 1.f; ++dy)
                for (int dx = -radius; dx <= radius; ++dx) {
                    if (dx * dx + dy * dy > radius * radius + radius) continue;
                    best = std::max(best, m.At(x - radius + dx, y - radius + dy));
                }
            o.cov[size_t(y) * o.width + x] = best;
        }
    return o;
}

Mask Blur(const Mask& m, int radius) {
    const int pad = 2 * radius;
    Mask o;
    o.width = m.width + 2 * pad;
    o.height = m.height + 2 * pad;
    o.baseline = m.baseline + pad;
    o.cov.assign(size_t(o.width) * o.height, 0.f);
    for (int y = 0; y < m.height; ++y)
        for (int x = 0; x < m.width; ++x) o.cov[size_t(y + pad) * o.width + x + pad] = m.At(x, y);
    if (radius <= 0) return o;
    std::vector<float> tmp(o.cov.size());
    const float k = 1.f / (2 * radius + 1);
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < o.height; ++y)
            for (int x = 0; x < o.width; ++x) {
                float s = 0;
                for (int d = -radius; d <= radius; ++d) s += o.At(x + d, y);
                tmp[size_t(y) * o.width + x] = s * k;
            }
        for (int y = 0; y < o.height; ++y)
            for (int x = 0; x < o.width; ++x) {
                float s = 0;
                for (int d = -radius; d <= radius; ++d) {
                    int yy = y + d;
                    if (yy >= 0 && yy < o.height) s += tmp[size_t(yy) * o.width + x];
                }
                o.cov[size_t(y) * o.width + x] = s * k;
            }
    }
    return o;
}

std::string FontFile(const std::string& name) { return "/usr/share/fonts/truetype/dejavu/" + name; }

TextFace::TextFace(const std::string& path) {
    FT_Library lib = nullptr;
    if (FT_Init_FreeType(&lib) != 0) {
        std::fprintf(stderr, "mkdata: FreeType cannot start\n");
        return;
    }
    FT_Face face = nullptr;
    if (FT_New_Face(lib, path.c_str(), 0, &face) != 0) {
        std::fprintf(stderr, "mkdata: cannot open font %s\n", path.c_str());
        FT_Done_FreeType(lib);
        return;
    }
    library_ = lib;
    face_ = face;
}

TextFace::~TextFace() {
    if (face_) FT_Done_Face(static_cast<FT_Face>(face_));
    if (library_) FT_Done_FreeType(static_cast<FT_Library>(library_));
}

namespace {
void SetScale(FT_Face face, int pixelSize, float xScale) {
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelSize));
    FT_Matrix m{static_cast<FT_Fixed>(std::lround(xScale * 65536.0)), 0, 0, 0x10000};
    FT_Set_Transform(face, xScale == 1.f ? nullptr : &m, nullptr);
}
}  // namespace

int TextFace::Measure(const std::string& text, int pixelSize, int tracking, float xScale) const {
    if (!face_) return 0;
    FT_Face face = static_cast<FT_Face>(face_);
    SetScale(face, pixelSize, xScale);
    int pen = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (FT_Load_Char(face, static_cast<unsigned char>(text[i]), FT_LOAD_DEFAULT) != 0) continue;
        pen += static_cast<int>((face->glyph->advance.x + 32) >> 6);
        if (i + 1 < text.size()) pen += tracking;
    }
    FT_Set_Transform(face, nullptr, nullptr);
    return pen;
}

Mask TextFace::Render(const std::string& text, int pixelSize, int tracking, float xScale) const {
    Mask m;
    if (!face_) return m;
    FT_Face face = static_cast<FT_Face>(face_);
    SetScale(face, pixelSize, xScale);
    const int ascender = static_cast<int>((face->size->metrics.ascender + 63) >> 6);
    const int descender = static_cast<int>((-face->size->metrics.descender + 63) >> 6);
    m.width = std::max(1, Measure(text, pixelSize, tracking, xScale) + 2);
    m.height = ascender + descender;
    m.baseline = ascender;
    m.cov.assign(size_t(m.width) * m.height, 0.f);
    SetScale(face, pixelSize, xScale);
    int pen = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (FT_Load_Char(face, static_cast<unsigned char>(text[i]), FT_LOAD_RENDER) != 0) continue;
        FT_GlyphSlot g = face->glyph;
        const FT_Bitmap& bm = g->bitmap;
        for (unsigned row = 0; row < bm.rows; ++row)
            for (unsigned col = 0; col < bm.width; ++col) {
                int x = pen + g->bitmap_left + static_cast<int>(col);
                int y = ascender - g->bitmap_top + static_cast<int>(row);
                if (x < 0 || y < 0 || x >= m.width || y >= m.height) continue;
                float v = bm.buffer[row * bm.pitch + col] / 255.f;
                float& dst = m.cov[size_t(y) * m.width + x];
                dst = std::min(1.f, dst + v);
            }
        pen += static_cast<int>((g->advance.x + 32) >> 6) + tracking;
    }
    FT_Set_Transform(face, nullptr, nullptr);
    return m;
}

void DrawMask(RgbImage& img, const Mask& m, int x, int y, const TextStyle& s) {
    if (s.glowRadius > 0) {
        Mask g = Blur(Dilate(m, std::max(1, s.glowRadius / 3)), s.glowRadius);
        int ox = x - 2 * s.glowRadius - std::max(1, s.glowRadius / 3);
        int oy = y - 2 * s.glowRadius - std::max(1, s.glowRadius / 3);
        for (int j = 0; j < g.height; ++j)
            for (int i = 0; i < g.width; ++i) {
                float v = g.At(i, j) * s.glowStrength;
                if (v > 0.004f) img.Add(ox + i, oy + j, Scale(s.glow, v));
            }
    }
    Mask outline;
    if (s.outlineWidth > 0) outline = Dilate(m, s.outlineWidth);
    if (s.shadowDx != 0 || s.shadowDy != 0) {
        const Mask& sh = s.outlineWidth > 0 ? outline : m;
        int off = s.outlineWidth;
        for (int j = 0; j < sh.height; ++j)
            for (int i = 0; i < sh.width; ++i)
                img.Blend(x - off + i + s.shadowDx, y - off + j + s.shadowDy, s.shadow, sh.At(i, j) * 0.8f);
    }
    if (s.outlineWidth > 0) {
        for (int j = 0; j < outline.height; ++j)
            for (int i = 0; i < outline.width; ++i)
                img.Blend(x - s.outlineWidth + i, y - s.outlineWidth + j, s.outline, outline.At(i, j));
    }
    // fill gradient spans the inked rows only
    int inkTop = m.height, inkBottom = -1;
    for (int j = 0; j < m.height; ++j)
        for (int i = 0; i < m.width; ++i)
            if (m.At(i, j) > 0.f) {
                inkTop = std::min(inkTop, j);
                inkBottom = std::max(inkBottom, j);
            }
    float span = static_cast<float>(std::max(1, inkBottom - inkTop));
    for (int j = 0; j < m.height; ++j) {
        Colour c = Mix(s.top, s.bottom, Clamp01((j - inkTop) / span));
        for (int i = 0; i < m.width; ++i) img.Blend(x + i, y + j, c, m.At(i, j));
    }
}

void DrawMask(Canvas& c, const Mask& m, int x, int y, const Ramp& fill, float tTop, float tBottom, uint8_t outline,
              int outlineWidth) {
    if (outline != 0 && outlineWidth > 0) {
        Mask o = Dilate(m, outlineWidth);
        for (int j = 0; j < o.height; ++j)
            for (int i = 0; i < o.width; ++i)
                if (o.At(i, j) >= 0.35f) c.Set(x - outlineWidth + i, y - outlineWidth + j, outline);
    }
    int inkTop = m.height, inkBottom = -1;
    for (int j = 0; j < m.height; ++j)
        for (int i = 0; i < m.width; ++i)
            if (m.At(i, j) > 0.f) {
                inkTop = std::min(inkTop, j);
                inkBottom = std::max(inkBottom, j);
            }
    float span = static_cast<float>(std::max(1, inkBottom - inkTop));
    for (int j = 0; j < m.height; ++j) {
        float t = tTop + (tBottom - tTop) * Clamp01((j - inkTop) / span);
        for (int i = 0; i < m.width; ++i) {
            float v = m.At(i, j);
            if (v >= 0.5f)
                c.Set(x + i, y + j, fill.Dither(t, x + i, y + j));
            else if (v >= 0.2f && outline == 0)
                c.Set(x + i, y + j, fill.Dither(t * v * 1.6f, x + i, y + j));
        }
    }
}

}  // namespace paint
