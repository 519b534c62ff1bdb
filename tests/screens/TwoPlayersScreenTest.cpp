// The two-players screen on the whole game: clicks and keys through to what
// online play is asked for, the refusals said on the screen, and the port,
// address and delay kept in the settings file.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <utility>

#include "app/CommandLine.h"
#include "support/FakeWorldLink.h"
#include "support/GameHarness.h"
#include "support/MemoryNetLink.h"

#include <netdb.h>

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
    if (c == '[') return 0x1A;
    if (c == ']') return 0x1B;
    const char* at = std::strchr(kLetters, c);
    return at != nullptr ? kLetterCodes[at - kLetters] : 0;
}

// A link that reaches a room server alone, as the browser's does.
class RoomsOnlyLink final : public MemoryNetLink {
public:
    using MemoryNetLink::MemoryNetLink;
    bool RoomsOnly() const override { return true; }
};

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
    // Passes until the address JOIN looks up has answered (at most 10 s).
    void AwaitLookup() {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (h.game->twoPlayersScreen.lookup.GetState() == NetResolver::State::Running &&
               std::chrono::steady_clock::now() < until)
            h.Pass();
        h.Pass();
    }
    // A script's words click an entry (lower case), tap a key (upper case)
    // or type what is in quotes; then the lookup it began is awaited. False
    // (and a failure) for a word it does not know.
    bool Play(const char* script) {
        static const std::pair<const char*, int32_t> kEntries[] = {
            {"keyboard", S::kKeyboardEntry},  {"host", S::kHostEntry},         {"port-", S::kPortDown},
            {"port", S::kPortField},          {"port+", S::kPortUp},           {"join", S::kJoinEntry},
            {"address", S::kAddressField},    {"delay-", S::kDelayDown},       {"delay+", S::kDelayUp},
            {"back", S::kBackEntry},          {"create", S::kCreateRoomEntry}, {"quick", S::kQuickMatchEntry},
            {"joinroom", S::kJoinRoomEntry},  {"code", S::kCodeField},         {"watch", S::kWatchEntry},
            {"watchcode", S::kWatchCodeField}};
        static const std::pair<const char*, uint8_t> kKeys[] = {
            {"DOWN", DIK_DOWN}, {"LEFT", DIK_LEFT}, {"ENTER", DIK_RETURN}, {"BS", DIK_BACK}, {"ESC", DIK_ESCAPE}};
        std::istringstream words(script);
        for (std::string word; words >> word;) {
            bool known = word[0] == '\'';
            if (known) Type(word.substr(1, word.size() - 2).c_str());
            for (const auto& [name, entry] : kEntries)
                if (word == name) Click(entry), known = true;
            for (const auto& [name, code] : kKeys)
                if (word == name) h.Tap(code), known = true;
            if (!known) {
                ADD_FAILURE() << "no such word: " << word;
                return false;
            }
        }
        AwaitLookup();
        return true;
    }
    Settings Saved() {
        Settings saved;
        LoadSettings(path_.c_str(), &saved, nullptr);
        return saved;
    }

    // The links first: the game, which holds one, is shut down before they go.
    MemoryWire wire_{0, 0, 0, 1};
    MemoryNetLink link_{&wire_, &wire_};
    RoomsOnlyLink roomsOnly_{&wire_, &wire_};
    GameHarness h;
    std::string path_;
};

