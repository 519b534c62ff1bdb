#include "WormPlanner.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// A board drawn as 14 rows of 20 cells: '#' never free, '*' food, '.' free,
// a digit d free from step d. Rows not given are free.
PlanBoard Board(std::vector<std::string> rows) {
    rows.resize(kArenaRows, std::string(kArenaColumns, '.'));
    PlanBoard board;
    for (int y = 0; y < kArenaRows; ++y) {
        for (int x = 0; x < kArenaColumns; ++x) {
            const char c = rows[y][x];
            board.food[x][y] = c == '*';
            board.freeFrom[x][y] = c == '#' ? PlanBoard::kNever : (c >= '0' && c <= '9' ? c - '0' : 0);
        }
    }
    return board;
}

std::vector<std::string> Empty() { return std::vector<std::string>(kArenaRows, std::string(kArenaColumns, '.')); }

constexpr int kUp = 0, kRight = 1, kDown = 2, kLeft = 3;

}  // namespace

// A worm in play on the grid: cells[0] is its target (segment 0), cells[1]
// its head, the last one its tail end.
std::unique_ptr<Worm> LayWorm(ArenaGrid& grid, const std::vector<CellPos>& cells) {
    auto worm = std::make_unique<Worm>();
    worm->alive = worm->active = 1;
    worm->length = static_cast<int32_t>(cells.size()) - 1;
    for (size_t k = 0; k < cells.size(); ++k) {
        Segment& s = worm->segments[k];
        s.cellX = cells[k].x;
        s.cellY = cells[k].y;
        s.cellType = CellType::Occupied;
        grid.Place(&s);
    }
    return worm;
}

TEST(WormPlanner, BoardFreesWormCellsBehindTheTail) {
    ArenaGrid grid;
    GridObject wall{3, 9, 0, 0, CellType::Wall};
    GridObject food{7, 2, 0, 0, CellType::Food};
    GridObject gate{12, 12, 0, 0, CellType::Occupied};  // a start gate: no worm's cell
    grid.Place(&wall);
    grid.Place(&food);
    grid.Place(&gate);
    auto worm = LayWorm(grid, {{6, 5}, {5, 5}, {4, 5}, {3, 5}, {2, 5}});
    const Worm* worms[2] = {worm.get(), nullptr};
    PlanBoard board;
    BuildPlanBoard(grid, worms, 2, &board);
    EXPECT_EQ(board.freeFrom[2][5], 1);  // the tail end moves off at the next step
    EXPECT_EQ(board.freeFrom[3][5], 2);
    EXPECT_EQ(board.freeFrom[5][5], 4);                  // the head
    EXPECT_EQ(board.freeFrom[6][5], PlanBoard::kNever);  // the next head cell
    EXPECT_EQ(board.freeFrom[3][9], PlanBoard::kNever);
    EXPECT_EQ(board.freeFrom[12][12], PlanBoard::kNever);
    EXPECT_EQ(board.freeFrom[7][2], 0);
    EXPECT_TRUE(board.food[7][2]);

    // Growth holds the tail back one step a segment.
    worm->pendingGrowth = 3;
    BuildPlanBoard(grid, worms, 2, &board);
    EXPECT_EQ(board.freeFrom[2][5], 4);
    EXPECT_EQ(board.freeFrom[5][5], 7);
    // The cells of a worm that is not in play are taken for good.
    worm->alive = 0;
    BuildPlanBoard(grid, worms, 2, &board);
    EXPECT_EQ(board.freeFrom[2][5], PlanBoard::kNever);

    // Just after a start the head stands on the start cell, the target is
    // the cell ahead and the tail end is off the board: the start cell is
    // held for two steps.
    ArenaGrid fresh;
    auto started = LayWorm(fresh, {{9, 8}, {8, 8}, {1, 30}});
    worms[0] = started.get();
    BuildPlanBoard(fresh, worms, 1, &board);
    EXPECT_EQ(board.freeFrom[8][8], 2);
    EXPECT_EQ(board.freeFrom[9][8], PlanBoard::kNever);
}

TEST(WormPlanner, HeadsForTheNearestFoodNeverReversing) {
    struct Case {
        int foodX, foodY, heading, wantHeading, wantSteps;
    };
    // The worm's next cell is (10, 7).
    const Case cases[] = {
        {10, 3, kRight, kUp, 4},   {10, 11, kRight, kDown, 4}, {16, 7, kRight, kRight, 6},
        {13, 4, kUp, kUp, 6},      {13, 4, kRight, kRight, 6},  // as near either way: straight on
        {4, 7, kRight, -1, 8},     // behind: reached by a turn, never by reversing
    };
    for (const Case& c : cases) {
        std::vector<std::string> rows = Empty();
        rows[c.foodY][c.foodX] = '*';
        const PlanResult r = ChooseHeading(Board(rows), {10, 7}, c.heading, 2);
        if (c.wantHeading >= 0) {
            EXPECT_EQ(r.heading, c.wantHeading) << c.foodX << "," << c.foodY;
        }
        EXPECT_NE(r.heading, (c.heading + 2) % 4) << c.foodX << "," << c.foodY;
        EXPECT_EQ(r.foodSteps, c.wantSteps) << c.foodX << "," << c.foodY;
    }
}

