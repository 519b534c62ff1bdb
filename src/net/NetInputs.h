#pragma once
#include <cstddef>
#include <cstdint>

#include "net/NetProtocol.h"

// Both sides' input records of a match, as they travel: this side's, kept
// until the peer acknowledges them and sent again in every inputs packet
// until then (so a lost packet costs nothing while a later one arrives),
// and the peer's, kept in order as they come. Fixed rings, no allocation.
class NetInputQueue {
public:
    // Passes of this side's input that may wait for an acknowledgement, and
    // of the peer's that are kept for reading.
    static constexpr uint32_t kCapacity = kNetPassWindow;

    void Reset() { *this = NetInputQueue(); }

    // This side's input for its next pass (LocalPasses()). False when
    // kCapacity passes already wait for the peer's acknowledgement: the
    // match must wait.
    bool AddLocal(const NetInput& input);
    uint32_t LocalPasses() const { return localPasses_; }

    // The inputs packets to send now, `index` 0, 1, ...: this side's passes
    // from the peer's acknowledgement on, kNetMaxInputsPerPacket a packet,
    // each with the acknowledgement of the peer's. When none of ours waits,
    // the first is an acknowledgement alone (no records), every later one
    // false. Sent together (one datagram), they cover a round
    // trip longer than kNetMaxInputsPerPacket passes.
    bool NextPacket(NetPacket* packet, uint32_t index = 0) const;

    // Takes an inputs packet the reader accepted against Window(): the
    // records that continue the peer's passes held, and the acknowledgement.
    void Take(const NetInputs& inputs);

    // The peer's passes held: every pass below this one.
    uint32_t PeerPasses() const { return peerPasses_; }
    // The peer's input of a pass held and not yet fallen out of the ring.
    bool PeerInput(uint32_t pass, NetInput* input) const;
    // The newest acknowledgement the peer sent.
    uint32_t PeerAck() const { return peerAck_; }

    // What the packet reader checks a packet against.
    NetWindow Window() const { return {peerPasses_, localPasses_, peerAck_}; }

private:
    NetInput local_[kCapacity];
    NetInput peer_[kCapacity];
    uint32_t localPasses_ = 0;
    uint32_t peerPasses_ = 0;
    uint32_t peerAck_ = 0;
};
