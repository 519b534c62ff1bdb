#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "io/Input.h"
#include "platform/Environment.h"
#include "platform/IniText.h"
#include "platform/KeyNames.h"
#include "platform/Settings.h"
#include "support/FakeHost.h"
#include "support/FakeWorldLink.h"
#include "support/Files.h"

namespace {

bool SameKeys(const PlayKeys& a, const PlayKeys& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

Settings FullScreen(int on) {
    Settings settings;
    settings.fullscreen = on;
    return settings;
}

class SettingsFolder : public testing::Test {
protected:
    void SetUp() override { folder_ = scratch_.path().string(); }
    ScratchDir scratch_;
    std::string folder_;
};

TEST_F(SettingsFolder, EverySettingSurvivesASaveAndALoadIntoFoldersNotYetMade) {
    Settings chosen;
    chosen.fullscreen = 0;
    chosen.scale = ScaleMode::Fit;
    chosen.window = {1000, 750};
    chosen.volume = 0;
    chosen.mute = true;
    chosen.hum = false;
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
    chosen.onlinePort = 27015;
    std::strcpy(chosen.onlineAddress, "play.example.org:7400");
    chosen.inputDelay = 0;
    chosen.worldSend = true;
    chosen.worldAsked = true;
    std::strcpy(chosen.worldServer, "https://scores.example.org:8443/vc");
    const std::string path = folder_ + "/config/voidcrawl/settings.ini";
    std::string error;
    // With no file yet a change writes the whole documented file.
    ASSERT_TRUE(SaveSettingChanges(path.c_str(), Settings{}, chosen, &error)) << error;
    Settings loaded;
    std::vector<std::string> problems{"untouched"};
    ASSERT_TRUE(LoadSettings(path.c_str(), &loaded, &problems)) << problems[0];
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ((std::tuple{loaded.fullscreen, loaded.scale, loaded.window.width, loaded.window.height, loaded.volume,
                          loaded.mute, loaded.hum}),
              (std::tuple{0, ScaleMode::Fit, 1000, 750, 0, true, false}));
    EXPECT_TRUE(SameKeys(loaded.keys, chosen.keys)) << FormatSettings(loaded);
    EXPECT_EQ(std::memcmp(&loaded.pad, &chosen.pad, sizeof loaded.pad), 0) << FormatSettings(loaded);
    EXPECT_FALSE(loaded.rumble);
    EXPECT_EQ((std::tuple{loaded.onlinePort, std::string(loaded.onlineAddress), loaded.inputDelay}),
              (std::tuple{27015, std::string("play.example.org:7400"), 0}));
    EXPECT_EQ((std::tuple{loaded.worldSend, loaded.worldAsked, std::string(loaded.worldServer)}),
              (std::tuple{true, true, std::string("https://scores.example.org:8443/vc")}));

    // A missing file is no fault: the defaults, silently.
    Settings missing;
    problems = {"untouched"};
    EXPECT_TRUE(LoadSettings((folder_ + "/none/settings.ini").c_str(), &missing, &problems));
    EXPECT_EQ((std::tuple{missing.fullscreen, missing.volume, problems.size()}), (std::tuple{-1, 100, 0u}));
}

TEST(Settings, WhatCannotBeUsedKeepsItsDefaultAndEachProblemIsReportedOnALineOfItsOwn) {
    struct Case {
        std::string text;
        std::vector<std::string> problems;  // how each line starts
        int fullscreen = -1, volume = 100;
        bool mute = false, usualKeys = true;
    };
    const std::string garbage(
        "\x7f"
        "ELF\x02\x01\x01\0\0\0\xff\xfe=\n[\n=",
        17);
    const Case cases[] = {
        // Names and values in any case, comments, Windows line ends, spaces.
        {"# mine\r\n[Display]\r\n  FullScreen =  NO \r\n; c\r\n[sound]\r\nvolume=7\r\n[PLAYER2]\r\nleft = j\r\n",
         {},
         0,
         7,
         false,
         false},
        // A UTF-8 byte-order mark before the first line.
        {"\xEF\xBB\xBF[display]\nfullscreen = no\n", {}, 0},
        {garbage, {"line 1: not text", "line 2: a section name needs its closing ]"}},
        {"[sound]\nvolume = 40\nmute = maybe\n", {"line 3: mute must be yes or no"}, -1, 40},
        {"[sound]\nvolume = -5\nvolume = 1e2\n",
         {"line 2: volume must be 0 to 100, not \"-5\"", "line 3: volume must be 0 to 100, not \"1e2\""}},
        {"volume = 40\n[sound\nmute = yes\n[video]\nx = 1\n",
         {"line 1: \"volume\" comes before any [section]", "line 2: a section name needs its closing ]",
          "line 4: unknown section [video]"}},
        {"[display]\nfullscreen\nwidth = 3\n[sound]\nmute = on\n",
         {"line 2: expected name = value", "line 3: unknown setting \"width\""},
         -1,
         100,
         true},
        // Control characters quoted from the file reach no terminal; UTF-8 does.
        {"[sound]\nvol\x1bume = 1\nvolume = \x1b]0;x\x07\xC3\xA9\n",
         {"line 2: unknown setting \"vol?ume\"", "line 3: volume must be 0 to 100, not \"?]0;x?\xC3\xA9\""}},
        // Keys the game answers to itself, unknown keys, one key for two actions.
        {"[player1]\nleft = Space\n", {"line 2: \"Space\" is the game's own key"}},
        {"[player1]\nboost = Escape\nbrake = F12\n",
         {"line 2: \"Escape\" is the game's own key", "line 3: \"F12\" is the game's own key"}},
        // A window from a quarter of the picture up, or auto.
        {"[display]\nwindow = 159x120\nwindow = 1280x\nwindow = big\nwindow = 1280 X 960\nwindow = Auto\n",
         {"line 2: window must be auto or a size such as 1280x960, not \"159x120\"", "line 3: window",
          "line 4: window"}},
        {"[player1]\nleft = Hyper\n", {"line 2: no key is called \"Hyper\""}},
        {"[player1]\nleft = A\n", {"\"A\" steers two actions"}},
        {"[player2]\nleft = J\nright = J\n[sound]\nmute = yes\n", {"\"J\" steers two actions"}, -1, 100, true},
        // Gamepad buttons: unknown names, and one button for two things.
        {"[gamepad]\njump = trigger\nrumble = no\n", {"line 2: no gamepad button is called \"trigger\""}},
        {"[gamepad]\nwarp = a\n", {"gamepad button \"a\" does two things"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        Settings settings;
        std::vector<std::string> problems{"untouched"};
        EXPECT_EQ(ParseSettings(c.text.data(), c.text.size(), &settings, &problems), c.problems.empty());
        EXPECT_EQ((std::tuple{settings.fullscreen, settings.volume, settings.mute}),
                  (std::tuple{c.fullscreen, c.volume, c.mute}));
        EXPECT_EQ(SameKeys(settings.keys, kDefaultPlayKeys), c.usualKeys);
        EXPECT_EQ(problems.size(), c.problems.size()) << testing::PrintToString(problems);
        for (size_t i = 0; i < std::min(problems.size(), c.problems.size()); ++i) {
            EXPECT_EQ(problems[i].rfind(c.problems[i], 0), 0u) << problems[i];
        }
    }
}

// The online rows: a port, a delay, and an address as text in quotes that
// holds nothing a terminal or the screen would take for more than text.
TEST(Settings, TheOnlineRowsTakeAPortADelayAndAnAddressAndRefuseHostileText) {
    const std::string longest(kNetAddressBytes - 1, 'a');
    const struct {
        std::string value;  // after "[online]\n"
        int port, delay;
        std::string address, problem;  // how the problem starts
    } cases[] = {
        {"port = 7400\naddress = \"10.0.0.2:7400\"\ndelay = 0\n", 7400, 0, "10.0.0.2:7400", ""},
        {"address = host.lan\n", 7311, 2, "host.lan", ""},
        {"address = \"\"\n", 7311, 2, "", ""},
        {"address = \"" + longest + "\"\n", 7311, 2, longest, ""},
        {"port = 0\n", 7311, 2, "", "line 2: port must be 1 to 65535, not \"0\""},
        {"port = 65536\ndelay = 5\n", 7311, 2, "", "line 2: port must be 1 to 65535"},
        {"delay = -1\n", 7311, 2, "", "line 2: delay must be 0 to 4, not \"-1\""},
        {"address = \"a" + longest + "\"\n", 7311, 2, "", "line 2: address must be text in quotes"},
        {"address = \"\x1b]0;owned\x07\"\n", 7311, 2, "",
         "line 2: address must be text in quotes, not \"\"?]0;owned?\"\" (printable, at most 63 characters)"},
        {"address = \"open\n", 7311, 2, "", "line 2: address must be"},
        {"address = \"a\"b\"\n", 7311, 2, "", "line 2: address must be"},
        {"address = \"h\xC3\xA9\"\n", 7311, 2, "", "line 2: address must be"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        const std::string text = "[online]\n" + c.value;
        Settings settings;
        std::vector<std::string> problems;
        EXPECT_EQ(ParseSettings(text.data(), text.size(), &settings, &problems), c.problem.empty());
        EXPECT_EQ((std::tuple{settings.onlinePort, settings.inputDelay, std::string(settings.onlineAddress)}),
                  (std::tuple{c.port, c.delay, c.address}));
        ASSERT_EQ(problems.empty(), c.problem.empty());
        if (!problems.empty()) {
            EXPECT_EQ(problems[0].rfind(c.problem, 0), 0u) << problems[0];
        }
    }
}

// The world rows: two switches off until the player turns them on, and a
// server's address that can only be an http or https address of printable
// characters (it goes into requests and onto the options screen).
TEST(Settings, TheWorldRowsAreOffByDefaultAndTheServerMustBeAPlainHttpAddress) {
    const Settings defaults;
    EXPECT_EQ((std::tuple{defaults.worldSend, defaults.worldAsked, std::string(defaults.worldServer)}),
              (std::tuple{false, false, std::string()}));
    const std::string longest = "https://" + std::string(kWorldAddressBytes - 1 - 8, 'a');
    const struct {
        std::string value;  // after "[world]\n"
        bool send;
        std::string server, problem;  // how the problem starts
    } cases[] = {
        {"send = yes\nasked = yes\nserver = \"http://127.0.0.1:8080\"\n", true, "http://127.0.0.1:8080", ""},
        {"server = HTTPS://Scores.example.org/\n", false, "HTTPS://Scores.example.org/", ""},
        {"server = \"\"\n", false, "", ""},
        {"server = \"" + longest + "\"\n", false, longest, ""},
        {"server = \"" + longest + "a\"\n", false, "", "line 2: server must be an http:// or https:// address"},
        {"server = \"ftp://example.org\"\n", false, "", "line 2: server must be an http:// or https:// address"},
        {"server = \"example.org\"\n", false, "", "line 2: server must be"},
        {"server = \"http://\"\n", false, "", "line 2: server must be"},
        {"server = \"http:///path\"\n", false, "", "line 2: server must be"},
        {"server = \"http://a b\"\n", false, "", "line 2: server must be"},
        {"server = \"http://a<script>\"\n", false, "", "line 2: server must be"},
        {"server = \"http://a\\b\"\n", false, "", "line 2: server must be"},
        {"server = \"http://\x1b]0;x\x07\"\n", false, "",
         "line 2: server must be an http:// or https:// address in quotes, not \"\"http://?]0;x?\"\" (printable"},
        {"server = \"http://h\xC3\xA9\"\n", false, "", "line 2: server must be"},
        {"send = maybe\n", false, "", "line 2: send must be yes or no"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        const std::string text = "[world]\n" + c.value;
        Settings settings;
        std::vector<std::string> problems;
        EXPECT_EQ(ParseSettings(text.data(), text.size(), &settings, &problems), c.problem.empty());
        EXPECT_EQ((std::tuple{settings.worldSend, std::string(settings.worldServer)}), (std::tuple{c.send, c.server}));
        ASSERT_EQ(problems.empty(), c.problem.empty());
        if (!problems.empty()) {
            EXPECT_EQ(problems[0].rfind(c.problem, 0), 0u) << problems[0];
        }
    }
}

// --world-server holds for the run alone: a change the game keeps (sending
// turned on) never writes the run's server over the file's.
TEST_F(SettingsFolder, TheRunsWorldServerIsNeverKeptInTheFile) {
    const std::string path = folder_ + "/settings.ini";
    WriteText(path, "[world]\nserver = \"https://file.example.org\"\n");
    Settings file;
    std::vector<std::string> problems;
    ASSERT_TRUE(LoadSettings(path.c_str(), &file, &problems));
    RunChoices run;
    std::strcpy(run.worldServer, "http://127.0.0.1:9");
    FakeHost host;
    FakeWorldLink link;
    host.UseWorld(&link);
    host.KeepSettings(SettingsForRun(file, run, false), path);
    EXPECT_STREQ(host.CurrentSettings().worldServer, "http://127.0.0.1:9");
    // The link follows the settings in force: the run's server, sending off.
    EXPECT_EQ((std::tuple{link.server, link.sending, host.World()}),
              (std::tuple{std::string("http://127.0.0.1:9"), false, static_cast<WorldLink*>(&link)}));
    Settings next = host.CurrentSettings();
    next.worldSend = true;
    next.worldAsked = true;
    char reason[128] = {};
    ASSERT_TRUE(host.ChangeSettings(next, reason, sizeof reason)) << reason;
    EXPECT_TRUE(link.sending);
    EXPECT_EQ(ReadText(path), "[world]\nserver = \"https://file.example.org\"\nsend = yes\nasked = yes\n");
}

// The options screen binds a key by pressing it, and saves what changed.
TEST_F(SettingsFolder, AKeyIsRefusedWithItsReasonAndOnlyChangedSettingsAreSaved) {
    std::string why;
    EXPECT_FALSE(PlayKeyAllowed(kDefaultPlayKeys, 0, kKeyLeft, DikFromKeyName("Space"), &why));
    EXPECT_EQ(why, "\"Space\" cannot steer: the game keeps it for starting each life");
    EXPECT_FALSE(PlayKeyAllowed(kDefaultPlayKeys, 0, kKeyLeft, kDefaultPlayKeys.code[1][kKeyBrake], &why));
    EXPECT_EQ(why.substr(why.find(" is ")), " is player 2's brake");
    EXPECT_TRUE(PlayKeyAllowed(kDefaultPlayKeys, 0, kKeyLeft, kDefaultPlayKeys.code[0][kKeyLeft], &why));
    EXPECT_TRUE(PlayKeyAllowed(kDefaultPlayKeys, 1, kKeyJump, DikFromKeyName("Keypad 5"), &why));

    const std::string path = folder_ + "/settings.ini";
    const std::string mine = "; mine\n[sound]\nvolume=90 \n[display]\nwindow = auto\n";
    WriteText(path, mine);
    Settings before;
    before.fullscreen = 0;  // --windowed and --mute: they stay out of the file
    before.mute = true;
    Settings after = before;
    std::string error;
    ASSERT_TRUE(SaveSettingChanges(path.c_str(), before, after, &error)) << error;
    EXPECT_EQ(ReadText(path), mine);
    after.volume = 35;
    after.window = {800, 600};
    after.keys.code[1][kKeyJump] = DikFromKeyName("Keypad 5");
    ASSERT_TRUE(SaveSettingChanges(path.c_str(), before, after, &error)) << error;
    EXPECT_EQ(ReadText(path),
              "; mine\n[sound]\nvolume=35 \n[display]\nwindow = 800x600\n\n[player2]\njump = Keypad 5\n");
    // A new file: the defaults and the changes, nothing chosen for this run alone.
    std::filesystem::remove(path);
    ASSERT_TRUE(SaveSettingChanges(path.c_str(), before, after, &error)) << error;
    Settings written;
    ASSERT_TRUE(LoadSettings(path.c_str(), &written, nullptr));
    EXPECT_EQ((std::tuple{written.fullscreen, written.mute, written.volume, written.window.width}),
              (std::tuple{-1, false, 35, 800}));
    EXPECT_EQ(written.keys.code[1][kKeyJump], DikFromKeyName("Keypad 5"));
}

TEST_F(SettingsFolder, TheWarningNamesTenProblemsEachWithItsFileAndCountsTheRest) {
    std::string text = "[sound]\n";
    for (int i = 1; i <= 12; ++i) text += "volume = x" + std::to_string(i) + "\n";
    const std::string path = folder_ + "/settings.ini";
    WriteText(path, text);
    Settings settings;
    std::vector<std::string> problems;
    EXPECT_FALSE(LoadSettings(path.c_str(), &settings, &problems));
    ASSERT_EQ(problems.size(), 11u) << testing::PrintToString(problems);
    EXPECT_EQ(problems[0], path + ": line 2: volume must be 0 to 100, not \"x1\"");
    EXPECT_EQ(problems[9], path + ": line 11: volume must be 0 to 100, not \"x10\"");
    EXPECT_EQ(problems[10], "... and 2 more problems");
}

// Alt+Enter sets fullscreen = yes in each file: only that line may change.
TEST_F(SettingsFolder, AChangeRewritesOnlyItsOwnLineAndEveryOtherByteStays) {
    struct Case {
        std::string before, after;
    };
    const Case cases[] = {
        // The player's comments, unknown sections and keys, refused values.
        {"# mine\n[display]\n; how I like it\nfullscreen = no\nscale = huge\nwidth = 3\n\n[extra]\nthing = 1\n",
         "# mine\n[display]\n; how I like it\nfullscreen = yes\nscale = huge\nwidth = 3\n\n[extra]\nthing = 1\n"},
        // A clash in [player1] (the usual keys are played) with other remaps.
        {"[player1]\nleft = J\nright = J\nwarp = Tab\n[player2]\nleft = K\n[display]\nfullscreen = no\n",
         "[player1]\nleft = J\nright = J\nwarp = Tab\n[player2]\nleft = K\n[display]\nfullscreen = yes\n"},
        // Windows line ends, also on a line that is added.
        {"[display]\r\nfullscreen = no\r\n[sound]\r\nvolume = 7\r\n",
         "[display]\r\nfullscreen = yes\r\n[sound]\r\nvolume = 7\r\n"},
        {"[display]\r\nscale = fit\r\n", "[display]\r\nscale = fit\r\nfullscreen = yes\r\n"},
        // No line end at the end: one comes only with an added line.
        {"[display]\nfullscreen = no", "[display]\nfullscreen = yes"},
        {"[display]\nscale = fit", "[display]\nscale = fit\nfullscreen = yes\n"},
        {"[display]", "[display]\nfullscreen = yes\n"},
        // A byte-order mark stays.
        {"\xEF\xBB\xBF[display]\nfullscreen = no\n", "\xEF\xBB\xBF[display]\nfullscreen = yes\n"},
        // The key twice, or its section twice: the last line, which the reader takes.
        {"[display]\nfullscreen = no\nfullscreen = maybe\n", "[display]\nfullscreen = no\nfullscreen = yes\n"},
        {"[display]\nfullscreen = no\n[sound]\n[Display]\nFullScreen=no\n",
         "[display]\nfullscreen = no\n[sound]\n[Display]\nFullScreen=yes\n"},
        // No [display]: one at the end, after a blank line.
        {"# mine\n[sound]\nvolume = 7", "# mine\n[sound]\nvolume = 7\n\n[display]\nfullscreen = yes\n"},
        {"[sound]\nvolume = 7\n\n", "[sound]\nvolume = 7\n\n[display]\nfullscreen = yes\n"},
        {"", "[display]\nfullscreen = yes\n"},
        {"[display\nfullscreen = no\n", "[display\nfullscreen = no\n\n[display]\nfullscreen = yes\n"},
        {"fullscreen = no\n[display]\n", "fullscreen = no\n[display]\nfullscreen = yes\n"},
        // No fullscreen: under the section's last setting, before the comment that leads the next.
        {"[display]\nscale = fit\n\n# sound\n[sound]\n",
         "[display]\nscale = fit\nfullscreen = yes\n\n# sound\n[sound]\n"},
        // The player's spelling, indentation and spacing.
        {"[display]\n  FullScreen\t=no  \t\n", "[display]\n  FullScreen\t=yes  \t\n"},
        {"[display]\nfullscreen =\n", "[display]\nfullscreen = yes\n"},
    };
    const std::string path = folder_ + "/settings.ini";
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.before));
        WriteText(path, c.before);
        std::string error;
        EXPECT_TRUE(SaveSettingChanges(path.c_str(), Settings{}, FullScreen(1), &error)) << error;
        const std::string after = ReadText(path);
        EXPECT_EQ(after, c.after);
        Settings read;
        ParseSettings(after.data(), after.size(), &read, nullptr);
        EXPECT_EQ(read.fullscreen, 1);  // the line changed is the one that counts
    }
}

// (A folder, a pipe or a link in the file's place: the fault table of every writer.)
TEST_F(SettingsFolder, AFileThatCannotBeReadIsNeitherUsedNorWrittenOver) {
    const std::string path = folder_ + "/settings.ini";
    // Just over the limit: a line ahead of any comment, so a rewrite would show.
    const std::string big = "[display]\nfullscreen = no\n" + std::string(64 * 1024 - 26 + 1, '#');
    struct Case {
        const char* reason;
        std::function<void()> make;
    };
    const Case cases[] = {
        {"too large to be a settings file", [&] { WriteText(path, big); }},
        {"Too many levels of symbolic links", [&] { std::filesystem::create_symlink("settings.ini", path); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        std::filesystem::remove_all(path);
        c.make();
        struct stat before = {};
        ASSERT_EQ(lstat(path.c_str(), &before), 0);
        Settings settings;
        std::vector<std::string> problems;
        EXPECT_FALSE(LoadSettings(path.c_str(), &settings, &problems));
        const std::string problem = testing::PrintToString(problems);
        EXPECT_EQ(problems.size(), 1u) << problem;
        EXPECT_NE(problem.find(path), std::string::npos) << problem;
        EXPECT_NE(problem.find(c.reason), std::string::npos) << problem;
        EXPECT_EQ(settings.fullscreen, -1);

        std::string error;
        EXPECT_FALSE(SaveSettingChanges(path.c_str(), Settings{}, FullScreen(1), &error));
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        struct stat after = {};
        ASSERT_EQ(lstat(path.c_str(), &after), 0);
        EXPECT_EQ((std::tuple{after.st_ino, after.st_mode, after.st_size}),
                  (std::tuple{before.st_ino, before.st_mode, before.st_size}));
    }
}

TEST(Settings, TheCommandLineWinsOverTheEnvironmentWhichWinsOverTheFile) {
    Settings file;
    file.fullscreen = 1;
    file.scale = ScaleMode::Integer;
    file.volume = 30;
    file.inputDelay = 3;
    RunChoices none, line;
    line.fullscreen = 1;
    line.scale = ScaleMode::Fit;
    line.mute = true;
    line.inputDelay = 0;
    auto chosen = [&](const RunChoices& given, bool windowedByEnvironment) {
        const Settings c = SettingsForRun(file, given, windowedByEnvironment);
        return std::tuple{c.fullscreen, c.scale, c.mute, c.volume, c.inputDelay};
    };
    EXPECT_EQ(chosen(none, false), (std::tuple{1, ScaleMode::Integer, false, 30, 3}));
    EXPECT_EQ(chosen(none, true), (std::tuple{0, ScaleMode::Integer, false, 30, 3}));
    EXPECT_EQ(chosen(line, true), (std::tuple{1, ScaleMode::Fit, true, 30, 0}));
    line.fullscreen = 0;
    EXPECT_EQ(std::get<0>(chosen(line, false)), 0);  // --windowed over the file's full screen
    file.fullscreen = -1;
    EXPECT_EQ(std::get<0>(chosen(none, false)), -1);  // nobody chose: the host's full screen
    file.mute = true;
    EXPECT_TRUE(std::get<2>(chosen(none, false)));  // the file's mute holds without --mute
    // --world-server wins over the file's server; without it the file's holds.
    std::strcpy(file.worldServer, "https://file.example.org");
    std::strcpy(line.worldServer, "http://127.0.0.1:9");
    EXPECT_STREQ(SettingsForRun(file, none, false).worldServer, "https://file.example.org");
    EXPECT_STREQ(SettingsForRun(file, line, false).worldServer, "http://127.0.0.1:9");
}

// The one rule of the game's switches in the environment, VOIDCRAWL_WINDOWED's among them.
TEST(Settings, AnEnvironmentSwitchIsOnForAnyValueButEmptyOrZero) {
    const struct {
        const char* value;  // null: unset
        bool on;
    } cases[] = {{nullptr, false}, {"", false}, {"0", false}, {"1", true}, {"no", true}, {"00", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value != nullptr ? c.value : "(unset)");
        const EnvScope scope(kWindowedVariable, c.value);
        EXPECT_EQ(EnvironmentFlag(kWindowedVariable), c.on);
    }
}

// The editor keeps the player's file as written: whatever it does not
// change, in its order, whether the reader could use it or not.
TEST(IniText, AnEditKeepsUnknownLinesCommentsAndOrderAndTouchesOnlyItsValue) {
    const std::string mine =
        "; written by hand\n"
        "[sound]\n"
        "volume = loud   # not a number: reported, and left as it is\n"
        "[mine]\n"
        "colour = blue\n"
        "not an entry\n"
        "[sound\n"
        "mute = no\n"
        "[sound]\n"
        "\tmute=no\n"
        "# the end\n";
    Settings settings;
    std::vector<std::string> problems;
    EXPECT_FALSE(ParseSettings(mine.data(), mine.size(), &settings, &problems));
    ASSERT_EQ(problems.size(), 4u) << testing::PrintToString(problems);
    EXPECT_EQ(problems[0].rfind("line 3: volume must be 0 to 100, not \"loud   # not a number", 0), 0u) << problems[0];
    EXPECT_EQ(settings.volume, 100);

    // Each edit changes one value, or adds one line; the refused line stays.
    std::string text = SetSettingInText(mine, "sound", "mute", "yes");
    std::string expected = mine;
    expected.replace(expected.find("\tmute=no") + 6, 2, "yes");
    EXPECT_EQ(text, expected);
    text = SetSettingInText(text, "SOUND", "hum", "no");
    expected.insert(expected.find("# the end"), "hum = no\n");
    EXPECT_EQ(text, expected);
    text = SetSettingInText(text, "mine", "size", "2");
    expected.insert(expected.find("not an entry\n") + 13, "size = 2\n");
    EXPECT_EQ(text, expected);
    EXPECT_NE(text.find("volume = loud   # not a number"), std::string::npos);

    // The reader takes the edited file as the editor meant it.
    Settings read;
    ParseSettings(text.data(), text.size(), &read, nullptr);
    EXPECT_EQ((std::tuple{read.mute, read.hum, read.volume}), (std::tuple{true, false, 100}));
}

// How the reader and the editor see each kind of line.
TEST(IniText, EachLineIsASectionAnEntryNothingOrAFaultOfItsOwnKind) {
    const struct {
        std::string line;
        IniLineKind kind;
        std::string name, value;
    } cases[] = {
        {"", IniLineKind::Nothing, "", ""},
        {" \t\r", IniLineKind::Nothing, "", ""},
        {"  # a = b", IniLineKind::Nothing, "", ""},
        {";[x]", IniLineKind::Nothing, "", ""},
        {" [ Sound ] \r", IniLineKind::Section, "Sound", ""},
        {"[]", IniLineKind::Section, "", ""},
        {"[sound", IniLineKind::UnclosedSection, "", ""},
        {"\tkey\t=\t a b \r", IniLineKind::Entry, "key", "a b"},
        {"key=", IniLineKind::Entry, "key", ""},
        {"= value", IniLineKind::Entry, "", "value"},
        {"a = b = c", IniLineKind::Entry, "a", "b = c"},
        {"just words", IniLineKind::NoEquals, "", ""},
        {std::string("a = \0b", 6), IniLineKind::NotText, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.line));
        const std::string text = c.line + "\nnext\n";
        const IniLine line = ReadIniLine(text.data(), text.size(), 0);
        EXPECT_EQ(line.kind, c.kind);
        EXPECT_EQ((std::tuple{line.end, line.next}), (std::tuple{c.line.size(), c.line.size() + 1}));
        if (c.kind == IniLineKind::Section || c.kind == IniLineKind::Entry) {
            EXPECT_EQ(text.substr(line.nameBegin, line.nameEnd - line.nameBegin), c.name);
        }
        if (c.kind == IniLineKind::Entry) {
            EXPECT_EQ(text.substr(line.valueBegin, line.valueEnd - line.valueBegin), c.value);
        }
    }
    // The last line without its line end, and the byte-order mark.
    const std::string last = "\xEF\xBB\xBF[a]\nk = v";
    EXPECT_EQ(IniFirstLine(last.data(), last.size()), 3u);
    EXPECT_EQ(IniFirstLine(last.data(), 2), 0u);
    const IniLine line = ReadIniLine(last.data(), last.size(), 7);
    EXPECT_EQ((std::tuple{line.kind, line.end, line.next}), (std::tuple{IniLineKind::Entry, last.size(), last.size()}));
}

}  // namespace

// Every setting is documented where players look: the README's sample file
// is the file the game writes, comment for comment, so a setting added to
// the table and not to the README fails here.
TEST(Settings, TheReadmeShowsEverySettingAsTheGameWritesIt) {
    const std::string readme = ReadText(std::string(VC_SOURCE_DIR) + "/README.md");
    const size_t settings = readme.find("\n## Settings\n");
    ASSERT_NE(settings, std::string::npos);
    const size_t begin = readme.find("```ini\n", settings);
    ASSERT_NE(begin, std::string::npos);
    const size_t end = readme.find("```\n", begin + 7);
    ASSERT_NE(end, std::string::npos);
    const std::string sample = readme.substr(begin + 7, end - begin - 7);
    Settings defaults;
    defaults.fullscreen = 1;
    std::string written = FormatSettings(defaults);
    written = written.substr(written.find("\n[") + 1);  // past the file's own heading
    EXPECT_EQ(sample, written);
    for (int i = 0; i < kSettingCount; ++i)
        EXPECT_NE(SettingsHelp().find(std::string(" ") + kSettingTable[i].name + " "), std::string::npos)
            << kSettingTable[i].name << " is missing from --help";
}

// The header's sample of the file is held to the table the same way: the
// file a new game writes, each line behind "//   " (a blank one "//").
TEST(Settings, TheHeaderShowsEverySettingAsTheGameWritesIt) {
    const std::string header = ReadText(std::string(VC_SOURCE_DIR) + "/src/platform/Settings.h");
    size_t at = header.find("\n//   [");
    ASSERT_NE(at, std::string::npos);
    // The sample's lines, up to the first comment line of prose.
    std::string sample;
    for (++at; at < header.size();) {
        const size_t next = header.find('\n', at);
        if (next == std::string::npos) break;
        const std::string line = header.substr(at, next - at);
        if (line == "//") {
            sample += "\n";
        } else if (line.rfind("//   ", 0) == 0) {
            sample += line.substr(5) + "\n";
        } else {
            break;
        }
        at = next + 1;
    }
    while (sample.size() >= 2 && sample.compare(sample.size() - 2, 2, "\n\n") == 0) sample.pop_back();
    Settings defaults;
    defaults.fullscreen = 1;
    std::string written = FormatSettings(defaults);
    written = written.substr(written.find("\n[") + 1);  // past the file's own heading
    EXPECT_EQ(sample, written) << "copy the file a new game writes into the comment of src/platform/Settings.h";
}
