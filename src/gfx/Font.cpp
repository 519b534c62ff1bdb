#include "gfx/Font.h"

#include <cstdio>

void Font::Init(Surface surf, int32_t ox, int32_t oy, int32_t cw, int32_t ch, int32_t dt, int32_t wrap) {
    surface = surf;
    originX = ox;
    originY = oy;
    cellWidth = cw;
    cellHeight = ch;
    defaultTrim = dt;
    wrapWidth = wrap;
    trimCount = 0;
    lastWidth = 0;
}

void Font::AddTrim(uint8_t character, int32_t trim) {
    if (trimCount >= kMaxTrims) return;
    trims[trimCount++] = Trim{character, trim};
}

void Font::GlyphRect(char character, int32_t* left, int32_t* top, int32_t* right, int32_t* bottom) const {
    // Codes 128..255 count as negative, so they land before the first glyph.
    const int32_t g = static_cast<int32_t>(static_cast<signed char>(character)) - 32;
    const int32_t p = g * (cellWidth - 1) + originX + 1;
    int32_t r = 0;
    int32_t l = p;
    if (wrapWidth != 0) {
        r = p / wrapWidth;
        l = p - r * wrapWidth;
    }
    *left = l;
    *top = r * (cellHeight - 1) + originY + 1;
    *right = *left + cellWidth - 2;
    *bottom = *top + cellHeight - 2;
}

void Font::DrawChar(Surface dest, int32_t x, int32_t y, char character) {
    int32_t l, t, r, b;
    GlyphRect(character, &l, &t, &r, &b);
    Blit(l, t, r, b, surface, x, y, dest, BlitKey::Keyed);
    lastWidth += cellWidth - 2;
}

int32_t Font::Advance(char character) const {
    const uint8_t c = static_cast<uint8_t>(character);
    for (int32_t i = 0; i < trimCount; ++i)
        if (trims[i].character == c) return cellWidth - trims[i].trim;
    return cellWidth - defaultTrim;
}

int32_t Font::TextWidth(const char* text) const {
    int32_t width = 0;
    for (const char* c = text; *c != '\0'; ++c) width += Advance(*c);
    return width;
}

void Font::DrawText(Surface dest, int32_t x, int32_t y, const char* text, TextExtent extent) {
    if (!text) return;
    lastWidth = 0;
    int32_t pen = x;
    const char* p = text;
    DrawChar(dest, pen, y, *p);
    if (*p == 0) return;
    int32_t left = static_cast<int32_t>(extent);
    for (;;) {
        pen += Advance(*p);
        ++p;
        DrawChar(dest, pen, y, *p);
        if (left != 0) {
            --left;
            if (left == 0) return;
        }
        if (*p == 0) return;
    }
}

void Font::DrawNumber(Surface dest, int32_t x, int32_t y, int32_t value) {
    std::snprintf(numberText, sizeof numberText, "%d", static_cast<int>(value));
    DrawText(dest, x, y, numberText, TextExtent::Whole);
}
