#include "hosts/sdl/SdlAudio.h"

#include <cstdio>
#include <cstring>

#include "hosts/sdl/SdlQuietStderr.h"
#include "platform/Host.h"

namespace {

// Without a sound device the mixer is pulled at this rate by a clock of our
// own, so sounds still start, loop and end on time.
constexpr int kSilentRate = 44100;
constexpr uint32_t kSilentTickMs = 5;

void CopyReason(char* reason, int reasonSize, const char* text) {
    if (reason == nullptr || reasonSize <= 0) return;
    std::snprintf(reason, static_cast<size_t>(reasonSize), "%s", text != nullptr ? text : "");
}

}  // namespace

SdlAudio::SdlAudio(const SdlClock& clock, bool mute, int volume) : clock_(clock), mute_(mute), volume_(volume) {
    SetGain();
}

void SdlAudio::SetGain() {
    const int clamped = volume_ < 0 ? 0 : (volume_ > 100 ? 100 : volume_);
    const float gain = mute_ ? 0.0f : static_cast<float>(clamped) / 100.0f;
    if (device_ != 0) SDL_LockAudioDevice(device_);
    gain_ = gain;
    if (device_ != 0) SDL_UnlockAudioDevice(device_);
}

void SdlAudio::SetVolume(int volume) {
    volume_ = volume;
    SetGain();
}

bool SdlAudio::SetMute(bool mute, char* reason, int reasonSize) {
    mute_ = mute;
    SetGain();
    if (mute || device_ != 0 || source_ == nullptr) return true;
    // No device yet: the silent clock gives way to one, or carries on.
    StopSilentClock();
    char deviceReason[256] = "";
    bool opened = false;
    {
        SdlQuietStderr quiet;
        opened = OpenDevice(deviceReason, sizeof deviceReason);
    }
    if (opened) return true;
    CopyReason(reason, reasonSize, deviceReason[0] != '\0' ? deviceReason : "unknown reason");
    char ignored[256];
    StartSilentClock(ignored, sizeof ignored);
    return false;
}

// No sound device is no failure: the game plays silent on its own clock.
// Muted, it never opens one.
bool SdlAudio::Open(AudioSource* source, char* reason, int reasonSize) {
    if (source == nullptr) {
        CopyReason(reason, reasonSize, "no sound source to play");
        return false;
    }
    source_ = source;
    if (!mute_) {
        char deviceReason[256] = "";
        bool opened = false;
        {
            // The sound libraries' own lines stay off the terminal; ours says it.
            SdlQuietStderr quiet;
            opened = OpenDevice(deviceReason, sizeof deviceReason);
        }
        if (opened) return true;
        std::fprintf(stderr, "voidcrawl: no sound device (%s); playing silent\n",
                     deviceReason[0] != '\0' ? deviceReason : "unknown reason");
    }
    if (!StartSilentClock(reason, reasonSize)) {
        source_ = nullptr;
        return false;
    }
    return true;
}

void SdlAudio::Close() {
    StopSilentClock();
    if (device_ != 0) {
        SDL_CloseAudioDevice(device_);
        device_ = 0;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    source_ = nullptr;
}

void SdlAudio::Lock() {
    if (device_ != 0) SDL_LockAudioDevice(device_);
    if (silentLock_ != nullptr) SDL_LockMutex(silentLock_);
}

void SdlAudio::Unlock() {
    if (silentLock_ != nullptr) SDL_UnlockMutex(silentLock_);
    if (device_ != 0) SDL_UnlockAudioDevice(device_);
}

// Tries the default sound device; false with the reason when there is none
// to be had.
bool SdlAudio::OpenDevice(char* reason, int reasonSize) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        CopyReason(reason, reasonSize, SDL_GetError());
        return false;
    }
    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = 44100;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = 512;
    want.callback = &SdlAudio::Callback;
    want.userdata = this;
    // Any rate, channel count and buffer size will do (the mixer resamples,
    // mono is copied to every channel); SDL converts from float when the
    // device wants another sample format.
    SDL_AudioSpec have;
    SDL_zero(have);
    device_ = SDL_OpenAudioDevice(
        nullptr, 0, &want, &have,
        SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE | SDL_AUDIO_ALLOW_SAMPLES_CHANGE);
    if (device_ == 0) {
        CopyReason(reason, reasonSize, SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    rate_ = have.freq;
    channels_ = have.channels > 0 ? have.channels : 1;
    SDL_PauseAudioDevice(device_, 0);
    return true;
}

bool SdlAudio::StartSilentClock(char* reason, int reasonSize) {
    rate_ = kSilentRate;
    silentPulled_ = 0;
    silentStart_ = clock_.Now();
    SDL_AtomicSet(&silentRunning_, 1);
    silentLock_ = SDL_CreateMutex();
    if (silentLock_ != nullptr) {
        silentThread_ = SDL_CreateThread(&SdlAudio::SilentClock, "voidcrawl-silent-mixer", this);
    }
    if (silentThread_ == nullptr) {
        CopyReason(reason, reasonSize, SDL_GetError());
        StopSilentClock();
        return false;
    }
    return true;
}

void SdlAudio::StopSilentClock() {
    SDL_AtomicSet(&silentRunning_, 0);
    if (silentThread_ != nullptr) SDL_WaitThread(silentThread_, nullptr);
    silentThread_ = nullptr;
    if (silentLock_ != nullptr) SDL_DestroyMutex(silentLock_);
    silentLock_ = nullptr;
}

// Pulls the mixer as a device at kSilentRate would, and drops the sound.
int SdlAudio::SilentClock(void* user) {
    SdlAudio* audio = static_cast<SdlAudio*>(user);
    const uint64_t frequency = audio->clock_.Frequency();
    while (SDL_AtomicGet(&audio->silentRunning_) != 0) {
        SDL_Delay(kSilentTickMs);
        const uint64_t elapsed = audio->clock_.Now() - audio->silentStart_;
        const uint64_t due = elapsed / frequency * kSilentRate + elapsed % frequency * kSilentRate / frequency;
        SDL_LockMutex(audio->silentLock_);
        while (audio->silentPulled_ < due) {
            const uint64_t left = due - audio->silentPulled_;
            const int chunk = left < kMonoChunk ? static_cast<int>(left) : kMonoChunk;
            audio->source_->Render(audio->mono_, chunk, kSilentRate);
            audio->silentPulled_ += static_cast<uint64_t>(chunk);
        }
        SDL_UnlockMutex(audio->silentLock_);
    }
    return 0;
}

void SdlAudio::Callback(void* user, Uint8* stream, int length) {
    static_cast<SdlAudio*>(user)->Mix(reinterpret_cast<float*>(stream), length / static_cast<int>(sizeof(float)));
}

// Runs on SDL's audio thread with the device locked.
void SdlAudio::Mix(float* out, int samples) {
    const int channels = channels_;
    int frames = samples / channels;
    while (frames > 0) {
        const int chunk = frames < kMonoChunk ? frames : kMonoChunk;
        if (source_ != nullptr) source_->Render(mono_, chunk, rate_);
        if (source_ == nullptr) std::memset(mono_, 0, sizeof(float) * static_cast<size_t>(chunk));
        for (int i = 0; i < chunk; ++i) {
            float value = mono_[i] * gain_;
            value = value > 1.0f ? 1.0f : (value < -1.0f ? -1.0f : value);
            for (int c = 0; c < channels; ++c) *out++ = value;
        }
        frames -= chunk;
    }
}
