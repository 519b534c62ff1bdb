// The API's answers made from a store (an in-memory double): the tables
// and their paging, the rows around a replay, a replay's bytes, health, a
// verified replay recorded with its ranks, one already there, a store that
// is down, and names that look like markup.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <nlohmann/json.hpp>

#include "MemoryStoreDouble.h"
#include "server/Api.h"

namespace server_test {
namespace {

using nlohmann::json;
using server::Answer;
using server::Route;
using server::RouteKind;
using server::Verdict;

constexpr std::time_t kDay = 1796817600;  // 2026-12-09 12:00:00 UTC

Verdict Verified(int32_t difficulty, std::vector<std::pair<std::string, int32_t>> players) {
    Verdict v;
    v.kind = Verdict::Kind::Verified;
    v.difficulty = difficulty;
    int32_t p = 1;
    for (const auto& [name, score] : players) v.results.push_back({p++, name, score, 3, 40, 1});
    return v;
}

std::string Header(const Answer& a, const std::string& name) {
    for (const auto& [n, v] : a.headers)
        if (n == name) return v;
    return {};
}

Route Get(const std::string& target) { return server::ParseRoute("GET", target); }

class ServerApi : public ::testing::Test {
protected:
    // Records a replay of `bytes` and returns its answer.
    Answer Send(const std::string& bytes, const Verdict& v, std::time_t at = kDay) {
        return server::RecordVerified(store, server::ReplayId(bytes), bytes, v, at);
    }
    MemoryStoreDouble store;
    server::ServerFacts facts{"1.0.0", "00112233aabbccdd", {}};
};

TEST_F(ServerApi, AVerifiedReplayIsRecordedWithItsRanksAndOnceOnly) {
    Answer a = Send("first", Verified(0, {{"ADA", 500}}));
    ASSERT_EQ(a.status, 201) << a.body;
    json j = json::parse(a.body);
    EXPECT_EQ(j["id"], server::ReplayId("first"));
    EXPECT_EQ(j["entries"], 1);
    EXPECT_EQ(j["results"], json::parse(R"([{"name":"ADA","score":500,"level":3,"rank":1}])"));

    a = Send("second", Verified(0, {{"BO", 900}, {"CY", 100}}), kDay + 60);
    ASSERT_EQ(a.status, 201);
    j = json::parse(a.body);
    EXPECT_EQ(j["entries"], 3);
    EXPECT_EQ(j["results"][0]["rank"], 1);
    EXPECT_EQ(j["results"][1]["rank"], 3);
    EXPECT_EQ(j["difficulty"], 0);

    // The same bytes again: nothing written, the same id and ranks as now.
    const int adds = store.adds;
    a = Send("first", Verified(0, {{"ADA", 500}}));
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(store.adds, adds);
    j = json::parse(a.body);
    EXPECT_EQ(j["id"], server::ReplayId("first"));
    EXPECT_EQ(j["results"][0]["rank"], 2);
    Answer known;
    ASSERT_TRUE(server::AnswerKnown(store, server::ReplayId("second"), &known));
    EXPECT_EQ(json::parse(known.body)["results"], json::parse(R"([{"name":"BO","score":900,"level":3,"rank":1},
        {"name":"CY","score":100,"level":3,"rank":3}])"));
    EXPECT_FALSE(server::AnswerKnown(store, server::ReplayId("never sent"), &known));

    // Another difficulty is a table of its own.
    a = Send("hard", Verified(2, {{"DI", 5}}));
    EXPECT_EQ(json::parse(a.body)["entries"], 1);
}

TEST_F(ServerApi, TablesPageBestFirstWithTheirCount) {
    for (int i = 0; i < 15; ++i) Send("game" + std::to_string(i), Verified(1, {{"P" + std::to_string(i), i * 10}}));
    Answer a = server::AnswerRead(Get("/api/v1/scores?difficulty=1&limit=4&offset=2"), store, facts);
    ASSERT_EQ(a.status, 200);
    EXPECT_EQ(Header(a, "X-Total-Count"), "15");
    const json rows = json::parse(a.body);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0]["rank"], 3);
    EXPECT_EQ(rows[0]["score"], 120);
    EXPECT_EQ(rows[0]["date"], "2026-12-09");
    EXPECT_EQ(rows[0]["replay"], server::ReplayId("game12"));
    EXPECT_EQ(rows[0]["player"], 1);
    EXPECT_EQ(rows[3]["rank"], 6);
    a = server::AnswerRead(Get("/api/v1/scores?difficulty=1&offset=100"), store, facts);
    EXPECT_EQ(a.body, "[]");
    EXPECT_EQ(Header(a, "X-Total-Count"), "15");
    a = server::AnswerRead(Get("/api/v1/scores?difficulty=2"), store, facts);
    EXPECT_EQ(Header(a, "X-Total-Count"), "0");

