// Runs the real voidcrawl-headless binary on a copy of the generated data set
// with small scripts, and checks what it reports, writes and shows.
#include <set>

#include "RunnerScenario.h"

using namespace runner_test;

namespace {

// One walk through the main menu: the hum switch and the difficulty labels
// while the menu slides in, the screen dump key, hovering items, the info
// screen and back, and Esc.
const std::string kMenuWalk =
    "0 state s0.json\n1 state s1.json\n8 shot a.png\n" + Mouse(10, 405, 465) +
    "12 press lmb\n12 state pressed.json\n13 state off.json\n14 state held.json\n15 release lmb\n"
    "17 state released.json\n18 press lmb\n19 state on.json\n20 release lmb\n" +
    Click(30, 500, 462) + "33 state medium.json\n" + Click(40, 590, 462) + "43 state hard.json\n" +
    Click(50, 440, 462) + "53 state easy.json\n" + Type(60, "1") + Mouse(70, 600, 20) +
    "134 state s134.json\n135 state s135.json\n" +
    // The menu tests the pointer where the previous pass left it.
    MouseOnItem(150, 3) + "150 state a.json\n150 shot menu.png\n151 state b.json\n152 state c.json\n" +
    MouseOnItem(160, 4) + "161 state d.json\n" + Mouse(170, 600, 20) + "171 state e.json\n" +
    MouseOnItem(180, 3) + "182 press lmb\n183 release lmb\n183 state info.json\n" + Mouse(190, 600, 440) +
    "190 state ball.json\n191 state ball2.json\n195 press lmb\n195 state back.json\n196 release lmb\n"
    "200 state menu.json\n210 press esc\n210 state quit.json\n300 state late.json\n";

}  // namespace

TEST_F(RunnerScenario, MenuWalk) {
    RunResult r = Run(kMenuWalk, "--seed 7");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "quit at frame 210\n");
    EXPECT_EQ(State("quit.json")["frame"].Int(), 210);
    EXPECT_FALSE(fs::exists(Work() / "late.json"));

    // Start-up draws the menu twice before the first pass; the slide moves
    // four pixels a pass and its 138 steps end on pass 135.
    Json s = State("s0.json");
    ExpectValues(s, {{"frame", 0}, {"gameState", 2}, {"difficulty", 0}, {"cursor.x", 320}, {"cursor.y", 240},
                     {"menu.hoveredItem", -1}, {"menu.creditsHovered", -1}, {"menu.humOn", 1},
                     {"menu.slideOffset", 640 - 4 * 3}});
    EXPECT_TRUE(Contains(s["soundsPlaying"].Ints(), 24));
    ExpectValues(State("s1.json"), {{"menu.slideOffset", 640 - 4 * 4}});
    ExpectValues(State("s134.json"), {{"menu.slideOffset", 92}});
    ExpectValues(State("s135.json"), {{"menu.slideOffset", 88}});

    // The hum switch reacts one pass after the press, once a press.
    EXPECT_TRUE(State("pressed.json")["menu"]["humOn"].boolean);
    for (const char* name : {"off.json", "held.json", "released.json"}) {
        s = State(name);
        EXPECT_FALSE(s["menu"]["humOn"].boolean) << name;
        EXPECT_FALSE(Contains(s["soundsPlaying"].Ints(), 24)) << name;
    }
    s = State("on.json");
    EXPECT_TRUE(s["menu"]["humOn"].boolean);
    EXPECT_TRUE(Contains(s["soundsStarted"].Ints(), 24));
    EXPECT_TRUE(Contains(s["soundsPlaying"].Ints(), 24));

    s = State("medium.json");
    ExpectValues(s, {{"menu.difficulty", 1}, {"difficulty", 1}});
    EXPECT_TRUE(Contains(s["soundsStarted"].Ints(), 1));
    ExpectValues(State("hard.json"), {{"menu.difficulty", 2}, {"difficulty", 2}});
    ExpectValues(State("easy.json"), {{"menu.difficulty", 0}, {"difficulty", 0}});

    // Key 1 dumps the screen into the data directory.
    EXPECT_EQ(fs::file_size(Data() / "ScrDump.raw"), 307200u);
    const std::string pal = ReadFile(Data() / "ScrDump.pal");
    EXPECT_EQ(std::count(pal.begin(), pal.end(), '\n'), 259);
    EXPECT_EQ(pal.rfind("JASC-PAL\r\n0100\r\n256\r\n", 0), 0u);
    EXPECT_FALSE(fs::exists(Work() / "ScrDump.raw"));

    // Hovering an item plays the touch sound once.
    s = State("a.json");
    ExpectValues(s, {{"cursor.x", 320}, {"cursor.y", kItemY[3]}, {"menu.hoveredItem", -1}});
    EXPECT_FALSE(Contains(s["soundsStarted"].Ints(), 0));
    const std::pair<const char*, int> hovers[] = {{"b.json", 3}, {"c.json", 3}, {"d.json", 4}, {"e.json", -1}};
    for (const auto& [name, item] : hovers) {
        s = State(name);
        ExpectValues(s, {{"menu.hoveredItem", item}}, name);
        const bool touched = name[0] == 'b' || name[0] == 'd';
        EXPECT_EQ(s["soundsStarted"].Ints(), touched ? std::vector<int>{0} : std::vector<int>{}) << name;
    }

    // The info screen, its ball, and back to the menu, which stays slid in.
    s = State("info.json");
    EXPECT_EQ(s["gameState"].Int(), 4);
    EXPECT_TRUE(Contains(s["soundsStarted"].Ints(), 1));
    EXPECT_EQ(State("ball.json")["gameState"].Int(), 4);
    EXPECT_TRUE(Contains(State("ball.json")["soundsStarted"].Ints(), 21));
    EXPECT_FALSE(Contains(State("ball2.json")["soundsStarted"].Ints(), 21));
    EXPECT_EQ(State("back.json")["gameState"].Int(), 2);
    EXPECT_TRUE(Contains(State("back.json")["soundsStarted"].Ints(), 1));
    EXPECT_EQ(State("menu.json")["menu"]["slideOffset"].Int(), 88);

    // Shots are 640 x 480 pictures in the working directory.
    const Picture menu = ReadPicture(Work() / "menu.png");
    ASSERT_TRUE(menu.ok);
    EXPECT_EQ(menu.width, 640u);
    EXPECT_EQ(menu.height, 480u);
    std::set<uint32_t> colours;
    for (size_t i = 0; i + 2 < menu.rgb.size(); i += 3)
        colours.insert(menu.rgb[i] << 16 | menu.rgb[i + 1] << 8 | menu.rgb[i + 2]);
    EXPECT_GT(colours.size(), 8u);
    // The same seed gives the same picture; another seed moves the stars.
    const std::string first = ReadFile(Work() / "a.png");
    ASSERT_EQ(Run("8 shot a.png\n", "--seed 7").status, 0);
    EXPECT_EQ(ReadFile(Work() / "a.png"), first);
    ASSERT_EQ(Run("8 shot a.png\n", "--seed 8").status, 0);
    EXPECT_NE(ReadFile(Work() / "a.png"), first);
}

