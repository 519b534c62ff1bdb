#include "net/UdpLink.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sodium.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/LittleEndian.h"

namespace {

// The first byte of every datagram: what it is (docs/net-protocol.md).
enum DatagramType : uint8_t {
    kCookieRequest = 1,  // joiner: may I? (padded: the answer is never larger)
    kCookieReply = 2,    // host: the cookie for this address and time
    kLinkHello = 3,      // joiner: the cookie, and its public key
    kLinkWelcome = 4,    // host: its public key, and a tag made with the session key
    kData = 5,           // either: sealed messages under a counter
    kBusy = 6,           // host: already playing with someone else
};
constexpr char kLinkMagic[4] = {'V', 'C', 'U', 'L'};
constexpr uint8_t kLinkVersion = 1;

constexpr size_t kKey = crypto_kx_PUBLICKEYBYTES;
constexpr size_t kTag = crypto_aead_chacha20poly1305_ietf_ABYTES;
constexpr size_t kCookie = 16;
constexpr size_t kNonce = 8;
constexpr size_t kCounterBytes = 8;
constexpr size_t kDataHeaderBytes = 1 + kCounterBytes;

constexpr size_t kCookieRequestBytes = 64;                             // type, magic, version, nonce, zeros
constexpr size_t kCookieReplyBytes = 1 + kNonce + kCookie;             // 25
constexpr size_t kLinkHelloBytes = 64;                                 // type, nonce, cookie, public key, zeros
constexpr size_t kLinkWelcomeBytes = 1 + kKey + kCounterBytes + kTag;  // 57
constexpr size_t kBusyBytes = 1 + kNonce;                              // 9
constexpr size_t kMaxDatagramBytes = 1200;
static_assert(kMaxDatagramBytes <= kRoomMaxRelayBytes && kMaxDatagramBytes <= kRoomMaxMessageBytes,
              "the relay carries every datagram of the link, and the socket reads what the server sends");
constexpr size_t kMinDataBytes = kDataHeaderBytes + 4 + kTag;
static_assert(kMaxDatagramBytes == kDataHeaderBytes + 1175 + kTag, "a data datagram's plain text: kMaxPlainBytes");
static_assert(kKey == 32 && crypto_kx_SESSIONKEYBYTES == 32 && crypto_aead_chacha20poly1305_ietf_KEYBYTES == 32 &&
                  crypto_generichash_KEYBYTES_MIN <= 32,
              "the keys the header keeps room for");
static_assert(kLinkWelcomeBytes == 57 && kCookie == 16 && kNonce == 8, "the sizes the header keeps room for");
static_assert(kLinkWelcomeBytes <= kLinkHelloBytes && kCookieReplyBytes <= kCookieRequestBytes &&
                  kBusyBytes <= kCookieRequestBytes,
              "the host never answers a handshake with more than it was sent");

// The messages inside a data datagram's plain text, after its ack (u32).
enum MessageType : uint8_t {
    kMsgReliable = 1,    // seq u32, size u8, bytes
    kMsgUnreliable = 2,  // size u8, bytes
    kMsgPing = 3,        // the sender's clock u32
    kMsgPong = 4,        // the clock of the ping it answers
    kMsgBye = 5,
};

constexpr uint32_t kHandshakeResendMs = 250;
constexpr int kHellosPerCookie = 4;       // then a fresh cookie is asked for
constexpr uint32_t kLinkPingMs = 250;     // the round trip, and a sign of life
constexpr uint64_t kCookieSlotMs = 8000;  // a cookie holds for one to two slots
constexpr uint32_t kMinRetransmitMs = 40;
constexpr uint32_t kMaxRetransmitMs = 1000;
constexpr uint32_t kFirstRetransmitMs = 250;
constexpr uint32_t kMaxRoundTripSampleMs = 10000;
constexpr int kMaxDatagramsPerPoll = 512;

uint64_t SteadyMs() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}
uint32_t NowMs() { return static_cast<uint32_t>(SteadyMs()); }

bool SodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

// The address's 16 bytes (IPv4 as IPv4-mapped IPv6) and port: what a
// cookie is made over, and what makes two addresses the same.
bool AddressBytes(const UdpAddress& a, uint8_t out[18]) {
    std::memset(out, 0, 18);
    if (a.size == sizeof(sockaddr_in6)) {
        sockaddr_in6 in6;
        std::memcpy(&in6, a.raw, sizeof in6);
        if (in6.sin6_family != AF_INET6) return false;
        std::memcpy(out, &in6.sin6_addr, 16);
        std::memcpy(out + 16, &in6.sin6_port, 2);
        return true;
    }
    if (a.size == sizeof(sockaddr_in)) {
        sockaddr_in in;
        std::memcpy(&in, a.raw, sizeof in);
        if (in.sin_family != AF_INET) return false;
        out[10] = out[11] = 0xFF;
        std::memcpy(out + 12, &in.sin_addr, 4);
        std::memcpy(out + 16, &in.sin_port, 2);
        return true;
    }
    return false;
}

bool SameAddress(const UdpAddress& a, const UdpAddress& b) {
    uint8_t x[18], y[18];
    return a.relayed == b.relayed && AddressBytes(a, x) && AddressBytes(b, y) && std::memcmp(x, y, sizeof x) == 0;
}

