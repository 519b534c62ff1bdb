#include "gfx/ScreenDump.h"

#include <cstdio>

#include "gfx/Display.h"
#include "platform/UserDir.h"

void DumpScreen() {
    if (!backBuffer) return;
    // The dump goes to the player's folder; a folder that cannot be made is
    // reported once, not on every frame the key is held.
    static bool warned = false;
    char reason[256];
    std::FILE* raw = OpenUserFileForWriting("ScrDump.raw", "wb", reason, sizeof reason);
    std::FILE* pal = raw ? OpenUserFileForWriting("ScrDump.pal", "wb", reason, sizeof reason) : nullptr;
    if (!raw || !pal) {
        if (!warned) std::fprintf(stderr, "voidcrawl: the screen dump could not be written: %s\n", reason);
        warned = true;
        if (raw) std::fclose(raw);
        return;
    }
    const uint8_t* pixels = LockSurface(backBuffer);
    PaletteEntry palette[kPaletteSize];
    GetDisplayPalette(0, kPaletteSize, palette);
    std::fwrite(pixels, 1, static_cast<size_t>(backBuffer->width) * backBuffer->height, raw);
    std::fclose(raw);
    std::fputs("JASC-PAL\r\n0100\r\n256\r\n", pal);
    for (const PaletteEntry& e : palette) std::fprintf(pal, "%d %d %d\r\n", e.red, e.green, e.blue);
    std::fclose(pal);
    UnlockSurface(backBuffer);
}
