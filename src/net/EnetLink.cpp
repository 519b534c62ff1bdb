#include "net/EnetLink.h"

#include <enet/enet.h>

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The connect request's data: a VoidCrawl link, this protocol version.
constexpr enet_uint32 kConnectData = 0x564E0000u | kNetProtocolVersion;
// A disconnection's data: why.
enum DisconnectReason : enet_uint32 {
    kDisconnectNone = 0,  // ENet's own: the peer timed out
    kDisconnectBye = 1,
    kDisconnectBusy = 2,
    kDisconnectStranger = 3,
};
constexpr enet_uint8 kReliableChannel = 0;
constexpr enet_uint8 kUnreliableChannel = 1;
constexpr size_t kChannels = 2;
constexpr uint32_t kPingMs = 500;

// ENet's clock wraps; it is compared as ENet does.
uint32_t Since(enet_uint32 now, enet_uint32 then) { return static_cast<uint32_t>(now - then); }

// ENet allocates for every packet sent and received (the packet, its
// command, its acknowledgement), all small: those come from a fixed pool
// of blocks, so that play allocates nothing from one pass to the next. A
// larger request (a host's tables, made when hosting or joining starts)
// or one the pool cannot meet goes to the heap, and is counted.
constexpr size_t kBlockBytes = 256;
constexpr size_t kBlocks = 1024;
alignas(std::max_align_t) uint8_t blocks[kBlocks][kBlockBytes];
uint16_t freeBlocks[kBlocks];
size_t freeCount = 0;
uint64_t heapAllocations = 0;

void* PoolMalloc(size_t size) {
    if (size <= kBlockBytes && freeCount > 0) return blocks[freeBlocks[--freeCount]];
    ++heapAllocations;
    return std::malloc(size);
}

void PoolFree(void* memory) {
    const auto* p = static_cast<const uint8_t*>(memory);
    if (p >= &blocks[0][0] && p < &blocks[0][0] + sizeof blocks) {
        freeBlocks[freeCount++] = static_cast<uint16_t>((p - &blocks[0][0]) / kBlockBytes);
        return;
    }
    std::free(memory);
}

bool EnetReady() {
    static const bool ready = [] {
        for (size_t i = 0; i < kBlocks; ++i) freeBlocks[i] = static_cast<uint16_t>(kBlocks - 1 - i);
        freeCount = kBlocks;
        ENetCallbacks callbacks = {};
        callbacks.malloc = PoolMalloc;
        callbacks.free = PoolFree;
        if (enet_initialize_with_callbacks(ENET_VERSION, &callbacks) != 0) return false;
        std::atexit(enet_deinitialize);
        return true;
    }();
    return ready;
}

}  // namespace

uint64_t EnetHeapAllocations() { return heapAllocations; }

// This class's own Close: a destructor reaches no override.
EnetLink::~EnetLink() { EnetLink::Close(0); }

void EnetLink::Fail(NetLinkState state, const char* format, ...) {
    state_ = state;
    va_list args;
    va_start(args, format);
    std::vsnprintf(failure_, sizeof failure_, format, args);
    va_end(args);
}

void EnetLink::Release() {
    if (host_ != nullptr) enet_host_destroy(host_);
    host_ = nullptr;
    peer_ = nullptr;
}

bool EnetLink::Host(uint16_t port) { return Start(true, port, nullptr); }

bool EnetLink::Join(const char* address) { return Start(false, 0, address); }

bool EnetLink::Start(bool hosting, uint16_t port, const char* address) {
    Close(0);
    failure_[0] = '\0';
    counts_ = {};
    if (!EnetReady()) {
        Fail(NetLinkState::Failed, "the network cannot be used (ENet did not start)");
        return false;
    }
    ENetAddress at{};
    char name[kNetHostNameBytes];
    if (!hosting) {
        const char* why = nullptr;
        if (!ParseNetAddress(address, name, sizeof name, &port, &why)) {
            Fail(NetLinkState::Failed, "cannot join '%s': %s", address != nullptr ? address : "", why);
            return false;
        }
        if (enet_address_set_host(&at, name) != 0) {
            Fail(NetLinkState::Failed, "cannot join '%s': no such host", name);
            return false;
        }
        at.port = port;
    } else {
        at.host = ENET_HOST_ANY;
        at.port = port;
    }
    // A host keeps a second slot only to turn a second peer away.
    host_ = enet_host_create(hosting ? &at : nullptr, hosting ? 2 : 1, kChannels, 0, 0);
    if (host_ == nullptr) {
        if (hosting)
            Fail(NetLinkState::Failed, "cannot listen on UDP port %u (is another program using it?)",
                 static_cast<unsigned>(port));
        else
            Fail(NetLinkState::Failed, "cannot open a UDP socket");
        return false;
    }
    // No peer may make this side hold more than a few packets' worth.
    host_->maximumPacketSize = 4096;
    host_->maximumWaitingData = 64 * 1024;
    lastHeard_ = enet_time_get();
    if (hosting) {
        state_ = NetLinkState::Listening;
        return true;
    }
    peer_ = enet_host_connect(host_, &at, kChannels, kConnectData);
    if (peer_ == nullptr) {
        Release();
        Fail(NetLinkState::Failed, "cannot join '%s': ENet has no room for a connection", name);
        return false;
    }
    enet_peer_timeout(peer_, 0, timeoutMs_, timeoutMs_);
    state_ = NetLinkState::Connecting;
    return true;
}

