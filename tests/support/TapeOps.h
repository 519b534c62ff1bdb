#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "io/ReplayFile.h"

// Skips an unsigned LEB128 varint at `pos`.
inline void SkipTapeVarint(const std::vector<uint8_t>& b, size_t& pos) {
    while (pos < b.size() && (b[pos++] & 0x80) != 0) {}
}

// Moves `pos` past the payload of an event of `type` (docs/replay-format.md);
// false for a type no tape holds.
inline bool SkipTapePayload(const std::vector<uint8_t>& b, size_t& pos, int type) {
    switch (type) {
    case 0:
        pos += 2u + b[pos];
        return true;
    case 1: {
        const uint8_t flags = b[pos++];
        if (flags & 2) SkipTapeVarint(b, pos);
        if (flags & 4) SkipTapeVarint(b, pos);
        return true;
    }
    case 2:
        ++pos;
        return true;
    case 3:
        SkipTapeVarint(b, pos);
        return true;
    case 4:
        pos += 10;
        return true;
    default:
        return false;
    }
}

// Finds the events of a replay file's tape as docs/replay-format.md lays
// them out, for tests that change one on purpose: `visit(type, payload)`
// is called with each event's type and the offset of its payload, in order,
// until it returns true; that offset is returned (0 when none was chosen).
template <typename Visit>
size_t FindTapeEvent(const std::vector<uint8_t>& b, Visit visit) {
    size_t pos = kReplayHeaderBytes;
    while (pos < b.size()) {
        const uint8_t op = b[pos++];
        if (op >= 0x80) continue;
        if ((op & 15) == 15) SkipTapeVarint(b, pos);
        const int type = op >> 4;
        if (visit(type, pos)) return pos;
        if (!SkipTapePayload(b, pos, type)) return 0;
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
    while (pos < b.size()) {
        next.at = pos;
        starts.push_back(next);
        const uint8_t op = b[pos++];
        if (op >= 0x80) {
            next.passes += 1u + (op & 0x7Fu);
            continue;
        }
        if ((op & 15) == 15) SkipTapeVarint(b, pos);
        const int type = op >> 4;
        if (type == 4) ++next.checkpoints;
        if (!SkipTapePayload(b, pos, type)) return starts;
    }
    return starts;
}
