// Drawing primitives of the data tool: ramps and dithering, noise, shapes, quantising onto a palette,
// text masks, the BMP writer and the strip layout.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <numeric>
#include <set>
#include <string>
#include <tuple>

#include "BmpFile.h"
#include "Canvas.h"
#include "FrontEndArt.h"
#include "Paint.h"

namespace {

using paint::Ramp;

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / (name + std::to_string(::getpid()))).string();
}

TEST(Paint, RampsClampToTheirEndsDitherBetweenNeighboursAndInvertThroughToneOf) {
    const Ramp r{100, 8};
    for (auto [tone, index] : {std::pair{0.f, 100}, {1.f, 107}, {-3.f, 100}, {7.f, 107}})
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ((std::tuple{r.At(tone), r.Dither(tone, i % 4, i / 4)}), (std::tuple{index, index})) << tone;
    for (float tone : {0.1f, 0.33f, 0.5f, 0.8f}) {
        std::multiset<int> used;
        for (int i = 0; i < 16; ++i) used.insert(r.Dither(tone, i % 4, i / 4) - r.first);
        EXPECT_NEAR(std::accumulate(used.begin(), used.end(), 0) / 16.f, tone * (r.count - 1), 1.f / 16.f + 1e-4f)
            << tone;
        EXPECT_LE(*used.rbegin() - *used.begin(), 1) << tone;  // only neighbouring entries mix
    }
    const Ramp g = paint::kGoldRamp;
    for (int i = 0; i < g.count; ++i) EXPECT_EQ(g.At(g.ToneOf(uint8_t(g.first + i))), g.first + i);
    EXPECT_LT(std::max(g.ToneOf(uint8_t(g.first - 1)), g.ToneOf(uint8_t(g.first + g.count))), 0.f);
}

TEST(Paint, DistancesAreNegativeInsideAndPositiveOutside) {
    auto box = paint::RoundedBox(0, 0, 20, 10, 3);
    auto cw = paint::Polygon({0, 0, 10, 0, 10, 10, 0, 10}), ccw = paint::Polygon({0, 0, 0, 10, 10, 10, 10, 0});
    auto ring = paint::Subtract(paint::Circle(0, 0, 10), paint::Circle(0, 0, 5));
    // inside is negative; the box's rounded corner is cut away; both windings of a polygon agree
    for (float inside : {paint::Circle(0, 0, 5)(1, 1), box(10, 5), cw(5, 5), ccw(5, 5), ring(7.5f, 0)})
        EXPECT_LT(inside, 0.f);
    for (float outside : {box(0.2f, 0.2f), ring(0, 0)}) EXPECT_GT(outside, 0.f);
    for (auto [d, expected] : {std::pair{paint::Circle(0, 0, 5)(8, 0), 3.f}, {box(25, 5), 5.f}, {cw(15, 5), 5.f}})
        EXPECT_NEAR(d, expected, 1e-4f);
}

TEST(Paint, AFilledDiscCoversItsAreaOnItsRamp) {
    Canvas disc(64, 64, 0);
    paint::FillEllipse(disc, 32.f, 32.f, 12.f, 12.f, paint::kCyanRamp, 1.f, 1.f, false);
    int n = 0;
    for (int i = 0; i < 64 * 64; ++i)
        if (const uint8_t v = disc.Get(i % 64, i / 64); v && ++n) {
            EXPECT_GE(paint::kCyanRamp.ToneOf(v), 0.f);
            EXPECT_LE(std::hypot(i % 64 + 0.5f - 32.f, i / 64 + 0.5f - 32.f), 12.5f);
        }
    EXPECT_NEAR(n, 3.14159f * 144.f, 20.f);
}

