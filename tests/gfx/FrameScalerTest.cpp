#include "gfx/FrameScaler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <tuple>
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

// Drawing only what changed onto a target that holds the old picture gives
// the very bytes a whole conversion of the new one gives, within the
// rectangle it reports; a picture that did not change writes nothing. The
// source's width is no multiple of eight, so its last pixels are compared
// on their own.
TEST(FrameScaler, DrawingOnlyTheChangesGivesTheWholeConversionWithinTheRectSaid) {
    constexpr int kWidth = 67, kHeight = 45;
    std::mt19937 random(11);
    std::vector<uint8_t> before(kWidth * kHeight);
    for (uint8_t& index : before) index = static_cast<uint8_t>(random());
    uint32_t colours[256];
    for (int i = 0; i < 256; ++i) colours[i] = 0xFF000000u | static_cast<uint32_t>(i * 0x010307);
    for (auto [width, height] : {std::pair{67, 45}, {134, 90}, {201, 135}, {100, 70}, {33, 22}}) {
        for (const int changes : {1, 3, 40}) {
            SCOPED_TRACE(testing::Message() << width << "x" << height << ", " << changes << " changes");
            FrameScaler scaler;
            ASSERT_TRUE(scaler.Setup(kWidth, kHeight, width, height));
            std::vector<uint8_t> after = before;
            after[kWidth - 1] ^= 1;  // the first row's last pixel, and more at random
            for (int i = 1; i < changes; ++i) after[random() % after.size()] ^= 0x80;
            const int pitch = width * 4 + 8;
            std::vector<uint8_t> old(static_cast<size_t>(pitch) * height, 0xAB), want = old;
            scaler.Convert(before.data(), colours, old.data(), pitch);
            scaler.Convert(after.data(), colours, want.data(), pitch);
            std::vector<uint8_t> got = old, shown = before;
            const TargetRect rect = scaler.ConvertChanges(after.data(), shown.data(), colours, got.data(), pitch);
            EXPECT_EQ(got, want);
            EXPECT_EQ(shown, after);
            int outside = 0;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    const bool in =
                        x >= rect.left && x < rect.left + rect.width && y >= rect.top && y < rect.top + rect.height;
                    outside += !in && std::memcmp(&old[y * pitch + x * 4], &want[y * pitch + x * 4], 4) != 0;
                }
            EXPECT_EQ(outside, 0);
            if (want != old) {  // shrunk, a change may not show
                EXPECT_GT(rect.width * rect.height, 0);
            }
            const TargetRect again = scaler.ConvertChanges(after.data(), shown.data(), colours, got.data(), pitch);
            EXPECT_EQ((std::tuple{again.width, again.height, got == want}), (std::tuple{0, 0, true}));
        }
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
