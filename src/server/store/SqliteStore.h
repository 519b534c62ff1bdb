#pragma once
#include <memory>
#include <string>

#include "TableStore.h"

namespace server {

// The world table in an SQLite file (the server's default, in its data
// folder). Write-ahead log, so that readers never wait for the writer;
// synchronous=FULL, so that a commit is on the disk before Add returns:
// in WAL mode NORMAL would already survive a kill -9 of the process (the
// log's pages are in the kernel's cache), but not a power cut or a
// kernel crash, and an entry the server answered 201 for must not go
// then either. Adds are few (each waits for a whole re-play first), so
// the sync per commit costs nothing that matters. A busy timeout lets
// several processes (the seeding tool beside the server) take turns.
//
// A file that is not an SQLite database, one that holds another
// program's tables, or one whose schema is newer than this build's is
// refused without a byte of it written.
class SqliteStore : public TableStore {
public:
    static std::unique_ptr<SqliteStore> Open(const std::string& path, std::string* error);

    static constexpr int kBusyMilliseconds = 5000;
    static constexpr int kConnections = 4;

protected:
    std::unique_ptr<SqlConnection> Connect(std::string* error) override;
    bool AfterMigration(SqlConnection& c, SqlError* error) override;

private:
    explicit SqliteStore(std::string path);
    std::string path_;
};

}  // namespace server
