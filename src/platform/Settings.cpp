#include "platform/Settings.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/KeyNames.h"
#include "platform/PrintableText.h"
#include "platform/SaveFile.h"
#include "platform/UserDir.h"

// Every setting, once: where it goes in the file, what it takes, where it
// lives in Settings, and the comment the file carries above it. Reading,
// writing, --help and the README's sample file all come from here.
#define VC_FIELD(member) [](Settings& s) -> void* { return &s.member; }  // NOLINT(bugprone-macro-parentheses)
const SettingInfo kSettingTable[] = {
    {"display", "fullscreen", SettingType::Screen, VC_FIELD(fullscreen), "yes or no; left out: full screen"},
    {"display", "scale", SettingType::Scale, VC_FIELD(scale), "auto, integer or fit, as --scale"},
    {"display", "window", SettingType::Window, VC_FIELD(window),
     "the window's size, as 1280x960; auto: fits the screen"},
    {"sound", "volume", SettingType::Volume, VC_FIELD(volume), "the master volume, 0 to 100"},
    {"sound", "mute", SettingType::Switch, VC_FIELD(mute), "yes or no; --mute also mutes"},
    {"sound", "hum", SettingType::Switch, VC_FIELD(hum), "the main menu's hum, yes or no"},
    {"player1", "left", SettingType::Key, VC_FIELD(keys.code[0][kKeyLeft]), ""},
    {"player1", "right", SettingType::Key, VC_FIELD(keys.code[0][kKeyRight]), ""},
    {"player1", "warp", SettingType::Key, VC_FIELD(keys.code[0][kKeyWarp]), ""},
    {"player1", "jump", SettingType::Key, VC_FIELD(keys.code[0][kKeyJump]), ""},
    {"player1", "boost", SettingType::Key, VC_FIELD(keys.code[0][kKeyBoost]), ""},
    {"player1", "brake", SettingType::Key, VC_FIELD(keys.code[0][kKeyBrake]), ""},
    {"player2", "left", SettingType::Key, VC_FIELD(keys.code[1][kKeyLeft]), ""},
    {"player2", "right", SettingType::Key, VC_FIELD(keys.code[1][kKeyRight]), ""},
    {"player2", "warp", SettingType::Key, VC_FIELD(keys.code[1][kKeyWarp]), ""},
    {"player2", "jump", SettingType::Key, VC_FIELD(keys.code[1][kKeyJump]), ""},
    {"player2", "boost", SettingType::Key, VC_FIELD(keys.code[1][kKeyBoost]), ""},
    {"player2", "brake", SettingType::Key, VC_FIELD(keys.code[1][kKeyBrake]), ""},
    {"gamepad", "warp", SettingType::PadButton, VC_FIELD(pad.button[kPadWarp]),
     "buttons by SDL's names: a b x y back start leftshoulder rightshoulder\n"
     "leftstick rightstick dpup dpdown dpleft dpright"},
    {"gamepad", "jump", SettingType::PadButton, VC_FIELD(pad.button[kPadJump]), ""},
    {"gamepad", "boost", SettingType::PadButton, VC_FIELD(pad.button[kPadBoost]), ""},
    {"gamepad", "brake", SettingType::PadButton, VC_FIELD(pad.button[kPadBrake]), ""},
    {"gamepad", "start", SettingType::PadButton, VC_FIELD(pad.button[kPadSpace]),
     "start: SPACE, a waiting worm starts; pause: Esc"},
    {"gamepad", "pause", SettingType::PadButton, VC_FIELD(pad.button[kPadPause]), ""},
    {"gamepad", "rumble", SettingType::Switch, VC_FIELD(rumble), ""},
    {"online", "port", SettingType::Port, VC_FIELD(onlinePort), "the UDP port a hosted game listens on"},
    {"online", "address", SettingType::Text, VC_FIELD(onlineAddress),
     "the game last joined: a host name, IPv4 or IPv6 address, :PORT if not 7311"},
    {"online", "delay", SettingType::Delay, VC_FIELD(inputDelay), "passes each side's keys wait, 0 to 4"},
};
#undef VC_FIELD
const int kSettingCount = static_cast<int>(sizeof kSettingTable / sizeof kSettingTable[0]);

const char* SettingValues(SettingType type) {
    switch (type) {
    case SettingType::Screen:
    case SettingType::Switch:
        return "yes or no";
    case SettingType::Scale:
        return "auto, integer or fit";
    case SettingType::Window:
        return "auto or a size such as 1280x960";
    case SettingType::Volume:
        return "0 to 100";
    case SettingType::Key:
        return "a key name";
    case SettingType::PadButton:
        return "a button name";
    case SettingType::Port:
        return "1 to 65535";
    case SettingType::Delay:
        return "0 to 4";
    case SettingType::Text:
        return "text in quotes";
    }
    return "";
}

