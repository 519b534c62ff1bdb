#include "gfx/ImageLoader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "platform/GameFile.h"
#include "platform/LittleEndian.h"

bool imageLoadFailed = false;

namespace {

// Pictures are never larger than this; a header that says more is broken.
constexpr int64_t kMaxImageBytes = 16 * 1024 * 1024;
constexpr int64_t kHeaderBytes = 14 + 40;

bool Malformed(ReadError* error, const char* rule) { return ReadFailed(error, ReadStatus::Malformed, rule); }

}  // namespace

void TellPictureFailure(const char* fileName, const ReadError& error) {
    char shown[kMaxGameFileName + 1];
    ShownGameFileName(fileName, shown, sizeof shown);
    std::fprintf(stderr, "voidcrawl: cannot load picture \"%s\": %s\n", shown, error.reason);
}

bool ImageLoader::Load(const char* fileName, uint8_t* pixels, int32_t targetWidth, int32_t targetHeight,
                       PaletteEntry* paletteOut, ReadError* error) {
    std::FILE* f = OpenGameFile(fileName, "rb", error);
    if (!f) return false;
    std::fseek(f, 0, SEEK_END);
    long end = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    if (end < 0 || end > kMaxImageBytes + kHeaderBytes + 1024 * 16) {
        std::fclose(f);
        return Malformed(error, "the file is larger than any picture");
    }
    std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[static_cast<size_t>(end) + 1]);
    if (!data) {
        std::fclose(f);
        return ReadFailed(error, ReadStatus::Refused, "out of memory");
    }
    const size_t got = std::fread(data.get(), 1, static_cast<size_t>(end), f);
    std::fclose(f);
    return LoadFromMemory(data.get(), static_cast<int64_t>(got), pixels, targetWidth, targetHeight, paletteOut, error);
}

bool ImageLoader::LoadFromMemory(const uint8_t* data, int64_t size, uint8_t* pixels, int32_t targetWidth,
                                 int32_t targetHeight, PaletteEntry* paletteOut, ReadError* error) {
    if (!pixels || targetWidth <= 0 || targetHeight <= 0)
        return ReadFailed(error, ReadStatus::Refused, "no surface to load into");
    if (size < 14) return Malformed(error, "the file is too short to be a picture");
    BmpFileHeader fh{};
    fh.type = ReadLittleEndian<uint16_t>(data);
    fh.size = ReadLittleEndian<uint32_t>(data + 2);
    fh.offBits = ReadLittleEndian<uint32_t>(data + 10);
    if (fh.type != 0x4D42) return Malformed(error, "not a BMP picture");
    if (size < kHeaderBytes) return Malformed(error, "the picture header is cut short");
    const uint8_t* ih = data + 14;
    BmpInfoHeader info{};
    info.size = ReadLittleEndian<uint32_t>(ih);
    info.width = ReadLittleEndian<int32_t>(ih + 4);
    info.height = ReadLittleEndian<int32_t>(ih + 8);
    info.planes = ReadLittleEndian<uint16_t>(ih + 12);
    info.bitCount = ReadLittleEndian<uint16_t>(ih + 14);
    info.compression = ReadLittleEndian<uint32_t>(ih + 16);
    info.sizeImage = ReadLittleEndian<uint32_t>(ih + 20);
    const int bits = info.bitCount == 8 ? 8 : info.bitCount == 16 ? 16 : 24;
    // 16- and 24-bit pictures become two bytes a pixel.
    const int64_t rowBytesOut = static_cast<int64_t>(info.width) * (bits == 8 ? 1 : 2);
    if (info.width <= 0 || rowBytesOut != targetWidth)
        return Malformed(error, "the picture's width does not match its surface");
    if (info.height <= 0 || info.height > targetHeight)
        return Malformed(error, "the picture's height does not fit its surface");
    const int64_t imageSize = info.sizeImage;
    const int64_t capacity = static_cast<int64_t>(targetWidth) * targetHeight;
    if (imageSize <= 0 || imageSize > kMaxImageBytes)
        return Malformed(error, "the picture's data size is out of range");

    PaletteEntry* pal = paletteOut ? paletteOut : palette;
    if (bits == 8) {
        if (size < kHeaderBytes + 1024) return Malformed(error, "the colour table is cut short");
        const uint8_t* table = data + kHeaderBytes;
        for (int i = 0; i < kPaletteSize; ++i)
            pal[i] = PaletteEntry{table[i * 4 + 2], table[i * 4 + 1], table[i * 4 + 0], kPaletteFlags};
    }
    // The pixel data is found by its size, counted back from the end of the file.
    const int64_t start = std::max<int64_t>(kHeaderBytes, size - imageSize);
    const int64_t available = size - start;
    fileHeader = fh;
    infoHeader = info;
    target = pixels;
    targetCapacity = capacity;
    if (bits == 8 || bits == 16) {
        const int64_t n = std::min({imageSize, available, capacity});
        std::memcpy(pixels, data + start, static_cast<size_t>(n));
    } else {
        const int64_t count = static_cast<int64_t>(info.width) * info.height;
        if (count * 2 > capacity) return Malformed(error, "the picture does not fit its surface");
        for (int64_t i = 0; i < count && i * 3 + 2 < available; ++i) {
            const uint8_t* p = data + start + i * 3;
            const uint16_t v = static_cast<uint16_t>(((p[2] >> 3) << 10) | ((p[1] >> 3) << 5) | (p[0] >> 3));
            pixels[i * 2] = static_cast<uint8_t>(v & 0xFF);
            pixels[i * 2 + 1] = static_cast<uint8_t>(v >> 8);
        }
        infoHeader.bitCount = 16;
    }
    FlipRows();
    return true;
}

bool ImageLoader::LoadSurface(const char* fileName, Surface surface, PaletteEntry* paletteOut) {
    if (!surface) {
        imageLoadFailed = true;
        char shown[kMaxGameFileName + 1];
        ShownGameFileName(fileName, shown, sizeof shown);
        std::fprintf(stderr, "voidcrawl: no surface for picture \"%s\"\n", shown);
        return false;
    }
    uint8_t* pixels = LockSurface(surface);
    ReadError error;
    const bool ok = Load(fileName, pixels, surface->width, surface->height, paletteOut, &error);
    UnlockSurface(surface);
    if (!ok) {
        TellPictureFailure(fileName, error);
        imageLoadFailed = true;
    }
    return ok;
}

void ImageLoader::FlipRows() {
    if (!target || infoHeader.height < 1 || infoHeader.width <= 0) return;
    const int64_t row = static_cast<int64_t>(infoHeader.bitCount) * infoHeader.width / 8;
    if (row <= 0) return;
    int64_t rows = infoHeader.height;
    if (rows * row > targetCapacity) rows = targetCapacity / row;
    for (int64_t i = 0; i < rows / 2; ++i)
        std::swap_ranges(target + i * row, target + (i + 1) * row, target + (rows - 1 - i) * row);
}

int ImageBank::Add(const char* fileName, int32_t width, int32_t height, Placement placement) {
    int slot = 0;
    while (slot < kImageBankSlots && surfaces[slot]) ++slot;
    if (slot == kImageBankSlots) {
        imageLoadFailed = true;
        return -1;
    }
    surfaces[slot] = CreateSurface(width, height, placement);
    loader.LoadSurface(fileName, surfaces[slot], palette);
    return slot;
}

void ImageBank::ReleaseAll() {
    for (Surface& s : surfaces) {
        if (s) ReleaseSurface(s);
        s = nullptr;
    }
}
