#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "FuzzTargets.h"
#include "app/Game.h"
#include "gfx/Display.h"
#include "gfx/ImageLoader.h"
#include "hosts/headless/HeadlessHost.h"
#include "io/Input.h"
#include "io/SoundBank.h"

#ifndef VC_DATA_DIR
#define VC_DATA_DIR ""
#endif

namespace {

std::string workDir;
bool removeWorkDir = false;
pid_t workDirOwner = 0;

// Only the process that made the folder removes it (a forked child that
// exits must leave it to its parent).
void RemoveWorkDir() {
    if (!removeWorkDir || getpid() != workDirOwner) return;
    std::error_code ec;
    std::filesystem::current_path("/", ec);
    std::filesystem::remove_all(workDir, ec);
}

}  // namespace

void FuzzFail(const char* file, int line, const char* what) {
    // Straight to the descriptor: the game's stream may be silenced.
    char text[512];
    const int n = std::snprintf(text, sizeof text, "%s:%d: broken rule: %s\n", file, line, what);
    if (n > 0) {
        const ssize_t ignored = write(2, text, static_cast<size_t>(n) < sizeof text ? n : sizeof text - 1);
        (void)ignored;
    }
    std::abort();
}

const char* FuzzWorkDir() {
    if (!workDir.empty()) return workDir.c_str();
    namespace fs = std::filesystem;
    std::error_code ec;
    if (const char* given = std::getenv("VC_FUZZ_WORK"); given && *given) {
        fs::create_directories(given, ec);
        workDir = fs::absolute(given, ec).string();
    } else {
        const fs::path base = fs::temp_directory_path(ec);
        std::string pattern = (base.empty() ? std::string("/tmp") : base.string()) + "/vc-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) FuzzFail(__FILE__, __LINE__, "no scratch folder can be made");
        workDir = pattern;
        removeWorkDir = true;
        workDirOwner = getpid();
        std::atexit(RemoveWorkDir);
    }
    if (workDir.empty() || !fs::is_directory(workDir, ec)) FuzzFail(__FILE__, __LINE__, "no scratch folder");
    if (workDir.back() != '/') workDir += '/';
    return workDir.c_str();
}

Game& FuzzGame() {
    static Game* game = nullptr;
    if (game) return *game;
    namespace fs = std::filesystem;
    const char* env = std::getenv("VC_FUZZ_DATA");
    const fs::path source = env && *env ? fs::path(env) : fs::path(VC_DATA_DIR);
    std::error_code ec;
    if (source.empty() || !fs::is_directory(source / "grafik", ec)) {
        std::fprintf(stderr, "fuzz: no data set at '%s' (set VC_FUZZ_DATA)\n", source.c_str());
        FuzzFail(__FILE__, __LINE__, "the data set is missing");
    }
    const fs::path copy = fs::path(FuzzWorkDir()) / "data";
    fs::remove_all(copy, ec);
    fs::copy(source, copy, fs::copy_options::recursive, ec);
    if (ec) FuzzFail(__FILE__, __LINE__, "the data set cannot be copied");
    fs::current_path(copy, ec);
    if (ec) FuzzFail(__FILE__, __LINE__, "cannot enter the copy of the data set");

    static HeadlessHost host;
    SetHost(&host);
    imageLoadFailed = displayFailed = soundFailed = soundLoadFailed = inputFailed = false;
    game = new Game();
    game->useSeed = true;
    game->seed = 1;
    if (!game->Init()) FuzzFail(__FILE__, __LINE__, "the game does not start on the data set");
    return *game;
}
