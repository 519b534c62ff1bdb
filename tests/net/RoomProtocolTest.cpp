// The room messages between a game and the server: every kind written and
// read back, every size rule, fields out of range, the codes' letters, the
// addresses, and no answer larger than its question.

#include "net/RoomProtocol.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

const uint8_t kDatagram[] = {5, 0, 0, 0, 0, 0, 0, 0, 9, 0xAA, 0xBB, 0xCC, 0xDD};

RoomAddress V4(uint8_t a, uint8_t b, uint8_t c, uint8_t d, uint16_t port) {
    RoomAddress r;
    r.family = 4;
    r.bytes[0] = a, r.bytes[1] = b, r.bytes[2] = c, r.bytes[3] = d;
    r.port = port;
    return r;
}

RoomAddress V6(uint16_t port) {
    RoomAddress r;
    r.family = 6;
    const uint8_t bytes[16] = {0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5};
    std::memcpy(r.bytes, bytes, 16);
    r.port = port;
    return r;
}

void Token(RoomMessage& m, uint8_t seed) {
    for (size_t i = 0; i < kRoomTokenBytes; ++i) m.token[i] = static_cast<uint8_t>(seed + 17 * i);
}

// One message of every kind, its fields all away from their defaults.
std::vector<RoomMessage> EveryKind() {
    std::vector<RoomMessage> all;
    RoomMessage m;
    m.kind = RoomKind::Open;
    m.mode = RoomMode::Quick;
    m.difficulty = 2;
    std::strcpy(m.gameVersion, "1.2.3-rc1");
    m.dataHash = 0x0123456789ABCDEFull;
    m.askId = 0xFEDCBA9876543210ull;
    all.push_back(m);

    m = {};
    m.kind = RoomKind::Enter;
    std::strcpy(m.code, "YXWVA");
    std::strcpy(m.gameVersion, "123456789012345");  // the longest version that fits
    m.dataHash = ~0ull;
    m.askId = 1;
    all.push_back(m);

    m = {};
    m.kind = RoomKind::Stay;
    Token(m, 3);
    m.flags = kRoomPunched;
    all.push_back(m);

    m = {};
    m.kind = RoomKind::Relay;
    Token(m, 4);
    m.payload = kDatagram;
    m.payloadSize = sizeof kDatagram;
    all.push_back(m);

    m = {};
    m.kind = RoomKind::Leave;
    Token(m, 5);
    all.push_back(m);

    m = {};
    m.kind = RoomKind::Relayed;
    m.payload = kDatagram;
    m.payloadSize = sizeof kDatagram;
    all.push_back(m);

    m = {};
    m.kind = RoomKind::Punch;
    all.push_back(m);

    m = {};
    m.kind = RoomKind::Room;
    m.askId = 0x1122334455667788ull;
    Token(m, 6);
    std::strcpy(m.code, "ACDEF");
    m.role = RoomRole::Joiner;
    m.stage = RoomStage::Paired;
    m.peer = V6(65535);
    m.waitSeconds = kRoomWaitSeconds;
    all.push_back(m);

    m = {};
    m.kind = RoomKind::Refused;
    m.askId = 42;
    m.reason = RoomRefusal::Closed;
    all.push_back(m);

    m = {};
    m.kind = RoomKind::Feed;
    Token(m, 7);
    m.offset = 0x01020304;
    m.flags = kRoomFeedFinal;
    m.payload = kDatagram;
    m.payloadSize = sizeof kDatagram;
    all.push_back(m);

    m = {};
    m.kind = RoomKind::FeedAck;
    m.offset = 0xA0B0C0D0;
    m.flags = kRoomFeedFull | kRoomFeedEnded;
    all.push_back(m);
    return all;
}

Bytes Write(const RoomMessage& m) {
    uint8_t buffer[kRoomMaxMessageBytes];
    const size_t n = WriteRoomMessage(m, buffer, sizeof buffer);
    return {buffer, buffer + n};
}

