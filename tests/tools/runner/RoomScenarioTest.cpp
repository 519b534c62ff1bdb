// Two runners meet through a room of the real voidcrawl-server on
// loopback: one opens a room and says its code, the other enters it (or
// both ask for a quick match), and they play a level in step, directly or
// through the server's relay; each machine's replay verifies.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "RunnerScenario.h"
#include "ServerProcess.h"
#include "app/Replay.h"
#include "server/ServerHarness.h"

namespace runner_test {
namespace {

using Clock = std::chrono::steady_clock;

// The "level N hash H" lines of a run, in order.
std::vector<std::string> LevelHashes(const std::string& out) {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("level ", 0) == 0 && line.find(" hash ") != std::string::npos) lines.push_back(line);
    return lines;
}

// The datagrams the server has relayed, as its health says.
long Relayed(const std::string& url) {
    const uint16_t port = static_cast<uint16_t>(std::stoi(url.substr(url.rfind(':') + 1)));
    const std::string body = server_test::Call(port, "GET", "/api/v1/health").body;
    std::smatch m;
    return std::regex_search(body, m, std::regex("\"relayed\":([0-9]+)")) ? std::stol(m[1].str()) : -1;
}

class RoomScenarioTest : public RunnerScenario {
protected:
    void SetUp() override {
        if (access(VC_SERVER, X_OK) != 0) GTEST_SKIP() << VC_SERVER << " is not built";
        RunnerScenario::SetUp();
    }

    fs::path Out(const std::string& who) const { return root_ / (who + ".out"); }

    // A runner as `who` (its own user folder), in the background of the test.
    RunResult RunAs(const std::string& who, const std::string& args) {
        const fs::path err = root_ / (who + ".err");
        const std::string command = "cd '" + Work().string() + "' && '" VC_RUNNER "' " + args + " --user-dir '" +
                                    (root_ / who).string() + "' --data '" + Data().string() + "' >'" +
                                    Out(who).string() + "' 2>'" + err.string() + "'";
        const int raw = std::system(command.c_str());
        return RunResult{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(Out(who)), ReadText(err)};
    }

