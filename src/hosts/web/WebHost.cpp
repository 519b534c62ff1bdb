#include "hosts/web/WebHost.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <cstdio>
#include <cstring>

#include "gfx/ChangedTiles.h"
#include "gfx/FrameScaler.h"
#include "hosts/web/WebKeymap.h"
#include "hosts/web/WebPads.h"
#include "platform/Host.h"
#include "platform/PassInput.h"

namespace {

constexpr double kFadeStepMs = 10.0;
// Input that arrives while a pass waits inside itself (a fade) is kept for
// the next pass, up to this many events; the rest go straight in.
constexpr int kMostDeferred = 64;
// The most sound one request of the page's audio node may ask for.
constexpr int kMostAudioFrames = 8192;
// Without Web Audio the mixer is pulled at this rate by the host's clock.
constexpr int kSilentRate = 44100;
// Unthrottled, the browser gets control once this much time has gone by.
constexpr double kUnthrottledSliceMs = 16.0;

// ---- the page's side -----------------------------------------------------
// The page puts its canvas in Module.canvas and its helpers in Module.vcPage
// (web/voidcrawl-page.js).

// The bodies of EM_JS are JavaScript, which the C++ formatter would break.
// clang-format off
// Gives the browser control until `deadline` (performance.now() time): the
// game's pass or fade step ends there. Short waits are a message to
// ourselves, which browsers do not hold back as they do nested timers.
EM_ASYNC_JS(void, WebWaitUntil, (double deadline), {
    const wait = deadline - performance.now();
    await new Promise(resolve => {
        if (wait >= 1) {
            setTimeout(resolve, wait);
        } else {
            const channel = new MessageChannel();
            channel.port1.onmessage = () => resolve();
            channel.port2.postMessage(0);
        }
    });
});

// The pointer's page position in the picture's `width` x `height` pixels,
// whatever size the page shows the canvas at.
EM_JS(void, WebPointerToGame, (double clientX, double clientY, int width, int height, int* out), {
    const box = Module.canvas.getBoundingClientRect();
    const x = box.width > 0 ? (clientX - box.left) * width / box.width : 0;
    const y = box.height > 0 ? (clientY - box.top) * height / box.height : 0;
    HEAP32[out >> 2] = Math.floor(x);
    HEAP32[(out >> 2) + 1] = Math.floor(y);
});

// The page reads the rectangles as four 32-bit numbers each.
static_assert(sizeof(TargetRect) == 4 * sizeof(int32_t), "a rectangle is left, top, width, height");

// Puts `count` parts (`rects`: left, top, width, height each) of `width` x
// `height` RGBA pixels on the canvas, through the page when it enlarges them
// itself: only those parts are uploaded and drawn. The ImageData is a view
// of the module's memory, made again only when that memory moves.
EM_JS(void, WebPutFrame, (const void* rgba, int width, int height, const int* rects, int count), {
    const frame = Module.vcFrame || (Module.vcFrame = {});
    if (!frame.context) frame.context = Module.canvas.getContext('2d', {alpha: false});
    if (!frame.image || frame.memory !== HEAPU8.buffer || frame.pixels !== rgba) {
        frame.image = new ImageData(new Uint8ClampedArray(HEAPU8.buffer, rgba, width * height * 4), width, height);
        frame.memory = HEAPU8.buffer;
        frame.pixels = rgba;
    }
    const parts = [];
    for (let i = 0; i < count; i++) parts.push(Array.from(HEAP32.subarray((rects >> 2) + 4 * i, (rects >> 2) + 4 * i + 4)));
    if (Module.vcPage && Module.vcPage.drawFrame) Module.vcPage.drawFrame(frame.image, parts);
    else for (const part of parts) frame.context.putImageData(frame.image, 0, 0, ...part);
    if (!frame.shown) {
        frame.shown = true;
        if (Module.vcPage) Module.vcPage.firstFrame(Module);
    }
});

// The page's sound output started for this module: its sample rate, or 0
// when the browser has no Web Audio.
EM_JS(int, WebStartAudio, (), {
    return Module.vcPage ? Module.vcPage.startAudio(Module) : 0;
});

EM_JS(void, WebStopAudio, (), {
    if (Module.vcPage) Module.vcPage.stopAudio(Module);
});

EM_JS(void, WebToggleFullscreen, (), {
    if (Module.vcPage) Module.vcPage.toggleFullscreen();
});

EM_JS(void, WebShowMessage, (const char* text, const char* title), {
    const t = UTF8ToString(title);
    const m = UTF8ToString(text);
    if (Module.vcPage) Module.vcPage.showMessage(t, m);
    else console.error(t + ': ' + m);
});

// The page's tests may ask for passes as fast as they run (a replay
// checked from end to end): the game runs as ever, the browser gets
// control only now and then.
EM_JS(int, WebUnthrottled, (), {
    return Module.vcPage && Module.vcPage.unthrottled ? 1 : 0;
});

EM_JS(int, WebPageHasFocus, (), {
    return document.hasFocus() && document.visibilityState === 'visible' ? 1 : 0;
});
// clang-format on

class WebHost;
WebHost* theHost = nullptr;  // the page's audio node pulls through it
int32_t passesEnded = 0;     // for the page's tests (vc_web_passes)

class WebHost final : public Host {
public:
    WebHost(const Settings& kept, const std::string& path)
        : start_(emscripten_get_now()), unthrottled_(WebUnthrottled() != 0), pads_(settings_.keys, settings_.pad) {
        theHost = this;
        KeepSettings(kept, path);
        ApplySettings(kept, settings_);
    }
    ~WebHost() override {
        ShutdownAudio();
        ShutdownDisplay();
        ShutdownInput();
        if (theHost == this) theHost = nullptr;
    }

