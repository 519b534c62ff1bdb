#include "gfx/PaletteFader.h"

#include <gtest/gtest.h>

#include "gfx/Display.h"
#include "support/FakeHost.h"

namespace {

class FaderTest : public ::testing::Test, public DisplayFixtureBase {
protected:
    void SetUp() override {
        displayFailed = false;
        ASSERT_TRUE(InitDisplay(640, 480, 8));
        PaletteEntry black[256] = {};
        CreateDisplayPalette(black);
    }
    void TearDown() override { ShutdownDisplay(); }
    PaletteFader fader;
};

TEST_F(FaderTest, StepLeavesChannelsWithinTheStepOfTheTarget) {
    PaletteEntry pal[256] = {};
    pal[0] = {7, 6, 13, 4};
    EXPECT_FALSE(fader.StepToColor(pal, 0, 256, 0, 0, 0, 6));
    EXPECT_EQ(pal[0].red, 1);    // 7 -> 1, then stays
    EXPECT_EQ(pal[0].green, 6);  // within 6 of 0: untouched
    EXPECT_EQ(pal[0].blue, 7);
    EXPECT_FALSE(fader.StepToColor(pal, 0, 1, 0, 0, 0, 6));  // blue 7 still moves
    EXPECT_EQ(pal[0].blue, 1);
    EXPECT_TRUE(fader.StepToColor(pal, 0, 256, 0, 0, 0, 6));
    EXPECT_EQ(pal[0].red, 1);
}

TEST_F(FaderTest, BlackPaletteIsReachedAtOnce) {
    PaletteEntry pal[256] = {};
    EXPECT_TRUE(fader.StepToColor(pal, 0, 256, 0, 0, 0, 6));
    EXPECT_TRUE(fader.StepToPalette(pal, pal, 6));
}

TEST_F(FaderTest, FadeUpEndsShortOfTheTarget) {
    PaletteEntry target[256];
    for (auto& e : target) e = {10, 250, 128, 4};
    fader.FadeIn(target);
    PaletteEntry shown[256];
    GetDisplayPalette(0, 256, shown);
    EXPECT_EQ(shown[3].red, 6);
    EXPECT_EQ(shown[3].green, 246);
    EXPECT_EQ(shown[3].blue, 126);
}

TEST_F(FaderTest, FullFadeTakesFortyThreeStepsAndEndsNearBlack) {
    PaletteEntry white[256];
    for (auto& e : white) e = {255, 100, 0, 4};
    SetDisplayPalette(0, 256, white);
    int steps = 1;
    while (!fader.StepToColor(nullptr, 0, 256, 0, 0, 0, 6)) ++steps;
    EXPECT_EQ(steps, 43);
    PaletteEntry shown[256];
    GetDisplayPalette(0, 256, shown);
    EXPECT_EQ(shown[0].red, 3);
    EXPECT_EQ(shown[0].green, 4);
    // FadeOut paces each moving step through the host.
    SetDisplayPalette(0, 256, white);
    host.fadeSteps = 0;
    fader.FadeOut();
    EXPECT_EQ(host.fadeSteps, 42);
}

TEST_F(FaderTest, BlackOutWritesEveryEntry) {
    PaletteEntry white[256];
    for (auto& e : white) e = {255, 255, 255, 4};
    SetDisplayPalette(0, 256, white);
    BlackOutPalette();
    PaletteEntry shown[256];
    GetDisplayPalette(0, 256, shown);
    for (const auto& e : shown) {
        ASSERT_EQ(e.red + e.green + e.blue, 0);
        ASSERT_EQ(e.flags, 4);
    }
}

}  // namespace
