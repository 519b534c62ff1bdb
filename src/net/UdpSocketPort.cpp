#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "net/DatagramPort.h"
#include "net/RoomProtocol.h"

bool UdpSocketPort::Open(DatagramUse use, int family, uint16_t port) {
    Close();
    if (use == DatagramUse::Join) {
        // Toward the host's family; the system picks the port at the first send.
        fd_ = socket(family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        family_ = fd_ >= 0 ? family : 0;
        return fd_ >= 0;
    }
    // One socket for IPv6 and IPv4 alike; IPv4 alone where the machine has no IPv6.
    bool bound = false;
    fd_ = socket(AF_INET6, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ >= 0) {
        family_ = AF_INET6;
        const int off = 0;
        setsockopt(fd_, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
        sockaddr_in6 any{};
        any.sin6_family = AF_INET6;
        any.sin6_addr = in6addr_any;
        any.sin6_port = htons(port);
        bound = bind(fd_, reinterpret_cast<const sockaddr*>(&any), sizeof any) == 0;
    } else {
        family_ = AF_INET;
        fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in any{};
        any.sin_family = AF_INET;
        any.sin_addr.s_addr = htonl(INADDR_ANY);
        any.sin_port = htons(port);
        bound = fd_ >= 0 && bind(fd_, reinterpret_cast<const sockaddr*>(&any), sizeof any) == 0;
    }
    if (!bound) {
        // (errno stays bind's or socket's for the caller's words.)
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
        family_ = 0;
    }
    return bound;
}

void UdpSocketPort::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    family_ = 0;
}

uint16_t UdpSocketPort::LocalPort() const {
    if (fd_ < 0) return 0;
    sockaddr_in6 a{};
    socklen_t length = sizeof a;
    if (getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length) != 0) return 0;
    // sin_port and sin6_port sit at the same place.
    return ntohs(a.sin6_port);
}

void UdpSocketPort::Send(const uint8_t* bytes, size_t size, const UdpAddress& to, bool shortLived) {
    if (fd_ < 0) return;
    if (!shortLived) {
        sendto(fd_, bytes, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(to.raw), to.size);
        return;
    }
    // A short life: this side's router opens a mapping for the address,
    // the other side's never sees the datagram. The socket's own TTL is
    // put back at once.
    int ttl4 = 0, hops6 = 0;
    socklen_t size4 = sizeof ttl4, size6 = sizeof hops6;
    const bool had4 = getsockopt(fd_, IPPROTO_IP, IP_TTL, &ttl4, &size4) == 0;
    const bool had6 = family_ == AF_INET6 && getsockopt(fd_, IPPROTO_IPV6, IPV6_UNICAST_HOPS, &hops6, &size6) == 0;
    const int shortLife = kRoomPunchTtl;
    if (had4) setsockopt(fd_, IPPROTO_IP, IP_TTL, &shortLife, sizeof shortLife);
    if (had6) setsockopt(fd_, IPPROTO_IPV6, IPV6_UNICAST_HOPS, &shortLife, sizeof shortLife);
    sendto(fd_, bytes, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(to.raw), to.size);
    if (had4) setsockopt(fd_, IPPROTO_IP, IP_TTL, &ttl4, sizeof ttl4);
    if (had6) setsockopt(fd_, IPPROTO_IPV6, IPV6_UNICAST_HOPS, &hops6, sizeof hops6);
}

long UdpSocketPort::Receive(uint8_t* buffer, size_t capacity, UdpAddress* from) {
    if (fd_ < 0) return -1;
    sockaddr_in6 source{};
    socklen_t length = sizeof source;
    const ssize_t n = recvfrom(fd_, buffer, capacity, MSG_TRUNC, reinterpret_cast<sockaddr*>(&source), &length);
    if (n < 0) return -1;
    *from = UdpAddress();
    from->size = length <= sizeof from->raw ? static_cast<uint32_t>(length) : 0;
    std::memcpy(from->raw, &source, from->size);
    return static_cast<long>(n);
}

void UdpSocketPort::Wait(uint32_t ms) {
    if (fd_ < 0) return;
    pollfd p = {fd_, POLLIN, 0};
    poll(&p, 1, static_cast<int>(ms));
}

bool UdpSocketPort::FindServer(const char* host, uint16_t port, UdpAddress* out, const char** why) {
    *out = UdpAddress();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) {
        *why = "no such host";
        return false;
    }
    for (const addrinfo* f = found; f != nullptr && out->size == 0; f = f->ai_next)
        if ((f->ai_family == AF_INET || f->ai_family == AF_INET6) && f->ai_addrlen <= sizeof out->raw) {
            std::memcpy(out->raw, f->ai_addr, f->ai_addrlen);
            out->size = static_cast<uint32_t>(f->ai_addrlen);
        }
    freeaddrinfo(found);
    if (out->size == 0) {
        *why = "no IPv4 or IPv6 address";
        return false;
    }
    const uint16_t networkPort = htons(port);
    std::memcpy(out->raw + 2, &networkPort, 2);  // sin_port and sin6_port sit at the same place
    return true;
}
