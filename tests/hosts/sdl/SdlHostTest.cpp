// The real window host on SDL's dummy video driver and its dummy or disk sound drivers.
#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "gfx/PictureFit.h"
#include "hosts/sdl/SdlHost.h"
#include "hosts/sdl/SdlQuietStderr.h"
#include "platform/Host.h"
#include "platform/Settings.h"
#include "platform/UserDir.h"
#include "support/Files.h"
#include "tools/runner/RunnerScenario.h"

namespace {

// The default settings with what `set` changes.
Settings With(const std::function<void(Settings&)>& set) {
    Settings settings;
    set(settings);
    return settings;
}

// Produces frames alternating 0.5 and 2.0.
class CountingSource final : public AudioSource {
public:
    void Render(float* out, int frames, int rate) override {
        for (int i = 0; i < frames; ++i) out[i] = (produced + i) % 2 == 0 ? 0.5f : 2.0f;
        produced += frames;
        lastRate = rate;
        calls.fetch_add(1);
    }
    std::atomic<int> calls{0}, lastRate{0};
    long produced = 0;
};

// Medians, so that a busy machine preempting a pass now and then does not decide the outcome.
uint32_t Median(std::vector<uint32_t> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The colour at window pixel (x, y) of `surface` as 0xRRGGBB; off the window, black.
uint32_t PixelAt(SDL_Surface* surface, int x, int y) {
    if (x < 0 || y < 0 || x >= surface->w || y >= surface->h) return 0u;
    Uint32 value = 0;
    Uint8 r, g, b;
    std::memcpy(&value, static_cast<uint8_t*>(surface->pixels) + y * surface->pitch + x * 4, 4);
    SDL_GetRGB(value, surface->format, &r, &g, &b);
    return uint32_t(r) << 16 | uint32_t(g) << 8 | b;
}

// What SDL's disk driver wrote to `path` (the samples a device would play),
// from the first sound on: a device may play silence before it first asks.
// `written`: how many samples the file holds, silence included.
std::vector<float> DiskSound(const char* path, size_t* written = nullptr) {
    std::vector<float> samples(1 << 18);
    std::FILE* file = std::fopen(path, "rb");
    const size_t count = file ? std::fread(samples.data(), sizeof(float), samples.size(), file) : 0;
    if (file) std::fclose(file);
    samples.resize(count);
    if (written) *written = count;
    const auto start = std::find_if(samples.begin(), samples.end(), [](float f) { return f != 0.0f; });
    return std::vector<float>(start, samples.end());
}

int RumbleSeen = 0;  // the last strength a virtual pad's motor was given
int RecordRumble(void*, Uint16 low, Uint16) {
    RumbleSeen = low;
    return 0;
}

// A game controller of every button and axis, through SDL's real
// controller layer; its motor reports to RecordRumble. Its device index.
int AttachVirtualPad() {
    SDL_VirtualJoystickDesc desc;
    SDL_zero(desc);
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    desc.button_mask = (1u << SDL_CONTROLLER_BUTTON_MAX) - 1;
    desc.axis_mask = (1u << SDL_CONTROLLER_AXIS_MAX) - 1;
    desc.name = "test pad";
    desc.Rumble = RecordRumble;
    return SDL_JoystickAttachVirtualEx(&desc);
}

class SdlHostTest : public testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        unsetenv("VOIDCRAWL_PRESENT");
        host_ = CreateSdlHost();
    }
    void TearDown() override { delete host_; }
    void Recreate(const Settings& inForce, const std::string& settingsPath = "") {
        delete host_;
        window_ = nullptr;
        inForce_ = inForce;
        host_ = CreateSdlHost(inForce, settingsPath);
    }
    void InitAll() {
        char reason[256] = "";
        ASSERT_TRUE(host_->InitInput(reason, sizeof reason) && host_->InitAudio(&source_, reason, sizeof reason) &&
                    host_->InitDisplay(reason, sizeof reason))
            << reason;
        for (Uint32 id = 1; id < 64 && !window_; ++id) window_ = SDL_GetWindowFromID(id);
        ASSERT_NE(window_, nullptr);
        keys_ = host_->KeyStates();
        Measure();
    }
    void Measure() {  // where the picture is in the window
        SDL_GetWindowSize(window_, &width_, &height_);
        fit_ = FitPicture(width_, height_, inForce_.scale);
        scale_ = fit_.whole ? fit_.prescale : 0;
        left_ = fit_.left;
        top_ = fit_.top;
    }
    // The window pixel in the middle of the game's pixel (x, y).
    int WinX(int x) const { return left_ + (2 * x + 1) * fit_.width / (2 * kScreenWidth); }
    int WinY(int y) const { return top_ + (2 * y + 1) * fit_.height / (2 * kScreenHeight); }
    // Pushes an event for the window (windowID sits at the same place in every window event).
    void Push(Uint32 type, std::function<void(SDL_Event&)> fill = nullptr) {
        SDL_Event event;
        SDL_zero(event);
        event.type = type;
        event.window.windowID = SDL_GetWindowID(window_);
        if (fill) fill(event);
        ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
    }
    void Key(SDL_Scancode code, bool down, Uint16 mod = KMOD_NONE, Uint8 repeat = 0) {
        Push(down ? SDL_KEYDOWN : SDL_KEYUP, [&](SDL_Event& e) {
            e.key.keysym = SDL_Keysym{code, SDL_GetKeyFromScancode(code), mod, 0};
            e.key.repeat = repeat;
        });
    }
    void Mouse(Uint32 type, int x, int y) {  // motion, or the left button at (x, y)
        Push(type, [&](SDL_Event& e) {
            if (type == SDL_MOUSEMOTION)
                e.motion.x = x, e.motion.y = y;
            else
                e.button.button = SDL_BUTTON_LEFT, e.button.x = x, e.button.y = y;
        });
    }
    std::tuple<int32_t, int32_t, bool> Take() {  // pumps, then the motion since the last take and the button
        int32_t dx = 0, dy = 0;
        uint8_t left = 0;
        host_->PumpEvents();
        host_->TakeMouse(&dx, &dy, &left);
        return {dx, dy, left != 0};
    }
    void NextPass() {
        host_->EndPass(host_->Ticks());
        host_->PumpEvents();
    }
    bool Fullscreen() const { return (SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN) != 0; }

