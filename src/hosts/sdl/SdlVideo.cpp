#include "hosts/sdl/SdlVideo.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "gfx/PictureFit.h"
#include "gfx/PixelConvert.h"
#include "gfx/Screenshot.h"
#include "hosts/sdl/SdlGpuProbe.h"
#include "hosts/sdl/SdlQuietStderr.h"
#include "hosts/sdl/SdlWindowIcon.h"
#include "hosts/sdl/SdlWindowSize.h"
#include "platform/Environment.h"
#include "platform/Host.h"
#include "platform/PrintableText.h"
#include "platform/UserDir.h"

namespace {

constexpr const char* kWindowTitle = "VoidCrawl - V1.0";
constexpr uint64_t kNoticeSeconds = 5;
// Room left for the window's title bar and frame until a window manager
// has said how large they are.
constexpr int kFrameAllowanceHeight = 48;
// A size the player drags is kept once it has held still this long; sizes
// within this long of the game's own change are the window manager's answer.
constexpr uint64_t kSettleMs = 500;
// How long the GPU probe may take before the game asks in its own process.
constexpr int kProbeTimeoutMs = 3000;
// Video drivers that show nothing: only taken when asked for by name.
constexpr const char* kUnseenVideoDrivers[] = {"offscreen", "dummy", "evdev"};

bool Unseen(const char* driver) {
    for (const char* unseen : kUnseenVideoDrivers) {
        if (SDL_strcasecmp(driver, unseen) == 0) return true;
    }
    return false;
}

}  // namespace

SdlVideo::SdlVideo(const SdlClock& clock, const Settings& inForce)
    : clock_(clock), startFullscreen_(inForce.fullscreen != 0), scale_(inForce.scale), chosenSize_(inForce.window) {
    refreshCounts_ = clock_.Frequency() / 60;
    renderEstimate_ = clock_.Frequency() / 200;
    stats_ = EnvironmentFlag("VOIDCRAWL_HOST_STATS");
}

bool SdlVideo::Open(char* reason, int reasonSize) {
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    // The game keeps its own pace of 100 frames a second; presenting must
    // never block on the monitor's refresh.
    SDL_SetHintWithPriority(SDL_HINT_RENDER_VSYNC, "0", SDL_HINT_OVERRIDE);
    const char* present = std::getenv("VOIDCRAWL_PRESENT");
    const bool surfaceAsked = present != nullptr && std::strcmp(present, "surface") == 0;
    const bool gpuAsked = present != nullptr && std::strcmp(present, "gpu") == 0;
    // The surface way unless a GPU renderer does the work off the CPU. The
    // question goes to a probe of its own, started first so that it runs
    // while the display is opened and the window made; drivers without a
    // screen (only ever taken by name) have no GPU to ask about.
    const char* asked = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    const bool unseen = asked != nullptr && Unseen(asked);
    const bool noGpu = !surfaceAsked && !gpuAsked && !GpuDevicePresent();
    const pid_t probe = surfaceAsked || gpuAsked || unseen || noGpu ? -1 : StartGpuProbe();
    if (!OpenDriver(reason, reasonSize)) {
        FinishGpuProbe(probe, 0);
        return false;
    }
    open_ = true;

    fullscreen_ = startFullscreen_;
    if (!CreateTheWindow()) {
        FinishGpuProbe(probe, 0);
        return Fail(reason, reasonSize);
    }
    GpuAnswer answer = surfaceAsked || unseen || noGpu ? GpuAnswer::Cpu
                       : gpuAsked                      ? GpuAnswer::Gpu
                                                       : GpuAnswer::Unknown;
    if (probe > 0) answer = FinishGpuProbe(probe, kProbeTimeoutMs);
    if (answer == GpuAnswer::Unknown) {
        // No probe: the renderer is asked here, at the price of the memory
        // its driver keeps.
        renderer_ = SDL_CreateRenderer(window_, -1, 0);
        if (renderer_ != nullptr && DrawnOnTheCpu(renderer_)) {
            SDL_DestroyRenderer(renderer_);
            renderer_ = nullptr;
            answer = GpuAnswer::Cpu;
        }
    }
    if (answer == GpuAnswer::Cpu && !OpenSurface() && surfaceAsked) return Fail(reason, reasonSize);
    if (!OnSurface() && !OpenRenderer(reason, reasonSize)) return false;

    SDL_ShowCursor(SDL_DISABLE);
    SDL_StopTextInput();
    UpdateRefreshInterval();
    if (renderer_ != nullptr) {
        SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
        SDL_RenderClear(renderer_);
        SDL_RenderPresent(renderer_);
    } else if (SDL_Surface* surface = SDL_GetWindowSurface(window_)) {
        SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
        SDL_UpdateWindowSurface(window_);
    }
    lastRender_ = clock_.Now();
    return true;
}

