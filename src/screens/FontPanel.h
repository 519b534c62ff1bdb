#pragma once
#include <cstdint>

#include "gfx/Display.h"
#include "gfx/Font.h"
#include "gfx/PaletteFader.h"
#include "io/MouseCursor.h"
#include "io/SoundBank.h"
#include "screens/StarField.h"

// What the screens drawn with the fonts alone are made of (the options
// screen, the two-players screen): panels, entry boxes and text in
// capitals, in the colours of the menu's palette.

struct ScreenBox {
    int32_t x, y, w, h;
    bool Contains(int32_t px, int32_t py) const { return px >= x && py >= y && px < x + w && py < y + h; }
};

// The palette entries nearest the panels' own colours.
struct PanelColours {
    uint8_t panelFill = 0, panelEdge = 0, boxFill = 0, boxEdge = 0, litEdge = 0, waitFill = 0, barOn = 0, barOff = 0;
};
PanelColours FindPanelColours(const PaletteEntry* palette);

int32_t PanelTextWidth(const Font& font, const char* text);
// Text in capitals (every font has them), anything else shown as '?', cut
// off where it would run past `maxWidth`.
void DrawPanelCaps(Font& font, int32_t x, int32_t y, const char* text, int32_t maxWidth);
void DrawPanelCentred(Font& font, const ScreenBox& box, const char* text);
void DrawPanelFrame(const PanelColours& colours, int32_t left, int32_t top, int32_t right, int32_t bottom);
// An entry's box: its edge lit (under the pointer), its fill amber (while
// it waits for the player), the text centred.
void DrawPanelBox(const PanelColours& colours, const ScreenBox& box, bool lit, bool amber, Font& font,
                  const char* text);

// What each font-drawn screen works with: the game's fonts, sounds and
// pointer, and the menu's star field and palette (the stars fly on from one
// screen to the other, and the fonts are drawn in its colours).
class FontScreen {
public:
    void Init(Font* big, Font* medium, Font* small, SoundBank* sounds, MouseCursor* cursor, StarField* stars,
              const PaletteEntry* palette);
    void FadeOut() { fader.FadeOut(); }
    void FadeIn() { fader.FadeIn(palette); }

protected:
    Font* bigFont = nullptr;
    Font* mediumFont = nullptr;
    Font* smallFont = nullptr;
    SoundBank* sounds = nullptr;
    MouseCursor* cursor = nullptr;
    const PaletteEntry* palette = nullptr;
    PaletteFader fader;
    StarField* stars = nullptr;
    PanelColours colours;  // found at Init
};
