#pragma once
#include <memory>
#include <string>

#include "TableStore.h"

namespace server {

// The world table in a PostgreSQL database (--db postgresql://...), through
// libpq. Every statement is prepared with its parameters apart from its
// text. Nothing of the table is kept in the process: ranks and pages are
// computed by the database at each call, so several server processes on
// one database serve one table. Two processes adding the same replay at
// once: the second waits on the first's row and finds it there
// (AlreadyThere); a transaction the database chose to end as a deadlock or
// a serialisation failure is run again.
class PgStore : public TableStore {
public:
    static std::unique_ptr<PgStore> Open(const std::string& address, std::string* error);

    static constexpr int kConnections = 4;
    static constexpr const char* kConnectSeconds = "10";

protected:
    std::unique_ptr<SqlConnection> Connect(std::string* error) override;

private:
    explicit PgStore(std::string address);
    std::string address_;
};

}  // namespace server
