#include "hosts/desktop/DesktopWorldLink.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <tuple>

#include "hosts/desktop/WorldAnswers.h"
#include "support/Files.h"
#include "support/StubHttpServer.h"

namespace {

namespace fs = std::filesystem;
using Reply = StubHttpServer::Reply;
using Request = StubHttpServer::Request;

// What a server answers to a ranked game, with `rank` for its one player.
std::string RankedBody(const char* id, int rank, int entries = 1204) {
    return std::string("{\"id\":\"") + id + "\",\"difficulty\":1,\"entries\":" + std::to_string(entries) +
           ",\"results\":[{\"name\":\"ADA\",\"score\":4200,\"level\":7,\"rank\":" + std::to_string(rank) + "}]}";
}

Reply Ranked(const char* id = "0123456789abcdef", int rank = 37) { return Reply{201, RankedBody(id, rank)}; }

// A replay's stand-in: the link carries bytes, whatever they hold.
Bytes Game(int n) {
    Bytes bytes(300 + n);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + n);
    return bytes;
}

class WorldLinkTest : public testing::Test {
protected:
    std::unique_ptr<DesktopWorldLink> Link(std::chrono::milliseconds firstRetry = std::chrono::milliseconds(50),
                                           long totalMs = 2000) {
        DesktopWorldLink::Options options;
        options.folder = folder_;
        options.limits.connectMs = 1000;
        options.limits.totalMs = totalMs;
        options.firstRetry = firstRetry;
        options.lastRetry = firstRetry * 4;
        return std::make_unique<DesktopWorldLink>(options);
    }
    // Waits up to `ms` for `done`.
    static bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!done()) {
            if (std::chrono::steady_clock::now() > until) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
    static bool Send(WorldLink& link, const Bytes& replay, const char* tag) {
        char reason[128] = {};
        const bool kept = link.Send(replay.data(), replay.size(), tag, reason, sizeof reason);
        EXPECT_TRUE(kept) << reason;
        return kept;
    }
    static bool Take(WorldLink& link, WorldSent* sent, int ms = 5000) {
        return WaitFor([&] { return link.TakeSent(sent); }, ms);
    }
    int Kept() const {
        int n = 0;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder_ + "/world-outbox", ec))
            n += WorldOutbox::IsOutboxName(entry.path().filename().c_str()) ? 1 : 0;
        return n;
    }
    ScratchDir scratch_;
    std::string folder_ = scratch_.path().string();
};

// A ranked game: the replay's bytes go as the body of one POST, the answer
// comes back with its tag, the kept copy goes and the id is noted as this
// player's; the same game answered 200 (already there) is ranked too.
TEST_F(WorldLinkTest, ARankedGameIsSentOnceAndLeavesTheOutbox) {
    for (const int status : {201, 200}) {
        SCOPED_TRACE(status);
        StubHttpServer server([&](const Request&) { return Reply{status, RankedBody("00000000000000a1", 37)}; });
        auto link = Link();
        link->Follow(server.Url().c_str(), true);
        EXPECT_TRUE(link->Configured());
        const Bytes replay = Game(status);
        ASSERT_TRUE(Send(*link, replay, "20261209-101500-01.vcr"));
        WorldSent sent;
        ASSERT_TRUE(Take(*link, &sent));
        EXPECT_EQ(sent.outcome, WorldSent::Outcome::Ranked);
        EXPECT_STREQ(sent.tag, "20261209-101500-01.vcr");
        EXPECT_STREQ(sent.id, "00000000000000a1");
        EXPECT_EQ((std::tuple{sent.difficulty, sent.entries, sent.count, sent.results[0].rank, sent.results[0].score,
                              sent.results[0].level, std::string(sent.results[0].name)}),
                  (std::tuple{1, int64_t{1204}, 1, int64_t{37}, 4200, 7, std::string("ADA")}));
        const std::vector<Request> requests = server.Requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(
            (std::tuple{requests[0].method, requests[0].path, requests[0].contentType}),
            (std::tuple{std::string("POST"), std::string("/api/v1/replays"), std::string("application/octet-stream")}));
        EXPECT_EQ(requests[0].body, std::string(replay.begin(), replay.end()));
        EXPECT_TRUE(WaitFor([&] { return Kept() == 0; }));
        EXPECT_NE(ReadText(folder_ + "/world-games.txt").find("00000000000000a1 1 4200\n"), std::string::npos);
        EXPECT_FALSE(link->TakeSent(&sent));  // one answer, once
    }
}

