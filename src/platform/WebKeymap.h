#pragma once
#include <cstdint>

// Maps a browser key's physical position, as KeyboardEvent.code names it
// ("KeyQ", "BracketLeft", "IntlBackslash"), to the DirectInput scan code the
// game indexes its key states by; 0 for keys the game cannot see. The table
// is the desktop's: the key right of P is 0x1A whatever its label.
uint8_t WebCodeToDik(const char* code);
