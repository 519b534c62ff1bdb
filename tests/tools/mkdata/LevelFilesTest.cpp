#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "LevelFiles.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

// A level whose header is lines 1-7 and whose map rows 0-13 are lines 8-21; rows not given are free.
Lines Level(const std::map<int, std::string>& rows) {
    Lines lines = {"walls:      rock",
                   "title:      TEST FLIGHT",
                   "scene:      giant",
                   "target:     12",
                   "food:       9",
                   "chances:    40 30 20",
                   "map:"};
    for (int row = 0; row < 14; ++row) lines.push_back(rows.count(row) ? rows.at(row) : std::string(20, '.'));
    return lines;
}
Lines GoodLevel() {
    return Level({{2, "..2................."},
                  {4, "....#..............."},
                  {5, "...........##......."},
                  {6, "...........##......."},
                  {10, "...................#"},
                  {11, "...............1...."},
                  {13, "#..................."}});
}
std::string Join(const Lines& lines, const char* eol = "\n") {
    std::string text;
    for (const std::string& l : lines) text += l + eol;
    return text;
}
int32_t Le32(const uint8_t* p) { return int32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24); }
Bytes ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}
Lines WithLine(Lines lines, int line, const std::string& text) {
    lines.at(size_t(line - 1)) = text;
    return lines;
}
Lines Inserted(Lines lines, int line, const std::string& text) {
    lines.insert(lines.begin() + (line - 1), text);
    return lines;
}

// Parses `lines` and expects a refusal at `line` that mentions `phrase`.
void ExpectError(const Lines& lines, int line, const std::string& phrase) {
    LevelSource level;
    std::string error;
    ASSERT_FALSE(ParseLevel(Join(lines), "L07.txt", level, error)) << "accepted; expected: " << phrase;
    EXPECT_EQ(error.rfind("L07.txt:" + std::to_string(line) + ": ", 0), 0u)
        << error << "\n(expected line " << line << ")";
    EXPECT_NE(error.find(phrase), std::string::npos) << error << "\n(expected '" << phrase << "')";
}

TEST(LevelFilesTest, AGoodLevelEncodesEveryFieldAtItsOffsetWhateverItsLineEndingsSpacesAndFieldOrder) {
    LevelSource level;
    std::string error;
    ASSERT_TRUE(ParseLevel(Join(GoodLevel()), "L07.txt", level, error)) << error;
    EXPECT_EQ(std::string(kLevelScenes[level.scene]) + " " + kWallStyles[level.wallStyle], "giant rock");
    level.background = LevelPicturePath(7);  // each level names its own arena picture
    const auto bytes = EncodeLevel(level);
    ASSERT_EQ(bytes.size(), 1456u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data())), "grafik\\Arena7.dat");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data() + 150)), "TEST FLIGHT");
    for (size_t i = 0; i < 300; ++i)  // zero padding after each name
        if (i >= 17 && (i < 150 || i >= 161)) {
            ASSERT_EQ(bytes[i], 0) << i;
        }
    // target, chances A B C, food count, start 1 column and row, start 2 column and row
    const int fields[] = {12, 40, 30, 20, 9, 15, 11, 2, 2};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(Le32(&bytes[300 + 4 * i]), fields[i]) << 300 + 4 * i;
    const std::vector<std::pair<int, int>> walls = {{4, 4}, {11, 5}, {12, 5}, {11, 6}, {12, 6}, {19, 10}, {0, 13}};
    for (int x = 0; x < 20; ++x)  // column by column: cell (x, y) is flag x * 14 + y, the last ending the file
        for (int y = 0; y < 14; ++y)
            ASSERT_EQ(Le32(&bytes[336 + 4 * (x * 14 + y)]), std::count(walls.begin(), walls.end(), std::pair{x, y}))
                << x << "," << y;

    Lines shuffled = GoodLevel();
    std::swap(shuffled[1], shuffled[5]);
    shuffled[3] += "   ";
    shuffled[10] += " ";
    LevelSource other;
    ASSERT_TRUE(ParseLevel(Join(shuffled, "\r\n"), "b", other, error)) << error;
    other.background = level.background;
    EXPECT_EQ(EncodeLevel(other), bytes);
}

TEST(LevelFilesTest, FieldMistakesAreReportedWithTheirLine) {
    const Lines good = GoodLevel();
    ExpectError(Inserted(good, 2, "speed: 3"), 2, "unknown field 'speed'");
    ExpectError(Inserted(good, 7, "target: 14"), 7, "'target' is given twice (first on line 4)");
    Lines noFood = good;
    noFood.erase(noFood.begin() + 4);
    ExpectError(noFood, 20, "missing field 'food'");
    ExpectError(Inserted(good, 2, "TITLE TEST"), 2, "expected 'field: value'");
    // line changed, its new text, the complaint, the line it is reported on
    const std::tuple<int, const char*, const char*, int> cases[] = {
        {2, "title: Test Flight", "upper case", 2},
        {2, "title: TEST_FLIGHT", "cannot show: '_'", 2},
        {2, "title: THE VERY LONG FLIGHT", "at most 18", 2},
        {2, "title:", "the title is empty", 2},
        {3, "scene: Giant", "unknown scene 'Giant'; use one of veil, giant", 3},
        {3, "scene: grafik\\Nebula2.dat", "unknown scene", 3},
        {1, "walls: brick", "unknown wall design 'brick'; use one of plating, crystal, rock, ember", 1},
        {4, "target: ten", "not a whole number", 4},
        {4, "target: 2", "3 to 200", 4},
        {4, "target: 150", "too long", 4},
        {5, "food: 18", "food count must be 1 to 17", 5},
        {5, "food: 0", "food count must be 1 to 17", 5},
        {6, "chances: 40 30", "three whole numbers", 6},
        {6, "chances: 40 -1 20", "0 or more", 6},
        {6, "chances: 60 30 20", "add up to 110", 6},
        {7, "map: big", "line after 'map:'", 7},
        {12, "....#..............", "map row 4 has 19 cells", 12},
        {12, "....#................", "map row 4 has 21 cells", 12},
        {13, "...........#x.......", "unknown map character 'x' in column 12", 13},
        {10, "....................", "no start cell '2'", 7},  // reported on the map: line
        {19, "....................", "no start cell '1'", 7},
        {16, ".....1..............", "player 1's start is marked twice (also on line 16)", 19},
        {8, ".........#..........", "all free or wall it all", 8},  // row 0 carries the score line
    };
    for (auto [line, text, phrase, reported] : cases) ExpectError(WithLine(good, line, text), reported, phrase);
    Lines shortMap = good;
    shortMap.pop_back();
    ExpectError(shortMap, 20, "the map has 13 rows; it needs 14");
    Lines longMap = good;
    longMap.push_back(std::string(20, '.'));
    ExpectError(longMap, 22, "more than 14 rows");
}

