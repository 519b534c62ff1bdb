#include "match/PlaySnapshot.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "io/Input.h"
#include "match/PlaySyncTest.h"
#include "support/GameHarness.h"
#include "world/Random.h"

namespace {

// Two worms on the timer level (the clock is read every pass), steered by
// a fixed pattern of turns, warps and boosts that depends only on the pass.
class PlaySnapshotTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(h.Start());
        h.BeginMatch(2, 0);
        ASSERT_TRUE(h.PlayLevel(Match::kTimerLevel));
    }
    Match& match() { return h.game->match; }
    void Steer(int pass) {
        std::memset(KeyState, 0, sizeof KeyState);
        const PlayKeys& k = match().playKeys;
        for (int p = 0; p < 2; ++p) {
            const int phase = (pass + 17 * p) % 41;
            if (phase < 3) KeyState[k.code[p][pass % 82 < 41 ? kKeyLeft : kKeyRight]] = 0x80;
            if (phase == 20 && pass % 5 == 0) KeyState[k.code[p][kKeyWarp]] = 0x80;
            if (phase == 30) KeyState[k.code[p][kKeyBoost]] = 0x80;
        }
        KeyState[DIK_SPACE] = pass % 50 == 0 ? 0x80 : 0;  // a worm that lost a life starts again
    }
    // Passes of play from pass `first` on, as the frame loop runs them.
    template <class Pass>
    void Play(int first, int passes, Pass&& pass) {
        for (int i = first; i < first + passes; ++i) {
            Steer(i);
            pass();
            h.host.SetTicks(h.host.Ticks() + kPassMs);
        }
    }

    GameHarness h;
};

TEST_F(PlaySnapshotTest, PutBackPlaysTheSamePassesAgain) {
    Play(0, 200, [&] { match().Frame(); });
    const auto snapshot = std::make_unique<PlaySnapshot>();
    snapshot->Save(match());
    EXPECT_GT(snapshot->Size(), 0u);
    EXPECT_LT(snapshot->Size(), PlaySnapshot::kCapacity);
    const uint64_t saved = MatchStateHash(match());
    const uint32_t ticks = h.host.Ticks();

    std::vector<uint64_t> first, again;
    Play(200, 400, [&] {
        match().Frame();
        first.push_back(MatchStateHash(match()));
    });
    snapshot->Restore(match());
    h.host.SetTicks(ticks);
    EXPECT_EQ(MatchStateHash(match()), saved);
    Play(200, 400, [&] {
        match().Frame();
        again.push_back(MatchStateHash(match()));
    });
    EXPECT_EQ(first, again);
    EXPECT_NE(first.front(), first.back()) << "play stood still";
}

// The sync test runs every pass twice from the same state and compares.
// Here the put-back misses one thing (the second run starts with what the
// first run left in it): the first pass that moves it is caught, and the
// thing named. Without a miss, the same passes pass.
TEST_F(PlaySnapshotTest, TheSyncTestCatchesAndNamesWhatThePutBackMisses) {
    Play(0, 150, [&] { match().Frame(); });
    const auto start = std::make_unique<PlaySnapshot>();
    start->Save(match());
    const uint32_t ticks = h.host.Ticks();

    struct Region {
        void* at;
        size_t size;
    };
    uint32_t generator = 0;
    struct Case {
        const char* missed;  // nullptr: nothing
        Region region;
        const char* named;
    } cases[] = {
        {nullptr, {}, nullptr},
        {"the random generator", {&generator, sizeof generator}, "the random generator"},
        {"a worm's step", {&match().worms[1].stepProgress, sizeof(float)}, "worm 2: stepProgress"},
        {"a worm's head pictures",
         {&match().worms[0].headSprites, sizeof match().worms[0].headSprites},
         "worm 1: headSprites"},
        {"the food's sprites", {&match().food.foodSprites, sizeof match().food.foodSprites}, "match: food"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.missed ? c.missed : "nothing missed");
        start->Restore(match());
        h.host.SetTicks(ticks);
        const auto sync = std::make_unique<PlaySyncTest>();
        std::vector<uint8_t> afterFirst(c.region.size);
        Play(150, 100, [&] {
            if (sync->Failed()) return;
            sync->Frame(match(), [&](bool again, const PlayInput& input) {
                if (again && c.missed) {
                    std::memcpy(c.region.at, afterFirst.data(), c.region.size);
                    if (c.region.at == &generator) SeedRandom(generator);
                }
                const bool goOn = again ? match().Frame(input) : match().Frame();
                if (!again && c.missed) {
                    generator = RandomState();
                    std::memcpy(afterFirst.data(), c.region.at, c.region.size);
                }
                return goOn;
            });
        });
        if (c.missed == nullptr) {
            EXPECT_FALSE(sync->Failed()) << sync->Failure();
            EXPECT_EQ(sync->Checked(), 100);
            continue;
        }
        ASSERT_TRUE(sync->Failed());
        EXPECT_EQ(sync->FailedLevel(), Match::kTimerLevel + 1);
        EXPECT_NE(std::string(sync->Failure()).find(c.named), std::string::npos) << sync->Failure();
    }
}

