#pragma once
#include "gfx/SheetCell.h"

// "food.dat", as the data tool draws it and the food set cuts it: a strip
// for each of the five kinds of food, one under the other, in 33-pixel
// cells (32 x 32 pictures). Every strip loops.
inline constexpr int kFoodSheetWidth = 320, kFoodSheetHeight = 180;
inline constexpr int kFoodCell = 33;
inline constexpr int kFoodKinds = 5;
inline constexpr int kFoodFrames[kFoodKinds] = {6, 6, 4, 4, 1};

constexpr SheetCell FoodCell(int kind) { return {0, kFoodCell * kind, kFoodCell, kFoodCell}; }

static_assert(kFoodCell * kFoodKinds <= kFoodSheetHeight);
