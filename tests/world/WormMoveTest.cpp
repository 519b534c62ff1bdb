#include "WormFixture.h"

namespace {

using WormMoveTest = WormTest;

TEST_F(WormMoveTest, StartPutsTheHeadOnItsCellAndTheTailEndOffTheBoard) {
    worm.length = 0;
    worm.Start(5, 5, 20);
    EXPECT_EQ(worm.alive, 1);
    EXPECT_EQ(worm.active, 1);
    EXPECT_EQ(worm.length, 2);
    EXPECT_EQ(worm.pendingGrowth, 0);
    EXPECT_EQ(worm.shield, 90);
    EXPECT_EQ(worm.speed, 5.0f);
    EXPECT_EQ(worm.maxSpeed, 2.4f);
    EXPECT_TRUE(Played(Worm::kSoundWarp));
    // Right is the most open way from (5, 5) on an empty board.
    EXPECT_EQ(worm.Heading(), 1);
    EXPECT_EQ(worm.segments[1].warpPhase, 2);
    EXPECT_EQ(Cell(0), (CellPos{6, 5}));
    EXPECT_EQ(Cell(2), (CellPos{1, 30}));
    EXPECT_EQ(grid.At(5, 5), &worm.segments[1]);
    EXPECT_EQ(grid.At(6, 5), &worm.segments[0]);
}

TEST_F(WormMoveTest, ProgressAccumulatesAndAStepDropsWhatLiesBeyondTheCell) {
    worm.Start(5, 5, 20);
    worm.speed = worm.maxSpeed = 3.0f;
    for (int i = 0; i < 10; ++i) worm.Update();
    EXPECT_EQ(worm.stepProgress, 30.0f);
    EXPECT_EQ(Cell(1), (CellPos{5, 5}));
    worm.Update();  // 33 pixels: one step, the extra pixel is lost
    EXPECT_EQ(worm.stepProgress, 0.0f);
    EXPECT_EQ(Cell(1), (CellPos{6, 5}));
    EXPECT_EQ(Cell(2), (CellPos{5, 5}));
    EXPECT_EQ(Cell(0), (CellPos{7, 5}));

    // Exactly 32.0 is a step; just below it is not.
    worm.stepProgress = 31.0f;
    worm.speed = worm.maxSpeed = 0.99f;
    worm.Update();
    EXPECT_EQ(worm.stepProgress, 31.99f);
    EXPECT_EQ(Cell(1), (CellPos{6, 5}));
    worm.stepProgress = 28.0f;
    worm.speed = worm.maxSpeed = 4.0f;
    worm.Update();
    EXPECT_EQ(worm.stepProgress, 0.0f);
    EXPECT_EQ(Cell(1), (CellPos{7, 5}));
}

TEST_F(WormMoveTest, SpeedIsPulledTowardTheTopSpeedWithoutOvershoot) {
    worm.Start(5, 5, 20);
    worm.Update();
    EXPECT_EQ(worm.speed, 5.0f - 0.02f);
    worm.speed = 2.39f;
    worm.Update();
    EXPECT_EQ(worm.speed, 2.4f);
    worm.Update();
    EXPECT_EQ(worm.speed, 2.4f);
    worm.speed = 2.41f;
    worm.Update();
    EXPECT_EQ(worm.speed, 2.4f);
}

TEST_F(WormMoveTest, TheTailEndKeepsItsCellWhileTheWormGrows) {
    // Records beyond the tail end still name cells of an earlier life.
    PlaceWall(2, 2);
    for (int k = 3; k <= 4; ++k) {
        worm.segments[k].cellX = 2;
        worm.segments[k].cellY = 2;
    }
    worm.Start(5, 5, 20);
    Cruise();
    FoodItem& food = PlaceFood(9, 5, 2, 500, 0, 7);
    Step();
    Step();
    EXPECT_EQ(Cell(2), (CellPos{6, 5}));
    Step();  // the head reaches (8, 5) and eats what lies ahead
    EXPECT_EQ(food.cellType, CellType::EatenFood);
    EXPECT_TRUE(Played(7));
    EXPECT_EQ(worm.pendingGrowth, 2);
    EXPECT_EQ(worm.score, 500);
    const CellPos tail = Cell(2);
    EXPECT_EQ(tail, (CellPos{7, 5}));

    Step();
    EXPECT_EQ(worm.length, 3);
    EXPECT_EQ(Cell(3), tail);
    EXPECT_EQ(Cell(2), (CellPos{8, 5}));
    Step();
    EXPECT_EQ(worm.length, 4);
    EXPECT_EQ(worm.pendingGrowth, 0);
    EXPECT_EQ(Cell(4), tail);
    EXPECT_EQ(grid.TypeAt(tail.x, tail.y), CellType::Occupied);

    Step();  // growth done: the tail end moves off its cell
    EXPECT_EQ(worm.length, 4);
    EXPECT_EQ(Cell(4), (CellPos{8, 5}));
    EXPECT_EQ(grid.TypeAt(tail.x, tail.y), 0);
    for (int x = 8; x <= 12; ++x) EXPECT_EQ(grid.TypeAt(x, 5), CellType::Occupied) << x;
    EXPECT_EQ(grid.TypeAt(2, 2), CellType::Wall);
}

TEST_F(WormMoveTest, ScoreDrainsByOneAFrame) {
    worm.Start(5, 5, 20);
    worm.score = 3;
    for (int i = 0; i < 5; ++i) worm.Update();
    EXPECT_EQ(worm.score, 0);
}

TEST_F(WormMoveTest, ATurnPressedAtHalfSpeedOrSlowerIsDroppedUntilTheKeysAreReleased) {
    worm.Start(5, 5, 20);
    worm.speed = 0.5f;
    KeyState[DIK_RIGHT] = 0x80;
    worm.ReadControls();
    EXPECT_EQ(worm.pendingTurn, 0);
    EXPECT_EQ(worm.controlLatch, 1);

    worm.speed = 2.0f;
    worm.ReadControls();  // still held: nothing is read
    EXPECT_EQ(worm.pendingTurn, 0);

    KeyState[DIK_RIGHT] = 0;
    worm.ReadControls();
    EXPECT_EQ(worm.controlLatch, 0);
    KeyState[DIK_LEFT] = 0x80;
    worm.ReadControls();
    EXPECT_EQ(worm.pendingTurn, DIK_LEFT);
}

TEST_F(WormMoveTest, TheLatchHoldsUntilEveryOneOfTheWormsKeysIsUp) {
    worm.Start(5, 5, 20);
    worm.speed = 2.0f;
    KeyState[DIK_RIGHT] = 0x80;
    worm.ReadControls();
    EXPECT_EQ(worm.pendingTurn, DIK_RIGHT);

    // The brake key (without a charge it does nothing) keeps the latch.
    KeyState[DIK_RIGHT] = 0;
    KeyState[DIK_DOWN] = 0x80;
    worm.ReadControls();
    KeyState[DIK_LEFT] = 0x80;
    worm.ReadControls();
    EXPECT_EQ(worm.queuedTurn, 0);
    EXPECT_EQ(worm.controlLatch, 1);

    // Keys of the other player do not count.
    std::memset(KeyState, 0, sizeof KeyState);
    KeyState[DIK_W] = 0x80;
    worm.ReadControls();
    EXPECT_EQ(worm.controlLatch, 0);
    KeyState[DIK_LEFT] = 0x80;
    worm.ReadControls();
    EXPECT_EQ(worm.queuedTurn, DIK_LEFT);
    EXPECT_EQ(worm.pendingTurn, DIK_RIGHT);
}

TEST_F(WormMoveTest, TwoTurnsWithinOneStepApplyAtTheNextTwoSteps) {
    worm.Start(5, 5, 20);
    Cruise();
    KeyState[DIK_LEFT] = 0x80;
    worm.Update();
    KeyState[DIK_LEFT] = 0;
    worm.Update();
    KeyState[DIK_RIGHT] = 0x80;
    worm.Update();
    KeyState[DIK_RIGHT] = 0;
    worm.Update();  // the step
    EXPECT_EQ(Cell(1), (CellPos{6, 5}));
    EXPECT_EQ(worm.Heading(), 0);
    EXPECT_EQ(Cell(0), (CellPos{6, 4}));
    EXPECT_EQ(worm.pendingTurn, DIK_RIGHT);
    EXPECT_EQ(worm.queuedTurn, 0);

    Step();
    EXPECT_EQ(Cell(1), (CellPos{6, 4}));
    EXPECT_EQ(worm.Heading(), 1);
    EXPECT_EQ(Cell(0), (CellPos{7, 4}));
    EXPECT_EQ(worm.pendingTurn, 0);

    // Left from up wraps to 3, right from left back to 0.
    worm.ApplyTurn(DIK_LEFT);
    worm.ApplyTurn(DIK_LEFT);
    EXPECT_EQ(worm.Heading(), 3);
    worm.ApplyTurn(DIK_RIGHT);
    worm.ApplyTurn(DIK_RIGHT);
    EXPECT_EQ(worm.Heading(), 1);
    worm.ApplyTurn(0);
    EXPECT_EQ(worm.Heading(), 1);
}

TEST_F(WormMoveTest, TheShieldRecoversEachStepAndMayOvershootByLessThanOneRecovery) {
    worm.Start(5, 5, 20);
    Cruise();
    worm.stats.shieldRecover = 4;
    worm.shield = 89;
    Step();
    EXPECT_EQ(worm.shield, 93);
    Step();
    EXPECT_EQ(worm.shield, 93);
}

TEST_F(WormMoveTest, ARocketChargeBoostsOrBrakesOnceAndRunsOutAfterTwentyFiveSteps) {
    worm.Start(5, 5, 20);
    Cruise();
    PlaceFood(7, 5, 0, 800, 1, 10);
    PlaceFood(8, 5, 0, 800, 1, 10);
    Step();
    EXPECT_EQ(worm.rocketsReady, 1);
    EXPECT_TRUE(Played(10));
    for (const Sprite& tail : worm.tailSprites) EXPECT_EQ(tail.frame, 1);
    Step();  // a second charge while one is held still leaves one
    EXPECT_EQ(worm.rocketsReady, 1);
    EXPECT_EQ(worm.pendingGrowth, 0);

    // Boost and brake together: the boost takes the only charge.
    SoundBank::ClearStartedLog();
    KeyState[DIK_UP] = 0x80;
    KeyState[DIK_DOWN] = 0x80;
    worm.ReadControls();
    EXPECT_TRUE(Played(Worm::kSoundRockets));
    EXPECT_EQ(worm.maxSpeed, worm.stats.velocity + 1.5f);
    EXPECT_EQ(worm.boostSteps, 25);
    EXPECT_EQ(worm.rocketsReady, 0);
    for (const Sprite& tail : worm.tailSprites) EXPECT_EQ(tail.frame, 2);

    std::memset(KeyState, 0, sizeof KeyState);
    worm.ReadControls();
    KeyState[DIK_DOWN] = 0x80;
    worm.ReadControls();  // no charge: nothing
    EXPECT_EQ(worm.maxSpeed, worm.stats.velocity + 1.5f);

    // A charge eaten during the boost that is not used ends with it.
    for (int i = 0; i < 24; ++i) worm.BoostTick();
    worm.rocketsReady = 1;
    EXPECT_EQ(worm.boostSteps, 1);
    worm.BoostTick();
    EXPECT_EQ(worm.boostSteps, 0);
    EXPECT_EQ(worm.maxSpeed, worm.stats.velocity);
    EXPECT_EQ(worm.rocketsReady, 0);
    for (const Sprite& tail : worm.tailSprites) EXPECT_EQ(tail.frame, 0);
    worm.BoostTick();
    EXPECT_EQ(worm.boostSteps, 0);

    // Brake: slower top speed, no sound.
    std::memset(KeyState, 0, sizeof KeyState);
    worm.ReadControls();
    worm.rocketsReady = 1;
    SoundBank::ClearStartedLog();
    KeyState[DIK_DOWN] = 0x80;
    worm.ReadControls();
    EXPECT_EQ(worm.maxSpeed, worm.stats.velocity - 1.0f);
    EXPECT_EQ(worm.tailSprites[3].frame, 3);
    EXPECT_EQ(PlayCount(), 0);
}

TEST_F(WormMoveTest, GrowthStopsAtTheLastSegmentIndex) {
    worm.Start(5, 5, 2000);
    Segment& gate = worm.segments[kStartGateIndex];
    gate.cellX = 7;
    gate.cellY = 8;
    worm.length = 998;
    worm.segments[998].cellX = 3;
    worm.segments[998].cellY = 3;
    worm.pendingGrowth = 5;
    worm.Grow();
    EXPECT_TRUE(worm.grewThisStep);
    EXPECT_EQ(worm.length, 999);
    EXPECT_EQ(worm.pendingGrowth, 4);

    // At the cap the rest of the growth is forfeited, so the tail moves on.
    worm.Grow();
    EXPECT_FALSE(worm.grewThisStep);
    EXPECT_EQ(worm.length, 999);
    EXPECT_EQ(worm.pendingGrowth, 0);
    EXPECT_EQ(gate.cellX, 7);
    EXPECT_EQ(gate.cellY, 8);

    GridObject marker;
    marker.cellX = worm.segments[999].cellX;
    marker.cellY = worm.segments[999].cellY;
    marker.cellType = CellType::Occupied;
    grid.Place(&marker);
    worm.Shift();
    EXPECT_EQ(grid.At(marker.cellX, marker.cellY), nullptr);
    EXPECT_EQ(gate.cellX, 7);
}

TEST_F(WormMoveTest, ReachingTheTargetLengthOpensTheExitOnce) {
    worm.length = 3;  // owes one segment
    worm.Start(5, 5, 3);
    Cruise();
    Step();
    EXPECT_EQ(worm.length, 3);
    EXPECT_EQ(worm.exitOpen, 1);
    EXPECT_EQ(worm.exitMarker, 300);

    // Once opened in this life, growing further opens nothing again.
    worm.exitOpen = 0;
    worm.pendingGrowth = 1;
    Step();
    EXPECT_EQ(worm.length, 4);
    EXPECT_EQ(worm.exitOpen, 0);
}

}  // namespace