bool Parse(const Bytes& b, RoomMessage* m = nullptr, std::string* why = nullptr) {
    RoomMessage scratch;
    const char* reason = nullptr;
    const bool ok = ParseRoomMessage(b.empty() ? nullptr : b.data(), b.size(), m ? m : &scratch, &reason);
    if (why) *why = reason ? reason : "";
    if (!ok) {
        EXPECT_NE(reason, nullptr);
    }
    return ok;
}

void ExpectSame(const RoomMessage& a, const RoomMessage& b) {
    EXPECT_EQ(a.kind, b.kind);
    switch (a.kind) {
    case RoomKind::Open:
        EXPECT_EQ(a.mode, b.mode);
        EXPECT_EQ(a.difficulty, b.difficulty);
        EXPECT_STREQ(a.gameVersion, b.gameVersion);
        EXPECT_EQ(a.dataHash, b.dataHash);
        EXPECT_EQ(a.askId, b.askId);
        break;
    case RoomKind::Enter:
        EXPECT_STREQ(a.code, b.code);
        EXPECT_STREQ(a.gameVersion, b.gameVersion);
        EXPECT_EQ(a.dataHash, b.dataHash);
        EXPECT_EQ(a.askId, b.askId);
        break;
    case RoomKind::Stay:
        EXPECT_EQ(0, std::memcmp(a.token, b.token, kRoomTokenBytes));
        EXPECT_EQ(a.flags, b.flags);
        break;
    case RoomKind::Relay:
    case RoomKind::Relayed:
        if (a.kind == RoomKind::Relay) {
            EXPECT_EQ(0, std::memcmp(a.token, b.token, kRoomTokenBytes));
        }
        ASSERT_EQ(a.payloadSize, b.payloadSize);
        EXPECT_EQ(0, std::memcmp(a.payload, b.payload, a.payloadSize));
        break;
    case RoomKind::Leave:
        EXPECT_EQ(0, std::memcmp(a.token, b.token, kRoomTokenBytes));
        break;
    case RoomKind::Punch:
        break;
    case RoomKind::Room:
        EXPECT_EQ(a.askId, b.askId);
        EXPECT_EQ(0, std::memcmp(a.token, b.token, kRoomTokenBytes));
        EXPECT_STREQ(a.code, b.code);
        EXPECT_EQ(a.role, b.role);
        EXPECT_EQ(a.stage, b.stage);
        EXPECT_TRUE(a.peer == b.peer);
        EXPECT_EQ(a.waitSeconds, b.waitSeconds);
        break;
    case RoomKind::Refused:
        EXPECT_EQ(a.askId, b.askId);
        EXPECT_EQ(a.reason, b.reason);
        break;
    case RoomKind::Feed:
        EXPECT_EQ(0, std::memcmp(a.token, b.token, kRoomTokenBytes));
        EXPECT_EQ(a.offset, b.offset);
        EXPECT_EQ(a.flags, b.flags);
        ASSERT_EQ(a.payloadSize, b.payloadSize);
        EXPECT_EQ(0, std::memcmp(a.payload, b.payload, a.payloadSize));
        break;
    case RoomKind::FeedAck:
        EXPECT_EQ(a.offset, b.offset);
        EXPECT_EQ(a.flags, b.flags);
        break;
    }
}

TEST(RoomProtocol, EveryKindReadsBackAsWrittenAtItsOwnSize) {
    for (const RoomMessage& m : EveryKind()) {
        SCOPED_TRACE(static_cast<int>(m.kind));
        const Bytes b = Write(m);
        ASSERT_EQ(b.size(), RoomMessageBytes(m.kind, m.payloadSize));
        EXPECT_EQ(0, std::memcmp(b.data(), "VCRM", 4));
        EXPECT_EQ(b[4], 1);
        EXPECT_EQ(b[5], static_cast<uint8_t>(m.kind));
        RoomMessage back;
        ASSERT_TRUE(Parse(b, &back));
        ExpectSame(m, back);
        // Written again, the same bytes.
        EXPECT_EQ(Write(back), b);
    }
    EXPECT_EQ(RoomMessageBytes(RoomKind::Open), 96u);
    EXPECT_EQ(RoomMessageBytes(RoomKind::Enter), 96u);
    EXPECT_EQ(RoomMessageBytes(RoomKind::Stay), 64u);
    EXPECT_EQ(RoomMessageBytes(RoomKind::Leave), 64u);
    EXPECT_EQ(RoomMessageBytes(RoomKind::Punch), 14u);
    EXPECT_EQ(RoomMessageBytes(RoomKind::Room), 64u);
    EXPECT_EQ(RoomMessageBytes(RoomKind::Refused), 32u);
    EXPECT_EQ(RoomMessageBytes(RoomKind::Relay, 100), 122u);
    EXPECT_EQ(RoomMessageBytes(RoomKind::Relayed, 100), 106u);
    EXPECT_EQ(RoomMessageBytes(static_cast<RoomKind>(7)), 0u);
}

