#include "match/PlaySyncTest.h"

#include <chrono>
#include <cstdio>

namespace {

int64_t Nanos() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

bool PlaySyncTest::Phase::operator==(const Phase& o) const {
    return levelIndex == o.levelIndex && endChoice == o.endChoice && pointsPhase == o.pointsPhase &&
           tableShown == o.tableShown && resultsSaved == o.resultsSaved && levelFailed == o.levelFailed &&
           inPlay == o.inPlay;
}

PlaySyncTest::Phase PlaySyncTest::PhaseOf(const Match& m) {
    return Phase{m.levelIndex,        m.endChoice,        m.PointsPhase(), m.TableShown(),
                 m.resultsSaved != 0, m.levelFailed != 0, m.InPlay()};
}

void PlaySyncTest::Save(PlaySnapshot& snapshot, const Match& match) {
    const int64_t start = Nanos();
    snapshot.Save(match);
    saveNanos_ += Nanos() - start;
    ++saves_;
    if (snapshot.Size() > largest_) largest_ = snapshot.Size();
}

void PlaySyncTest::Begin(const Match& match, const PlayInput& input) {
    phase_ = PhaseOf(match);
    KeptPass& kept = kept_[passesKept_ % kKept];
    Save(kept.before, match);
    kept.input = input;
    ticks_.Clear();
    KeepTickReads(&ticks_);
}

bool PlaySyncTest::Between(Match& match, bool goOn) {
    // The points screens and the game-over table are screens of their own
    // (InPlay is false behind them), with state outside the match.
    if (!phase_.inPlay || !goOn || !(PhaseOf(match) == phase_) || ticks_.overrun) {
        KeepTickReads(nullptr);
        ++runOnce_;
        passesKept_ = 0;  // no rollback reaches back over it
        return false;
    }
    kept_[passesKept_ % kKept].ticks = ticks_;
    Save(first_, match);
    const int64_t start = Nanos();
    Before().Restore(match);
    restoreNanos_ += Nanos() - start;
    ++restores_;
    return true;
}

void PlaySyncTest::End(const Match& match, bool sameResult) {
    KeepTickReads(nullptr);
    ++checked_;
    Save(second_, match);
    char what[sizeof failure_];
    if (!sameResult) {
        Fail(match, "the pass ended play once and not the other time");
    } else if (ticks_.overrun || ticks_.served != ticks_.count) {
        std::snprintf(what, sizeof what, "the clock was read %d times, then %s", static_cast<int>(ticks_.count),
                      ticks_.overrun ? "more often" : "less often");
        Fail(match, what);
    } else if (!first_.SameAs(second_, match, what, sizeof what)) {
        Fail(match, what);
    }
}

void PlaySyncTest::Rolled(const Match& match, int32_t depth, const char* what) {
    char text[sizeof failure_];
    std::snprintf(text, sizeof text, "%d passes run again: %s", static_cast<int>(depth), what);
    Fail(match, text);
}

void PlaySyncTest::Fail(const Match& match, const char* what) {
    failed_ = true;
    failedLevel_ = match.levelIndex + 1;
    std::snprintf(failure_, sizeof failure_, "%s", what);
}
