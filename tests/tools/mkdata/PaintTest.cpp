// Drawing primitives of the data tool: ramps and dithering, noise, shapes,
// quantising onto a palette, text masks, the BMP writer and the strip layout.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <set>
#include <string>

#include "BmpFile.h"
#include "Canvas.h"
#include "FrontEndArt.h"
#include "Paint.h"

namespace {

using paint::Colour;
using paint::Ramp;

TEST(PaintRamp, EndsAndClampsLandOnTheRampEnds) {
    const Ramp r{100, 8};
    EXPECT_EQ(r.At(0.f), 100);
    EXPECT_EQ(r.At(1.f), 107);
    EXPECT_EQ(r.At(-3.f), 100);
    EXPECT_EQ(r.At(7.f), 107);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(r.Dither(0.f, x, y), 100);
            EXPECT_EQ(r.Dither(1.f, x, y), 107);
        }
}

TEST(PaintRamp, OrderedDitherAveragesToTheTone) {
    const Ramp r{10, 5};
    for (float tone : {0.1f, 0.33f, 0.5f, 0.8f}) {
        float sum = 0.f;
        std::set<int> used;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) {
                int v = r.Dither(tone, x, y);
                used.insert(v);
                sum += v - r.first;
            }
        EXPECT_NEAR(sum / 16.f, tone * (r.count - 1), 1.f / 16.f + 1e-4f) << tone;
        EXPECT_LE(used.size(), 2u) << "only the two neighbouring entries mix";
    }
}

TEST(PaintRamp, ToneOfIsTheInverseOfAt) {
    const Ramp r = paint::kGoldRamp;
    for (int i = 0; i < r.count; ++i) EXPECT_EQ(r.At(r.ToneOf(static_cast<uint8_t>(r.first + i))), r.first + i);
    EXPECT_LT(r.ToneOf(static_cast<uint8_t>(r.first - 1)), 0.f);
    EXPECT_LT(r.ToneOf(static_cast<uint8_t>(r.first + r.count)), 0.f);
}

TEST(PaintNoise, StaysInRangeIsRepeatableAndVaries) {
    float lo = 1.f, hi = 0.f;
    for (int i = 0; i < 2000; ++i) {
        float x = i * 0.173f, y = i * 0.071f;
        float v = paint::FractalNoise(x, y, 5, 9);
        ASSERT_GE(v, 0.f);
        ASSERT_LE(v, 1.f);
        ASSERT_EQ(v, paint::FractalNoise(x, y, 5, 9));
        lo = std::min(lo, v), hi = std::max(hi, v);
    }
    EXPECT_GT(hi - lo, 0.3f);
    EXPECT_NE(paint::ValueNoise(3.5f, 2.5f, 1), paint::ValueNoise(3.5f, 2.5f, 2));
}

TEST(PaintShapes, DistanceSignsFollowInsideAndOutside) {
    EXPECT_LT(paint::Circle(0, 0, 5)(1, 1), 0.f);
    EXPECT_NEAR(paint::Circle(0, 0, 5)(8, 0), 3.f, 1e-4f);
    auto box = paint::RoundedBox(0, 0, 20, 10, 3);
    EXPECT_LT(box(10, 5), 0.f);
    EXPECT_GT(box(0.2f, 0.2f), 0.f);  // the rounded corner is cut away
    EXPECT_NEAR(box(25, 5), 5.f, 1e-4f);
    // both windings of a polygon give the same inside
    auto cw = paint::Polygon({0, 0, 10, 0, 10, 10, 0, 10});
    auto ccw = paint::Polygon({0, 0, 0, 10, 10, 10, 10, 0});
    EXPECT_LT(cw(5, 5), 0.f);
    EXPECT_LT(ccw(5, 5), 0.f);
    EXPECT_NEAR(cw(15, 5), 5.f, 1e-4f);
    auto ring = paint::Subtract(paint::Circle(0, 0, 10), paint::Circle(0, 0, 5));
    EXPECT_GT(ring(0, 0), 0.f);
    EXPECT_LT(ring(7.5f, 0), 0.f);
}

