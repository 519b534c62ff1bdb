// The game allocates everything during start-up and level loads; a frame of
// any screen, or of play, must not touch the heap. This binary counts every
// heap allocation the process makes (malloc and friends and every operator
// new; under AddressSanitizer through its allocation hooks) and runs the
// whole game headless, counting only inside the frames.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <thread>

#include "app/CommandLine.h"
#include "io/Input.h"
#include "match/RollbackSession.h"
#include "match/SessionTape.h"
#include "net/UdpLink.h"
#include "support/FakeWorldLink.h"
#include "support/GameHarness.h"
#include "support/MemoryNetLink.h"

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
}

// operator new without relying on how the C++ library reaches malloc.
void* operator new(size_t n) {
    Count();
    if (void* p = __libc_malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t n) { return operator new(n); }
void operator delete(void* p) noexcept { __libc_free(p); }
void operator delete[](void* p) noexcept { __libc_free(p); }
void operator delete(void* p, size_t) noexcept { __libc_free(p); }
void operator delete[](void* p, size_t) noexcept { __libc_free(p); }
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

// Every screen and a long stretch of two-player play: the menu hovered
// (touch sounds), the high-score, info and options screens (an entry
// waiting for its key), the two-players screen, names typed on the
// set-up screen, both worms flying, turning, boosting, braking, warping,
// eating and crashing, and the exit box; then a level load, which does
// allocate, shows the counter sees the game's own allocations.
TEST(FrameAllocations, NoFrameOfAnyScreenOrOfPlayAllocates) {
    GameHarness h;
    ASSERT_TRUE(h.Start());
    ASSERT_TRUE(h.Passes(140));  // the menu items have slid in
    auto framesAllocate = [&](const char* what, auto frames) {
        AllocationCount count;
        frames();
        EXPECT_EQ(count.Stop(), 0) << what;
    };
    framesAllocate("menu", [&] {
        for (int round = 0; round < 2; ++round)
            for (auto [x, y] : {std::pair{315, 150}, {312, 215}, {317, 295}, {312, 370}, {560, 30}, {20, 460}}) {
                h.host.MoveMouseTo(x, y);
                ASSERT_TRUE(h.Passes(7));
            }
    });
    h.Click(317, 295);
    ASSERT_EQ(h.game->state, GameState::HighScores);
    framesAllocate("high scores", [&] { ASSERT_TRUE(h.Passes(100)); });
    h.Tap(DIK_ESCAPE);
    h.Click(312, 370);
    ASSERT_EQ(h.game->state, GameState::Info);
    h.host.MoveMouseTo(600, 440);  // the ball and its sound
    framesAllocate("info", [&] { ASSERT_TRUE(h.Passes(100)); });
    h.Tap(DIK_ESCAPE);
    h.Tap(DIK_O);
    ASSERT_EQ(h.game->state, GameState::Options);
    auto pointAt = [&](int entry) {
        const OptionsScreen::Box& b = OptionsScreen::EntryBox(entry);
        h.host.MoveMouseTo(b.x + 4, b.y + 4);
    };
    framesAllocate("options", [&] {
        for (int entry : {OptionsScreen::kScaleEntry, OptionsScreen::kFirstKey, OptionsScreen::kBackEntry}) {
            pointAt(entry);
            ASSERT_TRUE(h.Passes(7));
        }
    });
    pointAt(OptionsScreen::kFirstKey);
    h.Click(h.host.PointerX(), h.host.PointerY());
    ASSERT_EQ(h.game->optionsScreen.waiting, OptionsScreen::kFirstKey);
    framesAllocate("options waiting for a key", [&] { ASSERT_TRUE(h.Passes(60)); });
    h.Tap(DIK_ESCAPE);  // the wait ends
    pointAt(OptionsScreen::kPageEntry);
    h.Click(h.host.PointerX(), h.host.PointerY());
    ASSERT_EQ(h.game->optionsScreen.page, OptionsScreen::Page::Online);
    pointAt(OptionsScreen::kServerEntry);
    h.Click(h.host.PointerX(), h.host.PointerY());
    ASSERT_TRUE(h.game->optionsScreen.typing);
    framesAllocate("options, the server typed", [&] {
        for (int code : {0x23, 0x14, int{DIK_BACK}, int{DIK_BACK}}) h.Tap(static_cast<uint8_t>(code));
        ASSERT_TRUE(h.Passes(30));
    });
    h.Tap(DIK_ESCAPE);  // the typing ends, then the screen
    h.Tap(DIK_ESCAPE);
    ASSERT_EQ(h.game->state, GameState::MainMenu);
    // With a link TWO PLAYERS asks where the players play: hovered, an
    // address typed and refused, then this keyboard.
    MemoryWire wire(0, 0, 0, 1);
    MemoryNetLink link(&wire, &wire);
    h.game->online.link = &link;
    h.Click(312, 215);  // TWO PLAYERS
    ASSERT_EQ(h.game->state, GameState::TwoPlayers);
    auto clickEntry = [&](int entry) {
        const ScreenBox& b = TwoPlayersScreen::EntryBox(entry);
        h.Click(b.x + 4, b.y + 4);
    };
    framesAllocate("two players", [&] {
        for (int entry :
             {TwoPlayersScreen::kHostEntry, TwoPlayersScreen::kAddressField, TwoPlayersScreen::kBackEntry}) {
            const ScreenBox& b = TwoPlayersScreen::EntryBox(entry);
            h.host.MoveMouseTo(b.x + 4, b.y + 4);
            ASSERT_TRUE(h.Passes(7));
        }
        clickEntry(TwoPlayersScreen::kAddressField);
        for (const uint8_t code : {DIK_A, DIK_S, DIK_BACK, DIK_D}) h.Tap(code);
        h.Tap(0x27);  // ':' and no port after it
        clickEntry(TwoPlayersScreen::kJoinEntry);
        ASSERT_TRUE(h.Passes(50));
    });
    ASSERT_EQ(std::string(h.game->twoPlayersScreen.notice), "Cannot join: no port after the colon");
    clickEntry(TwoPlayersScreen::kKeyboardEntry);
    ASSERT_EQ(h.game->state, GameState::PlayerSetup);
    framesAllocate("set-up", [&] {
        for (const uint8_t code : {DIK_A, DIK_D, DIK_BACK, DIK_S}) h.Tap(code);
        ASSERT_TRUE(h.Passes(50));
    });
    h.Tap(DIK_RETURN);
    h.Tap(DIK_RETURN);
    ASSERT_EQ(h.game->state, GameState::Playing);
    // One level kept going: lives to spare and a target out of reach, so
    // that no game over (a file save) and no level load falls into the count.
    Match& match = h.game->match;
    match.arena.header.target = 900;
    for (Worm& w : match.worms) w.stats.lives = 99;
    const Segment start = match.worms[0].segments[1];
    bool moved = false;
    auto play = [&](int rounds) {
        const uint8_t keys[][2] = {
            {DIK_UP, DIK_W}, {DIK_LEFT, DIK_A}, {DIK_DOWN, DIK_S}, {DIK_RIGHT, DIK_D}, {DIK_RCONTROL, DIK_LCONTROL},
            {DIK_UP, DIK_W}};
        for (int round = 0; round < rounds; ++round)
            for (const auto& pair : keys) {
                h.Tap(DIK_SPACE);  // a worm that lost a life starts again
                h.host.SetKey(pair[0], true);
                h.host.SetKey(pair[1], true);
                ASSERT_TRUE(h.Passes(12));
                // (It may be between lives, at no cell, when play ends.)
                const Segment& now = match.worms[0].segments[1];
                moved = moved || now.cellX != start.cellX || now.cellY != start.cellY;
                h.host.SetKey(pair[0], false);
                h.host.SetKey(pair[1], false);
                ASSERT_TRUE(h.Passes(20));
            }
    };
    framesAllocate("play", [&] {
        ASSERT_TRUE(h.Passes(50));  // the level intro
        play(10);
        h.Tap(DIK_ESCAPE);  // the exit box; N goes on
        h.Tap(DIK_N);
        ASSERT_TRUE(h.Passes(50));
    });
    // Every pass saved, run, put back and run again.
    const auto sync = std::make_unique<PlaySyncTest>();
    h.game->syncTest = sync.get();
    framesAllocate("play in the sync test", [&] { play(3); });
    h.game->syncTest = nullptr;
    EXPECT_GT(sync->Checked(), 500);
    EXPECT_FALSE(sync->Failed()) << sync->Failure();
    const Segment& head = match.worms[0].segments[1];
    EXPECT_TRUE(moved || head.cellX != start.cellX || head.cellY != start.cellY) << "the worm never moved";
    EXPECT_TRUE(match.levelIndex == 0 && !match.resultsSaved && h.game->state == GameState::Playing);
    AllocationCount count;
    match.levelIndex = 1;
    ASSERT_TRUE(match.LoadLevel());
    EXPECT_GT(count.Stop(), 0);
}

// Two machines playing online, rollbacks, state hashes and the recording of
// the confirmed passes included.
// A world link that serves a live game's feed from a fixed buffer, its
// answers made without allocating, so that only the game's are counted.
class StaticFeedLink final : public WorldLink {
public:
    uint8_t bytes[kReplayHeaderBytes + 1] = {};
    size_t size = 0;
    uint32_t from = 0;
    int asks = 0;
    bool Configured() const override { return true; }
    bool Send(const uint8_t*, size_t, const char*, char*, size_t) override { return false; }
    bool TakeSent(WorldSent*) override { return false; }
    void AskTable(int32_t) override {}
    WorldAnswer Table(WorldTable*, char*, size_t) override { return WorldAnswer::None; }
    void AskReplay(const char*) override {}
    WorldAnswer Replay(uint8_t*, size_t, size_t*, char*, size_t) override { return WorldAnswer::None; }
    void AskFeed(const char*, uint32_t at) override {
        from = at;
        ++asks;
    }
    WorldAnswer Feed(uint8_t* buffer, WorldFeedPart* part, char*, size_t) override {
        part->size = from < size ? size - from : 0;
        std::memcpy(buffer, bytes + from, part->size);
        part->held = static_cast<int64_t>(size);
        return WorldAnswer::Ready;
    }
};

// Watching a live game: its passes played as the feed grows, then frames
// that wait where the held passes end (the picture standing, the link
// asked again every frame).
TEST(FrameAllocations, NoFrameOfWatchingALiveGameAllocates) {
    GameHarness h;
    ASSERT_TRUE(h.Start());
    ASSERT_TRUE(h.Passes(140));
    const auto link = std::make_unique<StaticFeedLink>();
    const ReplayHeader header = LiveGameHeader(kGameVersion, h.game->playDataHash);
    WriteReplayHeader(header, link->bytes);
    link->bytes[kReplayHeaderBytes] = 0x80 + 99;  // 100 passes without a key; the game goes on
    link->size = sizeof link->bytes;
    ASSERT_TRUE(h.game->WatchLive(link.get(), "VKKMN"));
    for (int i = 0; i < 100 && !h.game->watchingLive; ++i) ASSERT_TRUE(h.Passes(1));
    ASSERT_TRUE(h.game->watchingLive) << h.game->live.Reason();
    ASSERT_TRUE(h.Passes(20));  // the level loaded
    {
        AllocationCount count;
        ASSERT_TRUE(h.Passes(300));
        EXPECT_EQ(count.Stop(), 0);
    }
    EXPECT_TRUE(h.game->watchingLive);
    EXPECT_TRUE(h.game->live.Waiting());
    EXPECT_EQ(h.game->recorder.onlineTape.Passes(), 99u);  // all but the last held: what follows it may not be
    EXPECT_GT(link->asks, 300);
}

TEST(FrameAllocations, NoPassOfOnlinePlayAllocates) {
    GameHarness h;
    ASSERT_TRUE(h.Start());
    Game& g = *h.game;
    const auto other = std::make_unique<Match>();
    other->Init(&g.bigFont, &g.smallFont, &g.mediumFont, &g.imageBank, &g.sounds, &g.shipBaseStats[0],
                &g.shipBaseStats[1], &g.setupScreen, &g.highScoreScreen, &g.cursor);
    Match* matches[2] = {&g.match, other.get()};
    uint32_t seeds[2] = {};
    for (int i = 0; i < 2; ++i) {
        SeedRandom(5);
        h.BeginMatchOn(*matches[i], 2, 0);
        for (Worm& w : matches[i]->worms) w.stats.lives = 99;
        matches[i]->arena.header.target = 900;
        seeds[i] = RandomState();
    }
    // Packets take 60 ms, one in seven is lost.
    const auto ab = std::make_unique<MemoryWire>(6, 0, 14, 3), ba = std::make_unique<MemoryWire>(6, 0, 14, 5);
    const auto hostLink = std::make_unique<MemoryNetLink>(ab.get(), ba.get());
    const auto joinLink = std::make_unique<MemoryNetLink>(ba.get(), ab.get());
    const auto peers = std::make_unique<NetPeer[]>(2);
    ASSERT_TRUE(GreetPeers(&peers[0], hostLink.get(), &peers[1], joinLink.get(), ab.get(), ba.get(), NetHello(), 1));
    std::unique_ptr<RollbackSession> sessions[2] = {std::make_unique<RollbackSession>(),
                                                    std::make_unique<RollbackSession>()};
    for (int i = 0; i < 2; ++i) sessions[i]->Begin(matches[i], seeds[i], i, 1, &peers[i]);
    static uint8_t bodies[2][16 * 1024];
    OnlineTape tapes[2];
    int32_t taped[2] = {};
    for (int i = 0; i < 2; ++i) tapes[i].Record(bodies[i], sizeof bodies[i]);
    {
        AllocationCount count;
        for (int loop = 0; loop < 1500; ++loop) {
            for (int i = 0; i < 2; ++i) {
                peers[i].Update(static_cast<uint32_t>(loop * 10));
                const int32_t pass = sessions[i]->Pass();
                const int phase = (pass + 19 * i) % 31;
                sessions[i]->Advance(
                    static_cast<uint8_t>((phase < 2 ? 1u << kKeyLeft : 0u) | (pass % 50 < 2 ? kPassSpace : 0u)));
                TapeConfirmedPasses(*sessions[i], sessions[i]->Confirmed(), &tapes[i], &taped[i]);
            }
            ab->Tick();
            ba->Tick();
        }
        EXPECT_EQ(count.Stop(), 0);
    }
    int64_t rollbacks = 0;
    for (int i = 0; i < 2; ++i) {
        const RollbackSession& s = *sessions[i];
        EXPECT_FALSE(s.OutOfStep());
        EXPECT_GT(s.HashesSent(), 5);
        rollbacks += s.Rollbacks();
        // Every confirmed pass and every hash handed over is on the tape.
        uint32_t passes = 0, hashes = 0;
        const char* why = nullptr;
        EXPECT_TRUE(OnlineTape::Check(bodies[i], tapes[i].Size(), &passes, &hashes, &why)) << why;
        EXPECT_EQ(passes, static_cast<uint32_t>(s.Confirmed()));
        EXPECT_EQ(hashes, static_cast<uint32_t>(s.HashesSent()));
    }
    EXPECT_GT(rollbacks, 0);
    other->Shutdown();
}

// The link over real sockets on loopback (IPv6, the host's one socket for
// both): from the greeting on, every datagram sealed, sent again, opened
// and acknowledged, with no allocation.
TEST(FrameAllocations, NoPassOfTheUdpLinkAllocates) {
    const auto links = std::make_unique<UdpLink[]>(2);
    const auto peers = std::make_unique<NetPeer[]>(2);
    ASSERT_TRUE(links[0].Host(0));
    const std::string address = "[::1]:" + std::to_string(links[0].Port());
    ASSERT_TRUE(links[1].Join(address.c_str())) << links[1].Failure();
    NetWelcome welcome;
    welcome.inputDelay = 1;
    peers[0].StartHost(&links[0], welcome);
    peers[1].StartJoin(&links[1], NetHello());
    const auto now = [] {
        return static_cast<uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
                .count());
    };
    for (int i = 0; i < 2000 && peers[1].GetState() != NetPeer::State::Playing; ++i) {
        for (int side = 0; side < 2; ++side) peers[side].Update(now());
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(peers[1].GetState(), NetPeer::State::Playing);
    {
        AllocationCount count;
        for (uint32_t pass = 0; pass < 300; ++pass) {
            for (int side = 0; side < 2; ++side) {
                NetInput in;
                in.keys = static_cast<uint8_t>((pass + static_cast<uint32_t>(side)) & kNetKeyBits);
                peers[side].SendInput(in);
                if (pass % kNetHashInterval == 0 && pass > 0) peers[side].SendHash(pass, pass);
                peers[side].Update(now());
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_EQ(count.Stop(), 0);
    }
    EXPECT_GT(peers[0].PeerPasses(), 200u);
    EXPECT_EQ(peers[0].GetState(), NetPeer::State::Playing);
}

}  // namespace
