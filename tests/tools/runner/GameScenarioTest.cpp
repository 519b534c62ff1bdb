// Whole games on the real voidcrawl-headless binary: the high-score tables,
// the set-up screen, and matches played by the runner's autopilot.
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <regex>

#include "RunnerScenario.h"

using namespace runner_test;

namespace {

// ---- high-score files ----------------------------------------------------------

struct Record {
    int32_t score;
    std::string name;
    int32_t lengthTotal;
    int32_t level;
};

std::string RecordBytes(const Record& r) {
    std::string bytes(32, '\0');
    auto put = [&bytes](size_t offset, int32_t v) {
        for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF);
    };
    put(0, r.score);
    std::memcpy(&bytes[4], r.name.data(), std::min<size_t>(r.name.size(), 19));
    put(24, r.lengthTotal);
    put(28, r.level);
    return bytes;
}

std::string TableBytes(const std::vector<Record>& records) {
    std::string bytes;
    for (const Record& r : records) bytes += RecordBytes(r);
    return bytes;
}

int32_t Int32At(const std::string& bytes, size_t offset) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[offset + i])) << (8 * i);
    return static_cast<int32_t>(v);
}

// The record at `index` of a table file.
Record RecordAt(const std::string& file, int index) {
    const size_t base = static_cast<size_t>(index) * 32;
    Record r;
    r.score = Int32At(file, base);
    r.name = std::string(file.c_str() + base + 4, strnlen(file.c_str() + base + 4, 20));
    r.lengthTotal = Int32At(file, base + 24);
    r.level = Int32At(file, base + 28);
    return r;
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

int64_t ModTime(const fs::path& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// ---- scripts ---------------------------------------------------------------------

// A click: the pointer moves at `frame`, the button goes down on the next
// pass and up two passes later. The screens see it on the pass after it
// went down.
std::string Click(int frame, int x, int y) {
    return Mouse(frame, x, y) + std::to_string(frame + 1) + " press lmb\n" + std::to_string(frame + 3) +
           " release lmb\n";
}

// One key press a pass, released on the next: "frame press k / frame+1 release k".
std::string Type(int frame, const std::string& keys) {
    std::string s;
    for (char c : keys) {
        const std::string key(1, c);
        s += std::to_string(frame) + " press " + key + "\n" + std::to_string(frame + 1) + " release " + key + "\n";
        frame += 2;
    }
    return s;
}

const int kMenuReady = 150;  // the menu has slid in

// The lines of the runner's event log that match `pattern`.
std::vector<std::string> LogLines(const std::string& out, const std::string& pattern) {
    std::vector<std::string> lines;
    std::istringstream in(out);
    std::string line;
    const std::regex re(pattern);
    while (std::getline(in, line))
        if (std::regex_search(line, re)) lines.push_back(line);
    return lines;
}

}  // namespace

// ---- high scores --------------------------------------------------------------------

TEST_F(RunnerScenario, HighScoreTablesAreShownAndSwitchedWithoutWritingThem) {
    const std::vector<Record> easy = {
        {300, "ANN", 10, 1},  {0, "", 0, 0},
        {1200, "BOB", 30, 3}, {50, "CAT", 40, 4},
        {1200, "DAN", 50, 5}, {0, "", 0, 0},
        {7, "\xC5KE", 70, 7}, {999, "EVE", 80, 8},
        {0, "", 0, 0},        {450, "FAYE ELLINGTO", 100, 10},
    };
    std::vector<Record> medium;
    for (int i = 0; i < 10; ++i) medium.push_back({10 * (i + 1), "M" + std::to_string(i), i, 20 - i});
    // The hard table's file ends four bytes into its fourth record: only
    // that record's score is read.
    const std::vector<Record> hard = {{5000, "H0", 1, 2}, {7000, "H1", 3, 4}, {6000, "H2", 5, 6}, {80, "XX", 9, 9}};
    WriteBytes(Data() / "teasy.dat", TableBytes(easy));
    WriteBytes(Data() / "tmed.dat", TableBytes(medium));
    WriteBytes(Data() / "thard.dat", TableBytes(hard).substr(0, 100));
    const std::string files[3] = {ReadFile(Data() / "teasy.dat"), ReadFile(Data() / "tmed.dat"),
                                  ReadFile(Data() / "thard.dat")};
    const int64_t times[3] = {ModTime(Data() / "teasy.dat"), ModTime(Data() / "tmed.dat"),
                              ModTime(Data() / "thard.dat")};

    // Menu item 2 opens the table of the menu's difficulty; the labels at the
    // bottom switch tables; the back button returns to the menu. Then the
    // menu's difficulty is set to medium and the table opened again.
    const std::string script = MouseOnItem(kMenuReady, 2) + "151 press lmb\n153 release lmb\n153 state easy.json\n" +
                               Click(160, 319, 465) + "163 state medium.json\n" + Click(170, 393, 465) +
                               "173 state hard.json\n" + Click(180, 66, 62) + "183 state menu.json\n" +
                               Click(200, 528, 465) + "203 state menumedium.json\n" + MouseOnItem(210, 2) +
                               "211 press lmb\n213 release lmb\n213 state again.json\n";
    RunResult r = Run(script);
    ASSERT_EQ(r.status, 0) << r.err;

    Json s = State("easy.json");
    EXPECT_EQ(s["gameState"].Int(), 3);
    EXPECT_EQ(s["highScores"]["difficulty"].Int(), 0);
    ExpectRecords(s["highScores"], easy, "easy");
    // Descending scores; of the two 1200s the later record comes first, and
    // the empty records keep the order the sort leaves them in.
    EXPECT_EQ(s["highScores"]["order"].Ints(), (std::vector<int>{4, 2, 7, 9, 0, 3, 6, 5, 8, 1}));

    s = State("medium.json");
    EXPECT_EQ(s["gameState"].Int(), 3);
    EXPECT_EQ(s["highScores"]["difficulty"].Int(), 1);
    ExpectRecords(s["highScores"], medium, "medium");
    EXPECT_EQ(s["highScores"]["order"].Ints(), (std::vector<int>{9, 8, 7, 6, 5, 4, 3, 2, 1, 0}));

    s = State("hard.json");
    EXPECT_EQ(s["highScores"]["difficulty"].Int(), 2);
    ExpectRecords(s["highScores"], {hard[0], hard[1], hard[2], {80, "", 0, 0}}, "hard");
    EXPECT_EQ(s["highScores"]["order"].Ints(), (std::vector<int>{1, 2, 0, 3, 4, 5, 6, 7, 8, 9}));

    EXPECT_EQ(State("menu.json")["gameState"].Int(), 2);
    EXPECT_EQ(State("menumedium.json")["difficulty"].Int(), 1);
    s = State("again.json");
    EXPECT_EQ(s["gameState"].Int(), 3);
    EXPECT_EQ(s["highScores"]["difficulty"].Int(), 1);
    ExpectRecords(s["highScores"], medium, "medium again");

    const char* names[3] = {"teasy.dat", "tmed.dat", "thard.dat"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ReadFile(Data() / names[i]), files[i]) << names[i] << " was rewritten";
        EXPECT_EQ(ModTime(Data() / names[i]), times[i]) << names[i] << " was touched";
    }
}

