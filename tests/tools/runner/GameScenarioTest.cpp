// Whole games on the real voidcrawl-headless binary: the high-score tables,
// the set-up screen, and matches played by the runner's autopilot.
#include <chrono>
#include <cstdio>
#include <regex>

#include "RunnerScenario.h"

using namespace runner_test;

namespace {

// A high-score record: 32 bytes in the table files.
struct Record {
    int32_t score;
    std::string name;
    int32_t lengthTotal;
    int32_t level;
};

std::string TableBytes(const std::vector<Record>& records) {
    std::string bytes(32 * records.size(), '\0');
    for (size_t i = 0; i < records.size(); ++i) {
        PutInt32(&bytes, 32 * i, records[i].score);
        std::memcpy(&bytes[32 * i + 4], records[i].name.data(), std::min<size_t>(records[i].name.size(), 19));
        PutInt32(&bytes, 32 * i + 24, records[i].lengthTotal);
        PutInt32(&bytes, 32 * i + 28, records[i].level);
    }
    return bytes;
}

Record RecordAt(const std::string& file, int index) {
    auto at = [&](size_t offset) {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= uint32_t{static_cast<uint8_t>(file[32 * index + offset + i])} << (8 * i);
        return static_cast<int32_t>(v);
    };
    const char* name = file.c_str() + 32 * index + 4;
    return Record{at(0), std::string(name, strnlen(name, 20)), at(24), at(28)};
}

void ExpectRecords(const Json& table, const std::vector<Record>& expected, const std::string& what) {
    ASSERT_EQ(table["records"].items.size(), 10u) << what;
    for (size_t i = 0; i < 10; ++i) {
        const Json& r = table["records"].items[i];
        const Record want = i < expected.size() ? expected[i] : Record{0, "", 0, 0};
        EXPECT_EQ(r["score"].Int(), want.score) << what << " record " << i;
        EXPECT_EQ(r["name"].text, want.name) << what << " record " << i;
        EXPECT_EQ(r["lengthTotal"].Int(), want.lengthTotal) << what << " record " << i;
        EXPECT_EQ(r["level"].Int(), want.level) << what << " record " << i;
    }
}

// The lines of the runner's event log that match `pattern`.
std::vector<std::string> LogLines(const std::string& out, const std::string& pattern) {
    std::vector<std::string> lines;
    std::istringstream in(out);
    const std::regex re(pattern);
    for (std::string line; std::getline(in, line);)
        if (std::regex_search(line, re)) lines.push_back(line);
    return lines;
}

}  // namespace

