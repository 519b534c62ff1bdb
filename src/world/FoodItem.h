#pragma once
#include <cstdint>

#include "world/ArenaGrid.h"

// One food item on the board. The grid head says where it lies and whether
// it can still be eaten (Food) or has just been eaten (EatenFood); the rest
// is copied from its food type. The match's food set owns the items; a worm
// that eats one reads the values and marks it eaten.
struct FoodItem : GridObject {
    int32_t spriteIndex = 0;
    int32_t soundSlot = 0;
    int32_t growth = 0;
    int32_t score = 0;
    int32_t givesRockets = 0;
};
