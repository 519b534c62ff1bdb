// Pictures: ImageLoader::LoadFromMemory into a surface-sized buffer.
//
// The buffer has exactly the size of one of the surfaces the game loads
// pictures into (made once per shape), so any write past it is caught by
// the sanitizer. The shape
// is the one whose width matches the picture's header (the game never loads
// a picture into a surface of another width); when none does, a shape is
// picked from the input's length, and the load must be refused.
//
// Rules checked:
//   - success and the failure flag agree;
//   - a refused picture leaves the target untouched;
//   - an accepted picture is as wide as its target and no taller, and an
//     8-bit one gives a colour table whose flags are all 4;
//   - when an 8-bit file holds every row, the top row of the target is the
//     last row of the file (rows are stored bottom-up).

#include <cstring>

#include "FuzzTargets.h"
#include "gfx/ImageLoader.h"

namespace {

struct Shape {
    int32_t width, height;
};

// Every surface a picture is loaded into (width in bytes).
constexpr Shape kShapes[] = {
    {640, 480}, {800, 600}, {640, 103}, {2592, 82}, {480, 66},  {440, 130}, {320, 200}, {320, 180},
    {32, 25},   {640, 80},  {640, 30},  {640, 200}, {640, 140}, {640, 250}, {640, 180}, {400, 200},
};
constexpr int kShapeCount = static_cast<int>(sizeof kShapes / sizeof kShapes[0]);

int32_t Le32(const uint8_t* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                                (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24));
}

}  // namespace

int FuzzBmp(const uint8_t* data, size_t size) {
    int32_t width = 0, height = 0, bits = 24, sizeImage = 0;
    if (size >= 54) {
        width = Le32(data + 18);
        height = Le32(data + 22);
        const int bitCount = data[28] | (data[29] << 8);
        bits = bitCount == 8 ? 8 : bitCount == 16 ? 16 : 24;
        sizeImage = Le32(data + 34);
    }
    const int64_t rowBytes = static_cast<int64_t>(width) * (bits == 8 ? 1 : 2);
    int chosen = -1;
    for (int i = 0; i < kShapeCount; ++i) {
        if (kShapes[i].width != rowBytes) continue;
        if (chosen < 0 || (height <= kShapes[i].height && height > kShapes[chosen].height)) chosen = i;
    }
    const bool widthMatches = chosen >= 0;
    if (!widthMatches) chosen = static_cast<int>(size % kShapeCount);
    const Shape shape = kShapes[chosen];
    const size_t capacity = static_cast<size_t>(shape.width) * static_cast<size_t>(shape.height);

    // One buffer per shape, made once and exactly that size, and a pattern
    // to fill it with: a refused load must leave the pattern, an accepted
    // one has it put back after the checks.
    static uint8_t* targets[kShapeCount] = {};
    static uint8_t pattern[2592 * 82 > 800 * 600 ? 2592 * 82 : 800 * 600];
    static const bool patterned = [] {
        for (size_t i = 0; i < sizeof pattern; ++i) pattern[i] = static_cast<uint8_t>(i * 7 + 3);
        return true;
    }();
    (void)patterned;
    if (!targets[chosen]) {
        targets[chosen] = new uint8_t[capacity];
        std::memcpy(targets[chosen], pattern, capacity);
    }
    uint8_t* target = targets[chosen];
    PaletteEntry palette[kPaletteSize];
    std::memset(palette, 0xEE, sizeof palette);

    static ImageLoader loader;  // about 1 KB of palette: keep it off the stack
    ReadError error;
    const bool ok = loader.LoadFromMemory(data, static_cast<int64_t>(size), target, shape.width, shape.height,
                                          (size & 1) ? nullptr : palette, &error);
    FUZZ_CHECK(ok == (error.status == ReadStatus::Read) && ok == (error.reason[0] == '\0'));
    if (!ok) {
        FUZZ_CHECK(std::memcmp(target, pattern, capacity) == 0);
        return 0;
    }
    FUZZ_CHECK(widthMatches);
    FUZZ_CHECK(height >= 1 && height <= shape.height);
    FUZZ_CHECK(loader.infoHeader.bitCount == (bits == 8 ? 8 : 16));
    if (bits == 8) {
        const PaletteEntry* got = (size & 1) ? loader.palette : palette;
        for (int i = 0; i < kPaletteSize; ++i) {
            FUZZ_CHECK(got[i].flags == kPaletteFlags);
            FUZZ_CHECK(got[i].red == data[54 + i * 4 + 2] && got[i].blue == data[54 + i * 4]);
        }
        const int64_t image = static_cast<int64_t>(width) * height;
        const int64_t start = static_cast<int64_t>(size) - sizeImage;
        if (sizeImage == image && start >= 54 + 1024) {
            const uint8_t* lastRow = data + start + static_cast<int64_t>(height - 1) * width;
            FUZZ_CHECK(std::memcmp(target, lastRow, static_cast<size_t>(width)) == 0);
        }
    }
    std::memcpy(target, pattern, capacity);
    return 0;
}
