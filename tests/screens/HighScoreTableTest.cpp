#include "screens/HighScoreTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "platform/UserDir.h"
#include "support/Files.h"
#include "support/GameHarness.h"

namespace {

void Fill(HighScoreTable& t, std::initializer_list<int> scores) {
    t.Clear();
    int i = 0;
    for (int s : scores) {
        t.records[i].score = s;
        std::snprintf(t.records[i].name, sizeof t.records[i].name, "P%d", i);
        ++i;
    }
}

// Any difficulty but easy and medium keeps its table as hard.
TEST(HighScoreTable, EveryDifficultyOutsideEasyAndMediumHasTheHardTable) {
    std::vector<std::string> names;
    for (int32_t d : {0, 1, 2, -1, 3, 1000}) names.push_back(HighScoreTable::FileName(d));
    EXPECT_EQ(names,
              (std::vector<std::string>{"teasy.dat", "tmed.dat", "thard.dat", "thard.dat", "thard.dat", "thard.dat"}));
}

TEST(HighScoreTable, InsertReplacesTheFirstLowestOnlyWhenStrictlyBeatenAndSortKeepsItsTieOrder) {
    HighScoreTable t;
    Fill(t, {50, 10, 80, 10, 90, 60, 70, 20, 30, 40});
    std::memset(t.records[1].name, 'X', sizeof t.records[1].name);
    EXPECT_EQ(t.Insert(10, "EQUAL", 5, 2), -1);
    EXPECT_EQ(t.Insert(11, "ABCDEFGHIJKLM", 5, 2), 1);  // the first of the two lowest
    EXPECT_EQ(std::string(t.records[1].name, 20), std::string("ABCDEFGHIJKLM") + std::string(7, '\0'));
    EXPECT_EQ((std::tuple{t.records[1].score, t.records[1].lengthTotal, t.records[1].level, t.records[3].score}),
              (std::tuple{11, 5, 2, 10}));
    EXPECT_EQ(t.Insert(12, "ABCDEFGHIJKLMNOPQRSTUVWXYZ", 1, 1), 3);  // cut to fit, still terminated
    EXPECT_EQ(std::strlen(t.records[3].name), 19u);
    for (int i = 0; i < HighScoreTable::kRecords; ++i) EXPECT_EQ(t.fresh[i] != 0, i == 1 || i == 3) << i;
    t.Clear();
    EXPECT_EQ(std::count(std::begin(t.fresh), std::end(t.fresh), 0), 10);
    EXPECT_EQ(t.Insert(0, "ZERO", 1, 1), -1);
    t.records[0].score = 500;
    EXPECT_EQ(t.Insert(100, "NEW", 3, 4), 1);  // the first empty record
    Fill(t, {5, 7, 5, 7});
    t.Sort();
    const int expect[10] = {3, 1, 2, 0, 4, 5, 6, 7, 8, 9};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(t.order[i] - t.records, expect[i]) << i;
}

TEST(HighScoreTable, FilesHoldTenRecordsInStorageOrderAndAnyFileReadsAsFarAsItGoes) {
    TempDir dir;
    HighScoreTable t, back;
    Fill(t, {100, 900, 300});
    t.Insert(1000, "BEST", 77, 12);
    ASSERT_TRUE(t.Save("tmed.dat"));
    const auto bytes = ReadAll("tmed.dat");
    ASSERT_EQ(bytes.size(), 320u);
    EXPECT_EQ(bytes[3 * 32] | (bytes[3 * 32 + 1] << 8), 1000);  // the best score stands in the middle
    EXPECT_FALSE(std::filesystem::exists("tmed.dat.new"));
    back.Load("tmed.dat", 1);
    EXPECT_EQ(back.difficulty, 1);
    EXPECT_EQ(std::memcmp(back.records, t.records, sizeof t.records), 0);
    std::vector<uint8_t> whole(64, 0);
    const uint8_t fields[] = {1, 2, 3, 4};
    std::memcpy(&whole[32], fields, 4);
    std::memcpy(&whole[36], "ABCDEFGHIJKLMNOPQRS", 19);
    for (uint8_t b = 5; b <= 12; ++b) whole[51 + b] = b;

    // A file ending inside a record fills it byte by byte (a cut field
    // keeps its low bytes); a longer one gives its first ten records; names
    // end inside their record.
    std::vector<uint8_t> cut(whole.begin(), whole.begin() + 32 + 26);
    WriteAll("teasy.dat", cut);
    back.Load("teasy.dat", 0);
    EXPECT_EQ((std::tuple{back.records[1].score, std::string(back.records[1].name), back.records[1].lengthTotal,
                          back.records[1].level}),
              (std::tuple{0x04030201, std::string("ABCDEFGHIJKLMNOPQRS"), 0x0605, 0}));
    std::vector<uint8_t> longFile(11 * 32 + 5, 'A');
    for (int i = 0; i < 11; ++i) std::fill_n(&longFile[i * 32], 4, uint8_t(i + 1));
    WriteAll("thard.dat", longFile);
    back.Load("thard.dat", 2);
    EXPECT_EQ(back.records[9].score, 0x0A0A0A0A);
    for (const auto& r : back.records) EXPECT_EQ(std::strlen(r.name), 19u);
    back.Load("no-such-table.dat", 2);
    for (const auto& r : back.records) EXPECT_EQ(r.score, 0);
}

TEST(HighScoreTable, TablesGoToTheUserFolderAndCarryOverFromTheDataFolder) {
    TempDir dir;  // the working folder stands for the data folder
    const std::string user = std::filesystem::current_path().string() + "/home/share/voidcrawl";
    HighScoreTable old, t;
    Fill(old, {500, 400});
    ASSERT_TRUE(old.Save("teasy.dat"));
    const auto dataBytes = ReadAll("teasy.dat");
    {
        ScopedUserDir scope(user);
        t.Load("teasy.dat", 0);  // the data folder's table until the player has one
        EXPECT_EQ(std::memcmp(t.records, old.records, sizeof t.records), 0);
        t.Insert(900, "NEW", 5, 3);
        ASSERT_TRUE(t.Save("teasy.dat"));
        const auto userBytes = ReadAll(user + "/teasy.dat");
        ASSERT_EQ(userBytes.size(), 320u);
        EXPECT_EQ(userBytes[2 * 32] | (userBytes[2 * 32 + 1] << 8), 900);
        EXPECT_EQ(ReadAll("teasy.dat"), dataBytes) << "the data folder's table was written";
        HighScoreTable back;
        back.Load("teasy.dat", 0);  // from then on the player's table
        EXPECT_EQ(std::memcmp(back.records, t.records, sizeof t.records), 0);
    }
}

// Every game over writes the table, whether or not a result enters it: a
// missing table is created, a longer file is written as its ten records; a
// table that could not be read is never written, and a result that did not
// enter it leaves nothing to tell.
TEST(HighScoreTable, EveryGameOverSavesTheTableUnlessItCouldNotBeRead) {
    TempDir dir;
    const std::string user = std::filesystem::current_path().string() + "/home/share/voidcrawl";
    ScopedUserDir scope(user);
    std::filesystem::create_directories(user);
    const HighScoreTable::GameResult nothing{0, "NOBODY", 0, 1};
    char message[600] = "";
    HighScoreTable t;
    ASSERT_TRUE(t.AddResults(0, &nothing, 1, message, sizeof message)) << message;
    EXPECT_EQ(ReadAll(user + "/teasy.dat"), std::vector<uint8_t>(HighScoreTable::kFileBytes, 0));

    // A full table that a low result does not enter, with bytes past its tenth record.
    HighScoreTable full;
    Fill(full, {900, 800, 700, 600, 500, 400, 300, 200, 150, 100});
    ASSERT_TRUE(full.Save("tmed.dat"));
    std::vector<uint8_t> longer = ReadAll(user + "/tmed.dat");
    const std::vector<uint8_t> tenRecords = longer;
    longer.resize(longer.size() + 7, 0xAB);
    WriteAll(user + "/tmed.dat", longer);
    const HighScoreTable::GameResult low{100, "LOW", 3, 2};
    ASSERT_TRUE(t.AddResults(1, &low, 1, message, sizeof message)) << message;
    EXPECT_EQ(ReadAll(user + "/tmed.dat"), tenRecords);

    // A folder where the hard table should be cannot be read: left alone.
    std::filesystem::create_directory(user + "/thard.dat");
    const HighScoreTable::GameResult entering{5000, "HIGH", 3, 2};
    testing::internal::CaptureStderr();
    EXPECT_TRUE(t.AddResults(2, &nothing, 1, message, sizeof message));
    EXPECT_FALSE(t.AddResults(2, &entering, 1, message, sizeof message));
    testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string(message).find("could not be read"), std::string::npos) << message;
    EXPECT_TRUE(std::filesystem::is_directory(user + "/thard.dat"));
}

