#pragma once
// A test double of the world table's store: entries in memory, ranked as
// Store.h says, and a switch that makes every call fail as a store that is
// down does. Only for the tests of the API's answers; the server itself
// always runs on a real store (OpenStore).
#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "server/Store.h"

namespace server_test {

class MemoryStoreDouble : public server::Store {
public:
    bool down = false;
    int adds = 0;

    server::AddOutcome Add(const server::ReplayEntry& entry, std::string* error) override {
        if (Down(error)) return server::AddOutcome::Failed;
        for (const server::ReplayEntry& e : entries_)
            if (e.id == entry.id) return server::AddOutcome::AlreadyThere;
        entries_.push_back(entry);
        ++adds;
        return server::AddOutcome::Added;
    }
    bool Ranks(const std::string& id, std::vector<int64_t>* ranks, int64_t* entries, std::string* error) override {
        if (Down(error)) return false;
        const server::ReplayEntry* e = Find(id);
        if (e == nullptr) return false;
        const std::vector<server::ScoreRow> rows = Table(e->difficulty);
        ranks->clear();
        for (const server::ScoreRow& r : rows)
            if (r.replay == id) ranks->push_back(r.rank);
        *entries = static_cast<int64_t>(rows.size());
        return true;
    }
    bool Scores(int32_t difficulty, int32_t limit, int64_t offset, std::vector<server::ScoreRow>* rows,
                int64_t* entries, std::string* error) override {
        if (Down(error)) return false;
        const std::vector<server::ScoreRow> all = Table(difficulty);
        rows->clear();
        for (int64_t i = offset; i < static_cast<int64_t>(all.size()) && static_cast<int64_t>(rows->size()) < limit;
             ++i)
            rows->push_back(all[static_cast<size_t>(i)]);
        *entries = static_cast<int64_t>(all.size());
        return true;
    }
    bool Around(const std::string& id, int32_t before, int32_t after, std::vector<server::ScoreRow>* rows,
                std::string* error) override {
        if (Down(error)) return false;
        const server::ReplayEntry* e = Find(id);
        if (e == nullptr) return false;
        const std::vector<server::ScoreRow> all = Table(e->difficulty);
        size_t at = 0;
        while (all[at].replay != id) ++at;
        rows->assign(all.begin() + static_cast<std::ptrdiff_t>(at >= static_cast<size_t>(before) ? at - before : 0),
                     all.begin() + static_cast<std::ptrdiff_t>(std::min(all.size(), at + after + 1)));
        return true;
    }
    bool Replay(const std::string& id, std::string* bytes, int32_t* difficulty, std::string* error) override {
        if (Down(error)) return false;
        const server::ReplayEntry* e = Find(id);
        if (e == nullptr) return false;
        *bytes = e->bytes;
        *difficulty = e->difficulty;
        return true;
    }
    bool Healthy(std::string* error) override { return !Down(error); }

private:
    bool Down(std::string* error) const {
        if (down) *error = "the double is down";
        return down;
    }
    const server::ReplayEntry* Find(const std::string& id) const {
        for (const server::ReplayEntry& e : entries_)
            if (e.id == id) return &e;
        return nullptr;
    }
    std::vector<server::ScoreRow> Table(int32_t difficulty) const {
        std::vector<server::ScoreRow> rows;
        for (const server::ReplayEntry& e : entries_) {
            if (e.difficulty != difficulty) continue;
            for (const server::StoredResult& r : e.results)
                rows.push_back({0, r.name, r.score, r.level, r.length, e.date, e.id, r.player});
        }
        std::sort(rows.begin(), rows.end(), [](const server::ScoreRow& a, const server::ScoreRow& b) {
            return std::make_tuple(-a.score, a.date, a.replay, a.player) <
                   std::make_tuple(-b.score, b.date, b.replay, b.player);
        });
        for (size_t i = 0; i < rows.size(); ++i) rows[i].rank = static_cast<int64_t>(i) + 1;
        return rows;
    }
    std::vector<server::ReplayEntry> entries_;
};

}  // namespace server_test
