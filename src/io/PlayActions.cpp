#include "io/PlayActions.h"

PlayActions PlayActionsOf(const uint8_t* keys, const PlayKeys& bindings, int player) {
    PlayActions held;
    for (int k = 0; k < kPlayKeyCount; ++k)
        if (keys[bindings.code[player & 1][k]] != 0)
            held.bits = static_cast<uint8_t>(held.bits | PlayActions::Bit(static_cast<PlayKey>(k)));
    return held;
}
