#pragma once

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "app/Game.h"
#include "gfx/Display.h"
#include "gfx/ImageLoader.h"
#include "hosts/headless/HeadlessHost.h"
#include "io/Input.h"
#include "io/SoundBank.h"
#include "support/Files.h"
#include "support/Fresh.h"
#include "world/Random.h"

// Runs the whole game on the headless host inside a private copy of the
// generated data set, a pass at a time, as the frame loop would.
class GameHarness {
public:
    GameHarness() {
        namespace fs = std::filesystem;
        oldDir_ = fs::current_path();
        dir_ = scratch_.path().string();
        fs::copy(VC_DATA_DIR, dir_, fs::copy_options::recursive);
        fs::current_path(dir_);
        ResetFailureFlags();
        SetHost(&host);
        game = std::make_unique<Game>();
        game->useSeed = true;
        game->seed = 1;
    }
    ~GameHarness() {
        if (started_) game->Shutdown();
        SetHost(nullptr);
        std::filesystem::current_path(oldDir_);
    }
    bool Start() {
        started_ = game->Init();
        if (!started_) game->Shutdown();
        return started_;
    }
    // One pass of the frame loop; false when the game asked to end.
    bool Pass() {
        SoundBank::ClearStartedLog();
        const uint32_t start = host.Ticks();
        host.PumpEvents();  // as the frame loop begins each pass
        const bool goOn = game->RunFrame();
        host.EndPass(start);
        return goOn;
    }
    bool Passes(int n) {
        for (int i = 0; i < n; ++i)
            if (!Pass()) return false;
        return true;
    }
    // A key down for one pass and up for the next.
    void Tap(uint8_t key) {
        host.SetKey(key, true);
        Pass();
        host.SetKey(key, false);
        Pass();
    }
    // A click as the menus see it: their hit tests use the button state read
    // on the previous frame, so the button stays down for two passes.
    // False when the game asked to end in any of the passes.
    bool Click(int x, int y) {
        host.MoveMouseTo(x, y);
        bool goOn = Pass();
        host.SetMouseButton(true);
        goOn = Pass() && goOn;
        goOn = Pass() && goOn;
        host.SetMouseButton(false);
        return Pass() && goOn;
    }
    // Loads level `index` of the match already begun and starts its worms
    // with SPACE, as the Playing state; false when the level does not load
    // or the worms did not start (the timer level's clock then runs).
    bool PlayLevel(int index) {
        Match& m = game->match;
        m.levelIndex = index;
        if (!m.LoadLevel()) return false;
        game->state = GameState::Playing;
        host.SetTicks(1000);
        host.SetKey(DIK_SPACE, true);
        Pass();
        host.SetKey(DIK_SPACE, false);
        return !m.IntroPending() && m.timerStart != 0;
    }
    // A match begun as the set-up screen begins one: ALICE on ship 0 and,
    // in a two-player game, BOB on ship 1.
    void BeginMatch(int players, int difficulty) { BeginMatchOn(game->match, players, difficulty); }
    void BeginMatchOn(Match& m, int players, int difficulty) {
        std::strcpy(setup.name1, "ALICE");
        std::strcpy(setup.name2, "BOB");
        setup.ship1 = 0;
        setup.ship2 = players == 2 ? 1 : 2;
        m.players = players;
        m.SetPlayers(&setup);
        m.playerSetup = &setup;
        m.Begin(difficulty);
    }
    const std::string& dir() const { return dir_; }

    HeadlessHost host;
    std::unique_ptr<Game> game;
    PlayerSetup setup;

private:
    std::filesystem::path oldDir_;
    ScratchDir scratch_;
    std::string dir_;
    bool started_ = false;
};
