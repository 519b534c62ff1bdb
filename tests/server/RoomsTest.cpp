// The rooms' rules on a fake clock with made-up addresses: creating,
// entering by code and quick match through the pairing stages, the
// refusals, the clocks (waiting, silence, play), the relay between a
// room's two players only, its rate, the ask limit, the room limit, and
// hostile traffic. Every answer any case provokes is checked to be no
// larger than the datagram that provoked it.
#include "server/Rooms.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace server_test {
namespace {

using server::Rooms;
using server::RoomsCounts;
using server::RoomsLimits;
using Bytes = std::vector<uint8_t>;

RoomAddress V4(uint32_t ip, uint16_t port) {
    RoomAddress a;
    a.family = 4;
    a.bytes[0] = static_cast<uint8_t>(ip >> 24);
    a.bytes[1] = static_cast<uint8_t>(ip >> 16);
    a.bytes[2] = static_cast<uint8_t>(ip >> 8);
    a.bytes[3] = static_cast<uint8_t>(ip);
    a.port = port;
    return a;
}

// 2001:db8:0:NET::HOST
RoomAddress V6(uint16_t net, uint16_t host, uint16_t port) {
    RoomAddress a;
    a.family = 6;
    const uint8_t head[] = {0x20, 0x01, 0x0d, 0xb8, 0, 0, static_cast<uint8_t>(net >> 8), static_cast<uint8_t>(net)};
    std::memcpy(a.bytes, head, sizeof head);
    a.bytes[14] = static_cast<uint8_t>(host >> 8);
    a.bytes[15] = static_cast<uint8_t>(host);
    a.port = port;
    return a;
}

const RoomAddress kHost = V4(0xC6336401, 40000);    // 198.51.100.1
const RoomAddress kJoiner = V4(0xCB007102, 50000);  // 203.0.113.2
const RoomAddress kThird = V4(0xC0000203, 60000);   // 192.0.2.3
const RoomAddress kThief = V4(0x0A0A0A0A, 1234);
constexpr uint64_t kHash = 0xDA7A;
constexpr const char* kVersion = "1.0.0";

Bytes Write(const RoomMessage& m) {
    uint8_t b[kRoomMaxMessageBytes];
    return Bytes(b, b + WriteRoomMessage(m, b, sizeof b));
}

Bytes Open(RoomMode mode, uint64_t askId, uint8_t difficulty = 0, const char* version = kVersion,
           uint64_t hash = kHash) {
    RoomMessage m;
    m.kind = RoomKind::Open;
    m.mode = mode;
    m.difficulty = difficulty;
    std::strcpy(m.gameVersion, version);
    m.dataHash = hash;
    m.askId = askId;
    return Write(m);
}

Bytes Enter(const char* code, uint64_t askId, const char* version = kVersion, uint64_t hash = kHash) {
    RoomMessage m;
    m.kind = RoomKind::Enter;
    std::strcpy(m.code, code);
    std::strcpy(m.gameVersion, version);
    m.dataHash = hash;
    m.askId = askId;
    return Write(m);
}

Bytes WithToken(RoomKind kind, const uint8_t* token, uint8_t flags = 0, const Bytes& payload = {}) {
    RoomMessage m;
    m.kind = kind;
    std::memcpy(m.token, token, kRoomTokenBytes);
    m.flags = flags;
    m.payload = payload.data();
    m.payloadSize = payload.size();
    return Write(m);
}

// What the server sent, read back (a relayed datagram's bytes copied).
struct Out {
    RoomAddress to;
    size_t size = 0;
    RoomMessage m;
    Bytes payload;
};

// A random source that gives `forced` bytes first, then a fixed sequence.
struct FakeRandom {
    std::deque<uint8_t> forced;
    uint64_t state = 0x9E3779B97F4A7C15ull;
    void Fill(uint8_t* out, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            if (!forced.empty()) {
                out[i] = forced.front();
                forced.pop_front();
                continue;
            }
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            out[i] = static_cast<uint8_t>(state >> 24);
        }
    }
};

class RoomsTest : public ::testing::Test {
protected:
    explicit RoomsTest(RoomsLimits limits = {})
        : rooms_(limits, [this](uint8_t* o, size_t n) { random_.Fill(o, n); }) {}

