// VoidCrawl in the browser: the entry point of the web build. The page
// (web/voidcrawl-page.js) starts it when the player has clicked, with the
// data set mounted at /data; when the game ends the page says so and offers
// to start again.
#include <emscripten.h>

#include <cstdio>
#include <string>

#include "app/FrameLoop.h"
#include "app/Game.h"
#include "platform/DataDir.h"
#include "platform/Host.h"
#include "platform/UserDir.h"
#include "platform/WebHost.h"
#include "platform/WebStore.h"

namespace {

Game game;  // large: it holds every screen and the worms

EM_JS(void, WebGameEnded, (int failed), {
    if (Module.vcPage) Module.vcPage.gameEnded(Module, failed !== 0);
});

}  // namespace

// For the page's tests: the game's top-level state (GameState as a number);
// player 1's worm (in play or not, its head's cell and its heading), so that
// a test can steer it; and player 1's score, so that a short game, steered
// into the walls, still reaches the high-score table.
extern "C" EMSCRIPTEN_KEEPALIVE int vc_web_game_state() { return static_cast<int>(game.state); }

extern "C" EMSCRIPTEN_KEEPALIVE const int32_t* vc_web_worm() {
    static int32_t out[4];
    const Worm& worm = game.match.worms[0];
    out[0] = worm.alive != 0 && worm.active != 0 ? 1 : 0;
    out[1] = worm.segments[1].cellX;
    out[2] = worm.segments[1].cellY;
    out[3] = worm.Heading();
    return out;
}

extern "C" EMSCRIPTEN_KEEPALIVE void vc_web_set_score(int32_t score) { game.match.worms[0].score = score; }

int main() {
    std::string error;
    if (!EnterDataDir("/data", nullptr, nullptr, &error)) {
        std::fprintf(stderr, "voidcrawl: %s\n", error.c_str());
        WebGameEnded(1);
        return 1;
    }
    // High scores go to the player's folder, kept in the browser's storage.
    SetUpUserDir();
    OpenWebStore(GetUserDir());

    Host* host = CreateWebHost();
    const LoopEnd end = RunFrameLoop(*host, game, nullptr, nullptr);
    delete host;
    CloseWebStore();
    WebGameEnded(end == LoopEnd::StartupFailed ? 1 : 0);
    return end == LoopEnd::StartupFailed ? 1 : 0;
}
