// Runs the real voidcrawl-headless binary on a copy of the generated data set
// with small scripts, and checks what it reports, writes and shows.
#include "RunnerScenario.h"

using namespace runner_test;

TEST_F(RunnerScenario, StartsOnTheMenuWithTheHumOn) {
    RunResult r = Run("0 state s0.json\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("quit"), std::string::npos);
    Json s = State("s0.json");
    EXPECT_EQ(s["frame"].Int(), 0);
    EXPECT_EQ(s["gameState"].Int(), 2);
    EXPECT_EQ(s["difficulty"].Int(), 0);
    EXPECT_EQ(s["exitBoxShown"].kind, Json::Bool);
    EXPECT_FALSE(s["exitBoxShown"].boolean);
    EXPECT_EQ(s["cursor"]["x"].Int(), 320);
    EXPECT_EQ(s["cursor"]["y"].Int(), 240);
    const Json& menu = s["menu"];
    EXPECT_EQ(menu["difficulty"].Int(), 0);
    EXPECT_EQ(menu["hoveredItem"].Int(), -1);
    EXPECT_EQ(menu["creditsHovered"].Int(), -1);
    EXPECT_EQ(menu["slideX"].Int(), -170);
    EXPECT_TRUE(menu["humOn"].boolean);
    EXPECT_EQ(s["soundsStarted"].kind, Json::Array);
    EXPECT_TRUE(Contains(s["soundsPlaying"].Ints(), 24));
}

TEST_F(RunnerScenario, MenuSlidesInFourPixelsAFrame) {
    // Start-up draws the menu twice before the first pass, so the slide's
    // 138 steps end on pass 135.
    RunResult r = Run(Mouse(0, 600, 20) +
                      "0 state s0.json\n1 state s1.json\n134 state s134.json\n135 state s135.json\n"
                      "200 state s200.json\n");
    ASSERT_EQ(r.status, 0) << r.err;
    const int s0 = State("s0.json")["menu"]["slideOffset"].Int();
    EXPECT_EQ(s0, 640 - 4 * 3);
    EXPECT_EQ(State("s1.json")["menu"]["slideOffset"].Int(), s0 - 4);
    EXPECT_EQ(State("s134.json")["menu"]["slideOffset"].Int(), 92);
    EXPECT_EQ(State("s135.json")["menu"]["slideOffset"].Int(), 88);
    EXPECT_EQ(State("s200.json")["menu"]["slideOffset"].Int(), 88);
    EXPECT_EQ(State("s200.json")["menu"]["hoveredItem"].Int(), -1);
}

TEST_F(RunnerScenario, HoveringAnItemPlaysTheTouchSoundOnce) {
    // The menu tests the pointer where the previous pass left it.
    RunResult r = Run(Mouse(0, 600, 20) + MouseOnItem(150, 3) +
                      "150 state a.json\n151 state b.json\n152 state c.json\n" + MouseOnItem(160, 4) +
                      "161 state d.json\n" + Mouse(170, 600, 20) + "171 state e.json\n");
    ASSERT_EQ(r.status, 0) << r.err;
    Json a = State("a.json");
    EXPECT_EQ(a["cursor"]["x"].Int(), kItemX[3] + kItemW[3] / 2);
    EXPECT_EQ(a["cursor"]["y"].Int(), kItemY[3] + kItemH[3] / 2);
    EXPECT_EQ(a["menu"]["hoveredItem"].Int(), -1);
    EXPECT_FALSE(Contains(a["soundsStarted"].Ints(), 0));

    Json b = State("b.json");
    EXPECT_EQ(b["menu"]["hoveredItem"].Int(), 3);
    EXPECT_EQ(b["soundsStarted"].Ints(), std::vector<int>{0});
    EXPECT_EQ(b["gameState"].Int(), 2);

    Json c = State("c.json");
    EXPECT_EQ(c["menu"]["hoveredItem"].Int(), 3);
    EXPECT_TRUE(c["soundsStarted"].Ints().empty());

    Json d = State("d.json");
    EXPECT_EQ(d["menu"]["hoveredItem"].Int(), 4);
    EXPECT_EQ(d["soundsStarted"].Ints(), std::vector<int>{0});

    Json e = State("e.json");
    EXPECT_EQ(e["menu"]["hoveredItem"].Int(), -1);
    EXPECT_TRUE(e["soundsStarted"].Ints().empty());
}

TEST_F(RunnerScenario, HumSwitchStopsAndRestartsTheHum) {
    // The menu reads the button as the pointer's previous update left it, so
    // a press shows one pass later.
    RunResult r = Run(Mouse(10, 405, 465) +
                      "12 press lmb\n12 state pressed.json\n13 state off.json\n"
                      "14 state held.json\n"
                      "15 release lmb\n17 state released.json\n"
                      "18 press lmb\n19 state on.json\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(State("pressed.json")["menu"]["humOn"].boolean);
    Json off = State("off.json");
    EXPECT_FALSE(off["menu"]["humOn"].boolean);
    EXPECT_FALSE(Contains(off["soundsPlaying"].Ints(), 24));
    Json held = State("held.json");
    EXPECT_FALSE(held["menu"]["humOn"].boolean);
    EXPECT_FALSE(Contains(held["soundsPlaying"].Ints(), 24));
    EXPECT_FALSE(State("released.json")["menu"]["humOn"].boolean);
    Json on = State("on.json");
    EXPECT_TRUE(on["menu"]["humOn"].boolean);
    EXPECT_TRUE(Contains(on["soundsStarted"].Ints(), 24));
    EXPECT_TRUE(Contains(on["soundsPlaying"].Ints(), 24));
}

TEST_F(RunnerScenario, DifficultyLabelsSetTheGamesDifficulty) {
    RunResult r = Run(Mouse(10, 500, 462) + "11 press lmb\n12 release lmb\n12 state medium.json\n" +
                      Mouse(20, 590, 462) + "21 press lmb\n22 release lmb\n22 state hard.json\n" +
                      Mouse(30, 440, 462) + "31 press lmb\n32 release lmb\n32 state easy.json\n");
    ASSERT_EQ(r.status, 0) << r.err;
    Json medium = State("medium.json");
    EXPECT_EQ(medium["menu"]["difficulty"].Int(), 1);
    EXPECT_EQ(medium["difficulty"].Int(), 1);
    EXPECT_TRUE(Contains(medium["soundsStarted"].Ints(), 1));
    Json hard = State("hard.json");
    EXPECT_EQ(hard["menu"]["difficulty"].Int(), 2);
    EXPECT_EQ(hard["difficulty"].Int(), 2);
    EXPECT_EQ(State("easy.json")["difficulty"].Int(), 0);
}

TEST_F(RunnerScenario, InfoScreenAndBackByTheBall) {
    RunResult r = Run(Mouse(0, 600, 20) + MouseOnItem(150, 3) +
                      "152 press lmb\n153 release lmb\n153 state info.json\n"
                      "154 state info2.json\n" +
                      Mouse(160, 600, 440) + "160 state ball.json\n161 state ball2.json\n"
                      "165 press lmb\n165 state back.json\n166 release lmb\n170 state menu.json\n");
    ASSERT_EQ(r.status, 0) << r.err;
    Json info = State("info.json");
    EXPECT_EQ(info["gameState"].Int(), 4);
    EXPECT_TRUE(Contains(info["soundsStarted"].Ints(), 1));
    EXPECT_EQ(State("info2.json")["gameState"].Int(), 4);

    Json ball = State("ball.json");
    EXPECT_EQ(ball["gameState"].Int(), 4);
    EXPECT_TRUE(Contains(ball["soundsStarted"].Ints(), 21));
    EXPECT_FALSE(Contains(State("ball2.json")["soundsStarted"].Ints(), 21));

    Json back = State("back.json");
    EXPECT_EQ(back["gameState"].Int(), 2);
    EXPECT_TRUE(Contains(back["soundsStarted"].Ints(), 1));
    Json menu = State("menu.json");
    EXPECT_EQ(menu["gameState"].Int(), 2);
    EXPECT_EQ(menu["menu"]["slideOffset"].Int(), 88);
}

TEST_F(RunnerScenario, EscOnTheMenuQuits) {
    RunResult r = Run("20 press esc\n20 state quit.json\n100 state late.json\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("quit at frame 20"), std::string::npos) << r.out;
    EXPECT_EQ(State("quit.json")["frame"].Int(), 20);
    EXPECT_FALSE(fs::exists(Work() / "late.json"));
}

TEST_F(RunnerScenario, BadScriptLineExitsTwoBeforeStarting) {
    RunResult r = Run("0 state s.json\n# fine\n5 frobnicate\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("script:3: unknown command 'frobnicate'"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(Work() / "s.json"));

    r = Run("5 press a\n4 release a\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("script:2:"), std::string::npos) << r.err;

    r = RunArgs("--frames nope");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("nope"), std::string::npos) << r.err;

    r = RunArgs("--script missing.txt");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("missing.txt"), std::string::npos) << r.err;
}

TEST_F(RunnerScenario, MissingDataExitsOne) {
    const std::string gone = (root_ / "no_such_data").string();
    RunResult r = RunArgs("--frames 2 --data '" + gone + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(gone), std::string::npos) << r.err;

    // A data set without the menu picture fails start-up and names the file.
    int removed = 0;
    for (const auto& entry : fs::recursive_directory_iterator(Data())) {
        std::string name = entry.path().filename().string();
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        if (name == "menyinv.dat") {
            fs::remove(entry.path());
            ++removed;
            break;
        }
    }
    ASSERT_EQ(removed, 1);
    r = Run("", "--frames 2");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("menyinv.dat"), std::string::npos) << r.err;
}

TEST_F(RunnerScenario, KeyOneWritesTheScreenDumpIntoTheDataDirectory) {
    RunResult r = Run("5 press 1\n6 release 1\n8 end\n");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(fs::exists(Data() / "ScrDump.raw"));
    EXPECT_EQ(fs::file_size(Data() / "ScrDump.raw"), 307200u);
    const std::string pal = ReadFile(Data() / "ScrDump.pal");
    EXPECT_EQ(std::count(pal.begin(), pal.end(), '\n'), 259);
    EXPECT_EQ(pal.rfind("JASC-PAL\r\n0100\r\n256\r\n", 0), 0u);
    EXPECT_FALSE(fs::exists(Work() / "ScrDump.raw"));
}

TEST_F(RunnerScenario, ShotIsTheScreenAndFollowsTheSeed) {
    RunResult r = Run("40 shot a.png\n150 shot menu.png\n", "--seed 7");
    ASSERT_EQ(r.status, 0) << r.err;
    Picture menu = ReadPicture(Work() / "menu.png");
    ASSERT_TRUE(menu.ok);
    EXPECT_EQ(menu.width, 640u);
    EXPECT_EQ(menu.height, 480u);
    std::set<uint32_t> colours;
    for (size_t i = 0; i + 2 < menu.rgb.size(); i += 3)
        colours.insert(menu.rgb[i] << 16 | menu.rgb[i + 1] << 8 | menu.rgb[i + 2]);
    EXPECT_GT(colours.size(), 8u);
    EXPECT_FALSE(fs::exists(Data() / "menu.png"));

    // The same seed gives the same picture; another seed moves the stars.
    const std::string first = ReadFile(Work() / "a.png");
    r = Run("40 shot a.png\n", "--seed 7");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(Work() / "a.png"), first);
    r = Run("40 shot a.png\n", "--seed 8");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(ReadFile(Work() / "a.png"), first);
}

TEST_F(RunnerScenario, FrameLimitsAndEnd) {
    RunResult r = Run("2 state two.json\n3 state three.json\n", "--frames 3");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(Work() / "two.json"));
    EXPECT_FALSE(fs::exists(Work() / "three.json"));

    r = Run("1 end\n1 state one.json\n9 state nine.json\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(State("one.json")["frame"].Int(), 1);
    EXPECT_FALSE(fs::exists(Work() / "nine.json"));

    r = Run("", "--frames 1");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
}

TEST_F(RunnerScenario, UnwritableOutputNamesTheScriptLine) {
    RunResult r = Run("0 state fine.json\n3 state nodir/x.json\n50 state late.json\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("script:2:"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::exists(Work() / "fine.json"));
    EXPECT_FALSE(fs::exists(Work() / "late.json"));
}
