#pragma once
#include <cstdint>

#include "platform/KeyCodes.h"

// What one player does in a pass: bit k is set while the key bound to
// PlayKey k is held (turn left, turn right, warp gate, jump, boost, brake).
// Play reads the keys into these once a pass and hands them to the worm;
// the online session sends them as they are.
struct PlayActions {
    static constexpr uint8_t kAllBits = (1u << kPlayKeyCount) - 1;
    static constexpr uint8_t Bit(PlayKey action) { return static_cast<uint8_t>(1u << action); }

    constexpr bool Held(PlayKey action) const { return (bits & Bit(action)) != 0; }
    // Whether any of the six is held.
    constexpr bool Any() const { return (bits & kAllBits) != 0; }

    uint8_t bits = 0;
};

// The actions of `player` (0 or 1) that a key state (256 bytes by scan
// code, a key down when its byte is not 0) holds, by the player's bindings.
PlayActions PlayActionsOf(const uint8_t* keys, const PlayKeys& bindings, int player);
