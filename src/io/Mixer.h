#pragma once
#include <cstdint>
#include <memory>

#include "platform/Host.h"

// The game's sample mixer: a fixed table of sound buffers, each 8-bit
// unsigned mono sample data (128 is silence) with its own playback rate,
// mixed into the host's mono float stream.
//
// A buffer behaves like a static hardware sound buffer:
//   - Play starts it from its current position, once or looping; a buffer
//     that is already playing keeps its position and only takes the new
//     looping choice; a one-shot buffer that has reached its end has its
//     position back at 0, so the next Play starts it over.
//   - Stop halts it and keeps its position.
//   - Status is kStatusPlaying while it plays, plus kStatusLooping when it
//     loops (a looping buffer reports 5, never exactly 1).
//   - A duplicate shares the sample data of its original (no copy, no
//     allocation) and starts with its rate, but has its own position, rate
//     and state from then on.
//
// The mixer itself takes no locks: whoever changes its state while the
// host's audio side is running must hold the host's audio lock. Creating a
// buffer takes ownership of already-allocated samples; nothing here
// allocates, so playing, duplicating and mixing never touch the heap.

class Mixer : public AudioSource {
public:
    static constexpr int kMaxBuffers = 100;
    static constexpr uint32_t kStatusPlaying = 1;
    static constexpr uint32_t kStatusLooping = 4;
    static constexpr uint32_t kDefaultRate = 22050;
    static constexpr uint32_t kMinRate = 100;
    static constexpr uint32_t kMaxRate = 200000;
    // Gain applied to the sum of all voices before the soft clipper.
    static constexpr float kMasterGain = 0.6f;

    Mixer() = default;
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    // Takes ownership of `size` samples (which may be null when size is 0)
    // and returns the new buffer's id, or -1 when the table is full (the
    // samples are then freed).
    int CreateBuffer(std::unique_ptr<uint8_t[]> samples, uint32_t size);
    // A new buffer on the same samples, stopped at position 0, with the
    // original's rate; -1 when the table is full or `id` is not a buffer.
    int DuplicateBuffer(int id);
    // Stops and frees the buffer; the samples go when their last buffer does.
    void ReleaseBuffer(int id);
    void ReleaseAll();

    bool Play(int id, bool looping);
    bool Stop(int id);
    bool SetFrequency(int id, uint32_t hz);
    bool GetStatus(int id, uint32_t* status) const;

    bool IsPlaying(int id) const;
    uint32_t Frequency(int id) const;
    uint32_t Position(int id) const;  // whole samples played so far
    uint32_t Length(int id) const;    // samples in the buffer

    // AudioSource: mixes every playing buffer into `out`.
    void Render(float* out, int frames, int rate) override;

    // The soft clipper applied to the mixed sum: linear up to a knee, then
    // bending smoothly toward (never past) +-1.
    static float SoftClip(float x);

private:
    struct SampleData {
        std::unique_ptr<uint8_t[]> bytes;
        uint32_t size = 0;
        int users = 0;
    };
    struct Buffer {
        bool used = false;
        bool playing = false;
        bool looping = false;
        int data = -1;  // index into data_
        uint32_t frequency = kDefaultRate;
        uint32_t position = 0;  // current sample
        uint64_t fraction = 0;  // progress toward the next sample, in 1/rate_ units
    };

    bool Valid(int id) const { return id >= 0 && id < kMaxBuffers && buffers_[id].used; }
    void ChangeDeviceRate(uint32_t rate);

    Buffer buffers_[kMaxBuffers];
    SampleData data_[kMaxBuffers];
    uint32_t rate_ = 0;  // device rate the fractions are measured in
};
