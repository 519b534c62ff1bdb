#include "WormFixture.h"

namespace {

class WormDrawTest : public WormTest {
protected:
    // Heading right, out of their gates: tail end (6, 5), body (7, 5), head (8, 5).
    void LayOut() {
        worm.length = 3;  // owes one segment
        worm.Start(5, 5, 50);
        Cruise();
        Step(3);
        ASSERT_EQ((std::tuple{worm.length, Cell(3)}), (std::tuple{3, P{6, 5}}));
        ClearSurface(backBuffer, 0);
    }
    // The colour over a horizontal run, or -1 when it is not one colour.
    int RunColour(int x0, int x1, int y) const {
        for (int x = x0; x <= x1; ++x)
            if (BackAt(x, y) != BackAt(x0, y)) return -1;
        return BackAt(x0, y);
    }
    void Draw(float progress) { worm.Draw(worm.stepProgress = progress); }
};

TEST_F(WormDrawTest, EachSegmentIsDrawnAlongItsOwnHeadingByTheWholePixelsOfProgress) {
    LayOut();
    Draw(10.0f);
    EXPECT_EQ((std::tuple{RunColour(266, 297, 160), RunColour(234, 265, 175), RunColour(202, 233, 191)}),
              (std::tuple{HeadColour(1), BodyColour(1), TailColour(1)}));
    EXPECT_EQ(BackAt(298, 160) + BackAt(201, 160) + BackAt(250, 159) + BackAt(250, 192), 0);
    ClearSurface(backBuffer, 0);
    for (int k = 1; k <= 3; ++k) worm.segments[k].heading = k == 2 ? 3 : 2;
    Draw(7.9f);
    EXPECT_EQ(
        (std::tuple{RunColour(256, 287, 167), BackAt(256, 166), RunColour(217, 248, 160), RunColour(192, 216, 167)}),
        (std::tuple{HeadColour(2), 0, BodyColour(3), TailColour(2)}));
    worm.segments[1].cellY = 0;  // up from the top row: held at 0
    worm.segments[1].heading = 0;
    EXPECT_EQ((std::tuple{worm.PixelPosition(1).x, worm.PixelPosition(1).y}), (std::tuple{256, 0}));
    worm.segments[1].cellX = 19;  // right from the last column: held at 608
    worm.segments[1].heading = 1;
    EXPECT_EQ(worm.PixelPosition(1).x, 608);
    worm.segments[2].offsetX = -5;  // shake offsets move a body segment
    worm.segments[2].offsetY = 3;
    EXPECT_EQ((std::tuple{worm.PixelPosition(2).x, worm.PixelPosition(2).y}), (std::tuple{224 - 5 - 7, 163}));
}

TEST_F(WormDrawTest, WhileGrowingTheTailEndStaysAndABodyPictureFillsTheGap) {
    LayOut();
    worm.pendingGrowth = 2;
    Draw(10.0f);
    EXPECT_EQ((std::tuple{RunColour(192, 223, 170), RunColour(224, 265, 170), BackAt(191, 170)}),
              (std::tuple{TailColour(1), BodyColour(1), 0}));  // in its own cell; 10 stretched pixels, then the body
    ClearSurface(backBuffer, 0);
    worm.segments[3].cellY = 8;  // heading up, the gap opens above the tail end
    worm.segments[3].heading = worm.segments[2].heading = 0;
    Draw(10.0f);
    EXPECT_EQ((std::tuple{RunColour(192, 223, 256), BackAt(200, 287), BackAt(200, 288)}),
              (std::tuple{TailColour(0), TailColour(0), 0}));
    EXPECT_EQ((std::tuple{BackAt(200, 255), BackAt(200, 246), BackAt(200, 245)}),
              (std::tuple{BodyColour(0), BodyColour(0), 0}));
}

}  // namespace
