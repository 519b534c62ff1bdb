#include "Api.h"

#include <sodium.h>

#include <cstdio>
#include <nlohmann/json.hpp>

namespace server {
using nlohmann::json;

namespace {

std::string Dump(const json& j) { return JsonText(j.dump(-1, ' ', false, json::error_handler_t::replace)); }

Answer JsonAnswer(int status, const json& j) {
    Answer a;
    a.status = status;
    a.body = Dump(j);
    return a;
}

json RowsJson(const std::vector<ScoreRow>& rows) {
    json out = json::array();
    for (const ScoreRow& r : rows)
        out.push_back({{"rank", r.rank},
                       {"name", r.name},
                       {"score", r.score},
                       {"level", r.level},
                       {"length", r.length},
                       {"date", r.date.substr(0, 10)},
                       {"replay", r.replay},
                       {"player", r.player}});
    return out;
}

Answer StoreDown(const std::string& error) {
    return BusyAnswer(503, "the world table cannot be read or written now (" + error + ")", kStoreRetrySeconds);
}

Answer Health(Store& store, const ServerFacts& facts) {
    std::string error;
    json entries = json::array();
    bool up = store.Healthy(&error);
    for (int32_t d = 0; up && d < 3; ++d) {
        std::vector<ScoreRow> rows;
        int64_t count = 0;
        up = store.Scores(d, 1, 0, &rows, &count, &error);
        entries.push_back(count);
    }
    if (!up) {
        Answer a = JsonAnswer(503, {{"status", "down"}, {"error", error}});
        a.headers.emplace_back("Retry-After", std::to_string(kStoreRetrySeconds));
        return a;
    }
    const RoomsCounts rooms = facts.rooms ? facts.rooms() : RoomsCounts{};
    return JsonAnswer(200, {{"status", "ok"},
                            {"version", facts.version},
                            {"dataset", facts.dataset},
                            {"entries", entries},
                            {"rooms", rooms.rooms},
                            {"room_players", rooms.players},
                            {"room_garbage", rooms.garbage},
                            {"relayed", rooms.relayed}});
}

Answer Rows(const std::vector<ScoreRow>& rows, int64_t total) {
    Answer a = JsonAnswer(200, RowsJson(rows));
    a.headers.emplace_back("X-Total-Count", std::to_string(total));
    return a;
}

Answer Scores(const Route& route, Store& store) {
    std::vector<ScoreRow> rows;
    int64_t total = 0;
    std::string error;
    if (!store.Scores(route.difficulty, route.limit, route.offset, &rows, &total, &error)) return StoreDown(error);
    return Rows(rows, total);
}

Answer Around(const Route& route, Store& store) {
    std::vector<ScoreRow> rows;
    std::string error;
    if (!store.Around(route.id, route.before, route.after, &rows, &error))
        return error.empty() ? ErrorAnswer(404, "there is no such replay") : StoreDown(error);
    std::vector<int64_t> ranks;
    int64_t total = 0;
    if (!store.Ranks(route.id, &ranks, &total, &error)) return StoreDown(error);
    return Rows(rows, total);
}

Answer Replay(const Route& route, Store& store) {
    Answer a;
    int32_t difficulty = 0;
    std::string error;
    if (!store.Replay(route.id, &a.body, &difficulty, &error))
        return error.empty() ? ErrorAnswer(404, "there is no such replay") : StoreDown(error);
    a.contentType = "application/octet-stream";
    a.headers.emplace_back("Content-Disposition", "attachment; filename=\"voidcrawl-" + route.id + ".vcr\"");
    return a;
}

json SentJson(const std::string& id, int32_t difficulty, int64_t entries, const json& results) {
    return {{"id", id}, {"difficulty", difficulty}, {"entries", entries}, {"results", results}};
}

}  // namespace

std::string JsonText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '<')
            out += "\\u003c";
        else if (c == '>')
            out += "\\u003e";
        else if (c == '&')
            out += "\\u0026";
        else
            out += c;
    }
    return out;
}

