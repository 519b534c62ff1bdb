#pragma once
#include <cstdint>

#include "gfx/Display.h"
#include "gfx/ImageLoader.h"
#include "gfx/PaletteFader.h"
#include "gfx/Sprite.h"
#include "io/MouseCursor.h"
#include "io/SoundBank.h"

// One full-screen picture that carries its own text, with an animated ball
// in the corner that leads back to the menu.
class InfoScreen {
public:
    void Init(MouseCursor* cursor, SoundBank* sounds);
    bool Frame();
    void FadeOut();
    void FadeIn();
    void Release();

    Surface background = nullptr;
    PaletteEntry palette[kPaletteSize] = {};
    Surface ballSurface = nullptr;
    Sprite ballSprite;
    Sprite hoverSprites[2];
    uint8_t hovered = 0;
    MouseCursor* cursor = nullptr;
    SoundBank* sounds = nullptr;
    PaletteFader fader;
    ImageLoader loader;
};