    // ---- devices ----------------------------------------------------------

    bool InitInput(char* reason, int reasonSize) override {
        const char* window = EMSCRIPTEN_EVENT_TARGET_WINDOW;
        const char* failed = nullptr;
        if (emscripten_set_keydown_callback(window, this, EM_TRUE, &WebHost::OnKey) != EMSCRIPTEN_RESULT_SUCCESS ||
            emscripten_set_keyup_callback(window, this, EM_TRUE, &WebHost::OnKey) != EMSCRIPTEN_RESULT_SUCCESS) {
            failed = "the page's keyboard";
        } else if (emscripten_set_mousemove_callback(window, this, EM_TRUE, &WebHost::OnMouse) !=
                       EMSCRIPTEN_RESULT_SUCCESS ||
                   emscripten_set_mousedown_callback("#canvas", this, EM_TRUE, &WebHost::OnMouse) !=
                       EMSCRIPTEN_RESULT_SUCCESS ||
                   emscripten_set_mouseup_callback(window, this, EM_TRUE, &WebHost::OnMouse) !=
                       EMSCRIPTEN_RESULT_SUCCESS) {
            failed = "the page's mouse";
        } else if (emscripten_set_blur_callback(window, this, EM_TRUE, &WebHost::OnFocus) !=
                       EMSCRIPTEN_RESULT_SUCCESS ||
                   emscripten_set_focus_callback(window, this, EM_TRUE, &WebHost::OnFocus) !=
                       EMSCRIPTEN_RESULT_SUCCESS ||
                   emscripten_set_visibilitychange_callback(this, EM_TRUE, &WebHost::OnVisibility) !=
                       EMSCRIPTEN_RESULT_SUCCESS) {
            failed = "the page's focus";
        }
        if (failed != nullptr) {
            emscripten_html5_remove_all_event_listeners();
            if (reason != nullptr && reasonSize > 0)
                std::snprintf(reason, static_cast<size_t>(reasonSize), "cannot listen to %s", failed);
            return false;
        }
        inputOpen_ = true;
        focused_ = WebPageHasFocus() != 0;
        input_.Clear();
        return true;
    }

    bool InitAudio(AudioSource* source, char* reason, int reasonSize) override {
        if (source == nullptr) {
            if (reason != nullptr && reasonSize > 0)
                std::snprintf(reason, static_cast<size_t>(reasonSize), "no sound source to play");
            return false;
        }
        source_ = source;
        rate_ = WebStartAudio();
        silent_ = rate_ <= 0;
        if (silent_) {
            // No Web Audio: sounds still start, loop and end on time.
            std::fprintf(stderr, "voidcrawl: the browser has no Web Audio; playing silent\n");
            rate_ = kSilentRate;
            silentStart_ = emscripten_get_now();
            silentPulled_ = 0;
        }
        return true;
    }