// A 12-byte AEAD nonce: four zero bytes and the counter (each direction has its own key).
void CounterNonce(uint64_t counter, uint8_t nonce[crypto_aead_chacha20poly1305_ietf_NPUBBYTES]) {
    std::memset(nonce, 0, crypto_aead_chacha20poly1305_ietf_NPUBBYTES);
    WriteLittleEndian<uint64_t>(nonce + 4, counter);
}

bool AllZero(const uint8_t* p, size_t n) {
    uint8_t any = 0;
    for (size_t i = 0; i < n; ++i) any |= p[i];
    return any == 0;
}

}  // namespace

uint32_t UdpLinkNowMs() { return NowMs(); }
bool UdpLinkSodiumReady() { return SodiumReady(); }

bool SameUdpAddress(const UdpAddress& a, const UdpAddress& b) { return SameAddress(a, b); }

UdpAddress UdpLoopback(bool ipv6, uint16_t port) {
    UdpAddress a;
    if (ipv6) {
        sockaddr_in6 in6{};
        in6.sin6_family = AF_INET6;
        in6.sin6_addr = in6addr_loopback;
        in6.sin6_port = htons(port);
        std::memcpy(a.raw, &in6, sizeof in6);
        a.size = sizeof in6;
    } else {
        sockaddr_in in{};
        in.sin_family = AF_INET;
        in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        in.sin_port = htons(port);
        std::memcpy(a.raw, &in, sizeof in);
        a.size = sizeof in;
    }
    return a;
}

// This class's own Close: a destructor reaches no override.
UdpLink::~UdpLink() { UdpLink::Close(0); }

void UdpLink::Fail(NetLinkState state, const char* format, ...) {
    state_ = state;
    va_list args;
    va_start(args, format);
    std::vsnprintf(failure_, sizeof failure_, format, args);
    va_end(args);
}

void UdpLink::ForgetPeer() {
    havePeer_ = confirmed_ = keyed_ = haveCookie_ = rxAny_ = ackDue_ = false;
    sodium_memzero(rxKey_, sizeof rxKey_);
    sodium_memzero(txKey_, sizeof txKey_);
    txCounter_ = rxHighest_ = 0;
    budget_ = 0;
    std::memset(rxSeen_, 0, sizeof rxSeen_);
    sendBase_ = sendNext_ = recvNext_ = 0;
    pendingSize_ = 0;
    inboxHead_ = inboxCount_ = 0;
    hellosSent_ = 0;
    roundTripMs_ = 0;
}

void UdpLink::Release() {
    port_->Close();
    ForgetRoom();
    for (PendingPeer& p : pendingPeers_) DropPending(p);
    ForgetPeer();
    sodium_memzero(ownSecret_, sizeof ownSecret_);
    sodium_memzero(secrets_, sizeof secrets_);
    secretSlot_[0] = secretSlot_[1] = ~0ull;
}

void UdpLink::UsePort(DatagramPort* port) {
    Close(0);
    port_ = port != nullptr ? port : &socket_;
}

bool UdpLink::Host(uint16_t port) { return Start(true, port, nullptr); }

bool UdpLink::Join(const char* address) { return Start(false, 0, address); }

bool UdpLink::Start(bool hosting, uint16_t port, const char* address) {
    Close(0);
    failure_[0] = '\0';
    counts_ = {};
    hosting_ = hosting;
    if (!SodiumReady()) {
        Fail(NetLinkState::Failed, "the network cannot be used (libsodium did not start)");
        return false;
    }
    now_ = startMs_ = NowMs();
    return hosting ? StartHosting(port) : StartJoining(address, port);
}

// A host's socket, listening on `port` of every address.
bool UdpLink::StartHosting(uint16_t port) {
    const bool bound = port_->Open(DatagramUse::Listen, 0, port);
    if (!bound) {
        Release();
        Fail(NetLinkState::Failed, "cannot listen on UDP port %u (is another program using it?)",
             static_cast<unsigned>(port));
        return false;
    }
    state_ = NetLinkState::Listening;
    return true;
}

