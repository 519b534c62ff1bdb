#include "platform/GameFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/PrintableText.h"

namespace {

void Say(const char** why, const char* text) {
    if (why != nullptr) *why = text;
}

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

}  // namespace

const char* DescribeFileType(unsigned mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a pipe";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISLNK(mode)) return "a link";
    return "not a plain file";
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

std::FILE* OpenRegularFile(const char* path, const char** why) {
    // Without O_NONBLOCK, opening a pipe would wait for a writer forever.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        Say(why, OpenFailure(error));
        errno = error;
        return nullptr;
    }
    struct stat info;
    const char* refused = nullptr;
    int error = 0;
    if (fstat(fd, &info) != 0) {
        error = errno;
        refused = OpenFailure(error);
    } else if (S_ISDIR(info.st_mode)) {
        error = EISDIR;
        refused = OpenFailure(EISDIR);
    } else if (!S_ISREG(info.st_mode)) {
        error = ENXIO;
        refused = S_ISFIFO(info.st_mode)   ? "it is a pipe, not a file"
                  : S_ISSOCK(info.st_mode) ? "it is a socket, not a file"
                                           : "it is a device, not a file";
    }
    std::FILE* file = nullptr;
    if (refused == nullptr) {
        // A regular file: reads block as usual from here on.
        const int flags = fcntl(fd, F_GETFL);
        if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        file = fdopen(fd, "rb");
        if (file == nullptr) {
            error = errno;
            refused = OpenFailure(error);
        }
    }
    if (file == nullptr) {
        close(fd);
        Say(why, refused);
        errno = error;
    }
    return file;
}

std::FILE* OpenGameFile(const char* name, const char* mode, const char** why) {
    char path[kMaxGameFileName + 1];
    if (!MapGameFileName(name, path)) {
        const int error = (name == nullptr || name[0] == '\0') ? ENOENT : ENAMETOOLONG;
        Say(why, OpenFailure(error));
        errno = error;
        return nullptr;
    }
    const bool reading = mode != nullptr && mode[0] == 'r' && std::strchr(mode, '+') == nullptr;
    if (reading) return OpenRegularFile(path, why);
    std::FILE* file = std::fopen(path, mode);
    if (file == nullptr) {
        const int error = errno;
        Say(why, OpenFailure(error));
        errno = error;
    }
    return file;
}

void ShownGameFileName(const char* name, char* out, size_t outSize) {
    CopyPrintable(name, out, outSize);
    for (char* p = out; outSize > 0 && *p != '\0'; ++p)
        if (*p == '\\') *p = '/';
}
