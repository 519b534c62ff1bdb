#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <tuple>
#include <vector>

#include "io/Mixer.h"

namespace {

std::unique_ptr<uint8_t[]> Filled(uint32_t n, uint8_t value) {
    std::unique_ptr<uint8_t[]> p(new uint8_t[n]);
    std::fill(p.get(), p.get() + n, value);
    return p;
}

// Renders `frames` frames in uneven pieces (1, 20, 77, 248, ...), the way a device pulls them.
std::vector<float> RenderFrames(Mixer& m, int frames, int rate = 22050) {
    std::vector<float> out(frames);
    for (int done = 0, piece = 1, n; done < frames; done += n, piece = piece * 3 % 1021 + 17)
        m.Render(out.data() + done, n = std::min(piece, frames - done), rate);
    return out;
}

// A buffer's status and position.
std::tuple<uint32_t, uint32_t> State(const Mixer& m, int id) {
    uint32_t s = 0xDEAD;
    return {m.GetStatus(id, &s) ? s : 0xDEAD, m.Position(id)};
}
using S = std::tuple<uint32_t, uint32_t>;

TEST(Mixer, AOneShotEndsAfterItsSamplesALoopWrapsAndPlayAndStopKeepThePosition) {
    Mixer m;
    const int id = m.CreateBuffer(Filled(100, 200), 100);
    ASSERT_TRUE(m.Play(id, false));
    const std::vector<float> out = RenderFrames(m, 150);
    EXPECT_EQ(State(m, id), S(0, 0));
    for (int i = 0; i < 150; ++i) EXPECT_TRUE(i < 100 ? out[i] > 0.1f : out[i] == 0.0f) << i;
    m.Play(id, false);
    RenderFrames(m, 40);
    ASSERT_TRUE(m.Play(id, true));  // the running position, now looping
    EXPECT_EQ(State(m, id), S(5, 40));
    RenderFrames(m, 1100);
    EXPECT_EQ(State(m, id), S(5, 40));  // wrapped eleven times
    m.Play(id, false);                  // now once: on to the end, then stop
    RenderFrames(m, 59);
    EXPECT_EQ(State(m, id), S(1, 99));
    RenderFrames(m, 1);
    EXPECT_EQ(State(m, id), S(0, 0));
    m.Play(id, true);
    RenderFrames(m, 21);
    ASSERT_TRUE(m.Stop(id));
    for (float v : RenderFrames(m, 50)) EXPECT_EQ(v, 0.0f);
    m.Play(id, false);
    RenderFrames(m, 9);
    EXPECT_EQ(State(m, id), S(1, 30));
}

TEST(Mixer, BufferRatesSetThePaceExactlyAtEveryDeviceRate) {
    Mixer m;
    const int id = m.CreateBuffer(Filled(200000, 128), 200000);
    EXPECT_EQ(m.Frequency(id), 22050u);
    ASSERT_TRUE(m.SetFrequency(id, 11025));
    m.Play(id, false);
    RenderFrames(m, 1000);
    EXPECT_EQ(m.Position(id), 500u);
    ASSERT_TRUE(m.SetFrequency(id, 44100));
    RenderFrames(m, 1000);
    EXPECT_EQ(m.Position(id), 2500u);
    // 0 is the samples' own rate; rates out of range are refused
    EXPECT_EQ((std::tuple{m.SetFrequency(id, 0), m.SetFrequency(id, 50), m.SetFrequency(id, 300000), m.Frequency(id)}),
              (std::tuple{true, false, false, 22050u}));
    // device rate, buffer rate, frames, samples consumed: floor(frames * buffer / device)
    const int cases[][4] = {{44100, 22050, 44100, 22050}, {48000, 22050, 48000, 22050}, {48000, 22050, 1000, 459},
                            {48000, 11025, 96000, 22050}, {22050, 22050, 777, 777},     {8000, 22050, 8000, 22050}};
    for (const auto& [device, rate, frames, consumed] : cases) {
        Mixer r;
        const int b = r.CreateBuffer(Filled(200000, 128), 200000);
        r.SetFrequency(b, rate);
        r.Play(b, false);
        RenderFrames(r, frames, device);
        EXPECT_EQ(r.Position(b), uint32_t(consumed)) << device << " " << rate << " " << frames;
    }
    const uint32_t before = m.Position(id);  // a device rate change keeps the pace: 0.1 s three times
    RenderFrames(m, 4410, 44100);
    RenderFrames(m, 4800, 48000);
    RenderFrames(m, 2205, 22050);
    EXPECT_NEAR(double(m.Position(id) - before), 3 * 2205.0, 1.0);
}

TEST(Mixer, InterpolatesLinearlyBetweenSamplesAndFadesToSilenceAfterTheLast) {
    Mixer m;
    m.Play(m.CreateBuffer(std::unique_ptr<uint8_t[]>(new uint8_t[3]{128, 192, 128}), 3), false);
    float out[6];
    m.Render(out, 6, 44100);
    const float g = Mixer::kMasterGain, expected[6] = {0, 0.25f * g, 0.5f * g, 0.25f * g, 0, 0};
    for (int i = 0; i < 6; ++i) EXPECT_FLOAT_EQ(out[i], expected[i]) << i;
}

TEST(Mixer, DuplicatesShareSamplesButNotStateAndTheTableHoldsAHundredBuffers) {
    Mixer m;
    const int id = m.CreateBuffer(Filled(100, 200), 100), copy = m.DuplicateBuffer(id);
    m.Play(copy, false);
    RenderFrames(m, 20);
    EXPECT_EQ((std::tuple{copy != id, State(m, copy), State(m, id)}), (std::tuple{true, S(1, 20), S(0, 0)}));
    m.ReleaseBuffer(id);  // the samples outlive the original while a copy uses them
    for (float v : RenderFrames(m, 10)) EXPECT_GT(v, 0.1f);
    for (int i = 1; i < Mixer::kMaxBuffers; ++i) ASSERT_GE(m.DuplicateBuffer(copy), 0) << i;
    EXPECT_EQ((std::tuple{m.DuplicateBuffer(copy), m.Play(-1, false), m.Play(Mixer::kMaxBuffers, false)}),
              (std::tuple{-1, false, false}));
}

TEST(Mixer, TheMixIsSoftClippedAboveTheKneeSoManySoundsStayBelowOneButLouder) {
    EXPECT_EQ((std::tuple{Mixer::SoftClip(0.5f), Mixer::SoftClip(-0.6f)}), (std::tuple{0.5f, -0.6f}));
    EXPECT_TRUE(Mixer::SoftClip(40.0f) > 0.98f && Mixer::SoftClip(40.0f) < 1.0f && Mixer::SoftClip(-40.0f) > -1.0f);
    Mixer m;
    const int one = m.CreateBuffer(Filled(1000, 255), 1000);
    m.Play(one, false);
    float single[64], many[64];
    m.Render(single, 64, 44100);
    for (int i = 0; i < 12; ++i) m.Play(m.DuplicateBuffer(one), false);
    m.Render(many, 64, 44100);
    for (int i = 0; i < 64; ++i) EXPECT_TRUE(many[i] < 1.0f && many[i] > single[i]) << i;
}

}  // namespace
