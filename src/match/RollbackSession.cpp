#include "match/RollbackSession.h"

#include <chrono>
#include <cstring>

#include "io/Input.h"
#include "platform/Host.h"
#include "platform/LittleEndian.h"
#include "platform/Resimulation.h"
#include "world/Random.h"

namespace {

int64_t Nanos() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

uint8_t PassKeysOf(const uint8_t* keys, const PlayKeys& bindings, int player) {
    const uint8_t space = keys[DIK_SPACE] != 0 ? kPassSpace : 0;
    return static_cast<uint8_t>(PlayActionsOf(keys, bindings, player).bits | space);
}

PlayInput PassInputOf(const uint8_t bits[2]) {
    PlayInput input;
    for (int p = 0; p < 2; ++p) {
        input.actions[p].bits = static_cast<uint8_t>(bits[p] & PlayActions::kAllBits);
        if ((bits[p] & kPassSpace) != 0) input.space = true;
    }
    return input;
}

NetInput ToNetInput(uint8_t bits) {
    NetInput in;
    in.keys = static_cast<uint8_t>(bits & kNetKeyBits);
    in.extra[0] = (bits & kPassSpace) != 0 ? 1 : 0;
    return in;
}

uint8_t FromNetInput(const NetInput& input) {
    return static_cast<uint8_t>((input.keys & kNetKeyBits) | ((input.extra[0] & 1) != 0 ? kPassSpace : 0));
}

void RollbackSession::Begin(Match* match, uint32_t randomState, int32_t local, int32_t delay, PassExchange* peer) {
    match_ = match;
    peer_ = peer;
    local_ = local == 1 ? 1 : 0;
    remote_ = 1 - local_;
    delay_ = delay < 0 ? 0 : (delay > kMaxDelay ? kMaxDelay : delay);
    leastDelay_ = delay_;
    nextDelayPass_ = -1;
    nextDelay_ = delay_;
    heardDelayPass_ = UINT32_MAX;
    heardDelay_ = 0;
    delayCheckedAt_ = 0;
    delayChanges_ = 0;
    levelEndPass_ = -1;
    levelEndDelay_ = 0;
    randomState_ = randomState;
    pass_ = 0;
    known_[0] = known_[1] = 0;
    firstWrong_ = -1;
    peerAdvantage_ = 0;
    peerAdvantageKnown_ = false;
    evenedAt_ = 0;
    evened_ = 0;
    std::memset(inputs_, 0, sizeof inputs_);
    std::memset(usedRemote_, 0, sizeof usedRemote_);
    pendingHashPass_ = -1;
    for (int32_t& passes : keptPasses_) passes = 0;
    for (uint64_t& hash : keptHashes_) hash = 0;
    outOfStep_ = false;
    hashesSent_ = 0;
    lastHashPasses_ = 0;
    lastHash_ = 0;
    std::memset(depths_, 0, sizeof depths_);
    std::memset(depthNanos_, 0, sizeof depthNanos_);
    waits_ = 0;
    longestRollbackNanos_ = 0;
    // The first `delay` passes of both sides have no keys: known at once,
    // and sent all the same, so that the peer's pass numbers are ours.
    while (known_[local_] < delay_ && peer_->SendInput(ToNetInput(0))) Input(local_, known_[local_]++) = 0;
    known_[remote_] = delay_;
}

int32_t RollbackSession::Confirmed() const { return known_[remote_] < pass_ ? known_[remote_] : pass_; }

void RollbackSession::ConfirmedKeys(int32_t pass, uint8_t keys[2]) const {
    keys[local_] = inputs_[local_][pass % kInputRing];
    keys[remote_] = inputs_[remote_][pass % kInputRing];
}

int32_t RollbackSession::SilentEnd(int32_t sure) const {
    int32_t end = sure - sure % kHashEvery;
    if (levelEndPass_ > end && levelEndPass_ <= sure) end = levelEndPass_;
    // A level end held, every pass up to it known.
    if (match_ != nullptr && match_->levelEnd != 0 && pass_ > end && pass_ <= sure && pass_ <= known_[remote_])
        end = pass_;
    return end;
}

int32_t RollbackSession::TapeLimit(uint32_t sure) const {
    const int32_t confirmed = Confirmed();
    int32_t limit = sure < static_cast<uint32_t>(confirmed) ? static_cast<int32_t>(sure) : confirmed;
    if (levelEndPass_ >= 0 && limit > levelEndPass_ && limit <= levelEndPass_ + levelEndDelay_) limit = levelEndPass_;
    // Whether a goodbye comes or the link goes silent, the end falls no
    // sooner than the silent one.
    return SilentEnd(limit);
}

void RollbackSession::EndAt(int32_t end, bool named) {
    if (match_ == nullptr) return;
    SeedRandom(randomState_);
    SetPassTicks(&clock_);
    // Every key that came counts: a wrong guess is put right first.
    Receive();
    if (firstWrong_ >= 0) Rollback(firstWrong_);
    if (end < 0) end = 0;
    // The next level's first keys went before it began; the other side may
    // still be at its points screen: the game ends at the level's end.
    if (levelEndPass_ >= 0 && end > levelEndPass_ && end <= levelEndPass_ + levelEndDelay_) end = levelEndPass_;
    {
        // Both players' keys of the passes up to the end are known: run
        // them (a level that ends on the way ends the game there).
        const ResimulationScope again;
        while (pass_ < end && pass_ < known_[remote_] && pass_ < known_[local_] && match_->levelEnd == 0) {
            RunPass(pass_);
            ++pass_;
        }
    }
    SettleHash();
    if (!named) end = SilentEnd(end);
    if (end > pass_) end = pass_;
    if (end == levelEndPass_) {
        // At the level's end (held there, at the points screens or in the
        // next level already): its state as every pass up to it was sure.
        levelEndState_.Restore(*match_);
        pass_ = end;
    } else if (end < pass_) {
        int32_t kept = -1;
        for (int32_t slot = 0; slot < kKeptStates; ++slot)
            if (keptPasses_[slot] == end) kept = slot;
        if (pass_ - end < kSnapshotRing) {
            snapshots_[end % kSnapshotRing].Restore(*match_);
        } else if (kept >= 0) {
            keptStates_[kept].Restore(*match_);
        } else {
            // Beyond every state kept (a link that lagged seconds): the oldest.
            end = pass_ - (kSnapshotRing - 1);
            snapshots_[end % kSnapshotRing].Restore(*match_);
        }
        pass_ = end;
    }
    if (pendingHashPass_ >= pass_) pendingHashPass_ = -1;
    firstWrong_ = -1;
    randomState_ = RandomState();
    SetPassTicks(nullptr);
}

uint8_t RollbackSession::Keys(int32_t player, int32_t pass) const {
    const int32_t known = known_[player];
    if (pass < known) return inputs_[player][pass % kInputRing];
    return known > 0 ? inputs_[player][(known - 1) % kInputRing] : 0;
}

RollbackSession::Step RollbackSession::Advance(uint8_t localKeys) {
    if (!outOfStep_ && !peer_->InPlay()) outOfStep_ = true;
    if (outOfStep_) return Step::OutOfStep;
    // Two sessions may share a process (the tests): each has its own
    // generator, and play reads the pass clock.
    SeedRandom(randomState_);
    SetPassTicks(&clock_);
    FollowRoundTrip();
    // This side's keys act `delay` passes on: a raised delay sends them for
    // the passes it adds too, a lowered one none until the passes catch up.
    while (known_[local_] <= pass_ + delay_ && match_->levelEnd == 0) {
        NetInput sent = ToNetInput(static_cast<uint8_t>(localKeys & kPassKeysMask));
        const int32_t advantage =
            Advantage() < -kNetMaxLead ? -kNetMaxLead : (Advantage() > kNetMaxLead ? kNetMaxLead : Advantage());
        // As a signed byte; -128 says "not known".
        sent.extra[1] = AdvantageKnown() ? static_cast<uint8_t>(advantage & 0xFF) : kAdvantageNotKnown;
        if (!peer_->SendInput(sent)) break;
        Input(local_, known_[local_]++) = static_cast<uint8_t>(localKeys & kPassKeysMask);
    }
    Receive();
    if (firstWrong_ >= 0) Rollback(firstWrong_);
    Step step = Step::Ran;
    if (match_->levelEnd != 0) {
        // The level (or the game) ended on a pass that may yet be undone:
        // nothing more runs until every pass up to it is sure.
        step = known_[remote_] >= pass_ ? Step::LevelOver : Step::Holding;
        if (step == Step::LevelOver && levelEndPass_ != pass_) {
            levelEndPass_ = pass_;
            levelEndDelay_ = known_[local_] - pass_;
            levelEndState_.Save(*match_);
        }
    } else if (pass_ - known_[remote_] >= kMaxRollback || pass_ >= known_[local_]) {
        ++waits_;
        step = Step::Waiting;
    } else if (Lead() >= kEvenLead && pass_ - evenedAt_ >= kEvenEvery) {
        evenedAt_ = pass_;
        ++evened_;
        step = Step::Waiting;
    } else {
        RunPass(pass_);
        ++pass_;
    }
    SettleHash();
    randomState_ = RandomState();
    SetPassTicks(nullptr);
    return step;
}

// Each side's advantage counts the journey of the other's keys as lead;
// half their difference is the lead alone. Until both sides have heard
// from each other, neither knows.
int32_t RollbackSession::Lead() const {
    return AdvantageKnown() && peerAdvantageKnown_ ? (Advantage() - peerAdvantage_) / 2 : 0;
}

int64_t RollbackSession::Rollbacks() const {
    int64_t count = 0;
    for (int32_t d = 1; d <= kMaxRollback; ++d) count += depths_[d];
    return count;
}

int32_t RollbackSession::DeepestRollback() const {
    for (int32_t d = kMaxRollback; d >= 1; --d)
        if (depths_[d] > 0) return d;
    return 0;
}

int32_t RollbackSession::RollbackDepthAt(int32_t perMille) const {
    const int64_t count = Rollbacks();
    int64_t seen = 0;
    for (int32_t d = 1; d <= kMaxRollback; ++d) {
        seen += depths_[d];
        if (count > 0 && seen * 1000 >= count * perMille) return d;
    }
    return 0;
}

void RollbackSession::Receive() {
    const int32_t held = static_cast<int32_t>(peer_->PeerPasses() < 0x7FFF0000u ? peer_->PeerPasses() : 0x7FFF0000u);
    while (known_[remote_] < held) {
        const int32_t pass = known_[remote_];
        // Beyond the keys kept: they are read again at a later pass.
        if (pass >= pass_ + kInputLookahead) break;
        NetInput in;
        if (!peer_->PeerInput(static_cast<uint32_t>(pass), &in)) break;
        const uint8_t keys = FromNetInput(in);
        Input(remote_, pass) = keys;
        peerAdvantageKnown_ = in.extra[1] != kAdvantageNotKnown;
        peerAdvantage_ = in.extra[1] < 0x80 ? in.extra[1] : in.extra[1] - 0x100;
        ++known_[remote_];
        if (pass < pass_ && usedRemote_[pass % kInputRing] != keys && (firstWrong_ < 0 || pass < firstWrong_))
            firstWrong_ = pass;
    }
}

void RollbackSession::Rollback(int32_t from) {
    const int64_t start = Nanos();
    snapshots_[from % kSnapshotRing].Restore(*match_);
    // The passes run again may end the level elsewhere: sooner, and the
    // session holds at that pass (the peer, never wrong about it, holds
    // there too, and the next level's passes are numbered alike), or not
    // at all.
    const int32_t ran = pass_;
    match_->levelEnd = 0;
    {
        const ResimulationScope again;
        for (int32_t q = from; q < ran && match_->levelEnd == 0; ++q) {
            RunPass(q);
            pass_ = q + 1;  // a level that now ends sooner holds at its own last pass
        }
    }
    if (pendingHashPass_ >= pass_) pendingHashPass_ = -1;  // that pass runs again, after the level
    const int64_t took = Nanos() - start;
    if (took > longestRollbackNanos_) longestRollbackNanos_ = took;
    const int32_t depth = ran - from <= kMaxRollback ? ran - from : kMaxRollback;
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
    clock_ = kClockStart + kPassMs * static_cast<uint32_t>(pass);
    match_->holdLevelEnds = 1;
    match_->Frame(PassInputOf(bits));
    match_->holdLevelEnds = 0;
    // The hash of the pass's outcome; it holds once the peer's keys for the
    // pass are known (a wrong prediction runs the pass again first).
    if ((pass + 1) % kHashEvery == 0) {
        pendingHashPass_ = pass;
        pendingHash_ = MatchStateHash(*match_);
        pendingState_.Save(*match_);
    }
}

void RollbackSession::SettleHash() {
    if (pendingHashPass_ < 0 || pendingHashPass_ >= known_[remote_]) return;
    peer_->SendHash(static_cast<uint32_t>(pendingHashPass_ + 1), pendingHash_);
    lastHashPasses_ = pendingHashPass_ + 1;
    lastHash_ = pendingHash_;
    const int32_t slot = hashesSent_ % kKeptStates;
    keptStates_[slot] = pendingState_;
    keptPasses_[slot] = pendingHashPass_ + 1;
    keptHashes_[slot] = pendingHash_;
    ++hashesSent_;
    pendingHashPass_ = -1;
}

int32_t RollbackSession::DelayFor(uint32_t roundTripMs) const {
    // The peer's keys come a one-way trip late, less the delay: enough delay
    // that the rollbacks stay about kTargetDepth deep.
    const int32_t oneWay = static_cast<int32_t>((roundTripMs / 2 + kPassMs - 1) / kPassMs);
    int32_t wanted = oneWay + kDelayJitterPasses - kTargetDepth;
    if (wanted < leastDelay_) wanted = leastDelay_;
    return wanted > kMaxDelay ? kMaxDelay : wanted;
}

void RollbackSession::FollowRoundTrip() {
    // The joiner takes the host's changes as they come (one announced for a
    // pass already run begins now: only the host's guess of the lead is
    // off meanwhile).
    uint32_t pass = 0;
    uint8_t delay = 0;
    if (local_ == 1 && peer_->PeerDelay(&pass, &delay) && (pass != heardDelayPass_ || delay != heardDelay_)) {
        heardDelayPass_ = pass;
        heardDelay_ = delay;
        nextDelayPass_ = pass < static_cast<uint32_t>(pass_) ? pass_ : static_cast<int32_t>(pass);
        nextDelay_ = delay;
    }
    if (local_ == 0 && nextDelayPass_ < 0 && pass_ - delayCheckedAt_ >= kDelayCheckEvery) {
        delayCheckedAt_ = pass_;
        const uint32_t roundTrip = peer_->RoundTripMs();
        int32_t wanted = roundTrip != 0 ? DelayFor(roundTrip) : delay_;
        // Down again only once the round trip has clearly fallen.
        if (wanted < delay_) {
            const int32_t lower = DelayFor(roundTrip > kDelayLowerSlackMs ? roundTrip - kDelayLowerSlackMs : 0);
            wanted = lower < delay_ ? lower : delay_;
        }
        const int32_t notice = static_cast<int32_t>(2 * roundTrip / 10) + kDelayNotice;
        if (wanted != delay_ &&
            peer_->AnnounceDelay(static_cast<uint32_t>(pass_ + notice), static_cast<uint8_t>(wanted))) {
            nextDelayPass_ = pass_ + notice;
            nextDelay_ = wanted;
        }
    }
    if (nextDelayPass_ >= 0 && pass_ >= nextDelayPass_) {
        if (nextDelay_ != delay_) ++delayChanges_;
        delay_ = nextDelay_;
        nextDelayPass_ = -1;
    }
}
