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
#include "hosts/desktop/DesktopWorldLink.h"
#include "support/StubHttpServer.h"

extern char** environ;

namespace runner_test {
namespace {

// The server as a process of its own, on a fresh data folder; its address
// is the one its "listening on" line says.
class ServerProcess {
public:
    ServerProcess(const fs::path& data, int port) {
        int out[2];
        if (pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const std::string listen = "127.0.0.1:" + std::to_string(port);
        const std::string dataDir = data.string();
        const char* argv[] = {VC_SERVER, "--listen", listen.c_str(), "--data", dataDir.c_str(), nullptr};
        if (posix_spawn(&pid_, VC_SERVER, &actions, nullptr, const_cast<char* const*>(argv), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        // Waits up to 20 s for "voidcrawl-server: listening on http://HOST:PORT".
        std::string said;
        const std::regex ready("listening on (http://[^\\s]+)");
        std::smatch m;
        for (int waited = 0; pid_ > 0 && waited < 20000; waited += 50) {
            pollfd wait{out[0], POLLIN, 0};
            if (poll(&wait, 1, 50) <= 0) continue;
            char buffer[512];
            const ssize_t n = read(out[0], buffer, sizeof buffer);
            if (n <= 0) break;
            said.append(buffer, static_cast<size_t>(n));
            if (std::regex_search(said, m, ready)) {
                url_ = m[1].str();
                break;
            }
        }
        close(out[0]);
    }
    ~ServerProcess() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        int status = 0;
        for (int waited = 0; waited < 5000 && waitpid(pid_, &status, WNOHANG) == 0; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (waitpid(pid_, &status, WNOHANG) == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
    }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;
    const std::string& Url() const { return url_; }

private:
    pid_t pid_ = -1;
    std::string url_;
};

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
