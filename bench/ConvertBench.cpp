// The 8-to-32-bit conversion of a whole frame: ours (through a 256-entry
// table), SDL's (SDL_ConvertPixels refuses indexed formats, so an 8-bit
// surface with the palette is copied onto a 32-bit one with
// SDL_BlitSurface) and a memcpy of the 1,228,800 bytes written.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "BenchWorld.h"
#include "gfx/PixelConvert.h"

namespace {

constexpr int kPitch = 640 * 4;

// A menu frame, the picture the converter is given most often.
const uint8_t* MenuPicture() {
    static std::vector<uint8_t> picture;
    if (picture.empty()) {
        BenchWorld& world = BenchWorld::Get();
        world.EnterMenu(false);
        picture.assign(primarySurface->pixels, primarySurface->pixels + 640 * 480);
    }
    return picture.data();
}

// The 32-bit frame both conversions write.
uint32_t* Target() {
    static std::vector<uint32_t> target(640 * 480);
    return target.data();
}

void Ours(benchmark::State& state) {
    const uint8_t* picture = MenuPicture();
    PaletteEntry palette[kPaletteSize];
    GetDisplayPalette(0, kPaletteSize, palette);
    uint32_t table[kPaletteSize];
    for (auto _ : state) {
        // The table is built afresh each frame, as a fade changes it.
        BuildArgbTable(palette, table);
        ConvertToArgb(picture, 640, 480, table, Target(), kPitch);
        benchmark::ClobberMemory();
    }
}

void SdlBlit(benchmark::State& state) {
    BenchWorld& world = BenchWorld::Get();
    const uint8_t* picture = MenuPicture();
    SDL_Surface* source =
        SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint8_t*>(picture), 640, 480, 8, 640, SDL_PIXELFORMAT_INDEX8);
    SDL_SetSurfacePalette(source, world.sdlPalette);
    SDL_Surface* target = SDL_CreateRGBSurfaceWithFormatFrom(Target(), 640, 480, 32, kPitch, SDL_PIXELFORMAT_ARGB8888);
    if (SDL_BlitSurface(source, nullptr, target, nullptr) != 0) {
        state.SkipWithError(SDL_GetError());
    } else {
        for (auto _ : state) {
            SDL_BlitSurface(source, nullptr, target, nullptr);
            benchmark::ClobberMemory();
        }
    }
    SDL_FreeSurface(source);
    SDL_FreeSurface(target);
}

void Memcpy(benchmark::State& state) {
    static std::vector<uint32_t> from(640 * 480, 7), to(640 * 480);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), 640 * 480 * 4);
        benchmark::ClobberMemory();
    }
}

}  // namespace

void RegisterConvertBenchmarks() {
    benchmark::RegisterBenchmark("convert/ours", Ours);
    benchmark::RegisterBenchmark("convert/sdl_blit", SdlBlit);
    benchmark::RegisterBenchmark("convert/memcpy", Memcpy);
}
