#pragma once
#include <cstdint>

// Maps an SDL scan code (the physical key position) to the DirectInput scan
// code the game indexes its key states by; 0 for keys the game cannot see.
// Takes a plain int so that callers need not include SDL.
uint8_t SdlScancodeToDik(int sdlScancode);

// Key names as SDL spells them ("Left", "Right Ctrl", "A", "[") to the
// game's scan codes and back; 0 and "" for names and codes the game cannot
// see. Names are matched without regard to case.
uint8_t DikFromKeyName(const char* name);
const char* DikKeyName(uint8_t dik);