TEST_F(RunnerScenario, AUserFolderTakesTheScreenDump) {
    // A relative --user-dir is taken from where the runner starts, and its
    // missing parents are made on the first dump.
    RunResult r = Run(Type(5, "1") + "10 state s.json\n", "--user-dir ../user/nested");
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path user = Work().parent_path() / "user" / "nested";
    ASSERT_TRUE(fs::exists(user / "ScrDump.raw"));
    EXPECT_EQ(fs::file_size(user / "ScrDump.raw"), 307200u);
    EXPECT_EQ(ReadFile(user / "ScrDump.pal").rfind("JASC-PAL\r\n", 0), 0u);
    EXPECT_FALSE(fs::exists(Data() / "ScrDump.raw"));
    EXPECT_FALSE(fs::exists(Work() / "ScrDump.raw"));

    // A folder that cannot be made: the run goes on and says why, once.
    std::ofstream(Work().parent_path() / "blocked") << "a file";
    r = Run("0 press 1\n20 release 1\n21 state s.json\n", "--user-dir ../blocked/voidcrawl");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string line = "the screen dump could not be written";
    EXPECT_NE(r.err.find(line), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(line), r.err.rfind(line)) << "said on every frame the key was held: " << r.err;
    EXPECT_NE(r.err.find("blocked: Not a directory"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(Data() / "ScrDump.raw"));
}

TEST_F(RunnerScenario, FrameLimitsAndEnd) {
    RunResult r = Run("2 state two.json\n3 state three.json\n", "--frames 3");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_TRUE(fs::exists(Work() / "two.json"));
    EXPECT_FALSE(fs::exists(Work() / "three.json"));

    r = Run("1 end\n1 state one.json\n9 state nine.json\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(State("one.json")["frame"].Int(), 1);
    EXPECT_FALSE(fs::exists(Work() / "nine.json"));
}

TEST_F(RunnerScenario, ExitCodes) {
    // 2: a bad argument or script line, found before anything runs.
    RunResult r = Run("0 state s.json\n# fine\n5 frobnicate\n");
    auto failed = [](const RunResult& r, int status, const std::string& says) {
        EXPECT_EQ(r.status, status) << says;
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
    };
    failed(r, 2, "script:3: unknown command 'frobnicate'");
    EXPECT_FALSE(fs::exists(Work() / "s.json"));
    failed(RunArgs("--frames nope"), 2, "nope");
    failed(RunArgs("--script missing.txt"), 2, "missing.txt");

    // 2: an output that cannot be written names its line and ends the run.
    r = Run("0 state fine.json\n3 state nodir/x.json\n50 state late.json\n");
    failed(r, 2, "script:2:");
    EXPECT_TRUE(fs::exists(Work() / "fine.json"));
    EXPECT_FALSE(fs::exists(Work() / "late.json"));

    // 1: no data directory, or one without the menu picture.
    const std::string gone = (root_ / "no_such_data").string();
    failed(RunArgs("--frames 2 --data '" + gone + "'"), 1, gone);
    int removed = 0;
    for (const auto& entry : fs::recursive_directory_iterator(Data())) {
        std::string name = entry.path().filename().string();
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        if (name == "menyinv.dat" && fs::remove(entry.path()) && ++removed) break;
    }
    ASSERT_EQ(removed, 1);
    failed(Run("", "--frames 2"), 1, "menyinv.dat");
}
