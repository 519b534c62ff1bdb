#include "BenchWorld.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "io/Input.h"
#include "platform/Host.h"

std::map<std::string, double>& BenchResults() {
    static std::map<std::string, double> results;
    return results;
}

BenchWorld& BenchWorld::Get() {
    static BenchWorld* world = new BenchWorld();
    return *world;
}

BenchWorld::BenchWorld() {
    if (chdir(VC_DATA_DIR) != 0) {
        std::fprintf(stderr, "bench: cannot enter the data set %s\n", VC_DATA_DIR);
        std::exit(1);
    }
    SetHost(&host);
    game = new Game();
    game->useSeed = true;
    game->seed = 1;
    if (!game->Init()) {
        std::fprintf(stderr, "bench: the game did not start in %s\n", VC_DATA_DIR);
        std::exit(1);
    }
    PaletteEntry palette[kPaletteSize];
    GetDisplayPalette(0, kPaletteSize, palette);
    sdlPalette = SDL_AllocPalette(kPaletteSize);
    SDL_Color colours[kPaletteSize];
    for (int i = 0; i < kPaletteSize; ++i)
        colours[i] = SDL_Color{palette[i].red, palette[i].green, palette[i].blue, 255};
    SDL_SetPaletteColors(sdlPalette, colours, 0, kPaletteSize);
}

SDL_Surface* BenchWorld::SdlView(Surface surface, bool keyed) {
    SDL_Surface* view = SDL_CreateRGBSurfaceWithFormatFrom(surface->pixels, surface->width, surface->height, 8,
                                                           surface->width, SDL_PIXELFORMAT_INDEX8);
    SDL_SetSurfacePalette(view, sdlPalette);
    if (keyed) SDL_SetColorKey(view, SDL_TRUE, 0);
    return view;
}

void BenchWorld::Pass() {
    game->RunFrame();
    // The clock moves on as in a pass; the sound the headless host would
    // pull here belongs to the sound thread, not to the frame.
    host.SetTicks(host.Ticks() + kPassMs);
}

void BenchWorld::EnterMenu(bool creditsShown) {
    const Screen wanted = creditsShown ? Screen::MenuCredits : Screen::Menu;
    if (screen == wanted) return;
    game->state = GameState::MainMenu;
    // The pointer rests beside the items, or on the first credits button
    // (its panel and thirteen lines of text slide in).
    host.MoveMouseTo(creditsShown ? 60 : 600, creditsShown ? 410 : 300);
    for (int i = 0; i < 300; ++i) Pass();
    screen = wanted;
}

void BenchWorld::EnterSetup() {
    if (screen == Screen::Setup) return;
    host.MoveMouseTo(600, 300);
    game->players = 1;
    game->state = GameState::PlayerSetup;
    game->setupScreen.Arm();
    for (int i = 0; i < 100; ++i) Pass();
    screen = Screen::Setup;
}

void BenchWorld::EnterPlay(int32_t wormLength) {
    if (screen == Screen::Play) return;
    Game& g = *game;
    std::snprintf(g.playerSetup.name1, sizeof g.playerSetup.name1, "ALPHA");
    std::snprintf(g.playerSetup.name2, sizeof g.playerSetup.name2, "BETA");
    g.playerSetup.ship1 = 0;
    g.playerSetup.ship2 = 1;
    g.players = 2;
    g.match.players = 2;
    g.match.SetPlayers(&g.playerSetup);
    g.match.Begin(0);
    g.state = GameState::Playing;
    host.SetKey(DIK_SPACE, true);
    Pass();
    host.SetKey(DIK_SPACE, false);
    Pass();

    // Each worm lies in a band of rows, running along one row and back
    // along the next, its head at the band's first cell.
    for (int w = 0; w < 2; ++w) {
        Worm& worm = g.match.worms[w];
        const int32_t firstRow = 1 + 6 * w;
        auto cell = [&](int32_t j, int32_t* x, int32_t* y) {
            const int32_t row = j / kArenaColumns;
            const int32_t along = j % kArenaColumns;
            *y = firstRow + row;
            *x = row % 2 == 0 ? along : kArenaColumns - 1 - along;
        };
        worm.length = wormLength;
        for (int32_t k = 0; k <= wormLength; ++k) {
            Segment& s = worm.segments[k];
            int32_t x, y, aheadX, aheadY;
            cell(k, &x, &y);
            if (k == 0) {
                aheadX = x - 1;
                aheadY = y;
            } else {
                cell(k - 1, &aheadX, &aheadY);
            }
            s.cellX = x;
            s.cellY = y;
            s.offsetX = s.offsetY = 0;
            s.warpPhase = 0;
            s.animCounter = 0;
            s.cellType = CellType::Occupied;
            s.heading = aheadY < y ? 0 : (aheadX > x ? 1 : (aheadY > y ? 2 : 3));
        }
        // Held between two cells, growing (the tail end draws its stretch).
        worm.speed = worm.maxSpeed = 0.0f;
        worm.stepProgress = 16.0f;
        worm.pendingGrowth = 3;
        worm.alive = worm.active = 1;
        worm.crashing = 0;
        worm.exitOpen = 0;
    }
    const LevelHeader& level = *g.match.level;
    g.match.food.Reset(FoodSet::kSlots, level.chanceA, level.chanceB, level.chanceC);
    for (int i = 0; i < 20; ++i) Pass();
    screen = Screen::Play;
}