// A refused game leaves the outbox with the server's words, shown as text
// only and clipped to the field.
TEST_F(WorldLinkTest, ARefusedGameLeavesTheOutboxWithTheServersWords) {
    const struct {
        std::string body, reason;
    } cases[] = {
        {R"({"error":"the replay is out of step at level 3"})", "the replay is out of step at level 3"},
        {R"({"error":"<b>\u001b[2Jbad</b>"})", "<b>?[2Jbad</b>"},
        {"{\"error\":\"" + std::string(500, 'x') + "\"}", std::string(kWorldReasonBytes - 1, 'x')},
        {R"({"error":42})", "the server refused the game"},
        {"not json", "the server refused the game"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        StubHttpServer server([&](const Request&) { return Reply{422, c.body}; });
        auto link = Link();
        link->Follow(server.Url().c_str(), true);
        ASSERT_TRUE(Send(*link, Game(1), "refused.vcr"));
        WorldSent sent;
        ASSERT_TRUE(Take(*link, &sent));
        EXPECT_EQ(sent.outcome, WorldSent::Outcome::Refused);
        EXPECT_EQ(std::string(sent.reason), c.reason);
        EXPECT_TRUE(WaitFor([&] { return Kept() == 0; }));
    }
}

// Whatever else the server does, the game stays kept and is sent again
// later: a busy server (503 with Retry-After), one that never answers in
// time, bytes that are no HTTP, a 201 whose body is no answer, an answer
// larger than the link takes (with and without its length said), another
// status. The next try, answered, ranks it.
TEST_F(WorldLinkTest, AGameTheServerDidNotTakeIsKeptAndSentAgain) {
    const struct {
        const char* what;
        Reply first;
        const char* failure;  // how the link's last failure starts
    } cases[] = {
        {"busy", Reply{503, R"({"error":"the verify queue is full"})", "Retry-After: 1\r\n"},
         "the server answered 503"},
        {"rate", Reply{429, R"({"error":"slow down"})"}, "the server answered 429"},
        {"hang", Reply{201, RankedBody("0000000000000001", 1), "", 1500}, "the server did not answer in time"},
        {"garbage", Reply{200, "", "", 0, "\x16\x03\x01garbage, not HTTP\r\n\r\n"}, "cannot reach the server"},
        {"not an answer", Reply{201, R"({"id":"0123","results":"many"})"}, "the server's answer to a sent game"},
        {"huge", Reply{201, "", "", 0, "", 10 * 1024 * 1024}, "the server's answer is too large"},
        {"huge, no length", Reply{201, "", "", 0, "HTTP/1.1 201 OK\r\n\r\n" + std::string(2 * 1024 * 1024, '[')},
         "the server's answer is too large"},
        {"other", Reply{500, "oops"}, "the server answered 500"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        int calls = 0;
        StubHttpServer server([&](const Request&) { return calls++ == 0 ? c.first : Ranked(); });
        auto link = Link(std::chrono::milliseconds(50), 500);
        link->Follow(server.Url().c_str(), true);
        ASSERT_TRUE(Send(*link, Game(2), "again.vcr"));
        ASSERT_TRUE(WaitFor([&] { return !link->LastFailure().empty() || calls > 1; }));
        WorldSent sent;
        const auto before = std::chrono::steady_clock::now();
        if (calls == 1) {
            EXPECT_EQ(link->LastFailure().rfind(c.failure, 0), 0u) << link->LastFailure();
            EXPECT_EQ(Kept(), 1);
        }
        ASSERT_TRUE(Take(*link, &sent, 8000));
        EXPECT_EQ(sent.outcome, WorldSent::Outcome::Ranked);
        // (A hung request the link gave up on may still reach the server
        // after the next: the server takes the same bytes as one game.)
        if (c.first.hangMs == 0) {
            EXPECT_EQ(server.Requests().size(), 2u);
        }
        EXPECT_TRUE(link->LastFailure().empty());
        if (std::string(c.what) == "busy") {  // Retry-After: 1 held the next try back a second
            EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(700));
        }
        EXPECT_TRUE(WaitFor([&] { return Kept() == 0; }));
    }
}

// The server down when the game ends, and still down when the program
// ends: the game is kept, and the next run sends it once the server is up.
TEST_F(WorldLinkTest, AGameKeptWhileTheServerWasDownIsSentLaterEvenByTheNextRun) {
    const int port = StubHttpServer::FreePort();
    const std::string url = "http://127.0.0.1:" + std::to_string(port);
    {
        auto link = Link();
        link->Follow(url.c_str(), true);
        ASSERT_TRUE(Send(*link, Game(3), "down.vcr"));
        ASSERT_TRUE(WaitFor([&] { return !link->LastFailure().empty(); }));
        EXPECT_EQ(link->LastFailure().rfind("cannot reach the server", 0), 0u) << link->LastFailure();
        EXPECT_EQ(link->Waiting(), 1);
    }
    EXPECT_EQ(Kept(), 1);
    auto link = Link();
    link->Follow(url.c_str(), true);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));  // tries and fails again
    const StubHttpServer server([&](const Request&) { return Ranked(); }, port);
    ASSERT_TRUE(server.Listening());
    WorldSent sent;
    ASSERT_TRUE(Take(*link, &sent));
    EXPECT_STREQ(sent.tag, "down.vcr");
    EXPECT_EQ(Kept(), 0);
}

