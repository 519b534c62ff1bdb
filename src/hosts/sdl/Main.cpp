// VoidCrawl: the game's entry point. The command line is read before anything
// else, so --help, --version and mistakes answer without a display.
#include <limits.h>
#include <stdlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/FrameLoop.h"
#include "app/Game.h"
#include "app/Replay.h"
#include "hosts/desktop/DesktopWorldLink.h"
#include "hosts/sdl/SdlGpuProbe.h"
#include "hosts/sdl/SdlHost.h"
#include "net/NetResolver.h"
#include "net/RoomServer.h"
#include "net/UdpLink.h"
#include "platform/DataDir.h"
#include "platform/Environment.h"
#include "platform/Host.h"
#include "platform/Settings.h"
#include "platform/UserDir.h"

namespace {
Game game;  // large: it holds every screen and the worms

// A replay file named on the command line, whole.
std::vector<uint8_t> replayBytes;

// The exit status of a run that ends before the game starts: none for a
// command line that asks to play.
constexpr int kGoOn = -1;
constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitBadCommandLine = 2;

// --help, --version and a mistake answer here.
int AnswerWithoutPlaying(const CommandLine& line) {
    switch (line.action) {
    case CommandAction::Help:
        std::fputs(CommandLineHelp().c_str(), stdout);
        return kExitDone;
    case CommandAction::Version:
        std::printf("VoidCrawl %s\n", kGameVersion);
        return kExitDone;
    case CommandAction::Error:
        std::fprintf(stderr, "voidcrawl: %s\n%s", line.error.c_str(), CommandLineUsage().c_str());
        return kExitBadCommandLine;
    case CommandAction::Play:
        break;
    }
    return kGoOn;
}

// The replay the command line names, read whole before the data folder
// becomes the working folder.
struct ReplayArgument {
    ReplayHeader header;
    const uint8_t* tape = nullptr;  // null: no replay to watch
    char where[PATH_MAX] = {};      // where it lies ("" unknown)
};

bool ReadReplayArgument(const std::string& path, ReplayArgument* replay) {
    if (path.empty()) return true;
    replayBytes.resize(kReplayFileCapacity);
    size_t size = 0;
    ReadError why;
    if (!ReadReplayFile(path.c_str(), replayBytes.data(), &size, &replay->header, &replay->tape, &why)) {
        std::fprintf(stderr, "voidcrawl: cannot play the replay '%s': %s\n", path.c_str(), why.reason);
        return false;
    }
    if (realpath(path.c_str(), replay->where) == nullptr) replay->where[0] = '\0';
    return true;
}

// Watches the replay read, once the data it needs is in place.
bool WatchReplayArgument(const std::string& path, const ReplayArgument& replay) {
    if (replay.tape == nullptr) return true;
    char why[256];
    if (!ReplayFitsThisGame(replay.header, PlayDataHash(), why, sizeof why)) {
        std::fprintf(stderr, "voidcrawl: cannot play the replay '%s': %s\n", path.c_str(), why);
        return false;
    }
    game.WatchReplay(replay.header, replay.tape);
    // A replay of the replay folder that verifies joins the checked results.
    char folderName[kReplayNameSize];
    if (replay.where[0] != '\0' && ReplayFolderName(replay.where, folderName))
        game.NoteReplaySource(folderName, replayBytes.data(), replayBytes.size());
    return true;
}

// The player's settings file's; a broken file costs a warning line per
// problem, never the start. `path` is where it is ("" none found).
Settings LoadPlayerSettings(std::string* path) {
    Settings settings;
    std::string error;
    std::vector<std::string> problems;
    if (!FindSettingsPath(path, &error)) {
        problems.push_back(error);
    } else {
        LoadSettings(path->c_str(), &settings, &problems);
    }
    for (const std::string& problem : problems) std::fprintf(stderr, "voidcrawl: settings: %s\n", problem.c_str());
    return settings;
}

// A room's server is the world table's (`worldServer`), looked up now as
// an address to join is.
bool PrepareRoom(const CommandLine& line, const char* worldServer, int delay, UdpLink* link) {
    char host[kNetHostNameBytes];
    uint16_t port = 0;
    char why[kNetHostNameBytes + 96];
    if (!LookUpRoomServer(worldServer, host, sizeof host, &port, why, sizeof why)) {
        std::fprintf(stderr, "voidcrawl: cannot reach the room server: %s\n", why);
        return false;
    }
    game.online.AskRoom(line.roomMode, line.roomCode.c_str(), host, port, delay, link);
    return true;
}

// Online play over UDP: TWO PLAYERS hosts or joins as the command line
// asked (an address, or a room), or else asks where the two players play.
// The address to join is looked up now: one that cannot be found is said
// before the window opens.
bool PrepareOnlinePlay(const CommandLine& line, const Settings& inForce) {
    static UdpLink link;
    game.online.link = &link;
    const int delay = inForce.inputDelay;
    if (line.room) return PrepareRoom(line, inForce.worldServer, delay, &link);
    NetResolver joinAt;
    if (!line.joinAddress.empty() &&
        (!joinAt.Start(line.joinAddress.c_str()) || joinAt.WaitForAnswer() != NetResolver::State::Done)) {
        std::fprintf(stderr, "voidcrawl: cannot join '%s': %s\n", line.joinAddress.c_str(), joinAt.Failure());
        return false;
    }
    if (line.hostGame || !line.joinAddress.empty())
        game.online.Ask(line.hostGame ? OnlinePlay::Role::Host : OnlinePlay::Role::Join, line.hostPort,
                        joinAt.Numeric(), delay, &link);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // The window's GPU question, asked of this program started again.
    if (GpuProbeAsked()) return RunGpuProbe();
    const CommandLine line = ParseCommandLine(argc, argv);
    const int answered = AnswerWithoutPlaying(line);
    if (answered != kGoOn) return answered;
    ReplayArgument replay;
    if (!ReadReplayArgument(line.replayPath, &replay)) return kExitFailed;
    std::string dir;
    std::string error;
    if (!EnterDataDir(line.dataDir, argc > 0 ? argv[0] : nullptr, &dir, &error)) {
        std::fprintf(stderr, "voidcrawl: %s\n", error.c_str());
        return kExitFailed;
    }
    SetUpUserDir();  // high scores and dumps go to the player's own folder
    if (!WatchReplayArgument(line.replayPath, replay)) return kExitFailed;

    std::string settingsPath;
    const Settings file = LoadPlayerSettings(&settingsPath);
    // --delay holds for this run, the two-players screen's too.
    const Settings inForce = SettingsForRun(file, line.run, EnvironmentFlag(kWindowedVariable));
    game.match.SetPlayKeys(inForce.keys);
    if (!PrepareOnlinePlay(line, inForce)) return kExitFailed;

    Host* host = CreateSdlHost(inForce, settingsPath);
    if (!host) {
        std::fprintf(stderr, "voidcrawl: cannot create the window host\n");
        return kExitFailed;
    }
    // The world table's link, its outbox beside the settings file; it sends
    // nothing until the player turns sending on and a server is set.
    DesktopWorldLink::Options worldOptions;
    const size_t slash = settingsPath.rfind('/');
    if (slash != std::string::npos) worldOptions.folder = settingsPath.substr(0, slash);
    DesktopWorldLink world(worldOptions);
    host->UseWorld(&world);
    if (!line.watchCode.empty() && !game.WatchLive(&world, line.watchCode.c_str())) {
        std::fprintf(stderr, "voidcrawl: cannot watch the game %s: %s\n", line.watchCode.c_str(), game.live.Reason());
        host->UseWorld(nullptr);
        delete host;
        return kExitFailed;
    }
    const LoopEnd end = RunFrameLoop(*host, game, nullptr, nullptr);
    host->UseWorld(nullptr);
    delete host;
    return end == LoopEnd::StartupFailed ? kExitFailed : kExitDone;
}
