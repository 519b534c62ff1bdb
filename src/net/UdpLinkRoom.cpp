// The link's room mode (docs/net-protocol.md, "Rooms"): the game's own
// socket registers with the room server, learns its role and the other
// player's public address, and opens a path to it: the host punches
// through its own router, the joiner joins directly and, without a
// welcome in kRoomDirectMs, through the server's relay. The link's
// handshake, keys and seals are the same on either path: the relay
// carries the sealed bytes as they are.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sodium.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "net/RoomProtocol.h"
#include "net/UdpLink.h"

namespace {

bool IsV4Mapped(const uint8_t* a) {
    static const uint8_t kPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    return std::memcmp(a, kPrefix, sizeof kPrefix) == 0;
}

bool AllZero(const uint8_t* p, size_t n) {
    uint8_t any = 0;
    for (size_t i = 0; i < n; ++i) any |= p[i];
    return any == 0;
}

// A room message's address as a socket of `family` sends to it; false
// when it is not known, cannot go there, or is no address a game could be
// at (every byte of it zero).
bool SocketAddressOf(const RoomAddress& a, int family, UdpAddress* out) {
    *out = UdpAddress();
    const size_t v4Bytes = 4;
    if (a.family == 0 || AllZero(a.bytes, a.family == 4 ? v4Bytes : sizeof a.bytes)) return false;
    sockaddr_storage storage{};
    const size_t size = RoomAddressToSockaddr(a, family == AF_INET6, &storage);
    if (size == 0 || size > sizeof out->raw) return false;
    std::memcpy(out->raw, &storage, size);
    out->size = static_cast<uint32_t>(size);
    return true;
}

}  // namespace

UdpAddress UdpAddressForSocket(const UdpAddress& a, int family) {
    if (a.relayed) return a;
    if (family == AF_INET6 && a.size == sizeof(sockaddr_in)) {
        sockaddr_in in;
        std::memcpy(&in, a.raw, sizeof in);
        sockaddr_in6 in6{};
        in6.sin6_family = AF_INET6;
        in6.sin6_addr.s6_addr[10] = in6.sin6_addr.s6_addr[11] = 0xFF;
        std::memcpy(in6.sin6_addr.s6_addr + 12, &in.sin_addr, 4);
        in6.sin6_port = in.sin_port;
        UdpAddress out;
        std::memcpy(out.raw, &in6, sizeof in6);
        out.size = sizeof in6;
        return out;
    }
    if (family == AF_INET && a.size == sizeof(sockaddr_in6)) {
        sockaddr_in6 in6;
        std::memcpy(&in6, a.raw, sizeof in6);
        if (!IsV4Mapped(in6.sin6_addr.s6_addr)) return a;
        sockaddr_in in{};
        in.sin_family = AF_INET;
        std::memcpy(&in.sin_addr, in6.sin6_addr.s6_addr + 12, 4);
        in.sin_port = in6.sin6_port;
        UdpAddress out;
        std::memcpy(out.raw, &in, sizeof in);
        out.size = sizeof in;
        return out;
    }
    return a;
}

bool IsRoomPunch(const uint8_t* data, size_t size) {
    RoomMessage m;
    return ParseRoomMessage(data, size, &m, nullptr) && m.kind == RoomKind::Punch;
}

void UdpLink::ForgetRoom() {
    roomMode_ = false;
    room_ = NetRoomState();
    sodium_memzero(token_, sizeof token_);
    haveToken_ = false;
    serverStage_ = 0;
    closesMs_ = pairingMs_ = 0;
    pairing_ = false;
    haveRoomPeer_ = roomHosting_ = roomJoining_ = punched_ = peerHeard_ = relaying_ = false;
    feedAcked_ = false;
    socketFamily_ = 0;
}

void UdpLink::FailRoom(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(failure_, sizeof failure_, format, args);
    va_end(args);
    std::snprintf(room_.refusal, sizeof room_.refusal, "%s", failure_);
    state_ = NetLinkState::Failed;
    room_.stage = NetRoomStage::None;
}

