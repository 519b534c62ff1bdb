#include "Routes.h"

#include <vector>

#include "net/RoomProtocol.h"

namespace server {
namespace {

constexpr std::string_view kApi = "/api/";
constexpr std::string_view kScoresAround = "/api/v1/scores/around/";
constexpr std::string_view kReplays = "/api/v1/replays";
constexpr std::string_view kLive = "/api/v1/live";

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A decimal count from `low` to `high`, digits only.
bool ReadCount(std::string_view text, int64_t low, int64_t high, int64_t* value) {
    if (text.empty() || text.size() > 12) return false;
    int64_t n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
    }
    if (n < low || n > high) return false;
    *value = n;
    return true;
}

struct QueryField {
    const char* name;
    int64_t low, high;
    int64_t* value;
    bool seen = false;
};

// Reads `query` ("a=1&b=2") into the fields; a field given twice, or out of
// its range, is refused. Other names are let be.
bool ReadQuery(std::string_view query, std::vector<QueryField>& fields, std::string* error) {
    while (!query.empty()) {
        const size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (pair.empty()) continue;
        const size_t eq = pair.find('=');
        const std::string_view name = pair.substr(0, eq);
        const std::string_view value = eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
        for (QueryField& f : fields) {
            if (name != f.name) continue;
            if (f.seen) {
                *error = std::string(f.name) + " is given twice";
                return false;
            }
            f.seen = true;
            if (!ReadCount(value, f.low, f.high, f.value)) {
                *error = std::string(f.name) + " must be a whole number from " + std::to_string(f.low) + " to " +
                         std::to_string(f.high);
                return false;
            }
        }
    }
    return true;
}

Route Refuse(RouteKind kind, std::string allowOrError = {}) {
    Route r;
    r.kind = kind;
    if (kind == RouteKind::MethodNotAllowed)
        r.allow = std::move(allowOrError);
    else if (kind == RouteKind::BadRequest)
        r.error = std::move(allowOrError);
    return r;
}

Route ApiRoute(std::string_view method, std::string_view path, std::string_view query) {
    Route r;
    if (path == "/api/v1/health" || path == "/api/v1/scores" || StartsWith(path, kScoresAround) ||
        (StartsWith(path, kReplays) && path.size() > kReplays.size() && path[kReplays.size()] == '/') ||
        path == kLive || (StartsWith(path, kLive) && path.size() > kLive.size() && path[kLive.size()] == '/')) {
        if (method != "GET") return Refuse(RouteKind::MethodNotAllowed, "GET");
    }
    std::vector<QueryField> fields;
    int64_t a = 0, b = 0, c = 0;
    if (path == "/api/v1/health") {
        r.kind = RouteKind::Health;
        return r;
    }
    if (path == kLive) {
        r.kind = RouteKind::Live;
        return r;
    }
    if (StartsWith(path, kLive) && path.size() == kLive.size() + 1 + kRoomCodeLength && path[kLive.size()] == '/') {
        char code[kRoomCodeBytes];
        const std::string text(path.substr(kLive.size() + 1));
        if (!FoldRoomCode(text.c_str(), code)) return r;  // NotFound
        a = 0;
        fields = {{"from", 0, UINT32_MAX, &a}};
        if (!ReadQuery(query, fields, &r.error)) return Refuse(RouteKind::BadRequest, r.error);
        r.kind = RouteKind::LiveFeed;
        r.id = code;
        r.offset = a;
        return r;
    }
    if (path == kReplays) {
        if (method != "POST") return Refuse(RouteKind::MethodNotAllowed, "POST");
        r.kind = RouteKind::PostReplay;
        return r;
    }
    if (path == "/api/v1/scores") {
        a = 0, b = kDefaultLimit, c = 0;
        fields = {{"difficulty", 0, 2, &a}, {"limit", 1, kMostLimit, &b}, {"offset", 0, INT64_C(1) << 40, &c}};
        if (!ReadQuery(query, fields, &r.error)) return Refuse(RouteKind::BadRequest, r.error);
        r.kind = RouteKind::Scores;
        r.difficulty = static_cast<int32_t>(a);
        r.limit = static_cast<int32_t>(b);
        r.offset = c;
        return r;
    }
    if (StartsWith(path, kScoresAround) && IsReplayId(path.substr(kScoresAround.size()))) {
        a = kDefaultAround, b = kDefaultAround;
        fields = {{"before", 0, kMostAround, &a}, {"after", 0, kMostAround, &b}};
        if (!ReadQuery(query, fields, &r.error)) return Refuse(RouteKind::BadRequest, r.error);
        r.kind = RouteKind::Around;
        r.id = std::string(path.substr(kScoresAround.size()));
        r.before = static_cast<int32_t>(a);
        r.after = static_cast<int32_t>(b);
        return r;
    }
    if (StartsWith(path, kReplays) && path.size() == kReplays.size() + 1 + kIdDigits && path[kReplays.size()] == '/' &&
        IsReplayId(path.substr(kReplays.size() + 1))) {
        r.kind = RouteKind::GetReplay;
        r.id = std::string(path.substr(kReplays.size() + 1));
        return r;
    }
    return r;  // NotFound
}

}  // namespace

bool IsReplayId(std::string_view text) {
    if (text.size() != kIdDigits) return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

bool StaticPath(std::string_view urlPath, std::string* path) {
    if (urlPath.empty() || urlPath.front() != '/') return false;
    std::string decoded;
    for (size_t i = 0; i < urlPath.size(); ++i) {
        char c = urlPath[i];
        if (c == '%') {
            if (i + 2 >= urlPath.size()) return false;
            const int hi = HexValue(urlPath[i + 1]), lo = HexValue(urlPath[i + 2]);
            if (hi < 0 || lo < 0) return false;
            c = static_cast<char>(hi * 16 + lo);
            i += 2;
        }
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || c == '\\') return false;
        decoded += c;
    }
    if (decoded.empty() || decoded.front() != '/') return false;
    if (decoded.back() == '/') decoded += "index.html";
    // Every segment a plain name: no "", ".", ".." (the first is the root's "/").
    std::string_view rest(decoded);
    rest.remove_prefix(1);
    size_t at = 0;
    while (at <= rest.size()) {
        const size_t slash = rest.find('/', at);
        const std::string_view segment = rest.substr(at, slash == std::string_view::npos ? rest.npos : slash - at);
        if (segment.empty() || segment == "." || segment == "..") return false;
        if (slash == std::string_view::npos) break;
        at = slash + 1;
    }
    *path = std::string(rest);
    return true;
}

Route ParseRoute(std::string_view method, std::string_view target) {
    const size_t q = target.find('?');
    const std::string_view path = target.substr(0, q);
    const std::string_view query = q == std::string_view::npos ? std::string_view() : target.substr(q + 1);
    if (path == "/api" || StartsWith(path, kApi)) return ApiRoute(method, path, query);
    if (method != "GET") return Refuse(RouteKind::MethodNotAllowed, "GET");
    Route r;
    if (!StaticPath(path, &r.path)) return r;  // NotFound
    r.kind = RouteKind::Static;
    return r;
}

}  // namespace server
