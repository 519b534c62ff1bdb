#include "hosts/sdl/SdlHost.h"

#include <SDL.h>

#include <cstdio>
#include <string>

#include "hosts/sdl/SdlAudio.h"
#include "hosts/sdl/SdlClock.h"
#include "hosts/sdl/SdlKeymap.h"
#include "hosts/sdl/SdlPads.h"
#include "hosts/sdl/SdlQuietStderr.h"
#include "hosts/sdl/SdlVideo.h"
#include "platform/Environment.h"
#include "platform/Host.h"
#include "platform/PassInput.h"
#include "platform/Settings.h"
#include "platform/UserDir.h"

namespace {

constexpr uint32_t kFadeStepMs = 10;

// For VOIDCRAWL_HOST_STATS: how many passes ran and how long each took, from
// the end of one to the end of the next, in steps of 10 µs.
class PassStats {
public:
    void Count(const SdlClock& clock) {
        const uint64_t now = clock.Now();
        if (count_ > 0) {
            const uint64_t step = (now - last_) * 100000 / clock.Frequency();
            ++histogram_[step < kBuckets ? step : kBuckets - 1];
        } else {
            first_ = now;
        }
        last_ = now;
        ++count_;
    }
    void Print(const SdlClock& clock) const {
        if (count_ < 2) return;
        uint64_t seen = 0;
        int median = 0;
        while (median < kBuckets && (seen += histogram_[median]) * 2 < count_ - 1) ++median;
        std::fprintf(stderr, "host: %llu passes, %.2f a second, median pass %.2f ms\n",
                     static_cast<unsigned long long>(count_),
                     static_cast<double>(count_ - 1) * 1000.0 / clock.CountsToMs(last_ - first_), median / 100.0);
    }

private:
    static constexpr int kBuckets = 5000;  // 50 ms and more share the last
    uint32_t histogram_[kBuckets] = {};
    uint64_t count_ = 0, first_ = 0, last_ = 0;
};

// The real game's host: it hands each event to the part whose job it is
// (the window, the keys and pointer, the sound) and paces the passes.
class SdlHost final : public Host {
public:
    SdlHost(const Settings& inForce, const std::string& settingsPath)
        : video_(clock_, inForce),
          audio_(clock_, inForce.mute, inForce.volume),
          pads_(inForce.keys, inForce.pad, inForce.rumble),
          padMappingPath_(BesideSettings(settingsPath, kPadMappingFileName)),
          stats_(EnvironmentFlag("VOIDCRAWL_HOST_STATS")) {
        KeepSettings(inForce, settingsPath);
    }

    ~SdlHost() override {
        ShutdownAudio();
        ShutdownDisplay();
        ShutdownInput();
        SDL_Quit();
    }

    // ---- devices ----------------------------------------------------------

    bool InitInput(char* reason, int reasonSize) override {
        // Keyboard and mouse arrive as events of the game's window; here
        // only the event queue is started.
        if (SDL_InitSubSystem(SDL_INIT_EVENTS) != 0) {
            if (reason != nullptr && reasonSize > 0)
                std::snprintf(reason, static_cast<size_t>(reasonSize), "%s", SDL_GetError());
            return false;
        }
        eventsOpen_ = true;
        input_.Clear();
        pads_.Open(padMappingPath_.c_str());
        return true;
    }
    bool InitAudio(AudioSource* source, char* reason, int reasonSize) override {
        return audio_.Open(source, reason, reasonSize);
    }
    bool InitDisplay(char* reason, int reasonSize) override {
        if (!video_.Open(reason, reasonSize)) return false;
        // A screen too small for a window starts full screen; that is in
        // force, though the file keeps the player's choice.
        if (video_.Fullscreen() && settings_.fullscreen == 0) settings_.fullscreen = 1;
        return true;
    }
    void ShutdownAudio() override { audio_.Close(); }
    void ShutdownDisplay() override {
        if (stats_) passStats_.Print(clock_);
        stats_ = false;  // once, however often the display is shut
        video_.Close();
    }
    void ShutdownInput() override {
        pads_.Close();
        input_.Clear();
        if (eventsOpen_) SDL_QuitSubSystem(SDL_INIT_EVENTS);
        eventsOpen_ = false;
    }

