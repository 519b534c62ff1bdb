#pragma once
#include <cstddef>
#include <cstdint>
#include <ctime>

#include "io/ReplayFile.h"
#include "match/Match.h"
#include "match/PlaySnapshot.h"  // MatchStateHash, which replays store
#include "platform/SaveFile.h"
#include "screens/HighScoreTable.h"

// The game's side of replays: what a state hash covers, which data a replay
// depends on, and where replays are kept.

// Folder of the replays in the user folder, and how many are kept besides
// those behind the high-score tables' entries.
constexpr const char kReplayFolder[] = "replays";
constexpr int kReplaysKept = 50;
constexpr int kReplayNameSize = 64;

// A hash of the data play reads (the twenty level files), from the working
// folder; 0 when one cannot be read.
uint64_t PlayDataHash();

// Whether a replay can be played by this game with this data; if not, what
// differs in `why` ("recorded by VoidCrawl 1.0.1, this is 1.0.0").
bool ReplayFitsThisGame(const ReplayHeader& header, uint64_t dataHash, char* why, size_t whySize);

// How playing a replay ended, as the window, the runner and the page say
// it: still playing (or left by the viewer), a proof of its result (played
// to its recorded end, every state hash matched, the results reached the
// header's), in step as far as it was recorded but cut short (no proof of
// the result), out of step, ended before its recorded end, or reached
// other results than the header claims.
enum class ReplayVerdict : uint8_t { None, Verified, CutShort, OutOfStep, EndsEarly, ResultsDiffer };

// What playing a replay reached where it stopped.
struct ReplayPlayed {
    bool outOfStep = false;
    int32_t outOfStepLevel = 0;  // the level the failed state hash named (0: none)
    bool stopTaken = false;      // the recording's end (its stop, or its closing game-over hash) was matched
    bool bodyDone = false;       // every byte of the body was played
    int32_t level = 0;           // the level play is on (1-20)
    int32_t scores[2] = {};
    int32_t lengthTotals[2] = {};
};

// The one verdict on a replay that has stopped playing: its kind, the level
// it names (where it lost step or stopped) and the verdict in words
// ("out of step at level 3", "the replay ends before its recorded end
// (level 4)", ...), which the runner prints and the page shows.
ReplayVerdict JudgeReplay(const ReplayHeader& header, const ReplayPlayed& played, int32_t* level, char* words,
                          size_t wordsSize);

// The most frames playing the replay takes: a pass each, and for an
// online game the game's own frames between levels and before the table.
int64_t ReplayFrames(const ReplayHeader& header);

// Saves a replay file into the user folder's replay folder. `name` holds the
// game's file name ("20261208-093000-00.vcr"): empty on the game's first
// save, when a new one is chosen from `now` (and the older replays are
// pruned); later saves of the same game (a continue) replace it. When the
// disk is full (ENOSPC), the oldest replays PruneReplays could delete go,
// even among the newest kReplaysKept, until the new one fits, and the save
// is tried once more.
bool SaveReplayFile(const uint8_t* data, size_t size, std::time_t now, char* name, SaveResult* result);

// Checked results: the replay files whose results the game knows, because
// it recorded them itself (it reached them live) or played them to a
// verdict of Verified: each file's name, size and hash of its bytes, with
// the results (from the header the game wrote or checked). The links to the
// tables and the pruning use only these; a file whose bytes are not the
// ones checked is behind no entry. Kept in the user folder through the
// save helper, the newest kCheckedReplaysKept.
constexpr const char kCheckedReplaysFile[] = "replay-results.dat";
constexpr int kCheckedReplaysKept = 128;
// Notes the replay file `name` (a bare name in the replay folder) with
// `data`'s bytes and the results `header` holds; false (with the reason on
// stderr) when the record cannot be kept.
bool RecordCheckedReplay(const char* name, const uint8_t* data, size_t size, const ReplayHeader& header);
// The bare name of `path` when it lies in the user folder's replay folder
// (into `name`, kReplayNameSize); false otherwise.
bool ReplayFolderName(const char* path, char* name);
// The hash the checked results hold of a file's bytes.
uint64_t ReplayBytesHash(const uint8_t* data, size_t size);

// Reads into `buffer` the newest replay whose game is behind the entry
// `record` of the difficulty's table; false when there is none.
bool LoadReplayFor(const HighScoreRecord& record, int32_t difficulty, uint8_t* buffer, size_t capacity, size_t* size);

// For each of the `count` records of the difficulty's table, whether a kept
// replay's game is behind it (`has`, by record); one look through the folder.
void FindReplaysBehind(const HighScoreRecord* records, int count, int32_t difficulty, uint8_t* has);

// Deletes the oldest replays beyond the newest kReplaysKept, except those
// whose game is behind an entry of a high-score table (same difficulty,
// name, score, length and level). Only the game's own are counted and
// deleted: plain files of this user's named as the game names them
// ("YYYYMMDD-HHMMSS-NN.vcr", a real date and time), oldest by that name's
// time; a link, another name (a friend's replay) or a file that is not a
// readable replay stays. Returns how many were deleted.
int PruneReplays();