TEST(LevelFilesTest, StartsMustLieBelowTheTopRowApartWithRoomAndNotMeet) {
    ExpectError(Level({{0, "..2................."}, {11, "...............1...."}}), 8, "top row");
    ExpectError(Level({{10, "..............2....#"}, {11, "...............1...."}}), 18, "the start cells touch");
    // player 1 boxed in with two free cells in its best direction
    ExpectError(Level({{2, "..2................."},
                       {7, "..............#....."},
                       {8, "..............#....."},
                       {9, ".............#1#...."},
                       {12, "..............#....."}}),
                17, "player 1's start has 2 free cells ahead");
    ExpectError(Level({{6, "....#..........#...."}, {7, "...#2..........1#..."}, {8, "....#..........#...."}}), 15,
                "head-on");
    // player 1 goes up through the row player 2 runs along
    ExpectError(Level({{7, "........#..........."},
                       {8, ".......#2..........."},
                       {9, "........#..........."},
                       {10, ".........#1#........"},
                       {11, "..........#........."}}),
                16, "first steps cross");
}

TEST(LevelFilesTest, SealedCellsAndCrowdedMapsAreRefused) {
    ExpectError(Level({{2, "..2................."},
                       {4, "........#..........."},
                       {5, ".......#.#.........."},
                       {6, "........#..........."},
                       {11, "...............1...."}}),
                13, "column 8 of row 5 is sealed off");
    std::map<int, std::string> crowded = {{1, ".................1.."}};  // 22 food cells for 9 items (9 + 3 + 12)
    for (int row = 2; row < 14; ++row) crowded[row] = row < 4 ? "##..################" : std::string(20, '#');
    crowded[3][2] = '2';
    ExpectError(Level(crowded), 5, "22 free cells for food; 9 items need 24");
    // a corner cell whose only way in is along the bottom row
    ExpectError(Level({{2, "..2................."}, {11, "...............1...."}, {12, "#..................."}}), 21,
                "column 0 of row 13 is a dead end");
}

TEST(LevelFilesTest, WritesTheShippedLevelsExactlyAndAlwaysTheSameAndAMissingOrBrokenSourceFails) {
    const fs::path source = fs::path(VC_SOURCE_DIR) / "levels";
    const fs::path out = fs::temp_directory_path() / ("vc_level_files_test_" + std::to_string(::getpid()));
    ASSERT_TRUE(WriteLevelFiles(source.string(), (out / "a").string()));
    ASSERT_TRUE(WriteLevelFiles(source.string(), (out / "b").string()));
    EXPECT_EQ(LevelFileName(0) + LevelFileName(19) + LevelSourceName(3), "L0.DATL19.DATL03.txt");
    for (int i = 0; i < kLevelFileCount; ++i) {
        std::ifstream in(source / LevelSourceName(i), std::ios::binary);
        LevelSource level;
        std::string error;
        ASSERT_TRUE(ParseLevel(std::string(std::istreambuf_iterator<char>(in), {}), LevelSourceName(i), level, error))
            << error;
        level.background = LevelPicturePath(i);
        const auto expected = EncodeLevel(level);
        const Bytes a = ReadAll(out / "a" / LevelFileName(i));
        ASSERT_EQ(a, Bytes(expected.begin(), expected.end())) << LevelFileName(i);
        EXPECT_EQ(a, ReadAll(out / "b" / LevelFileName(i))) << LevelFileName(i);
    }
    fs::create_directories(out / "src");
    for (int i = 0; i < kLevelFileCount; ++i)
        if (i != 12) fs::copy_file(source / LevelSourceName(i), out / "src" / LevelSourceName(i));
    EXPECT_FALSE(WriteLevelFiles((out / "src").string(), (out / "c").string()));
    std::ofstream(out / "src" / LevelSourceName(12)) << Join(WithLine(GoodLevel(), 5, "food: 40"));
    EXPECT_FALSE(WriteLevelFiles((out / "src").string(), (out / "c").string()));
    std::ofstream(out / "src" / LevelSourceName(12)) << Join(GoodLevel());
    EXPECT_TRUE(WriteLevelFiles((out / "src").string(), (out / "c").string()));
    fs::remove_all(out);
}

}  // namespace
