// The two-players screen on the whole game: clicks and keys through to what
// online play is asked for, the refusals said on the screen, and the port,
// address and delay kept in the settings file.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "support/GameHarness.h"
#include "support/MemoryNetLink.h"

namespace {

using S = TwoPlayersScreen;

// The scan code that types each character of an address.
uint8_t KeyFor(char c) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz";
    static const uint8_t kLetterCodes[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                             0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                             0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
    if (c >= '1' && c <= '9') return static_cast<uint8_t>(0x02 + c - '1');
    if (c == '0') return 0x0B;
    if (c == '.') return 0x34;
    if (c == ':') return 0x27;
    if (c == '-') return 0x0C;
    const char* at = std::strchr(kLetters, c);
    return at != nullptr ? kLetterCodes[at - kLetters] : 0;
}

class TwoPlayersScreenTest : public testing::Test {
protected:
    void SetUp() override {
        path_ = std::filesystem::absolute("settings.ini").string();
        h.host.KeepSettings(Settings{}, path_);
        h.game->online.link = &link_;
        ASSERT_TRUE(h.Start());
        h.Passes(140);  // the menu's items have slid in
    }
    void TwoPlayers() { h.Click(312, 215); }
    void Click(int32_t entry) {
        const ScreenBox& b = S::EntryBox(entry);
        h.Click(b.x + b.w / 2, b.y + b.h / 2);
    }
    void Type(const char* text) {
        for (const char* c = text; *c != '\0'; ++c) h.Tap(KeyFor(*c));
    }
    Settings Saved() {
        Settings saved;
        LoadSettings(path_.c_str(), &saved, nullptr);
        return saved;
    }

