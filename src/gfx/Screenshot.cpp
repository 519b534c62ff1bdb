#include "gfx/Screenshot.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gfx/PngWriter.h"
#include "platform/Host.h"
#include "platform/SaveFile.h"
#include "platform/UserDir.h"

namespace {

// More shots within one second than anyone can take by hand.
constexpr int kMaxAttempts = 999;
constexpr size_t kMaxUserDirsBytes = 16 * 1024;

void Say(char* out, int size, const char* what, const char* path, const char* why) {
    if (out != nullptr && size > 0) std::snprintf(out, static_cast<size_t>(size), "%s %s: %s", what, path, why);
}

bool Absolute(const char* path) { return path != nullptr && path[0] == '/'; }

// XDG_PICTURES_DIR="$HOME/Bilder" in user-dirs.dirs: the folder, with $HOME
// put in. False when the text has no such line.
bool PicturesFromUserDirs(const char* text, const char* home, std::string* dir) {
    if (text == nullptr) return false;
    static const char kKey[] = "XDG_PICTURES_DIR=\"";
    for (const char* line = text; *line != '\0';) {
        const char* end = std::strchr(line, '\n');
        if (end == nullptr) end = line + std::strlen(line);
        while (line < end && (*line == ' ' || *line == '\t')) ++line;
        if (std::strncmp(line, kKey, sizeof kKey - 1) == 0) {
            const char* value = line + sizeof kKey - 1;
            const char* close = static_cast<const char*>(std::memchr(value, '"', static_cast<size_t>(end - value)));
            if (close == nullptr) return false;
            std::string found(value, close);
            if (found.rfind("$HOME", 0) == 0) {
                if (!Absolute(home)) return false;
                found = std::string(home) + found.substr(5);
            }
            if (!Absolute(found.c_str())) return false;
            *dir = found;
            return true;
        }
        line = *end ? end + 1 : end;
    }
    return false;
}

}  // namespace

void ScreenshotName(const std::tm& when, int attempt, char* out, int outSize) {
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", &when);
    if (attempt <= 1)
        std::snprintf(out, static_cast<size_t>(outSize), "voidcrawl-%s.png", stamp);
    else
        std::snprintf(out, static_cast<size_t>(outSize), "voidcrawl-%s-%d.png", stamp, attempt);
}

bool ChooseScreenshotDir(const char* xdgPictures, const char* userDirsText, const char* home, std::string* dir) {
    std::string pictures;
    if (Absolute(xdgPictures)) {
        pictures = xdgPictures;
    } else if (!PicturesFromUserDirs(userDirsText, home, &pictures)) {
        if (!Absolute(home)) return false;
        pictures = std::string(home) + "/Pictures";
    }
    while (pictures.size() > 1 && pictures.back() == '/') pictures.pop_back();
    *dir = (pictures == "/" ? "" : pictures) + "/VoidCrawl";
    return true;
}

bool FindScreenshotDir(std::string* dir) {
    // user-dirs.dirs lies in the settings folder's parent
    // ($XDG_CONFIG_HOME, else ~/.config), found by the same rule.
    std::string config;
    std::string error;
    std::string userDirs;
    if (FindUserConfigDir(&config, &error)) {
        config.resize(config.rfind('/'));  // past "/voidcrawl", which the rule always ends with
        uint8_t text[kMaxUserDirsBytes] = {};
        const ReadResult read = ReadPlayerFile((config + "/user-dirs.dirs").c_str(), text, sizeof text - 1);
        if (read.status == ReadStatus::Read) userDirs.assign(reinterpret_cast<const char*>(text), read.size);
    }
    return ChooseScreenshotDir(std::getenv("XDG_PICTURES_DIR"), userDirs.empty() ? nullptr : userDirs.c_str(),
                               std::getenv("HOME"), dir);
}

bool SaveScreenshot(const uint8_t* pixels, const PaletteEntry* palette, const std::tm& when, const char* folder,
                    char* path, int pathSize, char* reason, int reasonSize) {
    if (pixels == nullptr || palette == nullptr) {
        Say(reason, reasonSize, "cannot save", "the screenshot", "no picture on show yet");
        return false;
    }
    std::vector<uint8_t> png;
    std::string error;
    if (!EncodePalettedPng(pixels, kScreenWidth, kScreenHeight, palette, &png, &error)) {
        Say(reason, reasonSize, "cannot save", "the screenshot", error.c_str());
        return false;
    }
    char name[64];
    char full[kMaxUserPath];
    SaveResult result;
    for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
        ScreenshotName(when, attempt, name, sizeof name);
        if (std::snprintf(full, sizeof full, "%s/%s", folder, name) >= static_cast<int>(sizeof full)) {
            Say(reason, reasonSize, "cannot save", name, "the path is too long");
            return false;
        }
        if (SaveBytes(full, png.data(), png.size(), &result, kSaveKeepExisting)) {
            std::snprintf(path, static_cast<size_t>(pathSize), "%s", result.path);
            return true;
        }
        if (!result.nameTaken) {
            std::snprintf(reason, static_cast<size_t>(reasonSize), "%s", result.reason);
            return false;
        }
    }
    Say(reason, reasonSize, "cannot save", full, "every name for this second is taken");
    return false;
}

bool TakeScreenshot(const uint8_t* pixels, const PaletteEntry* palette, char* notice, int noticeSize) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char path[kMaxUserPath];
    char reason[kSaveReasonSize];
    std::string folder;
    bool saved = false;
    if (!FindScreenshotDir(&folder)) {
        std::snprintf(reason, sizeof reason,
                      "no pictures folder: neither XDG_PICTURES_DIR nor HOME is an absolute path");
    } else {
        saved = SaveScreenshot(pixels, palette, local, folder.c_str(), path, sizeof path, reason, sizeof reason);
    }
    if (!saved) {
        std::fprintf(stderr, "voidcrawl: no screenshot: %s\n", reason);
        std::snprintf(notice, static_cast<size_t>(noticeSize), "Screenshot NOT saved: %s", reason);
        return false;
    }
    std::printf("voidcrawl: screenshot saved to %s\n", path);
    std::fflush(stdout);
    std::snprintf(notice, static_cast<size_t>(noticeSize), "Screenshot saved to %s", path);
    return true;
}
