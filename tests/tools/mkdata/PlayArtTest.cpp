// The pictures of play: sizes, strip layout, the colours they may use, and the shapes the game relies on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "BmpFile.h"
#include "Canvas.h"
#include "Generators.h"
#include "PlayPaint.h"

namespace {

struct Strip {
    int srcX, srcY, pitch, frames;
};

bool InRamp(uint8_t v, int first, int count = 16) { return v >= first && v < first + count; }
float Luma(const Palette& p, uint8_t v) {
    return 0.3f * p.entries[v].r + 0.59f * p.entries[v].g + 0.11f * p.entries[v].b;
}

// Pixels of the w x h area at (x0, y0) whose index passes `pred`.
template <class F>
int Count(const Canvas& c, int x0, int y0, int w, int h, F pred) {
    int n = 0;
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x) n += pred(c.Get(x, y)) ? 1 : 0;
    return n;
}
int Ink(const Canvas& c, int x0, int y0, int w, int h) {
    return Count(c, x0, y0, w, h, [](uint8_t v) { return v != 0; });
}
int CountIn(const Canvas& c, const Strip& s, int k, int first, int count = 16) {
    return Count(c, s.srcX + k * s.pitch + 1, s.srcY + 1, s.pitch - 1, s.pitch - 1,
                 [&](uint8_t v) { return InRamp(v, first, count); });
}
int Opaque(const Canvas& c, const Strip& s, int k) { return CountIn(c, s, k, 1, 255); }
bool SamePicture(const Canvas& c, const Strip& s, int a, int b) {
    for (int y = 1; y < s.pitch; ++y)
        for (int x = 1; x < s.pitch; ++x)
            if (c.Get(s.srcX + a * s.pitch + x, s.srcY + y) != c.Get(s.srcX + b * s.pitch + x, s.srcY + y))
                return false;
    return true;
}
// Every cell of the strip is framed by separator lines, and the sheet uses only index 0 and the shared half.
void ExpectSheet(const Canvas& c, int w, int h, std::vector<Strip> strips, const char* what) {
    ASSERT_EQ((std::tuple{c.width(), c.height()}), (std::tuple{w, h})) << what;
    ASSERT_EQ(Count(c, 0, 0, w, h, [](uint8_t v) { return v != 0 && v < 128; }), 0) << what;
    for (const Strip& s : strips) {
        for (int k = 0; k <= s.frames; ++k)
            ASSERT_EQ(
                Count(c, s.srcX + k * s.pitch, s.srcY, 1, s.pitch + 1, [](uint8_t v) { return v != play::kSheetLine; }),
                0)
                << what << " cell " << k;
        for (int y : {s.srcY, s.srcY + s.pitch})
            ASSERT_EQ(Count(c, s.srcX, y, s.frames * s.pitch + 1, 1, [](uint8_t v) { return v != play::kSheetLine; }),
                      0)
                << what;
    }
}
// Pixels of `first`'s ramp in the 32 x 32 picture at (left, top) ahead of and behind its centre for heading h.
std::pair<int, int> AheadBehind(const Canvas& c, int left, int top, int h, int first) {
    int ahead = 0, behind = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            if (InRamp(c.Get(left + x, top + y), first))
                ((h == 0 ? 15 - y : h == 1 ? x - 16 : h == 2 ? y - 16 : 15 - x) >= 0 ? ahead : behind)++;
    return {ahead, behind};
}
}  // namespace

