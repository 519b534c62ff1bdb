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

// Where each op of a replay file's input tape begins, with the passes and
// state hashes before it: the places a tape can be cut without cutting an
// op in two.
struct TapeOpStart {
    size_t at = 0;
    uint32_t passes = 0;
    uint32_t checkpoints = 0;
};
inline std::vector<TapeOpStart> TapeOpStarts(const std::vector<uint8_t>& b) {
    std::vector<TapeOpStart> starts;
    TapeOpStart next{kReplayHeaderBytes, 0, 0};
    size_t pos = kReplayHeaderBytes;
    auto skipVarint = [&] {
        while (pos < b.size() && (b[pos++] & 0x80) != 0) {}
    };
    while (pos < b.size()) {
        next.at = pos;
        starts.push_back(next);
        const uint8_t op = b[pos++];
        if (op >= 0x80) {
            next.passes += 1u + (op & 0x7Fu);
            continue;
        }
        if ((op & 15) == 15) skipVarint();
        switch (op >> 4) {
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
            ++next.checkpoints;
            break;
        default:
            return starts;
        }
    }
    return starts;
}
