#include "platform/GameFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

namespace {

TEST(MapGameFileName, TurnsBackslashesIntoSlashesAndKeepsTheCase) {
    char out[kMaxGameFileName + 1];
    ASSERT_TRUE(MapGameFileName("grafik\\ImpFont22.dat", out));
    EXPECT_STREQ(out, "grafik/ImpFont22.dat");
    ASSERT_TRUE(MapGameFileName("a\\b\\\\C.DAT", out));
    EXPECT_STREQ(out, "a/b//C.DAT");
    ASSERT_TRUE(MapGameFileName("L19.DAT", out));
    EXPECT_STREQ(out, "L19.DAT");
}

TEST(MapGameFileName, AcceptsTheLongestNameAndRefusesLongerOnes) {
    char out[kMaxGameFileName + 1];
    std::string longest(kMaxGameFileName, 'a');
    longest[3] = '\\';
    ASSERT_TRUE(MapGameFileName(longest.c_str(), out));
    EXPECT_EQ(std::string(out).size(), static_cast<size_t>(kMaxGameFileName));
    EXPECT_EQ(out[3], '/');
    std::string tooLong(kMaxGameFileName + 1, 'b');
    EXPECT_FALSE(MapGameFileName(tooLong.c_str(), out));
}

TEST(MapGameFileName, RefusesEmptyAndMissingNames) {
    char out[kMaxGameFileName + 1];
    EXPECT_FALSE(MapGameFileName("", out));
    EXPECT_FALSE(MapGameFileName(nullptr, out));
}

class OpenGameFileTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/voidcrawl-gamefile-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ASSERT_NE(getcwd(saved_, sizeof saved_), nullptr);
        ASSERT_EQ(chdir(dir_.c_str()), 0);
        ASSERT_EQ(std::system("mkdir -p grafik && printf 'BM' > grafik/mousehi.dat"), 0);
    }
    void TearDown() override {
        if (chdir(saved_) != 0) std::perror("chdir back");
        std::system(("rm -rf '" + dir_ + "'").c_str());
    }

    std::string dir_;
    char saved_[PATH_MAX] = {};
};

TEST_F(OpenGameFileTest, OpensTheGamesBackslashNamesRelativeToTheWorkingDirectory) {
    std::FILE* f = OpenGameFile("grafik\\mousehi.dat", "rb");
    ASSERT_NE(f, nullptr);
    char magic[3] = {};
    EXPECT_EQ(std::fread(magic, 1, 2, f), 2u);
    EXPECT_STREQ(magic, "BM");
    std::fclose(f);
}

TEST_F(OpenGameFileTest, NamesKeepTheirExactCase) {
    errno = 0;
    EXPECT_EQ(OpenGameFile("grafik\\MouseHi.dat", "rb"), nullptr);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(OpenGameFile("GRAFIK\\mousehi.dat", "rb"), nullptr);
}

TEST_F(OpenGameFileTest, WritesWhereTheGameSays) {
    std::FILE* f = OpenGameFile("ScrDump.pal", "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("JASC-PAL\r\n", f);
    std::fclose(f);
    std::FILE* back = std::fopen((dir_ + "/ScrDump.pal").c_str(), "rb");
    ASSERT_NE(back, nullptr);
    std::fclose(back);
}

TEST_F(OpenGameFileTest, TooLongANameIsRefusedWithoutTouchingTheDisk) {
    std::string tooLong = "grafik\\" + std::string(kMaxGameFileName, 'x');
    errno = 0;
    EXPECT_EQ(OpenGameFile(tooLong.c_str(), "wb"), nullptr);
    EXPECT_EQ(errno, ENAMETOOLONG);
}

}  // namespace