TEST(PlayArtWorms, SheetsHoldAnimatedHeadsBodiesAndTailsInTheirStripsInEachShipsColours) {
    const int hull[2] = {ramp::kSteel, ramp::kViolet}, lights[2] = {ramp::kCyan, ramp::kGreen};
    for (int ship = 0; ship < 2; ++ship) {
        Canvas s = play::BuildWormSheet(ship);
        std::vector<Strip> strips;
        for (int h = 0; h < 4; ++h)
            for (Strip st : {Strip{0, 33 * h, 33, 3}, Strip{165, 33 * h, 33, 1}, Strip{198, 33 * h, 33, 4}})
                strips.push_back(st);
        ExpectSheet(s, 640, 140, strips, "worm sheet");
        for (int h = 0; h < 4; ++h) {
            const Strip head{0, 33 * h, 33, 3}, body{165, 33 * h, 33, 1}, tail{198, 33 * h, 33, 4};
            for (int k = 0; k < 4; ++k) EXPECT_GT(Opaque(s, tail, k), 250);
            EXPECT_GT(Opaque(s, body, 0), 500);
            for (int k = 0; k < 3; ++k)
                EXPECT_TRUE(Opaque(s, head, k) > 400 && !SamePicture(s, head, k, (k + 1) % 3)) << k;
            EXPECT_GT(CountIn(s, body, 0, hull[ship]), 300);
            EXPECT_EQ(CountIn(s, body, 0, hull[1 - ship]), 0);
            EXPECT_GT(CountIn(s, body, 0, lights[ship]), 20);
            // held charge: gold; boost: a flame; brake: cyan retro jets
            for (auto [frame, tone] : {std::pair{1, ramp::kGold}, {2, ramp::kFire}, {3, ramp::kCyan}})
                EXPECT_GT(CountIn(s, tail, frame, tone), CountIn(s, tail, 0, tone) + 15) << frame;
        }
        EXPECT_EQ(Ink(s, 100, 0, 65, 140), 0);  // between head and body strips
    }
}

TEST(PlayArtWorms, HeadsLookAheadAndTheBoostFlameBurnsBehind) {
    const int eyes[2] = {ramp::kGold, ramp::kFire};
    for (int ship = 0; ship < 2; ++ship) {
        Canvas s = play::BuildWormSheet(ship);
        for (int h = 0; h < 4; ++h) {
            auto [ahead, behind] = AheadBehind(s, 1, 33 * h + 1, h, eyes[ship]);
            EXPECT_GT(ahead, 20) << ship << " " << h;
            EXPECT_GT(ahead, 4 * behind) << ship << " " << h;
            auto [flameAhead, flameBehind] = AheadBehind(s, 199 + 66, 33 * h + 1, h, ramp::kFire);
            EXPECT_GT(flameBehind, 10 * std::max(1, flameAhead)) << ship << " " << h;
        }
    }
}

// The worm drawn between cells the way the game draws it: segment k at its
// cell moved p pixels along its own heading, the one ahead of it in the
// next cell moved p along its heading; while the worm grows the tail end
// stands still and the gap ahead of it is filled with the body picture of
// the segment ahead, stretched to p pixels along the tail's heading
// (nearest pixel). A band 6 pixels wide along the centre line, from one
// picture's centre to the centre of the cell ahead and on to the next
// picture's centre, must be opaque for every p, heading and turn: no gaps
// at corners, none while growing.
class WormJoins {
public:
    explicit WormJoins(int ship) : sheet_(play::BuildWormSheet(ship)) {}
    enum Part { kHead, kBody, kTail };