TEST_F(RunnerScenario, MissingHighScoreFileIsAnEmptyTableAndStaysMissing) {
    RunResult r = Run(MouseOnItem(kMenuReady, 2) + "151 press lmb\n153 release lmb\n153 state easy.json\n" +
                      Click(160, 393, 465) + "163 state hard.json\n" +
                      "170 press esc\n171 release esc\n"
                      "172 state menu.json\n");
    ASSERT_EQ(r.status, 0) << r.err;
    ExpectRecords(State("easy.json")["highScores"], {}, "easy");
    Json hard = State("hard.json");
    EXPECT_EQ(hard["highScores"]["difficulty"].Int(), 2);
    ExpectRecords(hard["highScores"], {}, "hard");
    EXPECT_EQ(State("menu.json")["gameState"].Int(), 2);
    for (const char* name : {"teasy.dat", "tmed.dat", "thard.dat"}) EXPECT_FALSE(fs::exists(Data() / name)) << name;
}

// ---- set-up ---------------------------------------------------------------------------

TEST_F(RunnerScenario, SetupTakesNameAndShipAndStartsTheMatch) {
    // ONE PLAYER, the name, the right arrow (ship 1), Enter.
    RunResult r = Run(MouseOnItem(kMenuReady, 0) + "151 press lmb\n153 release lmb\n153 state setup.json\n" +
                      Type(160, "abc") + "166 state typed.json\n" + Click(170, 266, 301) +
                      "174 state ship.json\n180 press enter\n180 state play.json\n181 release enter\n"
                      "185 state intro.json\n");
    ASSERT_EQ(r.status, 0) << r.err;

    Json s = State("setup.json");
    EXPECT_EQ(s["gameState"].Int(), 1);
    EXPECT_TRUE(s["setup"]["player1Active"].boolean);
    EXPECT_EQ(s["setup"]["selectedShip"].Int(), 0);
    EXPECT_EQ(s["setup"]["nameLength"].Int(), 0);
    EXPECT_EQ(s["playerSetup"]["ship1"].Int(), 1);  // as set up at start-up, before anyone confirmed
    EXPECT_EQ(s["playerSetup"]["ship2"].Int(), 2);

    s = State("typed.json");
    EXPECT_EQ(s["setup"]["nameLength"].Int(), 3);
    const std::string text = s["setup"]["nameText"].text;
    EXPECT_TRUE(text == "ABC" || text == "ABC<") << text;  // the cursor blinks

    s = State("ship.json");
    EXPECT_EQ(s["gameState"].Int(), 1);
    EXPECT_EQ(s["setup"]["selectedShip"].Int(), 1);
    EXPECT_EQ(s["setup"]["nameLength"].Int(), 3);

    s = State("play.json");
    EXPECT_EQ(s["gameState"].Int(), 0);
    EXPECT_EQ(s["playerSetup"]["name1"].text, "ABC");
    EXPECT_EQ(s["playerSetup"]["ship1"].Int(), 1);
    EXPECT_EQ(s["playerSetup"]["ship2"].Int(), 2);
    const Json& m = s["match"];
    EXPECT_TRUE(m["introPending"].boolean);
    EXPECT_TRUE(m["inPlay"].boolean);
    EXPECT_EQ(m["players"].Int(), 1);
    EXPECT_EQ(m["levelIndex"].Int(), 0);
    EXPECT_EQ(m["names"].items[0].text, "ABC");
    EXPECT_EQ(m["playerOut"].items[1].boolean, true);
    EXPECT_NEAR(m["targetFactor"].number, 0.699999988, 1e-12);
    ASSERT_EQ(s["level"].kind, Json::Object);
    EXPECT_EQ(s["worms"].items.size(), 2u);
    const Json& worm = s["worms"].items[0];
    EXPECT_EQ(worm["ship"].Int(), 1);
    EXPECT_FALSE(worm["active"].boolean);
    // Ship 1's base values, the speeds exactly as 32-bit floats.
    EXPECT_EQ(worm["stats"]["velocity"].Float(), 2.1f);
    EXPECT_EQ(worm["stats"]["acceleration"].Float(), 0.03f);
    EXPECT_EQ(worm["stats"]["plasmaShields"].Int(), 140);
    EXPECT_EQ(worm["stats"]["maxWarpGates"].Int(), 1);
    EXPECT_EQ(worm["stats"]["lives"].Int(), 3);
    EXPECT_FALSE(s["food"].items.empty());
    for (const Json& f : s["food"].items) {
        EXPECT_EQ(f["cellType"].Int(), 1);
        EXPECT_GE(f["y"].Int(), 1);
    }
    EXPECT_TRUE(State("intro.json")["match"]["introPending"].boolean);
}