    a = server::AnswerRead(Get("/api/v1/scores/around/" + server::ReplayId("game7") + "?before=2&after=1"), store,
                           facts);
    ASSERT_EQ(a.status, 200);
    const json around = json::parse(a.body);
    ASSERT_EQ(around.size(), 4u);
    EXPECT_EQ(around[2]["replay"], server::ReplayId("game7"));
    EXPECT_EQ(around[0]["rank"], 6);
    EXPECT_EQ(Header(a, "X-Total-Count"), "15");
    EXPECT_EQ(server::AnswerRead(Get("/api/v1/scores/around/0000000000000000"), store, facts).status, 404);
}

TEST_F(ServerApi, AReplaysBytesComeBackAsAFileToSave) {
    Send(std::string("\x00\x01\xff", 3), Verified(0, {{"ADA", 1}}));
    const std::string id = server::ReplayId(std::string("\x00\x01\xff", 3));
    const Answer a = server::AnswerRead(Get("/api/v1/replays/" + id), store, facts);
    ASSERT_EQ(a.status, 200);
    EXPECT_EQ(a.body, std::string("\x00\x01\xff", 3));
    EXPECT_EQ(a.contentType, "application/octet-stream");
    EXPECT_EQ(Header(a, "Content-Disposition"), "attachment; filename=\"voidcrawl-" + id + ".vcr\"");
    EXPECT_EQ(server::AnswerRead(Get("/api/v1/replays/ffffffffffffffff"), store, facts).status, 404);
}

TEST_F(ServerApi, HealthCountsEachTableAndADownStoreIs503WithRetryAfter) {
    Send("a", Verified(0, {{"A", 1}, {"B", 2}}));
    Send("b", Verified(2, {{"C", 1}}));
    Answer a = server::AnswerRead(Get("/api/v1/health"), store, facts);
    ASSERT_EQ(a.status, 200);
    EXPECT_EQ(json::parse(a.body), json::parse(R"({"status":"ok","version":"1.0.0","dataset":"00112233aabbccdd",
        "entries":[2,0,1],"rooms":0,"room_players":0,"room_garbage":0,"relayed":0})"));
    // The rooms' counts as they stand at each ask.
    uint64_t live = 3;
    facts.rooms = [&live] {
        server::RoomsCounts c;
        c.rooms = live;
        c.players = 2 * live - 1;
        c.garbage = 17;
        c.relayed = 123456789012ull;
        return c;
    };
    EXPECT_EQ(json::parse(server::AnswerRead(Get("/api/v1/health"), store, facts).body)["rooms"], 3);
    live = 4;
    a = server::AnswerRead(Get("/api/v1/health"), store, facts);
    EXPECT_EQ(json::parse(a.body)["rooms"], 4);
    EXPECT_EQ(json::parse(a.body)["room_players"], 7);
    EXPECT_EQ(json::parse(a.body)["room_garbage"], 17);
    EXPECT_EQ(json::parse(a.body)["relayed"], 123456789012ull);
    store.down = true;
    a = server::AnswerRead(Get("/api/v1/health"), store, facts);
    EXPECT_EQ(a.status, 503);
    EXPECT_EQ(json::parse(a.body)["status"], "down");
    for (const char* target :
         {"/api/v1/scores", "/api/v1/replays/0123456789abcdef", "/api/v1/scores/around/0123456789abcdef"}) {
        a = server::AnswerRead(Get(target), store, facts);
        EXPECT_EQ(a.status, 503) << target;
        EXPECT_FALSE(Header(a, "Retry-After").empty()) << target;
    }
    a = Send("c", Verified(0, {{"D", 1}}));
    EXPECT_EQ(a.status, 503);
    EXPECT_NE(json::parse(a.body)["error"].get<std::string>().find("the double is down"), std::string::npos);
}

TEST_F(ServerApi, NamesGoOutAsTextNeverMarkup) {
    const Answer a = Send("x", Verified(0, {{"<b>&</b>", 1}}));
    EXPECT_EQ(a.body.find('<'), std::string::npos) << a.body;
    EXPECT_EQ(a.body.find('&'), std::string::npos) << a.body;
    EXPECT_EQ(json::parse(a.body)["results"][0]["name"], "<b>&</b>");
    // Bytes that are not UTF-8 still make JSON.
    const Answer b = Send("y", Verified(0, {{"\xff\xfe", 1}}));
    EXPECT_FALSE(json::parse(b.body, nullptr, false).is_discarded()) << b.body;
}

TEST_F(ServerApi, RefusedRoutesSayWhy) {
    Answer a = server::AnswerRead(Get("/api/v1/scores?limit=0"), store, facts);
    EXPECT_EQ(a.status, 400);
    EXPECT_NE(json::parse(a.body)["error"].get<std::string>().find("limit"), std::string::npos);
    a = server::AnswerRead(server::ParseRoute("GET", "/api/v1/replays"), store, facts);
    EXPECT_EQ(a.status, 405);
    EXPECT_EQ(Header(a, "Allow"), "POST");
    EXPECT_EQ(server::AnswerRead(Get("/api/v9"), store, facts).status, 404);
}

