#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "platform/HostOptions.h"
#include "platform/KeyCodes.h"
#include "platform/NetDefaults.h"
#include "platform/PadMapper.h"

// The player's settings file, settings.ini in the settings folder
// ($XDG_CONFIG_HOME/voidcrawl, else ~/.config/voidcrawl):
//
//   [display]
//   fullscreen = yes        yes or no; left out: full screen
//   scale = auto            auto, integer or fit
//   window = auto           the window's size, 1280x960; auto: fits the screen
//   [sound]
//   volume = 100            0 to 100
//   mute = no               yes or no
//   hum = yes               the main menu's hum
//   [player1]               and [player2]: the play keys by key name
//   left = Left
//   right = Right
//   warp = Right Ctrl
//   jump = Right Shift
//   boost = Up
//   brake = Down
//   [gamepad]               buttons by SDL's names (a, b, x, y, back, start,
//   warp = b                leftshoulder, rightshoulder, leftstick,
//   jump = rightshoulder    rightstick, dpup, dpdown, dpleft, dpright)
//   boost = x
//   brake = y
//   start = a               SPACE: starts a waiting worm
//   pause = start           Esc
//   rumble = yes
//   [online]
//   port = 7311             the UDP port a hosted game listens on
//   address = ""            the game last joined, in quotes
//   delay = 2               the input delay, 0 to 4 passes
//
// Lines starting with '#' or ';' are comments; a UTF-8 byte-order mark
// before the first line is passed over. Whatever is missing or wrong keeps
// its default; the reader names each problem on a line of its own.
//
// The game changes the file one line at a time (SaveSettingChanges: Alt+Enter
// and F11, the options screen, a resized window): only the value after that
// line's '=' is rewritten, or the line is added under its section (the
// section at the end when missing), and every other byte stays as the
// player wrote it. A file that cannot be read is never written over.

struct Settings {
    int fullscreen = -1;  // -1 not given, 0 a window, 1 full screen
    ScaleMode scale = ScaleMode::Auto;
    WindowSize window;
    int volume = 100;
    bool mute = false;
    bool hum = true;
    PlayKeys keys = kDefaultPlayKeys;
    PadBindings pad = kDefaultPadBindings;
    bool rumble = true;
    // Online play as the TWO PLAYERS screen last chose it.
    int onlinePort = kNetDefaultPort;
    char onlineAddress[kNetAddressBytes] = {};
    int inputDelay = kDefaultInputDelay;
};

inline constexpr const char kSettingsFileName[] = "settings.ini";

// What a setting takes: Screen is yes or no, or not chosen (-1); Text is
// printable ASCII (a char array of kNetAddressBytes), written in quotes.
enum class SettingType { Screen, Switch, Scale, Window, Volume, Key, PadButton, Port, Delay, Text };

// One setting of the file. Adding a setting is a row of kSettingTable (and
// a field of Settings); reading, writing, --help and the README's sample
// file follow from it.
struct SettingInfo {
    const char* section;  // "display"
    const char* name;     // "fullscreen"
    SettingType type;
    void* (*field)(Settings& s);  // where the value lives, of the type's C++ type
    const char* help;             // the comment above it in a new file ("" none; lines split by '\n')
};
extern const SettingInfo kSettingTable[];
extern const int kSettingCount;

// The row of kSettingTable for `section` and `name` (as spelt there), or -1.
int FindSetting(const char* section, const char* name);

// The setting's value in `settings` as the file spells it ("yes", "Right
// Ctrl", "1280x960"); "" for a full-screen choice not made.
std::string SettingValueText(const SettingInfo& setting, const Settings& settings);

// What a setting of `type` takes, in words ("yes or no", "0 to 100").
const char* SettingValues(SettingType type);

// Whether `code` may steer `action` of `player` (0 or 1) with the other
// eleven play keys as in `keys`: false, with the reason for the player in
// `why`, for a key the game keeps for itself or one another action has.
bool PlayKeyAllowed(const PlayKeys& keys, int player, int action, uint8_t code, std::string* why);

// One line per setting for --help: section, name, what it takes, default.
std::string SettingsHelp();

// The most problems the reader names; one more line says how many others.
inline constexpr int kMaxSettingsProblems = 10;

// Reads settings from text (`size` bytes, any content). Every line that
// cannot be used keeps that setting's default; play keys that are reserved
// for the game (Esc, Space, 1, Y, N, F11, F12), unknown, or given to two
// actions leave all play keys at their defaults. Returns false when
// something was wrong, with one line per problem in `problems` ("line 4:
// ..."; at most kMaxSettingsProblems, then "... and N more problems").
// Text quoted from the file has its control characters shown as '?'.
bool ParseSettings(const char* text, size_t size, Settings* settings, std::vector<std::string>* problems);

// The file's text for `settings`, every key written out with comments.
std::string FormatSettings(const Settings& settings);

// Reads the file at `path`. A missing file gives the defaults and no
// problems; a file that cannot be read (not a plain file, no permission,
// over 64 KiB) gives the defaults and false with that one problem; a broken
// one gives the defaults for what could not be used, and false with the
// problems of ParseSettings, each led by the path (the count of the rest
// is not).
bool LoadSettings(const char* path, Settings* settings, std::vector<std::string>* problems);

// `text` with `key` in `[section]` (both without regard to case, as the
// reader takes them) set to `value`. The key's last line in the section
// (the reader takes the last) gets the new value in place of the old, its
// spelling and spacing kept; a missing key is added under the section's
// last line that is not blank or a comment, a missing section at the end
// after a blank line. Added lines end as the file's first line does
// ("\r\n" or "\n"). Every other byte is kept, a byte-order mark included.
std::string SetSettingInText(const std::string& text, const char* section, const char* key, const std::string& value);

// Saves every setting whose value differs between `before` and `after`
// into the file at `path` (SetSettingInText), in one save under the
// folder's save lock, so another copy of the game changing the file at the
// same time keeps its change. A file that cannot be read is left as it is; a missing file is made whole from the
// defaults with the changes in it. True when nothing differs.
bool SaveSettingChanges(const char* path, const Settings& before, const Settings& after, std::string* error);

// The settings file's path for this process's environment.
bool FindSettingsPath(std::string* path, std::string* error);

// What the host is to do: the command line's choices (`line`) win over the
// file's; VOIDCRAWL_WINDOWED (`windowedByEnvironment`) wins over the file's
// fullscreen.
HostOptions ChooseHostOptions(const Settings& file, const HostOptions& line, bool windowedByEnvironment);

// The settings in force once `chosen` (from ChooseHostOptions) is taken
// over the file's.
Settings SettingsInForce(const Settings& file, const HostOptions& chosen);
