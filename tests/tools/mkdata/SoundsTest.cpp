#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
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
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}
Bytes ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The samples of one generated file, after checking its header: PCM, mono, 22,050 Hz, 8 bits, an 18-byte
// format record, the data chunk sized to the file.
Bytes Samples(const Bytes& file) {
    EXPECT_GE(file.size(), 46u);
    if (file.size() < 46) return {};
    const Bytes header{'W',  'A', 'V', 'E',  'f',  'm', 't', ' ', 18, 0, 0, 0, 1, 0,   1,   0,   0x22,
                       0x56, 0,   0,   0x22, 0x56, 0,   0,   1,   0,  8, 0, 0, 0, 'd', 'a', 't', 'a'};
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
    EXPECT_EQ(Le32(file, 4), file.size() - 8);
    EXPECT_EQ(Bytes(file.begin() + 8, file.begin() + 42), header);
    const uint32_t n = Le32(file, 42);
    EXPECT_EQ(46 + n + (n & 1), file.size());
    return 46 + n > file.size() ? Bytes{} : Bytes(file.begin() + 46, file.begin() + 46 + n);
}
double Rms(const Bytes& s) {
    double sum = 0.0;
    for (uint8_t v : s) sum += (v - 128.0) * (v - 128.0);
    return std::sqrt(sum / s.size()) / 128.0;
}
// The share of a sound's energy below `hz` (its mean removed), from its
// discrete Fourier transform.
double FractionBelow(const Bytes& s, double hz) {
    const size_t n = s.size();
    double mean = 0.0;
    for (uint8_t v : s) mean += v;
    mean /= n;
    double total = 0.0;
    for (uint8_t v : s) total += (v - mean) * (v - mean);
    double low = 0.0;
    for (size_t k = 1; k < hz * n / 22050.0; ++k) {
        double re = 0.0, im = 0.0;
        for (size_t i = 0; i < n; ++i) {
            const double a = 2.0 * M_PI * double(k) * double(i) / double(n);
            re += (s[i] - mean) * std::cos(a);
            im -= (s[i] - mean) * std::sin(a);
        }
        low += 2.0 * (re * re + im * im) / n;  // both halves of the spectrum
    }
    return low / total;
}
int Peak(const Bytes& s) {
    int peak = 0;
    for (uint8_t v : s) peak = std::max(peak, std::abs(v - 128));
    return peak;
}

class SoundsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        for (const char* run : {"a", "b"}) fs::create_directories(dir_ / run / "sound");
        ok_ = MakeSounds((dir_ / "a").string()) && MakeSounds((dir_ / "b").string());
    }
    static void TearDownTestSuite() { fs::remove_all(dir_); }
    static Bytes File(const std::string& name) { return ReadAll(dir_ / "a" / "sound" / (name + ".dat")); }
    static inline fs::path dir_ = fs::temp_directory_path() / ("vc_mkdata_sounds_" + std::to_string(::getpid()));
    static inline bool ok_ = false;
};

