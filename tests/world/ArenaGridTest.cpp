#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "world/ArenaGrid.h"
#include "world/FoodItem.h"

namespace {

TEST(ArenaGridTest, OffBoardCellsReadEmptyAndStoreNothing) {
    ArenaGrid grid;
    static GridObject walls[20][14];
    for (int x = 0; x < 20; ++x)
        for (int y = 0; y < 14; ++y) grid.Place(&(walls[x][y] = GridObject{x, y, 0, 0, CellType::Wall}));
    EXPECT_EQ(grid.TypeAt(19, 13), CellType::Wall);
    for (auto [x, y] : {std::pair{-1, 0}, {20, 0}, {0, 14}, {0, -1}}) EXPECT_EQ(grid.TypeAt(x, y), 0) << x << "," << y;
    grid.ClearAll();
    EXPECT_EQ(std::count(std::begin(grid.cells), std::end(grid.cells), nullptr), kArenaColumns * kArenaColumnPitch);
    // (1, 30), the worms' off-board placeholder, would land on (3, 0)'s entry if it were stored.
    GridObject wall{3, 0, 0, 0, CellType::Wall};
    grid.Place(&wall);
    for (auto [x, y] : {std::pair{1, 30}, {20, 3}, {-1, 3}, {4, -1}}) {
        GridObject off{x, y, 0, 0, CellType::Occupied};
        EXPECT_EQ(grid.Place(&off), x);  // off the board Place returns cellX
        grid.Remove(&off);
        grid.ClearCell(x, y);
    }
    EXPECT_EQ(std::count(std::begin(grid.cells), std::end(grid.cells), nullptr), kArenaColumns * kArenaColumnPitch - 1);
    EXPECT_EQ(grid.At(3, 0), &wall);
}

TEST(ArenaGridTest, ALaterObjectReplacesTheFirstAndRemoveEmptiesByCell) {
    ArenaGrid grid;
    FoodItem food;
    food.cellX = 7;
    food.cellY = 4;
    food.cellType = CellType::Food;
    EXPECT_EQ(grid.Place(&food), 7 * 15 + 4);
    GridObject segment{7, 4, 0, 0, CellType::Occupied};
    grid.Place(&segment);
    EXPECT_EQ((std::tuple{grid.At(7, 4), food.cellType}), (std::tuple{&segment, CellType::Food}));
    segment.cellType = CellType::EatenFood;  // the type is read through the record
    EXPECT_EQ(grid.TypeAt(7, 4), CellType::EatenFood);
    grid.Remove(&food);  // whoever holds the cell
    EXPECT_EQ(grid.TypeAt(7, 4), 0);
    grid.Place(&segment);
    grid.ClearCell(7, 4);
    EXPECT_EQ(grid.At(7, 4), nullptr);
}

}  // namespace
