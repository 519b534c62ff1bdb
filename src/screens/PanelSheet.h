#pragma once
#include <cstdint>

// What the panel screens (options, two players, info) are made of, as the
// data tool paints their backgrounds and the screens write over them: the
// set-up screen's title plate, metal-framed wells for panels and entries,
// the well of the two lines at the foot and the BACK button's socket.
// Every box is on the 640 x 480 screen.

struct ScreenBox {
    int32_t x, y, w, h;
    constexpr bool Contains(int32_t px, int32_t py) const { return px >= x && py >= y && px < x + w && py < y + h; }
    constexpr int32_t Right() const { return x + w; }
    constexpr int32_t Bottom() const { return y + h; }
};

// The title plate (the set-up screen's), and the top of the title's cell.
inline constexpr ScreenBox kPanelTitlePlate = {92, 2, 456, 48};
inline constexpr int32_t kPanelTitleY = 10;
// A panel's metal frame, and its corners' radius.
inline constexpr int32_t kPanelRim = 6, kPanelRadius = 10;
// An entry's metal frame (the screens light it over the art), its radius.
inline constexpr int32_t kEntryRim = 2, kEntryRadius = 4;
// Text starts this far inside a panel's frame.
inline constexpr int32_t kPanelInset = 8;
// The two lines at the foot of the options and two-players screens (help,
// then what the game has to say), and the BACK button beside them.
inline constexpr ScreenBox kPanelFootWell = {10, 440, 518, 38};
inline constexpr int32_t kPanelFootLineY[2] = {446, 461};
inline constexpr ScreenBox kPanelBackBox = {536, 444, 92, 30};

// The colours the screens draw an entry's state with, from the palette's
// shared upper half (every picture has it): the cyan of a lit frame, the
// gold of an entry waiting for the player, the volume bar's lit and unlit
// segments and the lit ones while the sound is muted.
inline constexpr uint8_t kPanelLitIndex = 172;
inline constexpr uint8_t kPanelWaitIndex = 204;
inline constexpr uint8_t kPanelBarOnIndex = 202;
inline constexpr uint8_t kPanelBarOffIndex = 131;
inline constexpr uint8_t kPanelBarMutedIndex = 136;
