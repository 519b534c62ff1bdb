#include <set>

#include "WormFixture.h"

namespace {

class WormGateTest : public WormTest {
protected:
    int OccupiedCells() const {
        return int(std::count_if(std::begin(grid.cells), std::end(grid.cells), [](auto* c) { return c; }));
    }
    bool RunUntilExited() {
        for (int frames = 0; frames < 3000 && !worm.exited; ++frames) worm.Update(holding);
        return worm.exited;
    }
    void Press(PlayKey key, int frames = 2) {  // a frame with the key down, then frames with it up
        worm.Update(Hold({key}));
        for (int i = 1; i < frames; ++i) worm.Update(holding);
    }
    void WarpAfterTwoSteps() {
        worm.length = 3;
        worm.Start(5, 5, 50);
        worm.shield = 10000;  // the far side may lie against a wall
        Cruise();
        Step(2);
        gate = Cell(0);
        SoundBank::ClearStartedLog();
        Press(kKeyWarp);
        exit = Cell(0);
    }
    P gate, exit;
};

TEST_F(WormGateTest, AWarpExitIsARandomEmptyCellNeverFoodOrEatenFoodAndTheLastFreeOneIsTaken) {
    const P freeCells[3] = {{3, 7}, {12, 2}, {19, 13}};
    for (int i = 0; i < 280; ++i)
        if (std::find(freeCells, freeCells + 3, P{i % 20, i / 20}) == freeCells + 3) PlaceWall(i % 20, i / 20);
    PlaceFood(4, 4, 2, 200, 0);
    PlaceFood(8, 8, 2, 200, 0).cellType = CellType::EatenFood;
    worm.length = 2;
    std::set<P> hit;
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        SeedRandom(seed);
        worm.openGates = worm.segments[1].warpPhase = 0;
        worm.OpenWarpGate();
        const P exit = Cell(0);
        ASSERT_NE(std::find(freeCells, freeCells + 3, exit), freeCells + 3) << "seed " << seed;
        hit.insert(exit);
        EXPECT_EQ(grid.At(exit.first, exit.second), &worm.segments[0]);
        grid.ClearCell(exit.first, exit.second);
    }
    EXPECT_EQ(hit.size(), 3u);
    PlaceWall(3, 7);  // with one free cell left, the exit is that cell
    PlaceWall(19, 13);
    worm.openGates = worm.segments[1].warpPhase = 0;
    worm.OpenWarpGate();
    EXPECT_EQ((std::tuple{Cell(0), grid.At(12, 2), worm.openGates}), (std::tuple{P{12, 2}, &worm.segments[0], 1}));
}

TEST_F(WormGateTest, ARefusedWarpPlaysTheRefusalAndChangesNothing) {
    // open gates, exit open, head phase, body phase, full board: all gates open, exit open, the head still
    // diving, the gate mark only just passed, no free cell
    const int cases[][5] = {{2, 0, 0, 0, 0}, {0, 1, 0, 0, 0}, {1, 0, 1, 0, 0}, {1, 0, 2, 1, 0}, {0, 0, 0, 0, 1}};
    for (const auto& [gates, exitOpen, headPhase, bodyPhase, full] : cases) {
        grid.ClearAll();
        wallCount = 0;
        worm.Start(5, 5, 50);
        for (int i = 0; full && i < 280; ++i) PlaceWall(i % 20, i / 20);
        worm.openGates = gates;
        worm.exitOpen = uint8_t(exitOpen);
        worm.segments[1].warpPhase = headPhase;
        worm.segments[2].warpPhase = bodyPhase;
        SoundBank::ClearStartedLog();
        const uint32_t randomBefore = RandomState();
        worm.OpenWarpGate();
        EXPECT_EQ((std::tuple{Played(kSoundWarpRefused), Played(kSoundWarp), worm.openGates, worm.segments[1].warpPhase,
                              Cell(0)}),
                  (std::tuple{true, false, gates, headPhase, P{6, 5}}))
            << gates << exitOpen << headPhase << bodyPhase << full;
        if (!full) {
            EXPECT_EQ(RandomState(), randomBefore);
        }
    }
}

