// The address --join names is looked up before the game starts, and one
// that cannot be found is said in words (the two-players screen's lookup
// is tested on the screen, tests/screens/TwoPlayersScreenTest.cpp).
#include <chrono>

#include "RunnerScenario.h"

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

}  // namespace
