// The pictures of play: sizes, strip layout, the colours they may use, and
// the shapes the game relies on (heads point ahead, segments join, effects
// run their course).
#include <unistd.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Canvas.h"
#include "Generators.h"
#include "PlayPaint.h"

namespace {

struct Strip {
    int srcX, srcY, pitch, frames;
};

bool InRamp(uint8_t v, int first, int count) { return v >= first && v < first + count; }

float Luma(const Palette& p, uint8_t v) {
    const Rgb& c = p.entries[v];
    return 0.3f * c.r + 0.59f * c.g + 0.11f * c.b;
}

// Opaque pixels of frame k of a strip.
int Opaque(const Canvas& c, const Strip& s, int k) {
    int n = 0;
    for (int y = 0; y < s.pitch - 1; ++y)
        for (int x = 0; x < s.pitch - 1; ++x)
            if (c.Get(s.srcX + k * s.pitch + 1 + x, s.srcY + 1 + y)) ++n;
    return n;
}

int CountIn(const Canvas& c, const Strip& s, int k, int first, int count) {
    int n = 0;
    for (int y = 0; y < s.pitch - 1; ++y)
        for (int x = 0; x < s.pitch - 1; ++x)
            if (InRamp(c.Get(s.srcX + k * s.pitch + 1 + x, s.srcY + 1 + y), first, count)) ++n;
    return n;
}

bool SamePicture(const Canvas& c, const Strip& s, int a, int b) {
    for (int y = 0; y < s.pitch - 1; ++y)
        for (int x = 0; x < s.pitch - 1; ++x)
            if (c.Get(s.srcX + a * s.pitch + 1 + x, s.srcY + 1 + y) != c.Get(s.srcX + b * s.pitch + 1 + x, s.srcY + 1 + y))
                return false;
    return true;
}

void ExpectStripLines(const Canvas& c, const Strip& s, const char* what) {
    for (int k = 0; k <= s.frames; ++k)
        for (int y = 0; y <= s.pitch; ++y)
            ASSERT_EQ(c.Get(s.srcX + k * s.pitch, s.srcY + y), play::kSheetLine)
                << what << ": separator column of cell " << k << " at row " << y;
    for (int x = 0; x <= s.frames * s.pitch; ++x) {
        ASSERT_EQ(c.Get(s.srcX + x, s.srcY), play::kSheetLine) << what << ": top line at " << x;
        ASSERT_EQ(c.Get(s.srcX + x, s.srcY + s.pitch), play::kSheetLine) << what << ": bottom line at " << x;
    }
}

void ExpectOnlySharedColours(const Canvas& c, const char* what) {
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x) {
            uint8_t v = c.Get(x, y);
            ASSERT_TRUE(v == 0 || v >= 128) << what << " uses index " << int(v) << " at " << x << "," << y;
        }
}

// Left and right ends of the opaque run of a row (or column) of a 32 x 32
// picture; -1 when empty.
std::pair<int, int> Span(const Canvas& c, int left, int top, int line, bool row) {
    int lo = -1, hi = -1;
    for (int i = 0; i < 32; ++i) {
        uint8_t v = row ? c.Get(left + i, top + line) : c.Get(left + line, top + i);
        if (v) {
            if (lo < 0) lo = i;
            hi = i;
        }
    }
    return {lo, hi};
}

int ReadLe32(const std::vector<uint8_t>& d, size_t o) {
    return static_cast<int>(d[o] | d[o + 1] << 8 | d[o + 2] << 16 | static_cast<uint32_t>(d[o + 3]) << 24);
}

}  // namespace

// ---------------------------------------------------------------- worms

