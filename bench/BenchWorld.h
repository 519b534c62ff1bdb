#pragma once
#include <SDL.h>

#include <cstdint>
#include <map>
#include <string>

#include "app/Game.h"
#include "gfx/Display.h"
#include "hosts/headless/HeadlessHost.h"

// The game, started once on the headless host in the generated data set:
// its pictures are the ones the copy benchmarks draw, and its screens give
// the whole frames. Started on first use, after the start-up benchmark has
// had the display to itself.
class BenchWorld {
public:
    static BenchWorld& Get();

    // The screens of the whole-frame benchmarks, each brought to a steady
    // state once; a pass is one Game::RunFrame with the clock moved on.
    void EnterMenu(bool creditsShown);
    void EnterSetup();
    // Two players on level 1 with worms of `wormLength` segments held in
    // the middle of a step, every food slot filled, the status bar on.
    void EnterPlay(int32_t wormLength);
    void Pass();

    // An 8-bit SDL surface over the pixels of one of ours, with the game's
    // palette, with or without the colour key 0: SDL reads and writes the
    // very bytes our copies do. Freed with SDL_FreeSurface.
    SDL_Surface* SdlView(Surface surface, bool keyed);
    SDL_Palette* sdlPalette = nullptr;

    HeadlessHost host;
    Game* game = nullptr;

private:
    BenchWorld();
    enum class Screen { None, Menu, MenuCredits, Setup, Play };
    Screen screen = Screen::None;
};

// Per-benchmark results the summary table is built from: the fastest CPU
// time per iteration (seconds) over the repetitions, by benchmark name.
std::map<std::string, double>& BenchResults();
