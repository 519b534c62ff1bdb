#include "gfx/Display.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/Host.h"
#include "platform/Resimulation.h"

Surface primarySurface = nullptr;
Surface backBuffer = nullptr;
bool displayFailed = false;

namespace {

SurfaceData surfacePool[kMaxSurfaces];
PaletteEntry displayPalette[kPaletteSize];
bool paletteCreated = false;
bool displayUp = false;
char failureReason[256] = "";

bool Inside(const Rect& r, int w, int h) { return r.left >= 0 && r.top >= 0 && r.right <= w && r.bottom <= h; }

bool Empty(const Rect& r) { return r.right <= r.left || r.bottom <= r.top; }

Rect Intersect(const Rect& a, const Rect& b) {
    Rect r{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top, a.right < b.right ? a.right : b.right,
           a.bottom < b.bottom ? a.bottom : b.bottom};
    return r;
}

// ---- the copies' inner loops ------------------------------------------------
// A keyed copy leaves out the source pixels v with low <= v <= high, tested
// as (v - low) mod 256 <= span with span = high - low.
struct Key {
    uint8_t low;
    uint8_t span;
};

// Plain loops (an optimising compiler vectorises the keyed one by itself),
// for machines without the vector path.
struct PlainRows {
    static void Copy(uint8_t* d, const uint8_t* s, int32_t n) { std::memcpy(d, s, static_cast<size_t>(n)); }
    static void Keyed(uint8_t* d, const uint8_t* s, int32_t n, Key key) {
        for (int32_t i = 0; i < n; ++i) {
            const uint8_t v = s[i];
            d[i] = static_cast<uint8_t>(v - key.low) <= key.span ? d[i] : v;
        }
    }
};

#if defined(__SSE2__)
// 16 pixels at a time. A row that is not a whole number of blocks ends with
// one block that overlaps the one before; it is read before anything of the
// row is written, so the overlap gets the same value twice.
struct VectorRows {
    static __m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
    static __m128i Load8(const uint8_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }
    static void Store8(uint8_t* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }
    static __m128i Load4(const uint8_t* p) {
        int32_t v;
        std::memcpy(&v, p, 4);
        return _mm_cvtsi32_si128(v);
    }
    static void Store4(uint8_t* p, __m128i v) {
        const int32_t w = _mm_cvtsi128_si32(v);
        std::memcpy(p, &w, 4);
    }
    // The destination where the source is in the key range, else the source.
    static __m128i Blend(__m128i s, __m128i d, __m128i low, __m128i span) {
        const __m128i keyed = _mm_cmpeq_epi8(_mm_subs_epu8(_mm_sub_epi8(s, low), span), _mm_setzero_si128());
        return _mm_or_si128(_mm_and_si128(keyed, d), _mm_andnot_si128(keyed, s));
    }
    // The same for the key 0 alone (every key the game sets): where the
    // source is 0, or-ing it in changes nothing.
    static __m128i BlendZero(__m128i s, __m128i d) {
        return _mm_or_si128(_mm_and_si128(_mm_cmpeq_epi8(s, _mm_setzero_si128()), d), s);
    }
    template <class Blender>
    static void KeyedWith(uint8_t* d, const uint8_t* s, int32_t n, Key key, Blender blend) {
        if (n >= 16) {
            const __m128i tail = blend(Load(s + n - 16), Load(d + n - 16));
            int32_t i = 0;
            for (; i + 16 <= n; i += 16) Store(d + i, blend(Load(s + i), Load(d + i)));
            if (i < n) Store(d + n - 16, tail);
        } else if (n >= 8) {
            const __m128i head = blend(Load8(s), Load8(d));
            const __m128i tail = blend(Load8(s + n - 8), Load8(d + n - 8));
            Store8(d, head);
            Store8(d + n - 8, tail);
        } else if (n >= 4) {
            const __m128i head = blend(Load4(s), Load4(d));
            const __m128i tail = blend(Load4(s + n - 4), Load4(d + n - 4));
            Store4(d, head);
            Store4(d + n - 4, tail);
        } else {
            PlainRows::Keyed(d, s, n, key);
        }
    }

    static void Copy(uint8_t* d, const uint8_t* s, int32_t n) {
        if (n >= 64) {
            std::memcpy(d, s, static_cast<size_t>(n));
        } else if (n >= 16) {
            const __m128i tail = Load(s + n - 16);
            for (int32_t i = 0; i + 16 <= n; i += 16) Store(d + i, Load(s + i));
            Store(d + n - 16, tail);
        } else if (n >= 8) {
            const __m128i head = Load8(s), tail = Load8(s + n - 8);
            Store8(d, head);
            Store8(d + n - 8, tail);
        } else if (n >= 4) {
            const __m128i head = Load4(s), tail = Load4(s + n - 4);
            Store4(d, head);
            Store4(d + n - 4, tail);
        } else {
            for (int32_t i = 0; i < n; ++i) d[i] = s[i];
        }
    }

