#include "app/Replay.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/CommandLine.h"
#include "match/FoodSet.h"
#include "platform/GameFile.h"
#include "platform/Hash.h"
#include "platform/LittleEndian.h"
#include "screens/HighScoreTable.h"
#include "world/Difficulty.h"
#include "world/Worm.h"

namespace {

// "replays/<name>" for a bare file name.
bool ReplayPath(const char* file, char* out, size_t outSize) {
    char name[kReplayNameSize + 16];
    const int n = std::snprintf(name, sizeof name, "%s/%s", kReplayFolder, file);
    return n > 0 && static_cast<size_t>(n) < sizeof name && UserFilePath(name, out, static_cast<int>(outSize));
}

bool IsReplayName(const char* name) {
    const size_t n = std::strlen(name);
    return n > 4 && n < static_cast<size_t>(kReplayNameSize) && std::strcmp(name + n - 4, ".vcr") == 0 &&
           name[0] != '.';
}

static_assert(Match::kLevels == kReplayLevels, "a replay's levels are the game's");
static_assert(kReplayNoShip == kShipTypes, "a replay's missing ship names no ship type");

// The most a worm's score grows in a pass: it enters at most one cell a
// pass and eats what is there, or scores its jump.
constexpr int64_t kMaxScorePerPass = std::max<int64_t>(BestFoodScore(), kJumpScoreRange - 1);
// The most a worm's length total grows in a pass: by its length (under
// kWormSegments) when it crashes and when it leaves through its exit.
constexpr int64_t kMaxLengthPerPass = 2 * static_cast<int64_t>(kWormSegments);

// ---- checked results -----------------------------------------------------------

// The record's file: magic, version, count, then the entries.
constexpr char kCheckedMagic[4] = {'V', 'C', 'R', 'R'};
constexpr uint16_t kCheckedVersion = 1;
constexpr size_t kCheckedHeadBytes = 8;
enum CheckedOffset : size_t {
    kCkNameAt = 0,
    kCkSizeAt = kReplayNameSize,
    kCkHashAt = kCkSizeAt + 4,
    kCkDifficultyAt = kCkHashAt + 8,
    kCkPlayersAt = kCkDifficultyAt + 1,
    kCkLevelAt = kCkPlayersAt + 3,
    kCkScoresAt = kCkLevelAt + 4,
    kCkLengthsAt = kCkScoresAt + 8,
    kCkNamesAt = kCkLengthsAt + 8,
    kCheckedEntryBytes = kCkNamesAt + 2 * kReplayNameBytes,
};
constexpr size_t kCheckedFileBytes = kCheckedHeadBytes + kCheckedReplaysKept * kCheckedEntryBytes;

struct CheckedReplay {
    char file[kReplayNameSize] = {};
    uint32_t size = 0;
    uint64_t hash = 0;
    int32_t difficulty = 0;
    int32_t players = 0;
    int32_t level = 0;
    int32_t scores[2] = {};
    int32_t lengthTotals[2] = {};
    char names[2][kReplayNameBytes] = {};
};

// The record as read: `ok` false when the file is there but cannot be read
// or is not one (then it is never written over).
struct CheckedReplays {
    CheckedReplay entries[kCheckedReplaysKept];
    int count = 0;
    bool ok = true;
};

bool CheckedPath(char* out, size_t outSize) {
    return UserFilePath(kCheckedReplaysFile, out, static_cast<int>(outSize));
}

void LoadChecked(CheckedReplays* c) {
    static uint8_t bytes[kCheckedFileBytes + 1];
    c->count = 0;
    c->ok = true;
    char path[kMaxUserPath];
    if (!CheckedPath(path, sizeof path)) return;
    const ReadResult read = ReadPlayerFile(path, bytes, sizeof bytes);
    if (read.status == ReadStatus::Missing) return;
    const uint16_t count = read.size >= kCheckedHeadBytes ? ReadLittleEndian<uint16_t>(bytes + 6) : 0;
    if (read.status != ReadStatus::Read || read.longer || read.size < kCheckedHeadBytes ||
        std::memcmp(bytes, kCheckedMagic, sizeof kCheckedMagic) != 0 ||
        ReadLittleEndian<uint16_t>(bytes + 4) != kCheckedVersion || count > kCheckedReplaysKept ||
        read.size != kCheckedHeadBytes + count * kCheckedEntryBytes) {
        c->ok = false;
        return;
    }
    for (int i = 0; i < count; ++i) {
        const uint8_t* e = bytes + kCheckedHeadBytes + i * kCheckedEntryBytes;
        CheckedReplay& r = c->entries[i];
        std::memcpy(r.file, e + kCkNameAt, sizeof r.file);
        r.file[sizeof r.file - 1] = 0;
        r.size = ReadLittleEndian<uint32_t>(e + kCkSizeAt);
        r.hash = ReadLittleEndian<uint64_t>(e + kCkHashAt);
        r.difficulty = e[kCkDifficultyAt];
        r.players = e[kCkPlayersAt];
        r.level = ReadLittleEndian<int32_t>(e + kCkLevelAt);
        for (int p = 0; p < 2; ++p) {
            r.scores[p] = ReadLittleEndian<int32_t>(e + kCkScoresAt + 4 * p);
            r.lengthTotals[p] = ReadLittleEndian<int32_t>(e + kCkLengthsAt + 4 * p);
            std::memcpy(r.names[p], e + kCkNamesAt + p * kReplayNameBytes, kReplayNameBytes);
            r.names[p][kReplayNameBytes - 1] = 0;
        }
        if (r.players < 1 || r.players > 2) r.players = 0;  // links to nothing
    }
    c->count = count;
}

bool SaveChecked(const CheckedReplays& c, SaveResult* result) {
    static uint8_t bytes[kCheckedFileBytes];
    std::memset(bytes, 0, sizeof bytes);
    std::memcpy(bytes, kCheckedMagic, sizeof kCheckedMagic);
    WriteLittleEndian<uint16_t>(bytes + 4, kCheckedVersion);
    WriteLittleEndian<uint16_t>(bytes + 6, static_cast<uint16_t>(c.count));
    for (int i = 0; i < c.count; ++i) {
        uint8_t* e = bytes + kCheckedHeadBytes + i * kCheckedEntryBytes;
        const CheckedReplay& r = c.entries[i];
        std::memcpy(e + kCkNameAt, r.file, sizeof r.file - 1);
        WriteLittleEndian<uint32_t>(e + kCkSizeAt, r.size);
        WriteLittleEndian<uint64_t>(e + kCkHashAt, r.hash);
        e[kCkDifficultyAt] = static_cast<uint8_t>(r.difficulty);
        e[kCkPlayersAt] = static_cast<uint8_t>(r.players);
        WriteLittleEndian<int32_t>(e + kCkLevelAt, r.level);
        for (int p = 0; p < 2; ++p) {
            WriteLittleEndian<int32_t>(e + kCkScoresAt + 4 * p, r.scores[p]);
            WriteLittleEndian<int32_t>(e + kCkLengthsAt + 4 * p, r.lengthTotals[p]);
            std::memcpy(e + kCkNamesAt + p * kReplayNameBytes, r.names[p], kReplayNameBytes - 1);
        }
    }
    char path[kMaxUserPath];
    if (!CheckedPath(path, sizeof path)) {
        std::snprintf(result->reason, sizeof result->reason, "its path is too long");
        return false;
    }
    return SaveBytes(path, bytes, kCheckedHeadBytes + c.count * kCheckedEntryBytes, result, kSaveReplace);
}

// Whether the checked replay's game is behind the entry `r` of the difficulty's table.
bool Behind(const HighScoreRecord& r, int32_t difficulty, const CheckedReplay& c) {
    if (r.score <= 0 || difficulty != c.difficulty || r.level != c.level) return false;
    for (int p = 0; p < c.players; ++p)
        if (r.score == c.scores[p] && r.lengthTotal == c.lengthTotals[p] &&
            std::strncmp(r.name, c.names[p], sizeof r.name) == 0)
            return true;
    return false;
}

// Whether the file's bytes are the ones checked.
bool BytesAreChecked(const CheckedReplay& c, const uint8_t* data, size_t size) {
    return size == c.size && ReplayBytesHash(data, size) == c.hash;
}

// Reads the checked replay's file into `buffer` (at least a file's capacity)
// and says whether its bytes are the ones checked.
bool ReadChecked(const CheckedReplay& c, uint8_t* buffer, size_t capacity, size_t* size) {
    char path[kMaxUserPath];
    if (!ReplayPath(c.file, path, sizeof path)) return false;
    const ReadResult read = ReadPlayerFile(path, buffer, capacity);
    *size = read.size;
    return read.status == ReadStatus::Read && !read.longer && BytesAreChecked(c, buffer, read.size);
}

// The high-score tables as they are on disk, for the links to replays.
struct Tables {
    HighScoreRecord records[kDifficulties][HighScoreTable::kRecords] = {};