TEST(RoomProtocol, TheLayoutIsTheDocumentedOne) {
    // A Room at its documented offsets, byte by byte.
    RoomMessage m = EveryKind()[7];
    m.peer = V4(192, 0, 2, 7, 0x1C8F);
    m.waitSeconds = 0x0102;
    const Bytes b = Write(m);
    EXPECT_EQ(b[6], 0x88);  // ask id, little-endian
    EXPECT_EQ(b[13], 0x11);
    EXPECT_EQ(b[14], 6);  // token
    EXPECT_EQ(0, std::memcmp(&b[30], "ACDEF", 5));
    EXPECT_EQ(b[35], 2);  // joiner
    EXPECT_EQ(b[36], 3);  // paired
    EXPECT_EQ(b[37], 4);  // family
    EXPECT_EQ(b[38], 192);
    EXPECT_EQ(b[41], 7);
    EXPECT_EQ(b[42], 0);
    EXPECT_EQ(b[54], 0x8F);  // port
    EXPECT_EQ(b[55], 0x1C);
    EXPECT_EQ(b[56], 0x02);  // seconds
    EXPECT_EQ(b[57], 0x01);
    for (size_t i = 58; i < b.size(); ++i) EXPECT_EQ(b[i], 0) << i;
    // An Open: mode, difficulty, version, hash, ask id.
    const Bytes open = Write(EveryKind()[0]);
    EXPECT_EQ(open[6], 2);
    EXPECT_EQ(open[7], 2);
    EXPECT_EQ(0, std::memcmp(&open[8], "1.2.3-rc1", 10));
    EXPECT_EQ(open[24], 0xEF);
    EXPECT_EQ(open[32], 0x10);
    EXPECT_EQ(open[39], 0xFE);
    // An Enter: the code first.
    const Bytes enter = Write(EveryKind()[1]);
    EXPECT_EQ(0, std::memcmp(&enter[6], "YXWVA", 5));
    EXPECT_EQ(0, std::memcmp(&enter[11], "123456789012345", 16));
    // A Relay: the token, then the datagram as it was.
    const Bytes relay = Write(EveryKind()[3]);
    EXPECT_EQ(0, std::memcmp(&relay[22], kDatagram, sizeof kDatagram));
    const Bytes relayed = Write(EveryKind()[5]);
    EXPECT_EQ(0, std::memcmp(&relayed[6], kDatagram, sizeof kDatagram));
}

TEST(RoomProtocol, EveryOtherSizeOfEveryKindIsRefused) {
    for (const RoomMessage& m : EveryKind()) {
        SCOPED_TRACE(static_cast<int>(m.kind));
        const Bytes good = Write(m);
        const bool carries = m.kind == RoomKind::Relay || m.kind == RoomKind::Relayed;
        for (size_t n = 0; n <= kRoomMaxMessageBytes + 8; ++n) {
            if (n == good.size()) continue;
            Bytes b = good;
            b.resize(n, 0);
            // A relay of another datagram size is another relay: in range it
            // is taken, else refused.
            const size_t head = m.kind == RoomKind::Relay ? kRoomRelayHeadBytes : kRoomRelayedHeadBytes;
            const bool fits = carries && n >= head + 1 && n <= head + kRoomMaxRelayBytes;
            EXPECT_EQ(Parse(b), fits) << n;
        }
    }
}

