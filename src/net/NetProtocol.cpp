#include "net/NetProtocol.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "platform/LittleEndian.h"

namespace {

constexpr size_t kHelloBytes = kNetVersionBytes + 8 + kNetNameBytes + 2;
constexpr size_t kWelcomeBytes = kHelloBytes + 6;
constexpr size_t kRefuseBytes = 1 + kNetVersionBytes + 8;
constexpr size_t kInputsFixedBytes = 9;
constexpr size_t kHashBytes = 12;
constexpr size_t kPingBytes = 4;
constexpr size_t kByeBytes = 1 + 4;
constexpr size_t kDelayBytes = 4 + 1;
static_assert(kNetHeaderBytes + kInputsFixedBytes + kNetMaxInputsPerPacket * kNetInputBytes <= kNetMaxPacketBytes);
static_assert(kNetHeaderBytes + kWelcomeBytes <= kNetMaxPacketBytes);

// Zero-terminated with zeros after its end; printable ASCII only when
// `printable` (a name may hold the game's other characters).
bool GoodText(const char* text, size_t size, bool printable) {
    size_t n = 0;
    while (n < size && text[n] != 0) {
        const auto c = static_cast<unsigned char>(text[n]);
        if (c < 0x20 || (printable && c > 0x7E)) return false;
        ++n;
    }
    if (n == size) return false;
    for (; n < size; ++n)
        if (text[n] != 0) return false;
    return true;
}

bool Refuse(const char** why, const char* reason) {
    *why = reason;
    return false;
}

// The cursor of a writer or reader over a packet's body.
struct Cursor {
    uint8_t* w = nullptr;
    const uint8_t* r = nullptr;

    void U8(uint8_t v) { *w++ = v; }
    void U32(uint32_t v) {
        WriteLittleEndian<uint32_t>(w, v);
        w += 4;
    }
    void U64(uint64_t v) {
        WriteLittleEndian<uint64_t>(w, v);
        w += 8;
    }
    void Text(const char* t, size_t n) {
        std::memcpy(w, t, n);
        w += n;
    }
    uint8_t GetU8() { return *r++; }
    uint32_t GetU32() {
        const auto v = ReadLittleEndian<uint32_t>(r);
        r += 4;
        return v;
    }
    uint64_t GetU64() {
        const auto v = ReadLittleEndian<uint64_t>(r);
        r += 8;
        return v;
    }
    void GetText(char* t, size_t n) {
        std::memcpy(t, r, n);
        r += n;
    }
};

bool GoodHello(const NetHello& h) {
    return GoodText(h.gameVersion, kNetVersionBytes, true) && GoodText(h.name, kNetNameBytes, false) &&
           h.ship < kNetShipTypes && h.inputDelay <= kNetMaxInputDelay;
}

void PutHello(Cursor& c, const NetHello& h) {
    c.Text(h.gameVersion, kNetVersionBytes);
    c.U64(h.dataHash);
    c.Text(h.name, kNetNameBytes);
    c.U8(h.ship);
    c.U8(h.inputDelay);
}

bool GetHello(Cursor& c, NetHello* h, const char** why) {
    c.GetText(h->gameVersion, kNetVersionBytes);
    h->dataHash = c.GetU64();
    c.GetText(h->name, kNetNameBytes);
    h->ship = c.GetU8();
    h->inputDelay = c.GetU8();
    if (!GoodText(h->gameVersion, kNetVersionBytes, true)) return Refuse(why, "the game version is not text");
    if (!GoodText(h->name, kNetNameBytes, false)) return Refuse(why, "the player's name does not end");
    if (h->ship >= kNetShipTypes) return Refuse(why, "an unknown ship");
    if (h->inputDelay > kNetMaxInputDelay) return Refuse(why, "an input delay out of range");
    return true;
}

// A speed's bit pattern: a finite float in 0 .. kNetMaxSpeed.
const char* SpeedFault(uint32_t bits) {
    float v;
    std::memcpy(&v, &bits, sizeof v);
    if (!std::isfinite(v)) return "a ship's speed that is not a number";
    if (!(v >= 0.0f && v <= kNetMaxSpeed)) return "a ship's speed out of range";
    return nullptr;
}

bool KnownRefusal(NetRefuseReason r) { return r >= NetRefuseReason::Version && r <= NetRefuseReason::Protocol; }
bool KnownBye(NetByeReason r) { return r >= NetByeReason::Left && r <= NetByeReason::Misbehaved; }

}  // namespace

