#include "match/FoodSet.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "support/FakeHost.h"
#include "world/Random.h"

namespace {

class FoodSetTest : public ::testing::Test, public DisplayFixtureBase {
protected:
    void SetUp() override {
        ASSERT_TRUE(StartTestDisplay());
        testing::internal::CaptureStderr();  // no picture here: the load complains
        food.Init(&grid);
        testing::internal::GetCapturedStderr();
        imageLoadFailed = false;
        SeedRandom(7);
    }
    void TearDown() override {
        food.Release();
        ShutdownDisplay();
    }
    ArenaGrid grid;
    FoodSet food;
};

TEST_F(FoodSetTest, ThresholdsPickTheTypes) {
    // chances A, B, C: how many of the 107 draws give each of the five types
    const std::tuple<int32_t, int32_t, int32_t, std::vector<int>> cases[] = {
        {0, 0, 0, {1, 0, 0, 100, 6}},
        {30, 30, 30, {31, 30, 30, 10, 6}},
        {43, 30, 30, {44, 30, 30, 0, 3}},                 // 103 in all: no type 3
        {2147483647, 2147483647, 0, {107, 0, 0, 0, 0}}};  // absurd thresholds from a file do not overflow
    for (const auto& [a, b, c, expect] : cases) {
        food.chanceA = a, food.chanceB = b, food.chanceC = c;
        std::vector<int> counts(5, 0);
        for (int r = 0; r < 107; ++r) ++counts[food.TypeFor(r)];
        EXPECT_EQ(counts, expect) << a << " " << b << " " << c;
    }
}

TEST_F(FoodSetTest, ItemsTakeFreeCellsOfTheirOwnBelowTheTopRowAndComeBackElsewhereOnceEaten) {
    static GridObject walls[40];
    for (int i = 0; i < 40; ++i) grid.Place(&(walls[i] = GridObject{i % 20, 1 + i / 20, 0, 0, CellType::Wall}));
    food.Reset(20, 20, 20, 20);
    for (const FoodItem& item : food.items) {
        ASSERT_EQ(item.cellType, CellType::Food);
        EXPECT_TRUE(item.cellY >= 3 && item.cellY < 14 && grid.At(item.cellX, item.cellY) == &item);
    }
    grid.ClearAll();
    food.Reset(3, 30, 30, 30);
    FoodItem& eaten = food.items[1];
    const int x = eaten.cellX, y = eaten.cellY;
    GridObject worm{x, y, 0, 0, CellType::Occupied};
    grid.Place(&worm);  // the eating worm takes the cell
    eaten.cellType = CellType::EatenFood;
    food.Draw();
    EXPECT_EQ(
        (std::tuple{eaten.cellType, eaten.cellX == x && eaten.cellY == y, grid.TypeAt(x, y), food.items[3].cellType}),
        (std::tuple{CellType::Food, false, CellType::Occupied, CellType::Empty}));
}

TEST_F(FoodSetTest, AFullBoardNeverHangsThePlacement) {
    static GridObject blocks[20 * 14];
    for (int i = 0; i < 20 * 14 - 1; ++i) grid.Place(&(blocks[i] = GridObject{i / 14, i % 14, 0, 0, CellType::Wall}));
    food.Reset(2, 10, 10, 10);  // one free cell, (19, 13)
    EXPECT_EQ((std::tuple{food.items[0].cellType, food.items[0].cellX, food.items[0].cellY, food.items[1].cellType}),
              (std::tuple{CellType::Food, 19, 13, CellType::Empty}));
}

}  // namespace
