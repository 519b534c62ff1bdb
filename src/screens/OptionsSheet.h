#pragma once
#include <cstdint>

#include "platform/Settings.h"
#include "screens/PanelSheet.h"

// "bgOptions.dat", as the data tool paints it and the options screen writes
// over it: three panels (display, sound, the controls) and a well for every
// entry a click reaches, where the screen writes its value. "bgOnline.dat"
// is the same screen on one palette with it, its lower panel the ONLINE
// page: the world table's switch and server address.

inline constexpr const char* kOptionsBackgroundFile = "grafik\\bgOptions.dat";
inline constexpr const char* kOnlineBackgroundFile = "grafik\\bgOnline.dat";

struct OptionsLayout {
    // Everything a click can reach, in the order the screen lists them.
    enum Entry : int32_t {
        kScreenEntry,
        kScaleEntry,
        kWindowEntry,
        kVolumeDown,
        kVolumeUp,
        kMuteEntry,
        kHumEntry,
        kFirstKey,                                        // player 1's left .. player 2's brake
        kFirstPadButton = kFirstKey + 2 * kPlayKeyCount,  // warp .. pause
        kRumbleEntry = kFirstPadButton + kPadActionCount,
        kKeyDefaults1,
        kKeyDefaults2,
        kPadDefaults,
        kPageEntry,    // the lower panel's page: ONLINE, or back to CONTROLS
        kSendEntry,    // the ONLINE page: send finished games, yes or no
        kServerEntry,  // the ONLINE page: the server's address, typed
        kBackEntry,
        kEntryCount
    };
    // What the lower panel shows.
    enum class Page : uint8_t { Controls, Online };
    // Whether an entry is on the page (the top panels' are on both).
    static constexpr bool OnPage(int32_t entry, Page page) {
        if (entry >= kFirstKey && entry <= kPadDefaults) return page == Page::Controls;
        if (entry == kSendEntry || entry == kServerEntry) return page == Page::Online;
        return true;
    }

    // The panels, and the rows and columns inside them.
    static constexpr ScreenBox kDisplayPanel = {16, 56, 300, 116};
    static constexpr ScreenBox kSoundPanel = {324, 56, 300, 116};
    static constexpr ScreenBox kControlsPanel = {16, 178, 608, 258};
    static constexpr int32_t kCaptionY = 63;  // DISPLAY and SOUND
    static constexpr int32_t kTopRowY = 92, kTopRowStep = 24, kTopRows = 3;
    static constexpr int32_t kValueX = 108, kValueWidth = 180;  // from the panel's left
    static constexpr int32_t kBoxHeight = 19;
    static constexpr int32_t kKeyColumnX[2] = {112, 276}, kKeyColumnWidth = 156;
    static constexpr int32_t kPadColumnX = 440, kPadColumnWidth = 172;
    static constexpr int32_t kHeadingY = 184;  // PLAYER 1, PLAYER 2, GAMEPAD
    static constexpr int32_t kControlRowY = 214, kControlRowStep = 21, kControlRows = 9;
    static constexpr int32_t kDefaultsY = 407;
    static constexpr int32_t kStepWidth = 20;  // the volume's - and +
    // The volume between its - and +: the number, then the bar's segments.
    static constexpr ScreenBox kVolumeWell = {kSoundPanel.x + kValueX + kStepWidth + 4, kTopRowY,
                                              kValueWidth - 2 * (kStepWidth + 4), kBoxHeight};
    static constexpr int32_t kVolumeNumberX = kVolumeWell.x + 6, kVolumeNumberWidth = 36;
    static constexpr int32_t kBarLeft = kVolumeNumberX + kVolumeNumberWidth, kBarSegments = 10, kBarStep = 8;
    // The pad's buttons stand beside the keys they press: warp on the warp row.
    static constexpr int32_t kPadFirstRow = kKeyWarp;
    // The page switch, left of the headings; the ONLINE page's rows, and
    // the lines under them that say what is sent.
    static constexpr ScreenBox kPageBox = {kControlsPanel.x + kPanelInset + 2, kHeadingY + 3, 84, kBoxHeight};
    static constexpr int32_t kOnlineRowY[2] = {236, 276};
    static constexpr int32_t kOnlineLabelX = kControlsPanel.x + kPanelInset + 4;
    static constexpr int32_t kSendX = 440, kSendWidth = 172;
    static constexpr int32_t kServerX = 196, kServerWidth = 416;
    static constexpr int32_t kOnlineAboutY = 312, kOnlineAboutStep = 14;

    struct BoxTable {
        ScreenBox box[kEntryCount];
    };
    static constexpr BoxTable MakeBoxes() {
        BoxTable t{};
        const int32_t displayX = kDisplayPanel.x + kValueX, soundX = kSoundPanel.x + kValueX;
        for (int32_t row = 0; row < kTopRows; ++row)
            t.box[kScreenEntry + row] = {displayX, kTopRowY + kTopRowStep * row, kValueWidth, kBoxHeight};
        t.box[kVolumeDown] = {soundX, kTopRowY, kStepWidth, kBoxHeight};
        t.box[kVolumeUp] = {soundX + kValueWidth - kStepWidth, kTopRowY, kStepWidth, kBoxHeight};
        t.box[kMuteEntry] = {soundX, kTopRowY + kTopRowStep, kValueWidth, kBoxHeight};
        t.box[kHumEntry] = {soundX, kTopRowY + 2 * kTopRowStep, kValueWidth, kBoxHeight};
        for (int32_t p = 0; p < 2; ++p) {
            for (int32_t a = 0; a < kPlayKeyCount; ++a)
                t.box[kFirstKey + p * kPlayKeyCount + a] = {kKeyColumnX[p], kControlRowY + kControlRowStep * a,
                                                            kKeyColumnWidth, kBoxHeight};
            t.box[kKeyDefaults1 + p] = {kKeyColumnX[p], kDefaultsY, kKeyColumnWidth, kBoxHeight};
        }
        for (int32_t a = 0; a <= kPadActionCount; ++a)  // the last is rumble
            t.box[kFirstPadButton + a] = {kPadColumnX, kControlRowY + kControlRowStep * (kPadFirstRow + a),
                                          kPadColumnWidth, kBoxHeight};
        t.box[kPadDefaults] = {kPadColumnX, kDefaultsY, kPadColumnWidth, kBoxHeight};
        t.box[kPageEntry] = kPageBox;
        t.box[kSendEntry] = {kSendX, kOnlineRowY[0], kSendWidth, kBoxHeight};
        t.box[kServerEntry] = {kServerX, kOnlineRowY[1], kServerWidth, kBoxHeight};
        t.box[kBackEntry] = kPanelBackBox;
        return t;
    }
};

inline constexpr OptionsLayout::BoxTable kOptionsBoxes = OptionsLayout::MakeBoxes();

// The entries and the volume's well stay inside their panels.
static_assert(kOptionsBoxes.box[OptionsLayout::kPadDefaults].Bottom() <=
              OptionsLayout::kControlsPanel.Bottom() - kPanelRim);
static_assert(kOptionsBoxes.box[OptionsLayout::kHumEntry].Bottom() <= OptionsLayout::kSoundPanel.Bottom() - kPanelRim);
static_assert(OptionsLayout::kBarLeft + OptionsLayout::kBarSegments * OptionsLayout::kBarStep <=
              OptionsLayout::kVolumeWell.Right() - kEntryRim);
