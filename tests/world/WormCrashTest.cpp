#include <set>

#include "WormFixture.h"

namespace {

// Seeds the generator so that a crash's sound draw is `sound` (any when -1) and its distance draw d (any when -1).
void SeedCrash(int d, int sound = -1) {
    for (uint32_t seed = 1; seed < 100000; ++seed) {
        SeedRandom(seed);
        const int s = Rand() % 2;
        if ((sound < 0 || s == sound) && (d < 0 || Rand() % 30 == d)) return SeedRandom(seed);
    }
    ADD_FAILURE() << "no seed gives distance " << d;
}

// The generator's state after n more draws.
uint32_t After(uint32_t state, int n) {
    for (int i = 0; i < n; ++i) state = state * 214013u + 2531011u;
    return state;
}

class WormCrashTest : public WormTest {
protected:
    // A worm at (x, y) whose head points `heading` after travelling `previous`; its target is not in the grid.
    void Aim(int x, int y, int heading, int previous) {
        worm.Start(x, y, 50);
        grid.ClearCell(worm.segments[0].cellX, worm.segments[0].cellY);
        worm.segments[1].heading = heading;
        worm.segments[2].heading = previous;
        worm.SetTarget();
        SoundBank::ClearStartedLog();
    }
    void BoxIn(int x, int y) {
        for (int h = 0; h < 4; ++h) PlaceWall(x + kHeadingDx[h], y + kHeadingDy[h]);
    }
    void ThreeSegmentsAt8_5() {  // head (8, 5), tail end (5, 5)
        worm.length = 6;
        worm.Start(5, 5, 50);
        Cruise();
        Step(3);
        ASSERT_EQ((std::tuple{worm.length, Cell(1)}), (std::tuple{4, P{8, 5}}));
    }
};

TEST_F(WormCrashTest, TheOpenWaySearchTakesTheLongestRunOverFoodAndBreaksTiesUpRightDownLeft) {
    worm.segments[1].cellX = worm.segments[1].cellY = 5;
    PlaceWall(11, 5);  // right and down: 5 free cells
    PlaceWall(5, 11);
    const int blocked[][2] = {{5, 4}, {6, 5}, {5, 6}, {4, 5}};
    for (int h = 0; h <= 4; ++h) {
        EXPECT_EQ(worm.FindOpenHeading(1), h < 4 ? h : -1) << h;
        if (h < 4) PlaceWall(blocked[h][0], blocked[h][1]);
    }
    grid.ClearAll();
    for (auto [x, y] : {P{6, 5}, P{5, 6}, P{1, 5}}) PlaceWall(x, y);  // left runs 3 cells
    PlaceFood(5, 4, 2, 200, 0);
    PlaceFood(5, 3, 2, 200, 0);
    EXPECT_EQ(worm.FindOpenHeading(1), 0);  // up runs 5 over the food
    PlaceFood(5, 2, 2, 200, 0).cellType = CellType::EatenFood;
    EXPECT_EQ(worm.FindOpenHeading(1), 3);  // eaten food blocks
}

TEST_F(WormCrashTest, LeavingTheBoardCrashesAndBouncesTheMostOpenWay) {
    Aim(6, 0, 0, 0);
    worm.CheckTarget();
    EXPECT_EQ((std::tuple{worm.alive, worm.crashing, worm.speed}), (std::tuple{1, 1, 0.0f}));
    EXPECT_TRUE(Played(kSoundSmallCollide) || Played(kSoundPlasma));
    EXPECT_EQ((std::tuple{worm.Heading(), Cell(0), Cell(1)}),
              (std::tuple{1, P{7, 0}, P{6, 0}}));  // right and down tie at 13
}

TEST_F(WormCrashTest, TheBounceTriesThePreviousHeadingFirstAndEatsFoodThere) {
    Aim(10, 5, 0, 1);  // travelling right, just turned up into a wall; left is the most open way
    worm.shield = 1000;
    PlaceWall(10, 4);
    FoodItem& food = PlaceFood(11, 5, 4, 500, 0, kSoundGrow2);
    worm.CheckTarget();
    EXPECT_EQ((std::tuple{worm.Heading(), Cell(0), food.cellType, worm.pendingGrowth}),
              (std::tuple{1, P{11, 5}, CellType::EatenFood, 4}));
    EXPECT_TRUE(Played(kSoundGrow2));
    PlaceWall(11, 5);
    worm.segments[1].heading = 0;
    worm.SetTarget();
    worm.CheckTarget();
    EXPECT_EQ((std::tuple{worm.Heading(), Cell(0)}), (std::tuple{3, P{9, 5}}));
}

TEST_F(WormCrashTest, AWormBoxedInDiesAndLeavesTheGridEvenAtItsStartCellTouchingNoStaleCell) {
    Aim(10, 5, 0, 1);
    BoxIn(10, 5);
    worm.CheckTarget();
    // its cells leave the grid, the cell it crashed into included
    EXPECT_EQ(
        (std::tuple{worm.alive, worm.active, worm.stats.lives, grid.At(10, 5), grid.At(10, 4), grid.TypeAt(11, 5)}),
        (std::tuple{0, 1, 2, nullptr, nullptr, CellType::Wall}));
    EXPECT_TRUE(Played(kSoundDeath));

    grid.ClearAll();
    BoxIn(3, 5);
    worm.segments[2].cellX = worm.segments[2].cellY = 2;  // a stale tail record of an earlier life
    GridObject other{2, 2, 0, 0, CellType::Occupied};
    grid.Place(&other);
    worm.Start(3, 5, 50);
    EXPECT_EQ((std::tuple{worm.alive, worm.active, worm.stats.lives, grid.At(3, 5), grid.At(2, 2), grid.TypeAt(4, 5)}),
              (std::tuple{0, 1, 1, nullptr, &other, CellType::Wall}));
}

TEST_F(WormCrashTest, ACrashCostsTwiceItsDistanceAndOnlyAShieldBelowZeroIsFatal) {
    const int cases[][4] = {{0, 90, 90, 1}, {20, 40, 0, 1}, {20, 39, -1, 0}};  // distance, shield, after, alive
    for (const auto& [d, shield, after, alive] : cases) {
        Aim(10, 5, 0, 1);
        PlaceWall(10, 4);
        worm.shield = shield;
        worm.speed = 2.0f;
        SeedCrash(d);
        worm.CheckTarget();
        EXPECT_EQ((std::tuple{worm.shield, worm.alive, worm.speed}), (std::tuple{after, alive, 0.0f}))
            << d << " " << shield;
        if (alive) {
            EXPECT_EQ(worm.segments[2].offsetX, -d);
        }
    }
}

TEST_F(WormCrashTest, TheBodyJumpsAwayFromTheEdgesAndDriftsBackAPixelAtATime) {
    worm.length = 4;
    const P cells[] = {{0, 5}, {7, 13}, {1, 30}};  // left edge, bottom row, off the board below
    for (int k = 2; k <= 4; ++k) std::tie(worm.segments[k].cellX, worm.segments[k].cellY) = cells[k - 2];
    worm.Scatter(20);
    auto offsets = [&](int k) { return P{worm.segments[k].offsetX, worm.segments[k].offsetY}; };
    EXPECT_EQ((std::tuple{offsets(2), offsets(3), offsets(4)}), (std::tuple{P{20, -20}, P{-20, -20}, P{-20, 20}}));
    worm.segments[3].cellY = 0;  // top row
    worm.Scatter(5);
    EXPECT_EQ(worm.segments[3].offsetY, 5);
    for (int i = 0; i < 300; ++i) {
        const int before = worm.segments[2].offsetY;
        worm.Settle(2);
        EXPECT_GE(worm.segments[2].offsetY - before, 0);
        EXPECT_LE(worm.segments[2].offsetY - before, 1);
    }
    EXPECT_EQ(offsets(2), P(0, 0));
}

TEST_F(WormCrashTest, TheCrashPictureRunsItsThirteenFramesOverTheHead) {
    Aim(10, 5, 0, 1);
    PlaceWall(10, 4);
    worm.CheckTarget();
    worm.stepProgress = 0.0f;
    int calls = 0;
    for (; worm.crashing && calls < 200; ++calls) worm.DrawCrash();
    EXPECT_EQ((std::tuple{calls, worm.segments[1].animCounter, worm.crashSprites[1].frame}),
              (std::tuple{65, 0, 12}));  // one picture every 5 frames
    EXPECT_EQ((std::tuple{BackAt(320, 160), BackAt(351, 191)}), (std::tuple{CrashColour(1), CrashColour(1)}));
}

// A worm started again (a new life, level or game) keeps nothing of an
// earlier crash's picture: a crash whose head turns, as a bounce turns it,
// to the heading an earlier crash ended on runs as long as it does for a
// worm that never crashed (as a replay, played from a fresh start, runs it).
TEST_F(WormCrashTest, AWormStartedAgainKeepsNothingOfAnEarlierCrashPicture) {
    constexpr int kTurnAt = 7;
    auto crashFrames = [&] {
        Aim(10, 5, 0, 1);
        PlaceWall(10, 4);
        worm.CheckTarget();
        worm.stepProgress = 0.0f;
        const int turnTo = (worm.segments[1].heading + 2) & 3;
        int calls = 0;
        for (; worm.crashing && calls < 200; ++calls) {
            if (calls == kTurnAt) worm.segments[1].heading = turnTo;
            worm.DrawCrash();
        }
        return calls;
    };
    const int fresh = crashFrames();
    EXPECT_GT(fresh, kTurnAt + 1);
    EXPECT_EQ(crashFrames(), fresh);  // the first crash ended on turnTo's last picture
    // A crash cut short leaves none of its pace either.
    Aim(10, 5, 0, 1);
    PlaceWall(10, 4);
    worm.CheckTarget();
    worm.DrawCrash();
    worm.DrawCrash();
    EXPECT_EQ(crashFrames(), fresh);
}

TEST_F(WormCrashTest, ADeadWormRestartsOwingAThirdOfItsLengthUntilItsLivesRunOut) {
    worm.Start(5, 5, 50);
    worm.length = 30;
    worm.Die();
    EXPECT_EQ((std::tuple{worm.lengthTotal, worm.stats.lives}), (std::tuple{30, 2}));
    worm.Start(5, 5, 50);
    EXPECT_EQ((std::tuple{worm.pendingGrowth, worm.length, worm.shield}), (std::tuple{10, 2, 90}));
    worm.stats.lives = 0;
    worm.Die();
    worm.Start(5, 5, 50);
    EXPECT_EQ((std::tuple{worm.stats.lives, worm.alive}), (std::tuple{0, 0}));
}

TEST_F(WormCrashTest, EverySegmentButTheTailEndRunsThroughTwentySevenExplosionPictures) {
    ThreeSegmentsAt8_5();
    worm.Die();
    std::set<int> seen;
    int frames = 0;
    for (; worm.active && frames < 5000; ++frames) {
        ClearSurface(backBuffer, 0);
        const int c = worm.segments[1].animCounter;
        worm.Update(holding);
        if (!worm.active || c >= 27) continue;
        seen.insert(c);
        // (300, 170) lies in the head's picture only, which is centred on its cell.
        EXPECT_EQ(BackAt(300, 170), ExplosionColour(c / 9)) << "picture " << c;
        EXPECT_LE(worm.segments[1].animCounter - c, 1);
    }
    EXPECT_EQ(seen.size(), 27u);
    EXPECT_GT(frames, 27 * 3);
    for (int k = 1; k <= 4; ++k) EXPECT_EQ(worm.segments[k].animCounter, k < 4 ? 27 : 0) << k;
    ClearSurface(backBuffer, 0);
    worm.Update(holding);
    EXPECT_EQ(BackAt(300, 170), 0);

    worm.Start(0, 0, 50);  // at the corner the picture is held on the board
    worm.Die();
    worm.Update(holding);
    EXPECT_EQ((std::tuple{worm.active, BackAt(0, 0), BackAt(63, 63)}),
              (std::tuple{1, ExplosionColour(0), ExplosionColour(0)}));
    worm.length = 1;  // a stub is gone at once
    worm.Update(holding);
    EXPECT_EQ(worm.active, 0);
}

TEST_F(WormCrashTest, RandomNumbersAreDrawnOnlyWhereTheyShapeTheGame) {
    ThreeSegmentsAt8_5();
    auto draws = [](auto action) {  // how many numbers an action draws
        const uint32_t before = RandomState();
        action();
        for (int n = 0; n < 10; ++n)
            if (After(before, n) == RandomState()) return n;
        return -1;
    };
    Segment& s2 = worm.segments[2];
    EXPECT_EQ(draws([&] { worm.Settle(2); }), 0);  // settling: one per offset not yet 0
    s2.offsetX = 3;
    EXPECT_EQ(draws([&] { worm.Settle(2); }), 1);
    s2.offsetX = 3, s2.offsetY = -3;
    EXPECT_EQ(draws([&] { worm.Settle(2); }), 2);
    s2.offsetX = s2.offsetY = 0;
    EXPECT_EQ(draws([&] {
                  for (int i = 0; i < 3; ++i) worm.Update(holding);
              }),
              0);  // a calm worm
    SeedCrash(-1, 1);
    PlaceWall(Cell(0).first, Cell(0).second);
    SoundBank::ClearStartedLog();
    EXPECT_EQ(draws([&] { worm.CheckTarget(); }), 2);  // a crash: the sound, then the distance
    EXPECT_EQ((std::tuple{Played(kSoundSmallCollide), Played(kSoundPlasma)}), (std::tuple{true, false}));
    for (int k = 2; k <= worm.length; ++k) worm.segments[k].offsetX = worm.segments[k].offsetY = 0;
    worm.crashing = 0;
    worm.StartJump();
    EXPECT_EQ(draws([&] { worm.Update(holding); }), 1);  // jumping: one for the score
    worm.Die();
    EXPECT_EQ(draws([&] { worm.Update(holding); }), 3);  // exploding: one per segment still exploding
    s2.animCounter = 27;
    EXPECT_EQ(draws([&] { worm.Update(holding); }), 2);
}

}  // namespace
