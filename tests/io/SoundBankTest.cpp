#include "io/SoundBank.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Host.h"

namespace {

// A host with nothing behind it but the audio side: it remembers the
// source it was given and counts the audio lock.
class AudioOnlyHost : public Host {
public:
    bool InitInput(char*, int) override { return true; }
    bool InitAudio(AudioSource* s, char* reason, int reasonSize) override {
        if (failWith) {
            std::snprintf(reason, reasonSize, "%s", failWith);
            return false;
        }
        source = s;
        return true;
    }
    bool InitDisplay(char*, int) override { return true; }
    void ShutdownAudio() override {
        source = nullptr;
        ++shutdowns;
    }
    void ShutdownDisplay() override {}
    void ShutdownInput() override {}
    void Present(const uint8_t*, const PaletteEntry*) override {}
    void PumpEvents() override {}
    const uint8_t* KeyStates() override { return keys; }
    void TakeMouse(int32_t* dx, int32_t* dy, uint8_t* down) override { *dx = *dy = 0, *down = 0; }
    uint32_t Ticks() override { return 0; }
    void EndPass(uint32_t) override {}
    void PaceFadeStep() override {}
    void LockAudio() override {
        ++locks;
        ++depth;
        EXPECT_EQ(depth, 1) << "audio lock taken twice";
    }
    void UnlockAudio() override {
        ++unlocks;
        --depth;
    }
    void ShowMessage(const char*, const char*) override {}
    bool CloseRequested() override { return false; }

    // Pulls `frames` frames at `rate` from the source; the peak magnitude.
    float Pull(int frames, int rate = 22050) {
        float peak = 0.0f;
        float block[256];
        while (frames > 0) {
            const int n = frames < 256 ? frames : 256;
            source->Render(block, n, rate);
            for (int i = 0; i < n; ++i) peak = std::max(peak, std::fabs(block[i]));
            frames -= n;
        }
        return peak;
    }

    const char* failWith = nullptr;
    AudioSource* source = nullptr;
    int locks = 0, unlocks = 0, depth = 0, shutdowns = 0;
    uint8_t keys[256] = {};
};

std::vector<uint8_t> WaveFile(int samples, uint8_t value) {
    std::vector<uint8_t> b;
    auto put32 = [&b](uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    auto id = [&b](const char* s) {
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(s[i]));
    };
    const uint8_t format[18] = {1, 0, 1, 0, 0x22, 0x56, 0, 0, 0x22, 0x56, 0, 0, 1, 0, 8, 0, 0, 0};
    id("RIFF");
    put32(4 + 26 + 8 + samples + (samples & 1));
    id("WAVE");
    id("fmt ");
    put32(18);
    b.insert(b.end(), format, format + 18);
    id("data");
    put32(samples);
    b.insert(b.end(), samples, value);
    if (samples & 1) b.push_back(0);
    return b;
}

class SoundBankTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousHost_ = GetHost();
        SetHost(&host_);
        soundFailed = false;
        soundLoadFailed = false;
        ASSERT_TRUE(InitSound());
        ASSERT_NE(host_.source, nullptr);
        bank_.Init();
        SoundBank::ClearStartedLog();

