#include "io/Mixer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

std::unique_ptr<uint8_t[]> Filled(uint32_t n, uint8_t value) {
    std::unique_ptr<uint8_t[]> p(new uint8_t[n]);
    for (uint32_t i = 0; i < n; ++i) p[i] = value;
    return p;
}

// Renders `frames` frames in uneven pieces, the way a device pulls them.
std::vector<float> RenderFrames(Mixer& m, int frames, int rate) {
    std::vector<float> out(frames);
    int done = 0;
    int piece = 1;
    while (done < frames) {
        const int n = std::min(piece, frames - done);
        m.Render(out.data() + done, n, rate);
        done += n;
        piece = piece * 3 % 1021 + 17;  // 20, 77, 248, ...
    }
    return out;
}

uint32_t Status(const Mixer& m, int id) {
    uint32_t s = 0xDEAD;
    EXPECT_TRUE(m.GetStatus(id, &s));
    return s;
}

TEST(Mixer, PlayOnceRunsToTheEndAndStops) {
    Mixer m;
    const int id = m.CreateBuffer(Filled(100, 200), 100);
    ASSERT_GE(id, 0);
    EXPECT_EQ(Status(m, id), 0u);
    ASSERT_TRUE(m.Play(id, false));
    EXPECT_EQ(Status(m, id), Mixer::kStatusPlaying);

    std::vector<float> out = RenderFrames(m, 150, 22050);
    EXPECT_EQ(Status(m, id), 0u);
    // Sound for the buffer's 100 samples, silence after.
    for (int i = 0; i < 100; ++i) EXPECT_GT(out[i], 0.1f) << i;
    for (int i = 100; i < 150; ++i) EXPECT_EQ(out[i], 0.0f) << i;

    // Played again, it starts over from the beginning.
    ASSERT_TRUE(m.Play(id, false));
    RenderFrames(m, 30, 22050);
    EXPECT_EQ(m.Position(id), 30u);
}

TEST(Mixer, LoopingReportsFiveAndWraps) {
    Mixer m;
    const int id = m.CreateBuffer(Filled(100, 60), 100);
    ASSERT_TRUE(m.Play(id, true));
    EXPECT_EQ(Status(m, id), Mixer::kStatusPlaying | Mixer::kStatusLooping);
    EXPECT_EQ(Status(m, id), 5u);
    std::vector<float> out = RenderFrames(m, 1050, 22050);
    EXPECT_EQ(Status(m, id), 5u);
    EXPECT_EQ(m.Position(id), 50u);
    for (float v : out) EXPECT_LT(v, -0.1f);
}

TEST(Mixer, PlayWhilePlayingKeepsThePositionAndTakesTheLoopChoice) {
    Mixer m;
    const int id = m.CreateBuffer(Filled(100, 200), 100);
    m.Play(id, false);
    RenderFrames(m, 40, 22050);
    ASSERT_TRUE(m.Play(id, true));
    EXPECT_EQ(m.Position(id), 40u);
    EXPECT_EQ(Status(m, id), 5u);
    RenderFrames(m, 100, 22050);
    EXPECT_EQ(m.Position(id), 40u);  // wrapped once
    // Told to play once, a looping buffer plays on to its end and stops.
    m.Play(id, false);
    EXPECT_EQ(Status(m, id), 1u);
    RenderFrames(m, 59, 22050);
    EXPECT_EQ(Status(m, id), 1u);
    RenderFrames(m, 1, 22050);
    EXPECT_EQ(Status(m, id), 0u);
}

TEST(Mixer, StopKeepsThePositionAndPlayResumes) {
    Mixer m;
    const int id = m.CreateBuffer(Filled(1000, 200), 1000);
    m.Play(id, true);
    RenderFrames(m, 321, 22050);
    ASSERT_TRUE(m.Stop(id));
    EXPECT_EQ(Status(m, id), 0u);
    EXPECT_EQ(m.Position(id), 321u);
    std::vector<float> out = RenderFrames(m, 50, 22050);
    for (float v : out) EXPECT_EQ(v, 0.0f);
    EXPECT_EQ(m.Position(id), 321u);
    m.Play(id, false);
    RenderFrames(m, 9, 22050);
    EXPECT_EQ(m.Position(id), 330u);
}

