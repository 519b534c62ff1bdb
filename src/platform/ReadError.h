#pragma once
#include <cstdio>

#include "platform/UserDir.h"

// How every file reader says what went wrong. A reader returns false (or
// its usual "nothing": -1, a null FILE*) and, when the caller passes a
// ReadError, fills it in with the kind of fault and a reason for the
// player's eyes; on success it leaves it alone. Readers never print and
// never set a program-wide flag: the layer that owns the message or the
// flag does, from the ReadError (ImageLoader::LoadSurface and
// imageLoadFailed, SoundBank::Load and soundLoadFailed, Match::RefuseLevel,
// HighScoreTable::Load, the settings).
//
// A data file's reader gives the fault alone ("no data chunk") and its
// caller names the file as the game shows names; ReadPlayerFile names the
// path in its reason ("cannot read <path>: ..."), which is shown as it is.

enum class ReadStatus {
    Read,       // nothing went wrong
    Missing,    // there is no file (nor a folder on the way to it)
    Refused,    // something is there that cannot be read: not a plain file,
                // no permission, a fault of the disk, no memory for it
    Malformed,  // the bytes break the rules of the file's format
};

constexpr int kReadReasonSize = kMaxUserPath + 256;

struct ReadError {
    ReadStatus status = ReadStatus::Read;
    char reason[kReadReasonSize] = {};
};

// Fills `error` when there is one; false, so that a reader can end with
// `return ReadFailed(error, ReadStatus::Malformed, "not PCM");`.
inline bool ReadFailed(ReadError* error, ReadStatus status, const char* reason) {
    if (error != nullptr) {
        error->status = status;
        std::snprintf(error->reason, sizeof error->reason, "%s", reason);
    }
    return false;
}
