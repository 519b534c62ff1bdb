// The game allocates everything during start-up and level loads; a frame of
// any screen, or of play, must not touch the heap. This binary counts every
// heap allocation the process makes (malloc and friends and every operator
// new; under AddressSanitizer through its allocation hooks) and runs the
// whole game headless, counting only inside the frames.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "io/Input.h"
#include "support/GameHarness.h"

#if defined(__SANITIZE_ADDRESS__)
#define VC_ALLOC_HOOKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VC_ALLOC_HOOKS 1
#endif
#endif

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void Count() {
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

#if defined(VC_ALLOC_HOOKS)
// The sanitizer owns malloc and operator new; it reports each allocation.
// (Declared here: GCC does not install the sanitizer interface headers.)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, size_t),
                                                         void (*free_hook)(const volatile void*));

namespace {
void OnMalloc(const volatile void*, size_t) { Count(); }
void OnFree(const volatile void*) {}
[[maybe_unused]] const int hooksInstalled = __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
}  // namespace
#else
// Every allocation function of the C library, counted and passed on.
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);

void* malloc(size_t n) {
    Count();
    return __libc_malloc(n);
}
void* calloc(size_t n, size_t size) {
    Count();
    return __libc_calloc(n, size);
}
void* realloc(void* p, size_t n) {
    Count();
    return __libc_realloc(p, n);
}
void free(void* p) { __libc_free(p); }
void* memalign(size_t alignment, size_t n) {
    Count();
    return __libc_memalign(alignment, n);
}
void* aligned_alloc(size_t alignment, size_t n) {
    Count();
    return __libc_memalign(alignment, n);
}
int posix_memalign(void** out, size_t alignment, size_t n) {
    Count();
    void* p = __libc_memalign(alignment, n);
    if (!p) return ENOMEM;
    *out = p;
    return 0;
}
}