// Each way through the screen, by pointer or keys, and where it ends: the
// state, what online play was asked (role, port, address, delay) and what
// the screen says; the settings file keeps the delay at once and the port
// or address of a game hosted or joined. A script's words click an entry
// (lower case), tap a key (upper case) or type what is in quotes.
TEST_F(TwoPlayersScreenTest, EachChoiceAsksOnlinePlayAsTheCommandLineWouldOrSaysWhyNot) {
    using Role = OnlinePlay::Role;
    const struct {
        const char* script;
        GameState state;
        Role role;
        int port;
        const char* address;
        int delay;
        const char* notice;  // how it starts
        const char* joined;  // the address online play joins, looked up ("" the one typed)
    } cases[] = {
        {"keyboard", GameState::PlayerSetup, Role::None, 7311, "", 2, "", ""},
        {"port+ delay+ delay+ delay+ host", GameState::PlayerSetup, Role::Host, 7312, "", 4, "", ""},
        // Four Backspaces empty the port; a letter is no digit.
        {"DOWN DOWN DOWN DOWN DOWN BS BS BS BS '8000x' LEFT ENTER", GameState::PlayerSetup, Role::Host, 7999, "", 2, "",
         ""},
        {"address '10.0.0.2:7400' delay- join", GameState::PlayerSetup, Role::Join, 7311, "10.0.0.2:7400", 1, "", ""},
        {"address '[::1]:7400' join", GameState::PlayerSetup, Role::Join, 7311, "[::1]:7400", 2, "", ""},
        {"DOWN DOWN DOWN DOWN DOWN DOWN 'localhostx' BS ENTER", GameState::PlayerSetup, Role::Join, 7311, "localhost",
         2, "", "127.0.0.1:7311"},
        {"address 'a:99999' join", GameState::TwoPlayers, Role::None, 7311, "a:99999", 2,
         "Cannot join: the port is above 65535", ""},
        {"address '[::1' join", GameState::TwoPlayers, Role::None, 7311, "[::1", 2,
         "Cannot join: the IPv6 address has no ']'", ""},
        // A name no host has is said here, after the lookup, and the screen stays.
        {"DOWN DOWN DOWN DOWN DOWN DOWN 'nohost.invalid' ENTER", GameState::TwoPlayers, Role::None, 7311,
         "nohost.invalid", 2, "Cannot join: no host called nohost.invalid", ""},
        {"join", GameState::TwoPlayers, Role::None, 7311, "", 2, "Cannot join: no address given", ""},
        {"port BS BS BS BS BS host", GameState::TwoPlayers, Role::None, 7311, "", 2,
         "Cannot host: the port must be 1 to 65535", ""},
        {"ESC", GameState::MainMenu, Role::None, 7311, "", 2, "", ""},
        {"back", GameState::MainMenu, Role::None, 7311, "", 2, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        std::filesystem::remove(path_);
        h.host.KeepSettings(Settings{}, path_);
        TwoPlayers();
        ASSERT_EQ(h.game->state, GameState::TwoPlayers);
        ASSERT_TRUE(Play(c.script));
        const OnlinePlay& online = h.game->online;
        const S& screen = h.game->twoPlayersScreen;
        EXPECT_EQ((std::tuple{h.game->state, online.role}), (std::tuple{c.state, c.role}));
        if (c.role != Role::None) {
            std::string joined = c.joined[0] != '\0' ? c.joined : c.address;
            if (std::string(online.address) == "[::1]:7311" && joined == "127.0.0.1:7311") joined = online.address;
            EXPECT_EQ((std::tuple{static_cast<int>(online.port), std::string(online.address), online.inputDelay}),
                      (std::tuple{c.port, joined, c.delay}));
            EXPECT_EQ(online.link, &link_);
        }
        EXPECT_EQ((std::tuple{static_cast<int>(screen.port), std::string(screen.address), screen.delay}),
                  (std::tuple{c.port, std::string(c.address), c.delay}));
        EXPECT_EQ(std::string(screen.notice).rfind(c.notice, 0), 0u) << screen.notice;
        const Settings saved = Saved();
        EXPECT_EQ((std::tuple{saved.onlinePort, saved.inputDelay, std::string(saved.onlineAddress)}),
                  (std::tuple{c.role == Role::Host ? c.port : 7311, c.delay,
                              std::string(c.role == Role::Join ? c.address : "")}));
        // Back to the menu for the next case, online play forgotten there.
        if (h.game->state != GameState::MainMenu) h.Tap(DIK_ESCAPE);
        ASSERT_EQ(h.game->state, GameState::MainMenu);
        EXPECT_EQ(online.role, Role::None);
    }
}

// The rooms: each needs the world server (looked up first) and JOIN A ROOM
// a whole code, typed in either case, letters outside the code's alphabet
// refused as they are typed; what online play is asked for names the
// server's numeric address and port, the mode and the code.
TEST_F(TwoPlayersScreenTest, EachRoomChoiceAsksForTheWorldServersRoomOrSaysWhyNot) {
    const struct {
        const char* server;  // [world] server
        const char* script;
        GameState state;
        NetRoomMode mode;
        const char* code;    // the code typed, as the screen keeps it
        const char* notice;  // how it starts
    } cases[] = {
        {"", "create", GameState::TwoPlayers, NetRoomMode::Create, "",
         "Cannot create a room: no world server is set (OPTIONS, ONLINE)"},
        {"", "quick", GameState::TwoPlayers, NetRoomMode::Quick, "",
         "Cannot quick match: no world server is set (OPTIONS, ONLINE)"},
        {"http://127.0.0.1:8090", "create", GameState::PlayerSetup, NetRoomMode::Create, "", ""},
        {"http://127.0.0.1:8090", "quick", GameState::PlayerSetup, NetRoomMode::Quick, "", ""},
        // B, O and S are in no code; a sixth letter does not fit.
        {"http://127.0.0.1:8090", "code 'kbmonpsqrt' joinroom", GameState::PlayerSetup, NetRoomMode::Join, "KMNPQ", ""},
        {"http://127.0.0.1:8090", "DOWN DOWN DOWN 'acdex' BS 'f' ENTER", GameState::PlayerSetup, NetRoomMode::Join,
         "ACDEF", ""},
        {"http://127.0.0.1:8090", "code 'acd' joinroom", GameState::TwoPlayers, NetRoomMode::Join, "ACD",
         "Cannot join: a room's code is 5 letters"},
        {"", "code 'acdef' joinroom", GameState::TwoPlayers, NetRoomMode::Join, "ACDEF",
         "Cannot join a room: no world server is set (OPTIONS, ONLINE)"},
        {"http://nohost.invalid", "create", GameState::TwoPlayers, NetRoomMode::Create, "",
         "Cannot reach the world server: no host called nohost.invalid"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.server) + " " + c.script);
        std::filesystem::remove(path_);
        Settings kept;
        std::snprintf(kept.worldServer, sizeof kept.worldServer, "%s", c.server);
        h.host.KeepSettings(kept, path_);
        TwoPlayers();
        ASSERT_EQ(h.game->state, GameState::TwoPlayers);
        ASSERT_TRUE(Play(c.script));
        const OnlinePlay& online = h.game->online;
        const S& screen = h.game->twoPlayersScreen;
        EXPECT_EQ(h.game->state, c.state);
        EXPECT_EQ(std::string(screen.roomCode), c.code);
        EXPECT_EQ(std::string(screen.notice).rfind(c.notice, 0), 0u) << screen.notice;
        if (c.state == GameState::PlayerSetup) {
            EXPECT_EQ(online.role, OnlinePlay::Role::Room);
            EXPECT_EQ((std::tuple{online.room.mode, std::string(online.room.code), std::string(online.room.serverHost),
                                  static_cast<int>(online.room.serverPort), online.link}),
                      (std::tuple{c.mode, std::string(c.mode == NetRoomMode::Join ? c.code : ""),
                                  std::string("127.0.0.1"), 8090, static_cast<NetLink*>(&link_)}));
        } else {
            EXPECT_EQ(online.role, OnlinePlay::Role::None);
        }
        if (h.game->state != GameState::MainMenu) h.Tap(DIK_ESCAPE);
        ASSERT_EQ(h.game->state, GameState::MainMenu);
    }
}

