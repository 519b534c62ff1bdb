#include "match/FoodSet.h"

#include "io/SoundSlots.h"
#include "match/FoodSheet.h"
#include "world/Random.h"

namespace {
// Random tries before the search for a free cell falls back to a scan.
constexpr int kPlacementTries = 100000;
}  // namespace

void FoodSet::Init(ArenaGrid* g) {
    grid = g;
    for (int i = 0; i < kTypes; ++i) types[i] = kFoodTypeTable[i];
    foodImage = CreateSurface(kFoodSheetWidth, kFoodSheetHeight, VideoMemory);
    SetSourceColorKey(0, 0, foodImage);
    loader.LoadSurface("grafik\\food.dat", foodImage, nullptr);
    const int32_t delays[kTypes] = {5, 5, 6, 6, 0};
    for (int i = 0; i < kTypes; ++i) foodSprites[i].Init(foodImage, FoodCell(i), kFoodFrames[i], delays[i]);
}

void FoodSet::Reset(int32_t count, int32_t a, int32_t b, int32_t c) {
    chanceA = a;
    chanceB = b;
    chanceC = c;
    for (FoodItem& item : items) item.cellType = CellType::Empty;
    if (count > kSlots) count = kSlots;
    for (int32_t i = 0; i < count; ++i) Place(i);
}

int32_t FoodSet::TypeFor(int32_t r) const {
    // 64-bit sums: thresholds come from a file and may be anything.
    const int64_t a = chanceA;
    const int64_t ab = a + chanceB;
    const int64_t abc = ab + chanceC;
    if (r <= a) return 0;
    if (r <= ab) return 1;
    if (r <= abc) return 2;
    if (r > 100) return 4;
    return 3;
}

void FoodSet::Place(int32_t slot) {
    if (slot < 0 || slot >= kSlots) return;
    int32_t x = Rand() % 20;
    int32_t y = Rand() % 13 + 1;
    int tries = 1;
    while (grid->TypeAt(x, y) != CellType::Empty) {
        if (tries++ >= kPlacementTries) {
            // The board is (nearly) full: take the first free cell, or none.
            bool found = false;
            for (int32_t yy = 1; yy < 14 && !found; ++yy)
                for (int32_t xx = 0; xx < 20 && !found; ++xx)
                    if (grid->TypeAt(xx, yy) == CellType::Empty) {
                        x = xx;
                        y = yy;
                        found = true;
                    }
            if (!found) {
                items[slot].cellType = CellType::Empty;
                return;
            }
            break;
        }
        x = Rand() % 20;
        y = Rand() % 13 + 1;
    }
    const FoodType& t = types[TypeFor(Rand() % 107)];
    FoodItem& item = items[slot];
    item.cellX = x;
    item.cellY = y;
    item.offsetX = item.offsetY = 0;
    item.cellType = CellType::Food;
    item.spriteIndex = t.spriteIndex;
    item.soundSlot = t.soundSlot;
    item.growth = t.growth;
    item.score = t.score;
    item.givesRockets = t.givesRockets;
    grid->Place(&item);
}

void FoodSet::Draw(const Rect* keepClear) {
    for (int32_t i = 0; i < kSlots; ++i) {
        FoodItem& item = items[i];
        if (item.cellType == CellType::Food) {
            const int32_t s = item.spriteIndex >= 0 && item.spriteIndex < kTypes ? item.spriteIndex : 0;
            const int32_t x = item.cellX * 32, y = item.cellY * 32;
            const bool hidden = keepClear != nullptr && x < keepClear->right && x + 32 > keepClear->left &&
                                y < keepClear->bottom && y + 32 > keepClear->top;
            if (!hidden) foodSprites[s].Draw(x, y, backBuffer);
            grid->Place(&item);
        } else if (item.cellType == CellType::EatenFood) {
            Place(i);
        }
    }
    for (int i = 0; i < 4; ++i) foodSprites[i].AdvanceLoop();
}

void FoodSet::Release() {
    if (foodImage) ReleaseSurface(foodImage);
    foodImage = nullptr;
}
