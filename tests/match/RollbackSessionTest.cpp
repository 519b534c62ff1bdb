#include "match/RollbackSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <tuple>
#include <vector>

#include "io/OnlineTape.h"
#include "match/SessionTape.h"
#include "support/GameHarness.h"
#include "support/MemoryNetLink.h"
#include "world/Random.h"

namespace {

TEST(RollbackKeys, TravelAsTheNetworksInputRecordsAndBack) {
    for (int bits = 0; bits <= kPassKeysMask; ++bits) {
        const NetInput in = ToNetInput(static_cast<uint8_t>(bits));
        EXPECT_EQ(in.keys & ~kNetKeyBits, 0) << bits;
        EXPECT_EQ(FromNetInput(in), bits);
    }
    // Bits the record does not carry are dropped, whatever the sender put there.
    NetInput odd;
    odd.keys = 0xFF;
    odd.extra[0] = 0xFE;
    EXPECT_EQ(FromNetInput(odd), kNetKeyBits);
}

// The keys a pass sends are the player's actions as play reads them, and
// the pass runs with exactly those: each worm its own player's, SPACE from
// either, and nothing of the usual keys' other meanings (Y).
TEST(RollbackKeys, AreThePlayersActionsAndPlayRunsWithThem) {
    uint8_t keys[256] = {};
    for (int p = 0; p < 2; ++p) {
        for (int k = 0; k < kPlayKeyCount; ++k) {
            keys[kDefaultPlayKeys.code[p][k]] = 0x80;
            EXPECT_EQ(PassKeysOf(keys, kDefaultPlayKeys, p), 1 << k) << p << " " << k;
            EXPECT_EQ(PassKeysOf(keys, kDefaultPlayKeys, 1 - p), 0) << p << " " << k;
            keys[kDefaultPlayKeys.code[p][k]] = 0;
        }
    }
    keys[DIK_SPACE] = 0x80;
    EXPECT_EQ(PassKeysOf(keys, kDefaultPlayKeys, 1), kPassSpace);
    for (int a = 0; a <= kPassKeysMask; a += 3) {
        for (int b = 0; b <= kPassKeysMask; b += 5) {
            const uint8_t bits[2] = {static_cast<uint8_t>(a), static_cast<uint8_t>(b)};
            const PlayInput input = PassInputOf(bits);
            EXPECT_EQ(
                (std::tuple{int(input.actions[0].bits), int(input.actions[1].bits), input.space, input.yes}),
                (std::tuple{a & PlayActions::kAllBits, b & PlayActions::kAllBits, ((a | b) & kPassSpace) != 0, false}))
                << a << " " << b;
        }
    }
}

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
        int late = 0;  // passes the second machine starts after the first
    };
    // Plays `passes` passes on both machines over the link.
    void Play(int level, const Link& link, int passes) {
        Match* matches[2] = {&h.game->match, other_.get()};
        const uint32_t seeds[2] = {Load(*matches[0], level), Load(*matches[1], level)};
        ASSERT_EQ(seeds[0], seeds[1]);
        delay_ = link.delay;
        late_ = link.late;
        Connect(link);
        for (int i = 0; i < 2; ++i) sessions_[i]->Begin(matches[i], seeds[i], i, link.delay, &peers_[i]);
        Run(passes * 4, [&](int loop) {
            (void)loop;
            return sessions_[0]->Pass() >= passes && sessions_[1]->Pass() >= passes;
        });
    }
    void Connect(const Link& link) {
        wires_[0] = std::make_unique<MemoryWire>(link.latency, link.jitter, link.loss, 11);
        wires_[1] = std::make_unique<MemoryWire>(link.latency, link.jitter, link.loss, 29);
        links_[0] = std::make_unique<MemoryNetLink>(wires_[0].get(), wires_[1].get());
        links_[1] = std::make_unique<MemoryNetLink>(wires_[1].get(), wires_[0].get());
        NetHello hello;
        std::snprintf(hello.name, sizeof hello.name, "HOST");
        ASSERT_TRUE(GreetPeers(&peers_[0], links_[0].get(), &peers_[1], links_[1].get(), wires_[0].get(),
                               wires_[1].get(), hello, static_cast<uint8_t>(link.delay)));
    }
    // Runs both machines a loop pass at a time until `done` says so, a
    // session is out of step, or `loops` passes.
    template <typename Done>
    void Run(int64_t loops, Done done) {
        for (int64_t loop = 0; loop < loops; ++loop) {
            for (int i = 0; i < 2; ++i) {
                peers_[i].Update(static_cast<uint32_t>(loop * 10));
                RollbackSession& s = *sessions_[i];
                if (i == 0 || loop >= late_) s.Advance(Pattern(i, s.Pass() + delay_));
            }
            wires_[0]->Tick();
            wires_[1]->Tick();
            if (done(static_cast<int>(loop)) || sessions_[0]->OutOfStep() || sessions_[1]->OutOfStep()) break;
        }
    }

    GameHarness h;
    std::unique_ptr<Match> other_;
    std::unique_ptr<RollbackSession> sessions_[2];
    std::unique_ptr<MemoryWire> wires_[2];
    std::unique_ptr<MemoryNetLink> links_[2];
    NetPeer peers_[2];
    int delay_ = 0;
    int late_ = 0;
};

