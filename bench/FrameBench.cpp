// Whole frames of the game on the headless host, the memcpy of three
// screens they are measured against, and the headless start-up.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "BenchWorld.h"

namespace {

constexpr size_t kScreenBytes = 640 * 480;

// Game::Init on a fresh headless host, from the data set in the file cache.
void Startup(benchmark::State& state) {
    if (chdir(VC_DATA_DIR) != 0) {
        state.SkipWithError("no data set");
        return;
    }
    for (auto _ : state) {
        HeadlessHost host;
        SetHost(&host);
        Game* game = new Game();
        game->useSeed = true;
        const bool ok = game->Init();
        state.PauseTiming();
        game->Shutdown();
        delete game;
        SetHost(nullptr);
        if (!ok) state.SkipWithError("the game did not start");
        state.ResumeTiming();
    }
}

// A yardstick, not a bound: a memcpy of three 640 x 480 screens (921,600
// bytes). An idle menu frame clears one screen and copies a few pictures,
// and measures below it.
void ThreeScreens(benchmark::State& state) {
    static std::vector<uint8_t> from(3 * kScreenBytes, 1), to(3 * kScreenBytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), 3 * kScreenBytes);
        benchmark::ClobberMemory();
    }
}

void MenuFrame(benchmark::State& state, bool creditsShown) {
    BenchWorld& world = BenchWorld::Get();
    world.EnterMenu(creditsShown);
    for (auto _ : state) world.Pass();
}

void SetupFrame(benchmark::State& state) {
    BenchWorld& world = BenchWorld::Get();
    world.EnterSetup();
    for (auto _ : state) world.Pass();
}

void PlayFrame(benchmark::State& state) {
    BenchWorld& world = BenchWorld::Get();
    world.EnterPlay(60);
    for (auto _ : state) world.Pass();
}

}  // namespace

void RegisterStartupBenchmark() { benchmark::RegisterBenchmark("startup/headless", Startup)->Iterations(20); }

void RegisterFrameBenchmarks() {
    benchmark::RegisterBenchmark("frame/memcpy_3_screens", ThreeScreens);
    benchmark::RegisterBenchmark("frame/menu", MenuFrame, false);
    benchmark::RegisterBenchmark("frame/menu_credits", MenuFrame, true);
    benchmark::RegisterBenchmark("frame/setup", SetupFrame);
    benchmark::RegisterBenchmark("frame/play", PlayFrame);
}
