#include "world/ArenaGrid.h"

#include <gtest/gtest.h>

#include "world/FoodItem.h"

namespace {

GridObject Object(int32_t x, int32_t y, int32_t type) {
    GridObject o;
    o.cellX = x;
    o.cellY = y;
    o.cellType = type;
    return o;
}

TEST(ArenaGridTest, CellsOffTheBoardReadEmptyEvenOnAFullBoard) {
    ArenaGrid grid;
    static GridObject walls[20][14];
    for (int x = 0; x < 20; ++x)
        for (int y = 0; y < 14; ++y) {
            walls[x][y] = Object(x, y, CellType::Wall);
            grid.Place(&walls[x][y]);
        }
    EXPECT_EQ(grid.TypeAt(0, 0), CellType::Wall);
    EXPECT_EQ(grid.TypeAt(19, 13), CellType::Wall);
    EXPECT_EQ(grid.TypeAt(-1, 0), 0);
    EXPECT_EQ(grid.TypeAt(20, 0), 0);
    EXPECT_EQ(grid.TypeAt(0, 14), 0);
    EXPECT_EQ(grid.TypeAt(0, -1), 0);
    EXPECT_EQ(grid.At(20, 0), nullptr);

    grid.ClearAll();
    for (int x = 0; x < 20; ++x)
        for (int y = 0; y < 14; ++y) ASSERT_EQ(grid.At(x, y), nullptr) << x << "," << y;
}

TEST(ArenaGridTest, PlacementOffTheBoardStoresNothing) {
    ArenaGrid grid;
    GridObject wall = Object(1, 13, CellType::Wall);
    grid.Place(&wall);

    // The worms' off-board placeholder, and the other three edges.
    GridObject placeholder = Object(1, 30, CellType::Occupied);
    EXPECT_EQ(grid.Place(&placeholder), 1);
    GridObject right = Object(20, 3, CellType::Occupied);
    EXPECT_EQ(grid.Place(&right), 20);
    GridObject left = Object(-1, 3, CellType::Occupied);
    EXPECT_EQ(grid.Place(&left), -1);
    GridObject above = Object(4, -1, CellType::Occupied);
    EXPECT_EQ(grid.Place(&above), 4);

    int stored = 0;
    for (GridObject* entry : grid.cells) stored += entry ? 1 : 0;
    EXPECT_EQ(stored, 1);

    grid.Remove(&placeholder);
    grid.ClearCell(1, 30);
    grid.ClearCell(-1, 13);
    EXPECT_EQ(grid.At(1, 13), &wall);
}

TEST(ArenaGridTest, ASecondObjectReplacesTheFirstAndRemoveEmptiesByCell) {
    ArenaGrid grid;
    FoodItem food;
    food.cellX = 7;
    food.cellY = 4;
    food.cellType = CellType::Food;
    EXPECT_EQ(grid.Place(&food), 7 * 15 + 4);
    EXPECT_EQ(grid.TypeAt(7, 4), CellType::Food);

    GridObject segment = Object(7, 4, CellType::Occupied);
    grid.Place(&segment);
    EXPECT_EQ(grid.At(7, 4), &segment);
    EXPECT_EQ(grid.TypeAt(7, 4), CellType::Occupied);
    EXPECT_EQ(food.cellType, CellType::Food);  // the replaced record hears nothing

    // The type is read through the record, so a record that changes its
    // type changes the cell.
    segment.cellType = CellType::EatenFood;
    EXPECT_EQ(grid.TypeAt(7, 4), CellType::EatenFood);

    // Remove empties the cell the object names, whoever holds it.
    grid.Remove(&food);
    EXPECT_EQ(grid.At(7, 4), nullptr);
    EXPECT_EQ(grid.TypeAt(7, 4), 0);

    grid.Place(&segment);
    grid.ClearCell(7, 4);
    EXPECT_EQ(grid.At(7, 4), nullptr);
}

}  // namespace
