#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <tuple>

#include "platform/GameFile.h"

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
    const auto saved = std::filesystem::current_path();
    char pattern[] = "/tmp/voidcrawl-gamefile-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::filesystem::current_path(pattern);
    std::filesystem::create_directory("grafik");
    std::FILE* f = OpenGameFile("grafik\\mousehi.dat", "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_TRUE(std::filesystem::exists(std::string(pattern) + "/grafik/mousehi.dat"));
    for (auto [name, opens] :
         {std::pair{"grafik\\mousehi.dat", true}, {"grafik\\MouseHi.dat", false}, {"GRAFIK\\mousehi.dat", false}}) {
        errno = 0;
        f = OpenGameFile(name, "rb");
        EXPECT_EQ((std::tuple{f != nullptr, f ? 0 : errno}), (std::tuple{opens, opens ? 0 : ENOENT})) << name;
        if (f) std::fclose(f);
    }
    errno = 0;  // a name the disk would take, but too long for the game
    EXPECT_EQ((std::tuple{OpenGameFile(("grafik\\" + std::string(kMaxGameFileName, 'x')).c_str(), "wb"), errno}),
              (std::tuple{nullptr, ENAMETOOLONG}));
    std::filesystem::current_path(saved);
    std::filesystem::remove_all(pattern);
}

}  // namespace
