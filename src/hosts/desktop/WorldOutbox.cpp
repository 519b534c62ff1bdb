#include "hosts/desktop/WorldOutbox.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "hosts/desktop/WorldAnswers.h"
#include "platform/Hash.h"
#include "platform/SaveFile.h"

namespace {

// A kept game's file: the magic, the tag's length (a byte), the tag, then
// the replay's bytes.
constexpr char kMagic[4] = {'V', 'C', 'W', 'O'};
constexpr size_t kTagMax = 63;
constexpr char kPrefix[] = "world-";
constexpr char kSuffix[] = ".send";
constexpr size_t kNameSize = sizeof kPrefix - 1 + 16 + sizeof kSuffix - 1;
constexpr size_t kGamesFileMax = 64 * 1024;

void Say(char* reason, size_t size, const char* text) {
    if (reason != nullptr && size > 0) std::snprintf(reason, size, "%s", text);
}

}  // namespace

bool WorldOutbox::IsOutboxName(const char* name) {
    if (std::strlen(name) != kNameSize || std::strncmp(name, kPrefix, sizeof kPrefix - 1) != 0 ||
        std::strcmp(name + kNameSize - (sizeof kSuffix - 1), kSuffix) != 0) {
        return false;
    }
    char digits[17] = {};
    std::memcpy(digits, name + sizeof kPrefix - 1, 16);
    return IsWorldId(digits);
}

bool WorldOutbox::Keep(const uint8_t* replay, size_t size, const char* tag, char* reason, size_t reasonSize) const {
    if (replay == nullptr || size == 0 || size > kWorldReplayBytesMax) {
        Say(reason, reasonSize, "the replay is empty or too large to send");
        return false;
    }
    if (folder_.empty()) {
        Say(reason, reasonSize, "there is no folder to keep it in");
        return false;
    }
    if (static_cast<int>(Kept().size()) >= kWorldOutboxMax) {
        Say(reason, reasonSize, "too many games are waiting to be sent");
        return false;
    }
    Fnv64 hash;
    hash.Bytes(replay, size);
    char name[64];
    std::snprintf(name, sizeof name, "%s%016llx%s", kPrefix, static_cast<unsigned long long>(hash.Value()), kSuffix);
    const size_t tagSize = tag == nullptr ? 0 : strnlen(tag, kTagMax);
    std::vector<uint8_t> bytes(sizeof kMagic + 1 + tagSize + size);
    std::memcpy(bytes.data(), kMagic, sizeof kMagic);
    bytes[sizeof kMagic] = static_cast<uint8_t>(tagSize);
    if (tagSize > 0) std::memcpy(bytes.data() + sizeof kMagic + 1, tag, tagSize);
    std::memcpy(bytes.data() + sizeof kMagic + 1 + tagSize, replay, size);
    const std::string path = folder_ + "/" + name;
    SaveResult saved;
    // Not synced: the replay itself is, in replays/; this copy only has to be whole.
    if (SaveBytes(path.c_str(), bytes.data(), bytes.size(), &saved, kSaveKeepExisting | kSaveNoSync) || saved.nameTaken)
        return true;
    Say(reason, reasonSize, saved.reason);
    return false;
}

