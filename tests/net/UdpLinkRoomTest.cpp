// The link's room mode against a room server written here, over real
// loopback sockets: a room created and entered, a quick match, the direct
// path, the relay forced or taken after two seconds without a welcome,
// the server's refusals in words, a server that never answers, the punch's
// short life, and what strangers and a hostile server's address can send:
// refused, counted, never acted on.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "net/NetProtocol.h"
#include "net/RoomProtocol.h"
#include "net/UdpLink.h"

namespace {

uint32_t NowMs() {
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

constexpr char kCode[] = "KMNPQ";

// A UDP socket on 127.0.0.1 that reads each datagram with its sender and
// the TTL it arrived with.
struct Socket {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    uint16_t port = 0;
    Socket() {
        const UdpAddress any = UdpLoopback(false, 0);
        EXPECT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(any.raw), any.size), 0);
        const int on = 1;
        setsockopt(fd, IPPROTO_IP, IP_RECVTTL, &on, sizeof on);
        sockaddr_in bound{};
        socklen_t length = sizeof bound;
        getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
        port = ntohs(bound.sin_port);
    }
    ~Socket() { close(fd); }
    RoomAddress Address() const {
        RoomAddress a;
        a.family = 4;
        const uint32_t loopback = htonl(INADDR_LOOPBACK);
        std::memcpy(a.bytes, &loopback, 4);
        a.port = port;
        return a;
    }
    struct Got {
        std::vector<uint8_t> bytes;
        RoomAddress from;
        int ttl = -1;
    };
    bool Receive(Got* got) {
        uint8_t buffer[2048];
        sockaddr_storage from{};
        alignas(cmsghdr) char control[64];
        iovec io = {buffer, sizeof buffer};
        msghdr m{};
        m.msg_name = &from;
        m.msg_namelen = sizeof from;
        m.msg_iov = &io;
        m.msg_iovlen = 1;
        m.msg_control = control;
        m.msg_controllen = sizeof control;
        const ssize_t n = recvmsg(fd, &m, 0);
        if (n < 0) return false;
        got->bytes.assign(buffer, buffer + n);
        got->ttl = -1;
        for (cmsghdr* c = CMSG_FIRSTHDR(&m); c != nullptr; c = CMSG_NXTHDR(&m, c))
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL)
                std::memcpy(&got->ttl, CMSG_DATA(c), sizeof(int));
        RoomAddressFromSockaddr(reinterpret_cast<const sockaddr*>(&from), m.msg_namelen, &got->from);
        return true;
    }
    void SendTo(const RoomAddress& to, const uint8_t* bytes, size_t size) const {
        sockaddr_storage address{};
        const size_t length = RoomAddressToSockaddr(to, false, &address);
        sendto(fd, bytes, size, 0, reinterpret_cast<const sockaddr*>(&address), static_cast<socklen_t>(length));
    }
    void SendTo(const RoomAddress& to, const RoomMessage& m) const {
        uint8_t out[kRoomMaxMessageBytes];
        const size_t size = WriteRoomMessage(m, out, sizeof out);
        ASSERT_GT(size, 0u);
        SendTo(to, out, size);
    }
};

// A room server as the contract has it, for one room: Open creates it (or
// a quick match's second Open joins it), Enter with its code joins it, the
// host is told of its joiner, a punched Stay pairs them, Relay goes to the
// other player. Tests bend it: silent, refusing, telling the joiner a host
// address where nobody answers, altering a relayed datagram.
struct FakeRoomServer {
    Socket socket;
    bool silent = false;
    bool refuse = false;
    RoomRefusal refusal = RoomRefusal::NoSuchRoom;
    bool hostAddressGiven = false;  // tell the joiner this address for its host
    RoomAddress hostAddressToGive;
    bool joinerAddressGiven = false;  // ... and the host this one for its joiner
    RoomAddress joinerAddressToGive;
    int alterRelayedData = 0;                   // the nth relayed data datagram gets a bit flipped
    bool hideHost = false, hideJoiner = false;  // name that player "not known" to the other (a browser)
    uint16_t waitSeconds = 599;
    uint32_t openedMs = 0;

    struct Player {
        bool in = false;
        RoomAddress address;
        uint8_t token[kRoomTokenBytes] = {};
        uint64_t askId = 0;
    };
    Player players[2];  // host, joiner
    RoomStage stage = RoomStage::Waiting;
    int asks = 0, stays = 0, punchedStays = 0, relays = 0, relayedData = 0, leaves = 0, refusedHere = 0;
    std::vector<std::vector<uint8_t>> askBytes;
    std::vector<int> stayTtls;
    bool relayedOnlyLinkDatagrams = true;

    uint16_t Port() const { return socket.port; }

