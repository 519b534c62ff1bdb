#pragma once
#include <string>

// The game opens its data files by relative names ("grafik\..."), so it runs
// from the folder that holds them. A folder counts as the data folder only
// when it holds a grafik folder. The places, in order:
//   1. the folder given on the command line (--data DIR),
//   2. $VOIDCRAWL_DATA,
//   3. the working directory,
//   4. data/ beside the program,
//   5. ../share/voidcrawl relative to the program,
//   6. the install prefix's data folder compiled into the program.
// A folder named by the player (1 or 2) that holds no data is an error of its
// own: the search does not go on past it.

struct DataDirPlaces {
    std::string given;       // --data; empty when not given
    std::string fromEnv;     // $VOIDCRAWL_DATA; empty when unset or empty
    std::string workDir;     // the working directory
    std::string exePath;     // the program's own path
    std::string installDir;  // compiled in; empty: none
};

// The rule itself. On failure `error` names the folder the player gave, or
// lists every place looked at, one per line.
bool ChooseDataDir(const DataDirPlaces& places, std::string* dir, std::string* error);

// The places of this process: `given`, the environment, the working
// directory, the program's path (argv0 only when /proc/self/exe cannot be
// read) and the compiled-in install folder.
DataDirPlaces ThisProcessDataDirPlaces(const std::string& given, const char* argv0);

// ChooseDataDir over this process's places, then makes the folder the working
// directory. `dir` may be null.
bool EnterDataDir(const std::string& given, const char* argv0, std::string* dir, std::string* error);
