#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "WormPlanner.h"

namespace {

// A board drawn as 14 rows of 20 cells: '#' never free, '*' food, '.' free,
// a digit d free from step d.
PlanBoard Board(const std::vector<std::string>& rows) {
    PlanBoard board;
    for (int y = 0; y < kArenaRows; ++y) {
        for (int x = 0; x < kArenaColumns; ++x) {
            const char c = y < static_cast<int>(rows.size()) && x < static_cast<int>(rows[y].size()) ? rows[y][x] : '.';
            board.food[x][y] = c == '*';
            board.freeFrom[x][y] = c == '#' ? PlanBoard::kNever : (c >= '0' && c <= '9' ? c - '0' : 0);
        }
    }
    return board;
}

std::vector<std::string> Empty() { return std::vector<std::string>(kArenaRows, std::string(kArenaColumns, '.')); }

constexpr int kUp = 0, kRight = 1, kDown = 2, kLeft = 3;

// A worm lying on the grid: cells[0] is its target (segment 0), cells[1]
// its head, the last one its tail end.
struct LaidWorm {
    std::unique_ptr<Worm> worm = std::make_unique<Worm>();
    LaidWorm(ArenaGrid& grid, const std::vector<CellPos>& cells, int32_t pendingGrowth) {
        worm->alive = 1;
        worm->active = 1;
        worm->length = static_cast<int32_t>(cells.size()) - 1;
        worm->pendingGrowth = pendingGrowth;
        for (size_t k = 0; k < cells.size(); ++k) {
            Segment& s = worm->segments[k];
            s.cellX = cells[k].x;
            s.cellY = cells[k].y;
            s.cellType = CellType::Occupied;
            grid.Place(&s);
        }
    }
};

}  // namespace

// ---- the board ----------------------------------------------------------------

TEST(WormPlanner, BoardFreesWormCellsBehindTheTail) {
    ArenaGrid grid;
    GridObject wall{3, 9, 0, 0, CellType::Wall};
    GridObject food{7, 2, 0, 0, CellType::Food};
    GridObject gate{12, 12, 0, 0, CellType::Occupied};  // a start gate: no worm's cell
    grid.Place(&wall);
    grid.Place(&food);
    grid.Place(&gate);
    LaidWorm w(grid, {{6, 5}, {5, 5}, {4, 5}, {3, 5}, {2, 5}}, 0);
    const Worm* worms[2] = {w.worm.get(), nullptr};

    PlanBoard board;
    BuildPlanBoard(grid, worms, 2, &board);
    EXPECT_EQ(board.freeFrom[2][5], 1);  // the tail end moves off at the next step
    EXPECT_EQ(board.freeFrom[3][5], 2);
    EXPECT_EQ(board.freeFrom[4][5], 3);
    EXPECT_EQ(board.freeFrom[5][5], 4);                  // the head
    EXPECT_EQ(board.freeFrom[6][5], PlanBoard::kNever);  // the target: the next head cell
    EXPECT_EQ(board.freeFrom[3][9], PlanBoard::kNever);
    EXPECT_EQ(board.freeFrom[12][12], PlanBoard::kNever);
    EXPECT_EQ(board.freeFrom[7][2], 0);
    EXPECT_TRUE(board.food[7][2]);
    EXPECT_FALSE(board.food[3][9]);
    EXPECT_EQ(board.freeFrom[0][0], 0);

    // Growth holds the tail back one step a segment.
    w.worm->pendingGrowth = 3;
    BuildPlanBoard(grid, worms, 2, &board);
    EXPECT_EQ(board.freeFrom[2][5], 4);
    EXPECT_EQ(board.freeFrom[5][5], 7);

    // The cells of a worm that is not in play are taken for good.
    w.worm->alive = 0;
    BuildPlanBoard(grid, worms, 2, &board);
    EXPECT_EQ(board.freeFrom[2][5], PlanBoard::kNever);
}

TEST(WormPlanner, JustStartedWormHoldsItsStartCellForTwoSteps) {
    // Just after a start the head stands on the start cell, the target is
    // the cell ahead and the tail end is off the board.
    ArenaGrid grid;
    LaidWorm w(grid, {{8, 8}, {8, 8}, {1, 30}}, 0);
    w.worm->segments[0].cellX = 9;  // the target, once set
    grid.Place(&w.worm->segments[0]);
    const Worm* worms[1] = {w.worm.get()};
    PlanBoard board;
    BuildPlanBoard(grid, worms, 1, &board);
    EXPECT_EQ(board.freeFrom[8][8], 2);
    EXPECT_EQ(board.freeFrom[9][8], PlanBoard::kNever);
}

// ---- choosing a heading ---------------------------------------------------------

