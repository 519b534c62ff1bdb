#include "gfx/PixelConvert.h"

#include <cstring>

void BuildArgbTable(const PaletteEntry* palette, uint32_t* table) {
    for (int i = 0; i < kPaletteSize; ++i)
        table[i] = 0xFF000000u | static_cast<uint32_t>(palette[i].red) << 16 |
                   static_cast<uint32_t>(palette[i].green) << 8 | palette[i].blue;
}

// Eight indices come in one 64-bit read, then one table load and one store
// a pixel. Reading the indices byte by byte is up to twice as slow when the
// picture and the target lie at the same offset in their pages (each byte
// read waits on the stores before it); the AVX2 gather, paired 64-bit
// stores and 16-byte stores all measured slower (docs/performance.md).
void ConvertToArgb(const uint8_t* pixels, int width, int height, const uint32_t* table, void* target, int pitch) {
    uint8_t* out = static_cast<uint8_t*>(target);
    for (int y = 0; y < height; ++y, pixels += width, out += pitch) {
        uint32_t* row = reinterpret_cast<uint32_t*>(out);
        int x = 0;
        for (; x + 8 <= width; x += 8) {
            uint64_t eight;
            std::memcpy(&eight, pixels + x, 8);
            row[x] = table[eight & 0xFF];
            row[x + 1] = table[(eight >> 8) & 0xFF];
            row[x + 2] = table[(eight >> 16) & 0xFF];
            row[x + 3] = table[(eight >> 24) & 0xFF];
            row[x + 4] = table[(eight >> 32) & 0xFF];
            row[x + 5] = table[(eight >> 40) & 0xFF];
            row[x + 6] = table[(eight >> 48) & 0xFF];
            row[x + 7] = table[eight >> 56];
        }
        for (; x < width; ++x) row[x] = table[pixels[x]];
    }
}