TEST(PlayArtWorms, SheetsHaveTheirSizeStripsAndOnlySharedColours) {
    for (int ship = 0; ship < 2; ++ship) {
        Canvas sheet = play::BuildWormSheet(ship);
        ASSERT_EQ(sheet.width(), 640);
        ASSERT_EQ(sheet.height(), 140);
        ExpectOnlySharedColours(sheet, "worm sheet");
        for (int h = 0; h < 4; ++h) {
            ExpectStripLines(sheet, {0, 33 * h, 33, 3}, "head strip");
            ExpectStripLines(sheet, {165, 33 * h, 33, 1}, "body strip");
            ExpectStripLines(sheet, {198, 33 * h, 33, 4}, "tail strip");
            for (int k = 0; k < 3; ++k) EXPECT_GT(Opaque(sheet, {0, 33 * h, 33, 3}, k), 400);
            EXPECT_GT(Opaque(sheet, {165, 33 * h, 33, 1}, 0), 500);
            for (int k = 0; k < 4; ++k) EXPECT_GT(Opaque(sheet, {198, 33 * h, 33, 4}, k), 250);
        }
        // nothing outside the strips: the gap between head and body strips
        for (int y = 0; y < 140; ++y)
            for (int x = 100; x < 165; ++x) ASSERT_EQ(sheet.Get(x, y), 0) << x << "," << y;
    }
}

TEST(PlayArtWorms, ShipsLookDifferent) {
    Canvas a = play::BuildWormSheet(0), b = play::BuildWormSheet(1);
    // ship 0 is steel with cyan lights, ship 1 violet with green ones
    Strip body{165, 0, 33, 1};
    EXPECT_GT(CountIn(a, body, 0, ramp::kSteel, 16), 300);
    EXPECT_GT(CountIn(b, body, 0, ramp::kViolet, 16), 300);
    EXPECT_EQ(CountIn(a, body, 0, ramp::kViolet, 16), 0);
    EXPECT_EQ(CountIn(b, body, 0, ramp::kSteel, 16), 0);
    EXPECT_GT(CountIn(a, body, 0, ramp::kCyan, 16), 20);
    EXPECT_GT(CountIn(b, body, 0, ramp::kGreen, 16), 20);
}

TEST(PlayArtWorms, HeadsLookWhereTheyGo) {
    // The eyes lie in the half of the picture toward the heading.
    const int eyeRamp[2] = {ramp::kGold, ramp::kFire};
    for (int ship = 0; ship < 2; ++ship) {
        Canvas sheet = play::BuildWormSheet(ship);
        for (int h = 0; h < 4; ++h) {
            int ahead = 0, behind = 0;
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 32; ++x) {
                    if (!InRamp(sheet.Get(1 + x, 33 * h + 1 + y), eyeRamp[ship], 16)) continue;
                    int along = h == 0 ? 15 - y : h == 1 ? x - 16 : h == 2 ? y - 16 : 15 - x;
                    (along >= 0 ? ahead : behind)++;
                }
            EXPECT_GT(ahead, 20) << "ship " << ship << " heading " << h;
            EXPECT_GT(ahead, 4 * behind) << "ship " << ship << " heading " << h;
        }
    }
}

TEST(PlayArtWorms, HeadingsAreQuarterTurnsOfOneShape) {
    // Lighting stays at the upper left, but the outline turns with the heading.
    for (int ship = 0; ship < 2; ++ship) {
        Canvas sheet = play::BuildWormSheet(ship);
        const int lefts[3] = {1, 166, 199};
        for (int part = 0; part < 3; ++part) {
            for (int h = 1; h < 4; ++h) {
                int agree = 0;
                for (int y = 0; y < 32; ++y)
                    for (int x = 0; x < 32; ++x) {
                        // turn (x, y) of heading h back to heading 0
                        int sx = x, sy = y;
                        for (int t = 0; t < h; ++t) {
                            int nx = sy, ny = 31 - sx;
                            sx = nx;
                            sy = ny;
                        }
                        bool a = sheet.Get(lefts[part] + x, 33 * h + 1 + y) != 0;
                        bool b = sheet.Get(lefts[part] + sx, 1 + sy) != 0;
                        agree += a == b;
                    }
                EXPECT_GE(agree, 1024 - 24) << "ship " << ship << " part " << part << " heading " << h;
            }
        }
    }
}

