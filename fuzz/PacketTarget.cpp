// Network packets: ParseNetPacket on the bytes after the first twelve,
// which give the window the packet is checked against (the peer's passes
// held, this side's passes sent, the peer's newest ack).
//
// Rules checked:
//   - a refused packet is refused with a reason;
//   - an accepted packet writes back to the same bytes;
//   - an accepted packet of inputs starts no later than the first pass
//     lacking, acknowledges no pass never sent and holds at most 16
//     records (none: an acknowledgement alone);
//   - an accepted points record is of a known level with no value below 0;
//   - an accepted input record keeps its bytes' ranges (SPACE 0 or 1, a
//     lead within +-100 or "not known", a zero spare byte), a goodbye ends
//     on passes held both ways, a delay change is one the game offers.

#include <cstring>

#include "FuzzTargets.h"
#include "net/NetProtocol.h"
#include "platform/LittleEndian.h"

int FuzzPacket(const uint8_t* data, size_t size) {
    static const uint8_t kEmpty[1] = {};
    if (data == nullptr) data = kEmpty;
    NetWindow window;
    if (size >= 12) {
        window.peerHave = ReadLittleEndian<uint32_t>(data);
        window.sent = ReadLittleEndian<uint32_t>(data + 4);
        window.peerAck = ReadLittleEndian<uint32_t>(data + 8);
        data += 12;
        size -= 12;
    }
    NetPacket packet;
    const char* why = nullptr;
    if (!ParseNetPacket(size > 0 ? data : nullptr, size, window, &packet, &why)) {
        FUZZ_CHECK(why != nullptr && why[0] != '\0');
        return 0;
    }
    uint8_t written[kNetMaxPacketBytes];
    const size_t n = WriteNetPacket(packet, written, sizeof written);
    FUZZ_CHECK(n == size && std::memcmp(written, data, n) == 0);
    if (packet.kind == NetKind::Inputs) {
        const NetInputs& in = packet.inputs;
        FUZZ_CHECK(in.count <= kNetMaxInputsPerPacket);
        FUZZ_CHECK(in.firstPass <= window.peerHave && in.have <= window.sent);
        for (uint8_t i = 0; i < in.count; ++i) FUZZ_CHECK(NetInputFault(in.inputs[i]) == nullptr);
    }
    if (packet.kind == NetKind::Bye) FUZZ_CHECK(packet.byeEnd <= window.peerHave && packet.byeEnd <= window.sent);
    if (packet.kind == NetKind::Delay) FUZZ_CHECK(packet.delay.delay <= kNetMaxInputDelay);
    if (packet.kind == NetKind::Points) {
        const NetPoints& pt = packet.points;
        FUZZ_CHECK(pt.level < kNetLevels);
        FUZZ_CHECK((pt.shieldRecover | pt.plasmaShields | pt.hsJumpSeconds | pt.maxWarpGates | pt.lives | pt.points) >=
                   0);
    }
    return 0;
}