    // One datagram in; what went out. Every datagram out is checked to be
    // no larger than the one that made it.
    std::vector<Out> Take(const RoomAddress& from, const Bytes& bytes) {
        std::vector<Out> outs;
        rooms_.Take(bytes.empty() ? nullptr : bytes.data(), bytes.size(), from, now_,
                    [&](const RoomAddress& to, const uint8_t* data, size_t n) {
                        EXPECT_LE(n, bytes.size()) << "an answer larger than its question";
                        Out o;
                        o.to = to;
                        o.size = n;
                        const char* why = nullptr;
                        EXPECT_TRUE(ParseRoomMessage(data, n, &o.m, &why)) << why;
                        if (o.m.payload != nullptr) o.payload.assign(o.m.payload, o.m.payload + o.m.payloadSize);
                        o.m.payload = nullptr;
                        outs.push_back(o);
                    });
        return outs;
    }
    // The one answer a question gets (failing when it is not one, to `from`).
    RoomMessage Answer(const RoomAddress& from, const Bytes& bytes) {
        const std::vector<Out> outs = Take(from, bytes);
        EXPECT_EQ(outs.size(), 1u);
        if (outs.size() != 1) return {};
        EXPECT_TRUE(outs[0].to == from);
        return outs[0].m;
    }
    void Silent(const RoomAddress& from, const Bytes& bytes) { EXPECT_TRUE(Take(from, bytes).empty()); }

    // A created room's host answer, and the joiner's, paired (stage 2).
    struct Pair {
        RoomMessage host, joiner;
    };
    Pair MakePair(const RoomAddress& host = kHost, const RoomAddress& joiner = kJoiner) {
        Pair p;
        p.host = Answer(host, Open(RoomMode::Create, ++ask_));
        std::vector<Out> outs = Take(joiner, Enter(p.host.code, ++ask_));
        EXPECT_EQ(outs.size(), 2u);
        if (outs.size() == 2) p.joiner = outs[1].m;
        return p;
    }
    Pair MakePunchedPair(const RoomAddress& host = kHost, const RoomAddress& joiner = kJoiner) {
        Pair p = MakePair(host, joiner);
        EXPECT_EQ(Take(host, WithToken(RoomKind::Stay, p.host.token, kRoomPunched)).size(), 2u);
        return p;
    }

    FakeRandom random_;
    Rooms rooms_;
    double now_ = 1000.0;
    uint64_t ask_ = 100;
};

TEST_F(RoomsTest, ACreatedRoomIsEnteredByItsCodeAndPairsThroughItsStages) {
    const RoomMessage host = Answer(kHost, Open(RoomMode::Create, 7, 2));
    EXPECT_EQ(host.kind, RoomKind::Room);
    EXPECT_EQ(host.askId, 7u);
    EXPECT_EQ(host.role, RoomRole::Host);
    EXPECT_EQ(host.stage, RoomStage::Waiting);
    EXPECT_TRUE(IsRoomCode(host.code));
    EXPECT_EQ(host.peer.family, 0);
    EXPECT_EQ(host.waitSeconds, kRoomWaitSeconds);
    now_ += 20.4;  // (a host quiet for 30 s would be gone)
    EXPECT_EQ(Answer(kHost, WithToken(RoomKind::Stay, host.token)).waitSeconds, kRoomWaitSeconds - 20);

    // The joiner types the code in lower case.
    char lower[kRoomCodeBytes];
    for (size_t i = 0; i < kRoomCodeBytes; ++i) lower[i] = static_cast<char>(std::tolower(host.code[i]));
    Bytes enter = Enter(host.code, 9);
    std::memcpy(&enter[6], lower, kRoomCodeLength);
    const std::vector<Out> paired = Take(kJoiner, enter);
    ASSERT_EQ(paired.size(), 2u);
    // The host hears first, unasked, with the joiner's address.
    EXPECT_TRUE(paired[0].to == kHost);
    EXPECT_EQ(paired[0].m.stage, RoomStage::Pairing);
    EXPECT_EQ(paired[0].m.role, RoomRole::Host);
    EXPECT_EQ(paired[0].m.askId, 0u);
    EXPECT_TRUE(paired[0].m.peer == kJoiner);
    EXPECT_EQ(0, std::memcmp(paired[0].m.token, host.token, kRoomTokenBytes));
    // The joiner: pairing, the host's address not yet.
    const RoomMessage joiner = paired[1].m;
    EXPECT_TRUE(paired[1].to == kJoiner);
    EXPECT_EQ(joiner.askId, 9u);
    EXPECT_EQ(joiner.role, RoomRole::Joiner);
    EXPECT_EQ(joiner.stage, RoomStage::Pairing);
    EXPECT_STREQ(joiner.code, host.code);
    EXPECT_EQ(joiner.peer.family, 0);
    EXPECT_EQ(joiner.waitSeconds, 0);
    EXPECT_NE(0, std::memcmp(joiner.token, host.token, kRoomTokenBytes));

    // Stays before the host punches: the host sees its joiner, the joiner nobody.
    EXPECT_TRUE(Answer(kHost, WithToken(RoomKind::Stay, host.token)).peer == kJoiner);
    EXPECT_EQ(Answer(kJoiner, WithToken(RoomKind::Stay, joiner.token)).peer.family, 0);
    // The joiner saying "punched" changes nothing.
    EXPECT_EQ(Answer(kJoiner, WithToken(RoomKind::Stay, joiner.token, kRoomPunched)).stage, RoomStage::Pairing);

    // The host has punched: both are told, the joiner at once.
    const std::vector<Out> punched = Take(kHost, WithToken(RoomKind::Stay, host.token, kRoomPunched));
    ASSERT_EQ(punched.size(), 2u);
    EXPECT_TRUE(punched[0].to == kJoiner);
    EXPECT_EQ(punched[0].m.stage, RoomStage::Paired);
    EXPECT_TRUE(punched[0].m.peer == kHost);
    EXPECT_TRUE(punched[1].to == kHost);
    EXPECT_TRUE(punched[1].m.peer == kJoiner);
    EXPECT_EQ(Answer(kJoiner, WithToken(RoomKind::Stay, joiner.token)).stage, RoomStage::Paired);
    // Punched again: one answer, nobody told twice.
    EXPECT_EQ(Take(kHost, WithToken(RoomKind::Stay, host.token, kRoomPunched)).size(), 1u);

    const RoomsCounts c = rooms_.Counts();
    EXPECT_EQ(c.rooms, 1u);
    EXPECT_EQ(c.players, 2u);
    EXPECT_EQ(c.opened, 1u);
    EXPECT_EQ(c.paired, 1u);
}