    RoomMessage RoomFor(int who, uint64_t askId) const {
        RoomMessage m;
        m.kind = RoomKind::Room;
        m.askId = askId;
        std::memcpy(m.token, players[who].token, kRoomTokenBytes);
        std::snprintf(m.code, sizeof m.code, "%s", kCode);
        m.role = who == 0 ? RoomRole::Host : RoomRole::Joiner;
        m.stage = stage;
        // The room's wait counts down from its opening, as the server's does.
        const uint32_t waited = (NowMs() - openedMs) / 1000u;
        m.waitSeconds = static_cast<uint16_t>(waited < waitSeconds ? waitSeconds - waited : 0);
        const bool knows = stage == RoomStage::Paired || (who == 0 && stage == RoomStage::Pairing);
        if (knows && players[1 - who].in) {
            m.peer = players[1 - who].address;
            if (who == 1 && hostAddressGiven) m.peer = hostAddressToGive;
            if (who == 0 && joinerAddressGiven) m.peer = joinerAddressToGive;
            if ((who == 1 && hideHost) || (who == 0 && hideJoiner)) m.peer = RoomAddress();
        }
        return m;
    }

    int Which(const uint8_t* token) const {
        for (int who = 0; who < 2; ++who)
            if (players[who].in && std::memcmp(players[who].token, token, kRoomTokenBytes) == 0) return who;
        return -1;
    }

    void Enter(int who, const Socket::Got& got, uint64_t askId) {
        Player& p = players[who];
        if (!p.in) {
            p.in = true;
            p.address = got.from;
            p.askId = askId;
            if (who == 0) openedMs = NowMs();
            for (size_t i = 0; i < kRoomTokenBytes; ++i) p.token[i] = static_cast<uint8_t>(0x40 + who * 16 + i);
        }
        if (who == 1 && stage == RoomStage::Waiting) {
            stage = RoomStage::Pairing;
            socket.SendTo(players[0].address, RoomFor(0, 0));  // the host, unasked
        }
        socket.SendTo(got.from, RoomFor(who, askId));
    }

    void Take(const Socket::Got& got) {
        RoomMessage m;
        if (!ParseRoomMessage(got.bytes.data(), got.bytes.size(), &m, nullptr)) {
            ++refusedHere;
            return;
        }
        switch (m.kind) {
        case RoomKind::Open:
        case RoomKind::Enter: {
            ++asks;
            askBytes.push_back(got.bytes);
            if (silent) return;
            if (refuse) {
                RoomMessage no;
                no.kind = RoomKind::Refused;
                no.askId = m.askId;
                no.reason = refusal;
                socket.SendTo(got.from, no);
                return;
            }
            const bool second = m.kind == RoomKind::Enter || (players[0].in && players[0].askId != m.askId);
            Enter(second ? 1 : 0, got, m.askId);
            return;
        }
        case RoomKind::Stay: {
            const int who = Which(m.token);
            if (who < 0) return;
            ++stays;
            stayTtls.push_back(got.ttl);
            players[who].address = got.from;
            if (who == 0 && (m.flags & kRoomPunched) != 0) {
                ++punchedStays;
                if (stage == RoomStage::Pairing) {
                    stage = RoomStage::Paired;
                    socket.SendTo(players[1].address, RoomFor(1, 0));  // the joiner, unasked
                }
            }
            socket.SendTo(got.from, RoomFor(who, 0));
            return;
        }
        case RoomKind::Relay: {
            const int who = Which(m.token);
            if (who < 0 || !players[1 - who].in) return;
            ++relays;
            players[who].address = got.from;
            std::vector<uint8_t> carried(m.payload, m.payload + m.payloadSize);
            relayedOnlyLinkDatagrams &= carried[0] >= 1 && carried[0] <= 5;
            if (carried[0] == 5 && ++relayedData == alterRelayedData) carried.back() ^= 0x10;
            RoomMessage on;
            on.kind = RoomKind::Relayed;
            on.payload = carried.data();
            on.payloadSize = carried.size();
            socket.SendTo(players[1 - who].address, on);
            return;
        }
        case RoomKind::Leave:
            ++leaves;
            return;
        default:
            ++refusedHere;
            return;
        }
    }

    void Pump() {
        Socket::Got got;
        while (socket.Receive(&got)) Take(got);
    }
};

// One game's end of a room: its link and the packets it took.
struct Side {
    UdpLink link;
    NetDatagram received[64];
    std::vector<std::string> packets;
    void Pump(uint32_t waitMs = 0) {
        const int n = link.Poll(received, 64, waitMs);
        for (int i = 0; i < n; ++i)
            packets.emplace_back(reinterpret_cast<const char*>(received[i].bytes), received[i].size);
    }
    void Send(const char* text) { link.Send(reinterpret_cast<const uint8_t*>(text), std::strlen(text), true); }
    bool Got(const char* text) const {
        for (const std::string& p : packets)
            if (p == text) return true;
        return false;
    }
};

