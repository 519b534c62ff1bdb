// The test relay: datagrams arrive, each within its delay bounds, the
// share lost and sent twice near what was asked, out of order under jitter,
// the same fates from the same seed, and nothing at all once cut.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "UdpRelay.h"

namespace {

struct Socket {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    Socket() {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    }
    ~Socket() { close(fd); }
    uint16_t Port() const {
        sockaddr_in a{};
        socklen_t n = sizeof a;
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
        return ntohs(a.sin_port);
    }
    void SendTo(uint16_t port, const void* data, size_t size) const {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        sendto(fd, data, size, 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    // A datagram within `ms`, or -1.
    ssize_t Receive(void* data, size_t size, int ms) const {
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, ms) <= 0) return -1;
        return recv(fd, data, size, 0);
    }
};

struct Sent {
    uint32_t index;
    uint64_t at;
};

struct Outcome {
    std::vector<uint32_t> order;   // indices as they arrived
    std::vector<uint64_t> delays;  // µs, as they arrived
    RelayCounts counts;
};

// Sends `count` datagrams 1 ms apart from a client through a relay to a
// target, collects them there with their delays, then sends one answer
// back the other way.
Outcome Relayed(const RelayOptions& base, uint32_t count, bool cutHalfway = false) {
    Socket target, client;
    RelayOptions o = base;
    o.targetPort = target.Port();
    UdpRelay relay;
    std::string why;
    Outcome out;
    if (!relay.Open(o, &why)) {
        ADD_FAILURE() << why;
        return out;
    }
    std::thread thread([&] { relay.Run(); });
    sockaddr_in relayAddress{};
    auto collect = [&](int ms) {
        Sent got;
        pollfd p = {target.fd, POLLIN, 0};
        while (poll(&p, 1, ms) > 0) {
            socklen_t n = sizeof relayAddress;
            if (recvfrom(target.fd, &got, sizeof got, 0, reinterpret_cast<sockaddr*>(&relayAddress), &n) != sizeof got)
                continue;
            out.order.push_back(got.index);
            out.delays.push_back(RelayNowMicros() - got.at);
        }
    };
    for (uint32_t i = 0; i < count; ++i) {
        if (cutHalfway && i == count / 2) {
            collect(static_cast<int>(o.maxDelayMs) + 100);
            relay.Cut();
        }
        const Sent s = {i, RelayNowMicros()};
        client.SendTo(relay.Port(), &s, sizeof s);
        collect(0);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    collect(static_cast<int>(o.maxDelayMs) + 100);
    if (!cutHalfway && o.loss == 0 && !out.order.empty()) {
        const Sent answer = {~0u, 0};
        sendto(target.fd, &answer, sizeof answer, 0, reinterpret_cast<sockaddr*>(&relayAddress), sizeof relayAddress);
        Sent back{};
        EXPECT_EQ(client.Receive(&back, sizeof back, static_cast<int>(o.maxDelayMs) + 500),
                  static_cast<ssize_t>(sizeof back));
        EXPECT_EQ(back.index, ~0u);
    }
    relay.Stop();
    thread.join();
    out.counts = relay.Counts();
    return out;
}

TEST(UdpRelay, DelaysLossAndDuplicatesStayWithinWhatWasAsked) {
    const RelayOptions o = {0, 0, 20, 60, 0.05, 0.03, 11};
    const uint32_t count = 1000;
    const Outcome out = Relayed(o, count);
    const double lost = static_cast<double>(out.counts.lost) / count;
    const double twice = static_cast<double>(out.counts.duplicated) / count;
    EXPECT_NEAR(lost, 0.05, 0.025);
    EXPECT_NEAR(twice, 0.03, 0.02);
    EXPECT_EQ(out.order.size(), count - out.counts.lost + out.counts.duplicated);
    // None early; late ones only by the scheduler's slack on a busy machine.
    std::vector<uint64_t> delays = out.delays;
    std::sort(delays.begin(), delays.end());
    ASSERT_FALSE(delays.empty());
    EXPECT_GE(delays.front(), 20000u);
    EXPECT_NEAR(static_cast<double>(delays[delays.size() / 2]), 40000.0, 8000.0);
    EXPECT_LE(delays[delays.size() * 95 / 100], 60000u + 15000u);
    size_t outOfOrder = 0;
    for (size_t i = 1; i < out.order.size(); ++i) outOfOrder += out.order[i] < out.order[i - 1];
    EXPECT_GT(outOfOrder, count / 10) << "jitter of 40 ms over 1 ms gaps reorders";
}

TEST(UdpRelay, TheSameSeedGivesTheSameFatesAndACutDropsEverything) {
    const RelayOptions o = {0, 0, 0, 0, 0.3, 0.2, 5};
    const Outcome a = Relayed(o, 200);
    const Outcome b = Relayed(o, 200);
    EXPECT_EQ(a.counts.lost, b.counts.lost);
    EXPECT_EQ(a.counts.duplicated, b.counts.duplicated);
    Relayed({0, 0, 5, 10, 0, 0, 5}, 20);  // answers find their way back
    const Outcome cut = Relayed({0, 0, 0, 0, 0, 0, 5}, 200, true);
    EXPECT_EQ(cut.order.size(), 100u);
    EXPECT_EQ(cut.counts.cut, 100u);
}

// The Nth datagram one way is altered (its middle byte flipped), another
// sent again later; the other way is left alone.
TEST(UdpRelay, AltersOneDatagramAndReplaysAnother) {
    Socket target, client;
    RelayOptions o = {0, target.Port(), 0, 0, 0, 0, 1};
    o.alterNth = 3;
    o.replayNth = 5;
    o.replayAfterMs = 50;
    UdpRelay relay;
    std::string why;
    ASSERT_TRUE(relay.Open(o, &why)) << why;
    std::thread thread([&] { relay.Run(); });
    for (uint8_t i = 1; i <= 8; ++i) {
        const std::vector<uint8_t> bytes(16, i);
        client.SendTo(relay.Port(), bytes.data(), bytes.size());
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::vector<std::vector<uint8_t>> got;
    uint8_t buffer[64];
    for (ssize_t n; (n = target.Receive(buffer, sizeof buffer, 200)) > 0;) got.emplace_back(buffer, buffer + n);
    relay.Stop();
    thread.join();
    ASSERT_EQ(got.size(), 9u);
    int altered = 0, fifth = 0;
    for (const auto& g : got) {
        ASSERT_EQ(g.size(), 16u);
        altered += g[8] != g[0];
        fifth += g[0] == 5;
        if (g[8] != g[0]) {
            EXPECT_EQ(g[0], 3);
            EXPECT_EQ(g[8], 3 ^ 0xFF);
        }
    }
    EXPECT_EQ(altered, 1);
    EXPECT_EQ(fifth, 2);
    EXPECT_EQ(got.back()[0], 5) << "the replay comes last, 50 ms on";
    const RelayCounts c = relay.Counts();
    EXPECT_EQ(c.altered, 1u);
    EXPECT_EQ(c.replayed, 1u);
    EXPECT_EQ(c.bytesFromClient, 8u * 16u);
}

}  // namespace
