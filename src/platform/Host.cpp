#include "platform/Host.h"

#include <cstdio>

namespace {
Host* currentHost = nullptr;
}

Host* GetHost() { return currentHost; }
void SetHost(Host* host) { currentHost = host; }

void Host::KeepSettings(const Settings& inForce, const std::string& path) {
    settings_ = inForce;
    settingsPath_ = path;
}

bool Host::ChangeSettings(const Settings& next, char* reason, int reasonSize) {
    const Settings before = settings_;
    settings_ = next;
    ApplySettings(before, next);
    if (settingsPath_.empty()) return true;
    std::string error;
    if (SaveSettingChanges(settingsPath_.c_str(), before, next, &error)) return true;
    if (reason != nullptr && reasonSize > 0)
        std::snprintf(reason, static_cast<size_t>(reasonSize), "%s", error.c_str());
    return false;
}
