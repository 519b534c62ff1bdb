#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "io/SoundBank.h"
#include "support/FakeHost.h"

namespace {

// The audio side of a host: it counts the locks and checks one is never taken twice.
class AudioOnlyHost : public FakeHost {
public:
    void LockAudio() override {
        ++locks;
        EXPECT_EQ(++depth, 1) << "audio lock taken twice";
    }
    void UnlockAudio() override { --depth; }
    // Pulls `frames` frames at `rate` from the source; the peak magnitude.
    float Pull(int frames, int rate = 22050) {
        float peak = 0.0f, block[256];
        for (int n; frames > 0; frames -= n) {
            source->Render(block, n = std::min(frames, 256), rate);
            for (int i = 0; i < n; ++i) peak = std::max(peak, std::fabs(block[i]));
        }
        return peak;
    }
    int locks = 0, depth = 0;
};

class SoundBankTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousHost_ = GetHost();
        SetHost(&host_);
        soundFailed = soundLoadFailed = false;
        ASSERT_TRUE(InitSound());
        bank_.Init();
        SoundBank::ClearStartedLog();
        std::filesystem::create_directories(dir_ + "/sound");
        Write("short.dat", 441, 220);  // 20 ms at 22,050 Hz
        Write("long.dat", 22050, 40);  // one second
        Write("odd.dat", 1001, 160);
        std::ofstream(dir_ + "/sound/broken.dat") << "RIFF no";
    }
    void TearDown() override {
        bank_.ReleaseAll();
        ShutdownSound();
        SetHost(previousHost_);
        soundFailed = soundLoadFailed = false;
        std::filesystem::remove_all(dir_);
    }
    // A mono 8-bit 22,050 Hz WAVE file of `samples` samples of one value.
    void Write(const char* name, uint32_t samples, uint8_t value) {
        std::vector<uint8_t> b{'R',  'I',  'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V',  'E',  'f', 'm',
                               't',  ' ',  18,  0,   0, 0, 1, 0, 1,   0,   0x22, 0x56, 0,   0,
                               0x22, 0x56, 0,   0,   1, 0, 8, 0, 0,   0,   'd',  'a',  't', 'a'};
        for (int i = 0; i < 4; ++i) b.push_back(uint8_t(samples >> (8 * i)));
        b.insert(b.end(), samples + (samples & 1), value);
        for (int i = 0; i < 4; ++i) b[4 + i] = uint8_t((b.size() - 8) >> (8 * i));
        std::ofstream(dir_ + "/sound/" + name, std::ios::binary).write(reinterpret_cast<char*>(b.data()), b.size());
    }
    // By game-style name, with the Windows folder separator.
    int Load(const char* file) { return bank_.Load((dir_ + "\\sound\\" + file).c_str(), 8); }
    uint32_t Status(int slot) const {
        uint32_t s = 0xDEAD;
        return bank_.GetStatus(slot, &s) ? s : 0xDEAD;
    }
    static std::vector<int> Started() {
        const int* slots = nullptr;
        const int n = SoundBank::StartedLog(&slots);
        return std::vector<int>(slots, slots + n);
    }

    AudioOnlyHost host_;
    Host* previousHost_ = nullptr;
    SoundBank bank_;
    std::string dir_ =
        (std::filesystem::temp_directory_path() /
         ("vc_soundbank_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name())))
            .string();
};

TEST_F(SoundBankTest, LoadsIntoTheFirstFreeSlotAndAFailedReadTakesNoSlot) {
    EXPECT_EQ(Load("short.dat"), 0);
    EXPECT_EQ((std::tuple{Load("missing.dat"), Load("broken.dat"), soundLoadFailed, soundFailed}),
              (std::tuple{-1, -1, true, false}));
    EXPECT_EQ((std::tuple{Load("odd.dat"), Status(2)}), (std::tuple{1, 0xDEADu}));
    for (int slot = 2; slot < kSoundSlots; ++slot) ASSERT_EQ(Load("short.dat"), slot);
    EXPECT_EQ(Load("short.dat"), -1);  // the table is full
    bank_.ReleaseAll();
    EXPECT_EQ((std::tuple{Status(0), Load("long.dat")}), (std::tuple{0xDEADu, 0}));
}

TEST_F(SoundBankTest, SlotsPlayLoopAtTheirRateStopAndEndEachOnItsOwnUnderOneLockACall) {
    ASSERT_EQ((std::tuple{Load("long.dat"), Load("long.dat"), Load("short.dat")}), (std::tuple{0, 1, 2}));
    const int locks = host_.locks;
    bank_.Play(0, SoundLoop::Once);
    bank_.Play(1, SoundLoop::Loop);
    EXPECT_EQ((std::tuple{Status(0), Status(1), host_.locks - locks, host_.depth}),
              (std::tuple{kSoundStatusPlaying, kSoundStatusPlaying | kSoundStatusLooping, 4, 0}));
    bank_.Stop(0);
    bank_.Stop(1);
    EXPECT_EQ((std::tuple{Status(0), Status(1), host_.Pull(100)}), (std::tuple{0u, 0u, 0.0f}));
    bank_.Play(2, SoundLoop::Once);  // 20 ms: over after 2000 frames at 48 kHz
    EXPECT_GT(host_.Pull(100, 48000), 0.2f);
    host_.Pull(2000, 48000);
    EXPECT_EQ((std::tuple{SoundBank::IsSounding(2), Status(2)}), (std::tuple{false, 0u}));
    bank_.SetFrequency(0, 11025);  // at half rate a looping second sounds on past its end
    bank_.Play(0, SoundLoop::Loop);
    host_.Pull(22050 * 5);
    EXPECT_EQ((std::tuple{Status(0), SoundBank::IsSounding(0)}), (std::tuple{5u, true}));
    bank_.Stop(0);
    bank_.Play(5, SoundLoop::Once);  // empty and unknown slots are ignored
    bank_.Stop(-1);
    EXPECT_EQ((std::tuple{bank_.PlayOverlapped(7), SoundBank::IsSounding(9), host_.Pull(100)}),
              (std::tuple{false, false, 0.0f}));
    EXPECT_EQ(Started(), (std::vector<int>{0, 1, 2, 0}));
}

TEST_F(SoundBankTest, OverlappedPlayUsesTheOwnBufferThenFiftySharedCopiesReusedWhenDone) {
    ASSERT_EQ((std::tuple{Load("long.dat"), Load("short.dat")}), (std::tuple{0, 1}));
    EXPECT_TRUE(bank_.PlayOverlapped(0));
    EXPECT_EQ(Status(0), 1u);
    for (int i = 0; i < kSoundCopies; ++i) ASSERT_TRUE(bank_.PlayOverlapped(0)) << i;
    EXPECT_FALSE(bank_.PlayOverlapped(0));
    EXPECT_TRUE(bank_.PlayOverlapped(1));  // its own buffer is free, but no copy is
    EXPECT_FALSE(bank_.PlayOverlapped(1));
    std::vector<int> expected(1 + kSoundCopies, 0);
    expected.push_back(1);
    EXPECT_EQ(Started(), expected);
    host_.Pull(22050 + 10);
    EXPECT_FALSE(SoundBank::IsSounding(0));
    for (int slot : {0, 0, 1, 1}) EXPECT_TRUE(bank_.PlayOverlapped(slot));
    bank_.Stop(1);
    EXPECT_TRUE(SoundBank::IsSounding(1));  // its copy still sounds
    bank_.Play(0, SoundLoop::Loop);         // a looping slot is restarted once on its own buffer
    ASSERT_EQ(Status(0), 5u);
    EXPECT_TRUE(bank_.PlayOverlapped(0));
    EXPECT_EQ(Status(0), 1u);
}

}  // namespace
