#include "gfx/PngWriter.h"

#include <cstdio>

#include "RunnerScenario.h"

using runner_test::Picture;
using runner_test::ReadPicture;

TEST(PngWriter, RoundTripThroughThePalette) {
    // 13 x 7, so rows are not a multiple of four bytes.
    const int w = 13, h = 7;
    std::vector<uint8_t> pixels(w * h);
    for (int i = 0; i < w * h; ++i) pixels[i] = static_cast<uint8_t>((i * 37 + i / w * 11) & 255);
    PaletteEntry palette[256];
    for (int i = 0; i < 256; ++i)
        palette[i] = PaletteEntry{static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                                  static_cast<uint8_t>((i * 37) & 255), 4};
    const std::string path = ::testing::TempDir() + "runner_png_roundtrip.png";
    std::string error;
    ASSERT_TRUE(WritePalettedPng(path, pixels.data(), w, h, palette, &error)) << error;

    const Picture back = ReadPicture(path);
    ASSERT_TRUE(back.ok);
    ASSERT_EQ(back.width, 13u);
    ASSERT_EQ(back.height, 7u);
    for (int i = 0; i < w * h; ++i) {
        const PaletteEntry& e = palette[pixels[i]];
        ASSERT_EQ(back.rgb[i * 3], e.red) << "pixel " << i % w << "," << i / w;
        ASSERT_EQ(back.rgb[i * 3 + 1], e.green) << "pixel " << i % w << "," << i / w;
        ASSERT_EQ(back.rgb[i * 3 + 2], e.blue) << "pixel " << i % w << "," << i / w;
    }
    std::remove(path.c_str());
}

TEST(PngWriter, UnwritablePathFailsWithAReason) {
    const uint8_t pixels[1] = {0};
    PaletteEntry palette[256] = {};
    std::string error;
    const std::string path = ::testing::TempDir() + "no_such_dir_for_png/x.png";
    EXPECT_FALSE(WritePalettedPng(path, pixels, 1, 1, palette, &error));
    EXPECT_NE(error.find("no_such_dir_for_png"), std::string::npos) << error;
    EXPECT_FALSE(WritePalettedPng(path, nullptr, 1, 1, palette, &error));
}