// Sending off holds kept games unsent, even with a server set; on again,
// they go. A new address is tried at once, whatever the wait after the
// last failure.
TEST_F(WorldLinkTest, SendingOffHoldsGamesAndANewAddressIsTriedAtOnce) {
    StubHttpServer server([&](const Request&) { return Ranked(); });
    auto link = Link(std::chrono::minutes(10));
    link->Follow(server.Url().c_str(), false);
    ASSERT_TRUE(Send(*link, Game(4), "held.vcr"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(Kept(), 1);
    // A server that is not there: the failure would wait ten minutes...
    const std::string nowhere = "http://127.0.0.1:" + std::to_string(StubHttpServer::FreePort());
    link->Follow(nowhere.c_str(), true);
    ASSERT_TRUE(WaitFor([&] { return !link->LastFailure().empty(); }));
    // ... but a new address is tried at once.
    link->Follow(server.Url().c_str(), true);
    WorldSent sent;
    ASSERT_TRUE(Take(*link, &sent, 3000));
    EXPECT_STREQ(sent.tag, "held.vcr");
    // No server: nothing is sent, and a table cannot be asked for.
    link->Follow("", true);
    EXPECT_FALSE(link->Configured());
    link->AskTable(0);
    char reason[64] = {};
    EXPECT_EQ(link->Table(nullptr, reason, sizeof reason), WorldAnswer::Failed);
    EXPECT_STREQ(reason, "no world server is set");
}

// Two copies of the game on one outbox send each kept game once: a claimed
// game is another copy's until it is answered or let go.
TEST_F(WorldLinkTest, TwoLinksOnOneOutboxSendEachGameOnce) {
    std::mutex mutex;
    std::map<std::string, int> posts;
    StubHttpServer server([&](const Request& request) {
        const std::lock_guard<std::mutex> lock(mutex);
        ++posts[request.body];
        Reply reply = Ranked();
        reply.hangMs = 20;  // long enough for the other copy to try the same game
        return reply;
    });
    auto first = Link();
    auto second = Link();
    for (int i = 0; i < 8; ++i) ASSERT_TRUE(Send(*first, Game(10 + i), "two.vcr"));
    first->Follow(server.Url().c_str(), true);
    second->Follow(server.Url().c_str(), true);
    int answers = 0;
    WorldSent sent;
    ASSERT_TRUE(WaitFor([&] {
        while (first->TakeSent(&sent) || second->TakeSent(&sent)) ++answers;
        return answers >= 8;
    }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    while (first->TakeSent(&sent) || second->TakeSent(&sent)) ++answers;
    EXPECT_EQ(answers, 8);
    EXPECT_EQ(posts.size(), 8u);
    for (const auto& [body, count] : posts) EXPECT_EQ(count, 1);
    EXPECT_EQ(Kept(), 0);
}

// The outbox holds the player's folder's files too, perhaps: a file of any
// other name, one of the outbox's names that is not a kept game, a folder
// and a link are left exactly as they are.
TEST_F(WorldLinkTest, FilesTheLinkDidNotKeepAreNeverSentNorTouched) {
    const std::string outbox = folder_ + "/world-outbox";
    fs::create_directories(outbox + "/world-00000000000000aa.send");  // a folder of our name
    WriteText(outbox + "/notes.txt", "mine");
    WriteText(outbox + "/world-0123456789ABCDEF.send", "VCWO\x03tagupper");  // upper case: not ours
    WriteText(outbox + "/world-0123456789abcdef.send", "not a kept game");
    WriteText(folder_ + "/elsewhere.vcr", "VCWO\x01tbytes");
    fs::create_symlink(folder_ + "/elsewhere.vcr", outbox + "/world-00000000000000bb.send");
    StubHttpServer server([&](const Request&) { return Ranked(); });
    auto link = Link();
    link->Follow(server.Url().c_str(), true);
    ASSERT_TRUE(Send(*link, Game(5), "mine.vcr"));
    WorldSent sent;
    ASSERT_TRUE(Take(*link, &sent));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(ReadText(outbox + "/notes.txt"), "mine");
    EXPECT_EQ(ReadText(outbox + "/world-0123456789ABCDEF.send"), "VCWO\x03tagupper");
    EXPECT_EQ(ReadText(outbox + "/world-0123456789abcdef.send"), "not a kept game");
    EXPECT_TRUE(fs::is_directory(outbox + "/world-00000000000000aa.send"));
    EXPECT_TRUE(fs::is_symlink(outbox + "/world-00000000000000bb.send"));
    EXPECT_EQ(ReadText(folder_ + "/elsewhere.vcr"), "VCWO\x01tbytes");
    // What cannot be sent is refused when it is handed over.
    char reason[128] = {};
    EXPECT_FALSE(link->Send(nullptr, 0, "empty", reason, sizeof reason));
    const Bytes huge(kWorldReplayBytesMax + 1, 1);
    EXPECT_FALSE(link->Send(huge.data(), huge.size(), "huge", reason, sizeof reason));
    EXPECT_STREQ(reason, "the replay is empty or too large to send");
}

// The WORLD tab's table: the top rows with the count of all entries, and
// the rows around this player's best game there, this player's marked.
TEST_F(WorldLinkTest, ATableComesWithItsCountAndTheRowsAroundThePlayersBest) {
    const std::string row =
        R"({"rank":%d,"name":"%s","score":%d,"level":5,"length":40,"date":"2026-12-09","replay":"%s","player":1})";
    auto Row = [&](int rank, const char* name, int score, const char* id) {
        char text[256];
        std::snprintf(text, sizeof text, row.c_str(), rank, name, score, id);
        return std::string(text);
    };
    StubHttpServer server([&](const Request& request) {
        if (request.method == "POST") return Reply{201, RankedBody("00000000000000c3", 40, 60)};
        if (request.path == "/api/v1/scores?difficulty=1&limit=10")
            return Reply{200,
                         "[" + Row(1, "TOP", 9000, "00000000000000a1") + "," +
                             Row(2, "<i>SECOND</i>", 8000, "00000000000000a2") + "]",
                         "X-Total-Count: 60\r\n"};
        if (request.path == "/api/v1/scores/around/00000000000000c3?before=2&after=2")
            return Reply{
                200, "[" + Row(39, "A", 100, "00000000000000c1") + "," + Row(40, "ADA", 90, "00000000000000c3") + "]"};
        return Reply{404, R"({"error":"no such table"})"};
    });
    auto link = Link();
    link->Follow((server.Url() + "/").c_str(), true);  // a slash at the end is the same server
    ASSERT_TRUE(Send(*link, Game(6), "own.vcr"));
    WorldSent sent;
    ASSERT_TRUE(Take(*link, &sent));
    link->AskTable(1);
    WorldTable table;
    char reason[kWorldReasonBytes] = {};
    ASSERT_TRUE(WaitFor([&] { return link->Table(&table, reason, sizeof reason) != WorldAnswer::Waiting; }));
    ASSERT_EQ(link->Table(&table, reason, sizeof reason), WorldAnswer::Ready) << reason;
    EXPECT_EQ((std::tuple{table.difficulty, table.entries, table.topCount, table.aroundCount}),
              (std::tuple{1, int64_t{60}, 2, 2}));
    EXPECT_EQ((std::tuple{std::string(table.top[1].name), table.top[1].score, table.top[1].own}),
              (std::tuple{std::string("<i>SECOND</i>"), 8000, false}));
    EXPECT_EQ((std::tuple{table.around[1].rank, std::string(table.around[1].replay), table.around[1].own,
                          table.around[0].own}),
              (std::tuple{int64_t{40}, std::string("00000000000000c3"), true, false}));
    // A table the server has not: Failed with its words.
    link->AskTable(2);
    ASSERT_TRUE(WaitFor([&] { return link->Table(&table, reason, sizeof reason) != WorldAnswer::Waiting; }));
    EXPECT_EQ(link->Table(&table, reason, sizeof reason), WorldAnswer::Failed);
    EXPECT_STREQ(reason, "no such table");
}

// A watched world game: its bytes, or why not.
TEST_F(WorldLinkTest, AReplayIsFetchedByItsIdOrRefusedWithTheReason) {
    const Bytes replay = Game(7);
    StubHttpServer server([&](const Request& request) {
        if (request.path == "/api/v1/replays/00000000000000a1")
            return Reply{200, std::string(replay.begin(), replay.end())};
        return Reply{404, R"({"error":"no such replay"})"};
    });
    auto link = Link();
    link->Follow(server.Url().c_str(), false);  // watching needs no sending
    Bytes buffer(4096);
    size_t size = 0;
    char reason[kWorldReasonBytes] = {};
    auto Ask = [&](const char* id, size_t capacity) {
        link->AskReplay(id);
        EXPECT_TRUE(WaitFor([&] {
            return link->Replay(buffer.data(), capacity, &size, reason, sizeof reason) != WorldAnswer::Waiting;
        }));
        return link->Replay(buffer.data(), capacity, &size, reason, sizeof reason);
    };
    ASSERT_EQ(Ask("00000000000000a1", buffer.size()), WorldAnswer::Ready) << reason;
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(size)), replay);
    EXPECT_EQ(Ask("00000000000000a1", 10), WorldAnswer::Failed);
    EXPECT_STREQ(reason, "the replay is too large");
    EXPECT_EQ(Ask("00000000000000ff", buffer.size()), WorldAnswer::Failed);
    EXPECT_STREQ(reason, "the server has no such replay");
    const size_t asked = server.Requests().size();
    EXPECT_EQ(Ask("../../etc/passwd", buffer.size()), WorldAnswer::Failed);  // never asked of the server
    EXPECT_STREQ(reason, "not a replay's id");
    EXPECT_EQ(server.Requests().size(), asked);
}

// A live game's feed: its bytes from the offset asked, with the server's
// X-Feed-Held and X-Feed-Ended; nothing new (204) is an empty part; a
// refusal comes in the server's words; an answer larger than a part may be
// and a code that is none are refused, the latter never asked of the server.
TEST_F(WorldLinkTest, AFeedsPartComesWithWhatTheServerHoldsOrIsRefused) {
    StubHttpServer server([&](const Request& request) {
        if (request.path == "/api/v1/live/VKKMN?from=0")
            return Reply{200, "abcdef", "X-Feed-Held: 9\r\nContent-Type: application/octet-stream\r\n"};
        if (request.path == "/api/v1/live/VKKMN?from=6")
            return Reply{200, "ghi", "X-Feed-Held: 9\r\nX-Feed-Ended: 1\r\n"};
        if (request.path == "/api/v1/live/VKKMN?from=9") return Reply{204};
        if (request.path == "/api/v1/live/HUGEE?from=0") return Reply(200, "", "", 0, "", kWorldFeedMostRead + 1);
        if (request.path == "/api/v1/live/FULLL?from=0")
            return Reply{503, R"({"error":"that game has as many watchers as it may; try again soon"})"};
        return Reply{404, R"({"error":"no game of that code is live"})"};
    });
    auto link = Link();
    link->Follow(server.Url().c_str(), false);
    Bytes buffer(kWorldFeedMostRead);
    char reason[kWorldReasonBytes] = {};
    WorldFeedPart part;
    auto Ask = [&](const char* code, uint32_t from) {
        link->AskFeed(code, from);
        EXPECT_TRUE(
            WaitFor([&] { return link->Feed(buffer.data(), &part, reason, sizeof reason) != WorldAnswer::Waiting; }));
        part = WorldFeedPart();
        return link->Feed(buffer.data(), &part, reason, sizeof reason);
    };
    ASSERT_EQ(Ask("VKKMN", 0), WorldAnswer::Ready) << reason;
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(part.size)), "abcdef");
    EXPECT_EQ((std::tuple{part.held, part.ended}), (std::tuple{int64_t{9}, false}));
    ASSERT_EQ(Ask("VKKMN", 6), WorldAnswer::Ready) << reason;
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(part.size)), "ghi");
    EXPECT_EQ((std::tuple{part.held, part.ended}), (std::tuple{int64_t{9}, true}));
    ASSERT_EQ(Ask("VKKMN", 9), WorldAnswer::Ready) << reason;
    EXPECT_EQ((std::tuple{part.size, part.held, part.ended}), (std::tuple{size_t{0}, int64_t{-1}, false}));
    EXPECT_EQ(Ask("AAAAA", 0), WorldAnswer::Failed);
    EXPECT_STREQ(reason, "no game of that code is live");
    EXPECT_EQ(Ask("FULLL", 0), WorldAnswer::Failed);
    EXPECT_STREQ(reason, "that game has as many watchers as it may; try again soon");
    EXPECT_EQ(Ask("HUGEE", 0), WorldAnswer::Failed);
    EXPECT_STREQ(reason, "the server's answer is too large");
    const size_t asked = server.Requests().size();
    EXPECT_EQ(Ask("../x", 0), WorldAnswer::Failed);
    EXPECT_STREQ(reason, "that is no room's code");
    EXPECT_EQ(server.Requests().size(), asked);
}