    void Load() {
        for (int32_t d = 0; d < kDifficulties; ++d) {
            uint8_t data[HighScoreTable::kFileBytes] = {};
            const ReadResult read = ReadUserFile(HighScoreTable::FileName(d), data, sizeof data);
            if (read.status != ReadStatus::Read) continue;
            for (int i = 0; i < HighScoreTable::kRecords; ++i) {
                const uint8_t* block = data + i * HighScoreTable::kRecordBytes;
                HighScoreRecord& r = records[d][i];
                r.score = ReadLittleEndian<int32_t>(block);
                std::memcpy(r.name, block + 4, sizeof r.name);
                r.name[sizeof r.name - 1] = 0;
                r.lengthTotal = ReadLittleEndian<int32_t>(block + 24);
                r.level = ReadLittleEndian<int32_t>(block + 28);
            }
        }
    }

    // Whether the file `name`, whose bytes are `data`, is a checked replay
    // whose game has an entry.
    bool Hold(const CheckedReplays& checked, const char* name, const uint8_t* data, size_t size) const {
        for (int i = 0; i < checked.count; ++i) {
            const CheckedReplay& c = checked.entries[i];
            if (std::strcmp(c.file, name) != 0 || c.difficulty < 0 || c.difficulty >= kDifficulties) continue;
            if (!BytesAreChecked(c, data, size)) return false;
            for (const HighScoreRecord& r : records[c.difficulty])
                if (Behind(r, c.difficulty, c)) return true;
            return false;
        }
        return false;
    }
};

}  // namespace

