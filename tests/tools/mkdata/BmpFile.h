#pragma once
// Reads back the 8-bit BMP files the data tool writes, the way the game's
// loader does: header fields, the 256-entry colour table, and the pixel
// rows (bottom-up in the file) taken from the end of the file.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

struct BmpFile {
    bool ok = false;
    uint16_t type = 0;
    uint32_t fileSize = 0, dataOffset = 0, infoSize = 0, imageSize = 0;
    int32_t width = 0, height = 0;
    uint16_t planes = 0, bits = 0;
    uint32_t compression = 0;
    std::vector<uint8_t> raw;       // the whole file
    uint8_t pal[256][3] = {};        // red, green, blue
    std::vector<uint8_t> pixels;     // top-down rows

    uint8_t At(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height) return 0;
        return pixels[static_cast<size_t>(y) * width + x];
    }
    bool SamePalette(const BmpFile& o, int first, int last) const {
        for (int i = first; i <= last; ++i)
            for (int c = 0; c < 3; ++c)
                if (pal[i][c] != o.pal[i][c]) return false;
        return true;
    }
};

inline BmpFile ReadBmpFile(const std::string& path) {
    BmpFile b;
    std::ifstream in(path, std::ios::binary);
    if (!in) return b;
    b.raw.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (b.raw.size() < 54 + 1024) return b;
    auto u16 = [&](size_t o) { return static_cast<uint16_t>(b.raw[o] | b.raw[o + 1] << 8); };
    auto u32 = [&](size_t o) {
        return static_cast<uint32_t>(b.raw[o] | b.raw[o + 1] << 8 | b.raw[o + 2] << 16 | static_cast<uint32_t>(b.raw[o + 3]) << 24);
    };
    b.type = u16(0);
    b.fileSize = u32(2);
    b.dataOffset = u32(10);
    b.infoSize = u32(14);
    b.width = static_cast<int32_t>(u32(18));
    b.height = static_cast<int32_t>(u32(22));
    b.planes = u16(26);
    b.bits = u16(28);
    b.compression = u32(30);
    b.imageSize = u32(34);
    for (int i = 0; i < 256; ++i) {
        b.pal[i][0] = b.raw[54 + 4 * i + 2];
        b.pal[i][1] = b.raw[54 + 4 * i + 1];
        b.pal[i][2] = b.raw[54 + 4 * i + 0];
    }
    if (b.width <= 0 || b.height <= 0 || b.imageSize > b.raw.size()) return b;
    if (static_cast<size_t>(b.width) * b.height != b.imageSize) return b;
    const size_t start = b.raw.size() - b.imageSize;
    b.pixels.resize(b.imageSize);
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x)
            b.pixels[static_cast<size_t>(b.height - 1 - y) * b.width + x] = b.raw[start + static_cast<size_t>(y) * b.width + x];
    b.ok = b.type == 0x4D42;
    return b;
}
