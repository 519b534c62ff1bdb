#include "app/FrameLoop.h"

#include "app/Game.h"
#include "platform/Host.h"

LoopEnd RunFrameLoop(Host& host, Game& game, PassHooks* hooks, int64_t* frameOut) {
    SetHost(&host);
    int64_t frame = 0;
    if (frameOut) *frameOut = 0;
    if (!game.Init()) {
        game.Shutdown();
        return LoopEnd::StartupFailed;
    }
    LoopEnd end = LoopEnd::GameQuit;
    for (;; ++frame) {
        const uint32_t passStart = host.Ticks();
        host.PumpEvents();
        if (host.CloseRequested()) {
            end = LoopEnd::CloseRequested;
            break;
        }
        if (hooks) hooks->BeforePass(frame);
        const bool goOn = game.RunFrame();
        const bool hooksGoOn = hooks ? hooks->AfterPass(frame) : true;
        if (frameOut) *frameOut = frame;
        if (!goOn) {
            end = LoopEnd::GameQuit;
            break;
        }
        if (!hooksGoOn) {
            end = LoopEnd::HooksStopped;
            break;
        }
        host.EndPass(passStart);
    }
    game.Shutdown();
    return end;
}
