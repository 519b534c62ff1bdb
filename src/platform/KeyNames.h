#pragma once
#include <cstdint>

// Every key the game can see, once: its DirectInput scan code (what the
// game's key states are indexed by), its position as a USB keyboard reports
// it (the numbers SDL's scan codes use), its name as the settings file
// spells it ("Left", "Right Ctrl", "A", "["), and its position as browsers
// name it (KeyboardEvent.code: "KeyQ", "BracketLeft"). Keys go by position:
// the key right of P is 0x1A whatever its label on the local layout.
//
// A few positions share a scan code (the ISO keys beside Enter and left of
// Z act as the backslash key), and browsers have older names for some
// keys: such rows come after the key's own row and have no name (null) or
// no USB position (0).
struct KeyInfo {
    uint8_t dik;
    uint8_t usb;          // 0: none
    const char* name;     // null: none
    const char* webCode;  // null: none
};

extern const KeyInfo kKeys[];
extern const int kKeyCount;

// 0 for a position, name or code the game cannot see. Names are matched
// without regard to case.
uint8_t DikFromUsbPosition(int usb);
uint8_t DikFromKeyName(const char* name);
uint8_t DikFromWebCode(const char* code);
// The key's name for the settings file; "" for codes the game cannot see.
const char* DikKeyName(uint8_t dik);
