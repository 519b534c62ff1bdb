#include "app/WorldPlay.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "app/Recorder.h"
#include "support/FakeHost.h"
#include "support/FakeWorldLink.h"

namespace {

TEST(FormatWorldRank, NumbersAreGroupedInThreesAndTheRankIsNeverBeyondTheEntries) {
    const struct {
        int64_t rank, entries;
        const char* text;
    } cases[] = {
        {37, 1204, "WORLD RANK 37 OF 1,204"},
        {1, 1, "WORLD RANK 1 OF 1"},
        {999, 999, "WORLD RANK 999 OF 999"},
        {1000, 100000, "WORLD RANK 1,000 OF 100,000"},
        {1234567, 9876543210LL, "WORLD RANK 1,234,567 OF 9,876,543,210"},
        {12, 5, "WORLD RANK 12 OF 12"},  // a table that grew while the answer came
        {1000000000000LL, 1000000000000LL, "WORLD RANK 1,000,000,000,000 OF 1,000,000,000,000"},
    };
    for (const auto& c : cases) {
        char text[64];
        FormatWorldRank(c.rank, c.entries, text, sizeof text);
        EXPECT_STREQ(text, c.text);
    }
    char small[12];
    FormatWorldRank(37, 1204, small, sizeof small);
    EXPECT_STREQ(small, "WORLD RANK ");  // clipped, still ended
}

// The glue between the recorder and the link: a finished game goes only
// when the player turned sending on and the link has a server, online only from
// player 1's machine; the answer to it becomes the rank lines or the reason.
class WorldPlayTest : public testing::Test {
protected:
    void SetUp() override {
        SetHost(&host_);
        host_.UseWorld(&link_);
        recorder_ = std::make_unique<Recorder>();
        std::snprintf(recorder_->name, sizeof recorder_->name, "20261209-101500-01.vcr");
        recorder_->header.tapeBytes = 40;
        for (size_t i = 0; i < kReplayHeaderBytes + 40; ++i) recorder_->file[i] = static_cast<uint8_t>(i);
    }
    void TearDown() override { SetHost(nullptr); }
    void Settle(bool send, const char* server) {
        Settings settings;
        settings.worldSend = send;
        std::snprintf(settings.worldServer, sizeof settings.worldServer, "%s", server);
        host_.KeepSettings(settings, "");
    }
    void Finish() {
        recorder_->finishedGame = true;
        play_.AfterPass(*recorder_);
    }
    FakeHost host_;
    FakeWorldLink link_;
    std::unique_ptr<Recorder> recorder_;
    WorldPlay play_;
};

TEST_F(WorldPlayTest, NothingIsSentUnlessThePlayerTurnedSendingOnAndAServerIsSet) {
    Settle(false, "http://127.0.0.1:8080");
    Finish();
    Settle(true, "");
    link_.configured = false;  // the link has no server
    Finish();
    EXPECT_TRUE(link_.sent.empty());
    EXPECT_EQ(play_.standing, WorldPlay::Standing::None);
    link_.configured = true;
    Settle(true, "http://127.0.0.1:8080");
    play_.AfterPass(*recorder_);  // a pass with no finished game sends nothing
    EXPECT_TRUE(link_.sent.empty());
    Finish();
    ASSERT_EQ(link_.sent.size(), 1u);
    EXPECT_EQ(link_.sent[0].size(), kReplayHeaderBytes + 40);
    EXPECT_EQ(std::memcmp(link_.sent[0].data(), recorder_->file, link_.sent[0].size()), 0);
    EXPECT_EQ(link_.sentTags[0], "20261209-101500-01.vcr");
    EXPECT_EQ(play_.standing, WorldPlay::Standing::Sending);
    EXPECT_FALSE(recorder_->finishedGame);
    play_.AfterPass(*recorder_);
    EXPECT_EQ(link_.sent.size(), 1u);  // once
}

TEST_F(WorldPlayTest, OnlineOnlyPlayerOnesMachineSends) {
    Settle(true, "http://127.0.0.1:8080");
    recorder_->header.flags = kReplayOnline;
    recorder_->header.onlinePlayer = 2;
    Finish();
    EXPECT_TRUE(link_.sent.empty());
    recorder_->header.onlinePlayer = 1;
    Finish();
    EXPECT_EQ(link_.sent.size(), 1u);
}

TEST_F(WorldPlayTest, TheAnswerBecomesEachPlayersRankOrTheReason) {
    Settle(true, "http://127.0.0.1:8080");
    Finish();
    // An answer to a game of an earlier run changes nothing on show.
    link_.answers.push_back(FakeWorldLink::Ranked("older.vcr", "00000000000000a1", 0, 10, {{"OLD", 5, 1, 3}}));
    play_.AfterPass(*recorder_);
    EXPECT_EQ(play_.standing, WorldPlay::Standing::Sending);
    link_.answers.push_back(FakeWorldLink::Ranked("20261209-101500-01.vcr", "00000000000000b2", 1, 1204,
                                                  {{"ADA", 4200, 7, 37}, {"BO", 100, 7, 1100}}));
    // One look a pass: the answer waiting behind another comes a pass later.
    link_.answers.push_front(FakeWorldLink::Refused("older2.vcr", "no"));
    const int looks = link_.sentPolls;
    play_.AfterPass(*recorder_);
    EXPECT_EQ(link_.sentPolls, looks + 1);
    EXPECT_EQ(play_.standing, WorldPlay::Standing::Sending);
    play_.AfterPass(*recorder_);
    EXPECT_EQ(play_.standing, WorldPlay::Standing::Ranked);
    EXPECT_STREQ(play_.RankText(0), "WORLD RANK 37 OF 1,204");
    EXPECT_STREQ(play_.RankText(1), "WORLD RANK 1,100 OF 1,204");
    EXPECT_STREQ(play_.RankText(2), "");
    // The next game refused: its reason, and no rank left from the last.
    Finish();
    EXPECT_STREQ(play_.RankText(0), "");
    link_.answers.push_back(FakeWorldLink::Refused("20261209-101500-01.vcr", "the replay is out of step at level 3"));
    play_.AfterPass(*recorder_);
    EXPECT_EQ(play_.standing, WorldPlay::Standing::Refused);
    EXPECT_STREQ(play_.reason, "the replay is out of step at level 3");
    // A game the link could not keep says why.
    link_.keepRefusal = "the disk is full";
    Finish();
    EXPECT_EQ(play_.standing, WorldPlay::Standing::NotKept);
    EXPECT_STREQ(play_.reason, "the disk is full");
}

TEST_F(WorldPlayTest, AHostWithoutALinkSendsNothingAndForgetsTheFinishedGame) {
    host_.UseWorld(nullptr);
    Settle(true, "http://127.0.0.1:8080");
    Finish();
    EXPECT_FALSE(recorder_->finishedGame);
    EXPECT_EQ(play_.standing, WorldPlay::Standing::None);
}

}  // namespace