TEST_F(RoomsTest, AStayFromANewAddressMovesThePlayerThere) {
    const Pair p = MakePunchedPair();
    const RoomAddress remapped = V4(0xC6336401, 40001);  // the host's router gave a new port
    EXPECT_TRUE(Answer(remapped, WithToken(RoomKind::Stay, p.host.token)).peer == kJoiner);
    EXPECT_TRUE(Answer(kJoiner, WithToken(RoomKind::Stay, p.joiner.token)).peer == remapped);
    const std::vector<Out> relayed = Take(kJoiner, WithToken(RoomKind::Relay, p.joiner.token, 0, {1, 2, 3}));
    ASSERT_EQ(relayed.size(), 1u);
    EXPECT_TRUE(relayed[0].to == remapped);
}

TEST_F(RoomsTest, QuickMatchPairsTheOldestWaitingRoomOfTheSameGameOnly) {
    const RoomMessage a = Answer(V4(1, 1), Open(RoomMode::Quick, 1, 1));
    EXPECT_EQ(a.stage, RoomStage::Waiting);
    EXPECT_EQ(a.role, RoomRole::Host);
    now_ += 1;
    const std::vector<Out> b = Take(V4(2, 1), Open(RoomMode::Quick, 2, 1));  // the same game: joins a
    ASSERT_EQ(b.size(), 2u);
    EXPECT_TRUE(b[0].to == V4(1, 1));
    EXPECT_TRUE(b[0].m.peer == V4(2, 1));
    EXPECT_EQ(b[1].m.role, RoomRole::Joiner);
    EXPECT_EQ(b[1].m.askId, 2u);
    EXPECT_STREQ(b[1].m.code, a.code);
    // Others wait on their own: another difficulty, version, data set, and
    // a room made to be entered by code.
    const RoomMessage hard = Answer(V4(3, 1), Open(RoomMode::Quick, 3, 2));
    const RoomMessage old = Answer(V4(4, 1), Open(RoomMode::Quick, 4, 1, "0.9.0"));
    const RoomMessage other = Answer(V4(5, 1), Open(RoomMode::Quick, 5, 1, kVersion, kHash + 1));
    const RoomMessage byCode = Answer(V4(6, 1), Open(RoomMode::Create, 6, 1));
    for (const RoomMessage* m : {&hard, &old, &other, &byCode}) EXPECT_EQ(m->role, RoomRole::Host);
    now_ += 1;
    // The same socket asking twice never meets itself: two rooms wait.
    const RoomMessage first = Answer(V4(7, 1), Open(RoomMode::Quick, 7, 1));
    EXPECT_EQ(first.role, RoomRole::Host);
    now_ += 1;
    const RoomMessage second = Answer(V4(7, 1), Open(RoomMode::Quick, 8, 1));
    EXPECT_EQ(second.role, RoomRole::Host);
    EXPECT_STRNE(second.code, first.code);
    now_ += 1;
    // The oldest waiting one takes the next player, and the one after it the next.
    const std::vector<Out> third = Take(V4(9, 1), Open(RoomMode::Quick, 9, 1));
    ASSERT_EQ(third.size(), 2u);
    EXPECT_TRUE(third[0].to == V4(7, 1));
    EXPECT_STREQ(third[0].m.code, first.code);
    EXPECT_STREQ(third[1].m.code, first.code);
    const std::vector<Out> fourth = Take(V4(10, 1), Open(RoomMode::Quick, 10, 1));
    ASSERT_EQ(fourth.size(), 2u);
    EXPECT_STREQ(fourth[1].m.code, second.code);
    const RoomMessage quiet = Answer(V4(11, 1), Open(RoomMode::Quick, 11, 0));
    // A quick room's code can be entered too, and a host gone quiet is
    // passed over.
    EXPECT_EQ(Take(V4(12, 1), Enter(hard.code, 13)).size(), 2u);
    now_ += kRoomSilenceSeconds;
    const RoomMessage late = Answer(V4(13, 1), Open(RoomMode::Quick, 14, 0));
    EXPECT_EQ(late.role, RoomRole::Host);
    EXPECT_STRNE(late.code, quiet.code);
}