TEST_F(RollbackSessionTest, TwoMachinesOverLateLossyReorderingLinksStayInStep) {
    struct Case {
        int level;
        Link link;
    } cases[] = {
        {0, {2, 0, 0, 0}},      // 20 ms, nothing lost: few rollbacks
        {5, {5, 3, 5, 2}},      // the timer level (play reads the clock), 50-80 ms, 5 % lost, delay 2
        {12, {10, 5, 5, 0}},    // 100-150 ms, 5 % lost: beyond the deepest rollback, the session waits
        {17, {15, 0, 0, 4}},    // 150 ms steady, the longest delay: no wait
        {8, {5, 2, 5, 2, 30}},  // the second machine starts 300 ms late: the first lets it catch up
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "level " << c.level + 1 << ", latency " << c.link.latency);
        const int passes = 2000;
        Play(c.level, c.link, passes);
        int64_t rollbacks = 0;
        for (const auto& s : sessions_) {
            EXPECT_FALSE(s->OutOfStep()) << peers_[0].Message() << peers_[1].Message();
            EXPECT_GE(s->Pass(), passes);
            EXPECT_GE(s->HashesSent(), passes / RollbackSession::kHashEvery - 3);
            rollbacks += s->Rollbacks();
            // For the record: what the deepest rollback costs.
            const int32_t deepest = s->DeepestRollback();
            std::printf(
                "[ rollback ] level %d latency %d+%d loss %d%% delay %d: %lld rollbacks, depth median %d "
                "p99 %d, deepest %d takes %.1f us, waits %lld, evened %lld\n",
                c.level + 1, c.link.latency, c.link.jitter, c.link.loss, c.link.delay,
                static_cast<long long>(s->Rollbacks()), s->RollbackDepthAt(500), s->RollbackDepthAt(990), deepest,
                s->MeanRollbackNanos(deepest) / 1000.0, static_cast<long long>(s->Waits()),
                static_cast<long long>(s->Evened()));
        }
        EXPECT_GT(rollbacks, 0) << "no prediction was ever wrong";
        // However they started, the two machines end the run even.
        EXPECT_LE(std::abs(sessions_[0]->Pass() - sessions_[1]->Pass()), RollbackSession::kEvenLead + 1);
        // ... and stood still only to even out a late start, not for jitter.
        if (c.link.late > 0) {
            EXPECT_GT(sessions_[0]->Evened(), 0);
        } else {
            EXPECT_LE(sessions_[0]->Evened() + sessions_[1]->Evened(), passes / 100);
        }
        // Keys that come later than the delay and the deepest rollback cover
        // make the session wait.
        const int64_t waits = sessions_[0]->Waits() + sessions_[1]->Waits();
        if (c.link.latency + c.link.jitter + c.link.late > RollbackSession::kMaxRollback + c.link.delay) {
            EXPECT_GT(waits, 0);
        } else {
            EXPECT_EQ(waits, 0);
        }
    }
}

