// The runner's game against the real voidcrawl-server on loopback: a
// finished game is sent, re-played by the server and ranked, and the rank
// shows; with the server down at first the game is kept, and sent once the
// server is up.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <regex>
#include <thread>

#include "RunnerScenario.h"
#include "ServerProcess.h"
#include "hosts/desktop/DesktopWorldLink.h"
#include "support/StubHttpServer.h"

namespace runner_test {
namespace {

class WorldServerScenarioTest : public RunnerScenario {
protected:
    void SetUp() override {
        if (access(VC_SERVER, X_OK) != 0) GTEST_SKIP() << VC_SERVER << " is not built";
        RunnerScenario::SetUp();
    }
    RunResult Play(const std::string& server, const std::string& more = "--autopilot --autopilot-steer none") {
        std::ofstream(Work() / "settings.ini") << "[world]\nsend = yes\n";
        return Run(more + " --seed 4 --settings '" + (Work() / "settings.ini").string() + "' --user-dir '" +
                   (Work() / "user").string() + "' --world-server " + server);
    }
    // The server's table of `difficulty`, asked as the WORLD tab asks.
    static WorldTable TableOf(const std::string& server, int32_t difficulty, const fs::path& folder) {
        DesktopWorldLink::Options options;
        options.folder = folder.string();
        DesktopWorldLink link(options);
        link.Follow(server.c_str(), false);
        link.AskTable(difficulty);
        WorldTable table;
        char reason[kWorldReasonBytes] = {};
        for (int waited = 0; waited < 10000; waited += 10) {
            if (link.Table(&table, reason, sizeof reason) != WorldAnswer::Waiting) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(link.Table(&table, reason, sizeof reason), WorldAnswer::Ready) << reason;
        return table;
    }
};

TEST_F(WorldServerScenarioTest, AGamePlayedIsRankedByTheRealServerAndTheRankShows) {
    const ServerProcess server(Work() / "server", 0);
    ASSERT_FALSE(server.Url().empty()) << "the server did not say where it listens";
    const RunResult run = Play(server.Url());
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    std::smatch m;
    const std::regex ranked("world: ([0-9a-f]{16}) player 1 WORLD RANK 1 OF 1\n");
    ASSERT_TRUE(std::regex_search(run.out, m, ranked)) << run.out << run.err;
    const WorldTable table = TableOf(server.Url(), 0, Work() / "asker");
    ASSERT_EQ((std::tuple{table.entries, table.topCount}), (std::tuple{int64_t{1}, 1}));
    EXPECT_STREQ(table.top[0].name, "AUTOPILOT");
    EXPECT_EQ(table.top[0].replay, m[1].str());
}

TEST_F(WorldServerScenarioTest, AGameKeptWhileTheServerWasDownIsSentOnceItIsUp) {
    const int port = StubHttpServer::FreePort();
    const std::string url = "http://127.0.0.1:" + std::to_string(port);
    const RunResult down = Play(url);
    ASSERT_EQ(down.status, 0) << down.err;
    EXPECT_NE(down.out.find("world: kept to send later: cannot reach the server"), std::string::npos) << down.out;
    EXPECT_NE(down.out.find("world: 1 kept to send\n"), std::string::npos) << down.out;
    const ServerProcess server(Work() / "server", port);
    ASSERT_EQ(server.Url(), url);
    // A run that plays no game sends what the last one kept.
    const RunResult later = Play(url, "--frames 20");
    ASSERT_EQ(later.status, 0) << later.err;
    EXPECT_NE(later.out.find("world: 0 kept to send\n"), std::string::npos) << later.out;
    const WorldTable table = TableOf(url, 0, Work() / "asker");
    EXPECT_EQ(table.entries, 1);
    EXPECT_STREQ(table.top[0].name, "AUTOPILOT");
}

}  // namespace
}  // namespace runner_test
