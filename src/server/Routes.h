#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// What a request asks for, read from its method and target alone: the
// route and its checked parameters, or why it is refused. Nothing here
// touches the store or the file system; the parsing is fuzzed (fuzz/).
namespace server {

// An id: 16 lower-case hex digits (the first 8 bytes of the SHA-256 of the
// replay file's bytes).
constexpr size_t kIdDigits = 16;
bool IsReplayId(std::string_view text);

constexpr int32_t kDefaultLimit = 10;
constexpr int32_t kMostLimit = 100;
constexpr int32_t kDefaultAround = 2;
constexpr int32_t kMostAround = 10;

enum class RouteKind : uint8_t {
    Health,
    Scores,
    Around,
    GetReplay,
    PostReplay,
    Live,              // the list of rooms with a feed
    LiveFeed,          // a room's feed from `offset`: `id` is its code (upper case)
    Static,            // a file of the browser build: `path`
    NotFound,          // 404 (an unknown /api path, a bad id)
    MethodNotAllowed,  // 405, `allow` says which
    BadRequest,        // 400, `error` says why
};

struct Route {
    RouteKind kind = RouteKind::NotFound;
    int32_t difficulty = 0;
    int32_t limit = kDefaultLimit;
    int64_t offset = 0;
    int32_t before = kDefaultAround;
    int32_t after = kDefaultAround;
    std::string id;
    std::string path;   // Static: the decoded path below the site's root ("index.html" for "/")
    std::string allow;  // MethodNotAllowed: the methods the path takes
    std::string error;  // BadRequest
};

Route ParseRoute(std::string_view method, std::string_view target);

// A static file's path from the request's path: percent-decoded, "/" and a
// trailing "/" naming index.html; false for any path that could leave the
// site's folder or name something odd (a ".." or "." segment, an empty
// one, a backslash, a control byte, a NUL).
bool StaticPath(std::string_view urlPath, std::string* path);

}  // namespace server
