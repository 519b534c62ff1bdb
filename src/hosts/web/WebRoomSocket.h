#pragma once
#include <cstddef>
#include <cstdint>

#include "net/DatagramPort.h"
#include "net/NetLink.h"
#include "net/RoomProtocol.h"

// The page's way to its room server (docs/net-protocol.md, "Rooms"): a
// page cannot send UDP, so the link's datagrams go over one WebSocket to
// the world server's /api/v1/rooms/socket (ws: or wss: as the world
// server's own scheme), each binary message one room message. The link on
// it (net/UdpLink) reaches the server alone: every other game is met
// through the server's relay, its handshake and seals end to end as ever.
//
// Messages land in a ring of fixed slots as the browser hands them over;
// one larger than a room message, a text message, or one with the ring full
// is dropped and counted (the link sends again what matters). Sending
// waits for nothing: while the socket opens, or while the browser holds
// more than kWebRoomBufferedMost bytes unsent, a datagram is dropped, as
// the network would drop it. When the socket closes, or cannot open, the
// port says so (Broken), with what the server's close code means, and the
// link gives up at once in those words.
class WebRoomSocket final : public DatagramPort {
public:
    WebRoomSocket() = default;
    ~WebRoomSocket() override { WebRoomSocket::Close(); }
    WebRoomSocket(const WebRoomSocket&) = delete;
    WebRoomSocket& operator=(const WebRoomSocket&) = delete;

    // Only a room's use opens (Listen and Join need UDP); false when no
    // world server is known to the page.
    bool Open(DatagramUse use, int family, uint16_t port) override;
    void Close() override;
    bool IsOpen() const override { return open_; }
    int Family() const override;
    uint16_t LocalPort() const override { return 0; }
    void Send(const uint8_t* bytes, size_t size, const UdpAddress& to, bool shortLived) override;
    long Receive(uint8_t* buffer, size_t capacity, UdpAddress* from) override;
    void Wait(uint32_t) override {}  // the page never blocks: the frame loop gives the browser its turn
    bool FindServer(const char* host, uint16_t port, UdpAddress* out, const char** why) override;
    bool ServerOnly() const override { return true; }
    const char* Broken() const override { return broken_[0] != '\0' ? broken_ : nullptr; }

    // What the browser handed over (the glue calls it): one message of
    // `size` bytes, in Staging(). False when refused.
    bool Arrived(size_t size);
    uint8_t* Staging() { return staging_; }
    // The socket closed (the glue calls it): the close code (1006: none
    // came), and whether it had opened first.
    void Closed(int code, bool opened);

    struct Counts {
        uint32_t taken = 0;
        uint32_t refused = 0;  // too large, text, or the ring full
        uint32_t sent = 0;
        uint32_t unsent = 0;  // the socket not open, or the browser's buffer full
    };
    Counts GetCounts() const { return counts_; }

private:
    static constexpr int kSlots = 128;
    struct Slot {
        uint8_t bytes[kRoomMaxMessageBytes];
        uint16_t size;
    };
    UdpAddress ServerAddress() const;

    bool open_ = false;
    Slot slots_[kSlots] = {};
    int head_ = 0;
    int count_ = 0;
    uint8_t staging_[kRoomMaxMessageBytes] = {};
    char broken_[kNetFailureBytes] = {};  // why the socket ended, in words; "" while it stands
    Counts counts_;
};

// The browser's unsent bytes past which a datagram is dropped: a second of
// a game's relayed traffic, many times over.
constexpr int kWebRoomBufferedMost = 64 * 1024;