// A joining side's socket, the host's address found and the handshake begun.
bool UdpLink::StartJoining(const char* address, uint16_t port) {
    char name[kNetHostNameBytes];
    const char* why = nullptr;
    if (!ParseNetAddress(address, name, sizeof name, &port, &why)) {
        Fail(NetLinkState::Failed, "cannot join '%s': %s", address != nullptr ? address : "", why);
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0 || found == nullptr) {
        Fail(NetLinkState::Failed, "cannot join '%s': no such host", name);
        return false;
    }
    const addrinfo* use = found;
    for (const addrinfo* f = found; f != nullptr; f = f->ai_next)
        if ((f->ai_family == AF_INET || f->ai_family == AF_INET6) && f->ai_addrlen <= sizeof peer_.raw) {
            use = f;
            break;
        }
    const bool usable =
        (use->ai_family == AF_INET || use->ai_family == AF_INET6) && use->ai_addrlen <= sizeof peer_.raw;
    if (usable) {
        std::memcpy(peer_.raw, use->ai_addr, use->ai_addrlen);
        peer_.size = static_cast<uint32_t>(use->ai_addrlen);
        const uint16_t networkPort = htons(port);
        if (use->ai_family == AF_INET6)
            std::memcpy(peer_.raw + offsetof(sockaddr_in6, sin6_port), &networkPort, 2);
        else
            std::memcpy(peer_.raw + offsetof(sockaddr_in, sin_port), &networkPort, 2);
    }
    const int family = usable ? use->ai_family : 0;
    freeaddrinfo(found);
    if (!usable) {
        Fail(NetLinkState::Failed, "cannot join '%s': no IPv4 or IPv6 address", name);
        return false;
    }
    if (!port_->Open(DatagramUse::Join, family, 0)) {
        Fail(NetLinkState::Failed, "cannot open a UDP socket (%s)", std::strerror(errno));
        return false;
    }
    havePeer_ = true;
    crypto_kx_keypair(ownPublic_, ownSecret_);
    randombytes_buf(nonce_, sizeof nonce_);
    state_ = NetLinkState::Connecting;
    SendHandshake(now_);
    return true;
}

uint16_t UdpLink::Port() const { return port_->LocalPort(); }

void UdpLink::Close(uint32_t flushMs) {
    if (port_->IsOpen() && keyed_ && state_ == NetLinkState::Connected) {
        // What waits for an acknowledgement goes first, then the goodbye.
        const uint32_t start = NowMs();
        while (sendBase_ != sendNext_ && NowMs() - start < flushMs && state_ == NetLinkState::Connected) {
            now_ = NowMs();
            Flush();
            port_->Wait(10);
            inboxCount_ = 0;  // nothing more is read above
            Receive();
        }
        if (state_ == NetLinkState::Connected) {
            const uint8_t bye = kMsgBye;
            for (int i = 0; i < 2; ++i) {
                QueueMessage(&bye, 1);
                Flush();
            }
        }
    }
    LeaveRoom();
    Release();
    if (state_ != NetLinkState::Failed && state_ != NetLinkState::Lost) state_ = NetLinkState::Closed;
}

void UdpLink::Confirm() {
    if (!hosting_ || !havePeer_ || !keyed_ || confirmed_) return;
    confirmed_ = true;
    // The others waiting are dropped unanswered; the candidate's session
    // lives on in the link's own fields.
    for (PendingPeer& p : pendingPeers_) {
        p.current = false;
        DropPending(p);
    }
}

bool UdpLink::Reject() {
    if (!hosting_ || confirmed_ || !keyed_ || state_ != NetLinkState::Connected) return false;
    Flush();
    for (PendingPeer& p : pendingPeers_)
        if (p.current) DropPending(p);
    UpdateHostState();
    return true;
}

// The pending handshake from `from`'s address (`sameIp`: from its IP
// address, whatever the port), or null.
UdpLink::PendingPeer* UdpLink::PendingFor(const UdpAddress& from, bool sameIp) {
    uint8_t want[18], have[18];
    if (!AddressBytes(from, want)) return nullptr;
    for (PendingPeer& p : pendingPeers_)
        if (p.used && (sameIp || p.address.relayed == from.relayed) && AddressBytes(p.address, have) &&
            std::memcmp(want, have, sameIp ? 16 : 18) == 0)
            return &p;
    return nullptr;
}

void UdpLink::DropPending(PendingPeer& p) {
    if (p.used && p.current) ForgetPeer();
    sodium_memzero(&p, sizeof p);
    p = PendingPeer();
}

void UdpLink::UpdateHostState() {
    if (!hosting_ || (state_ != NetLinkState::Listening && state_ != NetLinkState::Connected)) return;
    bool any = confirmed_ && keyed_;
    for (const PendingPeer& p : pendingPeers_) any |= p.used;
    state_ = any ? NetLinkState::Connected : NetLinkState::Listening;
}

void UdpLink::SendRaw(const uint8_t* bytes, size_t size, const UdpAddress& to) {
    if (!port_->IsOpen()) return;
    if (to.relayed) {
        SendRelayed(bytes, size);
        return;
    }
    const UdpAddress wire = UdpAddressForSocket(to, socketFamily_);
    port_->Send(bytes, size, wire, false);
}

void UdpLink::SendHandshake(uint32_t now) {
    lastHandshakeMs_ = now;
    if (haveCookie_ && hellosSent_ >= kHellosPerCookie) haveCookie_ = false;
    if (!haveCookie_) {
        uint8_t request[kCookieRequestBytes] = {kCookieRequest};
        std::memcpy(request + 1, kLinkMagic, sizeof kLinkMagic);
        request[5] = kLinkVersion;
        std::memcpy(request + 6, nonce_, kNonce);
        SendRaw(request, sizeof request, peer_);
        return;
    }
    uint8_t hello[kLinkHelloBytes] = {kLinkHello};
    std::memcpy(hello + 1, nonce_, kNonce);
    std::memcpy(hello + 1 + kNonce, cookie_, kCookie);
    std::memcpy(hello + 1 + kNonce + kCookie, ownPublic_, kKey);
    SendRaw(hello, sizeof hello, peer_);
    ++hellosSent_;
}