NetRoomAsk Ask(uint16_t port, NetRoomMode mode, const char* code = "") {
    NetRoomAsk ask;
    std::snprintf(ask.serverHost, sizeof ask.serverHost, "127.0.0.1");
    ask.serverPort = port;
    ask.mode = mode;
    std::snprintf(ask.code, sizeof ask.code, "%s", code);
    std::snprintf(ask.gameVersion, sizeof ask.gameVersion, "1.0.0");
    ask.dataHash = 0xABCD;
    ask.difficulty = 1;
    return ask;
}

// Pumps the server and the sides (1 ms each) until `done` or `ms` pass.
bool PumpUntil(FakeRoomServer& server, std::vector<Side*> sides, uint32_t ms, const std::function<bool()>& done) {
    const uint32_t start = NowMs();
    while (!done()) {
        if (NowMs() - start > ms) return false;
        server.Pump();
        for (Side* s : sides) s->Pump(1);
    }
    return true;
}

// The host opens the room and waits; the joiner enters (or asks for a
// quick match); both link up and greet: the joiner's packet reaches the
// host, which confirms it, and the host's reaches the joiner.
void MeetAndGreet(FakeRoomServer& server, Side& host, Side& joiner, NetRoomMode hostMode, NetRoomMode joinMode,
                  uint32_t* linkedMs = nullptr) {
    ASSERT_TRUE(host.link.Room(Ask(server.Port(), hostMode))) << host.link.Failure();
    ASSERT_TRUE(PumpUntil(server, {&host}, 2000, [&] { return host.link.RoomState().stage == NetRoomStage::Waiting; }))
        << host.link.Failure();
    EXPECT_EQ(host.link.RoomState().role, NetRoomRole::Host);
    EXPECT_STREQ(host.link.RoomState().code, kCode);
    EXPECT_EQ(host.link.RoomState().waitSeconds, 599);
    EXPECT_EQ(host.link.State(), NetLinkState::Connecting);
    const uint32_t entered = NowMs();
    ASSERT_TRUE(joiner.link.Room(Ask(server.Port(), joinMode, joinMode == NetRoomMode::Join ? "kmnpq" : "")));
    ASSERT_TRUE(PumpUntil(
        server, {&host, &joiner}, 6000,
        [&] { return host.link.State() == NetLinkState::Connected && joiner.link.State() == NetLinkState::Connected; }))
        << host.link.Failure() << " / " << joiner.link.Failure();
    if (linkedMs != nullptr) *linkedMs = NowMs() - entered;
    EXPECT_EQ(joiner.link.RoomState().role, NetRoomRole::Joiner);
    joiner.Send("hello");
    ASSERT_TRUE(PumpUntil(server, {&host, &joiner}, 3000, [&] { return host.Got("hello"); }));
    host.link.Confirm();
    host.Send("welcome");
    ASSERT_TRUE(PumpUntil(server, {&host, &joiner}, 3000, [&] { return joiner.Got("welcome"); }));
    ASSERT_TRUE(PumpUntil(server, {&host, &joiner}, 1000, [&] {
        return host.link.RoomState().stage == NetRoomStage::Playing &&
               joiner.link.RoomState().stage == NetRoomStage::Playing;
    }));
}

// A room created and entered by its code (lower case, folded): the server
// pairs them once the host has punched, the two link up directly, and the
// host's leaving is told to the server.
TEST(UdpLinkRoom, ARoomCreatedAndEnteredLinksItsTwoGamesDirectly) {
    FakeRoomServer server;
    Side host, joiner;
    uint32_t linkedMs = 0;
    MeetAndGreet(server, host, joiner, NetRoomMode::Create, NetRoomMode::Join, &linkedMs);
    EXPECT_EQ(host.link.Path(), NetPath::Direct);
    EXPECT_EQ(joiner.link.Path(), NetPath::Direct);
    EXPECT_GE(server.punchedStays, 1);
    EXPECT_EQ(server.relays, 0);
    EXPECT_LT(linkedMs, 500u) << "linked in " << linkedMs << " ms";
    std::printf("entered to linked directly: %u ms\n", static_cast<unsigned>(linkedMs));
    for (Side* s : {&host, &joiner}) {
        EXPECT_EQ(s->link.Counts().server, 0u);
        EXPECT_EQ(s->link.Counts().strangers, 0u);
        EXPECT_EQ(s->link.Counts().forged, 0u);
    }
    // The Enter carried the code as the server takes it, upper case.
    RoomMessage enter;
    ASSERT_TRUE(ParseRoomMessage(server.askBytes.back().data(), server.askBytes.back().size(), &enter, nullptr));
    EXPECT_EQ(enter.kind, RoomKind::Enter);
    EXPECT_STREQ(enter.code, kCode);
    EXPECT_STREQ(enter.gameVersion, "1.0.0");
    host.link.Close(200);
    ASSERT_TRUE(PumpUntil(server, {&joiner}, 2000,
                          [&] { return server.leaves == 1 && joiner.link.State() == NetLinkState::Lost; }));
    EXPECT_STREQ(joiner.link.Failure(), "the other player left");
}

