#pragma once
#include <string>

#include "platform/HostOptions.h"

// The game's command line:
//   voidcrawl [--help] [--version] [--windowed | --fullscreen]
//             [--scale integer|fit] [--data DIR] [--mute]
// Options that take a value accept "--opt VALUE" and "--opt=VALUE". Read in
// order; --help, --version or the first mistake ends the reading.

inline constexpr const char kGameVersion[] = "1.0.0";

enum class CommandAction {
    Play,     // start the game with `host` and `dataDir`
    Help,     // print CommandLineHelp() to stdout, exit 0
    Version,  // print "VoidCrawl <kGameVersion>" to stdout, exit 0
    Error,    // print `error` and CommandLineUsage() to stderr, exit 2
};

struct CommandLine {
    CommandAction action = CommandAction::Play;
    HostOptions host;
    std::string dataDir;  // empty: search the usual places
    std::string error;    // one line, for CommandAction::Error
};

CommandLine ParseCommandLine(int argc, const char* const* argv);

// The synopsis and the options.
std::string CommandLineUsage();

// The usage, where the data is looked for, and the controls.
std::string CommandLineHelp();