uint64_t PlayDataHash() {
    Fnv64 h;
    for (int32_t i = 0; i < Match::kLevels; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "L%d.DAT", static_cast<int>(i));
        std::FILE* f = OpenGameFile(name, "rb");
        if (f == nullptr) return 0;
        uint8_t bytes[kLevelFileBytes + 1];
        const size_t got = std::fread(bytes, 1, sizeof bytes, f);
        std::fclose(f);
        h.U32(static_cast<uint32_t>(got));
        h.Bytes(bytes, got);
    }
    return h.Value();
}

uint64_t ReplayBytesHash(const uint8_t* data, size_t size) {
    Fnv64 h;
    h.Bytes(data, size);
    return h.Value();
}

ReplayVerdict JudgeReplay(const ReplayHeader& h, const ReplayPlayed& played, int32_t* level, char* words,
                          size_t wordsSize) {
    *level = played.level;
    if (played.outOfStep) {
        if (played.outOfStepLevel != 0) *level = played.outOfStepLevel;
        std::snprintf(words, wordsSize, "out of step at level %d", static_cast<int>(*level));
        return ReplayVerdict::OutOfStep;
    }
    if ((h.flags & kReplayCutShort) != 0) {
        if (!played.bodyDone) {
            std::snprintf(words, wordsSize, "the replay ends before its recording does (level %d)",
                          static_cast<int>(*level));
            return ReplayVerdict::EndsEarly;
        }
        std::snprintf(words, wordsSize,
                      "cut short: in step as far as it was recorded (level %d), but the game outgrew its recording, "
                      "so its result is not proven",
                      static_cast<int>(*level));
        return ReplayVerdict::CutShort;
    }
    if (!played.stopTaken) {
        std::snprintf(words, wordsSize, "the replay ends before its recorded end (level %d)", static_cast<int>(*level));
        return ReplayVerdict::EndsEarly;
    }
    if (played.level != h.level) {
        std::snprintf(words, wordsSize, "the game played to level %d, but the replay claims level %d",
                      static_cast<int>(played.level), static_cast<int>(h.level));
        return ReplayVerdict::ResultsDiffer;
    }
    for (int p = 0; p < h.players; ++p) {
        if (played.scores[p] == h.scores[p] && played.lengthTotals[p] == h.lengthTotals[p]) continue;
        std::snprintf(words, wordsSize,
                      "player %d's game ended with score %d and length %d, but the replay claims score %d and "
                      "length %d",
                      p + 1, static_cast<int>(played.scores[p]), static_cast<int>(played.lengthTotals[p]),
                      static_cast<int>(h.scores[p]), static_cast<int>(h.lengthTotals[p]));
        return ReplayVerdict::ResultsDiffer;
    }
    std::snprintf(words, wordsSize, "verified");
    return ReplayVerdict::Verified;
}