TEST_F(RunnerScenario, HighScoreTablesAreShownAndSwitchedWithoutWritingThem) {
    const std::vector<Record> easy = {
        {300, "ANN", 10, 1},  {0, "", 0, 0},      {1200, "BOB", 30, 3}, {50, "CAT", 40, 4},
        {1200, "DAN", 50, 5}, {0, "", 0, 0},      {7, "\xC5KE", 70, 7}, {999, "EVE", 80, 8},
        {0, "", 0, 0},        {450, "FAYE ELLINGTO", 100, 10},
    };
    // The medium table's file ends four bytes into its fourth record: only
    // that record's score is read. The hard table has no file.
    const std::vector<Record> medium = {{5000, "H0", 1, 2}, {7000, "H1", 3, 4}, {6000, "H2", 5, 6}, {80, "XX", 9, 9}};
    WriteBytes(Data() / "teasy.dat", TableBytes(easy));
    WriteBytes(Data() / "tmed.dat", TableBytes(medium).substr(0, 100));
    const char* names[2] = {"teasy.dat", "tmed.dat"};
    const std::string files[2] = {ReadFile(Data() / names[0]), ReadFile(Data() / names[1])};
    const fs::file_time_type times[2] = {fs::last_write_time(Data() / names[0]), fs::last_write_time(Data() / names[1])};

    // Menu item 2 opens the table of the menu's difficulty; the labels at the
    // bottom switch tables; the back button returns to the menu. Then the
    // menu's difficulty is set to medium, the table opened again and left
    // with Esc.
    RunResult r = Run(ClickItem(kMenuReady, 2) + "153 state easy.json\n" + Click(160, 319, 465) +
                      "163 state medium.json\n" + Click(170, 393, 465) + "173 state hard.json\n" +
                      Click(180, 66, 62) + "183 state menu.json\n" + Click(200, 528, 465) +
                      "203 state menumedium.json\n" + ClickItem(210, 2) + "213 state again.json\n" +
                      "220 press esc\n221 release esc\n" + "222 state left.json\n");
    ASSERT_EQ(r.status, 0) << r.err;

    Json s = State("easy.json");
    ExpectValues(s, {{"gameState", 3}, {"highScores.difficulty", 0}});
    ExpectRecords(s["highScores"], easy, "easy");
    // Descending scores; of the two 1200s the later record comes first, and
    // the empty records keep the order the sort leaves them in.
    EXPECT_EQ(s["highScores"]["order"].Ints(), (std::vector<int>{4, 2, 7, 9, 0, 3, 6, 5, 8, 1}));

    const std::vector<Record> mediumRead = {medium[0], medium[1], medium[2], {80, "", 0, 0}};
    s = State("medium.json");
    ExpectValues(s, {{"gameState", 3}, {"highScores.difficulty", 1}});
    ExpectRecords(s["highScores"], mediumRead, "medium");
    EXPECT_EQ(s["highScores"]["order"].Ints(), (std::vector<int>{1, 2, 0, 3, 4, 5, 6, 7, 8, 9}));

    s = State("hard.json");
    ExpectValues(s, {{"highScores.difficulty", 2}});
    ExpectRecords(s["highScores"], {}, "hard");
    ExpectValues(State("menu.json"), {{"gameState", 2}});
    ExpectValues(State("menumedium.json"), {{"difficulty", 1}});
    s = State("again.json");
    ExpectValues(s, {{"gameState", 3}});
    ExpectRecords(s["highScores"], mediumRead, "medium again");
    ExpectValues(State("left.json"), {{"gameState", 2}});
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(ReadFile(Data() / names[i]), files[i]) << names[i];
        EXPECT_EQ(fs::last_write_time(Data() / names[i]), times[i]) << names[i];
    }
    EXPECT_FALSE(fs::exists(Data() / "thard.dat"));
}

