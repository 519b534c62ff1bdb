// The three bitmap fonts: gold "ImpFont22" for headlines, chrome-cyan
// "impFont16" for names and numbers, and the hand-set 5x7 "impFont8" for
// small print. Glyph g (character code 32 + g) sits in a cell whose pitch
// is cellWidth - 1 across and cellHeight - 1 down; its picture is the
// (cellWidth - 2) x (cellHeight - 2) rectangle one pixel inside the cell's
// top-left corner, and rows wrap after wrapWidth pixels. Every glyph's ink
// stays left of its advance (cellWidth - trim) so that letters never touch.
// Only index 0 (transparent) and the shared upper half are used.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Canvas.h"
#include "Generators.h"
#include "Paint.h"
#include "gfx/FontMetrics.h"

namespace {

using paint::Mask;
using paint::Ramp;

struct Trim {
    char character;
    int trim;
};

struct FontLayout {
    const char* file;
    int width, height;
    int cellWidth, cellHeight;
    int defaultTrim;
    int wrapWidth;
    int lastCode;
    std::vector<Trim> trims;

    int Advance(int code) const {
        for (const Trim& t : trims)
            if (static_cast<unsigned char>(t.character) == code) return cellWidth - t.trim;
        return cellWidth - defaultTrim;
    }
    // Top-left corner of the glyph picture of `code`.
    void GlyphOrigin(int code, int& left, int& top) const {
        int p = (code - 32) * (cellWidth - 1) + 1;
        int row = p / wrapWidth;
        left = p - row * wrapWidth;
        top = row * (cellHeight - 1) + 1;
    }
    int GlyphWidth() const { return cellWidth - 2; }
    int GlyphHeight() const { return cellHeight - 2; }
};

// The font's sheet holding codes 32..lastCode, laid out as the game reads the font.
FontLayout Layout(const char* file, int lastCode, const FontMetrics& m) {
    FontLayout f{file,          m.sheetWidth, m.sheetHeight, m.cellWidth, m.cellHeight,
                 m.defaultTrim, m.wrapWidth,  lastCode,      {}};
    for (int i = 0; i < FontMetrics::kMaxTrims && m.trimmed[i] != '\0'; ++i)
        f.trims.push_back({m.trimmed[i], m.trims[i]});
    return f;
}

const FontLayout kBig = Layout("grafik/ImpFont22.dat", 145, kBigFontMetrics);
const FontLayout kMedium = Layout("grafik/impFont16.dat", 100, kMediumFontMetrics);
const FontLayout kSmall = Layout("grafik/impFont8.dat", 121, kSmallFontMetrics);

// The cell grid lines between glyphs (never copied by the game; they make
// the sheet easy to read).
void DrawGrid(Canvas& c, const FontLayout& f) {
    const uint8_t line = ramp::kGrey + 2;
    const int perRow = f.wrapWidth / (f.cellWidth - 1);
    const int rows = (f.lastCode - 32) / perRow + 1;
    for (int r = 0; r <= rows; ++r)
        for (int x = 0; x <= perRow * (f.cellWidth - 1); ++x) c.Set(x, r * (f.cellHeight - 1), line);
    for (int k = 0; k <= perRow; ++k)
        for (int y = 0; y <= rows * (f.cellHeight - 1); ++y) c.Set(k * (f.cellWidth - 1), y, line);
}

// The shape a code is drawn with: lower-case letters reuse the capitals.
char ShapeOf(int code) {
    if (code >= 'a' && code <= 'z') return static_cast<char>(code - 'a' + 'A');
    return static_cast<char>(code);
}

// ----------------------------------------------------------- outline fonts

struct VectorStyle {
    int pixelSize;
    int baselineRow;  // glyph row of the baseline
    int outline;      // outline width in pixels
    bool shadow;      // one more dark row under the outline
    Ramp fill;
    float (*tone)(float f);  // fill tone by height, f = 0 at cap top, 1 at the baseline
    uint8_t outlineIndex;
    uint8_t shadowIndex;
};

// Ink columns (coverage above a trace) of a mask.
void InkColumns(const Mask& m, int& first, int& last) {
    first = m.width;
    last = -1;
    for (int x = 0; x < m.width; ++x)
        for (int y = 0; y < m.height; ++y)
            if (m.At(x, y) > 0.12f) {
                first = std::min(first, x);
                last = std::max(last, x);
                break;
            }
}

// The glyph of `shape` cropped to its ink, squeezed across until its ink is
// at most `maxInk` pixels wide.
Mask FitGlyph(const paint::TextFace& face, char shape, int pixelSize, int maxInk) {
    float scale = 1.f;
    for (int attempt = 0; attempt < 40; ++attempt) {
        Mask m = face.Render(std::string(1, shape), pixelSize, 0, scale);
        int first, last;
        InkColumns(m, first, last);
        if (last < first) return Mask{0, m.height, m.baseline, {}};
        int w = last - first + 1;
        if (w <= maxInk) {
            Mask out;
            out.width = w;
            out.height = m.height;
            out.baseline = m.baseline;
            out.cov.resize(size_t(w) * m.height);
            for (int y = 0; y < m.height; ++y)
                for (int x = 0; x < w; ++x) out.cov[size_t(y) * w + x] = m.At(first + x, y);
            return out;
        }
        scale *= std::max(0.5f, std::min(0.97f, static_cast<float>(maxInk) / w));
    }
    return Mask{};
}

// Marks set against the character before them, and the clear columns
// between the two.
constexpr const char* kLeaningMarks = ":;.,!";
constexpr int kLeaningGap = 1;

void DrawVectorGlyph(Canvas& sheet, const FontLayout& f, const VectorStyle& s, const paint::TextFace& face, int code) {
    const int gw = f.GlyphWidth(), gh = f.GlyphHeight();
    // ink (outline included) keeps one clear column before the next letter
    const int room = std::min(f.Advance(code) - 1, gw);
    Mask m = FitGlyph(face, ShapeOf(code), s.pixelSize, room - 2 * s.outline);
    if (m.width == 0) return;
    // A letter is centred in its room; punctuation leans on the letter
    // before it ("AT:", "0:35"), as a colon does in print, so that its
    // narrow ink leaves no gap that reads as a space.
    const bool leans = std::strchr(kLeaningMarks, code) != nullptr;
    const int ox = s.outline + (leans ? kLeaningGap : (room - (m.width + 2 * s.outline)) / 2);
    const int oy = s.baselineRow - m.baseline;
    const float capTop = static_cast<float>(s.baselineRow) - s.pixelSize * 0.729f;

    Canvas g(gw, gh, 0);
    auto cov = [&](int x, int y) { return m.At(x - ox, y - oy); };
    auto grown = [&](int x, int y, int r) {
        float best = 0.f;
        for (int dy = -r; dy <= r; ++dy)
            for (int dx = -r; dx <= r; ++dx)
                if (dx * dx + dy * dy <= r * r + r) best = std::max(best, cov(x + dx, y + dy));
        return best;
    };
    if (s.shadow)
        for (int y = 0; y < gh; ++y)
            for (int x = 0; x < gw; ++x)
                if (grown(x, y - 1, s.outline) >= 0.3f) g.Set(x, y, s.shadowIndex);
    for (int y = 0; y < gh; ++y)
        for (int x = 0; x < gw; ++x)
            if (s.outline > 0 && grown(x, y, s.outline) >= 0.3f) g.Set(x, y, s.outlineIndex);
    for (int y = 0; y < gh; ++y) {
        float fr = (y + 0.5f - capTop) / (s.baselineRow - capTop);
        float t = s.tone(fr);
        for (int x = 0; x < gw; ++x) {
            float v = cov(x, y);
            if (v >= 0.6f)
                g.Set(x, y, s.fill.Dither(t, x, y));
            else if (v >= 0.3f)
                g.Set(x, y, s.fill.Dither(t * 0.6f, x, y));
        }
    }
    int left, top;
    f.GlyphOrigin(code, left, top);
    sheet.Paste(g, 0, 0, gw, gh, left, top, false);
}

// Polished gold: bright sky, a dark horizon just above the middle, a warm
// glow rising toward the baseline.
float GoldTone(float f) {
    if (f < 0.52f) return 0.98f - 0.42f * (f / 0.52f);
    return 0.36f + 0.5f * std::min(1.f, (f - 0.52f) / 0.48f);
}

// Chrome: white-cyan top fading down, a sharp dark band, lighter below.
float ChromeTone(float f) {
    if (f < 0.5f) return 1.f - 0.35f * (f / 0.5f);
    return 0.42f + 0.38f * std::min(1.f, (f - 0.5f) / 0.5f);
}

bool MakeVectorFont(const std::string& dir, const FontLayout& f, const VectorStyle& s) {
    paint::TextFace face(paint::FontFile("DejaVuSansCondensed-Bold.ttf"));
    if (!face.Ok()) return false;
    Canvas sheet(f.width, f.height, 0);
    DrawGrid(sheet, f);
    for (int code = 33; code <= std::min(f.lastCode, 126); ++code) DrawVectorGlyph(sheet, f, s, face, code);
    return WriteBmp(dir + "/" + f.file, sheet, SharedPalette());
}

// ----------------------------------------------------------- the 5x7 font

struct PixelGlyph {
    int code;
    const char* rows[8];  // '#' ink, '.' clear; up to 8 rows (the 8th is a descender)
};

// Capitals and figures are five columns wide; a few capitals use the extra
// room their wider advance gives them.
const PixelGlyph kPixelGlyphs[] = {
    {'!', {"#", "#", "#", "#", "#", ".", "#"}},
    {'"', {"#.#", "#.#"}},
    {'#', {".#.#.", ".#.#.", "#####", ".#.#.", "#####", ".#.#.", ".#.#."}},
    {'$', {"..#..", ".####", "#.#..", ".###.", "..#.#", "####.", "..#.."}},
    {'%', {"##...", "##..#", "...#.", "..#..", ".#...", "#..##", "...##"}},
    {'&', {".##..", "#..#.", "#.#..", ".#...", "#.#.#", "#..#.", ".##.#"}},
    {'\'', {"#", "#", "."}},
    {'(', {"..#", ".#.", "#..", "#..", "#..", ".#.", "..#"}},
    {')', {"#..", ".#.", "..#", "..#", "..#", ".#.", "#.."}},
    {'*', {".....", "..#..", "#.#.#", ".###.", "#.#.#", "..#..", "....."}},
    {'+', {".....", "..#..", "..#..", "#####", "..#..", "..#..", "....."}},
    {',', {"..", "..", "..", "..", "..", "##", ".#", "#."}},
    {'-', {"....", "....", "....", "####", "....", "....", "...."}},
    {'.', {"..", "..", "..", "..", "..", "##", "##"}},
    {'/', {"....#", "....#", "...#.", "..#..", ".#...", "#....", "#...."}},
    {'0', {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."}},
    {'1', {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"}},
    {'3', {"#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###."}},
    {'4', {"....#.", "...##.", "..#.#.", ".#..#.", "######", "....#.", "....#."}},
    {'5', {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."}},
    {'6', {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."}},
    {'7', {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
    {'8', {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."}},
    {'9', {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."}},
    {':', {"..", "##", "##", "..", "##", "##", ".."}},
    {';', {"..", "##", "##", "..", "..", "##", ".#", "#."}},
    {'<', {"...#", "..#.", ".#..", "#...", ".#..", "..#.", "...#"}},
    {'=', {".....", ".....", "#####", ".....", "#####", ".....", "....."}},
    {'>', {"#...", ".#..", "..#.", "...#", "..#.", ".#..", "#..."}},
    {'?', {".###.", "#...#", "....#", "...#.", "..#..", ".....", "..#.."}},
    {'@', {".###.", "#...#", "#.###", "#.#.#", "#.###", "#....", ".####"}},
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'B', {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."}},
    {'C', {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}},
    {'D', {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'F', {"#####", "#....", "#....", "####.", "#....", "#....", "#...."}},
    {'G', {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"}},
    {'H', {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'I', {"#", "#", "#", "#", "#", "#", "#"}},
    {'J', {"..###", "...#.", "...#.", "...#.", "...#.", "#..#.", ".##.."}},
    {'K', {"#....#", "#...#.", "#..#..", "###...", "#..#..", "#...#.", "#....#"}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'M', {"#.....#", "##...##", "#.#.#.#", "#..#..#", "#.....#", "#.....#", "#.....#"}},
    {'N', {"#...#", "#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#"}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'P', {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}},
    {'Q', {".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"}},
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'U', {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'V', {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
    {'W', {"#.....#", "#.....#", "#.....#", "#..#..#", "#.#.#.#", "##...##", "#.....#"}},
    {'X', {"#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"}},
    {'Y', {"#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."}},
    {'Z', {"#####", "....#", "...#.", "..#..", ".#...", "#....", "#####"}},
    {'[', {"###", "#..", "#..", "#..", "#..", "#..", "###"}},
    {'\\', {"#....", "#....", ".#...", "..#..", "...#.", "....#", "....#"}},
    {']', {"###", "..#", "..#", "..#", "..#", "..#", "###"}},
    {'^', {"..#..", ".#.#.", "#...#"}},
    {'_', {".....", ".....", ".....", ".....", ".....", ".....", "#####"}},
    {'`', {"#.", ".#"}},
};

// Narrow forms for the lower-case codes, whose advance is the plain one.
const PixelGlyph kNarrowForms[] = {
    {'i', {"###", ".#.", ".#.", ".#.", ".#.", ".#.", "###"}},
    {'k', {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"}},
    {'m', {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
    {'w', {"#...#", "#...#", "#...#", "#.#.#", "#.#.#", "#.#.#", ".#.#."}},
};

const PixelGlyph* FindPixelGlyph(int code) {
    for (const PixelGlyph& g : kNarrowForms)
        if (g.code == code) return &g;
    char shape = ShapeOf(code);
    for (const PixelGlyph& g : kPixelGlyphs)
        if (g.code == shape) return &g;
    return nullptr;
}

int PixelGlyphWidth(const PixelGlyph& g) {
    size_t w = 0;
    for (const char* r : g.rows)
        if (r) w = std::max(w, std::string(r).size());
    return static_cast<int>(w);
}

void DrawPixelGlyph(Canvas& sheet, const FontLayout& f, int code) {
    const PixelGlyph* pg = FindPixelGlyph(code);
    if (!pg) return;
    const int gw = f.GlyphWidth(), gh = f.GlyphHeight();
    const int w = PixelGlyphWidth(*pg);
    // the shadow takes the column right of the ink; what is left over is
    // shared out evenly on both sides
    const int room = f.Advance(code) - 1;
    const int ox = std::max(0, (room - w) / 2);
    const int oy = kSmallFontInkTop;
    Canvas g(gw, gh, 0);
    auto ink = [&](int x, int y) {
        if (y < 0 || y >= 8 || x < 0 || !pg->rows[y]) return false;
        std::string row = pg->rows[y];
        return x < static_cast<int>(row.size()) && row[x] == '#';
    };
    // light steel-white, a touch darker toward the foot; a hard shadow
    const uint8_t tones[8] = {ramp::kWhite,      ramp::kSteel + 15, ramp::kSteel + 15, ramp::kSteel + 14,
                              ramp::kSteel + 14, ramp::kSteel + 13, ramp::kSteel + 12, ramp::kSteel + 12};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < w; ++x)
            if (ink(x, y)) g.Set(ox + x + 1, oy + y + 1, ramp::kGrey);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < w; ++x)
            if (ink(x, y)) g.Set(ox + x, oy + y, tones[y]);
    int left, top;
    f.GlyphOrigin(code, left, top);
    sheet.Paste(g, 0, 0, gw, gh, left, top, false);
}

bool MakePixelFont(const std::string& dir, const FontLayout& f) {
    Canvas sheet(f.width, f.height, 0);
    DrawGrid(sheet, f);
    for (int code = 33; code <= f.lastCode; ++code) DrawPixelGlyph(sheet, f, code);
    return WriteBmp(dir + "/" + f.file, sheet, SharedPalette());
}

}  // namespace

bool MakeFonts(const std::string& dir) {
    const VectorStyle big{30, 25, 1, true, paint::kGoldRamp, GoldTone, ramp::kGrey, ramp::kGrey};
    const VectorStyle medium{21, 18, 1, true, paint::kCyanRamp, ChromeTone, ramp::kGrey, ramp::kGrey};
    bool ok = MakeVectorFont(dir, kBig, big);
    ok = MakeVectorFont(dir, kMedium, medium) && ok;
    ok = MakePixelFont(dir, kSmall) && ok;
    return ok;
}