    bool InitDisplay(char* reason, int reasonSize) override {
        if (!scaler_.Setup(kScreenWidth, kScreenHeight, kScreenWidth, kScreenHeight)) {
            if (reason != nullptr && reasonSize > 0)
                std::snprintf(reason, static_cast<size_t>(reasonSize), "cannot set up the picture");
            return false;
        }
        displayOpen_ = true;
        shownValid_ = false;  // the first picture goes up whole
        if (pending_) AskRefresh();
        return true;
    }

    void ShutdownAudio() override {
        if (source_ != nullptr && !silent_) WebStopAudio();
        source_ = nullptr;
    }

    void ShutdownDisplay() override {
        displayOpen_ = false;  // the refresh loop ends at its next call
        pixels_ = nullptr;
        palette_ = nullptr;
    }

    void ShutdownInput() override {
        if (inputOpen_) emscripten_html5_remove_all_event_listeners();
        inputOpen_ = false;
        input_.Clear();
    }

    // ---- picture ----------------------------------------------------------

    void Present(const uint8_t* pixels, const PaletteEntry* palette) override {
        pixels_ = pixels;
        palette_ = palette;
        pending_ = true;
        AskRefresh();
    }
    // The game knows the picture unchanged (a frozen game): nothing to compare or draw.
    void PresentAgain(const uint8_t* pixels, const PaletteEntry* palette) override {
        if (!pending_) {
            pixels_ = pixels;
            palette_ = palette;
        }
    }

    // ---- input ------------------------------------------------------------

    void PumpEvents() override {
        // Nothing to fetch: the browser delivered the events while we waited,
        // into the pass that began when the wait did (EndPass). The pads are
        // read at the pass's first pump.
        if (!inPass_) ReadPads();
        inPass_ = true;
    }
    // The keyboard's keys and the pads' together.
    const uint8_t* KeyStates() override {
        const uint8_t* keys = input_.KeyStates();
        const uint8_t* pad = pads_.Mapper().Keys();
        for (int i = 0; i < 256; ++i) shownKeys_[i] = keys[i] | pad[i];
        return shownKeys_;
    }
    void TakeMouse(int32_t* dx, int32_t* dy, uint8_t* leftDown) override { input_.TakeMouse(dx, dy, leftDown); }

    // ---- time -------------------------------------------------------------

    uint32_t Ticks() override { return static_cast<uint32_t>(static_cast<uint64_t>(emscripten_get_now() - start_)); }

    void EndPass(uint32_t passStart) override {
        // The next pass's input begins now, before the wait in which the
        // browser delivers it: releases held back for this pass take effect,
        // and a press and release that both arrive during the wait leave the
        // key down for the next pass to see, its release held back in turn.
        input_.EndPass();
        input_.BeginPass();
        inPass_ = false;
        ++passesEnded;
        // What came during a fade of the pass, when the pass had read its
        // keys already, is the next pass's, as on the desktop, where events
        // wait in the queue until the next pump.
        for (int i = 0; i < deferredCount_; ++i) Apply(deferred_[i]);
        deferredCount_ = 0;
        if (silent_ && source_ != nullptr) PullSilently();
        const double now = emscripten_get_now();
        if (unthrottled_) {
            GiveSlice(now);
            return;
        }
        // Passes start 10 ms apart on a schedule: the browser's timers wake
        // us a little late, and waiting 10 ms from each late start would
        // lose a pass in ten. A pass later than its slot still lets the
        // browser in before the next one, and one a whole pass behind (a
        // long pass, a fade) starts the schedule again from now: passes that
        // were missed are not caught up.
        if (!scheduled_) passDue_ = start_ + passStart;
        scheduled_ = true;
        passDue_ += kPassMs;
        if (now - passDue_ >= kPassMs) passDue_ = now;
        WebWaitUntil(passDue_);
    }

    void PaceFadeStep() override {
        const double now = emscripten_get_now();
        if (unthrottled_)
            GiveSlice(now);
        else
            WebWaitUntil(now + kFadeStepMs);
    }