const char* NetInputFault(const NetInput& in) {
    if ((in.keys & ~kNetKeyBits) != 0) return "unknown keys in an input";
    if (in.extra[0] > 1) return "an input's SPACE is neither up nor down";
    const int32_t lead = in.extra[1] < 0x80 ? in.extra[1] : in.extra[1] - 0x100;
    if (in.extra[1] != kNetLeadNotKnown && (lead < -kNetMaxLead || lead > kNetMaxLead))
        return "an input's lead out of range";
    if (in.extra[2] != 0) return "an input's spare byte is not zero";
    return nullptr;
}

const char* NetPointsFault(const NetPoints& p) {
    if (p.level >= kNetLevels) return "an unknown level";
    if (const char* why = SpeedFault(p.velocityBits)) return why;
    if (const char* why = SpeedFault(p.accelerationBits)) return why;
    for (const int32_t v : {p.shieldRecover, p.plasmaShields, p.hsJumpSeconds, p.maxWarpGates, p.lives, p.points})
        if (v < 0 || v > kNetMaxPointsValue) return "a points-screen value out of range";
    return nullptr;
}

size_t NetPacketBytes(NetKind kind, uint8_t count) {
    size_t body = 0;
    switch (kind) {
    case NetKind::Hello:
        body = kHelloBytes;
        break;
    case NetKind::Welcome:
        body = kWelcomeBytes;
        break;
    case NetKind::Refuse:
        body = kRefuseBytes;
        break;
    case NetKind::Inputs:
        body = kInputsFixedBytes + size_t{count} * kNetInputBytes;
        break;
    case NetKind::Hash:
        body = kHashBytes;
        break;
    case NetKind::Ping:
    case NetKind::Pong:
        body = kPingBytes;
        break;
    case NetKind::Bye:
        body = kByeBytes;
        break;
    case NetKind::Points:
        body = kNetPointsBytes;
        break;
    case NetKind::Delay:
        body = kDelayBytes;
        break;
    default:
        return 0;
    }
    return kNetHeaderBytes + body;
}

