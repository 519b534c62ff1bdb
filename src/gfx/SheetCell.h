#pragma once
// Where a strip of sprite frames lies on a picture sheet: the corner of its
// first cell and the cell's size, which is also the step from one frame to
// the next. Each cell has a one-pixel line at its left and top, so frame k's
// picture is the (w - 1) x (h - 1) pixels one inside (x + k * w, y).
// The data tool draws every sheet to these cells and the game cuts its
// sprites from the same ones (Sprite::Init), so a sheet's cells are
// declared once, in a header of the screen or object that cuts them.
struct SheetCell {
    int x, y;
    int w, h;
};
