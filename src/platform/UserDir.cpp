#include "platform/UserDir.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/GameFile.h"
#include "platform/PrintableText.h"

namespace {

char userDir[kMaxUserPath] = {};
char refusal[512] = {};

bool Absolute(const char* path) { return path != nullptr && path[0] == '/'; }

void Say(char* reason, int reasonSize, const char* what, const char* path, int error) {
    if (reason == nullptr || reasonSize <= 0) return;
    char shown[kMaxUserPath];
    CopyPrintable(path, shown, sizeof shown);  // a path from the environment may hold anything
    std::snprintf(reason, static_cast<size_t>(reasonSize), "%s %s: %s", what, shown, std::strerror(error));
}

bool IsDirectory(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

namespace {

// $<variable>/voidcrawl, or ~/<fallback>/voidcrawl when the variable is
// unset, empty or relative.
bool ChooseXdgDir(const char* xdgValue, const char* home, const char* fallback, const char* variable, std::string* dir,
                  std::string* error) {
    if (Absolute(xdgValue)) {
        *dir = std::string(xdgValue) + "/voidcrawl";
        return true;
    }
    if (Absolute(home)) {
        std::string base = home;
        if (base.size() > 1 && base.back() == '/') base.pop_back();
        if (base == "/") base.clear();
        *dir = base + "/" + fallback + "/voidcrawl";
        return true;
    }
    if (error != nullptr)
        *error = std::string("no folder for the player's files: neither ") + variable + " nor HOME is an absolute path";
    return false;
}

const char* HomeDir() {
    const char* home = std::getenv("HOME");
    if (!Absolute(home)) {
        if (const passwd* entry = getpwuid(getuid())) home = entry->pw_dir;
    }
    return home;
}

}  // namespace

bool ChooseUserDataDir(const char* xdgDataHome, const char* home, std::string* dir, std::string* error) {
    return ChooseXdgDir(xdgDataHome, home, ".local/share", "XDG_DATA_HOME", dir, error);
}

bool ChooseUserConfigDir(const char* xdgConfigHome, const char* home, std::string* dir, std::string* error) {
    return ChooseXdgDir(xdgConfigHome, home, ".config", "XDG_CONFIG_HOME", dir, error);
}

bool FindUserDataDir(std::string* dir, std::string* error) {
    return ChooseUserDataDir(std::getenv("XDG_DATA_HOME"), HomeDir(), dir, error);
}

bool FindUserConfigDir(std::string* dir, std::string* error) {
    return ChooseUserConfigDir(std::getenv("XDG_CONFIG_HOME"), HomeDir(), dir, error);
}

bool SetUserDir(const char* dir) {
    if (dir == nullptr) dir = "";
    size_t length = std::strlen(dir);
    while (length > 1 && dir[length - 1] == '/') --length;  // "a/" and "a" are one folder
    if (length >= sizeof userDir) return false;
    std::memcpy(userDir, dir, length);
    userDir[length] = '\0';
    refusal[0] = '\0';
    return true;
}

const char* UserDirRefusal() { return refusal; }

const char* GetUserDir() { return userDir; }

void SetUpUserDir() {
    std::string dir;
    std::string error;
    if (!FindUserDataDir(&dir, &error)) {
        std::fprintf(stderr, "voidcrawl: %s; high scores and screen dumps go to the data folder\n", error.c_str());
        SetUserDir(nullptr);
        return;
    }
    if (!SetUserDir(dir.c_str())) {
        // Not the data folder instead: the player would never find the files there.
        SetUserDir(nullptr);
        std::snprintf(refusal, sizeof refusal,
                      "the player's folder (from XDG_DATA_HOME or HOME) is a path of %zu characters, longer than "
                      "the system allows",
                      dir.size());
        std::fprintf(stderr, "voidcrawl: %s; high scores and screen dumps will not be saved\n", refusal);
    }
}

bool UserFilePath(const char* name, char* out, int outSize) {
    char mapped[kMaxGameFileName + 1];
    if (refusal[0] != '\0' || !MapGameFileName(name, mapped) || outSize <= 0) return false;
    const int written = userDir[0] == '\0' ? std::snprintf(out, static_cast<size_t>(outSize), "%s", mapped)
                                           : std::snprintf(out, static_cast<size_t>(outSize), "%s/%s", userDir, mapped);
    return written >= 0 && written < outSize;
}

bool MakeFolders(const char* dir, char* reason, int reasonSize) {
    if (dir == nullptr || dir[0] == '\0' || IsDirectory(dir)) return true;
    const size_t length = std::strlen(dir);
    if (length >= static_cast<size_t>(kMaxUserPath)) {
        Say(reason, reasonSize, "cannot create the folder", dir, ENAMETOOLONG);
        return false;
    }
    // Each missing folder along the path in turn, parents first.
    char path[kMaxUserPath];
    std::memcpy(path, dir, length + 1);
    for (char* p = path + 1;; ++p) {
        if (*p != '/' && *p != '\0') continue;
        const char kept = *p;
        *p = '\0';
        if (mkdir(path, 0755) != 0 && !(errno == EEXIST && IsDirectory(path))) {
            const int error = errno == EEXIST ? ENOTDIR : errno;
            Say(reason, reasonSize, "cannot create the folder", path, error);
            return false;
        }
        *p = kept;
        if (kept == '\0') return true;
    }
}