std::vector<std::string> WorldOutbox::Kept() const {
    std::vector<std::string> names;
    DIR* dir = opendir(folder_.c_str());
    if (dir == nullptr) return names;
    while (const dirent* entry = readdir(dir)) {
        if (IsOutboxName(entry->d_name)) names.emplace_back(entry->d_name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

WorldOutbox::Claimed WorldOutbox::TryClaim(const std::string& name, Claim* claim) const {
    if (!IsOutboxName(name.c_str())) return Claimed::Unusable;
    const std::string path = folder_ + "/" + name;
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Claimed::Unusable;
    struct stat opened {};
    if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        close(fd);
        return Claimed::Unusable;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return Claimed::Held;
    }
    // Still the file of that name: not one another copy sent and deleted
    // after this one opened it.
    struct stat named {};
    const bool same =
        lstat(path.c_str(), &named) == 0 && named.st_ino == opened.st_ino && named.st_dev == opened.st_dev;
    const size_t size = static_cast<size_t>(opened.st_size);
    if (!same || size < sizeof kMagic + 2 || size > sizeof kMagic + 1 + kTagMax + kWorldReplayBytesMax) {
        close(fd);
        return Claimed::Unusable;
    }
    std::vector<uint8_t> bytes(size);
    size_t got = 0;
    while (got < size) {
        const ssize_t n = pread(fd, bytes.data() + got, size - got, static_cast<off_t>(got));
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    const size_t tagSize = bytes[sizeof kMagic];
    if (got != size || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0 || tagSize > kTagMax ||
        sizeof kMagic + 1 + tagSize >= size) {
        close(fd);
        return Claimed::Unusable;
    }
    claim->fd = fd;
    claim->path = path;
    claim->tag.assign(reinterpret_cast<const char*>(bytes.data()) + sizeof kMagic + 1, tagSize);
    claim->replay.assign(bytes.begin() + static_cast<std::ptrdiff_t>(sizeof kMagic + 1 + tagSize), bytes.end());
    return Claimed::Yes;
}

void WorldOutbox::Done(Claim* claim) {
    if (claim->fd < 0) return;
    DeletePlayerFile(claim->path.c_str());  // while this process still holds it
    Release(claim);
}

void WorldOutbox::Release(Claim* claim) {
    if (claim->fd >= 0) close(claim->fd);
    claim->fd = -1;
    claim->replay.clear();
}

// ---- the games this player sent -------------------------------------------

std::vector<OwnWorldGames::Game> OwnWorldGames::Parse(const uint8_t* text, size_t size) {
    std::vector<Game> games;
    size_t at = 0;
    while (at < size) {
        size_t end = at;
        while (end < size && text[end] != '\n') ++end;
        // "ID D SCORE": an id, a difficulty and a score; any other line is passed over.
        char line[64] = {};
        if (end - at < sizeof line) {
            std::memcpy(line, text + at, end - at);
            char id[17] = {};
            int difficulty = -1;
            long score = -1;
            if (std::sscanf(line, "%16s %d %ld", id, &difficulty, &score) == 3 && IsWorldId(id) && difficulty >= 0 &&
                difficulty <= 2 && score >= 0 && score <= 0x7fffffffL)
                games.push_back({id, difficulty, static_cast<int32_t>(score)});
        }
        at = end + 1;
    }
    if (games.size() > static_cast<size_t>(kWorldGamesKept)) games.erase(games.begin(), games.end() - kWorldGamesKept);
    return games;
}

void OwnWorldGames::Load() {
    std::vector<uint8_t> text(kGamesFileMax);
    const ReadResult read = ReadPlayerFile(path_.c_str(), text.data(), text.size());
    games_ = read.status == ReadStatus::Read ? Parse(text.data(), read.size) : std::vector<Game>{};
}

void OwnWorldGames::Add(const char* id, int32_t difficulty, int32_t score) {
    if (!IsWorldId(id) || path_.empty()) return;
    const SaveLock lock(path_.c_str());
    Load();
    games_.erase(std::remove_if(games_.begin(), games_.end(), [&](const Game& g) { return g.id == id; }), games_.end());
    games_.push_back({id, difficulty, score});
    if (games_.size() > static_cast<size_t>(kWorldGamesKept)) games_.erase(games_.begin());
    std::string text;
    for (const Game& game : games_)
        text += game.id + " " + std::to_string(game.difficulty) + " " + std::to_string(game.score) + "\n";
    SaveResult saved;
    SaveBytes(path_.c_str(), text.data(), text.size(), &saved);
}

bool OwnWorldGames::Has(const char* id) const {
    return std::any_of(games_.begin(), games_.end(), [&](const Game& g) { return g.id == id; });
}

bool OwnWorldGames::Best(int32_t difficulty, char* id, size_t idSize) const {
    const Game* best = nullptr;
    for (const Game& game : games_)
        if (game.difficulty == difficulty && (best == nullptr || game.score > best->score)) best = &game;
    if (best == nullptr) return false;
    std::snprintf(id, idSize, "%s", best->id.c_str());
    return true;
}
