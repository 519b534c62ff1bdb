#pragma once
#include <cstddef>
#include <cstdint>

// A socket address as the link keeps it: a sockaddr_in or sockaddr_in6,
// `size` bytes of it (0: none). `relayed`: the peer's path through the
// room server's relay (raw is then the server's address).
struct UdpAddress {
    alignas(8) uint8_t raw[28] = {};
    uint32_t size = 0;
    bool relayed = false;
};

// What a port is opened for.
enum class DatagramUse : uint8_t {
    Listen,  // a host: `port` of every address
    Join,    // a joiner: toward one address of `family`, from any free port
    Room,    // a room's game: any free port, IPv6 and IPv4 alike
};

// Where the link's datagrams go out and come in (net/UdpLink): the
// desktop's UDP socket (UdpSocketPort), or anything else that carries
// datagrams, such as the page's WebSocket to its room server. A port
// never allocates once open and never throws; what it cannot send is
// dropped, as the network drops it.
class DatagramPort {
public:
    virtual ~DatagramPort() = default;
    // False when it cannot open (errno says why, where there is one).
    virtual bool Open(DatagramUse use, int family, uint16_t port) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // The family the port sends with (AF_INET6 takes IPv4 as mapped), as
    // UdpAddressForSocket takes it.
    virtual int Family() const = 0;
    // The port's own number (0: none, or none it can say).
    virtual uint16_t LocalPort() const = 0;
    // One datagram to `to`; `shortLived`: with the IP TTL (IPv6 hop limit)
    // of a room's punch.
    virtual void Send(const uint8_t* bytes, size_t size, const UdpAddress& to, bool shortLived) = 0;
    // The next datagram into `buffer` and its sender: its whole size (more
    // than `capacity` when it was cut), or -1 when none waits.
    virtual long Receive(uint8_t* buffer, size_t capacity, UdpAddress* from) = 0;
    // Waits up to `ms` for a datagram (a port that cannot wait returns).
    virtual void Wait(uint32_t ms) = 0;
    // The room server's address `host`:`port` as this port sends to it;
    // false when it is unknown (`why` in words).
    virtual bool FindServer(const char* host, uint16_t port, UdpAddress* out, const char** why) = 0;
    // A port that reaches the room server alone (the page's): the other
    // player is then met through the server's relay, whatever its address.
    virtual bool ServerOnly() const { return false; }
    // Why the port's way to the server has ended, or could not open, in
    // words (the page's WebSocket closed, or the page knows no server);
    // null while it stands. The link then gives up at once, in these
    // words, rather than after its silence.
    virtual const char* Broken() const { return nullptr; }
};

// The desktop's port: one UDP socket, non-blocking.
class UdpSocketPort final : public DatagramPort {
public:
    UdpSocketPort() = default;
    ~UdpSocketPort() override { UdpSocketPort::Close(); }
    UdpSocketPort(const UdpSocketPort&) = delete;
    UdpSocketPort& operator=(const UdpSocketPort&) = delete;

    bool Open(DatagramUse use, int family, uint16_t port) override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }
    int Family() const override { return family_; }
    uint16_t LocalPort() const override;
    void Send(const uint8_t* bytes, size_t size, const UdpAddress& to, bool shortLived) override;
    long Receive(uint8_t* buffer, size_t capacity, UdpAddress* from) override;
    void Wait(uint32_t ms) override;
    bool FindServer(const char* host, uint16_t port, UdpAddress* out, const char** why) override;

private:
    int fd_ = -1;
    int family_ = 0;
};
