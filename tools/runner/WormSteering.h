#pragma once
#include <cstdint>

#include "WormPlanner.h"

class Match;
class Worm;

// The autopilot's steering of one worm, pass by pass: the key of the worm's
// own (a PlayKey) to hold down at this pass. The runner's autopilot plays
// with it, and so does the browser build's test pilot (hosts/web), so that
// both sides of an online game between them are steered alike.

// Steps a worm has taken since it last ate (its score rose) or started;
// told after every pass.
class WormHunger {
public:
    void Watch(const Worm& worm);
    int32_t Steps() const { return steps_; }

private:
    int32_t steps_ = 0;
    int32_t lastScore_ = 0;
    int32_t lastHeadX_ = 0;
    int32_t lastHeadY_ = 0;
    bool wasAlive_ = false;
};

// The key player `player`'s worm presses at this pass, -1 for none:
//  - a key is down for one pass and up for at least the next (a worm reads
//    a press once and needs its keys up before the next counts), so with
//    `keyHeld` (a key was down at the last pass) it is none;
//  - a worm whose exit is open jumps; one with no turn pending and not
//    just crashed turns toward the food WormPlanner chooses (bolder the
//    longer it has gone hungry); a charge of rockets is spent on a boost.
// `board` is the planner's scratch.
int32_t SteerKey(const Match& match, int32_t player, bool keyHeld, const WormHunger& hunger, PlanBoard* board);
