#pragma once
#include <string>

// The game opens its data files by relative names ("grafik\..."), so it runs
// from the folder that holds them: the working directory when it has a
// grafik folder, otherwise the data folder beside the program itself.

// Finds that folder. argv0 is used only when /proc/self/exe cannot be read.
// On failure `error` says where it looked.
bool FindDataDir(const char* argv0, std::string* dir, std::string* error);

// FindDataDir, then makes the folder the working directory. `dir` may be null.
bool EnterDataDir(const char* argv0, std::string* dir, std::string* error);

// The rule itself: `workDir` when it holds grafik/, else `data` beside the
// program at `exePath` when that holds grafik/.
bool ChooseDataDir(const std::string& workDir, const std::string& exePath, std::string* dir,
                   std::string* error);
