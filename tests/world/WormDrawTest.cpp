#include "WormFixture.h"

namespace {

class WormDrawTest : public WormTest {
protected:
    // A worm of head, one body segment and tail end in a row heading right:
    // tail end (6, 5), body (7, 5), head (8, 5), all out of their gates.
    void LayOut() {
        worm.length = 3;  // owes one segment
        worm.Start(5, 5, 50);
        Cruise();
        Step();
        Step();
        Step();
        ASSERT_EQ(worm.length, 3);
        ASSERT_EQ(Cell(1), (CellPos{8, 5}));
        ASSERT_EQ(Cell(2), (CellPos{7, 5}));
        ASSERT_EQ(Cell(3), (CellPos{6, 5}));
        for (int k = 1; k <= 3; ++k) ASSERT_EQ(worm.segments[k].warpPhase, 0);
        ClearSurface(backBuffer, 0);
    }
    // The colour over a horizontal run, or -1 when it is not one colour.
    int RunColour(int x0, int x1, int y) const {
        const uint8_t c = BackAt(x0, y);
        for (int x = x0; x <= x1; ++x)
            if (BackAt(x, y) != c) return -1;
        return c;
    }
};

TEST_F(WormDrawTest, AWormBetweenCellsIsDrawnAheadOfItsCellsByTheStepProgress) {
    LayOut();
    worm.stepProgress = 10.0f;
    worm.Draw(10.0f);
    // Head 266..297, body 234..265, tail end 202..233, all in row 160..191.
    EXPECT_EQ(RunColour(266, 297, 160), HeadColour(1));
    EXPECT_EQ(RunColour(234, 265, 175), BodyColour(1));
    EXPECT_EQ(RunColour(202, 233, 191), TailColour(1));
    EXPECT_EQ(BackAt(298, 160), 0);
    EXPECT_EQ(BackAt(201, 160), 0);
    EXPECT_EQ(BackAt(250, 159), 0);
    EXPECT_EQ(BackAt(250, 192), 0);
}

TEST_F(WormDrawTest, EachSegmentMovesAlongItsOwnHeading) {
    LayOut();
    for (int k = 1; k <= 3; ++k) worm.segments[k].heading = 2;
    worm.stepProgress = 7.9f;  // 7 whole pixels
    worm.Draw(7.9f);
    EXPECT_EQ(RunColour(256, 287, 167), HeadColour(2));
    EXPECT_EQ(BackAt(256, 166), 0);
    EXPECT_EQ(RunColour(224, 255, 198), BodyColour(2));
    EXPECT_EQ(RunColour(192, 223, 167), TailColour(2));

    // Up from the top row: the picture stops at the screen's top.
    worm.segments[1].cellY = 0;
    worm.segments[1].heading = 0;
    const CellPos at = worm.PixelPosition(1);
    EXPECT_EQ(at.x, 256);
    EXPECT_EQ(at.y, 0);
    // Right from the last column: held at 608.
    worm.segments[1].cellX = 19;
    worm.segments[1].heading = 1;
    EXPECT_EQ(worm.PixelPosition(1).x, 608);
    // Shake offsets move the picture; the tail end ignores them.
    worm.segments[2].offsetX = -5;
    worm.segments[2].offsetY = 3;
    worm.segments[2].heading = 1;
    EXPECT_EQ(worm.PixelPosition(2).x, 224 - 5 + 7);
    EXPECT_EQ(worm.PixelPosition(2).y, 163);
}

TEST_F(WormDrawTest, WhileGrowingTheTailEndStaysAndABodyPictureFillsTheGap) {
    LayOut();
    worm.pendingGrowth = 2;
    worm.stepProgress = 10.0f;
    worm.Draw(10.0f);
    EXPECT_EQ(RunColour(192, 223, 170), TailColour(1));  // in its own cell
    EXPECT_EQ(RunColour(224, 233, 170), BodyColour(1));  // stretched to 10 pixels
    EXPECT_EQ(RunColour(234, 265, 170), BodyColour(1));  // the body segment itself
    EXPECT_EQ(BackAt(191, 170), 0);

    // Heading up, the gap opens above the tail end.
    ClearSurface(backBuffer, 0);
    worm.segments[3].cellY = 8;
    worm.segments[3].heading = 0;
    worm.segments[2].heading = 0;
    worm.Draw(10.0f);
    EXPECT_EQ(RunColour(192, 223, 256), TailColour(0));
    EXPECT_EQ(BackAt(200, 287), TailColour(0));
    EXPECT_EQ(BackAt(200, 288), 0);
    EXPECT_EQ(BackAt(200, 255), BodyColour(0));
    EXPECT_EQ(BackAt(200, 246), BodyColour(0));
    EXPECT_EQ(BackAt(200, 245), 0);
}

TEST_F(WormDrawTest, AHeadComingOutOfAGateGrowsOverIt) {
    worm.Start(5, 5, 50);
    ClearSurface(backBuffer, 0);
    worm.stepProgress = 16.0f;
    worm.Draw(16.0f);
    // Gate at (160, 160); the head at half size about its box at (176, 160):
    // 17 pixels starting 8 inside.
    EXPECT_EQ(BackAt(160, 160), kGateColour);
    EXPECT_EQ(BackAt(183, 175), kGateColour);
    EXPECT_EQ(BackAt(184, 168), HeadColour(1));
    EXPECT_EQ(BackAt(200, 184), HeadColour(1));
    EXPECT_EQ(BackAt(201, 175), 0);  // beyond both gate and head
    // The tail end waits off the board: nothing of it below the arena.
    EXPECT_EQ(RunColour(0, 639, 470), 0);
}

TEST_F(WormDrawTest, ABodySegmentDivingIntoAGateShrinksAndShowsTheGateAhead) {
    LayOut();
    worm.segments[2].warpPhase = 1;
    worm.stepProgress = 16.0f;
    worm.Draw(16.0f);
    // The gate ahead of the body at (8, 5), under the head drawn after it.
    EXPECT_EQ(BackAt(256, 191), kGateColour);
    // The body at half size: box at (240, 160), picture 248..264.
    EXPECT_EQ(BackAt(248, 168), BodyColour(1));
    EXPECT_EQ(BackAt(264, 184), BodyColour(1));
    EXPECT_EQ(BackAt(247, 168), 0);
    EXPECT_EQ(BackAt(248, 167), 0);
    // The tail end, 16 pixels on from (192, 160), ends just before it.
    EXPECT_EQ(RunColour(208, 239, 168), TailColour(1));
}

}  // namespace