    // ---- sound ------------------------------------------------------------

    // The mixer is only ever pulled between passes (the page's audio node
    // asks while the game waits), never during one: nothing to lock.
    void LockAudio() override {}
    void UnlockAudio() override {}

    float* RenderAudio(int frames) {
        if (frames < 0) frames = 0;
        if (frames > kMostAudioFrames) frames = kMostAudioFrames;
        if (source_ != nullptr && !silent_ && frames > 0) {
            source_->Render(audio_, frames, rate_);
        } else {
            std::memset(audio_, 0, sizeof(float) * static_cast<size_t>(frames));
        }
        return audio_;
    }

    // ---- the rest ---------------------------------------------------------

    void ShowMessage(const char* text, const char* title) override { WebShowMessage(text, title); }
    bool CloseRequested() override { return false; }  // the page ends the game only from its menu
    bool Focused() override { return focused_; }
    void SetPadContext(PadContext context) override { pads_.Mapper().SetContext(context); }
    void Rumble(int player, int strength, int milliseconds) override {
        if (settings_.rumble) pads_.Rumble(player, strength, milliseconds);
    }
    int TakePadButton() override { return pads_.Mapper().TakeBindPress(); }

    // The test pilot's key and pointer (WebTestKey, WebTestPointer).
    void TestKey(uint8_t code, bool down) { Take({down ? InputEvent::KeyDown : InputEvent::KeyUp, code, 0, 0}); }
    void TestPointer(int x, int y, bool down) {
        Take({InputEvent::Pointer, 0, x, y});
        Take({down ? InputEvent::LeftDown : InputEvent::LeftUp, 0, 0, 0});
    }

    // A key of player 1's pressed or let go on the page's touch controls
    // (a PlayKey, or kPlayKeyCount for SPACE): the keyboard's way in.
    void TouchKey(int action, bool down) {
        if (action < 0 || action > kPlayKeyCount) return;
        const uint8_t code = action == kPlayKeyCount ? DIK_SPACE : settings_.keys.code[0][action];
        Take({down ? InputEvent::KeyDown : InputEvent::KeyUp, code, 0, 0});
        if (down) focused_ = true;
    }

protected:
    void ApplySettings(const Settings&, const Settings& after) override {
        pads_.Mapper().SetPlayKeys(after.keys);
        pads_.Mapper().SetBindings(after.pad);
    }

private:
    // Unthrottled: the browser's turn comes once a slice.
    void GiveSlice(double now) {
        if (now - sliceStart_ < kUnthrottledSliceMs) return;
        WebWaitUntil(now);
        sliceStart_ = emscripten_get_now();
    }

    void ReadPads() {
        pads_.Poll();
        int dx = 0, dy = 0;
        pads_.Mapper().TakePointer(&dx, &dy);
        if (dx != 0 || dy != 0) input_.MovePointer(dx, dy);
        input_.PadButton(pads_.Mapper().LeftDown());
    }

    // Without Web Audio: the sound the mixer would have played since the
    // start, pulled and dropped.
    void PullSilently() {
        const double elapsed = emscripten_get_now() - silentStart_;
        const int64_t due = static_cast<int64_t>(elapsed * kSilentRate / 1000.0);
        while (silentPulled_ < due) {
            const int64_t left = due - silentPulled_;
            const int chunk = left < kMostAudioFrames ? static_cast<int>(left) : kMostAudioFrames;
            source_->Render(audio_, chunk, kSilentRate);
            silentPulled_ += chunk;
        }
    }

    // One display refresh for the picture presented, unless one is asked already.
    void AskRefresh() {
        if (!displayOpen_ || refreshAsked_) return;
        refreshAsked_ = true;
        emscripten_request_animation_frame(&WebHost::OnRefresh, this);
    }