TEST(PlayArtWorms, SegmentsJoinWithoutSteps) {
    // Where two cells meet, the body's ends, the head's back and the tail's
    // front all have the same width, so a worm reads as one piece; and the
    // body keeps its width along its length, so a stretched segment fits.
    for (int ship = 0; ship < 2; ++ship) {
        Canvas s = play::BuildWormSheet(ship);
        for (int h = 0; h < 4; ++h) {
            const bool vertical = h == 0 || h == 2;
            const int top = 33 * h + 1;
            // the rows (or columns) at the front (line 0 for up/left, 31 for down/right) and back
            const int front = (h == 0 || h == 3) ? 0 : 31, back = 31 - front;
            auto bodyFront = Span(s, 166, top, front, vertical);
            auto bodyBack = Span(s, 166, top, back, vertical);
            auto headBack = Span(s, 1, top, back, vertical);
            ASSERT_GE(bodyFront.first, 0);
            EXPECT_EQ(bodyFront, bodyBack) << "ship " << ship << " heading " << h;
            EXPECT_EQ(headBack, bodyFront) << "ship " << ship << " heading " << h;
            for (int k = 0; k < 4; ++k)
                EXPECT_EQ(Span(s, 199 + 33 * k, top, front, vertical), bodyFront)
                    << "tail frame " << k << " ship " << ship << " heading " << h;
            auto middle = Span(s, 166, top, 16, vertical);
            for (int line = 0; line < 32; ++line) {
                auto sp = Span(s, 166, top, line, vertical);
                EXPECT_LE(std::abs(sp.first - middle.first), 2) << line;
                EXPECT_LE(std::abs(sp.second - middle.second), 2) << line;
            }
        }
    }
}

TEST(PlayArtWorms, TailFramesShowTheCharge) {
    for (int ship = 0; ship < 2; ++ship) {
        Canvas s = play::BuildWormSheet(ship);
        for (int h = 0; h < 4; ++h) {
            Strip tail{198, 33 * h, 33, 4};
            // held charge: gold; boost: a flame; brake: cyan retro jets
            EXPECT_GT(CountIn(s, tail, 1, ramp::kGold, 16), CountIn(s, tail, 0, ramp::kGold, 16) + 15);
            EXPECT_GT(CountIn(s, tail, 2, ramp::kFire, 16), CountIn(s, tail, 0, ramp::kFire, 16) + 15);
            EXPECT_GT(CountIn(s, tail, 3, ramp::kCyan, 16), CountIn(s, tail, 0, ramp::kCyan, 16) + 15);
            // the flame lies behind the tail, away from the heading
            int ahead = 0, behind = 0;
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 32; ++x) {
                    if (!InRamp(s.Get(199 + 66 + x, 33 * h + 1 + y), ramp::kFire, 16)) continue;
                    int along = h == 0 ? 15 - y : h == 1 ? x - 16 : h == 2 ? y - 16 : 15 - x;
                    (along >= 0 ? ahead : behind)++;
                }
            EXPECT_GT(behind, 10 * std::max(1, ahead)) << "ship " << ship << " heading " << h;
        }
    }
}

TEST(PlayArtWorms, HeadIsAnimated) {
    Canvas s = play::BuildWormSheet(0);
    for (int h = 0; h < 4; ++h) {
        Strip head{0, 33 * h, 33, 3};
        EXPECT_FALSE(SamePicture(s, head, 0, 1));
        EXPECT_FALSE(SamePicture(s, head, 1, 2));
        EXPECT_FALSE(SamePicture(s, head, 0, 2));
    }
}

// ---------------------------------------------------------------- effects

