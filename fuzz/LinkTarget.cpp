// The link's datagram reader (UdpLink::Take), on a host over a real
// loopback socket. The target makes the handshake itself, as a joiner, so
// that it holds the session keys; then each record of the input is fed to
// the host: raw bytes from the joiner's address, raw bytes from a
// stranger's, or bytes sealed with the session key (so that the messages
// inside are read too) under a counter the record chooses. The first byte
// chooses the side instead: odd, a joining link is fed raw datagrams as
// if from its host.
//
// Records: a byte whose low two bits say which kind (0 raw from the peer,
// 1 raw from a stranger, 2 and 3 sealed; for sealed records its upper six
// bits step the counter back from the next one), a length byte, the bytes.
//
// With the first byte's second bit (and not its first) the link is in a
// room instead, its server a socket here, and each record comes from the
// server's address (0: raw bytes; 2: the bytes as a Room message's body,
// under this link's ask id; 3: as a Relayed datagram) or from a stranger (1).
//
// Rules checked:
//   - only sealed records ever bring a packet for the upper layer, each
//     of 1 .. kNetMaxPacketBytes bytes;
//   - a stranger never gets back more bytes than it sent;
//   - a joining side fed unsealed bytes never connects or delivers;
//   - a room's link fed whatever its server's address sends never
//     connects or delivers, and a stranger gets nothing back from it.

#include <netinet/in.h>
#include <poll.h>
#include <sodium.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "FuzzTargets.h"
#include "net/RoomProtocol.h"
#include "net/UdpLink.h"
#include "platform/LittleEndian.h"

namespace {

constexpr size_t kDatagramBytes = 1200;

struct Socket {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    UdpAddress address;
    Socket() {
        const UdpAddress any = UdpLoopback(false, 0);
        FUZZ_CHECK(bind(fd, reinterpret_cast<const sockaddr*>(any.raw), any.size) == 0);
        sockaddr_in bound{};
        socklen_t length = sizeof bound;
        getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
        address = UdpLoopback(false, ntohs(bound.sin_port));
    }
    ~Socket() { close(fd); }
    void SendTo(uint16_t port, const uint8_t* bytes, size_t size) const {
        const UdpAddress to = UdpLoopback(false, port);
        sendto(fd, bytes, size, 0, reinterpret_cast<const sockaddr*>(to.raw), to.size);
    }
    // The next datagram within `ms` into `out`; its size, or -1.
    ssize_t Receive(uint8_t* out, size_t size, int ms) const {
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, ms) <= 0) return -1;
        return recv(fd, out, size, 0);
    }
    uint64_t DrainBytes() const {
        uint8_t buffer[kDatagramBytes + 1];
        uint64_t total = 0;
        for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) total += static_cast<uint64_t>(n);
        return total;
    }
};

// Polls `link` until `socket` has a datagram (at most a few tries).
ssize_t Answer(UdpLink& link, const Socket& socket, uint8_t* out) {
    NetDatagram d[4];
    for (int i = 0; i < 50; ++i) {
        link.Poll(d, 4, 1);
        const ssize_t n = socket.Receive(out, kDatagramBytes, 1);
        if (n > 0) return n;
    }
    return -1;
}

// The joiner's half of the handshake against `host`: its keys, or false.
bool Handshake(UdpLink& host, const Socket& joiner, uint8_t rx[32], uint8_t tx[32]) {
    uint8_t request[64] = {1, 'V', 'C', 'U', 'L', 1, 9, 8, 7, 6, 5, 4, 3, 2};
    joiner.SendTo(host.Port(), request, sizeof request);
    uint8_t answer[kDatagramBytes];
    if (Answer(host, joiner, answer) != 25) return false;
    uint8_t pk[crypto_kx_PUBLICKEYBYTES], sk[crypto_kx_SECRETKEYBYTES];
    crypto_kx_keypair(pk, sk);
    uint8_t hello[64] = {3};
    std::memcpy(hello + 1, request + 6, 8);
    std::memcpy(hello + 9, answer + 9, 16);
    std::memcpy(hello + 25, pk, sizeof pk);
    joiner.SendTo(host.Port(), hello, sizeof hello);
    if (Answer(host, joiner, answer) != 57) return false;
    return crypto_kx_client_session_keys(rx, tx, pk, sk, answer + 1) == 0;
}