// Full screen, the window covers the whole screen from the start: without a
// window manager nothing else would make it larger. A window takes the size
// chosen, within the screen's usable area; on a screen where not even 1x
// fits beside the title bar the game starts full screen.
bool SdlVideo::CreateTheWindow() {
    SDL_Rect place = {static_cast<int>(SDL_WINDOWPOS_CENTERED), static_cast<int>(SDL_WINDOWPOS_CENTERED), kScreenWidth,
                      kScreenHeight};
    if (!fullscreen_) {
        int roomWidth = 0, roomHeight = 0;
        Room(0, &roomWidth, &roomHeight);
        const bool autoSize = chosenSize_.width <= 0 || chosenSize_.height <= 0;
        if (autoSize && LargestWholeFactor(roomWidth, roomHeight) == 0) fullscreen_ = true;
        const WindowSize size = ChooseWindowSize(chosenSize_, roomWidth, roomHeight);
        place.w = size.width;
        place.h = size.height;
        setSize_ = size;
    }
    if (fullscreen_) SDL_GetDisplayBounds(0, &place);
    const uint32_t flags = SDL_WINDOW_RESIZABLE | (fullscreen_ ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    window_ = SDL_CreateWindow(kWindowTitle, place.x, place.y, place.w, place.h, flags);
    if (window_ == nullptr) return false;
    SDL_SetWindowMinimumSize(window_, kMinWindowWidth, kMinWindowHeight);
    setAt_ = clock_.Now();
    SetWindowIcon(window_);
    return true;
}

bool SdlVideo::OpenRenderer(char* reason, int reasonSize) {
    if (renderer_ == nullptr) renderer_ = SDL_CreateRenderer(window_, -1, 0);
    if (renderer_ == nullptr) return Fail(reason, reasonSize);
    // The picture keeps 640 x 480 logical coordinates, centred with black
    // around it, so mouse events arrive in the game's pixels.
    if (SDL_RenderSetLogicalSize(renderer_, kScreenWidth, kScreenHeight) != 0) return Fail(reason, reasonSize);
    texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, kScreenWidth,
                                 kScreenHeight);
    if (texture_ == nullptr) return Fail(reason, reasonSize);
    if (!ApplyFit()) return Fail(reason, reasonSize);
    return true;
}

// The window's own surface, when it has 32-bit pixels.
bool SdlVideo::OpenSurface() {
    // The system's own framebuffer (shared memory on X11), never SDL's
    // stand-in that draws the surface through a renderer of its own.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_Surface* surface = SDL_GetWindowSurface(window_);
    if (surface == nullptr || surface->format->BytesPerPixel != 4) return false;
    onSurface_ = true;
    if (ApplyFit()) return true;
    onSurface_ = false;
    return false;
}

