#pragma once
#include <cstdint>

#include "io/OnlineTape.h"
#include "match/Match.h"
#include "match/RollbackSession.h"
#include "net/PassExchange.h"

// A rollback session's game on an online tape, and back.

// Recording: the passes `session` confirmed since pass `*taped`, up to
// `limit`, both players' keys, with the state hashes it handed over where
// they fall.
void TapeConfirmedPasses(const RollbackSession& session, int32_t limit, OnlineTape* tape, int32_t* taped);

// A recorded online game as the session's other side: both players' keys
// come from the recording (this side's through NextPass, the other's as
// the peer's inputs), and the session's state hashes are compared with the
// recorded ones. It never makes the session wait or predict.
class TapeExchange : public PassExchange {
public:
    void Begin(OnlineTape* tape, const Match* match);
    // The recording's next pass: the other player's keys held for the
    // session, `local`'s returned. False when no pass comes next.
    bool NextPass(int32_t local, uint8_t* localKeys);
    void SetLost() { lost_ = true; }

    bool InPlay() const override { return !lost_ && !tape_->OutOfStep(); }
    bool SendInput(const NetInput&) override { return true; }
    uint32_t PeerPasses() const override { return passes_; }
    bool PeerInput(uint32_t pass, NetInput* input) const override;
    void SendHash(uint32_t pass, uint64_t hash) override;
    uint32_t SurePasses() const override { return passes_; }

private:
    static constexpr uint32_t kRing = 64;
    OnlineTape* tape_ = nullptr;
    const Match* match_ = nullptr;
    uint8_t remote_[kRing] = {};
    uint32_t passes_ = 0;
    bool lost_ = false;
};
