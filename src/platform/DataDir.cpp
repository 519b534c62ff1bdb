#include "platform/DataDir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

bool IsDirectory(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool HoldsGameData(const std::string& dir) { return IsDirectory(dir + "/grafik"); }

std::string ParentOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string WorkingDirectory() {
    char buffer[PATH_MAX];
    if (getcwd(buffer, sizeof buffer) == nullptr) return ".";
    return buffer;
}

std::string ProgramPath(const char* argv0) {
    char buffer[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length > 0) {
        buffer[length] = '\0';
        return buffer;
    }
    if (argv0 != nullptr && std::strchr(argv0, '/') != nullptr && realpath(argv0, buffer) != nullptr) {
        return buffer;
    }
    return argv0 != nullptr ? argv0 : "";
}

}  // namespace

bool ChooseDataDir(const std::string& workDir, const std::string& exePath, std::string* dir,
                   std::string* error) {
    if (HoldsGameData(workDir)) {
        *dir = workDir;
        return true;
    }
    std::string beside = ParentOf(exePath) + "/data";
    if (HoldsGameData(beside)) {
        *dir = beside;
        return true;
    }
    if (error != nullptr) {
        *error = "cannot find the game data: neither " + workDir + " nor " + beside +
                 " holds a grafik folder";
    }
    return false;
}

bool FindDataDir(const char* argv0, std::string* dir, std::string* error) {
    return ChooseDataDir(WorkingDirectory(), ProgramPath(argv0), dir, error);
}

bool EnterDataDir(const char* argv0, std::string* dir, std::string* error) {
    std::string found;
    if (!FindDataDir(argv0, &found, error)) return false;
    if (chdir(found.c_str()) != 0) {
        if (error != nullptr) *error = "cannot enter " + found + ": " + std::strerror(errno);
        return false;
    }
    if (dir != nullptr) *dir = found;
    return true;
}
