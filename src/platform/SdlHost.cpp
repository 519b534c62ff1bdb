#include "platform/SdlHost.h"

#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/Host.h"
#include "platform/SdlKeymap.h"
#include "platform/SdlPictureFit.h"
#include "platform/SdlSettings.h"
#include "platform/SdlWindowIcon.h"
#include "platform/Screenshot.h"

namespace {

constexpr const char* kWindowTitle = "VoidCrawl - V1.0";
constexpr uint32_t kPassMs = 10;
constexpr uint32_t kFadeStepMs = 10;
// Sleeps end this long before a deadline; the rest is waited out on the
// performance counter, which keeps the pace exact without burning a core.
constexpr uint64_t kSpinMicros = 300;
// Room left for the window frame when sizing the window to the desktop.
constexpr int kWindowFrameAllowance = 48;
constexpr int kMonoChunk = 1024;
// Without a sound device the mixer is pulled at this rate by a clock of our
// own, so sounds still start, loop and end on time.
constexpr int kSilentRate = 44100;
constexpr uint32_t kSilentTickMs = 5;
// Video drivers that show nothing: only taken when asked for by name.
constexpr const char* kUnseenVideoDrivers[] = {"offscreen", "dummy", "evdev"};

bool EnvFlag(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

void CopyReason(char* reason, int reasonSize, const char* text) {
    if (reason == nullptr || reasonSize <= 0) return;
    std::snprintf(reason, static_cast<size_t>(reasonSize), "%s", text != nullptr ? text : "");
}

class SdlHost final : public Host {
public:
    explicit SdlHost(const HostOptions& options) : options_(options) {
        const int volume = options.volume < 0 ? 0 : (options.volume > 100 ? 100 : options.volume);
        gain_ = static_cast<float>(volume) / 100.0f;
        frequency_ = SDL_GetPerformanceFrequency();
        base_ = SDL_GetPerformanceCounter();
        refreshCounts_ = frequency_ / 60;
        renderEstimate_ = frequency_ / 200;
        stats_ = EnvFlag("VOIDCRAWL_HOST_STATS");
    }

    ~SdlHost() override {
        ShutdownAudio();
        ShutdownDisplay();
        ShutdownInput();
        SDL_Quit();
    }

    // ---- devices ----------------------------------------------------------

    bool InitInput(char* reason, int reasonSize) override {
        // Keyboard and mouse arrive as events of the window made by
        // InitDisplay; here only the event queue is started.
        if (SDL_InitSubSystem(SDL_INIT_EVENTS) != 0) {
            CopyReason(reason, reasonSize, SDL_GetError());
            return false;
        }
        inputOpen_ = true;
        ClearInput();
        return true;
    }

    // No sound device (no sound card, no sound server, a driver that cannot
    // open) is no failure: the game plays silent on its own clock. Only a
    // set-up of ours that goes wrong fails.
    bool InitAudio(AudioSource* source, char* reason, int reasonSize) override {
        if (source == nullptr) {
            CopyReason(reason, reasonSize, "no sound source to play");
            return false;
        }
        audioSource_ = source;
        char deviceReason[256] = "";
        if (OpenAudioDevice(deviceReason, sizeof deviceReason)) return true;
        std::fprintf(stderr, "voidcrawl: no sound device (%s); playing silent\n",
                     deviceReason[0] != '\0' ? deviceReason : "unknown reason");
        if (!StartSilentClock(reason, reasonSize)) {
            audioSource_ = nullptr;
            return false;
        }
        return true;
    }

    bool InitDisplay(char* reason, int reasonSize) override {
        SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
        SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
        // The game keeps its own pace of 100 frames a second; presenting
        // must never block on the monitor's refresh.
        SDL_SetHintWithPriority(SDL_HINT_RENDER_VSYNC, "0", SDL_HINT_OVERRIDE);
        if (!OpenVideo(reason, reasonSize)) return false;
        videoOpen_ = true;

        fullscreen_ = options_.fullscreen >= 0 ? options_.fullscreen == 1 : !EnvFlag("VOIDCRAWL_WINDOWED");
        int width = kScreenWidth;
        int height = kScreenHeight;
        if (!fullscreen_) WindowedSize(0, &width, &height);
        uint32_t flags = fullscreen_ ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0;
        window_ = SDL_CreateWindow(kWindowTitle, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width,
                                   height, flags);
        if (window_ == nullptr) return FailDisplay(reason, reasonSize);
        SetWindowIcon(window_);
        renderer_ = SDL_CreateRenderer(window_, -1, 0);
        if (renderer_ == nullptr) return FailDisplay(reason, reasonSize);
        // The picture keeps 640 x 480 logical coordinates, centred with
        // black around it, so mouse events arrive in the game's pixels.
        if (SDL_RenderSetLogicalSize(renderer_, kScreenWidth, kScreenHeight) != 0) {
            return FailDisplay(reason, reasonSize);
        }
        texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                     kScreenWidth, kScreenHeight);
        if (texture_ == nullptr) return FailDisplay(reason, reasonSize);
        if (!ApplyFit()) return FailDisplay(reason, reasonSize);

        SDL_ShowCursor(SDL_DISABLE);
        SDL_StopTextInput();
        UpdateRefreshInterval();
        SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
        SDL_RenderClear(renderer_);
        SDL_RenderPresent(renderer_);
        lastRender_ = Now();
        return true;
    }

    void ShutdownAudio() override {
        StopSilentClock();
        if (audioDevice_ != 0) {
            SDL_CloseAudioDevice(audioDevice_);
            audioDevice_ = 0;
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
        }
        audioSource_ = nullptr;
    }

    void ShutdownDisplay() override {
        if (stats_ && window_ != nullptr && renderCount_ > 0) {
            std::fprintf(stderr,
                         "host: %llu renders, %.2f ms each on average, first picture at %.1f ms, "
                         "refresh interval %.2f ms\n",
                         static_cast<unsigned long long>(renderCount_),
                         CountsToMs(renderCounts_) / static_cast<double>(renderCount_),
                         CountsToMs(firstRender_ - base_), CountsToMs(refreshCounts_));
        }
        pendingPixels_ = nullptr;
        pendingPalette_ = nullptr;
        dirty_ = false;
        if (prescaled_ != nullptr) SDL_DestroyTexture(prescaled_);
        if (texture_ != nullptr) SDL_DestroyTexture(texture_);
        if (renderer_ != nullptr) SDL_DestroyRenderer(renderer_);
        if (window_ != nullptr) SDL_DestroyWindow(window_);
        prescaled_ = nullptr;
        prescale_ = 1;
        texture_ = nullptr;
        renderer_ = nullptr;
        window_ = nullptr;
        if (videoOpen_) {
            SDL_ShowCursor(SDL_ENABLE);
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
            videoOpen_ = false;
        }
    }

    void ShutdownInput() override {
        ClearInput();
        if (inputOpen_) {
            SDL_QuitSubSystem(SDL_INIT_EVENTS);
            inputOpen_ = false;
        }
    }

    // ---- picture ----------------------------------------------------------

    void Present(const uint8_t* pixels, const PaletteEntry* palette) override {
        if (screenshotAsked_ && pixels != nullptr && palette != nullptr) {
            // F12 was pressed: this is the first frame drawn since.
            screenshotAsked_ = false;
            TakeScreenshot(pixels, palette);
        }
        pendingPixels_ = pixels;
        pendingPalette_ = palette;
        dirty_ = pixels != nullptr && palette != nullptr;
        // More pictures than the monitor can show would only cost time: a
        // newer one replaces a pending one, and the waits show what is left.
        if (dirty_ && Now() - lastRender_ >= refreshCounts_) Render();
    }

    // ---- input ------------------------------------------------------------

    // The game samples the keys and the button as levels, once or more per
    // pass, so a press and its release that arrive within one pass (a quick
    // tap or a scripted click) would be missed: such a release is held back
    // until the first pump of the next pass.
    void PumpEvents() override {
        if (passEnded_) {
            passEnded_ = false;
            for (int code = 0; code < 256; ++code) {
                if (releaseKey_[code]) keys_[code] = 0;
                releaseKey_[code] = false;
                pressedNow_[code] = false;
            }
            if (releaseLeft_) leftDown_ = 0;
            releaseLeft_ = false;
            leftPressedNow_ = false;
        }

        SDL_Event event;
        while (SDL_PollEvent(&event) != 0) {
            switch (event.type) {
            case SDL_QUIT:
                closeRequested_ = true;
                break;
            case SDL_KEYDOWN:
                OnKeyDown(event.key);
                break;
            case SDL_KEYUP: {
                uint8_t code = SdlScancodeToDik(event.key.keysym.scancode);
                if (code == 0) break;
                if (pressedNow_[code]) {
                    releaseKey_[code] = true;
                } else {
                    keys_[code] = 0;
                }
                break;
            }
            case SDL_MOUSEMOTION:
                TrackPointer(event.motion.x, event.motion.y);
                break;
            case SDL_MOUSEBUTTONDOWN:
            case SDL_MOUSEBUTTONUP:
                TrackPointer(event.button.x, event.button.y);
                if (event.button.button != SDL_BUTTON_LEFT) break;
                if (event.type == SDL_MOUSEBUTTONDOWN) {
                    leftDown_ = 0x80;
                    leftPressedNow_ = true;
                    releaseLeft_ = false;
                } else if (leftPressedNow_) {
                    releaseLeft_ = true;
                } else {
                    leftDown_ = 0;
                }
                break;
            case SDL_WINDOWEVENT:
                OnWindowEvent(event.window);
                break;
            default:
                break;
            }
        }
    }

    const uint8_t* KeyStates() override { return keys_; }

    void TakeMouse(int32_t* dx, int32_t* dy, uint8_t* leftDown) override {
        *dx = pointerX_ - reportedX_;
        *dy = pointerY_ - reportedY_;
        reportedX_ = pointerX_;
        reportedY_ = pointerY_;
        *leftDown = leftDown_;
    }

    // ---- time -------------------------------------------------------------

    uint32_t Ticks() override { return static_cast<uint32_t>(CountsToWholeMs(Now() - base_)); }

    void EndPass(uint32_t passStart) override {
        uint64_t now = Now();
        uint64_t nowMs = CountsToWholeMs(now - base_);
        uint32_t elapsed = static_cast<uint32_t>(nowMs) - passStart;
        passEnded_ = true;
        if (elapsed >= kPassMs) return;  // no catching up
        // The tick counter reaches passStart + 10 at this counter value.
        WaitUntil(base_ + MsToCounts(nowMs + (kPassMs - elapsed)));
    }

    void PaceFadeStep() override { WaitUntil(Now() + MsToCounts(kFadeStepMs)); }

    // ---- sound ------------------------------------------------------------

    void LockAudio() override {
        if (audioDevice_ != 0) SDL_LockAudioDevice(audioDevice_);
        if (silentLock_ != nullptr) SDL_LockMutex(silentLock_);
    }

    void UnlockAudio() override {
        if (silentLock_ != nullptr) SDL_UnlockMutex(silentLock_);
        if (audioDevice_ != 0) SDL_UnlockAudioDevice(audioDevice_);
    }

    // ---- the rest ---------------------------------------------------------

    void ShowMessage(const char* text, const char* title) override {
        if (!EnvFlag("VOIDCRAWL_NO_MESSAGEBOX") &&
            SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, text, nullptr) == 0) {
            return;
        }
        std::fprintf(stderr, "%s: %s\n", title, text);
    }