    Host* host_ = nullptr;
    Settings inForce_;
    PictureFit fit_;
    CountingSource source_;
    SDL_Window* window_ = nullptr;
    const uint8_t* keys_ = nullptr;
    int width_ = 0, height_ = 0, scale_ = 0, left_ = 0, top_ = 0;
};

TEST_F(SdlHostTest, OpensTheTitledWindowFullScreenAndAltEnterOrF11ToggleItUnseenByTheGameAndRemembered) {
    const ScratchDir folder;
    const std::string path = folder / "config/voidcrawl/settings.ini";
    Recreate(Settings{}, path);
    InitAll();
    auto remembered = [&] {  // the file's fullscreen and volume
        Settings settings;
        EXPECT_TRUE(LoadSettings(path.c_str(), &settings, nullptr));
        return std::tuple{settings.fullscreen, settings.volume};
    };
    EXPECT_STREQ(SDL_GetWindowTitle(window_), "VoidCrawl - V1.0");
    EXPECT_EQ(SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN_DESKTOP, SDL_WINDOW_FULLSCREEN_DESKTOP);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    Key(SDL_SCANCODE_RETURN, true, KMOD_LALT);
    host_->PumpEvents();
    EXPECT_EQ((std::tuple{keys_[0x1C], Fullscreen()}), (std::tuple{0, false}));
    EXPECT_EQ(remembered(), (std::tuple{0, 100}));
    // The player edits the file meanwhile: only the fullscreen line changes.
    const std::string edit = "# quieter at night\n[sound]\nvolume = 35\n";
    std::string expected = ReadText(path) + edit;
    WriteText(path, expected);
    expected.replace(expected.find("fullscreen = no"), 15, "fullscreen = yes");
    Key(SDL_SCANCODE_RETURN, false, KMOD_LALT);
    Key(SDL_SCANCODE_F11, true);
    host_->PumpEvents();
    EXPECT_EQ((std::tuple{keys_[0x57], Fullscreen()}), (std::tuple{0, true}));
    EXPECT_EQ(ReadText(path), expected);
    EXPECT_EQ(remembered(), (std::tuple{1, 35}));
    // A file too large to read is left alone, and the player told so.
    const Bytes big(70000, '#');
    WriteAll(path, big);
    Key(SDL_SCANCODE_F11, false);
    Key(SDL_SCANCODE_F11, true);
    const std::string said = Said([&] { host_->PumpEvents(); });
    EXPECT_FALSE(Fullscreen());
    EXPECT_EQ(ReadAll(path), big);
    EXPECT_NE(said.find("not saved: cannot read " + path + ": over 64 KiB"), std::string::npos) << said;
    EXPECT_NE(std::string(SDL_GetWindowTitle(window_)).find("Settings NOT saved: cannot read " + path),
              std::string::npos)
        << SDL_GetWindowTitle(window_);
    Key(SDL_SCANCODE_F11, false);
    Key(SDL_SCANCODE_RETURN, true);  // Enter alone is the game's
    host_->PumpEvents();
    EXPECT_EQ((std::tuple{keys_[0x1C], host_->CloseRequested()}), (std::tuple{0x80, false}));
    Push(SDL_QUIT);  // the window's close button
    host_->PumpEvents();
    EXPECT_TRUE(host_->CloseRequested());
}

