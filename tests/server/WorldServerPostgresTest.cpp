// Two voidcrawl-server processes on one PostgreSQL database, as an operator
// runs them behind one proxy: a result sent to either is ranked on the
// other, and a page one of them read a moment before shows the other's
// result once its second is up.
#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "PgCluster.h"
#include "ServerHarness.h"
#include "server/Api.h"
#include "server/ReadCache.h"

namespace server_test {
namespace {

using nlohmann::json;

TEST(PostgresServers, AResultSentToOneIsRankedOnTheOtherAndItsPagesCatchUpWithinASecond) {
    testpg::PgCluster& cluster = testpg::PgCluster::Get();
    if (!cluster.Available()) {
        if (testpg::OnCi()) FAIL() << "CI=true and no PostgreSQL: " << cluster.Why();
        GTEST_SKIP() << "no PostgreSQL cluster here (" << cluster.Why() << "); CI=true makes this a failure";
    }
    std::string db, error;
    ASSERT_TRUE(cluster.CreateDatabase(&db, &error)) << error;
    const fs::path root = fs::path(::testing::TempDir()) / ("vc_pg_servers_" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root);
    const MadeReplay low = MakeReplay(root / "low", "--autopilot --seed 5 --until-level 2");
    const MadeReplay high = MakeReplay(root / "high", "--autopilot --seed 6 --until-level 3");
    ASSERT_EQ(low.results.size(), 1u);
    ASSERT_EQ(high.results.size(), 1u);
    ASSERT_LT(low.results[0].second, high.results[0].second);

    ServerProcess a, b;
    ASSERT_TRUE(a.Start(root / "a", {"--db", db}));
    ASSERT_TRUE(b.Start(root / "b", {"--db", db}));
    const std::string page = "/api/v1/scores?difficulty=0";

    // B reads the empty table; A takes the lower game.
    EXPECT_EQ(Call(b.Port(), "GET", page).Header("x-total-count"), "0");
    const Reply first = Post(a.Port(), low.bytes);
    ASSERT_EQ(first.status, 201) << first.body;
    EXPECT_EQ(json::parse(first.body)["results"][0]["rank"], 1);
    // A reads its page: the lower game alone.
    const Reply seenByA = Call(a.Port(), "GET", page);
    ASSERT_EQ(seenByA.status, 200);
    EXPECT_EQ(json::parse(seenByA.body).size(), 1u);

    // B takes the higher game: ranked first, above A's; B's own page, read
    // after its own write, holds both at once.
    const Reply second = Post(b.Port(), high.bytes);
    ASSERT_EQ(second.status, 201) << second.body;
    EXPECT_EQ(json::parse(second.body)["results"][0]["rank"], 1);
    EXPECT_EQ(json::parse(second.body)["entries"], 2);
    const json onB = json::parse(Call(b.Port(), "GET", page).body);
    ASSERT_EQ(onB.size(), 2u);
    EXPECT_EQ(onB[0]["replay"], server::ReplayId(high.bytes));
    EXPECT_EQ(onB[1]["replay"], server::ReplayId(low.bytes));
    EXPECT_EQ(onB[1]["rank"], 2);
    // A's game, sent again to B, is known there with its new rank.
    const Reply again = Post(b.Port(), low.bytes);
    ASSERT_EQ(again.status, 200) << again.body;
    EXPECT_EQ(json::parse(again.body)["results"][0]["rank"], 2);
    // The rows around A's game, asked of A: B's game above it.
    const Reply around = Call(a.Port(), "GET", "/api/v1/scores/around/" + server::ReplayId(low.bytes));
    ASSERT_EQ(around.status, 200) << around.body;
    EXPECT_EQ(json::parse(around.body)[0]["replay"], server::ReplayId(high.bytes));

    // A's page, kept since before B's write, catches up within its second.
    const auto started = std::chrono::steady_clock::now();
    size_t rows = 0;
    double waited = 0;
    while (rows < 2 && waited < 5 * server::kReadCacheSeconds) {
        rows = json::parse(Call(a.Port(), "GET", page).body).size();
        waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (rows < 2) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(rows, 2u);
    EXPECT_LE(waited, server::kReadCacheSeconds + 0.5);
    EXPECT_EQ(a.Stop(), 0);
    EXPECT_EQ(b.Stop(), 0);
    fs::remove_all(root);
}

}  // namespace
}  // namespace server_test
