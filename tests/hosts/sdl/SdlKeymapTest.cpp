#include <SDL.h>
#include <gtest/gtest.h>

#include "hosts/sdl/SdlKeymap.h"
#include "io/Input.h"
#include "platform/KeyNames.h"

namespace {

// The keys the game reads, then keys by position whatever the layout: the key right of P, the ISO keys beside Enter
// and left of Z (the name entry puts '<' at 0x2B), and extended keys.
TEST(SdlKeymap, KeysTheGameReadsHaveTheirDirectInputCodes) {
    const std::pair<SDL_Scancode, uint8_t> keys[] = {
        {SDL_SCANCODE_ESCAPE, DIK_ESCAPE},   {SDL_SCANCODE_BACKSPACE, DIK_BACK}, {SDL_SCANCODE_RETURN, DIK_RETURN},
        {SDL_SCANCODE_LCTRL, DIK_LCONTROL},  {SDL_SCANCODE_RCTRL, DIK_RCONTROL}, {SDL_SCANCODE_LSHIFT, DIK_LSHIFT},
        {SDL_SCANCODE_RSHIFT, DIK_RSHIFT},   {SDL_SCANCODE_SPACE, DIK_SPACE},    {SDL_SCANCODE_UP, DIK_UP},
        {SDL_SCANCODE_LEFT, DIK_LEFT},       {SDL_SCANCODE_RIGHT, DIK_RIGHT},    {SDL_SCANCODE_DOWN, DIK_DOWN},
        {SDL_SCANCODE_LEFTBRACKET, 0x1A},    {SDL_SCANCODE_BACKSLASH, 0x2B},     {SDL_SCANCODE_NONUSHASH, 0x2B},
        {SDL_SCANCODE_NONUSBACKSLASH, 0x2B}, {SDL_SCANCODE_F10, 0x44},           {SDL_SCANCODE_KP_ENTER, 0x9C},
        {SDL_SCANCODE_RALT, 0xB8},           {SDL_SCANCODE_HOME, 0xC7},          {SDL_SCANCODE_DELETE, 0xD3}};
    for (const auto& [sdl, dik] : keys) EXPECT_EQ(SdlScancodeToDik(sdl), dik) << SDL_GetScancodeName(sdl);
}

TEST(SdlKeymap, OnlyTheBackslashFamilySharesACodeAndUnknownCodesGiveNothing) {
    int owner[256];
    std::fill(owner, owner + 256, -1);
    int mapped = 0;
    for (int sdl = 0; sdl < SDL_NUM_SCANCODES; ++sdl) {
        const uint8_t dik = SdlScancodeToDik(sdl);
        mapped += dik != 0;
        if (dik == 0 || dik == 0x2B) continue;
        EXPECT_EQ(owner[dik], -1) << "code " << int(dik) << " twice, again for " << sdl;
        owner[dik] = sdl;
    }
    EXPECT_GE(mapped, 100);  // main block, function keys, keypad and navigation
    for (int sdl : {int(SDL_SCANCODE_UNKNOWN), int(SDL_SCANCODE_F24), int(SDL_SCANCODE_AUDIOPLAY), -1,
                    int(SDL_NUM_SCANCODES), 1 << 20})
        EXPECT_EQ(SdlScancodeToDik(sdl), 0) << sdl;
}

}  // namespace

namespace {

// The settings file names keys as SDL does; every key the game sees can be
// written and read back, in any case.
TEST(SdlKeymap, EveryKeyTheGameSeesHasANameThatReadsBack) {
    for (int dik = 1; dik < 256; ++dik) {
        const char* name = DikKeyName(static_cast<uint8_t>(dik));
        if (name[0] == '\0') continue;
        EXPECT_EQ(DikFromKeyName(name), dik) << name;
    }
    EXPECT_EQ((std::tuple{DikFromKeyName("right ctrl"), DikFromKeyName("KEYPAD 8"), DikFromKeyName("[")}),
              (std::tuple{DIK_RCONTROL, 0x48, 0x1A}));
    EXPECT_EQ((std::tuple{DikFromKeyName("Hyper"), DikFromKeyName(""), DikFromKeyName(nullptr), DikKeyName(0)[0]}),
              (std::tuple{0, 0, 0, '\0'}));
}

}  // namespace

namespace {

// The one key table names each key as SDL does (so settings files written
// by earlier versions read the same), and every browser code in it reads
// back to its key: the table the SDL and browser keymaps share.
TEST(SdlKeymap, TheSharedKeyTableSpeaksSdlsNamesAndEveryBrowserCodeReadsBack) {
    int named = 0, coded = 0;
    for (int i = 0; i < kKeyCount; ++i) {
        const KeyInfo& key = kKeys[i];
        if (key.name != nullptr && key.usb != 0) {
            EXPECT_STREQ(SDL_GetScancodeName(static_cast<SDL_Scancode>(key.usb)), key.name) << int(key.dik);
            ++named;
        }
        if (key.webCode != nullptr) {
            EXPECT_EQ(DikFromWebCode(key.webCode), key.dik) << key.webCode;
            ++coded;
        }
    }
    EXPECT_GE(named, 100);
    EXPECT_GE(coded, 100);
    EXPECT_EQ((std::tuple{DikFromWebCode("IntlBackslash"), DikFromWebCode("OSLeft"), DikFromWebCode("keyq"),
                          DikFromWebCode("")}),
              (std::tuple{0x2B, 0xDB, 0, 0}));  // codes are matched exactly
}

}  // namespace
