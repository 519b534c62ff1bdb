#pragma once
#include <cstdint>

// One palette entry as the display and the picture files use it.
// Every palette the game builds carries the flags byte 4.
struct PaletteEntry {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
    uint8_t flags;
};

constexpr int kPaletteSize = 256;
constexpr uint8_t kPaletteFlags = 4;
