#include "platform/SdlSettings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "platform/SaveFile.h"
#include "platform/SdlKeymap.h"
#include "platform/UserDir.h"

namespace {

// Far more than any hand-written settings file needs.
constexpr size_t kMaxSettingsBytes = 64 * 1024;

constexpr const char* kActionNames[kPlayKeyCount] = {"left", "right", "warp", "jump", "boost", "brake"};
constexpr const char* kPadActionNames[kPadActionCount] = {"warp", "jump", "boost", "brake", "start", "pause"};

// Keys the game itself answers to while playing, or the window's own.
constexpr uint8_t kReservedKeys[] = {0x01 /* Esc */, 0x02 /* 1 */, 0x15 /* Y */, 0x31 /* N */,
                                     0x39 /* Space */, 0x57 /* F11 */, 0x58 /* F12 */};

enum class Section { None, Display, Sound, Player1, Player2, Gamepad, Unknown };

std::string Trim(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r')) --end;
    return text.substr(begin, end - begin);
}

bool Same(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

bool ReadSwitch(const std::string& value, bool* out) {
    for (const char* yes : {"yes", "true", "on", "1"}) {
        if (Same(value, yes)) return *out = true, true;
    }
    for (const char* no : {"no", "false", "off", "0"}) {
        if (Same(value, no)) return *out = false, true;
    }
    return false;
}

bool ReadVolume(const std::string& value, int* out) {
    if (value.empty() || value.size() > 3) return false;
    int volume = 0;
    for (char c : value) {
        if (c < '0' || c > '9') return false;
        volume = volume * 10 + (c - '0');
    }
    if (volume > 100) return false;
    *out = volume;
    return true;
}

bool Reserved(uint8_t code) {
    for (uint8_t reserved : kReservedKeys) {
        if (code == reserved) return true;
    }
    return false;
}

// Counts the faults and keeps the first.
struct Faults {
    int count = 0;
    std::string first;
    void Add(int line, const std::string& what) {
        if (count++ == 0) first = line > 0 ? "line " + std::to_string(line) + ": " + what : what;
    }
};

Section SectionNamed(const std::string& name) {
    if (Same(name, "display")) return Section::Display;
    if (Same(name, "sound")) return Section::Sound;
    if (Same(name, "player1")) return Section::Player1;
    if (Same(name, "player2")) return Section::Player2;
    if (Same(name, "gamepad")) return Section::Gamepad;
    return Section::Unknown;
}

void ReadEntry(Section section, const std::string& key, const std::string& value, int line, Settings* settings,
               PlayKeys* keys, PadBindings* pad, Faults* faults) {
    const std::string quoted = "\"" + value + "\"";
    switch (section) {
    case Section::Display:
        if (Same(key, "fullscreen")) {
            bool on = false;
            if (ReadSwitch(value, &on)) {
                settings->fullscreen = on ? 1 : 0;
            } else {
                faults->Add(line, "fullscreen must be yes or no, not " + quoted);
            }
            return;
        }
        if (Same(key, "scale")) {
            if (Same(value, "auto")) {
                settings->scale = ScaleMode::Auto;
            } else if (Same(value, "integer")) {
                settings->scale = ScaleMode::Integer;
            } else if (Same(value, "fit")) {
                settings->scale = ScaleMode::Fit;
            } else {
                faults->Add(line, "scale must be auto, integer or fit, not " + quoted);
            }
            return;
        }
        break;
    case Section::Sound:
        if (Same(key, "volume")) {
            if (!ReadVolume(value, &settings->volume)) faults->Add(line, "volume must be 0 to 100, not " + quoted);
            return;
        }
        if (Same(key, "mute")) {
            if (!ReadSwitch(value, &settings->mute)) faults->Add(line, "mute must be yes or no, not " + quoted);
            return;
        }
        break;
    case Section::Player1:
    case Section::Player2: {
        const int player = section == Section::Player1 ? 0 : 1;
        for (int action = 0; action < kPlayKeyCount; ++action) {
            if (!Same(key, kActionNames[action])) continue;
            const uint8_t code = DikFromKeyName(value.c_str());
            if (code == 0) {
                faults->Add(line, "no key is called " + quoted);
            } else if (Reserved(code)) {
                faults->Add(line, quoted + " is the game's own key and cannot steer");
            } else {
                keys->code[player][action] = code;
            }
            return;
        }
        break;
    }
    case Section::Gamepad:
        if (Same(key, "rumble")) {
            if (!ReadSwitch(value, &settings->rumble)) faults->Add(line, "rumble must be yes or no, not " + quoted);
            return;
        }
        for (int action = 0; action < kPadActionCount; ++action) {
            if (!Same(key, kPadActionNames[action])) continue;
            const int button = PadButtonFromName(value.c_str());
            if (button < 0) {
                faults->Add(line, "no gamepad button is called " + quoted);
            } else {
                pad->button[action] = static_cast<int8_t>(button);
            }
            return;
        }
        break;
    case Section::None:
        faults->Add(line, "\"" + key + "\" comes before any [section]");
        return;
    case Section::Unknown:
        return;  // already reported at the section's name
    }
    faults->Add(line, "unknown setting \"" + key + "\"");
}

}  // namespace

bool ParseSettings(const char* text, size_t size, Settings* settings, std::string* warning) {
    Faults faults;
    PlayKeys keys = settings->keys;
    PadBindings pad = settings->pad;
    Section section = Section::None;
    size_t at = 0;
    int line = 0;
    while (at < size) {
        size_t end = at;
        while (end < size && text[end] != '\n') ++end;
        ++line;
        const std::string raw(text + at, end - at);
        at = end + 1;
        if (raw.find('\0') != std::string::npos) {
            faults.Add(line, "not text");
            continue;
        }
        const std::string entry = Trim(raw);
        if (entry.empty() || entry[0] == '#' || entry[0] == ';') continue;
        if (entry[0] == '[') {
            if (entry.back() != ']') {
                faults.Add(line, "a section name needs its closing ]");
                section = Section::Unknown;
                continue;
            }
            const std::string name = Trim(entry.substr(1, entry.size() - 2));
            section = SectionNamed(name);
            if (section == Section::Unknown) faults.Add(line, "unknown section [" + name + "]");
            continue;
        }
        const size_t equals = entry.find('=');
        if (equals == std::string::npos) {
            faults.Add(line, "expected name = value");
            continue;
        }
        ReadEntry(section, Trim(entry.substr(0, equals)), Trim(entry.substr(equals + 1)), line, settings, &keys,
                  &pad, &faults);
    }

    // Each of the twelve actions needs a key of its own.
    bool clash = false;
    for (int a = 0; a < 2 * kPlayKeyCount && !clash; ++a) {
        for (int b = a + 1; b < 2 * kPlayKeyCount; ++b) {
            const uint8_t codeA = keys.code[a / kPlayKeyCount][a % kPlayKeyCount];
            if (codeA != keys.code[b / kPlayKeyCount][b % kPlayKeyCount]) continue;
            faults.Add(0, std::string("\"") + DikKeyName(codeA) + "\" steers two actions; using the usual keys");
            clash = true;
            break;
        }
    }
    if (!clash) settings->keys = keys;
    // And each pad action a button of its own.
    clash = false;
    for (int a = 0; a < kPadActionCount && !clash; ++a) {
        for (int b = a + 1; b < kPadActionCount; ++b) {
            if (pad.button[a] != pad.button[b]) continue;
            faults.Add(0, std::string("gamepad button \"") + PadButtonName(pad.button[a]) +
                              "\" does two things; using the usual buttons");
            clash = true;
            break;
        }
    }
    if (!clash) settings->pad = pad;

    if (faults.count == 0) return true;
    if (warning != nullptr) {
        *warning = faults.first;
        if (faults.count > 1) {
            *warning += " (and " + std::to_string(faults.count - 1) + " more problem" +
                        (faults.count > 2 ? "s" : "") + ")";
        }
    }
    return false;
}

std::string FormatSettings(const Settings& settings) {
    std::string text =
        "# VoidCrawl settings. The game rewrites this file when a setting changes\n"
        "# (Alt+Enter or F11 switches full screen); command-line options win over it.\n"
        "\n[display]\n";
    if (settings.fullscreen >= 0) text += std::string("fullscreen = ") + (settings.fullscreen ? "yes" : "no") + "\n";
    text += "# auto, integer or fit\nscale = ";
    text += settings.scale == ScaleMode::Integer ? "integer" : settings.scale == ScaleMode::Fit ? "fit" : "auto";
    text += "\n\n[sound]\n# 0 to 100\nvolume = " + std::to_string(settings.volume) +
            "\nmute = " + (settings.mute ? "yes" : "no") + "\n";
    for (int player = 0; player < 2; ++player) {
        text += "\n[player" + std::to_string(player + 1) + "]\n";
        for (int action = 0; action < kPlayKeyCount; ++action) {
            text += std::string(kActionNames[action]) + " = " + DikKeyName(settings.keys.code[player][action]) + "\n";
        }
    }
    text += "\n[gamepad]\n# buttons by name: a b x y back start leftshoulder rightshoulder leftstick rightstick\n"
            "# dpup dpdown dpleft dpright\n";
    for (int action = 0; action < kPadActionCount; ++action) {
        text += std::string(kPadActionNames[action]) + " = " + PadButtonName(settings.pad.button[action]) + "\n";
    }
    text += std::string("rumble = ") + (settings.rumble ? "yes" : "no") + "\n";
    return text;
}

bool LoadSettings(const char* path, Settings* settings, std::string* warning) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        if (errno == ENOENT || errno == ENOTDIR) return true;
        if (warning != nullptr) *warning = std::string(path) + ": cannot read it: " + std::strerror(errno);
        return false;
    }
    std::string text(kMaxSettingsBytes + 1, '\0');
    const size_t size = std::fread(&text[0], 1, text.size(), file);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed || size > kMaxSettingsBytes) {
        if (warning != nullptr) {
            *warning = std::string(path) + (failed ? ": cannot read it" : ": too large to be a settings file");
        }
        return false;
    }
    std::string fault;
    if (ParseSettings(text.data(), size, settings, &fault)) return true;
    if (warning != nullptr) *warning = std::string(path) + ": " + fault;
    return false;
}

bool SaveSettings(const char* path, const Settings& settings, std::string* error) {
    const std::string text = FormatSettings(settings);
    SaveResult result;
    if (SaveBytes(path, text.data(), text.size(), &result)) return true;
    if (error != nullptr) *error = result.reason;
    return false;
}

bool FindSettingsPath(std::string* path, std::string* error) {
    std::string dir;
    if (!FindUserConfigDir(&dir, error)) return false;
    *path = dir + "/" + kSettingsFileName;
    return true;
}

HostOptions ChooseHostOptions(const Settings& file, const HostOptions& line, bool windowedByEnvironment) {
    HostOptions options = line;
    if (options.fullscreen < 0) options.fullscreen = windowedByEnvironment ? 0 : file.fullscreen;
    if (options.scale == ScaleMode::Auto) options.scale = file.scale;
    options.mute = line.mute || file.mute;
    options.volume = file.volume;
    options.playKeys = file.keys;
    options.padBindings = file.pad;
    options.rumble = file.rumble;
    return options;
}
