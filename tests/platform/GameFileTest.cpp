#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <tuple>

#include "platform/GameFile.h"
#include "platform/PrintableText.h"
#include "support/Files.h"

namespace {

TEST(GameFile, NamesMapBackslashesToSlashesKeepTheirCaseAndHaveALengthLimit) {
    char out[kMaxGameFileName + 1];
    for (auto [name, path] : {std::pair{"grafik\\ImpFont22.dat", "grafik/ImpFont22.dat"},
                              {"a\\b\\\\C.DAT", "a/b//C.DAT"},
                              {"L19.DAT", "L19.DAT"}}) {
        ASSERT_TRUE(MapGameFileName(name, out)) << name;
        EXPECT_STREQ(out, path);
    }
    std::string longest(kMaxGameFileName, 'a');
    longest[3] = '\\';
    ASSERT_TRUE(MapGameFileName(longest.c_str(), out));
    longest[3] = '/';
    EXPECT_EQ(std::string(out), longest);
    EXPECT_EQ((std::tuple{MapGameFileName((longest + "b").c_str(), out), MapGameFileName("", out),
                          MapGameFileName(nullptr, out)}),
              (std::tuple{false, false, false}));
}

TEST(GameFile, OpensRelativeToTheWorkingDirectoryByExactCaseAndRefusesTooLongANameWithoutTouchingTheDisk) {
    const TempDir scratch;
    std::filesystem::create_directory("grafik");
    std::FILE* f = OpenGameFile("grafik\\mousehi.dat", "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_TRUE(std::filesystem::exists(scratch.path() / "grafik/mousehi.dat"));
    for (auto [name, opens] :
         {std::pair{"grafik\\mousehi.dat", true}, {"grafik\\MouseHi.dat", false}, {"GRAFIK\\mousehi.dat", false}}) {
        errno = 0;
        f = OpenGameFile(name, "rb");
        EXPECT_EQ((std::tuple{f != nullptr, f ? 0 : errno}), (std::tuple{opens, opens ? 0 : ENOENT})) << name;
        if (f) std::fclose(f);
    }
    // Reading takes regular files only, and says what else it found, without
    // waiting on a pipe that nobody writes.
    std::filesystem::create_directory("folder.dat");
    ASSERT_EQ(mkfifo("pipe.dat", 0600), 0);
    std::filesystem::create_symlink("/dev/null", "device.dat");
    for (auto [name, status, why] : {std::tuple{"folder.dat", ReadStatus::Refused, "it is a folder, not a file"},
                                     {"pipe.dat", ReadStatus::Refused, "it is a pipe, not a file"},
                                     {"device.dat", ReadStatus::Refused, "it is a device, not a file"},
                                     {"grafik\none.dat", ReadStatus::Missing, "there is no such file"}}) {
        ReadError said;
        f = OpenGameFile(name, "rb", &said);
        EXPECT_EQ((std::tuple{f, said.status, std::string(said.reason)}), (std::tuple{nullptr, status, why})) << name;
        if (f) std::fclose(f);
    }
    errno = 0;  // a name the disk would take, but too long for the game
    EXPECT_EQ((std::tuple{OpenGameFile(("grafik\\" + std::string(kMaxGameFileName, 'x')).c_str(), "wb"), errno}),
              (std::tuple{nullptr, ENAMETOOLONG}));
}

// Names from the player's files and the command line reach the terminal
// without control characters, their UTF-8 whole; data names with slashes.
TEST(GameFile, TextForTheTerminalLosesItsControlCharactersButKeepsItsUtf8Whole) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain/folder name", "plain/folder name"},
        {"\x1b[2J\x1b]0;title\x07", "?[2J?]0;title?"},  // escape sequences, BEL
        {"tab\tnew\nline\rDEL\x7f", "tab?new?line?DEL?"},
        {"\xc3\xa4 \xe2\x82\xac \xf0\x9f\x90\x9b", "\xc3\xa4 \xe2\x82\xac \xf0\x9f\x90\x9b"},  // ä, € and a worm
        {"\xc2\x9b"
         "31m C1 CSI",
         "??31m C1 CSI"},  // U+009B: a terminal's CSI
        {"\x9b"
         "1m lone \xff\xc3 cut",
         "?1m lone ?? cut"},                                        // bytes that are no UTF-8
        {"\xc0\xaf \xed\xa0\x80 \xf4\x90\x80\x80", "?? ??? ????"},  // overlong, surrogate, past U+10FFFF
        {std::string("a\0b", 3), "a?b"},
    };
    for (const auto& [text, printable] : cases) EXPECT_EQ(Printable(text), printable) << text;
    char out[8];
    for (auto [size, expected] : {std::pair{8, "ab\xe2\x82\xac?c"}, {6, "ab\xe2\x82\xac"}, {5, "ab"}, {1, ""}}) {
        CopyPrintable(
            "ab\xe2\x82\xac\x1b"
            "cd",
            out, size_t(size));  // a character that does not fit is left out
        EXPECT_STREQ(out, expected) << size;
    }
    CopyPrintable(nullptr, out, sizeof out);
    EXPECT_STREQ(out, "");
    ShownGameFileName("grafik\\hiscore.dat\x1b", out, sizeof out);
    EXPECT_STREQ(out, "grafik/");
    char shown[32];
    ShownGameFileName("grafik\\hiscore.dat\x1b", shown, sizeof shown);
    EXPECT_STREQ(shown, "grafik/hiscore.dat?");
}

}  // namespace
