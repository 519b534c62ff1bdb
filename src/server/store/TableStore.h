#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "server/Store.h"

// What the two stores share: the schema, its migrations and every query,
// written once over a small connection interface that each database kind
// implements (SqliteStore, PgStore). Parameters are numbered "?1", "?2", ...
// in the SQL here; a connection rewrites them as its database wants them.
//
// The schema (kStoreSchemaVersion 3; version 1 had no index and no summaries,
// version 2 no score_bands):
//   schema_version (version)              one row
//   replays  (id, difficulty, recorded, bytes)
//   entries  (replay, player, difficulty, recorded, name, score, level, length, ship)
//            one a player of a replay; index entries_rank in table order
//   score_counts (difficulty, score, entries)   how many entries hold each score
//   score_bands  (difficulty, band, entries)    ... each band of kBand scores
//   table_sizes  (difficulty, entries)          ... each table
// The summaries are kept in the transaction that adds the entries, so a
// rank is a sum over the bands above the score's, over the scores above it
// in its band and a count of the ties ahead of it: a few hundred rows read
// at most, never a walk over the entries above. A page deep in the table
// starts at its score the same way instead of counting its way there.

namespace server {

// A value bound to a statement.
struct SqlValue {
    enum class Kind { Int, Text, Blob } kind = Kind::Int;
    int64_t number = 0;
    std::string text;  // Text or Blob
    static SqlValue Int(int64_t v) { return {Kind::Int, v, {}}; }
    static SqlValue Text(std::string v) { return {Kind::Text, 0, std::move(v)}; }
    static SqlValue Blob(std::string v) { return {Kind::Blob, 0, std::move(v)}; }
};

// A result: rows of columns, each as text (numbers in decimal, blobs as
// their bytes, NULL as "").
using SqlRows = std::vector<std::vector<std::string>>;

// Errors a connection reports: whether a retry of the whole transaction may
// succeed (a deadlock or a serialization failure between processes).
struct SqlError {
    std::string words;
    bool retry = false;
};

class SqlConnection {
public:
    virtual ~SqlConnection() = default;
    // Runs one statement; `changed` (when asked for) is how many rows it
    // inserted, updated or deleted.
    virtual bool Exec(const std::string& sql, const std::vector<SqlValue>& params, SqlRows* rows, int64_t* changed,
                      SqlError* error) = 0;
    // Starts a transaction that writes (SQLite takes the write lock at once).
    virtual bool BeginWrite(SqlError* error) = 0;
    // Whether the connection still answers.
    virtual bool Alive() = 0;
};

// The parts of the SQL that differ between the two databases.
struct SqlDialect {
    std::string blob_type;  // "BLOB" / "BYTEA"
    std::string text_type;  // byte-wise ordered text
    std::string big_type;   // a 64-bit integer
    // One number: how many of our tables exist (without a version table,
    // a database holding them is someone else's).
    std::string foreign_tables_query;
    // One number: 1 when the table schema_version exists.
    std::string has_version_query;
    // Taken before a migration (several processes may open one database at
    // once); empty when BeginWrite already serialises writers.
    std::string migration_lock;
    // Starts a transaction that only reads, on one snapshot.
    std::string begin_read;
};

// The common store. Holds a few connections (requests run side by side,
// each on a connection of its own); every call takes one for its length.
class TableStore : public Store {
public:
    AddOutcome Add(const ReplayEntry& entry, std::string* error) override;
    bool Ranks(const std::string& id, std::vector<int64_t>* ranks, int64_t* entries, std::string* error) override;
    bool Scores(int32_t difficulty, int32_t limit, int64_t offset, std::vector<ScoreRow>* rows, int64_t* entries,
                std::string* error) override;
    bool Around(const std::string& id, int32_t before, int32_t after, std::vector<ScoreRow>* rows,
                std::string* error) override;
    bool Replay(const std::string& id, std::string* bytes, int32_t* difficulty, std::string* error) override;
    bool Healthy(std::string* error) override;

    // Adds many replays in one transaction (the seeding tool); the ones
    // already there are passed over. `added` counts the new ones.
    bool AddMany(const std::vector<ReplayEntry>& entries, int64_t* added, std::string* error);

    // The schema's version in the database now.
    bool SchemaVersion(int* version, std::string* error);

    // Deeper than this, a page starts from the score summary instead of
    // walking the index from the top.
    static constexpr int64_t kDirectOffset = 256;
    // The width of a band of scores in the second summary.
    static constexpr int64_t kBand = 256;
    // How many times a transaction two processes collided in is tried again.
    static constexpr int kRetries = 5;

protected:
    TableStore(SqlDialect dialect, int connections);
    // A new connection, or null with the reason.
    virtual std::unique_ptr<SqlConnection> Connect(std::string* error) = 0;
    // Opens the first connection and brings the schema to this build's
    // version; the derived class's Open calls it.
    bool Start(std::string* error);
    // Run once on the first connection after the schema is this build's.
    virtual bool AfterMigration(SqlConnection& c, SqlError* error);

private:
    class Lease;
    std::unique_ptr<SqlConnection> Take(std::string* error);
    void Give(std::unique_ptr<SqlConnection> connection);
    bool Migrate(SqlConnection& c, SqlError* error);
    bool AddOne(SqlConnection& c, const ReplayEntry& entry, bool* added, SqlError* error);
    // The ranks of the replay's entries in player order (none when there is
    // no such replay), and its difficulty.
    bool OwnRanks(SqlConnection& c, const std::string& id, int32_t* difficulty, std::vector<int64_t>* ranks,
                  SqlError* e);
    bool Rank(SqlConnection& c, int32_t difficulty, int32_t score, const std::string& recorded,
              const std::string& replay, int32_t player, int64_t* rank, SqlError* error);
    bool Page(SqlConnection& c, int32_t difficulty, int64_t limit, int64_t offset, std::vector<ScoreRow>* rows,
              SqlError* error);
    bool TableSize(SqlConnection& c, int32_t difficulty, int64_t* entries, SqlError* error);

    SqlDialect dialect_;
    int capacity_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<SqlConnection>> idle_;
};

// Opens the store `where` names as a TableStore (the seeding tool wants
// AddMany); OpenStore is this.
std::unique_ptr<TableStore> OpenTableStore(const std::string& where, std::string* error);

// `where` with any password in it replaced by "***", fit for an error.
std::string MaskedAddress(const std::string& where);

}  // namespace server
