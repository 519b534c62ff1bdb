// The settings file on disk: read whole or refused, and changed one line
// at a time under the folder's save lock, through the one save helper.
#include <algorithm>
#include <vector>

#include "platform/SaveFile.h"
#include "platform/Settings.h"
#include "platform/UserDir.h"

namespace {

// Far more than any hand-written settings file needs.
constexpr size_t kMaxSettingsBytes = 64 * 1024;

// Reads the settings file into `text`; Refused (with `reason`) for anything
// that cannot be read whole: not a plain file, unreadable, too large.
ReadStatus ReadSettingsFile(const char* path, std::string* text, std::string* reason) {
    text->assign(kMaxSettingsBytes, '\0');
    const ReadResult read = ReadPlayerFile(path, reinterpret_cast<uint8_t*>(&(*text)[0]), text->size());
    text->resize(read.size);
    if (read.status == ReadStatus::Refused) {
        *reason = read.reason;
    } else if (read.longer) {
        *reason = std::string("cannot read ") + path + ": over " + std::to_string(kMaxSettingsBytes / 1024) +
                  " KiB, too large to be a settings file";
        return ReadStatus::Refused;
    }
    return read.status;
}

struct SettingEdit {
    const char* section;
    const char* key;
    std::string value;
};

std::string WithEdits(std::string text, const std::vector<SettingEdit>& edits) {
    for (const SettingEdit& edit : edits) text = SetSettingInText(text, edit.section, edit.key, edit.value);
    return text;
}

// Puts `edits` into the file at `path` under the folder's lock, so that
// another copy of the game changing its own line meanwhile keeps it; a
// missing file is written whole as `fresh`.
bool SaveSettingEdits(const char* path, const std::vector<SettingEdit>& edits, const Settings& fresh,
                      std::string* error) {
    SaveLock lock(path);
    std::string text;
    std::string reason;
    switch (ReadSettingsFile(path, &text, &reason)) {
    case ReadStatus::Missing:
        text = WithEdits(FormatSettings(fresh), edits);
        break;
    case ReadStatus::Malformed:
    case ReadStatus::Refused:
        // What could not be read is never written over.
        if (error != nullptr) *error = reason;
        return false;
    case ReadStatus::Read:
        text = WithEdits(text, edits);
        break;
    }
    SaveResult saved;
    if (SaveBytes(path, text.data(), text.size(), &saved)) return true;
    if (error != nullptr) *error = saved.reason;
    return false;
}

}  // namespace

bool LoadSettings(const char* path, Settings* settings, std::vector<std::string>* problems) {
    std::string text;
    std::string reason;
    switch (ReadSettingsFile(path, &text, &reason)) {
    case ReadStatus::Missing:
        if (problems != nullptr) problems->clear();
        return true;
    case ReadStatus::Malformed:
    case ReadStatus::Refused:
        if (problems != nullptr) *problems = {reason};
        return false;
    case ReadStatus::Read:
        break;
    }
    if (ParseSettings(text.data(), text.size(), settings, problems)) return true;
    if (problems != nullptr) {
        // Each problem names the file; the count of the rest, if any, does not.
        const size_t named = std::min(problems->size(), static_cast<size_t>(kMaxSettingsProblems));
        for (size_t i = 0; i < named; ++i) (*problems)[i] = std::string(path) + ": " + (*problems)[i];
    }
    return false;
}

bool SaveSettingChanges(const char* path, const Settings& before, const Settings& after, std::string* error) {
    std::vector<SettingEdit> edits;
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingInfo& setting = kSettingTable[i];
        std::string value = SettingValueText(setting, after);
        if (value != SettingValueText(setting, before) && !value.empty()) {
            edits.push_back({setting.section, setting.name, std::move(value)});
        }
    }
    // A new file holds the defaults and the changes, never what the command
    // line chose for this run alone.
    return edits.empty() || SaveSettingEdits(path, edits, Settings{}, error);
}

bool FindSettingsPath(std::string* path, std::string* error) {
    std::string dir;
    if (!FindUserConfigDir(&dir, error)) return false;
    *path = dir + "/" + kSettingsFileName;
    return true;
}

std::string BesideSettings(const std::string& settingsPath, const char* name) {
    if (settingsPath.empty()) return "";
    return settingsPath.substr(0, settingsPath.rfind('/') + 1) + name;
}
