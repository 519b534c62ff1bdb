// The runner's game and the world table's link together, against a small
// stand-in server on loopback: a finished game's replay is sent only when
// the settings turned sending on, exactly the bytes the game saved, and
// the answer shows in the runner's state.
#include <gtest/gtest.h>

#include <mutex>
#include <regex>

#include "RunnerScenario.h"
#include "support/StubHttpServer.h"

namespace runner_test {
namespace {

using Reply = StubHttpServer::Reply;
using Request = StubHttpServer::Request;

class WorldRunnerScenarioTest : public RunnerScenario {
protected:
    // A short game: the autopilot does not steer, so each life ends soon.
    RunResult Play(const std::string& server, bool send) {
        std::ofstream(Work() / "settings.ini") << "[world]\nsend = " << (send ? "yes" : "no") << "\n";
        return Run("--autopilot --autopilot-steer none --seed 3 --settings '" + (Work() / "settings.ini").string() +
                   "' --user-dir '" + (Work() / "user").string() + "' --world-server " + server +
                   " --final-state final.json");
    }
    static std::string SavedReplay(const RunResult& run) {
        std::smatch m;
        const std::regex saved("replay: saved (\\S+) \\(");
        return std::regex_search(run.out, m, saved) ? m[1].str() : std::string();
    }
};

TEST_F(WorldRunnerScenarioTest, AFinishedGameIsSentAsSavedAndItsRankShows) {
    StubHttpServer server([](const Request&) {
        return Reply(
            201,
            R"({"id":"00000000000000a1","difficulty":0,"entries":1204,"results":[{"name":"AUTOPILOT","score":10,"level":1,"rank":37}]})");
    });
    const RunResult run = Play(server.Url(), true);
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const std::vector<Request> requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u) << run.out;
    EXPECT_EQ(requests[0].path, "/api/v1/replays");
    const std::string saved = SavedReplay(run);
    ASSERT_FALSE(saved.empty()) << run.out;
    // The replay as saved when the table came up: the file saved at the end
    // holds the same header and tape, and a stop after them.
    const std::string sent = requests[0].body, last = ReadText(saved);
    ASSERT_GT(sent.size(), 160u);
    ASSERT_GE(last.size(), sent.size());
    EXPECT_EQ(sent.substr(0, 112), last.substr(0, 112));
    EXPECT_EQ(sent.substr(160), last.substr(160, sent.size() - 160));
    // ... and it proves its result as it is.
    WriteText(Work() / "sent.vcr", sent);
    const RunResult verified = Run("--replay sent.vcr --verify");
    EXPECT_EQ(verified.status, 0) << verified.out << verified.err;
    EXPECT_NE(verified.out.find("result: player 1 \"AUTOPILOT\""), std::string::npos) << verified.out;
    EXPECT_NE(run.out.find("world: 00000000000000a1 player 1 WORLD RANK 37 OF 1,204\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("world: 0 kept to send\n"), std::string::npos) << run.out;
    const std::string state = ReadText(Work() / "final.json");
    EXPECT_NE(state.find("\"standing\": \"ranked\""), std::string::npos) << state;
    EXPECT_NE(state.find("\"rank1\": \"WORLD RANK 37 OF 1,204\""), std::string::npos) << state;
    EXPECT_TRUE(fs::is_directory(Work() / "world-outbox"));
    EXPECT_NE(ReadText(Work() / "world-games.txt").find("00000000000000a1 0 "), std::string::npos);
    // --world-server was for that run alone: the file holds no server.
    EXPECT_EQ(ReadText(Work() / "settings.ini").find("server"), std::string::npos);
}

TEST_F(WorldRunnerScenarioTest, NothingIsSentWhileSendingIsOff) {
    StubHttpServer server([](const Request&) { return Reply(500); });
    const RunResult run = Play(server.Url(), false);
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(run.out.find("world:"), std::string::npos) << run.out;
    EXPECT_NE(ReadText(Work() / "final.json").find("\"standing\": \"none\""), std::string::npos);
}

// A refusal shows with the server's words; a server that cannot be reached
// leaves the game kept, and the next run sends it.
TEST_F(WorldRunnerScenarioTest, ARefusalShowsItsReasonAndAnUnreachableServerKeepsTheGameForLater) {
    {
        StubHttpServer server([](const Request&) { return Reply(422, R"({"error":"the replay does not verify"})"); });
        const RunResult run = Play(server.Url(), true);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("world: refused: the replay does not verify\n"), std::string::npos) << run.out;
        EXPECT_NE(ReadText(Work() / "final.json").find("\"reason\": \"the replay does not verify\""),
                  std::string::npos);
    }
    const int port = StubHttpServer::FreePort();
    const std::string url = "http://127.0.0.1:" + std::to_string(port);
    const RunResult down = Play(url, true);
    ASSERT_EQ(down.status, 0) << down.err;
    EXPECT_NE(down.out.find("world: kept to send later: cannot reach the server"), std::string::npos) << down.out;
    EXPECT_NE(down.out.find("world: 1 kept to send\n"), std::string::npos) << down.out;
    std::mutex mutex;
    int posts = 0;
    StubHttpServer up(
        [&](const Request&) {
            const std::lock_guard<std::mutex> lock(mutex);
            ++posts;
            return Reply(201,
                         R"({"id":"00000000000000b)" + std::to_string(posts) +
                             R"(","difficulty":0,"entries":2,"results":[{"name":"A","score":1,"level":1,"rank":2}]})");
        },
        port);
    ASSERT_TRUE(up.Listening());
    const RunResult later = Play(url, true);
    ASSERT_EQ(later.status, 0) << later.err;
    EXPECT_EQ(up.Requests().size(), 2u) << later.out;  // the kept game, and this run's
    EXPECT_NE(later.out.find("world: 0 kept to send\n"), std::string::npos) << later.out;
}

}  // namespace
}  // namespace runner_test
