#include "Liveness.h"

#include "RandomInput.h"
#include "app/Game.h"

bool Liveness::AfterPass(const Game& game, int64_t frame) {
    if (failed_) return false;
    WatchJumps(game, frame);
    WatchLevel(game, frame);
    if (watchScreens_) WatchScreens(game, frame);
    return !failed_;
}

void Liveness::Fail(int64_t frame, const char* what) {
    if (failed_) return;
    failed_ = true;
    std::snprintf(failure_, sizeof failure_, "frame %lld: %s", static_cast<long long>(frame), what);
}

void Liveness::WatchJumps(const Game& game, int64_t frame) {
    const Match& m = game.match;
    for (int32_t i = 0; i < 2; ++i) {
        const Worm& w = m.worms[i];
        const bool jumping = w.active && w.alive && w.jumping;
        if (jumping && !jumping_[i]) {
            // The gate mark starts at the head and moves one segment a step;
            // growth moves the tail end away as fast. Two steps of slack: the
            // jump may have begun, and a step been taken, within this pass.
            jumpStepsAtStart_[i] = w.stepCount;
            jumpAllowance_[i] = w.length + w.pendingGrowth + w.openGates + 2;
            ++jumps_;
        }
        jumping_[i] = jumping;
        if (!jumping) continue;
        const int32_t steps = w.stepCount - jumpStepsAtStart_[i];
        if (steps > longestJump_) {
            longestJump_ = steps;
            longestJumpAllowed_ = jumpAllowance_[i];
        }
        if (steps > jumpAllowance_[i]) {
            char what[160];
            std::snprintf(what, sizeof what,
                          "player %d has been jumping for %d steps, more than its length allows (%d; open gates %d)",
                          i + 1, steps, jumpAllowance_[i], w.openGates);
            Fail(frame, what);
        }
    }
}

void Liveness::WatchLevel(const Game& game, int64_t frame) {
    const Match& m = game.match;
    bool allDone = game.state == GameState::Playing && ClassifySoakScreen(game) == kSoakPlay && m.level &&
                   !m.IntroPending() && !m.levelFailed;
    for (int32_t i = 0; allDone && i < m.players && i < 2; ++i) {
        const Worm& w = m.worms[i];
        const bool done = w.exited || (!w.active && w.stats.lives == 0);
        allDone = done;
    }
    // An online level end held while the other game has gone quiet is the
    // link's to judge: it gives up after its own timeout, and a run that
    // goes as fast as it can would count that time in thousands of frames.
    if (allDone && game.online.Active() && game.online.Peer().SilentMs() >= kQuietPeerMs) return;
    if (!allDone) {
        if (doneFrames_ > 0) ++levelEnds_;
        doneFrames_ = 0;
        return;
    }
    ++doneFrames_;
    if (doneFrames_ > longestDoneWait_) longestDoneWait_ = doneFrames_;
    if (doneFrames_ > kDoneLevelFrames) {
        char what[120];
        std::snprintf(what, sizeof what, "level %d runs on although every player is done with it", m.levelIndex + 1);
        Fail(frame, what);
    }
}

void Liveness::WatchScreens(const Game& game, int64_t frame) {
    const int32_t screen = ClassifySoakScreen(game);
    if (screen != screen_) {
        screen_ = screen;
        screenSince_ = frame;
    }
    if (screen == kSoakPlay) {
        if (game.match.levelIndex != levelGame_) {
            levelGame_ = game.match.levelIndex;
            levelSince_ = frame;
        }
        if (frame - levelSince_ > longestLevel_) longestLevel_ = frame - levelSince_;
        if (frame - levelSince_ > kLevelFrames) {
            char what[120];
            std::snprintf(what, sizeof what, "level %d has been played for %lld frames without an end",
                          game.match.levelIndex + 1, static_cast<long long>(frame - levelSince_));
            Fail(frame, what);
        }
        return;
    }
    if (screen != kSoakPoints) levelGame_ = -1;  // a level resumes after its points screens only by loading anew
    const int64_t up = frame - screenSince_;
    if (up > longestScreen_) {
        longestScreen_ = up;
        longestScreenKind_ = screen;
    }
    if (up > kScreenFrames) {
        char what[120];
        std::snprintf(what, sizeof what, "the %s screen has stayed up for %lld frames with no way out",
                      SoakScreenName(screen), static_cast<long long>(up));
        Fail(frame, what);
    }
}

void Liveness::PrintSummary(FILE* out) const {
    std::fprintf(out, "liveness: jumps=%lld longest-jump=%d/%d steps level-ends=%lld longest-wait-after-done=%lld",
                 static_cast<long long>(jumps_), longestJump_, longestJumpAllowed_, static_cast<long long>(levelEnds_),
                 static_cast<long long>(longestDoneWait_));
    if (watchScreens_)
        std::fprintf(out, " longest-level=%lld longest-screen=%lld(%s)", static_cast<long long>(longestLevel_),
                     static_cast<long long>(longestScreen_),
                     longestScreenKind_ >= 0 ? SoakScreenName(longestScreenKind_) : "-");
    std::fprintf(out, " %s\n", failed_ ? "FAILED" : "ok");
}
