#pragma once
#include <cstdint>

#include "io/PlayActions.h"
#include "platform/KeyCodes.h"

// What a pass of play reads of the keys: each player's actions, which the
// worms take, and SPACE, which starts a life (and the level). Y counts
// with SPACE only for letting go: SPACE is taken again once both are up.
struct PlayInput {
    PlayActions actions[2];
    bool space = false;
    bool yes = false;
};

// A pass's input as a key state (256 bytes by scan code) holds it, each
// player's actions by that player's bindings.
PlayInput ReadPlayInput(const uint8_t* keys, const PlayKeys& bindings);
