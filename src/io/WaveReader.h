#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "platform/ReadError.h"

// Reads the samples of a RIFF WAVE file.
//
// The rules the sound files follow:
//   1. the file holds a RIFF chunk of form "WAVE" (other top-level chunks
//      before it are skipped);
//   2. the first chunk inside that form is the format record, whatever its
//      id says; 18 bytes of it are read (a 16-byte record still passes when
//      the file goes on, since the two extension bytes are simply read from
//      what follows) and its format tag must be 1 (PCM);
//   3. after the format chunk, the chunk with id "data" is found by
//      scanning; its bytes are the samples. Channels, rate and sample size
//      are reported but not acted on.
//
// The reader is safe on any input: chunk sizes past the end of the file,
// odd sizes (chunks are padded to even lengths), truncated sample data (the
// bytes present are taken) and absurd sizes. It never allocates more than
// the file holds and never more than kMaxWaveBytes.

constexpr uint32_t kMaxWaveBytes = 16u * 1024u * 1024u;

struct WaveFormat {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    uint16_t extraSize = 0;
};

struct WaveSamples {
    WaveFormat format;
    std::unique_ptr<uint8_t[]> bytes;  // null when size is 0
    uint32_t size = 0;
    // True when the data chunk claimed more bytes than were there (or more
    // than kMaxWaveBytes) and only part of it was taken.
    bool truncated = false;
};

// ReadWaveStream reads the whole of a file already open (the sound bank
// opens "sound\btouch.dat" and the like with OpenGameFile), and
// ReadWaveMemory parses a file already in memory. A file that breaks the
// rules above is Malformed, with the rule in the reason ("no data chunk");
// no file to read, or no memory for its samples, is Refused.
bool ReadWaveStream(std::FILE* file, WaveSamples* out, ReadError* error = nullptr);
bool ReadWaveMemory(const uint8_t* data, size_t size, WaveSamples* out, ReadError* error = nullptr);