TEST(RoomProtocol, RelaysCarryOneToTwelveHundredBytes) {
    static uint8_t big[kRoomMaxRelayBytes + 1];
    for (size_t i = 0; i < sizeof big; ++i) big[i] = static_cast<uint8_t>(i * 7);
    for (RoomKind kind : {RoomKind::Relay, RoomKind::Relayed}) {
        RoomMessage m;
        m.kind = kind;
        m.payload = big;
        for (size_t n : {size_t{1}, size_t{2}, kRoomMaxRelayBytes}) {
            m.payloadSize = n;
            const Bytes b = Write(m);
            ASSERT_EQ(b.size(), RoomMessageBytes(kind, n));
            RoomMessage back;
            ASSERT_TRUE(Parse(b, &back));
            EXPECT_EQ(back.payloadSize, n);
            EXPECT_EQ(0, std::memcmp(back.payload, big, n));
            EXPECT_EQ(back.payload, b.data() + RoomMessageBytes(kind, 0));  // points into the bytes read
        }
        // The writer refuses none and too many.
        m.payloadSize = 0;
        EXPECT_TRUE(Write(m).empty());
        m.payloadSize = kRoomMaxRelayBytes + 1;
        EXPECT_TRUE(Write(m).empty());
        m.payloadSize = 5;
        m.payload = nullptr;
        EXPECT_TRUE(Write(m).empty());
    }
    // A Relay with its token and no datagram, or with part of a token.
    Bytes b(kRoomRelayHeadBytes, 0);
    std::memcpy(b.data(), "VCRM\x01\x04", 6);
    EXPECT_FALSE(Parse(b));
    b.resize(10);
    EXPECT_FALSE(Parse(b));
}

TEST(RoomProtocol, HeadersAndPaddingMustBeExact) {
    const Bytes good = Write(EveryKind()[2]);  // a Stay
    ASSERT_TRUE(Parse(good));
    std::string why;
    auto broken = [&](size_t at, uint8_t value) {
        Bytes b = good;
        b[at] = value;
        return !Parse(b, nullptr, &why);
    };
    EXPECT_TRUE(broken(0, 'X'));
    EXPECT_TRUE(broken(3, 'P'));
    EXPECT_TRUE(broken(4, 2));  // another version
    EXPECT_EQ(why, "another version of the room protocol");
    EXPECT_TRUE(broken(4, 0));
    for (int kind : {0, 7, 9, 15, 18, 255}) EXPECT_TRUE(broken(5, static_cast<uint8_t>(kind))) << kind;
    // Any byte of the padding that is not zero.
    for (size_t at = kRoomHeaderBytes + kRoomTokenBytes + 1; at < good.size(); ++at) EXPECT_TRUE(broken(at, 1)) << at;
    // Punch: eight zeros and nothing else.
    RoomMessage punch;
    punch.kind = RoomKind::Punch;
    const Bytes p = Write(punch);
    for (size_t at = kRoomHeaderBytes; at < p.size(); ++at) {
        Bytes b = p;
        b[at] = 0x80;
        EXPECT_FALSE(Parse(b)) << at;
    }
    // Nothing, a header alone, and too long for anything.
    EXPECT_FALSE(Parse({}));
    EXPECT_FALSE(Parse(Bytes(good.begin(), good.begin() + kRoomHeaderBytes)));
    Bytes huge(kRoomMaxMessageBytes + 1, 0);
    std::memcpy(huge.data(), "VCRM\x01\x04", 6);
    huge[6] = 1;
    EXPECT_FALSE(Parse(huge));
}

