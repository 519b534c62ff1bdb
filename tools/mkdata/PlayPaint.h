#pragma once
// Shading helpers for the pictures of play (worms, food, effects, panels).
// Sprites are shaded per pixel from small analytic shapes with a fixed light,
// supersampled, and quantised onto the ramps of the shared upper palette half
// with ordered dithering. The general primitives live in Paint.h.
#include <cmath>
#include <cstdint>
#include <functional>

#include "Canvas.h"
#include "gfx/SheetCell.h"

namespace play {

// ---------------------------------------------------------------- maths

struct Vec3 {
    float x, y, z;
};
inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 Normalize(Vec3 v);

constexpr float kPi = 3.14159265358979f;

inline float Clamp01(float v) { return v < 0.f ? 0.f : (v > 1.f ? 1.f : v); }
inline float Clamp(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }
inline float Mix(float a, float b, float t) { return a + (b - a) * t; }
float SmoothStep(float edge0, float edge1, float x);

// Deterministic 3-D value noise in [0, 1] and its fractal sum (also [0, 1]),
// for pictures that change from frame to frame.
float ValueNoise2(float x, float y, uint32_t seed);
float ValueNoise3(float x, float y, float z, uint32_t seed);
// Octaves are turned against each other, which hides the lattice.
float Fbm2(float x, float y, int octaves, uint32_t seed, float gain = 0.5f);
float Fbm3(float x, float y, float z, int octaves, uint32_t seed, float gain = 0.5f);
// A hash of integers to [0, 1).
float Hash01(int a, int b, uint32_t seed);

// ---------------------------------------------------------------- lighting

// Light comes from the upper left, a little in front of the screen.
Vec3 LightDir();
float Diffuse(Vec3 normal);                // Lambert term, 0..1
float Specular(Vec3 normal, float power);  // Blinn-Phong term, 0..1

// Surface normal of a shape given by a signed distance (negative inside),
// rounded off over `bevel` pixels at its rim, at screen point (x, y).
Vec3 BevelNormal(const std::function<float(float, float)>& sdf, float x, float y, float bevel);

// Local frame of a heading (0 up, 1 right, 2 down, 3 left): u runs forward,
// v to the right of forward.
struct HeadingFrame {
    float fx, fy;  // forward
    float rx, ry;  // right
    float U(float dx, float dy) const { return dx * fx + dy * fy; }
    float V(float dx, float dy) const { return dx * rx + dy * ry; }
    // A normal given in (forward, right, out-of-screen) into screen space.
    Vec3 ToScreen(float nu, float nv, float nz) const { return {nu * fx + nv * rx, nu * fy + nv * ry, nz}; }
};
HeadingFrame FrameOf(int heading);

// ---------------------------------------------------------------- inks

// The ramps of the shared half a sprite may be shaded along.
enum class Tone : int8_t { None = -1, Grey, Steel, Cyan, Fire, Gold, Red, Green, Violet, Count };

struct RampSpan {
    int first;
    int count;
};
RampSpan SpanOf(Tone tone);

// One sample of a sprite shader: a tone, a brightness along it and a coverage.
struct Ink {
    Tone tone = Tone::None;
    float value = 0.f;  // 0 darkest .. 1 brightest of the ramp
    float alpha = 0.f;  // 1 solid; below 1 the pixel is dithered in and out
};
inline Ink Solid(Tone t, float v) { return Ink{t, v, 1.f}; }
inline Ink Soft(Tone t, float v, float a) { return Ink{t, v, a}; }

// The palette index of a value on a tone's ramp, dithered at (x, y).
uint8_t ToneIndex(Tone tone, float value, int x, int y, float dither = 0.6f);

using Shader = std::function<Ink(float x, float y)>;

struct ShadeOptions {
    int supersample = 3;   // samples per pixel side
    float dither = 0.6f;   // strength of the value dithering (ramp steps)
    bool overlay = false;  // leave uncovered pixels as they are instead of clearing them
};

// Shades the w x h rectangle at (left, top): the shader sees picture
// coordinates (0..w, 0..h) and is sampled supersample^2 times per pixel.
// Uncovered pixels become index 0, or stay as they are with `overlay`.
void ShadeRect(Canvas& canvas, int left, int top, int w, int h, const Shader& shader, const ShadeOptions& options = {});

// ---------------------------------------------------------------- sheets

// Colour of the separator lines between sprite cells.
constexpr uint8_t kSheetLine = ramp::kGrey + 5;

// Draws the separator lines of a strip: columns srcX + k*pitchX for
// k = 0..frames and rows srcY and srcY + pitchY, across the strip.
void DrawStripLines(Canvas& canvas, int srcX, int srcY, int pitchX, int pitchY, int frames);

// Top-left corner of frame k's picture in a strip.
inline int FrameLeft(int srcX, int pitch, int k) { return srcX + k * pitch + 1; }
inline int FrameTop(int srcY) { return srcY + 1; }
// The same for a strip the game cuts as a SheetCell.
inline void DrawStripLines(Canvas& canvas, const SheetCell& cell, int frames) {
    DrawStripLines(canvas, cell.x, cell.y, cell.w, cell.h, frames);
}
inline int FrameLeft(const SheetCell& cell, int k) { return FrameLeft(cell.x, cell.w, k); }
inline int FrameTop(const SheetCell& cell) { return FrameTop(cell.y); }

// ---------------------------------------------------------------- pictures

// Distance helpers in any 2-D frame (negative inside).
float SdEllipse(float u, float v, float cu, float cv, float ru, float rv);
float SdCapsule(float u, float v, float au, float av, float bu, float bv, float r);
float SmoothMin(float a, float b, float k);
// A five-pointed star about the origin, one point at angle `rot`.
float StarSdf(float px, float py, float rot, float outer, float inner);

// The picture files of play, each built whole on the shared palette.
Canvas BuildWormSheet(int ship);  // "SW1.dat" (ship 0) and "SW2.dat" (ship 1), 640 x 140
Canvas BuildExplosionSheet();     // "Explotions.dat", 640 x 250
Canvas BuildSharedSheet();        // "Shared.dat": crash strips and the warp gate, 640 x 180
Canvas BuildFoodSheet();          // "food.dat", 320 x 180
Canvas BuildWallSheet();          // "walls.dat": wall tile and status panel, 320 x 200
Canvas BuildIntroPanel();         // "RutNat.dat", 320 x 200
Canvas BuildCompletePicture();    // "Complete.dat", 400 x 200

// The game's icon as a shader over a 48 x 48 picture: the steel worm's head
// heading up over a body ring. Sampled at any scale.
Ink WormIconInk(float x, float y);

}  // namespace play
