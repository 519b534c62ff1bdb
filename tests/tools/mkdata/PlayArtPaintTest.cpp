// The shading helpers behind the play pictures.
#include <gtest/gtest.h>

#include <cmath>

#include "Canvas.h"
#include "PlayPaint.h"

using namespace play;

TEST(PlayPaintTones, IndicesStayOnTheirRamp) {
    const Tone tones[] = {Tone::Grey, Tone::Steel, Tone::Cyan, Tone::Fire, Tone::Gold, Tone::Red, Tone::Green, Tone::Violet};
    for (Tone t : tones) {
        RampSpan span = SpanOf(t);
        for (float v : {-1.f, 0.f, 0.3f, 0.5f, 0.99f, 1.f, 2.f})
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 4; ++x) {
                    uint8_t i = ToneIndex(t, v, x, y, 1.f);
                    ASSERT_GE(i, span.first);
                    ASSERT_LT(i, span.first + span.count);
                    ASSERT_GE(i, 128);
                }
        // the ends are reached without dithering away from them
        EXPECT_EQ(ToneIndex(t, 0.f, 0, 0, 0.f), span.first);
        EXPECT_EQ(ToneIndex(t, 1.f, 0, 0, 0.f), span.first + span.count - 1);
    }
    EXPECT_EQ(ToneIndex(Tone::None, 0.5f, 0, 0), 0);
    // the violet ramp runs into the white at 255
    EXPECT_EQ(ToneIndex(Tone::Violet, 1.f, 0, 0, 0.f), 255);
}

TEST(PlayPaintTones, DitherMixesNeighbouringSteps) {
    // halfway between two steps, a 4 x 4 block holds both
    const float half = 7.5f / 15.f;
    int low = 0, high = 0;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            uint8_t i = ToneIndex(Tone::Cyan, half, x, y, 1.f);
            low += i == ramp::kCyan + 7;
            high += i == ramp::kCyan + 8;
        }
    EXPECT_EQ(low + high, 16);
    EXPECT_GT(low, 4);
    EXPECT_GT(high, 4);
}

TEST(PlayPaintShade, CoverageDecidesTransparency) {
    Canvas c(12, 12, 99);
    // a disc of radius 4 at the centre
    ShadeRect(c, 2, 2, 8, 8, [](float x, float y) {
        float dx = x - 4.f, dy = y - 4.f;
        return dx * dx + dy * dy < 16.f ? Solid(Tone::Gold, 0.5f) : Ink{};
    });
    EXPECT_NE(c.Get(6, 6), 0);      // centre
    EXPECT_EQ(c.Get(2, 2), 0);      // corner of the rectangle: cleared
    EXPECT_EQ(c.Get(0, 0), 99);     // outside the rectangle: untouched
    EXPECT_EQ(c.Get(11, 11), 99);
    for (int y = 2; y < 10; ++y)
        for (int x = 2; x < 10; ++x) {
            uint8_t v = c.Get(x, y);
            EXPECT_TRUE(v == 0 || (v >= ramp::kGold && v < ramp::kGold + 16));
        }
}

TEST(PlayPaintShade, OverlayKeepsWhatItDoesNotCover) {
    Canvas c(8, 8, 150);
    ShadeOptions o;
    o.overlay = true;
    ShadeRect(c, 0, 0, 8, 8, [](float x, float) { return x < 4.f ? Solid(Tone::Fire, 1.f) : Ink{}; }, o);
    EXPECT_EQ(c.Get(1, 1), ramp::kFire + 15);
    EXPECT_EQ(c.Get(6, 6), 150);
}

TEST(PlayPaintShade, MajorityToneWinsAPixel) {
    Canvas c(1, 1, 0);
    // two thirds of the samples are gold, a third green
    ShadeRect(c, 0, 0, 1, 1, [](float x, float) { return x < 0.66f ? Solid(Tone::Gold, 1.f) : Solid(Tone::Green, 1.f); });
    EXPECT_EQ(c.Get(0, 0), ramp::kGold + 15);
}

TEST(PlayPaintShade, SoftInkIsDitheredInProportion) {
    Canvas c(16, 16, 0);
    ShadeRect(c, 0, 0, 16, 16, [](float, float) { return Soft(Tone::Cyan, 0.5f, 0.25f); });
    int opaque = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) opaque += c.Get(x, y) != 0;
    EXPECT_EQ(opaque, 64);  // a quarter of the pixels
}

