#include "WormFixture.h"

namespace {

class WormGateTest : public WormTest {
protected:
    int OccupiedCells() const {
        int n = 0;
        for (int x = 0; x < 20; ++x)
            for (int y = 0; y < 14; ++y) n += grid.At(x, y) ? 1 : 0;
        return n;
    }
    // Frames until the worm has left the level, or -1.
    int RunUntilExited() {
        for (int frames = 1; frames <= 3000; ++frames) {
            worm.Update();
            if (worm.exited) return frames;
        }
        return -1;
    }
};

TEST_F(WormGateTest, AWarpExitIsNeverACellThatHoldsAnything) {
    // Walls everywhere but three cells; one eaten and one uneaten item.
    const CellPos freeCells[3] = {{3, 7}, {12, 2}, {19, 13}};
    for (int x = 0; x < 20; ++x)
        for (int y = 0; y < 14; ++y) {
            bool open = false;
            for (const CellPos& c : freeCells) open = open || (c.x == x && c.y == y);
            if (!open) PlaceWall(x, y);
        }
    PlaceFood(4, 4, 2, 200, 0);
    FoodItem& eaten = PlaceFood(8, 8, 2, 200, 0);
    eaten.cellType = CellType::EatenFood;
    worm.length = 2;

    bool hit[3] = {};
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        SeedRandom(seed);
        worm.openGates = 0;
        worm.segments[1].warpPhase = 0;
        worm.OpenWarpGate();
        const CellPos exit = Cell(0);
        int which = -1;
        for (int i = 0; i < 3; ++i)
            if (freeCells[i] == exit) which = i;
        ASSERT_GE(which, 0) << "seed " << seed << " exit " << exit;
        hit[which] = true;
        EXPECT_EQ(grid.At(exit.x, exit.y), &worm.segments[0]);
        grid.ClearCell(exit.x, exit.y);
    }
    EXPECT_TRUE(hit[0] && hit[1] && hit[2]);
}

TEST_F(WormGateTest, AWarpOnAFullBoardIsRefused) {
    for (int x = 0; x < 20; ++x)
        for (int y = 0; y < 14; ++y) PlaceWall(x, y);
    worm.segments[0].cellX = 4;
    worm.segments[0].cellY = 4;
    worm.OpenWarpGate();
    EXPECT_TRUE(Played(Worm::kSoundWarpRefused));
    EXPECT_FALSE(Played(Worm::kSoundWarp));
    EXPECT_EQ(worm.openGates, 0);
    EXPECT_EQ(worm.segments[1].warpPhase, 0);
    EXPECT_EQ(Cell(0), (CellPos{4, 4}));
}

TEST_F(WormGateTest, ARefusedWarpPlaysTheRefusalAndChangesNothing) {
    struct Case {
        const char* name;
        int openGates;
        int exitOpen;
        int headPhase;
        int bodyPhase;
    };
    const Case cases[] = {
        {"all gates open", 2, 0, 0, 0},
        {"exit open", 0, 1, 0, 0},
        {"head still diving", 1, 0, 1, 0},
        {"mark just passed", 1, 0, 2, 1},
    };
    for (const Case& c : cases) {
        grid.ClearAll();
        worm.Start(5, 5, 50);
        worm.openGates = c.openGates;
        worm.exitOpen = static_cast<uint8_t>(c.exitOpen);
        worm.segments[1].warpPhase = c.headPhase;
        worm.segments[2].warpPhase = c.bodyPhase;
        SoundBank::ClearStartedLog();
        const uint32_t randomBefore = RandomState();
        worm.OpenWarpGate();
        EXPECT_TRUE(Played(Worm::kSoundWarpRefused)) << c.name;
        EXPECT_FALSE(Played(Worm::kSoundWarp)) << c.name;
        EXPECT_EQ(worm.openGates, c.openGates) << c.name;
        EXPECT_EQ(worm.segments[1].warpPhase, c.headPhase) << c.name;
        EXPECT_EQ(Cell(0), (CellPos{6, 5})) << c.name;
        EXPECT_EQ(RandomState(), randomBefore) << c.name;
    }
}

