#pragma once
#include <cstdint>

#include "gfx/Display.h"
#include "gfx/Font.h"
#include "gfx/Sprite.h"
#include "io/MouseCursor.h"
#include "io/SoundBank.h"
#include "screens/FontPanel.h"

// How to play, on the panels of its picture: the goal, the levels, both
// players' keys as the settings bind them now, shields and lives, the food;
// an animated ball in the corner leads back to the menu.
class InfoScreen : public FontScreen {
public:
    bool Init(Font* big, Font* medium, Font* small, MouseCursor* cursor, SoundBank* sounds);
    bool Frame();
    void ShowFrame() override { Frame(); }
    void Release();

    Surface ballSurface = nullptr;
    Sprite ballSprite;
    Sprite hoverSprites[2];
    uint8_t hovered = 0;

private:
    void DrawCopy();
};