TEST(RoomProtocol, FieldsOutOfRangeAreRefusedByTheReaderAndTheWriter) {
    const std::vector<RoomMessage> all = EveryKind();
    struct Case {
        size_t message, at;
        uint8_t value;
    };
    const Case cases[] = {
        {0, 6, 0},     {0, 6, 3},     {0, 6, 255},                              // mode
        {0, 7, 3},     {0, 7, 200},                                             // difficulty
        {0, 8, 0x1F},  {0, 8, 0x7F},  {0, 8, 0xC3},                             // version: a control, DEL, beyond ASCII
        {0, 18, 'x'},                                                           // version: a letter after its end
        {1, 6, 'B'},   {1, 7, '8'},   {1, 8, 'I'},  {1, 9, 'L'}, {1, 10, '1'},  // look-alike letters
        {1, 6, 'O'},   {1, 6, '0'},   {1, 6, 'S'},  {1, 6, '5'}, {1, 6, 'Z'},
        {1, 6, '2'},   {1, 6, 0},     {1, 10, ' '}, {1, 6, 'b'},  // a short code, a blank
        {1, 11, 0x0A}, {1, 26, 'x'},                              // version: a control, no end
        {2, 22, 2},    {2, 22, 0x81},                             // Stay's unknown flags
        {7, 30, 'I'},  {7, 34, 0},                                // Room's code
        {7, 35, 0},    {7, 35, 3},                                // role
        {7, 36, 0},    {7, 36, 4},                                // stage
        {7, 37, 5},    {7, 37, 0},                                // family (0 with bytes)
        {7, 57, 0x03},                                            // 856 seconds
        {8, 14, 0},    {8, 14, 8},    {8, 14, 255},               // refusal reason
    };
    for (const Case& c : cases) {
        Bytes b = Write(all[c.message]);
        b[c.at] = c.value;
        EXPECT_FALSE(Parse(b)) << c.message << " at " << c.at << " = " << int(c.value);
    }
    // Addresses: family 4 with bytes beyond its four, a known one on port 0,
    // not known but with a port.
    RoomMessage room = all[7];
    room.peer = V4(10, 0, 0, 1, 7311);
    room.peer.bytes[4] = 1;
    EXPECT_TRUE(Write(room).empty());
    room.peer = V4(10, 0, 0, 1, 0);
    EXPECT_TRUE(Write(room).empty());
    room.peer = RoomAddress{};
    room.peer.port = 9;
    EXPECT_TRUE(Write(room).empty());
    room.peer = RoomAddress{};
    EXPECT_FALSE(Write(room).empty());  // not known yet
    room.waitSeconds = kRoomWaitSeconds + 1;
    EXPECT_TRUE(Write(room).empty());
    // The writer refuses what the reader would.
    RoomMessage m = all[0];
    m.difficulty = 3;
    EXPECT_TRUE(Write(m).empty());
    m = all[0];
    m.mode = static_cast<RoomMode>(9);
    EXPECT_TRUE(Write(m).empty());
    m = all[0];
    std::memset(m.gameVersion, 'v', sizeof m.gameVersion);  // no end
    EXPECT_TRUE(Write(m).empty());
    m = all[1];
    std::strcpy(m.code, "ABCDE");
    EXPECT_TRUE(Write(m).empty());
    std::strcpy(m.code, "acdef");  // the writer writes upper case only
    EXPECT_TRUE(Write(m).empty());
    m = all[2];
    m.flags = 2;
    EXPECT_TRUE(Write(m).empty());
    m = all[8];
    m.reason = static_cast<RoomRefusal>(0);
    EXPECT_TRUE(Write(m).empty());
    m.kind = static_cast<RoomKind>(7);
    EXPECT_TRUE(Write(m).empty());
    // A buffer too small.
    uint8_t small[kRoomRoomBytes - 1];
    EXPECT_EQ(WriteRoomMessage(all[7], small, sizeof small), 0u);
}

TEST(RoomProtocol, LowerCaseCodesOnTheWireAreFolded) {
    Bytes b = Write(EveryKind()[1]);
    std::memcpy(&b[6], "yxWva", 5);
    RoomMessage m;
    ASSERT_TRUE(Parse(b, &m));
    EXPECT_STREQ(m.code, "YXWVA");
}

