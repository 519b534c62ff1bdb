// The runner's soak mode: random input on every screen, with and without
// the autopilot, run through the real voidcrawl-headless binary.
#include <regex>

#include "RunnerScenario.h"

namespace runner_test {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

const char* const kScreens[] = {"menu", "info", "highscores", "setup", "play", "points", "gameover"};

// The frames counted on each screen by the "soak:" line, in the order of
// kScreens; empty when the line is missing or malformed.
std::vector<long long> SoakCounts(const std::string& out) {
    std::string pattern = "(^|\\n)soak:";
    for (const char* name : kScreens) pattern += std::string(" ") + name + "=(\\d+)";
    std::smatch m;
    if (!std::regex_search(out, m, std::regex(pattern + "\\n"))) return {};
    std::vector<long long> counts;
    for (size_t k = 2; k < m.size(); ++k) counts.push_back(std::stoll(m[k]));
    return counts;
}

long long Sum(const std::vector<long long>& v) {
    long long s = 0;
    for (long long x : v) s += x;
    return s;
}

class SoakTest : public RunnerScenario {};

// About 100,000 frames of random input with the autopilot: every screen is
// reached, the program never ends on its own, every frame is counted once,
// and the resident memory does not grow after start-up.
TEST_F(SoakTest, HundredThousandFramesReachEveryScreen) {
    const long long frames = 100000;
    const RunResult r = Run("", "--random-input --autopilot --seed 3 --frames " + std::to_string(frames));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("quit at frame"), std::string::npos) << "the random input ended the program";
    const std::vector<long long> counts = SoakCounts(r.out);
    ASSERT_EQ(counts.size(), 7u) << r.out.substr(r.out.size() > 600 ? r.out.size() - 600 : 0);
    for (int k = 0; k < 7; ++k) EXPECT_GT(counts[k], 0) << kScreens[k];
    EXPECT_EQ(Sum(counts), frames);
    // Play gets most of the time, but not all of it.
    EXPECT_GT(counts[4], frames / 4);
    EXPECT_LT(counts[4], frames * 9 / 10);

    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.out, m, std::regex("soak-memory: frame (\\d+) VmRSS=(\\d+) kB VmHWM=(\\d+) kB, "
                                                        "end frame \\d+ VmRSS=(\\d+) kB VmHWM=(\\d+) kB")))
        << r.out;
    EXPECT_EQ(m[1], "999");
    const long startHwm = std::stol(m[3]), endRss = std::stol(m[4]), endHwm = std::stol(m[5]);
    EXPECT_GT(std::stol(m[2]), 0);
    // A leak of a few dozen bytes a frame would show here. Under the address
    // sanitizer freed memory sits in its quarantine, so resident memory grows
    // with every level load there; its leak checker covers that build instead.
    if (!kAddressSanitizer) {
        EXPECT_LE(endHwm, startHwm + 2048);
        EXPECT_LE(endRss, startHwm + 2048);
    }
    EXPECT_TRUE(fs::exists(Data() / "teasy.dat") || fs::exists(Data() / "tmed.dat") ||
                fs::exists(Data() / "thard.dat"));

    // Play made progress all along: jumps ended within their allowance
    // (warps just before the exit opens included), levels ended once every
    // player was done, and no screen or level went on without end.
    ASSERT_TRUE(std::regex_search(r.out, m, std::regex("liveness: jumps=(\\d+) longest-jump=(\\d+)/(\\d+) steps "
                                                        "level-ends=(\\d+) longest-wait-after-done=\\d+ "
                                                        "longest-level=(\\d+) longest-screen=\\d+\\(\\w+\\) ok\n")))
        << r.out << r.err;
    EXPECT_GT(std::stol(m[1]), 20);
    EXPECT_LE(std::stol(m[2]), std::stol(m[3]));
    EXPECT_GT(std::stol(m[4]), 25);  // a level takes the autopilot 10 to 40 seconds of play
    EXPECT_GT(std::stol(m[5]), 1000);
}

// Random input alone, without the autopilot, still never ends the program,
// and the same seed gives the same run.
TEST_F(SoakTest, RandomInputAloneIsRepeatableAndNeverQuits) {
    const std::string args = "--random-input --frames 15000 --seed ";
    const RunResult a = Run("", args + "11");
    ASSERT_EQ(a.status, 0) << a.err;
    EXPECT_EQ(a.out.find("quit at frame"), std::string::npos);
    const std::vector<long long> first = SoakCounts(a.out);
    ASSERT_EQ(first.size(), 7u) << a.out;
    EXPECT_EQ(Sum(first), 15000);
    EXPECT_GT(first[0], 0);
    EXPECT_GT(first[3], 0);
    EXPECT_GT(first[4], 0);

    RemoveTables();  // so that the high-score tables start alike
    EXPECT_EQ(SoakCounts(Run("", args + "11").out), first);
    const std::vector<long long> other = SoakCounts(Run("", args + "12").out);
    EXPECT_EQ(Sum(other), 15000);
    EXPECT_NE(other, first) << "the seed makes no difference";
}

}  // namespace
}  // namespace runner_test