bool UdpLink::MakeCookie(const UdpAddress& from, const uint8_t* nonce, uint64_t slot, uint8_t* cookie) {
    uint8_t input[18 + 8 + kNonce];
    if (!AddressBytes(from, input)) return false;
    WriteLittleEndian<uint64_t>(input + 18, slot);
    std::memcpy(input + 26, nonce, kNonce);
    uint8_t* secret = secrets_[slot & 1];
    if (secretSlot_[slot & 1] != slot) {
        // A slot no secret was made for: a new one, for the newest slot only
        // (a cookie of an older slot is stale).
        if (slot + 1 < SteadyMs() / kCookieSlotMs + 1) return false;
        randombytes_buf(secret, kKeyBytes);
        secretSlot_[slot & 1] = slot;
    }
    return crypto_generichash(cookie, kCookie, input, sizeof input, secret, kKeyBytes) == 0;
}

void UdpLink::Take(const uint8_t* data, size_t size, const UdpAddress& from) {
    now_ = NowMs();
    // A room's server speaks its own messages, each parsed before anything
    // is done; nothing else from its address is taken.
    if (roomMode_ && !from.relayed && SameAddress(from, server_)) {
        TakeFromServer(data, size);
        return;
    }
    if (data == nullptr || size == 0 || size > kMaxDatagramBytes) {
        ++counts_.strangers;
        return;
    }
    if (roomMode_) {
        // A punch opens its sender's router and asks for nothing (it may
        // come before this side knows whose it is). Otherwise only the
        // room's other player, on either of its paths, once the server has
        // paired them.
        if (IsRoomPunch(data, size)) return;
        if (!RoomLinkStarted() || !FromRoomPeer(from)) {
            ++counts_.strangers;
            return;
        }
        peerHeard_ = true;
    }
    if (hosting_) {
        TakeAsHost(data, size, from);
    } else if (!havePeer_ || !(roomMode_ || SameAddress(from, peer_))) {
        ++counts_.strangers;
    } else {
        TakeAsJoiner(data, size, from);
    }
}

void UdpLink::TakeAsHost(const uint8_t* data, size_t size, const UdpAddress& from) {
    if (state_ != NetLinkState::Listening && state_ != NetLinkState::Connected) return;
    bool fromPeer = havePeer_ && SameAddress(from, peer_);
    if (roomMode_ && !fromPeer && havePeer_ && keyed_) {
        // The room's peer on its other path (direct or relayed): the same
        // session, unless a handshake of its own waits there.
        const PendingPeer* p = confirmed_ ? nullptr : PendingFor(from, false);
        fromPeer = p == nullptr || p->current;
    }
    if (fromPeer && data[0] != kCookieRequest && data[0] != kLinkHello) {
        ReadData(data, size, from);
        return;
    }
    if (!confirmed_ && data[0] == kData) {
        PendingPeer* p = PendingFor(from, false);
        if (p != nullptr && !p->current) {
            ReadPending(*p, data, size);
            return;
        }
    }
    const uint64_t slot = SteadyMs() / kCookieSlotMs;
    if (data[0] == kCookieRequest && size == kCookieRequestBytes && std::memcmp(data + 1, kLinkMagic, 4) == 0 &&
        data[5] == kLinkVersion && AllZero(data + 6 + kNonce, kCookieRequestBytes - 6 - kNonce)) {
        if (confirmed_ && !fromPeer) {
            uint8_t busy[kBusyBytes] = {kBusy};
            std::memcpy(busy + 1, data + 6, kNonce);
            SendRaw(busy, sizeof busy, from);
            return;
        }
        uint8_t reply[kCookieReplyBytes] = {kCookieReply};
        std::memcpy(reply + 1, data + 6, kNonce);
        if (MakeCookie(from, data + 6, slot, reply + 1 + kNonce)) SendRaw(reply, sizeof reply, from);
        return;
    }
    if (data[0] == kLinkHello && size == kLinkHelloBytes && !confirmed_ &&
        AllZero(data + 1 + kNonce + kCookie + kKey, kLinkHelloBytes - 1 - kNonce - kCookie - kKey)) {
        const uint8_t* nonce = data + 1;
        const uint8_t* cookie = data + 1 + kNonce;
        const uint8_t* key = data + 1 + kNonce + kCookie;
        const PendingPeer* same = PendingFor(from, false);
        if (same != nullptr && std::memcmp(key, same->peerPublic, kKey) == 0) {
            SendRaw(same->welcome, sizeof same->welcome, from);  // its welcome was lost: once for each hello
            return;
        }
        // A cookie of this slot or the one before.
        bool valid = false;
        for (uint64_t back = 0; back < 2 && back <= slot && !valid; ++back) {
            uint8_t want[kCookie];
            valid = MakeCookie(from, nonce, slot - back, want) && sodium_memcmp(want, cookie, kCookie) == 0;
        }
        if (valid) {
            StartSession(data, from);
            return;
        }
    }
    ++counts_.strangers;
}

