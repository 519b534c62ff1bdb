// The server's rules of admission: the per-address rate limit over time,
// and the verify queue's order and bound.
#include <gtest/gtest.h>

#include <vector>

#include "server/RateLimiter.h"
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