TEST_F(WormGateTest, TheGateStaysUntilTheTailEndHasEnteredIt) {
    worm.length = 3;
    worm.Start(5, 5, 50);
    worm.shield = 10000;  // the far side may lie against a wall
    Cruise();
    Step();
    Step();
    ASSERT_EQ(Cell(1), (CellPos{7, 5}));
    const CellPos gate = Cell(0);

    // Warp, release, warp again within the same step: one gate only.
    SoundBank::ClearStartedLog();
    KeyState[DIK_RCONTROL] = 0x80;
    worm.Update();
    EXPECT_TRUE(Played(Worm::kSoundWarp));
    EXPECT_EQ(worm.openGates, 1);
    const CellPos exit = Cell(0);
    EXPECT_EQ(grid.At(exit.x, exit.y), &worm.segments[0]);
    KeyState[DIK_RCONTROL] = 0;
    worm.Update();
    SoundBank::ClearStartedLog();
    KeyState[DIK_RCONTROL] = 0x80;
    worm.Update();
    EXPECT_TRUE(Played(Worm::kSoundWarpRefused));
    EXPECT_EQ(worm.openGates, 1);
    KeyState[DIK_RCONTROL] = 0;
    worm.Update();  // the step: the head comes out at the far side

    EXPECT_EQ(Cell(1), exit);
    EXPECT_EQ(worm.segments[1].warpPhase, 2);
    EXPECT_EQ(worm.segments[2].warpPhase, 1);
    EXPECT_EQ(worm.CellAhead(2), gate);
    EXPECT_EQ(grid.TypeAt(gate.x, gate.y), CellType::Occupied);
    EXPECT_EQ(worm.openGates, 1);

    Step();  // the tail end enters: the gate closes
    EXPECT_EQ(worm.segments[3].warpPhase, 1);
    EXPECT_EQ(worm.openGates, 0);
    EXPECT_EQ(grid.At(gate.x, gate.y), nullptr);
    Step();
    EXPECT_EQ(worm.segments[3].warpPhase, 2);
    EXPECT_EQ(worm.openGates, 0);
}

TEST_F(WormGateTest, ADyingWormTakesItsGatesOffTheBoard) {
    worm.Start(5, 5, 50);
    worm.OpenWarpGate();
    const CellPos exit = Cell(0);
    EXPECT_EQ(grid.TypeAt(6, 5), CellType::Occupied);  // the entry gate
    worm.Die();
    EXPECT_EQ(grid.At(6, 5), nullptr);
    EXPECT_EQ(grid.At(exit.x, exit.y), nullptr);
    EXPECT_EQ(OccupiedCells(), 0);
}

TEST_F(WormGateTest, TheExitJumpStartsByItselfAfterTheJumpTimeAndCreditsPoints) {
    worm.length = 3;
    worm.Start(5, 5, 3);
    Cruise();
    Step();
    ASSERT_EQ(worm.exitOpen, 1);
    const CellPos gate = Cell(0);
    worm.speed = worm.maxSpeed = 0.001f;  // no more steps while counting

    for (int frame = 1; frame < 500; ++frame) worm.Update();
    EXPECT_EQ(worm.exitTimer, 499);
    EXPECT_EQ(worm.jumping, 0);
    SoundBank::ClearStartedLog();
    worm.Update();
    EXPECT_EQ(worm.exitTimer, 500);
    EXPECT_EQ(worm.jumping, 1);
    EXPECT_EQ(worm.exitOpen, 0);
    EXPECT_EQ(worm.openGates, 1);
    EXPECT_EQ(worm.segments[1].warpPhase, 1);
    EXPECT_EQ(Cell(0), (CellPos{1, 30}));
    EXPECT_TRUE(Played(Worm::kSoundWarp));

    // No steering while jumping: the speed rises by itself, and so does the score.
    const float speed = worm.speed;
    worm.Update();
    EXPECT_EQ(worm.speed, speed + 0.05f);

    SoundBank::ClearStartedLog();
    EXPECT_GT(RunUntilExited(), 0);
    EXPECT_TRUE(Played(Worm::kSoundHyperOut));
    EXPECT_EQ(worm.active, 0);
    EXPECT_EQ(worm.openGates, 0);
    EXPECT_EQ(worm.lengthTotal, 3);
    EXPECT_GT(worm.score, 300);
    EXPECT_EQ(worm.points, worm.score / 300);
    EXPECT_EQ(worm.scoreAtLastExit, worm.score);
    EXPECT_EQ(grid.At(gate.x, gate.y), nullptr);
    EXPECT_EQ(OccupiedCells(), 0);
}