// Under the table a line says how a result gets onto it and that a row's
// game can be watched, for an empty, a partly filled and a full table; it
// is drawn in the small font between the table's panel and the difficulty
// bar, within the screen.
TEST(HighScoreScreen, AHintUnderTheTableSaysHowToGetOnItAndThatARowCanBeWatched) {
    GameHarness h;
    ASSERT_TRUE(h.Start());
    HighScoreTable& t = h.game->highScoreScreen;
    ASSERT_NE(t.hintFont, nullptr);
    const std::tuple<std::vector<int>, int32_t, const char*> cases[] = {
        {{}, 0, "EASY"}, {{500, 40, 7}, 1, "MEDIUM"}, {{9, 8, 7, 6, 5, 4, 3, 2, 1, 10}, 2, "HARD"}};
    for (const auto& [scores, difficulty, name] : cases) {
        t.Clear();
        for (size_t i = 0; i < scores.size(); ++i) t.records[i].score = scores[i];
        t.difficulty = difficulty;
        char hint[HighScoreTable::kHintSize];
        t.Hint(hint, sizeof hint);
        const std::string text = hint;
        EXPECT_NE(text.find("TO GET ON"), std::string::npos) << text;
        EXPECT_NE(text.find("WATCH"), std::string::npos) << text;
        EXPECT_NE(text.find(name), std::string::npos) << text;
        if (scores.size() == HighScoreTable::kRecords) {
            EXPECT_NE(text.find("BEAT THE LOWEST"), std::string::npos) << text;
        }
        // Drawn: the frame with the hint and without it differ only in the
        // rows between the panel and the bar, and there they do.
        Font* font = t.hintFont;
        t.Frame(h.game->match.mediumFont, false);
        const std::vector<uint8_t> with(backBuffer->pixels, backBuffer->pixels + 640 * 480);
        t.hintFont = nullptr;
        t.Frame(h.game->match.mediumFont, false);
        t.hintFont = font;
        int changed = 0, left = 640, right = 0;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                if (with[static_cast<size_t>(y * 640 + x)] != backBuffer->pixels[y * 640 + x]) {
                    ++changed;
                    left = std::min(left, x);
                    right = std::max(right, x);
                    EXPECT_GT(y, kHighScoreTableBottom) << text;
                    EXPECT_LT(y, kHighScoreBarTop) << text;
                }
        EXPECT_GT(changed, 100) << text;
        EXPECT_GT(left, 0) << text;
        EXPECT_LT(right, 639) << text;
    }
}

}  // namespace
