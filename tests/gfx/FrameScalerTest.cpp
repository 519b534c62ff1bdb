#include "gfx/FrameScaler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

// Every target pixel shows the source pixel under its centre, for whole
// factors, fits up and down, and odd sizes; rows outside the target and
// pitch padding are never written.
TEST(FrameScaler, EachPixelTakesTheSourcePixelUnderItsCentre) {
    constexpr int kWidth = 64, kHeight = 48;
    std::mt19937 random(7);
    std::vector<uint8_t> source(kWidth * kHeight);
    for (uint8_t& index : source) index = static_cast<uint8_t>(random());
    uint32_t colours[256];
    for (int i = 0; i < 256; ++i) colours[i] = 0xFF000000u | static_cast<uint32_t>(i * 0x010307);
    const std::pair<int, int> sizes[] = {{64, 48}, {128, 96}, {192, 144}, {320, 240}, {100, 75},
                                         {80, 61}, {32, 24},  {63, 47},   {1, 1},     {200, 48}};
    for (auto [width, height] : sizes) {
        SCOPED_TRACE(testing::Message() << width << "x" << height);
        FrameScaler scaler;
        ASSERT_TRUE(scaler.Setup(kWidth, kHeight, width, height));
        const int pitch = width * 4 + 12;
        std::vector<uint8_t> target(static_cast<size_t>(pitch) * (height + 1), 0xAB);
        scaler.Convert(source.data(), colours, target.data(), pitch);
        int wrong = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const int sx = static_cast<int>((x + 0.5) * kWidth / width);
                const int sy = static_cast<int>((y + 0.5) * kHeight / height);
                uint32_t got;
                std::memcpy(&got, &target[static_cast<size_t>(y) * pitch + x * 4], 4);
                wrong += got != colours[source[sy * kWidth + sx]];
            }
            for (int b = width * 4; b < pitch; ++b) wrong += target[static_cast<size_t>(y) * pitch + b] != 0xAB;
        }
        for (int b = 0; b < pitch; ++b) wrong += target[static_cast<size_t>(height) * pitch + b] != 0xAB;
        EXPECT_EQ(wrong, 0);
    }
}

TEST(FrameScaler, RefusesEmptyAndOversizedTargetsAndThenWritesNothing) {
    const uint8_t source[4] = {1, 2, 3, 4};
    const uint32_t colours[256] = {};
    for (auto [width, height] : {std::pair{0, 10}, {10, 0}, {-4, 3}, {FrameScaler::kMaxSide + 1, 10}}) {
        FrameScaler scaler;
        EXPECT_FALSE(scaler.Setup(2, 2, width, height)) << width << "x" << height;
        uint8_t target[64];
        std::memset(target, 0x5A, sizeof target);
        scaler.Convert(source, colours, target, 16);
        EXPECT_EQ(target[0], 0x5A);
    }
}

}  // namespace
