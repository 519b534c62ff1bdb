#include "screens/HighScoreTable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/UserDir.h"

namespace {

class TempDir {
public:
    TempDir() {
        old_ = std::filesystem::current_path();
        char pattern[] = "/tmp/vc-hs-XXXXXX";
        dir_ = mkdtemp(pattern);
        std::filesystem::current_path(dir_);
    }
    ~TempDir() {
        std::filesystem::current_path(old_);
        std::filesystem::remove_all(dir_);
    }

private:
    std::filesystem::path old_;
    std::string dir_;
};

std::vector<uint8_t> ReadAll(const char* name) {
    std::ifstream f(name, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void WriteAll(const char* name, const std::vector<uint8_t>& bytes) {
    std::ofstream f(name, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void Fill(HighScoreTable& t, std::initializer_list<int> scores) {
    t.Clear();
    int i = 0;
    for (int s : scores) {
        t.records[i].score = s;
        std::snprintf(t.records[i].name, sizeof t.records[i].name, "P%d", i);
        ++i;
    }
}

TEST(HighScoreTable, InsertMustStrictlyBeatTheFirstLowest) {
    HighScoreTable t;
    Fill(t, {50, 10, 80, 10, 90, 60, 70, 20, 30, 40});
    EXPECT_EQ(t.Insert(10, "EQUAL", 5, 2), -1);
    for (const auto& r : t.records) EXPECT_STRNE(r.name, "EQUAL");
    EXPECT_EQ(t.Insert(11, "ONEMORE", 5, 2), 1);
    EXPECT_STREQ(t.records[1].name, "ONEMORE");  // the first of the two lowest
    EXPECT_EQ(t.records[1].score, 11);
    EXPECT_EQ(t.records[3].score, 10);
    EXPECT_EQ(t.records[1].lengthTotal, 5);
    EXPECT_EQ(t.records[1].level, 2);
    // A second result entered now replaces the other 10; both are marked new.
    EXPECT_EQ(t.Insert(12, "SECOND", 1, 1), 3);
    for (int i = 0; i < HighScoreTable::kRecords; ++i) EXPECT_EQ(t.fresh[i] != 0, i == 1 || i == 3) << i;
    t.Clear();
    for (uint8_t f : t.fresh) EXPECT_EQ(f, 0);
}

TEST(HighScoreTable, InsertFillsTheFirstEmptyRecord) {
    HighScoreTable t;
    t.Insert(0, "ZERO", 1, 1);
    for (const auto& r : t.records) EXPECT_EQ(r.score, 0);
    t.records[0].score = 500;
    t.Insert(100, "NEW", 3, 4);
    EXPECT_EQ(t.records[1].score, 100);
    EXPECT_STREQ(t.records[1].name, "NEW");
}

TEST(HighScoreTable, ThirteenCharacterNamesKeepTheirZeroBytes) {
    HighScoreTable t;
    std::memset(t.records[0].name, 'X', sizeof t.records[0].name);
    t.Insert(5, "ABCDEFGHIJKLM", 1, 1);
    EXPECT_EQ(std::memcmp(t.records[0].name, "ABCDEFGHIJKLM", 13), 0);
    for (int i = 13; i < 20; ++i) EXPECT_EQ(t.records[0].name[i], 0) << i;
    // A name longer than the record is cut to fit, still terminated.
    t.Insert(6, "ABCDEFGHIJKLMNOPQRSTUVWXYZ", 1, 1);
    EXPECT_EQ(std::strlen(t.records[1].name), 19u);
}

TEST(HighScoreTable, SortIsDescendingWithTheSortsOwnTieOrder) {
    HighScoreTable t;
    Fill(t, {5, 7, 5, 7});
    t.Sort();
    const int expect[4] = {3, 1, 2, 0};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(t.order[i] - t.records, expect[i]) << i;
    for (int i = 4; i < 10; ++i) EXPECT_EQ(t.order[i]->score, 0);
}

TEST(HighScoreTable, SaveWritesStorageOrderAndLoadReadsItBack) {
    TempDir dir;
    HighScoreTable t;
    Fill(t, {100, 900, 300});
    t.Insert(1000, "BEST", 77, 12);
    ASSERT_TRUE(t.Save("tmed.dat"));
    const auto bytes = ReadAll("tmed.dat");
    ASSERT_EQ(bytes.size(), 320u);
    EXPECT_EQ(bytes[0] | (bytes[1] << 8), 100);
    EXPECT_EQ(bytes[3 * 32] | (bytes[3 * 32 + 1] << 8), 1000);  // the best score stands in the middle
    EXPECT_EQ(std::memcmp(&bytes[3 * 32 + 4], "BEST", 5), 0);
    EXPECT_FALSE(std::filesystem::exists("tmed.dat.new"));
    HighScoreTable back;
    back.Load("tmed.dat", 1);
    EXPECT_EQ(back.difficulty, 1);
    EXPECT_EQ(std::memcmp(back.records, t.records, sizeof t.records), 0);
    back.Sort();
    EXPECT_STREQ(back.order[0]->name, "BEST");
}

TEST(HighScoreTable, ShortLongAndUnterminatedFiles) {
    TempDir dir;
    std::vector<uint8_t> bytes(40, 0);
    bytes[0] = 44;
    bytes[32] = 7;  // record 1 gets only its first 8 bytes
    bytes[36] = 'Q';
    WriteAll("teasy.dat", bytes);
    HighScoreTable t;
    t.Load("teasy.dat", 0);
    EXPECT_EQ(t.records[0].score, 44);
    EXPECT_EQ(t.records[1].score, 7);
    EXPECT_EQ(t.records[1].name[0], 'Q');
    EXPECT_EQ(t.records[1].level, 0);

    std::vector<uint8_t> longFile(11 * 32 + 5, 0);
    for (int i = 0; i < 11; ++i) longFile[i * 32] = static_cast<uint8_t>(i + 1);
    WriteAll("thard.dat", longFile);
    t.Load("thard.dat", 2);
    EXPECT_EQ(t.records[9].score, 10);  // the first ten records only

    std::vector<uint8_t> noEnd(320, 'A');
    WriteAll("tmed.dat", noEnd);
    t.Load("tmed.dat", 1);
    for (const auto& r : t.records) EXPECT_EQ(std::strlen(r.name), 19u);

    t.Load("no-such-table.dat", 2);
    for (const auto& r : t.records) EXPECT_EQ(r.score, 0);
}

TEST(HighScoreTable, AFileEndingInsideARecordFillsItByteByByte) {
    TempDir dir;
    // Record 1 in full: score 0x04030201, name "ABCDEFGHIJKLMNOPQRS",
    // lengthTotal 0x08070605, level 0x0C0B0A09.
    std::vector<uint8_t> whole(64, 0);
    whole[0] = 1;
    const uint8_t fields[] = {1, 2, 3, 4};
    std::memcpy(&whole[32], fields, 4);
    std::memcpy(&whole[36], "ABCDEFGHIJKLMNOPQRS", 19);
    const uint8_t tail[] = {5, 6, 7, 8, 9, 10, 11, 12};
    std::memcpy(&whole[56], tail, 8);
    struct Case {
        int bytes;  // of record 1
        int32_t score;
        const char* name;
        int32_t lengthTotal, level;
    };
    const Case cases[] = {
        {2, 0x0201, "", 0, 0},
        {7, 0x04030201, "ABC", 0, 0},
        {26, 0x04030201, "ABCDEFGHIJKLMNOPQRS", 0x0605, 0},
        {31, 0x04030201, "ABCDEFGHIJKLMNOPQRS", 0x08070605, 0x0B0A09},
    };
    for (const Case& c : cases) {
        WriteAll("teasy.dat", std::vector<uint8_t>(whole.begin(), whole.begin() + 32 + c.bytes));
        HighScoreTable t;
        t.Load("teasy.dat", 0);
        EXPECT_EQ(t.records[0].score, 1) << c.bytes;
        EXPECT_EQ(t.records[1].score, c.score) << c.bytes;
        EXPECT_STREQ(t.records[1].name, c.name) << c.bytes;
        EXPECT_EQ(t.records[1].lengthTotal, c.lengthTotal) << c.bytes;
        EXPECT_EQ(t.records[1].level, c.level) << c.bytes;
        EXPECT_EQ(t.records[2].score, 0) << c.bytes;
    }
}

TEST(HighScoreTable, AFailedSaveLeavesThePreviousFileWhole) {
    TempDir dir;
    HighScoreTable t;
    Fill(t, {1, 2, 3});
    ASSERT_TRUE(t.Save("teasy.dat"));
    const auto before = ReadAll("teasy.dat");
    // The temporary file cannot be created: the save fails and changes nothing.
    std::filesystem::create_directory("teasy.dat.new");
    Fill(t, {9, 9, 9});
    EXPECT_FALSE(t.Save("teasy.dat"));
    EXPECT_EQ(ReadAll("teasy.dat"), before);
}

TEST(HighScoreTable, TablesLiveInTheUserFolderAndCarryOverFromTheDataFolder) {
    TempDir dir;  // the working folder stands for the data folder
    const std::string user = std::filesystem::current_path().string() + "/home/share/voidcrawl";
    ScopedUserDir scope(user);
    HighScoreTable old;
    Fill(old, {500, 400});
    {
        ScopedUserDir dataFolder("");
        ASSERT_TRUE(old.Save("teasy.dat"));
    }
    const auto dataBytes = ReadAll("teasy.dat");
    ASSERT_EQ(dataBytes.size(), 320u);

    // The data folder's table carries over until the player has one.
    HighScoreTable t;
    t.Load("teasy.dat", 0);
    EXPECT_EQ(std::memcmp(t.records, old.records, sizeof t.records), 0);
    t.Insert(900, "NEW", 5, 3);
    ASSERT_TRUE(t.Save("teasy.dat"));
    const auto userBytes = ReadAll((user + "/teasy.dat").c_str());
    ASSERT_EQ(userBytes.size(), 320u);
    EXPECT_EQ(userBytes[2 * 32] | (userBytes[2 * 32 + 1] << 8), 900);  // byte for byte the usual format
    EXPECT_FALSE(std::filesystem::exists(user + "/teasy.dat.new"));
    EXPECT_EQ(ReadAll("teasy.dat"), dataBytes) << "the data folder's table was written";

    // From then on the player's table is the one read.
    HighScoreTable back;
    back.Load("teasy.dat", 0);
    EXPECT_EQ(std::memcmp(back.records, t.records, sizeof t.records), 0);

    // A table the data folder lacks starts empty and goes to the user folder.
    back.Load("thard.dat", 2);
    for (const auto& r : back.records) EXPECT_EQ(r.score, 0);
    back.Insert(70, "H", 1, 1);
    ASSERT_TRUE(back.Save("thard.dat"));
    EXPECT_EQ(ReadAll((user + "/thard.dat").c_str()).size(), 320u);
    EXPECT_FALSE(std::filesystem::exists("thard.dat"));
}

TEST(HighScoreTable, AUserFolderThatCannotBeMadeFailsTheSaveAndNamesIt) {
    TempDir dir;
    HighScoreTable old;
    Fill(old, {3, 2, 1});
    ASSERT_TRUE(old.Save("tmed.dat"));
    const auto before = ReadAll("tmed.dat");
    std::ofstream("home") << "a file where a folder should be";
    ScopedUserDir scope(std::filesystem::current_path().string() + "/home/share/voidcrawl");
    HighScoreTable t;
    t.Load("tmed.dat", 1);
    t.Insert(99, "LOST", 1, 1);
    char reason[256] = {};
    EXPECT_FALSE(t.Save("tmed.dat", reason, sizeof reason));
    EXPECT_NE(std::string(reason).find("/home"), std::string::npos) << reason;
    EXPECT_EQ(ReadAll("tmed.dat"), before);
    HighScoreTable again;
    again.Load("tmed.dat", 1);
    EXPECT_EQ(std::memcmp(again.records, old.records, sizeof old.records), 0);
}

}  // namespace
