#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The world table's storage: replays the server re-played and the results
// the re-play reached, one entry a player. Two kinds behind one interface:
// an SQLite file (the default, in the server's data folder) and a
// PostgreSQL database (--db postgresql://...), which several server
// processes may share. Both hold the same schema, with its version, and
// migrate it forward when they open it.
//
// Every call is whole or nothing: a replay and its entries are recorded in
// one transaction, so a process killed at any moment leaves either all of
// them or none. A failure returns false with the reason in `error`.

namespace server {

// One player's result, as the re-play reached it.
struct StoredResult {
    int32_t player = 1;  // 1 or 2
    std::string name;
    int32_t score = 0;
    int32_t level = 0;
    int32_t length = 0;  // the worm's length total
    int32_t ship = 0;
};

// A verified replay and what it reached.
struct ReplayEntry {
    std::string id;  // hex, from the hash of the replay's bytes
    int32_t difficulty = 0;
    std::string date;  // when the server recorded it, "2026-12-09T12:00:00Z"
    std::string bytes;
    std::vector<StoredResult> results;  // one a player, in player order
};

// One row of a table, best first: higher score first, then the earlier
// recorded, then the lower id, then player 1 before player 2.
struct ScoreRow {
    int64_t rank = 0;  // 1 = best
    std::string name;
    int32_t score = 0;
    int32_t level = 0;
    int32_t length = 0;
    std::string date;
    std::string replay;  // the replay's id
    int32_t player = 1;
};

enum class AddOutcome { Added, AlreadyThere, Failed };

class Store {
public:
    virtual ~Store() = default;
    // Records the replay and its results; AlreadyThere (nothing written)
    // when a replay of that id is there.
    virtual AddOutcome Add(const ReplayEntry& entry, std::string* error) = 0;
    // The ranks the replay's results hold now, in player order, and the
    // number of entries in its difficulty's table.
    virtual bool Ranks(const std::string& id, std::vector<int64_t>* ranks, int64_t* entries, std::string* error) = 0;
    // A difficulty's table from `offset` (0 = the best), at most `limit` rows,
    // and how many entries it holds in all.
    virtual bool Scores(int32_t difficulty, int32_t limit, int64_t offset, std::vector<ScoreRow>* rows,
                        int64_t* entries, std::string* error) = 0;
    // The rows around the best result of the replay `id` in its table:
    // `before` rows above it, the row, `after` rows below. False with an
    // empty error when there is no such replay.
    virtual bool Around(const std::string& id, int32_t before, int32_t after, std::vector<ScoreRow>* rows,
                        std::string* error) = 0;
    // The replay's bytes and difficulty. False with an empty error when
    // there is no such replay.
    virtual bool Replay(const std::string& id, std::string* bytes, int32_t* difficulty, std::string* error) = 0;
    // Whether the store answers (for /api/v1/health).
    virtual bool Healthy(std::string* error) = 0;
};

// The schema's version these stores write; older ones are migrated on open.
constexpr int kStoreSchemaVersion = 3;

// Opens (creating and migrating as needed) the store `where` names: a
// "postgresql://" or "postgres://" address, else the path of an SQLite
// file. Null, with the reason in `error`, when it cannot be opened.
std::unique_ptr<Store> OpenStore(const std::string& where, std::string* error);

}  // namespace server
