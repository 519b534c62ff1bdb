#include "io/WaveReader.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

// Random-access view of the bytes being parsed: a memory block or a file.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Reads up to n bytes at offset; returns how many were read.
    virtual size_t Read(uint64_t offset, void* dst, size_t n) = 0;
};

class MemorySource : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}
    uint64_t Size() const override { return size_; }
    size_t Read(uint64_t offset, void* dst, size_t n) override {
        if (offset >= size_) return 0;
        const uint64_t left = size_ - offset;
        if (n > left) n = static_cast<size_t>(left);
        std::memcpy(dst, data_ + offset, n);
        return n;
    }

private:
    const uint8_t* data_;
    uint64_t size_;
};

class FileSource : public ByteSource {
public:
    explicit FileSource(std::FILE* file) : file_(file) {
        if (std::fseek(file_, 0, SEEK_END) == 0) {
            const long end = std::ftell(file_);
            if (end > 0) size_ = static_cast<uint64_t>(end);
        }
    }
    uint64_t Size() const override { return size_; }
    size_t Read(uint64_t offset, void* dst, size_t n) override {
        if (offset >= size_) return 0;
        const uint64_t left = size_ - offset;
        if (n > left) n = static_cast<size_t>(left);
        if (std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) return 0;
        return std::fread(dst, 1, n, file_);
    }

private:
    std::FILE* file_;
    uint64_t size_ = 0;
};

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
bool IdIs(const uint8_t* p, const char* id) { return std::memcmp(p, id, 4) == 0; }

// Offset just past a chunk whose 8-byte header starts at `pos`, with the
// pad byte that follows an odd-sized chunk.
uint64_t ChunkEnd(uint64_t pos, uint32_t size) { return pos + 8 + size + (size & 1u); }

bool Malformed(ReadError* error, const char* rule) { return ReadFailed(error, ReadStatus::Malformed, rule); }

bool Parse(ByteSource& src, WaveSamples* out, ReadError* error) {
    const uint64_t fileSize = src.Size();
    uint8_t header[12];

    // 1. The RIFF chunk of form "WAVE", among the top-level chunks.
    uint64_t pos = 0;
    uint64_t formStart = 0;
    uint64_t formEnd = 0;
    bool haveForm = false;
    while (pos + 12 <= fileSize) {
        if (src.Read(pos, header, 12) != 12) break;
        const uint32_t size = Le32(header + 4);
        if (IdIs(header, "RIFF") && IdIs(header + 8, "WAVE")) {
            formStart = pos + 12;
            const uint64_t end = pos + 8 + static_cast<uint64_t>(size);
            formEnd = end < fileSize ? end : fileSize;
            if (formEnd < formStart) formEnd = formStart;
            haveForm = true;
            break;
        }
        pos = ChunkEnd(pos, size);
    }
    if (!haveForm) return Malformed(error, "no RIFF WAVE form");

    // 2. The form's first chunk is the format record.
    pos = formStart;
    if (pos + 8 > formEnd || src.Read(pos, header, 8) != 8) return Malformed(error, "no format chunk");
    const uint32_t formatSize = Le32(header + 4);
    uint8_t record[18];
    if (src.Read(pos + 8, record, sizeof record) != sizeof record)
        return Malformed(error, "format record shorter than 18 bytes");
    WaveFormat format;
    format.formatTag = Le16(record + 0);
    format.channels = Le16(record + 2);
    format.samplesPerSec = Le32(record + 4);
    format.avgBytesPerSec = Le32(record + 8);
    format.blockAlign = Le16(record + 12);
    format.bitsPerSample = Le16(record + 14);
    format.extraSize = Le16(record + 16);
    if (format.formatTag != 1) return Malformed(error, "not PCM");
    pos = ChunkEnd(pos, formatSize);

    // 3. The "data" chunk, scanning onward inside the form.
    bool haveData = false;
    uint32_t dataSize = 0;
    while (pos + 8 <= formEnd) {
        if (src.Read(pos, header, 8) != 8) break;
        const uint32_t size = Le32(header + 4);
        if (IdIs(header, "data")) {
            dataSize = size;
            haveData = true;
            break;
        }
        pos = ChunkEnd(pos, size);
    }
    if (!haveData) return Malformed(error, "no data chunk");

    // 4. The samples: what the file holds of the chunk, within the cap.
    const uint64_t dataStart = pos + 8;
    const uint64_t available = fileSize > dataStart ? fileSize - dataStart : 0;
    uint64_t take = dataSize;
    if (take > available) take = available;
    if (take > kMaxWaveBytes) take = kMaxWaveBytes;

    std::unique_ptr<uint8_t[]> bytes;
    size_t got = 0;
    if (take > 0) {
        bytes.reset(new (std::nothrow) uint8_t[static_cast<size_t>(take)]);
        if (!bytes) return ReadFailed(error, ReadStatus::Refused, "out of memory");
        got = src.Read(dataStart, bytes.get(), static_cast<size_t>(take));
        if (got == 0) bytes.reset();
    }

    out->format = format;
    out->bytes = std::move(bytes);
    out->size = static_cast<uint32_t>(got);
    out->truncated = got < dataSize;
    return true;
}

}  // namespace

bool ReadWaveMemory(const uint8_t* data, size_t size, WaveSamples* out, ReadError* error) {
    MemorySource src(data, size);
    return Parse(src, out, error);
}

bool ReadWaveStream(std::FILE* file, WaveSamples* out, ReadError* error) {
    if (!file) return ReadFailed(error, ReadStatus::Refused, "cannot open the file");
    FileSource src(file);
    return Parse(src, out, error);
}
