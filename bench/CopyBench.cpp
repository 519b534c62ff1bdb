// Single copies onto the back buffer: ours (Blit / BlitStretched), SDL's
// (SDL_BlitSurface / SDL_BlitScaled between 8-bit SDL surfaces over the same
// pixels, with one palette) and a memcpy of the same bytes, row by row.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "BenchWorld.h"
#include "gfx/ImageSlots.h"
#include "gfx/Sprite.h"
#include "world/WormSheets.h"

namespace {

struct CopyCase {
    std::string name;
    Surface source = nullptr;
    Rect src{};
    Rect dest{};  // before clipping to the screen
};

// A picture the size of the menu title with every other pixel, at random,
// transparent: the worst case for a copy that decides pixel by pixel.
Surface ScatteredPicture() {
    static Surface picture = nullptr;
    if (picture) return picture;
    picture = CreateSurface(402, 115, SystemMemory);
    uint32_t state = 12345;
    for (int i = 0; i < 402 * 115; ++i) {
        state = state * 1103515245u + 12345u;
        const uint8_t v = static_cast<uint8_t>(state >> 16);
        picture->pixels[i] = (state >> 30) & 1 ? static_cast<uint8_t>(v | 1) : 0;
    }
    SetSourceColorKey(0, 0, picture);
    return picture;
}

Rect SpriteRect(Surface surface, const SheetCell& cell) {
    Sprite s;
    s.Init(surface, cell, 1, 0);
    Rect r;
    s.FrameRect(&r.left, &r.top, &r.right, &r.bottom);
    return r;
}

Rect At(const Rect& src, int32_t x, int32_t y) {
    return Rect{x, y, x + src.right - src.left, y + src.bottom - src.top};
}

CopyCase MakeCase(const std::string& name) {
    Game& g = *BenchWorld::Get().game;
    CopyCase c;
    c.name = name;
    if (name == "title" || name == "title_stretched" || name == "title_clipped") {
        c.source = g.mainMenu.menuSurface;
        g.mainMenu.titleSprite.FrameRect(&c.src.left, &c.src.top, &c.src.right, &c.src.bottom);
        c.dest = At(c.src, 120, 0);
        if (name == "title_stretched") c.dest = Rect{20, 100, 20 + 603, 100 + 172};  // 1.5 times
        if (name == "title_clipped") c.dest = At(c.src, 400, 400);
    } else if (name == "segment" || name == "segment_stretched" || name == "segment_clipped") {
        c.source = g.imageBank.surfaces[kImageWorm0];  // the first ship's body, heading right
        c.src = SpriteRect(c.source, WormBodyCell(1));
        c.dest = At(c.src, 320, 224);
        if (name == "segment_stretched") c.dest = Rect{326, 230, 326 + 19, 230 + 19};  // into a gate
        if (name == "segment_clipped") c.dest = At(c.src, -10, -10);
    } else if (name == "glyph") {
        c.source = g.bigFontSurface;
        g.bigFont.GlyphRect('W', &c.src.left, &c.src.top, &c.src.right, &c.src.bottom);
        c.dest = At(c.src, 100, 100);
    } else if (name == "background") {
        c.source = g.setupScreen.background;
        c.src = Rect{0, 0, 640, 480};
        c.dest = c.src;
    } else if (name == "scattered") {
        c.source = ScatteredPicture();
        c.src = Rect{0, 0, 402, 115};
        c.dest = At(c.src, 120, 0);
    } else {
        std::abort();
    }
    return c;
}

Rect Visible(const Rect& d) {
    return Rect{d.left < 0 ? 0 : d.left, d.top < 0 ? 0 : d.top, d.right > 640 ? 640 : d.right,
                d.bottom > 480 ? 480 : d.bottom};
}

bool Stretched(const CopyCase& c) {
    return c.src.right - c.src.left != c.dest.right - c.dest.left ||
           c.src.bottom - c.src.top != c.dest.bottom - c.dest.top;
}

void Ours(benchmark::State& state, const std::string& name, bool keyed, CopyPath path) {
    const CopyCase c = MakeCase(name);
    const bool stretched = Stretched(c);
    const BlitKey key = keyed ? BlitKey::Keyed : BlitKey::Opaque;
    if (!SetCopyPath(path)) {
        state.SkipWithError("this build has no vector path");
        return;
    }
    for (auto _ : state) {
        if (stretched)
            BlitStretched(c.src.left, c.src.top, c.src.right, c.src.bottom, c.source, c.dest.left, c.dest.top,
                          c.dest.right, c.dest.bottom, backBuffer, key);
        else
            Blit(c.src.left, c.src.top, c.src.right, c.src.bottom, c.source, c.dest.left, c.dest.top, backBuffer, key);
        benchmark::ClobberMemory();
    }
    SetCopyPath(CopyPath::Vector);
}

void Sdl(benchmark::State& state, const std::string& name, bool keyed) {
    BenchWorld& world = BenchWorld::Get();
    const CopyCase c = MakeCase(name);
    SDL_Surface* source = world.SdlView(c.source, keyed);
    SDL_Surface* screen = world.SdlView(backBuffer, false);
    const bool stretched = Stretched(c);
    const SDL_Rect from{c.src.left, c.src.top, c.src.right - c.src.left, c.src.bottom - c.src.top};
    SDL_Rect first{c.dest.left, c.dest.top, c.dest.right - c.dest.left, c.dest.bottom - c.dest.top};
    const int refused =
        stretched ? SDL_BlitScaled(source, &from, screen, &first) : SDL_BlitSurface(source, &from, screen, &first);
    if (refused != 0) {
        // SDL 2 has no scaled copy between 8-bit surfaces.
        state.SkipWithError(SDL_GetError());
    } else {
        for (auto _ : state) {
            // SDL writes the clipped rectangle back: each pass starts afresh.
            SDL_Rect to{c.dest.left, c.dest.top, c.dest.right - c.dest.left, c.dest.bottom - c.dest.top};
            if (stretched)
                SDL_BlitScaled(source, &from, screen, &to);
            else
                SDL_BlitSurface(source, &from, screen, &to);
            benchmark::ClobberMemory();
        }
    }
    SDL_FreeSurface(source);
    SDL_FreeSurface(screen);
}

// The C library's memcpy, called through a pointer: given a loop of rows,
// the compiler would otherwise expand it inline into a string instruction
// that is slow to start (rep movsq), which is no fair measure.
void* (*volatile libcMemcpy)(void*, const void*, size_t) = std::memcpy;

// The bytes a copy writes, copied by memcpy from the same place to the same
// place a row at a time (in one run when the rows follow each other on both
// sides). For a stretched copy the rows come from a screen-sized buffer.
void Memcpy(benchmark::State& state, const std::string& name) {
    const CopyCase c = MakeCase(name);
    const Rect v = Visible(c.dest);
    static std::vector<uint8_t> scratch(640 * 480);
    const bool stretched = Stretched(c);
    const int32_t pitch = stretched ? 640 : c.source->width;
    const uint8_t* from =
        stretched ? scratch.data() + v.top * 640 + v.left
                  : c.source->pixels + (c.src.top + v.top - c.dest.top) * pitch + c.src.left + (v.left - c.dest.left);
    uint8_t* to = backBuffer->pixels + v.top * 640 + v.left;
    const size_t width = static_cast<size_t>(v.right - v.left);
    const int32_t rows = v.bottom - v.top;
    const bool oneRun = width == 640 && pitch == 640;
    for (auto _ : state) {
        if (oneRun) {
            libcMemcpy(to, from, width * rows);
        } else {
            for (int32_t y = 0; y < rows; ++y) libcMemcpy(to + y * 640, from + y * pitch, width);
        }
        benchmark::ClobberMemory();
    }
}

}  // namespace

