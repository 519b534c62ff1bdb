#include "net/RoomProtocol.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstring>

#include "platform/LittleEndian.h"

namespace {

// The fields' bytes after the header, before the zeros that pad each kind.
constexpr size_t kOpenFields = 1 + 1 + kRoomVersionBytes + 8 + 8;
constexpr size_t kEnterFields = kRoomCodeLength + kRoomVersionBytes + 8 + 8;
constexpr size_t kStayFields = kRoomTokenBytes + 1;
constexpr size_t kLeaveFields = kRoomTokenBytes;
constexpr size_t kPunchFields = 0;
constexpr size_t kRoomFields = 8 + kRoomTokenBytes + kRoomCodeLength + 1 + 1 + kRoomAddressBytes + 2;
constexpr size_t kRefusedFields = 8 + 1;
constexpr size_t kFeedAckFields = 4 + 1;
static_assert(kRoomHeaderBytes + kFeedAckFields <= kRoomFeedAckBytes);
// A FeedAck answers a Feed of at least one byte.
static_assert(kRoomFeedAckBytes <= kRoomFeedHeadBytes + 1);
static_assert(kRoomFeedHeadBytes + kRoomMaxFeedBytes <= kRoomMaxMessageBytes);
static_assert(kRoomHeaderBytes + kOpenFields <= kRoomOpenBytes);
static_assert(kRoomHeaderBytes + kEnterFields <= kRoomEnterBytes);
static_assert(kRoomHeaderBytes + kStayFields <= kRoomStayBytes);
static_assert(kRoomHeaderBytes + kLeaveFields <= kRoomLeaveBytes);
static_assert(kRoomHeaderBytes + kRoomFields <= kRoomRoomBytes);
static_assert(kRoomHeaderBytes + kRefusedFields <= kRoomRefusedBytes);
// No answer is larger than its question: Open and Enter get Room or
// Refused, Stay gets Room, a Relay goes on as a Relayed of the same datagram.
static_assert(kRoomRoomBytes <= kRoomOpenBytes && kRoomRefusedBytes <= kRoomOpenBytes);
static_assert(kRoomRoomBytes <= kRoomEnterBytes && kRoomRefusedBytes <= kRoomEnterBytes);
static_assert(kRoomRoomBytes <= kRoomStayBytes);
static_assert(kRoomRelayedHeadBytes <= kRoomRelayHeadBytes);

bool Refuse(const char** why, const char* reason) {
    if (why != nullptr) *why = reason;
    return false;
}

// Printable ASCII, zero-terminated, zeros after its end.
bool GoodText(const char* text, size_t size) {
    size_t n = 0;
    while (n < size && text[n] != 0) {
        const auto c = static_cast<unsigned char>(text[n]);
        if (c < 0x20 || c > 0x7E) return false;
        ++n;
    }
    if (n == size) return false;
    for (; n < size; ++n)
        if (text[n] != 0) return false;
    return true;
}

bool AllZero(const uint8_t* p, size_t n) {
    uint8_t any = 0;
    for (size_t i = 0; i < n; ++i) any |= p[i];
    return any == 0;
}

int LetterIndex(char c) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    for (size_t i = 0; i < kRoomCodeAlphabet; ++i)
        if (kRoomCodeLetters[i] == c) return static_cast<int>(i);
    return -1;
}

// Five letters of the code (either case) at `p`, no end needed.
bool FoldLetters(const char* p, char out[kRoomCodeBytes]) {
    for (size_t i = 0; i < kRoomCodeLength; ++i) {
        const int k = LetterIndex(p[i]);
        if (k < 0) {
            out[0] = 0;
            return false;
        }
        out[i] = kRoomCodeLetters[k];
    }
    out[kRoomCodeLength] = 0;
    return true;
}

bool GoodCode(const char* code) {
    char folded[kRoomCodeBytes];
    return FoldLetters(code, folded) && code[kRoomCodeLength] == 0 && std::memcmp(folded, code, kRoomCodeLength) == 0;
}