TEST_F(WormGateTest, TheJumpKeyJumpsOnlyWhileTheExitIsOpen) {
    worm.Start(5, 5, 50);
    KeyState[DIK_RSHIFT] = 0x80;
    worm.ReadControls();
    EXPECT_EQ(worm.jumping, 0);
    KeyState[DIK_RSHIFT] = 0;
    worm.ReadControls();
    worm.exitOpen = 1;
    KeyState[DIK_RSHIFT] = 0x80;
    worm.ReadControls();
    EXPECT_EQ(worm.jumping, 1);
    EXPECT_EQ(worm.exitOpen, 0);
    EXPECT_EQ(worm.openGates, 1);
}

TEST_F(WormGateTest, PointsAtAnExitAreTheScoreGainedOverThreeHundredTruncatedTowardZero) {
    struct Case {
        int score, lastExit, points;
    };
    const Case cases[] = {{1899, 1000, 2}, {1000, 1299, 0}, {1000, 1300, -1}, {1000, 1599, -1}, {0, 600, -2}};
    for (const Case& c : cases) {
        worm.length = 2;
        worm.jumping = 1;
        worm.openGates = 0;
        worm.active = 1;
        worm.exited = 0;
        worm.segments[2].warpPhase = 1;  // the tail end comes out of the jump gate at this step
        worm.points = 0;
        worm.score = c.score;
        worm.scoreAtLastExit = c.lastExit;
        worm.Shift();
        EXPECT_EQ(worm.exited, 1);
        EXPECT_EQ(worm.points, c.points) << c.score << " after " << c.lastExit;
        EXPECT_EQ(worm.scoreAtLastExit, c.score);
    }
}

TEST_F(WormGateTest, AJumpWhileTheHeadIsDivingIntoAWarpGateStillCompletes) {
    worm.length = 3;
    worm.Start(5, 5, 50);
    worm.shield = 10000;
    Cruise();
    Step();
    Step();
    KeyState[DIK_RCONTROL] = 0x80;
    worm.Update();
    const CellPos exit = Cell(0);
    ASSERT_EQ(worm.openGates, 1);
    worm.exitOpen = 1;  // the level clock runs out
    KeyState[DIK_RCONTROL] = 0;
    worm.Update();
    KeyState[DIK_RSHIFT] = 0x80;
    worm.Update();
    EXPECT_EQ(worm.jumping, 1);
    EXPECT_EQ(worm.openGates, 1);  // one gate mark, one gate
    EXPECT_EQ(grid.At(exit.x, exit.y), nullptr);
    KeyState[DIK_RSHIFT] = 0;

    EXPECT_GT(RunUntilExited(), 0);
    EXPECT_EQ(worm.openGates, 0);
    EXPECT_EQ(OccupiedCells(), 0);
}

TEST_F(WormGateTest, TheStartGateMarksItsCellAndMovesFoodAway) {
    FoodItem& food = PlaceFood(3, 3, 2, 200, 0);
    worm.ShowStartGate(3, 3);
    EXPECT_EQ(food.cellType, CellType::EatenFood);
    EXPECT_EQ(grid.At(3, 3), &worm.segments[kStartGateIndex]);
    EXPECT_EQ(grid.TypeAt(3, 3), CellType::Occupied);
    EXPECT_EQ(BackAt(96, 96), kGateColour);
    EXPECT_EQ(BackAt(127, 127), kGateColour);
    EXPECT_EQ(BackAt(128, 128), 0);
    for (int i = 0; i < 6; ++i) worm.ShowStartGate(3, 3);
    EXPECT_EQ(worm.gateSprite.frame, 1);  // three pictures, seven frames each

    // Starting there replaces the marker with the head.
    worm.Start(3, 3, 50);
    EXPECT_EQ(grid.At(3, 3), &worm.segments[1]);

    // Without lives there is no gate.
    grid.ClearAll();
    ClearSurface(backBuffer, 0);
    worm.stats.lives = 0;
    worm.ShowStartGate(8, 8);
    EXPECT_EQ(grid.At(8, 8), nullptr);
    EXPECT_EQ(BackAt(256, 256), 0);
}

}  // namespace