// Every level, from its intro on, with every pass rolled back 1 to the
// deepest online play allows (each depth in turn) and run again: crashes
// early in a level scatter the body, and a rollback from there to before
// the worms' start comes out as the passes did the first time.
TEST_F(PlaySnapshotTest, EveryLevelRollsBackUpToTheDeepestInStep) {
    for (int level = 0; level < Match::kLevels; ++level) {
        SCOPED_TRACE(testing::Message() << "level " << level + 1);
        SeedRandom(77);
        h.BeginMatch(2, 0);
        match().levelIndex = level;
        ASSERT_TRUE(match().LoadLevel());
        match().arena.header.target = 900;  // the level runs on
        for (Worm& w : match().worms) w.stats.lives = 99;
        const auto sync = std::make_unique<PlaySyncTest>(1);
        Play(0, 300, [&] { sync->Frame(match()); });
        EXPECT_FALSE(sync->Failed()) << sync->Failure();
        EXPECT_EQ(sync->Checked(), 300);
        EXPECT_EQ(sync->Rollbacks(), 300);
        EXPECT_EQ(sync->DeepestRollback(), PlaySyncTest::kMaxRollback);
    }
}

// The text of a state holds what its hash takes: one changed value changes
// exactly its own line, named by its part of the match.
TEST_F(PlaySnapshotTest, AStatesTextShowsWhereTwoStatesDiffer) {
    Play(0, 300, [] {});
    static char before[96 * 1024], after[96 * 1024];
    EXPECT_EQ(DescribeMatchState(match(), before, sizeof before), MatchStateHash(match()));
    match().worms[1].lengthTotal += 1;
    EXPECT_EQ(DescribeMatchState(match(), after, sizeof after), MatchStateHash(match()));
    std::vector<std::string> differ;
    const char *a = before, *b = after;
    while (*a != 0 && *b != 0) {
        const char* ea = std::strchr(a, '\n');
        const char* eb = std::strchr(b, '\n');
        ASSERT_TRUE(ea != nullptr && eb != nullptr);
        if (std::string(a, ea) != std::string(b, eb)) differ.push_back(std::string(b, eb));
        a = ea + 1;
        b = eb + 1;
    }
    EXPECT_EQ(*a, *b) << "the texts differ in length";
    ASSERT_EQ(differ.size(), 1u);
    EXPECT_EQ(differ[0].rfind("worm 2: ", 0), 0u) << differ[0];
    // A text cut short still ends its last line whole or not at all.
    char small[64];
    DescribeMatchState(match(), small, sizeof small);
    EXPECT_LT(std::strlen(small), sizeof small);
    EXPECT_EQ(std::string(small).rfind("match: 0x", 0), 0u) << small;
}

// The hash takes a waiting turn as the scan code of the key its player
// turns that way with, as replays saved before turns were kept as -1/+1
// hold it: the same turn hashes by whichever keys the player chose.
TEST_F(PlaySnapshotTest, AWaitingTurnHashesAsTheKeyThatAsksForIt) {
    Play(0, 300, [] {});
    // The first two values of a worm's lines: its turns for the next two steps.
    auto turns = [&] {
        static char text[96 * 1024];
        DescribeMatchState(match(), text, sizeof text);
        const char* line = std::strstr(text, "worm 1: ");
        std::vector<int> values;
        for (int i = 0; i < 2 && line != nullptr; ++i, line = std::strstr(line + 1, "worm 1: "))
            values.push_back(std::atoi(line + std::strlen("worm 1: ")));
        return values;
    };
    Worm& w = match().worms[0];
    w.pendingTurn = kTurnRight;
    w.queuedTurn = kTurnLeft;
    EXPECT_EQ(turns(), (std::vector<int>{DIK_RIGHT, DIK_LEFT}));
    const uint64_t usual = MatchStateHash(match());
    w.queuedTurn = kNoTurn;
    EXPECT_EQ(turns(), (std::vector<int>{DIK_RIGHT, 0}));
    PlayKeys chosen = kDefaultPlayKeys;
    chosen.code[0][kKeyLeft] = DIK_O;
    chosen.code[0][kKeyRight] = DIK_P;
    match().SetPlayKeys(chosen);
    w.queuedTurn = kTurnLeft;
    EXPECT_EQ(turns(), (std::vector<int>{DIK_P, DIK_O}));
    EXPECT_NE(MatchStateHash(match()), usual);
    match().SetPlayKeys(kDefaultPlayKeys);
    EXPECT_EQ(MatchStateHash(match()), usual);
}

}  // namespace
