#include "gfx/FrameScaler.h"

#include "gfx/PixelConvert.h"

#include <cstddef>
#include <cstring>

bool FrameScaler::Setup(int sourceWidth, int sourceHeight, int targetWidth, int targetHeight) {
    targetWidth_ = targetHeight_ = 0;
    if (sourceWidth <= 0 || sourceHeight <= 0 || targetWidth <= 0 || targetHeight <= 0) return false;
    if (sourceWidth > kMaxSide || sourceHeight > kMaxSide || targetWidth > kMaxSide || targetHeight > kMaxSide) {
        return false;
    }
    sourceWidth_ = sourceWidth;
    sourceHeight_ = sourceHeight;
    targetWidth_ = targetWidth;
    targetHeight_ = targetHeight;
    // The source pixel under the centre of target pixel i.
    for (int x = 0; x < targetWidth; ++x) {
        columnOf_[x] = static_cast<uint16_t>((2LL * x + 1) * sourceWidth / (2LL * targetWidth));
    }
    for (int y = 0; y < targetHeight; ++y) {
        rowOf_[y] = static_cast<uint16_t>((2LL * y + 1) * sourceHeight / (2LL * targetHeight));
    }
    const int factor = targetWidth / sourceWidth;
    wholeFactor_ =
        factor >= 1 && targetWidth == factor * sourceWidth && targetHeight == factor * sourceHeight ? factor : 0;
    return true;
}

void FrameScaler::Convert(const uint8_t* source, const uint32_t* colours, uint8_t* target, int targetPitch) const {
    if (targetWidth_ == 0) return;
    if (wholeFactor_ == 1) {
        // Same size: the plain conversion, which reads the indices eight at a time.
        ConvertToArgb(source, sourceWidth_, sourceHeight_, colours, target, targetPitch);
        return;
    }
    const size_t rowBytes = static_cast<size_t>(targetWidth_) * 4;
    int lastRow = -1;
    const uint8_t* lastTarget = nullptr;
    for (int y = 0; y < targetHeight_; ++y) {
        uint8_t* line = target + static_cast<ptrdiff_t>(y) * targetPitch;
        const int row = rowOf_[y];
        if (row == lastRow) {
            // The row above came from the same source row.
            std::memcpy(line, lastTarget, rowBytes);
            continue;
        }
        const uint8_t* from = source + static_cast<ptrdiff_t>(row) * sourceWidth_;
        uint32_t* to = reinterpret_cast<uint32_t*>(line);
        switch (wholeFactor_) {
        case 2:
            for (int x = 0; x < sourceWidth_; ++x) {
                const uint32_t colour = colours[from[x]];
                to[2 * x] = colour;
                to[2 * x + 1] = colour;
            }
            break;
        case 3:
            for (int x = 0; x < sourceWidth_; ++x) {
                const uint32_t colour = colours[from[x]];
                to[3 * x] = colour;
                to[3 * x + 1] = colour;
                to[3 * x + 2] = colour;
            }
            break;
        default:
            for (int x = 0; x < targetWidth_; ++x) to[x] = colours[from[columnOf_[x]]];
            break;
        }
        lastRow = row;
        lastTarget = line;
    }
}
