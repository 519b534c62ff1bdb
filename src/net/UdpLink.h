#pragma once
#include <cstddef>
#include <cstdint>

#include "net/DatagramPort.h"
#include "net/NetLink.h"
#include "net/RoomProtocol.h"

// Whether two addresses are the same path: the same IP address (IPv4 alike
// in either form) and port, both relayed or neither.
bool SameUdpAddress(const UdpAddress& a, const UdpAddress& b);
// The address as a socket of `family` (AF_INET6: IPv4 mapped; AF_INET:
// mapped IPv4 unmapped; 0: as it is) sends to it.
UdpAddress UdpAddressForSocket(const UdpAddress& a, int family);
// Whether a datagram is a room's punch (which a link ignores).
bool IsRoomPunch(const uint8_t* data, size_t size);
// The link's clock (steady, ms) and libsodium, started once, for its files.
uint32_t UdpLinkNowMs();
bool UdpLinkSodiumReady();

constexpr int kUdpPendingPeers = 4;  // handshakes a host keeps waiting for their greeting, one per IP address

// The link over one UDP socket, our own small transport
// (docs/net-protocol.md, "The link"): a handshake that keeps nothing on the
// host for a sender that has not proven its address (a cookie), a key
// agreed per match (libsodium's crypto_kx), every datagram after it sealed
// with ChaCha20-Poly1305 under a counter that is never taken twice, and
// reliable packets sent again until acknowledged. Everything lives in the
// object: nothing is allocated after Host or Join. Its datagrams go through
// a DatagramPort: its own UDP socket, unless UsePort gives it another.
class UdpLink : public NetLink {
public:
    UdpLink() = default;
    ~UdpLink() override;
    UdpLink(const UdpLink&) = delete;
    UdpLink& operator=(const UdpLink&) = delete;

    // Listens on `port` of every address, IPv6 and IPv4 alike (0: a free
    // one, see Port). False (state Failed) with the reason.
    bool Host(uint16_t port) override;
    // Joins "HOST[:PORT]" ("[v6]:PORT" for an IPv6 address). False (state
    // Failed) when the address is malformed or unknown; the answer comes
    // through Poll.
    bool Join(const char* address) override;
    // Sends what waits to be acknowledged (for up to `flushMs`), then an
    // authenticated goodbye, and closes the socket.
    void Close(uint32_t flushMs = 200) override;
    // The host took the peer's greeting: it is kept from now on, and every
    // other handshake waiting is dropped unanswered. Until then the host
    // keeps up to kUdpPendingPeers handshakes (one per IP address), each
    // dropped kUdpUnconfirmedMs after its welcome; the first packets of
    // each are handed up in turn, one candidate at a time.
    void Confirm() override;
    // The host refused the candidate's greeting: its refusal goes (as far
    // as its allowance lets), it is dropped, and the other handshakes wait on.
    bool Reject() override;
    // Meets the other player through the room server of `ask`
    // (docs/net-protocol.md, "Rooms"): a socket of its own on a free port,
    // Open or Enter every kRoomAskMs until the server answers (or
    // kRoomAnswerMs of silence), then Stay; once paired the link hosts
    // (punching toward the joiner) or joins (directly, then through the
    // server's relay after kRoomDirectMs without a welcome), on the same
    // socket. False (state Failed) when the server's address is unknown.
    bool Room(const NetRoomAsk& ask) override;
    NetRoomState RoomState() const override { return room_; }
    bool SendFeed(uint32_t offset, const uint8_t* bytes, size_t count, bool final) override;
    bool TakeFeedAck(uint32_t* offset, uint8_t* flags) override;
    NetPath Path() const override;
    bool RoomsOnly() const override { return port_->ServerOnly(); }
    // The port the link sends and receives through from its next start on
    // (the page's WebSocket to its room server); it outlives the link's use
    // of it. Null: the link's own UDP socket again.
    void UsePort(DatagramPort* port);
    // Tests: a joiner of a room relays from the start, never trying the
    // direct path (the host still punches).
    void SetRelayFromStart(bool relay) { relayFromStart_ = relay; }
    // The silence after which the peer counts as lost (kNetTimeoutMs).
    void SetTimeout(uint32_t ms) { timeoutMs_ = ms; }
    // The port the link listens on (a host's), or its own (a joining side's).
    uint16_t Port() const;

    bool Send(const uint8_t* data, size_t size, bool reliable) override;
    int Poll(NetDatagram* out, int capacity, uint32_t waitMs) override;
    void Flush() override;
    NetLinkState State() const override { return state_; }
    uint32_t RoundTripMs() const override { return state_ == NetLinkState::Connected ? roundTripMs_ : 0; }
    const char* Failure() const override { return failure_; }
    NetLinkCounts Counts() const override { return counts_; }