TEST(RoomProtocol, CodesAreFiveOfTwentyLettersWithNoLookAlikes) {
    EXPECT_EQ(std::strlen(kRoomCodeLetters), 20u);
    EXPECT_EQ(kRoomCodeCount, 3200000u);
    for (const char* look : {"B", "8", "I", "L", "1", "O", "0", "S", "5", "Z", "2"})
        EXPECT_EQ(std::strchr(kRoomCodeLetters, look[0]), nullptr) << look;
    char out[kRoomCodeBytes];
    EXPECT_TRUE(FoldRoomCode("acdef", out));
    EXPECT_STREQ(out, "ACDEF");
    EXPECT_TRUE(FoldRoomCode("yXwVu", out));
    EXPECT_STREQ(out, "YXWVU");
    EXPECT_TRUE(IsRoomCode("QRTUV"));
    for (const char* no : {"", "ACDE", "ACDEFG", "ACDEB", "ACDE8", "ACDEI", "ACDEL", "ACDE1", "ACDEO", "ACDE0", "ACDES",
                           "ACDE5", "ACDEZ", "ACDE2", "acdeb", "ACD F", "ACDE\xC1", " ACDE", "AC-DE"}) {
        EXPECT_FALSE(IsRoomCode(no)) << no;
        std::strcpy(out, "XXXXX");
        EXPECT_FALSE(FoldRoomCode(no, out)) << no;
        EXPECT_STREQ(out, "") << no;
    }
    EXPECT_FALSE(IsRoomCode(nullptr));
    // Every number its own code, and back.
    for (uint32_t n : {0u, 1u, 19u, 20u, 12345u, kRoomCodeCount / 2, kRoomCodeCount - 1}) {
        RoomCodeOfNumber(n, out);
        EXPECT_TRUE(IsRoomCode(out)) << out;
        EXPECT_EQ(RoomCodeNumber(out), n) << out;
    }
    RoomCodeOfNumber(0, out);
    EXPECT_STREQ(out, "AAAAA");
    RoomCodeOfNumber(kRoomCodeCount - 1, out);
    EXPECT_STREQ(out, "YYYYY");
    EXPECT_EQ(RoomCodeNumber("ABCDE"), kRoomCodeCount);
    EXPECT_EQ(RoomCodeNumber("acdef"), kRoomCodeCount);  // folded first
    EXPECT_EQ(RoomCodeNumber("ACDEFG"), kRoomCodeCount);
}

TEST(RoomProtocol, AnAnswerIsNeverLargerThanItsQuestion) {
    const size_t answers[] = {RoomMessageBytes(RoomKind::Room), RoomMessageBytes(RoomKind::Refused)};
    for (RoomKind ask : {RoomKind::Open, RoomKind::Enter})
        for (size_t answer : answers) EXPECT_LE(answer, RoomMessageBytes(ask));
    EXPECT_LE(RoomMessageBytes(RoomKind::Room), RoomMessageBytes(RoomKind::Stay));
    for (size_t n = 1; n <= kRoomMaxRelayBytes; ++n)
        ASSERT_LT(RoomMessageBytes(RoomKind::Relayed, n), RoomMessageBytes(RoomKind::Relay, n)) << n;
    // A Leave and a Punch get nothing; the largest message is the largest relay.
    EXPECT_EQ(kRoomMaxMessageBytes, RoomMessageBytes(RoomKind::Relay, kRoomMaxRelayBytes));
    for (RoomKind k : {RoomKind::Open, RoomKind::Enter, RoomKind::Stay, RoomKind::Leave, RoomKind::Punch,
                       RoomKind::Room, RoomKind::Refused})
        EXPECT_LE(RoomMessageBytes(k), kRoomMaxMessageBytes);
    // The server takes only the game's questions.
    EXPECT_TRUE(RoomKindForServer(RoomKind::Open) && RoomKindForServer(RoomKind::Relay));
    EXPECT_FALSE(RoomKindForServer(RoomKind::Room) || RoomKindForServer(RoomKind::Relayed) ||
                 RoomKindForServer(RoomKind::Punch) || RoomKindForServer(RoomKind::Refused));
}

