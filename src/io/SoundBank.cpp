#include "io/SoundBank.h"

#include <cstdio>
#include <utility>

#include "io/Mixer.h"
#include "io/WaveReader.h"
#include "platform/GameFile.h"
#include "platform/Host.h"
#include "platform/Resimulation.h"

bool soundFailed = false;
bool soundLoadFailed = false;

namespace {

// The process-wide sound tables. Buffers are kept as mixer id + 1, so that
// 0 (the state before any set-up) means empty.
Mixer mixer;
int slotHandle[kSoundSlots];
int copyHandle[kSoundCopies];
int copySlot[kSoundCopies];

Host* audioHost = nullptr;  // the host whose audio device is open
char failureReason[256] = "";

constexpr int kStartedLogSize = 256;
int startedLog[kStartedLogSize];
int startedCount = 0;

// Holds the host's audio lock while the mixer's state changes or is read.
class AudioLock {
public:
    AudioLock() : host_(audioHost) {
        if (host_) host_->LockAudio();
    }
    ~AudioLock() {
        if (host_) host_->UnlockAudio();
    }
    AudioLock(const AudioLock&) = delete;
    AudioLock& operator=(const AudioLock&) = delete;

private:
    Host* host_;
};

int SlotBuffer(int slot) {
    if (slot < 0 || slot >= kSoundSlots) return -1;
    return slotHandle[slot] - 1;
}

void LogStarted(int slot) {
    if (startedCount < kStartedLogSize) startedLog[startedCount++] = slot;
}

}  // namespace

bool InitSound() {
    Host* current = GetHost();
    if (audioHost && audioHost == current) return true;
    // A different host than the one opened before means that one is gone
    // (only tests swap hosts); open the device on the new one.
    audioHost = nullptr;
    failureReason[0] = '\0';
    Host* host = current;
    if (!host) {
        std::snprintf(failureReason, sizeof failureReason, "no host to open an audio device on");
        soundFailed = true;
        return false;
    }
    if (!host->InitAudio(&mixer, failureReason, sizeof failureReason)) {
        failureReason[sizeof failureReason - 1] = '\0';
        if (failureReason[0] == '\0') std::snprintf(failureReason, sizeof failureReason, "audio device failed");
        soundFailed = true;
        return false;
    }
    audioHost = host;
    return true;
}

void ShutdownSound() {
    if (!audioHost) return;
    Host* host = audioHost;
    audioHost = nullptr;
    host->ShutdownAudio();
}

const char* SoundFailureReason() { return failureReason; }

void SoundBank::Init() { ReleaseAll(); }

// The extra flags chose software mixing on the original device; every
// buffer here is mixed in software, so they change nothing.
int SoundBank::Load(const char* fileName, uint32_t extraFlags) {
    int slot = 0;
    while (slot < kSoundSlots && slotHandle[slot] != 0) ++slot;
    if (slot == kSoundSlots) {
        soundLoadFailed = true;
        return -1;
    }

    // Reading allocates the sample bytes; the mixer then owns them.
    WaveSamples wave;
    ReadError error;
    std::FILE* file = OpenGameFile(fileName, "rb", &error);
    const bool read = file != nullptr && ReadWaveStream(file, &wave, &error);
    if (file != nullptr) std::fclose(file);
    char shown[kMaxGameFileName + 1];
    ShownGameFileName(fileName, shown, sizeof shown);
    if (!read) {
        std::fprintf(stderr, "voidcrawl: cannot load sound \"%s\": %s\n", shown, error.reason);
        soundLoadFailed = true;
        return -1;
    }
    int id;
    {
        AudioLock lock;
        id = mixer.CreateBuffer(std::move(wave.bytes), wave.size);
    }
    if (id < 0) {
        std::fprintf(stderr, "voidcrawl: no room for sound \"%s\"\n", shown);
        soundFailed = true;
        soundLoadFailed = true;
        return -1;
    }
    slotHandle[slot] = id + 1;
    return slot;
}

void SoundBank::Play(int slot, SoundLoop loop) {
    const int id = SlotBuffer(slot);
    if (id < 0 || Resimulating()) return;
    AudioLock lock;
    if (mixer.Play(id, loop == SoundLoop::Loop)) LogStarted(slot);
}

bool SoundBank::PlayOverlapped(int slot) {
    const int id = SlotBuffer(slot);
    if (id < 0 || Resimulating()) return false;
    AudioLock lock;
    uint32_t status = 0;
    if (!mixer.GetStatus(id, &status)) return false;

    // Silent, or looping: the slot's own buffer takes it.
    if (status != kSoundStatusPlaying) {
        if (!mixer.Play(id, false)) return false;
        LogStarted(slot);
        return true;
    }

    // Busy: the first copy entry that is free or whose copy has finished.
    int entry = -1;
    for (int i = 0; i < kSoundCopies; ++i) {
        if (copyHandle[i] == 0) {
            entry = i;
            break;
        }
        if (!mixer.IsPlaying(copyHandle[i] - 1)) {
            mixer.ReleaseBuffer(copyHandle[i] - 1);
            copyHandle[i] = 0;
            entry = i;
            break;
        }
    }
    if (entry < 0) return false;

    const int copy = mixer.DuplicateBuffer(id);
    if (copy < 0) return false;
    copyHandle[entry] = copy + 1;
    copySlot[entry] = slot;
    mixer.Play(copy, false);
    LogStarted(slot);
    return true;
}

void SoundBank::Stop(int slot) {
    const int id = SlotBuffer(slot);
    if (id < 0) return;
    AudioLock lock;
    mixer.Stop(id);
}

void SoundBank::SetFrequency(int slot, uint32_t hz) {
    const int id = SlotBuffer(slot);
    if (id < 0) return;
    AudioLock lock;
    mixer.SetFrequency(id, hz);
}

bool SoundBank::GetStatus(int slot, uint32_t* status) const {
    const int id = SlotBuffer(slot);
    if (id < 0 || !status) return false;
    AudioLock lock;
    return mixer.GetStatus(id, status);
}

void SoundBank::ReleaseAll() {
    AudioLock lock;
    for (int i = 0; i < kSoundCopies; ++i) {
        if (copyHandle[i] != 0) mixer.ReleaseBuffer(copyHandle[i] - 1);
        copyHandle[i] = 0;
        copySlot[i] = -1;
    }
    for (int i = 0; i < kSoundSlots; ++i) {
        if (slotHandle[i] != 0) mixer.ReleaseBuffer(slotHandle[i] - 1);
        slotHandle[i] = 0;
    }
}

void SoundBank::ClearStartedLog() { startedCount = 0; }

int SoundBank::StartedLog(const int** slots) {
    if (slots) *slots = startedLog;
    return startedCount;
}

bool SoundBank::IsSounding(int slot) {
    const int id = SlotBuffer(slot);
    if (id < 0) return false;
    AudioLock lock;
    if (mixer.IsPlaying(id)) return true;
    for (int i = 0; i < kSoundCopies; ++i) {
        if (copyHandle[i] != 0 && copySlot[i] == slot && mixer.IsPlaying(copyHandle[i] - 1)) return true;
    }
    return false;
}
