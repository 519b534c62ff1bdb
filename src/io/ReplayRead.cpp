#include <sys/stat.h>

#include <cstdio>

#include "io/ReplayFile.h"
#include "platform/SaveFile.h"

namespace {

// What stands where a replay should be, in words.
const char* NotAReplay(unsigned type) {
    switch (type) {
    case S_IFDIR:
        return "it is a folder, not a replay";
    case S_IFIFO:
        return "it is a pipe, not a replay";
    case S_IFSOCK:
        return "it is a socket, not a replay";
    case S_IFCHR:
    case S_IFBLK:
        return "it is a device, not a replay";
    default:
        return "it is not a plain file, not a replay";
    }
}

}  // namespace

bool ReadReplayFile(const char* path, uint8_t* buffer, size_t* size, ReplayHeader* header, const uint8_t** tape,
                    ReadError* error) {
    *size = 0;
    const ReadResult read = ReadWholePlayerFile(path, buffer, kReplayFileCapacity);
    if (read.status == ReadStatus::Missing) return ReadFailed(error, ReadStatus::Missing, "there is no such file");
    if (read.status != ReadStatus::Read) {
        char why[128];
        if (read.fileType != 0 && read.fileType != S_IFREG) {
            return ReadFailed(error, ReadStatus::Refused, NotAReplay(read.fileType));
        }
        if (read.longer && read.fileSize > static_cast<long long>(kReplayFileCapacity)) {
            std::snprintf(why, sizeof why, "it is larger than any replay (%lld bytes; at most %zu)", read.fileSize,
                          kReplayFileCapacity);
            return ReadFailed(error, ReadStatus::Refused, why);
        }
        if (read.longer) {
            std::snprintf(why, sizeof why, "it grew larger than any replay (at most %zu bytes) as it was read",
                          kReplayFileCapacity);
            return ReadFailed(error, ReadStatus::Refused, why);
        }
        return ReadFailed(error, ReadStatus::Refused, read.reason);
    }
    *size = read.size;
    return ParseReplay(buffer, read.size, header, tape, error);
}
