// The data tool: the same bytes on every run, files in the formats the game
// reads, and the level compiler's refusals, each on the line at fault.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "Generators.h"
#include "LevelFiles.h"
#include "gfx/FontMetrics.h"
#include "gfx/ImageSlots.h"
#include "io/SoundSlots.h"
#include "match/IntroPanel.h"
#include "support/Files.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

uint32_t Le(const Bytes& b, size_t at, int n = 4) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | b.at(at + i);
    return v;
}
std::string Text(const Bytes& b, size_t at, size_t n) { return std::string(b.begin() + at, b.begin() + at + n); }

// A fresh run of every generator writes exactly the files the build wrote.
TEST(DataSet, EveryRunWritesTheSameBytes) {
    const ScratchDir scratch;
    const fs::path& dir = scratch.path();
    fs::create_directories(dir / "grafik");
    fs::create_directories(dir / "sound");
    ASSERT_TRUE(MakeFonts(dir) && MakeFrontEnd(dir) && MakePlayArt(dir) && MakeSounds(dir) && MakeLevels(dir) &&
                MakeIcons(dir));
    int files = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        if (!e.is_regular_file()) continue;
        ++files;
        const fs::path rel = fs::relative(e.path(), dir);
        EXPECT_TRUE(ReadAll(e.path()) == ReadAll(fs::path(VC_DATA_DIR) / rel)) << rel;
    }
    EXPECT_GT(files, 60);
}

// Pictures are uncompressed bottom-up 8-bit BMPs with a full colour table,
// sounds 8-bit mono 22,050 Hz PCM (an 18-byte format record, the samples
// padded to an even length), levels 1456 bytes, icons PNGs of their size.
TEST(DataSet, FilesAreInTheFormatsTheGameReads) {
    const fs::path data = VC_DATA_DIR;
    for (const auto& e : fs::directory_iterator(data / "grafik")) {
        const Bytes b = ReadAll(e.path());
        SCOPED_TRACE(e.path().filename().string());
        ASSERT_GT(b.size(), 1078u);
        const uint32_t w = Le(b, 18), h = Le(b, 22);
        EXPECT_EQ(Text(b, 0, 2), "BM");
        EXPECT_EQ((std::vector<uint32_t>{Le(b, 2), Le(b, 10), Le(b, 14), Le(b, 26, 2), Le(b, 28, 2), Le(b, 30)}),
                  (std::vector<uint32_t>{uint32_t(b.size()), 1078, 40, 1, 8, 0}));
        EXPECT_TRUE(w > 0 && h > 0 && h < 0x80000000u && Le(b, 34) == w * h && b.size() == 1078 + w * h);
    }
    for (const auto& e : fs::directory_iterator(data / "sound")) {
        const Bytes b = ReadAll(e.path());
        SCOPED_TRACE(e.path().filename().string());
        ASSERT_GT(b.size(), 46u);
        EXPECT_EQ(Text(b, 0, 4) + Text(b, 8, 8) + Text(b, 38, 4), "RIFFWAVEfmt data");
        EXPECT_EQ(
            (std::vector<uint32_t>{Le(b, 4), Le(b, 16), Le(b, 20, 2), Le(b, 22, 2), Le(b, 24), Le(b, 28), Le(b, 32, 2),
                                   Le(b, 34, 2), Le(b, 36, 2), (Le(b, 42) + 1) / 2 * 2}),
            (std::vector<uint32_t>{uint32_t(b.size() - 8), 18, 1, 1, 22050, 22050, 1, 8, 0, uint32_t(b.size() - 46)}));
    }
    for (int i = 0; i < kLevelFileCount; ++i) {
        const Bytes b = ReadAll(data / LevelFileName(i));
        ASSERT_EQ(b.size(), kLevelFileSize) << i;
        const std::string title(reinterpret_cast<const char*>(&b[150]));  // fits the intro panel
        EXPECT_LE(kBigFontMetrics.TextWidth(title.c_str()), kIntroTitleRoom) << i << " " << title;
    }
    for (int size : kIconSizes) {
        const Bytes b = ReadAll(data / "icons" / ("voidcrawl-" + std::to_string(size) + ".png"));
        ASSERT_GT(b.size(), 24u) << size;
        EXPECT_EQ(Text(b, 1, 3) + Text(b, 12, 4), "PNGIHDR");
        EXPECT_EQ(
            (std::vector<uint8_t>(b.begin() + 16, b.begin() + 24)),
            (std::vector<uint8_t>{0, 0, uint8_t(size >> 8), uint8_t(size), 0, 0, uint8_t(size >> 8), uint8_t(size)}));
    }
}

// Every file the game loads into a sound or image slot is in the data set,
// and every slot's picture is as wide as the surface the game makes for it
// and no taller, as the loader requires.
TEST(DataSet, EverySlotsFileIsThereAndEveryPictureFitsItsSlot) {
    const auto path = [](std::string name) {
        std::replace(name.begin(), name.end(), '\\', '/');
        return fs::path(VC_DATA_DIR) / name;
    };
    for (const SoundSlotFile& s : kSoundSlotFiles) EXPECT_TRUE(fs::is_regular_file(path(s.file))) << s.file;
    for (const ImageSlotFile& i : kImageSlotFiles) {
        const Bytes b = ReadAll(path(i.file));
        ASSERT_GT(b.size(), 26u) << i.file;
        EXPECT_EQ((std::tuple{Le(b, 18), Le(b, 22) <= uint32_t(i.height)}), (std::tuple{uint32_t(i.width), true}))
            << i.file;
    }
}

