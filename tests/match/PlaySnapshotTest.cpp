#include "match/PlaySnapshot.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "io/Input.h"
#include "support/GameHarness.h"

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
            h.host.SetTicks(h.host.Ticks() + 10);
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

}  // namespace