    bool CloseRequested() override { return closeRequested_; }
    bool Focused() override { return focused_; }

private:
    uint64_t Now() const { return SDL_GetPerformanceCounter(); }

    uint64_t CountsToWholeMs(uint64_t counts) const {
        return counts / frequency_ * 1000 + counts % frequency_ * 1000 / frequency_;
    }

    // Counter counts that a duration of whole milliseconds takes (rounded up).
    uint64_t MsToCounts(uint64_t ms) const {
        return ms / 1000 * frequency_ + (ms % 1000 * frequency_ + 999) / 1000;
    }

    double CountsToMs(uint64_t counts) const {
        return static_cast<double>(counts) * 1000.0 / static_cast<double>(frequency_);
    }

    // Waits until the counter reaches `deadline`, showing a pending picture
    // once the monitor can take a new one and there is time to draw it
    // before the deadline (or it has waited too long), so that drawing does
    // not stretch the pass.
    void WaitUntil(uint64_t deadline) {
        for (;;) {
            uint64_t now = Now();
            if (now >= deadline) return;
            uint64_t wake = deadline;
            if (dirty_) {
                uint64_t due = lastRender_ + refreshCounts_;
                bool fits = deadline - now >= renderEstimate_;
                bool overdue = now - lastRender_ >= 3 * refreshCounts_;
                if (now >= due && (fits || overdue)) {
                    Render();
                    continue;
                }
                if (now >= due) due = lastRender_ + 3 * refreshCounts_;
                if (due < wake) wake = due;
            }
            uint64_t micros = (wake - now) * 1000000 / frequency_;
            if (micros > kSpinMicros) {
                std::this_thread::sleep_for(std::chrono::microseconds(micros - kSpinMicros));
            }
        }
    }

