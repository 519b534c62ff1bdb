#pragma once
#include <cstdint>

#include "gfx/Display.h"
#include "gfx/Font.h"
#include "gfx/ImageLoader.h"
#include "gfx/PaletteFader.h"
#include "gfx/Sprite.h"
#include "io/MouseCursor.h"
#include "io/SoundBank.h"
#include "platform/Host.h"
#include "screens/MenuSheet.h"
#include "screens/Screen.h"
#include "screens/StarField.h"

// The main menu over the star field, with the difficulty labels, the hum
// switch, the OPTIONS button (or O) and the credits panel.
class MainMenu final : public Screen {
public:
    enum Result { None = 0, OnePlayer = 1, TwoPlayers = 2, HighScores = 3, Info = 4, Quit = 5, Options = 6 };

    void Init(Font* font, SoundBank* sounds, MouseCursor* cursor);
    int32_t Frame();
    void DrawCredits();
    void ShowFrame() override { Frame(); }
    void FadeOut() override;
    void FadeIn() override;
    void Release();

    static constexpr int kCreditLines = 13;
    static constexpr int kCreditLineSize = 40;
    static const char kCredits[kMenuCredits][kCreditLines][kCreditLineSize];

    Surface menuSurface = nullptr;
    PaletteEntry menuPalette[kPaletteSize] = {};
    PaletteFader fader;
    StarField stars;
    Sprite itemSprites[kMenuItems];
    Sprite titleSprite;
    Sprite difficultySprites[kDifficulties];
    Sprite humSwitch;
    Sprite optionsButton;
    Sprite creditButtons[kMenuCredits];
    Sprite creditPictures[kMenuCredits];
    int32_t slideOffset = kScreenWidth;
    int32_t difficulty = 0;
    int32_t hoveredItem = -1;
    int32_t creditsHovered = -1;
    int32_t slideX = -170;
    uint8_t clickLatch = 0;
    uint8_t optionsKeyWasDown = 1;
    // Why the hum's change was not kept ("" none), shown for a while.
    char notice[160] = {};
    int32_t noticePasses = 0;
    // The button as the previous frame saw it, and the item a press began
    // on (-1: none, or the press began elsewhere).
    uint8_t buttonWasDown = 0;
    int32_t pressItem = -1;
    Font* font = nullptr;
    SoundBank* sounds = nullptr;
    MouseCursor* cursor = nullptr;
    ImageLoader loader;
};
