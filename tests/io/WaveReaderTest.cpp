#include "io/WaveReader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
void PutId(Bytes& b, const char* id) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(id[i]));
}

// A chunk with its declared size; the body is padded to an even length
// unless `pad` is false. `declared` overrides the size field.
Bytes Chunk(const char* id, const Bytes& body, bool pad = true, int64_t declared = -1) {
    Bytes b;
    PutId(b, id);
    Put32(b, declared >= 0 ? static_cast<uint32_t>(declared) : static_cast<uint32_t>(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    if (pad && (body.size() & 1)) b.push_back(0);
    return b;
}

Bytes FormatBody(uint16_t tag = 1, int size = 18) {
    Bytes b;
    Put16(b, tag);
    Put16(b, 1);
    Put32(b, 22050);
    Put32(b, 22050);
    Put16(b, 1);
    Put16(b, 8);
    if (size >= 18) Put16(b, 0);
    while (static_cast<int>(b.size()) < size) b.push_back(0);
    b.resize(size);
    return b;
}

Bytes Riff(const char* form, const std::vector<Bytes>& chunks, int64_t declared = -1) {
    Bytes body;
    PutId(body, form);
    for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
    Bytes b;
    PutId(b, "RIFF");
    Put32(b, declared >= 0 ? static_cast<uint32_t>(declared) : static_cast<uint32_t>(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

Bytes Samples(int n) {
    Bytes s(n);
    for (int i = 0; i < n; ++i) s[i] = static_cast<uint8_t>(i * 7 + 3);
    return s;
}

Bytes ValidWave(const Bytes& samples) {
    return Riff("WAVE", {Chunk("fmt ", FormatBody()), Chunk("data", samples)});
}

struct Result {
    bool ok;
    WaveError error;
    WaveSamples wave;
};

Result Read(const Bytes& file) {
    Result r;
    r.error = WaveError::OutOfMemory;  // must be overwritten
    r.ok = ReadWaveMemory(file.data(), file.size(), &r.wave, &r.error);
    return r;
}

Bytes Taken(const WaveSamples& w) {
    return w.size ? Bytes(w.bytes.get(), w.bytes.get() + w.size) : Bytes();
}

TEST(WaveReader, ReadsAValidFileWithItsFormat) {
    const Bytes samples = Samples(101);
    Result r = Read(ValidWave(samples));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.error, WaveError::None);
    EXPECT_EQ(Taken(r.wave), samples);
    EXPECT_FALSE(r.wave.truncated);
    EXPECT_EQ(r.wave.format.formatTag, 1);
    EXPECT_EQ(r.wave.format.channels, 1);
    EXPECT_EQ(r.wave.format.samplesPerSec, 22050u);
    EXPECT_EQ(r.wave.format.bitsPerSample, 8);
}

TEST(WaveReader, SkipsOtherTopLevelChunksBeforeTheWaveForm) {
    const Bytes samples = Samples(10);
    Bytes file = Chunk("JUNK", Samples(5));
    const Bytes avi = Riff("AVI ", {Chunk("data", Samples(4))});
    file.insert(file.end(), avi.begin(), avi.end());
    const Bytes wave = ValidWave(samples);
    file.insert(file.end(), wave.begin(), wave.end());
    Result r = Read(file);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(Taken(r.wave), samples);
}

TEST(WaveReader, RejectsWhatIsNotAWaveForm) {
    EXPECT_EQ(Read(Riff("AVI ", {Chunk("fmt ", FormatBody()), Chunk("data", Samples(8))})).error,
              WaveError::NoWaveForm);
    Bytes rifx = ValidWave(Samples(8));
    rifx[3] = 'X';
    EXPECT_EQ(Read(rifx).error, WaveError::NoWaveForm);
    EXPECT_EQ(Read(Bytes()).error, WaveError::NoWaveForm);
    EXPECT_EQ(Read(Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V'}).error, WaveError::NoWaveForm);
    EXPECT_FALSE(ReadWaveMemory(nullptr, 100, nullptr, nullptr));
}

TEST(WaveReader, TakesTheFirstChunkOfTheFormAsTheFormat) {
    // A LIST chunk first: its body ("INFO"...) is read as the format record.
    Bytes list;
    PutId(list, "INFO");
    for (int i = 0; i < 20; ++i) list.push_back('x');
    Result r = Read(Riff("WAVE", {Chunk("LIST", list), Chunk("fmt ", FormatBody()), Chunk("data", Samples(8))}));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, WaveError::NotPcm);

    // Whatever its id, a first chunk holding a PCM record is accepted.
    r = Read(Riff("WAVE", {Chunk("abcd", FormatBody()), Chunk("data", Samples(8))}));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.wave.size, 8u);

    EXPECT_EQ(Read(Riff("WAVE", {})).error, WaveError::NoFormatChunk);
}

TEST(WaveReader, AcceptsOnlyPcm) {
    for (uint16_t tag : {0, 2, 3, 0xFFFE}) {
        Result r = Read(Riff("WAVE", {Chunk("fmt ", FormatBody(tag)), Chunk("data", Samples(8))}));
        EXPECT_FALSE(r.ok) << tag;
        EXPECT_EQ(r.error, WaveError::NotPcm) << tag;
    }
}

TEST(WaveReader, NeedsEighteenBytesOfFormatRecord) {
    // A 16-byte record followed by more of the file: the last two bytes
    // come from the next chunk's header, so it still reads.
    const Bytes samples = Samples(12);
    Result r = Read(Riff("WAVE", {Chunk("fmt ", FormatBody(1, 16)), Chunk("data", samples)}));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(Taken(r.wave), samples);

    // The file ends inside the record.
    Bytes file = Riff("WAVE", {Chunk("fmt ", FormatBody(1, 18))});
    for (int cut = 1; cut <= 18; ++cut) {
        Bytes shorter(file.begin(), file.end() - cut);
        EXPECT_EQ(Read(shorter).error, WaveError::ShortFormat) << cut;
    }
}

TEST(WaveReader, FailsWithoutADataChunk) {
    EXPECT_EQ(Read(Riff("WAVE", {Chunk("fmt ", FormatBody())})).error, WaveError::NoDataChunk);
    EXPECT_EQ(Read(Riff("WAVE", {Chunk("fmt ", FormatBody()), Chunk("LIST", Samples(30))})).error,
              WaveError::NoDataChunk);
    // A data chunk that lies outside the form does not count.
    Bytes file = Riff("WAVE", {Chunk("fmt ", FormatBody())});
    const Bytes data = Chunk("data", Samples(8));
    file.insert(file.end(), data.begin(), data.end());
    EXPECT_EQ(Read(file).error, WaveError::NoDataChunk);
    // Nor does a data chunk before the format chunk.
    EXPECT_EQ(Read(Riff("WAVE", {Chunk("fmt ", FormatBody()), Chunk("dat ", Samples(8))})).error,
              WaveError::NoDataChunk);
}

TEST(WaveReader, FindsTheDataChunkPastOtherChunksAndOddPadding) {
    const Bytes samples = Samples(9);
    // An odd format record (19 bytes, padded) and an odd extra chunk.
    Result r = Read(Riff("WAVE", {Chunk("fmt ", FormatBody(1, 19)), Chunk("fact", Samples(3)),
                                  Chunk("LIST", Samples(7)), Chunk("data", samples)}));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(Taken(r.wave), samples);
    EXPECT_FALSE(r.wave.truncated);

    // Without the pad byte the scan lands one byte off and misses "data".
    Bytes unpadded = Riff("WAVE", {Chunk("fmt ", FormatBody()), Chunk("fact", Samples(3), false),
                                   Chunk("data", samples)});
    EXPECT_FALSE(Read(unpadded).ok);
}

TEST(WaveReader, TakesTheBytesPresentOfTruncatedData) {
    const Bytes samples = Samples(10);
    Bytes file = Riff("WAVE", {Chunk("fmt ", FormatBody()), Chunk("data", samples, false, 1000)});
    Result r = Read(file);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(Taken(r.wave), samples);
    EXPECT_TRUE(r.wave.truncated);

    // Every cut inside the sample bytes keeps exactly the bytes before it.
    const Bytes full = ValidWave(samples);
    for (size_t keep = 0; keep <= samples.size(); ++keep) {
        Bytes cut(full.begin(), full.end() - (samples.size() - keep));
        Result c = Read(cut);
        ASSERT_TRUE(c.ok) << keep;
        EXPECT_EQ(c.wave.size, keep);
        EXPECT_EQ(c.wave.truncated, keep < samples.size());
    }
}

TEST(WaveReader, AcceptsEmptyData) {
    Result r = Read(ValidWave(Bytes()));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.wave.size, 0u);
    EXPECT_EQ(r.wave.bytes, nullptr);
    EXPECT_FALSE(r.wave.truncated);
}

TEST(WaveReader, SurvivesSizesPastTheEnd) {
    // A chunk before "data" claiming nearly 4 GiB: the scan runs off the end.
    EXPECT_EQ(Read(Riff("WAVE", {Chunk("fmt ", FormatBody()), Chunk("JUNK", Samples(4), false, 0xFFFFFFF0u),
                                 Chunk("data", Samples(4))}))
                  .error,
              WaveError::NoDataChunk);
    // A format chunk claiming 4 GiB.
    EXPECT_EQ(Read(Riff("WAVE", {Chunk("fmt ", FormatBody(), false, 0xFFFFFFFFu), Chunk("data", Samples(4))}))
                  .error,
              WaveError::NoDataChunk);
    // A RIFF size past the end of the file is cut to the file.
    Result r = Read(Riff("WAVE", {Chunk("fmt ", FormatBody()), Chunk("data", Samples(6))}, 0xFFFFFFFFu));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.wave.size, 6u);
    // A data size of 4 GiB allocates only what the file holds.
    r = Read(Riff("WAVE", {Chunk("fmt ", FormatBody()), Chunk("data", Samples(6), false, 0xFFFFFFFFu)}));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.wave.size, 6u);
    EXPECT_TRUE(r.wave.truncated);
}

TEST(WaveReader, CapsTheSampleData) {
    Bytes big(kMaxWaveBytes + 100, 0x80);
    big[kMaxWaveBytes - 1] = 0x11;
    Result r = Read(ValidWave(big));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.wave.size, kMaxWaveBytes);
    EXPECT_TRUE(r.wave.truncated);
    EXPECT_EQ(r.wave.bytes[kMaxWaveBytes - 1], 0x11);
}

