#include "LevelFiles.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

// A small valid level; its lines are numbered from 1 in the comments.
Lines GoodLevel() {
    return {
        "; a level for the tests",  // 1
        "title:      TEST FLIGHT",   // 2
        "background: grafik\\Nebula2.dat",  // 3
        "target:     12",            // 4
        "food:       9",             // 5
        "chances:    40 30 20",      // 6
        "map:",                      // 7
        "....................",      // 8  row 0
        "....................",      // 9  row 1
        "..2.................",      // 10 row 2
        "....................",      // 11 row 3
        "....#...............",      // 12 row 4
        "...........##.......",      // 13 row 5
        "...........##.......",      // 14 row 6
        "....................",      // 15 row 7
        "....................",      // 16 row 8
        "....................",      // 17 row 9
        "...................#",      // 18 row 10
        "...............1....",      // 19 row 11
        "....................",      // 20 row 12
        "#...................",      // 21 row 13
    };
}

std::string Join(const Lines& lines, const char* eol = "\n") {
    std::string text;
    for (const std::string& l : lines) text += l + eol;
    return text;
}

int32_t Le32(const uint8_t* p) {
    return static_cast<int32_t>(p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24));
}

Bytes ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Parses `lines` and expects a refusal at `line` that mentions `phrase`.
void ExpectError(const Lines& lines, int line, const std::string& phrase) {
    LevelSource level;
    std::string error;
    ASSERT_FALSE(ParseLevel(Join(lines), "L07.txt", level, error)) << "accepted; expected: " << phrase;
    const std::string prefix = "L07.txt:" + std::to_string(line) + ": ";
    EXPECT_EQ(error.rfind(prefix, 0), 0u) << error << "\n(expected line " << line << ")";
    EXPECT_NE(error.find(phrase), std::string::npos) << error << "\n(expected '" << phrase << "')";
}

Lines WithLine(Lines lines, int line, const std::string& text) {
    lines.at(static_cast<size_t>(line - 1)) = text;
    return lines;
}

// An empty map with the two start cells and the given walls, in a level.
Lines WithMap(const std::vector<std::string>& rows) {
    Lines lines = GoodLevel();
    lines.resize(7);
    lines.insert(lines.end(), rows.begin(), rows.end());
    return lines;
}

TEST(LevelFilesTest, AGoodLevelEncodesEveryFieldAtItsOffset) {
    LevelSource level;
    std::string error;
    ASSERT_TRUE(ParseLevel(Join(GoodLevel()), "L07.txt", level, error)) << error;
    const auto bytes = EncodeLevel(level);
    ASSERT_EQ(bytes.size(), 1456u);

    const std::string background = "grafik\\Nebula2.dat";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data())), background);
    for (size_t i = background.size(); i < 150; ++i) ASSERT_EQ(bytes[i], 0) << "background padding at " << i;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data() + 150)), "TEST FLIGHT");
    for (size_t i = 150 + 11; i < 300; ++i) ASSERT_EQ(bytes[i], 0) << "title padding at " << i;

    EXPECT_EQ(Le32(&bytes[300]), 12);  // target
    EXPECT_EQ(Le32(&bytes[304]), 40);  // chanceA
    EXPECT_EQ(Le32(&bytes[308]), 30);  // chanceB
    EXPECT_EQ(Le32(&bytes[312]), 20);  // chanceC
    EXPECT_EQ(Le32(&bytes[316]), 9);   // food count
    EXPECT_EQ(Le32(&bytes[320]), 15);  // start 1 column
    EXPECT_EQ(Le32(&bytes[324]), 11);  // start 1 row
    EXPECT_EQ(Le32(&bytes[328]), 2);   // start 2 column
    EXPECT_EQ(Le32(&bytes[332]), 2);   // start 2 row

    // Walls column by column: cell (x, y) is flag x * 14 + y.
    const int walls[][2] = {{4, 4}, {11, 5}, {12, 5}, {11, 6}, {12, 6}, {19, 10}, {0, 13}};
    int set = 0;
    for (int x = 0; x < 20; ++x)
        for (int y = 0; y < 14; ++y) {
            const int32_t flag = Le32(&bytes[336 + 4 * (x * 14 + y)]);
            bool wall = false;
            for (const auto& w : walls) wall = wall || (w[0] == x && w[1] == y);
            ASSERT_EQ(flag, wall ? 1 : 0) << "cell " << x << "," << y;
            set += flag;
        }
    EXPECT_EQ(set, 7);
    // The last flag is cell (19, 13), ending the file.
    EXPECT_EQ(336 + 4 * (19 * 14 + 13) + 4, 1456);
}

