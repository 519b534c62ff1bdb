// Replays saved by an earlier build still play in step and reach the results
// they were saved with: the verdict the runner prints for each stored file
// is the one kept beside it.

#include <gtest/gtest.h>

#include <regex>

#include "RunnerScenario.h"

namespace runner_test {
namespace {

class StoredReplaysTest : public RunnerScenario {};

TEST_F(StoredReplaysTest, EveryStoredReplayVerifiesWithItsResults) {
    const fs::path folder = fs::path(VC_SOURCE_DIR) / "tests" / "app" / "replays";
    int played = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() != ".vcr") continue;
        SCOPED_TRACE(entry.path().filename().string());
        fs::path expectedPath = entry.path();
        expectedPath.replace_extension(".txt");
        const std::string expected = ReadText(expectedPath);
        ASSERT_FALSE(expected.empty()) << "no verdict kept beside it";
        const RunResult r = Run("--verify --replay '" + entry.path().string() + "'");
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        const std::string out = std::regex_replace(r.out, std::regex(" in [0-9.]+ s\n"), "\n");
        EXPECT_EQ(out, expected);
        ++played;
    }
    EXPECT_EQ(played, 4);
}

}  // namespace
}  // namespace runner_test