// A room's link fed the records as its server (or a stranger) sends them.
int FuzzRoomLink(const uint8_t* data, size_t size) {
    Socket server, stranger;
    UdpLink link;
    NetRoomAsk ask;
    std::snprintf(ask.serverHost, sizeof ask.serverHost, "127.0.0.1");
    sockaddr_in at{};
    std::memcpy(&at, server.address.raw, sizeof at);
    ask.serverPort = ntohs(at.sin_port);
    ask.mode = (data[0] & 4) != 0 ? NetRoomMode::Quick : NetRoomMode::Create;
    std::snprintf(ask.gameVersion, sizeof ask.gameVersion, "1.0.0");
    FUZZ_CHECK(link.Room(ask));
    uint8_t open[kDatagramBytes];
    RoomMessage asked;
    FUZZ_CHECK(server.Receive(open, sizeof open, 1000) == static_cast<ssize_t>(kRoomOpenBytes));
    FUZZ_CHECK(ParseRoomMessage(open, kRoomOpenBytes, &asked, nullptr) && asked.kind == RoomKind::Open);
    NetDatagram out[16];
    for (size_t at = 1; at + 2 <= size;) {
        const uint8_t kind = data[at];
        const size_t length = data[at + 1] <= size - at - 2 ? data[at + 1] : size - at - 2;
        const uint8_t* bytes = data + at + 2;
        at += 2 + length;
        uint8_t message[kRoomMaxMessageBytes] = {'V', 'C', 'R', 'M', kRoomProtocolVersion};
        size_t n = length;
        const uint8_t* send = bytes;
        if ((kind & 3) == 2) {
            message[5] = static_cast<uint8_t>(RoomKind::Room);
            WriteLittleEndian<uint64_t>(message + kRoomHeaderBytes, asked.askId);
            std::memcpy(message + kRoomHeaderBytes + 8, bytes,
                        length < kRoomRoomBytes - 14 ? length : kRoomRoomBytes - 14);
            send = message;
            n = kRoomRoomBytes;
        } else if ((kind & 3) == 3) {
            message[5] = static_cast<uint8_t>(RoomKind::Relayed);
            std::memcpy(message + kRoomHeaderBytes, bytes, length);
            send = message;
            n = kRoomHeaderBytes + length;
        }
        link.Take(n > 0 ? send : nullptr, n, (kind & 3) == 1 ? stranger.address : server.address);
        for (int polls = 0;; ++polls) {
            const int got = link.Poll(out, 16, 0);
            FUZZ_CHECK(got == 0);
            if (got == 0) break;
        }
        FUZZ_CHECK(link.State() != NetLinkState::Connected);
    }
    FUZZ_CHECK(stranger.DrainBytes() == 0);
    return 0;
}

}  // namespace

int FuzzUdpLink(const uint8_t* data, size_t size) {
    static const bool ready = sodium_init() >= 0;
    FUZZ_CHECK(ready);
    if (data == nullptr || size == 0) return 0;
    if ((data[0] & 3) == 2) return FuzzRoomLink(data, size);
    const bool joining = (data[0] & 1) != 0;
    Socket peer, stranger;
    UdpLink link;
    uint8_t rx[32], tx[32];
    if (joining) {
        sockaddr_in own{};
        std::memcpy(&own, peer.address.raw, sizeof own);
        char address[32];
        std::snprintf(address, sizeof address, "127.0.0.1:%u", static_cast<unsigned>(ntohs(own.sin_port)));
        FUZZ_CHECK(link.Join(address));
    } else {
        FUZZ_CHECK(link.Host(0));
        FUZZ_CHECK(Handshake(link, peer, rx, tx));
    }
    uint64_t counter = 0;  // the joiner's next; its first datagram is number 0
    uint64_t strangerSent = 0;
    NetDatagram out[16];
    for (size_t at = 1; at + 2 <= size;) {
        const uint8_t kind = data[at];
        const size_t length = data[at + 1] <= size - at - 2 ? data[at + 1] : size - at - 2;
        const uint8_t* bytes = data + at + 2;
        at += 2 + length;
        const bool sealed = !joining && (kind & 3) >= 2;
        if (sealed) {
            uint8_t datagram[kDatagramBytes];
            const uint64_t back = kind >> 2;
            const uint64_t use = back <= counter ? counter - back : counter;
            if (use == counter) ++counter;
            datagram[0] = 5;
            WriteLittleEndian<uint64_t>(datagram + 1, use);
            uint8_t nonce[crypto_aead_chacha20poly1305_ietf_NPUBBYTES] = {};
            WriteLittleEndian<uint64_t>(nonce + 4, use);
            unsigned long long n = 0;
            crypto_aead_chacha20poly1305_ietf_encrypt(datagram + 9, &n, bytes, length, datagram, 9, nullptr, nonce, tx);
            link.Take(datagram, 9 + static_cast<size_t>(n), peer.address);
        } else if ((kind & 3) == 1) {
            link.Take(length > 0 ? bytes : nullptr, length, stranger.address);
            strangerSent += length;
        } else {
            link.Take(length > 0 ? bytes : nullptr, length, peer.address);
        }
        // Everything it brought, in as many polls as it takes.
        for (int polls = 0;; ++polls) {
            const int got = link.Poll(out, 16, 0);
            FUZZ_CHECK(got >= 0 && got <= 16);
            FUZZ_CHECK(got == 0 || sealed);
            for (int i = 0; i < got; ++i) FUZZ_CHECK(out[i].size >= 1 && out[i].size <= kNetMaxPacketBytes);
            if (got == 0) break;
            FUZZ_CHECK(polls < 64);
        }
        if (joining) FUZZ_CHECK(link.State() != NetLinkState::Connected);
    }
    FUZZ_CHECK(stranger.DrainBytes() <= strangerSent);
    sodium_memzero(rx, sizeof rx);
    sodium_memzero(tx, sizeof tx);
    return 0;
}