// What the options screen changes is in force at once and kept in the file:
// the window and its scale (the pads' bindings and rumble: the pad test).
TEST_F(SdlHostTest, ChangedSettingsTakeHoldAtOnceAndAreKept) {
    const ScratchDir folder;
    const std::string path = folder / "settings.ini";
    setenv("VOIDCRAWL_PRESENT", "surface", 1);
    Recreate(With([](Settings& s) { s.scale = ScaleMode::Integer; }), path);
    InitAll();
    EXPECT_EQ(host_->LargestWindowFactor(), 1);  // the dummy screen: 1024 x 768, less a title bar
    Settings next = host_->CurrentSettings();
    next.fullscreen = 0;
    next.window = {800, 600};
    next.scale = ScaleMode::Fit;
    next.pad.button[kPadBoost] = kPadLeftShoulder;
    next.rumble = false;
    char reason[256] = "";
    ASSERT_TRUE(host_->ChangeSettings(next, reason, sizeof reason)) << reason;
    host_->PumpEvents();
    Measure();
    EXPECT_EQ((std::tuple{Fullscreen(), width_, height_}), (std::tuple{false, 800, 600}));
    static uint8_t pixels[kScreenWidth * kScreenHeight];
    static PaletteEntry palette[kPaletteSize];
    palette[0] = {0x10, 0x20, 0x30, 4};
    host_->Present(pixels, palette);
    for (int i = 0; i < 4; ++i) host_->PaceFadeStep();
    EXPECT_NE(PixelAt(SDL_GetWindowSurface(window_), 0, 0), 0u);  // fitted, the picture fills 800 x 600
    Settings kept;
    ASSERT_TRUE(LoadSettings(path.c_str(), &kept, nullptr));
    EXPECT_EQ((std::tuple{kept.fullscreen, kept.window.width, kept.window.height, kept.scale, kept.rumble}),
              (std::tuple{0, 800, 600, ScaleMode::Fit, false}));
}

// A windowed start sizes the window to a whole multiple of the picture. The
// size a player drags the window to is kept once it holds still, not at
// every step of the drag; the sizes the game gives it itself are not.
TEST_F(SdlHostTest, AWindowedStartIsAWholeMultipleAndADraggedSizeIsKeptOnceItSettles) {
    const ScratchDir folder;
    const std::string path = folder / "settings.ini";
    Recreate(With([](Settings& s) { s.fullscreen = 0; }), path);
    InitAll();
    EXPECT_FALSE(Fullscreen());
    EXPECT_EQ((std::tuple{width_ % kScreenWidth, height_, left_}),
              (std::tuple{0, width_ / kScreenWidth * kScreenHeight, 0}));
    EXPECT_GE(scale_, 1);
    auto passes = [&](int count) {
        for (int i = 0; i < count; ++i) NextPass();
    };
    passes(60);  // the window manager's answers to the game's own sizing are over
    EXPECT_FALSE(std::filesystem::exists(path));
    SDL_SetWindowSize(window_, 700, 500);  // as a window manager does while the player drags
    passes(10);
    SDL_SetWindowSize(window_, 900, 700);
    passes(10);
    EXPECT_FALSE(std::filesystem::exists(path)) << "kept while still dragging";
    passes(60);
    Settings kept;
    ASSERT_TRUE(LoadSettings(path.c_str(), &kept, nullptr));
    EXPECT_EQ((std::tuple{kept.window.width, kept.window.height, host_->CurrentSettings().window.width}),
              (std::tuple{900, 700, 900}));
}

TEST_F(SdlHostTest, ADisplayFailureCarriesSdlsReasonAndShuttingDownWhatNeverOpenedIsHarmless) {
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);  // named explicitly: no other driver is tried
    char video[256] = "";
    EXPECT_FALSE(host_->InitDisplay(video, sizeof video));
    EXPECT_NE(std::strstr(video, "no-such-driver"), nullptr) << video;
    host_->ShutdownAudio();
    host_->ShutdownDisplay();
    host_->ShutdownInput();
}

