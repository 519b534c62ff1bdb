#include "net/NetInputs.h"

bool NetInputQueue::AddLocal(const NetInput& input) {
    if (localPasses_ - peerAck_ >= kCapacity || localPasses_ == UINT32_MAX) return false;
    local_[localPasses_ % kCapacity] = input;
    ++localPasses_;
    return true;
}

bool NetInputQueue::NextPacket(NetPacket* packet, uint32_t index) const {
    if (index >= kCapacity / kNetMaxInputsPerPacket) return false;
    const uint32_t first = peerAck_ + index * kNetMaxInputsPerPacket;
    packet->kind = NetKind::Inputs;
    NetInputs& in = packet->inputs;
    if (first >= localPasses_) {
        // Nothing of ours waits: the first packet still says what we hold,
        // so that a peer whose earlier word of it was lost sends on.
        if (index > 0) return false;
        in.firstPass = localPasses_;
        in.count = 0;
        in.have = peerPasses_;
        return true;
    }
    in.firstPass = first;
    const uint32_t waiting = localPasses_ - first;
    in.count = static_cast<uint8_t>(waiting < kNetMaxInputsPerPacket ? waiting : kNetMaxInputsPerPacket);
    in.have = peerPasses_;
    for (uint8_t i = 0; i < in.count; ++i) in.inputs[i] = local_[(in.firstPass + i) % kCapacity];
    return true;
}

void NetInputQueue::Take(const NetInputs& in) {
    // Only what continues the passes held; the ring never overwrites a
    // pass the match may still read (kCapacity behind the newest).
    for (uint8_t i = 0; i < in.count; ++i) {
        const uint32_t pass = in.firstPass + i;
        if (pass != peerPasses_) continue;
        peer_[pass % kCapacity] = in.inputs[i];
        ++peerPasses_;
    }
    if (in.have > peerAck_ && in.have <= localPasses_) peerAck_ = in.have;
}

bool NetInputQueue::PeerInput(uint32_t pass, NetInput* input) const {
    if (pass >= peerPasses_ || peerPasses_ - pass > kCapacity) return false;
    *input = peer_[pass % kCapacity];
    return true;
}
