// The network packets: every kind written and read back as it was, and
// hostile packets, each refused with its reason.

#include "net/NetProtocol.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

NetHello SomeHello() {
    NetHello h;
    std::strcpy(h.gameVersion, "1.0.0");
    h.dataHash = 0x0123456789ABCDEFull;
    std::strcpy(h.name, "J\xF6rg");  // the game's own characters beyond ASCII
    h.ship = 1;
    h.inputDelay = 3;
    return h;
}

uint32_t Bits(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

std::vector<uint8_t> Bytes(const NetPacket& p) {
    uint8_t buffer[kNetMaxPacketBytes];
    const size_t n = WriteNetPacket(p, buffer, sizeof buffer);
    return {buffer, buffer + n};
}

// A window that lets every pass number of the round trips through.
constexpr NetWindow kOpen = {1000, 1000, 0};
// ... and one far on, for a delay change of a late pass.
constexpr NetWindow kLate = {0xFFFFFF00u, 0xFFFFFF00u, 0};

TEST(NetProtocol, EveryKindReadsBackAsWritten) {
    std::vector<NetPacket> packets(10);
    packets[9].kind = NetKind::Delay;
    packets[9].delay = {0xFFFFFF00u, kNetMaxInputDelay};
    packets[0].kind = NetKind::Hello;
    packets[0].hello = SomeHello();
    packets[1].kind = NetKind::Welcome;
    packets[1].welcome = {SomeHello(), 4, 2, 0xDEADBEEF};
    packets[2].kind = NetKind::Refuse;
    packets[2].refuse = {NetRefuseReason::DataSet, "1.2.3", 77};
    packets[3].kind = NetKind::Inputs;
    packets[3].inputs.firstPass = 990;
    packets[3].inputs.count = kNetMaxInputsPerPacket;
    packets[3].inputs.have = 1000;
    for (uint8_t i = 0; i < kNetMaxInputsPerPacket; ++i)
        packets[3].inputs.inputs[i] = {
            static_cast<uint8_t>(i * 5 & kNetKeyBits),
            {static_cast<uint8_t>(i & 1), i == 0 ? kNetLeadNotKnown : static_cast<uint8_t>(i * 13 - kNetMaxLead), 0}};
    packets[4].kind = NetKind::Hash;
    packets[4].hash = {900, 0xFEDCBA9876543210ull};
    packets[5].kind = NetKind::Ping;
    packets[5].ping.time = 0xFFFFFFF0u;
    packets[6].kind = NetKind::Pong;
    packets[6].ping.time = 12345;
    packets[7].kind = NetKind::Bye;
    packets[7].bye = NetByeReason::OutOfStep;
    packets[7].byeEnd = 1000;
    // A points record at the edges of every range.
    packets[8].kind = NetKind::Points;
    packets[8].points = {kNetLevels - 1, Bits(kNetMaxSpeed), Bits(0.0f), 0, 1, 2, 3, 4, kNetMaxPointsValue};

    for (const NetPacket& p : packets) {
        SCOPED_TRACE(static_cast<int>(p.kind));
        const std::vector<uint8_t> bytes = Bytes(p);
        ASSERT_EQ(bytes.size(), NetPacketBytes(p.kind, p.kind == NetKind::Inputs ? p.inputs.count : 0));
        NetPacket got;
        const char* why = nullptr;
        ASSERT_TRUE(ParseNetPacket(bytes.data(), bytes.size(), p.kind == NetKind::Delay ? kLate : kOpen, &got, &why))
            << why;
        // Written again, the packet read gives the same bytes.
        EXPECT_EQ(Bytes(got), bytes);
    }
    // And the fields, for one packet with many.
    NetPacket got;
    const char* why = nullptr;
    const std::vector<uint8_t> welcome = Bytes(packets[1]);
    ASSERT_TRUE(ParseNetPacket(welcome.data(), welcome.size(), kOpen, &got, &why));
    EXPECT_STREQ(got.welcome.host.name, "J\xF6rg");
    EXPECT_EQ(got.welcome.host.dataHash, 0x0123456789ABCDEFull);
    EXPECT_EQ(got.welcome.seed, 0xDEADBEEF);
    EXPECT_EQ(got.welcome.inputDelay, 4);
    EXPECT_EQ(welcome.size(), 58u);
    const std::vector<uint8_t> points = Bytes(packets[8]);
    ASSERT_TRUE(ParseNetPacket(points.data(), points.size(), kOpen, &got, &why));
    EXPECT_EQ(points.size(), 39u);
    EXPECT_EQ(got.points.level, kNetLevels - 1);
    EXPECT_EQ(got.points.velocityBits, Bits(kNetMaxSpeed));
    EXPECT_EQ(got.points.maxWarpGates, 3);
    EXPECT_EQ(got.points.points, kNetMaxPointsValue);
    // The inputs of a pass cost 4 bytes beyond 15.
    EXPECT_EQ(NetPacketBytes(NetKind::Inputs, 1), 19u);
    EXPECT_EQ(NetPacketBytes(NetKind::Inputs, kNetMaxInputsPerPacket), 79u);
}

TEST(NetProtocol, WriterRefusesPacketsThatBreakTheRules) {
    NetPacket p;
    p.kind = NetKind::Inputs;
    uint8_t buffer[kNetMaxPacketBytes];
    p.inputs.count = kNetMaxInputsPerPacket + 1;
    EXPECT_EQ(WriteNetPacket(p, buffer, sizeof buffer), 0u);
    p.inputs.count = 1;
    p.inputs.inputs[0].keys = 0x40;
    EXPECT_EQ(WriteNetPacket(p, buffer, sizeof buffer), 0u);
    p.inputs.inputs[0].keys = 0x3F;
    EXPECT_EQ(WriteNetPacket(p, buffer, 18), 0u);  // a buffer too small
    EXPECT_EQ(WriteNetPacket(p, buffer, 19), 19u);
    p.kind = NetKind::Hello;
    p.hello = SomeHello();
    std::memset(p.hello.name, 'A', kNetNameBytes);  // no end
    EXPECT_EQ(WriteNetPacket(p, buffer, sizeof buffer), 0u);
    p.kind = NetKind::Points;
    EXPECT_EQ(WriteNetPacket(p, buffer, sizeof buffer), 39u);
    p.points.velocityBits = Bits(-1.0f);
    EXPECT_EQ(WriteNetPacket(p, buffer, sizeof buffer), 0u);
    p.points = {kNetLevels};
    EXPECT_EQ(WriteNetPacket(p, buffer, sizeof buffer), 0u);
}

struct Hostile {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> change;  // applied to a good packet's bytes
    NetKind kind;                                       // of the good packet
    const char* reason;
    NetWindow window = kOpen;
};

NetPacket Good(NetKind kind) {
    NetPacket p;
    p.kind = kind;
    p.hello = SomeHello();
    p.welcome.host = SomeHello();
    p.refuse.reason = NetRefuseReason::Version;
    std::strcpy(p.refuse.gameVersion, "2.0");
    p.inputs.firstPass = 950;
    p.inputs.count = 2;
    p.inputs.have = 400;
    p.hash.pass = 400;
    p.points = {3, Bits(2.5f), Bits(0.75f), 1, 2, 3, 4, 5, 600};
    p.delay = {1200, 3};
    p.byeEnd = 900;
    return p;
}

TEST(NetProtocol, HostilePacketsAreRefusedWithTheirReasonAndTheWindowsEdgesAccepted) {
    using B = std::vector<uint8_t>&;
    const Hostile cases[] = {
        {"empty", [](B b) { b.clear(); }, NetKind::Ping, "shorter than a packet's header"},
        {"header cut", [](B b) { b.resize(5); }, NetKind::Bye, "shorter than a packet's header"},
        {"magic", [](B b) { b[0] = 'X'; }, NetKind::Ping, "not a VoidCrawl packet"},
        {"protocol", [](B b) { b[4] = kNetProtocolVersion - 1; }, NetKind::Ping,
         "another version of the network protocol"},
        {"kind 0", [](B b) { b[5] = 0; }, NetKind::Ping, "an unknown kind of packet"},
        {"kind 11", [](B b) { b[5] = 11; }, NetKind::Ping, "an unknown kind of packet"},
        {"byte too many", [](B b) { b.push_back(0); }, NetKind::Hash, "the packet has the wrong size"},
        {"byte too few", [](B b) { b.pop_back(); }, NetKind::Hello, "the packet has the wrong size"},
        {"hello version no end", [](B b) { std::memset(&b[6], '1', 16); }, NetKind::Hello,
         "the game version is not text"},
        {"hello version control", [](B b) { b[7] = '\n'; }, NetKind::Hello, "the game version is not text"},
        {"hello junk after version", [](B b) { b[20] = 'x'; }, NetKind::Hello, "the game version is not text"},
        {"hello name no end", [](B b) { std::memset(&b[30], 'A', 20); }, NetKind::Hello,
         "the player's name does not end"},
        {"hello name control", [](B b) { b[30] = 7; }, NetKind::Hello, "the player's name does not end"},
        {"hello ship", [](B b) { b[50] = 2; }, NetKind::Hello, "an unknown ship"},
        {"hello delay 5", [](B b) { b[51] = 5; }, NetKind::Hello, "an input delay out of range"},
        {"hello delay 4", [](B b) { b[51] = 4; }, NetKind::Hello, nullptr},
        {"welcome delay", [](B b) { b[52] = 5; }, NetKind::Welcome, "an input delay out of range"},
        {"welcome difficulty", [](B b) { b[53] = 3; }, NetKind::Welcome, "an unknown difficulty"},
        {"welcome host ship", [](B b) { b[50] = 9; }, NetKind::Welcome, "an unknown ship"},
        {"refuse reason 0", [](B b) { b[6] = 0; }, NetKind::Refuse, "an unknown reason for a refusal"},
        {"refuse reason 5", [](B b) { b[6] = 5; }, NetKind::Refuse, "an unknown reason for a refusal"},
        {"refuse version", [](B b) { b[7] = 0x80; }, NetKind::Refuse, "the game version is not text"},
        {"inputs count 17", [](B b) { b[10] = 17; }, NetKind::Inputs, "an input count out of range"},
        {"inputs count above size", [](B b) { b[10] = 3; }, NetKind::Inputs, "the packet has the wrong size"},
        {"inputs cut", [](B b) { b.resize(10); }, NetKind::Inputs, "the packet has the wrong size"},
        {"inputs key bit 6", [](B b) { b[19] = 0x40; }, NetKind::Inputs, "unknown keys in an input"},
        {"inputs SPACE 2", [](B b) { b[20] = 2; }, NetKind::Inputs, "an input's SPACE is neither up nor down"},
        {"inputs lead 101", [](B b) { b[21] = 101; }, NetKind::Inputs, "an input's lead out of range"},
        {"inputs lead -101", [](B b) { b[17] = 0x9B; }, NetKind::Inputs, "an input's lead out of range"},
        {"inputs lead -127", [](B b) { b[21] = 0x81; }, NetKind::Inputs, "an input's lead out of range"},
        {"inputs spare byte", [](B b) { b[22] = 1; }, NetKind::Inputs, "an input's spare byte is not zero"},
        {"inputs lead edges", [](B b) { b[21] = 100, b[17] = 0x9C; }, NetKind::Inputs, nullptr},
        {"inputs lead not known", [](B b) { b[21] = kNetLeadNotKnown; }, NetKind::Inputs, nullptr},
        {"inputs past time", [](B b) { std::memset(&b[6], 0xFF, 4); }, NetKind::Inputs,
         "pass numbers past the end of time"},
        {"inputs after a gap", [](B b) {}, NetKind::Inputs, "inputs after a gap", {949, 1000, 0}},
        {"inputs stale", [](B b) {}, NetKind::Inputs, "inputs from too far back", {953 + kNetPassWindow, 1000, 0}},
        {"inputs ack ahead", [](B b) {}, NetKind::Inputs, "acknowledges passes never sent", {1000, 399, 0}},
        {"inputs ack stale",
         [](B b) {},
         NetKind::Inputs,
         "an acknowledgement from too far back",
         {1000, 1000, 401 + kNetPassWindow}},
        {"hash between", [](B b) { b[6] = 1; }, NetKind::Hash, "a hash of a pass between the checked ones"},
        {"hash not sent", [](B b) {}, NetKind::Hash, "a hash of a pass not yet played", {1000, 399, 0}},
        {"hash far ahead",
         [](B b) {},
         NetKind::Hash,
         "a hash of a pass not yet played",
         {399 - kNetPassWindow, 1000, 0}},
        {"bye reason", [](B b) { b[6] = 4; }, NetKind::Bye, "an unknown reason for leaving"},
        // A goodbye's end: within what this side holds of the sender and sent.
        {"bye end beyond held", [](B) {}, NetKind::Bye, "a goodbye that ends on passes not held", {899, 1000, 0}},
        {"bye end beyond sent", [](B) {}, NetKind::Bye, "a goodbye that ends on passes not held", {1000, 899, 0}},
        {"bye end at the edges", [](B) {}, NetKind::Bye, nullptr, {900, 900, 0}},
        {"delay 5", [](B b) { b[10] = 5; }, NetKind::Delay, "an input delay out of range"},
        {"delay far ahead", [](B) {}, NetKind::Delay, "a delay change too far ahead", {100, 100, 0}},
        {"delay just near enough", [](B) {}, NetKind::Delay, nullptr, {1200 - kNetDelayAheadMax, 100, 0}},
        {"points short", [](B b) { b.pop_back(); }, NetKind::Points, "the packet has the wrong size"},
        {"points long", [](B b) { b.push_back(0); }, NetKind::Points, "the packet has the wrong size"},
        {"points level 20", [](B b) { b[6] = 20; }, NetKind::Points, "an unknown level"},
        {"points velocity NaN", [](B b) { Put32(b, 7, 0x7FC00000); }, NetKind::Points,
         "a ship's speed that is not a number"},
        {"points acceleration inf", [](B b) { Put32(b, 11, Bits(INFINITY)); }, NetKind::Points,
         "a ship's speed that is not a number"},
        {"points velocity negative", [](B b) { Put32(b, 7, Bits(-0.5f)); }, NetKind::Points,
         "a ship's speed out of range"},
        {"points acceleration too large", [](B b) { Put32(b, 11, Bits(100.01f)); }, NetKind::Points,
         "a ship's speed out of range"},
        {"points lives negative", [](B b) { Put32(b, 31, 0xFFFFFFFF); }, NetKind::Points,
         "a points-screen value out of range"},
        {"points too many", [](B b) { Put32(b, 35, kNetMaxPointsValue + 1); }, NetKind::Points,
         "a points-screen value out of range"},
        // The window's edges are inside: inputs starting at exactly the next
        // pass wanted, a stale packet's last pass, an acknowledgement of all sent.
        {"inputs next wanted", [](B) {}, NetKind::Inputs, nullptr, {950, 400, 0}},
        {"inputs edges", [](B) {}, NetKind::Inputs, nullptr, {952 + kNetPassWindow, 400, 400 + kNetPassWindow}},
    };
    for (const Hostile& h : cases) {
        SCOPED_TRACE(h.what);
        std::vector<uint8_t> bytes = Bytes(Good(h.kind));
        ASSERT_FALSE(bytes.empty());
        NetPacket got;
        const char* why = nullptr;
        ASSERT_TRUE(ParseNetPacket(bytes.data(), bytes.size(), kOpen, &got, &why)) << why;
        h.change(bytes);
        why = nullptr;
        EXPECT_EQ(ParseNetPacket(bytes.data(), bytes.size(), h.window, &got, &why), h.reason == nullptr) << why;
        EXPECT_STREQ(why, h.reason);
    }
}

}  // namespace
