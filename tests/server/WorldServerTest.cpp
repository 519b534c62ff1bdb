// The real voidcrawl-server on a loopback port with a fresh SQLite file:
// autopilot replays of several seeds and both player counts ranked by the
// scores their re-play reached; hostile bodies refused in the runner's
// words; fifty at once all answered; the limits (queue, rate, connections,
// slow clients, paths, ids) and workers that crash, hang or run out of
// memory, each refused in bounded time; and a kill -9 in the middle of
// writing that loses nothing and leaves nothing half.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "ServerHarness.h"
#include "io/ReplayFile.h"
#include "server/Api.h"
#include "server/StaticFiles.h"

namespace server_test {
namespace {

using nlohmann::json;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

double Since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

void PutU32(std::string& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
uint32_t GetU32(const std::string& b, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(b[at + static_cast<size_t>(i)]);
    return v;
}

class WorldServer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = fs::path(::testing::TempDir()) / ("vc_world_" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_);
        const char* games[] = {
            "--autopilot --seed 5 --until-level 2",
            "--autopilot --seed 6 --until-level 3",
            "--autopilot --seed 7 --until-level 2",
            "--autopilot --seed 8 --until-level 2",
            "--autopilot --seed 9 --until-level 2",
            "--autopilot --autopilot-pads --seed 6 --until-level 2",
            "--autopilot --autopilot-pads --seed 11 --until-level 2",
        };
        for (const char* args : games) games_.push_back(MakeReplay(root_ / "made", args));
    }
    static void TearDownTestSuite() { fs::remove_all(root_); }

    void SetUp() override {
        for (const MadeReplay& g : games_) ASSERT_FALSE(g.results.empty()) << "a game was not made";
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        data_ = root_ / info->name();
        fs::remove_all(data_);
    }
    // A server of this test's own, on a fresh data folder.
    bool Start(const std::vector<std::string>& extra = {}) { return server_.Start(data_, extra); }
    uint16_t Port() const { return server_.Port(); }
    // The worker that misbehaves as its body says (FakeWorker.cpp).
    static std::vector<std::string> FakeWorker() { return {"--verify-command", VC_FAKE_WORKER}; }

    fs::path Save(const std::string& bytes, const std::string& name) {
        const fs::path p = data_.string() + "-" + name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }

    static inline fs::path root_;
    static inline std::vector<MadeReplay> games_;
    fs::path data_;
    ServerProcess server_;
};

TEST_F(WorldServer, ReplaysOfSeveralSeedsAndBothPlayerCountsAreRankedByTheirReplayedScores) {
    ASSERT_TRUE(Start({"--rate", "1000/min"}));
    // The page read while the table is empty is not answered again once
    // replays are recorded.
    EXPECT_EQ(Call(Port(), "GET", "/api/v1/scores?difficulty=0&limit=100").Header("x-total-count"), "0");
    std::vector<int> scores;
    for (const MadeReplay& g : games_) {
        const Reply r = Post(Port(), g.bytes);
        ASSERT_EQ(r.status, 201) << r.body;
        EXPECT_EQ(r.Header("x-content-type-options"), "nosniff");
        const json j = json::parse(r.body);
        EXPECT_EQ(j["id"], server::ReplayId(g.bytes));
        EXPECT_EQ(j["difficulty"], 0);
        ASSERT_EQ(j["results"].size(), g.results.size()) << r.body;
        for (size_t p = 0; p < g.results.size(); ++p) {
            EXPECT_EQ(j["results"][p]["name"], g.results[p].first);
            EXPECT_EQ(j["results"][p]["score"], g.results[p].second);
            scores.push_back(g.results[p].second);
        }
    }
    std::sort(scores.rbegin(), scores.rend());
    ASSERT_GE(scores.size(), 9u);  // five games of one player, two of two

    const Reply table = Call(Port(), "GET", "/api/v1/scores?difficulty=0&limit=100");
    ASSERT_EQ(table.status, 200) << table.body;
    EXPECT_EQ(table.Header("x-total-count"), std::to_string(scores.size()));
    const json rows = json::parse(table.body);
    ASSERT_EQ(rows.size(), scores.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i]["rank"], i + 1);
        EXPECT_EQ(rows[i]["score"], scores[i]) << i;
        EXPECT_EQ(rows[i]["date"].get<std::string>().size(), 10u);
    }
    // Sent again: one entry, the same id, the ranks the table now gives.
    for (const MadeReplay& g : games_) {
        const Reply r = Post(Port(), g.bytes);
        ASSERT_EQ(r.status, 200) << r.body;
        const json j = json::parse(r.body);
        EXPECT_EQ(j["id"], server::ReplayId(g.bytes));
        for (size_t p = 0; p < g.results.size(); ++p) {
            const int64_t rank = j["results"][p]["rank"];
            EXPECT_EQ(rows[static_cast<size_t>(rank - 1)]["replay"], j["id"]);
            EXPECT_EQ(rows[static_cast<size_t>(rank - 1)]["score"], g.results[p].second);
        }
    }
    EXPECT_EQ(Call(Port(), "GET", "/api/v1/scores?difficulty=0").Header("x-total-count"),
              std::to_string(scores.size()));
    EXPECT_EQ(json::parse(Call(Port(), "GET", "/api/v1/scores?difficulty=0&limit=3&offset=2").body)[0]["rank"], 3);

    // The bytes come back as sent, and the rows around one hold it.
    const std::string id = server::ReplayId(games_[1].bytes);
    const Reply file = Call(Port(), "GET", "/api/v1/replays/" + id);
    EXPECT_EQ(file.status, 200);
    EXPECT_EQ(file.body, games_[1].bytes);
    EXPECT_EQ(file.Header("content-type"), "application/octet-stream");
    EXPECT_EQ(file.Header("content-disposition"), "attachment; filename=\"voidcrawl-" + id + ".vcr\"");
    const Reply around = Call(Port(), "GET", "/api/v1/scores/around/" + id + "?before=1&after=1");
    ASSERT_EQ(around.status, 200);
    bool found = false;
    for (const json& row : json::parse(around.body)) found |= row["replay"] == id;
    EXPECT_TRUE(found) << around.body;

    const Reply health = Call(Port(), "GET", "/api/v1/health");
    ASSERT_EQ(health.status, 200);
    const json h = json::parse(health.body);
    EXPECT_EQ(h["status"], "ok");
    EXPECT_EQ(h["version"], VC_VERSION);
    EXPECT_EQ(h["dataset"].get<std::string>().size(), 16u);
    EXPECT_EQ(h["entries"], json::array({scores.size(), 0, 0}));
}