    // The datagram reader: one datagram from `from`, as Poll takes each
    // one off the socket (the fuzz target feeds it directly). What it
    // brings for the upper layer waits for the next Poll.
    void Take(const uint8_t* data, size_t size, const UdpAddress& from);

private:
    static constexpr int kReliableSlots = 32;
    static constexpr int kInboxSlots = 64;
    static constexpr size_t kMaxPlainBytes = 1175;  // a data datagram's plain text at most
    static constexpr size_t kKeyBytes = 32;
    static constexpr size_t kCookieBytes = 16;
    static constexpr size_t kNonceBytes = 8;  // the joiner's, echoed by the host
    static constexpr uint32_t kWindowBits = 256;
    // A datagram read off the socket: the link's, or a room server's message.
    static constexpr size_t kReceiveBytes = kRoomMaxMessageBytes;

    // A handshake taken and welcomed, not yet confirmed: its own keys, its
    // window of counters, and the bytes the host may still send it.
    struct PendingPeer {
        bool used = false;
        bool current = false;  // the candidate in the session fields below
        UdpAddress address;
        uint32_t sinceMs = 0;
        uint8_t peerPublic[kKeyBytes] = {};
        uint8_t rxKey[kKeyBytes] = {};
        uint8_t txKey[kKeyBytes] = {};
        uint8_t welcome[57] = {};  // the host's answer, sent again for a repeated hello
        uint64_t rxHighest = 0;
        bool rxAny = false;
        uint64_t rxSeen[kWindowBits / 64] = {};
        size_t budget = 0;
    };

    struct ReliableSlot {
        uint8_t bytes[kNetMaxPacketBytes];
        uint8_t size;
        bool sent;
        uint32_t lastSentMs;
    };

