// An online game through a room, on a link that plays the server's part
// as the test says: the room is asked for with this game's version, levels
// and difficulty; nothing goes to the other game before the pairing, whose
// role (a quick match's) decides the side; the waiting screen shows the
// room's code; a refusal is said and the game goes back to the menu.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/CommandLine.h"
#include "gfx/Display.h"
#include "support/GameHarness.h"
#include "support/MemoryNetLink.h"

namespace {

class OnlineRoomTest : public testing::Test {
protected:
    // The room asked for from the command line, TWO PLAYERS, a name and
    // Enter: the game waits for the other player.
    void StartRoom(NetRoomMode mode, const char* code = "") {
        other_.Host(0);
        h.game->online.AskRoom(mode, code, "127.0.0.1", 8080, 2, &link_);
        ASSERT_TRUE(h.Start());
        h.Passes(140);  // the menu's items have slid in
        h.Click(312, 215);
        ASSERT_EQ(h.game->state, GameState::PlayerSetup);
        for (const uint8_t key : {uint8_t{0x13}, uint8_t{0x18}, uint8_t{DIK_RETURN}}) h.Tap(key);
        h.Passes(5);
        ASSERT_EQ(h.game->state, GameState::Connecting);
    }
    // Passes of the game and of the other game's peer.
    void Passes(int n) {
        for (int i = 0; i < n; ++i) {
            h.Pass();
            peer_.Update(static_cast<uint32_t>(clock_ += 10));
            toGame_.Tick();
            toOther_.Tick();
        }
    }
    // What the other game has been sent.
    int SentToOther() {
        NetDatagram d[16];
        int n = 0;
        for (int got; (got = other_.Poll(d, 16, 0)) > 0;) n += got;
        return n;
    }
    // The rows above the waiting band, as the screen shows them.
    std::vector<uint8_t> AboveTheBand() const {
        const int top = 90, bottom = 205;
        const uint8_t* rows = primarySurface->pixels + static_cast<size_t>(top) * primarySurface->width;
        return std::vector<uint8_t>(rows, rows + static_cast<size_t>(bottom - top) * primarySurface->width);
    }
    // The overlay's line (F3), under the scores, left half to right edge.
    std::vector<uint8_t> OverlayLine() const {
        std::vector<uint8_t> line;
        for (int y = 29; y < 48; ++y) {
            const uint8_t* row = primarySurface->pixels + static_cast<size_t>(y) * primarySurface->width;
            line.insert(line.end(), row + 320, row + primarySurface->width);
        }
        return line;
    }
    NetHello Hello() const {
        NetHello hello;
        std::snprintf(hello.gameVersion, sizeof hello.gameVersion, "%s", kGameVersion);
        hello.dataHash = h.game->playDataHash;
        std::snprintf(hello.name, sizeof hello.name, "OTHER");
        return hello;
    }

