#include "platform/DataDir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <utility>

#include "platform/PrintableText.h"

#ifndef VC_INSTALL_DATADIR
#define VC_INSTALL_DATADIR ""
#endif

namespace {

bool IsDirectory(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool HoldsGameData(const std::string& dir) { return !dir.empty() && IsDirectory(dir + "/grafik"); }

// Why a folder the player named holds no game data.
std::string WhyNoData(const std::string& dir) {
    struct stat info;
    if (stat(dir.c_str(), &info) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? "no such folder" : std::strerror(errno);
    }
    if (S_ISDIR(info.st_mode)) return "no game data there (it holds no grafik folder)";
    return S_ISREG(info.st_mode) ? "it is a file, not a folder" : "it is not a folder";
}

std::string ParentOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string Tidy(const std::string& path) {
    std::string tidy = std::filesystem::path(path).lexically_normal().string();
    if (tidy.size() > 1 && tidy.back() == '/') tidy.pop_back();
    return tidy;
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

bool ChooseDataDir(const DataDirPlaces& places, std::string* dir, std::string* error) {
    // A folder the player named is taken or refused, never passed over.
    const std::pair<const std::string*, const char*> named[] = {{&places.given, "--data "},
                                                                {&places.fromEnv, "VOIDCRAWL_DATA="}};
    for (const auto& [folder, how] : named) {
        if (folder->empty()) continue;
        if (HoldsGameData(*folder)) {
            *dir = *folder;
            return true;
        }
        if (error != nullptr) *error = std::string(how) + Printable(*folder) + ": " + WhyNoData(*folder);
        return false;
    }
    const std::string exeDir = ParentOf(places.exePath);
    const std::string candidates[] = {places.workDir, Tidy(exeDir + "/data"), Tidy(exeDir + "/../share/voidcrawl"),
                                      places.installDir.empty() ? std::string() : Tidy(places.installDir)};
    std::string looked;
    for (size_t i = 0; i < std::size(candidates); ++i) {
        const std::string& place = candidates[i];
        if (place.empty()) continue;
        if (HoldsGameData(place)) {
            *dir = place;
            return true;
        }
        bool seen = false;  // an installed program finds its prefix twice
        for (size_t j = 0; j < i; ++j) seen = seen || candidates[j] == place;
        if (!seen) looked += "\n  " + Printable(place);
    }
    if (error != nullptr) {
        *error = "cannot find the game data (a folder holding grafik/); looked in:" + looked +
                 "\nname the folder with --data DIR or VOIDCRAWL_DATA";
    }
    return false;
}

DataDirPlaces ThisProcessDataDirPlaces(const std::string& given, const char* argv0) {
    DataDirPlaces places;
    places.given = given;
    const char* env = std::getenv("VOIDCRAWL_DATA");
    places.fromEnv = env != nullptr ? env : "";
    places.workDir = WorkingDirectory();
    places.exePath = ProgramPath(argv0);
    places.installDir = VC_INSTALL_DATADIR;
    return places;
}

bool EnterDataDir(const std::string& given, const char* argv0, std::string* dir, std::string* error) {
    std::string found;
    if (!ChooseDataDir(ThisProcessDataDirPlaces(given, argv0), &found, error)) return false;
    if (chdir(found.c_str()) != 0) {
        if (error != nullptr) *error = "cannot enter " + Printable(found) + ": " + std::strerror(errno);
        return false;
    }
    if (dir != nullptr) *dir = found;
    return true;
}
