#pragma once
#include <cstdint>

#include "gfx/Display.h"
#include "gfx/SheetCell.h"

// A picture cut from a strip of equally spaced frames on a surface. Each
// cell of the strip has a one-pixel line at its left and top; the picture of
// frame k starts one pixel inside the cell's corner.
class Sprite {
public:
    void Init(Surface surface, int32_t srcX, int32_t srcY, int32_t width, int32_t height, int32_t frameCount,
              int32_t delay);
    void Init(Surface surface, const SheetCell& cell, int32_t frameCount, int32_t delay) {
        Init(surface, cell.x, cell.y, cell.w, cell.h, frameCount, delay);
    }
    void Draw(int32_t x, int32_t y, Surface destination);
    void DrawClipped(int32_t x, int32_t y, Surface destination);
    void SetClip(int32_t right, int32_t bottom);
    void DrawScaled(int32_t x, int32_t y, float scale, Surface destination);
    void DrawWidth(int32_t x, int32_t y, int32_t width, Surface destination);
    void DrawHeight(int32_t x, int32_t y, int32_t height, Surface destination);
    bool Advance();
    void AdvanceLoop();
    bool Tick();
    bool Contains(int32_t px, int32_t py) const;

    // Source rectangle of the current frame.
    void FrameRect(int32_t* left, int32_t* top, int32_t* right, int32_t* bottom) const;

    Surface surface = nullptr;
    int32_t srcX = 0, srcY = 0;
    int32_t cellWidth = 0, cellHeight = 0;
    int32_t lastFrame = 0;
    int32_t frame = 0;
    int32_t delay = 0;
    int32_t delayCount = 0;
    int32_t x = 2000, y = 2000;
    int32_t clipRight = 0, clipBottom = 0;
};
