#include "gfx/PixelConvert.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

TEST(PixelConvert, EveryIndexBecomesItsEntryAndTheRowGapsStayUntouched) {
    PaletteEntry palette[kPaletteSize];
    for (int i = 0; i < kPaletteSize; ++i)
        palette[i] = PaletteEntry{static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 7),
                                  kPaletteFlags};
    uint32_t table[kPaletteSize];
    BuildArgbTable(palette, table);
    EXPECT_EQ(table[0], 0xFF00FF00u);    // alpha, red, green, blue from the top byte down
    EXPECT_EQ(table[255], 0xFFFF00F9u);  // blue 255 * 7 mod 256

    constexpr int kWidth = 13, kHeight = 5, kPitch = kWidth * 4 + 12;
    std::mt19937 rng(7);
    std::vector<uint8_t> picture(kWidth * kHeight);
    for (uint8_t& v : picture) v = static_cast<uint8_t>(rng());
    std::vector<uint8_t> target(kPitch * kHeight, 0xAB);
    ConvertToArgb(picture.data(), kWidth, kHeight, table, target.data(), kPitch);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            uint32_t pixel;
            std::memcpy(&pixel, &target[y * kPitch + x * 4], 4);
            ASSERT_EQ(pixel, table[picture[y * kWidth + x]]) << x << "," << y;
        }
        for (int b = kWidth * 4; b < kPitch; ++b) ASSERT_EQ(target[y * kPitch + b], 0xAB) << y;
    }
}

}  // namespace