void SdlVideo::Close() {
    if (stats_ && window_ != nullptr && renderCount_ > 0) {
        std::fprintf(stderr,
                     "host: %llu renders, %.2f ms each on average, first picture at %.1f ms, "
                     "refresh interval %.2f ms\n",
                     static_cast<unsigned long long>(renderCount_),
                     clock_.CountsToMs(renderCounts_) / static_cast<double>(renderCount_),
                     clock_.CountsToMs(firstRender_ - clock_.Base()), clock_.CountsToMs(refreshCounts_));
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
    onSurface_ = false;
    texture_ = nullptr;
    renderer_ = nullptr;
    window_ = nullptr;
    if (open_) {
        SDL_ShowCursor(SDL_ENABLE);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        open_ = false;
    }
}

void SdlVideo::Present(const uint8_t* pixels, const PaletteEntry* palette) {
    PresentAgain(pixels, palette);
    // The picture on show again (a frozen game, a still screen) asks for
    // nothing, not even a wake-up to draw it.
    dirty_ = pixels != nullptr && palette != nullptr &&
             !(shown_ && std::memcmp(shownPalette_, palette, sizeof shownPalette_) == 0 &&
               std::memcmp(shownPixels_, pixels, sizeof shownPixels_) == 0);
    // More pictures than the monitor can show would only cost time: a newer
    // one replaces a pending one, and the waits show what is left.
    if (dirty_ && clock_.Now() - lastRender_ >= refreshCounts_) Render();
}

void SdlVideo::PresentAgain(const uint8_t* pixels, const PaletteEntry* palette) {
    if (screenshotAsked_ && pixels != nullptr && palette != nullptr) {
        // F12 was pressed: this is the first frame drawn since.
        screenshotAsked_ = false;
        char notice[kMaxUserPath + 256];
        TakeScreenshot(pixels, palette, notice, sizeof notice);
        ShowNotice(notice);
    }
    if (noticeUntil_ != 0 && clock_.Now() >= noticeUntil_) {
        noticeUntil_ = 0;
        if (window_ != nullptr) SDL_SetWindowTitle(window_, kWindowTitle);
    }
    pendingPixels_ = pixels;
    pendingPalette_ = palette;
}

// Shows a pending picture once the monitor can take a new one and there is
// time to draw it before the deadline (or it has waited too long), so that
// drawing does not stretch the pass.
void SdlVideo::WaitUntil(uint64_t deadline) {
    for (;;) {
        const uint64_t now = clock_.Now();
        if (now >= deadline) return;
        uint64_t wake = deadline;
        if (dirty_) {
            uint64_t due = lastRender_ + refreshCounts_;
            const bool fits = deadline - now >= renderEstimate_;
            const bool overdue = now - lastRender_ >= 3 * refreshCounts_;
            if (now >= due && (fits || overdue)) {
                Render();
                continue;
            }
            if (now >= due) due = lastRender_ + 3 * refreshCounts_;
            if (due < wake) wake = due;
        }
        clock_.SleepUntil(wake);
    }
}

// Draws the pending picture when it differs from the one on show. On the
// window's surface, with the palette unchanged, only the pixels that changed
// are converted and sent; anything else (a new palette, a resized or exposed
// window) draws the whole picture.
void SdlVideo::Render() {
    dirty_ = false;
    if (window_ == nullptr || pendingPixels_ == nullptr || pendingPalette_ == nullptr) return;
    SDL_Surface* surface = nullptr;
    if (OnSurface()) {
        // The size the window really has now, whatever events are still to come.
        surface = SDL_GetWindowSurface(window_);
        if (surface == nullptr || surface->format->BytesPerPixel != 4) return;
        if (surface->w != surfaceWidth_ || surface->h != surfaceHeight_) {
            ApplyFit();
            Reshow();
            dirty_ = false;
        }
    } else {
        int width = 0, height = 0;
        if (SDL_GetRendererOutputSize(renderer_, &width, &height) == 0 &&
            (width != surfaceWidth_ || height != surfaceHeight_)) {
            ApplyFit();
            Reshow();
            dirty_ = false;
        }
    }
    const bool samePalette = shown_ && std::memcmp(shownPalette_, pendingPalette_, sizeof shownPalette_) == 0;
    if (samePalette && !OnSurface() && std::memcmp(shownPixels_, pendingPixels_, sizeof shownPixels_) == 0) return;
    const uint64_t start = clock_.Now();
    if (samePalette && OnSurface()) {
        if (!DrawChangesOnSurface(surface)) return;
    } else {
        std::memcpy(shownPixels_, pendingPixels_, sizeof shownPixels_);
        std::memcpy(shownPalette_, pendingPalette_, sizeof shownPalette_);
        shown_ = true;
        if (OnSurface()) {
            DrawOnSurface(surface);
        } else {
            DrawWithRenderer();
        }
    }
    const uint64_t cost = clock_.Now() - start;
    // The monitor's cadence counts from the start of a render.
    lastRender_ = start;
    renderEstimate_ = renderEstimate_ - renderEstimate_ / 8 + cost / 8;
    if (renderCount_ == 0) firstRender_ = start + cost;
    ++renderCount_;
    renderCounts_ += cost;
}

void SdlVideo::DrawOnSurface(SDL_Surface* surface) {
    for (int i = 0; i < kPaletteSize; ++i) {
        const PaletteEntry& entry = shownPalette_[i];
        colours_[i] = SDL_MapRGB(surface->format, entry.red, entry.green, entry.blue);
    }
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return;
    if (clearBorders_) SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
    scaler_.Convert(shownPixels_, colours_, PictureCorner(surface), surface->pitch);
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    if (clearBorders_) {
        SDL_UpdateWindowSurface(window_);
    } else {
        const SDL_Rect picture = {fit_.left, fit_.top, fit_.width, fit_.height};
        SDL_UpdateWindowSurfaceRects(window_, &picture, 1);
    }
    clearBorders_ = false;
}

// The surface holds the picture on show through the palette on show: the
// pixels that changed are drawn and only their part of the window is sent.
// False when nothing changed.
bool SdlVideo::DrawChangesOnSurface(SDL_Surface* surface) {
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return false;
    const TargetRect changed =
        scaler_.ConvertChanges(pendingPixels_, shownPixels_, colours_, PictureCorner(surface), surface->pitch);
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    if (changed.width <= 0 || changed.height <= 0) return false;
    const SDL_Rect rect = {fit_.left + changed.left, fit_.top + changed.top, changed.width, changed.height};
    SDL_UpdateWindowSurfaceRects(window_, &rect, 1);
    return true;
}

uint8_t* SdlVideo::PictureCorner(SDL_Surface* surface) const {
    return static_cast<uint8_t*>(surface->pixels) + static_cast<ptrdiff_t>(fit_.top) * surface->pitch +
           static_cast<ptrdiff_t>(fit_.left) * 4;
}

void SdlVideo::DrawWithRenderer() {
    if (texture_ == nullptr) return;
    BuildArgbTable(shownPalette_, colours_);
    void* target = nullptr;
    int pitch = 0;
    if (SDL_LockTexture(texture_, nullptr, &target, &pitch) == 0) {
        ConvertToArgb(shownPixels_, kScreenWidth, kScreenHeight, colours_, target, pitch);
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
}

bool SdlVideo::Fail(char* reason, int reasonSize) {
    if (reason != nullptr && reasonSize > 0)
        std::snprintf(reason, static_cast<size_t>(reasonSize), "%s", SDL_GetError());
    Close();
    return false;
}

int SdlVideo::Display() const {
    const int display = window_ != nullptr ? SDL_GetWindowDisplayIndex(window_) : 0;
    return display < 0 ? 0 : display;
}

void SdlVideo::Room(int display, int* width, int* height) {
    SDL_Rect usable = {0, 0, kScreenWidth, kScreenHeight + kFrameAllowanceHeight};
    if (SDL_GetDisplayUsableBounds(display, &usable) != 0) SDL_GetDisplayBounds(display, &usable);
    // A window manager says how large its frame is once the window is shown,
    // and only outside full screen.
    int top = 0, left = 0, bottom = 0, right = 0;
    if (window_ != nullptr && !fullscreen_ && (SDL_GetWindowFlags(window_) & SDL_WINDOW_SHOWN) != 0 &&
        SDL_GetWindowBordersSize(window_, &top, &left, &bottom, &right) == 0) {
        bordersKnown_ = true;
        borders_[0] = top;
        borders_[1] = left;
        borders_[2] = bottom;
        borders_[3] = right;
    }
    if (bordersKnown_) {
        *width = usable.w - borders_[1] - borders_[3];
        *height = usable.h - borders_[0] - borders_[2];
    } else {
        *width = usable.w;
        *height = usable.h - kFrameAllowanceHeight;
    }
}

int SdlVideo::LargestWindowFactor() {
    int width = 0, height = 0;
    Room(Display(), &width, &height);
    const int factor = LargestWholeFactor(width, height);
    return factor < 1 ? 1 : factor;
}

// The window at the size chosen, centred on its screen.
void SdlVideo::FitWindowToRoom(int display) {
    int roomWidth = 0, roomHeight = 0;
    Room(display, &roomWidth, &roomHeight);
    const WindowSize size = ChooseWindowSize(chosenSize_, roomWidth, roomHeight);
    setSize_ = size;
    setAt_ = clock_.Now();
    SDL_SetWindowSize(window_, size.width, size.height);
    SDL_SetWindowPosition(window_, SDL_WINDOWPOS_CENTERED_DISPLAY(display), SDL_WINDOWPOS_CENTERED_DISPLAY(display));
    MatchRealSize();
}

// A window manager that keeps the window as it was (one that holds every
// window maximised) leaves SDL believing the size it asked for: told the
// size the window really has, SDL hands out a surface of that size and the
// picture is fitted to it, never drawn for a window that is not there.
void SdlVideo::MatchRealSize() {
    if (window_ == nullptr || fullscreen_) return;
    int realWidth = 0, realHeight = 0;
    if (!RealWindowSize(window_, &realWidth, &realHeight)) return;
    int width = 0, height = 0;
    SDL_GetWindowSize(window_, &width, &height);
    if (width == realWidth && height == realHeight) return;
    SDL_SetWindowSize(window_, realWidth, realHeight);
    ApplyFit();
    Reshow();
}

void SdlVideo::UpdateRefreshInterval() {
    SDL_DisplayMode mode;
    int hz = 60;
    if (window_ != nullptr && SDL_GetWindowDisplayMode(window_, &mode) == 0 && mode.refresh_rate > 0) {
        hz = mode.refresh_rate;
    }
    refreshCounts_ = clock_.Frequency() / static_cast<uint64_t>(hz);
}

void SdlVideo::SetFullscreen(bool on) {
    if (window_ == nullptr || on == fullscreen_) {
        fullscreen_ = window_ == nullptr ? on : fullscreen_;
        return;
    }
    const int display = Display();
    if (on) {
        int width = 0, height = 0;
        Room(display, &width, &height);  // the frame, while there is one to measure
        // Laid over the whole screen first: without a window manager the
        // full-screen state alone moves nothing.
        SDL_Rect bounds;
        if (SDL_GetDisplayBounds(display, &bounds) == 0) {
            SDL_SetWindowPosition(window_, bounds.x, bounds.y);
            SDL_SetWindowSize(window_, bounds.w, bounds.h);
        }
        SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN_DESKTOP);
        fullscreen_ = true;
        setAt_ = clock_.Now();
    } else {
        SDL_SetWindowFullscreen(window_, 0);
        fullscreen_ = false;
        FitWindowToRoom(display);
    }
    draggedAt_ = 0;
    UpdateRefreshInterval();
    Reshow();
}

void SdlVideo::SetScale(ScaleMode mode) {
    scale_ = mode;
    if (window_ == nullptr) return;
    ApplyFit();
    Reshow();
}

void SdlVideo::SetWindowSize(WindowSize size) {
    chosenSize_ = size;
    if (window_ == nullptr || fullscreen_ || (SDL_GetWindowFlags(window_) & SDL_WINDOW_MAXIMIZED) != 0) return;
    int width = 0, height = 0;
    SDL_GetWindowSize(window_, &width, &height);
    if (size.width == width && size.height == height) {
        setSize_ = size;  // the size the player dragged, now kept
        return;
    }
    FitWindowToRoom(Display());
}

bool SdlVideo::TakeDraggedSize(WindowSize* size) {
    if (draggedAt_ == 0 || clock_.Now() - draggedAt_ < clock_.MsToCounts(kSettleMs)) return false;
    draggedAt_ = 0;
    *size = draggedSize_;
    return true;
}

void SdlVideo::ShowNotice(const char* text) {
    if (window_ == nullptr || text == nullptr) return;
    char title[kMaxUserPath + 320];
    std::snprintf(title, sizeof title, "%s - %s", kWindowTitle, text);
    SDL_SetWindowTitle(window_, title);
    noticeUntil_ = clock_.Now() + clock_.Frequency() * kNoticeSeconds;
    if (noticeUntil_ == 0) noticeUntil_ = 1;
}

void SdlVideo::OnWindowEvent(const SDL_WindowEvent& event) {
    switch (event.event) {
    case SDL_WINDOWEVENT_SIZE_CHANGED: {
        MatchRealSize();
        ApplyFit();
        Reshow();
        // A window the player resized, as opposed to one the game or the
        // window manager sized (full screen, maximised, restored).
        const uint64_t now = clock_.Now();
        const bool player = !fullscreen_ && (SDL_GetWindowFlags(window_) & SDL_WINDOW_MAXIMIZED) == 0 &&
                            now - setAt_ >= clock_.MsToCounts(kSettleMs);
        const WindowSize size = {event.data1, event.data2};
        if (player && size != setSize_) {
            draggedSize_ = size;
            draggedAt_ = now;
        } else if (player) {
            draggedAt_ = 0;  // back where it was
        }
        break;
    }
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

// Chooses how the picture is scaled for the window's present size: the
// renderer places it (whole factors or the aspect-correct fit), and a fit
// larger than 2x is first drawn sharp at a whole factor.
bool SdlVideo::ApplyFit() {
    if (OnSurface()) {
        SDL_Surface* surface = SDL_GetWindowSurface(window_);
        if (surface == nullptr) return false;
        surfaceWidth_ = surface->w;
        surfaceHeight_ = surface->h;
        fit_ = FitPicture(surface->w, surface->h, scale_);
        clearBorders_ = true;
        return scaler_.Setup(kScreenWidth, kScreenHeight, fit_.width, fit_.height) || fit_.width <= 0 ||
               fit_.height <= 0;
    }
    if (renderer_ == nullptr || texture_ == nullptr) return false;
    int width = kScreenWidth;
    int height = kScreenHeight;
    if (SDL_GetRendererOutputSize(renderer_, &width, &height) != 0) return false;
    surfaceWidth_ = width;
    surfaceHeight_ = height;
    const PictureFit fit = FitPicture(width, height, scale_);
    if (SDL_RenderSetIntegerScale(renderer_, fit.whole ? SDL_TRUE : SDL_FALSE) != 0) return false;
    const int prescale = fit.whole ? 1 : fit.prescale;
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
    SDL_SetTextureScaleMode(texture_, fit.whole || prescaled_ != nullptr ? SDL_ScaleModeNearest : SDL_ScaleModeLinear);
    if (prescaled_ != nullptr) SDL_SetTextureScaleMode(prescaled_, SDL_ScaleModeLinear);
    return true;
}

// SDL_VIDEODRIVER, when set, names the driver to use. Otherwise every driver
// that shows a picture is tried in SDL's order; the ones that show nothing
// are never taken on their own.
bool SdlVideo::OpenDriver(char* reason, int reasonSize) {
    // The display libraries' own complaints (Xlib's, Wayland's) stay off
    // the terminal: the reason we give says it in the player's words.
    SdlQuietStderr quiet;
    const char* asked = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    if (asked != nullptr && asked[0] != '\0') {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
        if (reason != nullptr && reasonSize > 0)
            std::snprintf(reason, static_cast<size_t>(reasonSize), "%s", SDL_GetError());
        return false;
    }
    bool tried = false;
    const int count = SDL_GetNumVideoDrivers();
    for (int i = 0; i < count; ++i) {
        const char* name = SDL_GetVideoDriver(i);
        if (name == nullptr || Unseen(name)) continue;
        tried = true;
        SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, name, SDL_HINT_OVERRIDE);
        const bool opened = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
        SDL_ResetHint(SDL_HINT_VIDEODRIVER);
        if (opened) return true;
    }
    if (reason != nullptr && reasonSize > 0) {
        // SDL only says "x11 not available" and the like; what the player
        // can do something about is where the game looked for a display.
        const std::string why = tried ? NoDisplayReason(std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY"))
                                      : "this SDL has no display driver";
        std::snprintf(reason, static_cast<size_t>(reasonSize), "%s", why.c_str());
    }
    return false;
}

std::string NoDisplayReason(const char* display, const char* waylandDisplay) {
    const bool x11 = display != nullptr && display[0] != '\0';
    const bool wayland = waylandDisplay != nullptr && waylandDisplay[0] != '\0';
    std::string why = "no display to open the window on: ";
    if (!x11 && !wayland)
        return why + "DISPLAY and WAYLAND_DISPLAY are not set (start the game from a desktop session)";
    if (x11) {
        why += "the X server at DISPLAY=" + Printable(display) +
               " cannot be reached or refused the connection"
               " (is it running, and may this user open windows on it?)";
    }
    if (wayland) {
        why += std::string(x11 ? "; " : "") + "the Wayland compositor at WAYLAND_DISPLAY=" + Printable(waylandDisplay) +
               " cannot be reached (is it running, and is XDG_RUNTIME_DIR set?)";
    }
    return why;
}

void SdlVideo::ToGamePixels(int* x, int* y) const {
    if (!OnSurface() || fit_.width <= 0 || fit_.height <= 0) return;
    const int dx = *x - fit_.left;
    const int dy = *y - fit_.top;
    *x = dx < 0 ? -1 : dx * kScreenWidth / fit_.width;
    *y = dy < 0 ? -1 : dy * kScreenHeight / fit_.height;
}