// A hello with a valid cookie: a pending session for its sender, in the
// place of its IP address's last one, else a free place, else the oldest
// one's (never the candidate's whose packets may be on their way up).
void UdpLink::StartSession(const uint8_t* hello, const UdpAddress& from) {
    const uint8_t* key = hello + 1 + kNonce + kCookie;
    uint8_t hostPublic[kKey], hostSecret[crypto_kx_SECRETKEYBYTES];
    crypto_kx_keypair(hostPublic, hostSecret);
    uint8_t rx[kKeyBytes], tx[kKeyBytes];
    const bool ok = crypto_kx_server_session_keys(rx, tx, hostPublic, hostSecret, key) == 0;
    sodium_memzero(hostSecret, sizeof hostSecret);
    if (!ok) {  // a public key no one holds the secret of
        ++counts_.strangers;
        return;
    }
    PendingPeer* place = PendingFor(from, true);
    for (PendingPeer& p : pendingPeers_)
        if (place == nullptr && !p.used) place = &p;
    if (place == nullptr) {
        for (PendingPeer& p : pendingPeers_)
            if (!p.current && (place == nullptr || static_cast<int32_t>(p.sinceMs - place->sinceMs) < 0)) place = &p;
    }
    if (place == nullptr) return;
    DropPending(*place);
    PendingPeer& p = *place;
    p.used = true;
    p.address = from;
    p.sinceMs = now_;
    std::memcpy(p.peerPublic, key, kKey);
    std::memcpy(p.rxKey, rx, kKeyBytes);
    std::memcpy(p.txKey, tx, kKeyBytes);
    sodium_memzero(rx, sizeof rx);
    sodium_memzero(tx, sizeof tx);
    // The welcome: the host's key, and a tag under counter 0 that only the
    // holder of the session key could make.
    p.welcome[0] = kLinkWelcome;
    std::memcpy(p.welcome + 1, hostPublic, kKey);
    WriteLittleEndian<uint64_t>(p.welcome + 1 + kKey, 0);
    uint8_t nonce[crypto_aead_chacha20poly1305_ietf_NPUBBYTES];
    CounterNonce(0, nonce);
    crypto_aead_chacha20poly1305_ietf_encrypt(p.welcome + 1 + kKey + kCounterBytes, nullptr, nullptr, 0, p.welcome,
                                              1 + kKey + kCounterBytes, nullptr, nonce, p.txKey);
    // The cookie request is long gone; the hello pays for its welcome, and
    // what it leaves over, for the first datagrams.
    p.budget = kLinkHelloBytes - kLinkWelcomeBytes;
    SendRaw(p.welcome, sizeof p.welcome, from);
    UpdateHostState();
}

namespace {

// Whether an authenticated datagram's plain text brings a packet for the
// upper layer (not only an ack, a ping or a pong).
bool CarriesPacket(const uint8_t* plain, size_t size) {
    for (size_t at = 4; at < size;) {
        const size_t left = size - at - 1;
        switch (plain[at]) {
        case kMsgReliable:
        case kMsgUnreliable:
            return true;
        case kMsgPing:
        case kMsgPong:
            if (left < 4) return false;
            at += 5;
            break;
        default:
            return false;
        }
    }
    return false;
}

}  // namespace

// A datagram from a pending handshake that is not the candidate: kept to
// its own keys and window; the first that brings packets makes it the
// candidate, when there is none or the game has had all of the
// candidate's packets and did not confirm it (its turn is over).
void UdpLink::ReadPending(PendingPeer& p, const uint8_t* data, size_t size) {
    uint8_t plain[kMaxDatagramBytes];
    size_t plainSize = 0;
    if (!Open(p.rxKey, p.rxHighest, p.rxAny, p.rxSeen, data, size, plain, &plainSize)) return;
    p.budget += size;
    if (!CarriesPacket(plain, plainSize)) return;
    // While the candidate's packets wait to go up, the game has not had its
    // look at them: this one's packets come again (a hello is reliable).
    if (keyed_ && inboxCount_ > 0) {
        ++counts_.dropped;
        return;
    }
    Promote(p, plain, plainSize);
}

void UdpLink::Promote(PendingPeer& p, const uint8_t* plain, size_t size) {
    for (PendingPeer& other : pendingPeers_)
        if (other.current) DropPending(other);  // it had its turn and was not taken
    ForgetPeer();
    p.current = true;
    peer_ = p.address;
    havePeer_ = keyed_ = true;
    std::memcpy(rxKey_, p.rxKey, kKeyBytes);
    std::memcpy(txKey_, p.txKey, kKeyBytes);
    rxHighest_ = p.rxHighest;
    rxAny_ = p.rxAny;
    std::memcpy(rxSeen_, p.rxSeen, sizeof rxSeen_);
    txCounter_ = 1;  // 0 was the welcome's
    budget_ = p.budget;
    peerSinceMs_ = p.sinceMs;
    lastHeardMs_ = lastPingMs_ = now_;
    ReadPlain(plain, size);
}