// WATCH A GAME needs the world server and a whole code (its own field, as
// JOIN A ROOM's); the screen stays, saying so, until the game's feed has
// come, then the game is watched; a feed that cannot be had is said here,
// and leaving the screen gives the watching up.
TEST_F(TwoPlayersScreenTest, WatchAGameAsksForTheRoomsFeedAndSaysWhyNot) {
    FakeWorldLink world;
    h.host.UseWorld(&world);
    world.feedFailure = "no game of that code is live";
    const struct {
        const char* server;
        const char* script;
        const char* code;    // the code typed, as the screen keeps it
        const char* notice;  // how it starts, a few passes on
        bool asked;          // the feed of the code was asked for
    } cases[] = {
        {"", "watchcode 'acdef' watch", "ACDEF", "Cannot watch: no world server is set (OPTIONS, ONLINE)", false},
        {"http://127.0.0.1:8090", "watchcode 'acd' watch", "ACD", "Cannot watch: a room's code is 5 letters", false},
        {"http://127.0.0.1:8090", "watchcode 'kbmonpsqrt' watch", "KMNPQ", "CANNOT WATCH: no game of that code is live",
         true},
        {"http://127.0.0.1:8090", "DOWN DOWN DOWN DOWN 'vkkmn' ENTER", "VKKMN",
         "CANNOT WATCH: no game of that code is live", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.server) + " " + c.script);
        Settings kept;
        std::snprintf(kept.worldServer, sizeof kept.worldServer, "%s", c.server);
        h.host.KeepSettings(kept, path_);
        world.askedFeeds.clear();
        TwoPlayers();
        ASSERT_TRUE(Play(c.script));
        h.Passes(3);
        const S& screen = h.game->twoPlayersScreen;
        EXPECT_EQ(h.game->state, GameState::TwoPlayers);
        EXPECT_EQ(std::string(screen.watchCode), c.code);
        EXPECT_EQ(std::string(screen.roomCode), "");  // the other field is its own
        EXPECT_EQ(std::string(screen.notice).rfind(c.notice, 0), 0u) << screen.notice;
        EXPECT_EQ(world.askedFeeds.size(), c.asked ? 1u : 0u);
        if (c.asked && !world.askedFeeds.empty()) {
            EXPECT_EQ(world.askedFeeds[0].first, c.code);
        }
        EXPECT_FALSE(h.game->live.Active());
        h.Tap(DIK_ESCAPE);
        ASSERT_EQ(h.game->state, GameState::MainMenu);
    }

    // A feed that does not come yet: the screen waits, and Esc gives it up.
    world.feedFailure.clear();
    world.waitPolls = 1000000;
    TwoPlayers();
    ASSERT_TRUE(Play("watchcode 'vkkmn' watch"));
    h.Passes(20);
    EXPECT_EQ(h.game->state, GameState::TwoPlayers);
    EXPECT_TRUE(h.game->live.Active());
    EXPECT_EQ(std::string(h.game->twoPlayersScreen.notice), "LOOKING FOR THE GAME OF ROOM VKKMN...");
    h.Tap(DIK_ESCAPE);
    EXPECT_EQ(h.game->state, GameState::MainMenu);
    EXPECT_FALSE(h.game->live.Active());

    // A game that has come: it is watched, LIVE, to its end, then the menu.
    ReplayHeader header = LiveGameHeader(kGameVersion, h.game->playDataHash);
    uint8_t bytes[kReplayHeaderBytes];
    WriteReplayHeader(header, bytes);
    world.feedBytes.assign(reinterpret_cast<const char*>(bytes), sizeof bytes);
    world.feedBytes += static_cast<char>(0x80 + 98);  // 99 passes without a key
    world.feedEnded = true;
    world.waitPolls = 0;
    TwoPlayers();
    ASSERT_TRUE(Play("watchcode 'vkkmn' watch"));
    for (int i = 0; i < 200 && !h.game->watchingLive; ++i) h.Pass();
    ASSERT_TRUE(h.game->watchingLive) << h.game->live.Reason();
    h.Passes(10);
    EXPECT_EQ(h.game->state, GameState::Playing);
    for (int i = 0; i < 2000 && h.game->watchingLive; ++i) h.Pass();
    EXPECT_FALSE(h.game->watchingLive);
    EXPECT_EQ(h.game->recorder.onlineTape.Passes(), 99u);
    h.Passes(60);
    EXPECT_EQ(h.game->state, GameState::MainMenu);
    h.host.UseWorld(nullptr);
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

