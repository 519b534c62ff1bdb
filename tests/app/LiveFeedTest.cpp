// The host's side of the live feed against a made-up room server over a
// lossy path: the recording arrives whole and in order, the final header
// last; never more than four Feeds a pass nor a window's bytes beyond the
// ack; a server that says "full" or nothing at all is fed no more.
#include "app/LiveFeed.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "net/RoomProtocol.h"

namespace {

// A room server that holds the bytes it is sent in order, answering each
// Feed with what it holds; `loseFeed` / `loseAck`: every nth lost.
class FeedServerLink : public NetLink {
public:
    int loseFeed = 0, loseAck = 0;
    bool full = false, silent = false, hasRoom = true;
    std::vector<uint8_t> held;
    bool ended = false;
    int sentThisPass = 0, mostInAPass = 0;
    uint32_t mostAhead = 0;  // the farthest a Feed reached past what was held

    void NewPass() { sentThisPass = 0; }

    bool Host(uint16_t) override { return true; }
    bool Join(const char*) override { return true; }
    void Close(uint32_t) override {}
    bool Send(const uint8_t*, size_t, bool) override { return false; }
    int Poll(NetDatagram*, int, uint32_t) override { return 0; }
    void Flush() override {}
    NetLinkState State() const override { return NetLinkState::Connected; }
    uint32_t RoundTripMs() const override { return 0; }
    const char* Failure() const override { return ""; }
    NetLinkCounts Counts() const override { return {}; }

