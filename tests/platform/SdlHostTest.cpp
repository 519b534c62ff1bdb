// The real window host, run on SDL's dummy video driver (no X server needed)
// and its dummy or disk sound drivers.
#include "platform/SdlHost.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Host.h"

namespace {

class CountingSource final : public AudioSource {
public:
    void Render(float* out, int frames, int rate) override {
        for (int i = 0; i < frames; ++i) out[i] = (produced + i) % 2 == 0 ? 0.5f : 2.0f;
        produced += frames;
        lastRate = rate;
        calls.fetch_add(1);
    }
    std::atomic<int> calls{0};
    std::atomic<int> lastRate{0};
    long produced = 0;
};

SDL_Window* FindWindow() {
    for (Uint32 id = 1; id < 64; ++id) {
        if (SDL_Window* window = SDL_GetWindowFromID(id)) return window;
    }
    return nullptr;
}

class SdlHostTest : public testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        unsetenv("VOIDCRAWL_WINDOWED");
        host_ = CreateSdlHost();
    }
    void TearDown() override { delete host_; }

    void InitAll() {
        char reason[256] = "";
        ASSERT_TRUE(host_->InitInput(reason, sizeof reason)) << reason;
        ASSERT_TRUE(host_->InitAudio(&source_, reason, sizeof reason)) << reason;
        ASSERT_TRUE(host_->InitDisplay(reason, sizeof reason)) << reason;
        window_ = FindWindow();
        ASSERT_NE(window_, nullptr);
    }

    // Where the game's picture lies in the window: whole scale, centred.
    void PictureArea(int* scale, int* left, int* top) const {
        int width = 0, height = 0;
        SDL_GetWindowSize(window_, &width, &height);
        int byWidth = width / kScreenWidth;
        int byHeight = height / kScreenHeight;
        *scale = byWidth < byHeight ? byWidth : byHeight;
        *left = (width - kScreenWidth * *scale) / 2;
        *top = (height - kScreenHeight * *scale) / 2;
    }

    void Push(const SDL_Event& event) {
        SDL_Event copy = event;
        ASSERT_EQ(SDL_PushEvent(&copy), 1) << SDL_GetError();
    }

    void Key(SDL_Scancode scancode, bool down, Uint16 mod = KMOD_NONE) {
        SDL_Event event;
        SDL_zero(event);
        event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        event.key.windowID = SDL_GetWindowID(window_);
        event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        event.key.keysym.scancode = scancode;
        event.key.keysym.sym = SDL_GetKeyFromScancode(scancode);
        event.key.keysym.mod = mod;
        Push(event);
    }

    void MouseAt(int windowX, int windowY) {
        SDL_Event event;
        SDL_zero(event);
        event.type = SDL_MOUSEMOTION;
        event.motion.windowID = SDL_GetWindowID(window_);
        event.motion.x = windowX;
        event.motion.y = windowY;
        Push(event);
    }

    Host* host_ = nullptr;
    CountingSource source_;
    SDL_Window* window_ = nullptr;
};

TEST_F(SdlHostTest, OpensTheTitledWindowFullScreenByDefault) {
    InitAll();
    EXPECT_STREQ(SDL_GetWindowTitle(window_), "VoidCrawl - V1.0");
    EXPECT_EQ(SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN_DESKTOP, SDL_WINDOW_FULLSCREEN_DESKTOP);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
}

TEST_F(SdlHostTest, WindowedStartSizesTheWindowToAWholeMultiple) {
    setenv("VOIDCRAWL_WINDOWED", "1", 1);
    InitAll();
    EXPECT_EQ(SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN, 0u);
    int width = 0, height = 0;
    SDL_GetWindowSize(window_, &width, &height);
    ASSERT_GE(width, kScreenWidth);
    EXPECT_EQ(width % kScreenWidth, 0);
    EXPECT_EQ(width / kScreenWidth * kScreenHeight, height);
}

TEST_F(SdlHostTest, FailuresCarrySdlsReason) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    char reason[256] = "";
    EXPECT_TRUE(host_->InitInput(reason, sizeof reason)) << reason;
    EXPECT_FALSE(host_->InitAudio(&source_, reason, sizeof reason));
    EXPECT_NE(std::strlen(reason), 0u);
    reason[0] = '\0';
    EXPECT_FALSE(host_->InitDisplay(reason, sizeof reason));
    EXPECT_NE(std::strlen(reason), 0u);
    // Shutting down what never opened is harmless.
    host_->ShutdownAudio();
    host_->ShutdownDisplay();
    host_->ShutdownInput();
}

