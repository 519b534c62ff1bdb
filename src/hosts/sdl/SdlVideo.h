#pragma once
#include <SDL.h>

#include <cstdint>
#include <string>

#include "gfx/FrameScaler.h"
#include "gfx/PictureFit.h"
#include "hosts/sdl/SdlClock.h"
#include "platform/Host.h"
#include "platform/PaletteEntry.h"
#include "platform/Settings.h"

// The SDL host's window and picture: one window (full-screen desktop unless
// asked otherwise), the 640 x 480 frame converted through its palette and
// scaled as the options say (see gfx/PictureFit.h), shown no more often than
// the monitor refreshes, in the gaps of the game's own waits, and only when
// the picture or its palette changed.
//
// Two ways to the screen: a GPU renderer (a streaming texture the GPU
// scales), or, where the renderer would draw on the CPU anyway (SDL's
// software renderer, Mesa's llvmpipe or softpipe), the window's own surface,
// converted and scaled (nearest pixel) in one pass of our own. The second
// costs a fraction of the first there. VOIDCRAWL_PRESENT=gpu or surface
// chooses by hand.
// Why no window can be opened, in a Linux player's words, from the
// DISPLAY and WAYLAND_DISPLAY the game was started with (null or empty when
// unset).
std::string NoDisplayReason(const char* display, const char* waylandDisplay);

class SdlVideo {
public:
    // Opens as the display settings in `inForce` say (fullscreen -1: full screen).
    SdlVideo(const SdlClock& clock, const Settings& inForce);
    ~SdlVideo() { Close(); }
    SdlVideo(const SdlVideo&) = delete;
    SdlVideo& operator=(const SdlVideo&) = delete;

    bool Open(char* reason, int reasonSize);
    void Close();

    // Takes the frame to show; both buffers stay valid until the next call.
    void Present(const uint8_t* pixels, const PaletteEntry* palette);
    // The picture on show again, known unchanged: nothing to compare or draw.
    void PresentAgain(const uint8_t* pixels, const PaletteEntry* palette);
    // Waits until the clock reaches `deadline`, showing a pending picture
    // when the monitor can take it.
    void WaitUntil(uint64_t deadline);

    bool Fullscreen() const { return fullscreen_; }
    // Full screen, or a window of the size SetWindowSize chose. Full screen
    // covers the screen with or without a window manager.
    void SetFullscreen(bool on);
    void SetScale(ScaleMode mode);
    // The window's size when not full screen; 0 x 0 fits the screen.
    void SetWindowSize(WindowSize size);
    // The largest whole factor of 640 x 480 a window can have on the
    // window's screen, its frame counted (at least 1).
    int LargestWindowFactor();
    // The size the player gave the window by dragging its edges, once it
    // has held still for a moment; false until then.
    bool TakeDraggedSize(WindowSize* size);
    // A line for the player in the window's title for a few seconds (a
    // screenshot saved, a setting that could not be saved).
    void ShowNotice(const char* text);
    // A screenshot of the next frame presented.
    void AskScreenshot() { screenshotAsked_ = true; }
    void OnWindowEvent(const SDL_WindowEvent& event);
    // Window pixels to the game's 640 x 480 (not clamped).
    void ToGamePixels(int* x, int* y) const;
    bool OnSurface() const { return onSurface_; }

private:
    void Render();
    void DrawOnSurface(SDL_Surface* surface);
    bool DrawChangesOnSurface(SDL_Surface* surface);
    uint8_t* PictureCorner(SDL_Surface* surface) const;
    void DrawWithRenderer();
    bool CreateTheWindow();
    bool OpenRenderer(char* reason, int reasonSize);
    bool OpenSurface();
    bool Fail(char* reason, int reasonSize);
    // The screen's usable area less the window's frame.
    void Room(int display, int* width, int* height);
    int Display() const;
    void FitWindowToRoom(int display);
    void MatchRealSize();
    void UpdateRefreshInterval();
    void Reshow() {
        dirty_ = pendingPixels_ != nullptr && pendingPalette_ != nullptr;
        shown_ = false;
        clearBorders_ = true;
    }
    bool ApplyFit();
    bool OpenDriver(char* reason, int reasonSize);

    const SdlClock& clock_;
    bool startFullscreen_;  // how Open starts
    ScaleMode scale_;
    WindowSize chosenSize_;  // the window's size the settings choose; 0 x 0 fits the screen
    SDL_Window* window_ = nullptr;
    SDL_Renderer* renderer_ = nullptr;
    SDL_Texture* texture_ = nullptr;
    SDL_Texture* prescaled_ = nullptr;  // the sharp whole-factor step of a fitted picture
    int prescale_ = 1;
    bool open_ = false;
    bool fullscreen_ = true;
    // The window's frame, once a window manager has said it (top, left,
    // bottom, right).
    bool bordersKnown_ = false;
    int borders_[4] = {};
    WindowSize setSize_;      // the size the game last gave the window
    uint64_t setAt_ = 0;      // when; clock counts
    WindowSize draggedSize_;  // a size the player gave it
    uint64_t draggedAt_ = 0;  // when last changed; 0 none waiting
    bool screenshotAsked_ = false;
    uint64_t noticeUntil_ = 0;  // clock counts; 0: the plain title
    const uint8_t* pendingPixels_ = nullptr;
    const PaletteEntry* pendingPalette_ = nullptr;
    bool dirty_ = false;
    uint64_t lastRender_ = 0;
    uint64_t refreshCounts_ = 0;
    uint64_t renderEstimate_ = 0;  // a running average of one render's cost
    uint32_t colours_[256] = {};
    // The surface way.
    bool onSurface_ = false;
    FrameScaler scaler_;
    PictureFit fit_;
    int surfaceWidth_ = 0, surfaceHeight_ = 0;  // the window's pixels the picture was fitted to
    bool clearBorders_ = true;
    // What was last shown, to leave an unchanged picture alone.
    uint8_t shownPixels_[kScreenWidth * kScreenHeight] = {};
    PaletteEntry shownPalette_[256] = {};
    bool shown_ = false;
    bool stats_ = false;
    uint64_t renderCount_ = 0;
    uint64_t renderCounts_ = 0;
    uint64_t firstRender_ = 0;
};