TEST_F(RoomsTest, TheSameAskAgainGetsTheSameAnswerAndNoSecondRoom) {
    const RoomMessage first = Answer(kHost, Open(RoomMode::Create, 55));
    const RoomMessage again = Answer(kHost, Open(RoomMode::Create, 55));
    EXPECT_STREQ(again.code, first.code);
    EXPECT_EQ(0, std::memcmp(again.token, first.token, kRoomTokenBytes));
    EXPECT_EQ(again.askId, 55u);
    EXPECT_EQ(rooms_.Counts().rooms, 1u);
    // The joiner's Enter again: the same seat, the host not told twice.
    const std::vector<Out> entered = Take(kJoiner, Enter(first.code, 66));
    ASSERT_EQ(entered.size(), 2u);
    const RoomMessage repeat = Answer(kJoiner, Enter(first.code, 66));
    EXPECT_EQ(repeat.role, RoomRole::Joiner);
    EXPECT_EQ(0, std::memcmp(repeat.token, entered[1].m.token, kRoomTokenBytes));
    // Another ask id from the same address is another ask; another address
    // with the same id too.
    EXPECT_STRNE(Answer(kHost, Open(RoomMode::Create, 56)).code, first.code);
    EXPECT_STRNE(Answer(kThird, Open(RoomMode::Create, 55)).code, first.code);
    EXPECT_EQ(rooms_.Counts().rooms, 3u);
    // Repeats are not more asks: a hundred of them leave the limit untouched.
    for (int i = 0; i < 100; ++i) Answer(kHost, Open(RoomMode::Create, 55));
    for (int i = 0; i < 18; ++i) EXPECT_EQ(Answer(kHost, Open(RoomMode::Create, 1000 + i)).kind, RoomKind::Room);
}

TEST_F(RoomsTest, EnteringIsRefusedForAnUnknownCodeAFullRoomOrAnotherGame) {
    const Pair p = MakePair();
    auto refusal = [&](const RoomAddress& from, const Bytes& ask) {
        const RoomMessage m = Answer(from, ask);
        EXPECT_EQ(m.kind, RoomKind::Refused);
        return m.reason;
    };
    const char* unknown = std::strcmp(p.host.code, "AAAAA") == 0 ? "AAAAC" : "AAAAA";
    EXPECT_EQ(refusal(kThird, Enter(unknown, 1)), RoomRefusal::NoSuchRoom);
    EXPECT_EQ(refusal(kThird, Enter(p.host.code, 2)), RoomRefusal::Full);
    const RoomMessage waiting = Answer(V4(77, 7), Open(RoomMode::Create, 3));
    EXPECT_EQ(refusal(kThird, Enter(waiting.code, 4, "1.0.1")), RoomRefusal::Version);
    EXPECT_EQ(refusal(kThird, Enter(waiting.code, 5, kVersion, kHash ^ 1)), RoomRefusal::DataSet);
    // The refusal echoes the ask id; the room still waits for the right game.
    const RoomMessage r = Answer(kThird, Enter(unknown, 4242));
    EXPECT_EQ(r.askId, 4242u);
    EXPECT_EQ(Take(kThird, Enter(waiting.code, 6)).size(), 2u);
    EXPECT_EQ(rooms_.Counts().refused, 5u);
}

TEST_F(RoomsTest, ARoomClosesWhenItsOwnerLeavesOrGoesQuietOrItWaitsTooLong) {
    // The owner leaves: the code says "closed", then after a while "no room".
    const RoomMessage left = Answer(kHost, Open(RoomMode::Create, 1));
    Silent(kHost, WithToken(RoomKind::Leave, left.token));
    EXPECT_EQ(rooms_.Counts().rooms, 0u);
    EXPECT_EQ(Answer(kThird, Enter(left.code, 2)).reason, RoomRefusal::Closed);
    Silent(kHost, WithToken(RoomKind::Stay, left.token));  // its token is nobody's now

    // The owner keeps staying, but nobody comes for ten minutes.
    const RoomMessage waited = Answer(kHost, Open(RoomMode::Create, 3));
    for (uint32_t t = 0; t + 10 < kRoomWaitSeconds; t += 10) {
        now_ += 10;
        ASSERT_EQ(Answer(kHost, WithToken(RoomKind::Stay, waited.token)).stage, RoomStage::Waiting) << t;
    }
    now_ += 10;
    Silent(kHost, WithToken(RoomKind::Stay, waited.token));
    EXPECT_EQ(Answer(kThird, Enter(waited.code, 4)).reason, RoomRefusal::Closed);

    // The owner goes quiet: gone after 30 s, on the sweep as on an ask.
    const RoomMessage quiet = Answer(kHost, Open(RoomMode::Create, 5));
    now_ += kRoomSilenceSeconds - 1;
    rooms_.Sweep(now_);
    EXPECT_EQ(rooms_.Counts().rooms, 1u);
    now_ += 1;
    rooms_.Sweep(now_);
    EXPECT_EQ(rooms_.Counts().rooms, 0u);
    EXPECT_EQ(Answer(kThird, Enter(quiet.code, 6)).reason, RoomRefusal::Closed);
    EXPECT_GE(rooms_.Counts().expired, 2u);

    // Closed codes are remembered for a while, then forgotten.
    now_ += Rooms::kClosedSeconds;
    rooms_.Sweep(now_);
    EXPECT_EQ(Answer(kThird, Enter(quiet.code, 7)).reason, RoomRefusal::NoSuchRoom);
}

