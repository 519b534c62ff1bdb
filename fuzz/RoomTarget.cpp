// Room messages between a game and the server: ParseRoomMessage on the
// bytes as they come.
//
// Rules checked:
//   - a refused message is refused with a reason;
//   - an accepted message is of its kind's one size, and writes back to
//     the same bytes (a code written in lower case comes back upper case);
//   - what it writes back reads again to the same message;
//   - a relayed datagram holds 1 .. 1200 bytes, inside the bytes read;
//   - a question the server answers is no smaller than its answer.

#include <cstring>

#include "FuzzTargets.h"
#include "net/RoomProtocol.h"

int FuzzRoom(const uint8_t* data, size_t size) {
    static const uint8_t kEmpty[1] = {};
    if (data == nullptr) data = kEmpty;
    RoomMessage m;
    const char* why = nullptr;
    if (!ParseRoomMessage(size > 0 ? data : nullptr, size, &m, &why)) {
        FUZZ_CHECK(why != nullptr && why[0] != '\0');
        return 0;
    }
    FUZZ_CHECK(size == RoomMessageBytes(m.kind, m.payloadSize));
    if (m.kind == RoomKind::Relay || m.kind == RoomKind::Relayed) {
        FUZZ_CHECK(m.payloadSize >= 1 && m.payloadSize <= kRoomMaxRelayBytes);
        FUZZ_CHECK(m.payload >= data && m.payload + m.payloadSize == data + size);
    }
    static uint8_t written[kRoomMaxMessageBytes];
    const size_t n = WriteRoomMessage(m, written, sizeof written);
    FUZZ_CHECK(n == size);
    // The bytes again, with the code folded where the kind has one.
    static uint8_t expected[kRoomMaxMessageBytes];
    std::memcpy(expected, data, size);
    const size_t codeAt = m.kind == RoomKind::Enter ? 6 : m.kind == RoomKind::Room ? 30 : 0;
    if (codeAt != 0)
        for (size_t i = 0; i < kRoomCodeLength; ++i)
            if (expected[codeAt + i] >= 'a' && expected[codeAt + i] <= 'z') expected[codeAt + i] -= 'a' - 'A';
    FUZZ_CHECK(std::memcmp(written, expected, size) == 0);
    RoomMessage again;
    FUZZ_CHECK(ParseRoomMessage(written, n, &again, &why));
    FUZZ_CHECK(again.kind == m.kind && again.askId == m.askId && again.payloadSize == m.payloadSize);
    FUZZ_CHECK(std::memcmp(again.token, m.token, kRoomTokenBytes) == 0 && std::strcmp(again.code, m.code) == 0);
    if (m.kind == RoomKind::Open || m.kind == RoomKind::Enter)
        FUZZ_CHECK(size >= RoomMessageBytes(RoomKind::Room) && size >= RoomMessageBytes(RoomKind::Refused));
    if (m.kind == RoomKind::Stay) FUZZ_CHECK(size >= RoomMessageBytes(RoomKind::Room));
    if (m.kind == RoomKind::Relay) FUZZ_CHECK(size > RoomMessageBytes(RoomKind::Relayed, m.payloadSize));
    return 0;
}
