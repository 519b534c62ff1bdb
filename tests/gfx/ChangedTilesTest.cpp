#include "gfx/ChangedTiles.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int kWidth = 640, kHeight = 480;

struct Frames {
    std::vector<uint8_t> source = std::vector<uint8_t>(kWidth * kHeight, 0);
    std::vector<uint8_t> shown = std::vector<uint8_t>(kWidth * kHeight, 0);
    std::vector<uint32_t> target = std::vector<uint32_t>(kWidth * kHeight, 0);
    uint32_t colours[256] = {};
    TargetRect rects[ChangedTiles::kMostRects];
    Frames() {
        for (int i = 0; i < 256; ++i) colours[i] = 0xFF000000u | static_cast<uint32_t>(i) * 0x010203u;
    }
    int Convert() {
        return ChangedTiles::Convert(source.data(), shown.data(), kWidth, kHeight, colours, target.data(), rects);
    }
    uint8_t& At(int x, int y) { return source[static_cast<size_t>(y) * kWidth + x]; }
    uint32_t Shown(int x, int y) const { return target[static_cast<size_t>(y) * kWidth + x]; }
};

bool Covers(const TargetRect* rects, int count, int x, int y) {
    for (int i = 0; i < count; ++i)
        if (x >= rects[i].left && x < rects[i].left + rects[i].width && y >= rects[i].top &&
            y < rects[i].top + rects[i].height)
            return true;
    return false;
}

TEST(ChangedTiles, ScatteredChangesAreCoveredByTheirOwnTilesAndNothingChangedIsNothingToDraw) {
    Frames f;
    EXPECT_EQ(f.Convert(), 0) << "the same picture again";
    // Stars at opposite corners, one at a tile's last column and the next
    // tile's first, in one band: two runs there would be one.
    const int points[][2] = {{0, 0}, {639, 479}, {31, 200}, {32, 200}, {300, 100}};
    for (const auto& p : points) f.At(p[0], p[1]) = 7;
    const int count = f.Convert();
    ASSERT_EQ(count, 4);
    int area = 0;
    for (int i = 0; i < count; ++i) area += f.rects[i].width * f.rects[i].height;
    EXPECT_EQ(area, 5 * ChangedTiles::kTileWidth * ChangedTiles::kTileHeight) << "one band's run is two tiles";
    for (const auto& p : points) {
        EXPECT_TRUE(Covers(f.rects, count, p[0], p[1])) << p[0] << "," << p[1];
        EXPECT_EQ(f.Shown(p[0], p[1]), f.colours[7]);
    }
    EXPECT_FALSE(Covers(f.rects, count, 320, 240));
    EXPECT_EQ(f.Shown(8, 0), 0u) << "a group of unchanged pixels is not written";
    EXPECT_EQ(f.shown, f.source) << "the shown picture follows";
    EXPECT_EQ(f.Convert(), 0);
}

TEST(ChangedTiles, TooManyRunsBecomeABandEachAndEveryChangeIsStillCovered) {
    Frames f;
    // Every other tile of every band: 300 runs.
    const int step = 2 * ChangedTiles::kTileWidth;
    for (int y = 3; y < kHeight; y += ChangedTiles::kTileHeight)
        for (int x = 5; x < kWidth; x += step) f.At(x, y) = 200;
    const int count = f.Convert();
    EXPECT_LE(count, ChangedTiles::kMostRects);
    EXPECT_GE(count, kHeight / ChangedTiles::kTileHeight);
    EXPECT_EQ(f.rects[count - 1].width, kWidth - ChangedTiles::kTileWidth) << "the last bands are one span each";
    for (int y = 3; y < kHeight; y += ChangedTiles::kTileHeight)
        for (int x = 5; x < kWidth; x += step) ASSERT_TRUE(Covers(f.rects, count, x, y)) << x << "," << y;
    EXPECT_EQ(f.shown, f.source);
}

TEST(ChangedTiles, APictureWiderOrHigherThanItCanCoverIsRefusedUntouched) {
    std::vector<uint8_t> source(4, 1), shown(4, 0);
    std::vector<uint32_t> target(4, 0);
    uint32_t colours[256] = {};
    TargetRect rects[ChangedTiles::kMostRects];
    EXPECT_EQ(ChangedTiles::Convert(source.data(), shown.data(), ChangedTiles::kMaxWidth + 1, 1, colours, target.data(),
                                    rects),
              0);
    EXPECT_EQ(ChangedTiles::Convert(source.data(), shown.data(), 1, ChangedTiles::kMaxHeight + 1, colours,
                                    target.data(), rects),
              0);
    EXPECT_EQ(shown[0], 0);
}

}  // namespace
