#pragma once
#include <cstdint>

#include "gfx/Display.h"

// How much of a text DrawText draws: the whole text, or its first character
// and at most `more` after it (FirstCharAnd(3): a name's first four letters).
enum class TextExtent : int32_t { Whole = 0 };
constexpr TextExtent FirstCharAnd(int32_t more) { return static_cast<TextExtent>(more); }

// A bitmap font: glyph cells in character-code order from the space, with
// proportional spacing through a small table of per-character trims.
class Font {
public:
    struct Trim {
        uint8_t character;
        int32_t trim;
    };
    static constexpr int kMaxTrims = 20;

    void Init(Surface surface, int32_t originX, int32_t originY, int32_t cellWidth, int32_t cellHeight,
              int32_t defaultTrim, int32_t wrapWidth);
    void AddTrim(uint8_t character, int32_t trim);
    void DrawChar(Surface dest, int32_t x, int32_t y, char character);
    void DrawText(Surface dest, int32_t x, int32_t y, const char* text, TextExtent extent);
    void DrawNumber(Surface dest, int32_t x, int32_t y, int32_t value);
    // Pixels the pen moves on after drawing `character`.
    int32_t Advance(char character) const;
    // Pixels the pen travels over `text`: the sum of its characters' advances.
    int32_t TextWidth(const char* text) const;
    // Source rectangle of a glyph on the font surface.
    void GlyphRect(char character, int32_t* left, int32_t* top, int32_t* right, int32_t* bottom) const;

    Surface surface = nullptr;
    int32_t originX = 0, originY = 0;
    int32_t cellWidth = 0, cellHeight = 0;
    Trim trims[kMaxTrims] = {};
    int32_t trimCount = 0;
    int32_t defaultTrim = 0;
    int32_t wrapWidth = 0;
    int32_t lastWidth = 0;
    char numberText[16] = {};
};
