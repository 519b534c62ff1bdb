#pragma once
#include <cstdint>

class Game;
class Host;

// Hooks around each pass of the frame loop, used by the scripted runner.
class PassHooks {
public:
    virtual ~PassHooks() = default;
    // Start of pass `frame` (counted from 0), before the keyboard is read.
    virtual void BeforePass(int64_t frame) {}
    // After the pass's flip. Return false to stop the loop after this pass.
    virtual bool AfterPass(int64_t frame) { return true; }
};

enum class LoopEnd {
    GameQuit,        // the game asked to end (menu Quit or Esc)
    CloseRequested,  // the window was closed
    HooksStopped,    // the hooks asked to stop
    StartupFailed,   // Game::Init failed; the reason is already reported
};

// Runs the game on `host` from start-up to shut-down: one Game::RunFrame per
// pass with the 10 ms floor. `frameOut` receives the number of the last pass run.
LoopEnd RunFrameLoop(Host& host, Game& game, PassHooks* hooks, int64_t* frameOut);
