#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "io/WaveReader.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
// A chunk padded to an even length unless `pad` is false; `declared` overrides the size field.
Bytes Chunk(const char* id, const Bytes& body, bool pad = true, int64_t declared = -1) {
    const uint32_t size = uint32_t(declared >= 0 ? declared : int64_t(body.size()));
    Bytes b = Cat({uint8_t(id[0]), uint8_t(id[1]), uint8_t(id[2]), uint8_t(id[3]), uint8_t(size), uint8_t(size >> 8),
                   uint8_t(size >> 16), uint8_t(size >> 24)},
                  body);
    if (pad && (body.size() & 1)) b.push_back(0);
    return b;
}
Bytes FormatBody(uint8_t tag = 1, size_t size = 18, uint8_t tagHigh = 0) {  // mono, 22050 Hz, 8 bits
    const uint8_t head[16] = {tag, tagHigh, 1, 0, 0x22, 0x56, 0, 0, 0x22, 0x56, 0, 0, 1, 0, 8, 0};
    Bytes b(size, 0);
    std::copy_n(head, std::min<size_t>(size, 16), b.begin());
    return b;
}
Bytes Riff(const char* form, const std::vector<Bytes>& chunks, int64_t declared = -1) {
    Bytes body(form, form + 4);
    for (const Bytes& c : chunks) body = Cat(body, c);
    return Chunk("RIFF", body, false, declared);
}
Bytes Samples(int n) {
    Bytes s(n);
    for (int i = 0; i < n; ++i) s[i] = uint8_t(i * 7 + 3);
    return s;
}
Bytes ValidWave(const Bytes& samples) { return Riff("WAVE", {Chunk("fmt ", FormatBody()), Chunk("data", samples)}); }

struct Result {
    bool ok;
    ReadError error;
    WaveSamples wave;
    Bytes Taken() const { return wave.size ? Bytes(wave.bytes.get(), wave.bytes.get() + wave.size) : Bytes(); }
};
Result Read(const Bytes& file) {
    Result r;
    r.ok = ReadWaveMemory(file.data(), file.size(), &r.wave, &r.error);
    return r;
}

TEST(WaveReader, ReadsTheSamplesOfAWaveFormAfterOtherTopLevelChunks) {
    const Bytes samples = Samples(101);
    Result r = Read(ValidWave(samples));
    EXPECT_EQ((std::tuple{r.ok, r.error.status, r.Taken(), r.wave.truncated}),
              (std::tuple{true, ReadStatus::Read, samples, false}));
    EXPECT_EQ((std::tuple{r.wave.format.channels, r.wave.format.samplesPerSec, r.wave.format.bitsPerSample}),
              (std::tuple{1, 22050u, 8}));
    EXPECT_EQ(Read(Cat(Cat(Chunk("JUNK", Samples(5)), Riff("AVI ", {Chunk("data", Samples(4))})), ValidWave(samples)))
                  .Taken(),
              samples);
    r = Read(ValidWave(Bytes()));
    EXPECT_EQ((std::tuple{r.ok, r.wave.bytes.get(), r.wave.truncated}), (std::tuple{true, nullptr, false}));
}

