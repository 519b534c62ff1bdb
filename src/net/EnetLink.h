#pragma once
#include <cstddef>
#include <cstdint>

#include "net/NetLink.h"

struct _ENetHost;
struct _ENetPeer;

// The link over UDP through ENet (docs/net-protocol.md). ENet's host is
// made when hosting or joining starts and freed by Close, never per pass.
// Reliable packets go on channel 0, the others unsequenced on channel 1.
class EnetLink : public NetLink {
public:
    EnetLink() = default;
    ~EnetLink() override;
    EnetLink(const EnetLink&) = delete;
    EnetLink& operator=(const EnetLink&) = delete;

    // Listens on `port` of every address (0: a free one, see Port) for one
    // peer; a second is turned away. False (state Failed) with the reason.
    bool Host(uint16_t port) override;
    // Connects to "HOST[:PORT]". False (state Failed) with the reason when
    // the address is malformed or unknown; the answer comes through Poll.
    bool Join(const char* address) override;
    // Says goodbye to the peer (what is queued is sent first, for up to
    // `flushMs`) and frees ENet's host.
    void Close(uint32_t flushMs = 200) override;
    // The silence after which the peer counts as lost (kNetTimeoutMs).
    void SetTimeout(uint32_t ms) { timeoutMs_ = ms; }
    // The port the link listens on (a host's), or its own (a joining side's).
    uint16_t Port() const;

    bool Send(const uint8_t* data, size_t size, bool reliable) override;
    int Poll(NetDatagram* out, int capacity, uint32_t waitMs) override;
    void Flush() override;
    NetLinkState State() const override { return state_; }
    uint32_t RoundTripMs() const override;
    const char* Failure() const override { return failure_; }
    NetLinkCounts Counts() const override { return counts_; }

private:
    bool Start(bool host, uint16_t port, const char* address);
    void Fail(NetLinkState state, const char* format, ...);
    void Release();

    _ENetHost* host_ = nullptr;
    _ENetPeer* peer_ = nullptr;
    NetLinkState state_ = NetLinkState::Closed;
    uint32_t timeoutMs_ = kNetTimeoutMs;
    uint32_t lastHeard_ = 0;  // ENet's clock when the peer was last heard
    NetLinkCounts counts_;
    char failure_[160] = {};
};

// ENet's allocations that went to the heap since the program began: those
// of starting a link, never those of play.
uint64_t EnetHeapAllocations();