TEST(Mixer, SetFrequencyChangesThePace) {
    Mixer m;
    const int id = m.CreateBuffer(Filled(100000, 128), 100000);
    EXPECT_EQ(m.Frequency(id), 22050u);
    ASSERT_TRUE(m.SetFrequency(id, 11025));
    m.Play(id, false);
    RenderFrames(m, 1000, 22050);
    EXPECT_EQ(m.Position(id), 500u);

    ASSERT_TRUE(m.SetFrequency(id, 44100));
    RenderFrames(m, 1000, 22050);
    EXPECT_EQ(m.Position(id), 2500u);

    // 0 means the samples' own rate; rates out of range are refused.
    ASSERT_TRUE(m.SetFrequency(id, 0));
    EXPECT_EQ(m.Frequency(id), 22050u);
    EXPECT_FALSE(m.SetFrequency(id, 50));
    EXPECT_FALSE(m.SetFrequency(id, 300000));
    EXPECT_EQ(m.Frequency(id), 22050u);
}

struct RateCase {
    int deviceRate;
    uint32_t bufferRate;
    int frames;
    uint32_t consumed;
};

class MixerResampling : public ::testing::TestWithParam<RateCase> {};

TEST_P(MixerResampling, ConsumesExactlyTheSamplesOfTheElapsedTime) {
    const RateCase c = GetParam();
    Mixer m;
    const int id = m.CreateBuffer(Filled(200000, 128), 200000);
    m.SetFrequency(id, c.bufferRate);
    m.Play(id, false);
    RenderFrames(m, c.frames, c.deviceRate);
    EXPECT_EQ(m.Position(id), c.consumed);
}

INSTANTIATE_TEST_SUITE_P(Rates, MixerResampling,
                         ::testing::Values(RateCase{44100, 22050, 44100, 22050}, RateCase{48000, 22050, 48000, 22050},
                                           RateCase{48000, 22050, 1000, 459},  // floor(1000 * 22050 / 48000)
                                           RateCase{48000, 11025, 96000, 22050},
                                           RateCase{44100, 11025, 44100, 11025}, RateCase{22050, 22050, 777, 777},
                                           RateCase{8000, 22050, 8000, 22050}));

TEST(Mixer, DeviceRateChangeKeepsThePace) {
    Mixer m;
    const int id = m.CreateBuffer(Filled(100000, 128), 100000);
    m.Play(id, false);
    RenderFrames(m, 4410, 44100);   // 0.1 s
    RenderFrames(m, 4800, 48000);   // 0.1 s
    RenderFrames(m, 2205, 22050);   // 0.1 s
    EXPECT_NEAR(static_cast<double>(m.Position(id)), 3 * 2205.0, 1.0);
}

TEST(Mixer, InterpolatesLinearlyBetweenSamples) {
    Mixer m;
    std::unique_ptr<uint8_t[]> s(new uint8_t[3]{128, 192, 128});
    const int id = m.CreateBuffer(std::move(s), 3);
    m.Play(id, false);
    float out[6];
    m.Render(out, 6, 44100);
    const float g = Mixer::kMasterGain;
    EXPECT_FLOAT_EQ(out[0], 0.0f);
    EXPECT_FLOAT_EQ(out[1], 0.25f * g);
    EXPECT_FLOAT_EQ(out[2], 0.5f * g);
    EXPECT_FLOAT_EQ(out[3], 0.25f * g);
    EXPECT_FLOAT_EQ(out[4], 0.0f);
    EXPECT_FLOAT_EQ(out[5], 0.0f);
}