// Two quick matches: the first waits as the host, the second joins it.
TEST(UdpLinkRoom, AQuickMatchPairsTheSecondGameWithTheFirst) {
    FakeRoomServer server;
    Side first, second;
    MeetAndGreet(server, first, second, NetRoomMode::Quick, NetRoomMode::Quick);
    RoomMessage open;
    ASSERT_TRUE(ParseRoomMessage(server.askBytes.back().data(), server.askBytes.back().size(), &open, nullptr));
    EXPECT_EQ(open.kind, RoomKind::Open);
    EXPECT_EQ(open.mode, RoomMode::Quick);
    EXPECT_EQ(open.difficulty, 1);
    EXPECT_EQ(open.dataHash, 0xABCDu);
    EXPECT_EQ(first.link.Path(), NetPath::Direct);
    EXPECT_EQ(second.link.RoomState().role, NetRoomRole::Joiner);
}

// A joiner that relays from the start: both sides answer on the relayed
// path, the server carries only the link's datagrams, and a datagram it
// alters is refused by the other side (sealed end to end) while play goes on.
TEST(UdpLinkRoom, ARelayedLinkCarriesTheSameSealedBytesEndToEnd) {
    FakeRoomServer server;
    server.alterRelayedData = 3;
    Side host, joiner;
    joiner.link.SetRelayFromStart(true);
    MeetAndGreet(server, host, joiner, NetRoomMode::Create, NetRoomMode::Join);
    EXPECT_EQ(host.link.Path(), NetPath::Relayed);
    EXPECT_EQ(joiner.link.Path(), NetPath::Relayed);
    for (int i = 0; i < 20; ++i) {
        const std::string text = "pass " + std::to_string(i);
        joiner.Send(text.c_str());
        host.Send(text.c_str());
    }
    ASSERT_TRUE(
        PumpUntil(server, {&host, &joiner}, 3000, [&] { return host.Got("pass 19") && joiner.Got("pass 19"); }));
    EXPECT_GE(server.relayedData, server.alterRelayedData);
    EXPECT_TRUE(server.relayedOnlyLinkDatagrams);
    EXPECT_EQ(host.link.Counts().forged + joiner.link.Counts().forged, 1u);
    EXPECT_EQ(host.link.State(), NetLinkState::Connected);
    EXPECT_EQ(joiner.link.State(), NetLinkState::Connected);
}

// The host's address as the joiner gets it leads nowhere (no direct path
// opens): after kRoomDirectMs without a welcome the joiner relays, and the
// two link up through the server.
TEST(UdpLinkRoom, AJoinerWithoutAWelcomeRelaysAfterTwoSeconds) {
    FakeRoomServer server;
    Socket nowhere;
    server.hostAddressGiven = true;
    server.hostAddressToGive = nowhere.Address();
    Side host, joiner;
    uint32_t linkedMs = 0;
    MeetAndGreet(server, host, joiner, NetRoomMode::Create, NetRoomMode::Join, &linkedMs);
    EXPECT_EQ(host.link.Path(), NetPath::Relayed);
    EXPECT_EQ(joiner.link.Path(), NetPath::Relayed);
    EXPECT_GE(linkedMs, kRoomDirectMs);
    EXPECT_LT(linkedMs, kRoomDirectMs + 1000) << linkedMs;
    std::printf("entered to linked through the relay: %u ms\n", static_cast<unsigned>(linkedMs));
    // The direct path was tried: the cookie requests every quarter second.
    int requests = 0;
    Socket::Got got;
    while (nowhere.Receive(&got)) requests += got.bytes.size() == 64 && got.bytes[0] == 1;
    EXPECT_GE(requests, 5);
    EXPECT_LE(requests, 10);
}