    bool SendFeed(uint32_t offset, const uint8_t* bytes, size_t count, bool final) override {
        if (!hasRoom) return false;
        EXPECT_GE(count, 1u);
        EXPECT_LE(count, kRoomMaxFeedBytes);
        ++feeds_;
        mostInAPass = std::max(mostInAPass, ++sentThisPass);
        if (offset + count > held.size()) mostAhead = std::max<uint32_t>(mostAhead, offset + count - held.size());
        if (loseFeed != 0 && feeds_ % loseFeed == 0) return true;
        if (silent) return true;
        if (full) return Ack(kRoomFeedFull);
        if (final) {
            EXPECT_EQ(offset, 0u);
            EXPECT_EQ(count, kReplayHeaderBytes);
            std::memcpy(held.data(), bytes, count);
            ended = true;
        } else if (offset == held.size() && !ended) {
            held.insert(held.end(), bytes, bytes + count);
        }
        return Ack(ended ? kRoomFeedEnded : 0);
    }
    bool TakeFeedAck(uint32_t* offset, uint8_t* flags) override {
        if (!acked_) return false;
        acked_ = false;
        *offset = ackOffset_;
        *flags = ackFlags_;
        return true;
    }
    // A made-up ack.
    void Tell(uint32_t offset, uint8_t flags) {
        acked_ = true;
        ackOffset_ = offset;
        ackFlags_ = flags;
    }

private:
    bool Ack(uint8_t flags) {
        ++acks_;
        if (loseAck != 0 && acks_ % loseAck == 0) return true;
        Tell(static_cast<uint32_t>(held.size()), flags);
        return true;
    }
    int feeds_ = 0, acks_ = 0;
    bool acked_ = false;
    uint32_t ackOffset_ = 0;
    uint8_t ackFlags_ = 0;
};

std::vector<uint8_t> Recording(size_t size) {
    std::vector<uint8_t> b(size);
    for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(i * 31 + 7);
    return b;
}

TEST(LiveFeed, ARecordingThatGrowsArrivesWholeAndInOrderOverALossyPathItsFinalHeaderLast) {
    FeedServerLink link;
    link.loseFeed = 3;
    link.loseAck = 4;
    std::vector<uint8_t> file = Recording(40000);
    LiveFeed feed;
    uint32_t now = 1000;
    feed.Begin(now);
    // The recording grows 30 bytes a pass (a burst of 5 kB now and then),
    // a pass every 16 ms.
    size_t sure = kReplayHeaderBytes;
    int passes = 0;
    while (sure < file.size()) {
        sure = std::min(file.size(), sure + (passes % 200 == 0 ? 5000 : 30));
        link.NewPass();
        feed.Pass(link, file.data(), sure, now += 16);
        ++passes;
    }
    // The end: the final header, once every byte is held.
    for (size_t i = 0; i < kReplayHeaderBytes; ++i) file[i] = static_cast<uint8_t>(0xA0 ^ i);
    feed.End(file.data());
    for (int i = 0; i < 2000 && !feed.Done(); ++i) {
        link.NewPass();
        feed.Pass(link, file.data(), file.size(), now += 16);
    }
    EXPECT_TRUE(feed.Done());
    EXPECT_TRUE(feed.Ended());
    EXPECT_TRUE(link.ended);
    EXPECT_TRUE(link.held == file) << link.held.size() << " of " << file.size();
    EXPECT_LE(link.mostInAPass, kLiveFeedPerPass);
    EXPECT_LE(link.mostAhead, kLiveFeedWindow + kRoomMaxFeedBytes);
    // Done: nothing more is sent.
    const uint32_t sent = feed.FeedsSent();
    feed.Pass(link, file.data(), file.size(), now += 1000);
    EXPECT_EQ(feed.FeedsSent(), sent);
}

TEST(LiveFeed, AServerThatSaysFullOrNothingOrALinkWithoutARoomIsFedNoMore) {
    const std::vector<uint8_t> file = Recording(3000);
    {
        FeedServerLink link;
        link.full = true;
        LiveFeed feed;
        feed.Begin(0);
        feed.Pass(link, file.data(), file.size(), 16);
        feed.Pass(link, file.data(), file.size(), 32);
        EXPECT_TRUE(feed.Done());
        EXPECT_FALSE(feed.Ended());
        const uint32_t sent = feed.FeedsSent();
        feed.Pass(link, file.data(), file.size(), 48);
        EXPECT_EQ(feed.FeedsSent(), sent);
    }
    {
        // Silence: the window is sent, again every 250 ms, and after 10 s no more.
        FeedServerLink link;
        link.silent = true;
        LiveFeed feed;
        feed.Begin(0);
        uint32_t now = 0;
        for (; now < kLiveFeedGiveUpMs - 16; now += 16) feed.Pass(link, file.data(), file.size(), now);
        EXPECT_FALSE(feed.Done());
        const uint32_t window = 3;  // 3000 bytes: three Feeds
        EXPECT_GE(feed.FeedsSent(), window * (kLiveFeedGiveUpMs / kLiveFeedResendMs - 1));
        EXPECT_LE(feed.FeedsSent(), window * (kLiveFeedGiveUpMs / kLiveFeedResendMs + 1));
        feed.Pass(link, file.data(), file.size(), now += 32);
        EXPECT_TRUE(feed.Done());
    }
    {
        FeedServerLink link;
        link.hasRoom = false;
        LiveFeed feed;
        feed.Begin(0);
        feed.Pass(link, file.data(), file.size(), 16);
        EXPECT_TRUE(feed.Done());
    }
}

TEST(LiveFeed, AnAckOfMoreThanWasSentIsNobodysAndNothingIsSkipped) {
    FeedServerLink link;
    link.silent = true;
    const std::vector<uint8_t> file = Recording(2000);
    LiveFeed feed;
    feed.Begin(0);
    feed.Pass(link, file.data(), 500, 16);  // 500 bytes out
    link.Tell(1500, 0);                     // "1500 held": never sent
    feed.Pass(link, file.data(), 500, 32);
    EXPECT_EQ(feed.Acked(), 0u);
    link.Tell(400, 0);
    feed.Pass(link, file.data(), 500, 48);
    EXPECT_EQ(feed.Acked(), 400u);
    // Nothing held past an old ack: a smaller one later does not go back.
    link.Tell(100, 0);
    feed.Pass(link, file.data(), 500, 64);
    EXPECT_EQ(feed.Acked(), 400u);
}

}  // namespace