void UdpLink::TakeAsJoiner(const uint8_t* data, size_t size, const UdpAddress& from) {
    if (keyed_) {
        if (data[0] == kLinkWelcome && size == kLinkWelcomeBytes)
            ++counts_.dropped;  // a hello repeated on the way: its welcome again
        else
            ReadData(data, size, from);
        return;
    }
    switch (data[0]) {
    case kCookieReply:
        if (state_ == NetLinkState::Connecting && size == kCookieReplyBytes &&
            sodium_memcmp(data + 1, nonce_, kNonce) == 0) {
            // A room's host answers on the path the request came by: the
            // cookie holds for that one.
            if (roomMode_) peer_ = from;
            std::memcpy(cookie_, data + 1 + kNonce, kCookie);
            haveCookie_ = true;
            hellosSent_ = 0;
            SendHandshake(now_);
            return;
        }
        break;
    case kBusy:
        if (state_ == NetLinkState::Connecting && size == kBusyBytes && sodium_memcmp(data + 1, nonce_, kNonce) == 0) {
            Fail(NetLinkState::Lost, "the host is already playing with someone else");
            return;
        }
        break;
    case kLinkWelcome:
        if (state_ == NetLinkState::Connecting && size == kLinkWelcomeBytes && haveCookie_ &&
            ReadLittleEndian<uint64_t>(data + 1 + kKey) == 0) {
            uint8_t rx[kKeyBytes], tx[kKeyBytes];
            uint8_t nonce[crypto_aead_chacha20poly1305_ietf_NPUBBYTES];
            CounterNonce(0, nonce);
            if (crypto_kx_client_session_keys(rx, tx, ownPublic_, ownSecret_, data + 1) == 0 &&
                crypto_aead_chacha20poly1305_ietf_decrypt(nullptr, nullptr, nullptr, data + 1 + kKey + kCounterBytes,
                                                          kTag, data, 1 + kKey + kCounterBytes, nonce, rx) == 0) {
                std::memcpy(rxKey_, rx, kKeyBytes);
                std::memcpy(txKey_, tx, kKeyBytes);
                sodium_memzero(ownSecret_, sizeof ownSecret_);
                if (roomMode_) peer_ = from;
                keyed_ = rxAny_ = true;
                rxHighest_ = 0;
                rxSeen_[0] = 1;
                txCounter_ = 0;
                lastHeardMs_ = lastPingMs_ = now_;
                state_ = NetLinkState::Connected;
                ackDue_ = true;  // the host hears from it at once
                Flush();
            } else {
                ++counts_.forged;
            }
            sodium_memzero(rx, sizeof rx);
            sodium_memzero(tx, sizeof tx);
            return;
        }
        break;
    default:
        break;
    }
    ++counts_.strangers;
}

void UdpLink::ReadData(const uint8_t* data, size_t size, const UdpAddress& from) {
    if (!keyed_) {
        ++counts_.forged;
        return;
    }
    uint8_t plain[kMaxDatagramBytes];
    size_t plainSize = 0;
    if (!Open(rxKey_, rxHighest_, rxAny_, rxSeen_, data, size, plain, &plainSize)) return;
    // In a room, the answers go the way the peer's last authentic datagram came.
    if (roomMode_) peer_ = from;
    lastHeardMs_ = now_;
    budget_ += size;
    ReadPlain(plain, plainSize);
}

// A data datagram opened under `rxKey`, its counter checked against and
// then kept in the window (`highest`, `any`, `seen`). False, counted, for
// one forged, replayed, or sent twice by the network.
bool UdpLink::Open(const uint8_t* rxKey, uint64_t& highest, bool& any, uint64_t* seen, const uint8_t* data, size_t size,
                   uint8_t* plain, size_t* plainSize) {
    if (data[0] != kData || size < kMinDataBytes) {
        ++counts_.forged;
        return false;
    }
    const uint64_t counter = ReadLittleEndian<uint64_t>(data + 1);
    // The window: newer than the newest is new; within the window, new
    // once; older than the window, refused as replayed.
    bool repeat = false;
    if (any && counter <= highest) {
        if (highest - counter >= kWindowBits) {
            ++counts_.forged;
            return false;
        }
        repeat = (seen[(counter % kWindowBits) / 64] >> (counter % 64) & 1) != 0;
    }
    unsigned long long opened = 0;
    uint8_t nonce[crypto_aead_chacha20poly1305_ietf_NPUBBYTES];
    CounterNonce(counter, nonce);
    if (crypto_aead_chacha20poly1305_ietf_decrypt(plain, &opened, nullptr, data + kDataHeaderBytes,
                                                  size - kDataHeaderBytes, data, kDataHeaderBytes, nonce, rxKey) != 0) {
        ++counts_.forged;
        return false;
    }
    if (repeat) {  // authentic, and taken already: the network sent it twice
        ++counts_.dropped;
        return false;
    }
    if (!any || counter > highest) {
        // The counters the window moves past are forgotten (not yet seen).
        for (uint64_t c = highest + 1; any && c < counter && c - highest <= kWindowBits; ++c)
            seen[(c % kWindowBits) / 64] &= ~(1ull << (c % 64));
        highest = counter;
        any = true;
    }
    seen[(counter % kWindowBits) / 64] |= 1ull << (counter % 64);
    *plainSize = static_cast<size_t>(opened);
    return true;
}

