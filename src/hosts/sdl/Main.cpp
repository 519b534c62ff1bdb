// VoidCrawl: the game's entry point. The command line is read before anything
// else, so --help, --version and mistakes answer without a display.
#include <limits.h>
#include <stdlib.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/FrameLoop.h"
#include "app/Game.h"
#include "app/Replay.h"
#include "hosts/sdl/SdlGpuProbe.h"
#include "hosts/sdl/SdlHost.h"
#include "net/NetResolver.h"
#include "net/UdpLink.h"
#include "platform/DataDir.h"
#include "platform/Host.h"
#include "platform/Settings.h"
#include "platform/UserDir.h"

namespace {
Game game;  // large: it holds every screen and the worms

// A replay file named on the command line, whole.
std::vector<uint8_t> replayBytes;
}  // namespace

int main(int argc, char** argv) {
    // The window's GPU question, asked of this program started again.
    if (GpuProbeAsked()) return RunGpuProbe();
    const CommandLine line = ParseCommandLine(argc, argv);
    switch (line.action) {
    case CommandAction::Help:
        std::fputs(CommandLineHelp().c_str(), stdout);
        return 0;
    case CommandAction::Version:
        std::printf("VoidCrawl %s\n", kGameVersion);
        return 0;
    case CommandAction::Error:
        std::fprintf(stderr, "voidcrawl: %s\n%s", line.error.c_str(), CommandLineUsage().c_str());
        return 2;
    case CommandAction::Play:
        break;
    }
    // A replay is read before the data folder becomes the working folder.
    ReplayHeader replay;
    const uint8_t* replayTape = nullptr;
    if (!line.replayPath.empty()) {
        replayBytes.resize(kReplayFileCapacity);
        size_t size = 0;
        ReadError why;
        if (!ReadReplayFile(line.replayPath.c_str(), replayBytes.data(), &size, &replay, &replayTape, &why)) {
            std::fprintf(stderr, "voidcrawl: cannot play the replay '%s': %s\n", line.replayPath.c_str(), why.reason);
            return 1;
        }
    }
    // Where it lies, before the working folder changes.
    char replayWhere[PATH_MAX] = {};
    if (replayTape != nullptr && realpath(line.replayPath.c_str(), replayWhere) == nullptr) replayWhere[0] = '\0';
    std::string dir;
    std::string error;
    if (!EnterDataDir(line.dataDir, argc > 0 ? argv[0] : nullptr, &dir, &error)) {
        std::fprintf(stderr, "voidcrawl: %s\n", error.c_str());
        return 1;
    }
    SetUpUserDir();  // high scores and dumps go to the player's own folder
    if (replayTape != nullptr) {
        char why[256];
        if (!ReplayFitsThisGame(replay, PlayDataHash(), why, sizeof why)) {
            std::fprintf(stderr, "voidcrawl: cannot play the replay '%s': %s\n", line.replayPath.c_str(), why);
            return 1;
        }
        game.WatchReplay(replay, replayTape);
        // A replay of the replay folder that verifies joins the checked results.
        char folderName[kReplayNameSize];
        if (replayWhere[0] != '\0' && ReplayFolderName(replayWhere, folderName))
            game.NoteReplaySource(folderName, replayBytes.data(), replayBytes.size());
    }

    // The player's settings; a broken file costs a warning line per problem, never the start.
    Settings settings;
    std::string settingsPath;
    std::vector<std::string> problems;
    if (!FindSettingsPath(&settingsPath, &error)) {
        problems.push_back(error);
    } else {
        LoadSettings(settingsPath.c_str(), &settings, &problems);
    }
    for (const std::string& problem : problems) std::fprintf(stderr, "voidcrawl: settings: %s\n", problem.c_str());
    const char* windowed = std::getenv("VOIDCRAWL_WINDOWED");
    HostOptions options = ChooseHostOptions(
        settings, line.host, windowed != nullptr && windowed[0] != '\0' && std::strcmp(windowed, "0") != 0);
    options.settingsPath = settingsPath;
    if (!settingsPath.empty()) {
        options.padMappingPath = settingsPath.substr(0, settingsPath.rfind('/') + 1) + "gamecontrollerdb.txt";
    }
    game.match.SetPlayKeys(settings.keys);
    // Online play over UDP: TWO PLAYERS hosts or joins as the command line
    // asked, or else asks where the two players play. Without --delay the
    // settings' delay holds.
    static UdpLink link;
    game.online.link = &link;
    const int delay = line.inputDelay >= 0 ? line.inputDelay : settings.inputDelay;
    // The address to join is looked up now: one that cannot be found is
    // said before the window opens.
    NetResolver joinAt;
    if (!line.joinAddress.empty() &&
        (!joinAt.Start(line.joinAddress.c_str()) || joinAt.WaitForAnswer() != NetResolver::State::Done)) {
        std::fprintf(stderr, "voidcrawl: cannot join '%s': %s\n", line.joinAddress.c_str(), joinAt.Failure());
        return 1;
    }
    if (line.hostGame || !line.joinAddress.empty())
        game.online.Ask(line.hostGame ? OnlinePlay::Role::Host : OnlinePlay::Role::Join, line.hostPort,
                        joinAt.Numeric(), delay, &link);

    Host* host = CreateSdlHost(options);
    if (!host) {
        std::fprintf(stderr, "voidcrawl: cannot create the window host\n");
        return 1;
    }
    Settings inForce = SettingsInForce(settings, options);
    inForce.inputDelay = delay;  // --delay holds for this run, the two-players screen's too
    host->KeepSettings(inForce, settingsPath);
    const LoopEnd end = RunFrameLoop(*host, game, nullptr, nullptr);
    delete host;
    return end == LoopEnd::StartupFailed ? 1 : 0;
}