    void Render() {
        dirty_ = false;
        if (texture_ == nullptr || pendingPixels_ == nullptr || pendingPalette_ == nullptr) return;
        uint64_t start = Now();
        for (int i = 0; i < kPaletteSize; ++i) {
            const PaletteEntry& entry = pendingPalette_[i];
            colours_[i] = 0xFF000000u | static_cast<uint32_t>(entry.red) << 16 |
                          static_cast<uint32_t>(entry.green) << 8 | entry.blue;
        }
        void* target = nullptr;
        int pitch = 0;
        if (SDL_LockTexture(texture_, nullptr, &target, &pitch) == 0) {
            const uint8_t* source = pendingPixels_;
            for (int y = 0; y < kScreenHeight; ++y) {
                uint32_t* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(target) + y * pitch);
                for (int x = 0; x < kScreenWidth; ++x) row[x] = colours_[source[x]];
                source += kScreenWidth;
            }
            SDL_UnlockTexture(texture_);
        }
        SDL_Texture* shown = texture_;
        if (prescaled_ != nullptr && SDL_SetRenderTarget(renderer_, prescaled_) == 0) {
            SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
            SDL_SetRenderTarget(renderer_, nullptr);
            shown = prescaled_;
        }
        SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
        SDL_RenderClear(renderer_);
        SDL_RenderCopy(renderer_, shown, nullptr, nullptr);
        SDL_RenderPresent(renderer_);
        uint64_t cost = Now() - start;
        // The monitor's cadence counts from the start of a render.
        lastRender_ = start;
        renderEstimate_ = renderEstimate_ - renderEstimate_ / 8 + cost / 8;
        if (renderCount_ == 0) firstRender_ = start + cost;
        ++renderCount_;
        renderCounts_ += cost;
    }

    bool FailDisplay(char* reason, int reasonSize) {
        CopyReason(reason, reasonSize, SDL_GetError());
        ShutdownDisplay();
        return false;
    }

    // Largest whole multiple of 640 x 480 that fits the usable desktop.
    void WindowedSize(int display, int* width, int* height) const {
        SDL_Rect usable;
        int scale = 1;
        if (SDL_GetDisplayUsableBounds(display, &usable) == 0) {
            int byWidth = usable.w / kScreenWidth;
            int byHeight = (usable.h - kWindowFrameAllowance) / kScreenHeight;
            scale = byWidth < byHeight ? byWidth : byHeight;
            if (scale < 1) scale = 1;
        }
        *width = kScreenWidth * scale;
        *height = kScreenHeight * scale;
    }

    void UpdateRefreshInterval() {
        SDL_DisplayMode mode;
        int hz = 60;
        if (window_ != nullptr && SDL_GetWindowDisplayMode(window_, &mode) == 0 && mode.refresh_rate > 0) {
            hz = mode.refresh_rate;
        }
        refreshCounts_ = frequency_ / static_cast<uint64_t>(hz);
    }

    void ToggleFullscreen() {
        if (window_ == nullptr) return;
        if (fullscreen_) {
            int display = SDL_GetWindowDisplayIndex(window_);
            if (display < 0) display = 0;
            int width = kScreenWidth;
            int height = kScreenHeight;
            WindowedSize(display, &width, &height);
            SDL_SetWindowFullscreen(window_, 0);
            SDL_SetWindowSize(window_, width, height);
            SDL_SetWindowPosition(window_, SDL_WINDOWPOS_CENTERED_DISPLAY(display),
                                  SDL_WINDOWPOS_CENTERED_DISPLAY(display));
        } else {
            SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN_DESKTOP);
        }
        fullscreen_ = !fullscreen_;
        UpdateRefreshInterval();
        Reshow();
        RememberFullscreen();
    }

    // The player's choice is kept for the next start: the file is read
    // afresh (it may have been edited meanwhile) and only this setting
    // changes.
    void RememberFullscreen() {
        if (options_.settingsPath.empty()) return;
        Settings settings;
        LoadSettings(options_.settingsPath.c_str(), &settings, nullptr);
        settings.fullscreen = fullscreen_ ? 1 : 0;
        std::string error;
        if (!SaveSettings(options_.settingsPath.c_str(), settings, &error)) {
            std::fprintf(stderr, "voidcrawl: the settings were not saved: %s\n", error.c_str());
        }
    }

    // The window's contents were lost or resized: show the picture again.
    void Reshow() { dirty_ = pendingPixels_ != nullptr && pendingPalette_ != nullptr; }

    void OnKeyDown(const SDL_KeyboardEvent& key) {
        SDL_Scancode scancode = key.keysym.scancode;
        bool altEnter = (scancode == SDL_SCANCODE_RETURN || scancode == SDL_SCANCODE_KP_ENTER) &&
                        (key.keysym.mod & KMOD_ALT) != 0;
        if (altEnter || scancode == SDL_SCANCODE_F11) {
            // The window's own shortcut; the game never sees these presses.
            if (key.repeat == 0) ToggleFullscreen();
            return;
        }
        if (scancode == SDL_SCANCODE_F12) {
            // A screenshot of the next frame shown: one per press, however
            // long the key is held.
            if (key.repeat == 0) screenshotAsked_ = true;
            return;
        }
        uint8_t code = SdlScancodeToDik(scancode);
        if (code == 0) return;
        keys_[code] = 0x80;
        pressedNow_[code] = true;
        releaseKey_[code] = false;
    }

    void OnWindowEvent(const SDL_WindowEvent& window) {
        switch (window.event) {
        case SDL_WINDOWEVENT_FOCUS_LOST:
            // Key releases that happen elsewhere never reach us.
            ClearInput();
            focused_ = false;
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            focused_ = true;
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            ApplyFit();
            Reshow();
            break;
        case SDL_WINDOWEVENT_EXPOSED:
            Reshow();
            break;
        case SDL_WINDOWEVENT_DISPLAY_CHANGED:
            UpdateRefreshInterval();
            break;
        default:
            break;
        }
    }

    // Motion arrives in 640 x 480 coordinates (the renderer's logical size);
    // outside the picture it is clamped to the screen, as the game's own
    // pointer is, so that the two stay together.
    void TrackPointer(int x, int y) {
        pointerX_ = x < 0 ? 0 : (x > kScreenWidth - 1 ? kScreenWidth - 1 : x);
        pointerY_ = y < 0 ? 0 : (y > kScreenHeight - 1 ? kScreenHeight - 1 : y);
    }

    void ClearInput() {
        std::memset(keys_, 0, sizeof keys_);
        std::memset(pressedNow_, 0, sizeof pressedNow_);
        std::memset(releaseKey_, 0, sizeof releaseKey_);
        leftDown_ = 0;
        leftPressedNow_ = false;
        releaseLeft_ = false;
    }

    // Tries the default sound device; false with the reason when there is
    // none to be had.
    bool OpenAudioDevice(char* reason, int reasonSize) {
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
        want.callback = &SdlHost::AudioCallback;
        want.userdata = this;
        // Any rate, channel count and buffer size will do (the mixer
        // resamples, mono is copied to every channel); SDL converts from float
        // when the device wants another sample format.
        SDL_AudioSpec have;
        SDL_zero(have);
        audioDevice_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have,
                                           SDL_AUDIO_ALLOW_FREQUENCY_CHANGE |
                                               SDL_AUDIO_ALLOW_CHANNELS_CHANGE |
                                               SDL_AUDIO_ALLOW_SAMPLES_CHANGE);
        if (audioDevice_ == 0) {
            CopyReason(reason, reasonSize, SDL_GetError());
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return false;
        }
        audioRate_ = have.freq;
        audioChannels_ = have.channels > 0 ? have.channels : 1;
        SDL_PauseAudioDevice(audioDevice_, 0);
        return true;
    }

    bool StartSilentClock(char* reason, int reasonSize) {
        audioRate_ = kSilentRate;
        silentPulled_ = 0;
        silentStart_ = Now();
        SDL_AtomicSet(&silentRunning_, 1);
        silentLock_ = SDL_CreateMutex();
        if (silentLock_ != nullptr) {
            silentThread_ = SDL_CreateThread(&SdlHost::SilentClock, "voidcrawl-silent-mixer", this);
        }
        if (silentThread_ == nullptr) {
            CopyReason(reason, reasonSize, SDL_GetError());
            StopSilentClock();
            return false;
        }
        return true;
    }

    void StopSilentClock() {
        SDL_AtomicSet(&silentRunning_, 0);
        if (silentThread_ != nullptr) SDL_WaitThread(silentThread_, nullptr);
        silentThread_ = nullptr;
        if (silentLock_ != nullptr) SDL_DestroyMutex(silentLock_);
        silentLock_ = nullptr;
    }

    // Pulls the mixer as a device at kSilentRate would, and drops the sound.
    static int SilentClock(void* user) {
        SdlHost* host = static_cast<SdlHost*>(user);
        while (SDL_AtomicGet(&host->silentRunning_) != 0) {
            SDL_Delay(kSilentTickMs);
            uint64_t elapsed = host->Now() - host->silentStart_;
            uint64_t due = elapsed / host->frequency_ * kSilentRate +
                           elapsed % host->frequency_ * kSilentRate / host->frequency_;
            SDL_LockMutex(host->silentLock_);
            while (host->silentPulled_ < due) {
                uint64_t left = due - host->silentPulled_;
                int chunk = left < kMonoChunk ? static_cast<int>(left) : kMonoChunk;
                host->audioSource_->Render(host->mono_, chunk, kSilentRate);
                host->silentPulled_ += static_cast<uint64_t>(chunk);
            }
            SDL_UnlockMutex(host->silentLock_);
        }
        return 0;
    }

    // Chooses how the picture is scaled for the window's present size: the
    // renderer places it (whole factors or the aspect-correct fit), and a
    // fit larger than 2x is first drawn sharp at a whole factor.
    bool ApplyFit() {
        if (renderer_ == nullptr || texture_ == nullptr) return false;
        int width = kScreenWidth;
        int height = kScreenHeight;
        if (SDL_GetRendererOutputSize(renderer_, &width, &height) != 0) return false;
        PictureFit fit = FitPicture(width, height, options_.scale);
        if (SDL_RenderSetIntegerScale(renderer_, fit.whole ? SDL_TRUE : SDL_FALSE) != 0) return false;
        int prescale = fit.whole ? 1 : fit.prescale;
        if (prescale != prescale_ || (prescale > 1) != (prescaled_ != nullptr)) {
            if (prescaled_ != nullptr) SDL_DestroyTexture(prescaled_);
            prescaled_ = nullptr;
            prescale_ = 1;
            if (prescale > 1) {
                prescaled_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET,
                                               kScreenWidth * prescale, kScreenHeight * prescale);
                // Without a render target the smooth step starts at 1x.
                if (prescaled_ != nullptr) prescale_ = prescale;
            }
        }
        SDL_SetTextureScaleMode(texture_, fit.whole || prescaled_ != nullptr ? SDL_ScaleModeNearest
                                                                           : SDL_ScaleModeLinear);
        if (prescaled_ != nullptr) SDL_SetTextureScaleMode(prescaled_, SDL_ScaleModeLinear);
        return true;
    }

    // SDL_VIDEODRIVER, when set, names the driver to use. Otherwise every
    // driver that shows a picture is tried in SDL's order; the ones that show
    // nothing are never taken on their own.
    bool OpenVideo(char* reason, int reasonSize) {
        const char* asked = SDL_GetHint(SDL_HINT_VIDEODRIVER);
        if (asked != nullptr && asked[0] != '\0') {
            if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
            CopyReason(reason, reasonSize, SDL_GetError());
            return false;
        }
        char tried[512] = "";
        size_t used = 0;
        int count = SDL_GetNumVideoDrivers();
        for (int i = 0; i < count; ++i) {
            const char* name = SDL_GetVideoDriver(i);
            if (name == nullptr || Unseen(name)) continue;
            SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, name, SDL_HINT_OVERRIDE);
            bool opened = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
            if (!opened && used < sizeof tried) {
                int n = std::snprintf(tried + used, sizeof tried - used, "%s%s: %s", used > 0 ? "; " : "", name,
                                      SDL_GetError());
                if (n > 0) used += static_cast<size_t>(n);
            }
            SDL_ResetHint(SDL_HINT_VIDEODRIVER);
            if (opened) return true;
        }
        if (reason != nullptr && reasonSize > 0) {
            std::snprintf(reason, static_cast<size_t>(reasonSize), "no usable display (%s)",
                          used > 0 ? tried : "this SDL has no display driver");
        }
        return false;
    }

    static bool Unseen(const char* driver) {
        for (const char* unseen : kUnseenVideoDrivers) {
            if (SDL_strcasecmp(driver, unseen) == 0) return true;
        }
        return false;
    }

    static void AudioCallback(void* user, Uint8* stream, int length) {
        static_cast<SdlHost*>(user)->Mix(reinterpret_cast<float*>(stream),
                                         length / static_cast<int>(sizeof(float)));
    }

    // Runs on SDL's audio thread with the device locked.
    void Mix(float* out, int samples) {
        int channels = audioChannels_;
        int frames = samples / channels;
        while (frames > 0) {
            int chunk = frames < kMonoChunk ? frames : kMonoChunk;
            if (audioSource_ != nullptr) {
                audioSource_->Render(mono_, chunk, audioRate_);
            }
            // Muted, the mixer still runs and the device plays silence.
            if (audioSource_ == nullptr || options_.mute) {
                std::memset(mono_, 0, sizeof(float) * static_cast<size_t>(chunk));
            }
            for (int i = 0; i < chunk; ++i) {
                float value = mono_[i] * gain_;
                value = value > 1.0f ? 1.0f : (value < -1.0f ? -1.0f : value);
                for (int c = 0; c < channels; ++c) *out++ = value;
            }
            frames -= chunk;
        }
    }

    // Clock.
    uint64_t frequency_ = 1;
    uint64_t base_ = 0;

    // Picture.
    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    SDL_Texture* prescaled_ = nullptr;  // the sharp whole-factor step of a fitted picture
    int prescale_ = 1;
    bool videoOpen_ = false;
    HostOptions options_;
    float gain_ = 1.0f;  // the master volume
    bool fullscreen_ = true;
    const uint8_t* pendingPixels_ = nullptr;
    const PaletteEntry* pendingPalette_ = nullptr;
    bool dirty_ = false;
    uint64_t lastRender_ = 0;
    uint64_t refreshCounts_ = 0;
    uint64_t renderEstimate_ = 0;  // a running average of one render's cost
    uint32_t colours_[kPaletteSize] = {};
    bool stats_ = false;
    uint64_t renderCount_ = 0;
    uint64_t renderCounts_ = 0;
    uint64_t firstRender_ = 0;

    // Input.
    bool inputOpen_ = false;
    bool closeRequested_ = false;
    bool focused_ = true;
    bool screenshotAsked_ = false;
    uint8_t keys_[256] = {};
    bool passEnded_ = false;
    bool pressedNow_[256] = {};  // went down during this pass
    bool releaseKey_[256] = {};  // went up again: released in the next pass
    uint8_t leftDown_ = 0;
    bool leftPressedNow_ = false;
    bool releaseLeft_ = false;
    // The game's pointer starts in the middle of the screen; so does ours.
    int pointerX_ = kScreenWidth / 2;
    int pointerY_ = kScreenHeight / 2;
    int reportedX_ = kScreenWidth / 2;
    int reportedY_ = kScreenHeight / 2;

    // Sound.
    SDL_AudioDeviceID audioDevice_ = 0;
    AudioSource* audioSource_ = nullptr;
    int audioRate_ = 44100;
    int audioChannels_ = 2;
    float mono_[kMonoChunk] = {};
    // The silent clock, when there is no device.
    SDL_Thread* silentThread_ = nullptr;
    SDL_mutex* silentLock_ = nullptr;
    SDL_atomic_t silentRunning_{};
    uint64_t silentStart_ = 0;
    uint64_t silentPulled_ = 0;
};

}  // namespace

Host* CreateSdlHost(const HostOptions& options) { return new SdlHost(options); }
