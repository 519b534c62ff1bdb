#pragma once
#include <cstdint>

#include "platform/PaletteEntry.h"

// The one 640 x 480 8-bit display: two packed buffers that swap on every
// flip, a 256-entry palette, and any number of off-screen surfaces.
// Copies onto a surface with a clip list are cut at its rectangles; copies
// onto any other surface must lie wholly inside source and destination or
// they are refused and draw nothing.

enum Placement : uint32_t {
    VideoMemory = 0x4000,
    SystemMemory = 0x800,
};

struct Rect {
    int32_t left, top, right, bottom;  // right and bottom exclusive
};

constexpr int kMaxSurfaces = 64;
constexpr int kMaxSurfaceSide = 8192;
constexpr int kMaxClipRects = 16;

struct SurfaceData {
    int32_t width = 0;
    int32_t height = 0;
    uint8_t* pixels = nullptr;  // width * height bytes, rows packed
    bool inUse = false;
    bool keyed = false;  // a source colour key is set
    uint8_t keyLow = 0;
    uint8_t keyHigh = 0;
    int clipCount = 0;  // 0: not clipped (copies must fit wholly)
    Rect clipRects[kMaxClipRects];
    Rect clipBounds;
    uint32_t placement = 0;
};
using Surface = SurfaceData*;

extern Surface primarySurface;
extern Surface backBuffer;
extern bool displayFailed;

bool InitDisplay(int width, int height, int bitsPerPixel);
// Why the display set-up failed, for the error report.
const char* DisplayFailureReason();
void ShutdownDisplay();

Surface CreateSurface(int width, int height, Placement placement);
void ReleaseSurface(Surface surface);
uint8_t* LockSurface(Surface surface);
void UnlockSurface(Surface surface);

void FlipDisplay();
// Shows the picture on show once more without a flip, for a pass that drew
// nothing new while both buffers hold the same picture.
void ShowPictureAgain();

// Whether a copy leaves out the source's colour-keyed pixels (Keyed) or
// copies every pixel (Opaque).
enum class BlitKey { Keyed, Opaque };

bool Blit(int srcLeft, int srcTop, int srcRight, int srcBottom, Surface source, int destX, int destY,
          Surface destination, BlitKey key);
bool BlitStretched(int srcLeft, int srcTop, int srcRight, int srcBottom, Surface source, int destLeft, int destTop,
                   int destRight, int destBottom, Surface destination, BlitKey key);
void ClearSurface(Surface surface, uint8_t colour);
void FillRect(int left, int top, int right, int bottom, Surface surface, uint8_t colour);
void SetSourceColorKey(uint8_t low, uint8_t high, Surface surface);
bool SetClipList(Surface surface, int count, const Rect* rects);

// The display palette. Every write shows at once.
bool CreateDisplayPalette(const PaletteEntry* entries);
void GetDisplayPalette(int first, int count, PaletteEntry* out);
void SetDisplayPalette(int first, int count, const PaletteEntry* entries);

// The copies' inner loops: 16 pixels at a time where the processor has the
// vector instructions (the default there), or plain loops. Both draw the
// same; false when the vector path is not built in.
enum class CopyPath { Plain, Vector };
bool SetCopyPath(CopyPath path);