TEST(WormPlanner, TurnsTowardTheNearestFood) {
    std::vector<std::string> rows = Empty();
    rows[3][10] = '*';  // above the worm at (10, 7)
    PlanResult r = ChooseHeading(Board(rows), {10, 7}, kRight, 2);
    EXPECT_EQ(r.heading, kUp);
    EXPECT_EQ(r.foodSteps, 4);

    rows = Empty();
    rows[11][10] = '*';
    r = ChooseHeading(Board(rows), {10, 7}, kRight, 2);
    EXPECT_EQ(r.heading, kDown);

    rows = Empty();
    rows[7][16] = '*';
    r = ChooseHeading(Board(rows), {10, 7}, kRight, 2);
    EXPECT_EQ(r.heading, kRight);
    EXPECT_EQ(r.foodSteps, 6);

    // Food behind the worm: it is reached by a turn, never by reversing.
    rows = Empty();
    rows[7][4] = '*';
    r = ChooseHeading(Board(rows), {10, 7}, kRight, 2);
    EXPECT_NE(r.heading, kLeft);
    EXPECT_EQ(r.foodSteps, 8);
}

TEST(WormPlanner, GoesStraightOnWhenTurnsAreNoNearer) {
    std::vector<std::string> rows = Empty();
    rows[4][13] = '*';  // three up and three right of (10, 7): as near either way
    PlanResult r = ChooseHeading(Board(rows), {10, 7}, kUp, 2);
    EXPECT_EQ(r.heading, kUp);
    r = ChooseHeading(Board(rows), {10, 7}, kRight, 2);
    EXPECT_EQ(r.heading, kRight);
}

TEST(WormPlanner, TurnsAwayFromWallsAndTheEdge) {
    std::vector<std::string> rows = Empty();
    rows[6][10] = '#';
    PlanResult r = ChooseHeading(Board(rows), {10, 7}, kUp, 2);
    EXPECT_NE(r.heading, kUp);

    // At the board's top edge, heading up: left or right, never on.
    r = ChooseHeading(Board(Empty()), {10, 0}, kUp, 2);
    EXPECT_TRUE(r.heading == kLeft || r.heading == kRight) << r.heading;

    // In the top-right corner, heading right: only down is free.
    r = ChooseHeading(Board(Empty()), {19, 0}, kRight, 2);
    EXPECT_EQ(r.heading, kDown);
}

TEST(WormPlanner, KeepsTheHeadingWhenNothingIsFree) {
    std::vector<std::string> rows = Empty();
    rows[6][10] = rows[7][11] = rows[7][9] = '#';
    const PlanResult r = ChooseHeading(Board(rows), {10, 7}, kUp, 2);
    EXPECT_EQ(r.heading, kUp);
    EXPECT_EQ(r.foodSteps, -1);
    EXPECT_EQ(r.room, 0);
}

TEST(WormPlanner, PassesWhereTheTailWillHaveMovedOn) {
    // The cell ahead is free from the next step on: it can be entered. One
    // step later it is not free yet, so the worm must turn.
    std::vector<std::string> rows = Empty();
    rows[7][11] = '1';
    rows[2][11] = '*';
    EXPECT_EQ(ChooseHeading(Board(rows), {10, 7}, kRight, 2).heading, kRight);
    rows[7][11] = '2';
    rows[6][11] = rows[8][11] = '#';
    const PlanResult r = ChooseHeading(Board(rows), {10, 7}, kRight, 2);
    EXPECT_NE(r.heading, kRight);
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
    r = ChooseHeading(Board(rows), {9, 7}, kRight, 2, true);
    EXPECT_EQ(r.heading, kRight);
    EXPECT_EQ(r.foodSteps, 3);
}

TEST(WormPlanner, ShunsFoodThatLeavesNoWayOnOnceEaten) {
    // Food A nine steps away in a one-cell nook (walls on three sides),
    // food B eleven steps away in the open: after eating A the worm could
    // only crash, so it heads for B.
    std::vector<std::string> rows = Empty();
    rows[2][10] = rows[3][9] = rows[3][11] = '#';
    rows[3][10] = '*';
    rows[13][0] = '*';
    PlanResult r = ChooseHeading(Board(rows), {5, 7}, kRight, 2);
    EXPECT_EQ(r.heading, kDown);
    EXPECT_EQ(r.foodSteps, 11);

    // With the nook opened at its back, A is fine.
    rows[2][10] = '.';
    r = ChooseHeading(Board(rows), {5, 7}, kRight, 2);
    EXPECT_EQ(r.foodSteps, 9);
    EXPECT_NE(r.heading, kDown);
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
    EXPECT_GE(r.room, kSafeRoom);

    // When the far end opens at the second step, the pocket is the short way.
    rows[7][15] = '2';
    r = ChooseHeading(Board(rows), {9, 7}, kRight, 8);
    EXPECT_EQ(r.heading, kRight);
    EXPECT_EQ(r.foodSteps, 8);
}
