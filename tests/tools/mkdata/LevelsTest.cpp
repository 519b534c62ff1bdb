// Arena pictures: the scenes (sizes, palettes, how dark they are) and the walls painted over them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <array>
#include <string>
#include <tuple>
#include <vector>

#include "Canvas.h"
#include "Generators.h"
#include "LevelArt.h"
#include "Levels.h"

TEST(LevelBackgrounds, EachSceneIsDarkUnderTheArenaInItsOwnColoursOverTheSharedHalfTheSameEveryRun) {
    const Palette shared = SharedPalette();
    std::vector<Palette> palettes(kLevelScenes.size());
    for (int i = 0; i < int(kLevelScenes.size()); ++i) {
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

namespace {

double Luma(const Palette& p, uint8_t v) { return 0.3 * p.entries[v].r + 0.59 * p.entries[v].g + 0.11 * p.entries[v].b; }

// Mean brightness of a w x h rectangle.
double MeanLuma(const Canvas& c, const Palette& p, int x, int y, int w, int h) {
    double sum = 0;
    for (int j = y; j < y + h; ++j)
        for (int i = x; i < x + w; ++i) sum += Luma(p, c.Get(i, j));
    return sum / (w * h);
}

WallFlags Walls(std::initializer_list<std::pair<int, int>> cells) {
    WallFlags w{};
    for (auto [x, y] : cells) w[size_t(x * kLevelRows + y)] = true;
    return w;
}

}  // namespace

TEST(WallArt, EveryDesignJoinsTouchingCellsWithoutASeamAndRimsOnlyTheOuterEdge) {
    Palette palette{};
    const Canvas scene = BuildLevelBackground(5, palette);
    // a 5 x 5 block of wall (cells 4..8, 3..7) and a lone cell (14, 10)
    WallFlags walls{};
    for (int x = 4; x <= 8; ++x)
        for (int y = 3; y <= 7; ++y) walls[size_t(x * kLevelRows + y)] = true;
    walls[size_t(14 * kLevelRows + 10)] = true;
    for (int style = 0; style < int(kWallStyles.size()); ++style) {
        SCOPED_TRACE(kWallStyles[style]);
        Canvas c = scene;
        PaintWalls(c, palette, walls, style);
        // Wall cells are painted wholly with the shared half; open space keeps the scene's own colours.
        int shared = 0;
        for (int j = 96; j < 256; ++j)
            for (int i = 128; i < 288; ++i) shared += c.Get(i, j) >= 128 ? 1 : 0;
        EXPECT_EQ(shared, 160 * 160);
        EXPECT_EQ(c.Get(20, 20), scene.Get(20, 20));
        // Inside the block, where cell (6, 5) meets its neighbours, the two-pixel strips across each
        // cell border are as bright as the face around them: no seam.
        const double face = MeanLuma(c, palette, 6 * 32 - 24, 5 * 32 - 24, 80, 80);
        for (auto [x, y, w, h] : {std::array{6 * 32 - 1, 5 * 32 - 24, 2, 80}, {7 * 32 - 1, 5 * 32 - 24, 2, 80},
                                  {6 * 32 - 24, 5 * 32 - 1, 80, 2}, {6 * 32 - 24, 6 * 32 - 1, 80, 2}})
            EXPECT_NEAR(MeanLuma(c, palette, x, y, w, h), face, 0.2 * face + 6) << x << "," << y;
        // The lone cell has a rim: its outermost ring differs from its middle, lit on the upper left
        // and shaded on the lower right, and the open space to its lower right lies in its shadow.
        const int lx = 14 * 32, ly = 10 * 32;
        const double middle = MeanLuma(c, palette, lx + 12, ly + 12, 8, 8);
        const double ring = (MeanLuma(c, palette, lx, ly, 32, 1) + MeanLuma(c, palette, lx, ly + 31, 32, 1) +
                             MeanLuma(c, palette, lx, ly, 1, 32) + MeanLuma(c, palette, lx + 31, ly, 1, 32)) / 4;
        EXPECT_GT(std::abs(ring - middle), 10.0);
        EXPECT_GT(MeanLuma(c, palette, lx + 2, ly + 2, 3, 26), MeanLuma(c, palette, lx + 27, ly + 2, 3, 26));
        EXPECT_LT(MeanLuma(c, palette, lx + 8, ly + 32, 24, 4), MeanLuma(scene, palette, lx + 8, ly + 32, 24, 4));
    }
    // The designs look different from one another.
    std::set<std::vector<uint8_t>> looks;
    for (int style = 0; style < int(kWallStyles.size()); ++style) {
        Canvas c = scene;
        PaintWalls(c, palette, Walls({{3, 3}}), style);
        std::vector<uint8_t> cell;
        for (int j = 96; j < 128; ++j)
            for (int i = 96; i < 128; ++i) cell.push_back(c.Get(i, j));
        looks.insert(cell);
    }
    EXPECT_EQ(looks.size(), kWallStyles.size());
}

TEST(LevelBackgrounds, EveryLevelsArenaPictureIsWrittenUnderGrafikAsItsLevelFileNamesIt) {
    const auto dir = std::filesystem::temp_directory_path() / ("vc_levels_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "grafik");
    std::array<LevelSource, kLevelFileCount> levels{};
    for (int i = 0; i < kLevelFileCount; ++i) {
        levels[size_t(i)].scene = i % int(kLevelScenes.size());
        levels[size_t(i)].wallStyle = i % int(kWallStyles.size());
        levels[size_t(i)].walls[size_t(i * kLevelRows + 5)] = true;  // one wall cell, in column i
    }
    ASSERT_TRUE(MakeArenaPictures(dir.string(), levels));
    for (int i = 0; i < kLevelFileCount; ++i) {
        const std::string path = LevelPicturePath(i);  // a level file holds 150 bytes for it with its terminator
        EXPECT_EQ((std::tuple{path, path.size() < 150}), (std::tuple{"grafik\\" + LevelPictureName(i), true}));
        EXPECT_EQ(std::filesystem::file_size(dir / "grafik" / LevelPictureName(i)), 1078u + 640u * 480u) << path;
        Palette palette{};
        const Canvas c = BuildArenaPicture(levels[size_t(i)], palette);
        // its wall cell in the shared half, an open cell far from it mostly in the scene's own colours
        int wall = 0, open = 0;
        for (int j = 0; j < 32; ++j)
            for (int k = 0; k < 32; ++k) {
                wall += c.Get(i * 32 + k, 5 * 32 + j) >= 128 ? 1 : 0;
                open += c.Get(((i + 10) % 20) * 32 + k, 5 * 32 + j) < 128 ? 1 : 0;
            }
        EXPECT_EQ(wall, 32 * 32) << "level " << i;
        EXPECT_GT(open, 32 * 32 * 9 / 10) << "level " << i;
    }
    std::filesystem::remove_all(dir);
    EXPECT_FALSE(MakeArenaPictures((dir / "missing").string(), levels));
}
