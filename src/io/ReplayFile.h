#pragma once
#include <cstddef>
#include <cstdint>

#include "net/NetProtocol.h"
#include "platform/KeyCodes.h"
#include "platform/ReadError.h"

// A replay file (docs/replay-format.md): a header of kReplayHeaderBytes
// little-endian bytes, then the input tape (io/InputTape.h), or for an
// online game the confirmed passes of both players (io/OnlineTape.h).
constexpr char kReplayMagic[4] = {'V', 'C', 'R', 'P'};
constexpr uint16_t kReplayFormatVersion = 1;
constexpr size_t kReplayHeaderBytes = 160;
constexpr size_t kReplayVersionBytes = 16;
constexpr size_t kReplayNameBytes = 20;
// The largest tape a file may hold, and the buffer the game records into.
constexpr size_t kReplayTapeCapacity = 256 * 1024;
constexpr size_t kReplayFileCapacity = kReplayHeaderBytes + kReplayTapeCapacity;

// How far a recorded game can go (docs/replay-format.md, "Bounds").
// The levels of a game: the level reached is 1 to this.
constexpr int32_t kReplayLevels = kNetLevels;
// The most passes from the start to the first state hash, between two of
// them, or from the last to the end: one level's intro, play and points
// screens, or a game-over table, generously (10 minutes; the autopilot's
// longest level takes under 1). Nothing in the rules ends an intro or a
// table that nobody answers, so a game that stands longer is recorded only
// to there (cut short, as when the buffer fills).
constexpr uint32_t kReplayMaxSegmentPasses = 60000;
// The most passes of a whole recording: twenty such levels' worth, so a
// whole game of slow levels fits (200 minutes of play; a game longer than
// that, by continues or standing, is recorded cut short).
constexpr uint32_t kReplayMaxPasses = static_cast<uint32_t>(kReplayLevels) * kReplayMaxSegmentPasses;
// When a game can have begun, in seconds since 1970 (0: not known): from
// 2000-01-01 to the end of 9999, the last year a replay's name can spell.
constexpr int64_t kReplayEarliestStart = 946684800;
constexpr int64_t kReplayLatestStart = 253402300799;
// The ship of a player who is not in the game (player 2 of one).
constexpr int32_t kReplayNoShip = 2;

enum ReplayFlags : uint8_t {
    kReplayCutShort = 1,  // the tape filled its buffer: the game went on unrecorded
    kReplayOnline = 2,    // an online game: the body is an OnlineTape's
};
enum ReplayLatches : uint8_t {
    kReplayClickLatch = 1,  // the set-up screen's Enter/click latch
    kReplaySpaceLatch = 2,  // the match's SPACE latch
};

struct ReplayHeader {
    char gameVersion[kReplayVersionBytes] = {};  // zero-terminated
    uint64_t dataHash = 0;
    uint32_t randomState = 0;  // the generator's state when play began
    uint8_t players = 1;
    uint8_t difficulty = 0;
    uint8_t flags = 0;
    uint8_t buttonDown = 0;  // the left button when play began
    int32_t pointerX = 320;  // the pointer when play began
    int32_t pointerY = 240;
    uint8_t latches = 0;       // kReplayClickLatch, kReplaySpaceLatch as play began
    uint8_t onlinePlayer = 0;  // online: the player (1 or 2) the recording machine steered; else 0
    char names[2][kReplayNameBytes] = {};
    int32_t ships[2] = {1, 2};
    PlayKeys keys = kDefaultPlayKeys;
    // What the game reached (as its high-score entries hold it).
    int32_t scores[2] = {};
    int32_t lengthTotals[2] = {};
    int32_t level = 0;
    // The tape's length in bytes, passes and state hashes.
    uint32_t tapeBytes = 0;
    uint32_t passes = 0;
    uint32_t checkpoints = 0;
    // Seconds since 1970 when the game began (0: not known).
    int64_t startedAt = 0;
};

// The header's bytes (kReplayHeaderBytes into `out`).
void WriteReplayHeader(const ReplayHeader& header, uint8_t* out);

// Reads the header alone (the first kReplayHeaderBytes of `data`).
bool ParseReplayHeader(const uint8_t* data, size_t size, ReplayHeader* header, ReadError* error);

// Reads a whole replay file in memory: the header, and the tape, which is
// walked to the end (an online body as an online body) so that a file that breaks the rules anywhere is refused
// before a pass is played. False with the reason (Malformed) otherwise;
// `tape` then points into `data`.
bool ParseReplay(const uint8_t* data, size_t size, ReplayHeader* header, const uint8_t** tape, ReadError* error);

// Reads the replay file at `path` whole into `buffer` (kReplayFileCapacity
// bytes) and parses it as ParseReplay does: the one way every program reads
// a replay from a file. Only a regular file (links followed) is read; a
// folder, pipe, socket or device is refused without being opened in a way
// that could block, and a file larger than any replay by its size alone,
// before a byte of it is read. False with the reason for the player, which
// leaves the file's name to the caller: "it is a folder, not a replay", "it
// is larger than any replay (N bytes; at most M)", "there is no such file",
// or what ParseReplay says. `size` gets the bytes read.
bool ReadReplayFile(const char* path, uint8_t* buffer, size_t* size, ReplayHeader* header, const uint8_t** tape,
                    ReadError* error);
