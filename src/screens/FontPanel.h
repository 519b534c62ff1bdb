#pragma once
#include <cstdint>

#include "gfx/Display.h"
#include "gfx/Font.h"
#include "gfx/ImageLoader.h"
#include "gfx/PaletteFader.h"
#include "io/MouseCursor.h"
#include "io/SoundBank.h"
#include "screens/PanelSheet.h"
#include "screens/Screen.h"

// What the panel screens (options, two players, info) write over the
// backgrounds the data tool paints for them: text in the game's bitmap
// fonts, in capitals, and the frames that show an entry lit or waiting.

int32_t PanelTextWidth(const Font& font, const char* text);
// Text in capitals (every font has them), anything else shown as '?', cut
// off where it would run past `maxWidth`.
void DrawPanelCaps(Font& font, int32_t x, int32_t y, const char* text, int32_t maxWidth);
void DrawPanelCentred(Font& font, const ScreenBox& box, const char* text);
// Copy broken into lines at spaces, each at most `width` wide, from `y` on
// `lead` pixels apart; returns the y below the last line.
int32_t DrawPanelParagraph(Font& font, int32_t x, int32_t y, int32_t width, int32_t lead, const char* text);
// A frame `thickness` pixels wide just inside `box`, over its well's metal.
void DrawEntryFrame(const ScreenBox& box, uint8_t colour, int32_t thickness);
// An entry over its well: its frame lit (under the pointer, or picked),
// gold and doubled while it waits for the player, the text centred.
void DrawPanelBox(const ScreenBox& box, bool lit, bool waiting, Font& font, const char* text);

// Every text the panel screens write, as written: the font, where its
// cells lie and the capitals drawn. A watcher set here sees each one (the
// tests check where the texts go and how well they read).
struct PanelText {
    const Font* font;
    int32_t x, y, w, h;
    const char* text;
};
using PanelTextWatcher = void (*)(const PanelText& text, void* context);
void WatchPanelText(PanelTextWatcher watcher, void* context);

// What each panel screen works with: the game's fonts, sounds and pointer,
// and its background with the palette it fades in to.
class FontScreen : public Screen {
public:
    // False when the background cannot be read (imageLoadFailed says so).
    bool Init(Font* big, Font* medium, Font* small, SoundBank* sounds, MouseCursor* cursor, const char* backgroundFile);
    void FadeOut() override { fader.FadeOut(); }
    void FadeIn() override { fader.FadeIn(palette); }
    void Release();

    Surface background = nullptr;
    PaletteEntry palette[kPaletteSize] = {};

protected:
    // The background, and the title centred on its plate.
    void DrawBackground(const char* title);

    Font* bigFont = nullptr;
    Font* mediumFont = nullptr;
    Font* smallFont = nullptr;
    SoundBank* sounds = nullptr;
    MouseCursor* cursor = nullptr;
    PaletteFader fader;
    ImageLoader loader;
};
