#pragma once
#include <cstdint>
#include <string>

#include "platform/PadContext.h"
#include "platform/PaletteEntry.h"
#include "platform/Settings.h"
#include "platform/WorldLink.h"

// The game's only window onto the machine. The game core talks to the host
// through this interface and never sees SDL; the SDL host drives a real
// window, the headless host drives tests and the scripted runner.

constexpr int kScreenWidth = 640;
constexpr int kScreenHeight = 480;

// One frame-loop pass in milliseconds of the tick counter, and the passes a
// second that play counts in.
constexpr uint32_t kPassMs = 10;
constexpr int32_t kPassesPerSecond = static_cast<int32_t>(1000 / kPassMs);

// Pulled by the host's audio side: fill `frames` mono samples in -1..1 at
// `rate` samples per second. Called under the host's audio lock.
class AudioSource {
public:
    virtual ~AudioSource() = default;
    virtual void Render(float* out, int frames, int rate) = 0;
};

class Host {
public:
    virtual ~Host() = default;

    // Device set-up, each with the underlying reason on failure.
    virtual bool InitInput(char* reason, int reasonSize) = 0;
    virtual bool InitAudio(AudioSource* source, char* reason, int reasonSize) = 0;
    virtual bool InitDisplay(char* reason, int reasonSize) = 0;
    virtual void ShutdownAudio() = 0;
    virtual void ShutdownDisplay() = 0;
    virtual void ShutdownInput() = 0;

    // Show a 640 x 480 frame of palette indices (rows packed) through the
    // 256-entry palette. Both buffers stay valid until the next call, so a
    // host may defer the actual conversion to its next refresh.
    virtual void Present(const uint8_t* pixels, const PaletteEntry* palette) = 0;
    // The same picture as the last Present, the game knows it unchanged (a
    // frozen game): a host may skip comparing and drawing it.
    virtual void PresentAgain(const uint8_t* pixels, const PaletteEntry* palette) { Present(pixels, palette); }

    // Drain the platform's event queue into the key and mouse state.
    virtual void PumpEvents() = 0;
    // 256 bytes indexed by DirectInput scan code, 0x80 while down.
    virtual const uint8_t* KeyStates() = 0;
    // Relative pointer motion since the last call, and the left button.
    virtual void TakeMouse(int32_t* dx, int32_t* dy, uint8_t* leftDown) = 0;

    // Millisecond tick counter (wraps at 2^32).
    virtual uint32_t Ticks() = 0;
    // End of one frame-loop pass that began at passStart: wait until at
    // least kPassMs have passed (the headless host just advances its clock).
    virtual void EndPass(uint32_t passStart) = 0;
    // Pace one palette-fade step (about 10 ms on a real display).
    virtual void PaceFadeStep() = 0;

    virtual void LockAudio() = 0;
    virtual void UnlockAudio() = 0;

    virtual void ShowMessage(const char* text, const char* title) = 0;
    // The user asked the window to close.
    virtual bool CloseRequested() = 0;
    // The window has the keyboard; play stands still while it has not.
    virtual bool Focused() { return true; }

    // Gamepads: where the game is now (set every pass), and a shake of
    // player `player`'s pad (strength 0..100) where it has a motor.
    virtual void SetPadContext(PadContext) {}
    virtual void Rumble(int /*player*/, int /*strength*/, int /*milliseconds*/) {}
    // In the Binding context: the pad button pressed since the last call
    // (a PadButton), or -1.
    virtual int TakePadButton() { return -1; }

    // The player's settings as they are in force now: the settings file's,
    // with the command line's choices over them.
    virtual const Settings& CurrentSettings() { return settings_; }
    // Puts `next` in force at once (the window, the sound, the pads) and
    // keeps in the settings file each setting that changed, and only those.
    // False, with the reason, when the file could not be written; the change
    // holds for this run all the same.
    bool ChangeSettings(const Settings& next, char* reason, int reasonSize);
    // The largest whole factor of 640 x 480 a window can have on this
    // screen's usable area (at least 1).
    virtual int LargestWindowFactor() { return 1; }

    // The link to the world table's server, or nullptr where this host has
    // none (the game then offers no WORLD tab and sends nothing).
    virtual WorldLink* World() { return world_; }
    // For the entry point: the link of this run (not owned), told the
    // settings' [world] server and send switch now and at every change.
    void UseWorld(WorldLink* world);

    // For the entry point: the settings in force at the start, and the file
    // that keeps them ("": changes are not kept).
    void KeepSettings(const Settings& inForce, const std::string& path);

protected:
    // What ChangeSettings asks of the host before the file is written: put
    // in force whatever differs between `before` and `after`.
    virtual void ApplySettings(const Settings& /*before*/, const Settings& /*after*/) {}

    Settings settings_;
    std::string settingsPath_;
    WorldLink* world_ = nullptr;
};

// The one host of this run, set by the entry point before Game::Init.
Host* GetHost();
void SetHost(Host* host);
