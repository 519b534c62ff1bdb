// The server's rules of admission and keeping: the per-address rate limit
// over time, the verify queue's order and bound, and the pages kept a moment.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "server/RateLimiter.h"
#include "server/ReadCache.h"
#include "server/Routes.h"
#include "server/ServerOptions.h"
#include "server/VerifyQueue.h"

namespace server_test {
namespace {

using server::RateLimiter;
using server::VerifyQueue;

TEST(ServerRateLimiter, ABurstOfTheRateThenOneAsEachRefills) {
    RateLimiter limiter(6);  // a token every 10 s
    int32_t retry = 0;
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(limiter.Take("10.0.0.1", 100.0, &retry)) << i;
    EXPECT_FALSE(limiter.Take("10.0.0.1", 100.0, &retry));
    EXPECT_EQ(retry, 10);
    EXPECT_FALSE(limiter.Take("10.0.0.1", 104.5, &retry));
    EXPECT_EQ(retry, 6);  // 5.5 s left, rounded up
    // Another address has its own bucket.
    EXPECT_TRUE(limiter.Take("10.0.0.2", 100.0, &retry));
    EXPECT_TRUE(limiter.Take("10.0.0.1", 110.0, &retry));
    EXPECT_FALSE(limiter.Take("10.0.0.1", 110.0, &retry));
    // A long wait fills the bucket to the rate, no more.
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(limiter.Take("10.0.0.1", 10000.0, &retry)) << i;
    EXPECT_FALSE(limiter.Take("10.0.0.1", 10000.0, &retry));
    // A clock that steps back gives nothing.
    EXPECT_FALSE(limiter.Take("10.0.0.1", 50.0, &retry));
}

TEST(ServerRateLimiter, AFullTableDropsOnlyFilledBucketsAndElseRefusesNewcomers) {
    RateLimiter limiter(2, 3);
    int32_t retry = 0;
    for (const char* a : {"a", "b", "c"}) ASSERT_TRUE(limiter.Take(a, 0.0, &retry));
    EXPECT_FALSE(limiter.Take("d", 1.0, &retry));  // nobody's bucket has filled
    EXPECT_EQ(limiter.Addresses(), 3u);
    EXPECT_TRUE(limiter.Take("d", 60.0, &retry));  // theirs have: they are forgotten
    EXPECT_EQ(limiter.Addresses(), 1u);
}

TEST(ServerRateLimiter, AFloodOfNewcomersToAFullTableCostsOnePassASecond) {
    // A full table of buckets none of which has filled again, then 50,000
    // newcomers in one second: each refused, without a pass over the whole
    // table for each (which took minutes).
    RateLimiter limiter(20);
    int32_t retry = 0;
    for (size_t i = 0; i < RateLimiter::kMostAddresses; ++i) ASSERT_TRUE(limiter.Take(std::to_string(i), 0.0, &retry));
    const auto started = std::chrono::steady_clock::now();
    int refused = 0;
    for (int i = 0; i < 50000; ++i) refused += !limiter.Take("new" + std::to_string(i), 1.0 + i * 1e-5, &retry);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_EQ(refused, 50000);
    EXPECT_LT(seconds, 5.0);
    // A minute on the buckets have filled: the next newcomer finds room.
    EXPECT_TRUE(limiter.Take("late", 61.0, &retry));
}

TEST(ServerRateLimiter, ARefusalIsToldOnceAMinuteAtMost) {
    RateLimiter limiter(1);  // a token a minute
    int32_t retry = 0;
    bool tell = true;
    EXPECT_TRUE(limiter.Take("a", 0.0, &retry, &tell));
    EXPECT_FALSE(tell);
    EXPECT_FALSE(limiter.Take("a", 0.0, &retry, &tell));
    EXPECT_TRUE(tell);
    for (double t : {1.0, 10.0, 59.0}) {
        EXPECT_FALSE(limiter.Take("a", t, &retry, &tell));
        EXPECT_FALSE(tell) << t;
    }
    EXPECT_TRUE(limiter.Take("a", 70.0, &retry, &tell));
    EXPECT_FALSE(limiter.Take("a", 70.0, &retry, &tell));
    EXPECT_TRUE(tell);  // 70 s after the last
    EXPECT_FALSE(limiter.Take("a", 71.0, &retry, &tell));
    EXPECT_FALSE(tell);
    // Another address is told of its own.
    EXPECT_TRUE(limiter.Take("b", 71.0, &retry, &tell));
    EXPECT_FALSE(limiter.Take("b", 71.0, &retry, &tell));
    EXPECT_TRUE(tell);
    // A newcomer refused by a full table is never told.
    RateLimiter small(1, 1);
    EXPECT_TRUE(small.Take("x", 0.0, &retry, &tell));
    EXPECT_FALSE(small.Take("y", 0.0, &retry, &tell));
    EXPECT_FALSE(tell);
}

TEST(ServerVerifyQueue, RunsAtMostTheWorkersAndKeepsTheRestInOrderUpToItsBound) {
    VerifyQueue queue(2, 3);
    std::vector<int> started;
    auto job = [&](int n) { return [&started, n] { started.push_back(n); }; };
    for (int n = 1; n <= 5; ++n) EXPECT_TRUE(queue.Admit(job(n))) << n;
    EXPECT_FALSE(queue.Admit(job(6)));  // 2 running, 3 waiting
    EXPECT_EQ(started, (std::vector<int>{1, 2}));
    EXPECT_EQ(queue.Running(), 2);
    EXPECT_EQ(queue.Waiting(), 3u);
    queue.Done();
    EXPECT_EQ(started, (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(queue.Admit(job(7)));
    queue.Done();
    queue.Done();
    queue.Done();
    EXPECT_EQ(started, (std::vector<int>{1, 2, 3, 4, 5, 7}));
    queue.Done();
    queue.Done();
    EXPECT_EQ(queue.Running(), 0);
    queue.Done();  // one too many changes nothing
    EXPECT_EQ(queue.Running(), 0);
}

TEST(ServerVerifyQueue, AJobThatEndsAtOnceLetsTheNextStart) {
    VerifyQueue queue(1, 0);
    int ran = 0;
    EXPECT_TRUE(queue.Admit([&] {
        ++ran;
        queue.Done();
    }));
    EXPECT_TRUE(queue.Admit([&] { ++ran; }));
    EXPECT_FALSE(queue.Admit([&] { ++ran; }));  // no room to wait
    EXPECT_EQ(ran, 2);
}

}  // namespace
}  // namespace server_test

namespace {
server::Answer Page(const std::string& body, int status = 200) {
    server::Answer a;
    a.status = status;
    a.body = body;
    return a;
}
server::Route ScoresRoute(int32_t difficulty, int32_t limit, int64_t offset) {
    server::Route r;
    r.kind = server::RouteKind::Scores;
    r.difficulty = difficulty;
    r.limit = limit;
    r.offset = offset;
    return r;
}
}  // namespace

TEST(ServerReadCache, KeysNameEveryParameterOfTheTablesPagesAndNothingElse) {
    using server::ReadCache;
    // Pages that differ in any parameter are different answers.
    EXPECT_NE(ReadCache::KeyOf(ScoresRoute(0, 10, 0)), ReadCache::KeyOf(ScoresRoute(1, 10, 0)));
    EXPECT_NE(ReadCache::KeyOf(ScoresRoute(0, 10, 0)), ReadCache::KeyOf(ScoresRoute(0, 11, 0)));
    EXPECT_NE(ReadCache::KeyOf(ScoresRoute(0, 10, 0)), ReadCache::KeyOf(ScoresRoute(0, 10, 10)));
    // "1/10/0" and "11/0/..." may not run together.
    EXPECT_NE(ReadCache::KeyOf(ScoresRoute(1, 10, 0)), ReadCache::KeyOf(ScoresRoute(11, 0, 0)));
    // The same page asked with its parameters in another order, or with
    // names the server lets be, is one answer.
    EXPECT_EQ(ReadCache::KeyOf(server::ParseRoute("GET", "/api/v1/scores?offset=20&difficulty=2")),
              ReadCache::KeyOf(server::ParseRoute("GET", "/api/v1/scores?difficulty=2&x=1&offset=20&limit=10")));
    server::Route around = server::ParseRoute("GET", "/api/v1/scores/around/0123456789abcdef?before=3");
    ASSERT_EQ(around.kind, server::RouteKind::Around);
    server::Route aroundAfter = server::ParseRoute("GET", "/api/v1/scores/around/0123456789abcdef?after=3");
    EXPECT_FALSE(ReadCache::KeyOf(around).empty());
    EXPECT_NE(ReadCache::KeyOf(around), ReadCache::KeyOf(aroundAfter));
    // The health check, a replay's bytes, refusals and files are never kept.
    for (const char* target : {"/api/v1/health", "/api/v1/replays/0123456789abcdef", "/api/v1/scores?limit=0",
                               "/api/v1/nothing", "/index.html"})
        EXPECT_TRUE(ReadCache::KeyOf(server::ParseRoute("GET", target)).empty()) << target;
}

TEST(ServerReadCache, AnswersAPageForItsSecondsUntilTheTableChanges) {
    server::ReadCache cache(1.0, 8);
    const std::string key = server::ReadCache::KeyOf(ScoresRoute(0, 10, 0));
    EXPECT_EQ(cache.Find(key, 100.0), nullptr);
    cache.Keep(key, Page("[1]"), 100.0);
    ASSERT_NE(cache.Find(key, 100.5), nullptr);
    EXPECT_EQ(cache.Find(key, 100.5)->body, "[1]");
    EXPECT_EQ(cache.Find(key, 101.0)->body, "[1]");
    EXPECT_EQ(cache.Find(key, 101.01), nullptr);  // another process's writes show within the second
    EXPECT_EQ(cache.Size(), 0u);
    // A clock that went back does not make an answer last longer.
    cache.Keep(key, Page("[2]"), 200.0);
    EXPECT_EQ(cache.Find(key, 150.0), nullptr);
    // A replay recorded here: nothing kept is answered again.
    cache.Keep(key, Page("[3]"), 300.0);
    cache.Forget();
    EXPECT_EQ(cache.Find(key, 300.0), nullptr);
    // Refusals and a store that is down are never kept; an empty key neither.
    cache.Keep(key, Page("{\"error\":\"down\"}", 503), 400.0);
    cache.Keep("", Page("[4]"), 400.0);
    EXPECT_EQ(cache.Find(key, 400.0), nullptr);
    EXPECT_EQ(cache.Size(), 0u);
}

TEST(ServerReadCache, AFullCacheDropsTheStaleThenTheOldestAndNeverGrows) {
    server::ReadCache cache(1.0, 3);
    auto key = [](int64_t offset) { return server::ReadCache::KeyOf(ScoresRoute(0, 10, offset)); };
    cache.Keep(key(0), Page("a"), 10.0);
    cache.Keep(key(1), Page("b"), 10.2);
    cache.Keep(key(2), Page("c"), 10.4);
    cache.Keep(key(3), Page("d"), 10.6);  // full: the oldest (a) goes
    EXPECT_EQ(cache.Size(), 3u);
    EXPECT_EQ(cache.Find(key(0), 10.6), nullptr);
    EXPECT_EQ(cache.Find(key(1), 10.6)->body, "b");
    // Kept again under a key it holds: replaced, nothing dropped.
    cache.Keep(key(3), Page("d2"), 10.7);
    EXPECT_EQ(cache.Size(), 3u);
    EXPECT_EQ(cache.Find(key(1), 10.7)->body, "b");
    EXPECT_EQ(cache.Find(key(3), 10.7)->body, "d2");
    // Later, b and c are stale: both go for one newcomer.
    cache.Keep(key(4), Page("e"), 11.5);
    EXPECT_EQ(cache.Size(), 2u);
    EXPECT_EQ(cache.Find(key(4), 11.5)->body, "e");
    EXPECT_EQ(cache.Find(key(3), 11.5)->body, "d2");
    // A reader walking page after page never makes it grow.
    for (int64_t offset = 100; offset < 1100; ++offset) cache.Keep(key(offset), Page("x"), 12.0);
    EXPECT_EQ(cache.Size(), 3u);
}

namespace server_test {
namespace {

TEST(ServerOptions, TheRoomsPortAddressAndLimitAreReadAndRefusedOutOfRange) {
    auto parse = [](std::vector<const char*> args, server::ServerOptions* o) {
        args.insert(args.begin(), "voidcrawl-server");
        std::string error;
        return server::ParseServerArguments(static_cast<int>(args.size()), args.data(), o, &error);
    };
    server::ServerOptions o;
    ASSERT_TRUE(parse({"--listen", "127.0.0.1:8081"}, &o));
    EXPECT_EQ(o.udpPort, -1);  // the HTTP port's number
    EXPECT_EQ(o.maxRooms, static_cast<int32_t>(kRoomDefaultMaxRooms));
    o = {};
    ASSERT_TRUE(parse({"--udp-port", "0", "--max-rooms", "5"}, &o));
    EXPECT_EQ(o.udpPort, 0);
    EXPECT_EQ(o.maxRooms, 5);
    o = {};
    ASSERT_TRUE(parse({"--listen", "127.0.0.1:8081", "--udp-listen", "[2001:db8::1]:443"}, &o));
    EXPECT_EQ(o.host, "127.0.0.1");
    EXPECT_EQ(o.udpHost, "2001:db8::1");
    EXPECT_EQ(o.udpPort, 443);
    for (std::vector<const char*> bad : std::vector<std::vector<const char*>>{{"--udp-port", "65536"},
                                                                              {"--udp-port", "-1"},
                                                                              {"--udp-port"},
                                                                              {"--udp-listen", "0.0.0.0:0"},
                                                                              {"--udp-listen", "nowhere"},
                                                                              {"--max-rooms", "0"},
                                                                              {"--max-rooms", "1000001"}}) {
        o = {};
        EXPECT_FALSE(parse(bad, &o)) << bad[0];
    }
}

}  // namespace
}  // namespace server_test
