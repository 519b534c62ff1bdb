#include "io/MouseCursor.h"

#include "io/Input.h"
#include "platform/Host.h"

void MouseCursor::Init(Surface surface, int32_t srcX, int32_t srcY, int32_t width, int32_t height, int32_t frames,
                       int32_t delay) {
    sprite.Init(surface, srcX, srcY, width, height, frames, delay);
    sprite.SetClip(kScreenWidth, kScreenHeight);
}

void MouseCursor::SetBounds(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    minX = x0;
    minY = y0;
    maxX = x1;
    maxY = y1;
}

void MouseCursor::Update() {
    ReadMouse();
    if (!MouseState.rgbButtons[0]) heldOver = 0;
    // 64-bit sums: a wild motion value cannot wrap the position.
    MoveTo(static_cast<int64_t>(x) + MouseState.lX, static_cast<int64_t>(y) + MouseState.lY);
    sprite.DrawClipped(x, y, backBuffer);
}

void MouseCursor::MoveTo(int64_t nx, int64_t ny) {
    if (nx < minX)
        nx = minX;
    else if (nx > maxX)
        nx = maxX;
    if (ny < minY)
        ny = minY;
    else if (ny > maxY)
        ny = maxY;
    x = static_cast<int32_t>(nx);
    y = static_cast<int32_t>(ny);
}

bool MouseCursor::LeftDown() const { return MouseState.rgbButtons[0] != 0 && !heldOver; }
