#include "WormSteering.h"

#include "match/Match.h"
#include "platform/KeyCodes.h"

namespace {

// A turn is dropped at this speed or below (just after a crash).
constexpr float kSlowestTurn = 0.5f;

// Steps without food after which a worm stops shunning food that looks
// unsafe, so that it cannot circle round it for ever; and after which it
// takes food whatever the risk (all of it lies in a pocket too small for
// the worm to turn round in).
constexpr int32_t kHungrySteps = 150;
constexpr int32_t kDesperateSteps = 250;

}  // namespace

void WormHunger::Watch(const Worm& w) {
    const Segment& head = w.segments[1];
    if (!w.alive || !w.active || w.score > lastScore_ || !wasAlive_) {
        steps_ = 0;
    } else if (head.cellX != lastHeadX_ || head.cellY != lastHeadY_) {
        ++steps_;
    }
    lastScore_ = w.score;
    lastHeadX_ = head.cellX;
    lastHeadY_ = head.cellY;
    wasAlive_ = w.alive != 0;
}

int32_t SteerKey(const Match& m, int32_t player, bool keyHeld, const WormHunger& hunger, PlanBoard* board) {
    const Worm& w = m.worms[player];
    if (keyHeld) return -1;
    if (!w.active || !w.alive || w.jumping || w.controlLatch) return -1;
    if (w.exitOpen) return kKeyJump;
    if (w.pendingTurn == kNoTurn && w.speed > kSlowestTurn) {
        const Worm* worms[2] = {&m.worms[0], m.players == 2 ? &m.worms[1] : nullptr};
        BuildPlanBoard(m.grid, worms, 2, board);
        const CellPos target{w.segments[0].cellX, w.segments[0].cellY};
        const int32_t heading = w.Heading();
        const Appetite appetite = hunger.Steps() > kDesperateSteps ? Appetite::Desperate
                                  : hunger.Steps() > kHungrySteps  ? Appetite::Bold
                                                                   : Appetite::Careful;
        const PlanResult plan = ChooseHeading(*board, target, heading, w.length, appetite);
        if (plan.heading == ((heading + 1) & 3)) return kKeyRight;
        if (plan.heading == ((heading + 3) & 3)) return kKeyLeft;
    }
    if (w.rocketsReady && w.boostSteps == 0) return kKeyBoost;
    return -1;
}
