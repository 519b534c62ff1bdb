#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/PaletteEntry.h"

// Writes `width` x `height` palette indices (rows packed) through `palette`
// (256 entries) as an 8-bit RGB PNG. On failure returns false and sets
// `error` when it is given.
bool WritePalettedPng(const std::string& path, const uint8_t* pixels, int width, int height,
                      const PaletteEntry* palette, std::string* error);

// The same into a file already open for writing (left open; the caller
// closes it and checks that close).
bool WritePalettedPng(std::FILE* file, const uint8_t* pixels, int width, int height,
                      const PaletteEntry* palette, std::string* error);