void EnetLink::Close(uint32_t flushMs) {
    if (host_ != nullptr && peer_ != nullptr && state_ == NetLinkState::Connected) {
        enet_peer_disconnect_later(peer_, kDisconnectBye);
        // Let the goodbye (and what was queued before it) go out.
        ENetEvent event;
        const enet_uint32 start = enet_time_get();
        while (Since(enet_time_get(), start) < flushMs && enet_host_service(host_, &event, 10) >= 0) {
            if (event.type == ENET_EVENT_TYPE_RECEIVE) enet_packet_destroy(event.packet);
            if (event.type == ENET_EVENT_TYPE_DISCONNECT && event.peer == peer_) break;
        }
    }
    Release();
    if (state_ != NetLinkState::Failed && state_ != NetLinkState::Lost) state_ = NetLinkState::Closed;
}

uint16_t EnetLink::Port() const { return host_ != nullptr ? host_->address.port : 0; }

uint32_t EnetLink::RoundTripMs() const {
    return peer_ != nullptr && state_ == NetLinkState::Connected ? peer_->roundTripTime : 0;
}

bool EnetLink::Send(const uint8_t* data, size_t size, bool reliable) {
    if (state_ != NetLinkState::Connected || peer_ == nullptr || size == 0 || size > kNetMaxPacketBytes) return false;
    ENetPacket* packet =
        enet_packet_create(data, size, reliable ? ENET_PACKET_FLAG_RELIABLE : ENET_PACKET_FLAG_UNSEQUENCED);
    if (packet == nullptr) return false;
    if (enet_peer_send(peer_, reliable ? kReliableChannel : kUnreliableChannel, packet) != 0) {
        enet_packet_destroy(packet);
        return false;
    }
    ++counts_.sent;
    return true;
}

void EnetLink::Flush() {
    if (host_ != nullptr) enet_host_flush(host_);
}

int EnetLink::Poll(NetDatagram* out, int capacity, uint32_t waitMs) {
    if (host_ == nullptr) return 0;
    int got = 0;
    ENetEvent event;
    uint32_t wait = waitMs;
    while (got < capacity && host_ != nullptr && enet_host_service(host_, &event, wait) > 0) {
        wait = 0;
        switch (event.type) {
        case ENET_EVENT_TYPE_CONNECT:
            if (state_ == NetLinkState::Listening && peer_ == nullptr) {
                if (event.data != kConnectData) {
                    enet_peer_disconnect_now(event.peer, kDisconnectStranger);
                    ++counts_.dropped;
                    break;
                }
                peer_ = event.peer;
                enet_peer_timeout(peer_, 0, timeoutMs_, timeoutMs_);
            } else if (event.peer != peer_) {
                enet_peer_disconnect(event.peer, kDisconnectBusy);
                ++counts_.dropped;
                break;
            }
            // ENet would drop a share of unsequenced packets when the line
            // worsens; inputs are few and small, and each one counts.
            enet_peer_throttle_configure(peer_, ENET_PEER_PACKET_THROTTLE_INTERVAL,
                                         ENET_PEER_PACKET_THROTTLE_ACCELERATION, 0);
            // Pings often enough that a live peer is heard well within the timeout.
            enet_peer_ping_interval(peer_, timeoutMs_ / 4 < kPingMs ? timeoutMs_ / 4 : kPingMs);
            state_ = NetLinkState::Connected;
            lastHeard_ = enet_time_get();
            break;
        case ENET_EVENT_TYPE_RECEIVE:
            if (event.peer != peer_ || event.packet->dataLength > kNetMaxPacketBytes) {
                ++counts_.dropped;
            } else {
                std::memcpy(out[got].bytes, event.packet->data, event.packet->dataLength);
                out[got].size = event.packet->dataLength;
                ++got;
                ++counts_.received;
                lastHeard_ = enet_time_get();
            }
            enet_packet_destroy(event.packet);
            break;
        case ENET_EVENT_TYPE_DISCONNECT:
            if (event.peer != peer_) break;  // a second peer turned away
            peer_ = nullptr;
            if (event.data == kDisconnectBye)
                Fail(NetLinkState::Lost, "the other player left");
            else if (event.data == kDisconnectBusy)
                Fail(NetLinkState::Lost, "the host is already playing with someone else");
            else if (event.data == kDisconnectStranger)
                Fail(NetLinkState::Lost, "the host is not a VoidCrawl game of this version");
            else if (state_ == NetLinkState::Connecting)
                Fail(NetLinkState::Lost, "no answer from the host");
            else  // ENet's own timeout
                Fail(NetLinkState::Lost, "nothing heard from the other game for %g s", timeoutMs_ / 1000.0);
            break;
        default:
            break;
        }
    }
    // Silence: nothing from the peer, not even an acknowledgement of ENet's
    // own pings, for the whole timeout.
    if (peer_ != nullptr && (state_ == NetLinkState::Connected || state_ == NetLinkState::Connecting)) {
        const enet_uint32 now = enet_time_get();
        enet_uint32 heard = lastHeard_;
        if (peer_->lastReceiveTime != 0 && Since(peer_->lastReceiveTime, heard) < 0x80000000u)
            heard = peer_->lastReceiveTime;
        if (Since(now, heard) >= timeoutMs_) {
            enet_peer_reset(peer_);
            peer_ = nullptr;
            if (state_ == NetLinkState::Connecting)
                Fail(NetLinkState::Lost, "no answer from the host in %g s", timeoutMs_ / 1000.0);
            else
                Fail(NetLinkState::Lost, "nothing heard from the other game for %g s", timeoutMs_ / 1000.0);
        }
    }
    return got;
}
