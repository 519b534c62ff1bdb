#include "WormFixture.h"

namespace {

using WormMoveTest = WormTest;

TEST_F(WormMoveTest, StartPutsTheHeadOnItsCellFacingTheMostOpenWayAndTheTailEndOffTheBoard) {
    worm.Start(5, 5, 20);
    EXPECT_EQ((std::tuple{worm.alive, worm.active, worm.length, worm.pendingGrowth, worm.shield}),
              (std::tuple{1, 1, 2, 0, 90}));
    EXPECT_EQ((std::tuple{worm.speed, worm.maxSpeed, worm.Heading(), worm.segments[1].warpPhase}),
              (std::tuple{5.0f, 2.4f, 1, 2}));
    EXPECT_TRUE(Played(kSoundWarp));
    EXPECT_EQ((std::tuple{Cell(0), Cell(2)}), (std::tuple{P{6, 5}, P{1, 30}}));
    EXPECT_EQ((std::tuple{grid.At(5, 5), grid.At(6, 5)}), (std::tuple{&worm.segments[1], &worm.segments[0]}));
}

TEST_F(WormMoveTest, AStepComesAtThirtyTwoPixelsAndDropsTheRest) {
    worm.Start(5, 5, 20);
    worm.speed = worm.maxSpeed = 3.0f;
    for (int i = 0; i < 10; ++i) worm.Update(holding);
    EXPECT_EQ((std::tuple{worm.stepProgress, Cell(1)}), (std::tuple{30.0f, P{5, 5}}));
    worm.Update(holding);  // 33 pixels
    EXPECT_EQ((std::tuple{worm.stepProgress, Cell(0), Cell(1), Cell(2)}),
              (std::tuple{0.0f, P{7, 5}, P{6, 5}, P{5, 5}}));
    worm.stepProgress = 31.0f;
    worm.speed = worm.maxSpeed = 0.99f;
    worm.Update(holding);
    EXPECT_EQ(worm.stepProgress, 31.99f);
    worm.stepProgress = 28.0f;
    worm.speed = worm.maxSpeed = 4.0f;
    worm.Update(holding);  // exactly 32
    EXPECT_EQ((std::tuple{worm.stepProgress, Cell(1)}), (std::tuple{0.0f, P{7, 5}}));
}

TEST_F(WormMoveTest, EachFrameSpeedNearsTheTopSpeedWithoutOvershootAndTheScoreDrainsByOne) {
    worm.Start(5, 5, 20);
    worm.score = 3;
    worm.Update(holding);
    EXPECT_EQ(worm.speed, 5.0f - 0.02f);
    for (float start : {2.39f, 2.41f, 2.4f}) {
        worm.speed = start;
        worm.Update(holding);
        EXPECT_EQ(worm.speed, 2.4f) << start;
    }
    worm.Update(holding);
    EXPECT_EQ(worm.score, 0);
}

TEST_F(WormMoveTest, TheTailEndKeepsItsCellWhileTheWormGrows) {
    PlaceWall(2, 2);
    for (int k : {3, 4}) worm.segments[k].cellX = worm.segments[k].cellY = 2;  // stale records of an earlier life
    worm.Start(5, 5, 20);
    Cruise();
    FoodItem& food = PlaceFood(9, 5, 2, 500, 0, kSoundGrow2);
    Step(3);  // the head reaches (8, 5) and eats what lies ahead
    EXPECT_EQ((std::tuple{food.cellType, worm.pendingGrowth, worm.score, Cell(2)}),
              (std::tuple{CellType::EatenFood, 2, 500, P{7, 5}}));
    EXPECT_TRUE(Played(kSoundGrow2));
    Step();
    EXPECT_EQ((std::tuple{worm.length, Cell(2), Cell(3)}), (std::tuple{3, P{8, 5}, P{7, 5}}));
    Step();
    EXPECT_EQ((std::tuple{worm.length, worm.pendingGrowth, Cell(4), grid.TypeAt(7, 5)}),
              (std::tuple{4, 0, P{7, 5}, CellType::Occupied}));
    Step();  // growth done: the tail end moves on
    EXPECT_EQ((std::tuple{worm.length, Cell(4), grid.TypeAt(7, 5)}), (std::tuple{4, P{8, 5}, 0}));
    for (int x = 8; x <= 12; ++x) EXPECT_EQ(grid.TypeAt(x, 5), CellType::Occupied) << x;
    EXPECT_EQ(grid.TypeAt(2, 2), CellType::Wall);
}

TEST_F(WormMoveTest, APressIsReadOnceUntilAllTheWormsKeysAreUpAndIsLostAtHalfSpeedOrSlower) {
    worm.Start(5, 5, 20);
    auto read = [&](std::initializer_list<PlayKey> down) {
        worm.ReadControls(Hold(down));
        return std::tuple{worm.pendingTurn, worm.queuedTurn, int(worm.controlLatch)};
    };
    worm.speed = 0.5f;
    EXPECT_EQ(read({kKeyRight}), (std::tuple{kNoTurn, kNoTurn, 1}));
    worm.speed = 2.0f;
    EXPECT_EQ(read({kKeyRight}), (std::tuple{kNoTurn, kNoTurn, 1}));  // still held
    EXPECT_EQ(read({}), (std::tuple{kNoTurn, kNoTurn, 0}));
    EXPECT_EQ(read({kKeyLeft}), (std::tuple{kTurnLeft, kNoTurn, 1}));
    // Any of the six held keeps the latch: the brake without a charge, the jump with no exit open.
    for (PlayKey key : {kKeyBrake, kKeyJump, kKeyBoost, kKeyLeft}) {
        EXPECT_EQ(read({key}), (std::tuple{kTurnLeft, kNoTurn, 1})) << key;
        EXPECT_EQ(read({key, kKeyRight}), (std::tuple{kTurnLeft, kNoTurn, 1})) << key;
    }
    EXPECT_EQ(read({}), (std::tuple{kTurnLeft, kNoTurn, 0}));
    EXPECT_EQ(read({kKeyLeft, kKeyRight}), (std::tuple{kTurnLeft, kTurnRight, 1}));  // right wins over left
    EXPECT_EQ(read({}), (std::tuple{kTurnLeft, kTurnRight, 0}));
    EXPECT_EQ(read({kKeyLeft}), (std::tuple{kTurnLeft, kTurnLeft, 1}));  // a queued turn is replaced
}

TEST_F(WormMoveTest, TwoTurnsWithinOneStepApplyAtTheNextTwoStepsAndHeadingsWrap) {
    worm.Start(5, 5, 20);
    Cruise();
    for (PlayActions held : {Hold({kKeyLeft}), Hold({}), Hold({kKeyRight}), Hold({})})
        worm.Update(held);  // the fourth frame is the step
    EXPECT_EQ((std::tuple{Cell(1), worm.Heading(), Cell(0), worm.pendingTurn, worm.queuedTurn}),
              (std::tuple{P{6, 5}, 0, P{6, 4}, kTurnRight, kNoTurn}));
    Step();
    EXPECT_EQ((std::tuple{worm.Heading(), Cell(0), worm.pendingTurn}), (std::tuple{1, P{7, 4}, kNoTurn}));
    worm.segments[1].heading = 0;
    worm.ApplyTurn(kTurnLeft);
    EXPECT_EQ(worm.Heading(), 3);
    worm.ApplyTurn(kTurnRight);
    EXPECT_EQ(worm.Heading(), 0);
    worm.ApplyTurn(kNoTurn);
    EXPECT_EQ(worm.Heading(), 0);
}

TEST_F(WormMoveTest, TheShieldRecoversOnlyWhileBelowFullAndMayEndAboveIt) {
    worm.Start(5, 5, 20);
    Cruise();
    worm.stats.shieldRecover = 4;
    worm.shield = 89;
    Step();
    EXPECT_EQ(worm.shield, 93);
    Step();
    EXPECT_EQ(worm.shield, 93);
}

TEST_F(WormMoveTest, ARocketChargeBoostsOrBrakesOnceForTwentyFiveSteps) {
    auto tails = [&] {
        return std::vector<int>{worm.tailSprites[0].frame, worm.tailSprites[1].frame, worm.tailSprites[2].frame,
                                worm.tailSprites[3].frame};
    };
    worm.Start(5, 5, 20);
    Cruise();
    PlaceFood(7, 5, 0, 800, 1, kSoundAttach);
    PlaceFood(8, 5, 0, 800, 1, kSoundAttach);
    Step();
    EXPECT_TRUE(Played(kSoundAttach));
    EXPECT_EQ(tails(), std::vector<int>(4, 1));
    Step();  // a second charge still leaves one
    SoundBank::ClearStartedLog();
    worm.ReadControls(Hold({kKeyBoost, kKeyBrake}));  // together: the boost takes the only charge
    EXPECT_TRUE(Played(kSoundRockets));
    EXPECT_EQ((std::tuple{worm.maxSpeed, worm.boostSteps, worm.rocketsReady}), (std::tuple{2.4f + 1.5f, 25, 0}));
    EXPECT_EQ(tails(), std::vector<int>(4, 2));
    for (int i = 0; i < 24; ++i) worm.BoostTick();
    worm.rocketsReady = 1;  // a charge eaten during the boost ends with it
    EXPECT_EQ(worm.maxSpeed, 2.4f + 1.5f);
    worm.BoostTick();
    worm.BoostTick();
    EXPECT_EQ((std::tuple{worm.maxSpeed, worm.boostSteps, worm.rocketsReady}), (std::tuple{2.4f, 0, 0}));
    EXPECT_EQ(tails(), std::vector<int>(4, 0));
    worm.ReadControls(holding);
    worm.rocketsReady = 1;
    SoundBank::ClearStartedLog();
    worm.ReadControls(Hold({kKeyBrake}));
    EXPECT_EQ((std::tuple{worm.maxSpeed, worm.tailSprites[3].frame, SoundBank::StartedLog(nullptr)}),
              (std::tuple{2.4f - 1.0f, 3, 0}));

    // A brake cut short by a death ends with that life: a charge eaten early
    // in the next life is kept until it is used.
    worm.Die();
    while (worm.active) worm.Update(holding);
    grid.ClearAll();
    worm.Start(5, 5, 20);
    EXPECT_EQ((std::tuple{worm.boostSteps, worm.maxSpeed}), (std::tuple{0, 2.4f}));
    PlaceFood(8, 5, 0, 800, 1, kSoundAttach);
    Cruise();
    worm.shield = 100000;  // it may bounce off the edge on the way
    Step(26);
    EXPECT_EQ((std::tuple{worm.rocketsReady, worm.tailSprites[0].frame}), (std::tuple{1, 1}));
}

TEST_F(WormMoveTest, GrowthStopsAtTheLastSegmentIndexAndTheRestIsForfeited) {
    worm.Start(5, 5, 2000);
    worm.segments[kStartGateIndex].cellX = 7;
    worm.length = 998;
    worm.pendingGrowth = 5;
    worm.Grow();
    EXPECT_EQ((std::tuple{worm.length, worm.pendingGrowth}), (std::tuple{999, 4}));
    worm.Grow();
    EXPECT_EQ((std::tuple{worm.grewThisStep, worm.length, worm.pendingGrowth, worm.segments[kStartGateIndex].cellX}),
              (std::tuple{false, 999, 0, 7}));
    GridObject marker{worm.segments[999].cellX, worm.segments[999].cellY, 0, 0, CellType::Occupied};
    grid.Place(&marker);
    worm.Shift();  // the tail moves off its cell
    EXPECT_EQ(grid.At(marker.cellX, marker.cellY), nullptr);
}

TEST_F(WormMoveTest, ReachingTheTargetLengthOpensTheExitOncePerLife) {
    worm.length = 3;  // owes one segment
    worm.Start(5, 5, 3);
    Cruise();
    Step();
    EXPECT_EQ((std::tuple{worm.exitOpen, worm.exitMarker}), (std::tuple{1, 300}));
    worm.exitOpen = 0;
    worm.pendingGrowth = 1;
    Step();
    EXPECT_EQ((std::tuple{worm.length, worm.exitOpen}), (std::tuple{4, 0}));
}

}  // namespace
