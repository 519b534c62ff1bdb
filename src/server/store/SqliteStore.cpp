#include "SqliteStore.h"

#include <sqlite3.h>

#include <map>

namespace server {

namespace {

class SqliteConnection : public SqlConnection {
public:
    explicit SqliteConnection(sqlite3* db) : db_(db) {}
    ~SqliteConnection() override {
        for (auto& [sql, statement] : statements_) sqlite3_finalize(statement);
        sqlite3_close_v2(db_);
    }

    bool Exec(const std::string& sql, const std::vector<SqlValue>& params, SqlRows* rows, int64_t* changed,
              SqlError* error) override {
        sqlite3_stmt* s = Statement(sql, error);
        if (!s) return false;
        bool ok = true;
        for (size_t i = 0; ok && i < params.size(); ++i) {
            const SqlValue& p = params[i];
            const int at = static_cast<int>(i + 1);
            int rc = SQLITE_OK;
            if (p.kind == SqlValue::Kind::Int)
                rc = sqlite3_bind_int64(s, at, p.number);
            else if (p.kind == SqlValue::Kind::Text)
                rc = sqlite3_bind_text(s, at, p.text.data(), static_cast<int>(p.text.size()), SQLITE_TRANSIENT);
            else
                rc = sqlite3_bind_blob(s, at, p.text.data(), static_cast<int>(p.text.size()), SQLITE_TRANSIENT);
            ok = rc == SQLITE_OK;
        }
        int rc = ok ? SQLITE_ROW : sqlite3_errcode(db_);
        while (ok && (rc = sqlite3_step(s)) == SQLITE_ROW) {
            if (!rows) continue;
            std::vector<std::string> row;
            const int columns = sqlite3_column_count(s);
            for (int c = 0; c < columns; ++c) {
                const void* bytes = sqlite3_column_blob(s, c);
                const int size = sqlite3_column_bytes(s, c);
                row.emplace_back(bytes ? static_cast<const char*>(bytes) : "", bytes ? size : 0);
            }
            rows->push_back(std::move(row));
        }
        if (rc != SQLITE_DONE) {
            const int code = sqlite3_extended_errcode(db_);
            *error = {sqlite3_errmsg(db_), (code & 0xff) == SQLITE_BUSY || (code & 0xff) == SQLITE_LOCKED};
            sqlite3_reset(s);
            sqlite3_clear_bindings(s);
            return false;
        }
        if (changed) *changed = sqlite3_changes64(db_);
        sqlite3_reset(s);
        sqlite3_clear_bindings(s);
        return true;
    }

    bool BeginWrite(SqlError* error) override { return Exec("BEGIN IMMEDIATE", {}, nullptr, nullptr, error); }
    bool Alive() override { return true; }

private:
    sqlite3_stmt* Statement(const std::string& sql, SqlError* error) {
        auto found = statements_.find(sql);
        if (found != statements_.end()) return found->second;
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &s,
                               nullptr) != SQLITE_OK) {
            const int code = sqlite3_errcode(db_);
            *error = {sqlite3_errmsg(db_), code == SQLITE_BUSY || code == SQLITE_LOCKED};
            sqlite3_finalize(s);
            return nullptr;
        }
        statements_[sql] = s;
        return s;
    }

    sqlite3* db_;
    std::map<std::string, sqlite3_stmt*> statements_;
};

SqlDialect SqliteDialect() {
    SqlDialect d;
    d.blob_type = "BLOB";
    d.text_type = "TEXT";  // compared byte by byte (BINARY)
    d.big_type = "INTEGER";
    d.foreign_tables_query = "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%'";
    d.has_version_query = "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = 'schema_version'";
    d.begin_read = "BEGIN";  // BEGIN IMMEDIATE serialises the writers already
    return d;
}

}  // namespace

SqliteStore::SqliteStore(std::string path) : TableStore(SqliteDialect(), kConnections), path_(std::move(path)) {}

std::unique_ptr<SqlConnection> SqliteStore::Connect(std::string* error) {
    sqlite3* db = nullptr;
    const int rc =
        sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        *error = path_ + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close_v2(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, kBusyMilliseconds);
    auto c = std::make_unique<SqliteConnection>(db);
    SqlError e;
    // The first read tells a database from any other file before anything
    // is written; the settings below are the connection's own.
    SqlRows rows;
    if (!c->Exec("SELECT COUNT(*) FROM sqlite_master", {}, &rows, nullptr, &e) ||
        !c->Exec("PRAGMA synchronous = FULL", {}, nullptr, nullptr, &e) ||
        !c->Exec("PRAGMA foreign_keys = ON", {}, nullptr, nullptr, &e)) {
        *error = path_ + ": " + e.words + "; refusing to touch it";
        return nullptr;
    }
    return c;
}

bool SqliteStore::AfterMigration(SqlConnection& c, SqlError* error) {
    SqlRows rows;
    if (!c.Exec("PRAGMA journal_mode = WAL", {}, &rows, nullptr, error)) return false;
    if (rows.empty() || rows[0].empty() || rows[0][0] != "wal") {
        *error = {"the file system does not allow a write-ahead log", false};
        return false;
    }
    return true;
}

std::unique_ptr<SqliteStore> SqliteStore::Open(const std::string& path, std::string* error) {
    std::unique_ptr<SqliteStore> store(new SqliteStore(path));
    std::string words;
    if (!store->Start(&words)) {
        *error = words.rfind(path, 0) == 0 ? words : path + ": " + words;
        return nullptr;
    }
    return store;
}

}  // namespace server
