#include "platform/Settings.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/PrintableText.h"
#include "platform/SaveFile.h"
#include "platform/KeyNames.h"
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

bool Blank(char c) { return c == ' ' || c == '\t'; }

// Narrows [*begin, *end) of `text` past spaces and tabs, and at the end
// also carriage returns (a Windows line end).
void TrimSpan(const char* text, size_t* begin, size_t* end) {
    while (*begin < *end && Blank(text[*begin])) ++*begin;
    while (*end > *begin && (Blank(text[*end - 1]) || text[*end - 1] == '\r')) --*end;
}

// A UTF-8 byte-order mark, as some editors put before the first line.
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

size_t FirstLine(const char* text, size_t size) {
    return size >= 3 && std::memcmp(text, kByteOrderMark, 3) == 0 ? 3 : 0;
}

enum class LineKind { Nothing, Section, Entry, NotText, UnclosedSection, NoEquals };

// One line of the file as the reader takes it. Positions are in the text.
struct FileLine {
    size_t end = 0;   // where the line's bytes end, before its '\n'
    size_t next = 0;  // where the next line starts (the size at the last)
    LineKind kind = LineKind::Nothing;
    size_t nameBegin = 0, nameEnd = 0;    // the section's name, or the entry's key
    size_t equals = 0;                    // the entry's '='
    size_t valueBegin = 0, valueEnd = 0;  // the entry's value
};

// The line that starts at `at`: blank and comment lines are Nothing.
FileLine ReadLine(const char* text, size_t size, size_t at) {
    FileLine line;
    const char* newline = static_cast<const char*>(std::memchr(text + at, '\n', size - at));
    line.end = newline != nullptr ? static_cast<size_t>(newline - text) : size;
    line.next = newline != nullptr ? line.end + 1 : size;
    if (std::memchr(text + at, '\0', line.end - at) != nullptr) {
        line.kind = LineKind::NotText;
        return line;
    }
    size_t begin = at;
    size_t end = line.end;
    TrimSpan(text, &begin, &end);
    if (begin == end || text[begin] == '#' || text[begin] == ';') return line;
    if (text[begin] == '[') {
        if (text[end - 1] != ']') {
            line.kind = LineKind::UnclosedSection;
            return line;
        }
        line.kind = LineKind::Section;
        line.nameBegin = begin + 1;
        line.nameEnd = end - 1;
        TrimSpan(text, &line.nameBegin, &line.nameEnd);
        return line;
    }
    const char* equals = static_cast<const char*>(std::memchr(text + begin, '=', end - begin));
    if (equals == nullptr) {
        line.kind = LineKind::NoEquals;
        return line;
    }
    line.kind = LineKind::Entry;
    line.equals = static_cast<size_t>(equals - text);
    line.nameBegin = begin;
    line.nameEnd = line.equals;
    TrimSpan(text, &line.nameBegin, &line.nameEnd);
    line.valueBegin = line.equals + 1;
    line.valueEnd = end;
    TrimSpan(text, &line.valueBegin, &line.valueEnd);
    return line;
}

// Whether text[begin, end) is `name`, without regard to case.
bool SameSpan(const char* text, size_t begin, size_t end, const char* name) {
    return std::strlen(name) == end - begin && strncasecmp(text + begin, name, end - begin) == 0;
}

// Text from the file in quotes, for a warning.
std::string Quoted(const std::string& text) {
    std::string quoted(1, '"');
    quoted += Printable(text);
    quoted += '"';
    return quoted;
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

// The faults, one line each: the first kMaxSettingsProblems and how many more.
struct Faults {
    int count = 0;
    std::vector<std::string> lines;
    void Add(int line, const std::string& what) {
        if (count++ >= kMaxSettingsProblems) return;
        lines.push_back(line > 0 ? "line " + std::to_string(line) + ": " + what : what);
    }
    // The lines to show, the last saying how many were left out.
    std::vector<std::string> Shown() const {
        std::vector<std::string> shown = lines;
        const int more = count - static_cast<int>(lines.size());
        if (more > 0) {
            shown.push_back("... and " + std::to_string(more) + " more problem" + (more > 1 ? "s" : ""));
        }
        return shown;
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
    const std::string quoted = Quoted(value);
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
        faults->Add(line, Quoted(key) + " comes before any [section]");
        return;
    case Section::Unknown:
        return;  // already reported at the section's name
    }
    faults->Add(line, "unknown setting " + Quoted(key));
}

}  // namespace

