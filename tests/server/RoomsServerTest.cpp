// The rooms on the real voidcrawl-server, over real UDP sockets on
// loopback: two games meet by code and learn each other's addresses, relay
// datagrams both ways through the server, quick match pairs two, neither
// a stranger's relay nor garbage reaches anyone, and a flood from many
// addresses leaves a paired room's relay working; the health JSON counts
// rooms and relayed datagrams.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <nlohmann/json.hpp>
#include <random>
#include <thread>
#include <vector>

#include "RoomClients.h"
#include "ServerHarness.h"
#include "io/ReplayFile.h"
#include "net/RoomProtocol.h"

namespace server_test {
namespace {

TEST_F(RoomsServer, TwoGamesMeetByCodeAndRelayBothWaysAndNobodyElseGetsThrough) {
    Game host(server_.Port()), joiner(server_.Port()), stranger(server_.Port());
    const RoomMessage opened = host.Ask(OpenAsk(RoomMode::Create, 1));
    ASSERT_EQ(opened.kind, RoomKind::Room);
    EXPECT_EQ(opened.stage, RoomStage::Waiting);
    EXPECT_EQ(opened.askId, 1u);
    ASSERT_TRUE(IsRoomCode(opened.code));
    EXPECT_EQ(Health()["rooms"], 1);

    const RoomMessage entered = joiner.Ask(EnterAsk(opened.code, 2));
    ASSERT_EQ(entered.kind, RoomKind::Room);
    EXPECT_EQ(entered.role, RoomRole::Joiner);
    EXPECT_EQ(entered.stage, RoomStage::Pairing);
    // The host hears of its joiner at the address the server saw it at.
    RoomMessage told;
    ASSERT_TRUE(host.Receive(&told));
    EXPECT_EQ(told.stage, RoomStage::Pairing);
    EXPECT_TRUE(told.peer == joiner.Address());
    // The host has punched: the joiner hears the host's address.
    host.Send(Tokened(RoomKind::Stay, opened.token, kRoomPunched));
    RoomMessage paired;
    ASSERT_TRUE(joiner.Receive(&paired));
    EXPECT_EQ(paired.stage, RoomStage::Paired);
    EXPECT_TRUE(paired.peer == host.Address());
    ASSERT_TRUE(host.Receive(&paired));
    EXPECT_EQ(paired.stage, RoomStage::Paired);

    // Datagrams both ways, whole and as they were.
    for (int i = 0; i < 20; ++i) {
        Bytes datagram(1 + static_cast<size_t>(i) * 60, static_cast<uint8_t>(i));
        datagram[0] = 5;
        RoomMessage got;
        Bytes payload;
        host.Send(Tokened(RoomKind::Relay, opened.token, 0, &datagram));
        ASSERT_TRUE(joiner.Receive(&got, &payload)) << i;
        EXPECT_EQ(got.kind, RoomKind::Relayed);
        EXPECT_EQ(payload, datagram);
        joiner.Send(Tokened(RoomKind::Relay, entered.token, 0, &datagram));
        ASSERT_TRUE(host.Receive(&got, &payload)) << i;
        EXPECT_EQ(payload, datagram);
    }

    // A stranger: a made-up token, the host's token with a byte changed,
    // the server's own messages, garbage of every length. None reaches
    // either player, and the stranger hears nothing.
    const Bytes datagram = {5, 1, 2, 3};
    uint8_t forged[kRoomTokenBytes];
    std::memcpy(forged, opened.token, sizeof forged);
    forged[0] ^= 0x80;
    stranger.Send(Tokened(RoomKind::Relay, forged, 0, &datagram));
    uint8_t zero[kRoomTokenBytes] = {};
    stranger.Send(Tokened(RoomKind::Relay, zero, 0, &datagram));
    stranger.Send(Tokened(RoomKind::Stay, forged, kRoomPunched));
    RoomMessage relayed;
    relayed.kind = RoomKind::Relayed;
    relayed.payload = datagram.data();
    relayed.payloadSize = datagram.size();
    stranger.Send(relayed);
    std::mt19937 random(7);
    for (int i = 0; i < 300; ++i) {
        Bytes junk(random() % 1400);
        for (uint8_t& b : junk) b = static_cast<uint8_t>(random());
        if (i % 3 == 0 && junk.size() >= 6) std::memcpy(junk.data(), "VCRM\x01\x04", 6);
        stranger.SendBytes(junk);
    }
    RoomMessage nothing;
    EXPECT_FALSE(joiner.Receive(&nothing, nullptr, 300));
    EXPECT_FALSE(host.Receive(&nothing, nullptr, 10));
    EXPECT_FALSE(stranger.Receive(&nothing, nullptr, 10));
    // The room still carries its datagrams.
    RoomMessage got;
    Bytes payload;
    host.Send(Tokened(RoomKind::Relay, opened.token, 0, &datagram));
    ASSERT_TRUE(joiner.Receive(&got, &payload));
    EXPECT_EQ(payload, datagram);

    const nlohmann::json health = Health();
    EXPECT_EQ(health["rooms"], 1);
    EXPECT_EQ(health["relayed"], 41);
    // Leaving: the room goes once both have left.
    host.Send(Tokened(RoomKind::Leave, opened.token));
    joiner.Send(Tokened(RoomKind::Leave, entered.token));
    for (int i = 0; i < 50 && Health()["rooms"] != 0; ++i) usleep(20000);
    EXPECT_EQ(Health()["rooms"], 0);
}

TEST_F(RoomsServer, AFloodFromManyAddressesLeavesAPairedRoomsRelayWorking) {
    Game host(server_.Port()), joiner(server_.Port());
    const RoomMessage opened = host.Ask(OpenAsk(RoomMode::Create, 1));
    const RoomMessage entered = joiner.Ask(EnterAsk(opened.code, 2));
    ASSERT_EQ(entered.kind, RoomKind::Room);
    RoomMessage told;
    ASSERT_TRUE(host.Receive(&told));
    // 100,000 datagrams from 64 loopback addresses: garbage, asks (rooms
    // until the limit, then refusals, then silence), forged tokens; every
    // hundredth a datagram of the room's, one way and back.
    std::vector<int> floods;
    for (int i = 0; i < 64; ++i) {
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(0x7F020000u + static_cast<uint32_t>(i) + 1);
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        floods.push_back(fd);
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(server_.Port());
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::mt19937 random(11);
    int relays = 0, through = 0;
    uint8_t buffer[1400];  // garbage up to 1,300 bytes, longer than any message
    for (int i = 0; i < 100000; ++i) {
        size_t n = 0;
        switch (i % 4) {
        case 0:
            n = random() % 1300;
            for (size_t k = 0; k < n; ++k) buffer[k] = static_cast<uint8_t>(random());
            break;
        case 1:
            n = WriteRoomMessage(OpenAsk(random() % 2 ? RoomMode::Create : RoomMode::Quick, random()), buffer,
                                 sizeof buffer);
            break;
        case 2:
            n = WriteRoomMessage(EnterAsk("ACDEF", random()), buffer, sizeof buffer);
            break;
        default: {
            uint8_t token[kRoomTokenBytes];
            for (uint8_t& b : token) b = static_cast<uint8_t>(random());
            const Bytes payload(1 + random() % 200, 1);
            n = WriteRoomMessage(Tokened(RoomKind::Relay, token, 0, &payload), buffer, sizeof buffer);
        }
        }
        sendto(floods[static_cast<size_t>(i) % floods.size()], buffer, n, 0, reinterpret_cast<sockaddr*>(&to),
               sizeof to);
        if (i % 100 == 99) {
            const Bytes datagram = {5, static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8)};
            host.Send(Tokened(RoomKind::Relay, opened.token, 0, &datagram));
            ++relays;
            RoomMessage got;
            Bytes payload;
            if (joiner.Receive(&got, &payload, 200) && payload == datagram) ++through;
        }
    }
    for (const int fd : floods) close(fd);
    // A few may be lost where the flood outruns the server and fills its
    // socket's buffer (5 of 1,000 here); the room goes on.
    EXPECT_GE(through, relays * 90 / 100) << through << " of " << relays;
    for (int i = 0; i < 20; ++i) {
        const Bytes datagram = {5, 7, static_cast<uint8_t>(i)};
        joiner.Send(Tokened(RoomKind::Relay, entered.token, 0, &datagram));
        RoomMessage got;
        Bytes payload;
        ASSERT_TRUE(host.Receive(&got, &payload)) << i;
        EXPECT_EQ(payload, datagram);
    }
    const nlohmann::json health = Health();
    EXPECT_LE(health["rooms"].get<int>(), static_cast<int>(kRoomDefaultMaxRooms));
    std::fprintf(stderr, "flood: %d of %d relays through, %d rooms live\n", through, relays,
                 health["rooms"].get<int>());
}

TEST_F(RoomsServer, QuickMatchPairsTwoGamesAndAWrongCodeIsRefused) {
    Game a(server_.Port()), b(server_.Port()), c(server_.Port());
    const RoomMessage first = a.Ask(OpenAsk(RoomMode::Quick, 10));
    ASSERT_EQ(first.kind, RoomKind::Room);
    EXPECT_EQ(first.role, RoomRole::Host);
    const RoomMessage second = b.Ask(OpenAsk(RoomMode::Quick, 11));
    ASSERT_EQ(second.kind, RoomKind::Room);
    EXPECT_EQ(second.role, RoomRole::Joiner);
    EXPECT_STREQ(second.code, first.code);
    RoomMessage told;
    ASSERT_TRUE(a.Receive(&told));
    EXPECT_TRUE(told.peer == b.Address());
    // The room is full now; an unknown code is no room.
    const RoomMessage full = c.Ask(EnterAsk(first.code, 12));
    ASSERT_EQ(full.kind, RoomKind::Refused);
    EXPECT_EQ(full.reason, RoomRefusal::Full);
    const RoomMessage unknown = c.Ask(EnterAsk(std::strcmp(first.code, "AAAAA") == 0 ? "AAAAC" : "AAAAA", 13));
    ASSERT_EQ(unknown.kind, RoomKind::Refused);
    EXPECT_EQ(unknown.reason, RoomRefusal::NoSuchRoom);
    EXPECT_EQ(unknown.askId, 13u);
}

TEST(RoomsServerOptions, OnBothFamiliesAnIPv4AndAnIPv6GameMeetAndRelay) {
    const fs::path data = fs::path(::testing::TempDir()) / ("vc_rooms_v6_" + std::to_string(::getpid()));
    fs::remove_all(data);
    ServerProcess dual;
    ASSERT_TRUE(dual.Start(data, {"--listen", "[::]:0"}));
    Game four(dual.Port()), six(dual.Port(), true);
    const RoomMessage opened = four.Ask(OpenAsk(RoomMode::Create, 1));
    ASSERT_EQ(opened.kind, RoomKind::Room);
    const RoomMessage entered = six.Ask(EnterAsk(opened.code, 2));
    ASSERT_EQ(entered.kind, RoomKind::Room);
    RoomMessage told;
    ASSERT_TRUE(four.Receive(&told));
    EXPECT_EQ(told.peer.family, 6);
    EXPECT_TRUE(told.peer == six.Address());
    four.Send(Tokened(RoomKind::Stay, opened.token, kRoomPunched));
    ASSERT_TRUE(six.Receive(&told));
    // The IPv4 game as the IPv6 socket saw it (::ffff:127.0.0.1) is told as IPv4.
    EXPECT_EQ(told.peer.family, 4);
    EXPECT_TRUE(told.peer == four.Address());
    ASSERT_TRUE(four.Receive(&told));
    const Bytes datagram = {5, 4, 6};
    RoomMessage got;
    Bytes payload;
    four.Send(Tokened(RoomKind::Relay, opened.token, 0, &datagram));
    ASSERT_TRUE(six.Receive(&got, &payload));
    EXPECT_EQ(payload, datagram);
    six.Send(Tokened(RoomKind::Relay, entered.token, 0, &datagram));
    ASSERT_TRUE(four.Receive(&got, &payload));
    EXPECT_EQ(payload, datagram);
    dual.Stop();
    fs::remove_all(data);
}

TEST(RoomsServerOptions, UdpPortZeroMeansNoRoomsAndAPortOfItsOwnIsTaken) {
    const fs::path data = fs::path(::testing::TempDir()) / ("vc_rooms_off_" + std::to_string(::getpid()));
    fs::remove_all(data);
    {
        ServerProcess off;
        ASSERT_TRUE(off.Start(data, {"--udp-port", "0"}));
        Game game(off.Port());
        game.Send(OpenAsk(RoomMode::Create, 1));
        RoomMessage m;
        EXPECT_FALSE(game.Receive(&m, nullptr, 300));
        const auto health = nlohmann::json::parse(Call(off.Port(), "GET", "/api/v1/health").body);
        EXPECT_EQ(health["rooms"], 0);
    }
    {
        // A port of its own, found free first.
        const int probe = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(probe, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t n = sizeof a;
        getsockname(probe, reinterpret_cast<sockaddr*>(&a), &n);
        const uint16_t port = ntohs(a.sin_port);
        close(probe);
        ServerProcess own;
        ASSERT_TRUE(own.Start(data, {"--udp-port", std::to_string(port), "--max-rooms", "1"}));
        Game one(port), two(port);
        EXPECT_EQ(one.Ask(OpenAsk(RoomMode::Create, 1)).kind, RoomKind::Room);
        const RoomMessage refused = two.Ask(OpenAsk(RoomMode::Create, 2));
        EXPECT_EQ(refused.kind, RoomKind::Refused);
        EXPECT_EQ(refused.reason, RoomRefusal::NoRoom);
    }
    fs::remove_all(data);
}

// A paired room's host feeds its recording over UDP; watchers read it back
// over HTTP in order, a long poll is answered as soon as bytes come (and
// with 204 when none do), the 33rd watcher is refused, and hostile feeds
// (a wrong token, the joiner's, out of order, past a replay's capacity)
// change nothing.
TEST_F(RoomsServer, AHostsFeedIsReadBackByWatchersInOrderAndHostileFeedsChangeNothing) {
    Game host(server_.Port()), joiner(server_.Port()), stranger(server_.Port());
    const RoomMessage opened = host.Ask(OpenAsk(RoomMode::Create, 1));
    const RoomMessage entered = joiner.Ask(EnterAsk(opened.code, 2));
    ASSERT_EQ(entered.kind, RoomKind::Room);
    RoomMessage told;
    ASSERT_TRUE(host.Receive(&told));
    const std::string live = std::string("/api/v1/live/") + opened.code;
    EXPECT_EQ(Call(server_.Port(), "GET", live).status, 404);
    EXPECT_EQ(nlohmann::json::parse(Call(server_.Port(), "GET", "/api/v1/live").body)["live"].size(), 0u);

    ReplayHeader h;
    std::strcpy(h.gameVersion, "1.0.0");
    h.players = 2;
    h.difficulty = 2;
    h.flags = kReplayOnline;
    h.onlinePlayer = 1;
    std::strcpy(h.names[0], "<HOST>");
    std::strcpy(h.names[1], "JOINER");
    h.ships[0] = 0, h.ships[1] = 1;
    h.level = 1;
    Bytes all(kReplayFileCapacity);
    WriteReplayHeader(h, all.data());
    std::mt19937 random(5);
    for (size_t i = kReplayHeaderBytes; i < all.size(); ++i) all[i] = static_cast<uint8_t>(random());

    // One Feed, its ack (false when none came).
    auto feed = [&](Game& from, const uint8_t* token, size_t offset, size_t count, uint8_t flags, RoomMessage* ack) {
        RoomMessage m;
        m.kind = RoomKind::Feed;
        std::memcpy(m.token, token, kRoomTokenBytes);
        m.offset = static_cast<uint32_t>(offset);
        m.payload = all.data() + offset;
        m.payloadSize = count;
        m.flags = flags;
        from.Send(m);
        return from.Receive(ack, nullptr, 500) && ack->kind == RoomKind::FeedAck;
    };
    RoomMessage ack;
    ASSERT_TRUE(feed(host, opened.token, 0, 1024, 0, &ack));
    EXPECT_EQ(ack.offset, 1024u);
    // The joiner's feed and a stranger's: unanswered.
    EXPECT_FALSE(feed(joiner, entered.token, 1024, 100, 0, &ack));
    uint8_t forged[kRoomTokenBytes];
    std::memcpy(forged, opened.token, sizeof forged);
    forged[15] ^= 1;
    EXPECT_FALSE(feed(stranger, forged, 1024, 100, 0, &ack));
    // Out of order: told what is held.
    ASSERT_TRUE(feed(host, opened.token, 5000, 100, 0, &ack));
    EXPECT_EQ(ack.offset, 1024u);
    ASSERT_TRUE(feed(host, opened.token, 512, 100, 0, &ack));
    EXPECT_EQ(ack.offset, 1024u);

    // A watcher waiting at the end is answered as soon as the next bytes come.
    Reply waited;
    double waitedSeconds = 0;
    std::thread watcher([&] {
        const auto t0 = std::chrono::steady_clock::now();
        waited = Call(server_.Port(), "GET", live + "?from=1024");
        waitedSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    });
    usleep(300000);
    ASSERT_TRUE(feed(host, opened.token, 1024, 1024, 0, &ack));
    watcher.join();
    EXPECT_EQ(waited.status, 200);
    EXPECT_EQ(waited.body, std::string(all.begin() + 1024, all.begin() + 2048));
    EXPECT_GE(waitedSeconds, 0.25);
    EXPECT_LT(waitedSeconds, 1.5);
    std::printf("a waiting watcher got the next bytes %.0f ms after its request (fed at 300 ms)\n",
                waitedSeconds * 1000);
    // ... and with nothing new in 2 s, 204.
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Call(server_.Port(), "GET", live + "?from=2048").status, 204);
    const double idle = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_GE(idle, 1.9);
    EXPECT_LT(idle, 3.0);
    EXPECT_EQ(Call(server_.Port(), "GET", live + "?from=2049").status, 400);
    EXPECT_EQ(Call(server_.Port(), "GET", live + "?from=-1").status, 400);
    EXPECT_EQ(Call(server_.Port(), "GET", "/api/v1/live/BBBBB").status, 404);

    // The rest up to a replay file's capacity, then one byte past it: full.
    size_t held = 2048;
    while (held < all.size()) {
        const size_t n = std::min<size_t>(kRoomMaxFeedBytes, all.size() - held);
        ASSERT_TRUE(feed(host, opened.token, held, n, 0, &ack)) << held;
        ASSERT_EQ(ack.offset, held + n);
        held += n;
    }
    Bytes more(1, 0);
    {
        RoomMessage m;
        m.kind = RoomKind::Feed;
        std::memcpy(m.token, opened.token, kRoomTokenBytes);
        m.offset = static_cast<uint32_t>(held);
        m.payload = more.data();
        m.payloadSize = 1;
        host.Send(m);
        ASSERT_TRUE(host.Receive(&ack, nullptr, 500));
        EXPECT_EQ(ack.offset, held);
        EXPECT_EQ(ack.flags, kRoomFeedFull);
    }
    // The final header (its results filled) ends it.
    h.scores[0] = 4321;
    h.level = 7;
    WriteReplayHeader(h, all.data());
    ASSERT_TRUE(feed(host, opened.token, 0, kReplayHeaderBytes, kRoomFeedFinal, &ack));
    EXPECT_EQ(ack.flags, kRoomFeedEnded);

    const nlohmann::json list = nlohmann::json::parse(Call(server_.Port(), "GET", "/api/v1/live").body);
    ASSERT_EQ(list["live"].size(), 1u);
    EXPECT_EQ(list["live"][0]["code"], opened.code);
    EXPECT_EQ(list["live"][0]["names"][0], "<HOST>");
    EXPECT_EQ(list["live"][0]["bytes"], kReplayFileCapacity);
    EXPECT_EQ(list["live"][0]["ended"], true);
    EXPECT_EQ(list["live"][0]["difficulty"], 2);

    // A watcher from 0: every byte in order, 64 kB at a time, the last marked.
    std::string got;
    int reads = 0;
    for (;;) {
        const Reply r = Call(server_.Port(), "GET", live + "?from=" + std::to_string(got.size()));
        ASSERT_EQ(r.status, 200);
        ASSERT_LE(r.body.size(), 64u * 1024);
        got += r.body;
        ++reads;
        if (r.Header("x-feed-ended") == "1") break;
        ASSERT_LT(reads, 10);
    }
    EXPECT_EQ(reads, 5);
    EXPECT_TRUE(got == std::string(all.begin(), all.end()));
    const Reply end = Call(server_.Port(), "GET", live + "?from=" + std::to_string(all.size()));
    EXPECT_EQ(end.status, 200);
    EXPECT_EQ(end.body, "");
    EXPECT_EQ(end.Header("x-feed-ended"), "1");

    // Each of those connections was a watcher of its own, for 10 s: fill
    // the room to 32, and the 33rd is refused.
    int watchers = nlohmann::json::parse(Call(server_.Port(), "GET", "/api/v1/live").body)["live"][0]["watchers"];
    ASSERT_LE(watchers, 32);
    for (; watchers < 32; ++watchers) ASSERT_EQ(Call(server_.Port(), "GET", live + "?from=0").status, 200);
    const Reply refused = Call(server_.Port(), "GET", live + "?from=0");
    EXPECT_EQ(refused.status, 503);
    EXPECT_FALSE(refused.Header("retry-after").empty());
}

}  // namespace
}  // namespace server_test
