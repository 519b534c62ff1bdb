#pragma once
#include <cstdint>

#include "gfx/Sprite.h"

// The one mouse pointer, shared by every front-end screen.
class MouseCursor {
public:
    void Init(Surface surface, int32_t srcX, int32_t srcY, int32_t width, int32_t height, int32_t frames,
              int32_t delay);
    void SetBounds(int32_t minX, int32_t minY, int32_t maxX, int32_t maxY);
    // Reads the mouse, moves and clamps the pointer, and draws it.
    void Update();
    // Puts the pointer at (nx, ny), kept inside its bounds.
    void MoveTo(int64_t nx, int64_t ny);
    // The left button as the screens see it: a press held over from an
    // earlier screen does not count until it has been let go.
    bool LeftDown() const;
    // Called when a screen is entered: whatever the button is doing now
    // belongs to the screen before, so it is ignored until released.
    void IgnoreHeldButton() { heldOver = 1; }

    // Set from a screen change until the first reading with the button up.
    uint8_t heldOver = 0;

    // The pointer starts in the middle of the screen.
    int32_t x = 320, y = 240;
    int32_t minX = 0, minY = 0, maxX = 639, maxY = 479;
    Sprite sprite;
};