TEST_F(RoomsTest, PlayersWhoLeaveOrGoQuietInPlayAreGoneAndTheRoomWithThem) {
    Pair p = MakePunchedPair();
    // The joiner leaves: the host's relays go nowhere; the room lives for the host.
    Silent(kJoiner, WithToken(RoomKind::Leave, p.joiner.token));
    Silent(kHost, WithToken(RoomKind::Relay, p.host.token, 0, {1}));
    const RoomMessage alone = Answer(kHost, WithToken(RoomKind::Stay, p.host.token));
    EXPECT_EQ(alone.peer.family, 0);
    EXPECT_EQ(Answer(kThird, Enter(p.host.code, 1)).reason, RoomRefusal::Full);  // never open again
    Silent(kHost, WithToken(RoomKind::Leave, p.host.token));
    EXPECT_EQ(rooms_.Counts().rooms, 0u);
    EXPECT_EQ(rooms_.Counts().players, 0u);

    // A quiet joiner: its relays after 30 s are not forwarded, its Stay gets nothing.
    p = MakePunchedPair();
    for (int i = 0; i < 3; ++i) {
        now_ += 10;
        Answer(kHost, WithToken(RoomKind::Stay, p.host.token));
    }
    Silent(kJoiner, WithToken(RoomKind::Relay, p.joiner.token, 0, {1}));
    Silent(kJoiner, WithToken(RoomKind::Stay, p.joiner.token));
    EXPECT_EQ(rooms_.Counts().players, 1u);

    // Play lasts at most four hours, relays or not.
    p = MakePunchedPair(kThird, kThief);
    for (double t = 0; t + 10 < kRoomPlaySeconds; t += 10) {
        now_ += 10;
        ASSERT_EQ(Take(kThird, WithToken(RoomKind::Relay, p.host.token, 0, {9})).size(), 1u) << t;
        ASSERT_EQ(Take(kThief, WithToken(RoomKind::Relay, p.joiner.token, 0, {8})).size(), 1u) << t;
    }
    now_ += 10;
    Silent(kThird, WithToken(RoomKind::Relay, p.host.token, 0, {9}));
    Silent(kThief, WithToken(RoomKind::Stay, p.joiner.token));
}

TEST_F(RoomsTest, RelaysGoOnlyToTheOtherPlayerOfTheSendersRoom) {
    const Pair p = MakePunchedPair();
    const Pair q = MakePunchedPair(kThird, V4(0x0B0B0B0B, 99));
    const Bytes datagram = {0x05, 0xFF, 0x00, 0x10, 0x20};
    std::vector<Out> out = Take(kHost, WithToken(RoomKind::Relay, p.host.token, 0, datagram));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(out[0].to == kJoiner);
    EXPECT_EQ(out[0].m.kind, RoomKind::Relayed);
    EXPECT_EQ(out[0].payload, datagram);
    EXPECT_EQ(out[0].size, kRoomRelayedHeadBytes + datagram.size());  // the token is not forwarded
    out = Take(kJoiner, WithToken(RoomKind::Relay, p.joiner.token, 0, datagram));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(out[0].to == kHost);
    // The longest datagram goes whole.
    const Bytes longest(kRoomMaxRelayBytes, 0xAB);
    out = Take(kHost, WithToken(RoomKind::Relay, p.host.token, 0, longest));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].payload, longest);

    // Room q's tokens reach q's players only, from wherever they come.
    out = Take(kHost, WithToken(RoomKind::Relay, q.host.token, 0, datagram));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(out[0].to == V4(0x0B0B0B0B, 99));
    // A token nobody holds, a token with a byte changed, and a waiting
    // room's host (nobody to relay to): nothing, counted.
    const uint64_t strangers = rooms_.Counts().strangers;
    uint8_t forged[kRoomTokenBytes];
    std::memcpy(forged, p.host.token, sizeof forged);
    forged[15] ^= 1;
    Silent(kThief, WithToken(RoomKind::Relay, forged, 0, datagram));
    uint8_t zeros[kRoomTokenBytes] = {};
    Silent(kThief, WithToken(RoomKind::Relay, zeros, 0, datagram));
    Silent(kThief, WithToken(RoomKind::Stay, forged));
    Silent(kThief, WithToken(RoomKind::Leave, forged));
    const RoomMessage waiting = Answer(V4(5, 5), Open(RoomMode::Create, 1));
    Silent(V4(5, 5), WithToken(RoomKind::Relay, waiting.token, 0, datagram));
    EXPECT_EQ(rooms_.Counts().strangers, strangers + 5);
    // The forged ones moved nobody.
    out = Take(kJoiner, WithToken(RoomKind::Relay, p.joiner.token, 0, datagram));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(out[0].to == kHost);
}

