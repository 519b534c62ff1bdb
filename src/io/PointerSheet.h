#pragma once
#include "gfx/SheetCell.h"

// "mousehi.dat", as the data tool draws it and the pointer cuts it: one
// cell, the arrow's tip (the hot spot) at its picture's top-left corner.
inline constexpr SheetCell kPointerCell = {0, 0, 32, 25};
