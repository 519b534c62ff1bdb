// The state JSON of a Game that was never started: fields set by hand, the
// text read back with the scenario tests' reader.
#include <memory>

#include "GameStateJson.h"
#include "RunnerScenario.h"
#include "app/Game.h"

using runner_test::ExpectValues;
using runner_test::Json;
using runner_test::ParseJsonText;

TEST(GameStateJson, HighScoresInStorageOrderWithTheSortedOrderBeforeAnyMatch) {
    auto game = std::make_unique<Game>();
    HighScoreTable& table = game->highScoreScreen;
    auto set = [&](int i, int32_t score, const char* name) {
        table.records[i].score = score;
        std::strncpy(table.records[i].name, name, sizeof table.records[i].name - 1);
    };
    set(0, 10, "LOW");
    set(3, 900, "\xC5SA \xD6");
    set(5, 900, "TIE");
    set(9, 300, "MID");
    HighScoreRecord* before[HighScoreTable::kRecords];
    std::copy(std::begin(table.order), std::end(table.order), before);

    const std::string text = GameStateJson(*game, 7);
    EXPECT_NE(text.find("\"\\u00c5SA \\u00d6\""), std::string::npos) << "names are ASCII with escapes";
    Json s = ParseJsonText(text);
    const Json& hs = s["highScores"];
    EXPECT_EQ(hs["records"].items[3]["name"].text, "\xC5SA \xD6");
    // Of the equal scores the later record comes first; the empty records
    // follow in the order the sort leaves them.
    EXPECT_EQ(hs["order"].Ints(), (std::vector<int>{5, 3, 9, 0, 4, 2, 6, 7, 8, 1}));
    // Writing the state leaves the table's own order alone.
    EXPECT_TRUE(std::equal(std::begin(before), std::end(before), std::begin(table.order)));

    // No match yet: no level, no food, two idle worms.
    EXPECT_EQ(s["level"].kind, Json::Null);
    EXPECT_EQ(s["food"].kind, Json::Array);
    EXPECT_TRUE(s["food"].items.empty());
    ASSERT_EQ(s["worms"].items.size(), 2u);
    EXPECT_FALSE(s["worms"].items[0]["active"].boolean);
}

TEST(GameStateJson, MatchLevelWormsAndFood) {
    auto game = std::make_unique<Game>();
    Match& m = game->match;
    m.playerOut[1] = 1;
    std::memcpy(m.names[0], "ABCDEFGHIJKLMNOPQRST", 20);  // no terminating zero: the name ends with the field
    std::strcpy(m.names[1], "Q");
    LevelHeader& h = m.arena.header;
    std::strcpy(h.title, "THE TITLE");
    h.start1X = 17;
    h.start1Y = 13;
    m.level = &h;

    Worm& w = m.worms[1];
    w.active = w.exitOpen = 1;
    w.length = 9;
    w.stepProgress = 31.9999981f;
    w.segments[1].cellX = 6;
    w.segments[1].cellY = 11;
    w.segments[1].heading = 3;
    w.stats.velocity = 4.99999762f;

    FoodItem* items = m.food.items;
    items[0].cellX = 3, items[0].cellY = 4, items[0].cellType = CellType::Food, items[0].spriteIndex = 2;
    items[2].cellX = 8, items[2].cellY = 1, items[2].cellType = CellType::EatenFood;

    Json s = ParseJsonText(GameStateJson(*game, 1));
    // Food: the slots in use only, in slot order, eaten ones included.
    ASSERT_EQ(s["food"].items.size(), 2u);
    ExpectValues(s, {{"match.playerOut.1", 1}, {"worms.1.active", 1}, {"worms.1.exitOpen", 1}, {"worms.1.length", 9},
                     {"worms.1.heading", 3}, {"food.0.x", 3}, {"food.0.y", 4}, {"food.0.cellType", 1},
                     {"food.0.spriteIndex", 2}, {"food.1.x", 8}, {"food.1.cellType", 4}});
    EXPECT_EQ(s["match"]["names"].items[0].text, "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(s["match"]["names"].items[1].text, "Q");
    EXPECT_EQ(s["level"]["title"].text, "THE TITLE");
    EXPECT_EQ(s["level"]["start1"].Ints(), (std::vector<int>{17, 13}));

    const Json& jw = s["worms"].items[1];
    EXPECT_EQ(jw["head"].Ints(), (std::vector<int>{6, 11}));
    // Floats are written with every digit a 32-bit float needs.
    EXPECT_EQ(jw["stepProgress"].Float(), 31.9999981f);
    EXPECT_EQ(jw["stats"]["velocity"].Float(), 4.99999762f);
}