TEST(PlayArtEffects, ExplosionGrowsBurnsAndFadesToSmoke) {
    Canvas s = play::BuildExplosionSheet();
    ASSERT_EQ(s.width(), 640);
    ASSERT_EQ(s.height(), 250);
    ExpectOnlySharedColours(s, "explosions");
    for (int k = 0; k < 3; ++k) ExpectStripLines(s, {0, 65 * k, 65, 9}, "explosion strip");
    std::vector<int> size, fire;
    for (int p = 0; p < 27; ++p) {
        Strip strip{0, 65 * (p / 9), 65, 9};
        size.push_back(Opaque(s, strip, p % 9));
        fire.push_back(CountIn(s, strip, p % 9, ramp::kFire, 16));
    }
    EXPECT_LT(size[0], size[4]);   // grows
    EXPECT_GT(fire[3], 1000);      // burns
    EXPECT_LT(size[26], size[12]); // thins out
    EXPECT_GT(size[26], 0);        // the ninth picture of the third strip is still there
    for (int p = 21; p < 27; ++p) EXPECT_EQ(fire[p], 0) << p;  // only smoke at the end
    EXPECT_GT(CountIn(s, {0, 130, 65, 9}, 0, ramp::kGrey, 16), 500);
    // nothing beyond the ninth cell
    for (int y = 0; y < 250; ++y)
        for (int x = 9 * 65 + 1; x < 640; ++x) ASSERT_EQ(s.Get(x, y), 0);
}

TEST(PlayArtEffects, CrashStripsFollowTheHeadingAndDieAway) {
    Canvas s = play::BuildSharedSheet();
    ASSERT_EQ(s.width(), 640);
    ASSERT_EQ(s.height(), 180);
    ExpectOnlySharedColours(s, "shared sheet");
    for (int h = 0; h < 4; ++h) {
        Strip crash{0, 33 * h, 33, 13};
        ExpectStripLines(s, crash, "crash strip");
        EXPECT_GT(Opaque(s, crash, 0), 30);
        EXPECT_LT(Opaque(s, crash, 12), Opaque(s, crash, 3));
    }
    // the sparks fly back along the worm, so up and down differ
    int differ = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) differ += s.Get(1 + 4 * 33 + x, 1 + y) != s.Get(1 + 4 * 33 + x, 67 + y);
    EXPECT_GT(differ, 20);
}

TEST(PlayArtEffects, GateIsARoundAnimatedPortal) {
    Canvas s = play::BuildSharedSheet();
    Strip gate{0, 132, 33, 3};
    ExpectStripLines(s, gate, "gate strip");
    for (int k = 0; k < 3; ++k) {
        EXPECT_GT(Opaque(s, gate, k), 600);
        // centre opaque, corners clear
        EXPECT_NE(s.Get(1 + 33 * k + 16, 133 + 16), 0);
        EXPECT_EQ(s.Get(1 + 33 * k, 133), 0);
        EXPECT_EQ(s.Get(1 + 33 * k + 31, 133 + 31), 0);
    }
    EXPECT_FALSE(SamePicture(s, gate, 0, 1));
    EXPECT_FALSE(SamePicture(s, gate, 1, 2));
}

// ---------------------------------------------------------------- food

TEST(PlayArtFood, FiveAnimatedKindsInTheirStrips) {
    Canvas s = play::BuildFoodSheet();
    ASSERT_EQ(s.width(), 320);
    ASSERT_EQ(s.height(), 180);
    ExpectOnlySharedColours(s, "food");
    const int frames[5] = {6, 6, 4, 4, 1};
    for (int k = 0; k < 5; ++k) {
        Strip strip{0, 33 * k, 33, frames[k]};
        ExpectStripLines(s, strip, "food strip");
        for (int f = 0; f < frames[k]; ++f) EXPECT_GT(Opaque(s, strip, f), 60) << k << "/" << f;
        for (int f = 1; f < frames[k]; ++f) EXPECT_FALSE(SamePicture(s, strip, f - 1, f)) << k << "/" << f;
        // cells past the last frame stay empty
        for (int y = 1; y < 33; ++y)
            for (int x = 33 * frames[k] + 1; x < 320; ++x) ASSERT_EQ(s.Get(x, 33 * k + y), 0);
    }
    // bigger value, bigger item: the sun outweighs the spore
    EXPECT_GT(Opaque(s, {0, 99, 33, 4}, 0), 2 * Opaque(s, {0, 0, 33, 6}, 0));
}

