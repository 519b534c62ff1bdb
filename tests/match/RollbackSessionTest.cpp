#include "match/RollbackSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "support/GameHarness.h"
#include "world/Random.h"

namespace {

TEST(RollbackPacket, ReadsWhatWasWrittenAndRefusesEveryOtherShape) {
    RollbackPacket p;
    p.firstPass = 1234;
    p.count = 3;
    p.inputs[0] = 1;
    p.inputs[1] = kPassSpace;
    p.inputs[2] = kPassKeysMask;
    p.ack = 1200;
    p.hashPass = 1199;
    p.hash = 0x0123456789abcdefull;
    uint8_t bytes[kRollbackPacketMax + 8] = {};
    const size_t size = WriteRollbackPacket(p, bytes);
    ASSERT_EQ(size, kRollbackPacketHeader + 3);
    RollbackPacket back;
    ASSERT_TRUE(ReadRollbackPacket(bytes, size, &back));
    EXPECT_EQ(back.firstPass, 1234u);
    EXPECT_EQ(back.count, 3);
    EXPECT_EQ(std::vector<uint8_t>(back.inputs, back.inputs + 3), std::vector<uint8_t>(p.inputs, p.inputs + 3));
    EXPECT_EQ(back.ack, 1200u);
    EXPECT_EQ(back.hashPass, 1199u);
    EXPECT_EQ(back.hash, p.hash);

    struct Damage {
        const char* what;
        size_t at;  // SIZE_MAX: only the size changes
        uint8_t value;
        size_t size;
    } damages[] = {
        {"empty", SIZE_MAX, 0, 0},
        {"shorter than its head", SIZE_MAX, 0, kRollbackPacketHeader - 1},
        {"a byte short of its keys", SIZE_MAX, 0, size - 1},
        {"a byte beyond its keys", SIZE_MAX, 0, size + 1},
        {"another magic", 0, 'X', size},
        {"more keys than a packet holds", 6, RollbackPacket::kMaxInputs + 1, size},
        {"a key bit no key has", kRollbackPacketHeader, 0x80, size},
        {"a pass beyond any game", 5, 0xFF, size},
        {"an acknowledgement beyond any game", 10, 0xFF, size},
    };
    for (const Damage& d : damages) {
        uint8_t copy[sizeof bytes];
        std::memcpy(copy, bytes, sizeof copy);
        if (d.at != SIZE_MAX) copy[d.at] = d.value;
        EXPECT_FALSE(ReadRollbackPacket(copy, d.size, &back)) << d.what;
    }
}

// One direction of a datagram link: each packet is lost, or arrives after
// the latency and a random part of the jitter (so later packets overtake
// earlier ones), counted in passes of the test's loop.
class Wire {
public:
    Wire(int latency, int jitter, int lossPercent, uint32_t seed)
        : latency_(latency), jitter_(jitter), loss_(lossPercent), seed_(seed) {}
    void Send(const uint8_t* bytes, size_t size) {
        if (static_cast<int>(Next() % 100) < loss_) return;
        const int64_t at = now_ + latency_ + (jitter_ > 0 ? static_cast<int>(Next() % (jitter_ + 1)) : 0);
        packets_.push_back(Packet{at, std::vector<uint8_t>(bytes, bytes + size)});
    }
    size_t Receive(uint8_t* bytes, size_t capacity) {
        auto due = std::min_element(packets_.begin(), packets_.end(),
                                    [](const Packet& a, const Packet& b) { return a.at < b.at; });
        if (due == packets_.end() || due->at > now_ || due->bytes.size() > capacity) return 0;
        const size_t size = due->bytes.size();
        std::memcpy(bytes, due->bytes.data(), size);
        packets_.erase(due);
        return size;
    }
    void Tick() { ++now_; }

private:
    struct Packet {
        int64_t at;
        std::vector<uint8_t> bytes;
    };
    uint32_t Next() {
        seed_ = seed_ * 1103515245u + 12345u;
        return seed_ >> 8;
    }
    int latency_, jitter_, loss_;
    uint32_t seed_;
    int64_t now_ = 0;
    std::deque<Packet> packets_;
};

class WireEnd : public RollbackLink {
public:
    WireEnd(Wire* out, Wire* in) : out_(out), in_(in) {}
    void Send(const uint8_t* bytes, size_t size) override { out_->Send(bytes, size); }
    size_t Receive(uint8_t* bytes, size_t capacity) override { return in_->Receive(bytes, capacity); }

private:
    Wire* out_;
    Wire* in_;
};

// A player's keys for a pass: turns, now and then a warp or a boost, and
// SPACE that starts the level and a worm that lost a life.
uint8_t Pattern(int player, int32_t pass) {
    const int32_t phase = (pass + 23 * player) % 37;
    uint8_t bits = 0;
    if (phase < 3) bits |= static_cast<uint8_t>(1u << ((pass / 37 + player) % 2 == 0 ? kKeyLeft : kKeyRight));
    if (phase == 10 && pass % 7 == player) bits |= 1u << kKeyWarp;
    if (phase == 20 && pass % 3 == 0) bits |= 1u << kKeyBoost;
    if (pass % 60 < 2) bits |= kPassSpace;
    return bits;
}

// Two machines in one process: the game's own match and a second one made
// the same way, each with its session, joined by two wires.
class RollbackSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(h.Start());
        Game& g = *h.game;
        other_ = std::make_unique<Match>();
        other_->Init(&g.bigFont, &g.smallFont, &g.mediumFont, &g.imageBank, &g.sounds, &g.shipBaseStats[0],
                     &g.shipBaseStats[1], &g.setupScreen, &g.highScoreScreen, &g.cursor);
        sessions_[0] = std::make_unique<RollbackSession>();
        sessions_[1] = std::make_unique<RollbackSession>();
    }
    void TearDown() override {
        if (other_) other_->Shutdown();
    }
    // Both machines load the level alike and stay in it: lives to spare
    // and a target out of reach.
    uint32_t Load(Match& m, int level) {
        SeedRandom(77);
        m.players = 2;
        h.BeginMatchOn(m, 2, 0);
        m.levelIndex = level;
        EXPECT_TRUE(m.LoadLevel());
        m.arena.header.target = 900;
        for (Worm& w : m.worms) w.stats.lives = 99;
        return RandomState();
    }

    struct Link {
        int latency, jitter, loss, delay;
    };
    // Plays `passes` passes on both machines over the link.
    void Play(int level, const Link& link, int passes) {
        Match* matches[2] = {&h.game->match, other_.get()};
        const uint32_t seeds[2] = {Load(*matches[0], level), Load(*matches[1], level)};
        ASSERT_EQ(seeds[0], seeds[1]);
        Wire ab(link.latency, link.jitter, link.loss, 11), ba(link.latency, link.jitter, link.loss, 29);
        WireEnd ends[2] = {WireEnd(&ab, &ba), WireEnd(&ba, &ab)};
        for (int i = 0; i < 2; ++i) sessions_[i]->Begin(matches[i], seeds[i], i, link.delay, &ends[i]);
        for (int64_t loop = 0; loop < passes * 4; ++loop) {
            bool done = true;
            for (int i = 0; i < 2; ++i) {
                RollbackSession& s = *sessions_[i];
                if (s.Pass() < passes) done = false;
                s.Advance(Pattern(i, s.Pass() + link.delay));
            }
            ab.Tick();
            ba.Tick();
            if (done || sessions_[0]->OutOfStep() || sessions_[1]->OutOfStep()) break;
        }
    }

    GameHarness h;
    std::unique_ptr<Match> other_;
    std::unique_ptr<RollbackSession> sessions_[2];
};