TEST(WaveReader, RefusesFilesWithoutTheFormTheFormatOrTheData) {
    const Bytes fmt = Chunk("fmt ", FormatBody()), data = Chunk("data", Samples(8));
    Bytes rifx = ValidWave(Samples(8));
    rifx[3] = 'X';
    const std::pair<Bytes, std::string> cases[] = {
        {Riff("AVI ", {fmt, data}), "no RIFF WAVE form"},
        {rifx, "no RIFF WAVE form"},
        {Bytes(), "no RIFF WAVE form"},
        {Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V'}, "no RIFF WAVE form"},
        {Riff("WAVE", {}), "no format chunk"},
        // The form's first chunk is the format record whatever its id: a LIST's "INFO" is no PCM tag.
        {Riff("WAVE", {Chunk("LIST", Cat(Bytes{'I', 'N', 'F', 'O'}, Bytes(20, 'x'))), fmt, data}), "not PCM"},
        {Riff("WAVE", {Chunk("fmt ", FormatBody(0)), data}), "not PCM"},
        {Riff("WAVE", {Chunk("fmt ", FormatBody(0xFE, 18, 0xFF)), data}), "not PCM"},
        {Riff("WAVE", {fmt}), "no data chunk"},
        {Riff("WAVE", {fmt, Chunk("dat ", Samples(8))}), "no data chunk"},
        {Cat(Riff("WAVE", {fmt}), data), "no data chunk"},  // outside the form
        {Riff("WAVE", {data, fmt}), "not PCM"},
        // Sizes far past the end: the scan runs off the file.
        {Riff("WAVE", {fmt, Chunk("JUNK", Samples(4), false, 0xFFFFFFF0u), data}), "no data chunk"},
        {Riff("WAVE", {Chunk("fmt ", FormatBody(), false, 0xFFFFFFFFu), data}), "no data chunk"}};
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Result r = Read(cases[i].first);
        EXPECT_EQ((std::tuple{r.ok, r.error.status}), (std::tuple{false, ReadStatus::Malformed})) << i;
        EXPECT_EQ(r.error.reason, cases[i].second) << i;
    }
    EXPECT_FALSE(ReadWaveMemory(nullptr, 100, nullptr, nullptr));
    EXPECT_TRUE(Read(Riff("WAVE", {Chunk("abcd", FormatBody()), data})).ok);
}

TEST(WaveReader, ReadsEighteenFormatBytesEvenFromA16ByteRecordAndScansPastPaddedOddChunks) {
    const Bytes samples = Samples(9);
    EXPECT_EQ(Read(Riff("WAVE", {Chunk("fmt ", FormatBody(1, 16)), Chunk("data", samples)})).Taken(), samples);
    const Bytes file = Riff("WAVE", {Chunk("fmt ", FormatBody())});
    for (int cut = 1; cut <= 18; ++cut)
        EXPECT_STREQ(Read(Bytes(file.begin(), file.end() - cut)).error.reason, "format record shorter than 18 bytes")
            << cut;
    EXPECT_EQ(Read(Riff("WAVE", {Chunk("fmt ", FormatBody(1, 19)), Chunk("fact", Samples(3)), Chunk("LIST", Samples(7)),
                                 Chunk("data", samples)}))
                  .Taken(),
              samples);
    // Without the pad byte the scan lands one byte off and misses "data".
    EXPECT_FALSE(
        Read(Riff("WAVE", {Chunk("fmt ", FormatBody()), Chunk("fact", Samples(3), false), Chunk("data", samples)})).ok);
}

TEST(WaveReader, TakesOnlyTheSampleBytesPresentAndAtMostTheCap) {
    const Bytes samples = Samples(10);
    const Bytes full = ValidWave(samples);
    for (size_t keep = 0; keep <= samples.size(); ++keep) {
        const Result c = Read(Bytes(full.begin(), full.end() - (samples.size() - keep)));
        EXPECT_EQ((std::tuple{c.ok, c.Taken(), c.wave.truncated}),
                  (std::tuple{true, Bytes(samples.begin(), samples.begin() + keep), keep < samples.size()}));
    }
    for (int64_t dataSize : {1000ll, 0xFFFFFFFFll}) {
        const Result r = Read(Riff("WAVE", {Chunk("fmt ", FormatBody()), Chunk("data", samples, false, dataSize)}));
        EXPECT_EQ((std::tuple{r.Taken(), r.wave.truncated}), (std::tuple{samples, true})) << dataSize;
    }
    EXPECT_EQ(Read(Riff("WAVE", {Chunk("fmt ", FormatBody()), Chunk("data", samples)}, 0xFFFFFFFFu)).Taken(),
              samples);  // a RIFF size past the end is cut to the file

    Bytes big(kMaxWaveBytes + 100, 0x80);
    big[kMaxWaveBytes - 1] = 0x11;
    const Result r = Read(ValidWave(big));
    EXPECT_EQ((std::tuple{r.wave.size, r.wave.truncated, r.wave.bytes[kMaxWaveBytes - 1]}),
              (std::tuple{kMaxWaveBytes, true, 0x11}));
}

}  // namespace
