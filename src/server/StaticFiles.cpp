#include "StaticFiles.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

namespace server {

const char* ContentTypeOf(const std::string& path) {
    struct Type {
        const char* ending;
        const char* type;
    };
    static const Type kTypes[] = {
        {".html", "text/html; charset=utf-8"},
        {".js", "text/javascript; charset=utf-8"},
        {".mjs", "text/javascript; charset=utf-8"},
        {".css", "text/css; charset=utf-8"},
        {".json", "application/json"},
        {".wasm", "application/wasm"},
        {".png", "image/png"},
        {".svg", "image/svg+xml"},
        {".ico", "image/x-icon"},
        {".txt", "text/plain; charset=utf-8"},
        {".gz", "application/gzip"},
        {".vcr", "application/octet-stream"},
    };
    for (const Type& t : kTypes) {
        const size_t n = std::strlen(t.ending);
        if (path.size() > n && path.compare(path.size() - n, n, t.ending) == 0) return t.type;
    }
    return "application/octet-stream";
}

bool StaticFiles::Open(const std::string& folder, std::string* error) {
    root_.clear();
    if (folder.empty()) return true;
    char real[PATH_MAX];
    struct stat info;
    if (realpath(folder.c_str(), real) == nullptr || stat(real, &info) != 0 || !S_ISDIR(info.st_mode)) {
        *error = "the web folder '" + folder + "' is not a folder";
        return false;
    }
    root_ = real;
    if (root_ == "/") root_.clear();  // (never the whole file system)
    if (root_.empty()) {
        *error = "the web folder may not be /";
        return false;
    }
    return true;
}

Answer StaticFiles::Serve(const std::string& path) const {
    if (root_.empty()) {
        if (path != "index.html") return ErrorAnswer(404, "there is nothing here");
        Answer a;
        a.contentType = "text/html; charset=utf-8";
        a.body =
            "<!doctype html><title>voidcrawl-server</title><p>voidcrawl-server: the world table's API is at "
            "/api/v1/ (this server was started without --web, so the game's page is not served).</p>\n";
        return a;
    }
    const std::string wanted = root_ + "/" + path;
    char real[PATH_MAX];
    struct stat info;
    if (realpath(wanted.c_str(), real) == nullptr || std::strncmp(real, root_.c_str(), root_.size()) != 0 ||
        real[root_.size()] != '/')
        return ErrorAnswer(404, "there is nothing here");
    const int fd = open(real, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return ErrorAnswer(404, "there is nothing here");
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kMostBytes) {
        close(fd);
        return ErrorAnswer(404, "there is nothing here");
    }
    Answer a;
    a.contentType = ContentTypeOf(path);
    a.body.resize(static_cast<size_t>(info.st_size));
    size_t got = 0;
    while (got < a.body.size()) {
        const ssize_t n = read(fd, a.body.data() + got, a.body.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    close(fd);
    a.body.resize(got);
    if (path == "index.html") a.body = WithWorldMarker(a.body);
    return a;
}

std::string WithWorldMarker(const std::string& page) {
    if (page.find(kWorldMarker) != std::string::npos) return page;
    // After the opening <head ...> (in any case), else before everything.
    std::string lower(page);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    size_t at = 0;
    for (size_t head = lower.find("<head"); head != std::string::npos; head = lower.find("<head", head + 1)) {
        const char next = head + 5 < lower.size() ? lower[head + 5] : '\0';
        if (next != '>' && next != ' ' && next != '\t' && next != '\n' && next != '\r') continue;
        const size_t end = lower.find('>', head);
        if (end != std::string::npos) at = end + 1;
        break;
    }
    return page.substr(0, at) + kWorldMarker + page.substr(at);
}

}  // namespace server
