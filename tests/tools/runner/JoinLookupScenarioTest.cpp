// The address a game joins is looked up before anything is sent: on the
// two-players screen (the screen says what it looks up and why it failed,
// and stays), and at the start of a run given --join.
#include <chrono>
#include <fstream>
#include <sstream>

#include "RunnerScenario.h"
#include "app/Game.h"

namespace {

using namespace runner_test;

class JoinLookupScenarioTest : public RunnerScenario {};

TEST_F(JoinLookupScenarioTest, AJoinAddressThatCannotBeFoundIsSaidAtTheStart) {
    const auto before = std::chrono::steady_clock::now();
    const RunResult r = Run("--autopilot --join nohost.invalid:7400");
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(10));
    EXPECT_EQ(r.status, 6) << r.err;
    EXPECT_NE(r.err.find("cannot join 'nohost.invalid:7400': no host called nohost.invalid"), std::string::npos)
        << r.err;
    EXPECT_EQ(r.out.find("replay: saved"), std::string::npos) << r.out;  // no game began
}

// JOIN with a name no host has: "LOOKING UP" while it runs, then the
// failure on the screen, which stays; the address kept as typed.
TEST_F(JoinLookupScenarioTest, TheTwoPlayersScreenSaysTheLookupAndItsFailureAndStays) {
    std::ostringstream script;
    script << "150 mouse 312 215\n151 press lmb\n153 release lmb\n";  // TWO PLAYERS
    script << "220 mouse 476 229\n221 press lmb\n223 release lmb\n";  // the address field
    int frame = 230;
    for (const char c : std::string("nohost.invalid")) {
        const std::string key = c == '.' ? "0x34" : std::string(1, c);
        script << frame << " press " << key << "\n" << frame + 1 << " release " << key << "\n";
        frame += 3;
    }
    script << frame << " press enter\n" << frame << " state looking.json\n" << frame + 1 << " release enter\n";
    script << frame + 100 << " state failed.json\n" << frame + 100 << " shot failed.png\n" << frame + 101 << " end\n";
    std::ofstream(Work() / "join.txt") << script.str();
    // In real time, so that the lookup has its 100 passes of 10 ms.
    const RunResult r = Run("--online-menu --real-time --script join.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string looking = ReadText(Work() / "looking.json");
    const std::string failed = ReadText(Work() / "failed.json");
    const std::string twoPlayers = "\"gameState\": " + std::to_string(static_cast<int>(GameState::TwoPlayers));
    EXPECT_NE(looking.find(twoPlayers), std::string::npos) << looking;
    EXPECT_NE(looking.find("\"lookingUp\": true"), std::string::npos) << looking;
    EXPECT_NE(failed.find(twoPlayers), std::string::npos) << failed;
    EXPECT_NE(failed.find("\"lookingUp\": false"), std::string::npos) << failed;
    EXPECT_NE(failed.find("\"notice\": \"Cannot join: no host called nohost.invalid\""), std::string::npos) << failed;
    EXPECT_NE(failed.find("\"address\": \"nohost.invalid\""), std::string::npos) << failed;
    EXPECT_TRUE(ReadPicture(Work() / "failed.png").ok);
}

}  // namespace