    // The links first: the game, which holds one, is shut down before they go.
    MemoryWire toGame_{0, 0, 0, 1}, toOther_{0, 0, 0, 2};
    MemoryNetLink link_{&toOther_, &toGame_};
    MemoryNetLink other_{&toGame_, &toOther_};
    NetPeer peer_;
    GameHarness h;
    int64_t clock_ = 0;
};

// A quick match: the ask carries what pairs two games; the server says
// late that this one joins, and only then does its greeting go.
TEST_F(OnlineRoomTest, AQuickMatchGreetsOnlyOnceTheServerSaysWhoHosts) {
    StartRoom(NetRoomMode::Quick);
    EXPECT_EQ(link_.roomAsks, 1);
    EXPECT_EQ(link_.asked.mode, NetRoomMode::Quick);
    EXPECT_STREQ(link_.asked.serverHost, "127.0.0.1");
    EXPECT_EQ(link_.asked.serverPort, 8080);
    EXPECT_STREQ(link_.asked.gameVersion, kGameVersion);
    EXPECT_EQ(link_.asked.dataHash, h.game->playDataHash);
    EXPECT_EQ(link_.asked.difficulty, 0);
    link_.SetRoom(NetRoomStage::Waiting, "");
    Passes(50);
    EXPECT_EQ(h.game->state, GameState::Connecting);
    EXPECT_EQ(h.game->online.Side(), OnlinePlay::Role::None);
    EXPECT_EQ(SentToOther(), 0);
    // A quick match shows no code: nothing above the band changes with one.
    const std::vector<uint8_t> without = AboveTheBand();
    link_.SetRoom(NetRoomStage::Waiting, "ACDEF");
    Passes(2);
    EXPECT_EQ(AboveTheBand(), without);

    NetWelcome welcome;
    welcome.host = Hello();
    welcome.inputDelay = 2;
    welcome.difficulty = 1;
    welcome.seed = 99;
    peer_.StartHost(&other_, welcome);
    link_.Pair(NetRoomRole::Joiner);
    link_.path = NetPath::Relayed;
    for (int i = 0; i < 200 && h.game->state != GameState::Playing; ++i) Passes(1);
    ASSERT_EQ(h.game->state, GameState::Playing);
    EXPECT_EQ(peer_.GetState(), NetPeer::State::Playing);
    EXPECT_EQ(h.game->online.Side(), OnlinePlay::Role::Join);
    EXPECT_EQ(h.game->online.Local(), 1);
    EXPECT_EQ(h.game->match.onlinePlayer, 1);
    EXPECT_EQ(h.game->difficulty, 1);  // the host's
    Passes(5);
    EXPECT_EQ(h.game->online.Path(), NetPath::Relayed);
    // F3's overlay names the way: its line changes with it, and only with it.
    h.host.SetKey(DIK_F3, true);
    Passes(1);
    h.host.SetKey(DIK_F3, false);
    Passes(1);
    const std::vector<uint8_t> relayed = OverlayLine();
    Passes(1);
    EXPECT_EQ(OverlayLine(), relayed);
    link_.path = NetPath::Direct;
    Passes(1);
    EXPECT_NE(OverlayLine(), relayed);
    link_.path = NetPath::Relayed;
    Passes(1);
    EXPECT_EQ(OverlayLine(), relayed);
}

// A new room: its code shows large while it waits; paired as its host,
// the game welcomes the other player's hello.
TEST_F(OnlineRoomTest, ANewRoomShowsItsCodeAndHostsOnceThePairingComes) {
    StartRoom(NetRoomMode::Create);
    EXPECT_EQ(link_.asked.mode, NetRoomMode::Create);
    link_.SetRoom(NetRoomStage::Waiting, "KMNPQ");
    Passes(2);
    const std::vector<uint8_t> first = AboveTheBand();
    link_.SetRoom(NetRoomStage::Waiting, "ACDEF");
    Passes(2);
    EXPECT_NE(AboveTheBand(), first) << "the code is not shown above the band";
    EXPECT_EQ(SentToOther(), 0);

    peer_.StartJoin(&other_, Hello());
    link_.Pair(NetRoomRole::Host);
    for (int i = 0; i < 200 && h.game->state != GameState::Playing; ++i) Passes(1);
    ASSERT_EQ(h.game->state, GameState::Playing);
    EXPECT_EQ(h.game->online.Side(), OnlinePlay::Role::Host);
    EXPECT_EQ(h.game->match.onlinePlayer, 0);
    EXPECT_STREQ(peer_.Match().host.name, "RO");
    Passes(5);
    EXPECT_EQ(h.game->online.Path(), NetPath::Direct);
}

// The server's refusal (here of a room's code) is said, and the game goes
// back to the menu.
TEST_F(OnlineRoomTest, ARefusedRoomIsSaidAndTheGameGoesBackToTheMenu) {
    StartRoom(NetRoomMode::Join, "KMNPQ");
    EXPECT_EQ(link_.asked.mode, NetRoomMode::Join);
    EXPECT_STREQ(link_.asked.code, "KMNPQ");
    link_.RefuseRoom("no room has that code");
    Passes(40);
    EXPECT_EQ(h.game->state, GameState::MainMenu);
    EXPECT_STREQ(h.host.LastMessageText(), "The online game cannot start: no room has that code.");
}

// The other player leaves: the game ends where it stands and its table
// comes up. Esc there asks to leave, as it does everywhere in a game, and
// Y goes back to the menu, the replay saved whole.
TEST_F(OnlineRoomTest, AfterTheOtherLeftEscAndYLeaveTheTable) {
    StartRoom(NetRoomMode::Create);
    link_.SetRoom(NetRoomStage::Waiting, "KMNPQ");
    peer_.StartJoin(&other_, Hello());
    link_.Pair(NetRoomRole::Host);
    for (int i = 0; i < 200 && h.game->state != GameState::Playing; ++i) Passes(1);
    ASSERT_EQ(h.game->state, GameState::Playing);
    Passes(30);
    peer_.Leave();
    for (int i = 0; i < 100 && !h.game->match.TableShown(); ++i) Passes(1);
    ASSERT_TRUE(h.game->match.TableShown());
    Passes(10);
    EXPECT_FALSE(h.game->online.ExitBoxShown());
    h.Tap(DIK_ESCAPE);
    Passes(3);
    ASSERT_EQ(h.game->state, GameState::Playing);
    EXPECT_TRUE(h.game->online.ExitBoxShown()) << "Esc at the table brought no EXIT box";
    h.Tap(DIK_N);
    Passes(3);
    EXPECT_EQ(h.game->state, GameState::Playing) << "N goes back to the table";
    EXPECT_FALSE(h.game->online.ExitBoxShown());
    h.Tap(DIK_ESCAPE);
    Passes(3);
    h.Tap(DIK_Y);
    Passes(10);
    EXPECT_EQ(h.game->state, GameState::MainMenu);
    const Recorder& r = h.game->recorder;
    uint32_t passes = 0, checks = 0;
    const char* why = nullptr;
    EXPECT_TRUE(OnlineTape::Check(r.file + kReplayHeaderBytes, r.header.tapeBytes, OnlineTape::Ending::Whole, &passes,
                                  &checks, &why))
        << why;
}

}  // namespace
