// The high-score screen's WORLD tab: which of the world table's rows go
// into the ten bands, how they are drawn and picked, and what the panel
// says while there is no table to show.
#include "screens/WorldTableView.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "app/PlayPicture.h"
#include "gfx/PngWriter.h"
#include "screens/FontPanel.h"
#include "screens/OptionsScreen.h"
#include "support/FakeWorldLink.h"
#include "support/GameHarness.h"
#include "support/RecordedGame.h"

namespace {

WorldRow MakeRow(int64_t rank, bool own = false) {
    WorldRow r;
    r.rank = rank;
    std::snprintf(r.name, sizeof r.name, "P%lld", static_cast<long long>(rank));
    r.score = static_cast<int32_t>(100000 - rank);
    r.level = 5;
    r.length = 40;
    std::snprintf(r.date, sizeof r.date, "2026-12-09");
    std::snprintf(r.replay, sizeof r.replay, "%016llx", static_cast<unsigned long long>(rank));
    r.own = own;
    return r;
}

// A table of `entries` with its top `top` rows and the rows `from` .. `to`
// around this player's own best `own`.
WorldTable MakeTable(int top, int64_t from, int64_t to, int64_t own, int64_t entries = 1204) {
    WorldTable t;
    t.difficulty = 1;
    t.entries = entries;
    t.topCount = top;
    for (int i = 0; i < top; ++i) t.top[i] = MakeRow(i + 1, i + 1 == own);
    t.aroundCount = 0;
    for (int64_t r = from; r <= to && from > 0; ++r) t.around[t.aroundCount++] = MakeRow(r, r == own);
    return t;
}

std::vector<int64_t> Ranks(const WorldTableView& v) {
    std::vector<int64_t> ranks;
    for (int i = 0; i < v.rowCount; ++i) ranks.push_back(v.rows[i].rank);
    return ranks;
}

// The top ten fill the bands while this player's rows are among them or
// there are none; rows below the top ten take the last bands, after a jump
// in rank; rows the top ten hold are not shown twice.
TEST(WorldTableView, TheTopTenAndThePlayersOwnRowsShareTheTenBands) {
    struct Case {
        const char* what;
        WorldTable table;
        std::vector<int64_t> ranks;
        int32_t jumpRow;
    };
    const Case cases[] = {
        {"no own entry", MakeTable(10, 0, 0, 0), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, -1},
        {"own among the top", MakeTable(10, 2, 6, 4), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, -1},
        {"own far below", MakeTable(10, 35, 39, 37), {1, 2, 3, 4, 5, 35, 36, 37, 38, 39}, 5},
        // 9 and 10 are the top ten's: the three new rows take the last bands
        {"own just below", MakeTable(10, 9, 13, 11), {1, 2, 3, 4, 5, 6, 7, 11, 12, 13}, 7},
        {"a short table", MakeTable(4, 3, 4, 4, 4), {1, 2, 3, 4}, -1},
        {"the last of a few", MakeTable(6, 7, 8, 8, 8), {1, 2, 3, 4, 5, 6, 7, 8}, -1},
        {"an empty table", MakeTable(0, 0, 0, 0, 0), {}, -1},
    };
    for (const Case& c : cases) {
        WorldTableView v;
        v.ShowTable(c.table);
        EXPECT_EQ(Ranks(v), c.ranks) << c.what;
        EXPECT_EQ(v.jumpRow, c.jumpRow) << c.what;
        int own = 0;
        for (int i = 0; i < v.rowCount; ++i) own += v.rows[i].own ? 1 : 0;
        EXPECT_EQ(own, c.ranks.empty() || std::string(c.what) == "no own entry" ? 0 : 1) << c.what;
    }
}

// What the server sends is not trusted: counts beyond the arrays, rows out
// of order and names without an end are cut to what the bands can hold.
TEST(WorldTableView, AHostileAnswerIsCutToTheBands) {
    WorldTable t = MakeTable(10, 50, 54, 52);
    t.topCount = 1000;
    t.aroundCount = 99;
    t.around[1].rank = 3;  // out of order: dropped
    std::memset(t.top[0].name, 'W', sizeof t.top[0].name);
    WorldTableView v;
    v.ShowTable(t);
    ASSERT_LE(v.rowCount, WorldTableView::kRows);
    EXPECT_EQ(Ranks(v), (std::vector<int64_t>{1, 2, 3, 4, 5, 50, 52, 53, 54}));
    EXPECT_LT(std::strlen(v.rows[0].name), sizeof v.rows[0].name);
    t.topCount = -3;
    t.aroundCount = -1;
    v.ShowTable(t);
    EXPECT_EQ(v.rowCount, 0);
}

// Rows are picked by band, by the pointer or step by step, and only where
// a row is.
TEST(WorldTableView, APickFollowsThePointerAndTheArrowsWithinTheRows) {
    WorldTableView v;
    v.ShowTable(MakeTable(3, 0, 0, 0, 3));
    EXPECT_EQ(v.RowAt(300, kHighScoreFirstRowY + 1), 0);
    EXPECT_EQ(v.RowAt(300, kHighScoreFirstRowY + 2 * kHighScoreRowHeight + 3), 2);
    EXPECT_EQ(v.RowAt(300, kHighScoreFirstRowY + 3 * kHighScoreRowHeight + 3), -1);  // no fourth row
    EXPECT_EQ(v.RowAt(20, kHighScoreFirstRowY + 1), -1);                             // left of the rows
    v.MovePick(1);
    EXPECT_EQ(v.picked, 0);
    v.MovePick(1);
    v.MovePick(1);
    v.MovePick(1);
    EXPECT_EQ(v.picked, 2);
    ASSERT_NE(v.Picked(), nullptr);
    EXPECT_EQ(v.Picked()->rank, 3);
    v.ShowWaiting(1);
    EXPECT_EQ(v.Picked(), nullptr);
    EXPECT_EQ(v.RowAt(300, kHighScoreFirstRowY + 1), -1);
}

struct Written {
    std::vector<std::string> texts;
};
void Note(const PanelText& text, void* context) { static_cast<Written*>(context)->texts.push_back(text.text); }

bool Has(const Written& w, const std::string& part) {
    for (const std::string& t : w.texts)
        if (t.find(part) != std::string::npos) return true;
    return false;
}

// The picture on show as a PNG, when VC_SHOTS_DIR names a folder: to look
// at what the tests drive.
void Shot(const char* name) {
    const char* dir = std::getenv("VC_SHOTS_DIR");
    if (dir == nullptr || primarySurface == nullptr) return;
    PaletteEntry palette[kPaletteSize];
    GetDisplayPalette(0, kPaletteSize, palette);
    WritePalettedPng(std::string(dir) + "/" + name + ".png", primarySurface->pixels, kScreenWidth, kScreenHeight,
                     palette, nullptr);
}

constexpr int kMenuHighScoresY = 295;

// A point on the question's NO.
std::pair<int, int> SendQuestionAtNo() {
    for (int y = 0; y < kScreenHeight; y += 2)
        for (int x = 0; x < kScreenWidth; x += 2)
            if (SendQuestionAt(x, y) == BoxAnswer::No) return {x + 6, y + 6};
    return {-1, -1};
}
constexpr int kWorldLabelX = kHighScoreWorldX + 30, kWorldLabelY = kHighScoreLabelY + 11;

// The game with a scripted world table link, every panel text watched.
class WorldScreen : public ::testing::Test {
protected:
    void SetUp() override {
        Settings s;
        s.worldAsked = asked;
        std::snprintf(s.worldServer, sizeof s.worldServer, "http://scores.test");
        h.host.KeepSettings(s, settingsPath);
        h.host.UseWorld(&link);
        WatchPanelText(Note, &w);
        link.table = Table(10, 35, 39, 37);
    }
    void TearDown() override { WatchPanelText(nullptr, nullptr); }
    void Begin() {
        ASSERT_TRUE(h.Start());
        h.Passes(140);
    }
    // The world table in the game's words: this machine's player is P37.
    static WorldTable Table(int top, int64_t from, int64_t to, int64_t own) {
        WorldTable t = MakeTable(top, from, to, own);
        t.difficulty = 0;
        return t;
    }
    void OpenHighScores() {
        h.Click(320, kMenuHighScoresY);
        ASSERT_EQ(h.game->state, GameState::HighScores);
    }
    void OpenWorld() {
        OpenHighScores();
        w.texts.clear();
        h.Click(kWorldLabelX, kWorldLabelY);
        ASSERT_TRUE(h.game->highScoreScreen.worldShown);
    }
    static int32_t BandY(int band) { return kHighScoreFirstRowY + band * kHighScoreRowHeight; }
    bool asked = true;
    std::string settingsPath;
    GameHarness h;
    FakeWorldLink link;
    Written w;
};

// The top ten and this player's own rows, the own one framed and tagged;
// before the answer the panel says it is asking.
TEST_F(WorldScreen, RowsComeFromTheServerWithTheOwnRowMarked) {
    link.waitPolls = 20;
    Begin();
    OpenWorld();
    EXPECT_EQ(link.askedTables, std::vector<int32_t>{0});
    EXPECT_TRUE(Has(w, "ASKING THE WORLD TABLE"));
    EXPECT_FALSE(Has(w, "P1"));
    Shot("world-waiting");
    h.Passes(30);
    w.texts.clear();
    h.host.MoveMouseTo(600, 120);
    h.Passes(2);
    EXPECT_EQ(h.game->highScoreScreen.worldView.shows, WorldTableView::Shows::Table);
    for (const char* name : {"P1", "P5", "P35", "P37", "P39", "YOU", "1,204 GAMES ON EASY"})
        EXPECT_TRUE(Has(w, name)) << name;
    EXPECT_FALSE(Has(w, "P6"));  // the last top bands hold the player's own rows
    // Band 7 holds rank 37, the player's: framed in the own colour; band 6 is not.
    EXPECT_EQ(backBuffer->pixels[(BandY(7) - 2) * kScreenWidth + 300], WorldTableView::kOwnColour);
    EXPECT_NE(backBuffer->pixels[(BandY(6) - 2) * kScreenWidth + 300], WorldTableView::kOwnColour);
    Shot("world-rows");
    // Another difficulty asks again; WORLD again shows this machine's table.
    h.Click(kHighScoreLabelX[2] + 20, kWorldLabelY);
    EXPECT_EQ(link.askedTables, (std::vector<int32_t>{0, 2}));
    h.Click(kWorldLabelX, kWorldLabelY);
    EXPECT_FALSE(h.game->highScoreScreen.worldShown);
}

// What the panel says without a table: no server set, a failure with the
// link's reason, an empty table.
TEST_F(WorldScreen, WithoutATableThePanelSaysWhy) {
    Begin();
    link.configured = false;
    OpenWorld();
    h.Passes(2);
    EXPECT_TRUE(Has(w, "NO WORLD TABLE IS SET"));
    EXPECT_TRUE(Has(w, "OPTIONS - ONLINE"));
    EXPECT_TRUE(link.askedTables.empty());
    Shot("world-no-server");
    h.Click(kWorldLabelX, kWorldLabelY);

    link.configured = true;
    link.tableAnswer = WorldAnswer::Failed;
    link.tableReason = "the server could not be reached (connection refused)";
    w.texts.clear();
    h.Click(kWorldLabelX, kWorldLabelY);
    h.Passes(2);
    EXPECT_TRUE(Has(w, "THE WORLD TABLE CANNOT BE SHOWN"));
    EXPECT_TRUE(Has(w, "THE SERVER COULD NOT BE REACHED (CONNECTION REFUSED)"));
    Shot("world-failed");
    // A click on the difficulty asks again after a failure.
    link.tableAnswer = WorldAnswer::Ready;
    link.table = Table(0, 0, 0, 0);
    link.table.entries = 0;
    w.texts.clear();
    h.Click(kHighScoreLabelX[0] + 20, kWorldLabelY);
    h.Passes(2);
    EXPECT_EQ(link.askedTables.size(), 2u);
    EXPECT_TRUE(Has(w, "NO GAMES ON THIS TABLE YET"));
}

// A click on a row fetches its game and watches it with the replay
// watcher; Esc comes back to the world table, the row still picked. A game
// that cannot be fetched is said under the table.
TEST_F(WorldScreen, AClickedRowsGameIsFetchedAndWatched) {
    link.replayBytes = FreshGameLeftAt(2);
    ASSERT_FALSE(link.replayBytes.empty());
    SetHost(&h.host);  // the other game's harness let go of its own
    link.waitPolls = 3;
    Begin();
    OpenWorld();
    h.Passes(5);
    w.texts.clear();
    h.Click(300, BandY(2) + 10);
    ASSERT_EQ(link.askedReplays.size(), 1u);
    EXPECT_EQ(link.askedReplays[0], link.table.top[2].replay);
    for (int i = 0; i < 10 && !h.game->watchingReplay; ++i) h.Pass();
    EXPECT_TRUE(h.game->watchingReplay);
    h.Passes(50);
    h.Tap(DIK_ESCAPE);
    EXPECT_FALSE(h.game->watchingReplay);
    EXPECT_EQ(h.game->state, GameState::HighScores);
    EXPECT_TRUE(h.game->highScoreScreen.worldShown);
    EXPECT_EQ(h.game->highScoreScreen.worldView.picked, 2);

    link.replayAnswer = WorldAnswer::Failed;
    link.replayReason = "no such replay";
    w.texts.clear();
    h.host.SetKey(DIK_RETURN, true);
    h.Passes(6);
    h.host.SetKey(DIK_RETURN, false);
    h.Pass();
    EXPECT_EQ(link.askedReplays.size(), 2u);
    EXPECT_FALSE(h.game->watchingReplay);
    EXPECT_TRUE(Has(w, "THAT GAME CANNOT BE WATCHED: NO SUCH REPLAY"));
    Shot("world-fetch-failed");
}

class WorldAskOnce : public WorldScreen {
protected:
    WorldAskOnce() {
        asked = false;
        settingsPath = (std::filesystem::path(h.dir()) / "settings.ini").string();
    }
};

// The first visit with a server set asks once; the answer is kept in the
// settings and the file, and the next visit does not ask.
TEST_F(WorldAskOnce, TheFirstVisitAsksOnceAndTheAnswerIsKept) {
    Begin();
    w.texts.clear();
    OpenHighScores();
    h.Passes(2);
    EXPECT_TRUE(Has(w, "SEND MY FINISHED"));
    Shot("world-ask");
    // Clicks on the bar do nothing while the box is up.
    h.Click(kWorldLabelX, kWorldLabelY);
    EXPECT_FALSE(h.game->highScoreScreen.worldShown);
    h.host.SetKey(DIK_Y, true);
    h.Pass();
    h.host.SetKey(DIK_Y, false);
    h.Pass();
    EXPECT_TRUE(h.host.CurrentSettings().worldSend);
    EXPECT_TRUE(h.host.CurrentSettings().worldAsked);
    EXPECT_TRUE(link.sending);  // the link follows the switch
    const std::string file = ReadText(settingsPath);
    EXPECT_NE(file.find("send = yes"), std::string::npos) << file;
    EXPECT_NE(file.find("asked = yes"), std::string::npos) << file;
    h.Tap(DIK_ESCAPE);
    ASSERT_EQ(h.game->state, GameState::MainMenu);
    w.texts.clear();
    OpenHighScores();
    h.Passes(2);
    EXPECT_FALSE(Has(w, "SEND MY FINISHED"));
}

// No: nothing is sent, and it is not asked again; without a server it is
// not asked at all.
TEST_F(WorldAskOnce, NoIsKeptTooAndNothingIsAskedWithoutAServer) {
    link.configured = false;
    Begin();
    w.texts.clear();
    OpenHighScores();
    h.Passes(2);
    EXPECT_FALSE(Has(w, "SEND MY FINISHED"));
    h.Tap(DIK_ESCAPE);
    link.configured = true;
    OpenHighScores();
    h.Passes(2);
    h.Click(SendQuestionAtNo().first, SendQuestionAtNo().second);
    EXPECT_FALSE(h.host.CurrentSettings().worldSend);
    EXPECT_TRUE(h.host.CurrentSettings().worldAsked);
    EXPECT_FALSE(h.game->highScoreScreen.worldShown);  // the click answered, nothing else
}

// The options' ONLINE page: the switch turns sending on and off (and
// counts as the answer to the question), the address is typed and kept
// when the game can use it, refused with the reason when not; every change
// goes to the settings file at once.
TEST_F(WorldAskOnce, TheOnlinePageSwitchesSendingAndKeepsATypedAddress) {
    Begin();
    h.Tap(DIK_O);
    ASSERT_EQ(h.game->state, GameState::Options);
    OptionsScreen& o = h.game->optionsScreen;
    const ScreenBox page = OptionsScreen::EntryBox(OptionsLayout::kPageEntry);
    h.Click(page.x + 10, page.y + 5);
    ASSERT_EQ(o.page, OptionsLayout::Page::Online);
    // A control's entry is not on this page: a click there binds nothing.
    const ScreenBox key = OptionsScreen::EntryBox(OptionsScreen::KeyEntry(0, 0));
    h.Click(key.x + 4, key.y + 4);
    EXPECT_EQ(o.waiting, -1);
    const ScreenBox send = OptionsScreen::EntryBox(OptionsLayout::kSendEntry);
    h.Click(send.x + 10, send.y + 5);
    EXPECT_TRUE(h.host.CurrentSettings().worldSend);
    EXPECT_TRUE(h.host.CurrentSettings().worldAsked);
    EXPECT_NE(ReadText(settingsPath).find("send = yes"), std::string::npos);
    Shot("options-online");
    h.Click(send.x + 10, send.y + 5);
    EXPECT_FALSE(h.host.CurrentSettings().worldSend);

    const ScreenBox field = OptionsScreen::EntryBox(OptionsLayout::kServerEntry);
    h.Click(field.x + 10, field.y + 5);
    ASSERT_TRUE(o.typing);
    for (int i = 0; i < 30; ++i) h.Tap(DIK_BACK);
    // "ftp:1" first: refused, the field stays to be mended.
    for (uint8_t code : {0x21, 0x14, 0x19, 0x27, 0x02}) h.Tap(code);
    h.Tap(DIK_RETURN);
    EXPECT_TRUE(o.typing);
    EXPECT_NE(std::string(o.notice).find("http://"), std::string::npos) << o.notice;
    for (int i = 0; i < 5; ++i) h.Tap(DIK_BACK);
    // "http://a.b/x", and the 1 typed is no screen dump.
    for (uint8_t code : {0x23, 0x14, 0x14, 0x19, 0x27, 0x35, 0x35, 0x1E, 0x34, 0x30, 0x35, 0x2D}) h.Tap(code);
    Shot("options-online-typing");
    h.Tap(DIK_RETURN);
    EXPECT_FALSE(o.typing);
    EXPECT_STREQ(h.host.CurrentSettings().worldServer, "http://a.b/x");
    EXPECT_EQ(link.server, "http://a.b/x");
    EXPECT_NE(ReadText(settingsPath).find("http://a.b/x"), std::string::npos);
    // Esc while typing drops what was typed and stays on the screen.
    h.Click(field.x + 10, field.y + 5);
    h.Tap(0x1E);
    h.Tap(DIK_ESCAPE);
    EXPECT_FALSE(o.typing);
    EXPECT_EQ(h.game->state, GameState::Options);
    EXPECT_STREQ(h.host.CurrentSettings().worldServer, "http://a.b/x");
    // An empty address sets none.
    h.Click(field.x + 10, field.y + 5);
    for (int i = 0; i < 20; ++i) h.Tap(DIK_BACK);
    h.Tap(DIK_RETURN);
    EXPECT_STREQ(h.host.CurrentSettings().worldServer, "");
}

// After a game the game-over table says the world's answer to it when it
// comes: sending, the rank, or the refusal with its reason; an answer to
// another game is not this one's.
TEST_F(WorldScreen, TheGameOverTableSaysTheWorldRankWhenItComes) {
    Begin();
    Match& match = h.game->match;
    h.BeginMatch(1, 0);
    h.game->state = GameState::Playing;
    match.phase = MatchPhase::Play;
    match.worms[0].active = 0;
    match.worms[0].stats.lives = 0;
    match.worms[0].score = 98700;
    match.Frame();
    for (int i = 0; i <= Match::kGameOverCueFrames; ++i) match.Frame();  // the cue, then the table
    ASSERT_TRUE(match.TableShown());
    std::snprintf(h.game->recorder.name, sizeof h.game->recorder.name, "voidcrawl-game.vcr");
    WorldPlay& world = h.game->world;
    std::snprintf(world.tag, sizeof world.tag, "voidcrawl-game.vcr");
    world.standing = WorldPlay::Standing::Sending;
    w.texts.clear();
    h.Passes(2);
    EXPECT_TRUE(Has(w, "SENDING THIS GAME TO THE WORLD TABLE")) << w.texts.size();
    link.answers.push_back(FakeWorldLink::Ranked("other.vcr", "00000000000000aa", 0, 50, {{"X", 5, 1, 9}}));
    link.answers.push_back(
        FakeWorldLink::Ranked("voidcrawl-game.vcr", "00000000000000bb", 0, 1204, {{"AUTOPILOT", 98700, 6, 37}}));
    h.Passes(3);
    w.texts.clear();
    h.Passes(2);
    EXPECT_TRUE(Has(w, "THIS GAME: WORLD RANK 37 OF 1,204"));
    Shot("world-rank-line");
    link.answers.push_back(FakeWorldLink::Refused("voidcrawl-game.vcr", "the replay is out of step at level 3"));
    h.Passes(2);
    w.texts.clear();
    h.Passes(2);
    EXPECT_TRUE(Has(w, "THE WORLD TABLE REFUSED THIS GAME: THE REPLAY IS OUT OF STEP AT LEVEL 3"));
    Shot("world-refused-line");
    // Another game's table says nothing of it.
    std::snprintf(h.game->recorder.name, sizeof h.game->recorder.name, "voidcrawl-next.vcr");
    w.texts.clear();
    h.Passes(2);
    EXPECT_FALSE(Has(w, "WORLD TABLE REFUSED"));
}

}  // namespace