// operator new without relying on how the C++ library reaches malloc.
void* operator new(size_t n) {
    Count();
    if (void* p = __libc_malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t n) { return operator new(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept {
    Count();
    return __libc_malloc(n ? n : 1);
}
void* operator new[](size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void operator delete(void* p) noexcept { __libc_free(p); }
void operator delete[](void* p) noexcept { __libc_free(p); }
void operator delete(void* p, size_t) noexcept { __libc_free(p); }
void operator delete[](void* p, size_t) noexcept { __libc_free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { __libc_free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { __libc_free(p); }
#endif

namespace {

// Counts the allocations made while it lives.
class AllocationCount {
public:
    AllocationCount() {
        allocations.store(0);
        counting.store(true);
    }
    ~AllocationCount() { counting.store(false); }
    long Stop() {
        counting.store(false);
        return allocations.load();
    }
};

void* volatile escape = nullptr;

TEST(AllocationCounter, SeesMallocAndNew) {
    AllocationCount count;
    int* p = new int(7);
    escape = p;
    void* q = std::malloc(24);
    escape = q;
    char* r = new char[100];
    escape = r;
    const long seen = count.Stop();
    delete p;
    std::free(q);
    delete[] r;
    EXPECT_GE(seen, 3);
}

constexpr int kOneX = 225 + 90, kOneY = 120 + 30;
constexpr int kTwoX = 222 + 90, kTwoY = 185 + 30;
constexpr int kHighScoresX = 197 + 120, kHighScoresY = 250 + 45;
constexpr int kInfoX = 272 + 40, kInfoY = 345 + 25;

class FrameAllocations : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(h.Start());
        ASSERT_TRUE(h.Passes(140));  // the menu items have slid in
    }
    void Key(uint8_t code, bool down) { h.host.SetKey(code, down); }
    GameHarness h;
};

TEST_F(FrameAllocations, MenuFramesAllocateNothing) {
    AllocationCount count;
    // Idle, then hovering over every item (touch sounds), the difficulty
    // labels and the hum switch area, then idle again.
    ASSERT_TRUE(h.Passes(100));
    for (int round = 0; round < 3; ++round)
        for (const auto& p : {std::pair{kOneX, kOneY}, std::pair{kTwoX, kTwoY}, std::pair{kHighScoresX, kHighScoresY},
                              std::pair{kInfoX, kInfoY}, std::pair{560, 30}, std::pair{20, 460}}) {
            h.host.MoveMouseTo(p.first, p.second);
            ASSERT_TRUE(h.Passes(7));
        }
    ASSERT_TRUE(h.Passes(200));
    EXPECT_EQ(count.Stop(), 0);
    EXPECT_EQ(h.game->state, GameState::MainMenu);
}

TEST_F(FrameAllocations, HighScoreAndInfoFramesAllocateNothing) {
    h.Click(kHighScoresX, kHighScoresY);
    ASSERT_EQ(h.game->state, GameState::HighScores);
    {
        AllocationCount count;
        h.host.MoveMouseTo(300, 300);
        ASSERT_TRUE(h.Passes(200));
        EXPECT_EQ(count.Stop(), 0) << "high-score screen";
    }
    Key(DIK_ESCAPE, true);
    h.Pass();
    Key(DIK_ESCAPE, false);
    h.Click(kInfoX, kInfoY);
    ASSERT_EQ(h.game->state, GameState::Info);
    AllocationCount count;
    h.host.MoveMouseTo(600, 440);  // the ball and its sound
    ASSERT_TRUE(h.Passes(100));
    h.host.MoveMouseTo(100, 100);
    ASSERT_TRUE(h.Passes(100));
    EXPECT_EQ(count.Stop(), 0) << "info screen";
}

TEST_F(FrameAllocations, SetupFramesAllocateNothing) {
    h.Click(kTwoX, kTwoY);
    ASSERT_EQ(h.game->state, GameState::PlayerSetup);
    AllocationCount count;
    // Typing a name, with a backspace.
    for (const uint8_t code : {DIK_A, DIK_D, DIK_BACK, DIK_S, DIK_W, DIK_Y}) {
        Key(code, true);
        ASSERT_TRUE(h.Passes(3));
        Key(code, false);
        ASSERT_TRUE(h.Passes(3));
    }
    h.host.MoveMouseTo(400, 300);
    ASSERT_TRUE(h.Passes(200));
    EXPECT_EQ(count.Stop(), 0);
    EXPECT_EQ(h.game->state, GameState::PlayerSetup);
}

TEST_F(FrameAllocations, PlayFramesAllocateNothing) {
    h.Click(kTwoX, kTwoY);
    ASSERT_EQ(h.game->state, GameState::PlayerSetup);
    for (int player = 0; player < 2; ++player) {  // two names and ships, confirmed
        Key(DIK_RETURN, true);
        h.Pass();
        Key(DIK_RETURN, false);
        h.Pass();
    }
    ASSERT_EQ(h.game->state, GameState::Playing) << "the first level is loaded here";

    // Keep this one level going: lives to spare and a target out of reach,
    // so that no game over (a file save) and no level change (a level load)
    // falls into the count.
    Match& match = h.game->match;
    match.arena.header.target = 900;
    for (Worm& w : match.worms) w.stats.lives = 99;

    AllocationCount count;
    ASSERT_TRUE(h.Passes(50));  // the level intro
    Key(DIK_SPACE, true);
    h.Pass();
    Key(DIK_SPACE, false);
    ASSERT_TRUE(match.worms[0].active && match.worms[1].active);
    const Segment start0 = match.worms[0].segments[1];
    // Both worms fly, turn, boost, brake and try their gates: eating,
    // crashing and warping as it comes.
    const uint8_t keys[][2] = {{DIK_UP, DIK_W},     {DIK_LEFT, DIK_A},        {DIK_DOWN, DIK_S},
                               {DIK_RIGHT, DIK_D},  {DIK_RCONTROL, DIK_LCONTROL}, {DIK_UP, DIK_W}};
    for (int round = 0; round < 10; ++round)
        for (const auto& pair : keys) {
            Key(pair[0], true);
            Key(pair[1], true);
            ASSERT_TRUE(h.Passes(12));
            Key(pair[0], false);
            Key(pair[1], false);
            ASSERT_TRUE(h.Passes(20));
            if (!match.worms[0].active || !match.worms[1].active) {
                Key(DIK_SPACE, true);  // a worm that lost a life starts again
                h.Pass();
                Key(DIK_SPACE, false);
            }
        }
    // Esc freezes the game behind the exit box; N goes on.
    Key(DIK_ESCAPE, true);
    ASSERT_TRUE(h.Passes(5));
    Key(DIK_ESCAPE, false);
    ASSERT_TRUE(h.Passes(5));
    Key(DIK_N, true);
    h.Pass();
    Key(DIK_N, false);
    ASSERT_TRUE(h.Passes(50));
    const long seen = count.Stop();
    const Segment& head0 = match.worms[0].segments[1];
    EXPECT_TRUE(head0.cellX != start0.cellX || head0.cellY != start0.cellY) << "the worm never moved";
    ASSERT_EQ(match.levelIndex, 0) << "a level change happened while counting";
    ASSERT_FALSE(match.resultsSaved) << "the game ended while counting";
    EXPECT_EQ(seen, 0);
    EXPECT_EQ(h.game->state, GameState::Playing);
}

TEST_F(FrameAllocations, ALevelLoadIsCounted) {
    // The counter sees the game's own allocations: a level load opens files
    // and reads its picture through a heap buffer.
    h.Click(kOneX, kOneY);
    Key(DIK_RETURN, true);
    h.Pass();
    Key(DIK_RETURN, false);
    h.Pass();
    ASSERT_EQ(h.game->state, GameState::Playing);
    AllocationCount count;
    h.game->match.levelIndex = 1;
    ASSERT_TRUE(h.game->match.LoadLevel());
    EXPECT_GT(count.Stop(), 0);
}

}  // namespace
