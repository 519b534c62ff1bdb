#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>

#include "platform/HeadlessHost.h"

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
        std::fill(out, out + frames, 0.25f);
    }
    int calls = 0, lastFrames = 0, lastRate = 0;
    bool lockedDuringRender = true;

private:
    HeadlessHost* host_;
};

std::tuple<int32_t, int32_t, uint8_t> Take(HeadlessHost& host) {
    int32_t dx = 99, dy = 99;
    uint8_t left = 99;
    host.TakeMouse(&dx, &dy, &left);
    return {dx, dy, left};
}

TEST(HeadlessHost, TheClockMovesExactlyTenMillisecondsPerPassAndOnlyThenAndWraps) {
    HeadlessHost host;
    RecordingSource source(&host);
    for (uint32_t start : {0u, 0u, 5000u}) host.EndPass(start);  // no catching up, no waiting longer
    EXPECT_EQ((std::tuple{host.Ticks(), host.PassCount()}), (std::tuple{30u, 3}));
    char reason[16];
    ASSERT_TRUE(host.InitAudio(&source, reason, sizeof reason));
    host.SetTicks(1234);
    host.PaceFadeStep();
    host.PumpEvents();
    uint8_t pixels[4] = {};
    PaletteEntry palette[kPaletteSize] = {};
    host.Present(pixels, palette);
    Take(host);
    EXPECT_EQ((std::tuple{host.Ticks(), source.calls}), (std::tuple{1234u, 0}));
    host.SetTicks(0xFFFFFFFAu);
    host.EndPass(host.Ticks());
    EXPECT_EQ(host.Ticks(), 4u);
}

TEST(HeadlessHost, EachPassPullsTenMillisecondsOfSoundUnderTheLockWhileAudioIsOpen) {
    HeadlessHost host;
    RecordingSource source(&host);
    host.EndPass(0);
    char reason[16];
    ASSERT_TRUE(host.InitAudio(&source, reason, sizeof reason));
    for (int i = 0; i < 100; ++i) host.EndPass(host.Ticks());
    EXPECT_EQ(
        (std::tuple{source.calls, source.lastFrames, source.lastRate, host.AudioFramesPulled(), host.LastAudio()[440]}),
        (std::tuple{100, 441, 44100, 44100, 0.25f}));
    EXPECT_EQ((std::tuple{source.lockedDuringRender, host.AudioLockDepth(), host.AudioLockMisuses()}),
              (std::tuple{true, 0, 0}));
    host.ShutdownAudio();
    host.EndPass(0);
    EXPECT_EQ((std::tuple{host.AudioOpen(), source.calls}), (std::tuple{false, 100}));
}

TEST(HeadlessHost, NestedLocksAreFineButAnUnlockTooManyOrAPassUnderTheLockIsAMistake) {
    HeadlessHost host;
    host.LockAudio();
    host.LockAudio();
    EXPECT_EQ(host.AudioLockDepth(), 2);
    host.UnlockAudio();
    host.UnlockAudio();
    EXPECT_EQ(host.AudioLockMisuses(), 0);
    host.UnlockAudio();
    EXPECT_EQ((std::tuple{host.AudioLockDepth(), host.AudioLockMisuses()}), (std::tuple{0, 1}));
    host.LockAudio();
    host.EndPass(0);
    EXPECT_EQ(host.AudioLockMisuses(), 2);
}

TEST(HeadlessHost, FailNextFailsThatDeviceOnceWithItsReasonCutToTheBuffer) {
    using D = HeadlessHost::Device;
    for (auto [device, why] :
         {std::pair{D::Input, "no keyboard"}, {D::Audio, "ALSA: no device"}, {D::Display, "none"}}) {
        HeadlessHost host;
        RecordingSource source(&host);
        host.FailNext(device, why);
        char reason[64] = "untouched";
        for (bool retry : {false, true}) {  // the second try succeeds
            const auto opened =
                std::tuple{host.InitInput(reason, sizeof reason), host.InitAudio(&source, reason, sizeof reason),
                           host.InitDisplay(reason, sizeof reason)};
            EXPECT_EQ(opened, (std::tuple{retry || device != D::Input, retry || device != D::Audio,
                                          retry || device != D::Display}))
                << why;
            EXPECT_EQ((std::tuple{host.InputOpen(), host.AudioOpen(), host.DisplayOpen()}), opened);
            EXPECT_STREQ(reason, why);
        }
    }
    HeadlessHost host;
    host.FailNext(HeadlessHost::Device::Display, "a rather long reason");
    char reason[7];
    std::memset(reason, 'x', sizeof reason);
    EXPECT_FALSE(host.InitDisplay(reason, sizeof reason));
    EXPECT_STREQ(reason, "a rath");
}

TEST(HeadlessHost, ThePointerStartsMidScreenAndReportsSummedClampedMotionOnce) {
    HeadlessHost host;
    EXPECT_EQ(Take(host), std::tuple(0, 0, 0));
    host.MoveMouseTo(100, 100);
    host.MoveMouseTo(110, 400);
    EXPECT_EQ(Take(host), std::tuple(110 - 320, 400 - 240, 0));
    EXPECT_EQ(Take(host), std::tuple(0, 0, 0));  // taken once
    host.MoveMouseTo(-50, 10000);
    EXPECT_EQ(Take(host), std::tuple(-110, 479 - 400, 0));
    host.MoveMouseTo(-1, 480);  // pushing against the edges moves nothing
    EXPECT_EQ(Take(host), std::tuple(0, 0, 0));
    host.MoveMouseTo(700, -5);
    EXPECT_EQ(Take(host), std::tuple(639, -479, 0));
    EXPECT_EQ((std::tuple{host.PointerX(), host.PointerY()}), (std::tuple{639, 0}));
}

TEST(HeadlessHost, KeysAndTheButtonAreLevelsUntilReleasedOrInputShutsDown) {
    HeadlessHost host;
    const uint8_t* keys = host.KeyStates();
    host.SetKey(0x1E, true);
    host.SetKey(0xCB, true);
    host.SetKey(0x1E, false);
    EXPECT_EQ((std::tuple{keys[0x1E], keys[0xCB]}), (std::tuple{0, 0x80}));
    host.SetKey(0xFF, true);
    host.ReleaseAllKeys();
    EXPECT_EQ(std::count(keys, keys + 256, 0), 256);
    host.SetMouseButton(true);
    EXPECT_EQ((std::tuple{std::get<2>(Take(host)), std::get<2>(Take(host))}), (std::tuple{0x80, 0x80}));
    host.SetMouseButton(false);
    EXPECT_EQ(std::get<2>(Take(host)), 0);
    host.SetKey(0x39, true);
    host.SetMouseButton(true);
    host.ShutdownInput();
    EXPECT_EQ((std::tuple{keys[0x39], std::get<2>(Take(host))}), (std::tuple{0, 0}));
}

TEST(HeadlessHost, PrintsMessagesOnStderrAndClosesOnlyWhenAsked) {
    HeadlessHost host;
    testing::internal::CaptureStderr();
    host.ShowMessage("Unable to setup Direct Sound", "Error Message");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error Message: Unable to setup Direct Sound\n");
    EXPECT_EQ((std::tuple{std::string(host.LastMessageText()), host.MessageCount(), host.CloseRequested()}),
              (std::tuple{std::string("Unable to setup Direct Sound"), 1, false}));
    host.RequestClose();
    EXPECT_TRUE(host.CloseRequested());
}

}  // namespace