    bool Start(bool hosting, uint16_t port, const char* address);
    bool StartHosting(uint16_t port);
    bool StartJoining(const char* address, uint16_t port);
    void Fail(NetLinkState state, const char* format, ...);
    void Release();
    void ForgetPeer();
    void Service(uint32_t now);
    void Receive();
    int Drain(NetDatagram* out, int capacity);
    void SendRaw(const uint8_t* bytes, size_t size, const UdpAddress& to);
    void SendHandshake(uint32_t now);
    void TakeAsHost(const uint8_t* data, size_t size, const UdpAddress& from);
    void TakeAsJoiner(const uint8_t* data, size_t size, const UdpAddress& from);
    void StartSession(const uint8_t* data, const UdpAddress& from);
    PendingPeer* PendingFor(const UdpAddress& from, bool sameIp);
    void DropPending(PendingPeer& p);
    void ReadPending(PendingPeer& p, const uint8_t* data, size_t size);
    void Promote(PendingPeer& p, const uint8_t* plain, size_t size);
    void UpdateHostState();
    bool Open(const uint8_t* rxKey, uint64_t& highest, bool& any, uint64_t* seen, const uint8_t* data, size_t size,
              uint8_t* plain, size_t* plainSize);
    bool MakeCookie(const UdpAddress& from, const uint8_t* nonce, uint64_t slot, uint8_t* cookie);
    void ReadData(const uint8_t* data, size_t size, const UdpAddress& from);
    void ReadPlain(const uint8_t* plain, size_t size);
    void Deliver(const uint8_t* bytes, size_t size);
    void QueueMessage(const uint8_t* bytes, size_t size);
    void SendData(const uint8_t* plain, size_t size);
    uint32_t RetransmitMs() const;
    // Rooms (UdpLinkRoom.cpp).
    void ForgetRoom();
    bool FromRoomPeer(const UdpAddress& from) const;
    void TakeFromServer(const uint8_t* data, size_t size);
    void FailRoom(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void ServiceRoom(uint32_t now);
    void SendToServer(const RoomMessage& message);
    bool TakeRoom(const RoomMessage& message);
    UdpAddress RelayPath() const;
    void LeaveRoom();
    void SendRoomAsk(uint32_t now);
    void SendStay(uint32_t now);
    void SendPunch(uint32_t now);
    void BeginRoomHost(uint32_t now);
    void BeginRoomJoin(uint32_t now);
    void RelayFromNow(uint32_t now);
    void SendRelayed(const uint8_t* bytes, size_t size);
    bool RoomLinkStarted() const { return roomHosting_ || roomJoining_; }

    UdpSocketPort socket_;
    DatagramPort* port_ = &socket_;
    bool hosting_ = false;
    NetLinkState state_ = NetLinkState::Closed;
    uint32_t timeoutMs_ = kNetTimeoutMs;
    NetLinkCounts counts_;
    char failure_[kNetFailureBytes] = {};
    uint32_t now_ = 0;

    // The host's cookie secrets: one for each of the two newest time slots.
    uint8_t secrets_[2][kKeyBytes] = {};
    uint64_t secretSlot_[2] = {~0ull, ~0ull};

    // The peer: the host's address (joining), or the joiner's (hosting).
    UdpAddress peer_;
    bool havePeer_ = false;
    bool confirmed_ = false;
    uint32_t peerSinceMs_ = 0;  // when its handshake was taken (hosting)
    // Hosting: the handshakes not yet confirmed; the candidate whose packets
    // all went up and got no Confirm gives way to the next one that sends some.
    PendingPeer pendingPeers_[kUdpPendingPeers] = {};

    // Joining: this side's key pair, nonce, and where the handshake is.
    uint8_t ownPublic_[kKeyBytes] = {};
    uint8_t ownSecret_[kKeyBytes] = {};
    uint8_t nonce_[kNonceBytes] = {};
    uint8_t cookie_[kCookieBytes] = {};
    bool haveCookie_ = false;
    int hellosSent_ = 0;
    uint32_t startMs_ = 0;
    uint32_t lastHandshakeMs_ = 0;

    // The session: keys each way, counters, the window of counters seen.
    bool keyed_ = false;
    uint8_t rxKey_[kKeyBytes] = {};
    uint8_t txKey_[kKeyBytes] = {};
    uint64_t txCounter_ = 0;
    uint64_t rxHighest_ = 0;
    bool rxAny_ = false;
    uint64_t rxSeen_[kWindowBits / 64] = {};
    uint32_t lastHeardMs_ = 0;
    uint32_t lastPingMs_ = 0;
    uint32_t roundTripMs_ = 0;
    size_t budget_ = 0;  // bytes the host may still send a peer not yet confirmed

    // Reliable packets out (sequence sendBase_ .. sendNext_ - 1) and the
    // next one expected in.
    ReliableSlot slots_[kReliableSlots] = {};
    uint32_t sendBase_ = 0;
    uint32_t sendNext_ = 0;
    uint32_t recvNext_ = 0;
    bool ackDue_ = false;
    // Messages to go in the next datagram (unreliable packets, pings, pongs).
    uint8_t pending_[kMaxPlainBytes - 4] = {};
    size_t pendingSize_ = 0;

    // Packets taken, for Poll.
    NetDatagram inbox_[kInboxSlots] = {};
    int inboxHead_ = 0;
    int inboxCount_ = 0;

    // Rooms: the server, what was asked, what it answered, the peer's
    // public address as the server saw it, and the paths.
    bool roomMode_ = false;
    NetRoomState room_;
    NetRoomAsk ask_;
    UdpAddress server_;
    int socketFamily_ = 0;
    uint64_t askId_ = 0;  // the Open's or Enter's, never 0
    uint8_t token_[kRoomTokenBytes] = {};
    bool haveToken_ = false;
    uint8_t serverStage_ = 0;  // the newest stage the server said
    uint32_t closesMs_ = 0;    // waiting: when the server said the room closes
    bool pairing_ = false;     // the server has begun the pairing...
    uint32_t pairingMs_ = 0;   // ... then
    uint32_t roomStartMs_ = 0;
    uint32_t lastServerMs_ = 0;  // when the server last answered
    uint32_t lastAskMs_ = 0;
    uint32_t lastStayMs_ = 0;
    UdpAddress roomPeer_;  // the peer's public address, as the server saw it
    bool haveRoomPeer_ = false;
    bool roomHosting_ = false;  // paired as the host: listening for the joiner
    // The server's newest FeedAck, until taken.
    bool feedAcked_ = false;
    uint32_t feedAckOffset_ = 0;
    uint8_t feedAckFlags_ = 0;
    bool roomJoining_ = false;  // paired as the joiner: joining the host
    uint32_t pairedMs_ = 0;     // the link's time-outs count from here
    bool punched_ = false;
    uint32_t lastPunchMs_ = 0;
    bool peerHeard_ = false;
    bool relaying_ = false;  // the joiner: its datagrams go through the relay
    bool relayFromStart_ = false;
};

constexpr uint32_t kUdpUnconfirmedMs = 2000;  // a handshake without a greeting this long is dropped

// A loopback address (127.0.0.1 or ::1) and port, for the tests and the
// fuzz target.
UdpAddress UdpLoopback(bool ipv6, uint16_t port);