TEST_F(SdlHostTest, ShowsThePresentedPictureScaledCentredAndThroughThePalette) {
    InitAll();
    static uint8_t pixels[kScreenWidth * kScreenHeight];
    static PaletteEntry palette[kPaletteSize];
    for (int i = 0; i < kPaletteSize; ++i) {
        palette[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), 0x40, 4};
    }
    for (int y = 0; y < kScreenHeight; ++y) {
        for (int x = 0; x < kScreenWidth; ++x) pixels[y * kScreenWidth + x] = static_cast<uint8_t>(x ^ y);
    }
    host_->Present(pixels, palette);
    // The picture may wait for the monitor's next refresh; the host's own
    // waits must show it soon without another Present.
    SDL_Surface* surface = SDL_GetWindowSurface(window_);
    ASSERT_NE(surface, nullptr);
    int scale, left, top;
    PictureArea(&scale, &left, &top);
    ASSERT_GE(scale, 1);
    auto at = [&](int x, int y) {
        Uint32 value = 0;
        std::memcpy(&value, static_cast<uint8_t*>(surface->pixels) + y * surface->pitch + x * 4, 4);
        Uint8 r, g, b;
        SDL_GetRGB(value, surface->format, &r, &g, &b);
        return (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) | b;
    };
    auto expected = [&](int x, int y) {
        const PaletteEntry& e = palette[static_cast<uint8_t>(x ^ y)];
        return (static_cast<uint32_t>(e.red) << 16) | (static_cast<uint32_t>(e.green) << 8) | e.blue;
    };
    int steps = 0;
    while (at(left + 5 * scale, top + 3 * scale) != expected(5, 3) && steps < 20) {
        host_->PaceFadeStep();
        ++steps;
    }
    ASSERT_LT(steps, 8) << "the pending picture was never shown";
    const int probes[][2] = {{0, 0}, {639, 0}, {0, 479}, {639, 479}, {123, 321}, {320, 240}};
    for (const auto& p : probes) {
        for (int dy = 0; dy < scale; ++dy) {
            for (int dx = 0; dx < scale; ++dx) {
                EXPECT_EQ(at(left + p[0] * scale + dx, top + p[1] * scale + dy), expected(p[0], p[1]))
                    << p[0] << "," << p[1];
            }
        }
    }
    if (left > 0) {
        EXPECT_EQ(at(left - 1, top), 0u) << "black left of the picture";
    }
    if (top > 0) {
        EXPECT_EQ(at(left, top - 1), 0u) << "black above the picture";
    }

    // A palette change alone shows on the next present.
    for (int i = 0; i < kPaletteSize; ++i) palette[i] = {0, 0, 0, 4};
    host_->Present(pixels, palette);
    steps = 0;
    while (at(left + 5 * scale, top + 3 * scale) != 0u && steps < 20) {
        host_->PaceFadeStep();
        ++steps;
    }
    EXPECT_LT(steps, 8);
}

TEST_F(SdlHostTest, KeysAreHeldByPhysicalPositionAndClearedWhenFocusIsLost) {
    InitAll();
    const uint8_t* keys = host_->KeyStates();
    Key(SDL_SCANCODE_A, true);
    Key(SDL_SCANCODE_LEFT, true);
    host_->PumpEvents();
    EXPECT_EQ(keys[0x1E], 0x80);
    EXPECT_EQ(keys[0xCB], 0x80);
    host_->EndPass(host_->Ticks());
    Key(SDL_SCANCODE_A, false);
    host_->PumpEvents();
    EXPECT_EQ(keys[0x1E], 0);
    EXPECT_EQ(keys[0xCB], 0x80);

    SDL_Event focus;
    SDL_zero(focus);
    focus.type = SDL_WINDOWEVENT;
    focus.window.windowID = SDL_GetWindowID(window_);
    focus.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
    Push(focus);
    host_->PumpEvents();
    EXPECT_EQ(keys[0xCB], 0) << "a key released elsewhere must not stick";
}

