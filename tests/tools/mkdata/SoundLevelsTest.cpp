// The sound set is levelled by loudness: the interface's sounds within 3 dB
// of each other, the play's within 4 dB, none clipping; and the meter reads
// as a K-weighted loudness meter should.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "Generators.h"
#include "Loudness.h"
#include "support/Files.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRate = 22050;
constexpr double kPi = 3.14159265358979323846;
constexpr double kUiSpreadDb = 3.0;
constexpr double kPlaySpreadDb = 4.0;

// The files behind the menus' sounds (pointing, clicks, refusals, the
// credits slide, the info ball) and behind play's; the looping menu hum is
// in neither.
const std::set<std::string> kUiSounds = {"btouch", "click", "clickneg", "legin", "info"};
const std::set<std::string> kPlaySounds = {"grow1",        "grow2",   "grow3",    "grow4",    "attach",
                                           "rockets",      "warp2",   "warpfail", "hyperout", "beep",
                                           "smallcollide", "plasma2", "fire2",    "dead"};
const std::string kHum = "bigone";

std::vector<double> Sine(double hz, double seconds, double amplitude) {
    std::vector<double> s(static_cast<size_t>(seconds * kRate));
    for (size_t i = 0; i < s.size(); ++i) s[i] = amplitude * std::sin(2.0 * kPi * hz * i / kRate);
    return s;
}
double Lufs(const std::vector<double>& s) { return ShortTermLoudness(s.data(), s.size(), kRate); }

TEST(SoundLevels, TheMeterWeighsLikeALoudnessMeter) {
    // A full-scale 1 kHz sine reads about -3 LUFS, and 20 dB down reads 20 dB lower.
    EXPECT_NEAR(Lufs(Sine(1000.0, 0.5, 1.0)), -3.0, 0.2);
    EXPECT_NEAR(Lufs(Sine(1000.0, 0.5, 0.1)), -23.0, 0.2);
    // The shelf lifts the presence band by about 4 dB; the high-pass discounts deep rumble.
    const double presence = Lufs(Sine(5000.0, 0.5, 1.0)) - Lufs(Sine(1000.0, 0.5, 1.0));
    EXPECT_TRUE(presence > 2.5 && presence < 4.5) << presence;
    EXPECT_LT(Lufs(Sine(25.0, 0.5, 1.0)), Lufs(Sine(1000.0, 0.5, 1.0)) - 3.0);
    // Only the loudest window counts: silence around a burst changes nothing.
    std::vector<double> padded(kRate, 0.0);
    const std::vector<double> burst = Sine(1000.0, 0.2, 0.5);
    std::copy(burst.begin(), burst.end(), padded.begin() + kRate / 2);
    EXPECT_NEAR(Lufs(padded), Lufs(burst), 0.2);
    // A sound shorter than the window is measured over its own length.
    EXPECT_NEAR(Lufs(Sine(1000.0, kLoudnessWindowSeconds / 2, 1.0)), -3.0, 0.3);
    EXPECT_EQ(Lufs(std::vector<double>(1000, 0.0)), kSilenceLufs);
    EXPECT_EQ(ShortTermLoudness(nullptr, 0, kRate), kSilenceLufs);
}

// A freshly generated set: each group's loudest and quietest sound lie
// within the group's spread, and no sample reaches either end of the 8-bit
// range.
TEST(SoundLevels, EachGroupIsEvenAndNothingClips) {
    const ScratchDir scratch;
    fs::create_directories(scratch.path() / "sound");
    ASSERT_TRUE(MakeSounds(scratch.path()));
    std::vector<double> ui, play;
    int files = 0;
    for (const auto& e : fs::directory_iterator(scratch.path() / "sound")) {
        const std::string name = e.path().stem().string();
        SCOPED_TRACE(name);
        ++files;
        const Bytes b = ReadAll(e.path());
        ASSERT_GT(b.size(), 46u);
        const size_t count = std::min<size_t>(b.size() - 46, uint32_t(b[42] | b[43] << 8 | b[44] << 16 | b[45] << 24));
        std::vector<double> s(count);
        for (size_t i = 0; i < count; ++i) {
            EXPECT_TRUE(b[46 + i] > 0 && b[46 + i] < 255) << "clipped at sample " << i;
            if (b[46 + i] == 0 || b[46 + i] == 255) break;
            s[i] = (b[46 + i] - 128) / 128.0;
        }
        const double lufs = Lufs(s);
        if (kUiSounds.count(name))
            ui.push_back(lufs);
        else if (kPlaySounds.count(name))
            play.push_back(lufs);
        else
            EXPECT_EQ(name, kHum) << "a sound in no group";
    }
    EXPECT_EQ(files, int(kUiSounds.size() + kPlaySounds.size() + 1));
    ASSERT_EQ(ui.size(), kUiSounds.size());
    ASSERT_EQ(play.size(), kPlaySounds.size());
    const auto spread = [](const std::vector<double>& v) {
        const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
        return *hi - *lo;
    };
    EXPECT_LE(spread(ui), kUiSpreadDb);
    EXPECT_LE(spread(play), kPlaySpreadDb);
}

}  // namespace