        dir_ = std::filesystem::temp_directory_path() /
               ("vc_soundbank_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::create_directories(dir_ / "sound");
        Write("short.dat", WaveFile(441, 220));     // 20 ms at 22,050 Hz
        Write("long.dat", WaveFile(22050, 40));     // one second
        Write("odd.dat", WaveFile(1001, 160));
        std::FILE* f = std::fopen((dir_ / "sound" / "broken.dat").c_str(), "wb");
        std::fputs("RIFF nonsense", f);
        std::fclose(f);
    }
    void TearDown() override {
        bank_.ReleaseAll();
        ShutdownSound();
        SetHost(previousHost_);
        soundFailed = false;
        soundLoadFailed = false;
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    void Write(const char* name, const std::vector<uint8_t>& bytes) {
        std::FILE* f = std::fopen((dir_ / "sound" / name).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    // Game-style name, with the Windows folder separator.
    std::string Name(const char* file) const { return dir_.string() + "\\sound\\" + file; }
    int Load(const char* file) { return bank_.Load(Name(file).c_str(), 8); }
    uint32_t Status(int slot) const {
        uint32_t s = 0xDEAD;
        EXPECT_TRUE(bank_.GetStatus(slot, &s));
        return s;
    }
    std::vector<int> Started() const {
        const int* slots = nullptr;
        const int n = SoundBank::StartedLog(&slots);
        return std::vector<int>(slots, slots + n);
    }

    AudioOnlyHost host_;
    Host* previousHost_ = nullptr;
    SoundBank bank_;
    std::filesystem::path dir_;
};

TEST_F(SoundBankTest, LoadsIntoTheFirstFreeSlotInOrder) {
    EXPECT_EQ(Load("short.dat"), 0);
    EXPECT_EQ(Load("long.dat"), 1);
    EXPECT_EQ(Load("short.dat"), 2);
    EXPECT_EQ(Load("odd.dat"), 3);
    EXPECT_FALSE(soundLoadFailed);
    EXPECT_FALSE(soundFailed);

    // Every slot up to the table's size, then no more.
    for (int slot = 4; slot < kSoundSlots; ++slot) ASSERT_EQ(Load("short.dat"), slot);
    EXPECT_EQ(Load("short.dat"), -1);
    EXPECT_TRUE(soundLoadFailed);
}

TEST_F(SoundBankTest, AFileThatCannotBeReadSetsTheFlagAndLeavesTheSlotEmpty) {
    EXPECT_EQ(Load("short.dat"), 0);
    EXPECT_EQ(Load("missing.dat"), -1);
    EXPECT_TRUE(soundLoadFailed);
    EXPECT_FALSE(soundFailed);
    EXPECT_EQ(Load("broken.dat"), -1);
    // The failed loads took no slot: the next sound gets number 1.
    EXPECT_EQ(Load("long.dat"), 1);
    uint32_t s;
    EXPECT_FALSE(bank_.GetStatus(2, &s));
}

TEST_F(SoundBankTest, SlotsFromTheSameFileAreIndependent) {
    ASSERT_EQ(Load("long.dat"), 0);
    ASSERT_EQ(Load("long.dat"), 1);
    bank_.Play(0, 0);
    EXPECT_EQ(Status(0), kSoundStatusPlaying);
    EXPECT_EQ(Status(1), 0u);
    bank_.Play(1, 1);
    bank_.Stop(0);
    EXPECT_EQ(Status(0), 0u);
    EXPECT_EQ(Status(1), kSoundStatusPlaying | kSoundStatusLooping);
}

TEST_F(SoundBankTest, PlayedSoundsReachTheHostAndEnd) {
    ASSERT_EQ(Load("short.dat"), 0);
    EXPECT_EQ(host_.Pull(100), 0.0f);
    bank_.Play(0, 0);
    EXPECT_TRUE(SoundBank::IsSounding(0));
    EXPECT_GT(host_.Pull(100, 48000), 0.2f);
    host_.Pull(2000, 48000);
    EXPECT_FALSE(SoundBank::IsSounding(0));
    EXPECT_EQ(Status(0), 0u);
    EXPECT_EQ(host_.Pull(100, 48000), 0.0f);
}

TEST_F(SoundBankTest, TheHumLoopsAtHalfSpeedUntilStopped) {
    for (int i = 0; i < 24; ++i) ASSERT_EQ(Load("short.dat"), i);
    ASSERT_EQ(Load("long.dat"), 24);
    bank_.SetFrequency(24, 11025);
    bank_.Play(24, 1);
    EXPECT_EQ(Status(24), 5u);
    host_.Pull(22050 * 5);  // five seconds: past the end of the one-second buffer twice
    EXPECT_EQ(Status(24), 5u);
    EXPECT_TRUE(SoundBank::IsSounding(24));

    // The menu's switch: stop, and later play looping again.
    bank_.Stop(24);
    EXPECT_FALSE(SoundBank::IsSounding(24));
    EXPECT_EQ(host_.Pull(100), 0.0f);
    bank_.Play(24, 1);
    EXPECT_EQ(Status(24), 5u);
}

TEST_F(SoundBankTest, OverlappedPlayUsesTheOwnBufferThenCopies) {
    ASSERT_EQ(Load("long.dat"), 0);
    ASSERT_EQ(Load("short.dat"), 1);
    EXPECT_TRUE(bank_.PlayOverlapped(0));  // own buffer
    EXPECT_EQ(Status(0), 1u);
    // One copy per trigger while the earlier ones still sound: 50 copies.
    for (int i = 0; i < kSoundCopies; ++i) ASSERT_TRUE(bank_.PlayOverlapped(0)) << i;
    EXPECT_FALSE(bank_.PlayOverlapped(0));
    // Another slot is refused too while every copy is busy, but its own
    // buffer is free.
    EXPECT_TRUE(bank_.PlayOverlapped(1));
    EXPECT_FALSE(bank_.PlayOverlapped(1));

    std::vector<int> expected(1 + kSoundCopies, 0);
    expected.push_back(1);
    EXPECT_EQ(Started(), expected);

    // Once they have finished, copies are reused.
    host_.Pull(22050 + 10);
    EXPECT_FALSE(SoundBank::IsSounding(0));
    EXPECT_TRUE(bank_.PlayOverlapped(0));  // own buffer again
    EXPECT_TRUE(bank_.PlayOverlapped(0));  // a reused copy
    EXPECT_TRUE(bank_.PlayOverlapped(1));
    EXPECT_TRUE(bank_.PlayOverlapped(1));
    EXPECT_TRUE(SoundBank::IsSounding(1));
    bank_.Stop(1);
    EXPECT_TRUE(SoundBank::IsSounding(1));  // its copy still sounds
}

TEST_F(SoundBankTest, OverlappedPlayOfALoopingSlotRestartsItsOwnBuffer) {
    ASSERT_EQ(Load("long.dat"), 0);
    bank_.Play(0, 1);
    ASSERT_EQ(Status(0), 5u);
    EXPECT_TRUE(bank_.PlayOverlapped(0));
    // No copy: the own buffer was told to play once.
    EXPECT_EQ(Status(0), 1u);
    host_.Pull(22050 + 10);
    EXPECT_FALSE(SoundBank::IsSounding(0));
}

TEST_F(SoundBankTest, EmptySlotsAreIgnored) {
    ASSERT_EQ(Load("short.dat"), 0);
    bank_.Play(5, 0);
    bank_.Stop(-1);
    bank_.SetFrequency(kSoundSlots, 11025);
    EXPECT_FALSE(bank_.PlayOverlapped(7));
    EXPECT_FALSE(bank_.PlayOverlapped(-3));
    EXPECT_FALSE(SoundBank::IsSounding(9));
    uint32_t s;
    EXPECT_FALSE(bank_.GetStatus(5, &s));
    EXPECT_TRUE(Started().empty());
}

TEST_F(SoundBankTest, ReleaseAllEmptiesEverySlot) {
    ASSERT_EQ(Load("short.dat"), 0);
    ASSERT_EQ(Load("long.dat"), 1);
    bank_.PlayOverlapped(1);
    bank_.PlayOverlapped(1);
    bank_.ReleaseAll();
    uint32_t s;
    EXPECT_FALSE(bank_.GetStatus(0, &s));
    EXPECT_FALSE(bank_.GetStatus(1, &s));
    EXPECT_FALSE(SoundBank::IsSounding(1));
    EXPECT_EQ(host_.Pull(100), 0.0f);
    EXPECT_EQ(Load("long.dat"), 0);
}

TEST_F(SoundBankTest, EveryChangeHoldsTheAudioLock) {
    ASSERT_EQ(Load("long.dat"), 0);
    const int before = host_.locks;
    bank_.Play(0, 0);
    bank_.PlayOverlapped(0);
    bank_.SetFrequency(0, 11025);
    bank_.Stop(0);
    uint32_t s;
    bank_.GetStatus(0, &s);
    EXPECT_EQ(host_.locks - before, 5);
    EXPECT_EQ(host_.locks, host_.unlocks);
    EXPECT_EQ(host_.depth, 0);
}

TEST_F(SoundBankTest, StartedLogListsEachStartInOrderUntilCleared) {
    ASSERT_EQ(Load("short.dat"), 0);
    ASSERT_EQ(Load("short.dat"), 1);
    bank_.Play(1, 0);
    bank_.PlayOverlapped(0);
    bank_.Play(0, 0);
    EXPECT_EQ(Started(), (std::vector<int>{1, 0, 0}));
    SoundBank::ClearStartedLog();
    EXPECT_TRUE(Started().empty());
    bank_.PlayOverlapped(1);
    EXPECT_EQ(Started(), (std::vector<int>{1}));
}

TEST(SoundDevice, FailureSetsTheFlagAndKeepsTheReason) {
    Host* previous = GetHost();
    AudioOnlyHost host;
    host.failWith = "no audio device here";
    SetHost(&host);
    soundFailed = false;
    EXPECT_FALSE(InitSound());
    EXPECT_TRUE(soundFailed);
    EXPECT_STREQ(SoundFailureReason(), "no audio device here");
    ShutdownSound();
    EXPECT_EQ(host.shutdowns, 0);

    soundFailed = false;
    SetHost(nullptr);
    EXPECT_FALSE(InitSound());
    EXPECT_TRUE(soundFailed);
    EXPECT_GT(std::strlen(SoundFailureReason()), 0u);

    // A working host: opened once, shut once.
    AudioOnlyHost good;
    SetHost(&good);
    soundFailed = false;
    EXPECT_TRUE(InitSound());
    EXPECT_FALSE(soundFailed);
    EXPECT_STREQ(SoundFailureReason(), "");
    EXPECT_NE(good.source, nullptr);
    ShutdownSound();
    ShutdownSound();
    EXPECT_EQ(good.shutdowns, 1);
    SetHost(previous);
    soundFailed = false;
}

}  // namespace
