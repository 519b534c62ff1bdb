#pragma once
#include <cstdint>

// The keys as the game knows them: DirectInput scan codes (by position on
// the keyboard), and each player's play keys. Hosts map their keyboards (and
// pads) onto these.

// DirectInput scan codes the game uses.
enum ScanCode : uint8_t {
    DIK_ESCAPE = 0x01,
    DIK_1 = 0x02,
    DIK_2 = 0x03,
    DIK_4 = 0x05,
    DIK_8 = 0x09,
    DIK_BACK = 0x0E,
    DIK_W = 0x11,
    DIK_Y = 0x15,
    DIK_O = 0x18,
    DIK_P = 0x19,
    DIK_RETURN = 0x1C,
    DIK_LCONTROL = 0x1D,
    DIK_A = 0x1E,
    DIK_S = 0x1F,
    DIK_D = 0x20,
    DIK_LSHIFT = 0x2A,
    DIK_N = 0x31,
    DIK_RSHIFT = 0x36,
    DIK_SPACE = 0x39,
    DIK_F3 = 0x3D,
    DIK_RCONTROL = 0x9D,
    DIK_UP = 0xC8,
    DIK_LEFT = 0xCB,
    DIK_RIGHT = 0xCD,
    DIK_DOWN = 0xD0,
    // The modifier and lock keys.
    DIK_LMENU = 0x38,
    DIK_CAPITAL = 0x3A,
    DIK_NUMLOCK = 0x45,
    DIK_SCROLL = 0x46,
    DIK_RMENU = 0xB8,
    DIK_LWIN = 0xDB,
    DIK_RWIN = 0xDC,
    DIK_APPS = 0xDD,
};

// Keys held with others rather than pressed for themselves: both Shifts,
// Ctrls and Alts (AltGr is the right Alt), the lock keys and the system keys.
constexpr bool IsModifierKey(int code) {
    switch (code) {
    case DIK_LSHIFT:
    case DIK_RSHIFT:
    case DIK_LCONTROL:
    case DIK_RCONTROL:
    case DIK_LMENU:
    case DIK_RMENU:
    case DIK_CAPITAL:
    case DIK_NUMLOCK:
    case DIK_SCROLL:
    case DIK_LWIN:
    case DIK_RWIN:
    case DIK_APPS:
        return true;
    default:
        return false;
    }
}

// Each player's play keys, in this order: turn left, turn right, warp gate,
// hyperspace jump, boost, brake. The players may choose others.
enum PlayKey { kKeyLeft, kKeyRight, kKeyWarp, kKeyJump, kKeyBoost, kKeyBrake, kPlayKeyCount };
struct PlayKeys {
    uint8_t code[2][kPlayKeyCount];
};
inline constexpr PlayKeys kDefaultPlayKeys = {{
    {DIK_LEFT, DIK_RIGHT, DIK_RCONTROL, DIK_RSHIFT, DIK_UP, DIK_DOWN},
    {DIK_A, DIK_D, DIK_LCONTROL, DIK_LSHIFT, DIK_W, DIK_S},
}};
