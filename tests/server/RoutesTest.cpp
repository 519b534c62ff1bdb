// A request's method and target read into a route: every API path, its
// parameters in and out of range, ids that are not ids, and static paths
// that try to leave the site's folder.
#include <gtest/gtest.h>

#include "server/Routes.h"

namespace server_test {
namespace {

using server::ParseRoute;
using server::Route;
using server::RouteKind;

constexpr const char* kId = "0123456789abcdef";

TEST(ServerRoutes, ApiPathsAndTheirParameters) {
    Route r = ParseRoute("GET", "/api/v1/scores?difficulty=2&limit=100&offset=7");
    EXPECT_EQ(r.kind, RouteKind::Scores);
    EXPECT_EQ(r.difficulty, 2);
    EXPECT_EQ(r.limit, 100);
    EXPECT_EQ(r.offset, 7);
    r = ParseRoute("GET", "/api/v1/scores");
    EXPECT_EQ(r.kind, RouteKind::Scores);
    EXPECT_EQ(r.difficulty, 0);
    EXPECT_EQ(r.limit, 10);
    EXPECT_EQ(r.offset, 0);
    r = ParseRoute("GET", std::string("/api/v1/scores/around/") + kId + "?before=0&after=10");
    EXPECT_EQ(r.kind, RouteKind::Around);
    EXPECT_EQ(r.id, kId);
    EXPECT_EQ(r.before, 0);
    EXPECT_EQ(r.after, 10);
    r = ParseRoute("GET", std::string("/api/v1/replays/") + kId);
    EXPECT_EQ(r.kind, RouteKind::GetReplay);
    EXPECT_EQ(r.id, kId);
    EXPECT_EQ(ParseRoute("POST", "/api/v1/replays").kind, RouteKind::PostReplay);
    EXPECT_EQ(ParseRoute("GET", "/api/v1/health").kind, RouteKind::Health);
    // Unknown names in the query are let be.
    EXPECT_EQ(ParseRoute("GET", "/api/v1/scores?x=1&&limit=5").limit, 5);
}

TEST(ServerRoutes, TheLiveFeedsPathsTakeACodeInEitherCaseAndAnOffset) {
    EXPECT_EQ(ParseRoute("GET", "/api/v1/live").kind, RouteKind::Live);
    Route r = ParseRoute("GET", "/api/v1/live/acdef?from=4294967295");
    EXPECT_EQ(r.kind, RouteKind::LiveFeed);
    EXPECT_EQ(r.id, "ACDEF");
    EXPECT_EQ(r.offset, 4294967295);
    EXPECT_EQ(ParseRoute("GET", "/api/v1/live/YYYYY").offset, 0);
    EXPECT_EQ(ParseRoute("GET", "/api/v1/live/ACDEF?from=4294967296").kind, RouteKind::BadRequest);
    EXPECT_EQ(ParseRoute("GET", "/api/v1/live/ACDEF?from=1&from=2").kind, RouteKind::BadRequest);
    EXPECT_EQ(ParseRoute("GET", "/api/v1/live/ACDEF?from=x").kind, RouteKind::BadRequest);
    // No code: five letters of the twenty, nothing more.
    for (const char* path : {"/api/v1/live/ABCDE", "/api/v1/live/ACDE", "/api/v1/live/ACDEFG", "/api/v1/live/",
                             "/api/v1/live/ACDEF/", "/api/v1/lives", "/api/v1/live/AC%45F"})
        EXPECT_EQ(ParseRoute("GET", path).kind, RouteKind::NotFound) << path;
    EXPECT_EQ(ParseRoute("POST", "/api/v1/live").kind, RouteKind::MethodNotAllowed);
    EXPECT_EQ(ParseRoute("DELETE", "/api/v1/live/ACDEF").kind, RouteKind::MethodNotAllowed);
}

TEST(ServerRoutes, BadPagingIsABadRequest) {
    for (const char* query :
         {"limit=0", "limit=101", "limit=-1", "limit=", "limit=1e2", "offset=-1", "offset=x", "difficulty=3",
          "difficulty=-0", "limit=5&limit=6", "offset=99999999999999", "limit=%31"}) {
        const Route r = ParseRoute("GET", std::string("/api/v1/scores?") + query);
        EXPECT_EQ(r.kind, RouteKind::BadRequest) << query;
        EXPECT_FALSE(r.error.empty()) << query;
    }
    for (const char* query : {"before=11", "after=-1", "before=", "after=2&after=2"})
        EXPECT_EQ(ParseRoute("GET", std::string("/api/v1/scores/around/") + kId + "?" + query).kind,
                  RouteKind::BadRequest)
            << query;
}

TEST(ServerRoutes, AnythingButAnIdIsNotFound) {
    for (const char* id : {"0123456789ABCDEF", "0123456789abcde", "0123456789abcdef0", "0123456789abcdeg",
                           "../../etc/passwd", "", "0123456789abcdef/", "%30123456789abcdef"}) {
        EXPECT_EQ(ParseRoute("GET", std::string("/api/v1/replays/") + id).kind, RouteKind::NotFound) << id;
        EXPECT_EQ(ParseRoute("GET", std::string("/api/v1/scores/around/") + id).kind, RouteKind::NotFound) << id;
    }
    for (const char* path : {"/api", "/api/", "/api/v2/scores", "/api/v1/score", "/api/v1/health/", "/api/v1/"})
        EXPECT_EQ(ParseRoute("GET", path).kind, RouteKind::NotFound) << path;
}

TEST(ServerRoutes, AWrongMethodIsNotAllowedAndSaysWhich) {
    Route r = ParseRoute("GET", "/api/v1/replays");
    EXPECT_EQ(r.kind, RouteKind::MethodNotAllowed);
    EXPECT_EQ(r.allow, "POST");
    for (const char* path : {"/api/v1/scores", "/api/v1/health"}) {
        r = ParseRoute("POST", path);
        EXPECT_EQ(r.kind, RouteKind::MethodNotAllowed) << path;
        EXPECT_EQ(r.allow, "GET");
    }
    EXPECT_EQ(ParseRoute("DELETE", std::string("/api/v1/replays/") + kId).kind, RouteKind::MethodNotAllowed);
    EXPECT_EQ(ParseRoute("PUT", "/index.html").kind, RouteKind::MethodNotAllowed);
}

TEST(ServerRoutes, StaticPathsStayInsideTheSite) {
    struct Case {
        const char* target;
        const char* path;  // null: not found
    };
    const Case cases[] = {
        {"/", "index.html"},
        {"/voidcrawl.js?v=3", "voidcrawl.js"},
        {"/a/b.css", "a/b.css"},
        {"/sub/", "sub/index.html"},
        {"/space%20name.png", "space name.png"},
        {"/..", nullptr},
        {"/../etc/passwd", nullptr},
        {"/a/../../x", nullptr},
        {"/%2e%2e/x", nullptr},
        {"/%2E%2E%2Fx", nullptr},
        {"/a/./b", nullptr},
        {"//etc/passwd", nullptr},
        {"/a//b", nullptr},
        {"/a\\..\\b", nullptr},
        {"/a%5c..%5cb", nullptr},
        {"/a%00.html", nullptr},
        {"/a%0a", nullptr},
        {"/a%", nullptr},
        {"/a%4", nullptr},
        {"/a%zz", nullptr},
        {"relative", nullptr},
        {"http://host/", nullptr},
    };
    for (const Case& c : cases) {
        const Route r = ParseRoute("GET", c.target);
        if (c.path == nullptr) {
            EXPECT_EQ(r.kind, RouteKind::NotFound) << c.target;
        } else {
            EXPECT_EQ(r.kind, RouteKind::Static) << c.target;
            EXPECT_EQ(r.path, c.path) << c.target;
        }
    }
}

}  // namespace
}  // namespace server_test
