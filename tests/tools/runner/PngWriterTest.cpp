#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "PngWriter.h"

namespace {

struct ReadBack {
    bool ok = false;
    png_uint_32 width = 0, height = 0;
    png_byte colorType = 0, bitDepth = 0;
    std::vector<uint8_t> rgb;
};

// Reads a PNG with the low-level libpng interface so that the stored colour
// type and depth are seen as written.
ReadBack ReadPng(const std::string& path) {
    ReadBack result;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return result;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(file);
        result.ok = false;
        return result;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    result.width = png_get_image_width(png, info);
    result.height = png_get_image_height(png, info);
    result.colorType = png_get_color_type(png, info);
    result.bitDepth = png_get_bit_depth(png, info);
    if (result.colorType == PNG_COLOR_TYPE_RGB && result.bitDepth == 8) {
        result.rgb.resize(static_cast<size_t>(result.width) * result.height * 3);
        std::vector<png_bytep> rows(result.height);
        for (png_uint_32 y = 0; y < result.height; ++y) rows[y] = &result.rgb[y * result.width * 3];
        png_read_image(png, rows.data());
        png_read_end(png, nullptr);
        result.ok = true;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return result;
}

}  // namespace

TEST(PngWriter, RoundTripThroughThePalette) {
    const int w = 640, h = 480;
    std::vector<uint8_t> pixels(w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) pixels[y * w + x] = static_cast<uint8_t>((x * 7 + y * 13) & 255);
    PaletteEntry palette[256];
    for (int i = 0; i < 256; ++i)
        palette[i] = PaletteEntry{static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                                  static_cast<uint8_t>((i * 37) & 255), 4};

    std::string path = ::testing::TempDir() + "runner_png_roundtrip.png";
    std::string error;
    ASSERT_TRUE(WritePalettedPng(path, pixels.data(), w, h, palette, &error)) << error;

    ReadBack back = ReadPng(path);
    ASSERT_TRUE(back.ok);
    EXPECT_EQ(back.width, 640u);
    EXPECT_EQ(back.height, 480u);
    EXPECT_EQ(back.colorType, PNG_COLOR_TYPE_RGB);
    EXPECT_EQ(back.bitDepth, 8);
    int mismatches = 0;
    for (int i = 0; i < w * h && mismatches < 5; ++i) {
        const PaletteEntry& e = palette[pixels[i]];
        if (back.rgb[i * 3] != e.red || back.rgb[i * 3 + 1] != e.green || back.rgb[i * 3 + 2] != e.blue) {
            ADD_FAILURE() << "pixel " << i % w << "," << i / w << " differs";
            ++mismatches;
        }
    }
    std::remove(path.c_str());
}

TEST(PngWriter, SmallOddSizedPicture) {
    // 3 x 2, so rows are not a multiple of four bytes.
    const uint8_t pixels[6] = {0, 1, 2, 2, 1, 0};
    PaletteEntry palette[256] = {};
    palette[0] = {10, 20, 30, 4};
    palette[1] = {255, 0, 128, 4};
    palette[2] = {0, 255, 1, 4};
    std::string path = ::testing::TempDir() + "runner_png_small.png";
    ASSERT_TRUE(WritePalettedPng(path, pixels, 3, 2, palette, nullptr));
    ReadBack back = ReadPng(path);
    ASSERT_TRUE(back.ok);
    ASSERT_EQ(back.width, 3u);
    ASSERT_EQ(back.height, 2u);
    const uint8_t expected[18] = {10, 20, 30, 255, 0, 128, 0, 255, 1, 0, 255, 1, 255, 0, 128, 10, 20, 30};
    EXPECT_EQ(std::memcmp(back.rgb.data(), expected, 18), 0);
    std::remove(path.c_str());
}

TEST(PngWriter, UnwritablePathFailsWithAReason) {
    const uint8_t pixels[1] = {0};
    PaletteEntry palette[256] = {};
    std::string error;
    std::string path = ::testing::TempDir() + "no_such_dir_for_png/x.png";
    EXPECT_FALSE(WritePalettedPng(path, pixels, 1, 1, palette, &error));
    EXPECT_NE(error.find("no_such_dir_for_png"), std::string::npos) << error;
    EXPECT_FALSE(WritePalettedPng(path, nullptr, 1, 1, palette, &error));
}
