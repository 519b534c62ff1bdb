#pragma once
// A PostgreSQL cluster for tests, started by tests/server/pg-cluster.sh:
// the one ctest starts for the postgres tests (its state folder in
// VC_PG_CLUSTER_DIR), else one of this process's own, stopped when the
// process ends. Each test takes a fresh database of its own in it.
// Available() is false, with the reason, when no cluster can be started;
// the tests then skip, except with CI=true, where they fail.
#include <libpq-fe.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace testpg {

inline bool OnCi() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

class PgCluster {
public:
    static PgCluster& Get() {
        static PgCluster cluster;
        return cluster;
    }

    bool Available() const { return !address_.empty(); }
    const std::string& Why() const { return why_; }

    // The address of database `name` in the cluster.
    std::string Address(const std::string& name) const {
        std::string a = address_;
        const size_t at = a.find("/postgres?");
        return a.replace(at + 1, 8, name);
    }

    // A new empty database, its address in `address`.
    bool CreateDatabase(std::string* address, std::string* error) {
        const std::string name = "vc_" + std::to_string(getpid()) + "_" + std::to_string(++databases_);
        if (!Run(address_, "CREATE DATABASE " + name, error)) return false;
        *address = Address(name);
        return true;
    }

    // Runs one statement on `address`.
    static bool Run(const std::string& address, const std::string& sql, std::string* error) {
        PGconn* c = PQconnectdb(address.c_str());
        bool ok = PQstatus(c) == CONNECTION_OK;
        if (ok) {
            PGresult* r = PQexec(c, sql.c_str());
            ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
            if (!ok) *error = PQresultErrorMessage(r);
            PQclear(r);
        } else {
            *error = PQerrorMessage(c);
        }
        PQfinish(c);
        return ok;
    }

    ~PgCluster() {
        if (own_ && getpid() == owner_)
            std::system(("bash " + Script() + " stop " + state_ + " >/dev/null 2>&1; rm -rf " + state_).c_str());
    }

private:
    PgCluster() : owner_(getpid()) {
        const char* shared = std::getenv("VC_PG_CLUSTER_DIR");
        if (shared && Read(std::string(shared) + "/address")) return;
        char folder[] = "/tmp/voidcrawl-pgstate.XXXXXX";
        if (!mkdtemp(folder)) {
            why_ = "no temporary folder for the cluster's state";
            return;
        }
        state_ = folder;
        own_ = true;
        const std::string log = state_ + "/start.log";
        const int status = std::system(("bash " + Script() + " start " + state_ + " >/dev/null 2>" + log).c_str());
        if (status != 0 || !Read(state_ + "/address")) {
            std::ifstream in(log);
            std::string line, words;
            while (std::getline(in, line)) words += line + " ";
            why_ = "no PostgreSQL cluster could be started: " + words;
        }
    }

    static std::string Script() { return std::string(VC_SOURCE_DIR) + "/tests/server/pg-cluster.sh"; }

    bool Read(const std::string& file) {
        std::ifstream in(file);
        std::string line;
        if (!std::getline(in, line) || line.find("/postgres?") == std::string::npos) return false;
        address_ = line;
        return true;
    }

    std::string address_, why_, state_;
    bool own_ = false;
    pid_t owner_;
    int databases_ = 0;
};

}  // namespace testpg
