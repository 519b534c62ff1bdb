// Level backgrounds: names, sizes, palettes and how dark they are.
#include <unistd.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "Canvas.h"
#include "Generators.h"
#include "Levels.h"

namespace {

float Luma(const Rgb& c) { return 0.3f * c.r + 0.59f * c.g + 0.11f * c.b; }

float MeanLuma(const Canvas& c, const Palette& p, int top, int bottom) {
    double sum = 0.0;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < c.width(); ++x) sum += Luma(p.entries[c.Get(x, y)]);
    return static_cast<float>(sum / (static_cast<double>(bottom - top) * c.width()));
}

}  // namespace

TEST(LevelBackgrounds, NamesAreDistinctDataFilesUnderGrafik) {
    std::set<std::string> names(kLevelBackgrounds.begin(), kLevelBackgrounds.end());
    EXPECT_EQ(names.size(), kLevelBackgrounds.size());
    EXPECT_GE(kLevelBackgrounds.size(), 6u);
    for (size_t i = 0; i < kLevelBackgrounds.size(); ++i) {
        std::string s(kLevelBackgrounds[i]);
        ASSERT_GT(s.size(), 4u);
        EXPECT_EQ(s.substr(s.size() - 4), ".dat");
        // a level file has 150 bytes for the name with its terminator
        EXPECT_LT(LevelBackgroundPath(static_cast<int>(i)).size(), 150u);
    }
    EXPECT_EQ(LevelBackgroundPath(0), std::string("grafik\\") + kLevelBackgrounds[0]);
    EXPECT_EQ(LevelBackgroundPath(5), std::string("grafik\\") + kLevelBackgrounds[5]);
}

TEST(LevelBackgrounds, EachSceneHasItsOwnColoursOverTheSharedHalf) {
    const Palette shared = SharedPalette();
    std::vector<Palette> palettes;
    for (size_t i = 0; i < kLevelBackgrounds.size(); ++i) {
        Palette p{};
        Canvas c = BuildLevelBackground(static_cast<int>(i), p);
        ASSERT_EQ(c.width(), 640);
        ASSERT_EQ(c.height(), 480);
        for (int e = 128; e < 256; ++e) {
            ASSERT_EQ(p.entries[e].r, shared.entries[e].r) << i << " entry " << e;
            ASSERT_EQ(p.entries[e].g, shared.entries[e].g) << i << " entry " << e;
            ASSERT_EQ(p.entries[e].b, shared.entries[e].b) << i << " entry " << e;
        }
        // the picture is painted mostly with its own lower half, and with many colours
        std::vector<int> histogram(256, 0);
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) histogram[c.Get(x, y)]++;
        int lower = 0, used = 0;
        for (int e = 1; e < 128; ++e) {
            lower += histogram[e];
            used += histogram[e] > 0;
        }
        EXPECT_GT(lower, 640 * 480 * 9 / 10) << i;
        EXPECT_GT(used, 100) << i;
        // dark enough for the arena: the play field and, darker still, the
        // score line at the top
        EXPECT_LT(MeanLuma(c, p, 32, 448), 55.f) << i;
        EXPECT_LT(MeanLuma(c, p, 0, 24), 40.f) << i;
        EXPECT_GT(MeanLuma(c, p, 32, 448), 4.f) << i;  // but not an empty black
        palettes.push_back(p);
    }
    // every scene has a colour scheme of its own
    for (size_t a = 0; a < palettes.size(); ++a)
        for (size_t b = a + 1; b < palettes.size(); ++b) {
            int differ = 0;
            for (int e = 1; e < 128; ++e) {
                const Rgb &x = palettes[a].entries[e], &y = palettes[b].entries[e];
                differ += std::abs(x.r - y.r) + std::abs(x.g - y.g) + std::abs(x.b - y.b) > 24;
            }
            EXPECT_GT(differ, 60) << a << " vs " << b;
        }
}

TEST(LevelBackgrounds, SameSceneEveryRun) {
    Palette p1{}, p2{};
    Canvas a = BuildLevelBackground(3, p1), b = BuildLevelBackground(3, p2);
    EXPECT_TRUE(std::equal(a.pixels(), a.pixels() + 640 * 480, b.pixels()));
    for (int e = 0; e < 256; ++e) EXPECT_EQ(p1.entries[e].r, p2.entries[e].r);
}

TEST(LevelBackgrounds, MakeLevelsWritesEveryPicture) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("vc_levels_test_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "grafik");
    ASSERT_TRUE(MakeLevelBackgrounds(dir.string()));
    for (const char* n : kLevelBackgrounds) {
        std::ifstream f(dir / "grafik" / n, std::ios::binary);
        ASSERT_TRUE(f) << n;
        std::vector<uint8_t> d((std::istreambuf_iterator<char>(f)), {});
        ASSERT_EQ(d.size(), 1078u + 640u * 480u) << n;
        EXPECT_EQ(d[0], 'B');
        EXPECT_EQ(d[28], 8);
    }
    std::filesystem::remove_all(dir);
    EXPECT_FALSE(MakeLevelBackgrounds((dir / "missing").string()));
}
