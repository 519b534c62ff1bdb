#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What the world table's link keeps on disk, beside the settings file: the
// games waiting to be sent, one file each in world-outbox/, and the ids of
// the games this player sent, in world-games.txt. Both are written through
// the one save helper (platform/SaveFile.h); the link deletes only files
// of the outbox's own names (world-<16 hex digits>.send), never another.

inline constexpr const char kWorldOutboxFolder[] = "world-outbox";
inline constexpr const char kWorldGamesFile[] = "world-games.txt";
// The most a kept game's replay may be (above any replay the game records),
// and the most games the outbox keeps.
inline constexpr size_t kWorldReplayBytesMax = 1u << 20;
inline constexpr int kWorldOutboxMax = 200;

class WorldOutbox {
public:
    // `folder`: the outbox's folder (made when a game is first kept).
    explicit WorldOutbox(std::string folder) : folder_(std::move(folder)) {}

    // Keeps a game's replay and its tag; true when it is kept (or was
    // already), false with the reason.
    bool Keep(const uint8_t* replay, size_t size, const char* tag, char* reason, size_t reasonSize) const;

    // The names of the games kept now, in name order.
    std::vector<std::string> Kept() const;

    // A kept game this process alone sends until it is let go: a lock on
    // the file, so that two copies of the game never send one game twice.
    struct Claim {
        int fd = -1;
        std::string path;
        std::vector<uint8_t> replay;
        std::string tag;
    };
    // Held: another copy of the game is sending it; Unusable: it has gone
    // meanwhile, or it is not a game as the link keeps them (left as it is).
    enum class Claimed : uint8_t { Yes, Held, Unusable };
    Claimed TryClaim(const std::string& name, Claim* claim) const;
    // The server answered for it: its file goes.
    static void Done(Claim* claim);
    // Kept to be tried again.
    static void Release(Claim* claim);

    static bool IsOutboxName(const char* name);

private:
    std::string folder_;
};

// The ids of the games this player sent, with the difficulty and the best
// score of each (the newest kWorldGamesKept).
class OwnWorldGames {
public:
    explicit OwnWorldGames(std::string path) : path_(std::move(path)) {}
    static constexpr int kWorldGamesKept = 1000;
    // Reads the file afresh (a missing or broken one holds what it can).
    void Load();
    // Notes a sent game in the file, read afresh under the folder's lock.
    void Add(const char* id, int32_t difficulty, int32_t score);
    bool Has(const char* id) const;
    // The id of this player's best game of `difficulty`; false: none.
    bool Best(int32_t difficulty, char* id, size_t idSize) const;

private:
    struct Game {
        std::string id;
        int32_t difficulty;
        int32_t score;
    };
    static std::vector<Game> Parse(const uint8_t* text, size_t size);
    std::string path_;
    std::vector<Game> games_;
};
