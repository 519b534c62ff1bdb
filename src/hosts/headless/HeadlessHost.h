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
    void LockAudio() override;
    void UnlockAudio() override;
    void ShowMessage(const char* text, const char* title) override;
    bool CloseRequested() override { return closeRequested_; }
    bool Focused() override { return focused_; }
    void SetPadContext(PadContext context) override { pads_.SetContext(context); }
    int TakePadButton() override { return pads_.TakeBindPress(); }
    void Rumble(int player, int strength, int milliseconds) override;
    int LargestWindowFactor() override { return largestWindowFactor_; }

    // ---- control ----------------------------------------------------------
    // The next Init of `device` fails with `reason` (once).
    void FailNext(Device device, const char* reason);
    void SetTicks(uint32_t ticks) { ticks_ = ticks; }
    void RequestClose() { closeRequested_ = true; }
    // As if the window lost or regained the keyboard (it starts focused).
    void SetFocused(bool focused) { focused_ = focused; }
    // As if the screen had room for a window `factor` times the picture.
    void SetLargestWindowFactor(int factor) { largestWindowFactor_ = factor < 1 ? 1 : factor; }

    // Keys by DirectInput scan code; they show at once in KeyStates().
    void SetKey(uint8_t code, bool down) {
        keys_[code] = down ? 0x80 : 0;
        shownKeys_[code] = keys_[code] | pads_.Keys()[code];
    }
    void ReleaseAllKeys();
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
    int64_t PassCount() const { return passCount_; }
    bool InputOpen() const { return inputOpen_; }
    bool AudioOpen() const { return audioSource_ != nullptr; }
    bool DisplayOpen() const { return displayOpen_; }
    // Sound frames pulled from the mixer so far.
    int64_t AudioFramesPulled() const { return audioFramesPulled_; }
    // The samples of the last pass.
    const float* LastAudio() const { return audio_; }
    // Current nesting of LockAudio, and the number of mistakes seen: a pass
    // that ended with the lock held, or an unlock without a lock.
    int AudioLockDepth() const { return audioLockDepth_; }
    int AudioLockMisuses() const { return audioLockMisuses_; }
    const char* LastMessageText() const { return messageText_; }
    const char* LastMessageTitle() const { return messageTitle_; }
    int MessageCount() const { return messageCount_; }
    // Shakes asked of each player's pad, and the last strength.
    int RumbleCount(int player) const { return player == 0 || player == 1 ? rumbleCount_[player] : 0; }
    int LastRumbleStrength(int player) const { return player == 0 || player == 1 ? rumbleStrength_[player] : 0; }

protected:
    // The pads follow the players' keys and buttons; the rest has nothing
    // to put in force here.
    void ApplySettings(const Settings& before, const Settings& after) override;

private:
    void ShowKeys();
    bool Fails(Device device, char* reason, int reasonSize);

    uint32_t ticks_ = 0;
    int64_t passCount_ = 0;
    bool closeRequested_ = false;
    bool focused_ = true;
    int largestWindowFactor_ = 2;

    bool failArmed_[3] = {};
    char failReason_[3][kMessageSize] = {};

    bool inputOpen_ = false;
    bool displayOpen_ = false;
    uint8_t keys_[256] = {};
    uint8_t shownKeys_[256] = {};  // the keyboard's and the pads' together
    PadMapper pads_;
    bool padTickDue_ = true;
    int rumbleCount_[2] = {};
    int rumbleStrength_[2] = {};
    uint8_t leftDown_ = 0;
    int pointerX_ = kScreenWidth / 2;
    int pointerY_ = kScreenHeight / 2;
    int32_t motionX_ = 0;
    int32_t motionY_ = 0;

    PresentWatcher watcher_ = nullptr;
    void* watcherContext_ = nullptr;
    AudioSource* audioSource_ = nullptr;
    float audio_[kFramesPerPass] = {};
    int64_t audioFramesPulled_ = 0;
    int audioLockDepth_ = 0;
    int audioLockMisuses_ = 0;

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
