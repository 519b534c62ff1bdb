#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>

#include "platform/SaveFile.h"
#include "platform/UserDir.h"
#include "support/Files.h"

namespace {

namespace fs = std::filesystem;

}  // namespace

TEST(UserDir, TheXdgRulesForThePlayersFolder) {
    struct Case {
        const char* xdgDataHome;
        const char* home;
        const char* expect;  // null: no folder
    };
    const Case cases[] = {
        {"/srv/me/data", "/home/me", "/srv/me/data/voidcrawl"},
        {nullptr, "/home/me", "/home/me/.local/share/voidcrawl"},
        {"", "/home/me", "/home/me/.local/share/voidcrawl"},          // empty counts as unset
        {"rel/data", "/home/me", "/home/me/.local/share/voidcrawl"},  // so does a relative path
        {nullptr, "/", "/.local/share/voidcrawl"},
        {nullptr, nullptr, nullptr},
        {"rel/data", "home/me", nullptr},
    };
    for (const Case& c : cases) {
        const std::string label =
            std::string(c.xdgDataHome ? c.xdgDataHome : "(unset)") + " / " + (c.home ? c.home : "(unset)");
        std::string dir = "untouched";
        std::string error;
        const bool found = ChooseUserDataDir(c.xdgDataHome, c.home, &dir, &error);
        EXPECT_EQ(found, c.expect != nullptr) << label;
        if (c.expect) {
            EXPECT_EQ(dir, c.expect) << label;
        } else {
            EXPECT_EQ(dir, "untouched") << label;
            EXPECT_NE(error.find("XDG_DATA_HOME"), std::string::npos) << label << ": " << error;
        }
    }
}

TEST(UserDir, PathsInTheUserFolderAndTheSettingsFolderByTheSameRule) {
    std::string dir, error;
    EnvScope home("HOME", "/home/somebody");
    EnvScope xdg("XDG_CONFIG_HOME", "");
    ASSERT_TRUE(FindUserConfigDir(&dir, &error)) << error;
    EXPECT_EQ(dir, "/home/somebody/.config/voidcrawl");
    char path[64];
    {
        ScopedUserDir scope("");
        ASSERT_TRUE(UserFilePath("grafik\\x.dat", path, sizeof path));
        EXPECT_STREQ(path, "grafik/x.dat");  // the working folder
    }
    ScopedUserDir scope("/u/v//");
    EXPECT_EQ((std::tuple{std::string(GetUserDir()), UserFilePath("teasy.dat", path, 14), UserFilePath("", path, 64),
                          SetUserDir(std::string(kMaxUserPath, 'a').c_str()), std::string(GetUserDir())}),
              (std::tuple{std::string("/u/v"), false, false, false, std::string("/u/v")}));  // 14: one byte short
    ASSERT_TRUE(UserFilePath("teasy.dat", path, 15));
    EXPECT_STREQ(path, "/u/v/teasy.dat");
}

// A player's folder too long to be a path is refused: nothing is saved,
// rather than saved into the data folder where nobody would look.
TEST(UserDir, AFolderTooLongForAPathIsRefusedNotReplacedByTheDataFolder) {
    TempDir data;  // the working folder, where the data would be
    const ScopedUserDir restore("");
    const EnvScope xdg("XDG_DATA_HOME", ("/" + std::string(kMaxUserPath, 'x')).c_str());
    const std::string err = Said(SetUpUserDir);
    EXPECT_NE(std::string(UserDirRefusal()), "");
    EXPECT_NE(err.find("will not be saved"), std::string::npos) << err;
    SaveResult saved;
    EXPECT_FALSE(SaveUserFile("teasy.dat", "x", 1, &saved));
    EXPECT_NE(std::string(saved.reason).find("longer than the system allows"), std::string::npos) << saved.reason;
    EXPECT_TRUE(fs::is_empty(data.path())) << "written into the data folder";
}