// Every level, with rollbacks from one pass to the deepest the session
// allows: each pass run again from a state put back as many passes later
// ends as it did the first time, whatever the passes between changed (a
// crash scatters the body's records, a level's start reads the tail end's).
TEST_F(RollbackSessionTest, EveryLevelStaysInStepWithRollbacksUpToTheDeepest) {
    for (int level = 0; level < Match::kLevels; ++level) {
        for (const Link& link : {Link{9, 0, 0, 0}, Link{RollbackSession::kMaxRollback, 2, 5, 0}}) {
            SCOPED_TRACE(testing::Message() << "level " << level + 1 << ", latency " << link.latency);
            const int passes = 450;
            Play(level, link, passes);
            for (const auto& s : sessions_) {
                EXPECT_FALSE(s->OutOfStep()) << peers_[0].Message() << peers_[1].Message();
                EXPECT_GE(s->Pass(), passes);
            }
            EXPECT_GE(sessions_[0]->DeepestRollback(), link.latency - 1);
        }
    }
}

// A state that differs on one machine is found at the next comparison.
// (The second machine hears the first at once, so it never rolls back over
// the change.)
TEST_F(RollbackSessionTest, AMachineOutOfStepIsFoundByTheStateHashes) {
    Match* matches[2] = {&h.game->match, other_.get()};
    const uint32_t seeds[2] = {Load(*matches[0], 3), Load(*matches[1], 3)};
    Connect(Link{2, 0, 0, 0});
    for (int i = 0; i < 2; ++i) sessions_[i]->Begin(matches[i], seeds[i], i, 0, &peers_[i]);
    Run(1000, [&](int loop) {
        if (loop == 250) other_->worms[0].lengthTotal += 1;
        return false;
    });
    ASSERT_TRUE(sessions_[0]->OutOfStep() && sessions_[1]->OutOfStep());
    // The first hash after the change finds it, and the side that found it
    // says goodbye so that the other stops too.
    const NetPeer& found = peers_[0].GetState() == NetPeer::State::OutOfStep ? peers_[0] : peers_[1];
    EXPECT_STREQ(found.Message(), "the two games went out of step at pass 300");
    // Both keep the states of the last hashes: alike at pass 200, and at
    // pass 300 set side by side they show what differs.
    const auto kept = [&](int i, int32_t passes) {
        static char text[96 * 1024];
        text[0] = '\0';
        for (int slot = 0; slot < RollbackSession::kKeptStates; ++slot) {
            if (sessions_[i]->KeptPasses(slot) != passes) continue;
            sessions_[i]->KeptState(slot).Restore(*matches[i]);
            DescribeMatchState(*matches[i], text, sizeof text);
        }
        return std::string(text);
    };
    const std::string at200[2] = {kept(0, 200), kept(1, 200)};
    ASSERT_FALSE(at200[0].empty());
    EXPECT_EQ(at200[0], at200[1]);
    const std::string texts[2] = {kept(0, 300), kept(1, 300)};
    ASSERT_FALSE(texts[0].empty() || texts[1].empty());
    const size_t at = std::mismatch(texts[0].begin(), texts[0].end(), texts[1].begin()).first - texts[0].begin();
    ASSERT_LT(at, texts[0].size());
    EXPECT_EQ(texts[0].rfind("worm 1: ", at), texts[0].rfind('\n', at) + 1) << texts[0].substr(at - 20, 40);
}

// The game's end holds both machines at the same pass until every pass up
// to it is sure (a level's end holds the same way).
TEST_F(RollbackSessionTest, TheGamesEndWaitsForEveryPassUpToIt) {
    Match* matches[2] = {&h.game->match, other_.get()};
    uint32_t seeds[2];
    for (int i = 0; i < 2; ++i) {
        seeds[i] = Load(*matches[i], 0);
        // A life each: the game ends at the second crash.
        for (Worm& w : matches[i]->worms) w.stats.lives = 1;
    }
    Connect(Link{6, 4, 10, 1});
    for (int i = 0; i < 2; ++i) sessions_[i]->Begin(matches[i], seeds[i], i, 1, &peers_[i]);
    RollbackSession::Step steps[2] = {};
    int32_t overAt[2] = {-1, -1};
    for (int loop = 0; loop < 6000 && (overAt[0] < 0 || overAt[1] < 0); ++loop) {
        for (int i = 0; i < 2; ++i) {
            peers_[i].Update(static_cast<uint32_t>(loop * 10));
            steps[i] = sessions_[i]->Advance(overAt[i] < 0 ? Pattern(i, sessions_[i]->Pass()) : 0);
            if (steps[i] == RollbackSession::Step::LevelOver && overAt[i] < 0) overAt[i] = sessions_[i]->Pass();
            // Held: the match stands where the level ended.
            if (matches[i]->levelEnd == 1) {
                EXPECT_TRUE(matches[i]->playerOut[0] && matches[i]->playerOut[1]);
            }
        }
        wires_[0]->Tick();
        wires_[1]->Tick();
    }
    ASSERT_GE(overAt[0], 0) << "the level never ended";
    EXPECT_EQ(overAt[0], overAt[1]);
    EXPECT_EQ(MatchStateHash(*matches[0]), MatchStateHash(*matches[1]));
    EXPECT_FALSE(matches[0]->resultsSaved || matches[1]->resultsSaved) << "the table came before the end was sure";
}

