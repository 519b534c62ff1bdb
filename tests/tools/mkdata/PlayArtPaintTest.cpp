// The shading helpers behind the play pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

#include "Canvas.h"
#include "PlayPaint.h"

using namespace play;

TEST(PlayPaint, ToneIndicesStayOnTheirRampReachBothEndsAndDitherBetweenSteps) {
    for (Tone t : {Tone::Grey, Tone::Steel, Tone::Cyan, Tone::Fire, Tone::Gold, Tone::Red, Tone::Green, Tone::Violet}) {
        const RampSpan span = SpanOf(t);
        ASSERT_GE(span.first, 128);
        for (float v : {-1.f, 0.f, 0.3f, 0.5f, 0.99f, 1.f, 2.f})
            for (int i = 0; i < 16; ++i) {
                const uint8_t index = ToneIndex(t, v, i % 4, i / 4, 1.f);
                ASSERT_TRUE(index >= span.first && index < span.first + span.count) << int(t) << " " << v;
            }
        EXPECT_EQ((std::tuple{ToneIndex(t, 0.f, 0, 0, 0.f), ToneIndex(t, 1.f, 0, 0, 0.f)}),
                  (std::tuple{span.first, span.first + span.count - 1}));
    }
    EXPECT_EQ((std::tuple{ToneIndex(Tone::None, 0.5f, 0, 0), ToneIndex(Tone::Violet, 1.f, 0, 0, 0.f)}),
              (std::tuple{0, 255}));  // violet ends in white
    int low = 0, high = 0;            // halfway between two steps, a 4 x 4 block holds both
    for (int i = 0; i < 16; ++i) {
        const uint8_t index = ToneIndex(Tone::Cyan, 7.5f / 15.f, i % 4, i / 4, 1.f);
        low += index == ramp::kCyan + 7, high += index == ramp::kCyan + 8;
    }
    EXPECT_EQ(low + high, 16);
    EXPECT_GT(std::min(low, high), 4);
}

TEST(PlayPaint, CoverageDecidesTransparencyTheMajorityToneWinsAndSoftInkIsDitheredInProportion) {
    Canvas c(12, 12, 99);
    ShadeRect(c, 2, 2, 8, 8, [](float x, float y) {  // a disc of radius 4
        return (x - 4.f) * (x - 4.f) + (y - 4.f) * (y - 4.f) < 16.f ? Solid(Tone::Gold, 0.5f) : Ink{};
    });
    // inside the rectangle: the disc, cleared corners; outside: untouched
    EXPECT_EQ((std::tuple{c.Get(6, 6) != 0, c.Get(2, 2), c.Get(0, 0), c.Get(11, 11)}), (std::tuple{true, 0, 99, 99}));
    for (int i = 0; i < 64; ++i)
        EXPECT_TRUE(c.Get(2 + i % 8, 2 + i / 8) == 0 || uint8_t(c.Get(2 + i % 8, 2 + i / 8) - ramp::kGold) < 16) << i;
    Canvas o(8, 8, 150), one(1, 1, 0), soft(16, 16, 0);
    ShadeOptions overlay;
    overlay.overlay = true;
    ShadeRect(
        o, 0, 0, 8, 8, [](float x, float) { return x < 4.f ? Solid(Tone::Fire, 1.f) : Ink{}; }, overlay);
    ShadeRect(one, 0, 0, 1, 1,
              [](float x, float) { return Solid(x < 0.66f ? Tone::Gold : Tone::Green, 1.f); });  // two thirds gold
    ShadeRect(soft, 0, 0, 16, 16, [](float, float) { return Soft(Tone::Cyan, 0.5f, 0.25f); });
    EXPECT_EQ((std::tuple{o.Get(1, 1), o.Get(6, 6), one.Get(0, 0), std::count(soft.pixels(), soft.pixels() + 256, 0)}),
              (std::tuple{ramp::kFire + 15, 150, ramp::kGold + 15, 192}));
}

TEST(PlayPaint, DistancesHaveTheRightSign) {
    for (float inside : {SdEllipse(0.f, 0.f, 0.f, 0.f, 5.f, 3.f), StarSdf(0.f, 0.f, 0.f, 10.f, 4.f),
                         StarSdf(8.f, 0.f, 0.f, 10.f, 4.f)})
        EXPECT_LT(inside, 0.f);
    // beyond the ellipse and the star's arm, and between two arms
    for (float outside : {SdEllipse(6.f, 0.f, 0.f, 0.f, 5.f, 3.f), StarSdf(11.f, 0.f, 0.f, 10.f, 4.f),
                          StarSdf(7.f * std::cos(kPi / 5.f), 7.f * std::sin(kPi / 5.f), 0.f, 10.f, 4.f)})
        EXPECT_GT(outside, 0.f);
    EXPECT_NEAR(SdEllipse(5.f, 0.f, 0.f, 0.f, 5.f, 3.f), 0.f, 1e-4f);
    EXPECT_NEAR(SdCapsule(0.f, 2.f, -3.f, 0.f, 3.f, 0.f, 1.f), 1.f, 1e-4f);
    EXPECT_NEAR(SdCapsule(5.f, 0.f, -3.f, 0.f, 3.f, 0.f, 1.f), 1.f, 1e-4f);
    for (float a : {-2.f, 0.f, 1.f})
        for (float b : {-1.f, 0.5f, 3.f}) EXPECT_LE(SmoothMin(a, b, 2.f), std::min(a, b) + 1e-6f);
}

TEST(PlayPaint, HeadingFramesPointTheirWay) {
    const float fx[4] = {0.f, 1.f, 0.f, -1.f}, fy[4] = {-1.f, 0.f, 1.f, 0.f};  // up, right, down, left
    for (int h = 0; h < 4; ++h)                                                // "right" is a quarter turn clockwise
        EXPECT_EQ((std::tuple{FrameOf(h).U(fx[h], fy[h]), FrameOf(h).V(fx[h], fy[h]),
                              FrameOf(h).V(fx[(h + 1) & 3], fy[(h + 1) & 3])}),
                  (std::tuple{1.f, 0.f, 1.f}))
            << h;
}
