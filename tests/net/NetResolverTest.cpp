// Looking a name up off the game's thread: what it finds and how it fails,
// with a stand-in for getaddrinfo that holds a lookup for as long as a
// test wants, to show that the game's frame never waits for it.
#include <gtest/gtest.h>
#include <netdb.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "net/NetResolver.h"

namespace {

using State = NetResolver::State;
using Clock = std::chrono::steady_clock;

// Polls as a frame would, until the lookup has answered (or `limitMs`).
State PollUntilAnswered(NetResolver& r, int limitMs) {
    const auto until = Clock::now() + std::chrono::milliseconds(limitMs);
    while (r.Poll() == State::Running && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return r.GetState();
}

TEST(NetResolver, LocalhostAndNumericAddressesAreFoundWithThePort) {
    const struct {
        const char* typed;
        const char* found[2];  // either, as the system orders them
    } cases[] = {
        {"localhost", {"127.0.0.1:7311", "[::1]:7311"}},
        {"localhost:7400", {"127.0.0.1:7400", "[::1]:7400"}},
        {"127.0.0.1:9000", {"127.0.0.1:9000", nullptr}},
        {"[::1]:4377", {"[::1]:4377", nullptr}},
        {"::1", {"[::1]:7311", nullptr}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        NetResolver r;
        ASSERT_TRUE(r.Start(c.typed)) << r.Failure();
        ASSERT_EQ(PollUntilAnswered(r, 10000), State::Done) << r.Failure();
        const std::string found = r.Numeric();
        EXPECT_TRUE(found == c.found[0] || (c.found[1] != nullptr && found == c.found[1])) << found;
    }
}

TEST(NetResolver, ANameThatCannotExistOrAMalformedAddressFailsWithWords) {
    NetResolver r;
    ASSERT_TRUE(r.Start("nohost.invalid:7400"));
    ASSERT_EQ(PollUntilAnswered(r, 10000), State::Failed);
    EXPECT_STREQ(r.Failure(), "no host called nohost.invalid");
    EXPECT_STREQ(r.Name(), "nohost.invalid");
    ASSERT_TRUE(r.Start("Some.Where.INVALID."));
    ASSERT_EQ(PollUntilAnswered(r, 10000), State::Failed);
    EXPECT_STREQ(r.Failure(), "no host called Some.Where.INVALID.");
    // Refused before any lookup.
    EXPECT_FALSE(r.Start("[::1"));
    EXPECT_EQ(r.GetState(), State::Failed);
    EXPECT_STREQ(r.Failure(), "the IPv6 address has no ']'");
}

// The stand-in: holds each lookup until released, then answers `answer`.
std::atomic<bool> gRelease{false};
std::atomic<int> gLookups{0};
std::atomic<int> gAnswer{0};
int HeldLookup(const char*, const char*, const addrinfo*, addrinfo** found) {
    ++gLookups;
    while (!gRelease.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    *found = nullptr;
    return gAnswer.load();
}

class HeldResolverTest : public testing::Test {
protected:
    void SetUp() override {
        gRelease = false;
        gLookups = 0;
        NetResolver::SetLookupFunction(HeldLookup);
    }
    void TearDown() override {
        gRelease = true;
        NetResolver::SetLookupFunction(nullptr);
    }
};

TEST_F(HeldResolverTest, PollNeverWaitsForALookupThatHangs) {
    NetResolver r;
    ASSERT_TRUE(r.Start("slow.example.org"));
    Clock::duration longest{};
    for (int frame = 0; frame < 200; ++frame) {
        const auto before = Clock::now();
        EXPECT_EQ(r.Poll(), State::Running);
        longest = std::max(longest, Clock::now() - before);
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    // A Poll that waited would wait for ever: the lookup is held. The bound
    // leaves room for a busy machine's preemption.
    EXPECT_LT(longest, std::chrono::milliseconds(50));
    EXPECT_EQ(gLookups.load(), 1);  // one thread for the lookup, none a frame
    // Its answer, once given, comes through.
    gAnswer = EAI_AGAIN;
    gRelease = true;
    ASSERT_EQ(PollUntilAnswered(r, 5000), State::Failed);
    EXPECT_STREQ(r.Failure(),
                 "the name server could not say where slow.example.org is (try again, or type its numeric address)");
}

TEST_F(HeldResolverTest, ALookupPastItsTimeBoundFailsAndOneGivenUpIsForgotten) {
    NetResolver r;
    ASSERT_TRUE(r.Start("slow.example.org", 100));
    const auto before = Clock::now();
    ASSERT_EQ(PollUntilAnswered(r, 5000), State::Failed);
    EXPECT_GE(Clock::now() - before, std::chrono::milliseconds(100));
    EXPECT_STREQ(r.Failure(), "no answer about slow.example.org in 1 s (is this machine on a network?)");
    // Given up (Cancel, or a new Start): the old answer never shows.
    ASSERT_TRUE(r.Start("first.example.org"));
    r.Cancel();
    EXPECT_EQ(r.Poll(), State::Idle);
    ASSERT_TRUE(r.Start("second.example.org"));
    ASSERT_TRUE(r.Start("third.example.org"));
    gAnswer = EAI_NONAME;
    gRelease = true;
    ASSERT_EQ(PollUntilAnswered(r, 5000), State::Failed);
    EXPECT_STREQ(r.Failure(), "no host called third.example.org");
    // The held threads all end, each freeing its own lookup (the sanitizer
    // build sees a leak or a use after free).
    const auto until = Clock::now() + std::chrono::seconds(5);
    while (gLookups.load() < 4 && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(gLookups.load(), 4);
}

}  // namespace
