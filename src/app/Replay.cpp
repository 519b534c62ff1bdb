#include "app/Replay.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/CommandLine.h"
#include "io/InputTape.h"
#include "platform/GameFile.h"
#include "platform/LittleEndian.h"
#include "screens/HighScoreTable.h"
#include "world/Difficulty.h"

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

// Whether the replay's game is behind the entry `r` of the difficulty's table.
bool Behind(const HighScoreRecord& r, int32_t difficulty, const ReplayHeader& h) {
    if (r.score <= 0 || difficulty != h.difficulty || r.level != h.level) return false;
    for (int p = 0; p < h.players; ++p)
        if (r.score == h.scores[p] && r.lengthTotal == h.lengthTotals[p] &&
            std::strncmp(r.name, h.names[p], sizeof r.name) == 0)
            return true;
    return false;
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

    // Whether one of the replay's players has an entry.
    bool Hold(const ReplayHeader& h) const {
        for (const HighScoreRecord& r : records[h.difficulty])
            if (Behind(r, h.difficulty, h)) return true;
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

bool ReplayFitsThisGame(const ReplayHeader& header, uint64_t dataHash, char* why, size_t whySize) {
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
    for (int i = 0; i < own.count; ++i) {
        mayGo[i] = false;
        char path[kMaxUserPath];
        if (std::strcmp(own.files[i].name, spare) == 0 || !ReplayPath(own.files[i].name, path, sizeof path)) continue;
        uint8_t head[kReplayHeaderBytes];
        const ReadResult read = ReadPlayerFile(path, head, sizeof head);
        ReplayHeader header;
        // A file that is not a readable replay is not the game's to delete.
        if (read.status != ReadStatus::Read || !ParseReplayHeader(head, read.size, &header, nullptr)) continue;
        mayGo[i] = !tables.Hold(header);
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

namespace {

// Calls seen(name, header) for every readable replay in the folder; `wanted`
// first says whether a name is worth reading.
template <typename Wanted, typename Seen>
void EachReplayHeader(Wanted wanted, Seen seen) {
    char folder[kMaxUserPath];
    if (!UserFilePath(kReplayFolder, folder, sizeof folder)) return;
    DIR* dir = opendir(folder);
    if (dir == nullptr) return;
    while (const dirent* entry = readdir(dir)) {
        if (!IsReplayName(entry->d_name) || !wanted(entry->d_name)) continue;
        char path[kMaxUserPath];
        if (!ReplayPath(entry->d_name, path, sizeof path)) continue;
        uint8_t head[kReplayHeaderBytes];
        const ReadResult read = ReadPlayerFile(path, head, sizeof head);
        ReplayHeader header;
        if (read.status == ReadStatus::Read && ParseReplayHeader(head, read.size, &header, nullptr))
            seen(entry->d_name, header);
    }
    closedir(dir);
}

}  // namespace

void FindReplaysBehind(const HighScoreRecord* records, int count, int32_t difficulty, uint8_t* has) {
    for (int i = 0; i < count; ++i) has[i] = 0;
    EachReplayHeader([](const char*) { return true; },
                     [&](const char*, const ReplayHeader& header) {
                         for (int i = 0; i < count; ++i)
                             if (Behind(records[i], difficulty, header)) has[i] = 1;
                     });
}

bool LoadReplayFor(const HighScoreRecord& record, int32_t difficulty, uint8_t* buffer, size_t capacity, size_t* size) {
    char best[kReplayNameSize] = {};
    EachReplayHeader([&](const char* name) { return std::strcmp(name, best) > 0; },
                     [&](const char* name, const ReplayHeader& header) {
                         if (Behind(record, difficulty, header)) std::snprintf(best, sizeof best, "%s", name);
                     });
    char path[kMaxUserPath];
    if (best[0] == '\0' || !ReplayPath(best, path, sizeof path)) return false;
    const ReadResult read = ReadWholePlayerFile(path, buffer, capacity);
    *size = read.size;
    return read.status == ReadStatus::Read;
}
