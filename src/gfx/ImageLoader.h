#pragma once
#include <cstdint>

#include "gfx/Display.h"
#include "platform/PaletteEntry.h"
#include "platform/ReadError.h"

// Reads uncompressed BMP pictures (8, 16 or 24 bits per pixel) straight into
// a locked surface, turning the file's bottom-up rows into top-down rows.
// The colour table goes to the caller's palette buffer or the loader's own.

extern bool imageLoadFailed;

#pragma pack(push, 1)
struct BmpFileHeader {
    uint16_t type;
    uint32_t size;
    uint16_t reserved1;
    uint16_t reserved2;
    uint32_t offBits;
};
struct BmpInfoHeader {
    uint32_t size;
    int32_t width;
    int32_t height;
    uint16_t planes;
    uint16_t bitCount;
    uint32_t compression;
    uint32_t sizeImage;
    int32_t xPelsPerMeter;
    int32_t yPelsPerMeter;
    uint32_t clrUsed;
    uint32_t clrImportant;
};
#pragma pack(pop)
static_assert(sizeof(BmpFileHeader) == 14 && sizeof(BmpInfoHeader) == 40);

class ImageLoader {
public:
    // Loads `fileName` into `pixels`, a buffer of targetWidth x targetHeight
    // bytes (a locked surface). The picture must be as wide as the target and
    // no taller; anything that doesn't fit is Malformed. On failure the
    // target keeps what it held and `error` says why (ReadError.h).
    bool Load(const char* fileName, uint8_t* pixels, int32_t targetWidth, int32_t targetHeight,
              PaletteEntry* paletteOut, ReadError* error = nullptr);
    // The same from bytes in memory.
    bool LoadFromMemory(const uint8_t* data, int64_t size, uint8_t* pixels, int32_t targetWidth, int32_t targetHeight,
                        PaletteEntry* paletteOut, ReadError* error = nullptr);
    // Loads one of the game's own pictures into a surface, which is locked
    // and unlocked around the load. A picture the game cannot start without:
    // on failure TellPictureFailure says why and imageLoadFailed is set.
    bool LoadSurface(const char* fileName, Surface surface, PaletteEntry* paletteOut);

    // Reverses the row order of the last loaded picture in place.
    void FlipRows();

    PaletteEntry palette[kPaletteSize] = {};
    uint8_t* target = nullptr;
    int64_t targetCapacity = 0;
    BmpFileHeader fileHeader = {};
    BmpInfoHeader infoHeader = {};
};

// The line on stderr for a picture that cannot be loaded, naming the file.
void TellPictureFailure(const char* fileName, const ReadError& error);

constexpr int kImageBankSlots = 100;

class ImageBank {
public:
    // Creates a surface in the next free slot and loads the picture into it;
    // the picture's colour table is left in `palette`. Returns the slot, or -1.
    int Add(const char* fileName, int32_t width, int32_t height, Placement placement);
    void ReleaseAll();

    Surface surfaces[kImageBankSlots] = {};
    PaletteEntry palette[kPaletteSize] = {};
    ImageLoader loader;
};