// Each refused with 422 and the words the runner's --verify gives the same
// file, before or after a re-play.
TEST_F(WorldServer, HostileBodiesAreRefusedInTheRunnersWords) {
    ASSERT_TRUE(Start({"--rate", "1000/min"}));
    const std::string& good = games_[0].bytes;
    std::string forged = good;  // a score the game did not reach (but could have)
    PutU32(forged, 112, GetU32(good, 112) + 100);
    std::string cutShort = good.substr(0, good.size() - 7);  // the file cut off
    std::string idle = good.substr(0, kReplayHeaderBytes);   // passes that press nothing, as long as a level may be
    const std::string stop = {0x40, 2, 20, 0, 0, 0, 0, 0, 0, 0, 0, static_cast<char>(0x80)};
    const size_t idleBytes = kReplayMaxSegmentPasses / 128 + 1;
    idle += std::string(idleBytes, static_cast<char>(0xFF)) + stop;
    PutU32(idle, 132, static_cast<uint32_t>(idleBytes + stop.size()));
    PutU32(idle, 136, static_cast<uint32_t>(idleBytes * 128 + 1));
    PutU32(idle, 140, 1);
    const std::string picture = ReadText(fs::path(VC_DATA_DIR) / "icons" / "voidcrawl-64.png");
    ASSERT_FALSE(picture.empty());
    struct Case {
        const char* what;
        std::string body;
        const char* words;  // in the runner's words, and these among them
    } cases[] = {
        {"forged score", forged, "but the replay claims score"}, {"cut tape", cutShort, "does not match the file's"},
        {"empty passes", idle, "than a level can last"},         {"a picture", picture, "not a replay"},
        {"nothing", "", "shorter than a replay's header"},
    };
    for (const Case& c : cases) {
        const auto started = std::chrono::steady_clock::now();
        const Reply r = Post(Port(), c.body);
        EXPECT_EQ(r.status, 422) << c.what << ": " << r.body;
        const std::string error = json::parse(r.body, nullptr, false).value("error", std::string());
        EXPECT_NE(error.find(c.words), std::string::npos) << c.what << ": " << r.body;
        EXPECT_EQ(error, RunnerWords(Save(c.body, "case.vcr"))) << c.what;
        EXPECT_LT(Since(started), 5.0) << c.what;
        std::printf("[ hostile ] %-14s -> %d %s\n", c.what, r.status, error.c_str());
    }
    // Ten megabytes: refused from its length alone, and the connection ends.
    const std::string huge(10 * 1024 * 1024, 'x');
    const Reply r = Post(Port(), huge);
    EXPECT_EQ(r.status, 422);
    EXPECT_TRUE(r.closed);
    EXPECT_EQ(json::parse(r.body)["error"],
              "the replay is too large (10485760 bytes; at most " + std::to_string(kReplayFileCapacity) + ")");
    std::printf("[ hostile ] %-14s -> %d %s\n", "10 MB body", r.status, r.body.c_str());
    // The same without a length: chunks until the limit is passed.
    const int fd = Connect(Port());
    std::string chunked = "POST /api/v1/replays HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (int i = 0; i < 40; ++i) chunked += "2000\r\n" + std::string(0x2000, 'x') + "\r\n";
    SendAll(fd, chunked);
    const Reply chunks = ParseReply(ReadToClose(fd, 10));
    close(fd);
    EXPECT_EQ(chunks.status, 422) << chunks.body;
    EXPECT_NE(chunks.body.find("too large (more than " + std::to_string(kReplayFileCapacity)), std::string::npos);
    std::printf("[ hostile ] %-14s -> %d %s\n", "chunked body", chunks.status, chunks.body.c_str());
    // Nothing of them was recorded.
    EXPECT_EQ(json::parse(Call(Port(), "GET", "/api/v1/health").body)["entries"], json::array({0, 0, 0}));
}

TEST_F(WorldServer, FiftySubmissionsAtOnceAreAllAnsweredAndEachReplayRecordedOnce) {
    ASSERT_TRUE(Start({"--rate", "1000/min", "--queue", "64"}));
    constexpr int kAtOnce = 50;
    std::vector<Reply> replies(kAtOnce);
    std::vector<std::thread> threads;
    const auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < kAtOnce; ++i)
        threads.emplace_back([&, i] { replies[i] = Post(Port(), games_[i % games_.size()].bytes); });
    for (std::thread& t : threads) t.join();
    const double seconds = Since(started);
    std::map<std::string, int> created;
    size_t players = 0;
    for (int i = 0; i < kAtOnce; ++i) {
        ASSERT_TRUE(replies[i].status == 201 || replies[i].status == 200) << i << ": " << replies[i].body;
        const json j = json::parse(replies[i].body);
        EXPECT_EQ(j["id"], server::ReplayId(games_[i % games_.size()].bytes));
        if (replies[i].status == 201) created[j["id"]] += 1;
    }
    EXPECT_EQ(created.size(), games_.size());
    for (const auto& [id, n] : created) EXPECT_EQ(n, 1) << id;
    for (const MadeReplay& g : games_) players += g.results.size();
    EXPECT_EQ(json::parse(Call(Port(), "GET", "/api/v1/health").body)["entries"][0], players);
    std::printf("[ measure ] %d submissions at once answered in %.2f s\n", kAtOnce, seconds);
    EXPECT_LT(seconds, 60.0);
}

