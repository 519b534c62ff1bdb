#pragma once
#include <SDL.h>

#include <cstdint>

#include "hosts/sdl/SdlClock.h"

class AudioSource;

// The SDL host's sound: the default device pulling the game's mixer, or,
// with no device to be had (no sound card, no sound server), a clock of our
// own that pulls it at the same pace and drops the sound, so that sounds
// still start, loop and end on time. Muted, no device is opened at all and
// the same clock pulls the mixer. The master volume applies on the way out;
// the mixer itself always runs.
//
// Both change while the game runs: muting keeps an open device and plays
// silence through it; unmuting without a device (muted from the start, or
// none found) opens one then, and says so when there is still none.
class SdlAudio {
public:
    SdlAudio(const SdlClock& clock, bool mute, int volume);
    ~SdlAudio() { Close(); }
    SdlAudio(const SdlAudio&) = delete;
    SdlAudio& operator=(const SdlAudio&) = delete;

    // False only when a set-up of ours fails, with the reason.
    bool Open(AudioSource* source, char* reason, int reasonSize);
    void Close();
    void Lock();
    void Unlock();

    void SetVolume(int volume);
    // False, with the reason, when unmuting finds no sound device: the game
    // plays on silent.
    bool SetMute(bool mute, char* reason, int reasonSize);

private:
    static constexpr int kMonoChunk = 1024;

    bool OpenDevice(char* reason, int reasonSize);
    bool StartSilentClock(char* reason, int reasonSize);
    void StopSilentClock();
    static int SilentClock(void* user);
    static void Callback(void* user, Uint8* stream, int length);
    void Mix(float* out, int samples);
    void SetGain();

    const SdlClock& clock_;
    bool mute_;
    int volume_;
    float gain_ = 0;  // read by the device's thread under its lock
    SDL_AudioDeviceID device_ = 0;
    AudioSource* source_ = nullptr;
    int rate_ = 44100;
    int channels_ = 2;
    float mono_[kMonoChunk] = {};
    // The silent clock, when there is no device.
    SDL_Thread* silentThread_ = nullptr;
    SDL_mutex* silentLock_ = nullptr;
    SDL_atomic_t silentRunning_{};
    uint64_t silentStart_ = 0;
    uint64_t silentPulled_ = 0;
};
