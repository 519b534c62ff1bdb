#pragma once
#include <cstdint>
#include <cstdio>

class Game;

// Watches a run for play that stops making progress: nothing crashes when
// that happens, so only a watcher notices. After every pass it checks
//  - a hyperspace jump ends within the steps its worm's length, pending
//    growth and open gates allow (the mark has to travel down the body);
//  - a level whose players have all jumped out or run out of lives does not
//    run on;
//  - with `watchScreens` (runs driven by random input or the autopilot,
//    which always move on): no screen stays up, and no level is played,
//    longer than a generous bound.
// The first broken check is kept with its frame; the run can then stop.
class Liveness {
public:
    // Frames a level may run on after every player is done with it.
    static constexpr int64_t kDoneLevelFrames = 1000;
    // ... not counting, online, frames after the other game has said nothing
    // for this long (ms); it pings four times a second.
    static constexpr uint32_t kQuietPeerMs = 1000;
    // Frames one front-end screen, points screen or game-over table may stay
    // up when the input moves on by itself.
    static constexpr int64_t kScreenFrames = 60000;
    // Frames one level may be played (intro included) when the input moves on.
    static constexpr int64_t kLevelFrames = 60000;

    explicit Liveness(bool watchScreens) : watchScreens_(watchScreens) {}

    // False once a check has failed (on this pass or an earlier one).
    bool AfterPass(const Game& game, int64_t frame);

    bool Failed() const { return failed_; }
    const char* Failure() const { return failure_; }
    // One line: what was checked and the largest figures seen.
    void PrintSummary(FILE* out) const;

private:
    void Fail(int64_t frame, const char* what);
    void WatchJumps(const Game& game, int64_t frame);
    void WatchLevel(const Game& game, int64_t frame);
    void WatchScreens(const Game& game, int64_t frame);

    bool watchScreens_;
    bool failed_ = false;
    char failure_[200] = {};

    // Per worm: the jump under way, the steps it has taken and may take.
    bool jumping_[2] = {};
    int32_t jumpStepsAtStart_[2] = {};
    int32_t jumpAllowance_[2] = {};
    int64_t jumps_ = 0;
    int32_t longestJump_ = 0;         // steps
    int32_t longestJumpAllowed_ = 0;  // its allowance

    int64_t doneFrames_ = 0;  // play frames with every player done
    int64_t levelEnds_ = 0;
    int64_t longestDoneWait_ = 0;

    int32_t screen_ = -1;
    int64_t screenSince_ = 0;
    int64_t longestScreen_ = 0;
    int32_t longestScreenKind_ = -1;
    int32_t levelGame_ = -1;  // level index watched, -1 outside play
    int64_t levelSince_ = 0;
    int64_t longestLevel_ = 0;
};