// No sound card or sound server: the game plays silent, says so once, and
// the mixer is pulled at a device's pace under the same lock.
TEST_F(SdlHostTest, WithoutASoundDeviceTheMixerRunsSilentOnTheHostsClock) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    char reason[256] = "";
    const uint32_t start = SDL_GetTicks();
    bool opened = false;
    const std::string said = Said([&] { opened = host_->InitAudio(&source_, reason, sizeof reason); });
    ASSERT_TRUE(opened) << reason;
    EXPECT_EQ(said, "voidcrawl: no sound device (Audio target 'no-such-driver' not available); playing silent\n");
    // A third of a second of sound is pulled soon (a loaded machine may be
    // slow to run the clock, so it gets a few seconds)...
    auto pulled = [&] {
        host_->LockAudio();
        const long n = source_.produced;
        host_->UnlockAudio();
        return n;
    };
    while (pulled() < 44100 / 3 && SDL_GetTicks() - start < 5000) SDL_Delay(10);
    host_->LockAudio();
    const long produced = source_.produced;
    const uint32_t elapsed = SDL_GetTicks() - start;
    const int held = source_.calls.load();
    SDL_Delay(50);
    EXPECT_EQ(source_.calls.load(), held) << "the lock must hold the mixer off";
    host_->UnlockAudio();
    EXPECT_EQ(source_.lastRate.load(), 44100);
    // ...and never more than the time gone by: the clock is the host's, not
    // a loop running flat out.
    EXPECT_GE(produced, 44100 / 3);
    EXPECT_LE(produced, long(elapsed + 1) * 441 / 10);
    host_->ShutdownAudio();
    const int stopped = source_.calls.load();
    SDL_Delay(30);
    EXPECT_EQ(source_.calls.load(), stopped);
}

// A machine with no display: the game fails at once rather than running
// unseen on an invisible driver, with one line of reason in the player's
// words before its own failure message, and exit status 1. Of the sound,
// one line at most: ALSA's own lines while SDL looks for a device never
// show, and --mute never looks.
TEST(SdlGameStart, WithNoDisplayTheGameSaysWhyOnceThenFails) {
    const bool soundCard = std::filesystem::exists("/proc/asound/card0");
    const std::string noSound = "voidcrawl: no sound device (";
    const std::string failed = "Error Message: Unable to setup Direct Draw";
    const struct {
        const char* env;
        const char* args;
        std::vector<std::string> lines;  // each line's beginning
    } cases[] = {
        {"-u DISPLAY -u WAYLAND_DISPLAY SDL_AUDIODRIVER=alsa",
         "",
         {noSound,
          "voidcrawl: no display to open the window on: DISPLAY and WAYLAND_DISPLAY are not set (start the game "
          "from a desktop session)",
          failed}},
        {"-u WAYLAND_DISPLAY DISPLAY=:97 SDL_AUDIODRIVER=alsa",
         "--mute",
         {"voidcrawl: no display to open the window on: the X server at DISPLAY=:97 cannot be reached or refused "
          "the connection (is it running, and may this user open windows on it?)",
          failed}},
        {"-u DISPLAY WAYLAND_DISPLAY=vc-none-0 SDL_AUDIODRIVER=no-such-driver",
         "",
         {"voidcrawl: no sound device (Audio target 'no-such-driver' not available); playing silent",
          "voidcrawl: no display to open the window on: the Wayland compositor at WAYLAND_DISPLAY=vc-none-0 cannot "
          "be reached",
          failed}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.env) + " " + c.args);
        char command[1024];
        std::snprintf(command, sizeof command,
                      "cd '%s' && env -u SDL_VIDEODRIVER %s VOIDCRAWL_NO_MESSAGEBOX=1 "
                      "XDG_CONFIG_HOME=/nonexistent/vc-config timeout 10 '%s' %s 2>&1",
                      VC_DATA_DIR, c.env, VC_GAME, c.args);
        const uint32_t start = SDL_GetTicks();
        std::FILE* pipe = popen(command, "r");
        ASSERT_NE(pipe, nullptr);
        std::vector<std::string> lines;
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) lines.push_back(buffer);
        const int status = pclose(pipe);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
        EXPECT_LT(SDL_GetTicks() - start, 5000u);
        std::vector<std::string> expected = c.lines;
        if (soundCard && expected[0] == noSound) expected.erase(expected.begin());
        std::string output;
        for (const std::string& line : lines) output += line;
        EXPECT_EQ(lines.size(), expected.size()) << output;
        for (size_t i = 0; i < lines.size() && i < expected.size(); ++i)
            EXPECT_EQ(lines[i].rfind(expected[i], 0), 0u) << output;
    }
}

