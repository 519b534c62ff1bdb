// The state JSON of a Game that was never started: fields set by hand, the
// text read back with the scenario tests' reader.
#include <cstring>
#include <memory>

#include "GameStateJson.h"
#include "RunnerScenario.h"
#include "app/Game.h"

using namespace runner_test;

namespace {

Json Parse(const std::string& text) {
    Json json;
    JsonReader reader(text);
    EXPECT_TRUE(reader.Parse(&json)) << text;
    return json;
}

void SetRecord(HighScoreRecord* r, int32_t score, const char* name, int32_t lengthTotal, int32_t level) {
    r->score = score;
    std::memset(r->name, 0, sizeof r->name);
    std::strncpy(r->name, name, sizeof r->name - 1);
    r->lengthTotal = lengthTotal;
    r->level = level;
}

}  // namespace

TEST(GameStateJson, GameBeforeAnyMatch) {
    auto game = std::make_unique<Game>();
    Json s = Parse(GameStateJson(*game, 7));
    EXPECT_EQ(s["frame"].Int(), 7);
    EXPECT_EQ(s["level"].kind, Json::Null);
    EXPECT_TRUE(s.Has("level"));
    EXPECT_EQ(s["food"].kind, Json::Array);
    EXPECT_TRUE(s["food"].items.empty());
    ASSERT_EQ(s["worms"].items.size(), 2u);
    EXPECT_FALSE(s["worms"].items[0]["active"].boolean);
    EXPECT_EQ(s["highScores"]["records"].items.size(), 10u);
    EXPECT_EQ(s["highScores"]["order"].Ints(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_TRUE(s["setup"]["player1Active"].boolean);
    EXPECT_FALSE(s["setup"]["player2Active"].boolean);
    EXPECT_EQ(s["playerSetup"]["ship1"].Int(), 1);
    EXPECT_EQ(s["playerSetup"]["ship2"].Int(), 2);
    EXPECT_EQ(s["match"]["names"].items.size(), 2u);
    EXPECT_EQ(s["match"]["playerOut"].items.size(), 2u);
}

TEST(GameStateJson, HighScoresInStorageOrderWithTheSortedOrder) {
    auto game = std::make_unique<Game>();
    HighScoreTable& table = game->highScoreScreen;
    table.difficulty = 2;
    SetRecord(&table.records[0], 10, "LOW", 1, 2);
    SetRecord(&table.records[3], 900, "\xC5SA \xD6", 40, 20);
    SetRecord(&table.records[5], 900, "TIE", 50, 19);
    SetRecord(&table.records[9], 300, "MID", 60, 5);
    HighScoreRecord* const before[HighScoreTable::kRecords] = {
        table.order[0], table.order[1], table.order[2], table.order[3], table.order[4],
        table.order[5], table.order[6], table.order[7], table.order[8], table.order[9]};

    const std::string text = GameStateJson(*game, 0);
    EXPECT_NE(text.find("\"\\u00c5SA \\u00d6\""), std::string::npos) << "names are ASCII with escapes";
    Json s = Parse(text);
    const Json& hs = s["highScores"];
    EXPECT_EQ(hs["difficulty"].Int(), 2);
    const Json& r3 = hs["records"].items[3];
    EXPECT_EQ(r3["score"].Int(), 900);
    EXPECT_EQ(r3["name"].text, "\xC5SA \xD6");
    EXPECT_EQ(r3["lengthTotal"].Int(), 40);
    EXPECT_EQ(r3["level"].Int(), 20);
    EXPECT_EQ(hs["records"].items[1]["name"].text, "");
    // Of the equal scores the later record comes first; the empty records
    // follow in the order the sort leaves them.
    EXPECT_EQ(hs["order"].Ints(), (std::vector<int>{5, 3, 9, 0, 4, 2, 6, 7, 8, 1}));
    // Writing the state leaves the table's own order alone.
    for (int i = 0; i < HighScoreTable::kRecords; ++i) EXPECT_EQ(table.order[i], before[i]) << i;
}

TEST(GameStateJson, MatchLevelWormsAndFood) {
    auto game = std::make_unique<Game>();
    Match& m = game->match;
    m.players = 2;
    m.difficulty = 1;
    m.levelIndex = 5;
    m.targetFactor = 0.7f;
    m.extraFood = 3;
    m.introPending = 1;
    m.playerOut[1] = 1;
    m.pointsDue[0] = 1;
    m.endChoice = 2;
    std::memcpy(m.names[0], "ABCDEFGHIJKLMNOPQRST", 20);  // no terminating zero: the name ends with the field
    std::strcpy(m.names[1], "Q");
    LevelHeader& h = m.arena.header;
    std::strcpy(h.title, "THE TITLE");
    h.target = 21;
    h.foodCount = 12;
    h.chanceA = 40;
    h.chanceB = 30;
    h.chanceC = 20;
    h.start1X = 17;
    h.start1Y = 13;
    h.start2X = 1;
    h.start2Y = 2;
    m.level = &h;

    Worm& w = m.worms[1];
    w.active = w.alive = w.exitOpen = 1;
    w.length = 9;
    w.pendingGrowth = 4;
    w.shield = -3;
    w.score = 1234;
    w.points = 5;
    w.speed = 2.4f;
    w.maxSpeed = 3.9f;
    w.stepProgress = 31.9999981f;
    w.segments[1].cellX = 6;
    w.segments[1].cellY = 11;
    w.segments[1].heading = 3;
    w.stats = ShipStats{4.99999762f, 0.07f, 4, 200, 1, 5, 0};
    w.ship = 1;

    FoodItem* items = m.food.items;
    items[0] = FoodItem{};
    items[0].cellX = 3, items[0].cellY = 4, items[0].cellType = CellType::Food, items[0].spriteIndex = 2;
    items[2].cellX = 8, items[2].cellY = 1, items[2].cellType = CellType::EatenFood, items[2].spriteIndex = 4;

    Json s = Parse(GameStateJson(*game, 1));
    const Json& jm = s["match"];
    EXPECT_EQ(jm["players"].Int(), 2);
    EXPECT_EQ(jm["difficulty"].Int(), 1);
    EXPECT_EQ(jm["levelIndex"].Int(), 5);
    EXPECT_EQ(jm["targetFactor"].Float(), 0.7f);
    EXPECT_EQ(jm["extraFood"].Int(), 3);
    EXPECT_TRUE(jm["introPending"].boolean);
    EXPECT_FALSE(jm["pointsPhase"].boolean);
    EXPECT_EQ(jm["endChoice"].Int(), 2);
    EXPECT_EQ(jm["playerOut"].items[0].boolean, false);
    EXPECT_EQ(jm["playerOut"].items[1].boolean, true);
    EXPECT_EQ(jm["pointsDue"].items[0].boolean, true);
    EXPECT_EQ(jm["names"].items[0].text, "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(jm["names"].items[1].text, "Q");

    const Json& level = s["level"];
    EXPECT_EQ(level["title"].text, "THE TITLE");
    EXPECT_EQ(level["target"].Int(), 21);
    EXPECT_EQ(level["foodCount"].Int(), 12);
    EXPECT_EQ(level["chanceC"].Int(), 20);
    EXPECT_EQ(level["start1"].Ints(), (std::vector<int>{17, 13}));
    EXPECT_EQ(level["start2"].Ints(), (std::vector<int>{1, 2}));

    const Json& jw = s["worms"].items[1];
    EXPECT_TRUE(jw["active"].boolean);
    EXPECT_TRUE(jw["exitOpen"].boolean);
    EXPECT_FALSE(jw["jumping"].boolean);
    EXPECT_EQ(jw["length"].Int(), 9);
    EXPECT_EQ(jw["pendingGrowth"].Int(), 4);
    EXPECT_EQ(jw["shield"].Int(), -3);
    EXPECT_EQ(jw["heading"].Int(), 3);
    EXPECT_EQ(jw["head"].Ints(), (std::vector<int>{6, 11}));
    // Floats are written with every digit a 32-bit float needs.
    EXPECT_EQ(jw["speed"].Float(), 2.4f);
    EXPECT_EQ(jw["maxSpeed"].Float(), 3.9f);
    EXPECT_EQ(jw["stepProgress"].Float(), 31.9999981f);
    EXPECT_EQ(jw["stats"]["velocity"].Float(), 4.99999762f);
    EXPECT_EQ(jw["stats"]["acceleration"].Float(), 0.07f);
    EXPECT_EQ(jw["stats"]["plasmaShields"].Int(), 200);
    EXPECT_EQ(jw["stats"]["lives"].Int(), 0);
    EXPECT_EQ(jw["ship"].Int(), 1);
    EXPECT_FALSE(s["worms"].items[0]["active"].boolean);

    // Slots in use only, in slot order, eaten ones included.
    ASSERT_EQ(s["food"].items.size(), 2u);
    EXPECT_EQ(s["food"].items[0]["x"].Int(), 3);
    EXPECT_EQ(s["food"].items[0]["y"].Int(), 4);
    EXPECT_EQ(s["food"].items[0]["cellType"].Int(), 1);
    EXPECT_EQ(s["food"].items[0]["spriteIndex"].Int(), 2);
    EXPECT_EQ(s["food"].items[1]["cellType"].Int(), 4);
    EXPECT_EQ(s["food"].items[1]["x"].Int(), 8);
}

TEST(GameStateJson, SetupScreenAndPlayerSetup) {
    auto game = std::make_unique<Game>();
    SetupScreen& setup = game->setupScreen;
    setup.player1Active = 0;
    setup.player2Active = 1;
    setup.clickLatch = 1;
    setup.selectedShip = 1;
    std::strcpy(setup.nameEntry.text, "JO<");
    setup.nameEntry.length = 2;
    std::strcpy(game->playerSetup.name1, "ANNA");
    game->playerSetup.ship1 = 0;

    Json s = Parse(GameStateJson(*game, 0));
    EXPECT_FALSE(s["setup"]["player1Active"].boolean);
    EXPECT_TRUE(s["setup"]["player2Active"].boolean);
    EXPECT_TRUE(s["setup"]["clickLatch"].boolean);
    EXPECT_EQ(s["setup"]["selectedShip"].Int(), 1);
    EXPECT_EQ(s["setup"]["nameText"].text, "JO<");
    EXPECT_EQ(s["setup"]["nameLength"].Int(), 2);
    EXPECT_EQ(s["playerSetup"]["name1"].text, "ANNA");
    EXPECT_EQ(s["playerSetup"]["ship1"].Int(), 0);
    EXPECT_EQ(s["playerSetup"]["name2"].text, "");
}
