#include "gfx/ScreenDump.h"

#include <cstdio>

#include "gfx/Display.h"
#include "platform/SaveFile.h"

bool SaveScreenDump(SaveResult* result) {
    if (!backBuffer) return false;
    PaletteEntry palette[kPaletteSize];
    GetDisplayPalette(0, kPaletteSize, palette);
    // "JASC-PAL", the version, the count, then a line per colour: at most
    // 13 bytes each.
    char text[32 + kPaletteSize * 13];
    int length = std::snprintf(text, sizeof text, "JASC-PAL\r\n0100\r\n256\r\n");
    for (const PaletteEntry& e : palette)
        length += std::snprintf(text + length, sizeof text - static_cast<size_t>(length), "%d %d %d\r\n", e.red,
                                e.green, e.blue);
    // The dump goes to the player's folder, each file whole or not at all.
    const uint8_t* pixels = LockSurface(backBuffer);
    const bool saved = SaveUserFile("ScrDump.raw", pixels, static_cast<size_t>(backBuffer->width) * backBuffer->height,
                                    result, kSaveNoSync) &&
                       SaveUserFile("ScrDump.pal", text, static_cast<size_t>(length), result, kSaveNoSync);
    UnlockSurface(backBuffer);
    return saved;
}

void DumpScreen() {
    // Written every frame the key is held; a failure is reported once, not
    // on every frame.
    static bool warned = false;
    SaveResult result;
    if (SaveScreenDump(&result) || warned || !backBuffer) return;
    warned = true;
    std::fprintf(stderr, "voidcrawl: the screen dump could not be written: %s\n", result.reason);
}