TEST_F(RollbackSessionTest, TwoMachinesOverLateLossyReorderingLinksStayInStep) {
    struct Case {
        int level;
        Link link;
    } cases[] = {
        {0, {2, 0, 0, 0}},    // 20 ms, nothing lost: few rollbacks
        {5, {5, 3, 5, 2}},    // the timer level (play reads the clock), 50-80 ms, 5 % lost, delay 2
        {12, {10, 5, 5, 0}},  // 100-150 ms, 5 % lost: beyond the deepest rollback, the session waits
        {17, {15, 0, 0, 4}},  // 150 ms steady, the longest delay: no wait
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "level " << c.level + 1 << ", latency " << c.link.latency);
        const int passes = 2000;
        Play(c.level, c.link, passes);
        std::vector<int64_t> depths;
        int64_t longest = 0;
        for (const auto& s : sessions_) {
            EXPECT_FALSE(s->OutOfStep()) << "out of step after pass " << s->OutOfStepPass();
            EXPECT_GE(s->Pass(), passes);
            EXPECT_GE(s->HashesCompared(), passes / RollbackSession::kHashEvery - 3);
            for (int d = 1; d <= RollbackSession::kMaxRollback; ++d)
                depths.insert(depths.end(), static_cast<size_t>(s->RollbackDepths()[d]), d);
            longest = std::max(longest, s->LongestRollbackNanos());
        }
        EXPECT_FALSE(depths.empty()) << "no prediction was ever wrong";
        // Keys that come later than the delay and the deepest rollback cover
        // make the session wait.
        const int64_t waits = sessions_[0]->Waits() + sessions_[1]->Waits();
        if (c.link.latency + c.link.jitter > RollbackSession::kMaxRollback + c.link.delay) {
            EXPECT_GT(waits, 0);
        } else {
            EXPECT_EQ(waits, 0);
        }
        std::sort(depths.begin(), depths.end());
        const auto at = [&](double q) {
            return depths.empty() ? 0 : depths[static_cast<size_t>(q * (depths.size() - 1))];
        };
        // What a rollback costs, for the record: the mean of the deepest
        // depth seen, and the longest (which a busy machine stretches).
        const int32_t deepest = depths.empty() ? 0 : static_cast<int32_t>(depths.back());
        std::printf(
            "[ rollback ] level %d latency %d+%d loss %d%% delay %d: %zu rollbacks, depth median %lld "
            "p99 %lld, waits %lld; depth %d takes %.1f us on average, the longest rollback %.1f us\n",
            c.level + 1, c.link.latency, c.link.jitter, c.link.loss, c.link.delay, depths.size(),
            static_cast<long long>(at(0.5)), static_cast<long long>(at(0.99)), static_cast<long long>(waits), deepest,
            std::max(sessions_[0]->MeanRollbackNanos(deepest), sessions_[1]->MeanRollbackNanos(deepest)) / 1000.0,
            longest / 1000.0);
    }
}