bool ParseSettings(const char* text, size_t size, Settings* settings, std::vector<std::string>* problems) {
    Faults faults;
    PlayKeys keys = settings->keys;
    PadBindings pad = settings->pad;
    Section section = Section::None;
    int number = 0;
    for (size_t at = FirstLine(text, size); at < size;) {
        const FileLine line = ReadLine(text, size, at);
        at = line.next;
        ++number;
        switch (line.kind) {
        case LineKind::Nothing:
            break;
        case LineKind::NotText:
            faults.Add(number, "not text");
            break;
        case LineKind::UnclosedSection:
            faults.Add(number, "a section name needs its closing ]");
            section = Section::Unknown;
            break;
        case LineKind::Section: {
            const std::string name(text + line.nameBegin, line.nameEnd - line.nameBegin);
            section = SectionNamed(name);
            if (section == Section::Unknown) faults.Add(number, "unknown section [" + Printable(name) + "]");
            break;
        }
        case LineKind::NoEquals:
            faults.Add(number, "expected name = value");
            break;
        case LineKind::Entry:
            ReadEntry(section, std::string(text + line.nameBegin, line.nameEnd - line.nameBegin),
                      std::string(text + line.valueBegin, line.valueEnd - line.valueBegin), number, settings, &keys,
                      &pad, &faults);
            break;
        }
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

    if (problems != nullptr) *problems = faults.Shown();
    return faults.count == 0;
}

std::string FormatSettings(const Settings& settings) {
    std::string text =
        "# VoidCrawl settings. When the game changes a setting (Alt+Enter or F11\n"
        "# switches full screen) it rewrites that line alone; command-line options\n"
        "# win over this file.\n"
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

namespace {

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

// The line end the file uses: that of its first line.
const char* LineEndOf(const std::string& text) {
    const size_t newline = text.find('\n');
    return newline != std::string::npos && newline > 0 && text[newline - 1] == '\r' ? "\r\n" : "\n";
}

}  // namespace

bool LoadSettings(const char* path, Settings* settings, std::vector<std::string>* problems) {
    std::string text;
    std::string reason;
    switch (ReadSettingsFile(path, &text, &reason)) {
    case ReadStatus::Missing:
        if (problems != nullptr) problems->clear();
        return true;
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

std::string SetSettingInText(const std::string& text, const char* section, const char* key, const std::string& value) {
    const char* data = text.data();
    const size_t size = text.size();
    const size_t first = FirstLine(data, size);
    const std::string lineEnd = LineEndOf(text);
    bool inSection = false;
    bool found = false;
    FileLine last;                     // the key's last line in the section: the one the reader keeps
    size_t after = std::string::npos;  // past the section's last line that is not blank or a comment
    for (size_t at = first; at < size;) {
        const FileLine line = ReadLine(data, size, at);
        at = line.next;
        if (line.kind == LineKind::Section || line.kind == LineKind::UnclosedSection) {
            inSection = line.kind == LineKind::Section && SameSpan(data, line.nameBegin, line.nameEnd, section);
            if (inSection) after = line.next;
            continue;
        }
        if (!inSection || line.kind == LineKind::Nothing) continue;
        after = line.next;
        if (line.kind == LineKind::Entry && SameSpan(data, line.nameBegin, line.nameEnd, key)) {
            last = line;
            found = true;
        }
    }
    const std::string entry = std::string(key) + " = " + value + lineEnd;
    std::string changed = text;
    if (found) {
        if (last.valueBegin < last.valueEnd) {
            changed.replace(last.valueBegin, last.valueEnd - last.valueBegin, value);
        } else {
            changed.insert(last.equals + 1, " " + value);  // "key =" had no value
        }
        return changed;
    }
    if (after != std::string::npos) {
        // Under the section's last line, which may have had no line end.
        changed.insert(after, (text[after - 1] == '\n' ? "" : lineEnd) + entry);
        return changed;
    }
    // A section of its own at the end, after a blank line.
    if (size > first) {
        if (text.back() != '\n') changed += lineEnd;
        const size_t previous = changed.size() >= 2 ? changed.rfind('\n', changed.size() - 2) : std::string::npos;
        size_t at = previous == std::string::npos ? first : previous + 1;
        while (at < changed.size() && (Blank(changed[at]) || changed[at] == '\r')) ++at;
        if (changed[at] != '\n') changed += lineEnd;  // the last line is not blank already
    }
    return changed + "[" + section + "]" + lineEnd + entry;
}

bool SaveSettingLine(const char* path, const char* section, const char* key, const std::string& value,
                     const Settings& fresh, std::string* error) {
    // Under the folder's lock, so that another copy of the game changing its
    // own line meanwhile keeps it.
    SaveLock lock(path);
    std::string text;
    std::string reason;
    switch (ReadSettingsFile(path, &text, &reason)) {
    case ReadStatus::Missing:
        text = FormatSettings(fresh);
        break;
    case ReadStatus::Refused:
        // What could not be read is never written over.
        if (error != nullptr) *error = reason;
        return false;
    case ReadStatus::Read:
        text = SetSettingInText(text, section, key, value);
        break;
    }
    SaveResult saved;
    if (SaveBytes(path, text.data(), text.size(), &saved)) return true;
    if (error != nullptr) *error = saved.reason;
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