// Both ways to the screen: SDL's renderer (here its software one), and our
// own conversion into the window's surface.
TEST_F(SdlHostTest, ShowsThePresentedPictureScaledCentredAndThroughThePaletteOnlyWhenItChanged) {
    for (const char* way : {"gpu", "surface"}) {
        SCOPED_TRACE(way);
        setenv("VOIDCRAWL_PRESENT", way, 1);
        // Whole factors: every window pixel is exact.
        Recreate(With([](Settings& s) { s.scale = ScaleMode::Integer; }));
        InitAll();
        ASSERT_GE(scale_, 1);
        static uint8_t pixels[kScreenWidth * kScreenHeight];
        static PaletteEntry palette[kPaletteSize];
        for (int i = 0; i < kPaletteSize; ++i) palette[i] = {uint8_t(i), uint8_t(255 - i), 0x40, 4};
        for (int i = 0; i < kScreenWidth * kScreenHeight; ++i) pixels[i] = uint8_t(i % kScreenWidth ^ i / kScreenWidth);
        SDL_Surface* surface = SDL_GetWindowSurface(window_);
        ASSERT_NE(surface, nullptr);
        auto at = [&](int x, int y) { return PixelAt(surface, x, y); };
        auto expected = [&](int x, int y) {
            const PaletteEntry& e = palette[uint8_t(x ^ y)];
            return uint32_t(e.red) << 16 | uint32_t(e.green) << 8 | e.blue;
        };
        auto shownWithin = [&](uint32_t colour) {  // the picture may wait for the next refresh, but not long
            int steps = 0;
            for (; at(left_ + 5 * scale_, top_ + 3 * scale_) != colour && steps < 20; ++steps) host_->PaceFadeStep();
            return steps;
        };
        host_->Present(pixels, palette);
        ASSERT_LT(shownWithin(expected(5, 3)), 8) << "the pending picture was never shown";
        for (auto [x, y] : {std::pair{0, 0}, {639, 0}, {0, 479}, {639, 479}, {123, 321}, {320, 240}})
            for (int d = 0; d < scale_ * scale_; ++d)
                EXPECT_EQ(at(left_ + x * scale_ + d % scale_, top_ + y * scale_ + d / scale_), expected(x, y))
                    << x << "," << y;
        EXPECT_EQ((std::tuple{left_ ? at(left_ - 1, top_) : 0u, top_ ? at(left_, top_ - 1) : 0u}),
                  (std::tuple{0u, 0u}));  // black around
        if (std::string(way) == "surface") {
            // The same picture again is left alone (a mark of ours on the
            // window stays), until the window asks for its contents again.
            const int x = left_ + 5 * scale_, y = top_ + 3 * scale_;
            std::memset(static_cast<uint8_t*>(surface->pixels) + y * surface->pitch + x * 4, 0xFF, 4);
            host_->Present(pixels, palette);
            for (int i = 0; i < 8; ++i) host_->PaceFadeStep();
            EXPECT_EQ(at(x, y), 0xFFFFFFu);
            Push(SDL_WINDOWEVENT, [](SDL_Event& e) { e.window.event = SDL_WINDOWEVENT_EXPOSED; });
            host_->PumpEvents();
            EXPECT_LT(shownWithin(expected(5, 3)), 8);
        }
        std::fill(palette, palette + kPaletteSize, PaletteEntry{0, 0, 0, 4});  // a palette change alone
        host_->Present(pixels, palette);
        EXPECT_LT(shownWithin(0u), 8);
    }
}

// The real renderer puts a flat picture where the arithmetic says, black
// around it, through every path (whole factors, a smooth fit, a sharp
// whole-factor step before the smooth one), and the pointer follows.
TEST_F(SdlHostTest, AResizedWindowShowsThePictureWhereItsScaleModeFitsIt) {
    struct Case {
        int width, height;
        ScaleMode mode;
    };
    for (const Case& c : {Case{1366, 768, ScaleMode::Auto}, Case{1280, 1024, ScaleMode::Auto},
                          Case{1920, 1080, ScaleMode::Fit}, Case{1366, 768, ScaleMode::Integer}})
        for (const char* way : {"gpu", "surface"}) {
            SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " mode " << int(c.mode) << " " << way);
            setenv("VOIDCRAWL_PRESENT", way, 1);
            Recreate(With([&](Settings& s) { s.fullscreen = 0, s.scale = c.mode; }));
            InitAll();
            SDL_SetWindowSize(window_, c.width, c.height);
            host_->PumpEvents();
            Measure();
            ASSERT_EQ((std::tuple{width_, height_}), (std::tuple{c.width, c.height}));
            const PictureFit want = FitPicture(c.width, c.height, c.mode);
            static uint8_t pixels[kScreenWidth * kScreenHeight];
            static PaletteEntry palette[kPaletteSize];
            std::fill(pixels, pixels + sizeof pixels, uint8_t{7});
            palette[7] = {0x20, 0xC0, 0x80, 4};
            host_->Present(pixels, palette);
            for (int i = 0; i < 8; ++i) host_->PaceFadeStep();
            SDL_Surface* surface = SDL_GetWindowSurface(window_);
            ASSERT_NE(surface, nullptr);
            ASSERT_EQ((std::tuple{surface->w, surface->h}), (std::tuple{c.width, c.height}));
            auto at = [&](int x, int y) { return PixelAt(surface, x, y); };
            const int right = want.left + want.width - 1, bottom = want.top + want.height - 1;
            for (auto [x, y] :
                 {std::pair{want.left, want.top}, {right, want.top}, {want.left, bottom}, {right, bottom}})
                EXPECT_EQ(at(x, y), 0x20C080u) << "inside at " << x << "," << y;
            EXPECT_EQ((std::tuple{at(want.left - 1, want.top), at(right + 1, bottom), at(want.left, want.top - 1),
                                  at(right, bottom + 1)}),
                      (std::tuple{0u, 0u, 0u, 0u}));
            // The pointer starts mid-screen, moves in game pixels and stops at the screen's edges.
            Mouse(SDL_MOUSEMOTION, right, bottom);
            EXPECT_EQ(Take(), std::tuple(639 - 320, 479 - 240, false));
            EXPECT_EQ(Take(), std::tuple(0, 0, false));
            Mouse(SDL_MOUSEMOTION, 0, 0);
            EXPECT_EQ(Take(), std::tuple(-639, -479, false));
            Mouse(SDL_MOUSEBUTTONDOWN, WinX(100), WinY(50));  // a click moves it too
            EXPECT_EQ(Take(), std::tuple(100, 50, true));
        }
}

