#include "platform/GameFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/PrintableText.h"

namespace {

const char* OpenFailure(int error) {
    switch (error) {
    case ENOENT:
        return "there is no such file";
    case ENOTDIR:
        return "a folder on its path is a file";
    case EACCES:
        return "this user may not read it";
    case ENAMETOOLONG:
        return "its name is too long";
    case EISDIR:
        return "it is a folder, not a file";
    default:
        return std::strerror(error);
    }
}

// Fills `error` for the errno of a failed open and leaves errno as it was.
void Say(ReadError* error, int code, const char* text) {
    ReadFailed(error, code == ENOENT || code == ENOTDIR ? ReadStatus::Missing : ReadStatus::Refused, text);
    errno = code;
}

}  // namespace

const char* NotAFile(unsigned mode) {
    if (S_ISDIR(mode)) return "it is a folder, not a file";
    if (S_ISFIFO(mode)) return "it is a pipe, not a file";
    if (S_ISSOCK(mode)) return "it is a socket, not a file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device, not a file";
    return "it is not a plain file";
}

bool MapGameFileName(const char* name, char* out) {
    if (name == nullptr || name[0] == '\0') return false;
    int i = 0;
    for (; name[i] != '\0'; ++i) {
        if (i == kMaxGameFileName) return false;
        out[i] = name[i] == '\\' ? '/' : name[i];
    }
    out[i] = '\0';
    return true;
}

int OpenRegularFd(const char* path, ReadError* error, FileFacts* facts) {
    FileFacts scratch;
    FileFacts& seen = facts != nullptr ? *facts : scratch;
    seen = FileFacts();
    // Anything but a regular file is refused before it is opened: a device
    // is never touched, and a pipe never waited on.
    struct stat info;
    if (stat(path, &info) != 0) {
        const int code = errno;
        Say(error, code, OpenFailure(code));
        return -1;
    }
    seen.type = info.st_mode & S_IFMT;
    if (!S_ISREG(info.st_mode)) {
        Say(error, S_ISDIR(info.st_mode) ? EISDIR : ENXIO, NotAFile(info.st_mode));
        return -1;
    }
    // Non-blocking still, should a pipe take the file's place meanwhile.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int code = errno;
        Say(error, code, OpenFailure(code));
        return -1;
    }
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        seen.type = info.st_mode & S_IFMT;
        Say(error, S_ISDIR(info.st_mode) ? EISDIR : ENXIO, NotAFile(info.st_mode));
        return -1;
    }
    seen.type = info.st_mode & S_IFMT;
    seen.size = static_cast<long long>(info.st_size);
    // A regular file: reads block as usual from here on.
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

std::FILE* OpenRegularFile(const char* path, ReadError* error) {
    const int fd = OpenRegularFd(path, error);
    if (fd < 0) return nullptr;
    std::FILE* file = fdopen(fd, "rb");
    if (file == nullptr) {
        const int code = errno;
        close(fd);
        Say(error, code, OpenFailure(code));
    }
    return file;
}

std::FILE* OpenGameFile(const char* name, const char* mode, ReadError* error) {
    char path[kMaxGameFileName + 1];
    if (!MapGameFileName(name, path)) {
        const int code = (name == nullptr || name[0] == '\0') ? ENOENT : ENAMETOOLONG;
        Say(error, code, OpenFailure(code));
        return nullptr;
    }
    const bool reading = mode != nullptr && mode[0] == 'r' && std::strchr(mode, '+') == nullptr;
    if (reading) return OpenRegularFile(path, error);
    std::FILE* file = std::fopen(path, mode);
    if (file == nullptr) {
        const int code = errno;
        Say(error, code, OpenFailure(code));
    }
    return file;
}

void ShownGameFileName(const char* name, char* out, size_t outSize) {
    CopyPrintable(name, out, outSize);
    for (char* p = out; outSize > 0 && *p != '\0'; ++p)
        if (*p == '\\') *p = '/';
}