TEST_F(RunnerScenario, EnterHeldAfterPlayerOneDoesNotConfirmPlayerTwo) {
    RunResult r = Run(MouseOnItem(kMenuReady, 1) + "151 press lmb\n153 release lmb\n" + Type(160, "ab") +
                      "164 press enter\n166 state held1.json\n174 state held2.json\n175 release enter\n"
                      "177 state released.json\n" +
                      Type(180, "cd") + "186 press enter\n186 state play.json\n187 release enter\n");
    ASSERT_EQ(r.status, 0) << r.err;

    for (const char* name : {"held1.json", "held2.json"}) {
        Json s = State(name);
        EXPECT_EQ(s["gameState"].Int(), 1) << name;
        EXPECT_FALSE(s["setup"]["player1Active"].boolean) << name;
        EXPECT_TRUE(s["setup"]["player2Active"].boolean) << name;
        EXPECT_TRUE(s["setup"]["clickLatch"].boolean) << name;
        EXPECT_EQ(s["setup"]["nameLength"].Int(), 0) << name;
        EXPECT_EQ(s["playerSetup"]["name1"].text, "AB") << name;
        EXPECT_EQ(s["playerSetup"]["ship1"].Int(), 0) << name;
        EXPECT_EQ(s["playerSetup"]["ship2"].Int(), 2) << name;
    }
    Json s = State("released.json");
    EXPECT_EQ(s["gameState"].Int(), 1);
    EXPECT_TRUE(s["setup"]["player2Active"].boolean);
    EXPECT_FALSE(s["setup"]["clickLatch"].boolean);

    s = State("play.json");
    EXPECT_EQ(s["gameState"].Int(), 0);
    EXPECT_EQ(s["playerSetup"]["name1"].text, "AB");
    EXPECT_EQ(s["playerSetup"]["name2"].text, "CD");
    EXPECT_EQ(s["playerSetup"]["ship2"].Int(), 0);
    EXPECT_EQ(s["match"]["players"].Int(), 2);
    EXPECT_EQ(s["match"]["names"].items[1].text, "CD");
    EXPECT_NEAR(s["match"]["targetFactor"].number, 0.5, 1e-12);
    EXPECT_EQ(s["match"]["extraFood"].Int(), 3);
    EXPECT_FALSE(s["match"]["playerOut"].items[1].boolean);
}

