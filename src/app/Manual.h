#pragma once
#include <string>

// What a player reads about the game, kept in one place: --help, the
// manual page (voidcrawl.6) and the README's tables are all made from
// these rows and from kOptionTable and kSettingTable (tools/mkman writes the
// manual page and checks the README). Text may hold `literal` spans, which
// the README shows as code and the manual page in bold.

// One play action and what does it by default.
struct ControlInfo {
    const char* action;   // "warp gate"
    const char* player1;  // "right Ctrl"
    const char* player2;  // "left Ctrl"
    const char* pad;      // "B"
};
extern const ControlInfo kControlTable[];
extern const int kControlCount;

// A key outside the play keys, and what it does.
struct OtherKeyInfo {
    const char* key;
    const char* help;
};
extern const OtherKeyInfo kOtherKeyTable[];
extern const int kOtherKeyCount;

// An environment variable the game reads.
struct EnvironmentInfo {
    const char* name;
    const char* help;
};
extern const EnvironmentInfo kEnvironmentTable[];
extern const int kEnvironmentCount;

// A file the game writes, and where.
struct FileInfo {
    const char* path;
    const char* help;
};
extern const FileInfo kFileTable[];
extern const int kFileCount;

// An exit status of the game.
struct ExitStatusInfo {
    int status;
    const char* help;
};
extern const ExitStatusInfo kExitStatusTable[];
extern const int kExitStatusCount;

// The controls as --help lists them: the keyboard's, the gamepad's, then
// the other keys.
std::string ControlsHelp();

// "0 done, 1 start-up failed, 2 bad command line." for --help.
std::string ExitStatusHelp();