TEST_F(RoomsTest, AStolenTokenRedirectsThePeersDatagramsOnlyUntilThePlayerIsHeardAgain) {
    const Pair p = MakePunchedPair();
    // The thief (on the path, it read the host's token) relays from its own address.
    std::vector<Out> out = Take(kThief, WithToken(RoomKind::Relay, p.host.token, 0, {1}));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(out[0].to == kJoiner);  // to the joiner, never to an address of the thief's choosing
    int toThief = 0;
    for (int i = 0; i < 3; ++i) {
        out = Take(kJoiner, WithToken(RoomKind::Relay, p.joiner.token, 0, {2}));
        ASSERT_EQ(out.size(), 1u);
        toThief += out[0].to == kThief;
    }
    EXPECT_EQ(toThief, 3);  // sealed datagrams the thief can read nothing of
    // The host's next datagram, from its own address, takes its place back.
    Take(kHost, WithToken(RoomKind::Relay, p.host.token, 0, {3}));
    for (int i = 0; i < 3; ++i) {
        out = Take(kJoiner, WithToken(RoomKind::Relay, p.joiner.token, 0, {4}));
        ASSERT_EQ(out.size(), 1u);
        EXPECT_TRUE(out[0].to == kHost);
    }
    // A Stay spoofed from a victim's address points the joiner's datagrams
    // there, no more of them than the joiner sends and no more bytes than
    // it sends, until the host is heard again.
    const RoomAddress victim = V4(0x08080808, 53);
    Answer(victim, WithToken(RoomKind::Stay, p.host.token));
    out = Take(kJoiner, WithToken(RoomKind::Relay, p.joiner.token, 0, {5}));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(out[0].to == victim);
    Answer(kHost, WithToken(RoomKind::Stay, p.host.token));
    out = Take(kJoiner, WithToken(RoomKind::Relay, p.joiner.token, 0, {6}));
    EXPECT_TRUE(out[0].to == kHost);
}

TEST_F(RoomsTest, EachPlayerRelaysAtMostItsRateASecond) {
    const Pair p = MakePunchedPair();
    int host = 0, joiner = 0;
    for (int i = 0; i < 1000; ++i)
        host += static_cast<int>(Take(kHost, WithToken(RoomKind::Relay, p.host.token, 0, {1})).size());
    EXPECT_EQ(host, static_cast<int>(kRoomRelayPerSecond));
    EXPECT_EQ(rooms_.Counts().overRelay, 1000u - kRoomRelayPerSecond);
    // The other player's own allowance is whole.
    for (int i = 0; i < 100; ++i)
        joiner += static_cast<int>(Take(kJoiner, WithToken(RoomKind::Relay, p.joiner.token, 0, {1})).size());
    EXPECT_EQ(joiner, 100);
    // It refills: 100 a second goes on for ever.
    host = 0;
    for (int i = 0; i < 1000; ++i) {
        now_ += 0.01;
        host += static_cast<int>(Take(kHost, WithToken(RoomKind::Relay, p.host.token, 0, {1})).size());
    }
    EXPECT_EQ(host, 1000);
}