    static void Keyed(uint8_t* d, const uint8_t* s, int32_t n, Key key) {
        if (key.low == 0 && key.span == 0) {
            KeyedWith(d, s, n, key, [](__m128i sv, __m128i dv) { return BlendZero(sv, dv); });
            return;
        }
        const __m128i low = _mm_set1_epi8(static_cast<char>(key.low));
        const __m128i span = _mm_set1_epi8(static_cast<char>(key.span));
        KeyedWith(d, s, n, key, [low, span](__m128i sv, __m128i dv) { return Blend(sv, dv, low, span); });
    }
};
constexpr bool kVectorPath = true;
#else
using VectorRows = PlainRows;
constexpr bool kVectorPath = false;
#endif

CopyPath copyPath = kVectorPath ? CopyPath::Vector : CopyPath::Plain;

// One copy into the destination rectangle `dest` (full size, before
// clipping), drawing only the part inside `visible`. The source rectangle
// is mapped onto `dest` by nearest pixel, which for equal sizes is 1:1.
// Source and destination are different pictures.
template <class Rows>
void CopyPartWith(const SurfaceData& src, const Rect& srcRect, SurfaceData& dst, const Rect& dest, const Rect& visible,
                  bool useKey, Key key) {
    const int64_t sw = srcRect.right - srcRect.left;
    const int64_t sh = srcRect.bottom - srcRect.top;
    const int64_t dw = static_cast<int64_t>(dest.right) - dest.left;
    const int64_t dh = static_cast<int64_t>(dest.bottom) - dest.top;
    const int32_t width = visible.right - visible.left;
    const int32_t rows = visible.bottom - visible.top;
    uint8_t* drow = dst.pixels + static_cast<int64_t>(visible.top) * dst.width + visible.left;
    if (sw == dw && sh == dh) {
        const uint8_t* srow = src.pixels + (srcRect.top + (visible.top - dest.top)) * static_cast<int64_t>(src.width) +
                              srcRect.left + (visible.left - dest.left);
        if (!useKey && width == src.width && width == dst.width) {
            // Whole rows on both sides: one run.
            std::memcpy(drow, srow, static_cast<size_t>(width) * static_cast<size_t>(rows));
            return;
        }
        const int64_t srcPitch = src.width, dstPitch = dst.width;
        if (useKey) {
            for (int32_t y = 0; y < rows; ++y, drow += dstPitch, srow += srcPitch) Rows::Keyed(drow, srow, width, key);
        } else {
            for (int32_t y = 0; y < rows; ++y, drow += dstPitch, srow += srcPitch) Rows::Copy(drow, srow, width);
        }
        return;
    }
    // Stretched: destination column i takes source column i * sw / dw and
    // row j source row j * sh / dh, both stepped as a quotient and a
    // remainder (no division per row or pixel); the columns are worked out
    // once for the copy. Each row is picked from the source into `line`,
    // only when its source row differs from the last one's, then copied like
    // any other.
    struct Step {
        int64_t quotient, remainder;
        const int64_t stepQuotient, stepRemainder, divisor;
        Step(int64_t first, int64_t from, int64_t to)
            : quotient(first * from / to),
              remainder(first * from % to),
              stepQuotient(from / to),
              stepRemainder(from % to),
              divisor(to) {}
        void Next() {
            quotient += stepQuotient;
            remainder += stepRemainder;
            if (remainder >= divisor) {
                remainder -= divisor;
                ++quotient;
            }
        }
    };
    uint16_t columns[kMaxSurfaceSide];
    uint8_t line[kMaxSurfaceSide];
    Step column(static_cast<int64_t>(visible.left) - dest.left, sw, dw);
    for (int32_t x = 0; x < width; ++x, column.Next()) columns[x] = static_cast<uint16_t>(column.quotient);
    Step row(static_cast<int64_t>(visible.top) - dest.top, sh, dh);
    int64_t lineRow = -1;
    const int64_t dstPitch = dst.width;
    for (int32_t y = 0; y < rows; ++y, drow += dstPitch, row.Next()) {
        if (row.quotient != lineRow) {
            const uint8_t* srow = src.pixels + (srcRect.top + row.quotient) * src.width + srcRect.left;
            for (int32_t x = 0; x < width; ++x) line[x] = srow[columns[x]];
            lineRow = row.quotient;
        }
        if (useKey)
            Rows::Keyed(drow, line, width, key);
        else
            Rows::Copy(drow, line, width);
    }
}

// A copy within one picture, pixel by pixel in reading order (rows by
// memmove when unkeyed and unstretched), so that the result follows from
// that order alone.
void CopyPartInPlace(const SurfaceData& src, const Rect& srcRect, SurfaceData& dst, const Rect& dest,
                     const Rect& visible, bool useKey, Key key) {
    const int64_t sw = srcRect.right - srcRect.left;
    const int64_t sh = srcRect.bottom - srcRect.top;
    const int64_t dw = static_cast<int64_t>(dest.right) - dest.left;
    const int64_t dh = static_cast<int64_t>(dest.bottom) - dest.top;
    const bool same = sw == dw && sh == dh;
    for (int32_t y = visible.top; y < visible.bottom; ++y) {
        const int64_t sy = srcRect.top + (same ? (y - dest.top) : ((y - static_cast<int64_t>(dest.top)) * sh) / dh);
        const uint8_t* srow = src.pixels + sy * src.width;
        uint8_t* drow = dst.pixels + static_cast<int64_t>(y) * dst.width;
        if (same && !useKey) {
            const int64_t sx = srcRect.left + (visible.left - dest.left);
            std::memmove(drow + visible.left, srow + sx, static_cast<size_t>(visible.right - visible.left));
            continue;
        }
        for (int32_t x = visible.left; x < visible.right; ++x) {
            const int64_t sx =
                srcRect.left + (same ? (x - dest.left) : ((x - static_cast<int64_t>(dest.left)) * sw) / dw);
            const uint8_t v = srow[sx];
            if (useKey && static_cast<uint8_t>(v - key.low) <= key.span) continue;
            drow[x] = v;
        }
    }
}

void CopyPart(const SurfaceData& src, const Rect& srcRect, SurfaceData& dst, const Rect& dest, const Rect& visible,
              bool keyed) {
    // A range with low above high leaves nothing out.
    const bool useKey = keyed && src.keyed && src.keyLow <= src.keyHigh;
    const Key key{src.keyLow, static_cast<uint8_t>(src.keyHigh - src.keyLow)};
    if (src.pixels == dst.pixels)
        CopyPartInPlace(src, srcRect, dst, dest, visible, useKey, key);
    else if (copyPath == CopyPath::Vector)
        CopyPartWith<VectorRows>(src, srcRect, dst, dest, visible, useKey, key);
    else
        CopyPartWith<PlainRows>(src, srcRect, dst, dest, visible, useKey, key);
}

bool CopyRect(const Rect& srcRect, Surface source, const Rect& dest, Surface destination, bool keyed) {
    if (!source || !destination || !source->pixels || !destination->pixels) return false;
    if (Empty(srcRect) || Empty(dest)) return false;
    if (!Inside(srcRect, source->width, source->height)) return false;
    if (destination->clipCount == 0) {
        if (!Inside(dest, destination->width, destination->height)) return false;
        if (!DrawingLeftOut()) CopyPart(*source, srcRect, *destination, dest, dest, keyed);
        return true;
    }
    if (DrawingLeftOut()) return true;
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
    if (width <= 0 || height <= 0 || width > kMaxSurfaceSide || height > kMaxSurfaceSide) {
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

void ShowPictureAgain() {
    Host* host = GetHost();
    if (host && displayUp && primarySurface) host->PresentAgain(primarySurface->pixels, displayPalette);
}

bool Blit(int srcLeft, int srcTop, int srcRight, int srcBottom, Surface source, int destX, int destY,
          Surface destination, BlitKey key) {
    const Rect src{srcLeft, srcTop, srcRight, srcBottom};
    const int64_t right = static_cast<int64_t>(destX) + (static_cast<int64_t>(srcRight) - srcLeft);
    const int64_t bottom = static_cast<int64_t>(destY) + (static_cast<int64_t>(srcBottom) - srcTop);
    if (right > INT32_MAX || bottom > INT32_MAX || right < INT32_MIN || bottom < INT32_MIN) return false;
    const Rect dest{destX, destY, static_cast<int32_t>(right), static_cast<int32_t>(bottom)};
    return CopyRect(src, source, dest, destination, key == BlitKey::Keyed);
}

bool BlitStretched(int srcLeft, int srcTop, int srcRight, int srcBottom, Surface source, int destLeft, int destTop,
                   int destRight, int destBottom, Surface destination, BlitKey key) {
    return CopyRect(Rect{srcLeft, srcTop, srcRight, srcBottom}, source, Rect{destLeft, destTop, destRight, destBottom},
                    destination, key == BlitKey::Keyed);
}

void ClearSurface(Surface surface, uint8_t colour) {
    if (!surface || !surface->pixels || DrawingLeftOut()) return;
    std::memset(surface->pixels, colour, static_cast<size_t>(surface->width) * surface->height);
}

void FillRect(int left, int top, int right, int bottom, Surface surface, uint8_t colour) {
    if (!surface || !surface->pixels || DrawingLeftOut()) return;
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

bool SetCopyPath(CopyPath path) {
    if (path == CopyPath::Vector && !kVectorPath) return false;
    copyPath = path;
    return true;
}