TEST(LevelFilesTest, WindowsLineEndingsTrailingSpacesAndFieldOrderDoNotMatter) {
    LevelSource a, b;
    std::string error;
    ASSERT_TRUE(ParseLevel(Join(GoodLevel()), "a", a, error)) << error;
    Lines shuffled = GoodLevel();
    std::swap(shuffled[1], shuffled[5]);
    shuffled[3] += "   ";
    shuffled[10] += " ";
    ASSERT_TRUE(ParseLevel(Join(shuffled, "\r\n"), "b", b, error)) << error;
    EXPECT_EQ(EncodeLevel(a), EncodeLevel(b));
}

TEST(LevelFilesTest, FieldMistakesAreReportedWithTheirLine) {
    const Lines good = GoodLevel();
    Lines extra = good;
    extra.insert(extra.begin() + 1, "speed: 3");
    ExpectError(extra, 2, "unknown field 'speed'");
    Lines twice = good;
    twice.insert(twice.begin() + 6, "target: 14");
    ExpectError(twice, 7, "'target' is given twice (first on line 4)");
    Lines noFood = good;
    noFood.erase(noFood.begin() + 4);
    ExpectError(noFood, 20, "missing field 'food'");
    Lines stray = good;
    stray.insert(stray.begin() + 1, "TITLE TEST");
    ExpectError(stray, 2, "expected 'field: value'");

    ExpectError(WithLine(good, 2, "title: Test Flight"), 2, "upper case");
    ExpectError(WithLine(good, 2, "title: TEST_FLIGHT"), 2, "cannot show: '_'");
    ExpectError(WithLine(good, 2, "title: THE VERY LONG FLIGHT"), 2, "at most 18");
    ExpectError(WithLine(good, 2, "title:"), 2, "the title is empty");
    ExpectError(WithLine(good, 3, "background: grafik\\nebula2.dat"), 3, "unknown background");
    ExpectError(WithLine(good, 3, "background: grafik/Nebula2.dat"), 3, "unknown background");
    ExpectError(WithLine(good, 3, "background: grafik\\Nebula99.dat"), 3, "unknown background");
    ExpectError(WithLine(good, 4, "target: ten"), 4, "not a whole number");
    ExpectError(WithLine(good, 4, "target: 2"), 4, "3 to 200");
    ExpectError(WithLine(good, 4, "target: 150"), 4, "too long");
    ExpectError(WithLine(good, 5, "food: 18"), 5, "food count must be 1 to 17");
    ExpectError(WithLine(good, 5, "food: 0"), 5, "food count must be 1 to 17");
    ExpectError(WithLine(good, 6, "chances: 40 30"), 6, "three whole numbers");
    ExpectError(WithLine(good, 6, "chances: 40 -1 20"), 6, "0 or more");
    ExpectError(WithLine(good, 6, "chances: 60 30 20"), 6, "add up to 110");
    ExpectError(WithLine(good, 7, "map: big"), 7, "line after 'map:'");
}

TEST(LevelFilesTest, MapShapeMistakesAreReportedWithTheirLine) {
    const Lines good = GoodLevel();
    ExpectError(WithLine(good, 12, "....#.............."), 12, "map row 4 has 19 cells");
    ExpectError(WithLine(good, 12, "....#................"), 12, "map row 4 has 21 cells");
    ExpectError(WithLine(good, 13, "...........#x......."), 13, "unknown map character 'x' in column 12");
    Lines shortMap = good;
    shortMap.pop_back();
    ExpectError(shortMap, 20, "the map has 13 rows; it needs 14");
    Lines longMap = good;
    longMap.push_back("....................");
    ExpectError(longMap, 22, "more than 14 rows");
}

TEST(LevelFilesTest, StartCellMistakesAreReportedWithTheirLine) {
    const Lines good = GoodLevel();
    ExpectError(WithLine(good, 10, "...................."), 7, "no start cell '2'");
    ExpectError(WithLine(good, 19, "...................."), 7, "no start cell '1'");
    ExpectError(WithLine(good, 16, ".....1.............."), 19, "player 1's start is marked twice (also on line 16)");
    // Row 0 carries the score line.
    Lines top = WithLine(good, 10, "....................");
    ExpectError(WithLine(top, 8, "..2................."), 8, "top row");
    ExpectError(WithLine(good, 8, ".........#.........."), 8, "all free or wall it all");
    // Diagonal neighbours touch too.
    Lines touching = WithLine(good, 10, "....................");
    ExpectError(WithLine(touching, 18, "..............2....#"), 18, "the start cells touch");
}

