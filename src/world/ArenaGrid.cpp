#include "world/ArenaGrid.h"

namespace {
int32_t EntryIndex(int32_t x, int32_t y) { return x * kArenaColumnPitch + y; }
}  // namespace

int32_t ArenaGrid::Place(GridObject* object) {
    if (!OnBoard(object->cellX, object->cellY)) return object->cellX;
    const int32_t index = EntryIndex(object->cellX, object->cellY);
    cells[index] = object;
    return index;
}

void ArenaGrid::Remove(const GridObject* object) { ClearCell(object->cellX, object->cellY); }

void ArenaGrid::ClearCell(int32_t x, int32_t y) {
    if (!OnBoard(x, y)) return;
    cells[EntryIndex(x, y)] = nullptr;
}

GridObject* ArenaGrid::At(int32_t x, int32_t y) const {
    if (!OnBoard(x, y)) return nullptr;
    return cells[EntryIndex(x, y)];
}

int32_t ArenaGrid::TypeAt(int32_t x, int32_t y) const {
    const GridObject* object = At(x, y);
    return object ? object->cellType : CellType::Empty;
}

void ArenaGrid::ClearAll() {
    for (int32_t x = 0; x < kArenaColumns; ++x)
        for (int32_t y = 0; y < kArenaRows; ++y) cells[EntryIndex(x, y)] = nullptr;
}
