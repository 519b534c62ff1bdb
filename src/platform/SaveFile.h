#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/ReadError.h"
#include "platform/UserDir.h"

// Every file the game writes for the player (high-score tables, settings,
// screenshots, screen dumps) goes through SaveBytes, and every such file
// is read back through ReadPlayerFile. Together they promise:
//
// - a save is whole or absent: the new bytes go to a temporary file of a
//   name no other save uses, are synced, and only then take the file's
//   place, so a failure or a kill at any moment leaves the old bytes whole;
// - a symbolic link is saved through, to the file it names, and stays a link;
// - a folder, FIFO, device or socket where the file should be is refused,
//   never opened in a way that could block;
// - copies of the game saving into one folder take turns (a lock on the
//   folder), so a read-then-save under a SaveLock sees the other's save;
// - a failure comes back with a reason that names the file and the fault.

constexpr int kSaveReasonSize = kReadReasonSize;

struct SaveResult {
    bool ok = false;
    // A file was there before this save (it is kept whole when !ok).
    bool hadOld = false;
    // With kSaveKeepExisting: the name was taken, nothing was written.
    bool nameTaken = false;
    // The file written: the path given, or the file its link names.
    char path[kMaxUserPath] = {};
    char reason[kSaveReasonSize] = {};
    // The system's fault (errno) behind a failure, 0 when there is none
    // (ENOSPC: the disk is full).
    int fault = 0;
};

enum SaveFlags : unsigned {
    kSaveReplace = 0,
    // Never replace a file that is there (screenshots, replays): the save
    // fails with nameTaken set instead. On a file system without hard links
    // the name is claimed with an empty file first, which a crash at that
    // moment leaves behind.
    kSaveKeepExisting = 1,
    // Not synced to the disk (the screen dump, rewritten every frame its key
    // is held): still whole or absent whatever happens to the process, but
    // a power cut may leave the old bytes.
    kSaveNoSync = 2,
};

// Writes `size` bytes as the file at `path`, creating its folder and any
// missing parents. True when the new bytes are in place.
bool SaveBytes(const char* path, const void* data, size_t size, SaveResult* result, unsigned flags = kSaveReplace);

// Holds the save lock of the folder `path` lies in for its lifetime, so a
// file can be read, changed and saved again without another copy of the
// game saving in between. Creates the folder when missing (unless told
// not to; never along a link). Waits a short
// while for another copy; Held() is false when the lock could not be had
// (the save may still go ahead: the file stays whole either way).
class SaveLock {
public:
    explicit SaveLock(const char* path, bool makeFolder = true);
    ~SaveLock();
    SaveLock(const SaveLock&) = delete;
    SaveLock& operator=(const SaveLock&) = delete;
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
    bool mirrored_ = false;
};

// Deletes the player's file at `path` (an old replay), and its kept copy
// where there is a mirror. True when it is gone.
bool DeletePlayerFile(const char* path);

// A host whose player folder is only a copy of what it keeps elsewhere (the
// browser's storage) keeps the two in step: `lock` takes its own lock and
// brings the copy up to date when a SaveLock is first taken, `unlock` lets
// go when the last one ends, `keep` stores a file SaveBytes has put in
// place (a save that `keep` refuses, false with a reason, has failed), and
// `forget` drops the kept copy of a file DeletePlayerFile deleted. Saves
// with kSaveNoSync are not kept. Null: no mirror (the desktop).
struct SaveMirror {
    void (*lock)(const char* folder);
    void (*unlock)();
    bool (*keep)(const char* path, char* reason, int reasonSize);
    void (*forget)(const char* path);
};
void SetSaveMirror(const SaveMirror* mirror);

// Read: the file's first bytes are in the buffer; Missing: there is no
// file, nor a folder on the way to it; Refused: see reason.
struct ReadResult : ReadError {
    size_t size = 0;          // bytes read into the buffer
    bool longer = false;      // the file goes on past the buffer
    unsigned fileType = 0;    // what stood at the path (st_mode & S_IFMT), 0 when nothing
    long long fileSize = -1;  // a regular file's size when it was opened
};

// Reads up to `capacity` bytes of the regular file at `path` (links
// followed). Anything that is not a regular file is refused without being
// opened for reading in a way that could block.
ReadResult ReadPlayerFile(const char* path, uint8_t* buffer, size_t capacity);

// The same for a file that must be read whole (a replay): one larger than
// `capacity` is refused, `longer` set, by its size alone, before a byte of
// it is read (and so is one that grows past it while it is read).
ReadResult ReadWholePlayerFile(const char* path, uint8_t* buffer, size_t capacity);

// The player's copy of the game file `name` ("teasy.dat") in the user
// folder; while the user folder has none, the data folder's (so files from
// before carry over).
ReadResult ReadUserFile(const char* name, uint8_t* buffer, size_t capacity);

// SaveBytes into the user folder under the game file name `name`.
bool SaveUserFile(const char* name, const void* data, size_t size, SaveResult* result, unsigned flags = kSaveReplace);
