// The runner's watch for play that stops making progress, fed game states
// made by hand: each stall it knows is caught, and play that moves on is not.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Liveness.h"
#include "app/Game.h"

namespace {

class LivenessTest : public ::testing::Test {
protected:
    void SetUp() override {
        game = std::make_unique<Game>();
        game->state = GameState::Playing;
        game->match.level = &header;
        game->match.players = 1;
        game->match.playerOut[1] = 1;
    }
    // A worm in play, jumping out with `length` segments and nothing owed.
    Worm& Jumping(int32_t length) {
        Worm& w = game->match.worms[0];
        w.active = w.alive = w.jumping = 1;
        w.length = length;
        w.pendingGrowth = 0;
        w.openGates = 1;
        return w;
    }
    // Runs passes, the worm taking a step every `every` passes; the frame of
    // the first failure, or -1.
    int64_t Run(Liveness& watch, int64_t passes, int32_t every = 0) {
        for (int64_t p = 0; p < passes; ++p) {
            if (every > 0 && p % every == 0) ++game->match.worms[0].stepCount;
            if (!watch.AfterPass(*game, frame)) return frame;
            ++frame;
        }
        return -1;
    }

    std::unique_ptr<Game> game;
    LevelHeader header{};
    int64_t frame = 0;
};

TEST_F(LivenessTest, AJumpMayTakeAsManyStepsAsItsLengthGrowthAndGatesAllowAndNoMore) {
    Liveness watch(false);
    Worm& w = Jumping(10);
    w.pendingGrowth = 3;
    ASSERT_EQ(Run(watch, 16 * 4, 4), -1);  // 16 steps: 10 + 3 + 1 gate + 2 of slack
    w.jumping = 0;
    w.active = 0;
    w.exited = 1;
    ASSERT_EQ(Run(watch, 5), -1);
    EXPECT_FALSE(watch.Failed());

    // The next jump, one step too long.
    w.exited = 0;
    Jumping(10);
    frame = 1000;
    EXPECT_EQ(Run(watch, 100, 4), 1000 + 14 * 4);  // 10 + 0 + 1 + 2 = 13 steps allowed
    EXPECT_TRUE(watch.Failed());
    EXPECT_NE(std::string(watch.Failure()).find("player 1 has been jumping for 14 steps"), std::string::npos)
        << watch.Failure();
    EXPECT_FALSE(watch.AfterPass(*game, frame)) << "a failure stays";
}

TEST_F(LivenessTest, ALevelMustNotRunOnOnceEveryPlayerIsDone) {
    Worm& w = game->match.worms[0];
    w.exited = 1;
    {
        Liveness watch(false);
        EXPECT_EQ(Run(watch, Liveness::kDoneLevelFrames + 5), Liveness::kDoneLevelFrames);
        EXPECT_NE(std::string(watch.Failure()).find("level 1 runs on"), std::string::npos) << watch.Failure();
    }
    {
        // A player waiting to restart, the intro, the points screens and a
        // worm out of lives with its partner still playing are all fine.
        Liveness watch(false);
        w.exited = 0;
        w.stats.lives = 2;
        EXPECT_EQ(Run(watch, 2000), -1);
        w.exited = 1;
        game->match.phase = MatchPhase::Intro;
        EXPECT_EQ(Run(watch, 2000), -1);
        game->match.phase = MatchPhase::Points;
        EXPECT_EQ(Run(watch, 2000), -1);
        game->match.phase = MatchPhase::Play;
        game->match.players = 2;
        game->match.playerOut[1] = 0;
        game->match.worms[1].active = game->match.worms[1].alive = 1;
        EXPECT_EQ(Run(watch, 2000), -1);
    }
}

TEST_F(LivenessTest, ScreensAndLevelsWithoutEndAreWatchedOnlyWhenTheInputMovesOnByItself) {
    game->state = GameState::Info;
    Liveness scripted(false);
    EXPECT_EQ(Run(scripted, Liveness::kScreenFrames + 10), -1);
    Liveness soak(true);
    frame = 0;
    EXPECT_EQ(Run(soak, Liveness::kScreenFrames + 10), Liveness::kScreenFrames + 1);
    EXPECT_NE(std::string(soak.Failure()).find("the info screen has stayed up"), std::string::npos) << soak.Failure();

    // Changing screens, and levels that end, keep the clock from running out.
    Liveness moving(true);
    frame = 0;
    for (int round = 0; round < 6; ++round) {
        game->state = round % 2 ? GameState::MainMenu : GameState::HighScores;
        ASSERT_EQ(Run(moving, Liveness::kScreenFrames / 2), -1);
    }
    game->state = GameState::Playing;
    game->match.worms[0].active = game->match.worms[0].alive = 1;
    for (int32_t level = 0; level < 3; ++level) {
        game->match.levelIndex = level;
        ASSERT_EQ(Run(moving, Liveness::kLevelFrames / 2), -1);
    }
    EXPECT_EQ(Run(moving, Liveness::kLevelFrames),
              Liveness::kLevelFrames / 2 * 3 + Liveness::kLevelFrames / 2 + Liveness::kScreenFrames / 2 * 6 + 1);
}

}  // namespace