NetPath UdpLink::Path() const {
    if (!keyed_ || state_ != NetLinkState::Connected) return NetPath::None;
    return peer_.relayed ? NetPath::Relayed : NetPath::Direct;
}

bool UdpLink::Room(const NetRoomAsk& ask) {
    Close(0);
    failure_[0] = '\0';
    counts_ = {};
    hosting_ = false;
    if (!UdpLinkSodiumReady()) {
        Fail(NetLinkState::Failed, "the network cannot be used (libsodium did not start)");
        return false;
    }
    ask_ = ask;
    ask_.serverHost[sizeof ask_.serverHost - 1] = '\0';
    // The code as the server takes it, upper case.
    if (ask_.mode == NetRoomMode::Join && !FoldRoomCode(ask.code, ask_.code)) {
        Fail(NetLinkState::Failed, "'%.*s' is no room's code (five letters of %s)", static_cast<int>(kRoomCodeLength),
             ask.code, kRoomCodeLetters);
        return false;
    }
    // (A port that reaches its server alone knows where it is.)
    if (ask_.serverPort == 0 && !port_->ServerOnly()) {
        Fail(NetLinkState::Failed, "the room server '%s' has no port", ask_.serverHost);
        return false;
    }
    const char* why = "";
    if (!port_->FindServer(ask_.serverHost, ask_.serverPort, &server_, &why)) {
        Fail(NetLinkState::Failed, "cannot reach the room server '%s': %s", ask_.serverHost, why);
        return false;
    }
    // The game's own port: any free one, IPv6 and IPv4 alike as a host's.
    if (!port_->Open(DatagramUse::Room, 0, 0)) {
        // (The port's words are taken before it is let go.)
        if (const char* broken = port_->Broken())
            Fail(NetLinkState::Failed, "%s", broken);
        else
            Fail(NetLinkState::Failed, "cannot open a UDP socket (%s)", std::strerror(errno));
        Release();
        return false;
    }
    socketFamily_ = port_->Family();
    server_ = UdpAddressForSocket(server_, socketFamily_);
    roomMode_ = true;
    do randombytes_buf(&askId_, sizeof askId_);
    while (askId_ == 0);  // zero is an answer to Stay's
    now_ = startMs_ = roomStartMs_ = lastServerMs_ = UdpLinkNowMs();
    room_.stage = NetRoomStage::Asking;
    state_ = NetLinkState::Connecting;
    SendRoomAsk(now_);
    return true;
}

bool UdpLink::FromRoomPeer(const UdpAddress& from) const {
    return from.relayed || (haveRoomPeer_ && SameUdpAddress(from, roomPeer_));
}

void UdpLink::SendToServer(const RoomMessage& m) {
    uint8_t out[kRoomMaxMessageBytes];
    const size_t size = WriteRoomMessage(m, out, sizeof out);
    if (!port_->IsOpen() || size == 0) return;
    port_->Send(out, size, server_, false);
}

void UdpLink::SendRoomAsk(uint32_t now) {
    lastAskMs_ = now;
    RoomMessage m;
    m.askId = askId_;
    std::snprintf(m.gameVersion, sizeof m.gameVersion, "%s", ask_.gameVersion);
    m.dataHash = ask_.dataHash;
    if (ask_.mode == NetRoomMode::Join) {
        m.kind = RoomKind::Enter;
        std::memcpy(m.code, ask_.code, sizeof m.code);
    } else {
        m.kind = RoomKind::Open;
        m.mode = ask_.mode == NetRoomMode::Quick ? RoomMode::Quick : RoomMode::Create;
        m.difficulty = ask_.difficulty;
    }
    SendToServer(m);
}

void UdpLink::SendStay(uint32_t now) {
    lastStayMs_ = now;
    RoomMessage m;
    m.kind = RoomKind::Stay;
    std::memcpy(m.token, token_, sizeof m.token);
    m.flags = punched_ ? kRoomPunched : 0;
    SendToServer(m);
}

