#pragma once
#include <cstdint>

#include "platform/Host.h"
#include "platform/PadMapper.h"

// The host of the tests and the scripted runner: no window, no sound card and
// no wall clock. Its tick counter moves by exactly 10 ms per frame-loop pass
// and by nothing else, each pass pulls 10 ms of sound from the mixer and
// throws it away (so sounds end as they would in real time), and the input
// is whatever the test sets.
class HeadlessHost final : public Host {
public:
    enum class Device { Input, Audio, Display };

    static constexpr int kAudioRate = 44100;
    static constexpr int kFramesPerPass = kAudioRate / kPassesPerSecond;  // 441
    static constexpr int kMessageSize = 256;
    // The screen has room for a window twice the picture.
    static constexpr int kLargestWindowFactor = 2;

    HeadlessHost() = default;

    // ---- Host -------------------------------------------------------------
    bool InitInput(char* reason, int reasonSize) override;
    bool InitAudio(AudioSource* source, char* reason, int reasonSize) override;
    bool InitDisplay(char* reason, int reasonSize) override;
    void ShutdownAudio() override;
    void ShutdownDisplay() override;
    void ShutdownInput() override;
    void Present(const uint8_t* pixels, const PaletteEntry* palette) override;
    void PresentAgain(const uint8_t* pixels, const PaletteEntry* palette) override {
        ++presentAgainCount_;
        Present(pixels, palette);
    }
    void PumpEvents() override;
    const uint8_t* KeyStates() override { return shownKeys_; }
    void TakeMouse(int32_t* dx, int32_t* dy, uint8_t* leftDown) override;
    uint32_t Ticks() override { return ticks_; }
    void EndPass(uint32_t passStart) override;
    void PaceFadeStep() override {}
    // One thread pulls the sound and runs the game: nothing to lock.
    void LockAudio() override {}
    void UnlockAudio() override {}
    void ShowMessage(const char* text, const char* title) override;
    bool CloseRequested() override { return false; }  // no window to close
    bool Focused() override { return focused_; }
    void SetPadContext(PadContext context) override { pads_.SetContext(context); }
    int TakePadButton() override { return pads_.TakeBindPress(); }
    void Rumble(int /*player*/, int /*strength*/, int /*milliseconds*/) override {}  // no pad to shake
    int LargestWindowFactor() override { return kLargestWindowFactor; }

    // ---- control ----------------------------------------------------------
    // The next Init of `device` fails with `reason` (once).
    void FailNext(Device device, const char* reason);
    void SetTicks(uint32_t ticks) { ticks_ = ticks; }
    // As if the window lost or regained the keyboard (it starts focused).
    void SetFocused(bool focused) { focused_ = focused; }

    // Keys by DirectInput scan code; they show at once in KeyStates().
    void SetKey(uint8_t code, bool down) {
        keys_[code] = down ? 0x80 : 0;
        shownKeys_[code] = keys_[code] | pads_.Keys()[code];
    }
    // Moves the system pointer to (x, y), clamped to the screen: the game
    // receives the relative motion from where the pointer was (it starts at
    // 320, 240, where the game's own pointer starts).
    void MoveMouseTo(int x, int y);
    void SetMouseButton(bool down) { leftDown_ = down ? 0x80 : 0; }
    int PointerX() const { return pointerX_; }
    // Gamepads, as a pad plugged into the machine would drive them.
    PadMapper& Pads() { return pads_; }
    int PointerY() const { return pointerY_; }

    // ---- observation ------------------------------------------------------
    const uint8_t* LastPixels() const { return lastPixels_; }
    const PaletteEntry* LastPalette() const { return lastPalette_; }
    int64_t PresentCount() const { return presentCount_; }
    // Of those, the pictures the game said were unchanged.
    int64_t PresentAgainCount() const { return presentAgainCount_; }
    // A running hash (64-bit FNV-1a) of every picture presented since it was
    // turned on, palette and pixels: two runs that show the same pictures
    // in the same order have the same hash.
    void HashPresents() { hashing_ = true; }
    uint64_t PresentHash() const { return presentHash_; }
    // Called with every picture presented (fade steps too), until cleared
    // with a null `watcher`.
    using PresentWatcher = void (*)(void* context, const uint8_t* pixels, const PaletteEntry* palette);
    void WatchPresents(PresentWatcher watcher, void* context) {
        watcher_ = watcher;
        watcherContext_ = context;
    }
    const char* LastMessageText() const { return messageText_; }
    const char* LastMessageTitle() const { return messageTitle_; }
    int MessageCount() const { return messageCount_; }

protected:
    // The pads follow the players' keys and buttons; the rest has nothing
    // to put in force here.
    void ApplySettings(const Settings& before, const Settings& after) override;

private:
    void ShowKeys();
    bool Fails(Device device, char* reason, int reasonSize);

    uint32_t ticks_ = 0;
    bool focused_ = true;

    bool failArmed_[3] = {};
    char failReason_[3][kMessageSize] = {};

    uint8_t keys_[256] = {};
    uint8_t shownKeys_[256] = {};  // the keyboard's and the pads' together
    PadMapper pads_;
    bool padTickDue_ = true;
    uint8_t leftDown_ = 0;
    int pointerX_ = kScreenWidth / 2;
    int pointerY_ = kScreenHeight / 2;
    int32_t motionX_ = 0;
    int32_t motionY_ = 0;

    PresentWatcher watcher_ = nullptr;
    void* watcherContext_ = nullptr;
    AudioSource* audioSource_ = nullptr;
    float audio_[kFramesPerPass] = {};

    const uint8_t* lastPixels_ = nullptr;
    const PaletteEntry* lastPalette_ = nullptr;
    int64_t presentCount_ = 0;
    int64_t presentAgainCount_ = 0;
    bool hashing_ = false;
    uint64_t presentHash_ = 14695981039346656037ull;

    char messageText_[kMessageSize] = {};
    char messageTitle_[kMessageSize] = {};
    int messageCount_ = 0;
};
