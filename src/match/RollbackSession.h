#pragma once
#include <cstddef>
#include <cstdint>

#include "match/Match.h"
#include "match/PlayInput.h"
#include "match/PlaySnapshot.h"
#include "net/PassExchange.h"
#include "platform/KeyCodes.h"
#include "platform/NetDefaults.h"

// Online play with rollback, whatever carries the packets. Each machine
// runs both worms. The local player's keys act on the pass `delay` passes
// ahead; the other player's are predicted (the last keys known) until they
// arrive. When they arrive and differ from the prediction, the play state
// saved before the first wrong pass is put back and the passes since are
// run again, resimulating (nothing drawn, no sound). At most kMaxRollback
// passes run on a prediction; beyond that the session waits for the peer.
// Every kHashEvery passes both machines hash the state of the last pass
// whose keys they both know and compare: a difference is "out of step".
//
// The two machines start a message's journey apart, and a machine that
// stalls falls behind: the one ahead would then do all the deep rollbacks
// and all the waiting. Each side's keys carry how far ahead of the other it
// sees itself; the side that runs ahead by kEvenLead passes or more stands
// still for a pass now and then (one in kEvenEvery) until the two are even.
//
// The keys travel through a PassExchange (the other game's NetPeer, or a
// recorded game), which numbers passes from the start of the match and
// compares the hashes. The session runs play passes only:
// a pass that ends a level (or the game) holds the match there until every
// pass up to it is confirmed, and the screens between levels run outside
// it (the game's own frames); the next level's passes go on from there.

// A player's keys for one pass: the player's PlayActions bits (bit k is
// PlayKey k), and bit 6 SPACE.
constexpr uint8_t kPassSpace = 1u << kPlayKeyCount;
constexpr uint8_t kPassKeysMask = (1u << (kPlayKeyCount + 1)) - 1;
static_assert(PlayActions::kAllBits == kPassSpace - 1, "a pass's keys are the player's actions and SPACE");
// The keys of `player` (as PlayKeys binds them) that are down in `keys`.
uint8_t PassKeysOf(const uint8_t* keys, const PlayKeys& bindings, int player);
// What play reads in a pass with these keys of the two players: each
// worm its player's actions, and SPACE when either holds it.
PlayInput PassInputOf(const uint8_t bits[2]);

// The keys of a pass as they travel (net/NetProtocol's input record): the
// six play keys as they are, SPACE in the record's first extra byte.
NetInput ToNetInput(uint8_t bits);
uint8_t FromNetInput(const NetInput& input);

class RollbackSession {
public:
    // Passes run on a prediction at most: with the longest delay, a
    // 400 ms round trip (200 ms, 20 passes, each way) and some jitter.
    static constexpr int32_t kMaxRollback = 20;
    static constexpr int32_t kMaxDelay = kMaxInputDelay;
    static constexpr int32_t kHashEvery = static_cast<int32_t>(kNetHashInterval);
    // Keys kept, by pass. The peer's are read at most kInputLookahead
    // passes ahead of the pass to run; the rest of the ring keeps the
    // confirmed passes a recording has not taken yet.
    static constexpr int32_t kInputRing = 256;
    static constexpr int32_t kInputLookahead = 48;
    // States kept, by pass: a rollback goes back kMaxRollback, and the end
    // of a game whose link went back to the last pass both sides were
    // known to hold, a round trip (and the delay) behind.
    static constexpr int32_t kSnapshotRing = 64;
    // The input delay follows the round trip: the rollbacks stay about this
    // deep (the peer's keys come a one-way trip, less the delay, late).
    static constexpr int32_t kTargetDepth = 12;
    // Passes of jitter the delay allows for, and the round trip (ms) it
    // must fall by before the delay comes down again.
    static constexpr int32_t kDelayJitterPasses = 2;
    static constexpr uint32_t kDelayLowerSlackMs = 30;
    // How often the host looks at the round trip (passes), and how far
    // ahead a change begins: at least this, and two round trips.
    static constexpr int32_t kDelayCheckEvery = 100;
    static constexpr int32_t kDelayNotice = 50;
    // The pass clock: what play reads of the tick counter on pass p is
    // kClockStart + kPassMs p.
    static constexpr uint32_t kClockStart = 1000;
    // How far ahead (in passes) a side lets the other catch up, and how
    // often it stands still while it does.
    static constexpr int32_t kEvenLead = 2;
    static constexpr int32_t kEvenEvery = 8;
    // The byte of an input record that says how far ahead its sender is,
    // when it cannot say (it has not heard from the other side yet).
    static constexpr uint8_t kAdvantageNotKnown = kNetLeadNotKnown;