void UdpLink::LeaveRoom() {
    if (!roomMode_ || !haveToken_ || !port_->IsOpen()) return;
    RoomMessage m;
    m.kind = RoomKind::Leave;
    std::memcpy(m.token, token_, sizeof m.token);
    SendToServer(m);
}

bool UdpLink::SendFeed(uint32_t offset, const uint8_t* bytes, size_t count, bool final) {
    if (!roomMode_ || !haveToken_ || !roomHosting_ || !port_->IsOpen()) return false;
    RoomMessage m;
    m.kind = RoomKind::Feed;
    std::memcpy(m.token, token_, sizeof m.token);
    m.offset = offset;
    m.payload = bytes;
    m.payloadSize = count;
    m.flags = final ? kRoomFeedFinal : 0;
    uint8_t out[kRoomMaxMessageBytes];
    const size_t size = WriteRoomMessage(m, out, sizeof out);
    if (size == 0) return false;
    port_->Send(out, size, server_, false);
    return true;
}

bool UdpLink::TakeFeedAck(uint32_t* offset, uint8_t* flags) {
    if (!feedAcked_) return false;
    feedAcked_ = false;
    *offset = feedAckOffset_;
    *flags = feedAckFlags_;
    return true;
}

void UdpLink::SendRelayed(const uint8_t* bytes, size_t size) {
    if (!roomMode_ || !haveToken_) return;
    RoomMessage m;
    m.kind = RoomKind::Relay;
    std::memcpy(m.token, token_, sizeof m.token);
    m.payload = bytes;
    m.payloadSize = size;
    SendToServer(m);
}

// The punch: a small datagram toward the joiner with a short life, so that
// this side's router opens a mapping for the joiner's address while the
// other side's router never sees (and never blocks) it. The socket's own
// TTL is put back at once: the link's datagrams live as long as ever.
void UdpLink::SendPunch(uint32_t now) {
    lastPunchMs_ = now;
    RoomMessage m;
    m.kind = RoomKind::Punch;
    uint8_t out[kRoomPunchBytes];
    const size_t n = WriteRoomMessage(m, out, sizeof out);
    port_->Send(out, n, UdpAddressForSocket(roomPeer_, socketFamily_), true);
    if (!punched_) {
        punched_ = true;
        SendStay(now);  // the server pairs on "punched"
    }
}

// Paired as the host: the link listens for its joiner (the joiner's paths
// only) and punches toward it.
// A joiner the link cannot reach (a browser, or another address family):
// nothing to punch toward, and the server is told so at once.
void UdpLink::BeginRoomHost(uint32_t now) {
    roomHosting_ = true;
    hosting_ = true;
    pairedMs_ = now;
    state_ = NetLinkState::Listening;
    room_.stage = NetRoomStage::Punching;
    if (haveRoomPeer_) {
        SendPunch(now);
    } else {
        punched_ = true;
        SendStay(now);
    }
}

// Paired as the joiner: the handshake toward the host's address (or,
// relaying from the start, or with a host it cannot reach, through the
// server).
void UdpLink::BeginRoomJoin(uint32_t now) {
    roomJoining_ = true;
    pairedMs_ = startMs_ = now;
    peer_ = haveRoomPeer_ ? roomPeer_ : RelayPath();
    havePeer_ = true;
    crypto_kx_keypair(ownPublic_, ownSecret_);
    randombytes_buf(nonce_, sizeof nonce_);
    state_ = NetLinkState::Connecting;
    room_.stage = NetRoomStage::Punching;
    if (relayFromStart_ || !haveRoomPeer_)
        RelayFromNow(now);
    else
        SendHandshake(now);
}

// The joiner's direct path brought no welcome: its datagrams go through
// the server from now on, the handshake again from a cookie for that path.
void UdpLink::RelayFromNow(uint32_t now) {
    relaying_ = true;
    peer_ = RelayPath();
    haveCookie_ = false;
    hellosSent_ = 0;
    SendHandshake(now);
}