    // The first p at which the join leaves a hole in the band, or -1.
    int FirstGap(Part behind, int frameBehind, int h1, Part ahead, int frameAhead, int h2, bool growing) {
        for (int p = 0; p < 32; ++p) {
            Canvas c(192, 192, 0);
            const int bx = 80, by = 80;  // the cell of the segment ahead
            const int ax = bx - 32 * kDx[h1], ay = by - 32 * kDy[h1];
            if (growing) {
                Draw(c, ahead, frameAhead, h2, bx + p * kDx[h2], by + p * kDy[h2]);
                const int w = h1 == 1 || h1 == 3 ? p : 32, h = h1 == 0 || h1 == 2 ? p : 32;
                const int sx = h1 == 1 ? ax + 32 : h1 == 3 ? ax - p : ax, sy = h1 == 2 ? ay + 32 : h1 == 0 ? ay - p : ay;
                Stretch(c, h2, sx, sy, w, h);
                Draw(c, behind, frameBehind, h1, ax, ay);
            } else {
                Draw(c, behind, frameBehind, h1, ax + p * kDx[h1], ay + p * kDy[h1]);
                Draw(c, ahead, frameAhead, h2, bx + p * kDx[h2], by + p * kDy[h2]);
            }
            // centre line: from the behind picture's centre to the cell centre, then on to the ahead one's
            const int behindStep = growing ? 0 : p;
            for (int t = -32 + behindStep; t <= p; ++t) {
                if (t == 0) continue;
                const int h = t < 0 ? h1 : h2;
                const int cx = bx + 16 + t * kDx[h], cy = by + 16 + t * kDy[h];
                for (int j = -3; j < 3; ++j) {
                    const int ox = j * kDy[h], oy = j * kDx[h];
                    // Within 3 pixels of a bend its outside may be cut square: the two pictures
                    // end at their own cells' edges there, whatever they hold.
                    const int outward = t < 0 ? -(ox * kDx[h2] + oy * kDy[h2]) : ox * kDx[h1] + oy * kDy[h1];
                    if (h1 != h2 && std::abs(t) <= 3 && outward > 0) continue;
                    if (c.Get(cx + ox, cy + oy) == 0) return p;
                }
            }
        }
        return -1;
    }

private:
    static constexpr int kDx[4] = {0, 1, 0, -1}, kDy[4] = {-1, 0, 1, 0};
    int Left(Part part, int frame) const { return part == kHead ? 1 + 33 * frame : part == kBody ? 166 : 199 + 33 * frame; }
    void Draw(Canvas& c, Part part, int frame, int h, int x, int y) const {
        c.Paste(sheet_, Left(part, frame), 33 * h + 1, 32, 32, x, y, true);
    }
    void Stretch(Canvas& c, int h, int x, int y, int w, int hgt) const {
        for (int j = 0; j < hgt; ++j)
            for (int i = 0; i < w; ++i)
                if (uint8_t v = sheet_.Get(166 + i * 32 / w, 33 * h + 1 + j * 32 / hgt)) c.Set(x + i, y + j, v);
    }
    Canvas sheet_;
};

TEST(PlayArtWorms, SegmentsJoinAtEveryHeadingTurnAndStepAndWhileGrowing) {
    using J = WormJoins;
    for (int ship = 0; ship < 2; ++ship) {
        J joins(ship);
        for (int h1 = 0; h1 < 4; ++h1)
            for (int turn : {0, 1, 3}) {
                const int h2 = (h1 + turn) % 4;
                const std::string at = "ship " + std::to_string(ship) + " heading " + std::to_string(h1) + " to " +
                                       std::to_string(h2);
                EXPECT_EQ(joins.FirstGap(J::kBody, 0, h1, J::kBody, 0, h2, false), -1) << "body to body, " << at;
                for (int f = 0; f < 3; ++f) {
                    EXPECT_EQ(joins.FirstGap(J::kBody, 0, h1, J::kHead, f, h2, false), -1) << "body to head, " << at;
                    EXPECT_EQ(joins.FirstGap(J::kTail, 0, h1, J::kHead, f, h2, false), -1) << "tail to head, " << at;
                    EXPECT_EQ(joins.FirstGap(J::kTail, 0, h1, J::kHead, f, h2, true), -1) << "growing head, " << at;
                }
                for (int f = 0; f < 4; ++f) {
                    EXPECT_EQ(joins.FirstGap(J::kTail, f, h1, J::kBody, 0, h2, false), -1) << "tail to body, " << at;
                    EXPECT_EQ(joins.FirstGap(J::kTail, f, h1, J::kBody, 0, h2, true), -1) << "growing, " << at;
                }
            }
    }
}

TEST(PlayArtEffects, ExplosionsCrashesAndGatesFillTheirStrips) {
    Canvas e = play::BuildExplosionSheet();
    ExpectSheet(e, 640, 250, {{0, 0, 65, 9}, {0, 65, 65, 9}, {0, 130, 65, 9}}, "explosions");
    for (int p = 0; p < 27; ++p) EXPECT_GT(Opaque(e, {0, 65 * (p / 9), 65, 9}, p % 9), 0) << p;  // all 27 shown
    EXPECT_EQ(Ink(e, 9 * 65 + 1, 0, 640 - 9 * 65 - 1, 250), 0);

    Canvas s = play::BuildSharedSheet();
    const Strip gate{0, 132, 33, 3};
    ExpectSheet(s, 640, 180, {{0, 0, 33, 13}, {0, 33, 33, 13}, {0, 66, 33, 13}, {0, 99, 33, 13}, gate}, "shared");
    for (int h = 0; h < 4; ++h) {  // a crash flashes up and dies away
        const Strip crash{0, 33 * h, 33, 13};
        EXPECT_GT(Opaque(s, crash, 0), 30);
        EXPECT_LT(Opaque(s, crash, 12), Opaque(s, crash, 3));
    }
    for (int k = 0; k < 3; ++k) {  // a round portal: centre opaque, corners clear
        EXPECT_GT(Opaque(s, gate, k), 600);
        EXPECT_NE(s.Get(1 + 33 * k + 16, 133 + 16), 0);
        EXPECT_EQ(s.Get(1 + 33 * k, 133) + s.Get(1 + 33 * k + 31, 133 + 31), 0);
        EXPECT_FALSE(SamePicture(s, gate, k, (k + 1) % 3));
    }
}

