// Two players on two gamepads and nothing else: from the menu through the
// set-up (names spelled on the D-pad), play, the points screens and the
// high-score table.
#include <gtest/gtest.h>

#include <regex>

#include "RunnerScenario.h"
#include "Script.h"

namespace runner_test {
namespace {

class PadScenarioTest : public RunnerScenario {};

TEST_F(PadScenarioTest, TwoPadsPlayAWholeTwoPlayerGameWithoutKeyboardOrMouse) {
    const RunResult run = Run("--autopilot --autopilot-pads --user-dir '" + (Work() / "user").string() + "'");
    ASSERT_EQ(run.status, 0) << run.err << run.out;
    // Both worms left level 1, the points screens were passed on the way
    // to level 2, and the game ended at the table.
    for (const char* line : {"player 1 left level 1", "player 2 left level 1", "level 2 intro", "game over at level"})
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
    EXPECT_NE(run.out.find(" ok\n"), std::string::npos) << run.out;
    // The names the pads spelled are in the table, for both players.
    const std::string table = ReadText(Work() / "user" / "teasy.dat");
    ASSERT_EQ(table.size(), 320u);
    EXPECT_EQ(std::string(table.c_str() + 4), "ADA");
    EXPECT_EQ(std::string(table.c_str() + 36), "BO");
    // The two-player game's replay verifies, state hash for state hash.
    std::smatch saved;
    ASSERT_TRUE(std::regex_search(run.out, saved, std::regex("replay: saved (\\S+) "))) << run.out;
    const RunResult verify = Run("--replay '" + saved[1].str() + "' --verify");
    EXPECT_EQ(verify.status, 0) << verify.err << verify.out;
    EXPECT_NE(verify.out.find("replay: verified"), std::string::npos) << verify.out;
}

// Scripts feed pads as well: a pad is plugged by its first line.
TEST(PadScript, PadLinesAndTheirMistakes) {
    std::vector<ScriptCommand> cmds;
    std::string error;
    ASSERT_TRUE(ParseScript("0 pad 1 a press\n1 pad 2 axis leftx -32768\n2 pad 2 unplug\n3 pad 1 DPUP release\n", &cmds,
                            &error))
        << error;
    ASSERT_EQ(cmds.size(), 4u);
    EXPECT_EQ((std::tuple{cmds[0].pad, cmds[0].padIndex, cmds[0].padValue, cmds[1].pad, cmds[1].padValue,
                          cmds[2].padEvent == ScriptCommand::PadEvent::Unplug, cmds[3].padIndex}),
              (std::tuple{0, 0, 1, 1, -32768, true, 11}));
    for (const char* wrong : {"0 pad 3 a press\n", "0 pad 1 z press\n", "0 pad 1 a hold\n",
                              "0 pad 1 axis leftx 40000\n", "0 pad 1 axis up 5\n", "0 pad 1 plug now\n"}) {
        EXPECT_FALSE(ParseScript(wrong, &cmds, &error)) << wrong;
        EXPECT_EQ(error.rfind("script:1: ", 0), 0u) << error;
    }
}

}  // namespace
}  // namespace runner_test
