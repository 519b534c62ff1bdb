#include "app/Replay.h"

#include <dirent.h>

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

bool SaveReplayFile(const uint8_t* data, size_t size, std::time_t now, char* name, SaveResult* result) {
    if (name[0] != '\0') {
        char path[kMaxUserPath];
        if (!ReplayPath(name, path, sizeof path)) {
            std::snprintf(result->reason, sizeof result->reason, "cannot save the replay: its path is too long");
            return false;
        }
        return SaveBytes(path, data, size, result, kSaveReplace);
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
        if (SaveBytes(path, data, size, result, kSaveKeepExisting)) {
            std::snprintf(name, kReplayNameSize, "%s", file);
            PruneReplays();
            return true;
        }
        if (!result->nameTaken) return false;
    }
    return false;
}

int PruneReplays() {
    // Names sort by the time their game began; a folder holds few more than
    // kReplaysKept plus the tables' thirty, so a fixed list is plenty (a
    // crowded folder is thinned over several games).
    constexpr int kListed = 256;
    static char names[kListed][kReplayNameSize];
    char folder[kMaxUserPath];
    if (!UserFilePath(kReplayFolder, folder, sizeof folder)) return 0;
    DIR* dir = opendir(folder);
    if (dir == nullptr) return 0;
    int count = 0;
    while (const dirent* entry = readdir(dir)) {
        if (!IsReplayName(entry->d_name)) continue;
        // Keep the kListed newest names seen, sorted oldest first.
        int at = count;
        if (count == kListed) {
            if (std::strcmp(entry->d_name, names[0]) < 0) continue;
            std::memmove(names[0], names[1], sizeof names[0] * (kListed - 1));
            at = --count;
        }
        while (at > 0 && std::strcmp(names[at - 1], entry->d_name) > 0) {
            std::memcpy(names[at], names[at - 1], sizeof names[0]);
            --at;
        }
        std::snprintf(names[at], sizeof names[at], "%s", entry->d_name);
        ++count;
    }
    closedir(dir);
    if (count <= kReplaysKept) return 0;
    Tables tables;
    tables.Load();
    int deleted = 0;
    for (int i = 0; i < count - kReplaysKept; ++i) {
        char path[kMaxUserPath];
        if (!ReplayPath(names[i], path, sizeof path)) continue;
        uint8_t head[kReplayHeaderBytes];
        const ReadResult read = ReadPlayerFile(path, head, sizeof head);
        ReplayHeader header;
        // A file that is not a readable replay is not the game's to delete.
        if (read.status != ReadStatus::Read || !ParseReplayHeader(head, read.size, &header, nullptr)) continue;
        if (tables.Hold(header)) continue;
        if (DeletePlayerFile(path)) ++deleted;
    }
    return deleted;
}

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
