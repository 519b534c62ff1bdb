#pragma once
#include <cstdint>

// Maps an SDL scan code (the physical key position) to the DirectInput scan
// code the game indexes its key states by, through the game's one key table
// (platform/KeyNames.h); 0 for keys the game cannot see. Takes a plain int
// so that callers need not include SDL.
uint8_t SdlScancodeToDik(int sdlScancode);
