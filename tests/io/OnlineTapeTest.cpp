#include "io/OnlineTape.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "io/ReplayFile.h"

namespace {

using Bytes = std::vector<uint8_t>;

NetPoints SomePoints(uint8_t level) {
    NetPoints p;
    p.level = level;
    const float speed = 3.5f;
    std::memcpy(&p.velocityBits, &speed, sizeof speed);
    p.lives = 2;
    p.points = 40;
    return p;
}

// 300 passes (a long run, then keys changing every pass), the 100-pass
// hashes, a level's end with both points records, the link going, the
// table and the stop.
Bytes RecordedBody() {
    static uint8_t buffer[4096];
    OnlineTape t;
    t.Record(buffer, sizeof buffer);
    for (uint32_t pass = 0; pass < 300; ++pass) {
        const uint8_t keys[2] = {static_cast<uint8_t>(pass < 200 ? 0x41 : pass & 0x7F),
                                 static_cast<uint8_t>(pass < 200 ? 0 : 0x7F - (pass & 0x7F))};
        t.Pass(keys);
        if ((pass + 1) % 100 == 0) t.Hash(0x1000 + pass);
        if (pass == 249) {
            t.Checkpoint(OnlineTape::kLevelEnd, 1, 0xABCD);
            t.Points(1, SomePoints(1));
            t.Points(0, SomePoints(1));
        }
    }
    t.Lost();
    t.Checkpoint(OnlineTape::kGameOver, 2, 0x77);
    t.Checkpoint(OnlineTape::kStop, 2, 0);
    EXPECT_FALSE(t.Full());
    EXPECT_EQ(t.Passes(), 300u);
    EXPECT_EQ(t.Checks(), 6u);
    return Bytes(buffer, buffer + t.Size());
}

TEST(OnlineTape, PlaysBackWhatWasRecordedAndKeepsUnchangedPassesCheap) {
    const Bytes body = RecordedBody();
    // 200 unchanged passes cost two run bytes after the first keys.
    EXPECT_LT(body.size(), 2u + 2 + 100 * 2 + 3 * 9 + 3 * 11 + 2 * 35 + 1 + 8);
    uint32_t passes = 0, checks = 0;
    const char* why = nullptr;
    ASSERT_TRUE(OnlineTape::Check(body.data(), body.size(), &passes, &checks, &why)) << why;
    EXPECT_EQ(passes, 300u);
    EXPECT_EQ(checks, 6u);

    OnlineTape t;
    t.Play(body.data(), body.size());
    for (uint32_t pass = 0; pass < 300; ++pass) {
        uint8_t keys[2];
        ASSERT_TRUE(t.TakePass(keys)) << pass;
        EXPECT_EQ(keys[0], pass < 200 ? 0x41 : pass & 0x7F);
        EXPECT_EQ(keys[1], pass < 200 ? 0 : 0x7F - (pass & 0x7F));
        if ((pass + 1) % 100 == 0) t.TakeHash(pass + 1, 0x1000 + pass, 1);
        if (pass == 249) {
            EXPECT_EQ(t.Peek(), OnlineTape::Next::Checkpoint);
            t.Checkpoint(OnlineTape::kLevelEnd, 1, 0xABCD);
            int32_t player = -1;
            NetPoints p;
            ASSERT_TRUE(t.TakePoints(&player, &p));
            EXPECT_EQ(player, 1);
            EXPECT_EQ(p.points, 40);
            ASSERT_TRUE(t.TakePoints(&player, &p));
            EXPECT_EQ(player, 0);
            EXPECT_FALSE(t.TakePoints(&player, &p));  // a pass comes next
        }
    }
    EXPECT_TRUE(t.TakeLost());
    uint8_t keys[2];
    EXPECT_FALSE(t.TakePass(keys));
    t.Checkpoint(OnlineTape::kGameOver, 2, 0x77);
    EXPECT_EQ(t.PeekCheckpointKind(), OnlineTape::kStop);
    t.Checkpoint(OnlineTape::kStop, 2, 0x1234);  // a stop recorded as 0 is not compared
    EXPECT_FALSE(t.OutOfStep());
    EXPECT_TRUE(t.Finished());
    EXPECT_EQ(t.Checks(), 6u);
}

TEST(OnlineTape, AHashThatDiffersOrComesElsewhereIsOutOfStepAtItsLevel) {
    const Bytes body = RecordedBody();
    struct Case {
        uint32_t passes;
        uint64_t hash;
    } cases[] = {{100, 0x1000 + 98}, {101, 0x1000 + 99}};
    for (const Case& c : cases) {
        OnlineTape t;
        t.Play(body.data(), body.size());
        uint8_t keys[2];
        for (int pass = 0; pass < 100; ++pass) t.TakePass(keys);
        t.TakeHash(c.passes, c.hash, 3);
        EXPECT_TRUE(t.OutOfStep());
        EXPECT_EQ(t.OutOfStepLevel(), 3);
        EXPECT_FALSE(t.TakePass(keys));
    }
    OnlineTape t;  // a level's end where the recording has a pass
    t.Play(body.data(), body.size());
    t.Checkpoint(OnlineTape::kLevelEnd, 1, 0xABCD);
    EXPECT_TRUE(t.OutOfStep());
    EXPECT_EQ(t.OutOfStepLevel(), 1);
}

TEST(OnlineTape, MalformedOnlineReplaysAreRefusedBeforeAPassPlays) {
    const Bytes body = RecordedBody();
    ReplayHeader h;
    std::memcpy(h.gameVersion, "1.0.0", 6);
    h.players = 2;
    h.flags = kReplayOnline;
    h.onlinePlayer = 2;
    h.passes = 300;
    h.checkpoints = 6;
    h.level = 1;
    h.ships[1] = 0;
    auto file = [&](const Bytes& b, const ReplayHeader& header) {
        Bytes f(kReplayHeaderBytes);
        ReplayHeader withSize = header;
        withSize.tapeBytes = static_cast<uint32_t>(b.size());
        WriteReplayHeader(withSize, f.data());
        f.insert(f.end(), b.begin(), b.end());
        return f;
    };
    ReplayHeader parsed;
    const uint8_t* tape = nullptr;
    ReadError error;
    const Bytes good = file(body, h);
    ASSERT_TRUE(ParseReplay(good.data(), good.size(), &parsed, &tape, &error)) << error.reason;
    EXPECT_EQ(parsed.onlinePlayer, 2);

    const uint8_t hash[8] = {};
    auto with = [&](Bytes b, std::initializer_list<uint8_t> tail) {
        b.insert(b.end() - 11, tail);  // before the stop
        return b;
    };
    auto header = [&](auto change) {
        ReplayHeader changed = h;
        change(changed);
        return file(body, changed);
    };
    const Bytes points = {0x03, 0x02, 1, 0, 0, 0x60, 0x40};  // player 3
    struct Case {
        Bytes file;
        const char* why;
    } cases[] = {
        {header([](ReplayHeader& x) { x.players = 1; }), "an online game's players are not as it says"},
        {header([](ReplayHeader& x) { x.onlinePlayer = 0; }), "an online game's players are not as it says"},
        {header([](ReplayHeader& x) { x.onlinePlayer = 3; }), "an online game's players are not as it says"},
        {header([](ReplayHeader& x) { x.flags = 0; }), "an online game's players are not as it says"},
        {header([](ReplayHeader& x) { x.flags = 4; }), "unknown flags"},
        {header([](ReplayHeader& x) { x.passes = 299; }),
         "the input does not hold the passes and hashes the header counts"},
        {file(with(body, {0x05}), h), "an unknown kind of record"},
        {file(with(body, {0x00}), h), "an unknown kind of record"},
        {file(with(body, {0x01, hash[0], hash[1], hash[2], hash[3], hash[4], hash[5], hash[6], hash[7]}), h),
         "a state hash after the link went"},
        {file(with(body, {0x04}), h), "the link went twice"},
        {file(with(body, {0x81}), h), "a pass after the link went"},
        {file(with(body, {0x02, 3, 1, 0, 0, 0, 0, 0, 0, 0, 0}), h), "a checkpoint is malformed"},
        {file(with(body, {0x02, 0, 21, 0, 0, 0, 0, 0, 0, 0, 0}), h), "a checkpoint is malformed"},
        {file(with(body, {0x02, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0}), h), "something after the end of the recording"},
        {file(Bytes(body.begin(), body.end() - 3), h), "a checkpoint is cut short"},
        {file(Bytes{0x40}, h), "a pass's keys are cut short"},
        {file(Bytes{0x80 + 98, 0x01, 0, 0, 0, 0, 0, 0, 0, 0}, h), "a state hash where none is due"},
        {file(Bytes{0x80 + 99, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0, 0}, h),
         "a state hash where none is due"},
        {file(Bytes{0x01, 0, 0, 0, 0, 0, 0, 0, 0}, h), "a state hash where none is due"},
        {file(Bytes{0x80 + 99, 0x01, 0, 0}, h), "a state hash is cut short"},
        {file(Bytes(points.begin(), points.end()), h), "a points record is cut short"},
        // Without its stop the body ends at the game-over table, a recorded
        // end (a replay saved as the table came up); without the table's
        // checkpoint too, it ends short.
        {file(Bytes(body.begin(), body.end() - 22), h), "the replay ends before its recorded end"},
        {header([](ReplayHeader& x) { x.flags = kReplayOnline | kReplayCutShort; }),
         "a replay cut short holds the end of its recording"},
        {file(Bytes(kReplayMaxSegmentPasses / 128 + 1, 0xFF), h),
         "longer between two checkpoints than a level can last"},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(ParseReplay(c.file.data(), c.file.size(), &parsed, &tape, &error)) << c.why;
        EXPECT_STREQ(error.reason, c.why);
    }
    // A points record that breaks the protocol's rules, in place of a good one.
    Bytes bad = body;
    for (size_t at = 0; at + 1 < bad.size(); ++at)
        if (bad[at] == 0x03 && bad[at + 1] == 1) {
            bad[at + 2] = kNetLevels;  // its level
            break;
        }
    const Bytes badFile = file(bad, h);
    EXPECT_FALSE(ParseReplay(badFile.data(), badFile.size(), &parsed, &tape, &error));
    EXPECT_STREQ(error.reason, "an unknown level");
}

// A recording stops (as full) where a replay would be longer than a
// level may last between checkpoints, or than a whole game may.
TEST(OnlineTape, ARecordingStopsAtTheLongestAReplayMayBe) {
    static uint8_t buffer[kReplayTapeCapacity];
    const uint8_t keys[2] = {};
    OnlineTape t;
    t.Record(buffer, sizeof buffer);
    for (uint32_t pass = 0; pass < kReplayMaxSegmentPasses + 5; ++pass) t.Pass(keys);
    EXPECT_TRUE(t.Full());
    EXPECT_EQ(t.Passes(), kReplayMaxSegmentPasses);
    uint32_t passes = 0, checks = 0;
    const char* why = nullptr;
    EXPECT_TRUE(OnlineTape::Check(buffer, t.Size(), OnlineTape::Ending::CutShort, &passes, &checks, &why)) << why;

    t.Record(buffer, sizeof buffer);
    for (uint32_t pass = 0; !t.Full() && pass < 2 * kReplayMaxPasses; ++pass) {
        t.Pass(keys);
        if (t.Passes() % (kReplayMaxSegmentPasses / 2) == 0) t.Checkpoint(OnlineTape::kLevelEnd, 1, 0);
    }
    EXPECT_TRUE(t.Full());
    EXPECT_EQ(t.Passes(), kReplayMaxPasses);
    EXPECT_TRUE(OnlineTape::Check(buffer, t.Size(), OnlineTape::Ending::CutShort, &passes, &checks, &why)) << why;
    EXPECT_EQ(passes, kReplayMaxPasses);
}

// A body that arrives a few bytes at a time (a live game's feed) is walked
// as it grows: a record cut at the end waits, whole records are walked,
// and the walk ends where the whole body's check does; a broken record is
// refused once it has come, with the words the whole check gives.
TEST(OnlineTapeScan, WalksAGrowingBodyToTheWholeChecksEndAndRefusesWhatItRefuses) {
    const Bytes body = RecordedBody();
    for (const size_t step : {size_t{1}, size_t{7}, size_t{64}}) {
        OnlineTapeScan scan;
        size_t walkedBefore = 0;
        for (size_t size = 0; size <= body.size();
             size = size == body.size() ? size + 1 : std::min(size + step, body.size())) {
            ASSERT_TRUE(scan.Walk(body.data(), size)) << size << ": " << scan.Reason();
            EXPECT_GE(scan.Walked(), walkedBefore);
            EXPECT_LE(scan.Walked(), size);
            // What was walked is a body of whole records of its own.
            uint32_t passes = 0, checks = 0;
            const char* why = nullptr;
            EXPECT_TRUE(OnlineTape::Check(body.data(), scan.Walked(), &passes, &checks, &why)) << why;
            EXPECT_EQ(passes, scan.Passes());
            EXPECT_EQ(checks, scan.Checks());
            EXPECT_EQ(scan.Cut() != nullptr, scan.Walked() < size) << size;
            walkedBefore = scan.Walked();
        }
        EXPECT_EQ(scan.Walked(), body.size());
        EXPECT_EQ(scan.Passes(), 300u);
        EXPECT_TRUE(scan.Stopped());
        EXPECT_TRUE(scan.Lost());
    }
    const struct {
        Bytes body;
        const char* why;
    } cases[] = {
        {Bytes{0x85, 0x05}, "an unknown kind of record"},
        {Bytes{0x80 + 98, 0x01}, "a state hash where none is due"},
        {[] {
             Bytes b(1 + 35, 0);  // a pass, then a points record (its player 2)
             b[0] = 0x81;
             b[1] = 0x03;
             b[2] = 2;
             return b;
         }(),
         "a points record of an unknown player"},
        {Bytes{0x81, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "a checkpoint is malformed"},
        {Bytes{0x81, 0x02, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0x81}, "something after the end of the recording"},
        {Bytes{0x04, 0x04}, "the link went twice"},
    };
    for (const auto& c : cases) {
        OnlineTapeScan scan;
        bool refused = false;
        for (size_t size = 1; size <= c.body.size() && !refused; ++size) refused = !scan.Walk(c.body.data(), size);
        EXPECT_TRUE(refused) << c.why;
        EXPECT_STREQ(scan.Reason(), c.why);
        EXPECT_FALSE(scan.Walk(c.body.data(), c.body.size()));  // and for good
        uint32_t passes = 0, checks = 0;
        const char* why = nullptr;
        EXPECT_FALSE(OnlineTape::Check(c.body.data(), c.body.size(), &passes, &checks, &why));
        EXPECT_STREQ(why, c.why);
    }
}

}  // namespace
