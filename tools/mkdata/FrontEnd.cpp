// The front-end pictures: shared tools, the mouse pointer and the entry
// point that builds every screen's files.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "FrontEndArt.h"
#include "Generators.h"
#include "io/PointerSheet.h"

namespace fe {

using paint::Clamp01;
using paint::Mix;
using paint::Scale;

// ------------------------------------------------------------ sprite strips

void PutFrame(RgbImage& sheet, int srcX, int srcY, int w, int h, int frame, const RgbImage& pic) {
    const int left = srcX + frame * w + 1, top = srcY + 1;
    for (int y = 0; y < h - 1; ++y)
        for (int x = 0; x < w - 1; ++x) sheet.Set(left + x, top + y, pic.Get(x, y), pic.Alpha(x, y));
}

void StripLines(RgbImage& sheet, int srcX, int srcY, int w, int h, int frames, Colour c) {
    for (int k = 0; k <= frames; ++k)
        for (int y = srcY; y <= srcY + h; ++y) sheet.Set(srcX + k * w, y, c);
    for (int x = srcX; x <= srcX + frames * w; ++x) {
        sheet.Set(x, srcY, c);
        sheet.Set(x, srcY + h, c);
    }
}

// ------------------------------------------------------------- backgrounds

void DeepSpace(RgbImage& img, const Box& box, const SpaceLook& look) {
    const float h = static_cast<float>(std::max(1, box.bottom - box.top));
    for (int y = box.top; y < box.bottom; ++y)
        for (int x = box.left; x < box.right; ++x) {
            Colour c = Mix(look.top, look.bottom, (y - box.top) / h);
            float fx = x / look.scale, fy = y / look.scale;
            float a = paint::FractalNoise(fx, fy, 6, look.seed);
            float b = paint::FractalNoise(fx * 1.3f + 7.f, fy * 1.3f - 3.f, 6, look.seed + 31);
            float dust = paint::FractalNoise(fx * 3.f, fy * 3.f, 4, look.seed + 77);
            float ca = paint::Smooth(0.42f, 0.82f, a) * (0.6f + 0.8f * dust);
            float cb = paint::Smooth(0.48f, 0.88f, b) * (0.5f + 0.9f * dust);
            float k = look.nebulaAmount;
            c.r += (look.nebulaA.r * ca + look.nebulaB.r * cb) * k;
            c.g += (look.nebulaA.g * ca + look.nebulaB.g * cb) * k;
            c.b += (look.nebulaA.b * ca + look.nebulaB.b * cb) * k;
            // a few bright filaments where both clouds meet
            float f = paint::Smooth(0.55f, 0.75f, std::min(a, b)) * 0.6f * k;
            c.r += 90 * f, c.g += 70 * f, c.b += 110 * f;
            img.Set(x, y, c);
        }
    ToolRandom rng(look.seed * 7919u + 13u);
    for (int i = 0; i < look.stars; ++i) {
        float x = box.left + rng.Unit() * (box.right - box.left - 1);
        float y = box.top + rng.Unit() * (box.bottom - box.top - 1);
        float u = rng.Unit();
        float bright = 40.f + 215.f * u * u * u;
        float tint = rng.Unit();
        Colour c = tint < 0.6f    ? Colour{bright, bright, bright}
                   : tint < 0.85f ? Colour{bright * 0.75f, bright * 0.85f, bright}
                                  : Colour{bright, bright * 0.9f, bright * 0.65f};
        img.Add(static_cast<int>(x), static_cast<int>(y), c);
        if (u > 0.9f) {
            paint::AddGlow(img, x + 0.5f, y + 0.5f, 2.5f + 4.f * (u - 0.9f) * 10.f, Scale(c, 0.35f));
            if (u > 0.975f)
                for (int d = 1; d <= 5; ++d) {
                    Colour s = Scale(c, 0.45f / d);
                    img.Add(static_cast<int>(x) + d, static_cast<int>(y), s);
                    img.Add(static_cast<int>(x) - d, static_cast<int>(y), s);
                    img.Add(static_cast<int>(x), static_cast<int>(y) + d, s);
                    img.Add(static_cast<int>(x), static_cast<int>(y) - d, s);
                }
        }
    }
}

void Planet(RgbImage& img, float cx, float cy, float r, Colour dark, Colour light, bool bands, uint32_t seed) {
    const float lx = -0.55f, ly = -0.45f, lz = 0.7f;
    // atmosphere halo first, then the disc over it
    for (int y = static_cast<int>(cy - r * 1.3f); y <= static_cast<int>(cy + r * 1.3f); ++y)
        for (int x = static_cast<int>(cx - r * 1.3f); x <= static_cast<int>(cx + r * 1.3f); ++x) {
            float d = std::hypot(x + 0.5f - cx, y + 0.5f - cy);
            if (d < r || d > r * 1.3f) continue;
            float t = 1.f - (d - r) / (r * 0.3f);
            float side = Clamp01(0.5f - ((x - cx) * lx + (y - cy) * ly) / d * -0.9f);
            img.Add(x, y, Scale(light, 0.35f * t * t * (0.3f + side)));
        }
    paint::FillShape(img, {int(cx - r - 2), int(cy - r - 2), int(cx + r + 2), int(cy + r + 2)},
                     paint::Circle(cx, cy, r), [&](float x, float y) {
                         float nx = (x - cx) / r, ny = (y - cy) / r;
                         float nz = std::sqrt(std::max(0.f, 1.f - nx * nx - ny * ny));
                         float diff = std::max(0.f, nx * lx + ny * ly + nz * lz);
                         float tex;
                         if (bands) {
                             float warp = paint::FractalNoise(nx * 3.f, ny * 8.f, 4, seed) - 0.5f;
                             tex = 0.5f + 0.5f * std::sin((ny + warp * 0.25f) * 14.f);
                         } else {
                             tex = paint::FractalNoise(nx * 2.5f + 3.f, ny * 2.5f, 5, seed);
                         }
                         Colour c = Mix(dark, light, Clamp01(tex));
                         float rim = std::pow(1.f - nz, 3.f);
                         Colour out = Scale(c, 0.05f + 1.05f * diff);
                         out.r += light.r * rim * 0.5f * diff;
                         out.g += light.g * rim * 0.5f * diff;
                         out.b += light.b * rim * 0.5f * diff;
                         return out;
                     });
}

RgbImage FromShared(const Canvas& c, int left, int top, int w, int h) {
    const Palette pal = SharedPalette();
    RgbImage out(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t v = c.Get(left + x, top + y);
            if (v != 0) out.Set(x, y, paint::FromRgb(pal.entries[v]));
        }
    return out;
}

RgbImage FromShared(const Canvas& c, const SheetCell& cell, int frame) {
    return FromShared(c, cell.x + frame * cell.w + 1, cell.y + 1, cell.w - 1, cell.h - 1);
}

// -------------------------------------------------------------- metal work

void Emboss(RgbImage& img, const Box& box, const paint::Sdf& shape, const paint::ColourFn& face, float bevel,
            bool sunken, float gloss) {
    const float lx = -0.49f, ly = -0.59f, lz = 0.64f;
    float hx = lx, hy = ly, hz = lz + 1.f;
    float hl = std::sqrt(hx * hx + hy * hy + hz * hz);
    hx /= hl, hy /= hl, hz /= hl;
    for (int y = std::max(0, box.top); y < std::min(img.Height(), box.bottom); ++y)
        for (int x = std::max(0, box.left); x < std::min(img.Width(), box.right); ++x) {
            float px = x + 0.5f, py = y + 0.5f;
            float d = shape(px, py);
            float cov = Clamp01(0.5f - d);
            if (cov <= 0.f) continue;
            float depth = -d;
            float nx = 0.f, ny = 0.f, nz = 1.f;
            if (depth < bevel) {
                float gx = shape(px + 0.5f, py) - shape(px - 0.5f, py);
                float gy = shape(px, py + 0.5f) - shape(px, py - 0.5f);
                float gl = std::hypot(gx, gy);
                if (gl > 1e-4f) gx /= gl, gy /= gl;
                float k = 1.6f * (1.f - Clamp01(depth / bevel));
                if (sunken) k = -k;
                nx = gx * k, ny = gy * k;
                float nl = std::sqrt(nx * nx + ny * ny + 1.f);
                nx /= nl, ny /= nl, nz = 1.f / nl;
            }
            float diff = std::max(0.f, nx * lx + ny * ly + nz * lz);
            float shine = std::pow(std::max(0.f, nx * hx + ny * hy + nz * hz), 40.f) * gloss;
            float shade = 0.25f + 0.75f * diff / lz;
            Colour c = Scale(face(px, py), shade);
            c.r += 255.f * shine, c.g += 255.f * shine, c.b += 255.f * shine;
            if (d > -1.f) c = Scale(c, 0.55f);  // dark rim
            img.Blend(x, y, c, cov);
        }
}

paint::ColourFn Brushed(Colour base, const Box& box, uint32_t seed) {
    return [=](float x, float y) {
        float streak = paint::ValueNoise(x * 0.035f, y * 0.9f, seed) - 0.5f;
        float sheen = 1.f - Clamp01((y - box.top) / std::max(1.f, float(box.bottom - box.top)));
        return Scale(base, 0.9f + 0.22f * streak + 0.28f * sheen);
    };
}

void FramedWell(RgbImage& img, const Box& box, float radius, float rim, Colour metal, Colour glass, Colour glowEdge) {
    paint::Sdf outer = paint::RoundedBox(box.left, box.top, box.right, box.bottom, radius);
    Emboss(img, box, outer, Brushed(metal, box), std::max(2.f, rim * 0.6f), false, 0.6f);
    const float il = box.left + rim, it = box.top + rim, ir = box.right - rim, ib = box.bottom - rim;
    paint::Sdf inner = paint::RoundedBox(il, it, ir, ib, std::max(1.f, radius - rim * 0.6f));
    Emboss(
        img, box, inner,
        [=](float x, float y) {
            float t = Clamp01((y - it) / std::max(1.f, ib - it));
            Colour c = Mix(Scale(glass, 1.5f), glass, std::sqrt(t));
            return c;
        },
        2.f, true, 0.f);
    if (glowEdge.r + glowEdge.g + glowEdge.b > 0.f) {
        for (int y = int(it); y < int(ib); ++y)
            for (int x = int(il); x < int(ir); ++x) {
                float d = -inner(x + 0.5f, y + 0.5f);
                if (d < 0.f || d > 4.f) continue;
                img.Add(x, y, Scale(glowEdge, (1.f - d / 4.f) * (1.f - d / 4.f)));
            }
    }
}

void GlassPanel(RgbImage& img, const Box& b, float radius, Colour tint, float keep) {
    paint::Sdf outer = paint::RoundedBox(b.left, b.top, b.right, b.bottom, radius);
    for (int y = b.top; y < b.bottom; ++y)
        for (int x = b.left; x < b.right; ++x) {
            float cov = Clamp01(0.5f - outer(x + 0.5f, y + 0.5f));
            if (cov <= 0.f) continue;
            Colour c = img.Get(x, y);
            Colour g = {c.r * keep + tint.r, c.g * keep + tint.g, c.b * keep + tint.b};
            img.Set(x, y, Mix(c, g, cov));
        }
    paint::Sdf inner = paint::RoundedBox(b.left + 4, b.top + 4, b.right - 4, b.bottom - 4, std::max(1.f, radius - 3));
    Emboss(img, b, paint::Subtract(outer, inner), Brushed({105, 115, 140}, b, 9), 2.f, false, 0.7f);
}

void DropShadow(RgbImage& img, const Box& box, float radius, float softness, float strength) {
    paint::Sdf s = paint::RoundedBox(box.left + 3, box.top + 4, box.right + 3, box.bottom + 4, radius);
    const int pad = static_cast<int>(softness) + 6;
    for (int y = std::max(0, box.top - pad); y < std::min(img.Height(), box.bottom + pad); ++y)
        for (int x = std::max(0, box.left - pad); x < std::min(img.Width(), box.right + pad); ++x) {
            float d = s(x + 0.5f, y + 0.5f);
            float f = strength * (1.f - paint::Smooth(-softness * 0.5f, softness, d));
            if (f <= 0.f) continue;
            img.Set(x, y, Scale(img.Get(x, y), 1.f - f), img.Alpha(x, y));
        }
}

// -------------------------------------------------------------------- text

int Text(RgbImage& img, const paint::TextFace& face, const std::string& text, int size, int x, int y,
         const TextStyle& style, int tracking) {
    paint::Mask m = face.Render(text, size, tracking);
    paint::DrawMask(img, m, x, y - m.baseline, style);
    return face.Measure(text, size, tracking);
}

int TextCentred(RgbImage& img, const paint::TextFace& face, const std::string& text, int size, int cx, int y,
                const TextStyle& style, int tracking) {
    int w = face.Measure(text, size, tracking);
    return Text(img, face, text, size, cx - w / 2, y, style, tracking);
}

int FitSize(const paint::TextFace& face, const std::string& text, int maxSize, int width, int tracking) {
    int size = maxSize;
    while (size > 6 && face.Measure(text, size, tracking) > width) --size;
    return size;
}

const char* const kDifficultyWords[3] = {"EASY", "MEDIUM", "HARD"};

int DifficultyWordSize(const Faces& f) {
    // room for the word in each label: the menu's (44, 78 and 47 wide, 3
    // pixels kept clear at each side) and the table's (46, 80 and 48 wide,
    // 4 clear at each side)
    const int room[2][3] = {{38, 72, 41}, {37, 71, 39}};
    int size = 17;
    for (const auto& place : room)
        for (int k = 0; k < 3; ++k) size = std::min(size, FitSize(f.condensed, kDifficultyWords[k], 17, place[k], 1));
    return size;
}

TextStyle Plain(Colour c) {
    TextStyle s;
    s.top = c;
    s.bottom = c;
    s.outlineWidth = 0;
    return s;
}

int Paragraph(RgbImage& img, const paint::TextFace& face, const std::string& text, int size, int x, int y, int width,
              int lineHeight, const TextStyle& style) {
    std::string line, word;
    auto flush = [&]() {
        if (!line.empty()) Text(img, face, line, size, x, y, style);
        y += lineHeight;
        line.clear();
    };
    for (size_t i = 0; i <= text.size(); ++i) {
        char ch = i < text.size() ? text[i] : ' ';
        if (ch == ' ' || ch == '\n') {
            if (!word.empty()) {
                std::string tryLine = line;
                if (!tryLine.empty()) tryLine += ' ';
                tryLine += word;
                if (!line.empty() && face.Measure(tryLine, size) > width) {
                    flush();
                    line = word;
                } else {
                    line = tryLine;
                }
                word.clear();
            }
            if (ch == '\n') flush();
        } else {
            word += ch;
        }
    }
    if (!line.empty()) flush();
    return y;
}

TextStyle GoldLook() {
    TextStyle s;
    s.top = {255, 250, 215};
    s.bottom = {215, 125, 20};
    s.outline = {40, 18, 0};
    s.outlineWidth = 1;
    s.shadow = {0, 0, 0};
    s.shadowDx = 2;
    s.shadowDy = 2;
    return s;
}

TextStyle ChromeLook() {
    TextStyle s;
    s.top = {255, 255, 255};
    s.bottom = {95, 120, 165};
    s.outline = {8, 14, 32};
    s.outlineWidth = 1;
    s.shadow = {0, 0, 0};
    s.shadowDx = 2;
    s.shadowDy = 2;
    return s;
}

TextStyle CyanGlowLook() {
    TextStyle s;
    s.top = {225, 255, 255};
    s.bottom = {40, 190, 235};
    s.outline = {0, 26, 44};
    s.outlineWidth = 1;
    s.glow = {0, 110, 170};
    s.glowRadius = 4;
    return s;
}

// ----------------------------------------------------------------- output

bool WriteFamily(const std::string& dir, const std::vector<Picture>& pictures, const std::vector<FixedEntry>& fixed) {
    int width = 0, height = 0;
    for (const Picture& p : pictures) {
        width = std::max(width, p.image->Width());
        height += p.image->Height();
    }
    RgbImage all(width, height);
    int top = 0;
    for (const Picture& p : pictures) {
        for (int y = 0; y < p.image->Height(); ++y)
            for (int x = 0; x < p.image->Width(); ++x) all.Set(x, top + y, p.image->Get(x, y), p.image->Alpha(x, y));
        top += p.image->Height();
    }
    Palette pal = SharedPalette();
    std::vector<bool> taken(128, false);
    for (const FixedEntry& f : fixed) {
        pal.entries[f.index] = f.colour;
        if (f.index < 128) taken[f.index] = true;
    }
    std::vector<int> freeEntries;
    for (int i = 1; i < 128; ++i)
        if (!taken[i]) freeEntries.push_back(i);
    Canvas out(width, height);
    paint::Quantize(all, pal, freeEntries, out, 3.f);
    bool ok = true;
    top = 0;
    for (const Picture& p : pictures) {
        Canvas c(p.image->Width(), p.image->Height());
        c.Paste(out, 0, top, c.Width(), c.Height(), 0, 0, false);
        ok = WriteBmp(dir + "/" + p.file, c, pal) && ok;
        top += p.image->Height();
    }
    return ok;
}

// ----------------------------------------------------------------- pointer

// The arrow: tip at the picture's top-left corner (the pointer's hot spot),
// steel with a cyan edge light and a dark outline, on the shared half only.
bool MakePointer(const std::string& dir, const Faces&) {
    const std::vector<float> arrow = {1.2f,  1.2f, 1.2f,  19.f, 5.8f,  14.8f, 9.4f,
                                      22.6f, 13.f, 20.9f, 9.6f, 13.4f, 15.6f, 13.4f};
    paint::Sdf shape = paint::Polygon(arrow);
    const int w = FrameWidth(kPointerCell.w), h = FrameHeight(kPointerCell.h);
    Canvas sheet(kPointerCell.w, kPointerCell.h, 0);
    // the cell's corner lines, then the arrow one pixel inside
    for (int x = 0; x < kPointerCell.w; ++x) sheet.Set(x, 0, ramp::kGrey + 3);
    for (int y = 0; y < kPointerCell.h; ++y) sheet.Set(0, y, ramp::kGrey + 3);
    Canvas pic(w, h, 0);
    const paint::Box all{0, 0, w, h};
    // a dark outline all round
    paint::FillShape(
        pic, all, paint::Offset(shape, 1.2f), [](float, float) { return 0.f; }, paint::kGreyRamp, false);
    // the body: pale cyan at the tip to deep cyan at the tail, a white left
    // edge catching the light and a darker right edge
    paint::FillShape(
        pic, all, shape,
        [&shape](float x, float y) {
            float t = 1.f - 0.45f * Clamp01((x * 0.5f + y) / 24.f);
            if (-shape(x, y) < 1.4f) t = shape(x + 0.5f, y) - shape(x - 0.5f, y) < 0.f ? 1.f : t - 0.25f;
            return t;
        },
        paint::kCyanRamp, false);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float px = x + 0.5f, py = y + 0.5f;
            if (shape(px, py) < 0.f && -shape(px, py) < 1.4f && shape(px + 0.5f, py) - shape(px - 0.5f, py) < 0.f)
                pic.Set(x, y, ramp::kWhite);
        }
    sheet.Paste(pic, 0, 0, w, h, 1, 1, false);
    return WriteBmp(dir + "/grafik/mousehi.dat", sheet, SharedPalette());
}

}  // namespace fe

bool MakeFrontEnd(const std::string& dir) {
    fe::Faces faces;
    if (!faces.Ok()) return false;
    bool ok = fe::MakePointer(dir, faces);
    ok = fe::MakeMenu(dir, faces) && ok;
    ok = fe::MakeHighScores(dir, faces) && ok;
    ok = fe::MakeInfo(dir, faces) && ok;
    ok = fe::MakeSetup(dir, faces) && ok;
    ok = fe::MakeOptions(dir) && ok;
    ok = fe::MakeTwoPlayers(dir) && ok;
    return ok;
}