TEST(PaintShapes, FilledDiscCoversItsArea) {
    Canvas c(64, 64, 0);
    paint::FillEllipse(c, 32.f, 32.f, 12.f, 12.f, paint::kCyanRamp, 1.f, 1.f, false);
    int n = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            uint8_t v = c.Get(x, y);
            if (v == 0) continue;
            ++n;
            EXPECT_GE(paint::kCyanRamp.ToneOf(v), 0.f);
            EXPECT_LE(std::hypot(x + 0.5f - 32.f, y + 0.5f - 32.f), 12.5f);
        }
    EXPECT_NEAR(n, 3.14159f * 144.f, 20.f);
}

TEST(PaintQuantize, KeepsFixedEntriesAndTransparency) {
    paint::RgbImage img(32, 16);
    img.Fill({0, 0, 16, 16}, {200, 30, 30});
    img.Fill({16, 0, 32, 8}, {0, 0, 0});  // opaque black must not turn transparent
    Palette pal = SharedPalette();
    pal.entries[5] = {1, 2, 3};
    Canvas out(32, 16);
    paint::Quantize(img, pal, paint::Range(10, 20), out, 0.f);
    const Palette shared = SharedPalette();
    for (int i = 128; i < 256; ++i) {
        EXPECT_EQ(pal.entries[i].r, shared.entries[i].r);
        EXPECT_EQ(pal.entries[i].b, shared.entries[i].b);
    }
    EXPECT_EQ(pal.entries[5].g, 2);
    for (int x = 0; x < 32; ++x) {
        EXPECT_NE(out.Get(x, 4), 0) << x;
        EXPECT_EQ(out.Get(x, 12), x < 16 ? out.Get(0, 0) : 0) << x;
    }
    // the red square finds a close colour
    Rgb red = pal.entries[out.Get(3, 3)];
    EXPECT_NEAR(red.r, 200, 12);
    EXPECT_NEAR(red.g, 30, 12);
}

TEST(PaintQuantize, MapToPaletteUsesOnlyAllowedEntries) {
    paint::RgbImage img(16, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) img.Set(x, y, {x * 16.f, y * 16.f, 128.f});
    Canvas out(16, 16);
    paint::MapToPalette(img, SharedPalette(), paint::Range(160, 175), out);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            EXPECT_GE(out.Get(x, y), 160);
            EXPECT_LE(out.Get(x, y), 175);
        }
}

TEST(PaintText, RendersMeasuresAndSqueezes) {
    paint::TextFace face(paint::FontFile("DejaVuSans-Bold.ttf"));
    ASSERT_TRUE(face.ok());
    paint::Mask a = face.Render("A", 20);
    float ink = 0.f;
    for (float v : a.cov) ink += v;
    EXPECT_GT(ink, 20.f);
    EXPECT_EQ(a.width, face.Measure("A", 20) + 2);
    EXPECT_GT(face.Measure("AA", 20), face.Measure("A", 20));
    EXPECT_LT(face.Measure("WIDE", 20, 0, 0.5f), face.Measure("WIDE", 20) * 0.6f);
    EXPECT_EQ(face.Measure("AB", 20, 3), face.Measure("AB", 20) + 3);
    paint::Mask grown = paint::Dilate(a, 2);
    EXPECT_EQ(grown.width, a.width + 4);
    EXPECT_GE(grown.At(10, 10), a.At(8, 8));
}

TEST(PaintText, MissingFontFileIsReported) {
    paint::TextFace none("/nonexistent/font.ttf");
    EXPECT_FALSE(none.ok());
    EXPECT_EQ(none.Measure("A", 12), 0);
}