// A level whose header is lines 1-7 and whose map rows 0-13 are lines 8-21.
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
const Lines kGood = Level({{2, "..2................."},
                           {4, "....#..............."},
                           {5, "...........##......."},
                           {6, "...........##......."},
                           {10, "...................#"},
                           {11, "...............1...."},
                           {13, "#..................."}});
Lines Titled(const std::string& title) {
    Lines lines = kGood;
    lines[1] = "title:      " + title;
    return lines;
}
std::string Join(const Lines& lines, const char* eol = "\n") {
    std::string text;
    for (const std::string& l : lines) text += l + eol;
    return text;
}

TEST(LevelFiles, EveryFieldAtItsOffsetWhateverTheLineEndingsSpacesAndFieldOrder) {
    LevelSource level, other;
    std::string error;
    ASSERT_TRUE(ParseLevel(Join(kGood), "L07.txt", level, error)) << error;
    level.background = LevelPicturePath(7);
    const auto a = EncodeLevel(level);
    const Bytes bytes(a.begin(), a.end());
    Bytes names(300, 0);
    std::string picture = "grafik\\Arena7.dat", title = "TEST FLIGHT";
    std::copy(picture.begin(), picture.end(), names.begin());
    std::copy(title.begin(), title.end(), names.begin() + 150);
    EXPECT_TRUE(Bytes(bytes.begin(), bytes.begin() + 300) == names);
    const uint32_t fields[] = {12, 40, 30, 20, 9, 15, 11, 2, 2};  // target, chances, food, starts
    for (int i = 0; i < 9; ++i) EXPECT_EQ(Le(bytes, 300 + 4 * i), fields[i]) << i;
    const std::vector<std::pair<int, int>> walls = {{4, 4}, {11, 5}, {12, 5}, {11, 6}, {12, 6}, {19, 10}, {0, 13}};
    for (int x = 0; x < 20; ++x)  // column by column
        for (int y = 0; y < 14; ++y)
            ASSERT_EQ(Le(bytes, 336 + 4 * (x * 14 + y)),
                      uint32_t(std::count(walls.begin(), walls.end(), std::pair{x, y})));
    Lines shuffled = kGood;
    std::swap(shuffled[1], shuffled[5]);
    shuffled[3] += "   ";
    ASSERT_TRUE(ParseLevel(Join(shuffled, "\r\n"), "b", other, error)) << error;
    other.background = level.background;
    EXPECT_EQ(EncodeLevel(other), a);
}

// The rules that keep a level playable, each refused on its line.
TEST(LevelFiles, UnplayableLevelsAreRefusedOnTheirLine) {
    std::map<int, std::string> crowded = {{1, ".................1.."}};  // 22 cells for 9 + 3 items and 12 spare
    for (int row = 2; row < 14; ++row) crowded[row] = row < 4 ? "##..################" : std::string(20, '#');
    crowded[3][2] = '2';
    const std::tuple<Lines, int, const char*> cases[] = {
        {Level({{2, "..2................."},
                {7, "..............#....."},
                {8, "..............#....."},
                {9, ".............#1#...."},
                {12, "..............#....."}}),
         17, "player 1's start has 2 free cells ahead"},
        {Level({{7, "........#..........."},
                {8, ".......#2..........."},
                {9, "........#..........."},
                {10, ".........#1#........"},
                {11, "..........#........."}}),
         16, "first steps cross"},
        {Level({{2, "..2................."},
                {4, "........#..........."},
                {5, ".......#.#.........."},
                {6, "........#..........."},
                {11, "...............1...."}}),
         13, "column 8 of row 5 is sealed off"},
        {Level(crowded), 5, "22 free cells for food; 9 items need 24"},
        {Level({{2, "..2................."}, {11, "...............1...."}, {12, "#..................."}}), 21,
         "column 0 of row 13 is a dead end"},
        {Titled("RACE THE CLOCK"), 2,
         "the title \"RACE THE CLOCK\" is 282 pixels wide in the big font; the intro panel has room for 276"},
        {Titled("WWWWWWWWI"), 2, "is 277 pixels wide"},               // one pixel too many
        {Titled("RED\x1b[31m"), 2, "the big font cannot show: '?'"},  // quoted without the escape
    };
    for (const auto& [lines, line, phrase] : cases) {
        LevelSource level;
        std::string error;
        EXPECT_FALSE(ParseLevel(Join(lines), "L07.txt", level, error)) << phrase;
        EXPECT_EQ(error.rfind("L07.txt:" + std::to_string(line) + ": ", 0), 0u) << error << " / " << phrase;
        EXPECT_NE(error.find(phrase), std::string::npos) << error << " / " << phrase;
    }
}

}  // namespace
