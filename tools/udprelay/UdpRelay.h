#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// A UDP relay for testing network play: it listens on a loopback port, takes
// the first address that sends to it as its client, and passes every
// datagram on to the target and the target's answers back, each after a
// delay drawn between the bounds, some lost, some sent twice, so that they
// also arrive out of order. Every draw comes from the seed: the same seed
// and the same traffic give the same fate to each datagram. Cut() drops
// everything from then on, as a peer that vanished. On the way one
// datagram may be altered (a byte of it flipped, as a forger on the path
// would) and one sent again later (replayed), each the Nth of one direction.

struct RelayOptions {
    uint16_t listenPort = 0;  // 0: a free one (Port())
    uint16_t targetPort = 0;  // on 127.0.0.1
    uint32_t minDelayMs = 0;  // one way
    uint32_t maxDelayMs = 0;
    double loss = 0;       // 0..1, each datagram
    double duplicate = 0;  // 0..1, each datagram that is not lost
    uint64_t seed = 1;
    uint32_t alterNth = 0;   // the Nth datagram (from 1) has its middle byte flipped; 0: none
    uint32_t replayNth = 0;  // the Nth datagram is sent again replayAfterMs later; 0: none
    uint32_t replayAfterMs = 0;
    bool tamperToTarget = true;  // alter and replay what goes to the target, else what comes back
};

struct RelayCounts {
    uint64_t received = 0;
    uint64_t sent = 0;
    uint64_t lost = 0;
    uint64_t duplicated = 0;
    uint64_t cut = 0;  // dropped after Cut()
    uint64_t altered = 0;
    uint64_t replayed = 0;
    uint64_t bytesFromClient = 0;  // every byte received, each way
    uint64_t bytesFromTarget = 0;
};

class UdpRelay {
public:
    UdpRelay() = default;
    ~UdpRelay();
    UdpRelay(const UdpRelay&) = delete;
    UdpRelay& operator=(const UdpRelay&) = delete;

    // Opens the sockets. False with the reason.
    bool Open(const RelayOptions& options, std::string* why);
    uint16_t Port() const { return port_; }
    // Relays until Stop() (from any thread).
    void Run();
    void Stop() { stop_ = true; }
    void Cut() { cut_ = true; }
    RelayCounts Counts() const;

private:
    struct Pending {
        uint64_t due;  // steady clock, µs
        bool toTarget;
        std::vector<uint8_t> bytes;
    };
    uint64_t Draw();
    void Take(int fd, bool toTarget);
    void Deliver(uint64_t now);

    RelayOptions options_;
    int client_ = -1;  // the listening socket, facing the client
    int target_ = -1;  // the socket facing the target
    uint16_t port_ = 0;
    bool haveClient_ = false;
    uint8_t clientAddress_[16] = {};  // a sockaddr_in
    uint64_t random_ = 0;
    std::vector<Pending> pending_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> cut_{false};
    std::atomic<uint64_t> counts_[9] = {};
    uint64_t tamperSeen_ = 0;  // datagrams of the tampered direction so far
};

uint64_t RelayNowMicros();
