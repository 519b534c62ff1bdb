#include "io/Mixer.h"

#include <cmath>

int Mixer::CreateBuffer(std::unique_ptr<uint8_t[]> samples, uint32_t size) {
    if (!samples) size = 0;
    for (int id = 0; id < kMaxBuffers; ++id) {
        if (buffers_[id].used) continue;
        // A free buffer entry always has a free data entry at the same index
        // or elsewhere: there are as many data entries as buffers.
        for (int d = 0; d < kMaxBuffers; ++d) {
            if (data_[d].users != 0) continue;
            data_[d].bytes = std::move(samples);
            data_[d].size = size;
            data_[d].users = 1;
            buffers_[id] = Buffer{};
            buffers_[id].used = true;
            buffers_[id].data = d;
            return id;
        }
        return -1;
    }
    return -1;
}

int Mixer::DuplicateBuffer(int id) {
    if (!Valid(id)) return -1;
    for (int copy = 0; copy < kMaxBuffers; ++copy) {
        if (buffers_[copy].used) continue;
        buffers_[copy] = Buffer{};
        buffers_[copy].used = true;
        buffers_[copy].data = buffers_[id].data;
        buffers_[copy].frequency = buffers_[id].frequency;
        ++data_[buffers_[id].data].users;
        return copy;
    }
    return -1;
}

void Mixer::ReleaseBuffer(int id) {
    if (!Valid(id)) return;
    SampleData& d = data_[buffers_[id].data];
    if (--d.users == 0) {
        d.bytes.reset();
        d.size = 0;
    }
    buffers_[id] = Buffer{};
}

void Mixer::ReleaseAll() {
    for (int id = 0; id < kMaxBuffers; ++id) ReleaseBuffer(id);
}

bool Mixer::Play(int id, bool looping) {
    if (!Valid(id)) return false;
    Buffer& b = buffers_[id];
    if (data_[b.data].size == 0) return true;  // nothing to hear: over at once
    if (b.position >= data_[b.data].size) {
        b.position = 0;
        b.fraction = 0;
    }
    b.playing = true;
    b.looping = looping;
    return true;
}

bool Mixer::Stop(int id) {
    if (!Valid(id)) return false;
    buffers_[id].playing = false;
    return true;
}

bool Mixer::SetFrequency(int id, uint32_t hz) {
    if (!Valid(id)) return false;
    if (hz == 0) hz = kDefaultRate;  // back to the samples' own rate
    if (hz < kMinRate || hz > kMaxRate) return false;
    buffers_[id].frequency = hz;
    return true;
}

bool Mixer::GetStatus(int id, uint32_t* status) const {
    if (!Valid(id) || !status) return false;
    const Buffer& b = buffers_[id];
    *status = b.playing ? (kStatusPlaying | (b.looping ? kStatusLooping : 0u)) : 0u;
    return true;
}

bool Mixer::IsPlaying(int id) const { return Valid(id) && buffers_[id].playing; }
uint32_t Mixer::Frequency(int id) const { return Valid(id) ? buffers_[id].frequency : 0; }
uint32_t Mixer::Position(int id) const { return Valid(id) ? buffers_[id].position : 0; }
uint32_t Mixer::Length(int id) const { return Valid(id) ? data_[buffers_[id].data].size : 0; }

float Mixer::SoftClip(float x) {
    constexpr float kKnee = 0.7f;
    const float magnitude = std::fabs(x);
    if (magnitude <= kKnee) return x;
    // Slope 1 at the knee, approaching 1 as the input grows without bound.
    const float over = (magnitude - kKnee) / (1.0f - kKnee);
    const float bent = kKnee + (1.0f - kKnee) * over / (1.0f + over);
    return x < 0 ? -bent : bent;
}

void Mixer::ChangeDeviceRate(uint32_t rate) {
    // Fractions are counted in 1/rate steps; carry them over to the new rate.
    for (Buffer& b : buffers_) {
        b.fraction = rate_ ? b.fraction * rate / rate_ : 0;
        if (b.fraction >= rate) b.fraction = rate - 1;
    }
    rate_ = rate;
}

void Mixer::Render(float* out, int frames, int rate) {
    if (!out || frames <= 0) return;
    for (int i = 0; i < frames; ++i) out[i] = 0.0f;
    if (rate <= 0) return;
    if (static_cast<uint32_t>(rate) != rate_) ChangeDeviceRate(static_cast<uint32_t>(rate));

    const float scale = 1.0f / 128.0f;
    const float invRate = 1.0f / static_cast<float>(rate_);
    for (Buffer& b : buffers_) {
        if (!b.used || !b.playing) continue;
        const SampleData& d = data_[b.data];
        const uint8_t* s = d.bytes.get();
        const uint32_t size = d.size;
        if (size == 0 || !s) {
            b.playing = false;
            continue;
        }
        // Step per output frame: whole samples plus a remainder in 1/rate units,
        // so that N frames consume exactly floor(N * frequency / rate) samples.
        const uint32_t whole = b.frequency / rate_;
        const uint32_t remainder = b.frequency % rate_;
        for (int i = 0; i < frames; ++i) {
            const int s0 = s[b.position];
            int s1;
            if (b.position + 1 < size)
                s1 = s[b.position + 1];
            else
                s1 = b.looping ? s[0] : 128;
            const float t = static_cast<float>(b.fraction) * invRate;
            out[i] += (static_cast<float>(s0 - 128) + static_cast<float>(s1 - s0) * t) * scale;

            b.fraction += remainder;
            uint64_t next = static_cast<uint64_t>(b.position) + whole;
            if (b.fraction >= rate_) {
                b.fraction -= rate_;
                ++next;
            }
            if (next >= size) {
                if (b.looping) {
                    next %= size;
                } else {
                    b.playing = false;
                    b.position = 0;
                    b.fraction = 0;
                    break;
                }
            }
            b.position = static_cast<uint32_t>(next);
        }
    }
    for (int i = 0; i < frames; ++i) out[i] = SoftClip(out[i] * kMasterGain);
}