TEST(ServerReplayId, IsTheFirstEightBytesOfSha256InHex) {
    // SHA-256("abc") = ba7816bf8f01cfea 414140de...
    EXPECT_EQ(server::ReplayId("abc"), "ba7816bf8f01cfea");
    EXPECT_EQ(server::ReplayId(""), "e3b0c44298fc1c14");
}

// What a worker says, read strictly: a verdict line, or a refusal.
TEST(ServerWorkerVerdict, OnlyAWholeVerdictLineIsAVerdict) {
    const server::WorkerLimits limits{10, 256};
    const int exited0 = 0;  // as waitpid has it: exited with 0
    const std::string good =
        R"({"verdict":"verified","difficulty":1,"results":[{"player":1,"name":"ADA","score":5,"level":2,"length":9,"ship":1}]})";
    Verdict v = server::ReadWorkerVerdict(good + "\n", exited0, false, limits);
    ASSERT_EQ(v.kind, Verdict::Kind::Verified) << v.words;
    EXPECT_EQ(v.difficulty, 1);
    ASSERT_EQ(v.results.size(), 1u);
    EXPECT_EQ(v.results[0].name, "ADA");
    EXPECT_EQ(v.results[0].length, 9);

    v = server::ReadWorkerVerdict(R"({"verdict":"not-verified","error":"out of step at level 3"})"
                                  "\n",
                                  exited0, false, limits);
    EXPECT_EQ(v.kind, Verdict::Kind::Refused);
    EXPECT_EQ(v.words, "out of step at level 3");
    v = server::ReadWorkerVerdict(R"({"verdict":"startup","error":"no levels"})"
                                  "\n",
                                  exited0, false, limits);
    EXPECT_EQ(v.kind, Verdict::Kind::Unavailable);

    const std::string garbage[] = {
        "",
        good,                       // no end of line: cut off
        good + "\n" + good + "\n",  // two lines
        "garbage\n",
        "[]\n",
        R"({"verdict":"verified"})"
        "\n",
        R"({"verdict":"verified","difficulty":3,"results":[{"player":1,"name":"A","score":5,"level":2,"length":9,"ship":1}]})"
        "\n",
        R"({"verdict":"verified","difficulty":0,"results":[{"player":2,"name":"A","score":5,"level":2,"length":9,"ship":1}]})"
        "\n",
        R"({"verdict":"verified","difficulty":0,"results":[{"player":1,"name":"A","score":-5,"level":2,"length":9,"ship":1}]})"
        "\n",
        R"({"verdict":"verified","difficulty":0,"results":[{"player":1,"name":"A","score":5,"level":21,"length":9,"ship":1}]})"
        "\n",
        R"({"verdict":"verified","difficulty":0,"results":[{"player":1,"name":7,"score":5,"level":2,"length":9,"ship":1}]})"
        "\n",
        R"({"verdict":"verified","difficulty":0,"results":[]})"
        "\n",
        R"({"verdict":"refused"})"
        "\n",
        R"({"verdict":"maybe","error":"x"})"
        "\n",
    };
    for (const std::string& g : garbage) {
        v = server::ReadWorkerVerdict(g, exited0, false, limits);
        EXPECT_EQ(v.kind, Verdict::Kind::Refused) << g;
        EXPECT_NE(v.words.find("no verdict"), std::string::npos) << g;
    }
    // Killed for its time, by its CPU limit, by a crash, or an exit status
    // that is not 0: refused, whatever it printed before.
    v = server::ReadWorkerVerdict(good + "\n", SIGKILL, true, limits);
    EXPECT_EQ(v.kind, Verdict::Kind::Refused);
    EXPECT_NE(v.words.find("longer than the server allows (10 s)"), std::string::npos);
    v = server::ReadWorkerVerdict(good + "\n", SIGXCPU, false, limits);
    EXPECT_NE(v.words.find("longer than"), std::string::npos);
    v = server::ReadWorkerVerdict(good + "\n", SIGSEGV, false, limits);
    EXPECT_EQ(v.kind, Verdict::Kind::Refused);
    EXPECT_NE(v.words.find("signal 11"), std::string::npos);
    v = server::ReadWorkerVerdict(good + "\n", 3 << 8, false, limits);
    EXPECT_EQ(v.kind, Verdict::Kind::Refused);
    v = server::ReadWorkerVerdict("", 127 << 8, false, limits);  // exec failed
    EXPECT_EQ(v.kind, Verdict::Kind::Unavailable);
}

}  // namespace
}  // namespace server_test
