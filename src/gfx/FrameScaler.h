#pragma once
#include <cstdint>

// Turns a frame of palette indices into 32-bit pixels of any size in one
// pass, nearest pixel: each target pixel takes the colour of the source
// pixel under its centre. Whole factors (2x, 3x ...) give every source pixel
// an exact square. The tables are made once per size, so a frame costs no
// more than the writes.
//
// A target that already holds a picture through the same colours need only
// have what changed written again (ConvertChanges): a menu whose stars move
// changes a few thousand of its 307,200 pixels a frame.

// Part of the target, in its pixels; empty when width or height is 0.
struct TargetRect {
    int left = 0, top = 0, width = 0, height = 0;
};

class FrameScaler {
public:
    static constexpr int kMaxSide = 8192;

    // The sizes to scale between; false (and nothing done by Convert) when
    // either is empty or the target is larger than kMaxSide.
    bool Setup(int sourceWidth, int sourceHeight, int targetWidth, int targetHeight);

    // `colours` maps the 256 indices to the target's 32-bit pixel values;
    // `target` holds targetHeight rows of `targetPitch` bytes.
    void Convert(const uint8_t* source, const uint32_t* colours, uint8_t* target, int targetPitch) const;

    // As Convert, for a target that holds `shown` through the same
    // `colours`: writes only where `source` differs from `shown`, makes
    // `shown` a copy of `source`, and returns the part of the target
    // written (empty when nothing differed).
    TargetRect ConvertChanges(const uint8_t* source, uint8_t* shown, const uint32_t* colours, uint8_t* target,
                              int targetPitch) const;

    int TargetWidth() const { return targetWidth_; }
    int TargetHeight() const { return targetHeight_; }

private:
    int sourceWidth_ = 0, sourceHeight_ = 0;
    int targetWidth_ = 0, targetHeight_ = 0;
    int wholeFactor_ = 0;  // 0 unless the target is exactly that many times the source both ways
    uint16_t columnOf_[kMaxSide] = {};
    uint16_t rowOf_[kMaxSide] = {};
    // The first target column (row) showing source column (row) i or one
    // after it; entry sourceWidth (sourceHeight) is the target's width
    // (height).
    uint16_t firstColumn_[kMaxSide + 1] = {};
    uint16_t firstRow_[kMaxSide + 1] = {};
};
