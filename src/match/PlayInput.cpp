#include "match/PlayInput.h"

PlayInput ReadPlayInput(const uint8_t* keys, const PlayKeys& bindings) {
    PlayInput input;
    for (int p = 0; p < 2; ++p) input.actions[p] = PlayActionsOf(keys, bindings, p);
    input.space = keys[DIK_SPACE] != 0;
    input.yes = keys[DIK_Y] != 0;
    return input;
}
