#include "PgStore.h"

#include <libpq-fe.h>

#include <cstdlib>
#include <map>

namespace server {

namespace {

constexpr Oid kByteaOid = 17;

// "?1" as PostgreSQL writes it: "$1". (The statements here hold no '?'
// inside a literal.)
std::string Numbered(const std::string& sql) {
    std::string out = sql;
    for (char& c : out)
        if (c == '?') c = '$';
    return out;
}

std::string Trimmed(const char* words) {
    std::string s = words ? words : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

class PgConnection : public SqlConnection {
public:
    explicit PgConnection(PGconn* conn) : conn_(conn) {}
    ~PgConnection() override { PQfinish(conn_); }

    bool Exec(const std::string& sql, const std::vector<SqlValue>& params, SqlRows* rows, int64_t* changed,
              SqlError* error) override {
        const std::string* name = Statement(sql, static_cast<int>(params.size()), error);
        if (!name) return false;
        std::vector<std::string> texts(params.size());
        std::vector<const char*> values(params.size());
        std::vector<int> lengths(params.size()), formats(params.size());
        for (size_t i = 0; i < params.size(); ++i) {
            const SqlValue& p = params[i];
            if (p.kind == SqlValue::Kind::Int) texts[i] = std::to_string(p.number);
            const std::string& text = p.kind == SqlValue::Kind::Int ? texts[i] : p.text;
            values[i] = text.data();
            lengths[i] = static_cast<int>(text.size());
            formats[i] = p.kind == SqlValue::Kind::Blob ? 1 : 0;
        }
        PGresult* r = PQexecPrepared(conn_, name->c_str(), static_cast<int>(params.size()), values.data(),
                                     lengths.data(), formats.data(), 0);
        const ExecStatusType status = PQresultStatus(r);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            Fail(r, error);
            PQclear(r);
            return false;
        }
        if (rows) {
            const int n = PQntuples(r), columns = PQnfields(r);
            for (int i = 0; i < n; ++i) {
                std::vector<std::string> row;
                for (int c = 0; c < columns; ++c) {
                    if (PQftype(r, c) == kByteaOid && !PQgetisnull(r, i, c)) {
                        size_t size = 0;
                        unsigned char* bytes =
                            PQunescapeBytea(reinterpret_cast<const unsigned char*>(PQgetvalue(r, i, c)), &size);
                        row.emplace_back(bytes ? reinterpret_cast<const char*>(bytes) : "", bytes ? size : 0);
                        PQfreemem(bytes);
                    } else {
                        row.emplace_back(PQgetvalue(r, i, c), static_cast<size_t>(PQgetlength(r, i, c)));
                    }
                }
                rows->push_back(std::move(row));
            }
        }
        if (changed) *changed = std::strtoll(PQcmdTuples(r), nullptr, 10);
        PQclear(r);
        return true;
    }

    bool BeginWrite(SqlError* error) override { return Exec("BEGIN", {}, nullptr, nullptr, error); }
    bool Alive() override { return PQstatus(conn_) == CONNECTION_OK && PQtransactionStatus(conn_) == PQTRANS_IDLE; }

private:
    const std::string* Statement(const std::string& sql, int params, SqlError* error) {
        auto found = names_.find(sql);
        if (found != names_.end()) return &found->second;
        const std::string name = "vc" + std::to_string(names_.size());
        PGresult* r = PQprepare(conn_, name.c_str(), Numbered(sql).c_str(), params, nullptr);
        if (PQresultStatus(r) != PGRES_COMMAND_OK) {
            Fail(r, error);
            PQclear(r);
            return nullptr;
        }
        PQclear(r);
        return &(names_[sql] = name);
    }

    void Fail(PGresult* r, SqlError* error) {
        const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
        const std::string code = state ? state : "";
        std::string words = Trimmed(r ? PQresultErrorMessage(r) : nullptr);
        if (words.empty()) words = Trimmed(PQerrorMessage(conn_));
        // A deadlock, a serialisation failure, or a connection the database
        // closed (restarted, say): another try, on a new connection, may do.
        *error = {words, code == "40001" || code == "40P01" || PQstatus(conn_) == CONNECTION_BAD};
    }

    PGconn* conn_;
    std::map<std::string, std::string> names_;
};

SqlDialect PgDialect() {
    SqlDialect d;
    d.blob_type = "BYTEA";
    d.text_type = "TEXT COLLATE \"C\"";  // byte-wise, whatever the database's locale
    d.big_type = "BIGINT";
    d.foreign_tables_query =
        "SELECT COUNT(*) FROM information_schema.tables WHERE table_schema = current_schema() AND table_name IN "
        "('replays', 'entries', 'score_counts', 'table_sizes')";
    d.has_version_query =
        "SELECT COUNT(*) FROM information_schema.tables WHERE table_schema = current_schema() AND table_name = "
        "'schema_version'";
    // One lock of this database for the migration, whichever process opens it.
    d.migration_lock = "SELECT pg_advisory_xact_lock(7403453)";
    d.begin_read = "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY";
    return d;
}

}  // namespace

PgStore::PgStore(std::string address) : TableStore(PgDialect(), kConnections), address_(std::move(address)) {}

std::unique_ptr<SqlConnection> PgStore::Connect(std::string* error) {
    // The address's own settings win over the time limit given here.
    const char* keys[] = {"connect_timeout", "application_name", "dbname", nullptr};
    const char* values[] = {kConnectSeconds, "voidcrawl-server", address_.c_str(), nullptr};
    PGconn* conn = PQconnectdbParams(keys, values, 1);
    if (!conn || PQstatus(conn) != CONNECTION_OK) {
        *error = MaskedAddress(address_) + ": " + (conn ? Trimmed(PQerrorMessage(conn)) : std::string("out of memory"));
        PQfinish(conn);
        return nullptr;
    }
    return std::make_unique<PgConnection>(conn);
}

std::unique_ptr<PgStore> PgStore::Open(const std::string& address, std::string* error) {
    std::unique_ptr<PgStore> store(new PgStore(address));
    std::string words;
    if (!store->Start(&words)) {
        const std::string masked = MaskedAddress(address);
        *error = words.rfind(masked, 0) == 0 ? words : masked + ": " + words;
        return nullptr;
    }
    return store;
}

}  // namespace server