TEST(PlayPaintSheets, StripLinesFrameEveryCell) {
    Canvas c(70, 40, 0);
    DrawStripLines(c, 2, 3, 33, 33, 2);
    for (int y = 3; y <= 36; ++y) {
        EXPECT_EQ(c.Get(2, y), kSheetLine);
        EXPECT_EQ(c.Get(35, y), kSheetLine);
        EXPECT_EQ(c.Get(68, y), kSheetLine);
    }
    for (int x = 2; x <= 68; ++x) {
        EXPECT_EQ(c.Get(x, 3), kSheetLine);
        EXPECT_EQ(c.Get(x, 36), kSheetLine);
    }
    EXPECT_EQ(c.Get(3, 4), 0);    // first picture pixel of frame 0
    EXPECT_EQ(c.Get(34, 35), 0);  // last picture pixel of frame 0
    EXPECT_EQ(c.Get(69, 10), 0);  // right of the strip
    EXPECT_EQ(FrameLeft(2, 33, 1), 36);
    EXPECT_EQ(FrameTop(3), 4);
}

TEST(PlayPaintShapes, DistancesHaveTheRightSign) {
    EXPECT_LT(SdEllipse(0.f, 0.f, 0.f, 0.f, 5.f, 3.f), 0.f);
    EXPECT_GT(SdEllipse(6.f, 0.f, 0.f, 0.f, 5.f, 3.f), 0.f);
    EXPECT_NEAR(SdEllipse(5.f, 0.f, 0.f, 0.f, 5.f, 3.f), 0.f, 1e-4f);
    EXPECT_NEAR(SdCapsule(0.f, 2.f, -3.f, 0.f, 3.f, 0.f, 1.f), 1.f, 1e-4f);
    EXPECT_NEAR(SdCapsule(5.f, 0.f, -3.f, 0.f, 3.f, 0.f, 1.f), 1.f, 1e-4f);
    // the star: inside at its heart and along an arm, outside between arms
    EXPECT_LT(StarSdf(0.f, 0.f, 0.f, 10.f, 4.f), 0.f);
    EXPECT_LT(StarSdf(8.f, 0.f, 0.f, 10.f, 4.f), 0.f);
    EXPECT_GT(StarSdf(11.f, 0.f, 0.f, 10.f, 4.f), 0.f);
    const float between = 2.f * kPi / 10.f;  // halfway between two points
    EXPECT_GT(StarSdf(7.f * std::cos(between), 7.f * std::sin(between), 0.f, 10.f, 4.f), 0.f);
    // the smooth union is never above either operand
    for (float a : {-2.f, 0.f, 1.f})
        for (float b : {-1.f, 0.5f, 3.f}) EXPECT_LE(SmoothMin(a, b, 2.f), std::min(a, b) + 1e-6f);
}

TEST(PlayPaintLighting, LitFromTheUpperLeft) {
    const Vec3 upLeft = Normalize({-0.5f, -0.5f, 0.7f}), downRight = Normalize({0.5f, 0.5f, 0.7f});
    EXPECT_GT(Diffuse(upLeft), Diffuse(downRight));
    EXPECT_GT(Specular(Normalize(LightDir() + Vec3{0.f, 0.f, 1.f}), 20.f), 0.99f);
    // a dome's normal tilts outward at its rim
    auto dome = [](float x, float y) { return std::sqrt(x * x + y * y) - 10.f; };
    Vec3 n = BevelNormal(dome, 9.f, 0.f, 10.f);
    EXPECT_GT(n.x, 0.5f);
    Vec3 top = BevelNormal(dome, 0.f, 0.f, 10.f);
    EXPECT_GT(top.z, 0.99f);
}

TEST(PlayPaintLighting, HeadingFramesPointTheRightWay) {
    // forward of each heading: up, right, down, left
    const float fx[4] = {0.f, 1.f, 0.f, -1.f}, fy[4] = {-1.f, 0.f, 1.f, 0.f};
    for (int h = 0; h < 4; ++h) {
        HeadingFrame f = FrameOf(h);
        EXPECT_FLOAT_EQ(f.U(fx[h], fy[h]), 1.f);
        EXPECT_FLOAT_EQ(f.V(fx[h], fy[h]), 0.f);
        // "right" is a quarter turn clockwise from forward on the screen
        EXPECT_FLOAT_EQ(f.V(fx[(h + 1) & 3], fy[(h + 1) & 3]), 1.f);
    }
}

TEST(PlayPaintNoise, DeterministicAndInRange) {
    for (int i = 0; i < 200; ++i) {
        float x = i * 0.37f, y = i * 0.11f;
        float a = Fbm2(x, y, 4, 7u), b = Fbm3(x, y, 0.5f, 3, 7u);
        ASSERT_GE(a, 0.f);
        ASSERT_LE(a, 1.f);
        ASSERT_GE(b, 0.f);
        ASSERT_LE(b, 1.f);
        ASSERT_EQ(a, Fbm2(x, y, 4, 7u));
    }
    EXPECT_NE(Fbm2(1.3f, 2.7f, 4, 7u), Fbm2(1.3f, 2.7f, 4, 8u));
}
