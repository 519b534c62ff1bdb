// The settings' table, and the settings as text: read from a file's text,
// written as a new file, listed for --help; and the settings of this run.
#include "platform/Settings.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/KeyNames.h"
#include "platform/PrintableText.h"

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
    {"world", "send", SettingType::Switch, VC_FIELD(worldSend), "send my finished games to the world table, yes or no"},
    {"world", "asked", SettingType::Switch, VC_FIELD(worldAsked), "whether the game has asked once about sending"},
    {"world", "server", SettingType::Url, VC_FIELD(worldServer),
     "the world table's server, as https://scores.example.org; \"\" none"},
};
#undef VC_FIELD
const int kSettingCount = static_cast<int>(sizeof kSettingTable / sizeof kSettingTable[0]);

namespace {

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

bool Same(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

bool KnownSection(const std::string& name) {
    for (int i = 0; i < kSettingCount; ++i)
        if (Same(name, kSettingTable[i].section)) return true;
    return false;
}

void ReadEntry(const std::string& section, const std::string& key, const std::string& value, int line,
               Settings* settings, Faults* faults) {
    if (section.empty()) {
        faults->Add(line, PrintableQuoted(key) + " comes before any [section]");
        return;
    }
    if (!KnownSection(section)) return;  // already reported at the section's name
    for (int i = 0; i < kSettingCount; ++i) {
        const SettingInfo& setting = kSettingTable[i];
        if (!Same(section, setting.section) || !Same(key, setting.name)) continue;
        std::string why;
        if (!ReadSettingValue(setting, value, settings, &why)) faults->Add(line, why);
        return;
    }
    faults->Add(line, "unknown setting " + PrintableQuoted(key));
}

// Reads every line of the text into `settings`, each fault into `faults`.
void ReadLines(const char* text, size_t size, Settings* settings, Faults* faults) {
    std::string section;  // "" before the first [section]
    int number = 0;
    for (size_t at = IniFirstLine(text, size); at < size;) {
        const IniLine line = ReadIniLine(text, size, at);
        at = line.next;
        ++number;
        switch (line.kind) {
        case IniLineKind::Nothing:
            break;
        case IniLineKind::NotText:
            faults->Add(number, "not text");
            break;
        case IniLineKind::UnclosedSection:
            faults->Add(number, "a section name needs its closing ]");
            section.assign(1, ']');  // no section has that name: its lines pass unread
            break;
        case IniLineKind::Section:
            section.assign(text + line.nameBegin, line.nameEnd - line.nameBegin);
            if (!KnownSection(section)) faults->Add(number, "unknown section [" + Printable(section) + "]");
            break;
        case IniLineKind::NoEquals:
            faults->Add(number, "expected name = value");
            break;
        case IniLineKind::Entry:
            ReadEntry(section, std::string(text + line.nameBegin, line.nameEnd - line.nameBegin),
                      std::string(text + line.valueBegin, line.valueEnd - line.valueBegin), number, settings, faults);
            break;
        }
    }
}

// Whether two of the twelve actions share a key (the first such is a fault).
bool KeysClash(const PlayKeys& keys, Faults* faults) {
    for (int a = 0; a < 2 * kPlayKeyCount; ++a) {
        for (int b = a + 1; b < 2 * kPlayKeyCount; ++b) {
            const uint8_t codeA = keys.code[a / kPlayKeyCount][a % kPlayKeyCount];
            if (codeA != keys.code[b / kPlayKeyCount][b % kPlayKeyCount]) continue;
            faults->Add(0, std::string("\"") + DikKeyName(codeA) + "\" steers two actions; using the usual keys");
            return true;
        }
    }
    return false;
}

// Whether two pad actions share a button (the first such is a fault).
bool ButtonsClash(const PadBindings& pad, Faults* faults) {
    for (int a = 0; a < kPadActionCount; ++a) {
        for (int b = a + 1; b < kPadActionCount; ++b) {
            if (pad.button[a] != pad.button[b]) continue;
            faults->Add(0, std::string("gamepad button \"") + PadButtonName(pad.button[a]) +
                               "\" does two things; using the usual buttons");
            return true;
        }
    }
    return false;
}

}  // namespace

bool ParseSettings(const char* text, size_t size, Settings* settings, std::vector<std::string>* problems) {
    Faults faults;
    // Read into a copy: the keys and buttons count only when no two actions share one.
    Settings read = *settings;
    ReadLines(text, size, &read, &faults);
    if (KeysClash(read.keys, &faults)) read.keys = settings->keys;
    if (ButtonsClash(read.pad, &faults)) read.pad = settings->pad;
    *settings = read;
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

Settings SettingsForRun(const Settings& file, const RunChoices& run, bool windowedByEnvironment) {
    Settings inForce = file;
    inForce.fullscreen = run.fullscreen >= 0 ? run.fullscreen : windowedByEnvironment ? 0 : file.fullscreen;
    if (run.scale != ScaleMode::Auto) inForce.scale = run.scale;
    inForce.mute = run.mute || file.mute;
    if (run.inputDelay >= 0) inForce.inputDelay = run.inputDelay;
    if (run.worldServer[0] != '\0') std::memcpy(inForce.worldServer, run.worldServer, sizeof inForce.worldServer);
    return inForce;
}
