#pragma once
#include "gfx/SheetCell.h"
#include "world/Difficulty.h"

// "menyinv.dat": every picture of the main menu on one sheet, as the data
// tool draws it and the menu cuts it. Items, labels, the hum switch and the
// credit buttons have a second frame, lit, beside the first.
inline constexpr int kMenuSheetWidth = 800, kMenuSheetHeight = 600;
// ONE PLAYER, TWO PLAYERS, HIGH SCORES, INFO, QUIT.
inline constexpr int kMenuItems = 5;
inline constexpr SheetCell kMenuItemCells[kMenuItems] = {
    {0, 0, 191, 61}, {0, 61, 196, 62}, {0, 123, 246, 91}, {0, 215, 96, 60}, {0, 276, 101, 65},
};
inline constexpr SheetCell kMenuTitleCell = {1, 436, 403, 116};
inline constexpr SheetCell kMenuDifficultyCells[kDifficulties] = {
    {523, 86, 44, 22}, {523, 113, 78, 21}, {523, 141, 47, 20}};
inline constexpr SheetCell kMenuHumSwitchCell = {700, 100, 16, 16};
// The OPTIONS button in the menu's top right-hand corner, and where it stands.
inline constexpr SheetCell kMenuOptionsCell = {523, 170, 111, 25};
inline constexpr int kMenuOptionsX = 524, kMenuOptionsY = 10;
// The three credits panels: a button each, and the picture it slides in.
inline constexpr int kMenuCredits = 3;
inline constexpr SheetCell kMenuCreditButtonCells[kMenuCredits] = {
    {523, 0, 131, 25}, {523, 30, 138, 20}, {522, 59, 135, 22}};
inline constexpr SheetCell kMenuCreditPictureCells[kMenuCredits] = {
    {474, 387, 158, 106}, {474, 497, 159, 101}, {637, 497, 159, 100}};