namespace {

// Far more than any hand-written settings file needs.
constexpr size_t kMaxSettingsBytes = 64 * 1024;

// Keys the game itself answers to while playing, or the window's own, and
// what each does there (as a player reads it).
struct ReservedKey {
    uint8_t code;
    const char* use;
};
constexpr ReservedKey kReservedKeys[] = {{0x01 /* Esc */, "the menu and the EXIT box"},
                                         {0x02 /* 1 */, "saving a picture of the screen"},
                                         {0x15 /* Y */, "answering EXIT Y/N"},
                                         {0x31 /* N */, "answering EXIT Y/N"},
                                         {0x39 /* Space */, "starting each life"},
                                         {0x57 /* F11 */, "switching to full screen"},
                                         {0x58 /* F12 */, "screenshots"}};

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

// A whole number of at most five digits, from `min` to `max`.
bool ReadNumber(const std::string& value, int min, int max, int* out) {
    if (value.empty() || value.size() > 5) return false;
    int number = 0;
    for (char c : value) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + (c - '0');
    }
    if (number < min || number > max) return false;
    *out = number;
    return true;
}

// Printable ASCII in quotes, or bare, with no quote inside and room for
// its terminating zero in `size` bytes.
bool ReadText(const std::string& value, char* out, size_t size) {
    size_t begin = 0, end = value.size();
    if (!value.empty() && value[0] == '"') {
        if (value.size() < 2 || value.back() != '"') return false;
        ++begin;
        --end;
    }
    if (end - begin >= size) return false;
    for (size_t i = begin; i < end; ++i)
        if (value[i] < ' ' || value[i] > '~' || value[i] == '"') return false;
    std::memcpy(out, value.data() + begin, end - begin);
    out[end - begin] = '\0';
    return true;
}

// "auto", or a width and a height: "1280x960" ('x' or 'X', spaces allowed around it).
bool ReadWindow(const std::string& value, WindowSize* out) {
    if (Same(value, "auto")) return *out = WindowSize{}, true;
    const size_t x = value.find_first_of("xX");
    if (x == std::string::npos) return false;
    std::string width = value.substr(0, x);
    std::string height = value.substr(x + 1);
    for (std::string* side : {&width, &height}) {
        size_t begin = 0;
        size_t end = side->size();
        TrimSpan(side->c_str(), &begin, &end);
        *side = side->substr(begin, end - begin);
    }
    WindowSize size;
    if (!ReadNumber(width, kMinWindowWidth, kMaxWindowSide, &size.width) ||
        !ReadNumber(height, kMinWindowHeight, kMaxWindowSide, &size.height)) {
        return false;
    }
    *out = size;
    return true;
}

// What the game keeps `code` for, or nullptr when it keeps it for nothing.
const char* ReservedUse(uint8_t code) {
    for (const ReservedKey& reserved : kReservedKeys) {
        if (code == reserved.code) return reserved.use;
    }
    return nullptr;
}

bool Reserved(uint8_t code) { return ReservedUse(code) != nullptr; }

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

bool KnownSection(const std::string& name) {
    for (int i = 0; i < kSettingCount; ++i)
        if (Same(name, kSettingTable[i].section)) return true;
    return false;
}

// What each type of setting takes, for messages and --help.

