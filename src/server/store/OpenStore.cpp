#include "PgStore.h"
#include "SqliteStore.h"

namespace server {

namespace {

bool IsPostgres(const std::string& where) {
    return where.rfind("postgresql://", 0) == 0 || where.rfind("postgres://", 0) == 0;
}

}  // namespace

std::unique_ptr<TableStore> OpenTableStore(const std::string& where, std::string* error) {
    if (where.empty()) {
        *error = "no store named";
        return nullptr;
    }
    if (IsPostgres(where)) return PgStore::Open(where, error);
    return SqliteStore::Open(where, error);
}

std::unique_ptr<Store> OpenStore(const std::string& where, std::string* error) { return OpenTableStore(where, error); }

}  // namespace server
