// The server's rooms (server/Rooms) fed datagrams from eight addresses on
// a clock the input moves. The input is records: a byte of the sender
// (bits 0-2) and of what to put in (bit 3: a token the server handed out,
// bit 4: a code it handed out, both from the record's second byte), a byte
// of the time passed (quarter seconds), the datagram's length (two bytes,
// little-endian) and its bytes. So the fuzzer reaches the rules behind a
// token and a code without guessing 16 random bytes.
//
// Rules checked:
//   - nothing is sent larger than the datagram that made it;
//   - everything sent is a room message the game reads (Room, Refused,
//     Relayed), and goes only to an address that has sent to the server;
//   - a Relayed carries exactly the bytes of the Relay that made it; a
//     Room or Refused answers an Open, an Enter or a Stay;
//   - no more rooms than the limit, no more players than two a room.

#include <cstring>
#include <vector>

#include "FuzzTargets.h"
#include "platform/LittleEndian.h"
#include "server/Rooms.h"

namespace {

constexpr int kAddresses = 8;
constexpr size_t kLearned = 16;

RoomAddress FuzzAddress(int i) {
    RoomAddress a;
    a.family = i < 6 ? 4 : 6;
    a.bytes[0] = static_cast<uint8_t>(i < 6 ? 10 : 0x20);
    a.bytes[3] = static_cast<uint8_t>(i < 3 ? 1 : i);  // three share one IP address
    a.port = static_cast<uint16_t>(1000 + i);
    return a;
}

}  // namespace

int FuzzRooms(const uint8_t* data, size_t size) {
    server::RoomsLimits limits;
    limits.maxRooms = 4;
    limits.asksPerMinute = 6;
    limits.relayPerSecond = 8;
    uint64_t counter = 0;
    server::Rooms rooms(limits, [&counter](uint8_t* out, size_t n) {
        for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>((++counter * 0x9E3779B97F4A7C15ull) >> 56);
    });
    uint8_t tokens[kLearned][kRoomTokenBytes] = {};
    char codes[kLearned][kRoomCodeBytes] = {};
    size_t learnedTokens = 0, learnedCodes = 0;
    bool heard[kAddresses] = {};
    double now = 100.0;
    static uint8_t datagram[kRoomMaxMessageBytes + 8];
    size_t at = 0;
    while (data != nullptr && at + 5 <= size) {
        const uint8_t who = data[at], which = data[at + 1], wait = data[at + 2];
        size_t n = ReadLittleEndian<uint16_t>(data + at + 3);
        at += 5;
        n = std::min({n, size - at, sizeof datagram});
        std::memcpy(datagram, data + at, n);
        at += n;
        if ((who & 8) != 0 && learnedTokens > 0 && n >= kRoomHeaderBytes + kRoomTokenBytes)
            std::memcpy(datagram + kRoomHeaderBytes, tokens[which % learnedTokens], kRoomTokenBytes);
        if ((who & 16) != 0 && learnedCodes > 0 && n >= kRoomHeaderBytes + kRoomCodeLength)
            std::memcpy(datagram + kRoomHeaderBytes, codes[which % learnedCodes], kRoomCodeLength);
        if (wait != 0) {
            now += wait / 4.0;
            rooms.Sweep(now);
        }
        const int sender = who & 7;
        const RoomAddress from = FuzzAddress(sender);
        heard[sender] = true;
        RoomMessage in;
        const char* why = nullptr;
        const bool parsed = ParseRoomMessage(datagram, n, &in, &why);
        rooms.Take(datagram, n, from, now, [&](const RoomAddress& to, const uint8_t* bytes, size_t length) {
            FUZZ_CHECK(length <= n);
            bool known = false;
            for (int i = 0; i < kAddresses; ++i) known = known || (heard[i] && FuzzAddress(i) == to);
            FUZZ_CHECK(known);
            RoomMessage out;
            FUZZ_CHECK(ParseRoomMessage(bytes, length, &out, &why));
            FUZZ_CHECK(out.kind == RoomKind::Room || out.kind == RoomKind::Refused || out.kind == RoomKind::Relayed);
            if (out.kind == RoomKind::Relayed) {
                FUZZ_CHECK(parsed && in.kind == RoomKind::Relay);
                FUZZ_CHECK(out.payloadSize == in.payloadSize &&
                           std::memcmp(out.payload, in.payload, in.payloadSize) == 0);
            } else {
                FUZZ_CHECK(parsed && in.kind != RoomKind::Relay && in.kind != RoomKind::Leave);
            }
            if (out.kind == RoomKind::Room) {
                std::memcpy(tokens[learnedTokens % kLearned], out.token, kRoomTokenBytes);
                ++learnedTokens;
                std::memcpy(codes[learnedCodes % kLearned], out.code, kRoomCodeBytes);
                ++learnedCodes;
                learnedTokens = std::min(learnedTokens, kLearned);
                learnedCodes = std::min(learnedCodes, kLearned);
            }
        });
        const server::RoomsCounts c = rooms.Counts();
        FUZZ_CHECK(c.rooms <= limits.maxRooms);
        FUZZ_CHECK(c.players <= 2 * c.rooms);
    }
    return 0;
}
