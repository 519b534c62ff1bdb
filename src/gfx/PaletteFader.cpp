#include "gfx/PaletteFader.h"

#include "gfx/Display.h"
#include "platform/Host.h"

namespace {

// Moves one channel a step toward its target; a channel within the step of
// its target stays where it is.
bool StepChannel(uint8_t& value, int target, int step) {
    const int s = step & 0xFF;
    const int v = value;
    if (v > target + s) {
        value = static_cast<uint8_t>(v - s);
        return true;
    }
    if (v < target - s) {
        value = static_cast<uint8_t>(v + s);
        return true;
    }
    return false;
}

void PaceStep() {
    if (Host* host = GetHost()) host->PaceFadeStep();
}

}  // namespace

bool PaletteFader::StepToColor(PaletteEntry* current, int first, int end, int red, int green, int blue, int step) {
    if (first < 0) first = 0;
    if (end > kPaletteSize) end = kPaletteSize;
    PaletteEntry* p = current;
    if (!p) {
        GetDisplayPalette(0, kPaletteSize, work);
        p = work;
    }
    bool moved = false;
    for (int i = first; i < end; ++i) {
        moved = StepChannel(p[i].red, red, step) | moved;
        moved = StepChannel(p[i].green, green, step) | moved;
        moved = StepChannel(p[i].blue, blue, step) | moved;
    }
    if (end > first) SetDisplayPalette(first, end - first, p + first);
    return !moved;
}

bool PaletteFader::StepToPalette(PaletteEntry* current, const PaletteEntry* target, int step) {
    PaletteEntry* p = current;
    if (!p) {
        GetDisplayPalette(0, kPaletteSize, work);
        p = work;
    }
    bool moved = false;
    for (int i = 0; i < kPaletteSize; ++i) {
        moved = StepChannel(p[i].red, target[i].red, step) | moved;
        moved = StepChannel(p[i].green, target[i].green, step) | moved;
        moved = StepChannel(p[i].blue, target[i].blue, step) | moved;
    }
    SetDisplayPalette(0, kPaletteSize, p);
    return !moved;
}

void PaletteFader::FadeOut() {
    while (!StepToColor(nullptr, 0, kPaletteSize, 0, 0, 0, 6)) PaceStep();
}

void PaletteFader::FadeIn(const PaletteEntry* target) {
    while (!StepToPalette(nullptr, target, 6)) PaceStep();
}

void BlackOutPalette() {
    PaletteEntry black[kPaletteSize];
    for (PaletteEntry& e : black) e = PaletteEntry{0, 0, 0, kPaletteFlags};
    SetDisplayPalette(0, kPaletteSize, black);
}
