#pragma once
#include <cstdint>

#include "gfx/Display.h"
#include "gfx/Font.h"

// A one-line text field: one character per key press, Backspace, and a
// blinking '<' cursor.
class NameEntry {
public:
    static constexpr int kTextSize = 50;

    void Init(Font* font, Surface dest, int32_t x, int32_t y, int32_t maxLength, int32_t maxPixelWidth);
    // One frame: returns the finished text (cursor removed) on the frame on
    // which Enter is accepted, otherwise null.
    const char* Update();
    // The text typed so far, without the cursor.
    const char* Typed();

    // The character each scan code enters; ' ' marks a key that enters nothing.
    static const uint8_t* const kKeyTable;
    // The character a key types into an address ('\0' none): the letters
    // (small), digits, '-', '.', ':', '_' and an IPv6 address's brackets.
    static char AddressChar(int code, bool shift);

    uint8_t keyLatched = 0;
    int32_t x = 0, y = 0;
    int32_t maxLength = 0;
    int32_t lastKey = 0;
    int32_t maxPixelWidth = 0;
    int32_t blink = 0;
    Font* font = nullptr;
    Surface dest = nullptr;
    char text[kTextSize] = {};
    int32_t length = 0;

private:
    char typed_[kTextSize] = {};
};
