#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The data tool's drawing surface: an 8-bit picture with a 256-entry palette,
// written out as an uncompressed 8-bit BMP with a full colour table.

struct Rgb {
    uint8_t r, g, b;
};

struct Palette {
    Rgb entries[256];
};

// The upper half (128-255) every picture shares: sprites, fonts, the pointer
// and the UI draw only with index 0 and these, so they look right on every
// screen. Index 0 is black. See SharedPalette.cpp for the ramps.
namespace ramp {
constexpr int kGrey = 128;    // 128..143 dark to light metal grey
constexpr int kSteel = 144;   // 144..159 steel blue
constexpr int kCyan = 160;    // 160..175 cyan glow
constexpr int kFire = 176;    // 176..191 deep red, orange, yellow, white
constexpr int kGold = 192;    // 192..207 bronze to pale gold
constexpr int kRed = 208;     // 208..215 reds (212 is the warning red)
constexpr int kLime = 216;    // 216..223 greens (219 is a light grey star, 223 the healthy green)
constexpr int kGreen = 224;   // 224..239 dark to bright green
constexpr int kViolet = 240;  // 240..254 violet to pink
constexpr int kWhite = 255;
constexpr int kRampLength = 16;
}  // namespace ramp

// Builds a palette: the shared upper half plus index 0 black; the lower half
// (1..127) starts black and belongs to the picture.
Palette SharedPalette();

class Canvas {
public:
    Canvas(int width, int height, uint8_t fill = 0);

    int Width() const { return width_; }
    int Height() const { return height_; }
    uint8_t* Pixels() { return pixels_.data(); }
    const uint8_t* Pixels() const { return pixels_.data(); }

    uint8_t Get(int x, int y) const;
    void Set(int x, int y, uint8_t index);                                   // ignores points off the canvas
    void FillRect(int left, int top, int right, int bottom, uint8_t index);  // right/bottom exclusive
    // Copy another canvas (or part of it) onto this one; index 0 is skipped when keyed.
    void Paste(const Canvas& src, int srcLeft, int srcTop, int width, int height, int destX, int destY, bool keyed);

private:
    int width_;
    int height_;
    std::vector<uint8_t> pixels_;
};

// Writes `canvas` as a bottom-up 8-bit BMP with the whole palette. Returns
// false (with a message on stderr) when the file cannot be written.
bool WriteBmp(const std::string& path, const Canvas& canvas, const Palette& palette);

// A small deterministic generator for the data tool (never the game's).
class ToolRandom {
public:
    explicit ToolRandom(uint32_t seed) : state_(seed ? seed : 1u) {}
    uint32_t Next();
    int Range(int lo, int hi);  // inclusive
    float Unit();               // 0..1
private:
    uint32_t state_;
};