// ---- matches ------------------------------------------------------------------------------

TEST_F(RunnerScenario, UnsteeredWormCrashesUntilOutAndTheResultIsSaved) {
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

    const std::string menu = MouseOnItem(kMenuReady, 0) + "151 press lmb\n153 release lmb\n" + Type(160, "zed") +
                             "170 press enter\n171 release enter\n";
    RunResult r = Run(menu, "--autopilot --autopilot-steer none --seed 11 --final-state final.json");
    ASSERT_EQ(r.status, 0) << r.err;

    EXPECT_EQ(LogLines(r.out, "player 1 lost a life").size(), 3u) << r.out;
    ASSERT_EQ(LogLines(r.out, "game over at level 1 ").size(), 1u) << r.out;
    EXPECT_TRUE(LogLines(r.out, "left level").empty()) << r.out;

    Json s = State("final.json");
    const Json& m = s["match"];
    EXPECT_EQ(s["gameState"].Int(), 0);
    EXPECT_TRUE(m["resultsSaved"].boolean);
    EXPECT_TRUE(m["playerOut"].items[0].boolean);
    EXPECT_FALSE(m["allLevelsDone"].boolean);
    EXPECT_EQ(m["levelIndex"].Int(), 0);
    EXPECT_EQ(s["level"]["target"].Int(), 629);  // 900 x 0.699999988, truncated
    const Json& worm = s["worms"].items[0];
    EXPECT_EQ(worm["stats"]["lives"].Int(), 0);
    EXPECT_FALSE(worm["active"].boolean);
    const int score = worm["score"].Int();
    const int lengthTotal = worm["lengthTotal"].Int();
    ASSERT_GT(score, 0) << "the box is meant to feed the worm more than play drains";
    EXPECT_GE(lengthTotal, 6);  // at least head and tail end at each of three deaths

    // The table file: the game's result in the first record (the table was
    // empty), name padded with zeros, the other nine records empty.
    const std::string file = ReadFile(Data() / "teasy.dat");
    ASSERT_EQ(file.size(), 320u);
    const Record first = RecordAt(file, 0);
    EXPECT_EQ(first.score, score);
    EXPECT_EQ(first.name, "ZED");
    EXPECT_EQ(first.lengthTotal, lengthTotal);
    EXPECT_EQ(first.level, 1);
    EXPECT_EQ(file.substr(4, 20), std::string("ZED") + std::string(17, '\0'));
    EXPECT_EQ(file.substr(32), std::string(288, '\0'));
    ExpectRecords(s["highScores"], {first}, "after the game");
    EXPECT_EQ(s["highScores"]["difficulty"].Int(), 0);
}