// An authenticated datagram's messages. The peer holds the key, so a
// malformed one is a broken peer: what is left of it is dropped.
void UdpLink::ReadPlain(const uint8_t* plain, size_t size) {
    if (size < 4) return;
    const uint32_t ack = ReadLittleEndian<uint32_t>(plain);
    if (ack - sendBase_ <= sendNext_ - sendBase_) sendBase_ = ack;
    for (size_t at = 4; at < size;) {
        const uint8_t type = plain[at];
        const size_t left = size - at - 1;
        const uint8_t* body = plain + at + 1;
        if (type == kMsgReliable && left >= 5 && body[4] > 0 && body[4] <= kNetMaxPacketBytes && left >= 5u + body[4]) {
            const uint32_t seq = ReadLittleEndian<uint32_t>(body);
            ackDue_ = true;
            if (seq == recvNext_ && inboxCount_ < kInboxSlots) {
                Deliver(body + 5, body[4]);
                ++recvNext_;
            } else if (seq != recvNext_ && static_cast<int32_t>(seq - recvNext_) > 0) {
                ++counts_.dropped;  // after one lost: it comes again in order
            }
            at += 1 + 5 + body[4];
        } else if (type == kMsgUnreliable && left >= 1 && body[0] > 0 && body[0] <= kNetMaxPacketBytes &&
                   left >= 1u + body[0]) {
            if (inboxCount_ < kInboxSlots)
                Deliver(body + 1, body[0]);
            else
                ++counts_.dropped;
            at += 1 + 1 + body[0];
        } else if (type == kMsgPing && left >= 4) {
            uint8_t pong[5] = {kMsgPong};
            std::memcpy(pong + 1, body, 4);
            QueueMessage(pong, sizeof pong);
            at += 5;
        } else if (type == kMsgPong && left >= 4) {
            const uint32_t sample = now_ - ReadLittleEndian<uint32_t>(body);
            if (sample <= kMaxRoundTripSampleMs)
                roundTripMs_ = roundTripMs_ == 0 ? (sample > 0 ? sample : 1) : (roundTripMs_ * 7 + sample) / 8;
            at += 5;
        } else if (type == kMsgBye) {
            Fail(NetLinkState::Lost, "the other player left");
            keyed_ = false;
            return;
        } else {
            ++counts_.dropped;
            return;
        }
    }
}

void UdpLink::Deliver(const uint8_t* bytes, size_t size) {
    NetDatagram& d = inbox_[(inboxHead_ + inboxCount_) % kInboxSlots];
    std::memcpy(d.bytes, bytes, size);
    d.size = size;
    ++inboxCount_;
}

int UdpLink::Drain(NetDatagram* out, int capacity) {
    int got = 0;
    while (got < capacity && inboxCount_ > 0) {
        const NetDatagram& d = inbox_[inboxHead_];
        std::memcpy(out[got].bytes, d.bytes, d.size);
        out[got].size = d.size;
        inboxHead_ = (inboxHead_ + 1) % kInboxSlots;
        --inboxCount_;
        ++got;
    }
    counts_.received += static_cast<uint32_t>(got);
    return got;
}

bool UdpLink::Send(const uint8_t* data, size_t size, bool reliable) {
    if (state_ != NetLinkState::Connected || !keyed_ || data == nullptr || size == 0 || size > kNetMaxPacketBytes)
        return false;
    if (reliable) {
        if (sendNext_ - sendBase_ >= static_cast<uint32_t>(kReliableSlots)) return false;
        ReliableSlot& slot = slots_[sendNext_ % kReliableSlots];
        std::memcpy(slot.bytes, data, size);
        slot.size = static_cast<uint8_t>(size);
        slot.sent = false;
        ++sendNext_;
    } else {
        uint8_t message[2 + kNetMaxPacketBytes] = {kMsgUnreliable, static_cast<uint8_t>(size)};
        std::memcpy(message + 2, data, size);
        QueueMessage(message, size + 2);
    }
    ++counts_.sent;
    return true;
}

void UdpLink::QueueMessage(const uint8_t* bytes, size_t size) {
    if (pendingSize_ + size > sizeof pending_) Flush();
    if (pendingSize_ + size > sizeof pending_) return;
    std::memcpy(pending_ + pendingSize_, bytes, size);
    pendingSize_ += size;
}

uint32_t UdpLink::RetransmitMs() const {
    if (roundTripMs_ == 0) return kFirstRetransmitMs;
    const uint32_t ms = roundTripMs_ * 2 + 20;
    return ms < kMinRetransmitMs ? kMinRetransmitMs : (ms > kMaxRetransmitMs ? kMaxRetransmitMs : ms);
}