bool ReplayFitsThisGame(const ReplayHeader& header, uint64_t dataHash, char* why, size_t whySize) {
    // What the players claim must be within what the passes can reach.
    const int64_t passes = header.passes;
    for (int p = 0; p < header.players; ++p) {
        if (header.scores[p] > passes * kMaxScorePerPass) {
            std::snprintf(why, whySize, "player %d's score %d is more than %u passes can reach", p + 1,
                          static_cast<int>(header.scores[p]), header.passes);
            return false;
        }
        if (header.lengthTotals[p] > passes * kMaxLengthPerPass) {
            std::snprintf(why, whySize, "player %d's length total %d is more than %u passes can reach", p + 1,
                          static_cast<int>(header.lengthTotals[p]), header.passes);
            return false;
        }
    }
    if (std::strcmp(header.gameVersion, kGameVersion) != 0) {
        std::snprintf(why, whySize, "the replay was recorded by VoidCrawl %s; this is VoidCrawl %s", header.gameVersion,
                      kGameVersion);
        return false;
    }
    if (header.dataHash != dataHash) {
        std::snprintf(why, whySize,
                      "the replay was recorded with other levels (data set %016llx; this game's is %016llx)",
                      static_cast<unsigned long long>(header.dataHash), static_cast<unsigned long long>(dataHash));
        return false;
    }
    return true;
}

int64_t ReplayFrames(const ReplayHeader& header) {
    int64_t frames = static_cast<int64_t>(header.passes) + 2;
    // A few frames close each level's points screens; the cue stands
    // before the table.
    if ((header.flags & kReplayOnline) != 0) frames += 8 * Match::kLevels + Match::kGameOverCueFrames + 8;
    return frames;
}

namespace {

// A replay's file name as the game makes it, "YYYYMMDD-HHMMSS-NN.vcr" (when
// its game began, in UTC, then a number for games begun in the same second),
// read strictly: digits where digits go, a real date and time. `age` gets a
// number that orders the game's files by that time, then that number.
bool ReadGameReplayName(const char* name, long long* age) {
    constexpr char kForm[] = "########-######-##.vcr";  // '#': a digit
    if (std::strlen(name) != sizeof kForm - 1) return false;
    long long digits = 0;
    for (size_t i = 0; i < sizeof kForm - 1; ++i) {
        if (kForm[i] != '#') {
            if (name[i] != kForm[i]) return false;
        } else if (name[i] < '0' || name[i] > '9') {
            return false;
        } else {
            digits = digits * 10 + (name[i] - '0');
        }
    }
    // The fields, from the name's start.
    auto field = [name](int at, int length) {
        int value = 0;
        for (int i = at; i < at + length; ++i) value = value * 10 + (name[i] - '0');
        return value;
    };
    const int year = field(0, 4), month = field(4, 2), day = field(6, 2);
    const int hour = field(9, 2), minute = field(11, 2), second = field(13, 2);
    constexpr int kFirstYear = 1970;  // a game's time counts from 1970
    if (year < kFirstYear || month < 1 || month > 12 || hour > 23 || minute > 59 || second > 59) return false;
    static const int kDaysIn[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day < 1 || day > kDaysIn[month - 1] + (month == 2 && leap ? 1 : 0)) return false;
    *age = digits;  // YYYYMMDDhhmmssNN: later games, larger numbers
    return true;
}

// The game's own replays in the folder, oldest first: files of its name
// form, plain files of this user's (never a link, nor what another wrote).
// A folder holds few more than kReplaysKept plus the tables' thirty, so a
// fixed list of the newest is plenty (a crowded folder is thinned over
// several games).
struct OwnReplays {
    static constexpr int kListed = 256;
    static constexpr long long kStatBlockBytes = 512;  // st_blocks counts these
    struct File {
        char name[kReplayNameSize];
        long long age;
        long long bytes;  // what deleting it frees
    };
    File files[kListed];
    int count = 0;

