#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "Runner.h"

namespace {

bool Parse(std::vector<const char*> args, RunnerOptions* options, std::string* error) {
    args.insert(args.begin(), "voidcrawl-headless");
    return ParseRunnerArguments(static_cast<int>(args.size()), args.data(), options, error);
}

}  // namespace

// Every option, in the order of RunnerOptions, separated by '|'.
std::string Describe(const RunnerOptions& o) {
    std::ostringstream out;
    out << o.dataDir << '|' << o.userDir << '|' << o.seed << '|' << o.frames << '|' << o.scriptPath << '|'
        << o.autopilot << '|' << int{o.steer} << '|' << o.difficulty << '|' << o.untilLevel << '|' << o.finalStatePath
        << '|' << o.randomInput;
    return out.str();
}

TEST(RunnerArgs, EveryOptionInBothFormsAndDefaultsAgain) {
    RunnerOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"--data", "d/x", "--user-dir=u y", "--seed", "4294967295", "--frames", "12", "--script", "s.txt",
                       "--autopilot", "--autopilot-steer", "none", "--autopilot-difficulty=2", "--until-level", "20",
                       "--final-state=f.json", "--random-input"},
                      &options, &error))
        << error;
    EXPECT_EQ(Describe(options), "d/x|u y|4294967295|12|s.txt|1|0|2|20|f.json|1");
    const std::pair<const char*, uint8_t> steering[] = {
        {"all", kSteerPlayer1 | kSteerPlayer2}, {"1", kSteerPlayer1}, {"2", kSteerPlayer2}};
    for (const auto& [who, mask] : steering) {
        ASSERT_TRUE(Parse({"--autopilot-steer", who, "--autopilot"}, &options, &error)) << who << ": " << error;
        EXPECT_EQ(options.steer, mask) << who;
    }
    // Each parse starts from the defaults.
    ASSERT_TRUE(Parse({"--seed=0", "--script=a b"}, &options, &error)) << error;
    EXPECT_EQ(Describe(options), "||0|-1|a b|0|3|0|0||0");
    ASSERT_TRUE(Parse({}, &options, &error)) << error;
    EXPECT_EQ(Describe(options), "||1|-1||0|3|0|0||0");
}

TEST(RunnerArgs, BadArguments) {
    const std::vector<std::vector<const char*>> bad = {
        {"--seed", "-1"}, {"--seed", "4294967296"}, {"--seed", "12x"}, {"--seed", ""}, {"--frames", "0"},
        {"--frames", "-5"}, {"--data", ""}, {"--user-dir="}, {"--user-dir"}, {"--script="}, {"--final-state="},
        {"--random-input=1"},
        {"--autopilot", "--autopilot-steer", "3"}, {"--autopilot", "--autopilot-steer"},
        {"--autopilot", "--autopilot-difficulty", "3"}, {"--autopilot", "--autopilot-difficulty", "-1"},
        {"--until-level", "0"}, {"--until-level", "21"}, {"--until-level", "x"}};
    for (const auto& args : bad) {
        RunnerOptions options;
        std::string error;
        EXPECT_FALSE(Parse(args, &options, &error)) << args[0] << " " << args.back();
        EXPECT_FALSE(error.empty()) << args[0] << " " << args.back();
    }
    // The message names what is wrong.
    const std::vector<std::pair<std::vector<const char*>, std::string>> named = {
        {{"--speed", "3"}, "--speed"}, {{"extra"}, "extra"}, {{"--seed"}, "--seed"},
        {{"--frames", "2", "--frames", "3"}, "twice"}, {{"--random-input", "--random-input"}, "twice"},
        {{"--autopilot=yes"}, "takes no value"}, {{"--autopilot-steer", "1"}, "needs --autopilot"},
        {{"--autopilot-difficulty", "1"}, "needs --autopilot"}};
    for (const auto& [args, message] : named) {
        RunnerOptions options;
        std::string error;
        EXPECT_FALSE(Parse(args, &options, &error)) << args[0];
        EXPECT_NE(error.find(message), std::string::npos) << args[0] << ": " << error;
    }
}