    enum class Step {
        Ran,
        Waiting,    // the peer is too far behind, this side's keys cannot go yet, or it lets the peer catch up
        Holding,    // the match holds at a level's end until every pass is confirmed
        LevelOver,  // ... and now they all are: the game takes over until the next level
        OutOfStep,  // the peer found the state hashes differ, or the link went
    };

    // A session over `match`, whose level is loaded and whose random
    // generator holds `randomState` (both machines alike); `local` is the
    // player (0 or 1) this machine's keys steer. `peer` is Playing, and no
    // passes have gone through it yet.
    // `delay` is the delay both agreed on, and the least the session plays
    // with; the host raises it (up to kMaxDelay) while the round trip asks
    // for more, and both sides change on the pass it names.
    void Begin(Match* match, uint32_t randomState, int32_t local, int32_t delay, PassExchange* peer);
    // One pass of the frame loop with the local player's keys: the peer's
    // keys that came (the caller updates the peer first), a rollback if a
    // prediction was wrong, then the next pass run (Ran), or not.
    Step Advance(uint8_t localKeys);
    // The generator play runs from; the game's frames between levels use
    // it too, so that the next level's food falls alike on both machines.
    uint32_t& RandomStateRef() { return randomState_; }
    // The pass clock as the last pass run left it (what play's clock reads
    // during a pass).
    const uint32_t* PassClock() const { return &clock_; }

    int32_t Pass() const { return pass_; }  // passes run
    // Passes whose keys both machines know.
    int32_t Confirmed() const;
    // Both players' keys of a confirmed pass, one of the last
    // kInputRing - kMaxRollback - 1.
    void ConfirmedKeys(int32_t pass, uint8_t keys[2]) const;
    // Puts the match back as the confirmed passes left it: the passes run
    // on a prediction since are dropped (the game ends there).
    void DropPredictions() {
        if (Confirmed() < pass_) EndAt(Confirmed(), true);
    }
    // The game ends after `end` passes, both sides' keys of each known
    // (the exchange's SurePasses once it stopped): the match is put back
    // there, or run on to it. An end among a level's first passes, whose
    // keys were sent before the level began, is the level's end; an end
    // past a level's end reached is put back there (its state kept).
    // With `named` false (no goodbye named the end), the end is the last
    // whole kHashEvery of passes, or level end, at or below `end`.
    void EndAt(int32_t end, bool named = true);
    // The passes a recording may take now: confirmed, and at or below the
    // end the game would have were the link to go now (`sure` passes known
    // to both sides), so that no end falls before them.
    int32_t TapeLimit(uint32_t sure) const;
    // The pass the last level (or the game) ended on, every pass up to it
    // sure (-1: none yet).
    int32_t LevelEndPass() const { return levelEndPass_; }
    // The input delay in force, and how often it changed.
    int32_t Delay() const { return delay_; }
    int32_t DelayChanges() const { return delayChanges_; }
    // A change agreed on and not yet begun: its pass (-1: none) and delay.
    int32_t NextDelayPass() const { return nextDelayPass_; }
    int32_t NextDelay() const { return nextDelay_; }
    // The last state hash handed over and the passes it follows (0: none).
    int32_t LastHashPasses() const { return lastHashPasses_; }
    uint64_t LastHash() const { return lastHash_; }
    bool OutOfStep() const { return outOfStep_; }
    // State hashes this side handed over (the peer compares them with its own).
    int32_t HashesSent() const { return hashesSent_; }
    // The states whose hashes went last, kept to be set beside the other
    // machine's when the two turn out of step: slot 0 .. kKeptStates - 1,
    // the state after KeptPasses(slot) passes (0: none).
    static constexpr int32_t kKeptStates = 3;
    int32_t KeptPasses(int32_t slot) const { return keptPasses_[slot]; }
    uint64_t KeptHash(int32_t slot) const { return keptHashes_[slot]; }
    const PlaySnapshot& KeptState(int32_t slot) const { return keptStates_[slot]; }
    // Rollbacks by depth (passes run again), 1 to kMaxRollback; their
    // count, the deepest so far, and the depth at or below which
    // `perMille` thousandths of them lie (0 before any).
    const int64_t* RollbackDepths() const { return depths_; }
    int64_t Rollbacks() const;
    int32_t DeepestRollback() const;
    int32_t RollbackDepthAt(int32_t perMille) const;
    int64_t Waits() const { return waits_; }
    // How many passes this side runs ahead of the other, as the two see it
    // (negative: behind), and the passes it stood still to even them out.
    int32_t Lead() const;
    int64_t Evened() const { return evened_; }
    // The longest time one rollback took to put back and run again, and
    // the mean time of the rollbacks of a depth, in ns.
    int64_t LongestRollbackNanos() const { return longestRollbackNanos_; }
    int64_t MeanRollbackNanos(int32_t depth) const {
        return depth >= 1 && depth <= kMaxRollback && depths_[depth] > 0 ? depthNanos_[depth] / depths_[depth] : 0;
    }

private:
    uint8_t& Input(int32_t player, int32_t pass) { return inputs_[player][pass % kInputRing]; }
    // The player's keys for the pass, or the prediction: the last known.
    uint8_t Keys(int32_t player, int32_t pass) const;
    void Receive();
    // How far ahead this side sees itself: its passes run against the
    // passes the peer had run when it sent the last keys that came. Not
    // known before those keys come (it would count the whole start).
    int32_t Advantage() const { return pass_ - (known_[remote_] - delay_); }
    bool AdvantageKnown() const { return known_[remote_] > delay_; }
    void Rollback(int32_t from);
    void RunPass(int32_t pass);
    // Our hash of a pass goes to the peer once the peer's keys for it are known.
    void SettleHash();
    // The host's look at the round trip, and a change of delay beginning.
    void FollowRoundTrip();
    // The last whole kHashEvery of passes, or level end, at or below `sure`.
    int32_t SilentEnd(int32_t sure) const;
    int32_t DelayFor(uint32_t roundTripMs) const;

