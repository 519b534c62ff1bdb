#pragma once
#include <cstdint>

#include "gfx/Display.h"
#include "gfx/Font.h"
#include "gfx/PaletteFader.h"
#include "io/MouseCursor.h"
#include "io/SoundBank.h"
#include "platform/Settings.h"
#include "screens/FontPanel.h"
#include "screens/OptionsSheet.h"

// The options screen, on its own panels: the display, the sound,
// both players' play keys and the gamepad's buttons, and on the lower
// panel's ONLINE page the world table (whether finished games are sent to
// it, and its server's address, typed). Every click changes one setting,
// which the host puts in force and keeps in the settings file at once. A
// key or pad button is bound by clicking its entry and pressing it; one the
// game keeps or another action has is refused with the reason; so is an
// address the game cannot use.
class OptionsScreen : public FontScreen, public OptionsLayout {
public:
    using Box = ScreenBox;
    static constexpr int kNoticeSize = 200;

    // The ONLINE page's picture, on the options' palette.
    bool InitOnlinePage(const char* backgroundFile);
    void Release();
    // On entering: nothing waits and nothing is said, the controls shown.
    void Arm() override;
    // Draws the screen and answers the pointer and keys; `escDown` is Esc as
    // the game counts it. True when the player goes back to the menu.
    bool Frame(bool escDown);
    void ShowFrame() override { Frame(false); }

    // The entry waiting for its key or pad button, or -1.
    bool WaitingForPad() const { return waiting >= kFirstPadButton && waiting < kRumbleEntry; }
    static constexpr int32_t KeyEntry(int player, int action) { return kFirstKey + player * kPlayKeyCount + action; }
    static constexpr int32_t PadEntry(int action) { return kFirstPadButton + action; }
    // Where `entry` lies on the screen.
    static const Box& EntryBox(int32_t entry) { return kOptionsBoxes.box[entry]; }

    Page page = Page::Controls;
    Surface onlineBackground = nullptr;
    // The server's address while it is typed (`typing`), kept on Enter or a
    // click elsewhere, dropped on Esc.
    bool typing = false;
    char server[kWorldAddressBytes] = {};
    int32_t backspaceHeld = 0;
    int32_t waiting = -1;
    int32_t hovered = -1;
    // Set when a change moved a play key; the game hands the keys to the match.
    bool keysChanged = false;
    // A refusal or a failed save, as the player reads it ("" none).
    char notice[kNoticeSize] = {};
    uint8_t keysBefore[256] = {};
    uint8_t buttonWasDown = 0;
    uint8_t escWasDown = 0;
    int32_t blink = 0;

private:
    void Click(int32_t entry);
    void ClickOnline(int32_t entry, Settings next);
    bool Answer(bool escDown);
    void TypeServer();
    void KeepServer();
    void DrawOnlinePage(const Settings& now);
    void WaitForKey();
    void WaitForPad();
    bool Change(const Settings& next);
    void DrawBox(int32_t entry, const char* text);
};
