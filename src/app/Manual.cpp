#include "app/Manual.h"

#include <cstdio>

#include "platform/Settings.h"

const ControlInfo kControlTable[] = {
    {"turn left / right", "Left / Right", "A / D", "D-pad or left stick left / right"},
    {"warp gate", "right Ctrl", "left Ctrl", "B"},
    {"hyperspace jump (exit open)", "right Shift", "left Shift", "right shoulder"},
    {"boost / brake (charge held)", "Up / Down", "W / S", "X / Y"},
    {"start a waiting worm", "SPACE", "SPACE", "A"},
    {"freeze, \"EXIT Y/N\"", "Esc, then Y / N", "Esc, then Y / N", "Start, then A (yes) / B (no)"},
};
const int kControlCount = static_cast<int>(sizeof kControlTable / sizeof kControlTable[0]);

const OtherKeyInfo kOtherKeyTable[] = {
    {"Alt+Enter, F11", "switch between full screen and a window"},
    {"F12", "save a screenshot of the picture on show"},
    {"1 (held)", "write a screen dump (`ScrDump.raw` and `ScrDump.pal`)"},
    {"O", "open the options screen from the menu (a pad's Y too)"},
};
const int kOtherKeyCount = static_cast<int>(sizeof kOtherKeyTable / sizeof kOtherKeyTable[0]);

const EnvironmentInfo kEnvironmentTable[] = {
    {"VOIDCRAWL_DATA", "the game data folder when `--data` is not given"},
    {kWindowedVariable,
     "any value but empty or `0` starts in a window; wins over the settings file's `fullscreen`, "
     "`--fullscreen` wins over it"},
    {"XDG_CONFIG_HOME", "the settings folder is `$XDG_CONFIG_HOME/voidcrawl` (unset: `~/.config/voidcrawl`)"},
    {"XDG_DATA_HOME",
     "the player's folder for high scores and dumps is `$XDG_DATA_HOME/voidcrawl` (unset, empty or not "
     "absolute: `~/.local/share/voidcrawl`)"},
    {"XDG_PICTURES_DIR",
     "the pictures folder for screenshots (unset: the one `~/.config/user-dirs.dirs` names, else `~/Pictures`)"},
    {"HOME", "the home folder the folders above default to"},
    {"VOIDCRAWL_NO_MESSAGEBOX", "any value but empty or `0`: errors go to stderr alone, never to a message box"},
    {"VOIDCRAWL_PRESENT",
     "`surface` or `gpu`: how the picture reaches the window (unset: the GPU's renderer when there is a GPU "
     "that does the work off the CPU)"},
    {"VOIDCRAWL_HOST_STATS", "any value but empty or `0`: at the end, how many passes ran and how long each took"},
    {"SDL_AUDIODRIVER, SDL_VIDEODRIVER",
     "SDL's own choice of sound and video driver (`SDL_AUDIODRIVER=dummy` plays silent)"},
};
const int kEnvironmentCount = static_cast<int>(sizeof kEnvironmentTable / sizeof kEnvironmentTable[0]);

const FileInfo kFileTable[] = {
    {"`$XDG_CONFIG_HOME/voidcrawl/settings.ini` (`~/.config/voidcrawl/settings.ini`)",
     "the settings; a change made on the options screen, or by Alt+Enter or F11, rewrites that setting's line "
     "alone (the whole file is written only when there is none yet)"},
    {"`$XDG_DATA_HOME/voidcrawl/teasy.dat`, `tmed.dat`, `thard.dat` (`~/.local/share/voidcrawl/`)",
     "the high-score table of each difficulty (ten 32-byte records), the moment a game ends"},
    {"`$XDG_DATA_HOME/voidcrawl/ScrDump.raw`, `ScrDump.pal`",
     "the screen dump while `1` is held: 307,200 palette indices, top row first, and the palette as JASC-PAL "
     "text"},
    {"`PICTURES/VoidCrawl/voidcrawl-DATE-TIME.png`",
     "in the pictures folder (`$XDG_PICTURES_DIR`, else the one `~/.config/user-dirs.dirs` names, else "
     "`~/Pictures`): a screenshot at each press of F12, the 640x480 picture in its colours; an existing file is "
     "never replaced, and the window's title says for a few seconds where it went (or why it was not saved)"},
    {"`$XDG_DATA_HOME/voidcrawl/replays/YYYYMMDD-HHMMSS-NN.vcr`",
     "every game's replay (its input, a few KB to a few tens of KB), when the game-over table comes up and when "
     "the game is left; the newest 50 are kept, and older ones whose game is behind a high-score entry; "
     "other files there (a friend's replay, a link) are never deleted (docs/replay-format.md)"},
    {"`$XDG_DATA_HOME/voidcrawl/replay-results.dat`",
     "the results the game knows its replays reached (those it recorded, and those it verified): each file's "
     "name and a hash of its bytes; an entry of a table links only to a replay listed here with the same bytes"},
};
const int kFileCount = static_cast<int>(sizeof kFileTable / sizeof kFileTable[0]);

const ExitStatusInfo kExitStatusTable[] = {
    {0, "done"},
    {1, "start-up failed"},
    {2, "bad command line"},
};
const int kExitStatusCount = static_cast<int>(sizeof kExitStatusTable / sizeof kExitStatusTable[0]);

std::string ControlsHelp() {
    std::string text;
    char line[200];
    std::snprintf(line, sizeof line, "  %-29s %-16s %s\n", "", "Player 1", "Player 2");
    text += line;
    for (const ControlInfo& control : kControlTable) {
        std::snprintf(line, sizeof line, "  %-29s %-16s %s\n", control.action, control.player1, control.player2);
        text += line;
    }
    text += "\n  Gamepad\n";
    for (const ControlInfo& control : kControlTable) {
        std::snprintf(line, sizeof line, "  %-29s %s\n", control.action, control.pad);
        text += line;
    }
    text += "\n";
    for (const OtherKeyInfo& key : kOtherKeyTable) {
        std::string help;  // without the `literal` marks
        for (const char* c = key.help; *c != '\0'; ++c)
            if (*c != '`') help += *c;
        std::snprintf(line, sizeof line, "  %-29s %s\n", key.key, help.c_str());
        text += line;
    }
    return text;
}

std::string ExitStatusHelp() {
    std::string text;
    for (const ExitStatusInfo& exit : kExitStatusTable) {
        if (!text.empty()) text += ", ";
        text += std::to_string(exit.status) + " " + exit.help;
    }
    return text + ".";
}
