#pragma once
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "server/Rooms.h"
#include "server/Routes.h"
#include "server/Store.h"
#include "server/Verifier.h"

// The answers of the HTTP API (docs/server.md), made from the store: every
// body JSON, every error {"error": "<words>"}. Names go out as JSON text
// only, with <, > and & escaped, so that no page can take them for markup.
namespace server {

struct Answer {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    bool close = false;  // the connection ends after this answer
};

// What /api/v1/health says besides the store's counts.
struct ServerFacts {
    std::string version;  // the game's
    std::string dataset;  // the data set's hash, as replays carry it (16 hex digits)
    // The rooms' counts as they stand (none when the server has no rooms).
    std::function<RoomsCounts()> rooms;
};

// How long a client is asked to wait when the store or the queue is busy.
constexpr int32_t kStoreRetrySeconds = 30;

Answer ErrorAnswer(int status, const std::string& words);
// 503, or 429, with Retry-After.
Answer BusyAnswer(int status, const std::string& words, int32_t retryAfter);

// The id of a replay file's bytes: the first 8 bytes of their SHA-256, in hex.
std::string ReplayId(const std::string& bytes);

// The answer to a route that reads (health, scores, around, a replay's
// bytes) or that is refused (404, 405, 400).
Answer AnswerRead(const Route& route, Store& store, const ServerFacts& facts);

// The answer to a replay sent that is already in the store: 200 with its
// results as recorded; false when it is not there (or the store fails:
// then `answer` is a 503).
bool AnswerKnown(Store& store, const std::string& id, Answer* answer);

// Records a replay the verifier passed and answers: 201 with the results
// and their ranks, 200 when it was there already, 503 when the store fails.
Answer RecordVerified(Store& store, const std::string& id, const std::string& bytes, const Verdict& verdict,
                      std::time_t now);

// The date as the store keeps it, "2026-12-09T12:00:00Z" (UTC).
std::string StoreDate(std::time_t now);

// The JSON text of `json`, names and all as text only.
std::string JsonText(const std::string& json);

}  // namespace server
