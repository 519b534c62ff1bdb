#pragma once
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "io/ReplayFile.h"
#include "platform/WorldLink.h"

// A world table link with scripted answers, for tests of the screens and
// the game's glue: it keeps what it was sent and asked, and answers as the
// test set it up, Waiting for `waitPolls` looks after each ask.
class FakeWorldLink : public WorldLink {
public:
    void Follow(const char* address, bool on) override {
        server = address;
        sending = on;
        ++follows;
    }
    bool Configured() const override { return configured; }

    bool Send(const uint8_t* replay, size_t size, const char* tag, char* reason, size_t reasonSize) override {
        if (!keepRefusal.empty()) {
            std::snprintf(reason, reasonSize, "%s", keepRefusal.c_str());
            return false;
        }
        sent.emplace_back(replay, replay + size);
        sentTags.emplace_back(tag);
        return true;
    }

    bool TakeSent(WorldSent* out) override {
        ++sentPolls;
        if (answers.empty()) return false;
        *out = answers.front();
        answers.pop_front();
        return true;
    }

    void AskTable(int32_t difficulty) override {
        askedTables.push_back(difficulty);
        tablePolls = 0;
    }

    WorldAnswer Table(WorldTable* out, char* reason, size_t reasonSize) override {
        if (askedTables.empty()) return WorldAnswer::None;
        if (tablePolls++ < waitPolls) return WorldAnswer::Waiting;
        if (tableAnswer == WorldAnswer::Ready) *out = table;
        if (tableAnswer == WorldAnswer::Failed) std::snprintf(reason, reasonSize, "%s", tableReason.c_str());
        return tableAnswer;
    }

    void AskReplay(const char* id) override {
        askedReplays.emplace_back(id);
        replayPolls = 0;
    }

    WorldAnswer Replay(uint8_t* buffer, size_t capacity, size_t* size, char* reason, size_t reasonSize) override {
        if (askedReplays.empty()) return WorldAnswer::None;
        if (replayPolls++ < waitPolls) return WorldAnswer::Waiting;
        if (replayAnswer == WorldAnswer::Ready && replayBytes.size() > capacity) {
            std::snprintf(reason, reasonSize, "the replay is too large");
            return WorldAnswer::Failed;
        }
        if (replayAnswer == WorldAnswer::Ready) {
            std::memcpy(buffer, replayBytes.data(), replayBytes.size());
            *size = replayBytes.size();
        }
        if (replayAnswer == WorldAnswer::Failed) std::snprintf(reason, reasonSize, "%s", replayReason.c_str());
        return replayAnswer;
    }

    void AskFeed(const char* code, uint32_t from) override {
        askedFeeds.emplace_back(code, from);
        feedPolls = 0;
    }

    // The feed as a server holds it (`feedBytes`, at most `feedChunk` bytes
    // an answer, `feedEnded` once the game ended), or the next of
    // `feedScript` when it holds any.
    WorldAnswer Feed(uint8_t* buffer, WorldFeedPart* part, char* reason, size_t reasonSize) override {
        if (askedFeeds.empty()) return WorldAnswer::None;
        if (feedPolls++ < waitPolls) return WorldAnswer::Waiting;
        FeedAnswer a;
        if (!feedScript.empty()) {
            a = feedScript.front();
            feedScript.pop_front();
        } else if (!feedFailure.empty()) {
            a.state = WorldAnswer::Failed;
            a.reason = feedFailure;
        } else {
            const size_t from = askedFeeds.back().second;
            const size_t n = from >= feedBytes.size() ? 0 : std::min(feedChunk, feedBytes.size() - from);
            a.bytes = feedBytes.substr(from < feedBytes.size() ? from : feedBytes.size(), n);
            a.ended = feedEnded && from + n == feedBytes.size();
            a.held = static_cast<int64_t>(feedBytes.size());
        }
        if (a.state == WorldAnswer::Failed) std::snprintf(reason, reasonSize, "%s", a.reason.c_str());
        if (a.state != WorldAnswer::Ready) return a.state;
        std::memcpy(buffer, a.bytes.data(), std::min(a.bytes.size(), kWorldFeedMostRead));
        part->size = a.bytes.size();
        part->ended = a.ended;
        part->held = a.held;
        return a.state;
    }

