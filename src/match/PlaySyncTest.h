#pragma once
#include <cstddef>
#include <cstdint>

#include "io/Input.h"
#include "match/Match.h"
#include "match/PlaySnapshot.h"
#include "platform/Resimulation.h"

// The sync test, the proof that a rollback can run play again: every pass
// of play is saved, run as usual, put back and run once more resimulating
// (nothing drawn, no sound, the clock as the first run read it), and the
// two outcomes must be the same to the byte. State the snapshot misses
// shows as a difference (the first run moved it, the second starts from
// where the first left it), and so does play that depends on drawing or
// sound.
//
// A pass that leaves play (the level ends into the points screens, the
// game-over table comes up, a level cannot be loaded, the results are
// saved) changes what lies outside the match and is run once only.
class PlaySyncTest {
public:
    // One pass of play in place of match.Frame(); returns what it returns.
    bool Frame(Match& match) {
        return Frame(match, [&match](bool /*again*/) { return match.Frame(); });
    }
    // The same with the pass given: `pass(again)` runs one pass of play,
    // `again` false the first time and true the second.
    template <class Pass>
    bool Frame(Match& match, Pass&& pass) {
        if (failed_) return pass(false);
        Begin(match);
        const bool goOn = pass(false);
        if (!Between(match, goOn)) return goOn;
        bool goOnAgain = false;
        {
            const ResimulationScope again;
            goOnAgain = pass(true);
        }
        End(match, goOn == goOnAgain);
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
        uint8_t pointsPhase, tableShown, resultsSaved, levelFailed, inPlay;
        bool operator==(const Phase& o) const;
    };
    static Phase PhaseOf(const Match& m);

    void Begin(const Match& match);
    // After the first run: true when the pass is to run again (the match
    // is then back as it was before the first run).
    bool Between(Match& match, bool goOn);
    void End(const Match& match, bool sameResult);
    void Save(PlaySnapshot& snapshot, const Match& match);
    void Fail(const Match& match, const char* what);

    PlaySnapshot before_;
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