    // ---- picture ----------------------------------------------------------

    void Present(const uint8_t* pixels, const PaletteEntry* palette) override { video_.Present(pixels, palette); }
    void PresentAgain(const uint8_t* pixels, const PaletteEntry* palette) override {
        video_.PresentAgain(pixels, palette);
    }

    // ---- input ------------------------------------------------------------

    void PumpEvents() override {
        const bool newPass = input_.PassEnded();
        if (newPass) input_.BeginPass();
        SDL_Event event;
        while (SDL_PollEvent(&event) != 0) {
            if (pads_.OnEvent(event)) continue;
            switch (event.type) {
            case SDL_QUIT:
                closeRequested_ = true;
                break;
            case SDL_KEYDOWN:
                OnKeyDown(event.key);
                break;
            case SDL_KEYUP:
                input_.KeyUp(SdlScancodeToDik(event.key.keysym.scancode));
                break;
            case SDL_MOUSEMOTION:
                PointerAt(event.motion.x, event.motion.y);
                break;
            case SDL_MOUSEBUTTONDOWN:
            case SDL_MOUSEBUTTONUP:
                PointerAt(event.button.x, event.button.y);
                if (event.button.button == SDL_BUTTON_LEFT) input_.LeftButton(event.type == SDL_MOUSEBUTTONDOWN);
                break;
            case SDL_WINDOWEVENT:
                if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
                    input_.Clear();  // key releases that happen elsewhere never reach us
                    focused_ = false;
                } else if (event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) {
                    focused_ = true;
                }
                video_.OnWindowEvent(event.window);
                break;
            default:
                break;
            }
        }
        if (newPass || !padsRead_) {
            // The pads are read once a pass, after their events.
            padsRead_ = true;
            PadMapper& mapper = pads_.Mapper();
            mapper.Tick();
            int dx = 0, dy = 0;
            mapper.TakePointer(&dx, &dy);
            if (dx != 0 || dy != 0) input_.MovePointer(dx, dy);
            input_.PadButton(mapper.LeftDown());
        }
        WindowSize dragged;
        if (video_.TakeDraggedSize(&dragged) && dragged != settings_.window) {
            Settings next = settings_;
            next.window = dragged;
            Change(next);
        }
        // The keyboard's keys and the pads' together.
        const uint8_t* keys = input_.KeyStates();
        const uint8_t* pad = pads_.Mapper().Keys();
        for (int i = 0; i < 256; ++i) shownKeys_[i] = keys[i] | pad[i];
    }

    const uint8_t* KeyStates() override { return shownKeys_; }
    void TakeMouse(int32_t* dx, int32_t* dy, uint8_t* leftDown) override { input_.TakeMouse(dx, dy, leftDown); }

    // ---- time -------------------------------------------------------------

    uint32_t Ticks() override { return static_cast<uint32_t>(clock_.CountsToWholeMs(clock_.Now() - clock_.Base())); }

    void EndPass(uint32_t passStart) override {
        const uint64_t now = clock_.Now();
        const uint64_t nowMs = clock_.CountsToWholeMs(now - clock_.Base());
        const uint32_t elapsed = static_cast<uint32_t>(nowMs) - passStart;
        input_.EndPass();
        // The tick counter reaches passStart + 10 at this counter value;
        // a pass that took longer is not caught up.
        if (elapsed < kPassMs) video_.WaitUntil(clock_.Base() + clock_.MsToCounts(nowMs + (kPassMs - elapsed)));
        if (stats_) passStats_.Count(clock_);
    }

    void PaceFadeStep() override { video_.WaitUntil(clock_.Now() + clock_.MsToCounts(kFadeStepMs)); }

    // ---- sound ------------------------------------------------------------

    void LockAudio() override { audio_.Lock(); }
    void UnlockAudio() override { audio_.Unlock(); }