bool GoodAddress(const RoomAddress& a) {
    if (a.family == 0) return AllZero(a.bytes, sizeof a.bytes) && a.port == 0;
    if (a.port == 0) return false;
    if (a.family == 4) return AllZero(a.bytes + 4, sizeof a.bytes - 4);
    return a.family == 6;
}

bool KnownRefusal(RoomRefusal r) { return r >= RoomRefusal::NoSuchRoom && r <= RoomRefusal::Closed; }

struct Writer {
    uint8_t* p;
    void U8(uint8_t v) { *p++ = v; }
    void U16(uint16_t v) {
        WriteLittleEndian<uint16_t>(p, v);
        p += 2;
    }
    void U32(uint32_t v) {
        WriteLittleEndian<uint32_t>(p, v);
        p += 4;
    }
    void U64(uint64_t v) {
        WriteLittleEndian<uint64_t>(p, v);
        p += 8;
    }
    void Bytes(const void* b, size_t n) {
        std::memcpy(p, b, n);
        p += n;
    }
    void Address(const RoomAddress& a) {
        U8(a.family);
        Bytes(a.bytes, sizeof a.bytes);
        U16(a.port);
    }
};

struct Reader {
    const uint8_t* p;
    uint8_t U8() { return *p++; }
    uint16_t U16() {
        const auto v = ReadLittleEndian<uint16_t>(p);
        p += 2;
        return v;
    }
    uint32_t U32() {
        const auto v = ReadLittleEndian<uint32_t>(p);
        p += 4;
        return v;
    }
    uint64_t U64() {
        const auto v = ReadLittleEndian<uint64_t>(p);
        p += 8;
        return v;
    }
    void Bytes(void* b, size_t n) {
        std::memcpy(b, p, n);
        p += n;
    }
    void Address(RoomAddress* a) {
        a->family = U8();
        Bytes(a->bytes, sizeof a->bytes);
        a->port = U16();
    }
};

// What the writer refuses to write: the reader's rules, from the struct.
const char* Fault(const RoomMessage& m) {
    switch (m.kind) {
    case RoomKind::Open:
        if (m.mode != RoomMode::Create && m.mode != RoomMode::Quick) return "an unknown mode";
        if (m.difficulty > kRoomMaxDifficulty) return "a difficulty out of range";
        if (!GoodText(m.gameVersion, kRoomVersionBytes)) return "the game version is not text";
        return nullptr;
    case RoomKind::Enter:
        if (!GoodCode(m.code)) return "not a room code";
        if (!GoodText(m.gameVersion, kRoomVersionBytes)) return "the game version is not text";
        return nullptr;
    case RoomKind::Stay:
        if ((m.flags & ~kRoomPunched) != 0) return "unknown flags";
        return nullptr;
    case RoomKind::Relay:
    case RoomKind::Relayed:
        if (m.payloadSize < 1 || m.payloadSize > kRoomMaxRelayBytes) return "a relayed datagram out of range";
        if (m.payload == nullptr) return "no datagram";
        return nullptr;
    case RoomKind::Leave:
    case RoomKind::Punch:
        return nullptr;
    case RoomKind::Feed:
        if (m.payloadSize < 1 || m.payloadSize > kRoomMaxFeedBytes) return "a feed's bytes out of range";
        if (m.payload == nullptr) return "no bytes";
        if ((m.flags & ~kRoomFeedFinal) != 0) return "unknown flags";
        if (m.offset > UINT32_MAX - m.payloadSize) return "a feed past the end of its numbers";
        return nullptr;
    case RoomKind::FeedAck:
        if ((m.flags & ~(kRoomFeedFull | kRoomFeedEnded)) != 0) return "unknown flags";
        return nullptr;
    case RoomKind::Room:
        if (!GoodCode(m.code)) return "not a room code";
        if (m.role != RoomRole::Host && m.role != RoomRole::Joiner) return "an unknown role";
        if (m.stage < RoomStage::Waiting || m.stage > RoomStage::Paired) return "an unknown stage";
        if (!GoodAddress(m.peer)) return "not an address";
        if (m.waitSeconds > kRoomWaitSeconds) return "a waiting time out of range";
        return nullptr;
    case RoomKind::Refused:
        if (!KnownRefusal(m.reason)) return "an unknown refusal";
        return nullptr;
    }
    return "an unknown kind";
}

}  // namespace

