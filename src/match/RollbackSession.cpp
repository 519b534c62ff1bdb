#include "match/RollbackSession.h"

#include <chrono>
#include <cstring>

#include "io/Input.h"
#include "platform/LittleEndian.h"
#include "platform/Resimulation.h"
#include "world/Random.h"

namespace {

constexpr uint8_t kMagic0 = 'V';
constexpr uint8_t kMagic1 = 'R';
// Pass numbers stay far below where int32_t arithmetic could overflow.
constexpr uint32_t kMaxPass = 0x7FFF0000u;

int64_t Nanos() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

uint8_t PassKeysOf(const uint8_t* keys, const PlayKeys& bindings, int player) {
    uint8_t bits = 0;
    for (int k = 0; k < kPlayKeyCount; ++k)
        if (keys[bindings.code[player & 1][k]] != 0) bits = static_cast<uint8_t>(bits | (1u << k));
    if (keys[DIK_SPACE] != 0) bits |= kPassSpace;
    return bits;
}

void ComposeKeyState(const uint8_t bits[2], const PlayKeys& bindings, uint8_t* keys) {
    std::memset(keys, 0, 256);
    for (int p = 0; p < 2; ++p) {
        for (int k = 0; k < kPlayKeyCount; ++k)
            if ((bits[p] & (1u << k)) != 0) keys[bindings.code[p][k]] = 0x80;
        if ((bits[p] & kPassSpace) != 0) keys[DIK_SPACE] = 0x80;
    }
}

// Layout: 'V' 'R', first pass (u32), count (u8), ack (u32), hash pass
// (u32), hash (u64), then `count` bytes of keys; little-endian.
size_t WriteRollbackPacket(const RollbackPacket& packet, uint8_t* out) {
    const uint8_t count = packet.count <= RollbackPacket::kMaxInputs ? packet.count : RollbackPacket::kMaxInputs;
    out[0] = kMagic0;
    out[1] = kMagic1;
    WriteLittleEndian<uint32_t>(out + 2, packet.firstPass);
    out[6] = count;
    WriteLittleEndian<uint32_t>(out + 7, packet.ack);
    WriteLittleEndian<uint32_t>(out + 11, packet.hashPass);
    WriteLittleEndian<uint64_t>(out + 15, packet.hash);
    std::memcpy(out + kRollbackPacketHeader, packet.inputs, count);
    return kRollbackPacketHeader + count;
}

bool ReadRollbackPacket(const uint8_t* bytes, size_t size, RollbackPacket* packet) {
    if (bytes == nullptr || size < kRollbackPacketHeader || size > kRollbackPacketMax) return false;
    if (bytes[0] != kMagic0 || bytes[1] != kMagic1) return false;
    RollbackPacket p;
    p.firstPass = ReadLittleEndian<uint32_t>(bytes + 2);
    p.count = bytes[6];
    p.ack = ReadLittleEndian<uint32_t>(bytes + 7);
    p.hashPass = ReadLittleEndian<uint32_t>(bytes + 11);
    p.hash = ReadLittleEndian<uint64_t>(bytes + 15);
    if (p.count > RollbackPacket::kMaxInputs || size != kRollbackPacketHeader + p.count) return false;
    if (p.firstPass > kMaxPass || p.ack > kMaxPass || (p.hashPass > kMaxPass && p.hashPass != RollbackPacket::kNoHash))
        return false;
    for (int i = 0; i < p.count; ++i) {
        p.inputs[i] = bytes[kRollbackPacketHeader + i];
        if ((p.inputs[i] & ~kPassKeysMask) != 0) return false;
    }
    *packet = p;
    return true;
}

void RollbackSession::Begin(Match* match, uint32_t randomState, int32_t local, int32_t delay, RollbackLink* link) {
    match_ = match;
    link_ = link;
    local_ = local == 1 ? 1 : 0;
    remote_ = 1 - local_;
    delay_ = delay < 0 ? 0 : (delay > kMaxDelay ? kMaxDelay : delay);
    randomState_ = randomState;
    pass_ = 0;
    // The first `delay` passes of both players have no keys.
    known_[0] = known_[1] = delay_;
    peerHolds_ = delay_;
    firstWrong_ = -1;
    std::memset(inputs_, 0, sizeof inputs_);
    std::memset(usedRemote_, 0, sizeof usedRemote_);
    ownHashPass_ = peerHashPass_ = comparedPass_ = RollbackPacket::kNoHash;
    pendingHashPass_ = -1;
    for (uint32_t& p : hashPasses_) p = RollbackPacket::kNoHash;
    outOfStep_ = false;
    outOfStepPass_ = -1;
    hashesCompared_ = 0;
    std::memset(depths_, 0, sizeof depths_);
    std::memset(depthNanos_, 0, sizeof depthNanos_);
    waits_ = 0;
    longestRollbackNanos_ = 0;
}

int32_t RollbackSession::Confirmed() const { return known_[remote_] < pass_ ? known_[remote_] : pass_; }

uint8_t RollbackSession::Keys(int32_t player, int32_t pass) const {
    const int32_t known = known_[player];
    if (pass < known) return inputs_[player][pass % kInputRing];
    return known > 0 ? inputs_[player][(known - 1) % kInputRing] : 0;
}

RollbackSession::Step RollbackSession::Advance(uint8_t localKeys) {
    if (outOfStep_) return Step::OutOfStep;
    // Two sessions may share a process (the tests): each has its own
    // generator, and play reads the pass clock.
    SeedRandom(randomState_);
    SetPassTicks(&clock_);
    if (known_[local_] == pass_ + delay_) {
        Input(local_, pass_ + delay_) = static_cast<uint8_t>(localKeys & kPassKeysMask);
        ++known_[local_];
    }
    Receive();
    if (firstWrong_ >= 0) Rollback(firstWrong_);
    Step step = Step::Ran;
    if (pass_ - known_[remote_] >= kMaxRollback) {
        ++waits_;
        step = Step::Waiting;
    } else {
        RunPass(pass_);
        ++pass_;
    }
    SettleHash();
    Send();
    randomState_ = RandomState();
    SetPassTicks(nullptr);
    return outOfStep_ ? Step::OutOfStep : step;
}

void RollbackSession::Receive() {
    uint8_t bytes[kRollbackPacketMax + 1];
    for (size_t size = link_->Receive(bytes, sizeof bytes); size > 0; size = link_->Receive(bytes, sizeof bytes)) {
        RollbackPacket p;
        if (!ReadRollbackPacket(bytes, size, &p)) continue;
        if (static_cast<int64_t>(p.ack) > peerHolds_ && static_cast<int64_t>(p.ack) <= known_[local_])
            peerHolds_ = static_cast<int32_t>(p.ack);
        for (int i = 0; i < p.count; ++i) {
            const int64_t q = static_cast<int64_t>(p.firstPass) + i;
            if (q < known_[remote_]) continue;  // known already
            // A gap (an earlier packet is still on its way), or beyond the
            // keys kept: they come again in later packets.
            if (q > known_[remote_] || q >= pass_ + kInputRing - kMaxRollback - 1) break;
            const int32_t pass = known_[remote_]++;
            Input(remote_, pass) = p.inputs[i];
            if (pass < pass_ && usedRemote_[pass % kInputRing] != p.inputs[i] &&
                (firstWrong_ < 0 || pass < firstWrong_))
                firstWrong_ = pass;
        }
        if (p.hashPass != RollbackPacket::kNoHash) {
            peerHashPass_ = p.hashPass;
            peerHash_ = p.hash;
            CompareHash(p.hashPass, p.hash);
        }
    }
}

void RollbackSession::Rollback(int32_t from) {
    const int64_t start = Nanos();
    snapshots_[from % kSnapshotRing].Restore(*match_);
    {
        const ResimulationScope again;
        for (int32_t q = from; q < pass_; ++q) RunPass(q);
    }
    const int64_t took = Nanos() - start;
    if (took > longestRollbackNanos_) longestRollbackNanos_ = took;
    const int32_t depth = pass_ - from <= kMaxRollback ? pass_ - from : kMaxRollback;
    ++depths_[depth];
    depthNanos_[depth] += took;
    firstWrong_ = -1;
}

void RollbackSession::RunPass(int32_t pass) {
    snapshots_[pass % kSnapshotRing].Save(*match_);
    uint8_t bits[2];
    bits[local_] = Keys(local_, pass);
    bits[remote_] = Keys(remote_, pass);
    usedRemote_[pass % kInputRing] = bits[remote_];
    ComposeKeyState(bits, match_->playKeys, KeyState);
    clock_ = kClockStart + 10u * static_cast<uint32_t>(pass);
    match_->Frame();
    // The hash of the pass's outcome; it holds once the peer's keys for the
    // pass are known (a wrong prediction runs the pass again first).
    if ((pass + 1) % kHashEvery == 0) {
        pendingHashPass_ = pass;
        pendingHash_ = MatchStateHash(*match_);
    }
}

void RollbackSession::SettleHash() {
    if (pendingHashPass_ < 0 || pendingHashPass_ >= known_[remote_]) return;
    ownHashPass_ = static_cast<uint32_t>(pendingHashPass_);
    ownHash_ = pendingHash_;
    const int slot = (pendingHashPass_ / kHashEvery) % 4;
    hashPasses_[slot] = ownHashPass_;
    hashes_[slot] = ownHash_;
    pendingHashPass_ = -1;
    if (peerHashPass_ != RollbackPacket::kNoHash) CompareHash(peerHashPass_, peerHash_);
}

void RollbackSession::CompareHash(uint32_t pass, uint64_t hash) {
    if (pass == comparedPass_) return;
    const int slot = static_cast<int>((pass / kHashEvery) % 4);
    if (hashPasses_[slot] != pass) return;  // not there yet, or long gone
    comparedPass_ = pass;
    ++hashesCompared_;
    if (hashes_[slot] == hash) return;
    outOfStep_ = true;
    outOfStepPass_ = static_cast<int32_t>(pass);
}

void RollbackSession::Send() {
    RollbackPacket p;
    int32_t first = peerHolds_;
    // Never more than a packet holds, nor keys the ring no longer keeps.
    if (known_[local_] - first > RollbackPacket::kMaxInputs) first = known_[local_] - RollbackPacket::kMaxInputs;
    p.firstPass = static_cast<uint32_t>(first);
    p.count = static_cast<uint8_t>(known_[local_] - first);
    for (int i = 0; i < p.count; ++i) p.inputs[i] = Input(local_, first + i);
    p.ack = static_cast<uint32_t>(known_[remote_]);
    p.hashPass = ownHashPass_;
    p.hash = ownHash_;
    uint8_t bytes[kRollbackPacketMax];
    link_->Send(bytes, WriteRollbackPacket(p, bytes));
}