// Reads `value` into the setting's place in `settings`; false with what
// was wrong in `why`.
bool ReadValue(const SettingInfo& setting, const std::string& value, Settings* settings, std::string* why) {
    void* field = setting.field(*settings);
    const std::string quoted = Quoted(value);
    const std::string must = std::string(setting.name) + " must be " + SettingValues(setting.type) + ", not " + quoted;
    switch (setting.type) {
    case SettingType::Screen: {
        bool on = false;
        if (!ReadSwitch(value, &on)) return *why = must, false;
        *static_cast<int*>(field) = on ? 1 : 0;
        return true;
    }
    case SettingType::Switch:
        if (!ReadSwitch(value, static_cast<bool*>(field))) return *why = must, false;
        return true;
    case SettingType::Scale:
        for (const ScaleMode mode : {ScaleMode::Auto, ScaleMode::Integer, ScaleMode::Fit}) {
            if (Same(value, ScaleName(mode))) return *static_cast<ScaleMode*>(field) = mode, true;
        }
        return *why = must, false;
    case SettingType::Window:
        if (!ReadWindow(value, static_cast<WindowSize*>(field))) return *why = must, false;
        return true;
    case SettingType::Volume:
        if (!ReadNumber(value, 0, 100, static_cast<int*>(field))) return *why = must, false;
        return true;
    case SettingType::Key: {
        const uint8_t code = DikFromKeyName(value.c_str());
        if (code == 0) return *why = "no key is called " + quoted, false;
        if (Reserved(code)) return *why = quoted + " is the game's own key and cannot steer", false;
        *static_cast<uint8_t*>(field) = code;
        return true;
    }
    case SettingType::PadButton: {
        const int button = PadButtonFromName(value.c_str());
        if (button < 0) return *why = "no gamepad button is called " + quoted, false;
        *static_cast<int8_t*>(field) = static_cast<int8_t>(button);
        return true;
    }
    case SettingType::Port:
        if (!ReadNumber(value, 1, 65535, static_cast<int*>(field))) return *why = must, false;
        return true;
    case SettingType::Delay:
        if (!ReadNumber(value, 0, kMaxInputDelay, static_cast<int*>(field))) return *why = must, false;
        return true;
    case SettingType::Text:
        if (!ReadText(value, static_cast<char*>(field), kNetAddressBytes))
            return *why = must + " (printable, at most " + std::to_string(kNetAddressBytes - 1) + " characters)", false;
        return true;
    }
    return false;
}

}  // namespace

std::string SettingValueText(const SettingInfo& setting, const Settings& settings) {
    Settings copy = settings;
    const void* field = setting.field(copy);
    switch (setting.type) {
    case SettingType::Screen: {
        const int on = *static_cast<const int*>(field);
        return on < 0 ? "" : on ? "yes" : "no";
    }
    case SettingType::Switch:
        return *static_cast<const bool*>(field) ? "yes" : "no";
    case SettingType::Scale:
        return ScaleName(*static_cast<const ScaleMode*>(field));
    case SettingType::Window: {
        const WindowSize& size = *static_cast<const WindowSize*>(field);
        if (size.width <= 0 || size.height <= 0) return "auto";
        return std::to_string(size.width) + "x" + std::to_string(size.height);
    }
    case SettingType::Volume:
        return std::to_string(*static_cast<const int*>(field));
    case SettingType::Key:
        return DikKeyName(*static_cast<const uint8_t*>(field));
    case SettingType::PadButton:
        return PadButtonName(*static_cast<const int8_t*>(field));
    case SettingType::Port:
    case SettingType::Delay:
        return std::to_string(*static_cast<const int*>(field));
    case SettingType::Text:
        return std::string("\"") + static_cast<const char*>(field) + "\"";
    }
    return "";
}

int FindSetting(const char* section, const char* name) {
    for (int i = 0; i < kSettingCount; ++i) {
        if (std::strcmp(kSettingTable[i].section, section) == 0 && std::strcmp(kSettingTable[i].name, name) == 0) {
            return i;
        }
    }
    return -1;
}

bool PlayKeyAllowed(const PlayKeys& keys, int player, int action, uint8_t code, std::string* why) {
    static const char* const kActionNames[kPlayKeyCount] = {"left", "right", "warp", "jump", "boost", "brake"};
    const std::string name = std::string("\"") + DikKeyName(code) + "\"";
    if (code == 0 || DikKeyName(code)[0] == '\0') return *why = "that key has no name here", false;
    if (Reserved(code)) return *why = name + " cannot steer: the game keeps it for " + ReservedUse(code), false;
    for (int p = 0; p < 2; ++p) {
        for (int a = 0; a < kPlayKeyCount; ++a) {
            if ((p == player && a == action) || keys.code[p][a] != code) continue;
            *why = name + " is player " + std::to_string(p + 1) + "'s " + kActionNames[a];
            return false;
        }
    }
    return true;
}

namespace {

void ReadEntry(const std::string& section, const std::string& key, const std::string& value, int line,
               Settings* settings, Faults* faults) {
    if (section.empty()) {
        faults->Add(line, Quoted(key) + " comes before any [section]");
        return;
    }
    if (!KnownSection(section)) return;  // already reported at the section's name
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingInfo& setting = kSettingTable[i];
        if (!Same(section, setting.section) || !Same(key, setting.name)) continue;
        std::string why;
        if (!ReadValue(setting, value, settings, &why)) faults->Add(line, why);
        return;
    }
    faults->Add(line, "unknown setting " + Quoted(key));
}

}  // namespace

