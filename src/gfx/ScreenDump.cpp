#include "gfx/ScreenDump.h"

#include <cstdio>

#include "gfx/Display.h"
#include "platform/GameFile.h"

void DumpScreen() {
    if (!backBuffer) return;
    const uint8_t* pixels = LockSurface(backBuffer);
    PaletteEntry palette[kPaletteSize];
    GetDisplayPalette(0, kPaletteSize, palette);
    if (std::FILE* raw = OpenGameFile("ScrDump.raw", "wb")) {
        std::fwrite(pixels, 1, static_cast<size_t>(backBuffer->width) * backBuffer->height, raw);
        std::fclose(raw);
    }
    if (std::FILE* pal = OpenGameFile("ScrDump.pal", "wb")) {
        std::fputs("JASC-PAL\r\n0100\r\n256\r\n", pal);
        for (const PaletteEntry& e : palette) std::fprintf(pal, "%d %d %d\r\n", e.red, e.green, e.blue);
        std::fclose(pal);
    }
    UnlockSurface(backBuffer);
}
