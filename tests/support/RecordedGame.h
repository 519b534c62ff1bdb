#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "Autopilot.h"
#include "app/Replay.h"
#include "support/Files.h"
#include "support/GameHarness.h"

// Plays the autopilot's one-player game from the menu until level `until`
// shows its intro, with the window's habits on the way, then leaves through
// the EXIT box. Returns the replay's bytes.
inline Bytes PlayAndLeave(GameHarness& h, int until) {
    std::FILE* log = std::fopen("/dev/null", "w");
    Autopilot::Options options;
    options.startFromMenu = true;
    options.steer = 1;
    Autopilot pilot(h.host, *h.game, options, log);
    const Match& m = h.game->match;
    int64_t playFrames = 0;
    for (int64_t frame = 0; frame < 200000; ++frame) {
        pilot.BeforePass(frame);
        if (h.game->state == GameState::Playing && m.InPlay() && !m.IntroPending()) {
            ++playFrames;
            // A window's clock: 10 to 13 ms a pass, never quite the same.
            h.host.SetTicks(h.host.Ticks() + static_cast<uint32_t>(frame % 4));
            if (playFrames == 300) h.host.SetFocused(false);
            if (playFrames == 340) h.host.SetFocused(true);
            if (playFrames == 600) h.host.SetKey(DIK_ESCAPE, true);
            if (playFrames == 603) h.host.SetKey(DIK_ESCAPE, false);
            if (playFrames == 640) h.host.SetKey(DIK_N, true);
            if (playFrames == 642) h.host.SetKey(DIK_N, false);
        }
        h.Pass();
        pilot.AfterPass(frame);
        if (m.IntroPending() && m.levelIndex + 1 == until && h.game->state == GameState::Playing) break;
    }
    std::fclose(log);
    h.Tap(DIK_ESCAPE);
    h.host.SetKey(DIK_Y, true);
    h.Pass();
    h.host.SetKey(DIK_Y, false);
    EXPECT_EQ(h.game->state, GameState::MainMenu);
    EXPECT_NE(h.game->recorder.name[0], '\0');
    return ReadAll(std::filesystem::path(h.dir()) / kReplayFolder / h.game->recorder.name);
}

// The replay of a fresh game of its own (a harness started for it alone),
// played until level `until` and left; empty when the game did not start.
inline Bytes FreshGameLeftAt(int until) {
    GameHarness h;
    if (!h.Start()) {
        ADD_FAILURE() << "the game did not start";
        return Bytes();
    }
    return PlayAndLeave(h, until);
}