TEST(WormPlanner, AvoidsWallsEdgesAndCellsNotYetFree) {
    std::vector<std::string> rows = Empty();
    rows[6][10] = '#';
    EXPECT_NE(ChooseHeading(Board(rows), {10, 7}, kUp, 2).heading, kUp);
    const int atTop = ChooseHeading(Board({}), {10, 0}, kUp, 2).heading;
    EXPECT_TRUE(atTop == kLeft || atTop == kRight) << atTop;
    EXPECT_EQ(ChooseHeading(Board({}), {19, 0}, kRight, 2).heading, kDown);  // the corner

    // Walled in on every side: the heading stays.
    rows[7][11] = rows[7][9] = '#';
    PlanResult r = ChooseHeading(Board(rows), {10, 7}, kUp, 2);
    EXPECT_EQ(r.heading, kUp);
    EXPECT_EQ(r.foodSteps, -1);
    EXPECT_EQ(r.room, 0);

    // A cell free from the next step can be entered; one free a step later
    // cannot.
    rows = Empty();
    rows[7][11] = '1';
    rows[2][11] = '*';
    EXPECT_EQ(ChooseHeading(Board(rows), {10, 7}, kRight, 2).heading, kRight);
    rows[7][11] = '2';
    rows[6][11] = rows[8][11] = '#';
    EXPECT_NE(ChooseHeading(Board(rows), {10, 7}, kRight, 2).heading, kRight);
}

TEST(WormPlanner, ShunsFoodAtTheEndOfADeadEnd) {
    // Food three cells into a corridor one cell wide that starts straight
    // ahead; other food six steps away in the open. A worm cannot turn
    // round in the corridor, so it goes for the food in the open.
    std::vector<std::string> rows = Empty();
    rows[6] = "..........######....";
    rows[7] = "............*...#...";
    rows[8] = "..........######....";
    rows[1][9] = '*';
    PlanResult r = ChooseHeading(Board(rows), {9, 7}, kRight, 2);
    EXPECT_EQ(r.heading, kUp);
    EXPECT_EQ(r.foodSteps, 6);
    EXPECT_GE(r.room, kSafeRoom);
    // Without the food in the open it keeps out of the corridor all the same.
    rows[1][9] = '.';
    r = ChooseHeading(Board(rows), {9, 7}, kRight, 2);
    EXPECT_NE(r.heading, kRight);
    EXPECT_EQ(r.foodSteps, -1);
    // A hungry worm goes in.
    r = ChooseHeading(Board(rows), {9, 7}, kRight, 2, Appetite::Bold);
    EXPECT_EQ(r.heading, kRight);
    EXPECT_EQ(r.foodSteps, 3);
}

TEST(WormPlanner, ShunsFoodThatLeavesNoWayOnOnceEaten) {
    // Food A nine steps away in a one-cell nook, food B eleven steps away in
    // the open: after eating A the worm could only crash, so it heads for B.
    std::vector<std::string> rows = Empty();
    rows[2][10] = rows[3][9] = rows[3][11] = '#';
    rows[3][10] = '*';
    rows[13][0] = '*';
    PlanResult r = ChooseHeading(Board(rows), {5, 7}, kRight, 2);
    EXPECT_EQ(r.heading, kDown);
    EXPECT_EQ(r.foodSteps, 11);
    rows[2][10] = '.';  // the nook opened at its back
    EXPECT_EQ(ChooseHeading(Board(rows), {5, 7}, kRight, 2).foodSteps, 9);
}

TEST(WormPlanner, ShunsAPocketThatAWormKeepsClosed) {
    // Straight ahead lies a pocket of five free cells whose far end is a
    // worm cell free from step 9: the worm would run out of room before it
    // opens. Up and down lead round to the food beyond.
    std::vector<std::string> rows = Empty();
    rows[6] = "..........#####.....";
    rows[7] = "...............9.*..";
    rows[8] = "..........#####.....";
    PlanResult r = ChooseHeading(Board(rows), {9, 7}, kRight, 8);
    EXPECT_TRUE(r.heading == kUp || r.heading == kDown) << r.heading;
    EXPECT_GT(r.foodSteps, 8);
    // When the far end opens at the second step, the pocket is the short way.
    rows[7][15] = '2';
    r = ChooseHeading(Board(rows), {9, 7}, kRight, 8);
    EXPECT_EQ(r.heading, kRight);
    EXPECT_EQ(r.foodSteps, 8);
}

TEST(WormPlanner, OnlyADesperateWormTakesFoodFromAPocketTooSmallForIt) {
    // A worm of 30 passes the mouth of a seven-cell pocket with the only food
    // in it. Careful or bold, it keeps away (it would fill the pocket and
    // crash); long hungry, it goes in rather than circle for ever.
    std::vector<std::string> rows = Empty();
    rows[5] = "........#####.......";
    rows[6] = "........#*..#.......";
    rows[7] = "........#...#.......";
    rows[8] = "........##.##.......";
    for (Appetite a : {Appetite::Careful, Appetite::Bold}) {
        const PlanResult r = ChooseHeading(Board(rows), {10, 9}, kRight, 30, a);
        EXPECT_NE(r.heading, kUp);
        EXPECT_EQ(r.foodSteps, -1);
    }
    const PlanResult r = ChooseHeading(Board(rows), {10, 9}, kRight, 30, Appetite::Desperate);
    EXPECT_EQ(r.heading, kUp);
    EXPECT_EQ(r.foodSteps, 4);
}