TEST_F(SdlHostTest, KeysGoByPositionATapLastsItsWholePassAndLosingFocusReleasesAll) {
    InitAll();
    EXPECT_TRUE(host_->Focused());
    Key(SDL_SCANCODE_A, true);
    Key(SDL_SCANCODE_LEFT, true);
    host_->PumpEvents();
    EXPECT_EQ((std::tuple{keys_[0x1E], keys_[0xCB]}), (std::tuple{0x80, 0x80}));
    NextPass();
    Key(SDL_SCANCODE_A, false);  // released in a later pass: up at once
    host_->PumpEvents();
    EXPECT_EQ((std::tuple{keys_[0x1E], keys_[0xCB]}), (std::tuple{0, 0x80}));
    Push(SDL_WINDOWEVENT, [](SDL_Event& e) { e.window.event = SDL_WINDOWEVENT_FOCUS_LOST; });
    host_->PumpEvents();
    EXPECT_EQ(keys_[0xCB], 0) << "a key released elsewhere must not stick";
    EXPECT_FALSE(host_->Focused());
    Push(SDL_WINDOWEVENT, [](SDL_Event& e) { e.window.event = SDL_WINDOWEVENT_FOCUS_GAINED; });
    host_->PumpEvents();
    EXPECT_TRUE(host_->Focused());

    Key(SDL_SCANCODE_SPACE, true);
    Key(SDL_SCANCODE_SPACE, false);
    Mouse(SDL_MOUSEBUTTONDOWN, 0, 0);
    Mouse(SDL_MOUSEBUTTONUP, 0, 0);
    host_->PumpEvents();  // the game may pump again within the pass
    EXPECT_EQ((std::tuple{std::get<2>(Take()), keys_[0x39]}), (std::tuple{true, 0x80}));
    NextPass();
    EXPECT_EQ((std::tuple{std::get<2>(Take()), keys_[0x39]}), (std::tuple{false, 0}));
    Key(SDL_SCANCODE_SPACE, true);
    NextPass();
    Key(SDL_SCANCODE_SPACE, false);  // released and pressed again within one pass: still down after
    Key(SDL_SCANCODE_SPACE, true);
    NextPass();
    NextPass();
    EXPECT_EQ(keys_[0x39], 0x80);
}