// A peer the server names "not known" (a browser, which nobody can punch
// toward): the host does not punch but says it is ready at once, the
// joiner relays from the start, and they link up well within the direct
// path's two seconds, whichever side is the browser.
TEST(UdpLinkRoom, APeerTheServerCannotNameIsMetThroughTheRelayAtOnce) {
    for (const bool hideJoiner : {true, false}) {
        SCOPED_TRACE(hideJoiner ? "the joiner is a browser" : "the host is a browser");
        FakeRoomServer server;
        server.hideJoiner = hideJoiner;
        server.hideHost = !hideJoiner;
        Side host, joiner;
        joiner.link.SetRelayFromStart(hideJoiner);  // a browser's link always relays
        uint32_t linkedMs = 0;
        MeetAndGreet(server, host, joiner, NetRoomMode::Create, NetRoomMode::Join, &linkedMs);
        EXPECT_EQ(host.link.Path(), NetPath::Relayed);
        EXPECT_EQ(joiner.link.Path(), NetPath::Relayed);
        EXPECT_LT(linkedMs, kRoomDirectMs / 2) << linkedMs;
        EXPECT_GE(server.punchedStays, 1);
        EXPECT_GT(server.relays, 0);
        for (Side* s : {&host, &joiner}) {
            EXPECT_EQ(s->link.Counts().strangers, 0u);
            EXPECT_EQ(s->link.Counts().server, 0u);
        }
    }
}

// A port that reaches the room server alone, as the page's WebSocket does:
// the desktop's socket under it, every datagram's way written down. A test
// ends its way to the server (`broken`: the words the port says it in), or
// refuses its opening.
class ServerOnlyPort final : public DatagramPort {
public:
    bool Open(DatagramUse use, int family, uint16_t port) override {
        opens.push_back(use);
        if (refuseOpen) return false;
        return use == DatagramUse::Room && inner.Open(use, family, port);
    }
    void Close() override { inner.Close(); }
    bool IsOpen() const override { return inner.IsOpen(); }
    int Family() const override { return inner.Family(); }
    uint16_t LocalPort() const override { return inner.LocalPort(); }
    void Send(const uint8_t* bytes, size_t size, const UdpAddress& to, bool shortLived) override {
        if (!SameUdpAddress(to, server) || shortLived) {
            ++elsewhere;
            return;
        }
        ++sent;
        inner.Send(bytes, size, to, false);
    }
    long Receive(uint8_t* buffer, size_t capacity, UdpAddress* from) override {
        return inner.Receive(buffer, capacity, from);
    }
    void Wait(uint32_t ms) override { inner.Wait(ms); }
    bool FindServer(const char* host, uint16_t port, UdpAddress* out, const char** why) override {
        if (!inner.FindServer(host, port, out, why)) return false;
        server = UdpAddressForSocket(*out, AF_INET6);
        return true;
    }
    bool ServerOnly() const override { return true; }
    const char* Broken() const override { return broken.empty() ? nullptr : broken.c_str(); }

    UdpSocketPort inner;
    std::string broken;
    bool refuseOpen = false;
    UdpAddress server;
    std::vector<DatagramUse> opens;
    int sent = 0, elsewhere = 0;
};

// The link on a port that reaches its server alone meets the other game
// through the relay at once, even where the server names the other's
// address (a desktop's, to either side), punches nothing and sends nothing anywhere else,
// whichever side it is; it can neither host nor join an address.
TEST(UdpLinkRoom, ALinkThatReachesItsServerAloneRelaysFromTheStartAndSendsNowhereElse) {
    for (const bool joinerOnly : {true, false}) {
        SCOPED_TRACE(joinerOnly ? "the joiner reaches the server alone" : "the host does");
        FakeRoomServer server;
        server.hideHost = !joinerOnly;  // as the server hides a browser from its joiner
        ServerOnlyPort port;            // before the links, which close it as they go
        Side host, joiner;
        (joinerOnly ? joiner : host).link.UsePort(&port);
        uint32_t linkedMs = 0;
        MeetAndGreet(server, host, joiner, NetRoomMode::Create, NetRoomMode::Join, &linkedMs);
        EXPECT_EQ(host.link.Path(), NetPath::Relayed);
        EXPECT_EQ(joiner.link.Path(), NetPath::Relayed);
        EXPECT_LT(linkedMs, kRoomDirectMs / 2) << linkedMs;
        EXPECT_GT(port.sent, 0);
        EXPECT_EQ(port.elsewhere, 0);
        EXPECT_TRUE((joinerOnly ? joiner : host).link.RoomsOnly());
        EXPECT_FALSE((joinerOnly ? host : joiner).link.RoomsOnly());
        UdpLink& limited = (joinerOnly ? joiner : host).link;
        limited.Close(0);
        EXPECT_FALSE(limited.Host(0));
        EXPECT_EQ(limited.State(), NetLinkState::Failed);
        EXPECT_FALSE(limited.Join("127.0.0.1:9"));
        EXPECT_EQ(limited.State(), NetLinkState::Failed);
        EXPECT_EQ(port.opens, (std::vector<DatagramUse>{DatagramUse::Room, DatagramUse::Listen, DatagramUse::Join}));
    }
}

