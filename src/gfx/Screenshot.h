#pragma once
#include <cstdint>
#include <ctime>

#include "platform/PaletteEntry.h"

// F12: the 640 x 480 frame on show, through its palette, as a PNG in the
// player's folder, named for the local date and time
// ("voidcrawl-2026-12-06-231502.png", then "-2", "-3", ... when taken).

// The file name of the `attempt`th try (1: no suffix) for the time `when`.
void ScreenshotName(const std::tm& when, int attempt, char* out, int outSize);

// Writes the frame; never replaces a file. True with the file's path in
// `path`, or false with the reason in `reason`.
bool SaveScreenshot(const uint8_t* pixels, const PaletteEntry* palette, const std::tm& when, char* path,
                    int pathSize, char* reason, int reasonSize);

// SaveScreenshot at the local time now, saying on stdout which file it
// wrote or on stderr why it could not.
bool TakeScreenshot(const uint8_t* pixels, const PaletteEntry* palette);