    // ---- the rest ---------------------------------------------------------

    void ShowMessage(const char* text, const char* title) override {
        bool shown = false;
        if (!EnvironmentFlag("VOIDCRAWL_NO_MESSAGEBOX")) {
            SdlQuietStderr quiet;  // a display that refuses the box has its say in Xlib's words
            shown = SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, text, nullptr) == 0;
        }
        if (!shown) std::fprintf(stderr, "%s: %s\n", title, text);
    }

    bool CloseRequested() override { return closeRequested_; }
    bool Focused() override { return focused_; }
    void SetPadContext(PadContext context) override { pads_.Mapper().SetContext(context); }
    void Rumble(int player, int strength, int milliseconds) override { pads_.Rumble(player, strength, milliseconds); }
    int TakePadButton() override { return pads_.Mapper().TakeBindPress(); }
    int LargestWindowFactor() override { return video_.LargestWindowFactor(); }

protected:
    void ApplySettings(const Settings& before, const Settings& after) override {
        if (after.window != before.window) video_.SetWindowSize(after.window);
        if ((after.fullscreen != 0) != video_.Fullscreen()) video_.SetFullscreen(after.fullscreen != 0);
        if (after.scale != before.scale) video_.SetScale(after.scale);
        if (after.volume != before.volume) audio_.SetVolume(after.volume);
        char reason[256] = "";
        if (after.mute != before.mute && !audio_.SetMute(after.mute, reason, sizeof reason)) {
            std::fprintf(stderr, "voidcrawl: no sound device (%s); playing silent\n", reason);
            video_.ShowNotice("No sound device: playing silent");
        }
        PadMapper& mapper = pads_.Mapper();
        mapper.SetPlayKeys(after.keys);
        mapper.SetBindings(after.pad);
        pads_.SetRumble(after.rumble);
    }

private:
    // A change of the host's own (the full-screen switch, a dragged window):
    // in force at once; a file that cannot be written is said on stderr and
    // in the window's title.
    void Change(const Settings& next) {
        char reason[kMaxUserPath + 256] = "";
        if (ChangeSettings(next, reason, sizeof reason)) return;
        std::fprintf(stderr, "voidcrawl: the settings were not saved: %s\n", reason);
        char notice[kMaxUserPath + 300];
        std::snprintf(notice, sizeof notice, "Settings NOT saved: %s", reason);
        video_.ShowNotice(notice);
    }

    void PointerAt(int x, int y) {
        video_.ToGamePixels(&x, &y);
        input_.PointerAt(x, y);
    }

    void OnKeyDown(const SDL_KeyboardEvent& key) {
        const SDL_Scancode scancode = key.keysym.scancode;
        const bool altEnter =
            (scancode == SDL_SCANCODE_RETURN || scancode == SDL_SCANCODE_KP_ENTER) && (key.keysym.mod & KMOD_ALT) != 0;
        if (altEnter || scancode == SDL_SCANCODE_F11) {
            // The window's own shortcut; the game never sees these presses.
            if (key.repeat == 0) {
                Settings next = settings_;
                next.fullscreen = video_.Fullscreen() ? 0 : 1;
                Change(next);
            }
            return;
        }
        if (scancode == SDL_SCANCODE_F12) {
            // A screenshot of the next frame shown: one per press, however
            // long the key is held.
            if (key.repeat == 0) video_.AskScreenshot();
            return;
        }
        input_.KeyDown(SdlScancodeToDik(scancode));
    }

    SdlClock clock_;
    SdlVideo video_;
    PassInput input_;
    bool eventsOpen_ = false;
    SdlAudio audio_;
    SdlPads pads_;
    std::string padMappingPath_;
    bool padsRead_ = false;
    uint8_t shownKeys_[256] = {};
    bool closeRequested_ = false;
    bool focused_ = true;
    bool stats_;
    PassStats passStats_;
};

}  // namespace

Host* CreateSdlHost(const Settings& inForce, const std::string& settingsPath) {
    return new SdlHost(inForce, settingsPath);
}
