// The runner's room options, and what it refuses of them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Runner.h"

namespace {

TEST(RunnerArgs, RoomsNeedAWorldServerAndExcludeTheOtherWaysOnline) {
    const struct {
        std::vector<const char*> args;
        const char* expected;  // mode|code|relay, or the error
    } cases[] = {
        {{"--room", "new", "--world-server", "http://127.0.0.1:8080"}, "create||0"},
        {{"--world-server=http://h", "--room=qrtuv", "--room-relay"}, "join|QRTUV|1"},
        {{"--quick-match", "--world-server", "http://h", "--delay", "1", "--link-timeout", "2000"}, "quick||0"},
        {{"--room", "new"}, "--room needs --world-server"},
        {{"--quick-match"}, "--quick-match needs --world-server"},
        {{"--room", "LLLLL", "--world-server", "http://h"}, "bad --room 'LLLLL' (new, or a room's code: five letters)"},
        {{"--room", "new", "--host", "--world-server", "http://h"},
         "--host, --join, --room and --quick-match exclude each other"},
        {{"--room", "new", "--quick-match", "--world-server", "http://h"},
         "--host, --join, --room and --quick-match exclude each other"},
        {{"--join", "h", "--quick-match", "--world-server", "http://h"},
         "--host, --join, --room and --quick-match exclude each other"},
        {{"--room-relay", "--host"}, "--room-relay needs --room or --quick-match"},
        {{"--quick-match", "--world-server", "http://h", "--sync-test"},
         "online play goes without --replay, --random-input, --sync-test and --autopilot-pads"},
        {{"--delay", "1"}, "--delay needs --host, --join, --room or --quick-match"},
    };
    const char* const modes[] = {"create", "join", "quick"};
    for (const auto& c : cases) {
        std::vector<const char*> args = c.args;
        args.insert(args.begin(), "voidcrawl-headless");
        RunnerOptions options;
        std::string error;
        std::string got;
        if (ParseRunnerArguments(static_cast<int>(args.size()), args.data(), &options, &error)) {
            EXPECT_EQ(options.online, RunnerOptions::Online::Room);
            got = std::string(modes[static_cast<int>(options.roomMode)]) + "|" + options.roomCode + "|" +
                  (options.roomRelay ? "1" : "0");
        } else {
            got = error;
        }
        EXPECT_EQ(got, c.expected) << c.args[0];
    }
}

}  // namespace