    Match* match_ = nullptr;
    PassExchange* peer_ = nullptr;
    int32_t local_ = 0;
    int32_t remote_ = 1;
    int32_t delay_ = 0;
    int32_t leastDelay_ = 0;                // the delay agreed at the start
    int32_t nextDelayPass_ = -1;            // a change agreed on: from this pass,
    int32_t nextDelay_ = 0;                 // ... this delay
    uint32_t heardDelayPass_ = UINT32_MAX;  // the newest change announced by the host
    uint8_t heardDelay_ = 0;
    int32_t delayCheckedAt_ = 0;
    int32_t delayChanges_ = 0;
    int32_t levelEndPass_ = -1;   // the last level end every pass up to which is sure
    int32_t levelEndDelay_ = 0;   // ... the delay then: the next level's keys sent before it began
    PlaySnapshot levelEndState_;  // ... the state there
    uint32_t randomState_ = 0;
    uint32_t clock_ = 0;

    int32_t pass_ = 0;       // the next pass to run
    int32_t known_[2] = {};  // passes 0 .. known - 1 of each player's keys are known
    int32_t firstWrong_ = -1;
    int32_t peerAdvantage_ = 0;        // the peer's Advantage as its last keys said
    bool peerAdvantageKnown_ = false;  // ... once it had heard from this side
    int32_t evenedAt_ = 0;             // the pass this side last stood still at
    uint8_t inputs_[2][kInputRing] = {};
    uint8_t usedRemote_[kInputRing] = {};    // the remote keys each pass ran with
    PlaySnapshot snapshots_[kSnapshotRing];  // the state before each pass

    // Our hash of the last pass hashed, until the peer's keys for it are known.
    int32_t pendingHashPass_ = -1;
    uint64_t pendingHash_ = 0;
    PlaySnapshot pendingState_;
    PlaySnapshot keptStates_[kKeptStates];
    int32_t keptPasses_[kKeptStates] = {};
    uint64_t keptHashes_[kKeptStates] = {};

    bool outOfStep_ = false;
    int32_t hashesSent_ = 0;
    int32_t lastHashPasses_ = 0;
    uint64_t lastHash_ = 0;
    int64_t depths_[kMaxRollback + 1] = {};
    int64_t depthNanos_[kMaxRollback + 1] = {};
    int64_t waits_ = 0;
    int64_t evened_ = 0;
    int64_t longestRollbackNanos_ = 0;
};
