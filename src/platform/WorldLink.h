#pragma once
#include <cstddef>
#include <cstdint>

// The world high-score table kept by voidcrawl-server (docs/server.md): what
// the game asks of it. The host does the network work away from the game's
// passes (a thread on the desktop, fetch in the page): every call here
// returns at once, and the game looks for answers at most once a pass.
// Nothing is sent unless the player turned sending on (the game decides;
// the link only carries what it is given).

// The server's address as the settings hold it ("https://scores.example.org").
inline constexpr int kWorldAddressBytes = 256;
// Whether `text` can be a server's address: http:// or https:// (either
// case), then a host, and only printable ASCII without spaces, quotes,
// backslashes or angle brackets, in fewer than kWorldAddressBytes bytes.
// False, with what is wrong in `why` (when given), otherwise.
bool IsWorldAddress(const char* text, const char** why);
// The server's host and port in an address IsWorldAddress takes: the name
// or numeric address after "://" (an IPv6 one without its brackets), and
// the port written after it, else kWorldHttpPort for http:// and
// kWorldHttpsPort for https://. False, with why, when the port is no
// number of 1 to 65535 or the host does not fit in `hostSize` bytes.
inline constexpr uint16_t kWorldHttpPort = 80;
inline constexpr uint16_t kWorldHttpsPort = 443;
bool WorldAddressHost(const char* text, char* host, size_t hostSize, uint16_t* port, const char** why);

// A replay's id on the server (hex), zero-terminated.
inline constexpr int kWorldIdBytes = 24;
// A refusal or a failure, in words ("the replay is out of step at level 3").
inline constexpr int kWorldReasonBytes = 128;
// A player's name as the tables hold it (names are at most 13 characters).
inline constexpr int kWorldNameBytes = 20;
// A day as the server writes it, "2026-12-09".
inline constexpr int kWorldDateBytes = 11;
// The rows of a table the high-score screen shows: the top ten, and the
// rows around this player's own best.
inline constexpr int kWorldTopRows = 10;
inline constexpr int kWorldAroundRows = 5;
// A game's results: one per player.
inline constexpr int kWorldResultsMax = 2;
// What names a sent game in its answer: the replay file's name.
inline constexpr int kWorldTagBytes = 64;

// One entry of a world table.
struct WorldRow {
    int64_t rank = 0;  // 1 = best
    char name[kWorldNameBytes] = {};
    int32_t score = 0;
    int32_t level = 0;
    int32_t length = 0;
    char date[kWorldDateBytes] = {};
    char replay[kWorldIdBytes] = {};  // the id of the replay behind it
    bool own = false;                 // one of the games this player sent
};

// The server's answer to one sent game.
struct WorldSent {
    enum class Outcome : uint8_t { Ranked, Refused };
    Outcome outcome = Outcome::Refused;
    char tag[kWorldTagBytes] = {};  // as given to Send
    char id[kWorldIdBytes] = {};    // Ranked: the replay's id
    int32_t difficulty = 0;
    int64_t entries = 0;  // Ranked: how many entries that difficulty's table holds
    int count = 0;        // Ranked: results, one per player
    struct Result {
        char name[kWorldNameBytes] = {};
        int32_t score = 0;
        int32_t level = 0;
        int64_t rank = 0;
    } results[kWorldResultsMax];
    char reason[kWorldReasonBytes] = {};  // Refused: the server's words
};

// One difficulty's table as the high-score screen shows it.
struct WorldTable {
    int32_t difficulty = 0;
    int64_t entries = 0;  // how many entries the table holds in all
    int topCount = 0;
    WorldRow top[kWorldTopRows];
    int aroundCount = 0;  // 0 when this player has no entry there
    WorldRow around[kWorldAroundRows];
};

// Where an asked-for answer stands.
enum class WorldAnswer : uint8_t { None, Waiting, Ready, Failed };

// A live game's feed (docs/server.md, "Watching"): the most bytes one answer
// holds, and a room's code as the link takes it (letters only, upper case,
// fewer than kWorldFeedCodeBytes).
inline constexpr size_t kWorldFeedMostRead = 64 * 1024;
inline constexpr int kWorldFeedCodeBytes = 8;

// One answer of a live game's feed: the bytes from the offset asked (none
// when the server had nothing new within its wait), whether the game has
// ended and these are the last, and the bytes the server holds in all (-1
// when it did not say).
struct WorldFeedPart {
    size_t size = 0;
    bool ended = false;
    int64_t held = -1;
};

class WorldLink {
public:
    virtual ~WorldLink() = default;
    // The settings' [world] server ("" none) and send switch, as they are in
    // force (Host::UseWorld and every change of settings): a new address is
    // tried at once; with sending off, kept games wait unsent.
    virtual void Follow(const char* /*server*/, bool /*sending*/) {}
    // Whether a server's address is set.
    virtual bool Configured() const = 0;
    // Keeps a finished game's replay to be sent: sent at once when the server
    // can be reached, else kept and sent again later (across runs) until the
    // server answers. `tag` names the game in the answer. False, with the
    // reason, when it could not be kept.
    virtual bool Send(const uint8_t* replay, size_t size, const char* tag, char* reason, size_t reasonSize) = 0;
    // The next answer to a sent game; false when none has come since.
    virtual bool TakeSent(WorldSent* sent) = 0;
    // Asks for a difficulty's table (a new ask replaces the last).
    virtual void AskTable(int32_t difficulty) = 0;
    // The last asked-for table: Ready with it in `table`, Failed with the
    // reason.
    virtual WorldAnswer Table(WorldTable* table, char* reason, size_t reasonSize) = 0;
    // Asks for the bytes of the replay with the id (a new ask replaces the last).
    virtual void AskReplay(const char* id) = 0;
    // The last asked-for replay: Ready with its bytes in `buffer` (at most
    // `capacity`, else Failed), Failed with the reason.
    virtual WorldAnswer Replay(uint8_t* buffer, size_t capacity, size_t* size, char* reason, size_t reasonSize) = 0;
    // Asks for the live game `code`'s feed from byte `from` (a new ask
    // replaces the last). The server may hold the request up to a few
    // seconds while nothing new is held (a long poll); other asks do not
    // wait for it.
    virtual void AskFeed(const char* code, uint32_t from) = 0;
    // The last asked-for part of a feed: Ready with its bytes in `buffer`
    // (kWorldFeedMostRead; a larger answer is Failed) and what `part` says,
    // Failed with the reason ("no game of that code is live").
    virtual WorldAnswer Feed(uint8_t* buffer, WorldFeedPart* part, char* reason, size_t reasonSize) = 0;
};
