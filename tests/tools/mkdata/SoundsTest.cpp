#include <unistd.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Generators.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

uint32_t Le32(const Bytes& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t Le16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }

Bytes ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Expected {
    const char* name;
    double minSeconds, maxSeconds;
    double peakDb;  // wanted peak, dBFS
};

// Every sound the game loads, with the length range and level it is made for.
const Expected kExpected[] = {
    {"btouch", 0.02, 0.1, -6},   {"click", 0.02, 0.1, -3},      {"legin", 0.8, 2.0, -3},
    {"clickneg", 0.05, 0.3, -3}, {"grow1", 0.08, 0.2, -3},      {"grow2", 0.1, 0.25, -3},
    {"grow3", 0.15, 0.35, -3},   {"grow4", 0.2, 0.5, -3},       {"attach", 0.3, 1.0, -3},
    {"rockets", 0.5, 1.5, -3},   {"warp2", 0.4, 1.2, -3},       {"warpfail", 0.2, 0.6, -3},
    {"hyperout", 0.8, 2.0, -3},  {"beep", 0.05, 0.2, -4},       {"smallcollide", 0.2, 0.6, -3},
    {"plasma2", 0.2, 0.8, -3},   {"fire2", 1.0, 2.5, -3},       {"dead", 0.6, 1.6, -3},
    {"info", 0.3, 1.0, -3},
};

// The samples of one generated file, after checking its header: PCM, mono,
// 22,050 Hz, 8 bits, an 18-byte format record, the data chunk sized to the file.
Bytes Samples(const Bytes& file) {
    EXPECT_GE(file.size(), 46u);
    if (file.size() < 46) return {};
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
    EXPECT_EQ(Le32(file, 4), file.size() - 8);
    EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(Le32(file, 16), 18u);
    EXPECT_EQ(Le16(file, 20), 1);       // PCM
    EXPECT_EQ(Le16(file, 22), 1);       // mono
    EXPECT_EQ(Le32(file, 24), 22050u);  // rate
    EXPECT_EQ(Le32(file, 28), 22050u);  // bytes per second
    EXPECT_EQ(Le16(file, 32), 1);       // block alignment
    EXPECT_EQ(Le16(file, 34), 8);       // bits
    EXPECT_EQ(std::string(file.begin() + 38, file.begin() + 42), "data");
    const uint32_t n = Le32(file, 42);
    EXPECT_EQ(46 + n + (n & 1), file.size());
    if (46 + n > file.size()) return {};
    return Bytes(file.begin() + 46, file.begin() + 46 + n);
}

int Peak(const Bytes& s) {
    int peak = 0;
    for (uint8_t v : s) peak = std::max(peak, std::abs(v - 128));
    return peak;
}

int MaxStep(const Bytes& s) {
    int step = 0;
    for (size_t i = 1; i < s.size(); ++i) step = std::max(step, std::abs(s[i] - s[i - 1]));
    return step;
}

class SoundsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = fs::temp_directory_path() / ("vc_mkdata_sounds_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "a" / "sound");
        fs::create_directories(dir_ / "b" / "sound");
        okA_ = MakeSounds((dir_ / "a").string());
        okB_ = MakeSounds((dir_ / "b").string());
    }
    static void TearDownTestSuite() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    static Bytes File(const char* name) { return ReadAll(dir_ / "a" / "sound" / (std::string(name) + ".dat")); }

    static inline fs::path dir_;
    static inline bool okA_ = false, okB_ = false;
};

TEST_F(SoundsTest, WritesEveryEffectAtItsLengthAndLevelWithQuietEnds) {
    ASSERT_TRUE(okA_);
    for (const Expected& e : kExpected) {
        SCOPED_TRACE(e.name);
        const Bytes s = Samples(File(e.name));
        ASSERT_FALSE(s.empty());
        const double seconds = s.size() / 22050.0;
        EXPECT_GE(seconds, e.minSeconds);
        EXPECT_LE(seconds, e.maxSeconds);
        const double peakDb = 20.0 * std::log10(Peak(s) / 128.0);
        EXPECT_NEAR(peakDb, e.peakDb, 0.6);
        // No click where the sound starts or stops.
        EXPECT_LE(std::abs(s.front() - 128), 1);
        EXPECT_LE(std::abs(s.back() - 128), 1);
        // Not a near-silent file: a fair share of the samples carry sound.
        int loud = 0;
        for (uint8_t v : s) loud += std::abs(v - 128) > 8 ? 1 : 0;
        EXPECT_GT(loud, static_cast<int>(s.size() / 10));
    }
}

TEST_F(SoundsTest, GrowthBlipsGetLongerWithTheFood) {
    ASSERT_TRUE(okA_);
    size_t last = 0;
    for (const char* name : {"grow1", "grow2", "grow3", "grow4"}) {
        const size_t n = Samples(File(name)).size();
        EXPECT_GT(n, last) << name;
        last = n;
    }
}

TEST_F(SoundsTest, TheHumIsAQuietSeamlessLoop) {
    ASSERT_TRUE(okA_);
    const Bytes s = Samples(File("bigone"));
    ASSERT_EQ(s.size(), 3u * 22050u);
    const int peak = Peak(s);
    EXPECT_LT(peak, 128 * 0.4);
    EXPECT_GT(peak, 128 * 0.15);
    // Smooth throughout, and across the wrap from the last sample to the
    // first no bigger a jump than anywhere inside the loop.
    const int step = MaxStep(s);
    EXPECT_LE(step, 6);
    EXPECT_LE(std::abs(s.back() - s.front()), step);
    // It starts at silence, so starting it does not click either.
    EXPECT_LE(std::abs(s.front() - 128), 2);
}

TEST_F(SoundsTest, OutputIsDeterministic) {
    ASSERT_TRUE(okA_);
    ASSERT_TRUE(okB_);
    int files = 0;
    for (const auto& entry : fs::directory_iterator(dir_ / "a" / "sound")) {
        SCOPED_TRACE(entry.path().filename().string());
        EXPECT_EQ(ReadAll(entry.path()), ReadAll(dir_ / "b" / "sound" / entry.path().filename()));
        ++files;
    }
    EXPECT_EQ(files, static_cast<int>(std::size(kExpected)) + 1);
}

TEST_F(SoundsTest, FailsWhenTheFolderCannotBeWritten) {
    const fs::path nowhere = dir_ / "no-such-folder";
    EXPECT_FALSE(MakeSounds(nowhere.string()));
}

}  // namespace