// A link that reaches a room server alone (the browser's): the rooms are
// chosen without a world server set or looked up (the link knows its
// server), and HOST and JOIN say in words that only the rooms play there.
TEST_F(TwoPlayersScreenTest, ALinkThatReachesRoomsAloneOffersTheRoomsAndSaysWhyNotHostOrJoin) {
    h.game->online.link = &roomsOnly_;
    const struct {
        int32_t entry;
        const char* code;
        GameState state;
        NetRoomMode mode;
    } cases[] = {
        {S::kCreateRoomEntry, "", GameState::PlayerSetup, NetRoomMode::Create},
        {S::kQuickMatchEntry, "", GameState::PlayerSetup, NetRoomMode::Quick},
        {S::kJoinRoomEntry, "kmnpq", GameState::PlayerSetup, NetRoomMode::Join},
        {S::kHostEntry, "", GameState::TwoPlayers, NetRoomMode::Create},
        {S::kJoinEntry, "", GameState::TwoPlayers, NetRoomMode::Create},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        TwoPlayers();  // no world server is set
        ASSERT_EQ(h.game->state, GameState::TwoPlayers);
        EXPECT_TRUE(h.game->twoPlayersScreen.roomsOnly);
        if (c.code[0] != '\0') {
            Click(S::kCodeField);
            Type(c.code);
        }
        Click(c.entry);
        h.Pass();
        const OnlinePlay& online = h.game->online;
        const S& screen = h.game->twoPlayersScreen;
        EXPECT_EQ(h.game->state, c.state);
        EXPECT_EQ(screen.lookup.GetState(), NetResolver::State::Idle);  // nothing looked up
        if (c.state == GameState::PlayerSetup) {
            EXPECT_EQ(
                (std::tuple{online.role, online.room.mode, std::string(online.room.code), online.link}),
                (std::tuple{OnlinePlay::Role::Room, c.mode, std::string(c.mode == NetRoomMode::Join ? "KMNPQ" : ""),
                            static_cast<NetLink*>(&roomsOnly_)}));
            EXPECT_STREQ(screen.notice, "");
        } else {
            EXPECT_EQ(online.role, OnlinePlay::Role::None);
            EXPECT_STREQ(screen.notice,
                         "A browser plays online through rooms only: CREATE, QUICK MATCH or JOIN A ROOM");
        }
        h.game->online.role = OnlinePlay::Role::None;
        if (h.game->state != GameState::MainMenu) h.Tap(DIK_ESCAPE);
        ASSERT_EQ(h.game->state, GameState::MainMenu);
    }
}

