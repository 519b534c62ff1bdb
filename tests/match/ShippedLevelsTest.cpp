// The twenty level files of the data set, read as the game reads them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "match/Arena.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr int kLevels = 20;
constexpr int kTimerLevel = 5;
constexpr int kExtraFood = 3;  // two-player games
constexpr int kHeadings[4][2] = {{0, -1}, {1, 0}, {0, 1}, {-1, 0}};

struct Level {
    Bytes bytes;
    std::string background, title;
    int32_t target = 0, chanceA = 0, chanceB = 0, chanceC = 0, foodCount = 0;
    int32_t start1X = 0, start1Y = 0, start2X = 0, start2Y = 0;
    bool wall[20][14] = {};
    int walls = 0;
};

int32_t Le32(const Bytes& b, size_t at) {
    return static_cast<int32_t>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24));
}

std::string Name(const Bytes& b, size_t at) {
    const char* p = reinterpret_cast<const char*>(b.data() + at);
    return std::string(p, strnlen(p, 150));
}

// "L0.DAT" .. "L19.DAT".
std::string FileName(int index) {
    char name[16];
    std::snprintf(name, sizeof name, "L%d.DAT", index);
    return name;
}

Level Load(int index) {
    Level l;
    std::ifstream in(fs::path(VC_DATA_DIR) / FileName(index), std::ios::binary);
    l.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (l.bytes.size() != static_cast<size_t>(kLevelFileBytes)) return l;
    l.background = Name(l.bytes, 0);
    l.title = Name(l.bytes, 150);
    int32_t* fields[] = {&l.target,  &l.chanceA, &l.chanceB, &l.chanceC, &l.foodCount,
                         &l.start1X, &l.start1Y, &l.start2X, &l.start2Y};
    for (size_t i = 0; i < std::size(fields); ++i) *fields[i] = Le32(l.bytes, 300 + 4 * i);
    for (int x = 0; x < 20; ++x)
        for (int y = 0; y < 14; ++y) {
            l.wall[x][y] = Le32(l.bytes, 336 + 4 * static_cast<size_t>(x * 14 + y)) != 0;
            l.walls += l.wall[x][y] ? 1 : 0;
        }
    return l;
}

bool OnBoard(int x, int y) { return x >= 0 && y >= 0 && x < 20 && y < 14; }

struct Cell {
    int x, y;
};

// The longest straight free run from a start cell, as a starting worm looks
// for it (up, right, down, left; the first of the longest), with `blocked`
// cells in the way.
int MostOpenHeading(const Level& l, int x, int y, const std::vector<Cell>& blocked, int* length) {
    int best = 0;
    *length = 0;
    for (int h = 0; h < 4; ++h) {
        int n = 0;
        for (int cx = x + kHeadings[h][0], cy = y + kHeadings[h][1]; OnBoard(cx, cy) && !l.wall[cx][cy];
             cx += kHeadings[h][0], cy += kHeadings[h][1]) {
            bool taken = false;
            for (const Cell& b : blocked) taken = taken || (b.x == cx && b.y == cy);
            if (taken) break;
            ++n;
        }
        if (n > *length) {
            *length = n;
            best = h;
        }
    }
    return best;
}

// The arena picture under a level's walls: every wall cell is painted (in
// the shared upper palette half, which the play palette takes from the game's
// own pictures) and open space keeps mostly the scene's own colours. The
// ramp most of a level's wall pixels lie on tells its design apart.
void CheckWallsArePainted(const Level& l, const fs::path& picture, std::set<int>* designs) {
    std::ifstream in(picture, std::ios::binary);
    const Bytes b(std::istreambuf_iterator<char>(in), {});
    ASSERT_EQ(b.size(), 1078u + 640u * 480u) << picture;
    auto pixel = [&](int x, int y) { return b[1078 + static_cast<size_t>(479 - y) * 640 + static_cast<size_t>(x)]; };
    int ramps[8] = {};
    int openOwn = 0, open = 0;
    for (int cx = 0; cx < 20; ++cx)
        for (int cy = 0; cy < 14; ++cy)
            for (int y = cy * 32; y < cy * 32 + 32; ++y)
                for (int x = cx * 32; x < cx * 32 + 32; ++x) {
                    const uint8_t v = pixel(x, y);
                    if (l.wall[cx][cy]) {
                        ASSERT_GE(v, 128) << picture << " wall cell " << cx << "," << cy;
                        ++ramps[(v - 128) / 16];
                    } else {
                        ++open;
                        openOwn += v < 128 ? 1 : 0;
                    }
                }
    EXPECT_GT(openOwn, open * 8 / 10) << picture;
    if (l.walls > 0) designs->insert(static_cast<int>(std::max_element(ramps, ramps + 8) - ramps));
}

class ShippedLevelsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        for (int i = 0; i < kLevels; ++i) levels_[i] = Load(i);
    }
    static Level levels_[kLevels];
};
Level ShippedLevelsTest::levels_[kLevels];

TEST_F(ShippedLevelsTest, EveryLevelPassesTheGamesOwnCheckWithTwoPlayers) {
    for (int i = 0; i < kLevels; ++i) {
        SCOPED_TRACE(FileName(i));
        const Level& l = levels_[i];
        ASSERT_EQ(l.bytes.size(), static_cast<size_t>(kLevelFileBytes));
        char error[200] = {};
        EXPECT_TRUE(Arena::Check(l.bytes.data(), static_cast<int64_t>(l.bytes.size()), kExtraFood, error, sizeof error))
            << error;
        EXPECT_LE(l.foodCount + kExtraFood, kMaxFood);
        EXPECT_GE(l.foodCount, 1);
        for (int x = 0; x < 20; ++x)
            for (int y = 0; y < 14; ++y) {
                const int32_t flag = Le32(l.bytes, 336 + 4 * static_cast<size_t>(x * 14 + y));
                ASSERT_TRUE(flag == 0 || flag == 1) << "cell " << x << "," << y;
            }
    }
}

TEST_F(ShippedLevelsTest, NamesAreTerminatedAndEachLevelsPictureShowsItsOwnWalls) {
    std::set<std::string> pictures;
    std::set<int> designs;
    for (int i = 0; i < kLevels; ++i) {
        SCOPED_TRACE(FileName(i));
        const Level& l = levels_[i];
        ASSERT_EQ(l.bytes.size(), static_cast<size_t>(kLevelFileBytes));
        ASSERT_LT(l.background.size(), 150u);
        ASSERT_LT(l.title.size(), 150u);
        for (size_t k = l.background.size(); k < 150; ++k) ASSERT_EQ(l.bytes[k], 0);
        for (size_t k = 150 + l.title.size(); k < 300; ++k) ASSERT_EQ(l.bytes[k], 0);

        ASSERT_EQ(l.background.rfind("grafik\\", 0), 0u) << l.background;
        const std::string file = l.background.substr(7);
        EXPECT_TRUE(fs::is_regular_file(fs::path(VC_DATA_DIR) / "grafik" / file)) << l.background;
        pictures.insert(file);
        CheckWallsArePainted(l, fs::path(VC_DATA_DIR) / "grafik" / file, &designs);

        // The intro panel shows the title in the big font's upper case.
        EXPECT_FALSE(l.title.empty());
        EXPECT_LE(l.title.size(), 18u) << l.title;
        for (char c : l.title)
            EXPECT_TRUE((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || std::strchr(" !'-.,:?&", c))
                << "'" << c << "' in " << l.title;
    }
    // The game draws a clear tile over the walls: each level paints them into a picture of its own.
    EXPECT_EQ(pictures.size(), static_cast<size_t>(kLevels));
    EXPECT_GE(designs.size(), 3u) << "the walls should not all look alike";
}

TEST_F(ShippedLevelsTest, StartCellsAreFreeApartAndHaveRoomToStart) {
    for (int i = 0; i < kLevels; ++i) {
        SCOPED_TRACE(FileName(i));
        const Level& l = levels_[i];
        ASSERT_TRUE(OnBoard(l.start1X, l.start1Y));
        ASSERT_TRUE(OnBoard(l.start2X, l.start2Y));
        EXPECT_FALSE(l.wall[l.start1X][l.start1Y]);
        EXPECT_FALSE(l.wall[l.start2X][l.start2Y]);
        EXPECT_GT(std::max(std::abs(l.start1X - l.start2X), std::abs(l.start1Y - l.start2Y)), 1)
            << "start cells touch";
        EXPECT_GT(l.start1Y, 0);
        EXPECT_GT(l.start2Y, 0);

        // Player 1 starts with player 2's start gate in the grid; player 2
        // with player 1's head and the cell ahead of it.
        int run1 = 0, run2 = 0;
        const int h1 = MostOpenHeading(l, l.start1X, l.start1Y, {{l.start2X, l.start2Y}}, &run1);
        const Cell ahead1{l.start1X + kHeadings[h1][0], l.start1Y + kHeadings[h1][1]};
        MostOpenHeading(l, l.start2X, l.start2Y, {{l.start1X, l.start1Y}, ahead1}, &run2);
        EXPECT_GE(run1, 3);
        EXPECT_GE(run2, 3);
        // Alone, player 1 has at least as much room.
        int alone = 0;
        MostOpenHeading(l, l.start1X, l.start1Y, {}, &alone);
        EXPECT_GE(alone, run1);
    }
}

TEST_F(ShippedLevelsTest, EveryFreeCellCanBeReachedFromTheStart) {
    for (int i = 0; i < kLevels; ++i) {
        SCOPED_TRACE(FileName(i));
        const Level& l = levels_[i];
        bool seen[20][14] = {};
        std::vector<Cell> todo{{l.start1X, l.start1Y}};
        seen[l.start1X][l.start1Y] = true;
        while (!todo.empty()) {
            const Cell c = todo.back();
            todo.pop_back();
            for (const auto& h : kHeadings) {
                const int x = c.x + h[0], y = c.y + h[1];
                if (!OnBoard(x, y) || l.wall[x][y] || seen[x][y]) continue;
                seen[x][y] = true;
                todo.push_back({x, y});
            }
        }
        int free = 0;
        for (int x = 0; x < 20; ++x)
            for (int y = 0; y < 14; ++y) {
                if (l.wall[x][y]) continue;
                ++free;
                EXPECT_TRUE(seen[x][y]) << "sealed cell " << x << "," << y;
                int ways = 0;  // a dead end can only be left by crashing
                for (const auto& h : kHeadings) ways += OnBoard(x + h[0], y + h[1]) && !l.wall[x + h[0]][y + h[1]];
                EXPECT_GE(ways, 2) << "dead end " << x << "," << y;
            }
        EXPECT_TRUE(seen[l.start2X][l.start2Y]);
        // Even on hard the worm at its target leaves most of the board free.
        EXPECT_LE(l.target * 1.17, free / 2.0) << "target " << l.target << ", free " << free;
    }
}

TEST_F(ShippedLevelsTest, TheTopRowIsLeftToTheScoreLine) {
    for (int i = 0; i < kLevels; ++i) {
        int walls = 0;
        for (int x = 0; x < 20; ++x) walls += levels_[i].wall[x][0] ? 1 : 0;
        EXPECT_TRUE(walls == 0 || walls == 20) << FileName(i) << " has " << walls << " walls in row 0";
    }
}

// Food items a worm eats on the way from length 2 to the target, on average:
// growth 2, 4, 5 and 7 for the four kinds and none for a rocket charge.
double FoodToEat(const Level& l) {
    int growth = 0;
    for (int r = 0; r < 107; ++r) {
        if (r <= l.chanceA) growth += 2;
        else if (r <= l.chanceA + l.chanceB) growth += 4;
        else if (r <= l.chanceA + l.chanceB + l.chanceC) growth += 5;
        else if (r <= 100) growth += 7;
    }
    return (l.target - 2) / (growth / 107.0);
}

TEST_F(ShippedLevelsTest, TheGameGrowsHarder) {
    // The first level is open space and the shortest; the last ones ask for
    // more food, from fewer items on the board, among more walls.
    EXPECT_EQ(levels_[0].walls, 0) << "the first level is open space";
    double early = 0, late = 0;
    int earlyFood = 0, lateFood = 0, earlyWalls = 0, lateWalls = 0;
    for (int i = 0; i < kLevels; ++i) {
        if (i == kTimerLevel) continue;
        EXPECT_GT(FoodToEat(levels_[i]), 10.0) << FileName(i) << ": a level is more than a snack";
        EXPECT_LE(FoodToEat(levels_[0]), FoodToEat(levels_[i])) << FileName(i);
        if (i < 5) early += FoodToEat(levels_[i]), earlyFood += levels_[i].foodCount, earlyWalls += levels_[i].walls;
        if (i >= kLevels - 5) late += FoodToEat(levels_[i]), lateFood += levels_[i].foodCount, lateWalls += levels_[i].walls;
    }
    EXPECT_GT(late, 1.5 * early);
    EXPECT_LT(lateFood, earlyFood);
    EXPECT_GT(lateWalls, 2 * earlyWalls);
}

TEST_F(ShippedLevelsTest, TheSixthLevelIsTheTimerLevel) {
    const Level& l = levels_[kTimerLevel];
    const bool fits = l.title.find("CLOCK") != std::string::npos || l.title.find("TIME") != std::string::npos ||
                      l.title.find("COUNTDOWN") != std::string::npos || l.title.find("SECOND") != std::string::npos;
    EXPECT_TRUE(fits) << l.title;
    // Its target is not scaled and the clock opens the exit anyway: a race
    // of 15 to 35 food items, which a worm at its starting speed (a step
    // every 14 frames, 285 steps in 40 seconds) can just about make.
    EXPECT_GE(FoodToEat(l), 15.0);
    EXPECT_LE(FoodToEat(l), 35.0);
    // No other level pretends to be timed.
    for (int i = 0; i < kLevels; ++i) {
        if (i == kTimerLevel) continue;
        EXPECT_EQ(levels_[i].title.find("CLOCK"), std::string::npos) << levels_[i].title;
    }
}

}  // namespace