TEST(PlayArtFood, FiveAnimatedKindsInTheirStripsAndBiggerValueIsBigger) {
    Canvas s = play::BuildFoodSheet();
    const int frames[5] = {6, 6, 4, 4, 1};
    std::vector<Strip> strips;
    for (int k = 0; k < 5; ++k) strips.push_back({0, 33 * k, 33, frames[k]});
    ExpectSheet(s, 320, 180, strips, "food");
    for (int k = 0; k < 5; ++k) {
        for (int f = 0; f < frames[k]; ++f) EXPECT_GT(Opaque(s, strips[k], f), 60) << k << "/" << f;
        for (int f = 1; f < frames[k]; ++f) EXPECT_FALSE(SamePicture(s, strips[k], f - 1, f)) << k << "/" << f;
        EXPECT_EQ(Ink(s, 33 * frames[k] + 1, 33 * k + 1, 319 - 33 * frames[k], 32), 0) << k;
    }
    EXPECT_GT(Opaque(s, strips[3], 0), 2 * Opaque(s, strips[0], 0));  // the sun outweighs the spore
}

TEST(PlayArtPanels, TheWallTileIsClearAndTheStatusPanelKeepsItsFieldsDark) {
    Canvas s = play::BuildWallSheet();
    ExpectSheet(s, 320, 200, {{0, 0, 33, 1}}, "walls");
    const Palette p = SharedPalette();
    EXPECT_EQ(Ink(s, 1, 1, 32, 32), 0);  // the walls are painted into each level's arena picture
    const int ox = 1, oy = 166;  // the panel fills its 309 x 31 rectangle and nothing else is drawn
    EXPECT_EQ(Ink(s, ox, oy, 309, 31), 309 * 31);
    EXPECT_EQ(Ink(s, 0, 34, 320, 166), 309 * 31);
    auto meanLuma = [&](int l, int t, int r, int b) {
        float sum = 0.f;
        Count(s, ox + l, oy + t, r - l, b - t, [&](uint8_t v) { return sum += Luma(p, v), true; });
        return sum / ((r - l) * (b - t));
    };
    // shield bar well, length number, shield number, name, lives marks
    for (auto [l, t, r, b] :
         {std::array{196, 18, 301, 26}, {76, 16, 120, 27}, {160, 16, 185, 27}, {212, 2, 300, 13}, {40, 2, 103, 7}})
        EXPECT_LT(meanLuma(l, t, r, b), 30.f) << l << "," << t;
    EXPECT_GT(Luma(p, 223), meanLuma(196, 18, 301, 26) + 100.f);  // the shield bar's colour stands out
}

TEST(PlayArtPanels, TheIntroPanelIsDarkUnderTheTextAndTheCompletePictureKeepsClearOfTheTablesTitleAndCaptions) {
    Canvas s = play::BuildIntroPanel();
    ExpectSheet(s, 320, 200, {}, "intro panel");
    const Palette p = SharedPalette();
    EXPECT_EQ(s.Get(0, 0) + s.Get(319, 199), 0);  // rounded corners
    // LEVEL, title, COMPLETE, EXIT Y/N (bigFont glyphs are 31 high)
    for (auto [l, t, r, b] : {std::array{30, 30, 300, 61}, {30, 80, 300, 111}, {30, 130, 300, 161}, {75, 90, 250, 121}})
        EXPECT_EQ(Count(s, l, t, r - l, b - t, [&](uint8_t v) { return v == 0 || Luma(p, v) >= 40.f; }), 0) << t;

    // Drawn at (140, 10) over the high-score table: the title and its subtitle (down to y 107 on the
    // screen) and the column captions and rows (from y 150) show through; the banner fills the band
    // between them.
    Canvas c = play::BuildCompletePicture();
    ExpectSheet(c, 400, 200, {}, "complete");
    EXPECT_EQ(Ink(c, 0, 0, 400, 108 - 10), 0);
    EXPECT_EQ(Ink(c, 0, 150 - 10, 400, 200 - 140), 0);
    EXPECT_GT(Ink(c, 0, 98, 400, 42), 400 * 42 / 2);
}