TEST(LevelFilesTest, StartsNeedRoomAndMustNotMeet) {
    // Player 1 boxed in with two free cells in its best direction.
    ExpectError(WithMap({
                    "....................",
                    "....................",
                    "..2.................",
                    "....................",
                    "....................",
                    "....................",
                    "....................",
                    "..............#.....",
                    "..............#.....",
                    ".............#1#....",
                    "....................",
                    "....................",
                    "..............#.....",
                    "....................",
                }),
                17, "player 1's start has 2 free cells ahead");
    // Face to face on one row.
    ExpectError(WithMap({
                    "....................",
                    "....................",
                    "....................",
                    "....................",
                    "....................",
                    "....................",
                    "....#..........#....",
                    "...#2..........1#...",
                    "....#..........#....",
                    "....................",
                    "....................",
                    "....................",
                    "....................",
                    "....................",
                }),
                15, "head-on");
    // Player 1 goes up through the row player 2 runs along.
    ExpectError(WithMap({
                    "....................",
                    "....................",
                    "....................",
                    "....................",
                    "....................",
                    "....................",
                    "....................",
                    "........#...........",
                    ".......#2...........",
                    "........#...........",
                    ".........#1#........",
                    "..........#.........",
                    "....................",
                    "....................",
                }),
                16, "first steps cross");
}

TEST(LevelFilesTest, SealedCellsAndCrowdedMapsAreRefused) {
    // A free cell walled in on row 5.
    ExpectError(WithMap({
                    "....................",
                    "....................",
                    "..2.................",
                    "....................",
                    "........#...........",
                    ".......#.#..........",
                    "........#...........",
                    "....................",
                    "....................",
                    "....................",
                    "....................",
                    "...............1....",
                    "....................",
                    "....................",
                }),
                13, "column 8 of row 5 is sealed off");
    // 22 food cells for 9 items (which need 9 + 3 + 12).
    ExpectError(WithMap({
                    "....................",
                    ".................1..",
                    "##.#################",
                    "##.#################",
                    "##.#################",
                    "##2#################",
                    "####################",
                    "####################",
                    "####################",
                    "####################",
                    "####################",
                    "####################",
                    "####################",
                    "####################",
                }),
                5, "22 free cells for food; 9 items need 24");
}

TEST(LevelFilesTest, WritesTheShippedLevelsExactlyAndAlwaysTheSame) {
    const fs::path source = fs::path(VC_SOURCE_DIR) / "levels";
    const fs::path out = fs::temp_directory_path() / ("vc_level_files_test_" + std::to_string(::getpid()));
    fs::remove_all(out);
    ASSERT_TRUE(WriteLevelFiles(source.string(), (out / "a").string()));
    ASSERT_TRUE(WriteLevelFiles(source.string(), (out / "b").string()));
    for (int i = 0; i < kLevelFileCount; ++i) {
        SCOPED_TRACE(LevelFileName(i));
        std::ifstream in(source / LevelSourceName(i), std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        LevelSource level;
        std::string error;
        ASSERT_TRUE(ParseLevel(text, LevelSourceName(i), level, error)) << error;
        const auto expected = EncodeLevel(level);
        const Bytes a = ReadAll(out / "a" / LevelFileName(i));
        const Bytes b = ReadAll(out / "b" / LevelFileName(i));
        ASSERT_EQ(a.size(), kLevelFileSize);
        EXPECT_TRUE(std::equal(a.begin(), a.end(), expected.begin()));
        EXPECT_EQ(a, b);
    }
    EXPECT_EQ(LevelFileName(0), "L0.DAT");
    EXPECT_EQ(LevelFileName(19), "L19.DAT");
    EXPECT_EQ(LevelSourceName(3), "L03.txt");
    fs::remove_all(out);
}

TEST(LevelFilesTest, AMissingOrBrokenSourceFailsTheBuild) {
    const fs::path source = fs::path(VC_SOURCE_DIR) / "levels";
    const fs::path temp = fs::temp_directory_path() / ("vc_level_files_broken_" + std::to_string(::getpid()));
    fs::remove_all(temp);
    fs::create_directories(temp / "src");
    for (int i = 0; i < kLevelFileCount; ++i)
        if (i != 12) fs::copy_file(source / LevelSourceName(i), temp / "src" / LevelSourceName(i));
    EXPECT_FALSE(WriteLevelFiles((temp / "src").string(), (temp / "out").string()));

    std::ofstream(temp / "src" / LevelSourceName(12)) << Join(WithLine(GoodLevel(), 5, "food: 40"));
    EXPECT_FALSE(WriteLevelFiles((temp / "src").string(), (temp / "out").string()));
    std::ofstream(temp / "src" / LevelSourceName(12)) << Join(GoodLevel());
    EXPECT_TRUE(WriteLevelFiles((temp / "src").string(), (temp / "out").string()));
    fs::remove_all(temp);
}

}  // namespace
