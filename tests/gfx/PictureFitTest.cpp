// Where the picture goes in a window of any size, and the window a start
// asks for in the room the screen gives.
#include "gfx/PictureFit.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

TEST(PictureFit, WholeFactorsFromTwiceUpOtherwiseTheLargestFourByThreeThatFits) {
    struct Case {
        int width, height;
        ScaleMode mode;
        PictureFit fit;  // left, top, width, height, prescale, whole
    };
    const Case cases[] = {
        {1366, 768, ScaleMode::Auto, {171, 0, 1024, 768, 1, false}},
        {1920, 1080, ScaleMode::Auto, {320, 60, 1280, 960, 2, true}},
        {1280, 1024, ScaleMode::Auto, {0, 32, 1280, 960, 2, true}},
        {800, 600, ScaleMode::Auto, {0, 0, 800, 600, 1, false}},
        {640, 480, ScaleMode::Auto, {0, 0, 640, 480, 1, true}},
        {1024, 768, ScaleMode::Auto, {0, 0, 1024, 768, 1, false}},
        {2560, 1440, ScaleMode::Auto, {320, 0, 1920, 1440, 3, true}},
        {1366, 768, ScaleMode::Integer, {363, 144, 640, 480, 1, true}},
        {1920, 1080, ScaleMode::Fit, {240, 0, 1440, 1080, 2, false}},
        {1280, 960, ScaleMode::Fit, {0, 0, 1280, 960, 2, true}},
        {1000, 2000, ScaleMode::Fit, {0, 625, 1000, 750, 1, false}},  // a tall window: bounded by its width
        {320, 240, ScaleMode::Integer, {0, 0, 320, 240, 1, false}},   // smaller than the picture: shrunk
        {0, 0, ScaleMode::Auto, {0, 0, 1, 0, 1, false}},              // a minimised window: no division by zero
    };
    for (const Case& c : cases) {
        const PictureFit got = FitPicture(c.width, c.height, c.mode);
        EXPECT_EQ((std::tuple{got.left, got.top, got.width, got.height, got.prescale, got.whole}),
                  (std::tuple{c.fit.left, c.fit.top, c.fit.width, c.fit.height, c.fit.prescale, c.fit.whole}))
            << c.width << "x" << c.height << " mode " << int(c.mode);
    }
}

// The room is the screen's usable area less the window's frame.
TEST(PictureFit, AWindowIsTheLargestWholeFactorThatFitsOrTheSizeChosenKeptWithinTheRoom) {
    struct Case {
        WindowSize wanted;
        int roomWidth, roomHeight;
        WindowSize window;
        int factor;
    };
    const Case cases[] = {
        {{0, 0}, 1920, 1032, {1280, 960}, 2},
        {{0, 0}, 3840, 2112, {2560, 1920}, 4},
        {{0, 0}, 1280, 976, {1280, 960}, 2},
        {{0, 0}, 1366, 720, {640, 480}, 1},
        {{0, 0}, 640, 432, {576, 432}, 0},  // a 640 x 480 screen: not even 1x fits beside the title bar
        {{1000, 700}, 1920, 1032, {1000, 700}, 2},
        {{3000, 2000}, 1920, 1032, {1920, 1032}, 2},
        {{100, 50}, 1920, 1032, {kMinWindowWidth, kMinWindowHeight}, 2},
        {{0, 0}, -20, 0, {kMinWindowWidth, kMinWindowHeight}, 0},
    };
    for (const Case& c : cases) {
        const WindowSize got = ChooseWindowSize(c.wanted, c.roomWidth, c.roomHeight);
        EXPECT_EQ((std::tuple{got.width, got.height, LargestWholeFactor(c.roomWidth, c.roomHeight)}),
                  (std::tuple{c.window.width, c.window.height, c.factor}))
            << c.wanted.width << "x" << c.wanted.height << " in " << c.roomWidth << "x" << c.roomHeight;
    }
}

}  // namespace
