#include <gtest/gtest.h>

#include <vector>

#include "Runner.h"

namespace {

bool Parse(std::vector<const char*> args, RunnerOptions* options, std::string* error) {
    args.insert(args.begin(), "voidcrawl-headless");
    return ParseRunnerArguments(static_cast<int>(args.size()), args.data(), options, error);
}

std::string ParseFails(std::vector<const char*> args) {
    RunnerOptions options;
    std::string error;
    EXPECT_FALSE(Parse(args, &options, &error));
    EXPECT_FALSE(error.empty());
    return error;
}

}  // namespace

TEST(RunnerArgs, DefaultsWithoutArguments) {
    RunnerOptions options;
    options.seed = 99;
    std::string error;
    ASSERT_TRUE(Parse({}, &options, &error)) << error;
    EXPECT_EQ(options.seed, 1u);
    EXPECT_EQ(options.frames, -1);
    EXPECT_TRUE(options.dataDir.empty());
    EXPECT_TRUE(options.scriptPath.empty());
    EXPECT_FALSE(options.autopilot);
    EXPECT_EQ(options.steer, kSteerPlayer1 | kSteerPlayer2);
    EXPECT_EQ(options.untilLevel, 0);
    EXPECT_TRUE(options.finalStatePath.empty());
}

TEST(RunnerArgs, AutopilotOptions) {
    RunnerOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"--autopilot", "--until-level", "20", "--final-state", "f.json"}, &options, &error)) << error;
    EXPECT_TRUE(options.autopilot);
    EXPECT_EQ(options.steer, kSteerPlayer1 | kSteerPlayer2);
    EXPECT_EQ(options.untilLevel, 20);
    EXPECT_EQ(options.finalStatePath, "f.json");

    const std::pair<const char*, uint8_t> steering[] = {
        {"all", kSteerPlayer1 | kSteerPlayer2}, {"none", 0}, {"1", kSteerPlayer1}, {"2", kSteerPlayer2}};
    for (const auto& [who, mask] : steering) {
        ASSERT_TRUE(Parse({"--autopilot-steer", who, "--autopilot"}, &options, &error)) << who << ": " << error;
        EXPECT_EQ(options.steer, mask) << who;
    }
    ASSERT_TRUE(Parse({"--autopilot", "--autopilot-difficulty=2"}, &options, &error)) << error;
    EXPECT_EQ(options.difficulty, 2);
    ASSERT_TRUE(Parse({"--until-level=1"}, &options, &error)) << error;
    EXPECT_EQ(options.difficulty, 0);
    EXPECT_EQ(options.untilLevel, 1);
    EXPECT_FALSE(options.autopilot);
}

TEST(RunnerArgs, BadAutopilotArguments) {
    EXPECT_NE(ParseFails({"--autopilot=yes"}).find("takes no value"), std::string::npos);
    EXPECT_NE(ParseFails({"--autopilot", "--autopilot"}).find("twice"), std::string::npos);
    EXPECT_NE(ParseFails({"--autopilot-steer", "1"}).find("needs --autopilot"), std::string::npos);
    ParseFails({"--autopilot", "--autopilot-steer", "3"});
    ParseFails({"--autopilot", "--autopilot-steer"});
    EXPECT_NE(ParseFails({"--autopilot-difficulty", "1"}).find("needs --autopilot"), std::string::npos);
    ParseFails({"--autopilot", "--autopilot-difficulty", "3"});
    ParseFails({"--autopilot", "--autopilot-difficulty", "-1"});
    ParseFails({"--until-level", "0"});
    ParseFails({"--until-level", "21"});
    ParseFails({"--until-level", "x"});
    ParseFails({"--final-state="});
}

TEST(RunnerArgs, EveryOptionInBothForms) {
    RunnerOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"--data", "d/x", "--seed", "4294967295", "--frames", "12", "--script", "s.txt"}, &options,
                      &error))
        << error;
    EXPECT_EQ(options.dataDir, "d/x");
    EXPECT_EQ(options.seed, 4294967295u);
    EXPECT_EQ(options.frames, 12);
    EXPECT_EQ(options.scriptPath, "s.txt");

    ASSERT_TRUE(Parse({"--seed=0", "--frames=1", "--script=a b", "--data=/tmp"}, &options, &error)) << error;
    EXPECT_EQ(options.seed, 0u);
    EXPECT_EQ(options.frames, 1);
    EXPECT_EQ(options.scriptPath, "a b");
    EXPECT_EQ(options.dataDir, "/tmp");
}

TEST(RunnerArgs, BadArguments) {
    EXPECT_NE(ParseFails({"--speed", "3"}).find("--speed"), std::string::npos);
    EXPECT_NE(ParseFails({"extra"}).find("extra"), std::string::npos);
    EXPECT_NE(ParseFails({"--seed"}).find("--seed"), std::string::npos);
    ParseFails({"--seed", "-1"});
    ParseFails({"--seed", "4294967296"});
    ParseFails({"--seed", "12x"});
    ParseFails({"--seed", ""});
    ParseFails({"--frames", "0"});
    ParseFails({"--frames", "-5"});
    ParseFails({"--frames", "ten"});
    ParseFails({"--data", ""});
    ParseFails({"--script="});
    EXPECT_NE(ParseFails({"--frames", "2", "--frames", "3"}).find("twice"), std::string::npos);
}