TEST_F(SdlHostTest, ATapWithinOnePassIsSeenForThatWholePass) {
    InitAll();
    const uint8_t* keys = host_->KeyStates();
    Key(SDL_SCANCODE_SPACE, true);
    Key(SDL_SCANCODE_SPACE, false);
    SDL_Event click;
    SDL_zero(click);
    click.type = SDL_MOUSEBUTTONDOWN;
    click.button.windowID = SDL_GetWindowID(window_);
    click.button.button = SDL_BUTTON_LEFT;
    click.button.state = SDL_PRESSED;
    Push(click);
    click.type = SDL_MOUSEBUTTONUP;
    click.button.state = SDL_RELEASED;
    Push(click);
    host_->PumpEvents();
    // The game may pump again within the pass (reading the keyboard does).
    host_->PumpEvents();
    int32_t dx, dy;
    uint8_t button = 0;
    host_->TakeMouse(&dx, &dy, &button);
    EXPECT_EQ(keys[0x39], 0x80);
    EXPECT_NE(button, 0);
    host_->EndPass(host_->Ticks());
    host_->PumpEvents();
    host_->TakeMouse(&dx, &dy, &button);
    EXPECT_EQ(keys[0x39], 0);
    EXPECT_EQ(button, 0);

    // A key released in a later pass goes up at once.
    Key(SDL_SCANCODE_SPACE, true);
    host_->PumpEvents();
    host_->EndPass(host_->Ticks());
    Key(SDL_SCANCODE_SPACE, false);
    host_->PumpEvents();
    EXPECT_EQ(keys[0x39], 0);

    // Released, pressed again and held within one pass: still down after.
    Key(SDL_SCANCODE_SPACE, true);
    host_->PumpEvents();
    host_->EndPass(host_->Ticks());
    Key(SDL_SCANCODE_SPACE, false);
    Key(SDL_SCANCODE_SPACE, true);
    host_->PumpEvents();
    host_->EndPass(host_->Ticks());
    host_->PumpEvents();
    EXPECT_EQ(keys[0x39], 0x80);
}

TEST_F(SdlHostTest, AltEnterAndF11ToggleTheWindowWithoutReachingTheGame) {
    InitAll();
    const uint8_t* keys = host_->KeyStates();
    Key(SDL_SCANCODE_RETURN, true, KMOD_LALT);
    host_->PumpEvents();
    EXPECT_EQ(keys[0x1C], 0);
    EXPECT_EQ(SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN, 0u);
    Key(SDL_SCANCODE_RETURN, false, KMOD_LALT);
    Key(SDL_SCANCODE_F11, true);
    host_->PumpEvents();
    EXPECT_EQ(keys[0x57], 0);
    EXPECT_NE(SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN, 0u);
    // Enter alone is the game's.
    Key(SDL_SCANCODE_RETURN, true);
    host_->PumpEvents();
    EXPECT_EQ(keys[0x1C], 0x80);
}

TEST_F(SdlHostTest, TheWindowsCloseButtonRequestsClosing) {
    InitAll();
    host_->PumpEvents();
    EXPECT_FALSE(host_->CloseRequested());
    SDL_Event quit;
    SDL_zero(quit);
    quit.type = SDL_QUIT;
    Push(quit);
    host_->PumpEvents();
    EXPECT_TRUE(host_->CloseRequested());
}

TEST_F(SdlHostTest, PointerMotionIsReportedInGamePixelsFromTheMiddle) {
    InitAll();
    int scale, left, top;
    PictureArea(&scale, &left, &top);
    int32_t dx = 0, dy = 0;
    uint8_t button = 0;
    MouseAt(left + 100 * scale, top + 50 * scale);
    host_->PumpEvents();
    host_->TakeMouse(&dx, &dy, &button);
    EXPECT_EQ(dx, 100 - 320);
    EXPECT_EQ(dy, 50 - 240);
    EXPECT_EQ(button, 0);
    host_->TakeMouse(&dx, &dy, &button);
    EXPECT_EQ(dx, 0);
    EXPECT_EQ(dy, 0);

    // Beyond the picture the pointer stops at the screen's edge.
    MouseAt(0, 0);
    host_->PumpEvents();
    host_->TakeMouse(&dx, &dy, &button);
    EXPECT_EQ(dx, -100);
    EXPECT_EQ(dy, -50);
    int width = 0, height = 0;
    SDL_GetWindowSize(window_, &width, &height);
    MouseAt(width - 1, height - 1);
    host_->PumpEvents();
    host_->TakeMouse(&dx, &dy, &button);
    EXPECT_EQ(dx, 639);
    EXPECT_EQ(dy, 479);

    SDL_Event click;
    SDL_zero(click);
    click.type = SDL_MOUSEBUTTONDOWN;
    click.button.windowID = SDL_GetWindowID(window_);
    click.button.button = SDL_BUTTON_LEFT;
    click.button.state = SDL_PRESSED;
    click.button.x = left + 300 * scale;
    click.button.y = top + 400 * scale;
    Push(click);
    host_->PumpEvents();
    host_->TakeMouse(&dx, &dy, &button);
    EXPECT_NE(button, 0);
    EXPECT_EQ(dx, 300 - 639);
    EXPECT_EQ(dy, 400 - 479);
    host_->EndPass(host_->Ticks());
    click.type = SDL_MOUSEBUTTONUP;
    click.button.state = SDL_RELEASED;
    Push(click);
    host_->PumpEvents();
    host_->TakeMouse(&dx, &dy, &button);
    EXPECT_EQ(button, 0);
}