// A port whose way to the server ends (the page's WebSocket closed) makes
// the link give up at the next poll, in the port's words, not after its
// silence: while the room waits, and once the two play (the other game
// then counts as gone). A port that cannot open says why, where it can.
TEST(UdpLinkRoom, APortWhoseWayToTheServerEndsIsGivenUpAtOnceInItsWords) {
    const std::string words = "the connection to the world server closed (1001: the server is going away)";
    {
        SCOPED_TRACE("waiting in the room");
        FakeRoomServer server;
        ServerOnlyPort port;
        Side host;
        host.link.UsePort(&port);
        ASSERT_TRUE(host.link.Room(Ask(server.Port(), NetRoomMode::Create)));
        ASSERT_TRUE(
            PumpUntil(server, {&host}, 2000, [&] { return host.link.RoomState().stage == NetRoomStage::Waiting; }));
        PumpUntil(server, {&host}, 30, [] { return false; });
        EXPECT_EQ(host.link.State(), NetLinkState::Connecting);
        port.broken = words;
        const uint32_t broke = NowMs();
        host.Pump();
        EXPECT_LT(NowMs() - broke, 100u);
        EXPECT_EQ(host.link.State(), NetLinkState::Failed);
        EXPECT_EQ(host.link.Failure(), words);
        EXPECT_EQ(std::string(host.link.RoomState().refusal), words);
        EXPECT_EQ(host.link.RoomState().stage, NetRoomStage::None);
    }
    {
        SCOPED_TRACE("in play");
        FakeRoomServer server;
        ServerOnlyPort port;
        Side host, joiner;
        joiner.link.UsePort(&port);
        MeetAndGreet(server, host, joiner, NetRoomMode::Create, NetRoomMode::Join);
        ASSERT_EQ(joiner.link.State(), NetLinkState::Connected);
        port.broken = words;
        joiner.Pump();
        EXPECT_EQ(joiner.link.State(), NetLinkState::Lost);
        EXPECT_EQ(joiner.link.Failure(), words);
        EXPECT_EQ(std::string(joiner.link.RoomState().refusal), words);
        // The other side, on a port that stands, plays on until its silence.
        host.Pump();
        EXPECT_EQ(host.link.State(), NetLinkState::Connected);
    }
    {
        SCOPED_TRACE("a port that cannot open");
        ServerOnlyPort port;
        port.refuseOpen = true;
        port.broken = "the page knows no world server";
        Side side;
        side.link.UsePort(&port);
        EXPECT_FALSE(side.link.Room(Ask(9, NetRoomMode::Create)));
        EXPECT_EQ(side.link.State(), NetLinkState::Failed);
        EXPECT_STREQ(side.link.Failure(), "the page knows no world server");
        port.broken.clear();
        errno = 0;
        EXPECT_FALSE(side.link.Room(Ask(9, NetRoomMode::Create)));
        EXPECT_EQ(std::string(side.link.Failure()).rfind("cannot open a UDP socket (", 0), 0u) << side.link.Failure();
    }
}

// Each refusal ends the ask at once, in the server's words.
TEST(UdpLinkRoom, TheServersRefusalsAreSaidInWords) {
    for (const RoomRefusal reason :
         {RoomRefusal::NoSuchRoom, RoomRefusal::Full, RoomRefusal::Version, RoomRefusal::DataSet,
          RoomRefusal::TooManyAsks, RoomRefusal::NoRoom, RoomRefusal::Closed}) {
        SCOPED_TRACE(static_cast<int>(reason));
        FakeRoomServer server;
        server.refuse = true;
        server.refusal = reason;
        Side side;
        ASSERT_TRUE(side.link.Room(Ask(server.Port(), NetRoomMode::Join, "ACDEF")));
        ASSERT_TRUE(PumpUntil(server, {&side}, 2000, [&] { return side.link.State() == NetLinkState::Failed; }));
        EXPECT_STREQ(side.link.Failure(), DescribeRoomRefusal(reason));
        EXPECT_STREQ(side.link.RoomState().refusal, DescribeRoomRefusal(reason));
        EXPECT_EQ(side.link.RoomState().stage, NetRoomStage::None);
        EXPECT_EQ(server.asks, 1);
    }
}