void UdpLink::Flush() {
    if (!port_->IsOpen() || !keyed_ || state_ != NetLinkState::Connected) return;
    now_ = NowMs();
    uint8_t plain[kMaxPlainBytes];
    size_t used = 0;
    const auto begin = [&] {
        WriteLittleEndian<uint32_t>(plain, recvNext_);
        used = 4;
    };
    begin();
    bool any = ackDue_;
    const uint32_t wait = RetransmitMs();
    for (uint32_t seq = sendBase_; seq != sendNext_; ++seq) {
        ReliableSlot& s = slots_[seq % kReliableSlots];
        if (s.sent && now_ - s.lastSentMs < wait) continue;
        const size_t need = 6u + s.size;
        if (used + need > kMaxPlainBytes) {
            SendData(plain, used);
            begin();
        }
        plain[used] = kMsgReliable;
        WriteLittleEndian<uint32_t>(plain + used + 1, seq);
        plain[used + 5] = s.size;
        std::memcpy(plain + used + 6, s.bytes, s.size);
        used += need;
        s.sent = true;
        s.lastSentMs = now_;
        any = true;
    }
    if (used + pendingSize_ > kMaxPlainBytes) {
        SendData(plain, used);
        begin();
    }
    std::memcpy(plain + used, pending_, pendingSize_);
    used += pendingSize_;
    any |= pendingSize_ > 0;
    pendingSize_ = 0;
    if (any) SendData(plain, used);
    ackDue_ = false;
}

void UdpLink::SendData(const uint8_t* plain, size_t size) {
    // Until the peer is confirmed the host sends it no more than it heard
    // from it: what is held back (a reliable packet) goes again later.
    const size_t wire = kDataHeaderBytes + size + kTag;
    if (hosting_ && !confirmed_) {
        if (wire > budget_) return;
        budget_ -= wire;
    }
    uint8_t datagram[kMaxDatagramBytes];
    datagram[0] = kData;
    const uint64_t counter = txCounter_++;
    WriteLittleEndian<uint64_t>(datagram + 1, counter);
    uint8_t nonce[crypto_aead_chacha20poly1305_ietf_NPUBBYTES];
    CounterNonce(counter, nonce);
    unsigned long long sealed = 0;
    crypto_aead_chacha20poly1305_ietf_encrypt(datagram + kDataHeaderBytes, &sealed, plain, size, datagram,
                                              kDataHeaderBytes, nullptr, nonce, txKey_);
    SendRaw(datagram, kDataHeaderBytes + static_cast<size_t>(sealed), peer_);
}

void UdpLink::Receive() {
    uint8_t buffer[kReceiveBytes + 1];
    // Room for what one datagram may bring, and a bound on the datagrams a
    // poll reads, so that a flood cannot hold the game's pass; the rest
    // waits in the socket.
    for (int read = 0; port_->IsOpen() && inboxCount_ <= kInboxSlots / 2 && read < kMaxDatagramsPerPoll; ++read) {
        UdpAddress address;
        const long n = port_->Receive(buffer, sizeof buffer, &address);
        if (n < 0) return;
        // Past what it may hold (kMaxDatagramBytes, or a room message's most):
        // refused, whatever it held.
        Take(buffer, static_cast<size_t>(n) <= kReceiveBytes ? static_cast<size_t>(n) : kReceiveBytes + 1, address);
    }
}

void UdpLink::Service(uint32_t now) {
    now_ = now;
    if (roomMode_) {
        // The server first; the link's own work once it has paired the two.
        ServiceRoom(now);
        if (!RoomLinkStarted() || state_ == NetLinkState::Failed || state_ == NetLinkState::Lost) return;
    }
    if (state_ == NetLinkState::Connecting) {
        if (now - startMs_ >= timeoutMs_ && roomMode_) {
            Fail(NetLinkState::Lost, "no answer from the other player's game in %g s, directly or through the server",
                 timeoutMs_ / 1000.0);
            return;
        }
        if (now - startMs_ >= timeoutMs_) {
            uint16_t port = 0;
            std::memcpy(&port, peer_.raw + 2, 2);  // sin_port and sin6_port alike
            Fail(NetLinkState::Lost,
                 "no answer from the host in %g s: the host may be behind a router that does not forward UDP port %u "
                 "to it, behind a firewall, or at another address",
                 timeoutMs_ / 1000.0, static_cast<unsigned>(ntohs(port)));
            return;
        }
        if (now - lastHandshakeMs_ >= kHandshakeResendMs) SendHandshake(now);
        return;
    }
    if (state_ != NetLinkState::Connected) return;
    if (hosting_ && !confirmed_) {
        // A handshake that never became a game is dropped; with none left
        // the host listens on.
        for (PendingPeer& p : pendingPeers_)
            if (p.used && now - p.sinceMs >= kUdpUnconfirmedMs) DropPending(p);
        UpdateHostState();
        if (!keyed_) return;  // no candidate: nothing to send
    }
    if (now - lastHeardMs_ >= timeoutMs_) {
        ForgetPeer();
        Fail(NetLinkState::Lost, "nothing heard from the other game for %g s", timeoutMs_ / 1000.0);
        return;
    }
    if (now - lastPingMs_ >= kLinkPingMs) {
        uint8_t ping[5] = {kMsgPing};
        WriteLittleEndian<uint32_t>(ping + 1, now);
        QueueMessage(ping, sizeof ping);
        lastPingMs_ = now;
    }
    Flush();
}

int UdpLink::Poll(NetDatagram* out, int capacity, uint32_t waitMs) {
    if (!port_->IsOpen()) return Drain(out, capacity);
    if (inboxCount_ == 0 && waitMs > 0) port_->Wait(waitMs);
    Receive();
    Service(NowMs());
    return Drain(out, capacity);
}
