#include "gfx/Display.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>
#include <vector>

#include "support/FakeHost.h"

namespace {

class DisplayTest : public ::testing::Test, public DisplayFixtureBase {
protected:
    void SetUp() override { ASSERT_TRUE(StartTestDisplay()); }
    void TearDown() override { ShutdownDisplay(); }
    uint8_t BackAt(int x, int y) const { return backBuffer->pixels[y * 640 + x]; }
};

// What a copy draws (the key, clipping at the back buffer's edges, copies
// that must fit wholly, stretching to the nearest pixel) is checked against
// a pixel-by-pixel copy in DisplayCopies below.

TEST_F(DisplayTest, FillsClipOnTheBackBufferAndRefuseElsewhere) {
    ClearSurface(backBuffer, 0);
    FillRect(630, 470, 700, 500, backBuffer, 5);
    EXPECT_EQ((std::tuple{BackAt(639, 479), BackAt(629, 479)}), (std::tuple{5, 0}));
    FillRect(20, 20, 20, 30, backBuffer, 9);  // empty
    FillRect(30, 30, 20, 40, backBuffer, 9);  // inverted
    EXPECT_EQ((std::tuple{BackAt(20, 25), BackAt(25, 35)}), (std::tuple{0, 0}));
    Surface target = CreateSurface(8, 8, SystemMemory);
    FillRect(4, 4, 9, 8, target, 3);
    EXPECT_EQ(target->pixels[4 * 8 + 4], 0);
    FillRect(4, 4, 8, 8, target, 3);
    EXPECT_EQ((std::tuple{target->pixels[7 * 8 + 7], target->pixels[3 * 8 + 7]}), (std::tuple{3, 0}));
    ReleaseSurface(target);
}

TEST_F(DisplayTest, ClipListBoundsAndLimits) {
    const Rect one{0, 0, 640, 480};
    ASSERT_TRUE(SetClipList(backBuffer, 1, &one));
    const Rect& b = backBuffer->clipBounds;
    EXPECT_EQ((std::tuple{b.left, b.top, b.right, b.bottom}), (std::tuple{0, 0, 640, 480}));
    const Rect two[2] = {{10, 20, 30, 40}, {5, 25, 15, 60}};
    ASSERT_TRUE(SetClipList(backBuffer, 2, two));
    EXPECT_EQ((std::tuple{b.left, b.top, b.right, b.bottom}), (std::tuple{5, 20, 30, 60}));
    ClearSurface(backBuffer, 0);
    FillRect(0, 0, 640, 480, backBuffer, 4);
    EXPECT_EQ((std::tuple{BackAt(10, 20), BackAt(5, 59), BackAt(0, 0), BackAt(29, 19)}), (std::tuple{4, 4, 0, 0}));
    EXPECT_FALSE(SetClipList(backBuffer, kMaxClipRects + 1, two));
}

TEST_F(DisplayTest, FlipSwapsTheTwoPictures) {
    ClearSurface(backBuffer, 1);
    FlipDisplay();
    ClearSurface(backBuffer, 2);
    const int before = host.presents;
    FlipDisplay();
    EXPECT_EQ(host.presents, before + 1);
    // The back buffer holds the previous picture.
    EXPECT_EQ((std::tuple{backBuffer->pixels[0], primarySurface->pixels[0]}), (std::tuple{1, 2}));
    EXPECT_EQ(host.lastPixels, primarySurface->pixels);
}

TEST_F(DisplayTest, PaletteWritesShowAtOnce) {
    PaletteEntry pal[256];
    for (int i = 0; i < 256; ++i) pal[i] = PaletteEntry{static_cast<uint8_t>(i), 0, 0, 4};
    ASSERT_TRUE(CreateDisplayPalette(pal));
    const int before = host.presents;
    const PaletteEntry red{255, 0, 0, 4};
    SetDisplayPalette(7, 1, &red);
    EXPECT_EQ(host.presents, before + 1);
    PaletteEntry back[256];
    GetDisplayPalette(0, 256, back);
    EXPECT_EQ((std::tuple{back[7].red, back[8].red, host.lastPalette[7].red}), (std::tuple{255, 8, 255}));
    // Out-of-range writes are ignored.
    SetDisplayPalette(250, 10, pal);
    GetDisplayPalette(0, 256, back);
    EXPECT_EQ(back[250].red, 250);
}

TEST(DisplayLifetime, SurfaceCreationFailsCleanly) {
    displayFailed = false;
    EXPECT_EQ(CreateSurface(0, 10, SystemMemory), nullptr);
    EXPECT_TRUE(displayFailed);
    displayFailed = false;
    // The pool has room for every surface the game makes, but not unlimited.
    Surface made[kMaxSurfaces + 1] = {};
    int count = 0;
    while (count <= kMaxSurfaces && (made[count] = CreateSurface(4, 4, VideoMemory)) != nullptr) ++count;
    EXPECT_EQ(count, kMaxSurfaces);
    EXPECT_TRUE(displayFailed);
    for (int i = 0; i < count; ++i) ReleaseSurface(made[i]);
    displayFailed = false;
}

// What a copy draws, pixel by pixel: every destination pixel inside the
// destination rectangle, the surface and (when there is one) the clip list
// takes the nearest source pixel unless the key leaves it out.
bool ReferenceCopy(const SurfaceData& src, const Rect& s, const SurfaceData& dst, const Rect& d, bool keyed,
                   uint8_t* out) {
    if (s.right <= s.left || s.bottom <= s.top || d.right <= d.left || d.bottom <= d.top) return false;
    if (s.left < 0 || s.top < 0 || s.right > src.width || s.bottom > src.height) return false;
    if (dst.clipCount == 0 && (d.left < 0 || d.top < 0 || d.right > dst.width || d.bottom > dst.height)) return false;
    for (int y = std::max(d.top, 0); y < std::min(d.bottom, dst.height); ++y)
        for (int x = std::max(d.left, 0); x < std::min(d.right, dst.width); ++x) {
            bool shown = dst.clipCount == 0;
            for (int i = 0; i < dst.clipCount; ++i) {
                const Rect& c = dst.clipRects[i];
                shown = shown || (x >= c.left && x < c.right && y >= c.top && y < c.bottom);
            }
            const int64_t sx = s.left + (int64_t{x} - d.left) * (s.right - s.left) / (int64_t{d.right} - d.left);
            const int64_t sy = s.top + (int64_t{y} - d.top) * (s.bottom - s.top) / (int64_t{d.bottom} - d.top);
            const uint8_t v = src.pixels[sy * src.width + sx];
            if (shown && !(keyed && src.keyed && v >= src.keyLow && v <= src.keyHigh)) out[y * dst.width + x] = v;
        }
    return true;
}

TEST(DisplayCopies, EveryPathDrawsWhatAPixelByPixelCopyDraws) {
    std::mt19937 rng(20240611);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 3000; ++round) {
        SCOPED_TRACE(round);
        const bool wholeRows = pick(0, 7) == 0;  // rows whole on one side or both
        Surface src = CreateSurface(pick(1, 90), pick(1, 30), SystemMemory);
        Surface dst =
            CreateSurface(wholeRows ? std::max(1, src->width + pick(-1, 1)) : pick(1, 90), pick(1, 40), SystemMemory);
        ASSERT_TRUE(src && dst);
        // Small values, so that key ranges and runs of index 0 are common.
        for (int i = 0; i < src->width * src->height; ++i)
            src->pixels[i] = static_cast<uint8_t>(pick(0, 3) ? pick(0, 4) : pick(0, 255));
        const int keys[5][2] = {{0, 0}, {1, 3}, {4, 2}, {0, 255}, {pick(0, 255), pick(0, 255)}};
        const int k = pick(0, 5);
        if (k < 5) SetSourceColorKey(static_cast<uint8_t>(keys[k][0]), static_cast<uint8_t>(keys[k][1]), src);
        Rect clips[3];
        const int clipCount = pick(0, 1) ? 0 : pick(1, 3);
        for (Rect& c : clips) c = Rect{pick(-10, 60), pick(-10, 30), pick(-10, 100), pick(-10, 50)};
        SetClipList(dst, clipCount, clips);
        Rect s{pick(-2, src->width - 1), pick(-2, src->height - 1), 0, 0};
        s.right = s.left + pick(0, src->width + 1);
        s.bottom = s.top + pick(0, src->height + 1);
        Rect d{pick(-40, dst->width), pick(-40, dst->height), 0, 0};
        const bool stretched = pick(0, 1);
        d.right = d.left + (stretched ? pick(0, 150) : s.right - s.left);
        d.bottom = d.top + (stretched ? pick(0, 90) : s.bottom - s.top);
        if (pick(0, 7) == 0) {  // flush with the right edge, or one past it
            const int shift = dst->width + pick(0, 1) - d.right;
            d.left += shift, d.right += shift;
        }
        if (wholeRows) s = d = Rect{0, 0, std::min(src->width, dst->width), std::min(src->height, dst->height)};
        if (stretched && pick(0, 19) == 0) d = Rect{-1000000000, pick(-50, 50), 1000000000, pick(-20, 60)};
        const bool keyed = pick(0, 3) != 0;
        const BlitKey key = keyed ? BlitKey::Keyed : BlitKey::Opaque;
        std::vector<uint8_t> before(static_cast<size_t>(dst->width) * dst->height);
        for (uint8_t& v : before) v = static_cast<uint8_t>(pick(0, 255));
        std::vector<uint8_t> expected = before;
        const bool drawn = ReferenceCopy(*src, s, *dst, d, keyed, expected.data());
        for (CopyPath path : {CopyPath::Plain, CopyPath::Vector}) {
            if (!SetCopyPath(path)) continue;
            std::copy(before.begin(), before.end(), dst->pixels);
            const bool result = stretched ? BlitStretched(s.left, s.top, s.right, s.bottom, src, d.left, d.top, d.right,
                                                          d.bottom, dst, key)
                                          : Blit(s.left, s.top, s.right, s.bottom, src, d.left, d.top, dst, key);
            ASSERT_EQ(result, drawn) << "path " << static_cast<int>(path);
            ASSERT_TRUE(std::equal(expected.begin(), expected.end(), dst->pixels)) << "path " << static_cast<int>(path);
        }
        SetCopyPath(CopyPath::Vector);
        ReleaseSurface(src);
        ReleaseSurface(dst);
    }
}

}  // namespace
