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
    if (world_ != nullptr) world_->Follow(settings_.worldServer, settings_.worldSend);
}

void Host::UseWorld(WorldLink* world) {
    world_ = world;
    if (world_ != nullptr) world_->Follow(settings_.worldServer, settings_.worldSend);
}

bool Host::ChangeSettings(const Settings& next, char* reason, int reasonSize) {
    const Settings before = settings_;
    settings_ = next;
    ApplySettings(before, next);
    if (world_ != nullptr) world_->Follow(next.worldServer, next.worldSend);
    if (settingsPath_.empty()) return true;
    std::string error;
    if (SaveSettingChanges(settingsPath_.c_str(), before, next, &error)) return true;
    if (reason != nullptr && reasonSize > 0)
        std::snprintf(reason, static_cast<size_t>(reasonSize), "%s", error.c_str());
    return false;
}
