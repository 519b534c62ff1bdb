#include "platform/SdlKeymap.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include "io/Input.h"

namespace {

struct Expected {
    SDL_Scancode sdl;
    uint8_t dik;
};

TEST(SdlKeymap, KeysTheGameReadsHaveTheirDirectInputCodes) {
    const Expected keys[] = {
        {SDL_SCANCODE_ESCAPE, DIK_ESCAPE},     {SDL_SCANCODE_1, DIK_1},
        {SDL_SCANCODE_BACKSPACE, DIK_BACK},    {SDL_SCANCODE_W, DIK_W},
        {SDL_SCANCODE_Y, DIK_Y},               {SDL_SCANCODE_RETURN, DIK_RETURN},
        {SDL_SCANCODE_LCTRL, DIK_LCONTROL},    {SDL_SCANCODE_A, DIK_A},
        {SDL_SCANCODE_S, DIK_S},               {SDL_SCANCODE_D, DIK_D},
        {SDL_SCANCODE_LSHIFT, DIK_LSHIFT},     {SDL_SCANCODE_N, DIK_N},
        {SDL_SCANCODE_RSHIFT, DIK_RSHIFT},     {SDL_SCANCODE_SPACE, DIK_SPACE},
        {SDL_SCANCODE_RCTRL, DIK_RCONTROL},    {SDL_SCANCODE_UP, DIK_UP},
        {SDL_SCANCODE_LEFT, DIK_LEFT},         {SDL_SCANCODE_RIGHT, DIK_RIGHT},
        {SDL_SCANCODE_DOWN, DIK_DOWN},
    };
    for (const Expected& key : keys) {
        EXPECT_EQ(SdlScancodeToDik(key.sdl), key.dik) << SDL_GetScancodeName(key.sdl);
    }
}

TEST(SdlKeymap, RowsOfTheMainBlockRunInOrder) {
    // Digits 1..0, then Q..P, A..L and Z..M, each row numbered left to right.
    const SDL_Scancode digits[] = {SDL_SCANCODE_1, SDL_SCANCODE_2, SDL_SCANCODE_3, SDL_SCANCODE_4,
                                   SDL_SCANCODE_5, SDL_SCANCODE_6, SDL_SCANCODE_7, SDL_SCANCODE_8,
                                   SDL_SCANCODE_9, SDL_SCANCODE_0};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(SdlScancodeToDik(digits[i]), 0x02 + i) << i;
    const char* rows[] = {"QWERTYUIOP", "ASDFGHJKL", "ZXCVBNM"};
    const uint8_t firsts[] = {0x10, 0x1E, 0x2C};
    for (int row = 0; row < 3; ++row) {
        for (int i = 0; rows[row][i] != '\0'; ++i) {
            SDL_Scancode sdl = static_cast<SDL_Scancode>(SDL_SCANCODE_A + (rows[row][i] - 'A'));
            EXPECT_EQ(SdlScancodeToDik(sdl), firsts[row] + i) << rows[row][i];
        }
    }
}

TEST(SdlKeymap, PunctuationAndModifiersGoByPosition) {
    const Expected keys[] = {
        {SDL_SCANCODE_MINUS, 0x0C},        {SDL_SCANCODE_EQUALS, 0x0D},
        {SDL_SCANCODE_TAB, 0x0F},          {SDL_SCANCODE_LEFTBRACKET, 0x1A},
        {SDL_SCANCODE_RIGHTBRACKET, 0x1B}, {SDL_SCANCODE_SEMICOLON, 0x27},
        {SDL_SCANCODE_APOSTROPHE, 0x28},   {SDL_SCANCODE_GRAVE, 0x29},
        {SDL_SCANCODE_BACKSLASH, 0x2B},    {SDL_SCANCODE_COMMA, 0x33},
        {SDL_SCANCODE_PERIOD, 0x34},       {SDL_SCANCODE_SLASH, 0x35},
        {SDL_SCANCODE_KP_MULTIPLY, 0x37},  {SDL_SCANCODE_LALT, 0x38},
        {SDL_SCANCODE_CAPSLOCK, 0x3A},     {SDL_SCANCODE_F1, 0x3B},
        {SDL_SCANCODE_F10, 0x44},          {SDL_SCANCODE_KP_ENTER, 0x9C},
        {SDL_SCANCODE_RALT, 0xB8},         {SDL_SCANCODE_HOME, 0xC7},
        {SDL_SCANCODE_PAGEUP, 0xC9},       {SDL_SCANCODE_END, 0xCF},
        {SDL_SCANCODE_PAGEDOWN, 0xD1},     {SDL_SCANCODE_INSERT, 0xD2},
        {SDL_SCANCODE_DELETE, 0xD3},
    };
    for (const Expected& key : keys) {
        EXPECT_EQ(SdlScancodeToDik(key.sdl), key.dik) << SDL_GetScancodeName(key.sdl);
    }
}

TEST(SdlKeymap, TheKeyLeftOfZTypesTheLessThanSign) {
    // The name entry's table has '<' at 0x2B, the character of this key on
    // European keyboards.
    EXPECT_EQ(SdlScancodeToDik(SDL_SCANCODE_NONUSBACKSLASH), 0x2B);
}

TEST(SdlKeymap, NoTwoKeysShareACodeButTheBackslashFamily) {
    int owner[256];
    for (int& o : owner) o = -1;
    int mapped = 0;
    for (int sdl = 0; sdl < SDL_NUM_SCANCODES; ++sdl) {
        uint8_t dik = SdlScancodeToDik(sdl);
        if (dik == 0) continue;
        ++mapped;
        if (dik == 0x2B) continue;
        EXPECT_EQ(owner[dik], -1) << "code " << int(dik) << " for both "
                                  << SDL_GetScancodeName(static_cast<SDL_Scancode>(owner[dik])) << " and "
                                  << SDL_GetScancodeName(static_cast<SDL_Scancode>(sdl));
        owner[dik] = sdl;
    }
    // The whole main block, the function keys, the keypad and the
    // navigation block: well over a hundred keys.
    EXPECT_GE(mapped, 100);
}

TEST(SdlKeymap, UnknownAndOutOfRangeCodesGiveNothing) {
    EXPECT_EQ(SdlScancodeToDik(SDL_SCANCODE_UNKNOWN), 0);
    EXPECT_EQ(SdlScancodeToDik(SDL_SCANCODE_F24), 0);
    EXPECT_EQ(SdlScancodeToDik(SDL_SCANCODE_AUDIOPLAY), 0);
    EXPECT_EQ(SdlScancodeToDik(-1), 0);
    EXPECT_EQ(SdlScancodeToDik(SDL_NUM_SCANCODES), 0);
    EXPECT_EQ(SdlScancodeToDik(1 << 20), 0);
}

}  // namespace
