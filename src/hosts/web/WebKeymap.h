#pragma once
#include <cstdint>

// Maps a browser key's physical position, as KeyboardEvent.code names it
// ("KeyQ", "BracketLeft", "IntlBackslash"), to the DirectInput scan code the
// game indexes its key states by, through the game's one key table
// (platform/KeyNames.h); 0 for keys the game cannot see.
uint8_t WebCodeToDik(const char* code);
