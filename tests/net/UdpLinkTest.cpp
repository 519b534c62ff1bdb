// Two ends of a network game in one process over loopback, straight or
// through the UDP relay (tools/udprelay): addresses, a second peer turned
// away, a peer that leaves, the greeting and its refusals, hashes that
// differ, inputs exchanged through delay, loss
// and reordering with none missing, points records between levels, a
// peer that goes silent, IPv6; and what strangers and forgers on the path
// can do: never hold the host, never get back more than they sent, never
// have an altered or replayed datagram taken.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <sodium.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "UdpRelay.h"
#include "net/NetInputs.h"
#include "net/NetPeer.h"
#include "net/NetProtocol.h"
#include "net/UdpLink.h"

namespace {

bool OnCi() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::strcmp(ci, "true") == 0;
}

uint32_t NowMs() { return static_cast<uint32_t>(RelayNowMicros() / 1000); }

// A relay on its own thread, stopped when the test ends.
struct Relay {
    UdpRelay relay;
    std::thread thread;
    explicit Relay(const RelayOptions& o) {
        std::string why;
        if (!relay.Open(o, &why))
            ADD_FAILURE() << why;
        else
            thread = std::thread([this] { relay.Run(); });
    }
    ~Relay() {
        relay.Stop();
        if (thread.joinable()) thread.join();
    }
};

// One end: its link, and the packets its reader refused.
struct End {
    UdpLink link;
    NetInputQueue queue;
    NetDatagram received[64];
    int refused = 0;
    int accepted = 0;  // packets the reader took, whoever pumped them

    void Send(const NetPacket& p, bool reliable) {
        uint8_t bytes[kNetMaxPacketBytes];
        const size_t n = WriteNetPacket(p, bytes, sizeof bytes);
        ASSERT_GT(n, 0u);
        link.Send(bytes, n, reliable);
    }
    // Polls, and hands each accepted packet to `take`.
    template <typename Take>
    void Pump(uint32_t waitMs, Take take) {
        const int n = link.Poll(received, 64, waitMs);
        for (int i = 0; i < n; ++i) {
            NetPacket p;
            const char* why = nullptr;
            if (ParseNetPacket(received[i].bytes, received[i].size, queue.Window(), &p, &why)) {
                ++accepted;
                take(p);
            } else {
                ++refused;
            }
        }
    }
    void Pump(uint32_t waitMs = 0) {
        Pump(waitMs, [](const NetPacket&) {});
    }
};

// Polls both ends until `done` or `ms` pass.
template <typename Done>
bool PumpUntil(End& a, End& b, uint32_t ms, Done done) {
    const uint32_t start = NowMs();
    while (!done()) {
        if (NowMs() - start > ms) return false;
        a.Pump(1);
        b.Pump(1);
    }
    return true;
}

// Connects `joiner` to `host` (through `port`, the host's or a relay's).
void Connect(End& host, End& joiner, uint16_t port) {
    const std::string address = "127.0.0.1:" + std::to_string(port);
    ASSERT_TRUE(joiner.link.Join(address.c_str())) << joiner.link.Failure();
    ASSERT_TRUE(PumpUntil(host, joiner, 3000, [&] {
        return host.link.State() == NetLinkState::Connected && joiner.link.State() == NetLinkState::Connected;
    })) << joiner.link.Failure();
}

// `joiner` sends a packet, and `host`, once it has it, confirms it, as the
// host's NetPeer does on a greeting.
void Greet(End& host, End& joiner) {
    NetPacket ping;
    ping.kind = NetKind::Ping;
    joiner.Send(ping, true);
    // Counted by whichever pump takes it (PumpUntil's own pumps too). A
    // loaded machine may take a while: the bound is for a packet that never
    // comes.
    const int before = host.accepted;
    ASSERT_TRUE(PumpUntil(host, joiner, 5000, [&] { return host.accepted > before; }));
    host.link.Confirm();
}

// A second peer is turned away once the first is confirmed; hostile bytes from the first are refused
// by the reader, never acted on, and the link goes on; its leaving is
// heard; a port in use and a host that is no name are said.
TEST(UdpLink, ASecondPeerIsTurnedAwayMalformedPacketsDroppedAndLeavingHeard) {
    End host, first, second;
    ASSERT_TRUE(host.link.Host(0));
    Connect(host, first, host.link.Port());
    Greet(host, first);
    const std::string address = "127.0.0.1:" + std::to_string(host.link.Port());
    ASSERT_TRUE(second.link.Join(address.c_str()));
    ASSERT_TRUE(PumpUntil(host, second, 3000, [&] {
        first.Pump();
        return second.link.State() == NetLinkState::Lost;
    }));
    EXPECT_STREQ(second.link.Failure(), "the host is already playing with someone else");
    EXPECT_EQ(first.link.State(), NetLinkState::Connected);

    const uint8_t junk[][8] = {{'V', 'C', 'N', 'P', 1, 4, 0, 0}, {'V', 'C', 'N', 'P', 9, 1, 0, 0}, {0}};
    for (const auto& j : junk) first.link.Send(j, sizeof j, true);  // in order, before the bye
    uint8_t longest[kNetMaxPacketBytes] = {'V', 'C', 'N', 'P', 1, 8, 1};
    first.link.Send(longest, sizeof longest, true);
    NetPacket bye;
    bye.kind = NetKind::Bye;
    first.Send(bye, true);
    bool gotBye = false;
    ASSERT_TRUE(PumpUntil(host, first, 2000, [&] {
        host.Pump(0, [&](const NetPacket& p) { gotBye |= p.kind == NetKind::Bye; });
        return gotBye;
    }));
    EXPECT_EQ(host.refused, 4);
    EXPECT_EQ(host.link.State(), NetLinkState::Connected);
    first.link.Close();
    ASSERT_TRUE(PumpUntil(host, first, 2000, [&] { return host.link.State() == NetLinkState::Lost; }));
    EXPECT_STREQ(host.link.Failure(), "the other player left");

    End again;
    EXPECT_FALSE(again.link.Host(host.link.Port()));
    EXPECT_EQ(again.link.State(), NetLinkState::Failed);
    EXPECT_NE(std::string(again.link.Failure()).find("cannot listen on UDP port"), std::string::npos);
    End nowhere;
    EXPECT_FALSE(nowhere.link.Join("no such host!"));
    EXPECT_EQ(nowhere.link.State(), NetLinkState::Failed);
}

