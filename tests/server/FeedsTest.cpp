// The live feeds' rules on a fake clock: a room's host feeds its recording
// in order only (anything else is answered with what is held), nobody else
// feeds, a feed must begin with an online game's header, holds at most a
// replay file and all together the feed memory, ends with its final header
// or its room, is forgotten five minutes after, and has at most 32
// watchers, each counted ten seconds after its last request.
#include "server/Feeds.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "server/Rooms.h"

namespace server_test {
namespace {

using server::Feeds;
using Bytes = std::vector<uint8_t>;

Bytes Header(const char* first = "ANNA", const char* second = "BO", int32_t score = 0) {
    ReplayHeader h;
    std::strcpy(h.gameVersion, "1.0.0");
    h.players = 2;
    h.difficulty = 1;
    h.flags = kReplayOnline;
    h.onlinePlayer = 1;
    std::strcpy(h.names[0], first);
    std::strcpy(h.names[1], second);
    h.ships[0] = 0;
    h.ships[1] = 1;
    h.level = 1;
    h.scores[0] = score;
    Bytes b(kReplayHeaderBytes);
    WriteReplayHeader(h, b.data());
    return b;
}

// A recording: its header, then `body` bytes of a pattern.
Bytes Recording(size_t body) {
    Bytes b = Header();
    for (size_t i = 0; i < body; ++i) b.push_back(static_cast<uint8_t>(i * 13 + 1));
    return b;
}

RoomMessage FeedOf(const Bytes& all, size_t offset, size_t count, uint8_t flags = 0) {
    RoomMessage m;
    m.kind = RoomKind::Feed;
    m.offset = static_cast<uint32_t>(offset);
    m.payload = all.data() + offset;
    m.payloadSize = count;
    m.flags = flags;
    return m;
}

std::string Held(const Feeds& feeds, uint32_t code, uint64_t from = 0) {
    std::string bytes;
    bool ended = false;
    uint32_t held = 0;
    EXPECT_TRUE(feeds.Read(code, from, server::kFeedMostRead, &bytes, &ended, &held));
    return bytes;
}

std::string Str(const Bytes& b, size_t from = 0, size_t n = std::string::npos) {
    return std::string(reinterpret_cast<const char*>(b.data()), b.size()).substr(from, n);
}

TEST(Feeds, BytesAreTakenInOrderOnlyAndEachFeedIsAnsweredWithWhatIsHeld) {
    Feeds feeds(1 << 20);
    const Bytes all = Recording(3000);
    // Nothing held yet: a feed that does not begin at 0 is told 0.
    Feeds::Ack ack = feeds.Take(7, FeedOf(all, 100, 50), 1);
    EXPECT_EQ(ack.offset, 0u);
    EXPECT_EQ(feeds.Counts().feeds, 0u);
    // Watchers see nothing of a feed whose header is not whole yet.
    ack = feeds.Take(7, FeedOf(all, 0, 100), 1);
    EXPECT_EQ(ack.offset, 100u);
    EXPECT_EQ(feeds.Admit(7, "w", 1), Feeds::Watch::NoSuchFeed);
    ack = feeds.Take(7, FeedOf(all, 100, 1024), 1);
    EXPECT_EQ(ack.offset, 1124u);
    EXPECT_EQ(ack.flags, 0);
    EXPECT_EQ(feeds.Admit(7, "w", 1), Feeds::Watch::Admitted);
    // Again (its ack was lost), ahead of what is held, overlapping it: not
    // taken, each told what is held.
    for (size_t at : {size_t{100}, size_t{0}, size_t{1125}, size_t{2000}, size_t{1123}}) {
        ack = feeds.Take(7, FeedOf(all, at, 10), 1);
        EXPECT_EQ(ack.offset, 1124u) << at;
        EXPECT_EQ(ack.flags, 0) << at;
    }
    for (size_t at = 1124; at < all.size(); at += 700)
        ack = feeds.Take(7, FeedOf(all, at, std::min<size_t>(700, all.size() - at)), 2);
    EXPECT_EQ(ack.offset, all.size());
    EXPECT_EQ(Held(feeds, 7), Str(all));
    EXPECT_EQ(Held(feeds, 7, 3000), Str(all, 3000));
    EXPECT_EQ(Held(feeds, 7, all.size()), "");
    std::string bytes;
    bool ended = true;
    uint32_t held = 0;
    EXPECT_FALSE(feeds.Read(8, 0, 100, &bytes, &ended, &held));  // no such feed
    ASSERT_TRUE(feeds.Read(7, 10, 5, &bytes, &ended, &held));
    EXPECT_EQ(bytes, Str(all, 10, 5));
    EXPECT_FALSE(ended);
    EXPECT_EQ(held, all.size());
    EXPECT_EQ(feeds.Counts().refused, 6u);
}

TEST(Feeds, AFeedThatIsNoOnlineGamesRecordingIsRefusedAndHoldsNothing) {
    Feeds feeds(1 << 20);
    Bytes notOnline = Header();
    notOnline[0] ^= 0xFF;  // no replay's magic
    Feeds::Ack ack = feeds.Take(1, FeedOf(notOnline, 0, notOnline.size()), 1);
    EXPECT_EQ(ack.offset, 0u);
    EXPECT_EQ(ack.flags, kRoomFeedFull);
    // Nothing more is taken, from 0 or anywhere.
    const Bytes good = Recording(10);
    EXPECT_EQ(feeds.Take(1, FeedOf(good, 0, good.size()), 1).flags, kRoomFeedFull);
    EXPECT_EQ(feeds.Counts().bytes, 0u);
    EXPECT_EQ(feeds.Admit(1, "w", 1), Feeds::Watch::NoSuchFeed);
    EXPECT_TRUE(feeds.List(1).empty());
    // An offline game's header is refused as well.
    ReplayHeader offline;
    std::strcpy(offline.gameVersion, "1.0.0");
    offline.level = 1;
    Bytes h(kReplayHeaderBytes);
    WriteReplayHeader(offline, h.data());
    EXPECT_EQ(feeds.Take(2, FeedOf(h, 0, h.size()), 1).flags, kRoomFeedFull);
    // Its room closes: forgotten.
    feeds.RoomClosed(1, 2);
    feeds.RoomClosed(2, 2);
    EXPECT_EQ(feeds.Counts().feeds, 0u);
}

TEST(Feeds, AFeedHoldsAtMostAReplayFileAndAllFeedsAtMostTheMemory) {
    Feeds big(64 << 20);
    const Bytes all = Recording(kReplayTapeCapacity + 10);
    Feeds::Ack ack;
    size_t at = 0;
    while (at < all.size()) {
        ack = big.Take(3, FeedOf(all, at, std::min<size_t>(kRoomMaxFeedBytes, all.size() - at)), 1);
        if (ack.flags != 0) break;
        at = ack.offset;
    }
    EXPECT_EQ(ack.flags, kRoomFeedFull);
    EXPECT_LE(ack.offset, kReplayFileCapacity);
    EXPECT_GT(ack.offset + kRoomMaxFeedBytes, kReplayFileCapacity);
    EXPECT_EQ(big.Counts().bytes, ack.offset);
    // The last bytes that fit exactly are taken.
    ack = big.Take(3, FeedOf(all, ack.offset, kReplayFileCapacity - ack.offset), 1);
    EXPECT_EQ(ack.offset, kReplayFileCapacity);
    EXPECT_EQ(big.Take(3, FeedOf(all, ack.offset, 1), 1).flags, kRoomFeedFull);

    // Two feeds of a server with room for about 3 kB: the second is full
    // once the first has taken most of it.
    Feeds small(server::kFeedOverheadBytes * 2 + 3000);
    const Bytes r = Recording(4000);
    EXPECT_EQ(small.Take(1, FeedOf(r, 0, 1000), 1).offset, 1000u);
    EXPECT_EQ(small.Take(1, FeedOf(r, 1000, 1000), 1).offset, 2000u);
    EXPECT_EQ(small.Take(2, FeedOf(r, 0, 900), 1).offset, 900u);
    ack = small.Take(2, FeedOf(r, 900, 200), 1);
    EXPECT_EQ(ack.offset, 900u);
    EXPECT_EQ(ack.flags, kRoomFeedFull);
    EXPECT_EQ(small.Take(1, FeedOf(r, 2000, 200), 1).flags, kRoomFeedFull);
    // A third feed: no room even to begin.
    EXPECT_EQ(small.Take(3, FeedOf(r, 0, 200), 1).flags, kRoomFeedFull);
    // One is forgotten: the memory is there again.
    small.RoomClosed(1, 10);
    small.Sweep(10 + server::kFeedKeptSeconds);
    EXPECT_EQ(small.Take(2, FeedOf(r, 900, 200), 400).offset, 1100u);
}

TEST(Feeds, TheFinalHeaderOrTheRoomEndsAFeedWhichIsForgottenFiveMinutesLater) {
    Feeds feeds(1 << 20);
    const Bytes all = Recording(500);
    feeds.Take(4, FeedOf(all, 0, all.size()), 10);
    const Bytes final = Header("ANNA", "BO", 1234);
    // A final header anywhere else, of another size, or no header: not taken.
    EXPECT_EQ(feeds.Take(4, FeedOf(all, 160, 160, kRoomFeedFinal), 10).flags, 0);
    EXPECT_EQ(feeds.Take(4, FeedOf(final, 0, 100, kRoomFeedFinal), 10).flags, 0);
    Bytes bad = final;
    bad[0] = 'X';
    EXPECT_EQ(feeds.Take(4, FeedOf(bad, 0, 160, kRoomFeedFinal), 10).flags, 0);
    EXPECT_EQ(Held(feeds, 4), Str(all));
    // The final one: in place of the first header, and the feed has ended.
    Feeds::Ack ack = feeds.Take(4, FeedOf(final, 0, 160, kRoomFeedFinal), 20);
    EXPECT_EQ(ack.flags, kRoomFeedEnded);
    EXPECT_EQ(ack.offset, all.size());
    Bytes expected = all;
    std::memcpy(expected.data(), final.data(), final.size());
    EXPECT_EQ(Held(feeds, 4), Str(expected));
    // Sent again (its ack lost): told it has ended; more bytes: not taken.
    EXPECT_EQ(feeds.Take(4, FeedOf(final, 0, 160, kRoomFeedFinal), 21).flags, kRoomFeedEnded);
    const Bytes more = Recording(600);
    ack = feeds.Take(4, FeedOf(more, all.size(), 100), 21);
    EXPECT_EQ(ack.offset, all.size());
    EXPECT_EQ(ack.flags, kRoomFeedEnded);
    std::string bytes;
    bool ended = false;
    uint32_t held = 0;
    ASSERT_TRUE(feeds.Read(4, 0, 10, &bytes, &ended, &held));
    EXPECT_TRUE(ended);
    // Kept five minutes from its end, its room's closing notwithstanding.
    feeds.RoomClosed(4, 100);
    feeds.Sweep(20 + server::kFeedKeptSeconds - 1);
    EXPECT_EQ(feeds.Counts().feeds, 1u);
    feeds.Sweep(20 + server::kFeedKeptSeconds);
    EXPECT_EQ(feeds.Counts().feeds, 0u);
    EXPECT_EQ(feeds.Counts().bytes, 0u);

    // A room that closes mid-game ends its feed there; one that closes
    // holding nothing leaves nothing.
    feeds.Take(5, FeedOf(all, 0, 300), 30);
    feeds.RoomClosed(5, 40);
    ASSERT_TRUE(feeds.Read(5, 0, 10, &bytes, &ended, &held));
    EXPECT_TRUE(ended);
    EXPECT_EQ(held, 300u);
    feeds.Sweep(40 + server::kFeedKeptSeconds);
    EXPECT_EQ(feeds.Counts().feeds, 0u);
}

TEST(Feeds, ARoomHasAtMostThirtyTwoWatchersEachCountedTenSecondsAfterItsLastRequest) {
    Feeds feeds(1 << 20);
    const Bytes all = Recording(10);
    feeds.Take(6, FeedOf(all, 0, all.size()), 0);
    for (uint32_t i = 0; i < server::kFeedMostWatchers; ++i)
        ASSERT_EQ(feeds.Admit(6, "w" + std::to_string(i), i * 0.1), Feeds::Watch::Admitted) << i;
    EXPECT_EQ(feeds.Admit(6, "late", 4), Feeds::Watch::TooManyWatchers);
    // One already watching asks again: still one of them.
    EXPECT_EQ(feeds.Admit(6, "w0", 5), Feeds::Watch::Admitted);
    ASSERT_EQ(feeds.List(5).size(), 1u);
    EXPECT_EQ(feeds.List(5)[0].watchers, server::kFeedMostWatchers);
    // Ten seconds after their last requests the others no longer count
    // (w1 asked at 0.1; w0 again at 5, so it counts until 15).
    EXPECT_EQ(feeds.Admit(6, "late", 0.1 + server::kFeedWatcherSeconds - 0.05), Feeds::Watch::TooManyWatchers);
    EXPECT_EQ(feeds.Admit(6, "late", 0.1 + server::kFeedWatcherSeconds + 0.05), Feeds::Watch::Admitted);
    EXPECT_EQ(feeds.List(14)[0].watchers, 2u);
    EXPECT_EQ(feeds.Admit(7, "w0", 14), Feeds::Watch::NoSuchFeed);
}

TEST(Feeds, TheListIsNewestFirstWithNamesAndAtMostAHundredRows) {
    Feeds feeds(64 << 20);
    for (uint32_t code = 0; code < 105; ++code) {
        const Bytes h = Header(("P" + std::to_string(code)).c_str(), "Q");
        feeds.Take(code, FeedOf(h, 0, h.size()), code);
    }
    feeds.RoomClosed(104, 200);
    const std::vector<server::FeedRow> rows = feeds.List(200);
    ASSERT_EQ(rows.size(), server::kFeedListRows);
    EXPECT_EQ(rows[0].code, 104u);
    EXPECT_TRUE(rows[0].ended);
    EXPECT_EQ(rows[0].names[0], "P104");
    EXPECT_EQ(rows[0].names[1], "Q");
    EXPECT_EQ(rows[0].difficulty, 1);
    EXPECT_EQ(rows[0].bytes, kReplayHeaderBytes);
    EXPECT_EQ(rows[99].code, 5u);
    EXPECT_FALSE(rows[1].ended);
}

// Through the rooms: only the host of a room in play feeds it, and its
// ack is no larger than the feed.
TEST(Feeds, OnlyTheHostOfARoomInPlayFeedsIt) {
    uint64_t state = 99;
    server::Rooms rooms({}, [&](uint8_t* out, size_t n) {
        for (size_t i = 0; i < n; ++i)
            out[i] = static_cast<uint8_t>((state = state * 6364136223846793005ull + 1) >> 56);
    });
    Feeds feeds(1 << 20);
    RoomAddress host, joiner, thief;
    host.family = joiner.family = thief.family = 4;
    host.bytes[0] = 10, joiner.bytes[0] = 11, thief.bytes[0] = 12;
    host.port = joiner.port = thief.port = 4000;
    std::vector<std::pair<RoomAddress, RoomMessage>> outs;
    size_t asked = 0;
    auto send = [&](const RoomAddress& to, const uint8_t* b, size_t n) {
        EXPECT_LE(n, asked);
        RoomMessage m;
        ASSERT_TRUE(ParseRoomMessage(b, n, &m, nullptr));
        outs.emplace_back(to, m);
    };
    auto take = [&](const RoomAddress& from, const RoomMessage& m, double now) {
        uint8_t b[kRoomMaxMessageBytes];
        asked = WriteRoomMessage(m, b, sizeof b);
        ASSERT_GT(asked, 0u);
        outs.clear();
        rooms.Take(b, asked, from, now, send);
    };
    RoomMessage open;
    open.kind = RoomKind::Open;
    std::strcpy(open.gameVersion, "1.0.0");
    open.askId = 1;
    take(host, open, 1);
    ASSERT_EQ(outs.size(), 1u);
    const RoomMessage opened = outs[0].second;

    const Bytes all = Recording(100);
    RoomMessage feed = FeedOf(all, 0, all.size());
    std::memcpy(feed.token, opened.token, kRoomTokenBytes);
    // Rooms without feeds take none.
    take(host, feed, 2);
    EXPECT_TRUE(outs.empty());
    rooms.SetFeeds(&feeds);
    // A room still waiting for its second player is in no play.
    take(host, feed, 2);
    EXPECT_TRUE(outs.empty());

    RoomMessage enter = open;
    enter.kind = RoomKind::Enter;
    std::strcpy(enter.code, opened.code);
    enter.askId = 2;
    take(joiner, enter, 3);
    ASSERT_EQ(outs.size(), 2u);
    const RoomMessage entered = outs[1].second;
    // The joiner's feed, a stranger's token: nothing.
    RoomMessage joinerFeed = feed;
    std::memcpy(joinerFeed.token, entered.token, kRoomTokenBytes);
    take(joiner, joinerFeed, 4);
    EXPECT_TRUE(outs.empty());
    RoomMessage forged = feed;
    forged.token[3] ^= 1;
    take(thief, forged, 4);
    EXPECT_TRUE(outs.empty());
    EXPECT_EQ(feeds.Counts().feeds, 0u);
    // The host's: taken and acked, to the host.
    take(host, feed, 5);
    ASSERT_EQ(outs.size(), 1u);
    EXPECT_TRUE(outs[0].first == host);
    EXPECT_EQ(outs[0].second.kind, RoomKind::FeedAck);
    EXPECT_EQ(outs[0].second.offset, all.size());
    EXPECT_EQ(Held(feeds, RoomCodeNumber(opened.code)), Str(all));
    // Both leave: the room closes and its feed has ended.
    RoomMessage leave;
    leave.kind = RoomKind::Leave;
    std::memcpy(leave.token, opened.token, kRoomTokenBytes);
    take(host, leave, 6);
    std::memcpy(leave.token, entered.token, kRoomTokenBytes);
    take(joiner, leave, 6);
    EXPECT_EQ(rooms.Counts().rooms, 0u);
    ASSERT_EQ(feeds.List(7).size(), 1u);
    EXPECT_TRUE(feeds.List(7)[0].ended);
}

}  // namespace
}  // namespace server_test