    void List(const char* folder) {
        count = 0;
        DIR* dir = opendir(folder);
        if (dir == nullptr) return;
        while (const dirent* entry = readdir(dir)) {
            long long age = 0;
            if (!ReadGameReplayName(entry->d_name, &age)) continue;
            struct stat info;
            if (fstatat(dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode) ||
                info.st_uid != geteuid())
                continue;
            // Keep the kListed newest seen, sorted oldest first.
            int at = count;
            if (count == kListed) {
                if (age < files[0].age) continue;
                std::memmove(&files[0], &files[1], sizeof files[0] * (kListed - 1));
                at = --count;
            }
            while (at > 0 && files[at - 1].age > age) {
                files[at] = files[at - 1];
                --at;
            }
            std::snprintf(files[at].name, sizeof files[at].name, "%s", entry->d_name);
            files[at].age = age;
            files[at].bytes = static_cast<long long>(info.st_blocks) * kStatBlockBytes;
            ++count;
        }
        closedir(dir);
    }
};
OwnReplays ownReplays;  // large for the stack

// Deletes the game's own replays, oldest first, except the one named `spare`
// and those behind a table's entry: those beyond the newest `keep`, and then
// more until `room` bytes are freed (none for room that deleting all it may
// would not make). Returns how many were deleted.
int DeleteOldReplays(int keep, long long room, const char* spare) {
    char folder[kMaxUserPath];
    if (!UserFilePath(kReplayFolder, folder, sizeof folder)) return 0;
    OwnReplays& own = ownReplays;
    own.List(folder);
    if (own.count <= keep && room <= 0) return 0;
    Tables tables;
    tables.Load();
    static bool mayGo[OwnReplays::kListed];
    long long reachable = 0;  // what deleting, oldest first, until `room` is free frees
    static CheckedReplays checked;
    LoadChecked(&checked);
    static uint8_t file[kReplayFileCapacity];
    for (int i = 0; i < own.count; ++i) {
        mayGo[i] = false;
        char path[kMaxUserPath];
        if (std::strcmp(own.files[i].name, spare) == 0 || !ReplayPath(own.files[i].name, path, sizeof path)) continue;
        const ReadResult read = ReadPlayerFile(path, file, sizeof file);
        ReplayHeader header;
        // A file that is not a readable replay is not the game's to delete.
        if (read.status != ReadStatus::Read || !ParseReplayHeader(file, read.size, &header, nullptr)) continue;
        // Only results the game has checked keep a replay behind an entry.
        mayGo[i] = !tables.Hold(checked, own.files[i].name, file, read.longer ? 0 : read.size);
        if (mayGo[i] && reachable < room) reachable += own.files[i].bytes;
    }
    const bool makeRoom = room > 0 && reachable >= room;
    int deleted = 0;
    long long freed = 0;
    for (int i = 0; i < own.count && (i < own.count - keep || (makeRoom && freed < room)); ++i) {
        char path[kMaxUserPath];
        if (!mayGo[i] || !ReplayPath(own.files[i].name, path, sizeof path) || !DeletePlayerFile(path)) continue;
        ++deleted;
        freed += own.files[i].bytes;
    }
    return deleted;
}

// What a save needs beyond its bytes: the file system's block for them.
constexpr long long kReplaySaveSlack = 4096;

// Saves the replay at `path`; on a full disk, deletes the oldest replays
// the game may delete (all but `spare`) to make room and tries once more.
bool SaveMakingRoom(const char* path, const uint8_t* data, size_t size, unsigned flags, const char* spare,
                    SaveResult* result) {
    if (SaveBytes(path, data, size, result, flags)) return true;
    if (result->fault != ENOSPC) return false;
    if (DeleteOldReplays(kReplaysKept, static_cast<long long>(size) + kReplaySaveSlack, spare) == 0) return false;
    return SaveBytes(path, data, size, result, flags);
}

}  // namespace

bool SaveReplayFile(const uint8_t* data, size_t size, std::time_t now, char* name, SaveResult* result) {
    if (name[0] != '\0') {
        char path[kMaxUserPath];
        if (!ReplayPath(name, path, sizeof path)) {
            std::snprintf(result->reason, sizeof result->reason, "cannot save the replay: its path is too long");
            return false;
        }
        return SaveMakingRoom(path, data, size, kSaveReplace, name, result);
    }
    std::tm when = {};
    gmtime_r(&now, &when);
    for (int n = 0; n < 100; ++n) {
        char file[kReplayNameSize];
        std::snprintf(file, sizeof file, "%04d%02d%02d-%02d%02d%02d-%02d.vcr", when.tm_year + 1900, when.tm_mon + 1,
                      when.tm_mday, when.tm_hour, when.tm_min, when.tm_sec, n);
        char path[kMaxUserPath];
        if (!ReplayPath(file, path, sizeof path)) {
            std::snprintf(result->reason, sizeof result->reason, "cannot save the replay: its path is too long");
            return false;
        }
        if (SaveMakingRoom(path, data, size, kSaveKeepExisting, file, result)) {
            std::snprintf(name, kReplayNameSize, "%s", file);
            PruneReplays();
            return true;
        }
        if (!result->nameTaken) return false;
    }
    return false;
}

