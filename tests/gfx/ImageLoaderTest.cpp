#include "gfx/ImageLoader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

#include "support/Files.h"

namespace {

// An 8-bit BMP with `rows` given bottom row first, and `gap` spare bytes
// between the colour table and the pixels.
std::vector<uint8_t> MakeBmp8(int width, int height, const std::vector<uint8_t>& rows, size_t gap = 0, int bits = 8) {
    const size_t header = 14 + 40 + (bits == 8 ? 1024 : 0);
    std::vector<uint8_t> v(header + gap + rows.size(), 0);
    v[0] = 'B';
    v[1] = 'M';
    Put(v, 2, static_cast<uint32_t>(v.size()));
    Put(v, 10, static_cast<uint32_t>(header));
    Put(v, 14, 40);
    Put(v, 18, static_cast<uint32_t>(width));
    Put(v, 22, static_cast<uint32_t>(height));
    Put(v, 26, 1, 2);
    Put(v, 28, static_cast<uint16_t>(bits), 2);
    Put(v, 34, static_cast<uint32_t>(rows.size()));
    if (bits == 8)
        for (int i = 0; i < 256; ++i) {
            v[54 + i * 4 + 0] = static_cast<uint8_t>(i);        // blue
            v[54 + i * 4 + 1] = static_cast<uint8_t>(i / 2);    // green
            v[54 + i * 4 + 2] = static_cast<uint8_t>(255 - i);  // red
        }
    std::memcpy(v.data() + header + gap, rows.data(), rows.size());
    return v;
}

TEST(ImageLoader, TurnsBottomUpRowsTopDownAndConvertsThePalette) {
    ImageLoader loader;
    const auto file = MakeBmp8(4, 2, {1, 2, 3, 4, 5, 6, 7, 8});
    uint8_t pixels[8] = {};
    PaletteEntry pal[256];
    ASSERT_TRUE(loader.LoadFromMemory(file.data(), static_cast<int64_t>(file.size()), pixels, 4, 2, pal));
    const uint8_t expect[8] = {5, 6, 7, 8, 1, 2, 3, 4};
    EXPECT_EQ(0, std::memcmp(pixels, expect, 8));
    EXPECT_EQ((std::tuple{pal[10].red, pal[10].green, pal[10].blue, pal[10].flags}), (std::tuple{245, 5, 10, 4}));
    // The pixels are the file's last bytes, whatever lies between; without
    // a palette to fill, the loader keeps its own.
    const auto gap = MakeBmp8(4, 2, {1, 2, 3, 4, 5, 6, 7, 8}, 37);
    ASSERT_TRUE(loader.LoadFromMemory(gap.data(), static_cast<int64_t>(gap.size()), pixels, 4, 2, nullptr));
    EXPECT_EQ(0, std::memcmp(pixels, expect, 8));
    EXPECT_EQ(loader.palette[0].red, 255);
}

TEST(ImageLoader, ConvertsTwentyFourBitPixelsToSixteen) {
    ImageLoader loader;
    // one pixel: blue 255, green 0, red 8 -> 0x041F
    auto file = MakeBmp8(1, 1, {255, 0, 8}, 0, 24);
    uint8_t pixels[2] = {};
    ASSERT_TRUE(loader.LoadFromMemory(file.data(), static_cast<int64_t>(file.size()), pixels, 2, 1, nullptr));
    EXPECT_EQ(pixels[0] | (pixels[1] << 8), 0x041F);
}

TEST(ImageLoader, RefusesWhatIsNotAFittingPictureSayingWhichRuleItBreaks) {
    ImageLoader loader;
    uint8_t pixels[16];
    std::memset(pixels, 0xAB, sizeof pixels);
    auto good = MakeBmp8(4, 2, {1, 2, 3, 4, 5, 6, 7, 8});
    struct Case {
        const char* why;
        std::vector<uint8_t> bytes;
        int w, h;
    };
    std::vector<Case> cases;
    auto notBm = good;
    notBm[0] = 'X';
    cases.push_back({"not a BMP picture", notBm, 4, 2});
    cases.push_back({"the picture's width does not match its surface", good, 8, 2});
    cases.push_back({"the picture's height does not fit its surface", good, 4, 1});
    cases.push_back({"the picture header is cut short", std::vector<uint8_t>(good.begin(), good.begin() + 20), 4, 2});
    cases.push_back({"the colour table is cut short", std::vector<uint8_t>(good.begin(), good.begin() + 500), 4, 2});
    auto huge = good;
    Put(huge, 34, 0x7FFFFFFF);
    cases.push_back({"the picture's data size is out of range", huge, 4, 2});
    auto negative = good;  // a top-down picture
    Put(negative, 22, static_cast<uint32_t>(-2));
    cases.push_back({"the picture's height does not fit its surface", negative, 4, 2});
    cases.push_back({"the file is too short to be a picture", {}, 4, 2});
    for (const Case& c : cases) {
        ReadError error;
        EXPECT_FALSE(loader.LoadFromMemory(c.bytes.data(), static_cast<int64_t>(c.bytes.size()), pixels, c.w, c.h,
                                           nullptr, &error));
        EXPECT_EQ(error.status, ReadStatus::Malformed) << c.why;
        EXPECT_STREQ(error.reason, c.why);
    }
    EXPECT_EQ(pixels[0], 0xAB);  // the target keeps what it held
}

}  // namespace