TEST_F(WorldServer, AFullQueueIs503WithRetryAfterAtOnce) {
    auto options = FakeWorker();
    options.insert(options.end(), {"--workers", "1", "--queue", "1", "--verify-seconds", "2", "--rate", "1000/min"});
    ASSERT_TRUE(Start(options));
    std::vector<Reply> held(2);
    std::thread first([&] { held[0] = Post(Port(), "hang"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::thread second([&] { held[1] = Post(Port(), "hang"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto started = std::chrono::steady_clock::now();
    const Reply full = Post(Port(), "hang");
    EXPECT_LT(Since(started), 1.0);
    EXPECT_EQ(full.status, 503) << full.body;
    EXPECT_GE(std::stoi("0" + full.Header("retry-after")), 1);
    std::printf("[ hostile ] %-14s -> %d %s\n", "queue full", full.status, full.body.c_str());
    first.join();
    second.join();
    for (const Reply& r : held) EXPECT_EQ(r.status, 422) << r.body;
}

TEST_F(WorldServer, WorkersThatCrashHangOrOutgrowTheirLimitsAreRefusedInBoundedTime) {
    auto options = FakeWorker();
    options.insert(options.end(),
                   {"--workers", "8", "--verify-seconds", "2", "--verify-memory", "64", "--rate", "1000/min"});
    ASSERT_TRUE(Start(options));
    struct Case {
        const char* body;
        int status;
        const char* words;
    };
    std::vector<Case> cases = {
        {"crash", 422, "signal 11"},
        {"hang", 422, "longer than the server allows (2 s)"},
        {"spin", 422, "longer than the server allows (2 s)"},
        {"garbage", 422, "gave no verdict"},
        {"flood", 422, "gave no verdict"},
        {"fail", 422, "ended with status 3"},
    };
    if (!kSanitized) cases.push_back({"memory", 422, "signal 6"});  // (the sanitizers take no address limit)
    std::vector<Reply> replies(cases.size());
    std::vector<double> seconds(cases.size());
    std::vector<std::thread> threads;
    for (size_t i = 0; i < cases.size(); ++i)
        threads.emplace_back([&, i] {
            const auto started = std::chrono::steady_clock::now();
            replies[i] = Post(Port(), cases[i].body);
            seconds[i] = Since(started);
        });
    for (std::thread& t : threads) t.join();
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(replies[i].status, cases[i].status) << cases[i].body << ": " << replies[i].body;
        EXPECT_NE(replies[i].body.find(cases[i].words), std::string::npos) << cases[i].body << ": " << replies[i].body;
        EXPECT_LT(seconds[i], 5.0) << cases[i].body;
        std::printf("[ hostile ] worker %-7s -> %d in %.2f s %s\n", cases[i].body, replies[i].status, seconds[i],
                    replies[i].body.c_str());
    }
    // And the server goes on answering.
    EXPECT_EQ(Call(Port(), "GET", "/api/v1/health").status, 200);
}

TEST_F(WorldServer, ARateLimitPerAddressIs429AndAProxysAddressCountsOnlyWhenTrusted) {
    ASSERT_TRUE(Start({"--rate", "2/min"}));
    EXPECT_EQ(Post(Port(), "x").status, 422);
    EXPECT_EQ(Post(Port(), "x").status, 422);
    Reply r = Post(Port(), "x");
    EXPECT_EQ(r.status, 429) << r.body;
    EXPECT_GE(std::stoi("0" + r.Header("retry-after")), 1);
    std::printf("[ hostile ] %-14s -> %d %s\n", "rate limit", r.status, r.body.c_str());
    // A header anyone can send changes nothing.
    EXPECT_EQ(Post(Port(), "x", "X-Forwarded-For: 10.9.9.9\r\n").status, 429);
    // Reading goes on.
    EXPECT_EQ(Call(Port(), "GET", "/api/v1/scores").status, 200);
    server_.Stop();
    fs::remove_all(data_);
    ASSERT_TRUE(Start({"--rate", "1/min", "--trust-proxy"}));
    EXPECT_EQ(Post(Port(), "x", "X-Forwarded-For: 203.0.113.5, 10.0.0.1\r\n").status, 422);
    EXPECT_EQ(Post(Port(), "x", "X-Forwarded-For: 10.0.0.1\r\n").status, 429);  // the last is the proxy's word
    EXPECT_EQ(Post(Port(), "x", "X-Forwarded-For: 10.0.0.2\r\n").status, 422);
}

TEST_F(WorldServer, BadIdsPagingMethodsAndPathsAreRefusedAndFilesStayInTheirFolder) {
    const fs::path web = data_.string() + "-web";
    fs::create_directories(web);
    std::ofstream(web / "index.html") << "<p>world</p>";
    std::ofstream(data_.string() + "-secret.txt") << "secret";
    fs::create_symlink(data_.string() + "-secret.txt", web / "out.txt");
    ASSERT_TRUE(Start({"--web", web.string()}));
    struct Case {
        const char* method;
        const char* target;
        int status;
    } cases[] = {
        {"GET", "/api/v1/replays/0123456789ABCDEF", 404},
        {"GET", "/api/v1/replays/0123456789abcde", 404},
        {"GET", "/api/v1/replays/../../../etc/passwd", 404},
        {"GET", "/api/v1/replays/0123456789abcdef", 404},
        {"GET", "/api/v1/scores/around/zz", 404},
        {"GET", "/api/v1/scores/around/0123456789abcdef", 404},
        {"GET", "/api/v1/scores?limit=0", 400},
        {"GET", "/api/v1/scores?limit=101", 400},
        {"GET", "/api/v1/scores?offset=-1", 400},
        {"GET", "/api/v1/scores?difficulty=3", 400},
        {"GET", "/api/v1/scores/around/0123456789abcdef?before=11", 400},
        {"GET", "/api/v2/anything", 404},
        {"DELETE", "/api/v1/scores", 405},
        {"GET", "/api/v1/replays", 405},
        {"POST", "/index.html", 405},
        {"GET", "/../../../../etc/passwd", 404},
        {"GET", "/%2e%2e/%2e%2e/%2e%2e/etc/passwd", 404},
        {"GET", "/out.txt", 404},
        {"GET", "//etc/passwd", 404},
        {"GET", "/index.html", 200},
        {"GET", "/", 200},
    };
    for (const Case& c : cases) {
        const Reply r = Call(Port(), c.method, c.target);
        EXPECT_EQ(r.status, c.status) << c.method << " " << c.target << ": " << r.body;
        EXPECT_EQ(r.Header("x-content-type-options"), "nosniff") << c.target;
        EXPECT_EQ(r.body.find("secret"), std::string::npos) << c.target;
        if (c.status != 200) {
            EXPECT_TRUE(json::parse(r.body, nullptr, false).contains("error")) << c.target;
        } else {
            EXPECT_EQ(r.body, std::string(server::kWorldMarker) + "<p>world</p>");
        }
    }
}

TEST_F(WorldServer, SlowClientsAreCutAndTooManyConnectionsAre503) {
    ASSERT_TRUE(Start({"--client-seconds", "1", "--max-connections", "3"}));
    // A header that never ends, and a body that never comes.
    const int header = Connect(Port());
    const int body = Connect(Port());
    ASSERT_GE(header, 0);
    ASSERT_GE(body, 0);
    const auto started = std::chrono::steady_clock::now();
    SendAll(header, "GET /api/v1/health HTTP/1.1\r\nHost: x\r\n");
    SendAll(body, "POST /api/v1/replays HTTP/1.1\r\nHost: x\r\nContent-Length: 1000\r\n\r\nVCRP");
    // A third connection is let in; a fourth is told there are too many.
    const Reply third = Call(Port(), "GET", "/api/v1/health");
    EXPECT_EQ(third.status, 200);
    const int idle = Connect(Port());
    const Reply fourth = Call(Port(), "GET", "/api/v1/health");
    EXPECT_EQ(fourth.status, 503) << fourth.body;
    EXPECT_FALSE(fourth.Header("retry-after").empty());
    std::printf("[ hostile ] %-14s -> %d %s\n", "connections", fourth.status, fourth.body.c_str());
    EXPECT_EQ(ReadToClose(header, 5), "");
    EXPECT_EQ(ReadToClose(body, 5), "");
    const double cut = Since(started);
    EXPECT_GT(cut, 0.8);
    EXPECT_LT(cut, 3.5);
    std::printf("[ hostile ] %-14s -> cut after %.2f s\n", "slow client", cut);
    close(header);
    close(body);
    ReadToClose(idle, 5);
    close(idle);
    EXPECT_EQ(Call(Port(), "GET", "/api/v1/health").status, 200);
}

// Killed while replays are being recorded, then started again on the same
// folder: every replay answered 200 or 201 is there with its bytes, every
// replay there has all its players' rows and no other, and sending them all
// again records the rest.
TEST_F(WorldServer, AKillMidWriteLosesNothingAnsweredAndLeavesNothingHalf) {
    size_t allPlayers = 0;
    for (const MadeReplay& g : games_) allPlayers += g.results.size();
    for (const int killAfterMs : {40, 120}) {
        fs::remove_all(data_);
        ASSERT_TRUE(Start({"--rate", "1000/min"}));
        std::vector<Reply> replies(games_.size());
        std::vector<std::thread> threads;
        for (size_t i = 0; i < games_.size(); ++i)
            threads.emplace_back([&, i] { replies[i] = Post(Port(), games_[i].bytes); });
        std::this_thread::sleep_for(std::chrono::milliseconds(killAfterMs));
        server_.Kill();
        for (std::thread& t : threads) t.join();
        ASSERT_TRUE(Start({"--rate", "1000/min"}));
        const json rows = json::parse(Call(Port(), "GET", "/api/v1/scores?difficulty=0&limit=100").body);
        std::map<std::string, size_t> rowsOf;
        for (const json& row : rows) rowsOf[row["replay"]] += 1;
        int answered = 0;
        for (size_t i = 0; i < games_.size(); ++i) {
            const std::string id = server::ReplayId(games_[i].bytes);
            const Reply file = Call(Port(), "GET", "/api/v1/replays/" + id);
            if (replies[i].status == 201 || replies[i].status == 200) {
                ++answered;
                EXPECT_EQ(file.status, 200) << "an answered replay was lost: " << id;
            }
            if (file.status == 200) {
                EXPECT_EQ(file.body, games_[i].bytes);
                EXPECT_EQ(rowsOf[id], games_[i].results.size()) << "half an entry: " << id;
            } else {
                EXPECT_EQ(rowsOf.count(id), 0u) << "rows without their replay: " << id;
            }
            rowsOf.erase(id);
        }
        EXPECT_TRUE(rowsOf.empty()) << "rows of no replay sent";
        std::printf("[ hostile ] kill -9 after %d ms: %d of %zu answered, %zu rows kept\n", killAfterMs, answered,
                    games_.size(), rows.size());
        for (const MadeReplay& g : games_) {
            const int status = Post(Port(), g.bytes).status;
            EXPECT_TRUE(status == 200 || status == 201) << status;
        }
        EXPECT_EQ(json::parse(Call(Port(), "GET", "/api/v1/health").body)["entries"][0], allPlayers);
        server_.Stop();
    }
}

}  // namespace
}  // namespace server_test