// The answers' reader, on what a hostile or broken server may send: wrong
// types, numbers out of range, ids of the wrong length or letters, names
// with markup and control bytes, more results than players.
TEST(WorldAnswers, AnswersOfTheWrongShapeAreRefusedAndTextIsClippedToPrintableBytes) {
    const struct {
        std::string body;
        bool read;
        std::string name;  // the first result's, when read
    } sent[] = {
        {RankedBody("0123456789abcdef", 1), true, "ADA"},
        {R"({"id":"0123456789abcdef","difficulty":0,"entries":1,"results":[{"name":"<script>\u0007x</script>yyyy","score":1,"level":1,"rank":1}]})",
         true, "<script>?x</script>"},
        {R"({"id":"0123456789ABCDEF","difficulty":0,"entries":1,"results":[{"name":"A","score":1,"level":1,"rank":1}]})",
         false, ""},
        {R"({"id":"0123456789abcde","difficulty":0,"entries":1,"results":[{"name":"A","score":1,"level":1,"rank":1}]})",
         false, ""},
        {R"({"id":"0123456789abcdef","difficulty":3,"entries":1,"results":[{"name":"A","score":1,"level":1,"rank":1}]})",
         false, ""},
        {R"({"id":"0123456789abcdef","difficulty":0,"entries":-1,"results":[{"name":"A","score":1,"level":1,"rank":1}]})",
         false, ""},
        {R"({"id":"0123456789abcdef","difficulty":0,"entries":1,"results":[{"name":"A","score":1.5,"level":1,"rank":1}]})",
         false, ""},
        {R"({"id":"0123456789abcdef","difficulty":0,"entries":1,"results":[{"name":"A","score":99999999999,"level":1,"rank":1}]})",
         false, ""},
        {R"({"id":"0123456789abcdef","difficulty":0,"entries":1,"results":[{"name":7,"score":1,"level":1,"rank":1}]})",
         false, ""},
        {R"({"id":"0123456789abcdef","difficulty":0,"entries":1,"results":[{"name":"A","score":1,"level":1,"rank":0}]})",
         false, ""},
        {R"({"id":"0123456789abcdef","difficulty":0,"entries":1,"results":[]})", false, ""},
        {R"({"id":"0123456789abcdef","difficulty":"0","entries":1,"results":[{"name":"A","score":1,"level":1,"rank":1}]})",
         false, ""},
        {R"([1,2,3])", false, ""},
        {std::string(100000, '[') + std::string(100000, ']'), false, ""},
        {"", false, ""},
    };
    for (const auto& c : sent) {
        SCOPED_TRACE(c.body.substr(0, 120));
        WorldSent answer;
        std::snprintf(answer.tag, sizeof answer.tag, "tag");
        EXPECT_EQ(ReadSentAnswer(c.body.data(), c.body.size(), &answer), c.read);
        if (c.read) {
            EXPECT_EQ(std::string(answer.results[0].name), c.name);
            EXPECT_STREQ(answer.tag, "tag");
        }
    }
    // Three results: the first two are the game's two players.
    const std::string three =
        R"({"id":"0123456789abcdef","difficulty":0,"entries":1,"results":[{"name":"A","score":1,"level":1,"rank":1},{"name":"B","score":2,"level":1,"rank":2},{"name":"C","score":3,"level":1,"rank":3}]})";
    WorldSent answer;
    ASSERT_TRUE(ReadSentAnswer(three.data(), three.size(), &answer));
    EXPECT_EQ(answer.count, kWorldResultsMax);

    // A table: a row of the wrong shape refuses the whole answer.
    WorldRow rows[3];
    int count = -1;
    const std::string good =
        R"([{"rank":1,"name":"A","score":5,"level":2,"length":9,"date":"2026-12-09T10:00:00","replay":"00000000000000a1"}])";
    ASSERT_TRUE(ReadTableRows(good.data(), good.size(), rows, 3, &count));
    EXPECT_EQ((std::tuple{count, std::string(rows[0].date)}), (std::tuple{1, std::string("2026-12-09")}));
    for (const char* bad :
         {R"([{"rank":1,"name":"A","score":5,"level":2,"length":9,"date":"2026-12-09","replay":"a1"}])",
          R"([{"rank":1,"name":"A","score":5,"level":2,"date":"2026-12-09","replay":"00000000000000a1"}])",
          R"([{"rank":"1","name":"A","score":5,"level":2,"length":9,"date":"2026-12-09","replay":"00000000000000a1"}])",
          R"([{"rank":1,"name":"A","score":5,"level":2,"length":9,"date":"2026-12-09","replay":"00000000000000a1"},7])",
          R"({"rows":[]})"}) {
        EXPECT_FALSE(ReadTableRows(bad, std::strlen(bad), rows, 3, &count)) << bad;
    }
}

}  // namespace