TEST(BmpWriter, RoundTripsPixelsPaletteAndHeader) {
    Canvas c(8, 4, 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) c.Set(x, y, static_cast<uint8_t>(y * 8 + x));
    Palette p = SharedPalette();
    p.entries[3] = {10, 20, 30};
    const std::string path =
        (std::filesystem::temp_directory_path() / ("vc_bmp_" + std::to_string(::getpid()) + ".dat")).string();
    ASSERT_TRUE(WriteBmp(path, c, p));
    BmpFile b = ReadBmpFile(path);
    std::filesystem::remove(path);
    ASSERT_TRUE(b.ok);
    EXPECT_EQ(b.width, 8);
    EXPECT_EQ(b.height, 4);  // positive: rows stored bottom-up
    EXPECT_EQ(b.bits, 8);
    EXPECT_EQ(b.planes, 1);
    EXPECT_EQ(b.infoSize, 40u);
    EXPECT_EQ(b.dataOffset, 54u + 1024u);
    EXPECT_EQ(b.fileSize, b.raw.size());
    EXPECT_EQ(b.imageSize, 32u);
    // bottom row first in the file
    EXPECT_EQ(b.raw[b.dataOffset], 24);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(b.At(x, y), y * 8 + x);
    EXPECT_EQ(b.pal[3][0], 10);
    EXPECT_EQ(b.pal[3][1], 20);
    EXPECT_EQ(b.pal[3][2], 30);
}

TEST(StripLayout, FramesSitOnePixelInsideTheirCells) {
    // a strip at (10, 5) of cells 7 x 6: frame k's picture is the 6 x 5
    // rectangle whose corner is (10 + 7k + 1, 6); the lines between stay
    paint::RgbImage sheet(40, 16);
    fe::StripLines(sheet, 10, 5, 7, 6, 3, {50, 50, 50});
    paint::RgbImage pic(6, 5);
    pic.Fill({0, 0, 6, 5}, {200, 100, 0});
    fe::PutFrame(sheet, 10, 5, 7, 6, 1, pic);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 40; ++x) {
            bool inFrame1 = x >= 18 && x < 24 && y >= 6 && y < 11;
            Colour c = sheet.Get(x, y);
            if (inFrame1) {
                EXPECT_EQ(c.r, 200.f) << x << "," << y;
                continue;
            }
            bool line = (y >= 5 && y <= 11 && (x == 10 || x == 17 || x == 24 || x == 31)) ||
                        ((y == 5 || y == 11) && x >= 10 && x <= 31);
            EXPECT_EQ(sheet.Alpha(x, y) > 0.f, line) << x << "," << y;
        }
}

TEST(StripLayout, PutFrameReplacesTheWholeCellIncludingClearPixels) {
    paint::RgbImage sheet(20, 10);
    sheet.Fill({0, 0, 20, 10}, {255, 255, 255});
    paint::RgbImage pic(4, 4);  // fully transparent
    fe::PutFrame(sheet, 0, 0, 5, 5, 0, pic);
    EXPECT_EQ(sheet.Alpha(1, 1), 0.f);
    EXPECT_EQ(sheet.Alpha(4, 4), 0.f);
    EXPECT_EQ(sheet.Alpha(0, 0), 1.f);
    EXPECT_EQ(sheet.Alpha(5, 1), 1.f);
}

TEST(PaintShading, SphereIsLitFromTheUpperLeft) {
    Canvas c(48, 48, 0);
    paint::Sphere(c, 24.f, 24.f, 18.f, 18.f, paint::kSteelRamp);
    const Ramp& r = paint::kSteelRamp;
    EXPECT_GT(r.ToneOf(c.Get(16, 16)), r.ToneOf(c.Get(32, 32)));
    EXPECT_GT(r.ToneOf(c.Get(14, 24)), r.ToneOf(c.Get(34, 24)));
    EXPECT_EQ(c.Get(2, 2), 0);  // outside the ball
}

TEST(PaintShading, BevelPanelHasALitTopAndAShadedFoot) {
    Canvas c(40, 30, 0);
    paint::BevelPanel(c, 0, 0, 40, 30, 3, paint::kGreyRamp, 0.5f);
    const Ramp& r = paint::kGreyRamp;
    EXPECT_EQ(c.Get(0, 10), r.first);  // dark rim
    EXPECT_GT(r.ToneOf(c.Get(20, 1)), r.ToneOf(c.Get(20, 15)));
    EXPECT_LT(r.ToneOf(c.Get(20, 28)), r.ToneOf(c.Get(20, 15)));
}

