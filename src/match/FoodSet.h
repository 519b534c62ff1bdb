#pragma once
#include <cstdint>

#include "gfx/Display.h"
#include "gfx/ImageLoader.h"
#include "gfx/Sprite.h"
#include "io/SoundSlots.h"
#include "match/FoodSheet.h"
#include "world/ArenaGrid.h"
#include "world/FoodItem.h"

struct FoodType {
    int32_t spriteIndex;
    int32_t soundSlot;
    int32_t growth;
    int32_t score;
    int32_t givesRockets;
};

// The kinds of food: picture, sound, growth, score, whether it charges the
// tail with rockets.
constexpr FoodType kFoodTypeTable[kFoodKinds] = {
    {0, kSoundGrow1, 2, 200, 0},  {1, kSoundGrow2, 4, 500, 0},  {2, kSoundGrow3, 5, 800, 0},
    {3, kSoundGrow4, 7, 1400, 0}, {4, kSoundAttach, 0, 800, 1},
};
// The most any food item scores.
constexpr int32_t BestFoodScore() {
    int32_t best = 0;
    for (const FoodType& t : kFoodTypeTable)
        if (t.score > best) best = t.score;
    return best;
}

// The level's food: a fixed number of items on free cells; an eaten item
// comes back at once as a new one somewhere else.
class FoodSet {
public:
    static constexpr int kSlots = 20;
    static constexpr int kTypes = kFoodKinds;

    void Init(ArenaGrid* grid);
    void Reset(int32_t count, int32_t chanceA, int32_t chanceB, int32_t chanceC);
    void Place(int32_t slot);
    // Draws the items; one whose cell meets `keepClear` (when given) is
    // left out of the picture, never out of play.
    void Draw(const Rect* keepClear = nullptr);
    void Release();
    // The food type a roll of 0..106 gives with the current thresholds.
    int32_t TypeFor(int32_t roll) const;

    FoodItem items[kSlots] = {};
    Surface foodImage = nullptr;
    Sprite foodSprites[kTypes];
    FoodType types[kTypes] = {};
    int32_t chanceA = 0, chanceB = 0, chanceC = 0;
    ArenaGrid* grid = nullptr;
    ImageLoader loader;
};
