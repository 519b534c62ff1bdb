// Drawing of the worm: body, tail end and head between cells, gates, the
// crash picture, the explosion and the start gate.
#include "gfx/Display.h"
#include "world/Random.h"
#include "world/Worm.h"

namespace {

int32_t ClampX(int32_t x) { return x < 0 ? 0 : (x > 608 ? 608 : x); }
int32_t RaiseY(int32_t y) { return y < 0 ? 0 : y; }

// Moves a pixel position p pixels along a heading.
void MoveAlong(int32_t heading, int32_t p, int32_t* x, int32_t* y) {
    switch (heading) {
    case 0:
        *y -= p;
        break;
    case 1:
        *x += p;
        break;
    case 2:
        *y += p;
        break;
    default:
        *x -= p;
        break;
    }
}

}  // namespace

void Worm::Settle(int32_t k) {
    Segment& s = segments[k];
    if (s.offsetX > 0)
        s.offsetX -= Rand() % 2;
    else if (s.offsetX < 0)
        s.offsetX += Rand() % 2;
    if (s.offsetY > 0)
        s.offsetY -= Rand() % 2;
    else if (s.offsetY < 0)
        s.offsetY += Rand() % 2;
}

CellPos Worm::PixelPosition(int32_t k) const {
    const Segment& s = segments[k];
    const int32_t p = static_cast<int32_t>(stepProgress);
    int32_t x = s.cellX * 32 + s.offsetX;
    int32_t y = s.cellY * 32 + s.offsetY;
    MoveAlong(s.heading, p, &x, &y);
    return CellPos{ClampX(x), RaiseY(y)};
}

void Worm::Draw(float progress) {
    const int32_t p = static_cast<int32_t>(progress);
    const float f = progress * 0.03125f;  // the part of the step done
    const float g = 1.0f - f;

    // Body, from the tail end forward.
    for (int32_t k = length - 1; k >= 2; --k) {
        Settle(k);
        const CellPos at = PixelPosition(k);
        const Segment& s = segments[k];
        Sprite& body = bodySprites[s.heading & 3];
        if (s.warpPhase == 1) {
            const CellPos gate = CellAhead(k);
            gateSprite.Draw(gate.x * 32, gate.y * 32, backBuffer);
            body.DrawScaled(at.x, at.y, g, backBuffer);  // shrinking into the gate
        } else if (s.warpPhase == 2) {
            gateSprite.Draw(s.cellX * 32, s.cellY * 32, backBuffer);
            body.DrawScaled(at.x, at.y, f, backBuffer);  // growing out of it
            gateSprite.AdvanceLoop();
        } else {
            body.Draw(at.x, at.y, backBuffer);
        }
    }

    // Tail end: no offsets; it stays in its cell while the worm grows, and
    // the gap to the segment ahead is filled with a stretched body picture.
    if (length >= 2) {
        Settle(length);
        const Segment& tail = segments[length];
        int32_t x = ClampX(tail.cellX * 32);
        int32_t y = RaiseY(tail.cellY * 32);
        const int32_t h = tail.heading & 3;
        if (pendingGrowth > 0) {
            Sprite& stretch = bodySprites[segments[length - 1].heading & 3];
            switch (h) {
            case 0:
                stretch.DrawHeight(x, y - p, p, backBuffer);
                break;
            case 1:
                stretch.DrawWidth(x + 32, y, p, backBuffer);
                break;
            case 2:
                stretch.DrawHeight(x, y + 32, p, backBuffer);
                break;
            default:
                stretch.DrawWidth(x - p, y, p, backBuffer);
                break;
            }
        } else {
            MoveAlong(h, p, &x, &y);
        }
        Sprite& tailSprite = tailSprites[h];
        if (tail.warpPhase == 1)
            tailSprite.DrawScaled(x, y, g, backBuffer);
        else if (tail.warpPhase == 2)
            tailSprite.DrawScaled(x, y, f, backBuffer);
        else
            tailSprite.Draw(x, y, backBuffer);
    }

    // Head.
    const CellPos at = PixelPosition(1);
    const Segment& head = segments[1];
    Sprite& headSprite = headSprites[head.heading & 3];
    if (head.warpPhase == 1) {
        headSprite.DrawScaled(at.x, at.y, g, backBuffer);
    } else if (head.warpPhase == 2) {
        gateSprite.Draw(head.cellX * 32, head.cellY * 32, backBuffer);
        headSprite.DrawScaled(at.x, at.y, f, backBuffer);
    } else {
        headSprite.Draw(at.x, at.y, backBuffer);
    }
}

void Worm::DrawCrash() {
    if (!crashing) return;
    const CellPos at = PixelPosition(1);
    Segment& head = segments[1];
    Sprite& crash = crashSprites[head.heading & 3];
    // The first heading's sprite keeps the pace of the animation for all four.
    if (crashSprites[0].Tick()) {
        crash.frame = head.animCounter;
        head.animCounter += 1;
    }
    crash.Draw(at.x, at.y, backBuffer);
    if (crash.frame == crash.lastFrame) {
        crashing = 0;
        head.animCounter = 0;
    }
}

void Worm::Explode() {
    active = 0;
    if (length < 2) return;
    // The tail end does not explode.
    for (int32_t k = 1; k <= length - 1; ++k) {
        Segment& s = segments[k];
        const int32_t c = s.animCounter;
        if (c >= kExplosionStrips * kExplosionStripFrames) continue;
        const int32_t strip = c < kExplosionStripFrames ? 0 : (c < 2 * kExplosionStripFrames ? 1 : 2);
        Sprite& explosion = explosionSprites[strip];
        explosion.frame = c - kExplosionStripFrames * strip;
        active = 1;
        // The 65-pixel picture is centred on the cell.
        int32_t x = s.cellX * 32;
        x = x < 16 ? 16 : (x > 592 ? 592 : x);
        int32_t y = s.cellY * 32;
        if (y < 16) y = 16;
        explosion.DrawClipped(x - 16, y - 16, backBuffer);
        if (Rand() % 10 < 2) s.animCounter = c + 1;
        explosionStrip = strip;
    }
}

void Worm::ShowStartGate(int32_t cellX, int32_t cellY) {
    if (stats.lives == 0) return;
    Segment& gate = segments[kStartGateIndex];
    gate.cellX = cellX;
    gate.cellY = cellY;
    gate.cellType = CellType::Occupied;
    // Food under the gate is marked eaten, so the food moves it elsewhere.
    GridObject* under = grid->At(cellX, cellY);
    if (under && under->cellType == CellType::Food) under->cellType = CellType::EatenFood;
    grid->Place(&gate);
    gateSprite.Draw(cellX * 32, cellY * 32, backBuffer);
    gateSprite.AdvanceLoop();
}