TEST(PlayArtFiles, WritesEveryPictureAsAn8BitBmpWithTheSharedUpperPaletteTheSameEveryRun) {
    const auto dir = std::filesystem::temp_directory_path() / ("vc_playart_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "grafik");
    ASSERT_TRUE(MakePlayArt(dir.string()));
    const Palette shared = SharedPalette();
    const std::tuple<const char*, int, int> files[] = {
        {"SW1.dat", 640, 140},  {"SW2.dat", 640, 140},   {"Explotions.dat", 640, 250}, {"Shared.dat", 640, 180},
        {"food.dat", 320, 180}, {"walls.dat", 320, 200}, {"RutNat.dat", 320, 200},     {"Complete.dat", 400, 200}};
    for (auto [name, w, h] : files) {
        const BmpFile b = ReadBmpFile((dir / "grafik" / name).string());
        EXPECT_EQ((std::tuple{b.ok, b.width, b.height, b.bits, b.imageSize, b.raw.size()}),
                  (std::tuple{true, w, h, 8, uint32_t(w * h), 1078u + w * h}))
            << name;
        EXPECT_TRUE(b.SamePalette(shared, 128, 255)) << name;
    }
    std::filesystem::remove_all(dir);
    const Canvas a = play::BuildWormSheet(1), b = play::BuildWormSheet(1), c = play::BuildExplosionSheet(),
                 d = play::BuildExplosionSheet();
    EXPECT_TRUE(std::equal(a.pixels(), a.pixels() + 640 * 140, b.pixels()) &&
                std::equal(c.pixels(), c.pixels() + 640 * 250, d.pixels()));
}

// The desktop icons are the worm shaded afresh at each size: the same shape
// at every size (not a smaller picture in a bigger frame), the head clear of
// the top and the sides, the body running out of the bottom, in the worm's
// steel and glow colours on a see-through ground.
TEST(Icons, EverySizeShowsTheSameSteelWormClearOfTheTopAndSides) {
    const Canvas largest = BuildIcon(256);
    const float largestCover = Ink(largest, 0, 0, 256, 256) / (256.f * 256.f);
    EXPECT_GT(largestCover, 0.4f);
    EXPECT_LT(largestCover, 0.8f);
    for (int size : kIconSizes) {
        SCOPED_TRACE(size);
        const Canvas icon = BuildIcon(size);
        ASSERT_EQ(icon.width(), size);
        ASSERT_EQ(icon.height(), size);
        const int margin = size * 2 / 48;  // a little inside the 3/48 gap and 8/48 sides
        const int side = size * 7 / 48;
        EXPECT_EQ(Ink(icon, 0, 0, size, margin), 0) << "the top edge";
        EXPECT_EQ(Ink(icon, 0, 0, side, size), 0) << "the left side";
        EXPECT_EQ(Ink(icon, size - side, 0, side, size), 0) << "the right side";
        EXPECT_GT(Ink(icon, 0, size - 1, size, 1), size / 2) << "the body runs out of the bottom";
        const float cover = Ink(icon, 0, 0, size, size) / static_cast<float>(size * size);
        EXPECT_NEAR(cover, largestCover, 0.03f);
        const int shaded = Count(icon, 0, 0, size, size, [](uint8_t v) {
            return InRamp(v, ramp::kSteel) || InRamp(v, ramp::kCyan) || InRamp(v, ramp::kGold) ||
                   InRamp(v, ramp::kGrey);
        });
        EXPECT_EQ(shaded, Ink(icon, 0, 0, size, size)) << "only the steel worm's colours";
    }
}
