// VoidCrawl: the game's entry point. It takes no command line.
#include <cstdio>
#include <string>

#include "app/FrameLoop.h"
#include "app/Game.h"
#include "platform/DataDir.h"
#include "platform/Host.h"
#include "platform/SdlHost.h"

namespace {
Game game;  // large: it holds every screen and the worms
}

int main(int argc, char** argv) {
    std::string dir;
    std::string error;
    if (!EnterDataDir(argc > 0 ? argv[0] : nullptr, &dir, &error)) {
        std::fprintf(stderr, "voidcrawl: %s\n", error.c_str());
        return 1;
    }
    Host* host = CreateSdlHost();
    if (!host) {
        std::fprintf(stderr, "voidcrawl: cannot create the window host\n");
        return 1;
    }
    const LoopEnd end = RunFrameLoop(*host, game, nullptr, nullptr);
    delete host;
    return end == LoopEnd::StartupFailed ? 1 : 0;
}
