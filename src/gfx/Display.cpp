#include "gfx/Display.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/Host.h"

Surface primarySurface = nullptr;
Surface backBuffer = nullptr;
bool displayFailed = false;

namespace {

SurfaceData surfacePool[kMaxSurfaces];
PaletteEntry displayPalette[kPaletteSize];
bool paletteCreated = false;
bool displayUp = false;
char failureReason[256] = "";

bool Inside(const Rect& r, int w, int h) {
    return r.left >= 0 && r.top >= 0 && r.right <= w && r.bottom <= h;
}

bool Empty(const Rect& r) { return r.right <= r.left || r.bottom <= r.top; }

Rect Intersect(const Rect& a, const Rect& b) {
    Rect r{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
           a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
    return r;
}

// One copy into the destination rectangle `dest` (full size, before
// clipping), drawing only the part inside `visible`. The source rectangle
// is mapped onto `dest` by nearest pixel, which for equal sizes is 1:1.
void CopyPart(const SurfaceData& src, const Rect& srcRect, SurfaceData& dst, const Rect& dest,
              const Rect& visible, bool keyed) {
    const int64_t sw = srcRect.right - srcRect.left;
    const int64_t sh = srcRect.bottom - srcRect.top;
    const int64_t dw = dest.right - dest.left;
    const int64_t dh = dest.bottom - dest.top;
    const bool useKey = keyed && src.keyed;
    const uint8_t lo = src.keyLow;
    const uint8_t hi = src.keyHigh;
    const bool same = sw == dw && sh == dh;
    for (int32_t y = visible.top; y < visible.bottom; ++y) {
        const int64_t sy = srcRect.top + (same ? (y - dest.top) : ((y - dest.top) * sh) / dh);
        const uint8_t* srow = src.pixels + sy * src.width;
        uint8_t* drow = dst.pixels + static_cast<int64_t>(y) * dst.width;
        if (same && !useKey) {
            const int64_t sx = srcRect.left + (visible.left - dest.left);
            std::memmove(drow + visible.left, srow + sx, static_cast<size_t>(visible.right - visible.left));
            continue;
        }
        for (int32_t x = visible.left; x < visible.right; ++x) {
            const int64_t sx = srcRect.left + (same ? (x - dest.left) : ((x - dest.left) * sw) / dw);
            const uint8_t v = srow[sx];
            if (useKey && v >= lo && v <= hi) continue;
            drow[x] = v;
        }
    }
}

bool CopyRect(const Rect& srcRect, Surface source, const Rect& dest, Surface destination, bool keyed) {
    if (!source || !destination || !source->pixels || !destination->pixels) return false;
    if (Empty(srcRect) || Empty(dest)) return false;
    if (!Inside(srcRect, source->width, source->height)) return false;
    if (destination->clipCount == 0) {
        if (!Inside(dest, destination->width, destination->height)) return false;
        CopyPart(*source, srcRect, *destination, dest, dest, keyed);
        return true;
    }
    const Rect whole{0, 0, destination->width, destination->height};
    for (int i = 0; i < destination->clipCount; ++i) {
        Rect visible = Intersect(Intersect(dest, destination->clipRects[i]), whole);
        if (!Empty(visible)) CopyPart(*source, srcRect, *destination, dest, visible, keyed);
    }
    return true;
}

void PresentFront() {
    Host* host = GetHost();
    if (host && displayUp && primarySurface) host->Present(primarySurface->pixels, displayPalette);
}

}  // namespace

bool InitDisplay(int width, int height, int bitsPerPixel) {
    Host* host = GetHost();
    std::snprintf(failureReason, sizeof failureReason, "no display host");
    if (!host || bitsPerPixel != 8 || width != kScreenWidth || height != kScreenHeight ||
        !host->InitDisplay(failureReason, sizeof failureReason)) {
        displayFailed = true;
        return false;
    }
    primarySurface = CreateSurface(width, height, VideoMemory);
    backBuffer = CreateSurface(width, height, VideoMemory);
    if (!primarySurface || !backBuffer) {
        std::snprintf(failureReason, sizeof failureReason, "out of memory for the screen buffers");
        displayFailed = true;
        return false;
    }
    std::memset(displayPalette, 0, sizeof displayPalette);
    displayUp = true;
    return true;
}

const char* DisplayFailureReason() { return failureReason; }

void ShutdownDisplay() {
    if (backBuffer) ReleaseSurface(backBuffer);
    if (primarySurface) ReleaseSurface(primarySurface);
    backBuffer = primarySurface = nullptr;
    paletteCreated = false;
    if (displayUp) {
        if (Host* host = GetHost()) host->ShutdownDisplay();
    }
    displayUp = false;
}

Surface CreateSurface(int width, int height, Placement placement) {
    if (width <= 0 || height <= 0 || width > 8192 || height > 8192) {
        displayFailed = true;
        return nullptr;
    }
    for (SurfaceData& s : surfacePool) {
        if (s.inUse) continue;
        s = SurfaceData{};
        s.pixels = new (std::nothrow) uint8_t[static_cast<size_t>(width) * height];
        if (!s.pixels) break;
        std::memset(s.pixels, 0, static_cast<size_t>(width) * height);
        s.width = width;
        s.height = height;
        s.inUse = true;
        s.placement = placement;
        return &s;
    }
    displayFailed = true;
    return nullptr;
}

void ReleaseSurface(Surface surface) {
    if (!surface || !surface->inUse) return;
    delete[] surface->pixels;
    *surface = SurfaceData{};
}

uint8_t* LockSurface(Surface surface) { return surface ? surface->pixels : nullptr; }

void UnlockSurface(Surface) {}

void FlipDisplay() {
    if (!primarySurface || !backBuffer) return;
    // The buffers trade pictures; the back buffer keeps its own clip list.
    uint8_t* shown = backBuffer->pixels;
    backBuffer->pixels = primarySurface->pixels;
    primarySurface->pixels = shown;
    PresentFront();
}

bool Blit(int srcLeft, int srcTop, int srcRight, int srcBottom, Surface source, int destX, int destY,
          Surface destination, bool keyed) {
    const Rect src{srcLeft, srcTop, srcRight, srcBottom};
    const int64_t right = static_cast<int64_t>(destX) + (static_cast<int64_t>(srcRight) - srcLeft);
    const int64_t bottom = static_cast<int64_t>(destY) + (static_cast<int64_t>(srcBottom) - srcTop);
    if (right > INT32_MAX || bottom > INT32_MAX || right < INT32_MIN || bottom < INT32_MIN) return false;
    const Rect dest{destX, destY, static_cast<int32_t>(right), static_cast<int32_t>(bottom)};
    return CopyRect(src, source, dest, destination, keyed);
}

bool BlitStretched(int srcLeft, int srcTop, int srcRight, int srcBottom, Surface source, int destLeft,
                   int destTop, int destRight, int destBottom, Surface destination, bool keyed) {
    return CopyRect(Rect{srcLeft, srcTop, srcRight, srcBottom}, source,
                    Rect{destLeft, destTop, destRight, destBottom}, destination, keyed);
}

void ClearSurface(Surface surface, uint8_t colour) {
    if (!surface || !surface->pixels) return;
    std::memset(surface->pixels, colour, static_cast<size_t>(surface->width) * surface->height);
}

void FillRect(int left, int top, int right, int bottom, Surface surface, uint8_t colour) {
    if (!surface || !surface->pixels) return;
    const Rect r{left, top, right, bottom};
    if (Empty(r)) return;
    const Rect whole{0, 0, surface->width, surface->height};
    auto fill = [&](const Rect& v) {
        for (int32_t y = v.top; y < v.bottom; ++y)
            std::memset(surface->pixels + static_cast<int64_t>(y) * surface->width + v.left, colour,
                        static_cast<size_t>(v.right - v.left));
    };
    if (surface->clipCount == 0) {
        if (!Inside(r, surface->width, surface->height)) return;
        fill(r);
        return;
    }
    for (int i = 0; i < surface->clipCount; ++i) {
        Rect v = Intersect(Intersect(r, surface->clipRects[i]), whole);
        if (!Empty(v)) fill(v);
    }
}

void SetSourceColorKey(uint8_t low, uint8_t high, Surface surface) {
    if (!surface) return;
    surface->keyed = true;
    surface->keyLow = low;
    surface->keyHigh = high;
}

bool SetClipList(Surface surface, int count, const Rect* rects) {
    if (!surface || count < 0 || count > kMaxClipRects || (count > 0 && !rects)) return false;
    Rect bounds{64000, 64000, -64000, -64000};
    for (int i = 0; i < count; ++i) {
        surface->clipRects[i] = rects[i];
        if (rects[i].left < bounds.left) bounds.left = rects[i].left;
        if (rects[i].top < bounds.top) bounds.top = rects[i].top;
        if (rects[i].right > bounds.right) bounds.right = rects[i].right;
        if (rects[i].bottom > bounds.bottom) bounds.bottom = rects[i].bottom;
    }
    surface->clipCount = count;
    surface->clipBounds = bounds;
    return true;
}

bool CreateDisplayPalette(const PaletteEntry* entries) {
    if (!displayUp || !entries) return false;
    std::memcpy(displayPalette, entries, sizeof displayPalette);
    paletteCreated = true;
    PresentFront();
    return true;
}

void GetDisplayPalette(int first, int count, PaletteEntry* out) {
    if (!out || first < 0 || count <= 0 || first + count > kPaletteSize) return;
    std::memcpy(out, displayPalette + first, sizeof(PaletteEntry) * count);
}

void SetDisplayPalette(int first, int count, const PaletteEntry* entries) {
    if (!entries || first < 0 || count <= 0 || first + count > kPaletteSize) return;
    std::memcpy(displayPalette + first, entries, sizeof(PaletteEntry) * count);
    PresentFront();
}

void PresentDisplay() { PresentFront(); }
