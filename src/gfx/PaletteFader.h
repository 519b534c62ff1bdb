#pragma once
#include "platform/PaletteEntry.h"

// Steps the display palette toward black or toward a screen's own palette.
class PaletteFader {
public:
    // One step of entries first..end-1 toward one colour; true when nothing moved.
    bool StepToColor(PaletteEntry* current, int first, int end, int red, int green, int blue, int step);
    // One step of all 256 entries toward `target`; true when nothing moved.
    bool StepToPalette(PaletteEntry* current, const PaletteEntry* target, int step);
    void FadeOut();
    void FadeIn(const PaletteEntry* target);

    PaletteEntry work[kPaletteSize] = {};
};

// Sets the whole display palette to black.
void BlackOutPalette();