namespace {

// Whether a packet may go: every field within the bounds its reader holds it to.
bool Writable(const NetPacket& p, uint8_t count) {
    switch (p.kind) {
    case NetKind::Hello:
        return GoodHello(p.hello);
    case NetKind::Welcome:
        return GoodHello(p.welcome.host) && p.welcome.inputDelay <= kNetMaxInputDelay &&
               p.welcome.difficulty <= kNetMaxDifficulty;
    case NetKind::Refuse:
        return KnownRefusal(p.refuse.reason) && GoodText(p.refuse.gameVersion, kNetVersionBytes, true);
    case NetKind::Inputs:
        if (count > kNetMaxInputsPerPacket || p.inputs.firstPass > UINT32_MAX - count) return false;
        for (uint8_t i = 0; i < count; ++i)
            if (NetInputFault(p.inputs.inputs[i]) != nullptr) return false;
        return true;
    case NetKind::Hash:
        return p.hash.pass % kNetHashInterval == 0;
    case NetKind::Bye:
        return KnownBye(p.bye);
    case NetKind::Points:
        return NetPointsFault(p.points) == nullptr;
    case NetKind::Delay:
        return p.delay.delay <= kNetMaxInputDelay;
    default:
        return true;
    }
}

void PutBody(Cursor& c, const NetPacket& p, uint8_t count) {
    switch (p.kind) {
    case NetKind::Hello:
        PutHello(c, p.hello);
        break;
    case NetKind::Welcome:
        PutHello(c, p.welcome.host);
        c.U8(p.welcome.inputDelay);
        c.U8(p.welcome.difficulty);
        c.U32(p.welcome.seed);
        break;
    case NetKind::Refuse:
        c.U8(static_cast<uint8_t>(p.refuse.reason));
        c.Text(p.refuse.gameVersion, kNetVersionBytes);
        c.U64(p.refuse.dataHash);
        break;
    case NetKind::Inputs:
        c.U32(p.inputs.firstPass);
        c.U8(count);
        c.U32(p.inputs.have);
        for (uint8_t i = 0; i < count; ++i) {
            c.U8(p.inputs.inputs[i].keys);
            c.Text(reinterpret_cast<const char*>(p.inputs.inputs[i].extra), 3);
        }
        break;
    case NetKind::Hash:
        c.U32(p.hash.pass);
        c.U64(p.hash.hash);
        break;
    case NetKind::Ping:
    case NetKind::Pong:
        c.U32(p.ping.time);
        break;
    case NetKind::Bye:
        c.U8(static_cast<uint8_t>(p.bye));
        c.U32(p.byeEnd);
        break;
    case NetKind::Delay:
        c.U32(p.delay.pass);
        c.U8(p.delay.delay);
        break;
    case NetKind::Points: {
        const NetPoints& s = p.points;
        c.U8(s.level);
        c.U32(s.velocityBits);
        c.U32(s.accelerationBits);
        for (const int32_t v : {s.shieldRecover, s.plasmaShields, s.hsJumpSeconds, s.maxWarpGates, s.lives, s.points})
            c.U32(static_cast<uint32_t>(v));
        break;
    }
    }
}

// A packet's size for its kind (and, for inputs, its count).
bool GoodSize(const uint8_t* data, size_t size, NetKind kind, const char** why) {
    if (kind == NetKind::Inputs) {
        if (size < NetPacketBytes(kind, 0)) return Refuse(why, "the packet has the wrong size");
        const uint8_t count = data[kNetHeaderBytes + 4];
        if (count > kNetMaxInputsPerPacket) return Refuse(why, "an input count out of range");
        if (size != NetPacketBytes(kind, count)) return Refuse(why, "the packet has the wrong size");
    } else if (size != NetPacketBytes(kind)) {
        return Refuse(why, "the packet has the wrong size");
    }
    return true;
}

bool GetInputs(Cursor& c, const NetWindow& window, NetInputs& in, const char** why) {
    in.firstPass = c.GetU32();
    in.count = c.GetU8();
    in.have = c.GetU32();
    for (uint8_t i = 0; i < in.count; ++i) {
        in.inputs[i].keys = c.GetU8();
        for (uint8_t& e : in.inputs[i].extra) e = c.GetU8();
        if (const char* fault = NetInputFault(in.inputs[i])) return Refuse(why, fault);
    }
    if (in.firstPass > UINT32_MAX - in.count) return Refuse(why, "pass numbers past the end of time");
    // The sender starts from the newest `have` it got from here, which
    // never runs ahead of what is held here.
    if (in.firstPass > window.peerHave) return Refuse(why, "inputs after a gap");
    if (window.peerHave > kNetPassWindow && in.firstPass + in.count < window.peerHave - kNetPassWindow)
        return Refuse(why, "inputs from too far back");
    if (in.have > window.sent) return Refuse(why, "acknowledges passes never sent");
    if (window.peerAck > kNetPassWindow && in.have < window.peerAck - kNetPassWindow)
        return Refuse(why, "an acknowledgement from too far back");
    return true;
}

bool GetPoints(Cursor& c, NetPoints& s, const char** why) {
    s.level = c.GetU8();
    s.velocityBits = c.GetU32();
    s.accelerationBits = c.GetU32();
    for (int32_t* v : {&s.shieldRecover, &s.plasmaShields, &s.hsJumpSeconds, &s.maxWarpGates, &s.lives, &s.points})
        *v = static_cast<int32_t>(c.GetU32());
    const char* fault = NetPointsFault(s);
    return fault == nullptr || Refuse(why, fault);
}

// The body of a packet of a known kind and size.
bool GetBody(Cursor& c, const NetWindow& window, NetPacket& p, const char** why) {
    switch (p.kind) {
    case NetKind::Hello:
        return GetHello(c, &p.hello, why);
    case NetKind::Welcome:
        if (!GetHello(c, &p.welcome.host, why)) return false;
        p.welcome.inputDelay = c.GetU8();
        p.welcome.difficulty = c.GetU8();
        p.welcome.seed = c.GetU32();
        if (p.welcome.inputDelay > kNetMaxInputDelay) return Refuse(why, "an input delay out of range");
        if (p.welcome.difficulty > kNetMaxDifficulty) return Refuse(why, "an unknown difficulty");
        return true;
    case NetKind::Refuse:
        p.refuse.reason = static_cast<NetRefuseReason>(c.GetU8());
        c.GetText(p.refuse.gameVersion, kNetVersionBytes);
        p.refuse.dataHash = c.GetU64();
        if (!KnownRefusal(p.refuse.reason)) return Refuse(why, "an unknown reason for a refusal");
        if (!GoodText(p.refuse.gameVersion, kNetVersionBytes, true)) return Refuse(why, "the game version is not text");
        return true;
    case NetKind::Inputs:
        return GetInputs(c, window, p.inputs, why);
    case NetKind::Hash:
        p.hash.pass = c.GetU32();
        p.hash.hash = c.GetU64();
        if (p.hash.pass % kNetHashInterval != 0) return Refuse(why, "a hash of a pass between the checked ones");
        // The peer hashes a pass once it holds both sides' input for every
        // pass before it (its own may still be on the way here).
        if (p.hash.pass > window.sent || p.hash.pass > window.peerHave + kNetPassWindow)
            return Refuse(why, "a hash of a pass not yet played");
        return true;
    case NetKind::Ping:
    case NetKind::Pong:
        p.ping.time = c.GetU32();
        return true;
    case NetKind::Bye:
        p.bye = static_cast<NetByeReason>(c.GetU8());
        p.byeEnd = c.GetU32();
        if (!KnownBye(p.bye)) return Refuse(why, "an unknown reason for leaving");
        // The sender ends where it holds both sides' keys and knows this
        // side holds its own: never beyond what this side has of it, or sent.
        if (p.byeEnd > window.peerHave || p.byeEnd > window.sent)
            return Refuse(why, "a goodbye that ends on passes not held");
        return true;
    case NetKind::Delay:
        p.delay.pass = c.GetU32();
        p.delay.delay = c.GetU8();
        if (p.delay.delay > kNetMaxInputDelay) return Refuse(why, "an input delay out of range");
        if (p.delay.pass > uint64_t{window.peerHave} + kNetDelayAheadMax &&
            p.delay.pass > uint64_t{window.sent} + kNetDelayAheadMax)
            return Refuse(why, "a delay change too far ahead");
        return true;
    case NetKind::Points:
        return GetPoints(c, p.points, why);
    }
    return Refuse(why, "an unknown kind of packet");
}

}  // namespace

