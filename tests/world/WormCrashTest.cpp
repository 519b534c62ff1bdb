#include "WormFixture.h"

namespace {

// Seeds the generator so that a crash's distance draw (its second call) is d.
uint32_t SeedForCrashDistance(int d) {
    for (uint32_t seed = 1; seed < 100000; ++seed) {
        SeedRandom(seed);
        Rand();
        if (Rand() % 30 == d) {
            SeedRandom(seed);
            return seed;
        }
    }
    ADD_FAILURE() << "no seed gives distance " << d;
    return 0;
}

class WormCrashTest : public WormTest {
protected:
    // A worm started at (x, y) whose head then points `heading`, having
    // travelled `previous` before; the target cell is not in the grid.
    void Aim(int x, int y, int heading, int previous) {
        worm.Start(x, y, 50);
        grid.ClearCell(worm.segments[0].cellX, worm.segments[0].cellY);
        worm.segments[1].heading = heading;
        worm.segments[2].heading = previous;
        worm.SetTarget();
        SoundBank::ClearStartedLog();
    }
};

TEST_F(WormCrashTest, TheOpenWaySearchTakesTheLongestRunAndBreaksTiesUpRightDownLeft) {
    worm.segments[1].cellX = 5;
    worm.segments[1].cellY = 5;
    PlaceWall(11, 5);  // right: 5 free cells
    PlaceWall(5, 11);  // down: 5 free cells
    EXPECT_EQ(worm.FindOpenHeading(1), 0);
    PlaceWall(5, 4);
    EXPECT_EQ(worm.FindOpenHeading(1), 1);
    PlaceWall(6, 5);
    EXPECT_EQ(worm.FindOpenHeading(1), 2);
    PlaceWall(5, 6);
    EXPECT_EQ(worm.FindOpenHeading(1), 3);
    PlaceWall(4, 5);
    EXPECT_EQ(worm.FindOpenHeading(1), -1);

    // Food is free to pass; eaten food blocks.
    grid.ClearAll();
    PlaceWall(6, 5);
    PlaceWall(5, 6);
    PlaceWall(1, 5);  // left runs 3 cells
    PlaceFood(5, 4, 2, 200, 0);
    PlaceFood(5, 3, 2, 200, 0);
    EXPECT_EQ(worm.FindOpenHeading(1), 0);  // up runs 5 cells over the food
    FoodItem& eaten = PlaceFood(5, 2, 2, 200, 0);
    eaten.cellType = CellType::EatenFood;
    EXPECT_EQ(worm.FindOpenHeading(1), 3);  // up now runs 2
}

TEST_F(WormCrashTest, AHeadGoingUpInRowZeroCrashesAndBouncesTheMostOpenWay) {
    Aim(6, 0, 0, 0);
    EXPECT_EQ(Cell(0), (CellPos{6, -1}));
    worm.CheckTarget();
    EXPECT_EQ(worm.alive, 1);
    EXPECT_EQ(worm.crashing, 1);
    EXPECT_EQ(worm.speed, 0.0f);
    EXPECT_TRUE(Played(Worm::kSoundSmallCollide) || Played(Worm::kSoundPlasma));
    // Right and down both run 13 cells: right comes first.
    EXPECT_EQ(worm.Heading(), 1);
    EXPECT_EQ(Cell(0), (CellPos{7, 0}));
    EXPECT_EQ(Cell(1), (CellPos{6, 0}));
}

TEST_F(WormCrashTest, TheBounceTriesThePreviousHeadingFirst) {
    // Travelling right, just turned up into a wall; left is the most open way.
    Aim(10, 5, 0, 1);
    worm.shield = 1000;
    PlaceWall(10, 4);
    worm.CheckTarget();
    EXPECT_EQ(worm.Heading(), 1);
    EXPECT_EQ(Cell(0), (CellPos{11, 5}));

    PlaceWall(11, 5);
    worm.segments[1].heading = 0;
    worm.SetTarget();
    worm.CheckTarget();
    EXPECT_EQ(worm.Heading(), 3);
    EXPECT_EQ(Cell(0), (CellPos{9, 5}));
}

TEST_F(WormCrashTest, ABounceOntoFoodEatsIt) {
    Aim(10, 5, 0, 1);
    PlaceWall(10, 4);
    FoodItem& food = PlaceFood(11, 5, 4, 500, 0, 7);
    worm.CheckTarget();
    EXPECT_EQ(food.cellType, CellType::EatenFood);
    EXPECT_EQ(worm.pendingGrowth, 4);
    EXPECT_TRUE(Played(7));
}

TEST_F(WormCrashTest, AWormBoxedInOnAllFourSidesDies) {
    Aim(10, 5, 0, 1);
    PlaceWall(10, 4);
    PlaceWall(11, 5);
    PlaceWall(10, 6);
    PlaceWall(9, 5);
    worm.CheckTarget();
    EXPECT_EQ(worm.alive, 0);
    EXPECT_EQ(worm.active, 1);
    EXPECT_EQ(worm.stats.lives, 2);
    EXPECT_TRUE(Played(Worm::kSoundDeath));
    // Its cells leave the grid, the cell it crashed into included.
    EXPECT_EQ(grid.At(10, 5), nullptr);
    EXPECT_EQ(grid.At(10, 4), nullptr);
    EXPECT_EQ(grid.TypeAt(11, 5), CellType::Wall);
}

TEST_F(WormCrashTest, AWormBoxedInAtItsStartCellDiesThereAndLeavesNothingBehind) {
    PlaceWall(10, 4);
    PlaceWall(11, 5);
    PlaceWall(10, 6);
    PlaceWall(9, 5);
    // A cell that a stale tail record of an earlier life would name.
    worm.segments[2].cellX = 2;
    worm.segments[2].cellY = 2;
    GridObject other;
    other.cellX = 2;
    other.cellY = 2;
    other.cellType = CellType::Occupied;
    grid.Place(&other);

    worm.Start(10, 5, 50);
    EXPECT_EQ(worm.alive, 0);
    EXPECT_EQ(worm.active, 1);
    EXPECT_EQ(worm.stats.lives, 2);
    EXPECT_EQ(grid.At(10, 5), nullptr);
    EXPECT_EQ(grid.At(2, 2), &other);
    EXPECT_EQ(grid.TypeAt(11, 5), CellType::Wall);
}

TEST_F(WormCrashTest, ACrashOfDistanceZeroCostsNothingButStillStops) {
    Aim(10, 5, 0, 1);
    PlaceWall(10, 4);
    worm.speed = 2.0f;
    SeedForCrashDistance(0);
    worm.CheckTarget();
    EXPECT_EQ(worm.shield, 90);
    EXPECT_EQ(worm.speed, 0.0f);
    EXPECT_EQ(worm.crashing, 1);
    EXPECT_EQ(worm.segments[2].offsetX, 0);
    EXPECT_EQ(worm.segments[2].offsetY, 0);
}

TEST_F(WormCrashTest, AShieldOfExactlyZeroSurvivesAndBelowZeroIsFatal) {
    Aim(10, 5, 0, 1);
    PlaceWall(10, 4);
    worm.shield = 40;
    SeedForCrashDistance(20);
    worm.CheckTarget();
    EXPECT_EQ(worm.shield, 0);
    EXPECT_EQ(worm.alive, 1);

    Aim(10, 5, 0, 1);
    worm.shield = 39;
    SeedForCrashDistance(20);
    worm.CheckTarget();
    EXPECT_EQ(worm.shield, -1);
    EXPECT_EQ(worm.alive, 0);
}

TEST_F(WormCrashTest, TheBodyJumpsAwayFromTheEdgesAndDriftsBack) {
    worm.length = 4;
    worm.segments[2].cellX = 0;  // left edge: pushed right
    worm.segments[2].cellY = 5;
    worm.segments[3].cellX = 7;  // bottom row: the usual jump up and left
    worm.segments[3].cellY = 13;
    worm.segments[4].cellX = 1;  // off the board below: pushed back up
    worm.segments[4].cellY = 30;
    worm.Scatter(20);
    EXPECT_EQ(worm.segments[2].offsetX, 20);
    EXPECT_EQ(worm.segments[2].offsetY, -20);
    EXPECT_EQ(worm.segments[3].offsetX, -20);
    EXPECT_EQ(worm.segments[3].offsetY, -20);
    EXPECT_EQ(worm.segments[4].offsetX, -20);
    EXPECT_EQ(worm.segments[4].offsetY, 20);
    worm.segments[3].cellY = 0;  // top row
    worm.Scatter(5);
    EXPECT_EQ(worm.segments[3].offsetY, 5);

    // Settling moves every offset toward 0, at most one pixel a call.
    for (int i = 0; i < 300; ++i) {
        const int before = worm.segments[2].offsetY;
        worm.Settle(2);
        EXPECT_LE(worm.segments[2].offsetY - before, 1);
        EXPECT_GE(worm.segments[2].offsetY - before, 0);
    }
    EXPECT_EQ(worm.segments[2].offsetX, 0);
    EXPECT_EQ(worm.segments[2].offsetY, 0);
}

TEST_F(WormCrashTest, TheCrashPictureRunsItsThirteenFramesOverTheHead) {
    Aim(10, 5, 0, 1);
    PlaceWall(10, 4);
    worm.CheckTarget();
    ASSERT_EQ(worm.crashing, 1);
    worm.stepProgress = 0.0f;
    int calls = 0;
    while (worm.crashing && calls < 200) {
        ClearSurface(backBuffer, 0);
        worm.DrawCrash();
        ++calls;
    }
    EXPECT_EQ(calls, 65);  // 13 pictures, one every 5 frames
    EXPECT_EQ(worm.segments[1].animCounter, 0);
    EXPECT_EQ(worm.crashSprites[1].frame, 12);
    EXPECT_EQ(BackAt(320, 160), CrashColour(1));
    EXPECT_EQ(BackAt(351, 191), CrashColour(1));
}

TEST_F(WormCrashTest, ADeadWormRestartsOwingAThirdOfItsLength) {
    worm.Start(5, 5, 50);
    worm.length = 30;
    worm.Die();
    EXPECT_EQ(worm.lengthTotal, 30);
    EXPECT_EQ(worm.stats.lives, 2);
    EXPECT_EQ(worm.length, 30);

    worm.Start(5, 5, 50);
    EXPECT_EQ(worm.pendingGrowth, 10);
    EXPECT_EQ(worm.length, 2);
    EXPECT_EQ(worm.shield, 90);
    Cruise();
    Step();
    EXPECT_EQ(worm.length, 3);
    EXPECT_EQ(worm.pendingGrowth, 9);

    worm.stats.lives = 0;
    worm.Die();
    EXPECT_EQ(worm.stats.lives, 0);
    worm.Start(5, 5, 50);  // out of lives: no start
    EXPECT_EQ(worm.alive, 0);
}

TEST_F(WormCrashTest, EverySegmentButTheTailEndRunsThroughTwentySevenExplosionPictures) {
    worm.length = 6;  // owes two segments
    worm.Start(5, 5, 50);
    Cruise();
    Step();
    Step();
    Step();
    ASSERT_EQ(worm.length, 4);
    ASSERT_EQ(Cell(1), (CellPos{8, 5}));
    worm.Die();

    bool seen[27] = {};
    int frames = 0;
    while (worm.active && frames < 5000) {
        ClearSurface(backBuffer, 0);
        const int c = worm.segments[1].animCounter;
        worm.Update();
        ++frames;
        if (worm.active && c < 27) {
            seen[c] = true;
            // (300, 170) lies in the head's picture only, which is centred on its cell.
            EXPECT_EQ(BackAt(300, 170), ExplosionColour(c / 9)) << "picture " << c;
            EXPECT_LE(worm.segments[1].animCounter - c, 1);
        }
    }
    EXPECT_FALSE(worm.active);
    for (int c = 0; c < 27; ++c) EXPECT_TRUE(seen[c]) << c;
    for (int k = 1; k <= 3; ++k) EXPECT_EQ(worm.segments[k].animCounter, 27) << k;
    EXPECT_EQ(worm.segments[4].animCounter, 0);
    EXPECT_GT(frames, 27 * 3);

    // Nothing is drawn by an explosion that has ended.
    ClearSurface(backBuffer, 0);
    worm.Update();
    EXPECT_EQ(BackAt(300, 170), 0);
}

TEST_F(WormCrashTest, AShortWormExplodesAtItsHeadOnlyAndAStubIsGoneAtOnce) {
    worm.Start(0, 0, 50);
    worm.Die();
    ClearSurface(backBuffer, 0);
    worm.Update();
    EXPECT_EQ(worm.active, 1);
    // Clamped onto the board: the picture's corner is at (0, 0).
    EXPECT_EQ(BackAt(0, 0), ExplosionColour(0));
    EXPECT_EQ(BackAt(63, 63), ExplosionColour(0));
    EXPECT_EQ(worm.segments[2].animCounter, 0);

    worm.length = 1;
    worm.Update();
    EXPECT_EQ(worm.active, 0);
}

// The generator's state after n more draws.
uint32_t After(uint32_t state, int n) {
    for (int i = 0; i < n; ++i) state = state * 214013u + 2531011u;
    return state;
}

TEST_F(WormCrashTest, RandomNumbersAreDrawnOnlyWhereTheyShapeTheGame) {
    worm.length = 6;
    worm.Start(5, 5, 50);
    Cruise();
    Step();
    Step();
    Step();
    ASSERT_EQ(worm.length, 4);

    // Settling draws one number per offset that is not yet 0.
    uint32_t s = RandomState();
    worm.Settle(2);
    EXPECT_EQ(RandomState(), s);
    worm.segments[2].offsetX = 3;
    worm.Settle(2);
    EXPECT_EQ(RandomState(), After(s, 1));
    worm.segments[2].offsetX = 3;
    worm.segments[2].offsetY = -3;
    s = RandomState();
    worm.Settle(2);
    EXPECT_EQ(RandomState(), After(s, 2));
    worm.segments[2].offsetX = worm.segments[2].offsetY = 0;

    // A calm worm draws nothing while it moves and is drawn.
    s = RandomState();
    for (int i = 0; i < 3; ++i) worm.Update();
    EXPECT_EQ(RandomState(), s);

    // A crash draws two: the sound, then the distance.
    for (uint32_t seed = 1;; ++seed) {
        SeedRandom(seed);
        if (Rand() % 2 == 1) {
            SeedRandom(seed);
            break;
        }
    }
    s = RandomState();
    PlaceWall(worm.segments[0].cellX, worm.segments[0].cellY);
    SoundBank::ClearStartedLog();
    worm.CheckTarget();
    EXPECT_EQ(RandomState(), After(s, 2));
    EXPECT_TRUE(Played(Worm::kSoundSmallCollide));
    EXPECT_FALSE(Played(Worm::kSoundPlasma));

    // A jumping worm draws one a frame for its score (its offsets at rest).
    for (int k = 2; k <= worm.length; ++k) worm.segments[k].offsetX = worm.segments[k].offsetY = 0;
    worm.crashing = 0;
    worm.StartJump();
    s = RandomState();
    worm.Update();
    EXPECT_EQ(RandomState(), After(s, 1));

    // An exploding worm draws one per segment still exploding.
    worm.Die();
    s = RandomState();
    worm.Update();
    EXPECT_EQ(RandomState(), After(s, 3));
    worm.segments[2].animCounter = 27;
    s = RandomState();
    worm.Update();
    EXPECT_EQ(RandomState(), After(s, 2));
}

}  // namespace
