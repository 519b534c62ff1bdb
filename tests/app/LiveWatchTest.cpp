// The watcher's side of a live feed against a scripted world link: the
// feed taken a few bytes at a time until it ends and its final header
// comes; the pace (wait, 1x, 2x); and every hostile feed refused in words
// before a pass of it is played.
#include "app/LiveWatch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "support/FakeWorldLink.h"

namespace {

// An online game's recording: a header (as the host first sends it) and a
// body of `passes` passes, the 100-pass hashes, a level's end and the stop.
struct Recording {
    ReplayHeader first;
    std::string body;
    std::string Feed() const {
        uint8_t header[kReplayHeaderBytes];
        WriteReplayHeader(first, header);
        return std::string(reinterpret_cast<const char*>(header), sizeof header) + body;
    }
    // The final header: the results and counts filled.
    std::string FinalHeader(uint32_t passes, uint32_t checks) const {
        ReplayHeader h = first;
        h.tapeBytes = static_cast<uint32_t>(body.size());
        h.passes = passes;
        h.checkpoints = checks;
        h.level = 2;
        h.scores[0] = 40;
        uint8_t bytes[kReplayHeaderBytes];
        WriteReplayHeader(h, bytes);
        return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
    }
};

// (`gameOver`: it ends with the game-over instead, as while the host's
// table stands.)
Recording MakeRecording(uint32_t passes, bool gameOver = false) {
    static uint8_t buffer[64 * 1024];
    OnlineTape t;
    t.Record(buffer, sizeof buffer);
    for (uint32_t pass = 0; pass < passes; ++pass) {
        const uint8_t keys[2] = {static_cast<uint8_t>(pass % 3 == 0 ? 1 : 2), 0};
        t.Pass(keys);
        if ((pass + 1) % 100 == 0) t.Hash(0x1000 + pass);
    }
    t.Checkpoint(OnlineTape::kLevelEnd, 1, 0xABCD);
    t.Checkpoint(gameOver ? OnlineTape::kGameOver : OnlineTape::kStop, 1, 0);
    Recording r;
    r.first = LiveGameHeader("1.0.0", 0);
    r.first.randomState = 1234;
    r.body.assign(reinterpret_cast<const char*>(buffer), t.Size());
    return r;
}

class LiveWatchTest : public ::testing::Test {
protected:
    // Polls until the watch stops asking (ended or refused), at most `polls` times.
    void Follow(int polls = 10000) {
        for (int i = 0; i < polls && watch->Active() && !watch->Ended(); ++i) {
            watch->Poll(now);
            now += 10;
        }
    }
    FakeWorldLink link;
    std::unique_ptr<LiveWatch> watch = std::make_unique<LiveWatch>();
    uint32_t now = 1000;
};

TEST_F(LiveWatchTest, TakesTheFeedInPiecesToItsEndAndItsFinalHeader) {
    const Recording r = MakeRecording(450);
    link.feedBytes = r.Feed();
    link.feedChunk = 7;  // records cut at every place
    link.waitPolls = 1;
    ASSERT_TRUE(watch->Start(&link, "vkkmn", now));
    EXPECT_EQ(link.askedFeeds.front().first, "VKKMN");
    for (int i = 0; i < 200; ++i) watch->Poll(now);
    // Part of the game is held, and only whole records of it.
    EXPECT_TRUE(watch->Active());
    EXPECT_FALSE(watch->Ended());
    EXPECT_LE(watch->BodySize() + kReplayHeaderBytes, watch->Held());
    uint32_t passes = 0, checks = 0;
    const char* why = nullptr;
    EXPECT_TRUE(OnlineTape::Check(watch->Body(), watch->BodySize(), &passes, &checks, &why)) << why;
    EXPECT_EQ(passes, watch->PassesHeld());
    EXPECT_EQ(watch->ReadyToPlay(), passes >= kWatchResumePasses);
    // The game ends: the last bytes, then the final header asked for at 0.
    link.feedEnded = true;
    Follow();
    ASSERT_TRUE(watch->Ended()) << watch->Reason();
    EXPECT_EQ(watch->BodySize(), r.body.size());
    EXPECT_EQ(watch->PassesHeld(), 450u);
    EXPECT_EQ(std::memcmp(watch->Body(), r.body.data(), r.body.size()), 0);
    EXPECT_EQ(watch->HeaderChanges(), 0u);  // the first header came again: the room closed early
    // (Asked for from 0, in pieces of 7 bytes.)
    EXPECT_EQ(link.askedFeeds.back().second, kReplayHeaderBytes / 7 * 7);

    // Once more, the host's final header in place of the first.
    link.askedFeeds.clear();
    ASSERT_TRUE(watch->Start(&link, "VKKMN", now));
    link.feedChunk = kWorldFeedMostRead;
    link.feedBytes = r.Feed();  // the game is under way: its first header
    link.feedEnded = false;
    Follow(3);
    link.feedBytes = r.FinalHeader(450, 6) + r.body;
    link.feedEnded = true;
    Follow();
    ASSERT_TRUE(watch->Ended()) << watch->Reason();
    EXPECT_EQ(watch->HeaderChanges(), 1u);
    EXPECT_EQ(watch->Header().scores[0], 40);
    EXPECT_EQ(watch->Header().tapeBytes, r.body.size());
    EXPECT_TRUE(watch->ReadyToPlay());
}

// 1x within kWatchNearPasses of the newest pass held, 2x further behind;
// at the end of what is held it waits, and plays on only once
// kWatchResumePasses are held ahead, or the feed has ended.
TEST_F(LiveWatchTest, WaitsAtTheEndOfWhatIsHeldAndCatchesUpAtTwiceTheSpeed) {
    const Recording r = MakeRecording(1000);
    link.feedBytes = r.Feed();
    ASSERT_TRUE(watch->Start(&link, "VKKMN", now));
    Follow(3);
    ASSERT_TRUE(watch->ReadyToPlay());
    EXPECT_EQ(watch->Speed(0, false), 0);  // not playing yet
    watch->Playing();
    EXPECT_EQ(watch->PassesHeld(), 1000u);
    EXPECT_EQ(watch->Speed(0, false), kWatchFastSpeed);
    EXPECT_EQ(watch->Speed(1000 - kWatchNearPasses - 1, false), kWatchFastSpeed);
    EXPECT_EQ(watch->Speed(1000 - kWatchNearPasses, false), 1);
    EXPECT_TRUE(watch->MayPlay(998, false));
    EXPECT_EQ(watch->Speed(998, false), 1);
    EXPECT_FALSE(watch->Waiting());
    // The next pass's record is not held: whatever comes after this one
    // may not be either.
    EXPECT_FALSE(watch->MayPlay(999, false));
    EXPECT_EQ(watch->Speed(999, false), 0);
    EXPECT_TRUE(watch->Waiting());
    // Still waiting with a little more held (as if the game went on).
    EXPECT_EQ(watch->Speed(1000 - kWatchResumePasses + 1, false), 0);
    EXPECT_EQ(watch->Speed(1000 - kWatchResumePasses, false), 1);
    EXPECT_FALSE(watch->Waiting());
    // An ended feed plays to its end.
    link.feedEnded = true;
    Follow();
    ASSERT_TRUE(watch->Ended());
    EXPECT_TRUE(watch->MayPlay(1000, false));
    EXPECT_EQ(watch->Speed(999, false), 1);
    EXPECT_EQ(watch->Speed(0, false), kWatchFastSpeed);
}

// The game-over held: nothing comes after it but the stop, once the host
// leaves its table. The game plays its last pass and on to its table
// without waiting; the table then stands, no waiting said, until the feed
// ends.
TEST_F(LiveWatchTest, AGameOverHeldPlaysOnToTheTableWhichStandsUntilTheFeedEnds) {
    const Recording r = MakeRecording(500, true);
    link.feedBytes = r.Feed();
    ASSERT_TRUE(watch->Start(&link, "VKKMN", now));
    Follow(3);
    watch->Playing();
    ASSERT_EQ(watch->PassesHeld(), 500u);
    EXPECT_TRUE(watch->MayPlay(499, false));
    EXPECT_TRUE(watch->MayPlay(500, false));
    EXPECT_EQ(watch->Speed(500, false), 1);
    EXPECT_FALSE(watch->Waiting());
    EXPECT_FALSE(watch->MayPlay(500, true));
    EXPECT_EQ(watch->Speed(500, true), 0);
    EXPECT_FALSE(watch->Waiting());
    // A body cut before its game-over waits as any other.
    const Recording cut = MakeRecording(500);
    auto other = std::make_unique<LiveWatch>();
    FakeWorldLink link2;
    link2.feedBytes = cut.Feed().substr(0, cut.Feed().size() - 11 - 11);  // no level end, no stop
    ASSERT_TRUE(other->Start(&link2, "VKKMN", now));
    for (int i = 0; i < 3; ++i) other->Poll(now += 10);
    other->Playing();
    EXPECT_FALSE(other->MayPlay(499, false));
    EXPECT_EQ(other->Speed(499, false), 0);
    EXPECT_TRUE(other->Waiting());
}

// Every hostile feed is refused in words, and nothing of it past what was
// checked counts as held.
TEST_F(LiveWatchTest, HostileFeedsAreRefusedInWords) {
    const Recording r = MakeRecording(300);
    const std::string good = r.Feed();
    std::string magic = good;
    magic[0] = 'X';
    Recording offline = r;
    offline.first.flags = 0;
    offline.first.onlinePlayer = 0;
    Recording other = r;
    other.first.randomState = 99;
    const std::string broken = good.substr(0, kReplayHeaderBytes) + "\x81\x05";
    using Answer = FakeWorldLink::FeedAnswer;
    auto part = [](const std::string& bytes, bool ended, int64_t held) {
        Answer a;
        a.bytes = bytes;
        a.ended = ended;
        a.held = held;
        return a;
    };
    auto failed = [](const char* why) {
        Answer a;
        a.state = WorldAnswer::Failed;
        a.reason = why;
        return a;
    };
    const int64_t size = static_cast<int64_t>(good.size());
    const struct Case {
        std::deque<Answer> script;
        const char* why;
    } cases[] = {
        {{part(magic, false, -1)}, "the game's feed is no replay: "},
        {{part(offline.Feed(), false, -1)}, "the game's feed is no online game's recording"},
        {{part(broken, false, -1)}, "the game's feed is broken: an unknown kind of record"},
        {{part(good.substr(0, 200), false, 200), part(good.substr(200, 50), false, 150)},
         "the game's feed went back (the server holds 150 bytes of it, 250 came)"},
        {{part(good.substr(0, 200), false, 100)}, "the game's feed went back"},
        {{part(good.substr(0, 100), true, 100)}, "the game's feed ended before its header"},
        {{part(good, true, size), part(other.FinalHeader(300, 4), false, size)},
         "the game's final header is not its own"},
        {{part(good, true, size), part(r.FinalHeader(301, 4), false, size)},
         "the game's final header does not fit its bytes"},
        {{part(good, true, size), part("VCRP", false, size), part("", false, size)},
         "the game's final header did not come"},
        {{failed("no game of that code is live")}, "no game of that code is live"},
        {{failed("that game has as many watchers as it may; try again soon")},
         "that game has as many watchers as it may"},
        {{part(good.substr(0, 300), false, 300), failed("a"), failed("b"), failed("c"), failed("d"),
          failed("cannot reach the server")},
         "cannot reach the server"},
    };
    for (const Case& c : cases) {
        link.feedScript = c.script;
        link.feedBytes.clear();
        link.feedFailure = "the script ran out";
        ASSERT_TRUE(watch->Start(&link, "VKKMN", now));
        Follow();
        EXPECT_EQ(watch->GetStage(), LiveWatch::Stage::Refused) << c.why;
        EXPECT_EQ(std::string(watch->Reason()).rfind(c.why, 0), 0u) << watch->Reason() << " / " << c.why;
        EXPECT_TRUE(link.feedScript.empty()) << c.why;
        EXPECT_FALSE(watch->Ended());
        EXPECT_EQ(watch->Speed(0, false), 0);
    }
    // Larger than any replay.
    link.feedScript.clear();
    link.feedFailure.clear();
    // (Passes with keys changing, a level's end now and then: a body that
    // breaks no rule but its size.)
    std::string huge = good.substr(0, kReplayHeaderBytes);
    for (uint32_t pass = 0; huge.size() < kReplayFileCapacity + 2; ++pass) {
        huge += pass % 2 == 0 ? "\x41" : "\x42";
        huge += '\0';
        if (pass % 40000 == 39999) huge += std::string("\x02\x00\x01", 3) + std::string(8, '\0');
    }
    link.feedBytes = huge;
    ASSERT_TRUE(watch->Start(&link, "VKKMN", now));
    Follow();
    EXPECT_STREQ(watch->Reason(), "the game's feed is larger than any replay");
    // No code, no server.
    EXPECT_FALSE(watch->Start(&link, "VKKM", now));
    EXPECT_STREQ(watch->Reason(), "that is no room's code");
    link.configured = false;
    EXPECT_FALSE(watch->Start(&link, "VKKMN", now));
    EXPECT_STREQ(watch->Reason(), "no world server is set");
    EXPECT_FALSE(watch->Start(nullptr, "VKKMN", now));
}

// A failure mid-watch waits kWatchRetryMs and asks again from where it
// stood; the feed goes on.
TEST_F(LiveWatchTest, AFailureMidWatchIsTriedAgainLater) {
    const Recording r = MakeRecording(300);
    const std::string good = r.Feed();
    FakeWorldLink::FeedAnswer first, lost;
    first.bytes = good.substr(0, 400);
    first.held = 400;
    lost.state = WorldAnswer::Failed;
    lost.reason = "the server did not answer in time";
    link.feedScript = {first, lost};
    link.feedBytes = good;
    link.feedEnded = true;
    ASSERT_TRUE(watch->Start(&link, "VKKMN", now));
    watch->Poll(now);
    watch->Poll(now);
    const size_t asks = link.askedFeeds.size();
    watch->Poll(now + kWatchRetryMs - 1);
    EXPECT_EQ(link.askedFeeds.size(), asks);
    watch->Poll(now + kWatchRetryMs);
    ASSERT_EQ(link.askedFeeds.size(), asks + 1);
    EXPECT_EQ(link.askedFeeds.back().second, 400u);
    now += kWatchRetryMs;
    Follow();
    EXPECT_TRUE(watch->Ended()) << watch->Reason();
    EXPECT_EQ(watch->BodySize(), r.body.size());
}

}  // namespace