// A state that differs on one machine is found at the next comparison.
// (The second machine hears the first at once, so it never rolls back over
// the change.)
TEST_F(RollbackSessionTest, AMachineOutOfStepIsFoundByTheStateHashes) {
    Match* matches[2] = {&h.game->match, other_.get()};
    const uint32_t seeds[2] = {Load(*matches[0], 3), Load(*matches[1], 3)};
    Wire ab(0, 0, 0, 1), ba(3, 0, 0, 2);
    WireEnd ends[2] = {WireEnd(&ab, &ba), WireEnd(&ba, &ab)};
    for (int i = 0; i < 2; ++i) sessions_[i]->Begin(matches[i], seeds[i], i, 0, &ends[i]);
    for (int loop = 0; loop < 1000 && !sessions_[0]->OutOfStep() && !sessions_[1]->OutOfStep(); ++loop) {
        if (loop == 250) other_->worms[0].lengthTotal += 1;
        for (int i = 0; i < 2; ++i) sessions_[i]->Advance(Pattern(i, sessions_[i]->Pass()));
        ab.Tick();
        ba.Tick();
    }
    ASSERT_TRUE(sessions_[0]->OutOfStep() || sessions_[1]->OutOfStep());
    const RollbackSession& caught = sessions_[0]->OutOfStep() ? *sessions_[0] : *sessions_[1];
    EXPECT_EQ(caught.OutOfStepPass(), 299);  // the first hash after the change
}

}  // namespace
