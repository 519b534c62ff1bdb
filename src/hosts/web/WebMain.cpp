// VoidCrawl in the browser: the entry point of the web build. The page
// (web/voidcrawl-page.js) starts it when the player has clicked, with the
// data set mounted at /data; when the game ends the page says so and offers
// to start again.
#include <emscripten.h>

#include <cstdio>
#include <string>

#include "app/FrameLoop.h"
#include "app/Game.h"
#include "hosts/web/WebHost.h"
#include "hosts/web/WebStore.h"
#include "platform/DataDir.h"
#include "platform/Host.h"
#include "platform/UserDir.h"

namespace {

Game game;  // large: it holds every screen and the worms

// The bodies of EM_JS are JavaScript, which the C++ formatter would break.
// clang-format off
EM_JS(void, WebGameEnded, (int failed), {
    if (Module.vcPage) Module.vcPage.gameEnded(Module, failed !== 0);
});
// clang-format on

}  // namespace

// For the page's tests, read only: the game's top-level state (GameState as
// a number), and player 1's worm (in play or not, its head's cell, its
// heading, its score) with the cell of the food nearest its head (-1 when
// there is none), so that a test can play a short game that scores.
extern "C" EMSCRIPTEN_KEEPALIVE int vc_web_game_state() { return static_cast<int>(game.state); }

extern "C" EMSCRIPTEN_KEEPALIVE const int32_t* vc_web_worm() {
    static int32_t out[7];
    const Worm& worm = game.match.worms[0];
    out[0] = worm.alive != 0 && worm.active != 0 ? 1 : 0;
    out[1] = worm.segments[1].cellX;
    out[2] = worm.segments[1].cellY;
    out[3] = worm.Heading();
    out[4] = worm.score;
    out[5] = out[6] = -1;
    int32_t nearest = 1 << 30;
    for (const FoodItem& item : game.match.food.items) {
        if (item.cellType != CellType::Food) continue;
        const int32_t dx = item.cellX - out[1], dy = item.cellY - out[2];
        const int32_t distance = (dx < 0 ? -dx : dx) + (dy < 0 ? -dy : dy);
        if (distance >= nearest) continue;
        nearest = distance;
        out[5] = item.cellX;
        out[6] = item.cellY;
    }
    return out;
}

int main() {
    std::string error;
    if (!EnterDataDir("/data", nullptr, nullptr, &error)) {
        std::fprintf(stderr, "voidcrawl: %s\n", error.c_str());
        WebGameEnded(1);
        return 1;
    }
    // High scores go to the player's folder, kept in the browser's storage
    // (or, where the browser has none, for as long as the page is open).
    SetUpUserDir();
    OpenWebStore(GetUserDir());

    Host* host = CreateWebHost();
    const LoopEnd end = RunFrameLoop(*host, game, nullptr, nullptr);
    delete host;
    CloseWebStore();
    WebGameEnded(end == LoopEnd::StartupFailed ? 1 : 0);
    return end == LoopEnd::StartupFailed ? 1 : 0;
}