// In the browser (a link that reaches its rooms alone) WATCH A GAME needs no
// world server set either: the page's world link knows its own, and the
// feed of the code is asked for at once.
TEST_F(TwoPlayersScreenTest, ALinkThatReachesRoomsAloneWatchesAGameWithoutAWorldServerSet) {
    FakeWorldLink world;
    h.host.UseWorld(&world);
    world.feedFailure = "no game of that code is live";
    h.game->online.link = &roomsOnly_;
    TwoPlayers();  // no world server is set
    ASSERT_TRUE(h.game->twoPlayersScreen.roomsOnly);
    ASSERT_TRUE(Play("watchcode 'kmnpq' watch"));
    h.Passes(3);
    EXPECT_EQ(h.game->state, GameState::TwoPlayers);
    ASSERT_EQ(world.askedFeeds.size(), 1u);
    EXPECT_EQ(world.askedFeeds[0].first, "KMNPQ");
    EXPECT_EQ(std::string(h.game->twoPlayersScreen.notice).rfind("CANNOT WATCH: no game of that code is live", 0), 0u)
        << h.game->twoPlayersScreen.notice;
    h.Tap(DIK_ESCAPE);
    EXPECT_EQ(h.game->state, GameState::MainMenu);
    h.game->online.link = nullptr;
    h.host.UseWorld(nullptr);
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

// The screen goes on while a name is looked up ("LOOKING UP ..."): the
// other rows answer, and leaving gives the lookup up, its answer never
// acted on.
std::atomic<bool> gReleaseLookup{false};
int HeldLookup(const char*, const char*, const addrinfo*, addrinfo**) {
    while (!gReleaseLookup.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return EAI_NONAME;
}

TEST_F(TwoPlayersScreenTest, TheScreenGoesOnWhileANameIsLookedUpAndLeavingGivesTheLookupUp) {
    gReleaseLookup = false;
    NetResolver::SetLookupFunction(HeldLookup);
    TwoPlayers();
    Click(S::kAddressField);
    Type("slow.example.org");
    h.Tap(DIK_RETURN);
    const S& screen = h.game->twoPlayersScreen;
    const auto before = std::chrono::steady_clock::now();
    h.Passes(100);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
    EXPECT_EQ((std::tuple{h.game->state, screen.lookup.GetState()}),
              (std::tuple{GameState::TwoPlayers, NetResolver::State::Running}));
    h.Tap(DIK_BACK);  // the name changes: the lookup of the old one is given up
    EXPECT_EQ(screen.lookup.GetState(), NetResolver::State::Idle);
    h.Tap(DIK_RETURN);
    EXPECT_EQ(screen.lookup.GetState(), NetResolver::State::Running);
    h.Tap(DIK_ESCAPE);
    EXPECT_EQ((std::tuple{h.game->state, screen.lookup.GetState()}),
              (std::tuple{GameState::MainMenu, NetResolver::State::Idle}));
    gReleaseLookup = true;
    NetResolver::SetLookupFunction(nullptr);
    h.Passes(20);
    EXPECT_EQ((std::tuple{h.game->state, std::string(screen.notice)}),
              (std::tuple{GameState::MainMenu, std::string()}));
}

}  // namespace