// Play keeps its speed at long round trips: the host raises the input
// delay with the round trip and both machines change on the pass it names.
TEST_F(RollbackSessionTest, TheDelayFollowsTheRoundTripAndPlayKeepsItsSpeed) {
    struct Case {
        Link link;
        int32_t delay;  // the delay both machines end with
    } cases[] = {
        {{20, 0, 0, 2}, RollbackSession::kMaxDelay},  // 400 ms round trip
        {{15, 2, 5, 2}, 4},                           // 300-340 ms, 5 % lost
        {{5, 2, 0, 2}, 2},                            // 100-140 ms: the chosen delay stands
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "latency " << c.link.latency);
        const int loops = 3000;
        Match* matches[2] = {&h.game->match, other_.get()};
        const uint32_t seeds[2] = {Load(*matches[0], 3), Load(*matches[1], 3)};
        delay_ = c.link.delay;
        Connect(c.link);
        for (int i = 0; i < 2; ++i) sessions_[i]->Begin(matches[i], seeds[i], i, c.link.delay, &peers_[i]);
        int32_t changedAt[2] = {-1, -1};
        for (int loop = 0; loop < loops; ++loop) {
            for (int i = 0; i < 2; ++i) {
                peers_[i].Update(static_cast<uint32_t>(loop * 10));
                RollbackSession& s = *sessions_[i];
                const int32_t before = s.Delay();
                s.Advance(Pattern(i, s.Pass() + s.Delay()));
                if (s.Delay() != before && changedAt[i] < 0) changedAt[i] = s.Pass();
            }
            wires_[0]->Tick();
            wires_[1]->Tick();
        }
        for (int i = 0; i < 2; ++i) {
            const RollbackSession& s = *sessions_[i];
            EXPECT_FALSE(s.OutOfStep());
            EXPECT_EQ(s.Delay(), c.delay);
            // Passes lost to waiting: under 3 % once the delay is up.
            EXPECT_GE(s.Pass(), loops * 97 / 100) << "waits " << s.Waits();
            EXPECT_LT(s.DeepestRollback(), RollbackSession::kMaxRollback);
        }
        EXPECT_EQ(changedAt[0], changedAt[1]) << "the two machines changed the delay on different passes";
    }
}

// A side that refuses what the other sent (a points record its own
// simulation says no screen could make) says so in its goodbye: the other
// side is told, and both end on the pass the goodbye names.
TEST_F(RollbackSessionTest, ARefusedPeerIsToldAndBothEndOnThePassTheGoodbyeNames) {
    Match* matches[2] = {&h.game->match, other_.get()};
    const uint32_t seeds[2] = {Load(*matches[0], 3), Load(*matches[1], 3)};
    delay_ = 2;
    Connect(Link{6, 3, 5, 2});
    for (int i = 0; i < 2; ++i) sessions_[i]->Begin(matches[i], seeds[i], i, 2, &peers_[i]);
    for (int loop = 0; loop < 400; ++loop) {
        if (loop == 333) peers_[1].RefusePeer("the other player's upgrades break the rules");
        for (int i = 0; i < 2; ++i) {
            peers_[i].Update(static_cast<uint32_t>(loop * 10));
            if (peers_[i].InPlay()) sessions_[i]->Advance(Pattern(i, sessions_[i]->Pass() + 2));
        }
        wires_[0]->Tick();
        wires_[1]->Tick();
    }
    EXPECT_EQ(peers_[1].GetState(), NetPeer::State::Broken);
    EXPECT_STREQ(peers_[1].Message(), "the other player's upgrades break the rules");
    EXPECT_EQ(peers_[0].GetState(), NetPeer::State::Broken);
    EXPECT_STREQ(peers_[0].Message(), "the other game refused what this game sent");
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(peers_[i].EndNamed());
        sessions_[i]->EndAt(static_cast<int32_t>(peers_[i].SurePasses()), peers_[i].EndNamed());
    }
    EXPECT_EQ(sessions_[0]->Pass(), sessions_[1]->Pass());
    EXPECT_GT(sessions_[0]->Pass(), 280);
    EXPECT_EQ(MatchStateHash(*matches[0]), MatchStateHash(*matches[1]));
}