TEST_F(RoomsTest, AnAddressAsksAtMostItsRateAMinuteAndIsToldSoOnceAMinute) {
    // Twenty asks from one address (many ports), then one refusal, then silence.
    for (uint16_t i = 0; i < kRoomAsksPerMinute; ++i)
        ASSERT_EQ(Answer(V4(0x0A000001, 1000 + i), Open(RoomMode::Create, i)).kind, RoomKind::Room) << i;
    const RoomMessage told = Answer(V4(0x0A000001, 2000), Open(RoomMode::Create, 99));
    EXPECT_EQ(told.kind, RoomKind::Refused);
    EXPECT_EQ(told.reason, RoomRefusal::TooManyAsks);
    EXPECT_EQ(told.askId, 99u);
    for (int i = 0; i < 50; ++i) Silent(V4(0x0A000001, 2001), Enter("AAAAA", 100 + i));
    EXPECT_EQ(rooms_.Counts().limited, 51u);
    // Another address has its own; an ask refills every 3 s.
    EXPECT_EQ(Answer(V4(0x0A000002, 1), Open(RoomMode::Create, 1)).kind, RoomKind::Room);
    now_ += 3;
    EXPECT_EQ(Answer(V4(0x0A000001, 3000), Open(RoomMode::Create, 300)).kind, RoomKind::Room);
    Silent(V4(0x0A000001, 3000), Open(RoomMode::Create, 301));  // told 3 s ago
    now_ += 60;
    for (int i = 0; i < 20; ++i) Take(V4(0x0A000001, 3001), Open(RoomMode::Create, 400 + i));
    EXPECT_EQ(Answer(V4(0x0A000001, 3002), Open(RoomMode::Create, 500)).reason, RoomRefusal::TooManyAsks);

    // IPv6: one /64 is one address; the next /64 is another.
    for (uint16_t i = 0; i < kRoomAsksPerMinute; ++i)
        ASSERT_EQ(Answer(V6(1, i, 7000), Open(RoomMode::Create, i)).kind, RoomKind::Room);
    EXPECT_EQ(Answer(V6(1, 999, 7000), Open(RoomMode::Create, 77)).reason, RoomRefusal::TooManyAsks);
    EXPECT_EQ(Answer(V6(2, 1, 7000), Open(RoomMode::Create, 78)).kind, RoomKind::Room);
}

class FewRoomsTest : public RoomsTest {
protected:
    static RoomsLimits Few() {
        RoomsLimits l;
        l.maxRooms = 3;
        return l;
    }
    FewRoomsTest() : RoomsTest(Few()) {}
};

TEST_F(FewRoomsTest, NoMoreRoomsThanTheLimitButQuickMatchStillPairs) {
    const RoomMessage quick = Answer(V4(1, 1), Open(RoomMode::Quick, 1));
    const RoomMessage a = Answer(V4(2, 1), Open(RoomMode::Create, 2));
    Answer(V4(3, 1), Open(RoomMode::Create, 3));
    const RoomMessage full = Answer(V4(4, 1), Open(RoomMode::Create, 4));
    EXPECT_EQ(full.kind, RoomKind::Refused);
    EXPECT_EQ(full.reason, RoomRefusal::NoRoom);
    // A quick ask that finds a room makes none; one that finds none is refused.
    EXPECT_EQ(Take(V4(5, 1), Open(RoomMode::Quick, 5)).size(), 2u);
    EXPECT_EQ(Answer(V4(6, 1), Open(RoomMode::Quick, 6)).reason, RoomRefusal::NoRoom);
    // Entering needs no new room either.
    EXPECT_EQ(Take(V4(7, 1), Enter(a.code, 7)).size(), 2u);
    // One closes: one more may open.
    Silent(V4(1, 1), WithToken(RoomKind::Leave, quick.token));
    Silent(V4(5, 1), WithToken(RoomKind::Leave, Answer(V4(5, 1), Open(RoomMode::Quick, 5)).token));
    EXPECT_EQ(Answer(V4(8, 1), Open(RoomMode::Create, 8)).kind, RoomKind::Room);
    EXPECT_EQ(rooms_.Counts().rooms, 3u);
}