TEST_F(WormGateTest, TheGateStaysUntilTheTailEndHasEnteredIt) {
    WarpAfterTwoSteps();
    EXPECT_TRUE(Played(kSoundWarp));
    EXPECT_EQ(grid.At(exit.first, exit.second), &worm.segments[0]);
    SoundBank::ClearStartedLog();
    Press(kKeyWarp);  // a second warp within the step; its second frame is the step
    EXPECT_TRUE(Played(kSoundWarpRefused));
    EXPECT_EQ((std::tuple{Cell(1), worm.segments[1].warpPhase, worm.segments[2].warpPhase, worm.openGates}),
              (std::tuple{exit, 2, 1, 1}));
    const CellPos ahead = worm.CellAhead(2);
    EXPECT_EQ(P(ahead.x, ahead.y), gate);
    EXPECT_EQ(grid.TypeAt(gate.first, gate.second), CellType::Occupied);
    Step();  // the tail end enters: the gate closes
    EXPECT_EQ((std::tuple{worm.segments[3].warpPhase, worm.openGates, grid.At(gate.first, gate.second)}),
              (std::tuple{1, 0, nullptr}));
    Step();
    EXPECT_EQ((std::tuple{worm.segments[3].warpPhase, worm.openGates}), (std::tuple{2, 0}));
}

TEST_F(WormGateTest, ADyingWormTakesItsGatesOffTheBoard) {
    worm.Start(5, 5, 50);
    worm.OpenWarpGate();
    EXPECT_EQ(OccupiedCells(), 3);  // head, entry gate, far side
    worm.Die();
    EXPECT_EQ(OccupiedCells(), 0);
}

TEST_F(WormGateTest, TheExitJumpStartsByItselfAfterTheJumpTimeAndCreditsPoints) {
    worm.length = 3;
    worm.Start(5, 5, 3);
    Cruise();
    Step();
    ASSERT_EQ(worm.exitOpen, 1);
    worm.speed = worm.maxSpeed = 0.001f;  // no more steps while counting
    for (int frame = 1; frame < 500; ++frame) worm.Update(holding);
    EXPECT_EQ(worm.jumping, 0);
    SoundBank::ClearStartedLog();
    worm.Update(holding);
    EXPECT_EQ(
        (std::tuple{worm.exitTimer, worm.jumping, worm.exitOpen, worm.openGates, worm.segments[1].warpPhase, Cell(0)}),
        (std::tuple{500, 1, 0, 1, 1, P{1, 30}}));
    EXPECT_TRUE(Played(kSoundWarp));
    const float speed = worm.speed;
    worm.Update(holding);  // no steering: the speed rises by itself
    EXPECT_EQ(worm.speed, speed + 0.05f);
    SoundBank::ClearStartedLog();
    ASSERT_TRUE(RunUntilExited());
    EXPECT_TRUE(Played(kSoundHyperOut));
    EXPECT_EQ((std::tuple{worm.active, worm.openGates, worm.lengthTotal, OccupiedCells()}), (std::tuple{0, 0, 3, 0}));
    EXPECT_GT(worm.score, 300);
    EXPECT_EQ((std::tuple{worm.points, worm.scoreAtLastExit}), (std::tuple{worm.score / 300, worm.score}));
}

// A score lower than at the last exit earns nothing: the points a worm
// holds never shrink at an exit, nor go below zero.
TEST_F(WormGateTest, PointsAtAnExitAreTheScoreGainedOverThreeHundredAndNeverLost) {
    const int cases[][4] = {{1899, 1000, 1, 3}, {1000, 1299, 0, 0}, {1000, 1300, 0, 0},
                            {1000, 1599, 4, 4}, {0, 600, 0, 0},     {600, 0, 1, 3}};
    for (const auto& [score, lastExit, held, points] : cases) {
        worm.length = 2;
        worm.jumping = 1;
        worm.openGates = worm.exited = 0;
        worm.points = held;
        worm.segments[2].warpPhase = 1;  // the tail end comes out of the jump gate at this step
        worm.score = score;
        worm.scoreAtLastExit = lastExit;
        worm.Shift();
        EXPECT_EQ((std::tuple{worm.exited, worm.points, worm.scoreAtLastExit}), (std::tuple{1, points, score}))
            << score << " after " << lastExit << " holding " << held;
    }
}

TEST_F(WormGateTest, AJumpOnlyWhileTheExitIsOpenAndWhileDivingIntoAWarpGateUsesThatGate) {
    WarpAfterTwoSteps();
    ASSERT_EQ(worm.openGates, 1);
    worm.ReadControls(holding);           // every key up
    worm.ReadControls(Hold({kKeyJump}));  // the exit is not open: no jump
    worm.ReadControls(holding);
    EXPECT_EQ((std::tuple{worm.jumping, worm.openGates}), (std::tuple{0, 1}));
    worm.exitOpen = 1;  // the level clock runs out
    Press(kKeyJump, 1);
    EXPECT_EQ((std::tuple{worm.jumping, worm.openGates, grid.At(exit.first, exit.second)}),
              (std::tuple{1, 1, nullptr}));
    ASSERT_TRUE(RunUntilExited());
    EXPECT_EQ((std::tuple{worm.openGates, OccupiedCells()}), (std::tuple{0, 0}));
}