TEST(Paint, QuantizeKeepsFixedEntriesAndTransparencyAndMappingUsesOnlyAllowedEntries) {
    paint::RgbImage img(32, 16);
    img.Fill({0, 0, 16, 16}, {200, 30, 30});
    img.Fill({16, 0, 32, 8}, {0, 0, 0});  // opaque black must not turn transparent
    Palette pal = SharedPalette();
    pal.entries[5] = {1, 2, 3};
    Canvas out(32, 16);
    paint::Quantize(img, pal, paint::Range(10, 20), out, 0.f);
    const Palette shared = SharedPalette();
    for (int i = 128; i < 256; ++i)
        EXPECT_EQ(pal.entries[i].r + 256 * pal.entries[i].b, shared.entries[i].r + 256 * shared.entries[i].b);
    EXPECT_EQ(pal.entries[5].g, 2);
    for (int x = 0; x < 32; ++x)
        EXPECT_EQ((std::tuple{out.Get(x, 4) != 0, out.Get(x, 12)}), (std::tuple{true, x < 16 ? out.Get(0, 0) : 0}))
            << x;
    EXPECT_NEAR(pal.entries[out.Get(3, 3)].r, 200, 12);
    EXPECT_NEAR(pal.entries[out.Get(3, 3)].g, 30, 12);
    paint::RgbImage ramp(16, 16);
    for (int i = 0; i < 256; ++i) ramp.Set(i % 16, i / 16, {i % 16 * 16.f, i / 16 * 16.f, 128.f});
    Canvas mapped(16, 16);
    paint::MapToPalette(ramp, SharedPalette(), paint::Range(160, 175), mapped);
    EXPECT_TRUE(std::all_of(mapped.pixels(), mapped.pixels() + 256, [](uint8_t v) { return v >= 160 && v <= 175; }));
}

TEST(Paint, TextIsRenderedMeasuredSqueezedGrownBlurredAndWrappedInsideItsWidth) {
    paint::TextFace face(paint::FontFile("DejaVuSans-Bold.ttf"));
    ASSERT_TRUE(face.ok());
    const paint::Mask a = face.Render("A", 20);
    EXPECT_GT(std::accumulate(a.cov.begin(), a.cov.end(), 0.f), 20.f);
    EXPECT_EQ((std::tuple{a.width, face.Measure("AB", 20, 3)}),
              (std::tuple{face.Measure("A", 20) + 2, face.Measure("AB", 20) + 3}));
    EXPECT_GT(face.Measure("AA", 20), face.Measure("A", 20));
    EXPECT_LT(face.Measure("WIDE", 20, 0, 0.5f), face.Measure("WIDE", 20) * 0.6f);
    const paint::Mask grown = paint::Dilate(a, 2);
    EXPECT_EQ(grown.width, a.width + 4);
    EXPECT_GE(grown.At(10, 10), a.At(8, 8));
    EXPECT_EQ((std::tuple{paint::TextFace("/nonexistent/font.ttf").ok(),
                          paint::TextFace("/nonexistent/font.ttf").Measure("A", 12)}),
              (std::tuple{false, 0}));
    paint::Mask dot;
    dot.width = dot.height = 9;
    dot.cov.assign(81, 0.f);
    dot.cov[4 * 9 + 4] = 1.f;
    const paint::Mask b = paint::Blur(dot, 2);  // padded by 4, the same amount of ink
    EXPECT_NEAR(std::accumulate(b.cov.begin(), b.cov.end(), 0.f), 1.f, 1e-3f);
    EXPECT_LT(b.At(8, 8), 0.5f);
    EXPECT_GT(b.At(9, 8), 0.f);

    fe::Faces faces;
    ASSERT_TRUE(faces.ok());
    paint::RgbImage img(300, 200);
    const std::string text = "the quick brown fox jumps over the lazy dog again and again until the page is full";
    EXPECT_GT(fe::Paragraph(img, faces.narrow, text, 12, 10, 20, 120, 15, fe::Plain({255, 255, 255})), 20 + 3 * 15);
    for (int i = 0; i < 300 * 200; ++i)
        if (i % 300 > 130) {
            ASSERT_EQ(img.Alpha(i % 300, i / 300), 0.f) << "ink beyond the width at " << i % 300;
        }
    const int size = fe::FitSize(faces.bold, "HIGH SCORES", 60, 150);
    EXPECT_EQ(
        (std::tuple{faces.bold.Measure("HIGH SCORES", size) <= 150, faces.bold.Measure("HIGH SCORES", size + 1) > 150}),
        (std::tuple{true, true}));
}

