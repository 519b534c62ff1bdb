// The real voidcrawl-headless binary plays whole autopilot games with
// --sync-test: every pass of play is saved, run, put back and run again
// without drawing or sound, and the two outcomes are the same; every so
// often 1 to 20 passes are rolled back and run again, and end the same.
// The game itself plays as it does without the test.

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "RunnerScenario.h"
#include "match/PlaySyncTest.h"

namespace runner_test {
namespace {

class SyncTestScenarioTest : public RunnerScenario {
protected:
    RunResult Play(const std::string& args) { return Run(args + " --user-dir '" + (Work() / "user").string() + "'"); }
    // The autopilot's log of the game: levels, lives, exits, the end.
    static std::string GameLog(const std::string& out) {
        std::istringstream in(out);
        std::string line, log;
        while (std::getline(in, line))
            if (line.rfind("frame ", 0) == 0) log += line + "\n";
        return log;
    }
};

TEST_F(SyncTestScenarioTest, WholeGamesOfOneAndTwoPlayersRunEveryPassTwiceInStep) {
    struct Case {
        const char* args;
        const char* players;
    } cases[] = {
        {"--autopilot --seed 7", "one player"},
        {"--autopilot --autopilot-pads --autopilot-difficulty 2 --seed 3", "two players"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.players);
        const RunResult synced = Play(std::string(c.args) + " --sync-test");
        ASSERT_EQ(synced.status, 0) << synced.err << synced.out;
        std::smatch m;
        ASSERT_TRUE(std::regex_search(
            synced.out, m,
            std::regex("sync-test: checked (\\d+) passes, (\\d+) run once, (\\d+) rollbacks of 1 to (\\d+) passes")))
            << synced.out;
        EXPECT_GT(std::stoll(m[1].str()), 30000);  // the play of all twenty levels
        // ... rolled back every so often, to every depth online play reaches.
        EXPECT_GT(std::stoll(m[3].str()), std::stoll(m[1].str()) / PlaySyncTest::kRollbackEvery / 2);
        EXPECT_EQ(std::stoi(m[4].str()), PlaySyncTest::kMaxRollback);
        EXPECT_NE(synced.out.find("game over at level 20, all levels done"), std::string::npos) << synced.out;
        // The second runs changed nothing of the game (seen once: the
        // runs take a while).
        if (c.players != cases[0].players) continue;
        const RunResult plain = Play(c.args);
        ASSERT_EQ(plain.status, 0) << plain.err;
        EXPECT_EQ(GameLog(synced.out), GameLog(plain.out));
    }
}

}  // namespace
}  // namespace runner_test