// A server that never answers: the same Open every quarter second, then
// the words after five seconds.
TEST(UdpLinkRoom, AServerThatNeverAnswersIsGivenUpAfterFiveSeconds) {
    FakeRoomServer server;
    server.silent = true;
    Side side;
    const uint32_t start = NowMs();
    ASSERT_TRUE(side.link.Room(Ask(server.Port(), NetRoomMode::Create)));
    EXPECT_EQ(side.link.RoomState().stage, NetRoomStage::Asking);
    ASSERT_TRUE(
        PumpUntil(server, {&side}, kRoomAskGiveUpMs + 2000, [&] { return side.link.State() == NetLinkState::Failed; }));
    const uint32_t took = NowMs() - start;
    EXPECT_GE(took, kRoomAskGiveUpMs);
    EXPECT_LT(took, kRoomAskGiveUpMs + 1000);
    EXPECT_EQ(std::string(side.link.Failure()),
              "the room server does not answer (127.0.0.1, UDP port " + std::to_string(server.Port()) + ")");
    server.Pump();
    EXPECT_GE(server.asks, static_cast<int>(kRoomAskGiveUpMs / kRoomAskEveryMs) - 2);
    EXPECT_LE(server.asks, static_cast<int>(kRoomAskGiveUpMs / kRoomAskEveryMs) + 1);
    for (const std::vector<uint8_t>& bytes : server.askBytes) EXPECT_EQ(bytes, server.askBytes.front());
}

// What else comes from the server's address (garbage, a message of the
// wrong kind, one that contradicts the room, a relayed datagram before the
// pairing) is refused and counted, and changes nothing; a stranger's
// datagrams get nothing back, before the pairing and in play.
TEST(UdpLinkRoom, GarbageFromTheServersAddressAndStrangersAreRefusedAndCounted) {
    FakeRoomServer server;
    Side host;
    ASSERT_TRUE(host.link.Room(Ask(server.Port(), NetRoomMode::Create)));
    ASSERT_TRUE(PumpUntil(server, {&host}, 2000, [&] { return host.link.RoomState().stage == NetRoomStage::Waiting; }));
    const RoomAddress at = server.players[0].address;
    std::vector<std::vector<uint8_t>> hostile = {
        {},
        {'V', 'C', 'R', 'M'},
        {'V', 'C', 'R', 'M', 2, 16},
        std::vector<uint8_t>(64, 0xEE),
        std::vector<uint8_t>(1300, 'V'),
    };
    auto message = [&](const RoomMessage& m) {
        uint8_t out[kRoomMaxMessageBytes];
        hostile.emplace_back(out, out + WriteRoomMessage(m, out, sizeof out));
    };
    RoomMessage wrongToken = server.RoomFor(0, 0);
    wrongToken.token[0] ^= 1;
    message(wrongToken);
    RoomMessage otherAsk = server.RoomFor(0, server.players[0].askId + 1);
    message(otherAsk);
    RoomMessage otherCode = server.RoomFor(0, 0);
    std::snprintf(otherCode.code, sizeof otherCode.code, "ACDEF");
    message(otherCode);
    RoomMessage otherRole = server.RoomFor(0, 0);
    otherRole.role = RoomRole::Joiner;
    message(otherRole);
    RoomMessage stay;
    stay.kind = RoomKind::Stay;
    message(stay);
    RoomMessage refusedOther;
    refusedOther.kind = RoomKind::Refused;
    refusedOther.askId = server.players[0].askId + 1;
    message(refusedOther);
    const uint8_t cookieRequest[64] = {1, 'V', 'C', 'U', 'L', 1, 1, 2, 3, 4, 5, 6, 7, 8};
    RoomMessage early;
    early.kind = RoomKind::Relayed;
    early.payload = cookieRequest;
    early.payloadSize = sizeof cookieRequest;
    message(early);  // nobody to relay for yet
    for (const std::vector<uint8_t>& bytes : hostile) server.socket.SendTo(at, bytes.data(), bytes.size());
    ASSERT_TRUE(PumpUntil(server, {&host}, 2000, [&] { return host.link.Counts().server >= hostile.size(); }));
    PumpUntil(server, {&host}, 50, [] { return false; });
    EXPECT_EQ(host.link.Counts().server, hostile.size());
    EXPECT_EQ(host.link.State(), NetLinkState::Connecting);
    EXPECT_EQ(host.link.RoomState().stage, NetRoomStage::Waiting);
    EXPECT_EQ(host.link.RoomState().role, NetRoomRole::Host);
    EXPECT_STREQ(host.link.RoomState().code, kCode);

    // A stranger, before the pairing and once the two play.
    Socket stranger;
    RoomAddress hostAt = at;
    hostAt.port = host.link.Port();
    stranger.SendTo(hostAt, cookieRequest, sizeof cookieRequest);
    Side joiner;
    ASSERT_TRUE(joiner.link.Room(Ask(server.Port(), NetRoomMode::Join, kCode)));
    ASSERT_TRUE(PumpUntil(server, {&host, &joiner}, 6000, [&] {
        return host.link.State() == NetLinkState::Connected && joiner.link.State() == NetLinkState::Connected;
    }));
    for (const std::vector<uint8_t>& bytes : hostile) server.socket.SendTo(at, bytes.data(), bytes.size());
    stranger.SendTo(hostAt, cookieRequest, sizeof cookieRequest);
    joiner.Send("still here");
    ASSERT_TRUE(PumpUntil(server, {&host, &joiner}, 3000, [&] { return host.Got("still here"); }));
    PumpUntil(server, {&host, &joiner}, 50, [] { return false; });
    EXPECT_EQ(host.link.Counts().strangers, 2u);
    Socket::Got got;
    EXPECT_FALSE(stranger.Receive(&got));
    // In play a relayed datagram is the peer's path: the early one's
    // cookie request is judged by the link (a handshake), the rest refused.
    EXPECT_GE(host.link.Counts().server, 2 * hostile.size() - 1);
    EXPECT_EQ(host.link.State(), NetLinkState::Connected);
}