int PruneReplays() { return DeleteOldReplays(kReplaysKept, 0, ""); }

bool RecordCheckedReplay(const char* name, const uint8_t* data, size_t size, const ReplayHeader& header) {
    static CheckedReplays checked;
    LoadChecked(&checked);
    if (!checked.ok) {
        std::fprintf(stderr, "voidcrawl: the replays' checked results (%s) cannot be read: not written over\n",
                     kCheckedReplaysFile);
        return false;
    }
    // The entry of this name goes, and the oldest beyond room (names sort
    // by when their games began); the new one is added.
    int kept = 0;
    for (int i = 0; i < checked.count; ++i)
        if (std::strcmp(checked.entries[i].file, name) != 0) checked.entries[kept++] = checked.entries[i];
    checked.count = kept;
    if (checked.count == kCheckedReplaysKept) {
        int oldest = 0;
        for (int i = 1; i < checked.count; ++i)
            if (std::strcmp(checked.entries[i].file, checked.entries[oldest].file) < 0) oldest = i;
        checked.entries[oldest] = checked.entries[--checked.count];
    }
    CheckedReplay& c = checked.entries[checked.count++];
    c = CheckedReplay();
    std::snprintf(c.file, sizeof c.file, "%s", name);
    c.size = static_cast<uint32_t>(size);
    c.hash = ReplayBytesHash(data, size);
    c.difficulty = header.difficulty;
    c.players = header.players;
    c.level = header.level;
    for (int p = 0; p < 2; ++p) {
        c.scores[p] = header.scores[p];
        c.lengthTotals[p] = header.lengthTotals[p];
        std::memcpy(c.names[p], header.names[p], sizeof c.names[p] - 1);
    }
    SaveResult result;
    if (SaveChecked(checked, &result)) return true;
    std::fprintf(stderr, "voidcrawl: the replays' checked results were not saved: %s\n", result.reason);
    return false;
}

bool ReplayFolderName(const char* path, char* name) {
    char folder[kMaxUserPath];
    if (!UserFilePath(kReplayFolder, folder, sizeof folder)) return false;
    char realFolder[PATH_MAX], realFile[PATH_MAX];
    if (realpath(folder, realFolder) == nullptr || realpath(path, realFile) == nullptr) return false;
    const size_t n = std::strlen(realFolder);
    const char* bare = realFile + n + 1;
    if (std::strncmp(realFile, realFolder, n) != 0 || realFile[n] != '/' || std::strchr(bare, '/') != nullptr ||
        !IsReplayName(bare))
        return false;
    std::snprintf(name, kReplayNameSize, "%s", bare);
    return true;
}

void FindReplaysBehind(const HighScoreRecord* records, int count, int32_t difficulty, uint8_t* has) {
    for (int i = 0; i < count; ++i) has[i] = 0;
    static CheckedReplays checked;
    LoadChecked(&checked);
    static uint8_t file[kReplayFileCapacity];
    for (int e = 0; e < checked.count; ++e) {
        const CheckedReplay& c = checked.entries[e];
        bool wanted = false;
        for (int i = 0; i < count; ++i) wanted = wanted || (!has[i] && Behind(records[i], difficulty, c));
        size_t size = 0;
        // Only a file whose bytes are the ones checked is linked.
        if (!wanted || !ReadChecked(c, file, sizeof file, &size)) continue;
        for (int i = 0; i < count; ++i)
            if (Behind(records[i], difficulty, c)) has[i] = 1;
    }
}

bool LoadReplayFor(const HighScoreRecord& record, int32_t difficulty, uint8_t* buffer, size_t capacity, size_t* size) {
    static CheckedReplays checked;
    LoadChecked(&checked);
    // The newest checked replay behind the entry whose bytes are the ones checked.
    bool tried[kCheckedReplaysKept] = {};
    for (;;) {
        int best = -1;
        for (int e = 0; e < checked.count; ++e)
            if (!tried[e] && Behind(record, difficulty, checked.entries[e]) &&
                (best < 0 || std::strcmp(checked.entries[e].file, checked.entries[best].file) > 0))
                best = e;
        if (best < 0) return false;
        tried[best] = true;
        if (ReadChecked(checked.entries[best], buffer, capacity, size)) return true;
    }
}