// Medians, so that a busy machine preempting a pass now and then does not
// decide the outcome.
uint32_t Median(std::vector<uint32_t> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

TEST_F(SdlHostTest, EndPassKeepsTheTenMillisecondFloorWithoutCatchingUp) {
    InitAll();
    std::vector<uint32_t> passes;
    for (int i = 0; i < 21; ++i) {
        uint32_t passStart = host_->Ticks();
        host_->EndPass(passStart);
        uint32_t took = host_->Ticks() - passStart;
        EXPECT_GE(took, 10u);
        passes.push_back(took);
    }
    EXPECT_LE(Median(passes), 11u);

    // A pass that already took 25 ms returns at once.
    std::vector<uint32_t> waits;
    for (int i = 0; i < 9; ++i) {
        uint32_t passStart = host_->Ticks();
        SDL_Delay(25);
        uint32_t before = host_->Ticks();
        host_->EndPass(passStart);
        waits.push_back(host_->Ticks() - before);
    }
    EXPECT_LE(Median(waits), 1u);
}

TEST_F(SdlHostTest, FadeStepsAreAboutTenMilliseconds) {
    InitAll();
    std::vector<uint32_t> steps;
    uint32_t start = host_->Ticks();
    for (int i = 0; i < 43; ++i) {
        uint32_t before = host_->Ticks();
        host_->PaceFadeStep();
        steps.push_back(host_->Ticks() - before);
    }
    EXPECT_GE(host_->Ticks() - start, 430u);
    EXPECT_GE(Median(steps), 10u);
    EXPECT_LE(Median(steps), 11u);
}

TEST_F(SdlHostTest, SoundIsPulledAtTheDeviceRateAndTheLockHoldsItOff) {
    InitAll();
    for (int i = 0; i < 100 && source_.calls.load() == 0; ++i) SDL_Delay(10);
    ASSERT_GT(source_.calls.load(), 0);
    EXPECT_GT(source_.lastRate.load(), 0);
    host_->LockAudio();
    int held = source_.calls.load();
    SDL_Delay(100);
    EXPECT_EQ(source_.calls.load(), held);
    host_->UnlockAudio();
    for (int i = 0; i < 100 && source_.calls.load() == held; ++i) SDL_Delay(10);
    EXPECT_GT(source_.calls.load(), held);
}

TEST_F(SdlHostTest, MonoIsCopiedToEveryChannelAndClamped) {
    // The disk driver writes what the device would play into a file.
    char pattern[] = "/tmp/voidcrawl-audio-XXXXXX";
    int fd = mkstemp(pattern);
    ASSERT_GE(fd, 0);
    close(fd);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", pattern, 1);
    char reason[256] = "";
    ASSERT_TRUE(host_->InitAudio(&source_, reason, sizeof reason)) << reason;
    for (int i = 0; i < 100 && source_.calls.load() < 3; ++i) SDL_Delay(10);
    host_->ShutdownAudio();

    std::FILE* file = std::fopen(pattern, "rb");
    ASSERT_NE(file, nullptr);
    std::vector<float> samples(1 << 18);
    size_t count = std::fread(samples.data(), sizeof(float), samples.size(), file);
    std::fclose(file);
    std::remove(pattern);
    // The device may play a buffer of silence before it first asks for sound.
    size_t start = 0;
    while (start < count && samples[start] == 0.0f) ++start;
    ASSERT_GE(count, start + 64) << "too little sound was written";
    // Frames alternate 0.5 and 2.0 (played as 1.0), the same in both channels.
    for (size_t i = 0; i < 64; i += 2) {
        EXPECT_FLOAT_EQ(samples[start + i], samples[start + i + 1]) << i;
        EXPECT_FLOAT_EQ(samples[start + i], (i / 2) % 2 == 0 ? 0.5f : 1.0f) << i;
    }
}

}  // namespace
