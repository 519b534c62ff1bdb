#include "platform/HeadlessHost.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Records every pull of the mixer, and whether the host held its audio lock.
class RecordingSource final : public AudioSource {
public:
    explicit RecordingSource(HeadlessHost* host) : host_(host) {}
    void Render(float* out, int frames, int rate) override {
        ++calls;
        lastFrames = frames;
        lastRate = rate;
        lockedDuringRender = lockedDuringRender && host_->AudioLockDepth() > 0;
        for (int i = 0; i < frames; ++i) out[i] = 0.25f;
        totalFrames += frames;
    }
    int calls = 0;
    int lastFrames = 0;
    int lastRate = 0;
    long totalFrames = 0;
    bool lockedDuringRender = true;

private:
    HeadlessHost* host_;
};

void InitAll(HeadlessHost& host, AudioSource* source) {
    char reason[64];
    ASSERT_TRUE(host.InitInput(reason, sizeof reason));
    ASSERT_TRUE(host.InitAudio(source, reason, sizeof reason));
    ASSERT_TRUE(host.InitDisplay(reason, sizeof reason));
}

TEST(HeadlessHostClock, AdvancesExactlyTenMillisecondsPerPassWhateverThePassStart) {
    HeadlessHost host;
    EXPECT_EQ(host.Ticks(), 0u);
    host.EndPass(0);
    EXPECT_EQ(host.Ticks(), 10u);
    // A pass start far in the past (a slow frame) does not make it catch up,
    // and one in the "future" does not make it wait longer.
    host.EndPass(0);
    host.EndPass(5000);
    EXPECT_EQ(host.Ticks(), 30u);
    EXPECT_EQ(host.PassCount(), 3);
}

TEST(HeadlessHostClock, NothingButEndPassMovesTheClock) {
    HeadlessHost host;
    RecordingSource source(&host);
    InitAll(host, &source);
    host.SetTicks(1234);
    for (int i = 0; i < 43; ++i) host.PaceFadeStep();
    host.PumpEvents();
    uint8_t pixels[4] = {};
    PaletteEntry palette[kPaletteSize] = {};
    host.Present(pixels, palette);
    int32_t dx, dy;
    uint8_t left;
    host.TakeMouse(&dx, &dy, &left);
    EXPECT_EQ(host.Ticks(), 1234u);
    EXPECT_EQ(source.calls, 0);
}

TEST(HeadlessHostClock, WrapsAtTwoToTheThirtyTwo) {
    HeadlessHost host;
    host.SetTicks(0xFFFFFFFAu);
    uint32_t passStart = host.Ticks();
    host.EndPass(passStart);
    EXPECT_EQ(host.Ticks(), 4u);
    EXPECT_EQ(host.Ticks() - passStart, 10u);
}

TEST(HeadlessHostAudio, EachPassPullsTenMillisecondsAtFortyFourPointOneKilohertz) {
    HeadlessHost host;
    RecordingSource source(&host);
    InitAll(host, &source);
    for (int i = 0; i < 100; ++i) host.EndPass(host.Ticks());
    EXPECT_EQ(source.calls, 100);
    EXPECT_EQ(source.lastFrames, 441);
    EXPECT_EQ(source.lastRate, 44100);
    // One second of passes pulls one second of sound.
    EXPECT_EQ(source.totalFrames, 44100);
    EXPECT_EQ(host.AudioFramesPulled(), 44100);
    EXPECT_FLOAT_EQ(host.LastAudio()[440], 0.25f);
    EXPECT_TRUE(source.lockedDuringRender);
    EXPECT_EQ(host.AudioLockDepth(), 0);
    EXPECT_EQ(host.AudioLockMisuses(), 0);
}

TEST(HeadlessHostAudio, NoPullsBeforeInitOrAfterShutdown) {
    HeadlessHost host;
    RecordingSource source(&host);
    host.EndPass(0);
    EXPECT_EQ(source.calls, 0);
    char reason[16];
    ASSERT_TRUE(host.InitAudio(&source, reason, sizeof reason));
    host.EndPass(0);
    EXPECT_EQ(source.calls, 1);
    host.ShutdownAudio();
    EXPECT_FALSE(host.AudioOpen());
    host.EndPass(0);
    EXPECT_EQ(source.calls, 1);
}