TEST(PaintShading, GlowRaisesBlackAndItsOwnRampButSparesOtherColours) {
    Canvas c(32, 32, 0);
    c.Set(16, 16, paint::kFireRamp.At(0.f));
    c.Set(17, 16, ramp::kWhite);  // not on the ramp
    paint::Glow(c, 16.5f, 16.5f, 10.f, paint::kFireRamp, 1.f);
    EXPECT_GT(paint::kFireRamp.ToneOf(c.Get(16, 16)), 0.5f);
    EXPECT_EQ(c.Get(17, 16), ramp::kWhite);
    EXPECT_GE(paint::kFireRamp.ToneOf(c.Get(14, 16)), 0.f);
    EXPECT_EQ(c.Get(0, 0), 0);  // beyond the radius
}

TEST(PaintMasks, BlurSpreadsButKeepsTheAmountOfInk) {
    paint::Mask m;
    m.width = m.height = 9;
    m.cov.assign(81, 0.f);
    m.cov[4 * 9 + 4] = 1.f;
    paint::Mask b = paint::Blur(m, 2);
    float total = 0.f;
    for (float v : b.cov) total += v;
    EXPECT_NEAR(total, 1.f, 1e-3f);
    EXPECT_LT(b.At(8, 8), 0.5f);
    EXPECT_GT(b.At(9, 8), 0.f);  // the neighbour of the centre (padding 4) got some
}

TEST(FrontEndText, ParagraphsWrapInsideTheirWidth) {
    fe::Faces faces;
    ASSERT_TRUE(faces.ok());
    paint::RgbImage img(300, 200);
    const std::string text = "the quick brown fox jumps over the lazy dog again and again until the page is full";
    int end = fe::Paragraph(img, faces.narrow, text, 12, 10, 20, 120, 15, fe::Plain({255, 255, 255}));
    EXPECT_GT(end, 20 + 3 * 15);  // wrapped onto several lines
    for (int y = 0; y < 200; ++y)
        for (int x = 131; x < 300; ++x) ASSERT_EQ(img.Alpha(x, y), 0.f) << "ink beyond the width at " << x;
    const int size = fe::FitSize(faces.bold, "HIGH SCORES", 60, 150);
    EXPECT_LE(faces.bold.Measure("HIGH SCORES", size), 150);
    EXPECT_GT(faces.bold.Measure("HIGH SCORES", size + 1), 150);
}

TEST(FrontEndOutput, AFamilySharesOnePaletteAndKeepsFixedEntries) {
    const std::string dir =
        (std::filesystem::temp_directory_path() / ("vc_family_" + std::to_string(::getpid()))).string();
    std::filesystem::create_directories(dir + "/grafik");
    paint::RgbImage a(16, 8), b(8, 8);
    a.Fill({0, 0, 8, 8}, {250, 120, 10});
    b.Fill({0, 0, 4, 8}, {10, 120, 250});  // right half of b stays clear
    ASSERT_TRUE(fe::WriteFamily(dir, {{"grafik/a.dat", &a}, {"grafik/b.dat", &b}}, {{40, {90, 91, 92}}}));
    BmpFile fa = ReadBmpFile(dir + "/grafik/a.dat"), fb = ReadBmpFile(dir + "/grafik/b.dat");
    std::filesystem::remove_all(dir);
    ASSERT_TRUE(fa.ok && fb.ok);
    EXPECT_EQ(fa.width, 16);
    EXPECT_EQ(fb.width, 8);
    EXPECT_TRUE(fa.SamePalette(fb, 0, 255));
    EXPECT_EQ(fa.pal[40][0], 90);
    EXPECT_EQ(fa.pal[40][2], 92);
    EXPECT_EQ(fa.At(12, 4), 0);
    EXPECT_EQ(fb.At(6, 4), 0);
    const uint8_t* orange = fa.pal[fa.At(2, 2)];
    const uint8_t* blue = fb.pal[fb.At(1, 1)];
    EXPECT_NEAR(orange[0], 250, 16);
    EXPECT_NEAR(blue[2], 250, 16);
}

}  // namespace