bool ParseSettings(const char* text, size_t size, Settings* settings, std::vector<std::string>* problems) {
    Faults faults;
    // Read into a copy: the keys and buttons count only when no two actions share one.
    Settings read = *settings;
    std::string section;  // "" before the first [section]
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
            section.assign(1, ']');  // no section has that name: its lines pass unread
            break;
        case LineKind::Section: {
            section.assign(text + line.nameBegin, line.nameEnd - line.nameBegin);
            if (!KnownSection(section)) faults.Add(number, "unknown section [" + Printable(section) + "]");
            break;
        }
        case LineKind::NoEquals:
            faults.Add(number, "expected name = value");
            break;
        case LineKind::Entry:
            ReadEntry(section, std::string(text + line.nameBegin, line.nameEnd - line.nameBegin),
                      std::string(text + line.valueBegin, line.valueEnd - line.valueBegin), number, &read, &faults);
            break;
        }
    }
    const PlayKeys& keys = read.keys;
    const PadBindings& pad = read.pad;
    const PlayKeys keysBefore = settings->keys;
    const PadBindings padBefore = settings->pad;
    *settings = read;

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
    if (clash) settings->keys = keysBefore;
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
    if (clash) settings->pad = padBefore;

    if (problems != nullptr) *problems = faults.Shown();
    return faults.count == 0;
}

std::string FormatSettings(const Settings& settings) {
    std::string text =
        "# VoidCrawl settings. When the game changes a setting (Alt+Enter or F11\n"
        "# switches full screen) it rewrites that line alone; command-line options\n"
        "# win over this file.\n";
    const char* section = "";
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingInfo& setting = kSettingTable[i];
        const std::string value = SettingValueText(setting, settings);
        if (value.empty()) continue;  // full screen, not chosen
        if (std::strcmp(section, setting.section) != 0) {
            section = setting.section;
            text += std::string("\n[") + section + "]\n";
        }
        // The setting's help, a comment line for each of its lines.
        for (const char* help = setting.help; *help != '\0';) {
            const char* end = std::strchr(help, '\n');
            if (end == nullptr) end = help + std::strlen(help);
            text += "# " + std::string(help, end) + "\n";
            help = *end ? end + 1 : end;
        }
        text += std::string(setting.name) + " = " + value + "\n";
    }
    return text;
}

std::string SettingsHelp() {
    std::string text;
    Settings defaults;
    defaults.fullscreen = 1;  // not chosen: full screen
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingInfo& setting = kSettingTable[i];
        const std::string section = std::string("[") + setting.section + "]";
        char line[160];
        std::snprintf(line, sizeof line, "  %-9s %-10s %s (default: %s)\n", section.c_str(), setting.name,
                      SettingValues(setting.type), SettingValueText(setting, defaults).c_str());
        text += line;
    }
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
        if (at >= changed.size() || changed[at] != '\n') changed += lineEnd;  // the last line is not blank already
    }
    return changed + "[" + section + "]" + lineEnd + entry;
}

namespace {

struct SettingEdit {
    const char* section;
    const char* key;
    std::string value;
};

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
        text = FormatSettings(fresh);
        for (const SettingEdit& edit : edits) text = SetSettingInText(text, edit.section, edit.key, edit.value);
        break;
    case ReadStatus::Malformed:
    case ReadStatus::Refused:
        // What could not be read is never written over.
        if (error != nullptr) *error = reason;
        return false;
    case ReadStatus::Read:
        for (const SettingEdit& edit : edits) text = SetSettingInText(text, edit.section, edit.key, edit.value);
        break;
    }
    SaveResult saved;
    if (SaveBytes(path, text.data(), text.size(), &saved)) return true;
    if (error != nullptr) *error = saved.reason;
    return false;
}

}  // namespace

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

HostOptions ChooseHostOptions(const Settings& file, const HostOptions& line, bool windowedByEnvironment) {
    HostOptions options = line;
    if (options.fullscreen < 0) options.fullscreen = windowedByEnvironment ? 0 : file.fullscreen;
    if (options.scale == ScaleMode::Auto) options.scale = file.scale;
    options.mute = line.mute || file.mute;
    options.volume = file.volume;
    options.window = file.window;
    options.playKeys = file.keys;
    options.padBindings = file.pad;
    options.rumble = file.rumble;
    return options;
}

Settings SettingsInForce(const Settings& file, const HostOptions& chosen) {
    Settings inForce = file;
    inForce.fullscreen = chosen.fullscreen;
    inForce.scale = chosen.scale;
    inForce.mute = chosen.mute;
    return inForce;
}
