#include "hosts/sdl/SdlQuietStderr.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr char kOwnPrefix[] = "voidcrawl";
// More than the libraries ever say; past this the rest is dropped unread.
constexpr size_t kMaxHeldBytes = 1 << 20;

void WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n <= 0) return;
        data += n;
        size -= static_cast<size_t>(n);
    }
}

}  // namespace

SdlQuietStderr::SdlQuietStderr() {
    std::fflush(stderr);
    scratch_ = memfd_create("voidcrawl-stderr", MFD_CLOEXEC);
    if (scratch_ < 0) return;
    saved_ = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    if (saved_ < 0 || dup2(scratch_, STDERR_FILENO) < 0) {
        if (saved_ >= 0) close(saved_);
        close(scratch_);
        saved_ = scratch_ = -1;
    }
}

SdlQuietStderr::~SdlQuietStderr() {
    if (saved_ < 0) return;
    std::fflush(stderr);
    dup2(saved_, STDERR_FILENO);
    close(saved_);
    std::string held;
    char chunk[4096];
    lseek(scratch_, 0, SEEK_SET);
    for (ssize_t n; held.size() < kMaxHeldBytes && (n = read(scratch_, chunk, sizeof chunk)) > 0;)
        held.append(chunk, static_cast<size_t>(n));
    close(scratch_);
    // The game's own lines go on, in their order.
    for (size_t start = 0; start < held.size();) {
        size_t end = held.find('\n', start);
        end = end == std::string::npos ? held.size() : end + 1;
        if (held.compare(start, sizeof kOwnPrefix - 1, kOwnPrefix) == 0)
            WriteAll(STDERR_FILENO, held.data() + start, end - start);
        start = end;
    }
}