    // An answer that ranked a sent game: each player's name, score, level and rank.
    struct Result {
        const char* name;
        int32_t score, level;
        int64_t rank;
    };
    static WorldSent Ranked(const char* tag, const char* id, int32_t difficulty, int64_t entries,
                            std::initializer_list<Result> results) {
        WorldSent sent;
        sent.outcome = WorldSent::Outcome::Ranked;
        std::snprintf(sent.tag, sizeof sent.tag, "%s", tag);
        std::snprintf(sent.id, sizeof sent.id, "%s", id);
        sent.difficulty = difficulty;
        sent.entries = entries;
        for (const Result& r : results) {
            if (sent.count == kWorldResultsMax) break;
            WorldSent::Result& to = sent.results[sent.count++];
            std::snprintf(to.name, sizeof to.name, "%s", r.name);
            to.score = r.score;
            to.level = r.level;
            to.rank = r.rank;
        }
        return sent;
    }
    static WorldSent Refused(const char* tag, const char* reason) {
        WorldSent sent;
        sent.outcome = WorldSent::Outcome::Refused;
        std::snprintf(sent.tag, sizeof sent.tag, "%s", tag);
        std::snprintf(sent.reason, sizeof sent.reason, "%s", reason);
        return sent;
    }
    static WorldRow Row(int64_t rank, const char* name, int32_t score, int32_t level, const char* replay,
                        bool own = false) {
        WorldRow row;
        row.rank = rank;
        std::snprintf(row.name, sizeof row.name, "%s", name);
        row.score = score;
        row.level = level;
        row.length = 3;
        std::snprintf(row.date, sizeof row.date, "2026-12-09");
        std::snprintf(row.replay, sizeof row.replay, "%s", replay);
        row.own = own;
        return row;
    }

    // How it answers.
    bool configured = true;
    std::string keepRefusal;        // non-empty: Send refuses with it
    std::deque<WorldSent> answers;  // TakeSent hands these out in order
    int waitPolls = 0;              // looks that answer Waiting after each ask
    WorldAnswer tableAnswer = WorldAnswer::Ready;
    WorldTable table;
    std::string tableReason;
    WorldAnswer replayAnswer = WorldAnswer::Ready;
    std::vector<uint8_t> replayBytes;
    std::string replayReason;

    struct FeedAnswer {
        WorldAnswer state = WorldAnswer::Ready;
        std::string bytes;
        bool ended = false;
        int64_t held = -1;
        std::string reason;
    };
    std::string feedBytes;
    bool feedEnded = false;
    size_t feedChunk = kWorldFeedMostRead;
    std::string feedFailure;            // non-empty: every ask fails with it
    std::deque<FeedAnswer> feedScript;  // answered first, in order

    // What it was given.
    std::string server;  // as the settings last said
    bool sending = false;
    int follows = 0;
    std::vector<std::vector<uint8_t>> sent;
    std::vector<std::string> sentTags;
    std::vector<int32_t> askedTables;
    std::vector<std::string> askedReplays;
    int sentPolls = 0;
    int tablePolls = 0;
    int replayPolls = 0;
    std::vector<std::pair<std::string, uint32_t>> askedFeeds;
    int feedPolls = 0;
};

// The header a room's live feed starts with: two players online, HOST and
// GUEST, this machine player 1, level 1 and its results still to come.
inline ReplayHeader LiveGameHeader(const char* gameVersion, uint64_t dataHash) {
    ReplayHeader header;
    std::snprintf(header.gameVersion, sizeof header.gameVersion, "%s", gameVersion);
    header.dataHash = dataHash;
    header.players = 2;
    header.flags = kReplayOnline;
    header.onlinePlayer = 1;
    header.ships[0] = 0;
    header.ships[1] = 1;
    header.level = 1;
    std::snprintf(header.names[0], sizeof header.names[0], "HOST");
    std::snprintf(header.names[1], sizeof header.names[1], "GUEST");
    return header;
}