Answer ErrorAnswer(int status, const std::string& words) { return JsonAnswer(status, {{"error", words}}); }

Answer BusyAnswer(int status, const std::string& words, int32_t retryAfter) {
    Answer a = ErrorAnswer(status, words);
    a.headers.emplace_back("Retry-After", std::to_string(retryAfter));
    return a;
}

std::string ReplayId(const std::string& bytes) {
    unsigned char hash[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(hash, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    char hex[kIdDigits + 1];
    for (size_t i = 0; i < kIdDigits / 2; ++i) std::snprintf(hex + 2 * i, 3, "%02x", hash[i]);
    return std::string(hex, kIdDigits);
}

std::string StoreDate(std::time_t now) {
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

Answer AnswerRead(const Route& route, Store& store, const ServerFacts& facts) {
    switch (route.kind) {
    case RouteKind::Health:
        return Health(store, facts);
    case RouteKind::Scores:
        return Scores(route, store);
    case RouteKind::Around:
        return Around(route, store);
    case RouteKind::GetReplay:
        return Replay(route, store);
    case RouteKind::BadRequest:
        return ErrorAnswer(400, route.error);
    case RouteKind::MethodNotAllowed: {
        Answer a = ErrorAnswer(405, "this path takes " + route.allow);
        a.headers.emplace_back("Allow", route.allow);
        return a;
    }
    default:
        return ErrorAnswer(404, "there is nothing here");
    }
}

bool AnswerKnown(Store& store, const std::string& id, Answer* answer) {
    std::string bytes, error;
    int32_t difficulty = 0;
    if (!store.Replay(id, &bytes, &difficulty, &error)) {
        if (!error.empty()) *answer = StoreDown(error);
        return false;
    }
    std::vector<int64_t> ranks;
    int64_t entries = 0;
    if (!store.Ranks(id, &ranks, &entries, &error)) {
        *answer = StoreDown(error);
        return true;
    }
    json results = json::array();
    for (size_t p = 0; p < ranks.size(); ++p) {
        std::vector<ScoreRow> rows;
        int64_t total = 0;
        if (!store.Scores(difficulty, 1, ranks[p] - 1, &rows, &total, &error)) {
            *answer = StoreDown(error);
            return true;
        }
        // The row at that rank is this replay's player's.
        if (rows.empty() || rows[0].replay != id) {
            *answer = StoreDown("the table moved while it was read");
            return true;
        }
        results.push_back(
            {{"name", rows[0].name}, {"score", rows[0].score}, {"level", rows[0].level}, {"rank", ranks[p]}});
    }
    *answer = JsonAnswer(200, SentJson(id, difficulty, entries, results));
    return true;
}

Answer RecordVerified(Store& store, const std::string& id, const std::string& bytes, const Verdict& verdict,
                      std::time_t now) {
    ReplayEntry entry;
    entry.id = id;
    entry.difficulty = verdict.difficulty;
    entry.date = StoreDate(now);
    entry.bytes = bytes;
    entry.results = verdict.results;
    std::string error;
    const AddOutcome added = store.Add(entry, &error);
    if (added == AddOutcome::Failed) return StoreDown(error);
    Answer known;
    if (added == AddOutcome::AlreadyThere) return AnswerKnown(store, id, &known) ? known : StoreDown(error);
    std::vector<int64_t> ranks;
    int64_t entries = 0;
    if (!store.Ranks(id, &ranks, &entries, &error)) return StoreDown(error);
    json results = json::array();
    for (size_t p = 0; p < verdict.results.size(); ++p) {
        const StoredResult& r = verdict.results[p];
        results.push_back(
            {{"name", r.name}, {"score", r.score}, {"level", r.level}, {"rank", p < ranks.size() ? ranks[p] : 0}});
    }
    return JsonAnswer(201, SentJson(id, verdict.difficulty, entries, results));
}

}  // namespace server
