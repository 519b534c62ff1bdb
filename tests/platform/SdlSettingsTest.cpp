#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "io/Input.h"
#include "platform/SdlKeymap.h"
#include "platform/SdlSettings.h"

namespace {

bool SameKeys(const PlayKeys& a, const PlayKeys& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class SettingsFolder : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/voidcrawl-settings-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }
    void Write(const std::string& path, const std::string& text) {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr) << path;
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }
    std::string folder_;
};

TEST_F(SettingsFolder, EverySettingSurvivesASaveAndALoadIntoFoldersNotYetMade) {
    Settings chosen;
    chosen.fullscreen = 0;
    chosen.scale = ScaleMode::Fit;
    chosen.volume = 0;
    chosen.mute = true;
    // Names with spaces, punctuation and the keys right of P and left of Enter.
    const char* names[2][kPlayKeyCount] = {{"J", "L", "Right Alt", "[", "Keypad 8", "Keypad 2"},
                                           {"Z", "X", "Tab", ";", "'", "Left Alt"}};
    for (int p = 0; p < 2; ++p) {
        for (int a = 0; a < kPlayKeyCount; ++a) {
            chosen.keys.code[p][a] = DikFromKeyName(names[p][a]);
            ASSERT_NE(chosen.keys.code[p][a], 0) << names[p][a];
        }
    }
    chosen.pad.button[kPadJump] = kPadLeftShoulder;
    chosen.pad.button[kPadPause] = kPadBack;
    chosen.rumble = false;
    const std::string path = folder_ + "/config/voidcrawl/settings.ini";
    std::string error;
    ASSERT_TRUE(SaveSettings(path.c_str(), chosen, &error)) << error;
    ASSERT_TRUE(SaveSettings(path.c_str(), chosen, &error)) << error;  // over an existing file too
    EXPECT_FALSE(std::filesystem::exists(path + ".new")) << "the temporary file stays behind";

    Settings loaded;
    std::string warning = "untouched";
    ASSERT_TRUE(LoadSettings(path.c_str(), &loaded, &warning)) << warning;
    EXPECT_EQ(warning, "untouched");
    EXPECT_EQ((std::tuple{loaded.fullscreen, loaded.scale, loaded.volume, loaded.mute}),
              (std::tuple{0, ScaleMode::Fit, 0, true}));
    EXPECT_TRUE(SameKeys(loaded.keys, chosen.keys)) << FormatSettings(loaded);
    EXPECT_EQ(std::memcmp(&loaded.pad, &chosen.pad, sizeof loaded.pad), 0) << FormatSettings(loaded);
    EXPECT_FALSE(loaded.rumble);

    // The usual keys are written under their usual names.
    const std::string text = FormatSettings(Settings{});
    for (const char* line : {"left = Left\n", "warp = Right Ctrl\n", "jump = Left Shift\n", "brake = S\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
    }
    // A missing file is no fault: the defaults, silently.
    Settings missing;
    warning = "untouched";
    EXPECT_TRUE(LoadSettings((folder_ + "/none/settings.ini").c_str(), &missing, &warning));
    EXPECT_EQ((std::tuple{missing.fullscreen, missing.volume, warning}), (std::tuple{-1, 100, "untouched"}));
}

TEST(Settings, WhatCannotBeUsedKeepsItsDefaultAndIsReportedOnOneLine) {
    struct Case {
        std::string text;
        int fullscreen, volume;
        bool mute, usualKeys;
        const char* warning;  // a part of it; null: no warning
    };
    const std::string garbage("\x7f" "ELF\x02\x01\x01\0\0\0\xff\xfe=\n[\n=", 17);
    const Case cases[] = {
        // Names and values in any case, comments, Windows line ends, spaces.
        {"# mine\r\n[Display]\r\n  FullScreen =  NO \r\n; c\r\n[sound]\r\nvolume=7\r\n[PLAYER2]\r\nleft = j\r\n", 0, 7,
         false, false, nullptr},
        {garbage, -1, 100, false, true, "not text"},
        {"[sound]\nvolume = 40\nmute = maybe\n", -1, 40, false, true, "line 3: mute must be yes or no"},
        {"[sound]\nvolume = 101\n", -1, 100, false, true, "volume must be 0 to 100"},
        {"[sound]\nvolume = -5\nvolume = 1e2\n", -1, 100, false, true, "(and 1 more problem)"},
        {"volume = 40\n[sound\nmute = yes\n[video]\nx = 1\n", -1, 100, false, true, "comes before any [section]"},
        {"[display]\nfullscreen\nwidth = 3\n[sound]\nmute = on\n", -1, 100, true, true, "expected name = value"},
        // Keys the game answers to itself, unknown keys, one key for two actions.
        {"[player1]\nleft = Space\n", -1, 100, false, true, "\"Space\" is the game's own key"},
        {"[player1]\nboost = Escape\nbrake = F12\n", -1, 100, false, true, "(and 1 more problem)"},
        {"[player1]\nleft = Hyper\n", -1, 100, false, true, "no key is called \"Hyper\""},
        {"[player1]\nleft = A\n", -1, 100, false, true, "\"A\" steers two actions"},
        {"[player2]\nleft = J\nright = J\n[sound]\nmute = yes\n", -1, 100, true, true, "\"J\" steers two actions"},
        // Gamepad buttons: unknown names, and one button for two things.
        {"[gamepad]\njump = trigger\nrumble = no\n", -1, 100, false, true, "no gamepad button is called \"trigger\""},
        {"[gamepad]\nwarp = a\n", -1, 100, false, true, "gamepad button \"a\" does two things"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Settings settings;
        std::string warning;
        EXPECT_EQ(ParseSettings(c.text.data(), c.text.size(), &settings, &warning), c.warning == nullptr);
        EXPECT_EQ((std::tuple{settings.fullscreen, settings.volume, settings.mute}),
                  (std::tuple{c.fullscreen, c.volume, c.mute}));
        EXPECT_EQ(SameKeys(settings.keys, kDefaultPlayKeys), c.usualKeys);
        if (c.warning != nullptr) {
            EXPECT_NE(warning.find(c.warning), std::string::npos) << warning;
            EXPECT_EQ(warning.find('\n'), std::string::npos) << warning;
        }
    }
}

TEST_F(SettingsFolder, AnUnreadableFileGivesTheDefaultsAndAFailedSaveLeavesTheOldFileWhole) {
    Settings settings;
    std::string warning;
    // A folder where the file should be, and a file far too large.
    ASSERT_EQ(mkdir((folder_ + "/settings.ini").c_str(), 0755), 0);
    EXPECT_FALSE(LoadSettings((folder_ + "/settings.ini").c_str(), &settings, &warning));
    EXPECT_NE(warning.find("settings.ini"), std::string::npos) << warning;
    Write(folder_ + "/big.ini", "[sound]\nvolume = 5\n" + std::string(100000, '#'));
    EXPECT_FALSE(LoadSettings((folder_ + "/big.ini").c_str(), &settings, &warning));
    EXPECT_NE(warning.find("too large"), std::string::npos) << warning;
    EXPECT_EQ(settings.volume, 100);

    // A save into a folder that cannot be made.
    Write(folder_ + "/file", "x");
    std::string error;
    EXPECT_FALSE(SaveSettings((folder_ + "/file/voidcrawl/settings.ini").c_str(), settings, &error));
    EXPECT_NE(error.find("cannot create the folder"), std::string::npos) << error;
    // A folder where the file should be is refused and stays.
    EXPECT_FALSE(SaveSettings((folder_ + "/settings.ini").c_str(), settings, &error));
    EXPECT_NE(error.find("it is a folder, not a file"), std::string::npos) << error;
}

TEST(Settings, TheCommandLineWinsOverTheEnvironmentWhichWinsOverTheFile) {
    Settings file;
    file.fullscreen = 1;
    file.scale = ScaleMode::Integer;
    file.volume = 30;
    HostOptions none;
    HostOptions line;
    line.fullscreen = 1;
    line.scale = ScaleMode::Fit;
    line.mute = true;
    struct Case {
        const HostOptions& line;
        bool windowedByEnvironment;
        int fullscreen;
        ScaleMode scale;
        bool mute;
    };
    for (const Case& c : {Case{none, false, 1, ScaleMode::Integer, false}, Case{none, true, 0, ScaleMode::Integer, false},
                          Case{line, true, 1, ScaleMode::Fit, true}}) {
        const HostOptions chosen = ChooseHostOptions(file, c.line, c.windowedByEnvironment);
        EXPECT_EQ((std::tuple{chosen.fullscreen, chosen.scale, chosen.mute, chosen.volume}),
                  (std::tuple{c.fullscreen, c.scale, c.mute, 30}));
    }
    Settings muted;
    muted.mute = true;
    EXPECT_TRUE(ChooseHostOptions(muted, none, false).mute);  // the file's mute holds without --mute
}

}  // namespace
