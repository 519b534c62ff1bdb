#include "gfx/ChangedTiles.h"

#include <cstddef>
#include <cstring>

namespace {

constexpr int kMostTiles = ChangedTiles::kMaxWidth / ChangedTiles::kTileWidth;
constexpr int kGroup = 8;  // pixels compared at once

bool SameGroup(const uint8_t* a, const uint8_t* b) {
    uint64_t x = 0, y = 0;
    std::memcpy(&x, a, sizeof x);
    std::memcpy(&y, b, sizeof y);
    return x == y;
}

}  // namespace

int ChangedTiles::Convert(const uint8_t* source, uint8_t* shown, int width, int height, const uint32_t* colours,
                          uint32_t* target, TargetRect* rects) {
    if (width <= 0 || height <= 0 || width > kMaxWidth || height > kMaxHeight) return 0;
    const int tiles = (width + kTileWidth - 1) / kTileWidth;
    int count = 0;
    bool merged = false;  // too many runs: a rectangle per band from here on
    for (int bandTop = 0; bandTop < height; bandTop += kTileHeight) {
        const int bandHeight = height - bandTop < kTileHeight ? height - bandTop : kTileHeight;
        bool changed[kMostTiles] = {};
        bool any = false;
        for (int row = bandTop; row < bandTop + bandHeight; ++row) {
            const uint8_t* from = source + static_cast<ptrdiff_t>(row) * width;
            uint8_t* was = shown + static_cast<ptrdiff_t>(row) * width;
            uint32_t* to = target + static_cast<ptrdiff_t>(row) * width;
            for (int x = 0; x < width; x += kGroup) {
                const int step = width - x < kGroup ? width - x : kGroup;
                if (step == kGroup ? SameGroup(from + x, was + x) : std::memcmp(from + x, was + x, step) == 0) continue;
                for (int i = x; i < x + step; ++i) {
                    to[i] = colours[from[i]];
                    was[i] = from[i];
                }
                changed[x / kTileWidth] = true;  // a group never straddles two tiles
                any = true;
            }
        }
        if (!any) continue;
        // This band's runs, unless they would overflow: then its whole span.
        int runs = 0;
        for (int t = 0; t < tiles; ++t) runs += changed[t] && (t == 0 || !changed[t - 1]) ? 1 : 0;
        const int bandsLeft = (height - bandTop + kTileHeight - 1) / kTileHeight;
        if (!merged && count + runs + bandsLeft - 1 > kMostRects) merged = true;
        for (int t = 0; t < tiles; ++t) {
            if (!changed[t]) continue;
            int end = t + 1;
            if (merged) {
                for (int u = t + 1; u < tiles; ++u)
                    if (changed[u]) end = u + 1;
            } else {
                while (end < tiles && changed[end]) ++end;
            }
            TargetRect& rect = rects[count++];
            rect.left = t * kTileWidth;
            rect.top = bandTop;
            rect.width = (end * kTileWidth < width ? end * kTileWidth : width) - rect.left;
            rect.height = bandHeight;
            t = end;
        }
    }
    return count;
}