UdpAddress UdpLink::RelayPath() const {
    UdpAddress relayed = server_;
    relayed.relayed = true;
    return relayed;
}

void UdpLink::TakeFromServer(const uint8_t* data, size_t size) {
    RoomMessage m;
    if (data == nullptr || !ParseRoomMessage(data, size, &m, nullptr)) {
        ++counts_.server;
        return;
    }
    switch (m.kind) {
    case RoomKind::Relayed:
        // The peer's datagram, through the relay: the link judges it as any
        // other (a handshake, or sealed), on the relayed path.
        if (!RoomLinkStarted()) break;
        Take(m.payload, m.payloadSize, RelayPath());
        return;
    case RoomKind::Refused:
        // An ask of this game's refused, before the pairing.
        if (RoomLinkStarted() || (m.askId != askId_ && m.askId != 0)) break;
        lastServerMs_ = now_;
        FailRoom("%s", DescribeRoomRefusal(m.reason));
        return;
    case RoomKind::Room:
        if (TakeRoom(m)) return;
        break;
    case RoomKind::FeedAck:
        // Only a host feeds; an ack to anyone else is nobody's.
        if (!roomHosting_) break;
        feedAcked_ = true;
        feedAckOffset_ = m.offset;
        feedAckFlags_ = m.flags;
        return;
    default:  // a game's message, never the server's
        break;
    }
    ++counts_.server;
}

// A Room message: this game's room as the server sees it. One that
// contradicts what the server said before (another token, role or code),
// or answers an ask this game never made, is refused.
bool UdpLink::TakeRoom(const RoomMessage& m) {
    const bool asked = m.askId == askId_;
    const NetRoomRole role = m.role == RoomRole::Host ? NetRoomRole::Host : NetRoomRole::Joiner;
    const bool fits = (asked || (m.askId == 0 && haveToken_)) && state_ != NetLinkState::Failed &&
                      state_ != NetLinkState::Lost &&
                      (!haveToken_ || sodium_memcmp(m.token, token_, sizeof token_) == 0) &&
                      (room_.role == NetRoomRole::None || room_.role == role) &&
                      (room_.code[0] == '\0' || std::strcmp(room_.code, m.code) == 0);
    if (!fits) return false;
    lastServerMs_ = now_;
    if (!haveToken_) {
        std::memcpy(token_, m.token, sizeof token_);
        haveToken_ = true;
        lastStayMs_ = now_;  // the answer stands for the first Stay
        room_.role = role;
        std::snprintf(room_.code, sizeof room_.code, "%s", m.code);
    }
    room_.waitSeconds = m.waitSeconds;
    const uint8_t stage = static_cast<uint8_t>(m.stage);
    if (stage > serverStage_) serverStage_ = stage;  // a late answer says less than an earlier one
    if (serverStage_ == static_cast<uint8_t>(RoomStage::Waiting)) closesMs_ = now_ + m.waitSeconds * 1000u;
    if (serverStage_ >= static_cast<uint8_t>(RoomStage::Pairing) && !pairing_) {
        pairing_ = true;
        pairingMs_ = now_;
    }
    UdpAddress peer;
    // A port that reaches the server alone (the page's) meets every peer through the relay.
    const bool havePeer = stage >= static_cast<uint8_t>(RoomStage::Pairing) && !port_->ServerOnly() &&
                          SocketAddressOf(m.peer, socketFamily_, &peer);
    if (!RoomLinkStarted()) {
        room_.stage =
            serverStage_ >= static_cast<uint8_t>(RoomStage::Pairing) ? NetRoomStage::Pairing : NetRoomStage::Waiting;
        if (havePeer) {
            roomPeer_ = peer;
            haveRoomPeer_ = true;
        }
        // The host learns the joiner's address as the pairing begins; the
        // joiner the host's once the host has punched (paired). A peer the
        // server names "not known" (a browser's) is met through the relay.
        const bool unknown = m.peer.family == 0 || port_->ServerOnly();
        const bool paired = serverStage_ >= static_cast<uint8_t>(RoomStage::Paired);
        if (role == NetRoomRole::Host &&
            (haveRoomPeer_ || (unknown && stage >= static_cast<uint8_t>(RoomStage::Pairing))))
            BeginRoomHost(now_);
        if (role == NetRoomRole::Joiner &&
            ((haveRoomPeer_ && paired) || (unknown && stage >= static_cast<uint8_t>(RoomStage::Paired))))
            BeginRoomJoin(now_);
        return true;
    }
    // A router may have mapped the peer anew before the link stands.
    if (havePeer && !keyed_ && !SameUdpAddress(peer, roomPeer_)) {
        roomPeer_ = peer;
        if (roomJoining_ && !relaying_) peer_ = peer;
    }
    return true;
}