TEST(UdpLink, APeerThatGoesSilentIsLost) {
    const uint32_t timeout = OnCi() ? kNetTimeoutMs : 800;  // long enough to ride out a busy machine's stalls
    End host, joiner;
    host.link.SetTimeout(timeout);
    joiner.link.SetTimeout(timeout);
    ASSERT_TRUE(host.link.Host(0));
    Relay relay({0, host.link.Port(), 5, 10, 0, 0, 3});
    Connect(host, joiner, relay.relay.Port());
    Greet(host, joiner);
    // Alive while the link's own pings still pass, well beyond the timeout.
    ASSERT_FALSE(
        PumpUntil(host, joiner, timeout * 5 / 4 + 100, [&] { return host.link.State() != NetLinkState::Connected; }));
    relay.relay.Cut();
    const uint32_t cutAt = NowMs();
    ASSERT_TRUE(PumpUntil(host, joiner, timeout * 3, [&] {
        return host.link.State() == NetLinkState::Lost && joiner.link.State() == NetLinkState::Lost;
    }));
    const uint32_t took = NowMs() - cutAt;
    EXPECT_GE(took, timeout / 2);  // the last ping heard came at most a ping's interval before the cut
    EXPECT_LE(took, timeout + 700);
    EXPECT_NE(std::string(host.link.Failure()).find("nothing heard from the other game"), std::string::npos)
        << host.link.Failure();
    EXPECT_EQ(host.link.Send(reinterpret_cast<const uint8_t*>("x"), 1, false), false);
}

NetHello Hello(const char* version, uint64_t data, const char* name) {
    NetHello h;
    std::snprintf(h.gameVersion, sizeof h.gameVersion, "%s", version);
    h.dataHash = data;
    std::snprintf(h.name, sizeof h.name, "%s", name);
    return h;
}

