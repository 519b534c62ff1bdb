// voidcrawl-store-seed: fills a world table store with many made-up entries
// quickly (big transactions), for measuring the server on a full table
// (make bench-server); then, with --measure, times the store's calls on it.
// The entries' replays are not real replays: a seeded store is for measures
// only, never for a public server.
//
//   voidcrawl-store-seed --db PATH|postgresql://... --entries N [--batch B]
//                        [--seed S] [--measure]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "server/store/TableStore.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

std::string Hex(uint64_t v) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(v));
    return text;
}

// A replay's made-up results: one player in three of four games, two in
// the rest; scores spread as a game's are (most low, few high).
server::ReplayEntry MadeUp(std::mt19937_64& random, uint64_t seed, uint64_t n) {
    server::ReplayEntry e;
    e.id = Hex((seed << 40) ^ (n * 0x9E3779B97F4A7C15ULL));
    e.difficulty = static_cast<int32_t>(random() % 3);
    const int64_t second = static_cast<int64_t>(random() % (365 * 86400));
    char date[32];
    std::snprintf(date, sizeof date, "2026-%02d-%02dT%02d:%02d:%02dZ", static_cast<int>(1 + second / (31 * 86400)),
                  static_cast<int>(1 + second / 86400 % 28), static_cast<int>(second / 3600 % 24),
                  static_cast<int>(second / 60 % 60), static_cast<int>(second % 60));
    e.date = date;
    e.bytes = "seeded " + e.id;
    std::exponential_distribution<double> spread(1.0 / 20000.0);
    const int players = random() % 4 == 0 ? 2 : 1;
    for (int p = 1; p <= players; ++p) {
        server::StoredResult r;
        r.player = p;
        r.name = "SEED" + std::to_string(n % 100000);
        r.score = static_cast<int32_t>(std::min(250000.0, spread(random)));
        r.level = 1 + std::min(19, r.score / 8000);
        r.length = 3 + r.score / 150;
        r.ship = static_cast<int32_t>(random() % 4);
        e.results.push_back(r);
    }
    return e;
}

struct Timing {
    const char* what;
    std::vector<double> ms;
};

void Report(const Timing& t) {
    std::vector<double> ms = t.ms;
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2], worst = ms.back();
    std::printf("  %-44s median %8.3f ms   worst %8.3f ms   (%zu calls)\n", t.what, median, worst, ms.size());
}

int Usage() {
    std::fprintf(stderr,
                 "usage: voidcrawl-store-seed --db PATH|postgresql://... --entries N [--batch B] [--seed S] "
                 "[--measure]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string where;
    int64_t wanted = -1, batch = 20000;
    uint64_t seed = 1;
    bool measure = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--db" && more)
            where = argv[++i];
        else if (a == "--entries" && more)
            wanted = std::atoll(argv[++i]);
        else if (a == "--batch" && more)
            batch = std::atoll(argv[++i]);
        else if (a == "--seed" && more)
            seed = std::strtoull(argv[++i], nullptr, 10);
        else if (a == "--measure")
            measure = true;
        else
            return Usage();
    }
    if (where.empty() || wanted < 0 || batch < 1) return Usage();
    std::string error;
    std::unique_ptr<server::TableStore> store = server::OpenTableStore(where, &error);
    if (!store) {
        std::fprintf(stderr, "voidcrawl-store-seed: %s\n", error.c_str());
        return 1;
    }
    std::mt19937_64 random(seed);
    const Clock::time_point started = Clock::now();
    int64_t entries = 0;
    uint64_t n = 0;
    std::vector<server::ReplayEntry> replays;
    while (entries < wanted) {
        replays.clear();
        int64_t inBatch = 0;
        while (inBatch < batch && entries + inBatch < wanted) {
            replays.push_back(MadeUp(random, seed, n++));
            if (entries + inBatch + static_cast<int64_t>(replays.back().results.size()) > wanted)
                replays.back().results.resize(1);
            inBatch += static_cast<int64_t>(replays.back().results.size());
        }
        int64_t added = 0;
        if (!store->AddMany(replays, &added, &error)) {
            std::fprintf(stderr, "voidcrawl-store-seed: %s\n", error.c_str());
            return 1;
        }
        entries += inBatch;
    }
    const double took = Seconds(started);
    std::printf("voidcrawl-store-seed: %lld entries in %.1f s (%.0f entries/s)\n", static_cast<long long>(entries),
                took, took > 0 ? static_cast<double>(entries) / took : 0.0);
    if (!measure) return 0;

    // The calls the server makes, on the table as it now is.
    std::vector<server::ScoreRow> rows;
    int64_t size = 0;
    Timing top{"Scores top page (10 rows)", {}}, deep{"Scores page at the middle (10 rows)", {}},
        last{"Scores last page (10 rows)", {}}, ranks{"Ranks of a low-scoring replay", {}},
        around{"Around a low-scoring replay (2+1+2)", {}}, add{"Add (one replay, synced commit)", {}};
    if (!store->Scores(1, 10, 0, &rows, &size, &error)) {
        std::fprintf(stderr, "voidcrawl-store-seed: %s\n", error.c_str());
        return 1;
    }
    std::string low;
    for (int i = 0; i < 20; ++i) {
        Clock::time_point t = Clock::now();
        store->Scores(1, 10, 0, &rows, &size, &error);
        top.ms.push_back(Seconds(t) * 1000);
        t = Clock::now();
        store->Scores(1, 10, size / 2, &rows, &size, &error);
        deep.ms.push_back(Seconds(t) * 1000);
        t = Clock::now();
        store->Scores(1, 10, std::max<int64_t>(0, size - 10), &rows, &size, &error);
        last.ms.push_back(Seconds(t) * 1000);
        if (low.empty() && !rows.empty()) low = rows[rows.size() / 2].replay;
        std::vector<int64_t> r;
        int64_t e = 0;
        t = Clock::now();
        store->Ranks(low, &r, &e, &error);
        ranks.ms.push_back(Seconds(t) * 1000);
        t = Clock::now();
        store->Around(low, 2, 2, &rows, &error);
        around.ms.push_back(Seconds(t) * 1000);
        server::ReplayEntry one = MadeUp(random, seed + 1000, random());  // a new one each time
        t = Clock::now();
        store->Add(one, &error);
        add.ms.push_back(Seconds(t) * 1000);
    }
    std::printf("voidcrawl-store-seed: %lld entries in the medium table\n", static_cast<long long>(size));
    for (const Timing* t : {&top, &deep, &last, &ranks, &around, &add}) Report(*t);
    return 0;
}
