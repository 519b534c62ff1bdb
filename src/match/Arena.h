#pragma once
#include <cstdint>

#include "gfx/Display.h"
#include "gfx/Font.h"
#include "gfx/ImageLoader.h"
#include "gfx/Sprite.h"
#include "world/ArenaGrid.h"

// The first 336 bytes of a level file.
struct LevelHeader {
    char backgroundFile[150];
    char title[150];
    int32_t target;
    int32_t chanceA;
    int32_t chanceB;
    int32_t chanceC;
    int32_t foodCount;
    int32_t start1X;
    int32_t start1Y;
    int32_t start2X;
    int32_t start2Y;
};
static_assert(sizeof(LevelHeader) == 336);

// The wall flags of a level, column by column: cell (x, y) is x * 14 + y.
struct WallMap {
    int32_t flags[280];
};
static_assert(sizeof(WallMap) == 1120);

constexpr int kLevelFileBytes = 1456;
constexpr int kMaxFood = 20;
// A level must leave at least this many free cells beyond its food, so that
// food and warp exits always find a place quickly.
constexpr int kMinSpareCells = 12;

struct WallCell : GridObject {};

// The level's composed arena picture and its walls in the grid.
class Arena {
public:
    void Init(ArenaGrid* grid, Font* smallFont, Font* mediumFont);
    // Checks a level file's bytes, then builds its picture and walls. A level
    // that is short or inconsistent (Malformed), or whose picture cannot be
    // read (the picture's line goes to stderr), is refused before anything
    // changes: false, with the reason in `error`.
    bool Load(const uint8_t* bytes, int64_t size, float factor, const char* name1, const char* name2,
              int32_t levelIndex, int32_t extraFood, ReadError* error);
    // Checks a level's bytes without loading anything.
    static bool Check(const uint8_t* bytes, int64_t size, int32_t extraFood, ReadError* error);
    void Draw();
    void Release();

    WallCell walls[280] = {};
    int32_t wallCount = 0;
    PaletteEntry backgroundPalette[kPaletteSize] = {};
    Surface wallImage = nullptr;
    Surface background = nullptr;
    Sprite wallSprite;
    LevelHeader header = {};
    WallMap wallMap = {};
    ArenaGrid* grid = nullptr;
    Font* smallFont = nullptr;
    Font* mediumFont = nullptr;
    ImageLoader loader;
};