TEST(Paint, BmpFilesRoundTripPixelsBottomUpWithPaletteAndHeader) {
    Canvas c(8, 4, 0);
    for (int i = 0; i < 32; ++i) c.Set(i % 8, i / 8, uint8_t(i));
    Palette p = SharedPalette();
    p.entries[3] = {10, 20, 30};
    const std::string path = TempPath("vc_bmp_") + ".dat";
    ASSERT_TRUE(WriteBmp(path, c, p));
    const BmpFile b = ReadBmpFile(path);
    std::filesystem::remove(path);
    ASSERT_TRUE(b.ok);
    // positive height: rows stored bottom-up, the bottom row first
    EXPECT_EQ((std::tuple{b.width, b.height, b.bits, b.planes, b.infoSize, b.dataOffset, b.fileSize, b.imageSize,
                          b.raw[b.dataOffset]}),
              (std::tuple{8, 4, 8, 1, 40u, 54u + 1024u, uint32_t(b.raw.size()), 32u, 24}));
    for (int i = 0; i < 32; ++i) EXPECT_EQ(b.At(i % 8, i / 8), i);
    EXPECT_EQ((std::tuple{b.pal[3][0], b.pal[3][1], b.pal[3][2]}), (std::tuple{10, 20, 30}));
}

TEST(Paint, StripFramesSitOnePixelInsideTheirCellsAndReplaceTheWholeCell) {
    // cells 7 x 6 at (10, 5): frame k is the 6 x 5 rectangle at (10 + 7k + 1, 6); the lines between stay
    paint::RgbImage sheet(40, 16), pic(6, 5);
    fe::StripLines(sheet, 10, 5, 7, 6, 3, {50, 50, 50});
    pic.Fill({0, 0, 6, 5}, {200, 100, 0});
    fe::PutFrame(sheet, 10, 5, 7, 6, 1, pic);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 40; ++x) {
            const bool frame = x >= 18 && x < 24 && y >= 6 && y < 11;
            const bool line = (y >= 5 && y <= 11 && (x - 10) % 7 == 0 && x >= 10 && x <= 31) ||
                              ((y == 5 || y == 11) && x >= 10 && x <= 31);
            EXPECT_EQ((std::tuple{sheet.Alpha(x, y) > 0.f, sheet.Get(x, y).r == 200.f}),
                      (std::tuple{frame || line, frame}))
                << x << "," << y;
        }
    paint::RgbImage white(20, 10);
    white.Fill({0, 0, 20, 10}, {255, 255, 255});
    fe::PutFrame(white, 0, 0, 5, 5, 0, paint::RgbImage(4, 4));  // a fully transparent frame
    EXPECT_EQ((std::tuple{white.Alpha(1, 1), white.Alpha(4, 4), white.Alpha(0, 0), white.Alpha(5, 1)}),
              (std::tuple{0.f, 0.f, 1.f, 1.f}));
}

TEST(Paint, AFamilyOfPicturesSharesOnePaletteAndKeepsFixedEntries) {
    const std::string dir = TempPath("vc_family_");
    std::filesystem::create_directories(dir + "/grafik");
    paint::RgbImage a(16, 8), b(8, 8);
    a.Fill({0, 0, 8, 8}, {250, 120, 10});
    b.Fill({0, 0, 4, 8}, {10, 120, 250});  // right half of b stays clear
    ASSERT_TRUE(fe::WriteFamily(dir, {{"grafik/a.dat", &a}, {"grafik/b.dat", &b}}, {{40, {90, 91, 92}}}));
    const BmpFile fa = ReadBmpFile(dir + "/grafik/a.dat"), fb = ReadBmpFile(dir + "/grafik/b.dat");
    std::filesystem::remove_all(dir);
    ASSERT_TRUE(fa.ok && fb.ok);
    EXPECT_TRUE(fa.SamePalette(fb, 0, 255));
    EXPECT_EQ((std::tuple{fa.width, fb.width, fa.pal[40][0], fa.pal[40][2], fa.At(12, 4), fb.At(6, 4)}),
              (std::tuple{16, 8, 90, 92, 0, 0}));
    EXPECT_NEAR(fa.pal[fa.At(2, 2)][0], 250, 16);
    EXPECT_NEAR(fb.pal[fb.At(1, 1)][2], 250, 16);
}

}  // namespace