void UdpLink::ServiceRoom(uint32_t now) {
    if (state_ == NetLinkState::Failed || state_ == NetLinkState::Lost) return;
    // The way to the server ended (the page's WebSocket closed): said at
    // once, in the port's words, whatever the stage.
    if (const char* broken = port_->Broken()) {
        if (RoomLinkStarted()) {
            ForgetPeer();
            Fail(NetLinkState::Lost, "%s", broken);
            std::snprintf(room_.refusal, sizeof room_.refusal, "%s", failure_);
        } else {
            FailRoom("%s", broken);
        }
        return;
    }
    if (!haveToken_) {
        if (now - roomStartMs_ >= kRoomAskGiveUpMs) {
            if (port_->ServerOnly())
                FailRoom("the room server does not answer (the world server's rooms, over a WebSocket)");
            else
                FailRoom("the room server does not answer (%s, UDP port %u)", ask_.serverHost,
                         static_cast<unsigned>(ask_.serverPort));
            return;
        }
        if (now - lastAskMs_ >= kRoomAskEveryMs) SendRoomAsk(now);
        return;
    }
    if (!RoomLinkStarted()) {
        // The server forgets a player it has not heard from this long: one
        // that has not answered this long has gone.
        if (now - lastServerMs_ >= kRoomSilenceSeconds * 1000u) {
            FailRoom("the room server stopped answering");
            return;
        }
        // The room's wait is over (the server has closed it and answers no
        // more), or the pairing never came to an end: the host punches as
        // soon as it hears of its joiner, so a host that has not within the
        // link's time-out has gone.
        if (room_.stage == NetRoomStage::Waiting && static_cast<int32_t>(now - closesMs_ - kRoomStayWaitingMs) >= 0) {
            FailRoom("nobody came to the room before its time was up: it has closed");
            return;
        }
        if (pairing_ && now - pairingMs_ >= timeoutMs_) {
            FailRoom("the room's other game did not go on with the pairing (it may have left)");
            return;
        }
        if (now - lastStayMs_ >= kRoomStayWaitingMs) SendStay(now);
        return;
    }
    const bool playing = keyed_ && state_ == NetLinkState::Connected && (!hosting_ || confirmed_);
    if (playing) room_.stage = NetRoomStage::Playing;
    if (now - lastStayMs_ >= (playing ? kRoomStayPlayingMs : kRoomStayWaitingMs)) SendStay(now);
    if (roomHosting_) {
        if (haveRoomPeer_ && !peerHeard_ && now - lastPunchMs_ >= kRoomPunchEveryMs) SendPunch(now);
        // The joiner gives up its time-out after its own pairing, a little
        // after this side's: the host no sooner.
        if (!confirmed_ && now - pairedMs_ >= timeoutMs_ + kRoomDirectMs) {
            ForgetPeer();
            Fail(NetLinkState::Lost, "the other player's game never came, directly or through the server");
        }
        return;
    }
    if (roomJoining_ && !keyed_ && !relaying_ && now - pairedMs_ >= kRoomDirectMs) RelayFromNow(now);
}
