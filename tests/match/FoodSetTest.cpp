#include "match/FoodSet.h"

#include <gtest/gtest.h>

#include <tuple>

#include "support/FakeHost.h"
#include "world/Random.h"

namespace {

class FoodSetTest : public ::testing::Test, public DisplayFixtureBase {
protected:
    void SetUp() override {
        displayFailed = false;
        ASSERT_TRUE(InitDisplay(640, 480, 8));
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
    food.chanceA = food.chanceB = food.chanceC = 0;
    EXPECT_EQ(food.TypeFor(0), 0);
    EXPECT_EQ(food.TypeFor(1), 3);
    EXPECT_EQ(food.TypeFor(100), 3);
    EXPECT_EQ(food.TypeFor(101), 4);
    EXPECT_EQ(food.TypeFor(106), 4);
    food.chanceA = food.chanceB = food.chanceC = 30;
    int counts[5] = {};
    for (int r = 0; r < 107; ++r) ++counts[food.TypeFor(r)];
    const int expect[5] = {31, 30, 30, 10, 6};
    for (int t = 0; t < 5; ++t) EXPECT_EQ(counts[t], expect[t]) << t;
    food.chanceA = 43;
    food.chanceB = food.chanceC = 30;  // 103 in all: no type 3, type 4 only above 103
    for (int r = 0; r < 107; ++r) {
        EXPECT_NE(food.TypeFor(r), 3);
        EXPECT_EQ(food.TypeFor(r) == 4, r > 103) << r;
    }
    food.chanceA = 2147483647;  // absurd thresholds from a file must not overflow
    food.chanceB = 2147483647;
    EXPECT_EQ(food.TypeFor(106), 0);
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
    EXPECT_EQ((std::tuple{eaten.cellType, eaten.cellX == x && eaten.cellY == y, grid.TypeAt(x, y),
                          food.items[3].cellType}),
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
