#include "io/InputTape.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "io/ReplayFile.h"

namespace {

// One read of a pass, as the game would make it, and what it got.
struct Read {
    enum Kind { Keys, Mouse, Focus, Ticks, Hash, EndPass } kind;
    int32_t a = 0, b = 0;  // Keys: a key to hold down (-1 none), b a second one; Mouse: dx, dy
    uint32_t value = 0;    // Mouse: button; Focus: 0/1; Ticks: the tick count; Hash: the hash
};

std::vector<Read> EdgeCaseGame() {
    std::vector<Read> reads;
    auto pass = [&](std::initializer_list<Read> r) {
        reads.insert(reads.end(), r);
        reads.push_back({Read::EndPass});
    };
    pass({{Read::Keys, -1, -1}, {Read::Ticks, 0, 0, 123456}});      // the first tick read is stored whole
    pass({{Read::Keys, 0x39, -1}, {Read::Ticks, 0, 0, 123466}});    // SPACE down; 10 ms on
    for (int i = 0; i < 300; ++i) pass({{Read::Keys, 0x39, -1}});   // a long quiet run
    pass({{Read::Keys, 0x00, 0xFF}, {Read::Ticks, 0, 0, 123466}});  // codes 0 and 255; the clock stood still
    // Many reads that give nothing new, then one that does (a gap past 15).
    std::vector<Read> many(40, Read{Read::Mouse, 0, 0, 0});
    many.push_back({Read::Mouse, -70000, 1 << 29, 1});
    many.push_back({Read::Mouse, 0, 0, 1});
    many.push_back({Read::Mouse, 0, 0, 0});
    reads.insert(reads.end(), many.begin(), many.end());
    reads.push_back({Read::EndPass});
    pass({{Read::Focus, 0, 0, 0}, {Read::Focus, 0, 0, 0}, {Read::Ticks, 0, 0, 0xFFFFFFF0u}});
    pass({{Read::Focus, 0, 0, 1}, {Read::Ticks, 0, 0, 4}, {Read::Hash, 0, 0, 0xDEADBEEF}});  // the counter wrapped
    pass({{Read::Keys, -1, -1}, {Read::Hash, 0, 0, 7}});
    return reads;
}

// Performs the reads on the tape and returns what each got.
std::vector<Read> Perform(InputTape& tape, const std::vector<Read>& reads) {
    std::vector<Read> got;
    for (const Read& r : reads) {
        Read g{r.kind};  // only what the read gets
        switch (r.kind) {
        case Read::Keys: {
            uint8_t keys[256] = {};
            if (r.a >= 0) keys[r.a] = 0x80;
            if (r.b >= 0) keys[r.b] = 1;  // any non-zero value is down
            tape.Keys(keys);
            g.a = g.b = -1;
            for (int k = 0; k < 256; ++k)
                if (keys[k] != 0) {
                    EXPECT_EQ(keys[k], 0x80);
                    (g.a < 0 ? g.a : g.b) = k;
                }
            break;
        }
        case Read::Mouse: {
            uint8_t button = r.value != 0 ? 0x80 : 0;
            g.a = r.a;
            g.b = r.b;
            tape.Mouse(&g.a, &g.b, &button);
            g.value = button != 0 ? 1 : 0;
            break;
        }
        case Read::Focus: {
            bool focused = r.value != 0;
            tape.Focus(&focused);
            g.value = focused ? 1 : 0;
            break;
        }
        case Read::Ticks:
            g.value = r.value;
            tape.Ticks(&g.value);
            break;
        case Read::Hash:
            tape.Checkpoint(InputTape::kLevelEnd, 4, r.value);
            break;
        case Read::EndPass:
            tape.EndPass();
            break;
        }
        got.push_back(g);
    }
    return got;
}

TEST(InputTape, PlaysBackEveryReadAsRecordedAndKeepsQuietPassesCheap) {
    const std::vector<Read> reads = EdgeCaseGame();
    std::vector<uint8_t> buffer(4096);
    InputTape recorder;
    recorder.Record(buffer.data(), buffer.size(), false);
    const std::vector<Read> recorded = Perform(recorder, reads);
    EXPECT_FALSE(recorder.Full());
    EXPECT_EQ(recorder.Passes(), 307u);
    // 300 quiet passes take three bytes; the whole game well under 100.
    EXPECT_LT(recorder.Size(), 100u);

    uint32_t passes = 0, hashes = 0;
    const char* why = nullptr;
    ASSERT_TRUE(InputTape::Check(buffer.data(), recorder.Size(), &passes, &hashes, &why)) << why;
    EXPECT_EQ(passes, 307u);
    EXPECT_EQ(hashes, 2u);

    // Played back with the host giving something else entirely: the tape's
    // values win.
    std::vector<Read> wrongHost = reads;
    for (Read& r : wrongHost)
        if (r.kind != Read::Hash && r.kind != Read::EndPass) r = {r.kind, 77, 5, 1};
    InputTape player;
    player.Play(buffer.data(), recorder.Size(), false);
    const std::vector<Read> played = Perform(player, wrongHost);
    EXPECT_FALSE(player.OutOfStep());
    EXPECT_TRUE(player.Finished());
    ASSERT_EQ(played.size(), recorded.size());
    for (size_t i = 0; i < played.size(); ++i)
        EXPECT_TRUE(played[i].a == recorded[i].a && played[i].b == recorded[i].b &&
                    played[i].value == recorded[i].value)
            << "read " << i;
}

TEST(InputTape, ADifferentGameGoesOutOfStepNamingTheLevel) {
    std::vector<uint8_t> buffer(256);
    const std::vector<Read> game = {{Read::Keys, 0x39, -1}, {Read::Mouse, 3, 0, 0}, {Read::EndPass},
                                    {Read::Keys, -1, -1},   {Read::Hash, 0, 0, 42}, {Read::EndPass}};
    InputTape recorder;
    recorder.Record(buffer.data(), buffer.size(), false);
    Perform(recorder, game);
    struct Case {
        const char* what;
        std::vector<Read> reads;
        uint8_t level;  // named by the failed state hash; 0 none
    };
    const Case cases[] = {
        {"another hash", {game[0], game[1], game[2], game[3], {Read::Hash, 0, 0, 43}, game[5]}, 4},
        {"the mouse read first", {game[1], game[0], game[2]}, 0},
        {"a read left out", {game[0], game[2]}, 0},
        {"a hash where none was", {game[0], game[1], {Read::Hash, 0, 0, 42}, game[2]}, 4},
        {"the hash's pass ended early", {game[0], game[1], game[2], game[3], game[5]}, 4},
    };
    for (const Case& c : cases) {
        InputTape player;
        player.Play(buffer.data(), recorder.Size(), false);
        Perform(player, c.reads);
        EXPECT_TRUE(player.OutOfStep()) << c.what;
        EXPECT_EQ(player.OutOfStepLevel(), c.level) << c.what;
    }
}

// (A tape that fills stops on a whole op: Replay.AGameThatOutgrowsTheTapePlaysOnAndKeepsWhatFitted.)

TEST(InputTape, CheckRefusesStreamsThatBreakTheRules) {
    const std::vector<std::vector<uint8_t>> broken = {
        {0x50},                                      // event type 5
        {0x00, 0x01, 0x20, 0x10},                    // keys out of order
        {0x00, 0x01, 0x20},                          // keys cut short
        {0x10, 0x08},                                // unknown pointer flag
        {0x10, 0x02, 0x00},                          // a motion of zero stored
        {0x30, 0xFF, 0xFF, 0xFF, 0xFF},              // a varint without end
        {0x30, 0xFF, 0xFF, 0xFF, 0xFF, 0x1F},        // a varint past 32 bits
        {0x20, 0x02},                                // focus neither 0 nor 1
        {0x40, 0x03, 0x01, 0, 0, 0, 0, 0, 0, 0, 0},  // an unknown kind of hash
        {0x40, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0},  // level 0
        {0x40, 0x00, 0x01, 0, 0, 0},                 // a hash cut short
        {0x0F, 0x80},                                // a gap cut short
    };
    for (const auto& b : broken) {
        uint32_t passes = 0, hashes = 0;
        const char* why = nullptr;
        EXPECT_FALSE(InputTape::Check(b.data(), b.size(), &passes, &hashes, &why)) << testing::PrintToString(b);
        EXPECT_NE(why, nullptr);
        // Playing such bytes never reads past them and ends out of step.
        InputTape player;
        player.Play(b.data(), b.size(), false);
        std::vector<Read> reads = {{Read::Keys, -1, -1}, {Read::Mouse}, {Read::Focus, 0, 0, 1},
                                   {Read::Ticks},        {Read::Hash},  {Read::EndPass}};
        Perform(player, reads);
        EXPECT_TRUE(player.OutOfStep()) << testing::PrintToString(b);
    }
}

// A recording stops (as full) where a replay would be longer than a
// level may last between state hashes, or than a whole game may.
TEST(InputTape, ARecordingStopsAtTheLongestAReplayMayBe) {
    static uint8_t buffer[kReplayTapeCapacity];
    InputTape t;
    t.Record(buffer, sizeof buffer, false);
    for (uint32_t pass = 0; pass < kReplayMaxSegmentPasses + 5; ++pass) t.EndPass();
    EXPECT_TRUE(t.Full());
    EXPECT_EQ(t.Passes(), kReplayMaxSegmentPasses);
    uint32_t passes = 0, hashes = 0;
    const char* why = nullptr;
    EXPECT_TRUE(InputTape::Check(buffer, t.Size(), InputTape::Ending::CutShort, &passes, &hashes, &why)) << why;
    EXPECT_FALSE(InputTape::Check(buffer, t.Size(), InputTape::Ending::Whole, &passes, &hashes, &why));
    EXPECT_STREQ(why, "the replay ends before its recorded end");

    t.Record(buffer, sizeof buffer, false);
    for (uint32_t pass = 0; !t.Full() && pass < 2 * kReplayMaxPasses; ++pass) {
        t.EndPass();
        if (t.Passes() % (kReplayMaxSegmentPasses / 2) == 0) t.Checkpoint(InputTape::kLevelEnd, 1, 0);
    }
    EXPECT_TRUE(t.Full());
    EXPECT_EQ(t.Passes(), kReplayMaxPasses);
    EXPECT_TRUE(InputTape::Check(buffer, t.Size(), InputTape::Ending::CutShort, &passes, &hashes, &why)) << why;
    EXPECT_EQ(passes, kReplayMaxPasses);
}

}  // namespace