TEST_F(SoundsTest, WritesEveryEffectAtItsLengthAndLevelWithQuietEndsAndLongerBlipsForBiggerFood) {
    ASSERT_TRUE(ok_);
    // every sound the game loads, with the length range in seconds and the peak in dBFS it is made for
    const std::tuple<const char*, double, double, double> effects[] = {
        {"btouch", 0.02, 0.1, -6},   {"click", 0.02, 0.1, -3}, {"legin", 0.8, 2.0, -3},
        {"clickneg", 0.05, 0.3, -3}, {"grow1", 0.08, 0.2, -3}, {"grow2", 0.1, 0.25, -3},
        {"grow3", 0.15, 0.35, -3},   {"grow4", 0.2, 0.5, -3},  {"attach", 0.3, 1.0, -3},
        {"rockets", 0.5, 1.5, -3},   {"warp2", 0.4, 1.2, -3},  {"warpfail", 0.2, 0.6, -3},
        {"hyperout", 0.8, 2.0, -3},  {"beep", 0.05, 0.2, -6},  {"smallcollide", 0.2, 0.6, -3},
        {"plasma2", 0.2, 0.8, -3},   {"fire2", 1.0, 2.5, -3},  {"dead", 0.6, 1.6, -3},
        {"info", 0.3, 1.0, -3}};
    for (auto [name, minSeconds, maxSeconds, peakDb] : effects) {
        const Bytes s = Samples(File(name));
        ASSERT_FALSE(s.empty()) << name;
        EXPECT_GE(s.size() / 22050.0, minSeconds) << name;
        EXPECT_LE(s.size() / 22050.0, maxSeconds) << name;
        EXPECT_NEAR(20.0 * std::log10(Peak(s) / 128.0), peakDb, 0.6) << name;
        EXPECT_LE(std::max(std::abs(s.front() - 128), std::abs(s.back() - 128)), 1) << name;  // no click at either end
        EXPECT_GT(std::count_if(s.begin(), s.end(), [](uint8_t v) { return std::abs(v - 128) > 8; }),
                  long(s.size() / 10))
            << name;
    }
    size_t last = 0;
    for (const char* name : {"grow1", "grow2", "grow3", "grow4"}) {
        EXPECT_GT(Samples(File(name)).size(), last) << name;
        last = Samples(File(name)).size();
    }
    int files = 0;  // the same every run: the effects and the hum
    for (const auto& entry : fs::directory_iterator(dir_ / "a" / "sound")) {
        EXPECT_EQ(ReadAll(entry.path()), ReadAll(dir_ / "b" / "sound" / entry.path().filename())) << entry.path();
        ++files;
    }
    EXPECT_EQ(files, int(std::size(effects)) + 1);
    EXPECT_FALSE(MakeSounds((dir_ / "no-such-folder").string()));
}

TEST_F(SoundsTest, TheCountdownBlipIsNoLouderThanEatingTheWarpStrikesAtOnceAndCrashesHaveBody) {
    ASSERT_TRUE(ok_);
    // The blip repeats every second of the countdown: within the eating sounds' loudness, and more than a
    // bare tone (a good part of it above its fundamental's octave).
    double eatLow = 1.0, eatHigh = 0.0;
    for (const char* name : {"grow1", "grow2", "grow3", "grow4"}) {
        eatLow = std::min(eatLow, Rms(Samples(File(name))));
        eatHigh = std::max(eatHigh, Rms(Samples(File(name))));
    }
    const Bytes beep = Samples(File("beep"));
    EXPECT_LE(Rms(beep), eatHigh);
    EXPECT_GE(Rms(beep), 0.7 * eatLow);
    EXPECT_GT(1.0 - FractionBelow(beep, 3000.0), 0.05);
    // The warp answers the key at once: its loudness (over 5 ms windows) is within 90% of its loudest
    // by 30 ms.
    const Bytes warp = Samples(File("warp2"));
    std::vector<double> windows;
    for (size_t i = 0; i + 110 <= warp.size(); i += 110) windows.push_back(Rms(Bytes(warp.begin() + i, warp.begin() + i + 110)));
    const double loudest = *std::max_element(windows.begin(), windows.end());
    const size_t first = std::find_if(windows.begin(), windows.end(), [&](double r) { return r >= 0.9 * loudest; }) - windows.begin();
    EXPECT_LE(first * 110 / 22050.0, 0.030);
    // Both crash sounds carry a thump: a fifth of their energy lies below 300 Hz.
    for (const char* name : {"smallcollide", "plasma2"}) EXPECT_GT(FractionBelow(Samples(File(name)), 300.0), 0.2) << name;
}

TEST_F(SoundsTest, TheHumIsAQuietSeamlessLoopStartingAtSilence) {
    ASSERT_TRUE(ok_);
    const Bytes s = Samples(File("bigone"));
    ASSERT_EQ(s.size(), 3u * 22050u);
    EXPECT_LT(Peak(s), 128 * 0.4);
    EXPECT_GT(Peak(s), 128 * 0.15);
    int step = 0;  // smooth throughout, and no bigger a jump across the wrap
    for (size_t i = 1; i < s.size(); ++i) step = std::max(step, std::abs(s[i] - s[i - 1]));
    EXPECT_LE(step, 6);
    EXPECT_LE(std::abs(s.back() - s.front()), step);
    EXPECT_LE(std::abs(s.front() - 128), 2);
}

}  // namespace
