#pragma once
// Where the level intro panel ("RutNat.dat") stands and what it holds. The
// game draws the intro from these; the data tool paints the panel to them
// and refuses a level title wider than the room the panel has for it. The
// same panel frames the EXIT Y/N question and the GAME OVER cue.

#include "gfx/ImageSlots.h"

inline constexpr int kIntroPanelX = 160, kIntroPanelY = 140;
inline constexpr int kIntroPanelWidth = 320, kIntroPanelHeight = 200;
static_assert(kImageSlotFiles[kImagePanel].width == kIntroPanelWidth &&
              kImageSlotFiles[kImagePanel].height == kIntroPanelHeight);
// The dark screen inside the rim and the glass band starts this far in
// from the panel's edge.
inline constexpr int kIntroScreenInset = 14;
// The lines of text (LEVEL n, the title, the target) start here.
inline constexpr int kIntroTextX = 190;
// A title may run from the text's left edge to the screen's right edge.
inline constexpr int kIntroTitleRoom = kIntroPanelX + kIntroPanelWidth - kIntroScreenInset - kIntroTextX;