TEST_F(SdlHostTest, F12ShootsTheNextFrameOncePerPressUnseenByTheGame) {
    namespace fs = std::filesystem;
    InitAll();
    const ScratchDir pictures;
    const fs::path dir = pictures.path() / "VoidCrawl";
    EnvScope shots("XDG_PICTURES_DIR", pictures.path().c_str());
    std::vector<uint8_t> frame(kScreenWidth * kScreenHeight), other(frame.size(), 3);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i % 251);
    PaletteEntry palette[256];
    for (int i = 0; i < 256; ++i) palette[i] = PaletteEntry{uint8_t(i), uint8_t(i / 2), uint8_t(255 - i), 0};
    host_->Present(other.data(), palette);  // on show before the press
    Key(SDL_SCANCODE_F12, true);
    host_->PumpEvents();
    EXPECT_EQ(std::count(keys_, keys_ + 256, 0x80), 0) << "F12 is not a game key";
    EXPECT_FALSE(fs::exists(dir)) << "nothing is written before a frame is shown";
    host_->Present(frame.data(), palette);
    for (int i = 0; i < 3; ++i) {
        Key(SDL_SCANCODE_F12, true, KMOD_NONE, 1);  // held: the keyboard repeats
        NextPass();
        host_->Present(other.data(), palette);
    }
    Key(SDL_SCANCODE_F12, false);
    host_->PumpEvents();
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(dir)) files.push_back(e.path());
    ASSERT_EQ(files.size(), 1u) << "one file per press";
    const runner_test::Picture pic = runner_test::ReadPicture(files[0]);
    ASSERT_TRUE(pic.ok);
    int wrong = 0;
    for (size_t i = 0; i < frame.size(); ++i) {
        const PaletteEntry& e = palette[frame[i]];
        wrong += pic.rgb[i * 3] != e.red || pic.rgb[i * 3 + 1] != e.green || pic.rgb[i * 3 + 2] != e.blue;
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(SdlHostTest, PassesAndFadeStepsKeepATenMillisecondFloorWithoutCatchingUp) {
    InitAll();
    std::vector<uint32_t> passes, waits, steps;
    for (int i = 0; i < 21; ++i) {
        const uint32_t passStart = host_->Ticks();
        host_->EndPass(passStart);
        passes.push_back(host_->Ticks() - passStart);
        EXPECT_GE(passes.back(), 10u);
    }
    for (int i = 0; i < 9; ++i) {  // a pass that already took 25 ms returns at once
        const uint32_t passStart = host_->Ticks();
        SDL_Delay(25);
        const uint32_t before = host_->Ticks();
        host_->EndPass(passStart);
        waits.push_back(host_->Ticks() - before);
    }
    const uint32_t start = host_->Ticks();
    for (int i = 0; i < 43; ++i) {
        const uint32_t before = host_->Ticks();
        host_->PaceFadeStep();
        steps.push_back(host_->Ticks() - before);
    }
    EXPECT_GE(host_->Ticks() - start, 430u);
    EXPECT_LE(Median(passes), 11u);
    EXPECT_LE(Median(waits), 1u);
    EXPECT_GE(Median(steps), 10u);
    EXPECT_LE(Median(steps), 11u);
}

// Unmuting a game that started muted opens the device then, at the volume
// now chosen; with no device to be had it says so and plays on silent.
TEST_F(SdlHostTest, MonoIsCopiedToEveryChannelScaledByTheVolumeAndClampedAndMutedNoDeviceIsOpened) {
    struct Case {
        bool mute;
        int volume, unmuteAt;  // unmuteAt: the volume of an unmuting, or -1
        float quiet, loud;     // what 0.5 and 2.0 from the mixer become
        const char* driver = "disk";
    };
    for (const Case c : {Case{false, 40, -1, 0.2f, 0.8f}, Case{true, 100, -1, 0, 0}, Case{true, 40, 100, 0.5f, 1.0f},
                         Case{true, 40, 100, 0, 0, "no-such-driver"}}) {
        SCOPED_TRACE(testing::Message() << c.mute << " at volume " << c.volume << ", unmuted at " << c.unmuteAt
                                        << " on " << c.driver);
        char pattern[] = "/tmp/voidcrawl-audio-XXXXXX";  // the disk driver writes what the device would play
        close(mkstemp(pattern));
        setenv("SDL_AUDIODRIVER", c.driver, 1);
        setenv("SDL_DISKAUDIOFILE", pattern, 1);
        Recreate(With([&](Settings& s) { s.mute = c.mute, s.volume = c.volume; }));
        InitAll();
        char reason[256] = "";
        if (c.unmuteAt >= 0) {
            Settings next = host_->CurrentSettings();
            next.mute = false;
            next.volume = c.unmuteAt;
            const std::string said = Said([&] { EXPECT_TRUE(host_->ChangeSettings(next, reason, sizeof reason)); });
            const bool noDevice = std::string(c.driver) != "disk";
            EXPECT_TRUE(noDevice ? said.rfind("voidcrawl: no sound device (", 0) == 0 : said.empty()) << said;
            EXPECT_EQ(std::string(SDL_GetWindowTitle(window_)).find("No sound device") != std::string::npos, noDevice);
        }
        source_.calls = 0;
        for (int i = 0; i < 100 && source_.calls.load() < 3; ++i) SDL_Delay(10);
        EXPECT_GE(source_.calls.load(), 3);
        host_->LockAudio();  // the lock holds the device's pulls off
        const int held = source_.calls.load();
        SDL_Delay(60);
        EXPECT_EQ(source_.calls.load(), held);
        host_->UnlockAudio();
        for (int i = 0; i < 100 && source_.calls.load() == held; ++i) SDL_Delay(10);
        EXPECT_GT(source_.calls.load(), held);
        host_->ShutdownAudio();
        size_t written = 0;
        const std::vector<float> samples = DiskSound(pattern, &written);
        std::remove(pattern);
        if (c.quiet == 0) {  // no device opened, the mixer pulled all the same
            EXPECT_EQ((std::tuple{written, source_.lastRate.load()}), (std::tuple{0u, 44100}));
            continue;
        }
        EXPECT_GT(source_.lastRate.load(), 0);
        ASSERT_GE(samples.size(), 64u) << "too little sound was written";
        const size_t phase = samples[0] == c.loud;  // an unmuted device starts wherever the mixer is
        for (size_t i = 0; i < 64; ++i)             // the same in both channels; the volume applies before the clamp
            EXPECT_FLOAT_EQ(samples[i], (i / 2 + phase) % 2 == 0 ? c.quiet : c.loud) << i;
    }
}

// Virtual pads through SDL's real controller layer: each steers its own
// player, a rumble reaches the pad's motor, a pad that goes away lets go of
// what it held, outside play the stick moves the pointer and A clicks, and
// bindings changed in the options hold at once.

TEST_F(SdlHostTest, PadsSteerTheirOwnPlayersRumbleAndLetGoWhenUnplugged) {
    InitAll();
    const int first = AttachVirtualPad();
    const int second = AttachVirtualPad();
    ASSERT_GE(second, 0) << SDL_GetError();
    SDL_Joystick* pad1 = SDL_JoystickOpen(first);
    SDL_Joystick* pad2 = SDL_JoystickOpen(second);
    ASSERT_NE(pad2, nullptr);
    host_->SetPadContext(PadContext::Play);
    NextPass();
    SDL_JoystickSetVirtualButton(pad1, SDL_CONTROLLER_BUTTON_X, 1);       // player 1 boosts
    SDL_JoystickSetVirtualAxis(pad2, SDL_CONTROLLER_AXIS_LEFTX, -32768);  // player 2 turns left
    NextPass();
    const uint8_t* keys = host_->KeyStates();
    EXPECT_EQ((std::tuple{keys[0xC8], keys[0x1E], keys[0xCB], keys[0x11]}), (std::tuple{0x80, 0x80, 0, 0}));
    host_->Rumble(0, 100, 50);
    EXPECT_EQ(RumbleSeen, 0xFFFF);

    SDL_JoystickClose(pad2);
    SDL_JoystickDetachVirtual(second);
    NextPass();
    keys = host_->KeyStates();
    EXPECT_EQ((std::tuple{keys[0xC8], keys[0x1E]}), (std::tuple{0x80, 0}));

    host_->SetPadContext(PadContext::Pointer);
    SDL_JoystickSetVirtualButton(pad1, SDL_CONTROLLER_BUTTON_X, 0);
    SDL_JoystickSetVirtualAxis(pad1, SDL_CONTROLLER_AXIS_LEFTX, 32767);
    int32_t moved = 0;
    for (int i = 0; i < 20; ++i) {
        NextPass();
        moved += std::get<0>(Take());
    }
    EXPECT_GT(moved, 40);
    SDL_JoystickSetVirtualAxis(pad1, SDL_CONTROLLER_AXIS_LEFTX, 0);
    SDL_JoystickSetVirtualButton(pad1, SDL_CONTROLLER_BUTTON_A, 1);
    NextPass();
    EXPECT_TRUE(std::get<2>(Take()));
    EXPECT_EQ(host_->KeyStates()[0xC8], 0);

    // Bindings and rumble changed on the options screen hold at once; a
    // button waits for the Binding context.
    SDL_JoystickSetVirtualButton(pad1, SDL_CONTROLLER_BUTTON_A, 0);
    Settings next = host_->CurrentSettings();
    next.pad.button[kPadBoost] = kPadLeftShoulder;
    next.rumble = false;
    char reason[256] = "";
    ASSERT_TRUE(host_->ChangeSettings(next, reason, sizeof reason)) << reason;
    host_->SetPadContext(PadContext::Play);
    NextPass();
    SDL_JoystickSetVirtualButton(pad1, SDL_CONTROLLER_BUTTON_LEFTSHOULDER, 1);  // now boost
    NextPass();
    EXPECT_EQ((std::tuple{host_->KeyStates()[0xC8], host_->TakePadButton()}), (std::tuple{0x80, -1}));
    RumbleSeen = 0;
    host_->Rumble(0, 100, 50);
    EXPECT_EQ(RumbleSeen, 0);
    host_->SetPadContext(PadContext::Binding);
    SDL_JoystickSetVirtualButton(pad1, SDL_CONTROLLER_BUTTON_LEFTSHOULDER, 0);
    SDL_JoystickSetVirtualButton(pad1, SDL_CONTROLLER_BUTTON_Y, 1);
    NextPass();
    EXPECT_EQ((std::tuple{host_->KeyStates()[0xC8], host_->TakePadButton(), host_->TakePadButton()}),
              (std::tuple{0, int(kPadY), -1}));
    SDL_JoystickClose(pad1);
    SDL_JoystickDetachVirtual(first);
}

}  // namespace
