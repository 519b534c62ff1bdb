#include "platform/SaveFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/GameFile.h"
#include "platform/PrintableText.h"

namespace {

// Links are followed this deep, as the system itself does.
constexpr int kMaxLinks = 40;
// How long a save waits for another copy of the game to finish its own.
constexpr int kLockWaitMs = 3000;
constexpr int kLockStepMs = 10;

// The lock this process holds, by folder: saves inside a SaveLock of the
// same folder do not lock again (a second flock would wait on ourselves).
char heldFolder[kMaxUserPath] = {};
int heldDepth = 0;

const SaveMirror* saveMirror = nullptr;
int mirrorDepth = 0;

// Reasons are for the player's eyes: paths come from the environment and
// the player's links, so they are made printable first.
void Say(char* out, const char* format, const char* path, const char* why) {
    char shown[kMaxUserPath];
    CopyPrintable(path, shown, sizeof shown);
    std::snprintf(out, kSaveReasonSize, format, shown, why);
}

// The folder part of `path` ("." for a bare name) into `out`.
void FolderOf(const char* path, char* out) {
    const char* slash = std::strrchr(path, '/');
    if (slash == nullptr) {
        std::snprintf(out, kMaxUserPath, ".");
    } else if (slash == path) {
        std::snprintf(out, kMaxUserPath, "/");
    } else {
        std::snprintf(out, kMaxUserPath, "%.*s", static_cast<int>(slash - path), path);
    }
}

const char* BaseOf(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// Follows `path` through its links to the file a save should replace.
// False with errno set when a link cannot be read or the chain is too long.
bool FollowLinks(const char* path, char* out) {
    if (std::snprintf(out, kMaxUserPath, "%s", path) >= kMaxUserPath) {
        errno = ENAMETOOLONG;
        return false;
    }
    for (int depth = 0; depth <= kMaxLinks; ++depth) {
        struct stat info;
        if (lstat(out, &info) != 0 || !S_ISLNK(info.st_mode)) return true;  // the end of the chain
        char target[kMaxUserPath];
        const ssize_t n = readlink(out, target, sizeof target - 1);
        if (n < 0) return false;
        if (n >= static_cast<ssize_t>(sizeof target) - 1) {
            errno = ENAMETOOLONG;
            return false;
        }
        target[n] = '\0';
        char next[kMaxUserPath];
        if (target[0] == '/') {
            std::memcpy(next, target, static_cast<size_t>(n) + 1);
        } else {
            char folder[kMaxUserPath];
            FolderOf(out, folder);
            if (std::snprintf(next, sizeof next, "%s/%s", folder, target) >= static_cast<int>(sizeof next)) {
                errno = ENAMETOOLONG;
                return false;
            }
        }
        std::memcpy(out, next, sizeof next);
    }
    errno = ELOOP;
    return false;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Temporary files are ".<name>.voidcrawl-save-<pid>-<count>": hidden, no
// two saves, in this process or another, ever share one, and of a form
// strict enough (the mark, the numbers without leading zeros) that a file
// of the player's is never taken for one.
constexpr char kTemporaryMark[] = ".voidcrawl-save-";
constexpr long long kMaxPid = 0x7FFFFFFF;      // a pid_t's largest
constexpr long long kMaxCount = 0xFFFFFFFFll;  // the counter's, an unsigned

bool MakeTemporary(const char* folder, const char* base, mode_t mode, char* out, int* fd) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (std::snprintf(out, kMaxUserPath, "%s/.%s%s%ld-%u", folder, base, kTemporaryMark,
                          static_cast<long>(getpid()), counter++) >= kMaxUserPath) {
            errno = ENAMETOOLONG;
            return false;
        }
        *fd = open(out, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (*fd >= 0) return true;
        if (errno != EEXIST) return false;
    }
    return false;
}

// Reads a number of `text` up to `end` written as MakeTemporary writes one:
// digits, no leading zero, at most `most`. Null when it is not one.
const char* ReadCount(const char* text, char end, long long most, long long* value) {
    *value = 0;
    const char* p = text;
    for (; *p >= '0' && *p <= '9'; ++p) {
        *value = *value * 10 + (*p - '0');
        if (*value > most) return nullptr;
    }
    if (p == text || *p != end || (*text == '0' && p - text > 1)) return nullptr;
    return p;
}

// Whether `name` is exactly the name of a temporary file a save makes; its
// process in `pid`.
bool IsTemporaryName(const char* name, long* pid) {
    if (name[0] != '.') return false;
    const char* mark = nullptr;
    for (const char* at = std::strstr(name + 1, kTemporaryMark); at != nullptr;
         at = std::strstr(at + 1, kTemporaryMark))
        mark = at;
    if (mark == nullptr || mark == name + 1) return false;  // the file's own name comes first
    long long number = 0;
    const char* p = ReadCount(mark + sizeof kTemporaryMark - 1, '-', kMaxPid, &number);
    if (p == nullptr || number == 0) return false;
    *pid = static_cast<long>(number);
    long long count = 0;
    return ReadCount(p + 1, '\0', kMaxCount, &count) != nullptr;
}

// A temporary file a save never finished (its process was killed), which
// can go: its name is one a save makes, it is a plain file of this user's
// (never a link), and the process that made it is gone. Saves in this
// process run one at a time, so none of its own is under way while it
// looks (a process in a sandbox may have the pid a killed one had).
bool IsStaleTemporary(int folderFd, const char* name) {
    long pid = 0;
    if (!IsTemporaryName(name, &pid)) return false;
    struct stat info;
    if (fstatat(folderFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (!S_ISREG(info.st_mode) || info.st_uid != geteuid()) return false;
    if (pid == static_cast<long>(getpid())) return true;
    return kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

#if defined(__linux__) && !defined(__EMSCRIPTEN__)
// The folder is read with getdents64 into a buffer on the stack: the
// screen dump saves every frame the key is held, and allocates nothing.
void RemoveStaleTemporaries(const char* folder) {
    const int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    alignas(8) char entries[4096];
    for (;;) {
        const long n = syscall(SYS_getdents64, fd, entries, sizeof entries);
        if (n <= 0) break;
        for (long at = 0; at < n;) {
            struct Entry {
                uint64_t inode;
                int64_t offset;
                unsigned short length;
                unsigned char type;  // not trusted: some file systems leave it unknown
                char name[1];
            };
            const Entry* entry = reinterpret_cast<const Entry*>(entries + at);
            if (IsStaleTemporary(fd, entry->name)) unlinkat(fd, entry->name, 0);
            at += entry->length;
        }
    }
    close(fd);
}
#else
void RemoveStaleTemporaries(const char* folder) {
    DIR* dir = opendir(folder);
    if (dir == nullptr) return;
    while (const dirent* entry = readdir(dir)) {
        if (IsStaleTemporary(dirfd(dir), entry->d_name)) unlinkat(dirfd(dir), entry->d_name, 0);
    }
    closedir(dir);
}
#endif

void SyncFolder(const char* folder) {
    const int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);  // some file systems cannot sync a folder; the rename stands anyway
    close(fd);
}

int LockFolder(const char* folder) {
    const int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    for (int waited = 0;; waited += kLockStepMs) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
        if (errno != EWOULDBLOCK && errno != EINTR) break;  // a file system without locks
        if (waited >= kLockWaitMs) break;
        usleep(kLockStepMs * 1000);
    }
    close(fd);
    return -1;
}

// Whether link() failed because the file system has no hard links (FAT,
// some network shares, the browser's memory file system).
bool NoHardLinks(int error) {
    return error == EPERM || error == EMLINK || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS;
}

// Puts the complete `temporary` at `path` unless something stands there;
// false with the fault in `fault` (EEXIST: the name is taken). link() never
// replaces, so a name taken meanwhile stays as it is. Where the file system
// has no hard links the name is claimed with an empty file of our own
// (O_EXCL fails on anything there), and the temporary file renamed onto
// that: rename() then replaces only the claim. A crash between the two
// leaves that empty file at most, never loses one that was there.
bool PlaceWithoutReplacing(const char* temporary, const char* path, mode_t mode, int* fault) {
    if (link(temporary, path) == 0) return true;
    *fault = errno;
    if (!NoHardLinks(*fault)) return false;
    const int claim = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    if (claim < 0) {
        *fault = errno;
        return false;
    }
    struct stat claimed;
    const bool known = fstat(claim, &claimed) == 0;
    close(claim);
    if (rename(temporary, path) == 0) return true;
    *fault = errno;
    // Our own empty claim goes again; whatever else stands there now stays.
    struct stat now;
    if (known && lstat(path, &now) == 0 && now.st_ino == claimed.st_ino && now.st_dev == claimed.st_dev &&
        now.st_size == 0)
        unlink(path);
    return false;
}

bool HoldingLockOn(const char* folder) { return heldDepth > 0 && std::strcmp(heldFolder, folder) == 0; }

}  // namespace

SaveLock::SaveLock(const char* path, bool makeFolder) {
    char target[kMaxUserPath];
    if (path == nullptr || !FollowLinks(path, target)) return;
    char folder[kMaxUserPath];
    FolderOf(target, folder);
    if (HoldingLockOn(folder)) {
        ++heldDepth;
        fd_ = -2;  // held by an outer lock of this process
        return;
    }
    // The game's own folders are made (never those along a player's link).
    if (makeFolder && std::strcmp(target, path) == 0 && !MakeFolders(folder, nullptr, 0)) return;
    fd_ = LockFolder(folder);
    if (fd_ >= 0) {
        std::snprintf(heldFolder, sizeof heldFolder, "%s", folder);
        heldDepth = 1;
    }
    if (saveMirror != nullptr) {
        mirrored_ = true;
        if (mirrorDepth++ == 0) saveMirror->lock(folder);
    }
}

SaveLock::~SaveLock() {
    if (mirrored_ && --mirrorDepth == 0 && saveMirror != nullptr) saveMirror->unlock();
    if (fd_ == -1) return;
    if (--heldDepth == 0) heldFolder[0] = '\0';
    if (fd_ >= 0) close(fd_);  // closing lets go of the lock
}

namespace {

// What stands at the save's target: nothing, or a file whose permissions
// the new one keeps (`mode`); false, said in `result`, for anything else,
// or for any file at all with kSaveKeepExisting.
bool CheckOldFile(SaveResult& result, unsigned flags, mode_t* mode) {
    struct stat old;
    if (lstat(result.path, &old) == 0) {
        result.hadOld = true;
        if (flags & kSaveKeepExisting) {
            result.nameTaken = true;  // whatever stands there
            Say(result.reason, "cannot save %s: %s", result.path, "the name is taken");
            return false;
        }
        if (!S_ISREG(old.st_mode)) {
            Say(result.reason, "cannot save %s: %s", result.path, NotAFile(old.st_mode));
            return false;
        }
        *mode = old.st_mode & 07777;                   // the player's own permissions stay
    } else if (errno != ENOENT && errno != ENOTDIR) {  // a file on the way: the folder says which
        Say(result.reason, "cannot save %s: %s", result.path, std::strerror(errno));
        return false;
    }
    return true;
}

// Why no temporary could be made in `folder` (errno says), in `result`.
void SayNoTemporary(const char* path, bool linked, const char* folder, SaveResult& result) {
    result.fault = errno;
    if (linked && (result.fault == ENOENT || result.fault == ENOTDIR)) {
        char link[kMaxUserPath];
        CopyPrintable(path, link, sizeof link);
        char target[kMaxUserPath];
        CopyPrintable(result.path, target, sizeof target);
        std::snprintf(result.reason, sizeof result.reason,
                      "cannot save %.2000s: it is a link to %.2000s, whose folder is not there", link, target);
    } else {
        Say(result.reason, "cannot write in the folder %s: %s", folder, std::strerror(result.fault));
    }
}

// The bytes into the open temporary `fd`, which then takes the file's
// place (or, with kSaveKeepExisting, only a name still free); false, said
// in `result`, with the temporary gone.
bool WriteAndPlace(int fd, const char* temporary, const void* data, size_t size, mode_t mode, unsigned flags,
                   SaveResult& result) {
    if (result.hadOld) fchmod(fd, mode);  // past the umask: the file keeps what it had
    // The first fault is the one to report: later calls only echo it.
    bool ok = WriteAll(fd, static_cast<const uint8_t*>(data), size);
    int fault = ok ? 0 : errno;
    if (ok && !(flags & kSaveNoSync) && fsync(fd) != 0) ok = false, fault = errno;
    if (close(fd) != 0 && ok) ok = false, fault = errno;
    if (ok) {
        if (flags & kSaveKeepExisting) {
            ok = PlaceWithoutReplacing(temporary, result.path, mode, &fault);
            result.nameTaken = !ok && fault == EEXIST;
            unlink(temporary);
        } else if (rename(temporary, result.path) != 0) {
            ok = false;
            fault = errno;
        }
    }
    if (!ok) {
        unlink(temporary);
        Say(result.reason, "cannot write %s: %s", result.path, std::strerror(fault));
        result.fault = fault;
    }
    return ok;
}

}  // namespace

bool SaveBytes(const char* path, const void* data, size_t size, SaveResult* out, unsigned flags) {
    SaveResult scratch;
    SaveResult& result = out ? *out : scratch;
    result = SaveResult();
    if (path == nullptr || path[0] == '\0') {
        Say(result.reason, "cannot save%s: %s", "", "no file named");
        return false;
    }
    if (!FollowLinks(path, result.path)) {
        Say(result.reason, "cannot save %s: %s", path, std::strerror(errno));
        return false;
    }
    mode_t mode = 0666;  // less the umask, as for any new file
    if (!CheckOldFile(result, flags, &mode)) return false;

    char folder[kMaxUserPath];
    FolderOf(result.path, folder);
    // The folders on the way are made for the game's own paths, never along
    // a link the player made: its target's folder must be there.
    const bool linked = std::strcmp(result.path, path) != 0;
    char folderReason[kSaveReasonSize] = "";
    if (!linked && !MakeFolders(folder, folderReason, sizeof folderReason)) {
        std::snprintf(result.reason, sizeof result.reason, "%s", folderReason);
        return false;
    }
    SaveLock lock(result.path, false);
    if (lock.Held()) RemoveStaleTemporaries(folder);

    char temporary[kMaxUserPath];
    int fd = -1;
    if (!MakeTemporary(folder, BaseOf(result.path), mode, temporary, &fd)) {
        SayNoTemporary(path, linked, folder, result);
        return false;
    }
    if (!WriteAndPlace(fd, temporary, data, size, mode, flags, result)) return false;
    if (!(flags & kSaveNoSync)) SyncFolder(folder);
    if (saveMirror != nullptr && !(flags & kSaveNoSync) &&
        !saveMirror->keep(result.path, result.reason, static_cast<int>(sizeof result.reason))) {
        return false;
    }
    result.ok = true;
    return true;
}

bool DeletePlayerFile(const char* path) {
    if (path == nullptr || unlink(path) != 0) return false;
    if (saveMirror != nullptr) saveMirror->forget(path);
    return true;
}

void SetSaveMirror(const SaveMirror* mirror) { saveMirror = mirror; }

namespace {

ReadResult ReadRegular(const char* path, uint8_t* buffer, size_t capacity, bool whole) {
    ReadResult result;
    result.status = ReadStatus::Missing;
    if (path == nullptr || path[0] == '\0') return result;
    ReadError opened;
    FileFacts facts;
    const int fd = OpenRegularFd(path, &opened, &facts);
    result.fileType = facts.type;
    result.fileSize = facts.size;
    if (fd < 0) {
        if (opened.status == ReadStatus::Missing) return result;
        result.status = ReadStatus::Refused;
        const bool notAFile = errno == EISDIR || errno == ENXIO;
        Say(result.reason, "cannot read %s: %s", path, notAFile ? opened.reason : std::strerror(errno));
        return result;
    }
    auto tooLong = [&]() {
        result.status = ReadStatus::Refused;
        result.longer = true;
        char why[96];
        std::snprintf(why, sizeof why, "it holds more than %zu bytes", capacity);
        Say(result.reason, "cannot read %s: %s", path, why);
        close(fd);
        return result;
    };
    // Refused by its size alone: not a byte of it is read.
    if (whole && facts.size > static_cast<long long>(capacity)) return tooLong();
    size_t got = 0;
    while (got < capacity) {
        const ssize_t n = read(fd, buffer + got, capacity - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            result.status = ReadStatus::Refused;
            Say(result.reason, "cannot read %s: %s", path, std::strerror(errno));
            close(fd);
            return result;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    uint8_t probe = 0;
    result.longer = got == capacity && read(fd, &probe, 1) == 1;
    if (whole && result.longer) return tooLong();  // it grew while it was read
    close(fd);
    result.status = ReadStatus::Read;
    result.size = got;
    return result;
}

}  // namespace

ReadResult ReadPlayerFile(const char* path, uint8_t* buffer, size_t capacity) {
    return ReadRegular(path, buffer, capacity, false);
}

ReadResult ReadWholePlayerFile(const char* path, uint8_t* buffer, size_t capacity) {
    return ReadRegular(path, buffer, capacity, true);
}

ReadResult ReadUserFile(const char* name, uint8_t* buffer, size_t capacity) {
    char path[kMaxUserPath];
    if (GetUserDir()[0] != '\0' && UserFilePath(name, path, sizeof path)) {
        ReadResult result = ReadPlayerFile(path, buffer, capacity);
        if (result.status != ReadStatus::Missing) return result;
    }
    char mapped[kMaxGameFileName + 1];
    return ReadPlayerFile(MapGameFileName(name, mapped) ? mapped : nullptr, buffer, capacity);
}

bool SaveUserFile(const char* name, const void* data, size_t size, SaveResult* out, unsigned flags) {
    char path[kMaxUserPath];
    if (!UserFilePath(name, path, sizeof path)) {
        SaveResult scratch;
        SaveResult& result = out ? *out : scratch;
        result = SaveResult();
        char mapped[kMaxGameFileName + 1];
        const char* shown = MapGameFileName(name, mapped) ? mapped : "the file";
        Say(result.reason, "cannot save %s: %s", shown,
            UserDirRefusal()[0] != '\0' ? UserDirRefusal() : "its path is too long");
        return false;
    }
    return SaveBytes(path, data, size, out, flags);
}
