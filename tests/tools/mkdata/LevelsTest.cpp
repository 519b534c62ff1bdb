// Level backgrounds: names, sizes, palettes and how dark they are.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "Canvas.h"
#include "Generators.h"
#include "Levels.h"

TEST(LevelBackgrounds, EachSceneIsDarkUnderTheArenaInItsOwnColoursOverTheSharedHalfTheSameEveryRun) {
    const Palette shared = SharedPalette();
    std::vector<Palette> palettes(kLevelBackgrounds.size());
    for (int i = 0; i < int(kLevelBackgrounds.size()); ++i) {
        const Palette& p = palettes[i];
        const Canvas c = BuildLevelBackground(i, palettes[i]);
        ASSERT_EQ((std::tuple{c.width(), c.height()}), (std::tuple{640, 480}));
        EXPECT_EQ(std::memcmp(&p.entries[128], &shared.entries[128], 128 * sizeof(Rgb)), 0) << i;
        std::set<uint8_t> used;
        double lower = 0, field = 0, scoreLine = 0;  // own-half pixels; brightness of the play field and the score line
        for (int j = 0; j < 640 * 480; ++j) {
            const uint8_t v = c.pixels()[j];
            const Rgb& e = p.entries[v];
            if (v > 0 && v < 128) ++lower, used.insert(v);
            const double luma = 0.3 * e.r + 0.59 * e.g + 0.11 * e.b;
            if (j < 24 * 640)
                scoreLine += luma;
            else if (j >= 32 * 640 && j < 448 * 640)
                field += luma;
        }
        EXPECT_GT(lower, 640 * 480 * 9 / 10) << i;  // painted mostly with its own half, in many colours
        EXPECT_GT(used.size(), 100u) << i;
        EXPECT_LT(field / (416 * 640), 55.0) << i;  // dark, but not an empty black, and the score line darker
        EXPECT_GT(field / (416 * 640), 4.0) << i;
        EXPECT_LT(scoreLine / (24 * 640), 40.0) << i;
    }
    Palette again{};
    const Canvas a = BuildLevelBackground(3, again), b = BuildLevelBackground(3, again);
    EXPECT_TRUE(std::equal(a.pixels(), a.pixels() + 640 * 480, b.pixels()));
    EXPECT_EQ(std::memcmp(&again, &palettes[3], sizeof again), 0);
}

TEST(LevelBackgrounds, EveryPictureIsWrittenUnderGrafikAsTheLevelFilesNameIt) {
    const auto dir = std::filesystem::temp_directory_path() / ("vc_levels_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "grafik");
    ASSERT_TRUE(MakeLevelBackgrounds(dir.string()));
    EXPECT_EQ(std::set<std::string>(kLevelBackgrounds.begin(), kLevelBackgrounds.end()).size(),
              kLevelBackgrounds.size());
    for (size_t i = 0; i < kLevelBackgrounds.size(); ++i) {
        const std::string path =
            LevelBackgroundPath(int(i));  // a level file holds 150 bytes for it with its terminator
        EXPECT_EQ((std::tuple{path, path.size() < 150}),
                  (std::tuple{std::string("grafik\\") + kLevelBackgrounds[i], true}));
        EXPECT_EQ(std::filesystem::file_size(dir / "grafik" / kLevelBackgrounds[i]), 1078u + 640u * 480u) << path;
    }
    std::filesystem::remove_all(dir);
    EXPECT_FALSE(MakeLevelBackgrounds((dir / "missing").string()));
}