    // The canvas holds the picture last shown (shownPixels_ through
    // shownPalette_): a new palette converts the whole picture, otherwise
    // only the pixels that changed are converted, and only the tiles around
    // them are uploaded and drawn; nothing when nothing changed.
    void ShowPendingFrame() {
        if (!pending_ || pixels_ == nullptr || palette_ == nullptr) return;
        pending_ = false;
        int count = 1;
        if (!shownValid_ || std::memcmp(shownPalette_, palette_, sizeof shownPalette_) != 0) {
            std::memcpy(shownPalette_, palette_, sizeof shownPalette_);
            // The canvas takes bytes red, green, blue, alpha: little-endian words.
            for (int i = 0; i < kPaletteSize; ++i) {
                const PaletteEntry& e = palette_[i];
                colours_[i] = 0xFF000000u | static_cast<uint32_t>(e.blue) << 16 | static_cast<uint32_t>(e.green) << 8 |
                              static_cast<uint32_t>(e.red);
            }
            std::memcpy(shownPixels_, pixels_, sizeof shownPixels_);
            scaler_.Convert(pixels_, colours_, reinterpret_cast<uint8_t*>(rgba_), kScreenWidth * 4);
            rects_[0] = {0, 0, kScreenWidth, kScreenHeight};
            shownValid_ = true;
        } else {
            count = ChangedTiles::Convert(pixels_, shownPixels_, kScreenWidth, kScreenHeight, colours_, rgba_, rects_);
        }
        if (count > 0) WebPutFrame(rgba_, kScreenWidth, kScreenHeight, &rects_[0].left, count);
    }

    static EM_BOOL OnRefresh(double, void* user) {
        // A refresh may come after its host is gone: the host is gone once
        // the game has ended and it is no longer the one.
        if (theHost != user) return EM_FALSE;
        WebHost* host = static_cast<WebHost*>(user);
        host->refreshAsked_ = false;
        if (host->displayOpen_) host->ShowPendingFrame();
        return EM_FALSE;
    }

    static EM_BOOL OnKey(int type, const EmscriptenKeyboardEvent* event, void* user) {
        WebHost* host = static_cast<WebHost*>(user);
        const bool altEnter =
            (std::strcmp(event->code, "Enter") == 0 || std::strcmp(event->code, "NumpadEnter") == 0) && event->altKey;
        const bool f11 = std::strcmp(event->code, "F11") == 0;
        if (altEnter || f11) {
            // The page's own shortcut; the game never sees these presses.
            if (type == EMSCRIPTEN_EVENT_KEYDOWN && !event->repeat) WebToggleFullscreen();
            return EM_TRUE;
        }
        const uint8_t code = WebCodeToDik(event->code);
        if (type == EMSCRIPTEN_EVENT_KEYDOWN) host->focused_ = true;  // whatever the page thought, the keys are ours
        host->Take({type == EMSCRIPTEN_EVENT_KEYDOWN ? InputEvent::KeyDown : InputEvent::KeyUp, code, 0, 0});
        // The browser keeps reloading (F5), its tools (F12) and the system's
        // shortcuts; every other key the game knows is the game's alone, so
        // the arrows and space do not scroll and Ctrl+D does not bookmark.
        const bool browsers =
            std::strcmp(event->code, "F5") == 0 || std::strcmp(event->code, "F12") == 0 || event->metaKey;
        return code != 0 && !browsers ? EM_TRUE : EM_FALSE;
    }

    static EM_BOOL OnMouse(int type, const EmscriptenMouseEvent* event, void* user) {
        WebHost* host = static_cast<WebHost*>(user);
        int at[2] = {0, 0};
        WebPointerToGame(event->clientX, event->clientY, kScreenWidth, kScreenHeight, at);
        host->Take({InputEvent::Pointer, 0, at[0], at[1]});
        if (event->button == 0) {
            if (type == EMSCRIPTEN_EVENT_MOUSEDOWN) {
                host->Take({InputEvent::LeftDown, 0, 0, 0});
                host->focused_ = true;
            }
            if (type == EMSCRIPTEN_EVENT_MOUSEUP) host->Take({InputEvent::LeftUp, 0, 0, 0});
        }
        return EM_FALSE;
    }

    static EM_BOOL OnFocus(int type, const EmscriptenFocusEvent* event, void* user) {
        WebHost* host = static_cast<WebHost*>(user);
        // The window hears its elements' blurs too (the listener captures):
        // the page's own button losing the focus as its notice closes is not
        // the page losing it, and play must not stand still behind it.
        if (type == EMSCRIPTEN_EVENT_BLUR && std::strcmp(event->nodeName, "#window") != 0) return EM_FALSE;
        if (type == EMSCRIPTEN_EVENT_BLUR) {
            host->input_.Clear();
            host->deferredCount_ = 0;
            host->focused_ = false;
        } else {
            host->focused_ = WebPageHasFocus() != 0;
        }
        return EM_FALSE;
    }