bool RoomKindForServer(RoomKind kind) {
    return kind == RoomKind::Open || kind == RoomKind::Enter || kind == RoomKind::Stay || kind == RoomKind::Relay ||
           kind == RoomKind::Leave || kind == RoomKind::Feed;
}

const char* DescribeRoomRefusal(RoomRefusal reason) {
    switch (reason) {
    case RoomRefusal::NoSuchRoom:
        return "no room has that code";
    case RoomRefusal::Full:
        return "the room has its two players";
    case RoomRefusal::Version:
        return "the room plays another version of the game";
    case RoomRefusal::DataSet:
        return "the room plays other levels";
    case RoomRefusal::TooManyAsks:
        return "too many asks from this address: try again in a minute";
    case RoomRefusal::NoRoom:
        return "the server has no room for more rooms";
    case RoomRefusal::Closed:
        return "the room has closed";
    }
    return "the server refused";
}

bool operator==(const RoomAddress& a, const RoomAddress& b) {
    return a.family == b.family && a.port == b.port && std::memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0;
}

bool RoomAddressFromSockaddr(const sockaddr* address, size_t size, RoomAddress* out) {
    *out = RoomAddress{};
    if (address == nullptr) return false;
    if (address->sa_family == AF_INET && size >= sizeof(sockaddr_in)) {
        sockaddr_in v4;
        std::memcpy(&v4, address, sizeof v4);
        out->family = 4;
        std::memcpy(out->bytes, &v4.sin_addr, 4);
        out->port = ntohs(v4.sin_port);
    } else if (address->sa_family == AF_INET6 && size >= sizeof(sockaddr_in6)) {
        sockaddr_in6 v6;
        std::memcpy(&v6, address, sizeof v6);
        const uint8_t* b = v6.sin6_addr.s6_addr;
        static const uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
        if (std::memcmp(b, kMapped, sizeof kMapped) == 0) {
            out->family = 4;
            std::memcpy(out->bytes, b + 12, 4);
        } else {
            out->family = 6;
            std::memcpy(out->bytes, b, 16);
        }
        out->port = ntohs(v6.sin6_port);
    } else {
        return false;
    }
    if (out->port == 0) {
        *out = RoomAddress{};
        return false;
    }
    return true;
}

size_t RoomAddressToSockaddr(const RoomAddress& a, bool v6Socket, sockaddr_storage* out) {
    std::memset(out, 0, sizeof *out);
    if (!GoodAddress(a) || a.family == 0) return 0;
    if (v6Socket) {
        sockaddr_in6 v6{};
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(a.port);
        if (a.family == 4) {
            v6.sin6_addr.s6_addr[10] = 0xFF;
            v6.sin6_addr.s6_addr[11] = 0xFF;
            std::memcpy(v6.sin6_addr.s6_addr + 12, a.bytes, 4);
        } else {
            std::memcpy(v6.sin6_addr.s6_addr, a.bytes, 16);
        }
        std::memcpy(out, &v6, sizeof v6);
        return sizeof v6;
    }
    if (a.family != 4) return 0;
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    v4.sin_port = htons(a.port);
    std::memcpy(&v4.sin_addr, a.bytes, 4);
    std::memcpy(out, &v4, sizeof v4);
    return sizeof v4;
}

int FormatRoomAddress(const RoomAddress& a, char* out, size_t size) {
    if (size == 0) return 0;
    char host[INET6_ADDRSTRLEN] = "";
    int n;
    if (a.family == 4 && inet_ntop(AF_INET, a.bytes, host, sizeof host) != nullptr)
        n = std::snprintf(out, size, "%s:%u", host, a.port);
    else if (a.family == 6 && inet_ntop(AF_INET6, a.bytes, host, sizeof host) != nullptr)
        n = std::snprintf(out, size, "[%s]:%u", host, a.port);
    else
        n = std::snprintf(out, size, "-");
    if (n < 0) return 0;
    return static_cast<size_t>(n) < size ? n : static_cast<int>(size - 1);
}