void RegisterCopyBenchmarks() {
    for (const char* name : {"title", "segment", "glyph", "background", "scattered"}) {
        const std::string n = name;
        benchmark::RegisterBenchmark(("copy/" + n + "/keyed/ours").c_str(), Ours, n, true, CopyPath::Vector);
        benchmark::RegisterBenchmark(("copy/" + n + "/keyed/plain").c_str(), Ours, n, true, CopyPath::Plain);
        benchmark::RegisterBenchmark(("copy/" + n + "/keyed/sdl").c_str(), Sdl, n, true);
        benchmark::RegisterBenchmark(("copy/" + n + "/unkeyed/ours").c_str(), Ours, n, false, CopyPath::Vector);
        benchmark::RegisterBenchmark(("copy/" + n + "/unkeyed/sdl").c_str(), Sdl, n, false);
        benchmark::RegisterBenchmark(("copy/" + n + "/memcpy").c_str(), Memcpy, n);
    }
    for (const char* name : {"segment_stretched", "title_stretched", "segment_clipped", "title_clipped"}) {
        const std::string n = name;
        benchmark::RegisterBenchmark(("copy/" + n + "/keyed/ours").c_str(), Ours, n, true, CopyPath::Vector);
        benchmark::RegisterBenchmark(("copy/" + n + "/keyed/sdl").c_str(), Sdl, n, true);
        benchmark::RegisterBenchmark(("copy/" + n + "/memcpy").c_str(), Memcpy, n);
    }
}
