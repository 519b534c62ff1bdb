#pragma once
#include <cstdio>
#include <string>

// The player's own folder: where the game keeps what it writes (high-score
// tables, screen dumps), apart from its read-only data. By the XDG rules it
// is $XDG_DATA_HOME/voidcrawl, or ~/.local/share/voidcrawl when
// XDG_DATA_HOME is unset, empty or relative.
//
// Until SetUserDir names one, the user folder is the working folder (the
// data folder), as the headless runner and the tests use it.

constexpr int kMaxUserPath = 4096;

// The rule alone: the folder from the values of XDG_DATA_HOME and HOME
// (either may be null). False, with `error` saying why, when neither gives
// an absolute path.
bool ChooseUserDataDir(const char* xdgDataHome, const char* home, std::string* dir, std::string* error);

// The same rule for settings: $XDG_CONFIG_HOME/voidcrawl, else
// ~/.config/voidcrawl.
bool ChooseUserConfigDir(const char* xdgConfigHome, const char* home, std::string* dir, std::string* error);

// The rules applied to this process's environment (falling back on the
// password database when HOME is unset).
bool FindUserDataDir(std::string* dir, std::string* error);
bool FindUserConfigDir(std::string* dir, std::string* error);

// Names the user folder; null or empty: the working folder. Paths longer
// than kMaxUserPath are refused (false), and the folder named before stays.
bool SetUserDir(const char* dir);
// The folder set, "" for the working folder.
const char* GetUserDir();

// Names the user folder for a scope (a runner's run, a test) and puts the
// one before back at its end.
class ScopedUserDir {
public:
    explicit ScopedUserDir(const std::string& dir) : before_(GetUserDir()) { SetUserDir(dir.c_str()); }
    ~ScopedUserDir() { SetUserDir(before_.c_str()); }
    ScopedUserDir(const ScopedUserDir&) = delete;
    ScopedUserDir& operator=(const ScopedUserDir&) = delete;

private:
    std::string before_;
};

// Finds the player's folder and makes it the user folder; when there is
// none it says so on stderr and keeps the working folder. A folder whose
// path is too long is refused instead (UserDirRefusal). The folder itself
// is only created when the game first writes there.
void SetUpUserDir();

// The path of the game file `name` ("teasy.dat") in the user folder, into
// `out` (`outSize` bytes). False when it does not fit, or when the user
// folder is refused.
bool UserFilePath(const char* name, char* out, int outSize);

// Creates the folder `dir` and any missing parents. False, with the folder
// and the reason in `reason`, when that fails.
bool MakeFolders(const char* dir, char* reason, int reasonSize);

// Why the player's folder cannot be used ("" while it can): set when the
// folder the environment names is too long a path. Nothing is then saved,
// rather than saved somewhere the player would not look.
const char* UserDirRefusal();
