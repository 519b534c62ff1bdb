#pragma once
#include <SDL.h>

#include <cstdint>

#include "gfx/PaletteEntry.h"
#include "platform/HostOptions.h"
#include "platform/SdlClock.h"

// The SDL host's window and picture: one window (full-screen desktop unless
// asked otherwise), the 640 x 480 frame converted through its palette and
// scaled as the options say (see SdlPictureFit.h), shown no more often than
// the monitor refreshes, in the gaps of the game's own waits.
class SdlVideo {
public:
    SdlVideo(const SdlClock& clock, const HostOptions& options);
    ~SdlVideo() { Close(); }
    SdlVideo(const SdlVideo&) = delete;
    SdlVideo& operator=(const SdlVideo&) = delete;

    bool Open(char* reason, int reasonSize);
    void Close();

    // Takes the frame to show; both buffers stay valid until the next call.
    void Present(const uint8_t* pixels, const PaletteEntry* palette);
    // Waits until the clock reaches `deadline`, showing a pending picture
    // when the monitor can take it.
    void WaitUntil(uint64_t deadline);

    void ToggleFullscreen();
    // A screenshot of the next frame presented.
    void AskScreenshot() { screenshotAsked_ = true; }
    void OnWindowEvent(const SDL_WindowEvent& event);

private:
    void Render();
    bool Fail(char* reason, int reasonSize);
    void WindowedSize(int display, int* width, int* height) const;
    void UpdateRefreshInterval();
    void RememberFullscreen();
    void Reshow() { dirty_ = pendingPixels_ != nullptr && pendingPalette_ != nullptr; }
    bool ApplyFit();
    bool OpenDriver(char* reason, int reasonSize);

    const SdlClock& clock_;
    HostOptions options_;
    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    SDL_Texture* prescaled_ = nullptr;  // the sharp whole-factor step of a fitted picture
    int prescale_ = 1;
    bool open_ = false;
    bool fullscreen_ = true;
    bool screenshotAsked_ = false;
    const uint8_t* pendingPixels_ = nullptr;
    const PaletteEntry* pendingPalette_ = nullptr;
    bool dirty_ = false;
    uint64_t lastRender_ = 0;
    uint64_t refreshCounts_ = 0;
    uint64_t renderEstimate_ = 0;  // a running average of one render's cost
    uint32_t colours_[256] = {};
    bool stats_ = false;
    uint64_t renderCount_ = 0;
    uint64_t renderCounts_ = 0;
    uint64_t firstRender_ = 0;
};
