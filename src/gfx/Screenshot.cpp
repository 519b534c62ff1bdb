#include "gfx/Screenshot.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "gfx/PngWriter.h"
#include "platform/Host.h"
#include "platform/UserDir.h"

namespace {

// More shots within one second than anyone can take by hand.
constexpr int kMaxAttempts = 999;

void Say(char* out, int size, const char* what, const char* path, const char* why) {
    if (out != nullptr && size > 0) std::snprintf(out, static_cast<size_t>(size), "%s '%s': %s", what, path, why);
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

bool SaveScreenshot(const uint8_t* pixels, const PaletteEntry* palette, const std::tm& when, char* path,
                    int pathSize, char* reason, int reasonSize) {
    if (pixels == nullptr || palette == nullptr) {
        Say(reason, reasonSize, "cannot save", "screenshot", "no picture on show yet");
        return false;
    }
    if (!MakeUserDir(reason, reasonSize)) return false;
    char name[64];
    char full[kMaxUserPath];
    std::FILE* file = nullptr;
    for (int attempt = 1; attempt <= kMaxAttempts && file == nullptr; ++attempt) {
        ScreenshotName(when, attempt, name, sizeof name);
        if (!UserFilePath(name, full, sizeof full)) {
            Say(reason, reasonSize, "cannot name", name, std::strerror(ENAMETOOLONG));
            return false;
        }
        // "x": a name already taken fails instead of being overwritten.
        file = std::fopen(full, "wbx");
        if (file == nullptr && errno != EEXIST) {
            Say(reason, reasonSize, "cannot write", full, std::strerror(errno));
            return false;
        }
    }
    if (file == nullptr) {
        Say(reason, reasonSize, "cannot write", full, "every name for this second is taken");
        return false;
    }
    std::string error;
    bool ok = WritePalettedPng(file, pixels, kScreenWidth, kScreenHeight, palette, &error);
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        error = std::strerror(errno);
    }
    if (!ok) {
        std::remove(full);  // no half-written picture left behind
        Say(reason, reasonSize, "cannot write", full, error.c_str());
        return false;
    }
    std::snprintf(path, static_cast<size_t>(pathSize), "%s", full);
    return true;
}

bool TakeScreenshot(const uint8_t* pixels, const PaletteEntry* palette) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char path[kMaxUserPath];
    char reason[kMaxUserPath + 256];
    if (!SaveScreenshot(pixels, palette, local, path, sizeof path, reason, sizeof reason)) {
        std::fprintf(stderr, "voidcrawl: no screenshot: %s\n", reason);
        return false;
    }
    std::printf("voidcrawl: screenshot saved to %s\n", path);
    std::fflush(stdout);
    return true;
}
