// What a shown frame costs the SDL host after the game's own frame: the
// 8-to-32-bit conversion and scaling into the window's picture in one pass
// (FrameScaler, the surface way), whole at 2x (1280 x 960) and at a fit
// that is no whole factor (1024 x 768, a 1366 x 768 screen), and, at 2x,
// only the pixels that changed between two frames of the idle menu (its
// stars move, nothing else does), as the host draws the menu.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "BenchWorld.h"
#include "gfx/FrameScaler.h"
#include "gfx/PixelConvert.h"

namespace {

// Two frames of the idle menu, one pass apart.
struct MenuFrames {
    std::vector<uint8_t> first, second;
};
const MenuFrames& Frames() {
    static MenuFrames frames;
    if (frames.first.empty()) {
        BenchWorld& world = BenchWorld::Get();
        world.EnterMenu(false);
        frames.first.assign(primarySurface->pixels, primarySurface->pixels + 640 * 480);
        world.Pass();
        frames.second.assign(primarySurface->pixels, primarySurface->pixels + 640 * 480);
    }
    return frames;
}

void Whole(benchmark::State& state, int width, int height) {
    const uint8_t* picture = Frames().first.data();
    static FrameScaler scaler;  // large: its tables
    if (!scaler.Setup(640, 480, width, height)) {
        state.SkipWithError("no such size");
        return;
    }
    std::vector<uint32_t> target(static_cast<size_t>(width) * height);
    PaletteEntry palette[kPaletteSize];
    GetDisplayPalette(0, kPaletteSize, palette);
    uint32_t table[kPaletteSize];
    for (auto _ : state) {
        BuildArgbTable(palette, table);
        scaler.Convert(picture, table, reinterpret_cast<uint8_t*>(target.data()), width * 4);
        benchmark::ClobberMemory();
    }
}

// The menu's next frame drawn over its last, as the host does at each
// refresh: the two frames take turns, so each iteration draws one frame's
// changes.
void Changes(benchmark::State& state) {
    const MenuFrames& frames = Frames();
    static FrameScaler scaler;
    scaler.Setup(640, 480, 1280, 960);
    std::vector<uint32_t> target(1280 * 960);
    PaletteEntry palette[kPaletteSize];
    GetDisplayPalette(0, kPaletteSize, palette);
    uint32_t table[kPaletteSize];
    BuildArgbTable(palette, table);
    std::vector<uint8_t> shown = frames.first;
    bool second = true;
    for (auto _ : state) {
        const std::vector<uint8_t>& next = second ? frames.second : frames.first;
        scaler.ConvertChanges(next.data(), shown.data(), table, reinterpret_cast<uint8_t*>(target.data()), 1280 * 4);
        second = !second;
        benchmark::ClobberMemory();
    }
}

// What any whole 2x picture must at least write.
void Memcpy2x(benchmark::State& state) {
    static std::vector<uint32_t> from(1280 * 960, 7), to(1280 * 960);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), 1280 * 960 * 4);
        benchmark::ClobberMemory();
    }
}

}  // namespace

void RegisterShowBenchmarks() {
    benchmark::RegisterBenchmark("show/whole_2x_1280x960", Whole, 1280, 960);
    benchmark::RegisterBenchmark("show/whole_fit_1024x768", Whole, 1024, 768);
    benchmark::RegisterBenchmark("show/menu_changes_2x", Changes);
    benchmark::RegisterBenchmark("show/memcpy_1280x960x4", Memcpy2x);
}
