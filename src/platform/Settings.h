#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/DisplaySettings.h"
#include "platform/IniText.h"
#include "platform/KeyCodes.h"
#include "platform/NetDefaults.h"
#include "platform/PadMapper.h"
#include "platform/WorldLink.h"

// The player's settings: one type, Settings, for the settings file, what
// the command line chooses over it, what the host puts in force and what
// the game changes in play. Each setting is one row of kSettingTable
// (Settings.cpp: its section, name, type, field and comment); reading the
// file, writing a new one, --help, the manual page and the README's sample
// all follow from that row.
//
// The file is settings.ini in the settings folder ($XDG_CONFIG_HOME/voidcrawl,
// else ~/.config/voidcrawl). A new one holds every setting at its default,
// with its comment, under a heading (FormatSettings; a test holds this copy
// and the README's to it). Its fullscreen, shown here as full screen, is
// there only once the player has chosen:
//
//   [display]
//   # yes or no; left out: full screen
//   fullscreen = yes
//   # auto, integer or fit, as --scale
//   scale = auto
//   # the window's size, as 1280x960; auto: fits the screen
//   window = auto
//
//   [sound]
//   # the master volume, 0 to 100
//   volume = 100
//   # yes or no; --mute also mutes
//   mute = no
//   # the main menu's hum, yes or no
//   hum = yes
//
//   [player1]
//   left = Left
//   right = Right
//   warp = Right Ctrl
//   jump = Right Shift
//   boost = Up
//   brake = Down
//
//   [player2]
//   left = A
//   right = D
//   warp = Left Ctrl
//   jump = Left Shift
//   boost = W
//   brake = S
//
//   [gamepad]
//   # buttons by SDL's names: a b x y back start leftshoulder rightshoulder
//   # leftstick rightstick dpup dpdown dpleft dpright
//   warp = b
//   jump = rightshoulder
//   boost = x
//   brake = y
//   # start: SPACE, a waiting worm starts; pause: Esc
//   start = a
//   pause = start
//   rumble = yes
//
//   [online]
//   # the UDP port a hosted game listens on
//   port = 7311
//   # the game last joined: a host name, IPv4 or IPv6 address, :PORT if not 7311
//   address = ""
//   # passes each side's keys wait, 0 to 4
//   delay = 2
//
//   [world]
//   # send my finished games to the world table, yes or no
//   send = no
//   # whether the game has asked once about sending
//   asked = no
//   # the world table's server, as https://scores.example.org; "" none
//   server = ""
//
// Lines starting with '#' or ';' are comments (IniText.h says how a line
// is read); whatever is missing or wrong keeps its default, and the reader
// names each problem on a line of its own.
//
// The game changes the file one line at a time (SaveSettingChanges: Alt+Enter
// and F11, the options screen, a resized window): only the value after that
// line's '=' is rewritten, or the line is added under its section (the
// section at the end when missing), and every other byte stays as the
// player wrote it. A file that cannot be read is never written over.

struct Settings {
    int fullscreen = -1;  // -1 not chosen (full screen), 0 a window, 1 full screen
    ScaleMode scale = ScaleMode::Auto;
    WindowSize window;  // the window's size when not full screen
    int volume = 100;   // the master volume, 0 to 100
    bool mute = false;
    bool hum = true;
    PlayKeys keys = kDefaultPlayKeys;  // also what a pad presses for each player
    PadBindings pad = kDefaultPadBindings;
    bool rumble = true;
    // Online play as the TWO PLAYERS screen last chose it.
    int onlinePort = kNetDefaultPort;
    char onlineAddress[kNetAddressBytes] = {};
    int inputDelay = kDefaultInputDelay;
    // The world table: sending only once the player turned it on.
    bool worldSend = false;
    bool worldAsked = false;                    // the game has asked once whether to send
    char worldServer[kWorldAddressBytes] = {};  // "" none
};

inline constexpr const char kSettingsFileName[] = "settings.ini";
// The player's own gamepad mappings, beside the settings file.
inline constexpr const char kPadMappingFileName[] = "gamecontrollerdb.txt";

// What a setting takes: Screen is yes or no, or not chosen (-1); Text is
// printable ASCII (a char array of kNetAddressBytes), written in quotes;
// Url is a server's address (a char array of kWorldAddressBytes: empty, or
// as IsWorldAddress takes it), written in quotes.
enum class SettingType { Screen, Switch, Scale, Window, Volume, Key, PadButton, Port, Delay, Text, Url };

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

// ---- values (SettingValues.cpp) ----------------------------------------

// The setting's value in `settings` as the file spells it ("yes", "Right
// Ctrl", "1280x960"); "" for a full-screen choice not made.
std::string SettingValueText(const SettingInfo& setting, const Settings& settings);

// Reads `value` (trimmed, as the file spells it) into the setting's place
// in `settings`; false, with what was wrong in `why` for the player, when
// it cannot be used. A key the game keeps for itself is refused.
bool ReadSettingValue(const SettingInfo& setting, const std::string& value, Settings* settings, std::string* why);

// What a setting of `type` takes, in words ("yes or no", "0 to 100").
const char* SettingValues(SettingType type);

// Whether `code` may steer `action` of `player` (0 or 1) with the other
// eleven play keys as in `keys`: false, with the reason for the player in
// `why`, for a key the game keeps for itself or one another action has.
bool PlayKeyAllowed(const PlayKeys& keys, int player, int action, uint8_t code, std::string* why);

// ---- text (Settings.cpp) -----------------------------------------------

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

// ---- the file (SettingsFile.cpp) ---------------------------------------

// Reads the file at `path`. A missing file gives the defaults and no
// problems; a file that cannot be read (not a plain file, no permission,
// over 64 KiB) gives the defaults and false with that one problem; a broken
// one gives the defaults for what could not be used, and false with the
// problems of ParseSettings, each led by the path (the count of the rest
// is not).
bool LoadSettings(const char* path, Settings* settings, std::vector<std::string>* problems);

// Saves every setting whose value differs between `before` and `after`
// into the file at `path` (SetSettingInText), in one save under the
// folder's save lock, so another copy of the game changing the file at the
// same time keeps its change. A file that cannot be read is left as it is;
// a missing file is made whole from the defaults with the changes in it.
// True when nothing differs.
bool SaveSettingChanges(const char* path, const Settings& before, const Settings& after, std::string* error);

// The settings file's path for this process's environment.
bool FindSettingsPath(std::string* path, std::string* error);

// The file `name` in the settings file's folder; "" when `settingsPath` is.
std::string BesideSettings(const std::string& settingsPath, const char* name);

// ---- this run (Settings.cpp) -------------------------------------------

// Any value but empty or "0" starts in a window: over the file's
// fullscreen, under --windowed and --fullscreen.
inline constexpr const char kWindowedVariable[] = "VOIDCRAWL_WINDOWED";

// What the command line chose for this run alone: it wins over the file
// and is never kept in it.
struct RunChoices {
    int fullscreen = -1;                        // --windowed 0, --fullscreen 1; -1 not given
    ScaleMode scale = ScaleMode::Auto;          // --scale; Auto: not given
    bool mute = false;                          // --mute (the file's mute holds without it)
    int inputDelay = -1;                        // --delay; -1 not given: the settings' delay
    char worldServer[kWorldAddressBytes] = {};  // --world-server; "" not given
};

// The settings in force for this run: the file's, with the command line's
// choices over them, and a window where the environment asks for one
// (`windowedByEnvironment`, from kWindowedVariable) and neither --windowed
// nor --fullscreen was given.
Settings SettingsForRun(const Settings& file, const RunChoices& run, bool windowedByEnvironment);
