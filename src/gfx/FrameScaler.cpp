#include "gfx/FrameScaler.h"

#include "gfx/PixelConvert.h"

#include <cstddef>
#include <cstring>

namespace {

// Whether `count` (at most 8) pixels are the same in both.
inline bool Same(const uint8_t* a, const uint8_t* b, int count) {
    if (count == 8) {
        uint64_t x, y;
        std::memcpy(&x, a, 8);
        std::memcpy(&y, b, 8);
        return x == y;
    }
    return std::memcmp(a, b, static_cast<size_t>(count)) == 0;
}

}  // namespace

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
    for (int x = 0, column = 0; column <= sourceWidth; ++column) {
        while (x < targetWidth && columnOf_[x] < column) ++x;
        firstColumn_[column] = static_cast<uint16_t>(x);
    }
    for (int y = 0, row = 0; row <= sourceHeight; ++row) {
        while (y < targetHeight && rowOf_[y] < row) ++y;
        firstRow_[row] = static_cast<uint16_t>(y);
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

TargetRect FrameScaler::ConvertChanges(const uint8_t* source, uint8_t* shown, const uint32_t* colours, uint8_t* target,
                                       int targetPitch) const {
    TargetRect changed;
    if (targetWidth_ == 0) return changed;
    int left = sourceWidth_, right = 0, top = sourceHeight_, bottom = 0;  // source columns and rows, right/bottom past
    for (int row = 0; row < sourceHeight_; ++row) {
        const uint8_t* from = source + static_cast<ptrdiff_t>(row) * sourceWidth_;
        uint8_t* was = shown + static_cast<ptrdiff_t>(row) * sourceWidth_;
        // Most rows are unchanged: the C library's compare passes them fastest.
        if (std::memcmp(from, was, static_cast<size_t>(sourceWidth_)) == 0) continue;
        const int firstY = firstRow_[row], endY = firstRow_[row + 1];
        int x = 0;
        while (x < sourceWidth_) {
            // Eight pixels at a time while they match; a run of differing
            // groups is then written as one span.
            const int step = sourceWidth_ - x < 8 ? sourceWidth_ - x : 8;
            if (Same(from + x, was + x, step)) {
                x += step;
                continue;
            }
            const int start = x;
            x += step;
            while (x < sourceWidth_) {
                const int next = sourceWidth_ - x < 8 ? sourceWidth_ - x : 8;
                if (Same(from + x, was + x, next)) break;
                x += next;
            }
            for (int i = start; i < x; ++i) was[i] = from[i];  // a few bytes: no call
            left = start < left ? start : left;
            right = x > right ? x : right;
            top = row < top ? row : top;
            bottom = row + 1;
            const int firstX = firstColumn_[start], endX = firstColumn_[x];
            if (firstX == endX || firstY == endY) continue;  // shrunk away
            uint32_t* line = reinterpret_cast<uint32_t*>(target + static_cast<ptrdiff_t>(firstY) * targetPitch);
            if (wholeFactor_ == 2) {
                // The usual case (a 1280 x 960 picture): both rows at once.
                uint32_t* below = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(line) + targetPitch);
                for (int i = start; i < x; ++i) {
                    const uint32_t colour = colours[from[i]];
                    line[2 * i] = line[2 * i + 1] = below[2 * i] = below[2 * i + 1] = colour;
                }
                continue;
            }
            for (int column = firstX; column < endX; ++column) line[column] = colours[from[columnOf_[column]]];
            const size_t bytes = static_cast<size_t>(endX - firstX) * 4;
            for (int y = firstY + 1; y < endY; ++y) {
                std::memcpy(target + static_cast<ptrdiff_t>(y) * targetPitch + static_cast<ptrdiff_t>(firstX) * 4,
                            line + firstX, bytes);
            }
        }
    }
    if (right == 0) return changed;
    changed.left = firstColumn_[left];
    changed.top = firstRow_[top];
    changed.width = firstColumn_[right] - changed.left;
    changed.height = firstRow_[bottom] - changed.top;
    return changed;
}