TEST_F(RunnerScenario, OnePlayerSetUpThenAnUnsteeredWormCrashesUntilOut) {
    // A small walled box full of big food and a target no worm reaches:
    // the worm flies into the walls, eats whatever lies in its way, is
    // restarted with SPACE after each death and is out after three lives.
    TestLevel level;
    level.target = 900;
    level.foodCount = 17;
    level.chanceA = level.chanceB = level.chanceC = 0;  // nearly all food is the 1400-point kind
    level.map = std::vector<std::string>(14, "####################");
    for (int y = 3; y <= 9; ++y) level.map[y] = "##........##########";
    level.map[6] = "##...1....##########";
    level.map[8] = "##......2.##########";
    WriteBytes(Data() / "L0.DAT", LevelFileBytes(level));

    // ONE PLAYER, the name, the right arrow (ship 1), Enter.
    RunResult r = Run(ClickItem(kMenuReady, 0) + "153 state setup.json\n" + Type(160, "zed") +
                          "166 state typed.json\n" + Click(170, 266, 301) +
                          "180 press enter\n180 state play.json\n181 release enter\n",
                      "--autopilot --autopilot-steer none --seed 11 --final-state final.json");
    ASSERT_EQ(r.status, 0) << r.err;

    // The ships as set up at start-up, before anyone confirmed.
    ExpectValues(State("setup.json"),
                 {{"gameState", 1}, {"setup.selectedShip", 0}, {"playerSetup.ship1", 1}, {"playerSetup.ship2", 2}});
    Json s = State("typed.json");
    ExpectValues(s, {{"setup.nameLength", 3}});
    const std::string text = s["setup"]["nameText"].text;
    EXPECT_TRUE(text == "ZED" || text == "ZED<") << text;  // the cursor blinks

    s = State("play.json");
    ExpectValues(s, {{"gameState", 0}, {"match.introPending", 1}, {"match.players", 1}, {"match.playerOut.1", 1},
                     {"match.targetFactor", 0.699999988}, {"worms.0.ship", 1}, {"worms.0.stats.plasmaShields", 140},
                     {"worms.0.stats.lives", 3}});
    EXPECT_EQ(s["match"]["names"].items[0].text, "ZED");
    // Ship 1's speeds, exactly as 32-bit floats.
    EXPECT_EQ(At(s, "worms.0.stats.velocity").Float(), 2.1f);
    EXPECT_EQ(At(s, "worms.0.stats.acceleration").Float(), 0.03f);
    EXPECT_FALSE(s["food"].items.empty());
    for (const Json& f : s["food"].items) EXPECT_EQ(f["cellType"].Int(), 1);

    EXPECT_EQ(LogLines(r.out, "player 1 lost a life").size(), 3u) << r.out;
    EXPECT_EQ(LogLines(r.out, "game over at level 1 ").size(), 1u) << r.out;
    EXPECT_TRUE(LogLines(r.out, "left level").empty()) << r.out;
    s = State("final.json");
    // The target is 900 x 0.699999988, truncated.
    ExpectValues(s, {{"match.resultsSaved", 1}, {"match.playerOut.0", 1}, {"level.target", 629},
                     {"worms.0.stats.lives", 0}, {"match.gameOverCue", 175}, {"highScores.records.0.fresh", 1},
                     {"highScores.records.1.fresh", 0}});
    const int score = s["worms"].items[0]["score"].Int();
    const int lengthTotal = s["worms"].items[0]["lengthTotal"].Int();
    ASSERT_GT(score, 0) << "the box is meant to feed the worm more than play drains";
    EXPECT_GE(lengthTotal, 6);  // at least head and tail end at each of three deaths

    // The result in the first record of the (empty) table, the name padded
    // with zeros, the other nine records empty.
    const std::string file = ReadFile(Data() / "teasy.dat");
    ASSERT_EQ(file.size(), 320u);
    const Record first = RecordAt(file, 0);
    EXPECT_EQ(first.score, score);
    EXPECT_EQ(first.lengthTotal, lengthTotal);
    EXPECT_EQ(first.level, 1);
    EXPECT_EQ(file.substr(4, 20), std::string("ZED") + std::string(17, '\0'));
    EXPECT_EQ(file.substr(32), std::string(288, '\0'));
    ExpectRecords(s["highScores"], {first}, "after the game");
}

TEST_F(RunnerScenario, TwoPlayerSetUpThenPlayerTwoRunsOut) {
    // Player 2 starts walled in and dies at every start; player 1 is steered
    // by the autopilot. Level 1's target and food are those of a two-player
    // game; once player 2 is out, level 2 has the one-player food count and
    // a target scaled by a factor 0.2 higher.
    TestLevel first;
    first.foodCount = 6;
    first.map = std::vector<std::string>(14, "....................");
    first.map[8] = "..........1.........";
    first.map[1] = "###.................";
    first.map[2] = "#2#.................";
    first.map[3] = "###.................";
    TestLevel second = first;
    second.title = "SECOND";
    second.foodCount = 7;
    WriteBytes(Data() / "L0.DAT", LevelFileBytes(first));
    WriteBytes(Data() / "L1.DAT", LevelFileBytes(second));

    // Enter held from player 1's name into player 2's does not confirm
    // player 2 until it is released and pressed again.
    RunResult r = Run(ClickItem(kMenuReady, 1) + Type(160, "ab") +
                          "164 press enter\n166 state held1.json\n174 state held2.json\n175 release enter\n"
                          "177 state released.json\n" +
                          Type(180, "cd") + "186 press enter\n186 state play.json\n187 release enter\n",
                      "--autopilot --autopilot-steer 1 --seed 5 --until-level 2 --final-state final.json");
    ASSERT_EQ(r.status, 0) << r.err;

    for (const char* name : {"held1.json", "held2.json"}) {
        Json s = State(name);
        ExpectValues(s, {{"gameState", 1}, {"setup.player2Active", 1}, {"setup.clickLatch", 1},
                         {"setup.nameLength", 0}, {"playerSetup.ship1", 0}}, name);
        EXPECT_EQ(s["playerSetup"]["name1"].text, "AB") << name;
    }
    ExpectValues(State("released.json"), {{"setup.clickLatch", 0}});
    Json s = State("play.json");
    ExpectValues(s, {{"gameState", 0}, {"playerSetup.ship2", 0}});
    EXPECT_EQ(s["match"]["names"].items[1].text, "CD");

    EXPECT_EQ(LogLines(r.out, "intro").size(), 2u) << r.out;
    EXPECT_EQ(LogLines(r.out, "level 1 intro \\(target 5, food 9, targetFactor 0.5, extraFood 3\\)").size(), 1u);
    EXPECT_EQ(LogLines(r.out, "level 2 intro \\(target 6, food 7, targetFactor 0.699999988, extraFood 0\\)").size(), 1u);
    EXPECT_EQ(LogLines(r.out, "player 2 lost a life").size(), 3u) << r.out;
    EXPECT_EQ(LogLines(r.out, "player 2 out.*\\(targetFactor 0.699999988, extraFood 0\\)").size(), 1u) << r.out;
    EXPECT_EQ(LogLines(r.out, "player 1 left level 1").size(), 1u) << r.out;
    EXPECT_TRUE(LogLines(r.out, "player 1 lost a life").empty()) << r.out;

    s = State("final.json");
    // The target is 10 x 0.699999988, truncated.
    ExpectValues(s, {{"match.levelIndex", 1}, {"match.introPending", 1}, {"match.playerOut.1", 1}, {"level.target", 6}});
    EXPECT_EQ(s["level"]["title"].text, "SECOND");
    EXPECT_EQ(s["food"].items.size(), 7u);
}