// Every jump ends, whatever the timing of warps, growth and the jump: in a
// one-row corridor the worm warps and then jumps at every frame offset over
// two whole steps (a jump needs the keys released after the warp, so the
// earliest is the next frame), growing or not; on the timer level the clock may also
// reopen the exit at any frame of an automatic jump. Each run must leave the
// level with no gate left open and nothing of the worm left on the grid.
TEST_F(WormGateTest, EveryJumpEndsWhateverTheTimingOfWarpsGrowthAndTheClock) {
    const int framesPerStep = 14;  // 32 pixels at the ship's 2.4 a frame
    int runs = 0;
    for (int growing = 0; growing < 2; ++growing)
        for (int reopen = -1; reopen < 2 * framesPerStep; reopen += 3)
            for (int offset = 1; offset <= 2 * framesPerStep; ++offset) {
                grid.ClearAll();
                wallCount = 0;
                for (int x = 0; x < 20; ++x)
                    for (int y = 0; y < 14; ++y)
                        if (y != 6) PlaceWall(x, y);
                SeedRandom(uint32_t(1000 + offset));
                worm.length = growing ? 12 : 0;  // owes 4 segments after the restart, or nothing
                worm.Start(0, 6, 50);
                worm.shield = 100000;  // the far side may face the corridor's end
                worm.speed = worm.maxSpeed = 2.4f;
                worm.exited = 0;
                Step(3);
                const std::string run = "growing " + std::to_string(growing) + ", jump " + std::to_string(offset) +
                                        " frames after the warp, clock " + std::to_string(reopen);
                Press(kKeyWarp, 1);
                ASSERT_EQ(worm.openGates, 1) << run;
                for (int f = 0; f < offset; ++f) worm.Update(holding);
                if (reopen < 0) {
                    worm.exitOpen = 1;  // the exit is open: jump by key
                    Press(kKeyJump, 1);
                } else {
                    worm.exitOpen = 1;  // the automatic jump
                    worm.exitTimer = 100 * worm.stats.hsJumpSeconds - 1;
                    worm.Update(holding);
                    for (int f = 0; f < reopen && !worm.exited; ++f) worm.Update(holding);
                    worm.exitOpen = 1;  // the clock runs out during the jump
                    const int gates = worm.openGates;
                    worm.Update(holding);
                    ASSERT_LE(worm.openGates, gates) << run << ": a second jump gate";
                }
                ASSERT_EQ(worm.jumping, 1) << run;
                const int stepsAllowed = worm.length + worm.pendingGrowth + worm.openGates + 2;
                const int stepsBefore = worm.stepCount;
                for (int f = 0; f < 5000 && !worm.exited; ++f) worm.Update(holding);
                ASSERT_EQ(worm.exited, 1) << run << ": still jumping, open gates " << worm.openGates;
                EXPECT_LE(worm.stepCount - stepsBefore, stepsAllowed) << run;
                int occupied = 0;
                for (const GridObject* c : grid.cells) occupied += c && c->cellType == CellType::Occupied;
                EXPECT_EQ((std::tuple{worm.openGates, occupied}), (std::tuple{0, 0})) << run;
                ++runs;
            }
    EXPECT_EQ(runs, 2 * 10 * 28);
}

TEST_F(WormGateTest, TheStartGateMarksItsCellAndMovesFoodAway) {
    FoodItem& food = PlaceFood(3, 3, 2, 200, 0);
    worm.ShowStartGate(3, 3);
    EXPECT_EQ((std::tuple{food.cellType, grid.At(3, 3), grid.TypeAt(3, 3)}),
              (std::tuple{CellType::EatenFood, &worm.segments[kStartGateIndex], CellType::Occupied}));
    EXPECT_EQ((std::tuple{BackAt(96, 96), BackAt(127, 127), BackAt(128, 128)}),
              (std::tuple{kGateColour, kGateColour, 0}));
    for (int i = 0; i < 6; ++i) worm.ShowStartGate(3, 3);
    EXPECT_EQ(worm.gateSprite.frame, 1);  // three pictures, seven frames each
    worm.Start(3, 3, 50);
    EXPECT_EQ(grid.At(3, 3), &worm.segments[1]);
    grid.ClearAll();
    ClearSurface(backBuffer, 0);
    worm.stats.lives = 0;  // no lives: no gate
    worm.ShowStartGate(8, 8);
    EXPECT_EQ((std::tuple{grid.At(8, 8), BackAt(256, 256)}), (std::tuple{nullptr, 0}));
}

}  // namespace
