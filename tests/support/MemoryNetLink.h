#pragma once
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "net/NetLink.h"
#include "net/NetPeer.h"

// Two games' links joined in memory, with time counted in the test's loop
// passes (Tick). Each packet sent unreliably is lost (one in `lossPercent`
// a hundred) or arrives after the latency and a random part of the jitter,
// so later ones overtake earlier ones; reliable ones are never lost and
// keep their order. Fixed arrays: nothing is allocated per packet.
class MemoryWire {
public:
    MemoryWire(int latency, int jitter, int lossPercent, uint32_t seed)
        : latency_(latency), jitter_(jitter), loss_(lossPercent), seed_(seed) {}
    void Put(const uint8_t* bytes, size_t size, bool reliable) {
        if (size > kNetMaxPacketBytes || count_ == kSlots) return;
        if (!reliable && static_cast<int>(Next() % 100) < loss_) return;
        int64_t at = now_ + latency_ + (jitter_ > 0 ? static_cast<int>(Next() % (jitter_ + 1)) : 0);
        if (reliable) {
            if (at < lastReliable_) at = lastReliable_;
            lastReliable_ = at;
        }
        for (Slot& slot : slots_) {
            if (slot.used) continue;
            slot = Slot{true, at, order_++, size, {}};
            std::memcpy(slot.bytes, bytes, size);
            ++count_;
            return;
        }
    }
    // The earliest packet due (the first sent among those due alike).
    bool Take(NetDatagram* out) {
        Slot* due = nullptr;
        for (Slot& slot : slots_)
            if (slot.used && slot.at <= now_ &&
                (due == nullptr || slot.at < due->at || (slot.at == due->at && slot.order < due->order)))
                due = &slot;
        if (due == nullptr) return false;
        std::memcpy(out->bytes, due->bytes, due->size);
        out->size = due->size;
        due->used = false;
        --count_;
        return true;
    }
    void Tick() { ++now_; }

private:
    static constexpr int kSlots = 256;
    struct Slot {
        bool used;
        int64_t at;
        uint64_t order;
        size_t size;
        uint8_t bytes[kNetMaxPacketBytes];
    };
    uint32_t Next() {
        seed_ = seed_ * 1103515245u + 12345u;
        return seed_ >> 8;
    }
    Slot slots_[kSlots] = {};
    int count_ = 0;
    uint64_t order_ = 0;
    int latency_, jitter_, loss_;
    uint32_t seed_;
    int64_t now_ = 0;
    int64_t lastReliable_ = 0;
};

// One game's end of two wires. `Cut` makes it as if the peer went silent
// and the link gave up on it.
class MemoryNetLink : public NetLink {
public:
    MemoryNetLink(MemoryWire* out, MemoryWire* in) : out_(out), in_(in) {}
    bool Host(uint16_t /*port*/) override { return Open(); }
    bool Join(const char* /*address*/) override { return Open(); }
    void Close(uint32_t /*flushMs*/) override { state_ = NetLinkState::Closed; }
    bool Send(const uint8_t* data, size_t size, bool reliable) override {
        if (state_ != NetLinkState::Connected) return false;
        out_->Put(data, size, reliable);
        ++counts_.sent;
        return true;
    }
    int Poll(NetDatagram* out, int capacity, uint32_t /*waitMs*/) override {
        int n = 0;
        while (state_ == NetLinkState::Connected && n < capacity && in_->Take(&out[n])) ++n;
        counts_.received += static_cast<uint32_t>(n);
        return n;
    }
    void Flush() override {}
    NetLinkState State() const override { return state_; }
    uint32_t RoundTripMs() const override { return 0; }
    const char* Failure() const override {
        return state_ == NetLinkState::Lost ? "the other game went silent"
                                            : (state_ == NetLinkState::Failed ? failure_ : "");
    }
    NetLinkCounts Counts() const override { return counts_; }
    void Cut() { state_ = NetLinkState::Lost; }

    // A room as the test has the server say it: asked for (Room), then
    // each stage the test sets; Pair links it up with the role given.
    bool Room(const NetRoomAsk& ask) override {
        asked = ask;
        ++roomAsks;
        room_ = NetRoomState();
        room_.stage = NetRoomStage::Asking;
        state_ = NetLinkState::Connecting;
        return true;
    }
    NetRoomState RoomState() const override { return room_; }
    NetPath Path() const override { return state_ == NetLinkState::Connected ? path : NetPath::None; }
    void SetRoom(NetRoomStage stage, const char* code, uint16_t waitSeconds = 600) {
        room_.stage = stage;
        std::snprintf(room_.code, sizeof room_.code, "%s", code);
        room_.waitSeconds = waitSeconds;
    }
    void Pair(NetRoomRole role) {
        room_.role = role;
        room_.stage = NetRoomStage::Punching;
        state_ = NetLinkState::Connected;
    }
    void RefuseRoom(const char* words) {
        room_ = NetRoomState();
        std::snprintf(room_.refusal, sizeof room_.refusal, "%s", words);
        std::snprintf(failure_, sizeof failure_, "%s", words);
        state_ = NetLinkState::Failed;
    }
    NetRoomAsk asked;
    int roomAsks = 0;
    NetPath path = NetPath::Direct;

private:
    bool Open() {
        state_ = NetLinkState::Connected;
        return true;
    }
    MemoryWire* out_;
    MemoryWire* in_;
    NetLinkState state_ = NetLinkState::Closed;
    NetLinkCounts counts_;
    NetRoomState room_;
    char failure_[kNetFailureBytes] = {};
};

// A host and a joiner greeted over the links (already open): both Playing,
// or false after `passes` passes of the loop.
inline bool GreetPeers(NetPeer* host, MemoryNetLink* hostLink, NetPeer* joiner, MemoryNetLink* joinLink,
                       MemoryWire* toJoiner, MemoryWire* toHost, const NetHello& hostHello, uint8_t delay,
                       int passes = 200) {
    NetWelcome welcome;
    welcome.host = hostHello;
    welcome.inputDelay = delay;
    welcome.seed = 1;
    hostLink->Host(0);
    joinLink->Join("memory");
    host->StartHost(hostLink, welcome);
    NetHello hello = hostHello;
    std::snprintf(hello.name, sizeof hello.name, "JOINER");
    hello.inputDelay = delay;
    joiner->StartJoin(joinLink, hello);
    for (int i = 0; i < passes; ++i) {
        host->Update(static_cast<uint32_t>(i * 10));
        joiner->Update(static_cast<uint32_t>(i * 10));
        toJoiner->Tick();
        toHost->Tick();
        if (host->GetState() == NetPeer::State::Playing && joiner->GetState() == NetPeer::State::Playing) return true;
    }
    return false;
}