    // What `who` has printed so far, waited for until `pattern` shows (or 30 s).
    std::string AwaitLine(const std::string& who, const std::regex& pattern, std::smatch* m) {
        static std::string text;
        for (const auto until = Clock::now() + std::chrono::seconds(30); Clock::now() < until;) {
            text = ReadText(Out(who));
            if (std::regex_search(text, *m, pattern)) return (*m)[1].str();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return "";
    }

    struct Pair {
        RunResult host, guest;
        std::string code;
    };

    // The host opens a room (its waiting screen shot to `shot`, when
    // given); once it says the code, the guest enters it.
    Pair PlayInRoom(const std::string& url, const std::string& guestArgs, const fs::path& shot = {},
                    const std::string& hostMore = "") {
        const std::string common = " --autopilot --until-level 2 --world-server " + url + " ";
        std::string hostArgs = "--seed 5 --room new" + common + hostMore + " ";
        if (!shot.empty()) {
            // Well after the set-up, while the room waits for its guest.
            std::ofstream(root_ / "shot.txt") << "1500 shot " << shot.string() << "\n";
            hostArgs += "--script '" + (root_ / "shot.txt").string() + "'";
        }
        Pair pair;
        for (const char* who : {"host", "guest"}) {
            fs::remove_all(root_ / who);
            fs::remove(Out(who));  // the code read is this run's
        }
        std::thread host([&] { pair.host = RunAs("host", hostArgs); });
        std::smatch m;
        pair.code = AwaitLine("host", std::regex("room: ([A-Z]{5})\n"), &m);
        if (!shot.empty())
            for (const auto until = Clock::now() + std::chrono::seconds(30); Clock::now() < until && !fs::exists(shot);)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (!pair.code.empty()) pair.guest = RunAs("guest", "--seed 6 --room " + pair.code + common + guestArgs);
        host.join();
        return pair;
    }

    // Both played in step to their end, each replay verifies with the same
    // level hashes, and both say which way the datagrams went.
    void ExpectInStep(const RunResult& a, const RunResult& b, const char* path) {
        for (const RunResult* r : {&a, &b}) {
            EXPECT_EQ(r->status, 0) << r->out << r->err;
            EXPECT_NE(r->out.find(std::string("path: ") + path + "\n"), std::string::npos) << r->out;
        }
        const std::vector<std::string> hashes = LevelHashes(a.out);
        EXPECT_GE(hashes.size(), 1u) << a.out;
        EXPECT_EQ(hashes, LevelHashes(b.out));
        for (const char* who : {"host", "guest"}) {
            fs::path replay;
            for (const auto& entry : fs::directory_iterator(root_ / who / kReplayFolder)) replay = entry.path();
            ASSERT_FALSE(replay.empty()) << who;
            const RunResult verified =
                RunAs(std::string(who) + "-replay", "--replay '" + replay.string() + "' --verify");
            EXPECT_EQ(verified.status, 0) << verified.out << verified.err;
            EXPECT_NE(verified.out.find("replay: verified"), std::string::npos) << verified.out;
            EXPECT_EQ(LevelHashes(verified.out), hashes) << who;
        }
    }
};

// The host's live feed, as the server holds it once the game is over, is
// the host's replay file byte for byte (its final header too), and it
// verifies as a replay.
TEST_F(RoomScenarioTest, TheHostsLiveFeedIsItsReplayFileByteForByte) {
    const ServerProcess server(Work() / "server", 0);
    ASSERT_FALSE(server.Url().empty()) << "the server did not say where it listens";
    const Pair pair = PlayInRoom(server.Url(), "");
    ASSERT_FALSE(pair.code.empty()) << ReadText(Out("host")) << ReadText(root_ / "host.err");
    ExpectInStep(pair.host, pair.guest, "DIRECT");
    const std::string& url = server.Url();
    const uint16_t port = static_cast<uint16_t>(std::stoi(url.substr(url.rfind(':') + 1)));
    std::string feed;
    bool ended = false;
    for (int reads = 0; reads < 20 && !ended; ++reads) {
        const server_test::Reply r =
            server_test::Call(port, "GET", "/api/v1/live/" + pair.code + "?from=" + std::to_string(feed.size()));
        ASSERT_TRUE(r.status == 200 || r.status == 204) << r.status << " " << r.body;
        feed += r.body;
        ended = r.Header("x-feed-ended") == "1";
    }
    EXPECT_TRUE(ended) << "the feed did not end";
    fs::path replay;
    for (const auto& entry : fs::directory_iterator(root_ / "host" / kReplayFolder)) replay = entry.path();
    ASSERT_FALSE(replay.empty());
    const std::string file = ReadText(replay);
    ASSERT_GT(file.size(), 160u);
    EXPECT_EQ(feed.size(), file.size());
    EXPECT_TRUE(feed == file) << "the feed differs from the host's replay file";
    std::printf("the host's feed: %zu bytes, its replay file's\n", feed.size());
    const fs::path fed = root_ / "fed.vcr";
    { std::ofstream(fed, std::ios::binary) << feed; }
    const RunResult verified = RunAs("fed-replay", "--replay '" + fed.string() + "' --verify");
    EXPECT_EQ(verified.status, 0) << verified.out << verified.err;
    EXPECT_NE(verified.out.find("replay: verified"), std::string::npos) << verified.out;
    EXPECT_EQ(LevelHashes(verified.out), LevelHashes(pair.host.out));
}

// A watcher of the room's game, started while the players play it, plays
// the live feed to its end (waiting where the feed ends, a frame at a
// time) in step with them: the same level hashes, and the replay it
// watched verifies against the game's final header. One started after the
// game ended is far behind and catches up at 2x, and is in step too.
TEST_F(RoomScenarioTest, WatchersOfARoomPlayTheLiveGameInStepWithThePlayers) {
    const ServerProcess server(Work() / "server", 0);
    ASSERT_FALSE(server.Url().empty());
    const std::string common = " --autopilot --until-level 2 --world-server " + server.Url() + " ";
    for (const char* who : {"host", "guest", "watcher"}) {
        fs::remove_all(root_ / who);
        fs::remove(Out(who));
    }
    RunResult host, guest, watcher;
    std::thread hostRun([&] { host = RunAs("host", "--seed 5 --room new" + common); });
    std::smatch m;
    const std::string code = AwaitLine("host", std::regex("room: ([A-Z]{5})\n"), &m);
    ASSERT_FALSE(code.empty()) << ReadText(Out("host"));
    std::thread guestRun([&] { guest = RunAs("guest", "--seed 6 --room " + code + common); });
    // The feed begins with the game: the watcher comes once it is under way.
    const std::string began = AwaitLine("host", std::regex("frame ([0-9]+): level 1 intro"), &m);
    EXPECT_FALSE(began.empty()) << ReadText(Out("host"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    watcher = RunAs("watcher", "--watch " + code + " --world-server " + server.Url());
    guestRun.join();
    hostRun.join();
    ExpectInStep(host, guest, "DIRECT");
    const std::vector<std::string> hashes = LevelHashes(host.out);
    EXPECT_EQ(watcher.status, 0) << watcher.out << watcher.err;
    EXPECT_EQ(LevelHashes(watcher.out), hashes) << watcher.out;
    EXPECT_NE(watcher.out.find("watch: verified"), std::string::npos) << watcher.out;
    std::smatch stats;
    ASSERT_TRUE(std::regex_search(watcher.out, stats,
                                  std::regex("watch: ([0-9]+) passes, ([0-9]+) answers, ([0-9]+) frames waiting, "
                                             "([0-9]+) frames at 2x")))
        << watcher.out;
    // It kept up with the game: it reached the end of what was held and
    // waited there for more, asking again and again.
    EXPECT_GT(std::stol(stats[3].str()), 0) << watcher.out;
    EXPECT_GT(std::stol(stats[2].str()), 2) << watcher.out;
    std::printf("the watcher during the game: %s\n", stats[0].str().c_str());

    // After the game: all of it is held, far more than 3 s of passes.
    const RunResult late = RunAs("late", "--watch " + code + " --world-server " + server.Url());
    EXPECT_EQ(late.status, 0) << late.out << late.err;
    EXPECT_EQ(LevelHashes(late.out), hashes) << late.out;
    EXPECT_NE(late.out.find("watch: verified"), std::string::npos) << late.out;
    ASSERT_TRUE(std::regex_search(late.out, stats,
                                  std::regex("watch: ([0-9]+) passes, ([0-9]+) answers, ([0-9]+) frames waiting, "
                                             "([0-9]+) frames at 2x")))
        << late.out;
    EXPECT_EQ(std::stol(stats[3].str()), 0) << late.out;
    // At 2x until within 3 s (300 passes) of the end, then 1x.
    const long passes = std::stol(stats[1].str()), fast = std::stol(stats[4].str());
    EXPECT_GT(fast, 0) << late.out;
    EXPECT_LE(fast * 2, passes) << late.out;
    EXPECT_GE(fast * 2, passes - 300 - 2) << late.out;
    std::printf("the late watcher: %s\n", stats[0].str().c_str());

    // At the game's own pace for two seconds, and cut off there.
    const RunResult paced =
        RunAs("paced", "--watch " + code + " --real-time --frames 200 --world-server " + server.Url());
    EXPECT_EQ(paced.status, 0) << paced.out << paced.err;
    EXPECT_NE(paced.out.find("watch: not verified: the replay ends before its recorded end"), std::string::npos)
        << paced.out;

    // No such room: said in words, and the run fails.
    const RunResult none = RunAs("none", "--watch AAAAA --world-server " + server.Url());
    EXPECT_EQ(none.status, 6) << none.out << none.err;
    EXPECT_NE(none.out.find("watch: cannot watch AAAAA: no game of that code is live"), std::string::npos) << none.out;
}

TEST_F(RoomScenarioTest, TwoGamesMeetInARoomAndPlayALevelInStepDirectlyAndThroughTheRelay) {
    const ServerProcess server(Work() / "server", 0);
    ASSERT_FALSE(server.Url().empty()) << "the server did not say where it listens";
    const fs::path shot = root_ / "waiting.png";
    const Pair direct = PlayInRoom(server.Url(), "", shot);
    ASSERT_FALSE(direct.code.empty()) << ReadText(Out("host")) << ReadText(root_ / "host.err");
    ExpectInStep(direct.host, direct.guest, "DIRECT");
    EXPECT_EQ(Relayed(server.Url()), 0);
    // The waiting screen, with the code, as the host's player saw it.
    const Picture picture = ReadPicture(shot);
    ASSERT_TRUE(picture.ok) << shot;
    EXPECT_EQ(picture.width, 640u);
    fs::copy_file(shot, fs::path(::testing::TempDir()) / "voidcrawl-room-waiting.png",
                  fs::copy_options::overwrite_existing);
    if (HasFailure()) return;

    // At the game's own pace (a pass every 10 ms): unpaced, two runners
    // send far more than the relay's 400 datagrams a second for a player,
    // and most are dropped there.
    const Pair relayed = PlayInRoom(server.Url(), "--room-relay --real-time", {}, "--real-time");
    ASSERT_FALSE(relayed.code.empty());
    EXPECT_NE(relayed.code, direct.code);
    ExpectInStep(relayed.host, relayed.guest, "RELAYED");
    // A level's datagrams went through the server, both ways.
    const long through = Relayed(server.Url());
    EXPECT_GT(through, 1000);
    std::printf("relayed %ld datagrams; the guest's run %s\n", through,
                relayed.guest.out.substr(relayed.guest.out.find("online: ")).c_str());
}

TEST_F(RoomScenarioTest, TwoQuickMatchesPairAndPlayALevelInStep) {
    const ServerProcess server(Work() / "server", 0);
    ASSERT_FALSE(server.Url().empty());
    const std::string args = " --quick-match --autopilot --until-level 2 --world-server " + server.Url();
    RunResult first, second;
    std::thread one([&] { first = RunAs("host", "--seed 5" + args); });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    second = RunAs("guest", "--seed 6" + args);
    one.join();
    // The first waits as the room's host: player 1; the second joins it.
    EXPECT_NE(first.out.find("player 1 left level 1"), std::string::npos) << first.out;
    ExpectInStep(first, second, "DIRECT");
}

}  // namespace
}  // namespace runner_test
