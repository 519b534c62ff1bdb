#include "match/SessionTape.h"

void TapeConfirmedPasses(const RollbackSession& session, int32_t limit, OnlineTape* tape, int32_t* taped) {
    const int32_t confirmed = session.Confirmed() < limit ? session.Confirmed() : limit;
    while (*taped < confirmed && tape->Recording()) {
        uint8_t keys[2];
        session.ConfirmedKeys(*taped, keys);
        tape->Pass(keys);
        ++*taped;
        for (int32_t slot = 0; slot < RollbackSession::kKeptStates; ++slot)
            if (session.KeptPasses(slot) == *taped) tape->Hash(session.KeptHash(slot));
    }
}

void TapeExchange::Begin(OnlineTape* tape, const Match* match) {
    tape_ = tape;
    match_ = match;
    passes_ = 0;
    lost_ = false;
}

bool TapeExchange::NextPass(int32_t local, uint8_t* localKeys) {
    uint8_t keys[2];
    if (!tape_->TakePass(keys)) return false;
    remote_[passes_ % kRing] = keys[1 - local];
    ++passes_;
    *localKeys = keys[local];
    return true;
}

bool TapeExchange::PeerInput(uint32_t pass, NetInput* input) const {
    if (pass >= passes_ || passes_ - pass > kRing) return false;
    *input = ToNetInput(remote_[pass % kRing]);
    // A recording is never ahead or behind: the session never stands still.
    input->extra[1] = RollbackSession::kAdvantageNotKnown;
    return true;
}

void TapeExchange::SendHash(uint32_t pass, uint64_t hash) {
    tape_->TakeHash(pass, hash, static_cast<uint8_t>(match_->levelIndex + 1));
}
