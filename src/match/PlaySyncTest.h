#pragma once
#include <cstddef>
#include <cstdint>

#include "io/Input.h"
#include "match/Match.h"
#include "match/PlayInput.h"
#include "match/PlaySnapshot.h"
#include "match/RollbackSession.h"
#include "platform/Resimulation.h"

// The sync test, the proof that a rollback can run play again: every pass
// of play is saved, run as usual, put back and run once more resimulating
// (nothing drawn, no sound, the clock as the first run read it), and the
// two outcomes must be the same to the byte. State the snapshot misses
// shows as a difference (the first run moved it, the second starts from
// where the first left it), and so does play that depends on drawing or
// sound.
//
// Rollbacks go deeper than a pass: every `rollbackEvery` passes the state
// of 1 to kMaxRollback passes back (each depth in turn) is put back and the
// passes since are run again, resimulating with the input and the clock
// each read the first time; the match must come out as it was. State the
// snapshot misses that a later pass moves (a worm's record beyond its tail
// end, say) shows only so.
//
// A pass that leaves play (the level ends into the points screens, the
// game-over table comes up, a level cannot be loaded, the results are
// saved) changes what lies outside the match and is run once only; no
// rollback reaches back over it.
class PlaySyncTest {
public:
    static constexpr int32_t kMaxRollback = RollbackSession::kMaxRollback;
    static constexpr int32_t kRollbackEvery = 20;

    explicit PlaySyncTest(int32_t rollbackEvery = kRollbackEvery)
        : rollbackEvery_(rollbackEvery < 1 ? 1 : rollbackEvery) {}

    // One pass of play in place of match.Frame(); returns what it returns.
    bool Frame(Match& match) {
        return Frame(
            match, [&match](bool again, const PlayInput& input) { return again ? match.Frame(input) : match.Frame(); });
    }
    // The same with the pass given: `pass(again, input)` runs one pass of
    // play, `again` false the first time (the pass reads the keys as they
    // stand, which `input` holds) and true each time it runs again (with
    // `input`, the keys as that pass read them the first time).
    template <class Pass>
    bool Frame(Match& match, Pass&& pass) {
        const PlayInput input = ReadPlayInput(KeyState, match.playKeys);
        if (failed_) return pass(false, input);
        Begin(match, input);
        const bool goOn = pass(false, input);
        if (!Between(match, goOn)) return goOn;
        bool goOnAgain = false;
        {
            const ResimulationScope again;
            goOnAgain = pass(true, input);
        }
        End(match, goOn == goOnAgain);
        if (!failed_ && ++passesKept_ % rollbackEvery_ == 0) RollBack(match, pass);
        return goOn;
    }

    bool Failed() const { return failed_; }
    // What differed ("worm 1: segment 12, byte 4 of 32"), and in which
    // level (1 to 20).
    const char* Failure() const { return failure_; }
    int32_t FailedLevel() const { return failedLevel_; }

    // Passes run twice and compared, and passes run once.
    int64_t Checked() const { return checked_; }
    int64_t RunOnce() const { return runOnce_; }
    // Rollbacks run and compared, and the deepest (passes run again).
    int64_t Rollbacks() const { return rollbacks_; }
    int32_t DeepestRollback() const { return deepest_; }
    // The largest snapshot taken, and the time the saves and restores took.
    size_t LargestSnapshot() const { return largest_; }
    double MeanSaveNanos() const { return saves_ > 0 ? static_cast<double>(saveNanos_) / saves_ : 0.0; }
    double MeanRestoreNanos() const { return restores_ > 0 ? static_cast<double>(restoreNanos_) / restores_ : 0.0; }

private:
    // Where the pass stands among the match's phases; a pass that changes
    // it leaves play.
    struct Phase {
        int32_t levelIndex;
        int32_t endChoice;
        bool pointsPhase, tableShown, resultsSaved, levelFailed, inPlay;
        bool operator==(const Phase& o) const;
    };
    static Phase PhaseOf(const Match& m);

    void Begin(const Match& match, const PlayInput& input);
    // After the first run: true when the pass is to run again (the match
    // is then back as it was before the first run).
    bool Between(Match& match, bool goOn);
    void End(const Match& match, bool sameResult);
    void Save(PlaySnapshot& snapshot, const Match& match);
    void Fail(const Match& match, const char* what);
    PlaySnapshot& Before() { return kept_[passesKept_ % kKept].before; }

    // The last passes in play: the state before each, its input and the
    // clock as it read them.
    struct KeptPass {
        PlaySnapshot before;
        PlayInput input;
        TickReads ticks;
    };
    static constexpr int32_t kKept = kMaxRollback + 1;
    template <class Pass>
    void RollBack(Match& match, Pass& pass) {
        const int32_t depth = static_cast<int32_t>(rollbacks_ % kMaxRollback) + 1;
        if (passesKept_ < depth) return;
        kept_[(passesKept_ - depth) % kKept].before.Restore(match);
        bool same = true;
        {
            const ResimulationScope again;
            for (int64_t q = passesKept_ - depth; q < passesKept_ && same; ++q) {
                KeptPass& k = kept_[q % kKept];
                k.ticks.served = 0;
                KeepTickReads(&k.ticks);
                const Phase phase = PhaseOf(match);
                same = pass(true, k.input) && PhaseOf(match) == phase && !k.ticks.overrun &&
                       k.ticks.served == k.ticks.count;
            }
        }
        KeepTickReads(nullptr);
        ++rollbacks_;
        if (depth > deepest_) deepest_ = depth;
        Save(first_, match);
        char what[sizeof failure_];
        if (!same) {
            Rolled(match, depth, "a pass run again left play, or read the clock otherwise");
        } else if (!second_.SameAs(first_, match, what, sizeof what)) {
            Rolled(match, depth, what);
        }
        second_.Restore(match);
    }
    void Rolled(const Match& match, int32_t depth, const char* what);

    const int32_t rollbackEvery_;
    KeptPass kept_[kKept];
    int64_t passesKept_ = 0;  // passes in a row kept (a pass run once starts afresh)
    int64_t rollbacks_ = 0;
    int32_t deepest_ = 0;
    PlaySnapshot first_;
    PlaySnapshot second_;
    TickReads ticks_;
    Phase phase_ = {};

    bool failed_ = false;
    char failure_[320] = {};
    int32_t failedLevel_ = 0;
    int64_t checked_ = 0;
    int64_t runOnce_ = 0;
    size_t largest_ = 0;
    int64_t saves_ = 0;
    int64_t saveNanos_ = 0;
    int64_t restores_ = 0;
    int64_t restoreNanos_ = 0;
};
