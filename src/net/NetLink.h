#pragma once
#include <cstddef>
#include <cstdint>

#include "net/NetAddress.h"
#include "net/NetProtocol.h"
#include "net/RoomProtocol.h"
#include "platform/NetDefaults.h"

// The way to the other game: packets out, packets in, and whether the peer
// is still there. One peer only; what comes from anyone else is never seen.
// net/UdpLink is the one over the network; a test may put its own in.

enum class NetLinkState : uint8_t {
    Closed,      // nothing started, or closed
    Listening,   // a host waiting for its peer
    Connecting,  // joining, no answer yet
    Connected,
    Lost,    // the peer went (left, refused, or silent too long): Failure says which
    Failed,  // could not start (a port taken, an address unknown): Failure says why
};

// A packet from the peer, at most kNetMaxPacketBytes (longer ones are dropped
// and counted).
struct NetDatagram {
    uint8_t bytes[kNetMaxPacketBytes];
    size_t size = 0;
};

struct NetLinkCounts {
    uint32_t sent = 0;
    uint32_t received = 0;
    uint32_t dropped = 0;    // too long, a repeat the network made, or no room
    uint32_t forged = 0;     // from the peer's address but failing authentication, or replayed
    uint32_t strangers = 0;  // from anyone else, refused unanswered
    uint32_t server = 0;     // from the room server's address but no valid room message, refused
};

// A link's failure in words, with its terminating zero.
constexpr size_t kNetFailureBytes = 200;

// Meeting the other player through a room of a voidcrawl-server
// (docs/net-protocol.md, "Rooms"): the server pairs two games, tells each
// the other's public address, and relays the link's sealed datagrams when
// no direct path opens.
enum class NetRoomMode : uint8_t {
    Create,  // a new room; this game hosts it and shows its code
    Join,    // the room of a code; this game joins its host
    Quick,   // any waiting game of the same version, levels and difficulty; the server says who hosts
};

// What a link asks the room server for.
struct NetRoomAsk {
    char serverHost[kNetHostNameBytes] = {};  // a name or a numeric address
    uint16_t serverPort = 0;                  // UDP, the server's HTTP port number
    NetRoomMode mode = NetRoomMode::Create;
    char code[kRoomCodeBytes] = {};  // Join: the room's code
    char gameVersion[kNetVersionBytes] = {};
    uint64_t dataHash = 0;
    uint8_t difficulty = 0;  // 0..2: a quick match pairs only games of one difficulty
};

enum class NetRoomStage : uint8_t {
    None,      // no room asked for (or the ask failed: Failure says why)
    Asking,    // the server has not answered yet
    Waiting,   // the room waits for its second player
    Pairing,   // both are in; the host is about to punch, the joiner waits for its address
    Punching,  // the paths open: the host punched, the joiner joins (directly, or through the relay)
    Playing,   // the link to the other game stands
};
enum class NetRoomRole : uint8_t { None, Host, Joiner };

struct NetRoomState {
    NetRoomStage stage = NetRoomStage::None;
    NetRoomRole role = NetRoomRole::None;
    char code[kRoomCodeBytes] = {};       // "" until the server names the room
    uint16_t waitSeconds = 0;             // waiting: how long the room may still wait, as the server last said
    char refusal[kNetFailureBytes] = {};  // the server's refusal (or silence), in words; "" none
};

// Which way the link's datagrams go to the peer.
enum class NetPath : uint8_t {
    None,     // no peer yet
    Direct,   // straight to the peer's address
    Relayed,  // through the room server's relay
};

class NetLink {
public:
    virtual ~NetLink() = default;
    // Listens on `port` (0: any free one) for one peer, or joins
    // "HOST[:PORT]"; false (state Failed) with the reason in Failure. Close
    // says goodbye (sending what is queued, for up to `flushMs`) and ends
    // either; the link can start again after it.
    virtual bool Host(uint16_t port) = 0;
    virtual bool Join(const char* address) = 0;
    virtual void Close(uint32_t flushMs) = 0;
    // The host has taken a valid greeting from the peer: the link keeps it
    // (until then it may give way to a newer one).
    virtual void Confirm() {}
    // The host has refused the peer's greeting: what is queued for it goes
    // (its refusal), it is dropped, and the link waits on for the others.
    // False when the link cannot (the caller closes it and hosts again).
    virtual bool Reject() { return false; }
    // Sends a packet to the peer: `reliable` in order and again until it
    // arrives, else once and in no order. False when there is no peer.
    virtual bool Send(const uint8_t* data, size_t size, bool reliable) = 0;
    // Sends what is queued, takes what arrived, and fills up to `capacity`
    // packets from the peer into `out`, oldest first; their count. Waits up
    // to `waitMs` for the first when none is there. The state follows.
    virtual int Poll(NetDatagram* out, int capacity, uint32_t waitMs) = 0;
    // Puts what Send queued on the wire now, rather than at the next Poll.
    virtual void Flush() = 0;
    virtual NetLinkState State() const = 0;
    // The round trip the link measures (ms); 0 before it knows.
    virtual uint32_t RoundTripMs() const = 0;
    // Why the link was lost or failed, in words; "" otherwise.
    virtual const char* Failure() const = 0;
    virtual NetLinkCounts Counts() const = 0;

    // Meets the other player through a room server (instead of Host or
    // Join): false (state Failed) when the link has no rooms or cannot
    // start; the server's answers come through Poll. Once the server
    // pairs, the link hosts or joins as RoomState's role says.
    virtual bool Room(const NetRoomAsk& /*ask*/) { return false; }
    virtual NetRoomState RoomState() const { return {}; }
    // The way to the peer (None before a link stands).
    virtual NetPath Path() const { return NetPath::None; }
    // The room's live feed (its host's only; docs/net-protocol.md,
    // "Rooms"): `count` (1 .. kRoomMaxFeedBytes) bytes of the recording at
    // `offset` to the room server, `final` for the final header. False
    // when this link has no room it hosts.
    virtual bool SendFeed(uint32_t /*offset*/, const uint8_t* /*bytes*/, size_t /*count*/, bool /*final*/) {
        return false;
    }
    // The server's newest FeedAck since the last call: false when none came.
    virtual bool TakeFeedAck(uint32_t* /*offset*/, uint8_t* /*flags*/) { return false; }
    // Whether the link reaches a room server alone (a browser's, over its
    // WebSocket): it cannot Host or Join, and meets every peer through the
    // server's relay.
    virtual bool RoomsOnly() const { return false; }
};

constexpr uint32_t kNetTimeoutMs = 5000;  // nothing from the peer this long: lost
