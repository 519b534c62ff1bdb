#pragma once
#include <cstdint>

#include "platform/PaletteEntry.h"

// Turning the 8-bit picture into 32-bit pixels for a window: each palette
// index becomes the ARGB word of its palette entry (alpha 255).

// The 256 ARGB words of a palette.
void BuildArgbTable(const PaletteEntry* palette, uint32_t* table);

// Converts a width x height picture of palette indices (rows packed) into
// 32-bit pixels through `table`; the target's rows are `pitch` bytes apart.
void ConvertToArgb(const uint8_t* pixels, int width, int height, const uint32_t* table, void* target, int pitch);