TEST(RoomProtocol, AFeedCarriesOneToAThousandAndTwentyFourBytesAndItsAckIsNeverLarger) {
    uint8_t bytes[kRoomMaxFeedBytes + 1];
    for (size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<uint8_t>(i * 7);
    RoomMessage feed;
    feed.kind = RoomKind::Feed;
    Token(feed, 9);
    feed.offset = 4096;
    feed.payload = bytes;
    // Its layout: token, offset, count, flags, the bytes.
    feed.payloadSize = 3;
    const Bytes three = Write(feed);
    ASSERT_EQ(three.size(), 29u + 3u);
    EXPECT_EQ(three[22], 0x00);
    EXPECT_EQ(three[23], 0x10);  // 4096, little-endian
    EXPECT_EQ(three[26], 3);
    EXPECT_EQ(three[27], 0);
    EXPECT_EQ(three[28], 0);
    EXPECT_EQ(three[29], bytes[0]);
    EXPECT_EQ(three[31], bytes[2]);
    for (size_t n : {size_t{1}, size_t{512}, kRoomMaxFeedBytes}) {
        feed.payloadSize = n;
        const Bytes b = Write(feed);
        ASSERT_EQ(b.size(), kRoomFeedHeadBytes + n);
        RoomMessage back;
        ASSERT_TRUE(Parse(b, &back)) << n;
        ASSERT_EQ(back.payloadSize, n);
        EXPECT_EQ(0, std::memcmp(back.payload, bytes, n));
        EXPECT_EQ(back.offset, 4096u);
        EXPECT_LE(RoomMessageBytes(RoomKind::FeedAck), b.size());
    }
    // Neither none nor more than 1024 is written.
    feed.payloadSize = 0;
    EXPECT_TRUE(Write(feed).empty());
    feed.payloadSize = kRoomMaxFeedBytes + 1;
    EXPECT_TRUE(Write(feed).empty());
    feed.payloadSize = 4;
    feed.flags = 0x02;
    EXPECT_TRUE(Write(feed).empty());
    feed.flags = 0;
    feed.offset = UINT32_MAX - 2;  // its end past the numbers
    EXPECT_TRUE(Write(feed).empty());
    feed.offset = 0;

    // Read: a count that is not the bytes that came, zero, too many, a
    // flag unknown, an end past 2^32, a cut datagram.
    const Bytes good = Write(feed);
    ASSERT_TRUE(Parse(good));
    auto withCount = [&](uint16_t count, size_t extra) {
        Bytes b = good;
        b[26] = static_cast<uint8_t>(count), b[27] = static_cast<uint8_t>(count >> 8);
        b.resize(kRoomFeedHeadBytes + extra, 0);
        return b;
    };
    EXPECT_FALSE(Parse(withCount(5, 4)));
    EXPECT_FALSE(Parse(withCount(3, 4)));
    EXPECT_FALSE(Parse(withCount(0, 0)));
    EXPECT_FALSE(Parse(withCount(0, 4)));
    EXPECT_FALSE(Parse(withCount(1025, 1025)));
    EXPECT_TRUE(Parse(withCount(1024, 1024)));
    Bytes flagged = good;
    flagged[28] = 0x80;
    EXPECT_FALSE(Parse(flagged));
    Bytes far = good;
    far[22] = far[23] = far[24] = far[25] = 0xFF;
    EXPECT_FALSE(Parse(far));
    EXPECT_FALSE(Parse(Bytes(good.begin(), good.begin() + kRoomFeedHeadBytes)));

    // An ack: 12 bytes, its offset and flags, zeros after.
    RoomMessage ack;
    ack.kind = RoomKind::FeedAck;
    ack.offset = 77;
    ack.flags = kRoomFeedEnded;
    Bytes a = Write(ack);
    ASSERT_EQ(a.size(), 12u);
    EXPECT_EQ(a[6], 77);
    EXPECT_EQ(a[10], kRoomFeedEnded);
    a[11] = 1;
    EXPECT_FALSE(Parse(a));
    a[11] = 0;
    a[10] = 0x04;
    EXPECT_FALSE(Parse(a));
    a.push_back(0);
    EXPECT_FALSE(Parse(a));
    // The server takes a Feed, never an ack.
    EXPECT_TRUE(RoomKindForServer(RoomKind::Feed));
    EXPECT_FALSE(RoomKindForServer(RoomKind::FeedAck));
}

TEST(RoomProtocol, EveryRefusalHasItsWords) {
    std::vector<std::string> seen;
    for (int r = 1; r <= 7; ++r) {
        const std::string words = DescribeRoomRefusal(static_cast<RoomRefusal>(r));
        EXPECT_FALSE(words.empty());
        for (const std::string& other : seen) EXPECT_NE(words, other);
        seen.push_back(words);
    }
    EXPECT_EQ(seen[0], "no room has that code");
    EXPECT_NE(seen[4].find("try again in a minute"), std::string::npos);
    EXPECT_FALSE(std::string(DescribeRoomRefusal(static_cast<RoomRefusal>(99))).empty());
}

TEST(RoomProtocol, AddressesConvertBothWays) {
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    v4.sin_port = htons(7311);
    inet_pton(AF_INET, "192.0.2.7", &v4.sin_addr);
    RoomAddress a;
    ASSERT_TRUE(RoomAddressFromSockaddr(reinterpret_cast<sockaddr*>(&v4), sizeof v4, &a));
    EXPECT_TRUE(a == V4(192, 0, 2, 7, 7311));
    char text[64];
    FormatRoomAddress(a, text, sizeof text);
    EXPECT_STREQ(text, "192.0.2.7:7311");

    // The same IPv4 address as a dual-stack socket sees it is family 4.
    sockaddr_in6 mapped{};
    mapped.sin6_family = AF_INET6;
    mapped.sin6_port = htons(7311);
    inet_pton(AF_INET6, "::ffff:192.0.2.7", &mapped.sin6_addr);
    RoomAddress b;
    ASSERT_TRUE(RoomAddressFromSockaddr(reinterpret_cast<sockaddr*>(&mapped), sizeof mapped, &b));
    EXPECT_TRUE(a == b);

    // Back: mapped for an IPv6 socket, plain for an IPv4 one.
    sockaddr_storage s;
    ASSERT_EQ(RoomAddressToSockaddr(a, true, &s), sizeof(sockaddr_in6));
    EXPECT_EQ(0, std::memcmp(&reinterpret_cast<sockaddr_in6*>(&s)->sin6_addr, &mapped.sin6_addr, 16));
    EXPECT_EQ(reinterpret_cast<sockaddr_in6*>(&s)->sin6_port, htons(7311));
    ASSERT_EQ(RoomAddressToSockaddr(a, false, &s), sizeof(sockaddr_in));
    EXPECT_EQ(reinterpret_cast<sockaddr_in*>(&s)->sin_addr.s_addr, v4.sin_addr.s_addr);

    const RoomAddress six = V6(9);
    FormatRoomAddress(six, text, sizeof text);
    EXPECT_STREQ(text, "[2001:db8::5]:9");
    ASSERT_EQ(RoomAddressToSockaddr(six, true, &s), sizeof(sockaddr_in6));
    RoomAddress back;
    ASSERT_TRUE(RoomAddressFromSockaddr(reinterpret_cast<sockaddr*>(&s), sizeof(sockaddr_in6), &back));
    EXPECT_TRUE(back == six);
    EXPECT_EQ(RoomAddressToSockaddr(six, false, &s), 0u);  // no IPv6 on an IPv4 socket
    EXPECT_EQ(RoomAddressToSockaddr(RoomAddress{}, true, &s), 0u);

    // Port 0, another family, a short size: not known.
    v4.sin_port = 0;
    EXPECT_FALSE(RoomAddressFromSockaddr(reinterpret_cast<sockaddr*>(&v4), sizeof v4, &a));
    EXPECT_EQ(a.family, 0);
    v4.sin_port = htons(1);
    EXPECT_FALSE(RoomAddressFromSockaddr(reinterpret_cast<sockaddr*>(&v4), sizeof v4 - 1, &a));
    sockaddr unix_{};
    unix_.sa_family = AF_UNIX;
    EXPECT_FALSE(RoomAddressFromSockaddr(&unix_, sizeof unix_, &a));
    FormatRoomAddress(RoomAddress{}, text, sizeof text);
    EXPECT_STREQ(text, "-");
    EXPECT_TRUE(V4(1, 2, 3, 4, 5) != V4(1, 2, 3, 4, 6));
}

}  // namespace
