#include "gfx/Sprite.h"

void Sprite::Init(Surface surf, int32_t sx, int32_t sy, int32_t width, int32_t height, int32_t frameCount,
                  int32_t frameDelay) {
    surface = surf;
    srcX = sx;
    srcY = sy;
    cellWidth = width + 1;
    cellHeight = height + 1;
    lastFrame = frameCount - 1;
    frame = 0;
    delay = frameDelay;
    delayCount = 0;
    x = 2000;
    y = 2000;
}

void Sprite::FrameRect(int32_t* left, int32_t* top, int32_t* right, int32_t* bottom) const {
    // 64-bit on the way: a frame number far beyond the strip must not wrap.
    const int64_t l = static_cast<int64_t>(srcX) + static_cast<int64_t>(frame) * (cellWidth - 1) + 1;
    const int64_t t = static_cast<int64_t>(srcY) + 1;
    const int64_t clampedL = l > 1000000 ? 1000000 : (l < -1000000 ? -1000000 : l);
    *left = static_cast<int32_t>(clampedL);
    *top = static_cast<int32_t>(t);
    *right = *left + cellWidth - 2;
    *bottom = *top + cellHeight - 2;
}

void Sprite::Draw(int32_t px, int32_t py, Surface destination) {
    x = px;
    y = py;
    int32_t l, t, r, b;
    FrameRect(&l, &t, &r, &b);
    Blit(l, t, r, b, surface, px, py, destination, BlitKey::Keyed);
}

void Sprite::DrawClipped(int32_t px, int32_t py, Surface destination) {
    x = px;
    y = py;
    int32_t l, t, r, b;
    FrameRect(&l, &t, &r, &b);
    if (px + cellWidth - 2 > clipRight) r = l + (clipRight - px);
    if (py + cellHeight - 2 > clipBottom) b = t + (clipBottom - py);
    Blit(l, t, r, b, surface, px, py, destination, BlitKey::Keyed);
}

void Sprite::SetClip(int32_t right, int32_t bottom) {
    clipRight = right;
    clipBottom = bottom;
}

void Sprite::DrawScaled(int32_t px, int32_t py, float scale, Surface destination) {
    x = px;
    y = py;
    const int32_t sw = static_cast<int32_t>(static_cast<float>(cellWidth) * scale);
    const int32_t sh = static_cast<int32_t>(static_cast<float>(cellHeight) * scale);
    const int32_t left = px + (cellWidth - sw) / 2;
    const int32_t top = py + (cellHeight - sh) / 2;
    int32_t l, t, r, b;
    FrameRect(&l, &t, &r, &b);
    BlitStretched(l, t, r, b, surface, left, top, left + sw, top + sh, destination, BlitKey::Keyed);
}

void Sprite::DrawWidth(int32_t px, int32_t py, int32_t width, Surface destination) {
    x = px;
    y = py;
    int32_t l, t, r, b;
    FrameRect(&l, &t, &r, &b);
    BlitStretched(l, t, r, b, surface, px, py, px + width, py + cellHeight - 2, destination, BlitKey::Keyed);
}

void Sprite::DrawHeight(int32_t px, int32_t py, int32_t height, Surface destination) {
    x = px;
    y = py;
    int32_t l, t, r, b;
    FrameRect(&l, &t, &r, &b);
    BlitStretched(l, t, r, b, surface, px, py, px + cellWidth - 2, py + height, destination, BlitKey::Keyed);
}

bool Sprite::Advance() {
    if (delayCount < delay) {
        ++delayCount;
        return false;
    }
    delayCount = 0;
    if (frame >= lastFrame) return true;
    ++frame;
    return false;
}

void Sprite::AdvanceLoop() {
    if (Advance()) frame = 0;
}

bool Sprite::Tick() {
    if (delayCount < delay) {
        ++delayCount;
        return false;
    }
    delayCount = 0;
    return true;
}

bool Sprite::Contains(int32_t px, int32_t py) const {
    return x <= px && px <= x + cellWidth && y <= py && py <= y + cellHeight;
}