bool IsRoomCode(const char* text) {
    char folded[kRoomCodeBytes];
    return FoldRoomCode(text, folded);
}

bool FoldRoomCode(const char* text, char out[kRoomCodeBytes]) {
    out[0] = 0;
    if (text == nullptr) return false;
    for (size_t i = 0; i < kRoomCodeLength; ++i)
        if (text[i] == 0) return false;
    if (text[kRoomCodeLength] != 0) return false;
    return FoldLetters(text, out);
}

void RoomCodeOfNumber(uint32_t number, char out[kRoomCodeBytes]) {
    number %= kRoomCodeCount;
    for (size_t i = kRoomCodeLength; i-- > 0;) {
        out[i] = kRoomCodeLetters[number % kRoomCodeAlphabet];
        number /= kRoomCodeAlphabet;
    }
    out[kRoomCodeLength] = 0;
}

uint32_t RoomCodeNumber(const char* code) {
    if (code == nullptr || !GoodCode(code)) return kRoomCodeCount;
    uint32_t n = 0;
    for (size_t i = 0; i < kRoomCodeLength; ++i)
        n = n * kRoomCodeAlphabet + static_cast<uint32_t>(LetterIndex(code[i]));
    return n;
}

size_t RoomMessageBytes(RoomKind kind, size_t payloadSize) {
    switch (kind) {
    case RoomKind::Open:
        return kRoomOpenBytes;
    case RoomKind::Enter:
        return kRoomEnterBytes;
    case RoomKind::Stay:
        return kRoomStayBytes;
    case RoomKind::Relay:
        return kRoomRelayHeadBytes + payloadSize;
    case RoomKind::Leave:
        return kRoomLeaveBytes;
    case RoomKind::Relayed:
        return kRoomRelayedHeadBytes + payloadSize;
    case RoomKind::Punch:
        return kRoomPunchBytes;
    case RoomKind::Room:
        return kRoomRoomBytes;
    case RoomKind::Refused:
        return kRoomRefusedBytes;
    case RoomKind::Feed:
        return kRoomFeedHeadBytes + payloadSize;
    case RoomKind::FeedAck:
        return kRoomFeedAckBytes;
    }
    return 0;
}

size_t WriteRoomMessage(const RoomMessage& m, uint8_t* out, size_t capacity) {
    if (out == nullptr || Fault(m) != nullptr) return 0;
    const size_t size = RoomMessageBytes(m.kind, m.payloadSize);
    if (size == 0 || size > capacity) return 0;
    std::memset(out, 0, size);
    Writer w{out};
    w.Bytes(kRoomMagic, sizeof kRoomMagic);
    w.U8(kRoomProtocolVersion);
    w.U8(static_cast<uint8_t>(m.kind));
    switch (m.kind) {
    case RoomKind::Open:
        w.U8(static_cast<uint8_t>(m.mode));
        w.U8(m.difficulty);
        w.Bytes(m.gameVersion, kRoomVersionBytes);
        w.U64(m.dataHash);
        w.U64(m.askId);
        break;
    case RoomKind::Enter:
        w.Bytes(m.code, kRoomCodeLength);
        w.Bytes(m.gameVersion, kRoomVersionBytes);
        w.U64(m.dataHash);
        w.U64(m.askId);
        break;
    case RoomKind::Stay:
        w.Bytes(m.token, kRoomTokenBytes);
        w.U8(m.flags);
        break;
    case RoomKind::Relay:
        w.Bytes(m.token, kRoomTokenBytes);
        w.Bytes(m.payload, m.payloadSize);
        break;
    case RoomKind::Leave:
        w.Bytes(m.token, kRoomTokenBytes);
        break;
    case RoomKind::Relayed:
        w.Bytes(m.payload, m.payloadSize);
        break;
    case RoomKind::Punch:
        break;
    case RoomKind::Room:
        w.U64(m.askId);
        w.Bytes(m.token, kRoomTokenBytes);
        w.Bytes(m.code, kRoomCodeLength);
        w.U8(static_cast<uint8_t>(m.role));
        w.U8(static_cast<uint8_t>(m.stage));
        w.Address(m.peer);
        w.U16(m.waitSeconds);
        break;
    case RoomKind::Refused:
        w.U64(m.askId);
        w.U8(static_cast<uint8_t>(m.reason));
        break;
    case RoomKind::Feed:
        w.Bytes(m.token, kRoomTokenBytes);
        w.U32(m.offset);
        w.U16(static_cast<uint16_t>(m.payloadSize));
        w.U8(m.flags);
        w.Bytes(m.payload, m.payloadSize);
        break;
    case RoomKind::FeedAck:
        w.U32(m.offset);
        w.U8(m.flags);
        break;
    }
    return size;
}

