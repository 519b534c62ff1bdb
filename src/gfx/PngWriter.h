#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/PaletteEntry.h"

// Writes `width` x `height` palette indices (rows packed) through `palette`
// (256 entries) as an 8-bit RGB PNG. On failure returns false and sets
// `error` when it is given.
bool WritePalettedPng(const std::string& path, const uint8_t* pixels, int width, int height,
                      const PaletteEntry* palette, std::string* error);

// The same PNG into memory, for a save that writes it whole or not at all.
bool EncodePalettedPng(const uint8_t* pixels, int width, int height, const PaletteEntry* palette,
                       std::vector<uint8_t>* png, std::string* error);