// However the link ends, both machines end on the same pass with the same
// state and the same recording: a goodbye names the pass, and without one
// each ends on what the other had acknowledged.
TEST_F(RollbackSessionTest, BothMachinesEndOnTheSamePassWhenTheLinkGoes) {
    struct Case {
        Link link;
        int cutAt;    // the loop the link goes at
        int leaving;  // -1: cut, both ways at once; else the machine that says goodbye
    } cases[] = {
        {{5, 0, 0, 2}, 457, -1},   {{5, 0, 0, 2}, 1203, -1}, {{10, 0, 0, 1}, 800, -1},
        {{20, 0, 0, 4}, 999, -1},  {{5, 3, 5, 2}, 650, -1},  {{5, 3, 5, 2}, 1501, -1},
        {{8, 4, 10, 2}, 1111, -1}, {{5, 3, 5, 2}, 700, 0},   {{12, 4, 5, 2}, 1300, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "latency " << c.link.latency << "+" << c.link.jitter << ", loop " << c.cutAt
                                        << ", leaving " << c.leaving);
        Match* matches[2] = {&h.game->match, other_.get()};
        const uint32_t seeds[2] = {Load(*matches[0], 3), Load(*matches[1], 3)};
        delay_ = c.link.delay;
        Connect(c.link);
        static uint8_t buffers[2][64 * 1024];
        OnlineTape tapes[2];
        int32_t taped[2] = {};
        for (int i = 0; i < 2; ++i) {
            sessions_[i]->Begin(matches[i], seeds[i], i, c.link.delay, &peers_[i]);
            tapes[i].Record(buffers[i], sizeof buffers[i]);
        }
        for (int loop = 0; loop < c.cutAt + 20; ++loop) {
            if (loop == c.cutAt) {
                if (c.leaving >= 0) {
                    peers_[c.leaving].Leave();
                } else {
                    links_[0]->Cut();
                    links_[1]->Cut();
                }
            }
            for (int i = 0; i < 2; ++i) {
                peers_[i].Update(static_cast<uint32_t>(loop * 10));
                RollbackSession& s = *sessions_[i];
                if (!peers_[i].InPlay()) continue;
                s.Advance(Pattern(i, s.Pass() + s.Delay()));
                TapeConfirmedPasses(s, s.TapeLimit(peers_[i].SurePasses()), &tapes[i], &taped[i]);
            }
            wires_[0]->Tick();
            wires_[1]->Tick();
        }
        int32_t ends[2];
        uint64_t hashes[2];
        for (int i = 0; i < 2; ++i) {
            ASSERT_FALSE(peers_[i].InPlay());
            sessions_[i]->EndAt(static_cast<int32_t>(peers_[i].SurePasses()), peers_[i].EndNamed());
            TapeConfirmedPasses(*sessions_[i], sessions_[i]->Confirmed(), &tapes[i], &taped[i]);
            ends[i] = sessions_[i]->Pass();
            hashes[i] = MatchStateHash(*matches[i]);
        }
        EXPECT_EQ(ends[0], ends[1]);
        // A goodbye names the pass; without one, the last hundred below.
        EXPECT_GT(ends[0], c.cutAt - (c.leaving >= 0 ? 60 : 60 + RollbackSession::kHashEvery))
            << peers_[0].Message() << " / " << peers_[1].Message();
        EXPECT_EQ(hashes[0], hashes[1]);
        EXPECT_EQ(std::vector<uint8_t>(buffers[0], buffers[0] + tapes[0].Size()),
                  std::vector<uint8_t>(buffers[1], buffers[1] + tapes[1].Size()));
    }
}

}  // namespace
