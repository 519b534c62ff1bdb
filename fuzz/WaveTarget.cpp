// Sounds: the RIFF WAVE reader, from memory and from an open file (a stream
// over the same memory, so no file is written per input).
//
// Rules checked:
//   - a success reports no error, PCM and no more samples than the input
//     holds (nor than kMaxWaveBytes), with a buffer exactly when there are
//     samples; a failure reports why;
//   - the samples are a run of the input's own bytes, ending where the data
//     chunk ends or where the file does (then marked truncated);
//   - reading the same bytes as a file gives the same outcome, format and
//     samples.

#include <cstdio>
#include <cstring>

#include "FuzzTargets.h"
#include "io/WaveReader.h"

namespace {

bool SameFormat(const WaveFormat& a, const WaveFormat& b) {
    return a.formatTag == b.formatTag && a.channels == b.channels && a.samplesPerSec == b.samplesPerSec &&
           a.avgBytesPerSec == b.avgBytesPerSec && a.blockAlign == b.blockAlign && a.bitsPerSample == b.bitsPerSample &&
           a.extraSize == b.extraSize;
}

}  // namespace

int FuzzWave(const uint8_t* data, size_t size) {
    WaveSamples mem;
    ReadError memError;
    const bool ok = ReadWaveMemory(data, size, &mem, &memError);
    if (ok) {
        FUZZ_CHECK(memError.status == ReadStatus::Read);
        FUZZ_CHECK(mem.format.formatTag == 1);
        FUZZ_CHECK(mem.size <= size && mem.size <= kMaxWaveBytes);
        FUZZ_CHECK((mem.size > 0) == (mem.bytes != nullptr));
        if (mem.size > 0) {
            // The samples come straight from the input: find them there. A
            // data chunk's header ("data" and its size) stands just before.
            bool found = false;
            for (size_t at = 8; at + mem.size <= size && !found; ++at)
                found = std::memcmp(data + at - 8, "data", 4) == 0 &&
                        std::memcmp(data + at, mem.bytes.get(), mem.size) == 0;
            FUZZ_CHECK(found);
            if (!mem.truncated) {
                // Untruncated: the chunk's declared size is exactly what was read.
                bool sized = false;
                for (size_t at = 8; at + mem.size <= size && !sized; ++at) {
                    if (std::memcmp(data + at - 8, "data", 4) != 0) continue;
                    const uint32_t declared =
                        static_cast<uint32_t>(data[at - 4]) | (static_cast<uint32_t>(data[at - 3]) << 8) |
                        (static_cast<uint32_t>(data[at - 2]) << 16) | (static_cast<uint32_t>(data[at - 1]) << 24);
                    sized = declared == mem.size && std::memcmp(data + at, mem.bytes.get(), mem.size) == 0;
                }
                FUZZ_CHECK(sized);
            }
        }
    } else {
        // Malformed, or Refused when there was no memory for the samples.
        FUZZ_CHECK(memError.status != ReadStatus::Read && memError.status != ReadStatus::Missing);
        FUZZ_CHECK(std::strlen(memError.reason) > 0);
    }

    // The same bytes through the file reader, from a stream over memory.
    if (size == 0) return 0;
    std::FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    FUZZ_CHECK(f != nullptr);
    WaveSamples file;
    ReadError fileError;
    const bool fileOk = ReadWaveStream(f, &file, &fileError);
    std::fclose(f);
    FUZZ_CHECK(fileOk == ok);
    FUZZ_CHECK(fileError.status == memError.status && std::strcmp(fileError.reason, memError.reason) == 0);
    if (ok) {
        FUZZ_CHECK(SameFormat(file.format, mem.format));
        FUZZ_CHECK(file.size == mem.size && file.truncated == mem.truncated);
        FUZZ_CHECK(mem.size == 0 || std::memcmp(file.bytes.get(), mem.bytes.get(), mem.size) == 0);
    }
    return 0;
}