// The two ends of a room's wait: nobody comes before the server closes
// it, or the host never goes on with the pairing (it left without a word).
TEST(UdpLinkRoom, ARoomNobodyComesToOrWhoseHostGoesIsGivenUpInWords) {
    FakeRoomServer server;
    server.waitSeconds = 1;
    Side host;
    const uint32_t start = NowMs();
    ASSERT_TRUE(host.link.Room(Ask(server.Port(), NetRoomMode::Create)));
    ASSERT_TRUE(PumpUntil(server, {&host}, 5000, [&] { return host.link.State() == NetLinkState::Failed; }));
    EXPECT_GE(NowMs() - start, 1000u + kRoomStayWaitingMs);
    EXPECT_STREQ(host.link.Failure(), "nobody came to the room before its time was up: it has closed");

    // A host that opened the room and went silent: the joiner's pairing
    // never goes on.
    FakeRoomServer other;
    Socket gone;
    RoomMessage open;
    open.kind = RoomKind::Open;
    open.askId = 7;
    std::snprintf(open.gameVersion, sizeof open.gameVersion, "1.0.0");
    RoomAddress serverAt = gone.Address();
    serverAt.port = other.Port();
    gone.SendTo(serverAt, open);
    ASSERT_TRUE(PumpUntil(other, {}, 1000, [&] { return other.players[0].in; }));
    Side joiner;
    joiner.link.SetTimeout(1000);
    const uint32_t entered = NowMs();
    ASSERT_TRUE(joiner.link.Room(Ask(other.Port(), NetRoomMode::Join, kCode)));
    ASSERT_TRUE(PumpUntil(other, {&joiner}, 4000, [&] { return joiner.link.State() == NetLinkState::Failed; }));
    EXPECT_GE(NowMs() - entered, 1000u);
    EXPECT_LT(NowMs() - entered, 2500u);
    EXPECT_STREQ(joiner.link.Failure(), "the room's other game did not go on with the pairing (it may have left)");
}

// The host's punch toward its joiner lives two hops, again every half
// second until the joiner is heard; the datagrams it sends after it (its
// Stay) live as long as ever.
TEST(UdpLinkRoom, ThePunchLivesTwoHopsAndTheLinksOtherDatagramsTheirUsualLife) {
    FakeRoomServer server;
    Socket watcher;  // where the server says the joiner is
    server.joinerAddressGiven = true;
    server.joinerAddressToGive = watcher.Address();
    Side host, joiner;
    ASSERT_TRUE(host.link.Room(Ask(server.Port(), NetRoomMode::Create)));
    ASSERT_TRUE(PumpUntil(server, {&host}, 2000, [&] { return host.link.RoomState().stage == NetRoomStage::Waiting; }));
    ASSERT_TRUE(joiner.link.Room(Ask(server.Port(), NetRoomMode::Join, kCode)));
    std::vector<int> punchTtls;
    const uint32_t start = NowMs();
    PumpUntil(server, {&host, &joiner}, 1300, [&] {
        Socket::Got got;
        while (watcher.Receive(&got)) {
            RoomMessage m;
            if (ParseRoomMessage(got.bytes.data(), got.bytes.size(), &m, nullptr) && m.kind == RoomKind::Punch)
                punchTtls.push_back(got.ttl);
        }
        return false;
    });
    EXPECT_GE(NowMs() - start, 1300u);
    ASSERT_GE(punchTtls.size(), 2u);  // at once, at 500 ms, at 1000 ms
    EXPECT_LE(punchTtls.size(), 4u);
    for (const int ttl : punchTtls) EXPECT_EQ(ttl, kRoomPunchTtl);
    ASSERT_FALSE(server.stayTtls.empty());
    for (const int ttl : server.stayTtls) EXPECT_GT(ttl, kRoomPunchTtl);
    EXPECT_EQ(host.link.RoomState().stage, NetRoomStage::Punching);
}

}  // namespace