// ---------------------------------------------------------------- walls and panels

TEST(PlayArtPanels, WallTileIsASolidBlock) {
    Canvas s = play::BuildWallSheet();
    ASSERT_EQ(s.width(), 320);
    ASSERT_EQ(s.height(), 200);
    ExpectOnlySharedColours(s, "walls");
    ExpectStripLines(s, {0, 0, 33, 1}, "wall tile");
    for (int y = 1; y < 33; ++y)
        for (int x = 1; x < 33; ++x) ASSERT_NE(s.Get(x, y), 0) << x << "," << y;
    // lit top-left edge, shaded bottom-right edge
    const Palette p = SharedPalette();
    EXPECT_GT(Luma(p, s.Get(2, 16)), Luma(p, s.Get(31, 16)) + 40);
    EXPECT_GT(Luma(p, s.Get(16, 2)), Luma(p, s.Get(16, 31)) + 40);
}

TEST(PlayArtPanels, StatusPanelKeepsTheGameFieldsDark) {
    Canvas s = play::BuildWallSheet();
    const Palette p = SharedPalette();
    const int ox = 1, oy = 166;
    // the panel fills its whole rectangle, and nothing lies outside it and the tile
    for (int y = 0; y < 31; ++y)
        for (int x = 0; x < 309; ++x) ASSERT_NE(s.Get(ox + x, oy + y), 0) << x << "," << y;
    for (int y = 34; y < 200; ++y)
        for (int x = 0; x < 320; ++x)
            if (!(x >= ox && x < ox + 309 && y >= oy && y < oy + 31)) {
                ASSERT_EQ(s.Get(x, y), 0) << x << "," << y;
            }
    auto meanLuma = [&](int l, int t, int r, int b) {
        float sum = 0.f;
        for (int y = t; y < b; ++y)
            for (int x = l; x < r; ++x) sum += Luma(p, s.Get(ox + x, oy + y));
        return sum / ((r - l) * (b - t));
    };
    EXPECT_LT(meanLuma(196, 18, 301, 26), 30.f);   // shield bar well
    EXPECT_LT(meanLuma(76, 16, 120, 27), 30.f);    // length number
    EXPECT_LT(meanLuma(160, 16, 185, 27), 30.f);   // shield number
    EXPECT_LT(meanLuma(212, 2, 300, 13), 30.f);    // name
    EXPECT_LT(meanLuma(40, 2, 103, 7), 30.f);      // lives marks
    EXPECT_GT(meanLuma(2, 2, 300, 29), 35.f);      // the metal around them
    // the bar and lives colours stand out against their wells
    EXPECT_GT(Luma(p, 223), meanLuma(196, 18, 301, 26) + 100.f);
    EXPECT_GT(Luma(p, 212), meanLuma(196, 18, 301, 26) + 50.f);
    // labels in gold before the length and shield fields
    int gold = 0;
    for (int y = 15; y < 29; ++y)
        for (int x = 40; x < 73; ++x) gold += InRamp(s.Get(ox + x, oy + y), ramp::kGold, 16);
    EXPECT_GT(gold, 15);
}

