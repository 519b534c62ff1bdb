#pragma once
#include "gfx/SheetCell.h"

// "BallAnim.dat", as the data tool draws it and the info screen cuts it:
// the ball that leads back to the menu, turning through its frames, and the
// two pictures that show while the pointer is on it, in 65-pixel cells.
inline constexpr int kBallSheetWidth = 480, kBallSheetHeight = 66;
inline constexpr SheetCell kBallCell = {0, 0, 65, 65};
inline constexpr int kBallFrames = 3;
// The BACK TO MENU sign, and the arrow pointing down at the ball.
inline constexpr SheetCell kBallHoverCells[2] = {{262, 0, 65, 65}, {327, 0, 65, 65}};