TEST(WaveReader, NeverCrashesOnGarbageOrMutations) {
    uint32_t state = 12345;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    int accepted = 0;
    // Pure garbage, some of it with a real RIFF WAVE header in front.
    for (int round = 0; round < 20000; ++round) {
        Bytes b(next() % 160);
        for (uint8_t& v : b) v = static_cast<uint8_t>(next());
        if (round % 2 && b.size() >= 12) {
            const char head[] = {'R', 'I', 'F', 'F'};
            for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(head[i]);
            b[8] = 'W', b[9] = 'A', b[10] = 'V', b[11] = 'E';
        }
        Result r = Read(b);
        if (r.ok) {
            ++accepted;
            EXPECT_LE(r.wave.size, b.size());
        }
    }
    // A valid file with random bytes changed: any outcome but a crash, and
    // what is taken always fits inside the file.
    const Bytes base = Riff("WAVE", {Chunk("fmt ", FormatBody()), Chunk("LIST", Samples(11)),
                                     Chunk("data", Samples(40))});
    for (int round = 0; round < 20000; ++round) {
        Bytes b = base;
        const int changes = 1 + next() % 4;
        for (int k = 0; k < changes; ++k) b[next() % b.size()] = static_cast<uint8_t>(next());
        b.resize(next() % (b.size() + 1));
        Result r = Read(b);
        if (r.ok) {
            ++accepted;
            EXPECT_LE(r.wave.size, b.size());
        }
    }
    EXPECT_GT(accepted, 0);
}

class WaveFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("vc_wave_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_ / "sound");
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::string Write(const std::string& name, const Bytes& bytes) {
        const std::string path = (dir_ / "sound" / name).string();
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (f) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        return path;
    }
    std::filesystem::path dir_;
};

TEST_F(WaveFileTest, ReadsFromAFileWithEitherSeparator) {
    const Bytes samples = Samples(33);
    Write("a.dat", ValidWave(samples));
    WaveSamples w;
    WaveError e = WaveError::None;
    ASSERT_TRUE(ReadWaveFile((dir_.string() + "/sound/a.dat").c_str(), &w, &e));
    EXPECT_EQ(Taken(w), samples);

    WaveSamples w2;
    ASSERT_TRUE(ReadWaveFile((dir_.string() + "\\sound\\a.dat").c_str(), &w2, &e));
    EXPECT_EQ(Taken(w2), samples);
}

TEST_F(WaveFileTest, ReportsAMissingOrMalformedFile) {
    WaveSamples w;
    WaveError e = WaveError::None;
    EXPECT_FALSE(ReadWaveFile((dir_.string() + "/sound/none.dat").c_str(), &w, &e));
    EXPECT_EQ(e, WaveError::CannotOpen);
    EXPECT_FALSE(ReadWaveFile(nullptr, &w, &e));

    Bytes truncated = ValidWave(Samples(20));
    truncated.resize(30);  // inside the format record
    const std::string path = Write("short.dat", truncated);
    EXPECT_FALSE(ReadWaveFile(path.c_str(), &w, &e));
    EXPECT_EQ(e, WaveError::ShortFormat);

    Bytes longData = Riff("WAVE", {Chunk("fmt ", FormatBody()), Chunk("data", Samples(5), false, 70000)});
    const std::string p2 = Write("long.dat", longData);
    ASSERT_TRUE(ReadWaveFile(p2.c_str(), &w, &e));
    EXPECT_EQ(w.size, 5u);
    EXPECT_TRUE(w.truncated);
}

}  // namespace