TEST_F(RunnerScenario, TwoPlayerGameWherePlayerTwoRunsOut) {
    // Player 2 starts walled in and dies at every start; player 1 is steered
    // by the autopilot. Level 1's target and food are those of a two-player
    // game; once player 2 is out, level 2 has the one-player food count and
    // a target scaled by a factor 0.2 higher.
    TestLevel first;
    first.target = 10;
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

    const std::string menu = MouseOnItem(kMenuReady, 1) + "151 press lmb\n153 release lmb\n" + Type(160, "p") +
                             "162 press enter\n163 release enter\n" + Type(170, "q") +
                             "172 press enter\n173 release enter\n";
    RunResult r = Run(menu, "--autopilot --autopilot-steer 1 --seed 5 --until-level 2 --final-state final.json");
    ASSERT_EQ(r.status, 0) << r.err;

    const std::vector<std::string> intros = LogLines(r.out, "intro");
    ASSERT_EQ(intros.size(), 2u) << r.out;
    EXPECT_NE(intros[0].find("level 1 intro (target 5, food 9, targetFactor 0.5, extraFood 3)"), std::string::npos)
        << intros[0];
    EXPECT_NE(intros[1].find("level 2 intro (target 6, food 7, targetFactor 0.699999988, extraFood 0)"),
              std::string::npos)
        << intros[1];
    EXPECT_EQ(LogLines(r.out, "player 2 lost a life").size(), 3u) << r.out;
    const std::vector<std::string> out = LogLines(r.out, "player 2 out");
    ASSERT_EQ(out.size(), 1u) << r.out;
    EXPECT_NE(out[0].find("(targetFactor 0.699999988, extraFood 0)"), std::string::npos) << out[0];
    EXPECT_EQ(LogLines(r.out, "player 1 left level 1").size(), 1u) << r.out;
    EXPECT_TRUE(LogLines(r.out, "player 1 lost a life").empty()) << r.out;

    Json s = State("final.json");
    const Json& m = s["match"];
    EXPECT_EQ(m["levelIndex"].Int(), 1);
    EXPECT_TRUE(m["introPending"].boolean);
    EXPECT_EQ(m["targetFactor"].Float(), 0.7f);
    EXPECT_EQ(m["extraFood"].Int(), 0);
    EXPECT_FALSE(m["playerOut"].items[0].boolean);
    EXPECT_TRUE(m["playerOut"].items[1].boolean);
    EXPECT_EQ(s["level"]["title"].text, "SECOND");
    EXPECT_EQ(s["level"]["target"].Int(), 6);  // 10 x 0.699999988, truncated
    EXPECT_EQ(s["food"].items.size(), 7u);
    EXPECT_EQ(s["worms"].items[1]["stats"]["lives"].Int(), 0);
    EXPECT_GT(s["worms"].items[0]["points"].Int() + s["worms"].items[0]["score"].Int(), 0);
}

TEST_F(RunnerScenario, AutopilotStartsAGameOfTheChosenDifficultyFromTheMenu) {
    RunResult r = Run("", "--autopilot --autopilot-difficulty 2 --until-level 1 --final-state intro.json");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(LogLines(r.out, "level 1 intro").size(), 1u) << r.out;
    Json s = State("intro.json");
    EXPECT_EQ(s["gameState"].Int(), 0);
    EXPECT_EQ(s["difficulty"].Int(), 2);
    const Json& m = s["match"];
    EXPECT_EQ(m["difficulty"].Int(), 2);
    EXPECT_EQ(m["players"].Int(), 1);
    EXPECT_TRUE(m["introPending"].boolean);
    EXPECT_EQ(m["targetFactor"].Float(), 1.17f);
    EXPECT_EQ(m["names"].items[0].text, "AUTOPILOT");
    EXPECT_EQ(s["highScores"]["difficulty"].Int(), 2);
    EXPECT_EQ(s["playerSetup"]["ship1"].Int(), 0);
    // Only the runner's own end: no game over, nothing saved.
    EXPECT_TRUE(LogLines(r.out, "game over").empty()) << r.out;
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
        EXPECT_EQ(LogLines(r.out, "level " + std::to_string(level) + " intro").size(), 1u) << "level " << level;
        EXPECT_EQ(LogLines(r.out, "player 1 left level " + std::to_string(level) + " ").size(), 1u)
            << "level " << level << "\n"
            << r.out;
    }
    const std::vector<std::string> over = LogLines(r.out, "game over at level 20, all levels done");
    ASSERT_EQ(over.size(), 1u) << r.out;

    Json s = State("final.json");
    const Json& m = s["match"];
    EXPECT_TRUE(m["allLevelsDone"].boolean);
    EXPECT_TRUE(m["resultsSaved"].boolean);
    EXPECT_EQ(m["levelIndex"].Int(), 19);
    const Json& worm = s["worms"].items[0];
    EXPECT_TRUE(worm["exited"].boolean);
    EXPECT_EQ(s["playerSetup"]["name1"].text, "AUTOPILOT");

    const std::string file = ReadFile(Data() / "teasy.dat");
    ASSERT_EQ(file.size(), 320u);
    const Record best = RecordAt(file, 0);
    EXPECT_EQ(best.name, "AUTOPILOT");
    EXPECT_EQ(best.level, 20);
    EXPECT_EQ(best.score, worm["score"].Int());
    EXPECT_EQ(best.lengthTotal, worm["lengthTotal"].Int());
    EXPECT_GT(best.score, 0);

    const int frames = s["frame"].Int() + 1;
    RecordProperty("frames", frames);
    std::printf("[ autopilot ] twenty levels in %d frames, %.2f s headless (%.1f us a frame)\n", frames, seconds,
                seconds * 1e6 / frames);
}