TEST(Mixer, DuplicatesShareSamplesButNotState) {
    Mixer m;
    const int id = m.CreateBuffer(Filled(100, 200), 100);
    m.SetFrequency(id, 11025);
    const int copy = m.DuplicateBuffer(id);
    ASSERT_GE(copy, 0);
    ASSERT_NE(copy, id);
    EXPECT_EQ(m.Length(copy), 100u);
    EXPECT_EQ(m.Frequency(copy), 11025u);
    EXPECT_EQ(Status(m, copy), 0u);

    m.SetFrequency(copy, 22050);
    m.Play(copy, false);
    RenderFrames(m, 20, 22050);
    EXPECT_EQ(m.Position(copy), 20u);
    EXPECT_EQ(m.Position(id), 0u);
    EXPECT_EQ(Status(m, id), 0u);

    // The samples outlive the original while a copy still uses them.
    m.ReleaseBuffer(id);
    EXPECT_FALSE(m.IsBuffer(id));
    std::vector<float> out = RenderFrames(m, 10, 22050);
    for (float v : out) EXPECT_GT(v, 0.1f);
    m.ReleaseBuffer(copy);
    EXPECT_EQ(m.BufferCount(), 0);
    EXPECT_FALSE(m.Play(copy, false));
    EXPECT_EQ(m.DuplicateBuffer(id), -1);
}

TEST(Mixer, TableHoldsAFixedNumberOfBuffers) {
    Mixer m;
    const int first = m.CreateBuffer(Filled(10, 128), 10);
    for (int i = 1; i < Mixer::kMaxBuffers; ++i) ASSERT_GE(m.DuplicateBuffer(first), 0) << i;
    EXPECT_EQ(m.BufferCount(), Mixer::kMaxBuffers);
    EXPECT_EQ(m.DuplicateBuffer(first), -1);
    EXPECT_EQ(m.CreateBuffer(Filled(10, 128), 10), -1);
    m.ReleaseBuffer(7);
    EXPECT_EQ(m.DuplicateBuffer(first), 7);
    m.ReleaseAll();
    EXPECT_EQ(m.BufferCount(), 0);
    EXPECT_GE(m.CreateBuffer(Filled(10, 128), 10), 0);
}

TEST(Mixer, InvalidIdsAndEmptyBuffersAreHarmless) {
    Mixer m;
    uint32_t s = 0;
    for (int bad : {-1, 0, Mixer::kMaxBuffers, 1000}) {
        EXPECT_FALSE(m.Play(bad, false));
        EXPECT_FALSE(m.Stop(bad));
        EXPECT_FALSE(m.SetFrequency(bad, 11025));
        EXPECT_FALSE(m.GetStatus(bad, &s));
        m.ReleaseBuffer(bad);
    }
    const int empty = m.CreateBuffer(nullptr, 0);
    ASSERT_GE(empty, 0);
    EXPECT_TRUE(m.Play(empty, true));
    EXPECT_EQ(Status(m, empty), 0u);
    float out[8];
    m.Render(out, 8, 48000);
    for (float v : out) EXPECT_EQ(v, 0.0f);
    m.Render(out, 8, 0);  // no device rate: silence, no division by zero
    for (float v : out) EXPECT_EQ(v, 0.0f);
}

TEST(Mixer, SoftClipIsIdentityBelowTheKneeAndBoundedAbove) {
    EXPECT_FLOAT_EQ(Mixer::SoftClip(0.0f), 0.0f);
    EXPECT_FLOAT_EQ(Mixer::SoftClip(0.5f), 0.5f);
    EXPECT_FLOAT_EQ(Mixer::SoftClip(-0.6f), -0.6f);
    float last = 0.0f;
    for (float x = 0.0f; x < 40.0f; x += 0.01f) {
        const float y = Mixer::SoftClip(x);
        EXPECT_GE(y, last);
        EXPECT_LT(y, 1.0f);
        EXPECT_FLOAT_EQ(Mixer::SoftClip(-x), -y);
        last = y;
    }
    EXPECT_GT(Mixer::SoftClip(40.0f), 0.98f);
}

TEST(Mixer, ManyOverlappingSoundsStayInRangeAndLouderThanOne) {
    Mixer m;
    const int one = m.CreateBuffer(Filled(1000, 255), 1000);
    m.Play(one, false);
    float single[64];
    m.Render(single, 64, 44100);

    for (int i = 0; i < 12; ++i) m.Play(m.DuplicateBuffer(one), false);
    float many[64];
    m.Render(many, 64, 44100);
    for (int i = 0; i < 64; ++i) {
        EXPECT_LT(many[i], 1.0f);
        EXPECT_GT(many[i], single[i]);
    }
}

}  // namespace
