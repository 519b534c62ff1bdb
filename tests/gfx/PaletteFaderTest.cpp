#include "gfx/PaletteFader.h"

#include <gtest/gtest.h>

#include <tuple>

#include "gfx/Display.h"
#include "support/FakeHost.h"

namespace {

class FaderTest : public ::testing::Test, public DisplayFixtureBase {
protected:
    void SetUp() override {
        ASSERT_TRUE(StartTestDisplay());
        PaletteEntry black[256] = {};
        CreateDisplayPalette(black);
    }
    void TearDown() override { ShutdownDisplay(); }
    PaletteFader fader;
};

TEST_F(FaderTest, AStepMovesEachChannelByTheStepUntilWithinItOfTheTarget) {
    PaletteEntry pal[256] = {};
    EXPECT_TRUE(fader.StepToColor(pal, 0, 256, 0, 0, 0, 6));  // already there
    pal[0] = {7, 6, 13, 4};
    EXPECT_FALSE(fader.StepToColor(pal, 0, 256, 0, 0, 0, 6));
    EXPECT_EQ((std::tuple{pal[0].red, pal[0].green, pal[0].blue}), (std::tuple{1, 6, 7}));
    EXPECT_FALSE(fader.StepToColor(pal, 0, 1, 0, 0, 0, 6));  // blue 7 still moves
    EXPECT_TRUE(fader.StepToColor(pal, 0, 256, 0, 0, 0, 6));
    EXPECT_EQ((std::tuple{pal[0].red, pal[0].green, pal[0].blue}), (std::tuple{1, 6, 1}));
    PaletteEntry target[256];
    std::fill(std::begin(target), std::end(target), PaletteEntry{10, 250, 128, 4});
    fader.FadeIn(target);  // up from black, ending short of the target
    PaletteEntry shown[256];
    GetDisplayPalette(0, 256, shown);
    EXPECT_EQ((std::tuple{shown[3].red, shown[3].green, shown[3].blue}), (std::tuple{6, 246, 126}));
}

TEST_F(FaderTest, AFadeOutTakesFortyThreeStepsPacedByTheHostAndBlackOutWritesEveryEntry) {
    PaletteEntry white[256];
    for (auto& e : white) e = {255, 100, 0, 4};
    SetDisplayPalette(0, 256, white);
    int steps = 1;
    while (!fader.StepToColor(nullptr, 0, 256, 0, 0, 0, 6)) ++steps;
    EXPECT_EQ(steps, 43);
    PaletteEntry shown[256];
    GetDisplayPalette(0, 256, shown);
    EXPECT_EQ((std::tuple{shown[0].red, shown[0].green}), (std::tuple{3, 4}));
    SetDisplayPalette(0, 256, white);
    host.fadeSteps = 0;
    fader.FadeOut();
    EXPECT_EQ(host.fadeSteps, 42);
    SetDisplayPalette(0, 256, white);
    BlackOutPalette();
    GetDisplayPalette(0, 256, shown);
    for (const auto& e : shown) ASSERT_EQ((std::tuple{e.red + e.green + e.blue, e.flags}), (std::tuple{0, 4}));
}

}  // namespace
