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
};
