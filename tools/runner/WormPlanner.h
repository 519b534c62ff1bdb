#pragma once
#include <cstdint>

#include "world/ArenaGrid.h"
#include "world/Worm.h"

// Way-finding for the runner's autopilot: which heading a worm should take
// at its next step to reach food without boxing itself in.
//
// Steps are counted from the worm's next step, which is step 1: at each step
// the head moves into its target cell, turns, and the cell ahead of it is
// tested. A cell that a worm's tail will have left by then counts as free.

inline bool InArena(int32_t x, int32_t y) { return x >= 0 && y >= 0 && x < kArenaColumns && y < kArenaRows; }

// The arena as the planner sees it.
struct PlanBoard {
    // Never free within the plan: walls, start gates, warp gates, and the
    // cells the worms move into next.
    static constexpr int32_t kNever = 1 << 20;

    // The first step at whose test the cell is free: 0 for a free cell.
    int32_t freeFrom[kArenaColumns][kArenaRows] = {};
    bool food[kArenaColumns][kArenaRows] = {};

    bool Passable(int32_t x, int32_t y, int32_t step) const { return InArena(x, y) && freeFrom[x][y] <= step; }
};

// Reads the grid and the worms in play. The cell of segment k of a worm
// in play is free from step length - k + 1 + pendingGrowth, when its tail
// end has moved past it; other blocked cells are never free, food and
// free cells are free at once.
void BuildPlanBoard(const ArenaGrid& grid, const Worm* const worms[], int32_t wormCount, PlanBoard* board);

// A way into fewer free cells than this counts as a dead end, whatever the
// worm's length: in a corridor one cell wide a worm cannot turn round.
constexpr int32_t kSafeRoom = 24;

// A pocket of at least this many free cells is open enough to enter, however
// long its way out stays closed.
constexpr int32_t kOpenRoom = 48;

// The most a worm grows from one food item: beyond food eaten on the way,
// worm cells are taken to free up this many steps later.
constexpr int32_t kMostFoodGrowth = 7;

struct PlanResult {
    int32_t heading = -1;    // the heading to take at the next step
    int32_t foodSteps = -1;  // steps to the nearest food that way; -1 none in reach
    int32_t room = 0;        // cells reachable that way
};

// `from` is the cell the head moves into at the next step (the worm's
// target, segment 0), `heading` the worm's heading and `length` its length.
// A worm turns at most a quarter at a step, so the choices are straight on,
// right and left. Among the ways that leave room for the worm (its length
// and a few cells more, at least kSafeRoom, or as much as any way leaves;
// the room counts the growth from food eaten on the way) the one with the
// nearest food wins, straight on first on a tie; without food in reach, the
// way with the most room. With no free cell ahead at all the heading stays.
// How much risk a worm takes for food. A bold worm (one that has gone
// hungry too long, circling round food that looks unsafe) asks only for room
// for its length and goes for the nearest food whatever room is left after
// it. A desperate one (hungry far longer: all the food lies in a pocket
// smaller than the worm) goes for the nearest food however little room the
// way leaves: a crash or even a life lost beats circling for ever.
enum class Appetite { Careful, Bold, Desperate };

PlanResult ChooseHeading(const PlanBoard& board, CellPos from, int32_t heading, int32_t length,
                         Appetite appetite = Appetite::Careful);
