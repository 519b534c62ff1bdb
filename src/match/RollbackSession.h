#pragma once
#include <cstddef>
#include <cstdint>

#include "match/Match.h"
#include "match/PlaySnapshot.h"
#include "platform/KeyCodes.h"

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
// The session runs play passes only, within a level (see PlaySnapshot).

// A player's keys for one pass: bit k is PlayKey k, bit 6 SPACE.
constexpr uint8_t kPassSpace = 1u << kPlayKeyCount;
constexpr uint8_t kPassKeysMask = (1u << (kPlayKeyCount + 1)) - 1;
// The keys of `player` (as PlayKeys binds them) that are down in `keys`.
uint8_t PassKeysOf(const uint8_t* keys, const PlayKeys& bindings, int player);
// KeyState as play reads it for a pass with these keys of the two players.
void ComposeKeyState(const uint8_t bits[2], const PlayKeys& bindings, uint8_t* keys);

// What one packet between the two machines holds: the sender's keys for
// `count` passes from `firstPass`, how many of the receiver's passes the
// sender holds, and the sender's latest state hash.
struct RollbackPacket {
    static constexpr int kMaxInputs = 64;
    static constexpr uint32_t kNoHash = 0xFFFFFFFFu;
    uint32_t firstPass = 0;
    uint8_t count = 0;
    uint8_t inputs[kMaxInputs] = {};
    uint32_t ack = 0;
    uint32_t hashPass = kNoHash;  // the pass the hash was taken after
    uint64_t hash = 0;
};
constexpr size_t kRollbackPacketHeader = 23;
constexpr size_t kRollbackPacketMax = kRollbackPacketHeader + RollbackPacket::kMaxInputs;
// Writes the packet; returns its size.
size_t WriteRollbackPacket(const RollbackPacket& packet, uint8_t* out);
// Reads a packet; false for anything that is not one, byte for byte.
bool ReadRollbackPacket(const uint8_t* bytes, size_t size, RollbackPacket* packet);

// What carries the packets: datagrams that may be lost, late or reordered.
class RollbackLink {
public:
    virtual ~RollbackLink() = default;
    virtual void Send(const uint8_t* bytes, size_t size) = 0;
    // The next datagram that has arrived, or 0 when none has.
    virtual size_t Receive(uint8_t* bytes, size_t capacity) = 0;
};

class RollbackSession {
public:
    static constexpr int32_t kMaxRollback = 12;
    static constexpr int32_t kMaxDelay = 4;
    static constexpr int32_t kHashEvery = 100;
    // Keys kept, by pass: the peer runs at most a rollback (and the two
    // delays) ahead and is never more than that behind.
    static constexpr int32_t kInputRing = 64;
    // States kept, by pass: the deepest rollback goes back kMaxRollback.
    static constexpr int32_t kSnapshotRing = 16;
    // The pass clock: what play reads of the tick counter on pass p is
    // kClockStart + 10 p.
    static constexpr uint32_t kClockStart = 1000;

    enum class Step { Ran, Waiting, OutOfStep };

    // A session over `match`, whose level is loaded and whose random
    // generator holds `randomState` (both machines alike); `local` is the
    // player (0 or 1) this machine's keys steer.
    void Begin(Match* match, uint32_t randomState, int32_t local, int32_t delay, RollbackLink* link);
    // One pass of the frame loop with the local player's keys: packets
    // read, a rollback if a prediction was wrong, then the next pass run
    // (Ran), or not while the peer is too far behind (Waiting).
    Step Advance(uint8_t localKeys);

    int32_t Pass() const { return pass_; }  // passes run
    // Passes whose keys both machines know.
    int32_t Confirmed() const;
    bool OutOfStep() const { return outOfStep_; }
    int32_t OutOfStepPass() const { return outOfStepPass_; }
    int32_t HashesCompared() const { return hashesCompared_; }
    // Rollbacks by depth (passes run again), 1 to kMaxRollback.
    const int64_t* RollbackDepths() const { return depths_; }
    int64_t Waits() const { return waits_; }
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
    void Rollback(int32_t from);
    void RunPass(int32_t pass);
    // Our hash of a pass becomes final once the peer's keys for it are known.
    void SettleHash();
    void Send();
    void CompareHash(uint32_t pass, uint64_t hash);

    Match* match_ = nullptr;
    RollbackLink* link_ = nullptr;
    int32_t local_ = 0;
    int32_t remote_ = 1;
    int32_t delay_ = 0;
    uint32_t randomState_ = 0;
    uint32_t clock_ = 0;

    int32_t pass_ = 0;       // the next pass to run
    int32_t known_[2] = {};  // passes 0 .. known - 1 of each player's keys are known
    int32_t peerHolds_ = 0;  // passes of our keys the peer has acknowledged
    int32_t firstWrong_ = -1;
    uint8_t inputs_[2][kInputRing] = {};
    uint8_t usedRemote_[kInputRing] = {};    // the remote keys each pass ran with
    PlaySnapshot snapshots_[kSnapshotRing];  // the state before each pass

    // Our hash of the last pass hashed, until it is final.
    int32_t pendingHashPass_ = -1;
    uint64_t pendingHash_ = 0;
    // Our latest final hash, the last few kept, and the peer's latest.
    uint32_t ownHashPass_ = RollbackPacket::kNoHash;
    uint64_t ownHash_ = 0;
    uint32_t hashPasses_[4] = {RollbackPacket::kNoHash, RollbackPacket::kNoHash, RollbackPacket::kNoHash,
                               RollbackPacket::kNoHash};
    uint64_t hashes_[4] = {};
    uint32_t peerHashPass_ = RollbackPacket::kNoHash;
    uint64_t peerHash_ = 0;
    uint32_t comparedPass_ = RollbackPacket::kNoHash;

    bool outOfStep_ = false;
    int32_t outOfStepPass_ = -1;
    int32_t hashesCompared_ = 0;
    int64_t depths_[kMaxRollback + 1] = {};
    int64_t depthNanos_[kMaxRollback + 1] = {};
    int64_t waits_ = 0;
    int64_t longestRollbackNanos_ = 0;
};
