#pragma once
#include <cstdint>

// What stands in a cell of the arena. An empty entry, or a cell off the
// board, reads as Empty.
namespace CellType {
enum Value : int32_t {
    Empty = 0,
    Food = 1,       // free; entering it eats the food
    Wall = 2,       // blocks
    Occupied = 3,   // a worm's cell or a start gate; blocks
    EatenFood = 4,  // eaten this frame, about to be moved; blocks the open-way searches
};
}

// The common head of every record the grid can point to. Walls, food and
// worm segments carry their own fields behind it.
struct GridObject {
    int32_t cellX = 0;
    int32_t cellY = 0;
    int32_t offsetX = 0;
    int32_t offsetY = 0;
    int32_t cellType = CellType::Empty;
};

constexpr int32_t kArenaColumns = 20;
constexpr int32_t kArenaRows = 14;
// The play area's height on the screen: the status bar lies below it.
constexpr int32_t kArenaBottom = kArenaRows * 32;
// One spare row per column keeps the column pitch at 15.
constexpr int32_t kArenaColumnPitch = 15;

// The occupancy grid of the 20 x 14 arena: one non-owning pointer per cell.
class ArenaGrid {
public:
    static bool OnBoard(int32_t x, int32_t y) { return x >= 0 && y >= 0 && x < kArenaColumns && y < kArenaRows; }

    // Stores the object at its own cell, replacing whatever was there; an
    // object off the board is not stored. Returns the entry index when
    // stored and the object's cellX otherwise.
    int32_t Place(GridObject* object);
    // Empties the entry at the object's cell (whoever it points to).
    void Remove(const GridObject* object);
    void ClearCell(int32_t x, int32_t y);
    // The record in a cell, null when empty or off the board.
    GridObject* At(int32_t x, int32_t y) const;
    // The cell type in a cell; 0 off the board or when empty.
    int32_t TypeAt(int32_t x, int32_t y) const;
    void ClearAll();

    GridObject* cells[kArenaColumns * kArenaColumnPitch] = {};
};