// Polls two peers until each holds `passes` of the other's passes, or 2 s.
bool PumpUntilPlayed(NetPeer& a, NetPeer& b, uint32_t passes) {
    for (const uint32_t start = NowMs(); a.PeerPasses() < passes || b.PeerPasses() < passes;) {
        if (NowMs() - start > 2000) return false;
        a.Update(NowMs());
        b.Update(NowMs());
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Two peers over a relay with some delay, greeted.
struct Peers {
    UdpLink hostLink, joinLink;
    NetPeer host, joiner;
    std::unique_ptr<Relay> relay;

    Peers(const NetHello& hostHello, const NetHello& joinHello, RelayOptions through = {0, 0, 5, 15, 0, 0, 9}) {
        EXPECT_TRUE(hostLink.Host(0));
        through.targetPort = hostLink.Port();
        relay = std::make_unique<Relay>(through);
        NetWelcome welcome;
        welcome.host = hostHello;
        welcome.inputDelay = 2;
        welcome.difficulty = 1;
        welcome.seed = 4242;
        host.StartHost(&hostLink, welcome);
        const std::string address = "127.0.0.1:" + std::to_string(relay->relay.Port());
        EXPECT_TRUE(joinLink.Join(address.c_str()));
        joiner.StartJoin(&joinLink, joinHello);
    }
    template <typename Done>
    bool Until(uint32_t ms, Done done) {
        const uint32_t start = NowMs();
        while (!done()) {
            if (NowMs() - start > ms) return false;
            host.Update(NowMs());
            joiner.Update(NowMs());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    bool Settled() const {
        return host.GetState() != NetPeer::State::Greeting && joiner.GetState() != NetPeer::State::Greeting;
    }
};

struct Exchange {
    uint32_t passes;
    uint32_t minDelayMs, maxDelayMs;
    double loss, duplicate;
    uint32_t alterNth = 0, replayNth = 0, replayAfterMs = 0;  // the relay's, to the host or (back) from it
    bool back = false;
};

// What each link counted over an exchange.
struct ExchangeCounts {
    NetLinkCounts host, joiner;
    RelayCounts relay;
};

// Two games a pass apart, 100 passes a second: each sends its input once a
// pass (and waits, as the match does, while too many wait for an
// acknowledgement); both must end with every pass of the other's input,
// and the round trip what the relay makes it (the allocation tests count
// the heap over a match on loopback).
void PlayPasses(const Exchange& x, ExchangeCounts* counts = nullptr) {
    const NetHello hello = Hello("1.0.0", 1, "A");
    RelayOptions through = {0, 0, x.minDelayMs, x.maxDelayMs, x.loss, x.duplicate, 7};
    through.alterNth = x.alterNth;
    through.replayNth = x.replayNth;
    through.replayAfterMs = x.replayAfterMs;
    through.tamperToTarget = !x.back;
    Peers p(hello, hello, through);
    ASSERT_TRUE(p.Until(3000, [&] { return p.Settled(); }));
    ASSERT_EQ(p.joiner.GetState(), NetPeer::State::Playing);
    NetPeer* ends[2] = {&p.host, &p.joiner};
    auto input = [](uint32_t pass, int side) {
        NetInput in;
        in.keys = static_cast<uint8_t>((pass * 7 + side * 13) & kNetKeyBits);
        in.extra[0] = static_cast<uint8_t>(pass & 1);
        in.extra[1] = static_cast<uint8_t>(pass % 101);
        return in;
    };
    uint32_t checked[2] = {0, 0};
    auto pass = [&](uint32_t until) {  // one pass of both games, then reading the other's input
        for (NetPeer* e : ends) e->Update(NowMs());
        for (int side = 0; side < 2; ++side) {
            NetInput got;
            for (; ends[side]->PeerInput(checked[side], &got); ++checked[side]) {
                const NetInput want = input(checked[side], 1 - side);
                EXPECT_EQ((std::tuple{got.keys, got.extra[0], got.extra[1]}),
                          (std::tuple{want.keys, want.extra[0], want.extra[1]}))
                    << "pass " << checked[side];
            }
        }
        while (static_cast<int32_t>(until - NowMs()) > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    uint64_t roundTrips = 0, samples = 0;
    for (uint32_t n = 0; n < x.passes; ++n) {
        for (int side = 0; side < 2; ++side) {
            for (const uint32_t waitFrom = NowMs(); !ends[side]->SendInput(input(n, side));) {
                ASSERT_LT(NowMs() - waitFrom, 3000u) << "nothing acknowledged for 3 s at pass " << n;
                pass(NowMs() + 10);
            }
        }
        pass(NowMs() + 10);
        roundTrips += p.host.RoundTripMs();
        samples += p.host.RoundTripMs() != 0;
    }
    for (const uint32_t start = NowMs(); checked[0] < x.passes || checked[1] < x.passes;) {
        ASSERT_LT(NowMs() - start, 3000u) << checked[0] << " and " << checked[1] << " of " << x.passes;
        pass(NowMs() + 10);  // the last passes, sent again until acknowledged
    }
    EXPECT_EQ(p.host.Refused() + p.joiner.Refused(), 0u);
    EXPECT_EQ(p.host.GetState(), NetPeer::State::Playing);
    ASSERT_GT(samples, 0u);
    const uint64_t meanRoundTrip = roundTrips / samples;              // the pings' samples, read a pass at a time
    EXPECT_GE(meanRoundTrip, (x.minDelayMs + x.maxDelayMs) * 3 / 4);  // the relay's mean is their sum
    EXPECT_LE(meanRoundTrip, 2 * x.maxDelayMs + 50);
    if (counts != nullptr) *counts = {p.hostLink.Counts(), p.joinLink.Counts(), p.relay->relay.Counts()};
}

// The queue's own tests (NetInputQueue) take it through heavier loss; here
// the passes go over the real link and sockets, long enough for the round
// trip's samples.
TEST(UdpLink, InputsOfEveryPassArriveThroughDelayLossAndReordering) {
    // 100 ms round trip on average, 5 % lost each way, some twice.
    PlayPasses({150, 30, 70, 0.05, 0.02});
}

TEST(UdpLink, InputsArriveThroughLongDelaysOnCi) {
    // 40-300 ms round trips, 5 % lost and 5 % twice each way, for 30 s.
    if (!OnCi()) GTEST_SKIP() << "a long lossy run: CI=true";
    PlayPasses({3000, 20, 150, 0.05, 0.05});
}

TEST(NetPeer, GreetingWelcomesAMatchOrRefusesAMismatchWithItsMessage) {
    const NetHello ours = Hello("1.0.0", 0xABCD, "HOST");
    NetHello guest = Hello("1.0.0", 0xABCD, "GUEST");
    guest.inputDelay = 3;
    const struct {
        NetHello joiner;
        NetPeer::State state;
        const char* joinerMessage;
        const char* hostMessage;
    } cases[] = {
        {guest, NetPeer::State::Playing, "", ""},
        {Hello("1.0.1", 0xABCD, "GUEST"), NetPeer::State::Refused,
         "the host runs VoidCrawl 1.0.0; this is VoidCrawl 1.0.1",
         "GUEST wanted to join with another version of VoidCrawl"},
        {Hello("1.0.0", 0x1234, "GUEST"), NetPeer::State::Refused,
         "the host plays other levels (data set 000000000000abcd; this game's is 0000000000001234)",
         "GUEST wanted to join with other levels"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.joinerMessage);
        Peers p(ours, c.joiner);
        ASSERT_TRUE(p.Until(3000, [&] { return p.Settled(); }));
        EXPECT_EQ(p.joiner.GetState(), c.state);
        EXPECT_EQ(p.host.GetState(), c.state);
        EXPECT_STREQ(p.joiner.Message(), c.joinerMessage);
        EXPECT_STREQ(p.host.Message(), c.hostMessage);
        if (c.state == NetPeer::State::Playing) {
            EXPECT_STREQ(p.joiner.PeerHello().name, "HOST");
            EXPECT_STREQ(p.host.PeerHello().name, "GUEST");
            EXPECT_EQ(p.joiner.Match().seed, 4242u);
            EXPECT_EQ(p.joiner.Match().inputDelay, 3);  // the joiner's wish, above the host's 2
        }
    }
}

TEST(NetPeer, InputsFlowHashesAgreeThenDifferAndLeavingIsSaid) {
    const NetHello hello = Hello("1.0.0", 1, "A");
    Peers p(hello, hello);
    ASSERT_TRUE(p.Until(3000, [&] { return p.Settled(); }));
    ASSERT_EQ(p.joiner.GetState(), NetPeer::State::Playing);
    NetPeer* both[2] = {&p.host, &p.joiner};
    // 250 passes; the same hash at 100 and 200 from both.
    for (uint32_t pass = 0; pass < 250; ++pass) {
        for (int side = 0; side < 2; ++side) {
            NetInput in;
            in.keys = static_cast<uint8_t>((pass + static_cast<uint32_t>(side)) & kNetKeyBits);
            ASSERT_TRUE(both[side]->SendInput(in));
            if (pass % kNetHashInterval == 0 && pass > 0) both[side]->SendHash(pass, pass * 31);
        }
        p.Until(2, [] { return false; });
    }
    ASSERT_TRUE(p.Until(2000, [&] { return p.host.PeerPasses() == 250 && p.joiner.PeerPasses() == 250; }));
    NetInput got;
    ASSERT_TRUE(p.host.PeerInput(249, &got));
    EXPECT_EQ(got.keys, (249 + 1) & kNetKeyBits);
    EXPECT_EQ(p.host.GetState(), NetPeer::State::Playing);
    EXPECT_GT(p.host.RoundTripMs(), 10u);   // 5-15 ms each way
    EXPECT_LT(p.host.RoundTripMs(), 500u);  // one sample: room for a stall
    EXPECT_EQ(p.host.Refused() + p.joiner.Refused(), 0u);

    // Hashes that differ end the match on both sides.
    p.host.SendHash(200, 1);
    ASSERT_TRUE(p.Until(2000, [&] { return p.host.GetState() != NetPeer::State::Playing; }));
    EXPECT_EQ(p.host.GetState(), NetPeer::State::OutOfStep);
    EXPECT_STREQ(p.host.Message(), "the two games went out of step at pass 200");
    ASSERT_TRUE(p.Until(2000, [&] { return p.joiner.GetState() != NetPeer::State::Playing; }));
    EXPECT_EQ(p.joiner.GetState(), NetPeer::State::OutOfStep);
    EXPECT_NE(std::string(p.joiner.Message()).find("out of step"), std::string::npos) << p.joiner.Message();

    Peers q(hello, hello);
    ASSERT_TRUE(q.Until(3000, [&] { return q.Settled(); }));
    q.joiner.Leave();
    ASSERT_TRUE(q.Until(2000, [&] { return q.host.GetState() == NetPeer::State::Left; }));
    EXPECT_STREQ(q.host.Message(), "the other player left");
}

// Each side sends its player's points record for level 3; each sees the
// other's, for that level only, until a newer record comes.
TEST(NetPeer, PointsRecordsOfALevelReachTheOtherSide) {
    NetPeer idle;
    EXPECT_FALSE(idle.SendPoints({}));  // not playing
    const NetHello hello = Hello("1.0.0", 1, "A");
    Peers p(hello, hello);
    ASSERT_TRUE(p.Until(3000, [&] { return p.Settled(); }));
    NetPoints mine[2] = {{3, 0x3F800000, 0x40000000, 1, 2, 3, 4, 5, 6000},
                         {3, 0x40400000, 0x3F000000, 0, 0, 9, 1, 2, 17}};
    NetPeer* both[2] = {&p.host, &p.joiner};
    NetPoints got;
    EXPECT_FALSE(p.host.PeerPoints(3, &got));
    NetPoints bad = mine[0];
    bad.lives = -1;
    EXPECT_FALSE(p.host.SendPoints(bad));
    for (int side = 0; side < 2; ++side) ASSERT_TRUE(both[side]->SendPoints(mine[side]));
    ASSERT_TRUE(p.Until(2000, [&] { return p.host.PeerPoints(3, &got) && p.joiner.PeerPoints(3, &got); }));
    for (int side = 0; side < 2; ++side) {
        ASSERT_TRUE(both[side]->PeerPoints(3, &got));
        const NetPoints& want = mine[1 - side];
        EXPECT_EQ(got.velocityBits, want.velocityBits);
        EXPECT_EQ(got.accelerationBits, want.accelerationBits);
        EXPECT_EQ(got.hsJumpSeconds, want.hsJumpSeconds);
        EXPECT_EQ(got.points, want.points);
        EXPECT_FALSE(both[side]->PeerPoints(4, &got));
    }
    // The next level's record takes the place of this one's.
    mine[0].level = 4;
    ASSERT_TRUE(p.host.SendPoints(mine[0]));
    ASSERT_TRUE(p.Until(2000, [&] { return p.joiner.PeerPoints(4, &got); }));
    EXPECT_FALSE(p.joiner.PeerPoints(3, &got));
    EXPECT_EQ(p.host.Refused() + p.joiner.Refused(), 0u);
}

// A stranger's socket on loopback, counting what it sends and gets back.
struct Stranger {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    uint64_t sent = 0, received = 0;
    ~Stranger() { close(fd); }
    void SendTo(uint16_t port, const uint8_t* data, size_t size) {
        const UdpAddress to = UdpLoopback(false, port);
        if (sendto(fd, data, size, 0, reinterpret_cast<const sockaddr*>(to.raw), to.size) == static_cast<ssize_t>(size))
            sent += size;
    }
    void Drain() {
        uint8_t buffer[2048];
        for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) received += static_cast<uint64_t>(n);
    }
};

// A cookie request as a joiner sends it (docs/net-protocol.md).
std::vector<uint8_t> CookieRequest(uint8_t nonce) {
    std::vector<uint8_t> r(64, 0);
    const uint8_t head[] = {1, 'V', 'C', 'U', 'L', 1, nonce, 2, 3, 4, 5, 6, 7, 8};
    std::copy(std::begin(head), std::end(head), r.begin());
    return r;
}

// A handshake that got its welcome and then says nothing more.
struct Silent {
    UdpLink link;
    bool Connect(uint16_t port) {
        const std::string address = "127.0.0.1:" + std::to_string(port);
        if (!link.Join(address.c_str())) return false;
        NetDatagram d[4];
        for (const uint32_t start = NowMs(); NowMs() - start < 2000;)
            if (link.Poll(d, 4, 1) >= 0 && link.State() == NetLinkState::Connected) return true;
        return false;
    }
};

// Garbage (an ENet connect among it), cookie requests and handshakes that
// never greet, from several sockets, before and while a real joiner comes:
// it is answered and plays within a second; the garbage gets nothing back,
// the cookie requests less than they sent.
TEST(UdpLink, StrangersNeverHoldTheHostNorGetBackMoreThanTheySent) {
    const NetHello hello = Hello("1.0.0", 1, "A");
    UdpLink hostLink, joinLink;
    ASSERT_TRUE(hostLink.Host(0));
    const uint16_t port = hostLink.Port();
    NetWelcome welcome;
    welcome.host = hello;
    NetPeer host, joiner;
    host.StartHost(&hostLink, welcome);
    Stranger garbage[2], asking[2];
    // An ENet CONNECT (peer 0x7FFF, command 2 with its flags), then bytes of all kinds.
    const uint8_t enetConnect[48] = {0x7F, 0xFF, 0, 0, 0x82, 0xFF, 0, 1, 0, 0, 0, 0, 0, 0, 0x05, 0xDC};
    uint8_t junk[200];
    for (size_t i = 0; i < sizeof junk; ++i) junk[i] = static_cast<uint8_t>(i * 37 + 11);
    const std::vector<uint8_t> requests[2] = {CookieRequest(1), CookieRequest(2)};
    std::atomic<uint32_t> flooded{0};
    auto flood = [&] {
        garbage[0].SendTo(port, enetConnect, sizeof enetConnect);
        garbage[1].SendTo(port, junk, 1 + flooded % sizeof junk);
        for (int i = 0; i < 2; ++i) asking[i].SendTo(port, requests[i].data(), requests[i].size());
        for (Stranger* each : {&garbage[0], &garbage[1], &asking[0], &asking[1]})
            each->Drain();  // every answer counted
        ++flooded;
    };
    // While the joiner comes, the strangers send as fast as a thread of
    // theirs can, a few hundred microseconds apart, for 3 s at most.
    std::atomic<bool> flooding{false};
    std::thread flooder;
    auto startFlood = [&] {
        flooding = true;
        flooder = std::thread([&] {
            for (const uint32_t start = NowMs(); flooding && NowMs() - start < 3000;) {
                flood();
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
    };
    auto stopFlood = [&] {
        flooding = false;
        if (flooder.joinable()) flooder.join();
    };
    // Silent handshakes one after the other, all from 127.0.0.1: each takes
    // the last one's place (one place for each address).
    Silent silent[3];
    for (Silent& s : silent) {
        flood();
        std::atomic<bool> connected{false};
        std::thread pump([&] {
            while (!connected) host.Update(NowMs());
        });
        EXPECT_TRUE(s.Connect(port));
        connected = true;
        pump.join();
    }
    EXPECT_EQ(hostLink.State(), NetLinkState::Connected);  // the last of them, not yet dropped
    const std::string address = "127.0.0.1:" + std::to_string(port);
    startFlood();
    // The host plays on a while with the last of them waiting.
    for (const uint32_t start = NowMs(); NowMs() - start < 300;) host.Update(NowMs());
    const uint32_t joinAt = NowMs(), floodedBefore = flooded;
    ASSERT_TRUE(joinLink.Join(address.c_str()));
    joiner.StartJoin(&joinLink, hello);
    for (;;) {
        host.Update(NowMs());
        joiner.Update(NowMs());
        if (host.GetState() == NetPeer::State::Playing && joiner.GetState() == NetPeer::State::Playing) break;
        if (NowMs() - joinAt > 3000) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const uint32_t waited = NowMs() - joinAt;
    std::printf("a joiner waited %u ms while 4 strangers flooded the host (%u datagrams each meanwhile)\n", waited,
                flooded - floodedBefore);
    EXPECT_LT(waited, 1000u) << joinLink.Failure();
    ASSERT_EQ(joiner.GetState(), NetPeer::State::Playing);
    for (uint32_t pass = 0; pass < 50; ++pass) {
        NetInput in;
        in.keys = static_cast<uint8_t>(pass & kNetKeyBits);
        ASSERT_TRUE(host.SendInput(in));
        ASSERT_TRUE(joiner.SendInput(in));
        host.Update(NowMs());
        joiner.Update(NowMs());
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_TRUE(PumpUntilPlayed(host, joiner, 50));
    stopFlood();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    for (int i = 0; i < 20; ++i) host.Update(NowMs());  // the last answers
    for (Stranger& g : garbage) {
        g.Drain();
        EXPECT_EQ(g.received, 0u);
        EXPECT_GT(g.sent, 0u);
    }
    for (Stranger& a : asking) {
        a.Drain();
        EXPECT_GT(a.received, 0u);
        EXPECT_LE(a.received, a.sent);
        std::printf("cookie requests: %llu bytes sent, %llu back\n", static_cast<unsigned long long>(a.sent),
                    static_cast<unsigned long long>(a.received));
    }
    EXPECT_GT(hostLink.Counts().strangers, 0u);  // the garbage, counted (some of the flood the socket itself drops)
    EXPECT_EQ(host.GetState(), NetPeer::State::Playing);
}

// A handshake that never greets holds the host for 2 s and no longer, and
// over the whole attempt gets back less than it sent; the host listens on
// and the next joiner plays.
TEST(UdpLink, AHandshakeThatNeverGreetsIsDroppedAfterTwoSeconds) {
    UdpLink hostLink;
    ASSERT_TRUE(hostLink.Host(0));
    NetWelcome welcome;
    welcome.host = Hello("1.0.0", 1, "A");
    NetPeer host;
    host.StartHost(&hostLink, welcome);
    Relay relay({0, hostLink.Port(), 0, 0, 0, 0, 1});
    Silent silent;
    std::atomic<bool> stop{false};
    std::thread pump([&] {
        while (!stop) {
            host.Update(NowMs());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    ASSERT_TRUE(silent.Connect(relay.relay.Port()));
    uint32_t connectedAt = NowMs();
    while (hostLink.State() != NetLinkState::Connected && NowMs() - connectedAt < 1000)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    connectedAt = NowMs();
    while (hostLink.State() == NetLinkState::Connected && NowMs() - connectedAt < 4000)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const uint32_t held = NowMs() - connectedAt;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stop = true;
    pump.join();
    EXPECT_EQ(hostLink.State(), NetLinkState::Listening);
    EXPECT_GE(held, kUdpUnconfirmedMs - 100);
    EXPECT_LE(held, kUdpUnconfirmedMs + 600);
    const RelayCounts c = relay.relay.Counts();
    std::printf("a silent handshake: %llu bytes sent, %llu back\n", static_cast<unsigned long long>(c.bytesFromClient),
                static_cast<unsigned long long>(c.bytesFromTarget));
    EXPECT_GT(c.bytesFromTarget, 0u);
    EXPECT_LE(c.bytesFromTarget, c.bytesFromClient);

    const std::string address = "127.0.0.1:" + std::to_string(hostLink.Port());
    NetPeer guest;
    UdpLink guestLink;
    ASSERT_TRUE(guestLink.Join(address.c_str()));
    guest.StartJoin(&guestLink, welcome.host);
    for (const uint32_t start = NowMs(); guest.GetState() != NetPeer::State::Playing;) {
        ASSERT_LT(NowMs() - start, 2000u);
        host.Update(NowMs());
        guest.Update(NowMs());
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(host.GetState(), NetPeer::State::Playing);
}

// A datagram altered on the path, either way, fails authentication: it is
// dropped and counted, and every pass still arrives.
TEST(UdpLink, AnAlteredDatagramIsDroppedCountedAndPlayGoesOn) {
    for (const bool back : {false, true}) {
        SCOPED_TRACE(back ? "from the host" : "to the host");
        Exchange x = {300, 5, 15, 0, 0};
        x.alterNth = 120;
        x.back = back;
        ExchangeCounts counts;
        PlayPasses(x, &counts);
        EXPECT_EQ(counts.relay.altered, 1u);
        EXPECT_EQ((back ? counts.joiner : counts.host).forged, 1u);
        EXPECT_EQ((back ? counts.host : counts.joiner).forged, 0u);
    }
}

// A datagram captured and sent again: soon after (as the network may), it
// is dropped as a repeat; long after, below the window of counters, it is
// refused as replayed. Neither is taken twice.
TEST(UdpLink, AReplayedDatagramIsRefusedAndCounted) {
    for (const uint32_t after : {5u, 3000u}) {
        SCOPED_TRACE(after);
        Exchange x = {450, 5, 15, 0, 0};
        x.replayNth = 60;
        x.replayAfterMs = after;
        ExchangeCounts counts;
        PlayPasses(x, &counts);
        EXPECT_EQ(counts.relay.replayed, 1u);
        EXPECT_LE(counts.host.received, counts.joiner.sent) << "a packet taken twice";
        if (after > 1000)
            EXPECT_EQ(counts.host.forged, 1u);
        else
            EXPECT_EQ(counts.host.dropped, 1u);
    }
}

TEST(UdpLink, HostsAndJoinsOverIPv6) {
    UdpLink probe;
    ASSERT_TRUE(probe.Host(0));
    End host, joiner;
    ASSERT_TRUE(host.link.Host(0));
    const std::string address = "[::1]:" + std::to_string(host.link.Port());
    ASSERT_TRUE(joiner.link.Join(address.c_str())) << joiner.link.Failure();
    ASSERT_TRUE(PumpUntil(host, joiner, 3000, [&] {
        return host.link.State() == NetLinkState::Connected && joiner.link.State() == NetLinkState::Connected;
    })) << joiner.link.Failure();
    NetPacket ping;
    ping.kind = NetKind::Ping;
    ping.ping.time = 77;
    joiner.Send(ping, true);
    joiner.link.Flush();
    bool got = false;
    ASSERT_TRUE(PumpUntil(host, joiner, 2000, [&] {
        host.Pump(0, [&](const NetPacket& p) { got |= p.kind == NetKind::Ping && p.ping.time == 77; });
        return got;
    }));
    EXPECT_EQ(host.link.Counts().forged + joiner.link.Counts().forged, 0u);
}

// A joiner nobody answers gives up after the timeout, naming the likely causes.
TEST(UdpLink, AJoinerNobodyAnswersSaysWhy) {
    Stranger deaf;  // a port that takes datagrams and never answers
    const UdpAddress any = UdpLoopback(false, 0);
    ASSERT_EQ(bind(deaf.fd, reinterpret_cast<const sockaddr*>(any.raw), any.size), 0);
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    getsockname(deaf.fd, reinterpret_cast<sockaddr*>(&bound), &length);
    const unsigned port = ntohs(bound.sin_port);
    UdpLink link;
    link.SetTimeout(1000);
    // (The link's clock starts within Join: the test's before it.)
    const uint32_t start = NowMs();
    ASSERT_TRUE(link.Join(("127.0.0.1:" + std::to_string(port)).c_str()));
    NetDatagram d[4];
    while (link.State() == NetLinkState::Connecting && NowMs() - start < 3000) link.Poll(d, 4, 5);
    EXPECT_GE(NowMs() - start, 1000u);
    EXPECT_EQ(link.State(), NetLinkState::Lost);
    EXPECT_EQ(std::string(link.Failure()),
              "no answer from the host in 1 s: the host may be behind a router that does "
              "not forward UDP port " +
                  std::to_string(port) + " to it, behind a firewall, or at another address");
    deaf.Drain();
    EXPECT_GT(deaf.received, 0u);  // it asked, every quarter second
}

// A stranger of its own on a loopback address (127.0.0.X) that goes
// through the whole handshake as a joiner does, with keys of its own, and
// may then send sealed packets under them.
struct Handshaker {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    bool bound = false;
    uint16_t port = 0;
    uint8_t nonce[8] = {};
    uint8_t ownPublic[crypto_kx_PUBLICKEYBYTES], ownSecret[crypto_kx_SECRETKEYBYTES];
    uint8_t tx[crypto_kx_SESSIONKEYBYTES] = {};
    uint64_t counter = 0;
    uint64_t sent = 0, received = 0;
    int welcomes = 0;

    Handshaker(uint8_t lastByte, uint16_t hostPort) : port(hostPort) {
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(0x7F000000u | lastByte);
        bound = fd >= 0 && bind(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) == 0;
        const timeval wait = {0, 100 * 1000};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    }
    ~Handshaker() { close(fd); }
    void Send(const uint8_t* data, size_t size) {
        const UdpAddress to = UdpLoopback(false, port);
        if (sendto(fd, data, size, 0, reinterpret_cast<const sockaddr*>(to.raw), to.size) == static_cast<ssize_t>(size))
            sent += size;
    }
    // The next datagram of `type` within 100 ms (others counted and skipped).
    ssize_t Expect(uint8_t type, uint8_t* buffer, size_t capacity) {
        for (const uint32_t start = NowMs(); NowMs() - start < 100;) {
            const ssize_t n = recv(fd, buffer, capacity, 0);
            if (n > 0) received += static_cast<uint64_t>(n);
            if (n > 0 && buffer[0] == type) return n;
        }
        return -1;
    }
    // A cookie request, its cookie in a hello, the welcome: true when welcomed.
    bool Handshake() {
        randombytes_buf(nonce, sizeof nonce);
        crypto_kx_keypair(ownPublic, ownSecret);
        uint8_t request[64] = {1, 'V', 'C', 'U', 'L', 1};
        std::memcpy(request + 6, nonce, 8);
        Send(request, sizeof request);
        uint8_t in[2048];
        if (Expect(2, in, sizeof in) != 25) return false;
        uint8_t hello[64] = {3};
        std::memcpy(hello + 1, nonce, 8);
        std::memcpy(hello + 9, in + 9, 16);
        std::memcpy(hello + 25, ownPublic, sizeof ownPublic);
        Send(hello, sizeof hello);
        if (Expect(4, in, sizeof in) != 57) return false;
        uint8_t rx[crypto_kx_SESSIONKEYBYTES];
        if (crypto_kx_client_session_keys(rx, tx, ownPublic, ownSecret, in + 1) != 0) return false;
        counter = 0;
        ++welcomes;
        return true;
    }
    // A packet sealed under its session key, as one unreliable message, or
    // (`sequence` not 0) as a reliable one of that sequence.
    void SendSealed(const NetPacket& packet, uint32_t sequence = 0) {
        uint8_t bytes[kNetMaxPacketBytes];
        const size_t n = WriteNetPacket(packet, bytes, sizeof bytes);
        uint8_t plain[4 + 6 + kNetMaxPacketBytes] = {0, 0, 0, 0, 2, static_cast<uint8_t>(n)};
        size_t head = 6;
        if (sequence != 0) {
            const uint8_t reliable[6] = {1, static_cast<uint8_t>(sequence), 0, 0, 0, static_cast<uint8_t>(n)};
            std::memcpy(plain + 4, reliable, sizeof reliable);
            head = 10;
        }
        std::memcpy(plain + head, bytes, n);
        uint8_t datagram[9 + sizeof plain + crypto_aead_chacha20poly1305_ietf_ABYTES] = {5};
        uint8_t aeadNonce[crypto_aead_chacha20poly1305_ietf_NPUBBYTES] = {};
        for (int i = 0; i < 8; ++i) datagram[1 + i] = aeadNonce[4 + i] = static_cast<uint8_t>(counter >> (8 * i));
        ++counter;
        unsigned long long sealed = 0;
        crypto_aead_chacha20poly1305_ietf_encrypt(datagram + 9, &sealed, plain, head + n, datagram, 9, nullptr,
                                                  aeadNonce, tx);
        Send(datagram, 9 + static_cast<size_t>(sealed));
    }
    void Drain() {
        uint8_t buffer[2048];
        for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;) received += static_cast<uint64_t>(n);
    }
};

// Polls a host and a joiner until both play (or 3 s); the time it took.
uint32_t JoinWhile(NetPeer& host, NetPeer& joiner, UdpLink& joinLink, uint16_t port, const NetHello& hello) {
    const uint32_t joinAt = NowMs();
    EXPECT_TRUE(joinLink.Join(("127.0.0.1:" + std::to_string(port)).c_str()));
    joiner.StartJoin(&joinLink, hello);
    while (NowMs() - joinAt < 3000 &&
           (host.GetState() != NetPeer::State::Playing || joiner.GetState() != NetPeer::State::Playing)) {
        host.Update(NowMs());
        joiner.Update(NowMs());
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return NowMs() - joinAt;
}

// Strangers on addresses of their own that go through a whole handshake
// again every 100-500 ms, before and while a real joiner comes: the joiner
// is answered and plays within a second; they never get back more than
// they sent.
TEST(UdpLink, HandshakesRepeatedFromOtherAddressesNeverKeepAJoinerOut) {
    const NetHello hello = Hello("1.0.0", 1, "A");
    for (const int count : {1, 3}) {
        SCOPED_TRACE(count);
        for (int round = 0; round < 3; ++round) {
            UdpLink hostLink, joinLink;
            ASSERT_TRUE(hostLink.Host(0));
            NetWelcome welcome;
            welcome.host = hello;
            NetPeer host, joiner;
            host.StartHost(&hostLink, welcome);
            std::vector<std::unique_ptr<Handshaker>> strangers;
            for (int i = 0; i < count; ++i) {
                strangers.push_back(std::make_unique<Handshaker>(static_cast<uint8_t>(2 + i), hostLink.Port()));
                if (!strangers.back()->bound) GTEST_SKIP() << "cannot bind 127.0.0." << 2 + i;
            }
            std::atomic<bool> stop{false};
            std::thread thread([&] {
                while (!stop)
                    for (auto& s : strangers) {
                        s->Handshake();
                        // Each one's next handshake 100-500 ms after its last.
                        std::this_thread::sleep_for(
                            std::chrono::milliseconds((100 + randombytes_uniform(400)) / count));
                    }
            });
            for (const uint32_t start = NowMs(); NowMs() - start < 1200;) host.Update(NowMs());  // they hold places
            const uint32_t waited = JoinWhile(host, joiner, joinLink, hostLink.Port(), hello);
            stop = true;
            thread.join();
            int welcomes = 0;
            for (auto& s : strangers) {
                s->Drain();
                welcomes += s->welcomes;
                EXPECT_LE(s->received, s->sent);
            }
            std::printf("a joiner waited %u ms while %d strangers handshook again and again (%d welcomes)\n", waited,
                        count, welcomes);
            EXPECT_GE(welcomes, 2 * count);  // they did hold places, each again and again
            EXPECT_LT(waited, 1000u) << joinLink.Failure();
            EXPECT_EQ(joiner.GetState(), NetPeer::State::Playing);
            EXPECT_STREQ(host.PeerHello().name, "A");
        }
    }
}

// A stranger that completes its handshake, sends sealed packets that are no
// greeting and handshakes again every 300 ms has its turn and is dropped:
// a real joiner still gets in within a second, and from then the
// stranger's packets get nothing back.
TEST(UdpLink, AStrangerWhoseFirstPacketIsNoGreetingGivesWay) {
    const NetHello hello = Hello("1.0.0", 1, "A");
    // A ping (it goes up, and is no greeting), or a reliable packet out of
    // order (it never goes up: the stranger's turn is over at once).
    for (const uint32_t sequence : {0u, 5u}) {
        SCOPED_TRACE(sequence);
        UdpLink hostLink, joinLink;
        ASSERT_TRUE(hostLink.Host(0));
        NetWelcome welcome;
        welcome.host = hello;
        NetPeer host, joiner;
        host.StartHost(&hostLink, welcome);
        Handshaker stranger(2, hostLink.Port());
        if (!stranger.bound) GTEST_SKIP() << "cannot bind 127.0.0.2";
        std::atomic<bool> handshook{false}, stop{false};
        std::thread pump([&] {
            while (!handshook) host.Update(NowMs());
        });
        ASSERT_TRUE(stranger.Handshake());
        handshook = true;
        pump.join();
        NetPacket ping;
        ping.kind = NetKind::Ping;
        ping.ping.time = 1;
        // Its packet every 20 ms, and its handshake again every 300 ms.
        std::thread sender([&] {
            for (uint32_t last = NowMs(); !stop; std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
                if (NowMs() - last >= 300) {
                    stranger.Handshake();
                    last = NowMs();
                }
                stranger.SendSealed(ping, sequence);
            }
        });
        for (const uint32_t start = NowMs(); NowMs() - start < 200;) host.Update(NowMs());
        EXPECT_EQ(host.GetState(), NetPeer::State::Greeting);
        if (sequence == 0) {
            EXPECT_GT(hostLink.Counts().received, 0u);  // its packets went up, and were not a greeting
        }
        const uint32_t waited = JoinWhile(host, joiner, joinLink, hostLink.Port(), hello);
        std::printf("a joiner waited %u ms after a stranger's sealed packets\n", waited);
        EXPECT_LT(waited, 1000u) << joinLink.Failure();
        ASSERT_EQ(joiner.GetState(), NetPeer::State::Playing);
        EXPECT_STREQ(host.PeerHello().name, "A");
        stop = true;
        sender.join();
        for (const uint32_t start = NowMs(); NowMs() - start < 50;) host.Update(NowMs());
        stranger.Drain();
        const uint64_t before = stranger.received;
        for (const uint32_t start = NowMs(); NowMs() - start < 300;) {
            if ((NowMs() - start) % 50 == 0) stranger.SendSealed(ping, sequence);
            host.Update(NowMs());
            joiner.Update(NowMs());
        }
        stranger.Drain();
        EXPECT_EQ(stranger.received, before);  // dropped: its packets are a stranger's now
        EXPECT_LE(stranger.received, stranger.sent);
        EXPECT_EQ(host.GetState(), NetPeer::State::Playing);
    }
}

// A stranger's sealed greeting of another version is refused: the link
// drops it alone (Reject), and a joiner whose handshake waited meanwhile
// plays within a second without handshaking again.
TEST(UdpLink, ARefusedGreetingDropsItsSenderAloneAndTheJoinerWaitingPlays) {
    const NetHello hello = Hello("1.0.0", 1, "A");
    UdpLink hostLink, joinLink;
    ASSERT_TRUE(hostLink.Host(0));
    NetWelcome welcome;
    welcome.host = hello;
    NetPeer host, joiner;
    host.StartHost(&hostLink, welcome);
    Handshaker stranger(2, hostLink.Port());
    if (!stranger.bound) GTEST_SKIP() << "cannot bind 127.0.0.2";
    std::atomic<bool> handshook{false};
    std::thread pump([&] {
        while (!handshook) host.Update(NowMs());
    });
    ASSERT_TRUE(stranger.Handshake());
    handshook = true;
    pump.join();
    const uint32_t joinAt = NowMs();
    ASSERT_TRUE(joinLink.Join(("127.0.0.1:" + std::to_string(hostLink.Port())).c_str()));
    NetDatagram d[16];
    while (joinLink.State() != NetLinkState::Connected && NowMs() - joinAt < 1000) {
        host.Update(NowMs());
        joinLink.Poll(d, 16, 1);
    }
    ASSERT_EQ(joinLink.State(), NetLinkState::Connected);
    NetPacket other;
    other.kind = NetKind::Hello;
    other.hello = Hello("0.9.0", 1, "B");
    stranger.SendSealed(other);
    for (const uint32_t start = NowMs(); host.GetState() == NetPeer::State::Greeting && NowMs() - start < 500;)
        host.Update(NowMs());
    ASSERT_EQ(host.GetState(), NetPeer::State::Refused);
    const uint64_t before = stranger.received;
    ASSERT_TRUE(hostLink.Reject());   // as the host's game does on a refusal
    EXPECT_FALSE(hostLink.Reject());  // no candidate left
    host.StartHost(&hostLink, welcome);
    stranger.Drain();
    EXPECT_GT(stranger.received, before);  // its refusal
    EXPECT_LE(stranger.received, stranger.sent);
    joiner.StartJoin(&joinLink, hello);
    while (NowMs() - joinAt < 2000 &&
           (host.GetState() != NetPeer::State::Playing || joiner.GetState() != NetPeer::State::Playing)) {
        host.Update(NowMs());
        joiner.Update(NowMs());
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const uint32_t waited = NowMs() - joinAt;
    std::printf("a joiner waited %u ms through a refused stranger\n", waited);
    EXPECT_LT(waited, 1000u) << joinLink.Failure();
    EXPECT_EQ(joiner.GetState(), NetPeer::State::Playing);
    EXPECT_STREQ(host.PeerHello().name, "A");
}

}  // namespace
