#include "match/FoodSet.h"

#include <gtest/gtest.h>

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

TEST_F(FoodSetTest, ItemsLieOnFreeCellsBelowTheTopRow) {
    GridObject walls[40];
    for (int i = 0; i < 40; ++i) {
        walls[i].cellX = i % 20;
        walls[i].cellY = 1 + i / 20;
        walls[i].cellType = CellType::Wall;
        grid.Place(&walls[i]);
    }
    food.Reset(20, 20, 20, 20);
    for (const FoodItem& item : food.items) {
        ASSERT_EQ(item.cellType, CellType::Food);
        EXPECT_GE(item.cellY, 3);
        EXPECT_LT(item.cellY, 14);
        EXPECT_EQ(grid.At(item.cellX, item.cellY), &item);
    }
    // Each item has a cell of its own.
    for (int i = 0; i < 20; ++i)
        for (int j = i + 1; j < 20; ++j)
            EXPECT_FALSE(food.items[i].cellX == food.items[j].cellX && food.items[i].cellY == food.items[j].cellY);
}

TEST_F(FoodSetTest, EatenItemsComeBackElsewhereOnTheNextDraw) {
    food.Reset(3, 30, 30, 30);
    FoodItem& eaten = food.items[1];
    const int x = eaten.cellX, y = eaten.cellY;
    GridObject worm;
    worm.cellX = x;
    worm.cellY = y;
    worm.cellType = CellType::Occupied;
    grid.Place(&worm);  // the eating worm takes the cell
    eaten.cellType = CellType::EatenFood;
    food.Draw();
    EXPECT_EQ(eaten.cellType, CellType::Food);
    EXPECT_FALSE(eaten.cellX == x && eaten.cellY == y);
    EXPECT_EQ(grid.TypeAt(x, y), CellType::Occupied);
    EXPECT_EQ(food.items[3].cellType, CellType::Empty);  // unused slots stay empty
}

TEST_F(FoodSetTest, AFullBoardNeverHangsThePlacement) {
    static GridObject blocks[20 * 14];
    for (int x = 0; x < 20; ++x)
        for (int y = 0; y < 14; ++y) {
            GridObject& b = blocks[x * 14 + y];
            b.cellX = x;
            b.cellY = y;
            b.cellType = CellType::Wall;
            if (!(x == 19 && y == 13)) grid.Place(&b);
        }
    food.Reset(2, 10, 10, 10);
    EXPECT_EQ(food.items[0].cellType, CellType::Food);
    EXPECT_EQ(food.items[0].cellX, 19);
    EXPECT_EQ(food.items[0].cellY, 13);
    EXPECT_EQ(food.items[1].cellType, CellType::Empty);  // no room left: the slot stays empty
}

}  // namespace