    GameHarness h;
    MemoryWire wire_{0, 0, 0, 1};
    MemoryNetLink link_{&wire_, &wire_};
    std::string path_;
};

// Each way through the screen, by pointer or keys, and where it ends: the
// state, what online play was asked (role, port, address, delay), what the
// screen says, and what the settings file keeps.
TEST_F(TwoPlayersScreenTest, EachChoiceAsksOnlinePlayAsTheCommandLineWouldOrSaysWhyNot) {
    using Role = OnlinePlay::Role;
    struct Step {
        enum Kind { Click, Key, Type } kind;
        int32_t what;
        const char* text;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        GameState state;
        Role role;
        int port;
        const char* address;
        int delay;
        const char* notice;  // how it starts
        int savedPort, savedDelay;
        const char* savedAddress;
    };
    const Step kToJoinRow[] = {{Step::Key, DIK_DOWN, ""}, {Step::Key, DIK_DOWN, ""}};
    const Case cases[] = {
        {"this keyboard",
         {{Step::Click, S::kKeyboardEntry, ""}},
         GameState::PlayerSetup,
         Role::None,
         7311,
         "",
         2,
         "",
         7311,
         2,
         ""},
        {"host on a stepped port, the delay bounded",
         {{Step::Click, S::kPortUp, ""},
          {Step::Click, S::kDelayUp, ""},
          {Step::Click, S::kDelayUp, ""},
          {Step::Click, S::kDelayUp, ""},
          {Step::Click, S::kHostEntry, ""}},
         GameState::PlayerSetup,
         Role::Host,
         7312,
         "",
         4,
         "",
         7312,
         4,
         ""},
        {"host on a typed port by keys",
         {{Step::Key, DIK_DOWN, ""},
          {Step::Key, DIK_BACK, ""},
          {Step::Key, DIK_BACK, ""},
          {Step::Key, DIK_BACK, ""},
          {Step::Key, DIK_BACK, ""},
          {Step::Type, 0, "8000x"},  // a letter is no digit
          {Step::Key, DIK_LEFT, ""},
          {Step::Key, DIK_RETURN, ""}},
         GameState::PlayerSetup,
         Role::Host,
         7999,
         "",
         2,
         "",
         7999,
         2,
         ""},
        {"join a typed address",
         {{Step::Click, S::kAddressField, ""},
          {Step::Type, 0, "10.0.0.2:7400"},
          {Step::Click, S::kDelayDown, ""},
          {Step::Click, S::kJoinEntry, ""}},
         GameState::PlayerSetup,
         Role::Join,
         7311,
         "10.0.0.2:7400",
         1,
         "",
         7311,
         1,
         "10.0.0.2:7400"},
        {"join by keys, a typo cut back",
         {kToJoinRow[0],
          kToJoinRow[1],
          {Step::Type, 0, "host-a.lanx"},
          {Step::Key, DIK_BACK, ""},
          {Step::Key, DIK_RETURN, ""}},
         GameState::PlayerSetup,
         Role::Join,
         7311,
         "host-a.lan",
         2,
         "",
         7311,
         2,
         "host-a.lan"},
        {"a port out of range",
         {{Step::Click, S::kAddressField, ""}, {Step::Type, 0, "a:99999"}, {Step::Click, S::kJoinEntry, ""}},
         GameState::TwoPlayers,
         Role::None,
         7311,
         "a:99999",
         2,
         "Cannot join: the port is above 65535",
         7311,
         2,
         ""},
        {"no address",
         {{Step::Click, S::kJoinEntry, ""}},
         GameState::TwoPlayers,
         Role::None,
         7311,
         "",
         2,
         "Cannot join: no address given",
         7311,
         2,
         ""},
        {"no port",
         {{Step::Click, S::kPortField, ""},
          {Step::Key, DIK_BACK, ""},
          {Step::Key, DIK_BACK, ""},
          {Step::Key, DIK_BACK, ""},
          {Step::Key, DIK_BACK, ""},
          {Step::Key, DIK_BACK, ""},
          {Step::Click, S::kHostEntry, ""}},
         GameState::TwoPlayers,
         Role::None,
         7311,
         "",
         2,
         "Cannot host: the port must be 1 to 65535",
         7311,
         2,
         ""},
        {"Esc", {{Step::Key, DIK_ESCAPE, ""}}, GameState::MainMenu, Role::None, 7311, "", 2, "", 7311, 2, ""},
        {"BACK", {{Step::Click, S::kBackEntry, ""}}, GameState::MainMenu, Role::None, 7311, "", 2, "", 7311, 2, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(path_);
        h.host.KeepSettings(Settings{}, path_);
        TwoPlayers();
        ASSERT_EQ(h.game->state, GameState::TwoPlayers);
        for (const Step& step : c.steps) {
            if (step.kind == Step::Click) Click(step.what);
            if (step.kind == Step::Key) h.Tap(static_cast<uint8_t>(step.what));
            if (step.kind == Step::Type) Type(step.text);
        }
        const OnlinePlay& online = h.game->online;
        const S& screen = h.game->twoPlayersScreen;
        EXPECT_EQ(h.game->state, c.state);
        EXPECT_EQ(online.role, c.role);
        if (c.role != Role::None) {
            EXPECT_EQ((std::tuple{static_cast<int>(online.port), std::string(online.address), online.inputDelay}),
                      (std::tuple{c.port, std::string(c.address), c.delay}));
            EXPECT_EQ(online.link, &link_);
        }
        EXPECT_EQ((std::tuple{static_cast<int>(screen.port), std::string(screen.address), screen.delay}),
                  (std::tuple{c.port, std::string(c.address), c.delay}));
        EXPECT_EQ(std::string(screen.notice).rfind(c.notice, 0), 0u) << screen.notice;
        const Settings saved = Saved();
        EXPECT_EQ((std::tuple{saved.onlinePort, saved.inputDelay, std::string(saved.onlineAddress)}),
                  (std::tuple{c.savedPort, c.savedDelay, std::string(c.savedAddress)}));
        // Back to the menu for the next case, online play forgotten there.
        if (h.game->state != GameState::MainMenu) h.Tap(DIK_ESCAPE);
        ASSERT_EQ(h.game->state, GameState::MainMenu);
        EXPECT_EQ(online.role, Role::None);
    }
}

// The screen only where the command line has not chosen and there is a
// link (the browser has none): otherwise TWO PLAYERS goes to the set-up.
TEST_F(TwoPlayersScreenTest, TheCommandLineOrNoLinkGoesStraightToTheSetUp) {
    h.game->online.Ask(OnlinePlay::Role::Join, 7311, "example.org", 3, &link_);
    TwoPlayers();
    EXPECT_EQ(h.game->state, GameState::PlayerSetup);
    h.Tap(DIK_ESCAPE);
    EXPECT_EQ(h.game->online.role, OnlinePlay::Role::Join);  // kept for the next game
    h.game->online.role = OnlinePlay::Role::None;
    h.game->online.link = nullptr;
    TwoPlayers();
    EXPECT_EQ((std::tuple{h.game->state, h.game->players}), (std::tuple{GameState::PlayerSetup, 2}));
}

// A save the file refuses is said, and the game goes on at the next choice.
TEST_F(TwoPlayersScreenTest, ASettingsFileThatCannotBeWrittenIsSaidAndTheChoiceGoesOnAtTheSecondClick) {
    std::filesystem::create_directory(path_);  // a folder where the file should be
    TwoPlayers();
    Click(S::kPortUp);
    Click(S::kHostEntry);
    EXPECT_EQ(h.game->state, GameState::TwoPlayers);
    EXPECT_EQ(std::string(h.game->twoPlayersScreen.notice).rfind("Settings NOT saved: ", 0), 0u)
        << h.game->twoPlayersScreen.notice;
    Click(S::kHostEntry);
    EXPECT_EQ((std::tuple{h.game->state, h.game->online.role}),
              (std::tuple{GameState::PlayerSetup, OnlinePlay::Role::Host}));
}

}  // namespace
