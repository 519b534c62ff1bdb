#pragma once
// Reads back the 8-bit BMP files the data tool writes, the way the game's loader does: header fields,
// the 256-entry colour table, and the pixel rows (bottom-up in the file) taken from the end of the file.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Canvas.h"

struct BmpFile {
    bool ok = false;
    uint16_t type = 0, planes = 0, bits = 0;
    uint32_t fileSize = 0, dataOffset = 0, infoSize = 0, imageSize = 0, compression = 0;
    int32_t width = 0, height = 0;
    std::vector<uint8_t> raw;     // the whole file
    uint8_t pal[256][3] = {};     // red, green, blue
    std::vector<uint8_t> pixels;  // top-down rows

    uint8_t At(int x, int y) const {
        return x < 0 || y < 0 || x >= width || y >= height ? 0 : pixels[size_t(y) * width + x];
    }
    bool SamePalette(const BmpFile& o, int first, int last) const {
        for (int i = first * 3; i < (last + 1) * 3; ++i)
            if (pal[i / 3][i % 3] != o.pal[i / 3][i % 3]) return false;
        return true;
    }
    bool SamePalette(const Palette& p, int first, int last) const {
        for (int i = first; i <= last; ++i)
            if (pal[i][0] != p.entries[i].r || pal[i][1] != p.entries[i].g || pal[i][2] != p.entries[i].b) return false;
        return true;
    }
};

inline BmpFile ReadBmpFile(const std::string& path) {
    BmpFile b;
    std::ifstream in(path, std::ios::binary);
    b.raw.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (b.raw.size() < 54 + 1024) return b;
    auto u16 = [&](size_t o) { return uint16_t(b.raw[o] | b.raw[o + 1] << 8); };
    auto u32 = [&](size_t o) { return uint32_t(u16(o)) | uint32_t(u16(o + 2)) << 16; };
    b.type = u16(0), b.fileSize = u32(2), b.dataOffset = u32(10), b.infoSize = u32(14);
    b.width = int32_t(u32(18)), b.height = int32_t(u32(22)), b.planes = u16(26), b.bits = u16(28);
    b.compression = u32(30), b.imageSize = u32(34);
    for (int i = 0; i < 256 * 3; ++i) b.pal[i / 3][i % 3] = b.raw[54 + 4 * (i / 3) + 2 - i % 3];
    if (b.width <= 0 || b.height <= 0 || b.imageSize > b.raw.size() || size_t(b.width) * b.height != b.imageSize)
        return b;
    const size_t start = b.raw.size() - b.imageSize;
    b.pixels.resize(b.imageSize);
    for (size_t i = 0; i < b.imageSize; ++i)
        b.pixels[(b.height - 1 - i / b.width) * size_t(b.width) + i % b.width] = b.raw[start + i];
    b.ok = b.type == 0x4D42;
    return b;
}
