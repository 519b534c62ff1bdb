#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "io/ReplayFile.h"

// Finds the events of a replay file's tape as docs/replay-format.md lays
// them out, for tests that change one on purpose: `visit(type, payload)`
// is called with each event's type and the offset of its payload, in order,
// until it returns true; that offset is returned (0 when none was chosen).
template <typename Visit>
size_t FindTapeEvent(const std::vector<uint8_t>& b, Visit visit) {
    size_t pos = kReplayHeaderBytes;
    auto skipVarint = [&] {
        while (pos < b.size() && (b[pos++] & 0x80) != 0) {}
    };
    while (pos < b.size()) {
        const uint8_t op = b[pos++];
        if (op >= 0x80) continue;
        if ((op & 15) == 15) skipVarint();
        const int type = op >> 4;
        if (visit(type, pos)) return pos;
        switch (type) {
        case 0:
            pos += 2u + b[pos];
            break;
        case 1: {
            const uint8_t flags = b[pos++];
            if (flags & 2) skipVarint();
            if (flags & 4) skipVarint();
            break;
        }
        case 2:
            ++pos;
            break;
        case 3:
            skipVarint();
            break;
        case 4:
            pos += 10;
            break;
        default:
            return 0;
        }
    }
    return 0;
}