size_t WriteNetPacket(const NetPacket& p, uint8_t* out, size_t capacity) {
    const uint8_t count = p.kind == NetKind::Inputs ? p.inputs.count : 0;
    const size_t size = NetPacketBytes(p.kind, count);
    if (size == 0 || size > capacity) return 0;
    if (!Writable(p, count)) return 0;
    std::memcpy(out, kNetMagic, sizeof kNetMagic);
    out[4] = kNetProtocolVersion;
    out[5] = static_cast<uint8_t>(p.kind);
    Cursor c;
    c.w = out + kNetHeaderBytes;
    PutBody(c, p, count);
    return size;
}

bool ParseNetPacket(const uint8_t* data, size_t size, const NetWindow& window, NetPacket* packet, const char** why) {
    if (data == nullptr || size < kNetHeaderBytes) return Refuse(why, "shorter than a packet's header");
    if (std::memcmp(data, kNetMagic, sizeof kNetMagic) != 0) return Refuse(why, "not a VoidCrawl packet");
    if (data[4] != kNetProtocolVersion) return Refuse(why, "another version of the network protocol");
    const auto kind = static_cast<NetKind>(data[5]);
    if (kind < NetKind::Hello || kind > NetKind::Delay) return Refuse(why, "an unknown kind of packet");
    if (!GoodSize(data, size, kind, why)) return false;
    NetPacket& p = *packet;
    p.kind = kind;
    Cursor c;
    c.r = data + kNetHeaderBytes;
    return GetBody(c, window, p, why);
}

bool NetHelloFits(const NetHello& theirs, const NetHello& ours, NetRefuseReason* reason) {
    if (std::strncmp(theirs.gameVersion, ours.gameVersion, kNetVersionBytes) != 0) {
        *reason = NetRefuseReason::Version;
        return false;
    }
    if (theirs.dataHash != ours.dataHash) {
        *reason = NetRefuseReason::DataSet;
        return false;
    }
    return true;
}

void DescribeNetRefusal(const NetRefuse& r, const NetHello& ours, char* text, size_t size) {
    switch (r.reason) {
    case NetRefuseReason::Version:
        std::snprintf(text, size, "the host runs VoidCrawl %.16s; this is VoidCrawl %.16s", r.gameVersion,
                      ours.gameVersion);
        break;
    case NetRefuseReason::DataSet:
        std::snprintf(text, size, "the host plays other levels (data set %016llx; this game's is %016llx)",
                      static_cast<unsigned long long>(r.dataHash), static_cast<unsigned long long>(ours.dataHash));
        break;
    case NetRefuseReason::Busy:
        std::snprintf(text, size, "the host is already playing with someone else");
        break;
    default:
        std::snprintf(text, size, "the host could not read this game's greeting");
        break;
    }
}