TEST_F(RunnerScenario, AutopilotStartsAGameOfTheChosenDifficultyFromTheMenu) {
    RunResult r = Run("", "--autopilot --autopilot-difficulty 2 --until-level 1 --final-state intro.json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(LogLines(r.out, "level 1 intro").size(), 1u) << r.out;
    EXPECT_TRUE(LogLines(r.out, "game over").empty()) << r.out;
    Json s = State("intro.json");
    ExpectValues(s, {{"gameState", 0}, {"match.difficulty", 2}, {"match.introPending", 1}});
    EXPECT_EQ(s["match"]["targetFactor"].Float(), 1.17f);
    EXPECT_EQ(s["match"]["names"].items[0].text, "AUTOPILOT");
    EXPECT_FALSE(fs::exists(Data() / "thard.dat"));
}

TEST_F(RunnerScenario, AutopilotCompletesAllTwentyLevels) {
    // No script: the autopilot starts a one-player game on easy from the
    // menu itself, and the run ends once the game-over table is shown.
    const auto start = std::chrono::steady_clock::now();
    RunResult r = Run("", "--autopilot --seed 2024 --final-state final.json");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(r.status, 0) << r.err;
    for (int level = 1; level <= 20; ++level) {
        const std::string n = std::to_string(level);
        EXPECT_EQ(LogLines(r.out, "level " + n + " intro").size(), 1u) << "level " << level;
        EXPECT_EQ(LogLines(r.out, "player 1 left level " + n + " ").size(), 1u) << "level " << level << "\n" << r.out;
    }
    EXPECT_EQ(LogLines(r.out, "game over at level 20, all levels done").size(), 1u) << r.out;
    // Every jump ended within its allowance and every finished level ended.
    EXPECT_EQ(LogLines(r.out, "^liveness: jumps=20 .* ok$").size(), 1u) << r.out;

    Json s = State("final.json");
    ExpectValues(s, {{"match.allLevelsDone", 1}, {"match.resultsSaved", 1}, {"worms.0.exited", 1}});
    const std::string file = ReadFile(Data() / "teasy.dat");
    ASSERT_EQ(file.size(), 320u);
    const Record best = RecordAt(file, 0);
    EXPECT_EQ(best.name, "AUTOPILOT");
    EXPECT_EQ(best.level, 20);
    EXPECT_EQ(best.score, s["worms"].items[0]["score"].Int());
    EXPECT_GT(best.score, 0);

    const int frames = s["frame"].Int() + 1;
    RecordProperty("frames", frames);
    std::printf("[ autopilot ] twenty levels in %d frames, %.2f s headless (%.1f us a frame)\n", frames, seconds,
                seconds * 1e6 / frames);
}
