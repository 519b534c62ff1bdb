#include "gfx/Sprite.h"

#include <gtest/gtest.h>

#include "support/FakeHost.h"

namespace {

class SpriteTest : public ::testing::Test, public DisplayFixtureBase {
protected:
    void SetUp() override {
        displayFailed = false;
        ASSERT_TRUE(InitDisplay(640, 480, 8));
        const Rect screen{0, 0, 640, 480};
        SetClipList(backBuffer, 1, &screen);
        strip = CreateSurface(240, 40, SystemMemory);
        // Each pixel holds its column (mod 250) + 1, so a copy shows where it came from.
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 240; ++x) strip->pixels[y * 240 + x] = static_cast<uint8_t>(x % 250 + 1);
        SetSourceColorKey(0, 0, strip);
        ClearSurface(backBuffer, 0);
    }
    void TearDown() override {
        ReleaseSurface(strip);
        ShutdownDisplay();
    }
    uint8_t BackAt(int x, int y) const { return backBuffer->pixels[y * 640 + x]; }
    Surface strip = nullptr;
};

TEST_F(SpriteTest, FramesAreCutOnePixelInsideTheirCells) {
    Sprite s;
    s.Init(strip, 0, 0, 33, 33, 6, 5);
    int32_t l, t, r, b;
    s.FrameRect(&l, &t, &r, &b);
    EXPECT_EQ(l, 1);
    EXPECT_EQ(t, 1);
    EXPECT_EQ(r, 33);
    EXPECT_EQ(b, 33);
    s.frame = 2;
    s.FrameRect(&l, &t, &r, &b);
    EXPECT_EQ(l, 67);
    EXPECT_EQ(r, 99);
    s.Draw(100, 50, backBuffer);
    EXPECT_EQ(BackAt(100, 50), 68);   // column 67 of the strip
    EXPECT_EQ(BackAt(131, 81), 99);   // column 98, the last of the picture
    EXPECT_EQ(BackAt(132, 50), 0);    // 32 x 32, no more
    EXPECT_EQ(s.x, 100);
    EXPECT_EQ(s.y, 50);
}

TEST_F(SpriteTest, AdvanceHoldsEachFrameForDelayPlusOneCalls) {
    Sprite s;
    s.Init(strip, 0, 0, 33, 33, 3, 0);
    EXPECT_FALSE(s.Advance());
    EXPECT_EQ(s.frame, 1);
    EXPECT_FALSE(s.Advance());
    EXPECT_EQ(s.frame, 2);
    EXPECT_TRUE(s.Advance());
    EXPECT_TRUE(s.Advance());
    EXPECT_EQ(s.frame, 2);

    Sprite loop;
    loop.Init(strip, 0, 0, 33, 33, 3, 2);
    int changes[9];
    for (int i = 0; i < 9; ++i) {
        loop.AdvanceLoop();
        changes[i] = loop.frame;
    }
    const int expect[9] = {0, 0, 1, 1, 1, 2, 2, 2, 0};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(changes[i], expect[i]) << "call " << i + 1;

    Sprite timer;
    timer.Init(strip, 0, 0, 33, 33, 13, 4);
    int fired = 0;
    for (int i = 0; i < 25; ++i) fired += timer.Tick() ? 1 : 0;
    EXPECT_EQ(fired, 5);
    EXPECT_EQ(timer.frame, 0);
}

TEST_F(SpriteTest, ContainsIncludesThreeExtraPixels) {
    Sprite s;
    s.Init(strip, 0, 0, 33, 33, 1, 0);
    EXPECT_FALSE(s.Contains(320, 240));  // never drawn: parked off the screen
    s.Draw(10, 20, backBuffer);
    EXPECT_TRUE(s.Contains(10, 20));
    EXPECT_TRUE(s.Contains(10 + 34, 20 + 34));
    EXPECT_FALSE(s.Contains(10 + 35, 20 + 34));
    EXPECT_FALSE(s.Contains(9, 20));
}

TEST_F(SpriteTest, ClippedDrawCutsAtItsLimits) {
    Sprite pointer;
    pointer.Init(strip, 0, 0, 32, 25, 1, 0);
    pointer.SetClip(640, 480);
    pointer.DrawClipped(630, 470, backBuffer);
    EXPECT_EQ(BackAt(630, 470), 2);
    EXPECT_EQ(BackAt(639, 479), 11);
    // A limit inside the screen cuts there too.
    ClearSurface(backBuffer, 0);
    pointer.SetClip(105, 480);
    pointer.DrawClipped(100, 100, backBuffer);
    EXPECT_NE(BackAt(104, 100), 0);
    EXPECT_EQ(BackAt(105, 100), 0);
}

TEST_F(SpriteTest, ScaledAndStretchedDraws) {
    Sprite s;
    s.Init(strip, 0, 0, 33, 33, 1, 0);  // cellWidth 34
    s.DrawScaled(100, 100, 0.5f, backBuffer);
    // 17 x 17 at (108, 108)
    EXPECT_NE(BackAt(108, 108), 0);
    EXPECT_NE(BackAt(124, 124), 0);
    EXPECT_EQ(BackAt(125, 124), 0);
    EXPECT_EQ(BackAt(107, 108), 0);
    EXPECT_EQ(s.x, 100);
    ClearSurface(backBuffer, 0);
    s.DrawWidth(200, 200, 5, backBuffer);
    EXPECT_NE(BackAt(204, 231), 0);
    EXPECT_EQ(BackAt(205, 200), 0);
    EXPECT_EQ(BackAt(200, 232), 0);
    ClearSurface(backBuffer, 0);
    s.DrawHeight(300, 300, 3, backBuffer);
    EXPECT_NE(BackAt(331, 302), 0);
    EXPECT_EQ(BackAt(300, 303), 0);
    // A frame far beyond the strip draws nothing rather than reading past it.
    ClearSurface(backBuffer, 0);
    s.frame = 1000000;
    s.Draw(0, 0, backBuffer);
    EXPECT_EQ(BackAt(0, 0), 0);
}

}  // namespace
