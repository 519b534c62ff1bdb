#pragma once
#include "gfx/SheetCell.h"

// The set-up and points screens' pictures, as the data tool draws them and
// the screens cut and fill them.

// "input.dat": the name panel, the plus sign, the two ship arrows and the
// OK button (each button with its pressed or lit frame beside it).
inline constexpr int kSetupSheetWidth = 640, kSetupSheetHeight = 103;
inline constexpr SheetCell kSetupNamePanelCell = {0, 0, 480, 103};
inline constexpr SheetCell kSetupPlusCell = {484, 0, 22, 16};
inline constexpr SheetCell kSetupLeftArrowCell = {484, 19, 42, 17};
inline constexpr SheetCell kSetupRightArrowCell = {484, 36, 42, 17};
inline constexpr SheetCell kSetupOkCell = {484, 54, 62, 44};

// "FirAnim.dat" and "SecAnim.dat": one ship type each, turning once about
// its upright axis in kShipTurnFrames frames.
inline constexpr int kShipTurnSheetWidth = 2592, kShipTurnSheetHeight = 82;
inline constexpr SheetCell kShipTurnCell = {0, 0, 161, 80};
inline constexpr int kShipTurnFrames = 16;

// The ship's values on "EnterNameBG.dat"'s data panel: row r's numbers at
// y kShipRowY + kShipRowPitch * r, the value, limit and cost columns at
// these x (the panel tints and captions a column round each).
inline constexpr int kShipRowY = 189, kShipRowPitch = 17;
inline constexpr int kShipValueX = 468, kShipLimitX = 495, kShipCostX = 518;

// The strip with the line that closes its last cell fits its sheet.
static_assert(kShipTurnCell.x + kShipTurnCell.w * kShipTurnFrames < kShipTurnSheetWidth);
