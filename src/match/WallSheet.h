#pragma once
#include "gfx/SheetCell.h"

// "walls.dat", as the data tool draws it and the arena cuts it: the wall
// tile the arena draws over every wall cell, and the status-bar panel it
// puts into the arena picture under each player's half of the screen.
inline constexpr int kWallSheetWidth = 320, kWallSheetHeight = 200;
inline constexpr SheetCell kWallTileCell = {0, 0, 33, 33};
inline constexpr int kStatusPanelX = 1, kStatusPanelY = 166;
inline constexpr int kStatusPanelWidth = 309, kStatusPanelHeight = 31;

static_assert(kStatusPanelX + kStatusPanelWidth <= kWallSheetWidth &&
              kStatusPanelY + kStatusPanelHeight <= kWallSheetHeight);
