#pragma once
#include <string>

#include "net/NetLink.h"
#include "platform/Settings.h"

// The game's command line:
//   voidcrawl [--help] [--version] [--windowed | --fullscreen]
//             [--scale integer|fit] [--data DIR] [--mute] [--replay FILE]
//             [--host [PORT] | --join HOST[:PORT] | --room new|CODE |
//              --quick-match] [--watch CODE] [--delay PASSES]
//             [--world-server URL]
// Options that take a value accept "--opt VALUE" and "--opt=VALUE". Read in
// order; --help, --version or the first mistake ends the reading.

// The build's version (CMake's project version).
inline constexpr const char kGameVersion[] = VC_VERSION;

// One row of the options: the reader, --help, the manual page and the
// README's table are all made from kOptionTable.
struct OptionInfo {
    const char* name;   // "--scale"
    const char* value;  // what follows it ("DIR", or one choice: "fit"); "" takes none
    const char* help;   // what it does; further lines after '\n'
};
extern const OptionInfo kOptionTable[];
extern const int kOptionCount;

enum class CommandAction {
    Play,     // start the game with `run` and `dataDir`
    Help,     // print CommandLineHelp() to stdout, exit 0
    Version,  // print "VoidCrawl <kGameVersion>" to stdout, exit 0
    Error,    // print `error` and CommandLineUsage() to stderr, exit 2
};

struct CommandLine {
    CommandAction action = CommandAction::Play;
    RunChoices run;          // over the settings file's, for this run alone
    std::string dataDir;     // empty: search the usual places
    std::string replayPath;  // a replay to watch instead of the menu; empty: none
    std::string error;       // one line, for CommandAction::Error
    // Online play: host on `hostPort`, or join `joinAddress` ("HOST[:PORT]").
    bool hostGame = false;
    uint16_t hostPort = kNetDefaultPort;
    std::string joinAddress;
    // ... or through a room of the world table's server: a new one, the one
    // of `roomCode` (upper case), or a quick match.
    bool room = false;
    NetRoomMode roomMode = NetRoomMode::Create;
    std::string roomCode;
    // A room's game to watch as it is played (upper case); empty: none.
    std::string watchCode;
};

CommandLine ParseCommandLine(int argc, const char* const* argv);

// The synopsis ("voidcrawl [--help] ... [--mute]", without "usage: ").
std::string CommandLineSynopsis();

// The synopsis and the options.
std::string CommandLineUsage();

// The usage, where the data is looked for, and the controls.
std::string CommandLineHelp();
