// The high-score screen's WORLD tab: which of the world table's rows go
// into the ten bands, how they are drawn and picked, and what the panel
// says while there is no table to show.
#include "screens/WorldTableView.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "screens/FontPanel.h"
#include "support/GameHarness.h"

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

// On the screen: WORLD (and W) switch the table to the world's; without a
// link the panel says no world table is set and how to set one; the
// hint says what the table is.
TEST(WorldTableScreen, WorldSwitchesTheTableAndSaysWhenNoServerIsSet) {
    GameHarness h;
    ASSERT_TRUE(h.Start());
    HighScoreTable& t = h.game->highScoreScreen;
    t.world = nullptr;
    Written w;
    WatchPanelText(Note, &w);
    // The W key switches; held from the screen before, it does not.
    KeyState[DIK_W] = 1;
    t.Arm();
    t.Frame(h.game->match.mediumFont, false);
    KeyState[DIK_W] = 0;
    t.Frame(h.game->match.mediumFont, false);
    EXPECT_FALSE(t.worldShown);
    KeyState[DIK_W] = 1;
    w.texts.clear();
    t.Frame(h.game->match.mediumFont, false);
    t.Frame(h.game->match.mediumFont, false);  // held: once
    KeyState[DIK_W] = 0;
    EXPECT_TRUE(t.worldShown);
    EXPECT_EQ(t.worldView.shows, WorldTableView::Shows::NoServer);
    EXPECT_TRUE(Has(w, "NO WORLD TABLE IS SET")) << w.texts.size();
    EXPECT_TRUE(Has(w, "OPTIONS - ONLINE"));
    EXPECT_TRUE(Has(w, "EACH ONE REPLAYED"));
    t.Frame(h.game->match.mediumFont, false);
    KeyState[DIK_W] = 1;
    t.Frame(h.game->match.mediumFont, false);
    KeyState[DIK_W] = 0;
    EXPECT_FALSE(t.worldShown);
    WatchPanelText(nullptr, nullptr);
}

}  // namespace
