#pragma once
#include <cstdint>
#include <string>

#include "gfx/PaletteEntry.h"

// Writes `width` x `height` palette indices (rows packed) through `palette`
// (256 entries) as an 8-bit RGB PNG. On failure returns false and sets
// `error` when it is given.
bool WritePalettedPng(const std::string& path, const uint8_t* pixels, int width, int height,
                      const PaletteEntry* palette, std::string* error);
