// The inputs of both sides as they travel: every pass arrives in order
// through loss, reordering and duplicates (each pass sent again until
// acknowledged), and the rings' limits hold.

#include "net/NetInputs.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

NetInput InputOf(uint32_t pass, int side) {
    NetInput in;
    in.keys = static_cast<uint8_t>((pass * 5 + static_cast<uint32_t>(side)) & kNetKeyBits);
    in.extra[1] = static_cast<uint8_t>((pass >> 3) % 101);  // a lead the reader takes
    return in;
}

// Datagrams in flight (the packets of one send, together), through the
// bytes and the reader, with a seeded fate: lost, held back behind a few
// later ones, or sent twice.
struct Wire {
    uint64_t random;
    std::vector<std::vector<std::vector<uint8_t>>> flying;

    uint32_t Draw() {
        random = random * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(random >> 33);
    }
    void Send(const NetInputQueue& from, uint32_t lossPercent) {
        std::vector<std::vector<uint8_t>> datagram;
        NetPacket p;
        for (uint32_t i = 0; from.NextPacket(&p, i); ++i) {
            uint8_t bytes[kNetMaxPacketBytes];
            const size_t n = WriteNetPacket(p, bytes, sizeof bytes);
            ASSERT_GT(n, 0u);
            datagram.emplace_back(bytes, bytes + n);
        }
        if (datagram.empty() || Draw() % 100 < lossPercent) return;
        const int copies = Draw() % 100 < 5 ? 2 : 1;
        for (int c = 0; c < copies; ++c) flying.push_back(datagram);
    }
    // Delivers one datagram, chosen among the oldest few.
    void Deliver(NetInputQueue& to) {
        if (flying.empty()) return;
        const size_t pick = Draw() % (flying.size() < 4 ? flying.size() : 4);
        const std::vector<std::vector<uint8_t>> datagram = flying[pick];
        flying.erase(flying.begin() + static_cast<std::ptrdiff_t>(pick));
        for (const std::vector<uint8_t>& bytes : datagram) {
            NetPacket p;
            const char* why = nullptr;
            ASSERT_TRUE(ParseNetPacket(bytes.data(), bytes.size(), to.Window(), &p, &why)) << why;
            to.Take(p.inputs);
        }
    }
};

TEST(NetInputQueue, EveryPassArrivesInOrderThroughLossReorderingAndDuplicates) {
    for (const uint32_t loss : {0u, 10u, 40u}) {
        SCOPED_TRACE(loss);
        NetInputQueue a, b;
        Wire ab{loss + 1, {}}, ba{loss + 2, {}};
        const uint32_t passes = 3000;
        uint32_t readA = 0, readB = 0;
        for (uint32_t step = 0; readA < passes || readB < passes; ++step) {
            ASSERT_LT(step, passes * 4) << "stalled at " << readA << " and " << readB;
            // Each side adds a pass unless the peer has left it too far behind.
            if (a.LocalPasses() < passes) a.AddLocal(InputOf(a.LocalPasses(), 0));
            if (b.LocalPasses() < passes) b.AddLocal(InputOf(b.LocalPasses(), 1));
            ab.Send(a, loss);
            ba.Send(b, loss);
            // Up to two a step, so the wire drains (duplicates add to it).
            for (int i = 0; i < 2; ++i) {
                ab.Deliver(b);
                ba.Deliver(a);
            }
            NetInput got;
            while (b.PeerInput(readB, &got)) {
                ASSERT_EQ(got.keys, InputOf(readB, 0).keys);
                ASSERT_EQ(got.extra[1], InputOf(readB, 0).extra[1]);
                ++readB;
            }
            while (a.PeerInput(readA, &got)) {
                ASSERT_EQ(got.keys, InputOf(readA, 1).keys);
                ++readA;
            }
        }
        EXPECT_EQ(a.PeerPasses(), passes);
        EXPECT_EQ(b.PeerPasses(), passes);
    }
}

TEST(NetInputQueue, RingsHoldTheirLimits) {
    NetInputQueue q;
    NetPacket p;
    // Nothing to send: an acknowledgement alone, still.
    ASSERT_TRUE(q.NextPacket(&p));
    EXPECT_EQ(p.inputs.count, 0);
    EXPECT_FALSE(q.NextPacket(&p, 1));
    for (uint32_t i = 0; i < NetInputQueue::kCapacity; ++i) ASSERT_TRUE(q.AddLocal(InputOf(i, 0)));
    // Unacknowledged passes fill the ring: the match must wait.
    EXPECT_FALSE(q.AddLocal(InputOf(0, 0)));
    ASSERT_TRUE(q.NextPacket(&p));
    EXPECT_EQ(p.inputs.firstPass, 0u);
    EXPECT_EQ(p.inputs.count, kNetMaxInputsPerPacket);
    // The later packets of a send cover the rest, up to the ring's end.
    const uint32_t packets = NetInputQueue::kCapacity / kNetMaxInputsPerPacket;
    ASSERT_TRUE(q.NextPacket(&p, packets - 1));
    EXPECT_EQ(p.inputs.firstPass, NetInputQueue::kCapacity - kNetMaxInputsPerPacket);
    EXPECT_FALSE(q.NextPacket(&p, packets));
    // An acknowledgement frees room, and the next packet starts there.
    NetInputs ack;
    ack.firstPass = 0;
    ack.count = 1;
    ack.have = 20;
    q.Take(ack);
    EXPECT_EQ(q.PeerAck(), 20u);
    EXPECT_EQ(q.PeerPasses(), 1u);
    EXPECT_TRUE(q.AddLocal(InputOf(NetInputQueue::kCapacity, 0)));
    ASSERT_TRUE(q.NextPacket(&p));
    EXPECT_EQ(p.inputs.firstPass, 20u);
    EXPECT_EQ(p.inputs.have, 1u);
    // An older acknowledgement does not go back.
    ack.have = 5;
    q.Take(ack);
    EXPECT_EQ(q.PeerAck(), 20u);
    // The peer's passes: read while in the ring, not before they come nor
    // once they have fallen out.
    NetInputQueue r;
    NetInputs in;
    for (uint32_t first = 0; first < 300; first += 10) {
        in.firstPass = first;
        in.count = 10;
        for (uint8_t i = 0; i < 10; ++i) in.inputs[i] = InputOf(first + i, 1);
        r.Take(in);
    }
    NetInput got;
    EXPECT_FALSE(r.PeerInput(300, &got));
    EXPECT_TRUE(r.PeerInput(299, &got));
    EXPECT_TRUE(r.PeerInput(300 - NetInputQueue::kCapacity, &got));
    EXPECT_EQ(got.keys, InputOf(300 - NetInputQueue::kCapacity, 1).keys);
    EXPECT_FALSE(r.PeerInput(299 - NetInputQueue::kCapacity, &got));
}

}  // namespace
