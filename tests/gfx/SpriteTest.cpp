#include "gfx/Sprite.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "support/FakeHost.h"

namespace {

class SpriteTest : public ::testing::Test, public DisplayFixtureBase {
protected:
    void SetUp() override {
        ASSERT_TRUE(StartTestDisplay());
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

TEST_F(SpriteTest, FramesAreCutOnePixelInsideTheirCellsAndHitsTakeThreeExtraPixels) {
    Sprite s;
    s.Init(strip, 0, 0, 33, 33, 6, 5);
    EXPECT_FALSE(s.Contains(320, 240));  // never drawn: parked off the screen
    int32_t l, t, r, b;
    s.FrameRect(&l, &t, &r, &b);
    EXPECT_EQ((std::tuple{l, t, r, b}), (std::tuple{1, 1, 33, 33}));
    s.frame = 2;
    s.FrameRect(&l, &t, &r, &b);
    EXPECT_EQ((std::tuple{l, r}), (std::tuple{67, 99}));
    s.Draw(100, 50, backBuffer);
    // Columns 67 to 98 of the strip, 32 x 32, no more.
    EXPECT_EQ((std::tuple{BackAt(100, 50), BackAt(131, 81), BackAt(132, 50), s.x, s.y}),
              (std::tuple{68, 99, 0, 100, 50}));
    EXPECT_EQ((std::tuple{s.Contains(100, 50), s.Contains(134, 84), s.Contains(135, 84), s.Contains(99, 50)}),
              (std::tuple{true, true, false, false}));
    ClearSurface(backBuffer, 0);
    s.frame = 1000000;  // beyond the strip: nothing drawn, nothing read past it
    s.Draw(0, 0, backBuffer);
    EXPECT_EQ(BackAt(0, 0), 0);
}

TEST_F(SpriteTest, AdvanceHoldsEachFrameForDelayPlusOneCalls) {
    Sprite once, loop, timer;
    once.Init(strip, 0, 0, 33, 33, 3, 0);
    loop.Init(strip, 0, 0, 33, 33, 3, 2);
    timer.Init(strip, 0, 0, 33, 33, 13, 4);
    std::vector<int> frames, loops;
    int ended = 0, fired = 0;
    for (int i = 0; i < 9; ++i) {
        ended += once.Advance();
        frames.push_back(once.frame);
        loop.AdvanceLoop();
        loops.push_back(loop.frame);
    }
    for (int i = 0; i < 25; ++i) fired += timer.Tick();
    EXPECT_EQ((std::tuple{frames, ended, loops, fired, timer.frame}),
              (std::tuple{std::vector<int>{1, 2, 2, 2, 2, 2, 2, 2, 2}, 7, std::vector<int>{0, 0, 1, 1, 1, 2, 2, 2, 0},
                          5, 0}));
}

}  // namespace
