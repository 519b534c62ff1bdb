// The runner's soak mode: random input on every screen, with and without
// the autopilot, run through the real voidcrawl-headless binary.
#include <cstdio>
#include <string>
#include <vector>

#include "Runner.h"
#include "RunnerScenario.h"

namespace runner_test {
namespace {

const char* const kScreens[] = {"menu", "info", "highscores", "setup", "play", "points", "gameover"};
constexpr int kScreenCount = 7;

// The numbers of the "soak:" line, in the order of kScreens; empty when the
// line is missing or malformed.
std::vector<long long> SoakCounts(const std::string& out) {
    size_t at = out.rfind("soak: ", 0) == 0 ? 0 : out.find("\nsoak: ");
    if (at == std::string::npos) return {};
    if (at != 0) ++at;
    const size_t end = out.find('\n', at);
    const std::string line = out.substr(at, end == std::string::npos ? std::string::npos : end - at);
    std::vector<long long> counts;
    size_t pos = 5;  // after "soak:"
    for (const char* name : kScreens) {
        const std::string key = std::string(" ") + name + "=";
        if (line.compare(pos, key.size(), key) != 0) return {};
        pos += key.size();
        size_t used = 0;
        counts.push_back(std::stoll(line.substr(pos), &used));
        pos += used;
    }
    if (pos != line.size()) return {};
    return counts;
}

struct Memory {
    long startRss = -1, startHwm = -1, endRss = -1, endHwm = -1;
};

bool SoakMemory(const std::string& out, Memory* m) {
    const size_t at = out.find("soak-memory: ");
    if (at == std::string::npos) return false;
    long long f0 = 0, f1 = 0;
    return std::sscanf(out.c_str() + at,
                       "soak-memory: frame %lld VmRSS=%ld kB VmHWM=%ld kB, end frame %lld VmRSS=%ld kB VmHWM=%ld kB",
                       &f0, &m->startRss, &m->startHwm, &f1, &m->endRss, &m->endHwm) == 6;
}

long long Sum(const std::vector<long long>& v) {
    long long s = 0;
    for (long long x : v) s += x;
    return s;
}

class SoakTest : public RunnerScenario {};

TEST(SoakArgsTest, RandomInputIsAFlag) {
    RunnerOptions options;
    std::string error;
    const char* argv[] = {"voidcrawl-headless", "--random-input", "--seed", "9"};
    ASSERT_TRUE(ParseRunnerArguments(4, argv, &options, &error)) << error;
    EXPECT_TRUE(options.randomInput);
    EXPECT_EQ(options.seed, 9u);
    const char* plain[] = {"voidcrawl-headless"};
    ASSERT_TRUE(ParseRunnerArguments(1, plain, &options, &error)) << error;
    EXPECT_FALSE(options.randomInput);
    const char* valued[] = {"voidcrawl-headless", "--random-input=1"};
    EXPECT_FALSE(ParseRunnerArguments(2, valued, &options, &error));
    const char* twice[] = {"voidcrawl-headless", "--random-input", "--random-input"};
    EXPECT_FALSE(ParseRunnerArguments(3, twice, &options, &error));
}

// About 100,000 frames of random input with the autopilot: every screen is
// reached, the program never ends on its own, every frame is counted once,
// and the resident memory does not grow after start-up.
TEST_F(SoakTest, HundredThousandFramesReachEveryScreen) {
    const long long frames = 100000;
    const RunResult r = Run("", "--random-input --autopilot --seed 3 --frames " + std::to_string(frames));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("quit at frame"), std::string::npos) << "the random input ended the program";
    const std::vector<long long> counts = SoakCounts(r.out);
    ASSERT_EQ(counts.size(), static_cast<size_t>(kScreenCount)) << r.out.substr(r.out.size() > 600 ? r.out.size() - 600 : 0);
    for (int k = 0; k < kScreenCount; ++k) EXPECT_GT(counts[k], 0) << kScreens[k];
    EXPECT_EQ(Sum(counts), frames);
    // Play gets most of the time, but not all of it.
    EXPECT_GT(counts[4], frames / 4);
    EXPECT_LT(counts[4], frames * 9 / 10);

    Memory m;
    ASSERT_TRUE(SoakMemory(r.out, &m)) << r.out;
    EXPECT_GT(m.startRss, 0);
    EXPECT_GT(m.startHwm, 0);
    // A leak of a few dozen bytes a frame would show here.
    EXPECT_LE(m.endHwm, m.startHwm + 2048);
    EXPECT_LE(m.endRss, m.startHwm + 2048);

    // The games left high-score tables behind.
    EXPECT_TRUE(fs::exists(Data() / "teasy.dat") || fs::exists(Data() / "tmed.dat") || fs::exists(Data() / "thard.dat"));
}

// Random input alone, without the autopilot, still never ends the program,
// and the same seed gives the same run.
TEST_F(SoakTest, RandomInputAloneIsRepeatableAndNeverQuits) {
    const long long frames = 15000;
    const std::string args = "--random-input --seed 11 --frames " + std::to_string(frames);
    const RunResult a = Run("", args);
    ASSERT_EQ(a.status, 0) << a.err;
    EXPECT_EQ(a.out.find("quit at frame"), std::string::npos);
    const std::vector<long long> first = SoakCounts(a.out);
    ASSERT_EQ(first.size(), static_cast<size_t>(kScreenCount)) << a.out;
    EXPECT_EQ(Sum(first), frames);
    EXPECT_GT(first[0], 0);
    EXPECT_GT(first[3], 0);
    EXPECT_GT(first[4], 0);

    // A fresh data set, so that the high-score tables start alike.
    for (const char* table : {"teasy.dat", "tmed.dat", "thard.dat"}) fs::remove(Data() / table);
    const RunResult b = Run("", args);
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_EQ(SoakCounts(b.out), first);

    const RunResult c = Run("", "--random-input --seed 12 --frames " + std::to_string(frames));
    ASSERT_EQ(c.status, 0) << c.err;
    EXPECT_EQ(Sum(SoakCounts(c.out)), frames);
    EXPECT_NE(SoakCounts(c.out), first) << "the seed makes no difference";
}

}  // namespace
}  // namespace runner_test
