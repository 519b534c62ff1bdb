#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "io/ReplayFile.h"
#include "net/RoomProtocol.h"

// The rooms' live feeds (docs/server.md "Watching"): the host of a room in
// play sends its own recording of the game (the replay file's bytes, its
// header first) as Feed messages; the server keeps each room's bytes in
// memory and hands them to watchers over HTTP. The rule alone, on a clock
// passed in, so that it is tested without waiting; Rooms hands it the
// host's Feeds, HttpServer the watchers' requests.
//
// Everything is hostile: bytes are taken only in order (at the offset held,
// else the ack names what is held), a feed holds at most a replay file's
// capacity and all feeds together at most the server's feed memory (then
// "full"), its first bytes must be an online game's replay header (else the
// feed is refused and forgotten), a room has at most kFeedMostWatchers
// watchers, and a feed is forgotten kFeedKeptSeconds after its game ended.
namespace server {

constexpr uint32_t kFeedMostWatchers = 32;
constexpr double kFeedWatcherSeconds = 10;   // a watcher counts this long after its last request
constexpr double kFeedKeptSeconds = 300;     // a feed is kept this long after its game ended
constexpr size_t kFeedMostRead = 64 * 1024;  // bytes one request gets
constexpr size_t kFeedListRows = 100;
constexpr uint32_t kFeedDefaultMemoryMb = 256;
// What a feed costs beyond its bytes, as the memory bound counts it.
constexpr size_t kFeedOverheadBytes = 1024;

struct FeedsCounts {
    uint64_t feeds = 0;    // held now
    uint64_t bytes = 0;    // held now, all together
    uint64_t refused = 0;  // Feeds that were not taken (out of order, past a bound, a bad header)
};

// One row of the list of feeds.
struct FeedRow {
    uint32_t code = 0;
    uint8_t difficulty = 0;
    std::string names[2];
    uint32_t bytes = 0;
    uint32_t watchers = 0;
    bool ended = false;
};

class Feeds {
public:
    explicit Feeds(uint64_t memoryBytes) : memory_(memoryBytes) {}

    struct Ack {
        uint32_t offset = 0;
        uint8_t flags = 0;  // kRoomFeedFull, kRoomFeedEnded
    };
    // A Feed from the host of room `code` (Rooms has checked the token).
    Ack Take(uint32_t code, const RoomMessage& feed, double now);
    // The room is gone: its feed ends where it stands (and is kept
    // kFeedKeptSeconds), or is forgotten when it holds nothing yet.
    void RoomClosed(uint32_t code, double now);
    // Forgets the feeds whose time is up, and watchers gone quiet.
    void Sweep(double now);

    enum class Watch : uint8_t { Admitted, NoSuchFeed, TooManyWatchers };
    // A watcher's request (`watcher`: who it is, e.g. its address and port).
    Watch Admit(uint32_t code, const std::string& watcher, double now);
    // The feed's bytes from `from`, at most `most`; false when there is no
    // such feed. `ended`: the feed has ended; `held`: its bytes.
    bool Read(uint32_t code, uint64_t from, size_t most, std::string* bytes, bool* ended, uint32_t* held) const;
    // The feeds that hold a header, newest first, at most kFeedListRows.
    std::vector<FeedRow> List(double now);
    FeedsCounts Counts() const;

    // Called when a feed has taken bytes or ended (a watcher waiting is woken).
    std::function<void(uint32_t code)> onGrow;

private:
    struct Feed {
        std::string bytes;
        bool ended = false;
        bool refused = false;  // its header was no online game's: nothing more is taken
        double endedAt = 0;
        uint64_t order = 0;
        ReplayHeader header;
        bool headerRead = false;
        std::unordered_map<std::string, double> watchers;
    };
    void Forget(uint32_t code);
    void DropQuiet(Feed& feed, double now);

    uint64_t memory_;
    uint64_t used_ = 0;
    uint64_t order_ = 0;
    uint64_t refused_ = 0;
    std::unordered_map<uint32_t, Feed> feeds_;
};

}  // namespace server