TEST_F(RoomsTest, CodesAreDrawnFairlyAndNeverTwiceAtOnce) {
    // The random source gives the same four bytes for the second room's
    // code as for the first, then a number past the last whole multiple of
    // the code count (drawn again), then another.
    const uint8_t same[4] = {1, 2, 3, 0};
    const uint8_t unfair[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    const uint8_t other[4] = {9, 0, 0, 0};
    auto force = [&](const uint8_t* b) { random_.forced.insert(random_.forced.end(), b, b + 4); };
    force(same);
    const RoomMessage first = Answer(V4(1, 1), Open(RoomMode::Create, 1));
    char expected[kRoomCodeBytes];
    RoomCodeOfNumber(0x00030201u % kRoomCodeCount, expected);
    EXPECT_STREQ(first.code, expected);
    force(same);
    force(unfair);
    force(other);
    const RoomMessage second = Answer(V4(2, 1), Open(RoomMode::Create, 2));
    RoomCodeOfNumber(9, expected);
    EXPECT_STREQ(second.code, expected);
    // A closed room's code is not handed out again while it says "closed".
    Silent(V4(1, 1), WithToken(RoomKind::Leave, first.token));
    force(same);
    force(other);
    force(same);
    const uint8_t third[4] = {10, 0, 0, 0};
    force(third);
    const RoomMessage next = Answer(V4(3, 1), Open(RoomMode::Create, 3));
    RoomCodeOfNumber(10, expected);
    EXPECT_STREQ(next.code, expected);
    // Tokens are the random source's sixteen bytes, each player its own.
    EXPECT_NE(0, std::memcmp(first.token, second.token, kRoomTokenBytes));
}

TEST_F(RoomsTest, WhatIsNoQuestionForTheServerIsDroppedUnanswered) {
    const Pair p = MakePunchedPair();
    const uint64_t before = rooms_.Counts().garbage;
    std::vector<Bytes> garbage = {{}, {'V'}, Bytes(5, 0), Bytes(kRoomMaxMessageBytes + 1, 0), Bytes(96, 0)};
    Bytes open = Open(RoomMode::Create, 1);
    open[4] = 2;  // another version
    garbage.push_back(open);
    open = Open(RoomMode::Create, 1);
    open.push_back(0);  // one byte long
    garbage.push_back(open);
    open.resize(95);  // one short
    garbage.push_back(open);
    // What the server sends, sent to it.
    RoomMessage m;
    m.kind = RoomKind::Room;
    std::strcpy(m.code, p.host.code);
    garbage.push_back(Write(m));
    m.kind = RoomKind::Refused;
    garbage.push_back(Write(m));
    m.kind = RoomKind::Punch;
    garbage.push_back(Write(m));
    const uint8_t bytes[] = {1, 2, 3};
    m.kind = RoomKind::Relayed;
    m.payload = bytes;
    m.payloadSize = sizeof bytes;
    garbage.push_back(Write(m));
    for (const Bytes& g : garbage) Silent(kJoiner, g);
    EXPECT_EQ(rooms_.Counts().garbage, before + garbage.size());
    // An address not known (the socket could not say) is dropped too.
    Silent(RoomAddress{}, Open(RoomMode::Create, 5));
    EXPECT_EQ(rooms_.Counts().rooms, 1u);
}

TEST_F(RoomsTest, AFloodFromManyAddressesLeavesAPairedRoomsRelayWorking) {
    const Pair p = MakePunchedPair();
    uint64_t seed = 12345;
    auto next = [&] {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>(seed >> 33);
    };
    const auto started = std::chrono::steady_clock::now();
    int forwarded = 0, relays = 0;
    size_t bytesIn = 0, bytesOut = 0;
    for (int i = 0; i < 100000; ++i) {
        const RoomAddress from = V4(0x64000000u + next() % 50000u, static_cast<uint16_t>(1 + next() % 60000));
        Bytes b;
        switch (i % 5) {
        case 0:
            b.resize(next() % 1300);
            for (uint8_t& x : b) x = static_cast<uint8_t>(next());
            break;
        case 1:
            b = Open(next() % 2 ? RoomMode::Create : RoomMode::Quick, next(), next() % 3);
            break;
        case 2:
            b = Enter("ACDEF", next());
            break;
        case 3: {
            uint8_t token[kRoomTokenBytes];
            for (uint8_t& x : token) x = static_cast<uint8_t>(next());
            b = WithToken(next() % 2 ? RoomKind::Stay : RoomKind::Relay, token, 0, Bytes(1 + next() % 100, 7));
            break;
        }
        default: {
            // Every fifth datagram: the two players' own, 100 a second each way.
            now_ += 0.005;
            const bool fromHost = (i / 5) % 2 == 0;
            const Bytes datagram(100, static_cast<uint8_t>(i));
            const std::vector<Out> out =
                Take(fromHost ? kHost : kJoiner,
                     WithToken(RoomKind::Relay, fromHost ? p.host.token : p.joiner.token, 0, datagram));
            ++relays;
            if (out.size() == 1 && out[0].to == (fromHost ? kJoiner : kHost) && out[0].payload == datagram) ++forwarded;
            continue;
        }
        }
        bytesIn += b.size();
        for (const Out& o : Take(from, b)) bytesOut += o.size;
        // The players stay now and then, as the game does.
        if (i % 2000 == 0) {
            Answer(kHost, WithToken(RoomKind::Stay, p.host.token));
            Answer(kJoiner, WithToken(RoomKind::Stay, p.joiner.token));
        }
    }
    EXPECT_EQ(forwarded, relays);
    // Nothing went anywhere but back to the asker (a quick pairing tells its
    // host, an address that asked), and never more bytes than came.
    EXPECT_LE(bytesOut, bytesIn);
    const RoomsCounts c = rooms_.Counts();
    EXPECT_LE(c.rooms, RoomsLimits{}.maxRooms);
    EXPECT_GT(c.garbage + c.strangers + c.limited, 0u);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_LT(seconds, 20.0) << "the flood took too long";
    // Half a minute later every flooding room is gone; the players stay.
    for (int s = 0; s < 31; ++s) {
        now_ += 1;
        if (s % 10 == 0) {
            Answer(kHost, WithToken(RoomKind::Stay, p.host.token));
            Answer(kJoiner, WithToken(RoomKind::Stay, p.joiner.token));
        }
        rooms_.Sweep(now_);
    }
    EXPECT_EQ(rooms_.Counts().rooms, 1u);
    EXPECT_EQ(rooms_.Counts().players, 2u);
    EXPECT_EQ(Take(kHost, WithToken(RoomKind::Relay, p.host.token, 0, {1})).size(), 1u);
}

}  // namespace
}  // namespace server_test
