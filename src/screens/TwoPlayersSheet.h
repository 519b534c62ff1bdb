#pragma once
#include <cstdint>

#include "screens/PanelSheet.h"

// "bgTwoPlay.dat", as the data tool paints it and the two-players screen
// writes over it: one panel with a well for each choice, field and step
// button, and for the delay's value and its label. The rooms (through the
// world server) come first, side by side where they fit, and watching a
// room's game; the direct host and join below them.

inline constexpr const char* kTwoPlayersBackgroundFile = "grafik\\bgTwoPlay.dat";

struct TwoPlayersLayout {
    enum Entry : int32_t {
        kKeyboardEntry,
        kCreateRoomEntry,
        kQuickMatchEntry,
        kJoinRoomEntry,
        kCodeField,
        kWatchEntry,
        kWatchCodeField,
        kHostEntry,
        kPortDown,
        kPortField,
        kPortUp,
        kJoinEntry,
        kAddressField,
        kDelayDown,
        kDelayUp,
        kBackEntry,
        kEntryCount
    };

    // The panel, and the columns and rows inside it.
    static constexpr ScreenBox kPanel = {40, 56, 560, 366};
    static constexpr int32_t kChoiceX = 56, kChoiceWidth = 300, kChoiceHeight = 30;
    static constexpr int32_t kValueX = 368, kValueRight = 584, kStepWidth = 22, kValueHeight = 20, kStepGap = 4;
    static constexpr int32_t kKeyboardY = 66, kRoomY = 116, kJoinRoomY = 150, kWatchY = 184, kHostY = 227, kJoinY = 270,
                             kDelayY = 306;
    static constexpr int32_t kFieldDrop = (kChoiceHeight - kValueHeight) / 2;  // a field beside its choice
    static constexpr int32_t kCaptionRise = 13;                                // a field's caption above it
    static constexpr int32_t kHintY = kKeyboardY + kChoiceHeight + 4;
    // The lines that say what each choice does, under the delay.
    static constexpr int32_t kAboutY = kDelayY + kChoiceHeight + 8, kAboutStep = 14, kAboutLines = 5;
    static constexpr ScreenBox kDelayLabel = {kChoiceX, kDelayY, kChoiceWidth, kChoiceHeight};
    static constexpr ScreenBox kDelayValue = {kValueX + kStepWidth + kStepGap, kDelayY + kFieldDrop,
                                              kValueRight - kValueX - 2 * (kStepWidth + kStepGap), kValueHeight};

    struct BoxTable {
        ScreenBox box[kEntryCount];
    };
    static constexpr BoxTable MakeBoxes() {
        BoxTable t{};
        t.box[kKeyboardEntry] = {kChoiceX, kKeyboardY, kValueRight - kChoiceX, kChoiceHeight};
        t.box[kCreateRoomEntry] = {kChoiceX, kRoomY, kChoiceWidth, kChoiceHeight};
        t.box[kQuickMatchEntry] = {kValueX, kRoomY, kValueRight - kValueX, kChoiceHeight};
        t.box[kJoinRoomEntry] = {kChoiceX, kJoinRoomY, kChoiceWidth, kChoiceHeight};
        t.box[kCodeField] = {kValueX, kJoinRoomY + kFieldDrop, kValueRight - kValueX, kValueHeight};
        t.box[kWatchEntry] = {kChoiceX, kWatchY, kChoiceWidth, kChoiceHeight};
        t.box[kWatchCodeField] = {kValueX, kWatchY + kFieldDrop, kValueRight - kValueX, kValueHeight};
        t.box[kHostEntry] = {kChoiceX, kHostY, kChoiceWidth, kChoiceHeight};
        t.box[kJoinEntry] = {kChoiceX, kJoinY, kChoiceWidth, kChoiceHeight};
        const int32_t valueWidth = kValueRight - kValueX - 2 * (kStepWidth + kStepGap);
        t.box[kPortDown] = {kValueX, kHostY + kFieldDrop, kStepWidth, kValueHeight};
        t.box[kPortField] = {kValueX + kStepWidth + kStepGap, kHostY + kFieldDrop, valueWidth, kValueHeight};
        t.box[kPortUp] = {kValueRight - kStepWidth, kHostY + kFieldDrop, kStepWidth, kValueHeight};
        t.box[kAddressField] = {kValueX, kJoinY + kFieldDrop, kValueRight - kValueX, kValueHeight};
        t.box[kDelayDown] = {kValueX, kDelayY + kFieldDrop, kStepWidth, kValueHeight};
        t.box[kDelayUp] = {kValueRight - kStepWidth, kDelayY + kFieldDrop, kStepWidth, kValueHeight};
        t.box[kBackEntry] = kPanelBackBox;
        return t;
    }
};

inline constexpr TwoPlayersLayout::BoxTable kTwoPlayersBoxes = TwoPlayersLayout::MakeBoxes();

// Each field's caption sits clear of the row above it, and the lines about
// the choices end inside the panel's frame.
static_assert(TwoPlayersLayout::kWatchY >= TwoPlayersLayout::kJoinRoomY + TwoPlayersLayout::kChoiceHeight + 4);
static_assert(TwoPlayersLayout::kHostY - TwoPlayersLayout::kCaptionRise >=
              TwoPlayersLayout::kWatchY + TwoPlayersLayout::kChoiceHeight);
static_assert(TwoPlayersLayout::kJoinY - TwoPlayersLayout::kCaptionRise >=
              TwoPlayersLayout::kHostY + TwoPlayersLayout::kChoiceHeight);
static_assert(TwoPlayersLayout::kRoomY >= TwoPlayersLayout::kHintY + 12);
static_assert(TwoPlayersLayout::kAboutY + TwoPlayersLayout::kAboutStep * TwoPlayersLayout::kAboutLines <=
              TwoPlayersLayout::kPanel.Bottom() - kPanelRim);