    static EM_BOOL OnVisibility(int, const EmscriptenVisibilityChangeEvent* event, void* user) {
        WebHost* host = static_cast<WebHost*>(user);
        if (event->hidden) {
            host->input_.Clear();
            host->deferredCount_ = 0;
            host->focused_ = false;
        } else {
            host->focused_ = WebPageHasFocus() != 0;
        }
        return EM_FALSE;
    }

    // One key, pointer or button event, as the pass will see it.
    struct InputEvent {
        enum Kind : uint8_t { KeyDown, KeyUp, Pointer, LeftDown, LeftUp } kind;
        uint8_t code;
        int x, y;
    };

    void Take(const InputEvent& event) {
        if (inPass_ && deferredCount_ < kMostDeferred) {
            deferred_[deferredCount_++] = event;
        } else {
            Apply(event);
        }
    }

    void Apply(const InputEvent& event) {
        switch (event.kind) {
        case InputEvent::KeyDown:
            input_.KeyDown(event.code);
            break;
        case InputEvent::KeyUp:
            input_.KeyUp(event.code);
            break;
        case InputEvent::Pointer:
            input_.PointerAt(event.x, event.y);
            break;
        case InputEvent::LeftDown:
            input_.LeftButton(true);
            break;
        case InputEvent::LeftUp:
            input_.LeftButton(false);
            break;
        }
    }

    double start_;
    bool unthrottled_ = false;
    double sliceStart_ = 0;
    bool scheduled_ = false;
    double passDue_ = 0;  // when the next pass starts (emscripten_get_now)
    PassInput input_;
    bool inPass_ = false;
    InputEvent deferred_[kMostDeferred] = {};
    int deferredCount_ = 0;
    bool inputOpen_ = false;
    bool focused_ = true;
    WebPads pads_;
    uint8_t shownKeys_[256] = {};

    bool displayOpen_ = false;
    bool refreshAsked_ = false;
    bool pending_ = false;
    const uint8_t* pixels_ = nullptr;
    const PaletteEntry* palette_ = nullptr;
    FrameScaler scaler_;
    uint32_t colours_[kPaletteSize] = {};
    uint32_t rgba_[kScreenWidth * kScreenHeight] = {};
    TargetRect rects_[ChangedTiles::kMostRects] = {};
    bool shownValid_ = false;
    uint8_t shownPixels_[kScreenWidth * kScreenHeight] = {};
    PaletteEntry shownPalette_[kPaletteSize] = {};

    AudioSource* source_ = nullptr;
    int rate_ = 0;
    bool silent_ = false;
    double silentStart_ = 0;
    int64_t silentPulled_ = 0;
    float audio_[kMostAudioFrames] = {};
};

}  // namespace

// The page's audio node asks for `frames` samples (mono, -1..1, at the rate
// the host was given); the answer lives until the next call.
extern "C" EMSCRIPTEN_KEEPALIVE float* vc_web_render_audio(int frames) {
    static float silence[kMostAudioFrames];
    return theHost != nullptr ? theHost->RenderAudio(frames) : silence;
}

// The page's touch controls: player 1's key `action` (see TouchKey) down or up.
extern "C" EMSCRIPTEN_KEEPALIVE void vc_web_touch_key(int action, int down) {
    if (theHost != nullptr) theHost->TouchKey(action, down != 0);
}

// For the page's tests, read only: the passes ended so far, so that a test
// can wait until a pass that changed the screen (and its fades) is over.
extern "C" EMSCRIPTEN_KEEPALIVE int32_t vc_web_passes() { return passesEnded; }

void WebTestKey(uint8_t code, bool down) {
    if (theHost != nullptr) theHost->TestKey(code, down);
}

void WebTestPointer(int x, int y, bool down) {
    if (theHost != nullptr) theHost->TestPointer(x, y, down);
}

Host* CreateWebHost(const Settings& kept, const std::string& path) { return new WebHost(kept, path); }
