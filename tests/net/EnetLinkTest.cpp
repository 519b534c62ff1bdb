// Two ends of a network game in one process over loopback, straight or
// through the UDP relay (tools/udprelay): addresses, a second peer turned
// away, a peer that leaves, the greeting and its refusals, hashes that
// differ, inputs exchanged through delay, loss
// and reordering with none missing, points records between levels, and a
// peer that goes silent.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <tuple>

#include "UdpRelay.h"
#include "net/EnetLink.h"
#include "net/NetInputs.h"
#include "net/NetPeer.h"
#include "net/NetProtocol.h"

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
    EnetLink link;
    NetInputQueue queue;
    NetDatagram received[64];
    int refused = 0;

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
            if (ParseNetPacket(received[i].bytes, received[i].size, queue.Window(), &p, &why))
                take(p);
            else
                ++refused;
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

TEST(NetAddress, HostAndPortAreReadOrRefused) {
    struct Case {
        const char* text;
        const char* host;  // nullptr: refused
        uint16_t port;
    };
    const std::string tooLong(kNetHostNameBytes, 'a');
    const Case cases[] = {
        {"localhost", "localhost", kNetDefaultPort},
        {"192.168.1.20:9000", "192.168.1.20", 9000},
        {"game-box.example.org:65535", "game-box.example.org", 65535},
        {"", nullptr, 0},
        {":7311", nullptr, 0},
        {"host:", nullptr, 0},
        {"host:0", nullptr, 0},
        {"host:65536", nullptr, 0},
        {"host:12ab", nullptr, 0},
        {"host:-1", nullptr, 0},
        {"::1", nullptr, 0},
        {"a b", nullptr, 0},
        {"host;rm", nullptr, 0},
        {tooLong.c_str(), nullptr, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        char host[kNetHostNameBytes] = {};
        uint16_t port = 0;
        const char* why = nullptr;
        const bool ok = ParseNetAddress(c.text, host, sizeof host, &port, &why);
        EXPECT_EQ(ok, c.host != nullptr) << (why ? why : "");
        if (ok) {
            EXPECT_STREQ(host, c.host);
            EXPECT_EQ(port, c.port);
        } else {
            EXPECT_NE(why, nullptr);
        }
    }
}

// A second peer is turned away; hostile bytes from the first are refused
// by the reader, never acted on, and the link goes on; its leaving is
// heard; a port in use and a host that is no name are said.
TEST(EnetLink, ASecondPeerIsTurnedAwayMalformedPacketsDroppedAndLeavingHeard) {
    End host, first, second;
    ASSERT_TRUE(host.link.Host(0));
    Connect(host, first, host.link.Port());
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

TEST(EnetLink, APeerThatGoesSilentIsLost) {
    const uint32_t timeout = OnCi() ? kNetTimeoutMs : 800;  // long enough to ride out a busy machine's stalls
    End host, joiner;
    host.link.SetTimeout(timeout);
    joiner.link.SetTimeout(timeout);
    ASSERT_TRUE(host.link.Host(0));
    Relay relay({0, host.link.Port(), 5, 10, 0, 0, 3});
    Connect(host, joiner, relay.relay.Port());
    // Alive while ENet's own pings still pass, well beyond the timeout.
    ASSERT_FALSE(
        PumpUntil(host, joiner, timeout * 5 / 4 + 100, [&] { return host.link.State() != NetLinkState::Connected; }));
    relay.relay.Cut();
    const uint32_t cutAt = NowMs();
    ASSERT_TRUE(PumpUntil(host, joiner, timeout * 3, [&] {
        return host.link.State() == NetLinkState::Lost && joiner.link.State() == NetLinkState::Lost;
    }));
    const uint32_t took = NowMs() - cutAt;
    EXPECT_GE(took, timeout * 3 / 4 - 20);  // ENet pings every quarter of the timeout
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

// Two peers over a relay with some delay, greeted.
struct Peers {
    EnetLink hostLink, joinLink;
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
};

// Two games a pass apart, 100 passes a second: each sends its input once a
// pass (and waits, as the match does, while too many wait for an
// acknowledgement); both must end with every pass of the other's input,
// ENet never going to the heap, and the round trip what the relay makes it.
void PlayPasses(const Exchange& x) {
    const NetHello hello = Hello("1.0.0", 1, "A");
    Peers p(hello, hello, {0, 0, x.minDelayMs, x.maxDelayMs, x.loss, x.duplicate, 7});
    ASSERT_TRUE(p.Until(3000, [&] { return p.Settled(); }));
    ASSERT_EQ(p.joiner.GetState(), NetPeer::State::Playing);
    const uint64_t allocationsBefore = EnetHeapAllocations();
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
    EXPECT_EQ(EnetHeapAllocations(), allocationsBefore) << "ENet went to the heap during play";
    EXPECT_EQ(p.host.Refused() + p.joiner.Refused(), 0u);
    EXPECT_EQ(p.host.GetState(), NetPeer::State::Playing);
    ASSERT_GT(samples, 0u);
    const uint64_t meanRoundTrip = roundTrips / samples;              // the pings' samples, read a pass at a time
    EXPECT_GE(meanRoundTrip, (x.minDelayMs + x.maxDelayMs) * 3 / 4);  // the relay's mean is their sum
    EXPECT_LE(meanRoundTrip, 2 * x.maxDelayMs + 50);
}

TEST(EnetLink, InputsOfEveryPassArriveThroughDelayLossAndReordering) {
    // 100 ms round trip on average, 5 % lost each way, some twice.
    PlayPasses({OnCi() ? 2000u : 400u, 30, 70, 0.05, 0.02});
}

TEST(EnetLink, InputsArriveThroughLongDelaysOnCi) {
    // 20 % loss still stalls now and then (for over 3 s): not yet mended.
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

}  // namespace
