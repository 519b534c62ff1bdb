#pragma once
#include <cstdint>

// Sound effects by slot number over the game's own mixer. Every buffer is
// 8-bit unsigned mono at 22,050 samples per second unless its rate is set.

constexpr int kSoundSlots = 50;
constexpr int kSoundCopies = 50;

// Buffer status bits, as the game tests them: a looping buffer reports
// playing | looping and so never counts as exactly playing.
constexpr uint32_t kSoundStatusPlaying = 1;
constexpr uint32_t kSoundStatusLooping = 4;

extern bool soundFailed;
extern bool soundLoadFailed;

// InitSound opens the host's audio device with the game's mixer as its
// source; on failure it sets soundFailed and keeps the host's reason.
bool InitSound();
void ShutdownSound();
// Why the last InitSound failed ("" when it did not).
const char* SoundFailureReason();

// Whether Play sounds a slot once or loops it until it is stopped.
enum class SoundLoop { Once, Loop };

class SoundBank {
public:
    void Init();
    // Reads a RIFF WAVE file into the first free slot; -1 when it fails.
    // A file that cannot be read is told on stderr (the reader's reason),
    // sets soundLoadFailed and leaves the slot empty; a buffer that cannot be made sets soundFailed and, so that no
    // later sound slides into the wrong slot number unnoticed, also
    // soundLoadFailed.
    int Load(const char* fileName, uint32_t extraFlags);
    void Play(int slot, SoundLoop loop);
    bool PlayOverlapped(int slot);
    void Stop(int slot);
    void SetFrequency(int slot, uint32_t hz);
    // Status of a slot's own buffer; false when the slot is empty.
    bool GetStatus(int slot, uint32_t* status) const;
    void ReleaseAll();

    // For the runner and tests: slots whose play started since the log was
    // last cleared, in order, and whether a slot is sounding now.
    static void ClearStartedLog();
    static int StartedLog(const int** slots);
    static bool IsSounding(int slot);
};
