#pragma once
// Drawing primitives of the data tool.
//
// Two ways to paint:
//  * Indexed: straight onto a Canvas with a Ramp (a run of palette indices
//    from dark to light). Tones are 0..1 along the ramp and are spread over
//    neighbouring entries with a 4x4 ordered dither. Soft edges fade toward
//    the ramp's dark end, which reads as anti-aliasing on a dark background.
//    Sprites and fonts that must live on the shared upper half use this.
//  * True colour: onto an RgbImage (float RGB plus coverage), then Quantize
//    builds the free palette entries from the picture and maps every pixel.
//    Backgrounds with their own lower half use this.
//
// Shapes are given as signed distance functions (negative inside, in
// pixels); coverage of a pixel is clamp(0.5 - d, 0, 1) at its centre.
// Everything is deterministic.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Canvas.h"

namespace paint {

// ---------------------------------------------------------------- basics

struct Box {
    int left, top, right, bottom;  // right/bottom exclusive
};

// A run of palette indices, dark (tone 0) to light (tone 1).
struct Ramp {
    int first;
    int count;
    uint8_t At(float tone) const;                    // nearest entry, tone clamped to 0..1
    uint8_t Dither(float tone, int x, int y) const;  // ordered dither between neighbours
    float ToneOf(uint8_t index) const;               // tone of an entry on the ramp, -1 if not on it
};

// The ramps of the shared upper half (see Canvas.h). The lime run 216..223 is
// left out on purpose: 219 and 223 are fixed special colours inside it.
inline constexpr Ramp kGreyRamp{ramp::kGrey, 16};
inline constexpr Ramp kSteelRamp{ramp::kSteel, 16};
inline constexpr Ramp kCyanRamp{ramp::kCyan, 16};
inline constexpr Ramp kFireRamp{ramp::kFire, 16};
inline constexpr Ramp kGoldRamp{ramp::kGold, 16};
inline constexpr Ramp kRedRamp{ramp::kRed, 8};
inline constexpr Ramp kGreenRamp{ramp::kGreen, 16};
inline constexpr Ramp kVioletRamp{ramp::kViolet, 15};

// 4x4 Bayer threshold in [0, 1) for pixel (x, y).
float Bayer(int x, int y);

inline float Clamp01(float v) { return v < 0.f ? 0.f : (v > 1.f ? 1.f : v); }
inline float Smooth(float e0, float e1, float v) {
    float t = Clamp01((v - e0) / (e1 - e0));
    return t * t * (3.f - 2.f * t);
}

// Value noise in [0, 1] on a unit lattice, smooth between lattice points.
float ValueNoise(float x, float y, uint32_t seed);
// Sum of `octaves` octaves of value noise (each half the size and weight), in [0, 1].
float FractalNoise(float x, float y, int octaves, uint32_t seed);

// ------------------------------------------------------ distance functions

using Sdf = std::function<float(float x, float y)>;

Sdf Circle(float cx, float cy, float r);
Sdf Ellipse(float cx, float cy, float rx, float ry);  // approximate distance
Sdf RoundedBox(float left, float top, float right, float bottom, float radius);
Sdf Segment(float x0, float y0, float x1, float y1, float halfWidth);  // capsule
Sdf Polygon(std::vector<float> xy);                                    // x0,y0,x1,y1,... any winding
Sdf Union(Sdf a, Sdf b);
Sdf Subtract(Sdf a, Sdf b);     // a minus b
Sdf Offset(Sdf a, float grow);  // grows (positive) or shrinks the shape

// -------------------------------------------------------- indexed painting

// Tone of the pixel at (x, y) (pixel coordinates, centre at +0.5).
using ToneFn = std::function<float(float x, float y)>;

// Fills the shape within `box` along `ramp` with tone(x, y). With `soft`,
// edge pixels are darkened in proportion to their coverage; pixels under a
// quarter covered are left alone. Without it, pixels at least half covered
// are painted at full tone.
void FillShape(Canvas& c, const Box& box, const Sdf& shape, const ToneFn& tone, const Ramp& ramp, bool soft = true);

// A flat-toned line.
void Line(Canvas& c, float x0, float y0, float x1, float y1, float width, const Ramp& ramp, float tone);
// A lit ball: diffuse light from (lightX, lightY) (unit direction in the
// picture plane, default upper left), a highlight, darker rim.
void Sphere(Canvas& c, float cx, float cy, float rx, float ry, const Ramp& ramp, float lightX = -0.45f,
            float lightY = -0.55f);

// Rectangle outline one pixel wide (right/bottom exclusive).
void Frame(Canvas& c, int left, int top, int right, int bottom, uint8_t index);
// A metal panel: brushed face at tone tFace, `bevel` pixels of lit top/left
// and shaded bottom/right edge, a dark one-pixel rim.
void BevelPanel(Canvas& c, int left, int top, int right, int bottom, int bevel, const Ramp& ramp, float tFace);
void VerticalGradient(Canvas& c, int left, int top, int right, int bottom, const Ramp& ramp, float tTop, float tBottom);

// -------------------------------------------------------- true-colour work

struct Colour {
    float r = 0, g = 0, b = 0;
};
inline Colour Mix(Colour a, Colour b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
inline Colour Scale(Colour a, float k) { return {a.r * k, a.g * k, a.b * k}; }
inline Colour FromRgb(Rgb c) { return {float(c.r), float(c.g), float(c.b)}; }
// Colour along a list of evenly spaced stops, t in 0..1.
Colour Gradient(const std::vector<Colour>& stops, float t);

// A true-colour picture with coverage (alpha). Pixels with alpha below one
// half come out as index 0 (transparent) after Quantize.
class RgbImage {
public:
    RgbImage(int width, int height);
    int Width() const { return width_; }
    int Height() const { return height_; }
    Colour Get(int x, int y) const;
    float Alpha(int x, int y) const;
    void Set(int x, int y, Colour c, float alpha = 1.f);             // replaces
    void Blend(int x, int y, Colour c, float coverage);              // "over"; alpha = max
    void Add(int x, int y, Colour c, float alphaGain = 1.f / 48.f);  // additive light; alpha grows with brightness
    void Fill(const Box& box, Colour c);
    // Pastes another image's pixels (with their alpha) at (dx, dy), "over".
    void Draw(const RgbImage& src, int dx, int dy);

private:
    int width_, height_;
    std::vector<Colour> px_;
    std::vector<float> alpha_;
};

using ColourFn = std::function<Colour(float x, float y)>;
// Paints a shape "over" the picture with colour(x, y), anti-aliased.
void FillShape(RgbImage& img, const Box& box, const Sdf& shape, const ColourFn& colour);
void VerticalGradient(RgbImage& img, const Box& box, const std::vector<Colour>& stops);
// Adds a soft round light (falloff (1 - d/r)^2) of colour c.
void AddGlow(RgbImage& img, float cx, float cy, float radius, Colour c);
// A metal panel in true colour: face colour, lit and shaded bevels.
void BevelPanel(RgbImage& img, const Box& box, int bevel, Colour face, Colour light, Colour shade);

// A list of palette entries; `Range(a, b)` is a..b inclusive.
std::vector<int> Range(int first, int last);

// Chooses the colours of the `freeEntries` of `pal` from the picture (median
// cut, refined by a few k-means passes with every other entry fixed), then
// maps each pixel to the nearest entry of the whole palette except 0, with an
// ordered dither of the given strength (in 0..255 units). Pixels with alpha
// below one half become 0. `out` must be the image's size.
void Quantize(const RgbImage& img, Palette& pal, const std::vector<int>& freeEntries, Canvas& out, float dither = 4.f);
// Maps the picture onto a palette that is already complete, using only the
// `allowed` entries (0 is still used for transparent pixels).
void MapToPalette(const RgbImage& img, const Palette& pal, const std::vector<int>& allowed, Canvas& out,
                  float dither = 4.f);

// ------------------------------------------------------------------- text

// A coverage mask: width x height values 0..1 and the baseline row.
struct Mask {
    int width = 0, height = 0;
    int baseline = 0;
    std::vector<float> cov;
    float At(int x, int y) const {
        return (x < 0 || y < 0 || x >= width || y >= height) ? 0.f : cov[size_t(y) * width + x];
    }
};
// The mask grown by `radius` pixels (maximum over a disc), padded by radius.
Mask Dilate(const Mask& m, int radius);
// A box-blurred copy (three passes, roughly Gaussian), padded by 2 * radius.
Mask Blur(const Mask& m, int radius);

// Full path of a DejaVu face, e.g. FontFile("DejaVuSans-Bold.ttf").
std::string FontFile(const std::string& name);

// A FreeType face; cheap to create once per generator.
class TextFace {
public:
    explicit TextFace(const std::string& path);
    ~TextFace();
    TextFace(const TextFace&) = delete;
    TextFace& operator=(const TextFace&) = delete;
    bool Ok() const { return face_ != nullptr; }
    // Renders `text` (ASCII) at `pixelSize` pixels per em, with extra
    // `tracking` pixels between letters, squeezed or stretched across by
    // `xScale`. The mask is as tall as the face's ascender + descender;
    // width is the pen advance.
    Mask Render(const std::string& text, int pixelSize, int tracking = 0, float xScale = 1.f) const;
    // Width in pixels that Render would give.
    int Measure(const std::string& text, int pixelSize, int tracking = 0, float xScale = 1.f) const;

private:
    void* library_ = nullptr;
    void* face_ = nullptr;
};

// How a text mask is laid onto a picture.
struct TextStyle {
    Colour top{255, 240, 170}, bottom{200, 120, 20};  // fill gradient over the mask height
    Colour outline{20, 10, 0};
    int outlineWidth = 1;  // 0: none
    Colour shadow{0, 0, 0};
    int shadowDx = 0, shadowDy = 0;  // both 0: no shadow
    Colour glow{0, 0, 0};
    int glowRadius = 0;  // 0: no glow
    float glowStrength = 1.f;
};
// Draws the mask with its top-left at (x, y).
void DrawMask(RgbImage& img, const Mask& m, int x, int y, const TextStyle& style);
// Draws the mask onto an indexed canvas: fill tones tTop..tBottom on `fill`,
// an outline of index `outline` (0: none) `outlineWidth` wide.
void DrawMask(Canvas& c, const Mask& m, int x, int y, const Ramp& fill, float tTop, float tBottom, uint8_t outline,
              int outlineWidth = 1);

}  // namespace paint