namespace {

// The bytes of the fields of a message of `kind` that is `size` long
// (Relay, Relayed: all after the header); false when no message of the
// kind has that size.
bool FieldBytes(RoomKind kind, size_t size, size_t* fields, const char** why) {
    const size_t payload = size - kRoomHeaderBytes;  // what Relay and Relayed carry, before their token
    switch (kind) {
    case RoomKind::Open:
        *fields = kOpenFields;
        break;
    case RoomKind::Enter:
        *fields = kEnterFields;
        break;
    case RoomKind::Stay:
        *fields = kStayFields;
        break;
    case RoomKind::Leave:
        *fields = kLeaveFields;
        break;
    case RoomKind::Punch:
        *fields = kPunchFields;
        break;
    case RoomKind::Room:
        *fields = kRoomFields;
        break;
    case RoomKind::Refused:
        *fields = kRefusedFields;
        break;
    case RoomKind::Relay:
        if (payload < kRoomTokenBytes + 1 || payload > kRoomTokenBytes + kRoomMaxRelayBytes)
            return Refuse(why, "a relay of the wrong size");
        *fields = size - kRoomHeaderBytes;
        break;
    case RoomKind::Relayed:
        if (payload < 1 || payload > kRoomMaxRelayBytes) return Refuse(why, "a relayed datagram of the wrong size");
        *fields = size - kRoomHeaderBytes;
        break;
    case RoomKind::Feed:  // (its count is read with its fields)
        if (size < kRoomFeedHeadBytes + 1 || size > kRoomFeedHeadBytes + kRoomMaxFeedBytes)
            return Refuse(why, "a feed of the wrong size");
        *fields = size - kRoomHeaderBytes;
        break;
    case RoomKind::FeedAck:
        *fields = kFeedAckFields;
        break;
    default:
        return Refuse(why, "an unknown kind of room message");
    }
    const size_t expected =
        kind == RoomKind::Relay || kind == RoomKind::Relayed || kind == RoomKind::Feed ? size : RoomMessageBytes(kind);
    if (size != expected) return Refuse(why, "a room message of the wrong size");
    return true;
}

// The fields after the header into `m`, each checked.
// The server's word on a room: its code, this player's role and stage, the
// other player's address and the time the room still waits.
bool ReadRoomFields(Reader& r, RoomMessage& m, const char** why) {
    m.askId = r.U64();
    r.Bytes(m.token, kRoomTokenBytes);
    if (!FoldLetters(reinterpret_cast<const char*>(r.p), m.code)) return Refuse(why, "not a room code");
    r.p += kRoomCodeLength;
    const uint8_t role = r.U8(), stage = r.U8();
    if (role != static_cast<uint8_t>(RoomRole::Host) && role != static_cast<uint8_t>(RoomRole::Joiner))
        return Refuse(why, "an unknown role");
    if (stage < static_cast<uint8_t>(RoomStage::Waiting) || stage > static_cast<uint8_t>(RoomStage::Paired))
        return Refuse(why, "an unknown stage");
    m.role = static_cast<RoomRole>(role);
    m.stage = static_cast<RoomStage>(stage);
    r.Address(&m.peer);
    if (!GoodAddress(m.peer)) return Refuse(why, "not an address");
    m.waitSeconds = r.U16();
    if (m.waitSeconds > kRoomWaitSeconds) return Refuse(why, "a waiting time out of range");
    return true;
}

bool ReadFields(const uint8_t* data, size_t size, RoomMessage& m, const char** why) {
    Reader r{data + kRoomHeaderBytes};
    switch (m.kind) {
    case RoomKind::Open: {
        const uint8_t mode = r.U8();
        if (mode != static_cast<uint8_t>(RoomMode::Create) && mode != static_cast<uint8_t>(RoomMode::Quick))
            return Refuse(why, "an unknown mode");
        m.mode = static_cast<RoomMode>(mode);
        m.difficulty = r.U8();
        if (m.difficulty > kRoomMaxDifficulty) return Refuse(why, "a difficulty out of range");
        r.Bytes(m.gameVersion, kRoomVersionBytes);
        if (!GoodText(m.gameVersion, kRoomVersionBytes)) return Refuse(why, "the game version is not text");
        m.dataHash = r.U64();
        m.askId = r.U64();
        break;
    }
    case RoomKind::Enter:
        if (!FoldLetters(reinterpret_cast<const char*>(r.p), m.code)) return Refuse(why, "not a room code");
        r.p += kRoomCodeLength;
        r.Bytes(m.gameVersion, kRoomVersionBytes);
        if (!GoodText(m.gameVersion, kRoomVersionBytes)) return Refuse(why, "the game version is not text");
        m.dataHash = r.U64();
        m.askId = r.U64();
        break;
    case RoomKind::Stay:
        r.Bytes(m.token, kRoomTokenBytes);
        m.flags = r.U8();
        if ((m.flags & ~kRoomPunched) != 0) return Refuse(why, "unknown flags");
        break;
    case RoomKind::Relay:
        r.Bytes(m.token, kRoomTokenBytes);
        m.payload = r.p;
        m.payloadSize = size - kRoomRelayHeadBytes;
        break;
    case RoomKind::Leave:
        r.Bytes(m.token, kRoomTokenBytes);
        break;
    case RoomKind::Relayed:
        m.payload = r.p;
        m.payloadSize = size - kRoomRelayedHeadBytes;
        break;
    case RoomKind::Punch:
        break;
    case RoomKind::Room:
        return ReadRoomFields(r, m, why);
    case RoomKind::Refused:
        m.askId = r.U64();
        m.reason = static_cast<RoomRefusal>(r.U8());
        if (!KnownRefusal(m.reason)) return Refuse(why, "an unknown refusal");
        break;
    case RoomKind::Feed:
        r.Bytes(m.token, kRoomTokenBytes);
        m.offset = r.U32();
        m.payloadSize = r.U16();
        if (m.payloadSize != size - kRoomFeedHeadBytes) return Refuse(why, "a feed of the wrong size");
        m.flags = r.U8();
        if ((m.flags & ~kRoomFeedFinal) != 0) return Refuse(why, "unknown flags");
        if (m.offset > UINT32_MAX - m.payloadSize) return Refuse(why, "a feed past the end of its numbers");
        m.payload = r.p;
        break;
    case RoomKind::FeedAck:
        m.offset = r.U32();
        m.flags = r.U8();
        if ((m.flags & ~(kRoomFeedFull | kRoomFeedEnded)) != 0) return Refuse(why, "unknown flags");
        break;
    }
    return true;
}

}  // namespace

bool ParseRoomMessage(const uint8_t* data, size_t size, RoomMessage* out, const char** why) {
    if (data == nullptr || size < kRoomHeaderBytes) return Refuse(why, "too short for a room message");
    if (size > kRoomMaxMessageBytes) return Refuse(why, "too long for a room message");
    if (std::memcmp(data, kRoomMagic, sizeof kRoomMagic) != 0) return Refuse(why, "not a room message");
    if (data[4] != kRoomProtocolVersion) return Refuse(why, "another version of the room protocol");
    const auto kind = static_cast<RoomKind>(data[5]);
    size_t fields = 0;
    if (!FieldBytes(kind, size, &fields, why)) return false;
    if (!AllZero(data + kRoomHeaderBytes + fields, size - kRoomHeaderBytes - fields))
        return Refuse(why, "padding that is not zero");
    RoomMessage m = *out;
    m.kind = kind;
    if (!ReadFields(data, size, m, why)) return false;
    *out = m;
    return true;
}
