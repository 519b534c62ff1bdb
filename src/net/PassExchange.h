#pragma once
#include <cstdint>

#include "net/NetProtocol.h"

// What a rollback session needs of the other side of a match: a place for
// this side's input of each pass, the other side's inputs as they come,
// and a judge of the state hashes. NetPeer is the other game over a link;
// a recorded online game is another (it serves both players' recorded
// keys and compares the hashes with the recorded ones).
class PassExchange {
public:
    virtual ~PassExchange() = default;
    // The exchange goes on (false: the link went, the peer left, or the
    // hashes differed).
    virtual bool InPlay() const = 0;
    // This side's input for its next pass; false when it cannot go yet.
    virtual bool SendInput(const NetInput& input) = 0;
    // The other side's passes held (every pass below), and one of them.
    virtual uint32_t PeerPasses() const = 0;
    virtual bool PeerInput(uint32_t pass, NetInput* input) const = 0;
    // The state hash after `pass` passes, to be compared.
    virtual void SendHash(uint32_t pass, uint64_t hash) = 0;

    // The passes both sides are known to hold (both players' keys of every
    // pass below): once the exchange is over, the pass both games end on.
    virtual uint32_t SurePasses() const = 0;
    // Whether a goodbye named that pass (both sides know it exactly); false
    // when the link went silent and each side only knows what the other had
    // acknowledged: both then end on the last whole hundred of passes (or
    // level end) below it, alike on both but where the two straddle one.
    virtual bool EndNamed() const { return true; }
    // The round trip to the other side (ms; 0 when there is none or it is
    // not known yet).
    virtual uint32_t RoundTripMs() const { return 0; }
    // The host's input delay from a pass on, sent to the other side; and
    // the newest change the other side announced (false: none).
    virtual bool AnnounceDelay(uint32_t /*pass*/, uint8_t /*delay*/) { return false; }
    virtual bool PeerDelay(uint32_t* /*pass*/, uint8_t* /*delay*/) const { return false; }
};
