#pragma once

#include "platform/PadMapper.h"

// The browser host's gamepads, through the Gamepad API: read once a pass
// and handed to the shared PadMapper as the desktop's SDL pads are, so a pad
// does the same in both. Only pads the browser maps to its "standard"
// layout are taken (their buttons have known places); the first two take
// players 1 and 2 and keep them until they go.
class WebPads {
public:
    WebPads(const PlayKeys& keys, const PadBindings& bindings);

    // Reads the pads and works out the pass's keys, pointer and button.
    void Poll();
    void Rumble(int player, int strength, int milliseconds);

    PadMapper& Mapper() { return mapper_; }

private:
    PadMapper mapper_;
};
