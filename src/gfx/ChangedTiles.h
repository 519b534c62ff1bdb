#pragma once
#include <cstdint>

#include "gfx/FrameScaler.h"

// The parts of a picture that changed since the last one shown, as a few
// rectangles of whole tiles, for a target that is redrawn by rectangles (the
// browser's canvas). A menu whose stars move changes a few thousand pixels
// a frame, scattered over the whole picture: one rectangle around them all
// would be nearly the whole picture, a tile around each is a tenth of it.
//
// The picture is `width` x `height` palette indices, at most kMaxWidth
// wide and kMaxHeight high (a larger one is refused: 0, nothing written); the target holds it at the same size, one
// 32-bit pixel each.
class ChangedTiles {
public:
    static constexpr int kTileWidth = 32;
    static constexpr int kTileHeight = 16;
    static constexpr int kMaxWidth = 2048;
    static constexpr int kMostRects = 96;
    static constexpr int kMaxHeight = kMostRects * kTileHeight;  // a band each, at the most

    // Writes the pixels of `source` that differ from `shown` into `target`
    // through `colours`, makes `shown` a copy of `source`, and returns how
    // many rectangles of `rects` (kMostRects of them) cover the tiles that
    // changed: runs of changed tiles along each band of tiles, or, when
    // those would be more than kMostRects, one rectangle per changed band
    // from its first changed tile to its last. 0 when nothing differed.
    static int Convert(const uint8_t* source, uint8_t* shown, int width, int height, const uint32_t* colours,
                       uint32_t* target, TargetRect* rects);
};