TEST(PlayArtPanels, IntroPanelIsDarkWhereTheTextGoes) {
    Canvas s = play::BuildIntroPanel();
    ASSERT_EQ(s.width(), 320);
    ASSERT_EQ(s.height(), 200);
    ExpectOnlySharedColours(s, "intro panel");
    const Palette p = SharedPalette();
    // rounded corners are clear; the glass band lets every other pixel through
    EXPECT_EQ(s.Get(0, 0), 0);
    EXPECT_EQ(s.Get(319, 199), 0);
    int open = 0, solid = 0;
    for (int x = 60; x < 260; ++x) (s.Get(x, 6) ? solid : open)++;
    EXPECT_GT(open, 60);
    EXPECT_GT(solid, 60);
    // the text rows (LEVEL, title, COMPLETE, EXIT Y/N; bigFont glyphs are 31 high)
    const int rows[4][4] = {{30, 30, 300, 61}, {30, 80, 300, 111}, {30, 130, 300, 161}, {75, 90, 250, 121}};
    for (const auto& r : rows)
        for (int y = r[1]; y < r[3]; ++y)
            for (int x = r[0]; x < r[2]; ++x) {
                uint8_t v = s.Get(x, y);
                ASSERT_NE(v, 0) << x << "," << y;
                ASSERT_LT(Luma(p, v), 40.f) << x << "," << y;
            }
}

TEST(PlayArtPanels, CompletePictureCarriesGoldLettering) {
    Canvas s = play::BuildCompletePicture();
    ASSERT_EQ(s.width(), 400);
    ASSERT_EQ(s.height(), 200);
    ExpectOnlySharedColours(s, "complete");
    EXPECT_EQ(s.Get(0, 199), 0);
    EXPECT_EQ(s.Get(399, 0), 0);
    int gold = 0, clear = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 400; ++x) {
            gold += InRamp(s.Get(x, y), ramp::kGold, 16);
            clear += s.Get(x, y) == 0;
        }
    EXPECT_GT(gold, 8000);
    EXPECT_GT(clear, 30000);  // the table shows around it
}

// ---------------------------------------------------------------- files

TEST(PlayArtFiles, WritesEveryPictureAsAn8BitBmp) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("vc_playart_test_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "grafik");
    ASSERT_TRUE(MakePlayArt(dir.string()));
    struct Expect {
        const char* name;
        int w, h;
    };
    const Expect files[] = {{"SW1.dat", 640, 140},   {"SW2.dat", 640, 140},      {"Explotions.dat", 640, 250},
                            {"Shared.dat", 640, 180}, {"food.dat", 320, 180},     {"walls.dat", 320, 200},
                            {"RutNat.dat", 320, 200}, {"Complete.dat", 400, 200}};
    const Palette shared = SharedPalette();
    for (const Expect& e : files) {
        std::ifstream f(dir / "grafik" / e.name, std::ios::binary);
        ASSERT_TRUE(f) << e.name;
        std::vector<uint8_t> d((std::istreambuf_iterator<char>(f)), {});
        ASSERT_GE(d.size(), 1078u) << e.name;
        EXPECT_EQ(d[0], 'B');
        EXPECT_EQ(d[1], 'M');
        EXPECT_EQ(ReadLe32(d, 18), e.w) << e.name;
        EXPECT_EQ(ReadLe32(d, 22), e.h) << e.name;
        EXPECT_EQ(d[28], 8) << e.name;
        EXPECT_EQ(ReadLe32(d, 34), e.w * e.h) << e.name;
        EXPECT_EQ(d.size(), 1078u + static_cast<size_t>(e.w) * e.h) << e.name;
        // the play palette's upper half comes from these files
        for (int i = 128; i < 256; ++i) {
            ASSERT_EQ(d[54 + 4 * i + 2], shared.entries[i].r) << e.name << " entry " << i;
            ASSERT_EQ(d[54 + 4 * i + 1], shared.entries[i].g) << e.name << " entry " << i;
            ASSERT_EQ(d[54 + 4 * i + 0], shared.entries[i].b) << e.name << " entry " << i;
        }
    }
    std::filesystem::remove_all(dir);
}

TEST(PlayArtFiles, PicturesAreTheSameEveryRun) {
    Canvas a = play::BuildWormSheet(1), b = play::BuildWormSheet(1);
    EXPECT_TRUE(std::equal(a.pixels(), a.pixels() + 640 * 140, b.pixels()));
    Canvas c = play::BuildExplosionSheet(), d = play::BuildExplosionSheet();
    EXPECT_TRUE(std::equal(c.pixels(), c.pixels() + 640 * 250, d.pixels()));
}