TEST(HeadlessHostAudio, CountsLockMistakes) {
    HeadlessHost host;
    // Nested locks are fine, as on SDL's recursive device lock.
    host.LockAudio();
    host.LockAudio();
    EXPECT_EQ(host.AudioLockDepth(), 2);
    host.UnlockAudio();
    host.UnlockAudio();
    EXPECT_EQ(host.AudioLockMisuses(), 0);
    // An unlock too many, and a pass that ends with the lock held.
    host.UnlockAudio();
    EXPECT_EQ(host.AudioLockDepth(), 0);
    EXPECT_EQ(host.AudioLockMisuses(), 1);
    host.LockAudio();
    host.EndPass(0);
    EXPECT_EQ(host.AudioLockMisuses(), 2);
}

TEST(HeadlessHostDevices, FailNextFailsThatDeviceOnceWithItsReason) {
    struct Case {
        HeadlessHost::Device device;
        const char* reason;
    };
    const Case cases[] = {{HeadlessHost::Device::Input, "no keyboard"},
                          {HeadlessHost::Device::Audio, "ALSA: Couldn't open audio device"},
                          {HeadlessHost::Device::Display, "No available video device"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        HeadlessHost host;
        RecordingSource source(&host);
        host.FailNext(c.device, c.reason);
        char reason[64] = "untouched";
        bool input = host.InitInput(reason, sizeof reason);
        EXPECT_EQ(input, c.device != HeadlessHost::Device::Input);
        bool audio = host.InitAudio(&source, reason, sizeof reason);
        EXPECT_EQ(audio, c.device != HeadlessHost::Device::Audio);
        bool display = host.InitDisplay(reason, sizeof reason);
        EXPECT_EQ(display, c.device != HeadlessHost::Device::Display);
        EXPECT_STREQ(reason, c.reason);
        EXPECT_EQ(host.InputOpen(), input);
        EXPECT_EQ(host.AudioOpen(), audio);
        EXPECT_EQ(host.DisplayOpen(), display);
        // Only once: the next try succeeds.
        EXPECT_TRUE(host.InitInput(reason, sizeof reason));
        EXPECT_TRUE(host.InitAudio(&source, reason, sizeof reason));
        EXPECT_TRUE(host.InitDisplay(reason, sizeof reason));
    }
}

TEST(HeadlessHostDevices, ReasonIsCutToTheCallersBuffer) {
    HeadlessHost host;
    host.FailNext(HeadlessHost::Device::Display, "a rather long reason");
    char reason[7];
    std::memset(reason, 'x', sizeof reason);
    EXPECT_FALSE(host.InitDisplay(reason, sizeof reason));
    EXPECT_STREQ(reason, "a rath");
}

TEST(HeadlessHostPointer, MovesRelativeToWhereThePointerWasStartingInTheMiddle) {
    HeadlessHost host;
    int32_t dx = 99, dy = 99;
    uint8_t left = 99;
    host.TakeMouse(&dx, &dy, &left);
    EXPECT_EQ(dx, 0);
    EXPECT_EQ(dy, 0);
    EXPECT_EQ(left, 0);

    host.MoveMouseTo(300, 250);
    host.TakeMouse(&dx, &dy, &left);
    EXPECT_EQ(dx, -20);
    EXPECT_EQ(dy, 10);
    // Taking the motion consumes it.
    host.TakeMouse(&dx, &dy, &left);
    EXPECT_EQ(dx, 0);
    EXPECT_EQ(dy, 0);
}

TEST(HeadlessHostPointer, SeveralMovesBeforeOneReadingAddUp) {
    HeadlessHost host;
    host.MoveMouseTo(100, 100);
    host.MoveMouseTo(110, 400);
    int32_t dx, dy;
    uint8_t left;
    host.TakeMouse(&dx, &dy, &left);
    EXPECT_EQ(dx, 110 - 320);
    EXPECT_EQ(dy, 400 - 240);
    EXPECT_EQ(host.PointerX(), 110);
    EXPECT_EQ(host.PointerY(), 400);
}

TEST(HeadlessHostPointer, TargetsOffTheScreenAreClampedToItsEdges) {
    HeadlessHost host;
    int32_t dx, dy;
    uint8_t left;
    host.MoveMouseTo(-50, 10000);
    host.TakeMouse(&dx, &dy, &left);
    EXPECT_EQ(dx, -320);
    EXPECT_EQ(dy, 479 - 240);
    // Further pushing against the edge moves nothing.
    host.MoveMouseTo(-1, 480);
    host.TakeMouse(&dx, &dy, &left);
    EXPECT_EQ(dx, 0);
    EXPECT_EQ(dy, 0);
    host.MoveMouseTo(639, 0);
    host.TakeMouse(&dx, &dy, &left);
    EXPECT_EQ(dx, 639);
    EXPECT_EQ(dy, -479);
}

TEST(HeadlessHostPointer, ButtonIsALevelNotAnEvent) {
    HeadlessHost host;
    int32_t dx, dy;
    uint8_t left;
    host.SetMouseButton(true);
    host.TakeMouse(&dx, &dy, &left);
    EXPECT_NE(left, 0);
    host.TakeMouse(&dx, &dy, &left);
    EXPECT_NE(left, 0);
    host.SetMouseButton(false);
    host.TakeMouse(&dx, &dy, &left);
    EXPECT_EQ(left, 0);
}

TEST(HeadlessHostKeys, KeysShowAtOnceAndTogether) {
    HeadlessHost host;
    const uint8_t* keys = host.KeyStates();
    host.SetKey(0x1E, true);
    host.SetKey(0xCB, true);
    EXPECT_EQ(keys[0x1E], 0x80);
    EXPECT_EQ(keys[0xCB], 0x80);
    EXPECT_EQ(keys[0x1F], 0);
    host.SetKey(0x1E, false);
    EXPECT_EQ(keys[0x1E], 0);
    EXPECT_EQ(keys[0xCB], 0x80);
    host.SetKey(0xFF, true);
    host.ReleaseAllKeys();
    for (int code = 0; code < 256; ++code) ASSERT_EQ(keys[code], 0) << code;
}

TEST(HeadlessHostKeys, ShutdownInputReleasesEverything) {
    HeadlessHost host;
    host.SetKey(0x39, true);
    host.SetMouseButton(true);
    host.ShutdownInput();
    EXPECT_EQ(host.KeyStates()[0x39], 0);
    int32_t dx, dy;
    uint8_t left;
    host.TakeMouse(&dx, &dy, &left);
    EXPECT_EQ(left, 0);
}

TEST(HeadlessHostPicture, RemembersTheLastPresentedBuffers) {
    HeadlessHost host;
    EXPECT_EQ(host.LastPixels(), nullptr);
    EXPECT_EQ(host.PresentCount(), 0);
    uint8_t first[16] = {};
    uint8_t second[16] = {};
    PaletteEntry palette[kPaletteSize] = {};
    host.Present(first, palette);
    host.Present(second, palette);
    EXPECT_EQ(host.LastPixels(), second);
    EXPECT_EQ(host.LastPalette(), palette);
    EXPECT_EQ(host.PresentCount(), 2);
    host.ShutdownDisplay();
    EXPECT_EQ(host.LastPixels(), nullptr);
}

TEST(HeadlessHostMessages, RecordsTheMessageAndPrintsItOnStderr) {
    HeadlessHost host;
    EXPECT_EQ(host.MessageCount(), 0);
    testing::internal::CaptureStderr();
    host.ShowMessage("Unable to setup Direct Sound", "Error Message");
    std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(printed, "Error Message: Unable to setup Direct Sound\n");
    EXPECT_STREQ(host.LastMessageText(), "Unable to setup Direct Sound");
    EXPECT_STREQ(host.LastMessageTitle(), "Error Message");
    EXPECT_EQ(host.MessageCount(), 1);
}

TEST(HeadlessHostMessages, CloseIsRequestedOnlyWhenAsked) {
    HeadlessHost host;
    host.PumpEvents();
    EXPECT_FALSE(host.CloseRequested());
    host.RequestClose();
    EXPECT_TRUE(host.CloseRequested());
}

}  // namespace
