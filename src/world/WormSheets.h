#pragma once
#include "gfx/SheetCell.h"

// The sheets the worm is cut from, as the data tool draws them. Worm, crash
// and gate cells are kWormCell pixels square (32 x 32 pictures), one row of
// cells for each heading (0 up, 1 right, 2 down, 3 left).
inline constexpr int kWormCell = 33;

// "SW1.dat" and "SW2.dat", one a ship type: on each heading's row the head's
// frames, the body, and the tail end's frames.
inline constexpr int kWormHeadX = 0, kWormHeadFrames = 3;
inline constexpr int kWormBodyX = 165, kWormBodyFrames = 1;
inline constexpr int kWormTailX = 198, kWormTailFrames = 4;
// What each of the tail end's pictures shows.
enum WormTailFrame : int { kTailNormal = 0, kTailCharged = 1, kTailBoost = 2, kTailBrake = 3 };

constexpr SheetCell WormHeadCell(int heading) { return {kWormHeadX, kWormCell * heading, kWormCell, kWormCell}; }
constexpr SheetCell WormBodyCell(int heading) { return {kWormBodyX, kWormCell * heading, kWormCell, kWormCell}; }
constexpr SheetCell WormTailCell(int heading) { return {kWormTailX, kWormCell * heading, kWormCell, kWormCell}; }

// "Explotions.dat": a segment blowing up, in strips of 65-pixel cells (64 x
// 64 pictures) one under the other, kExplosionStripFrames pictures a strip.
inline constexpr int kExplosionCell = 65;
inline constexpr int kExplosionStrips = 3;
inline constexpr int kExplosionStripFrames = 9;
constexpr SheetCell ExplosionCell(int strip) { return {0, kExplosionCell * strip, kExplosionCell, kExplosionCell}; }

// "Shared.dat": the crash flash over the head, a strip for each heading,
// and under them the swirling warp gate.
inline constexpr int kCrashFrames = 13;
constexpr SheetCell CrashCell(int heading) { return {0, kWormCell * heading, kWormCell, kWormCell}; }
inline constexpr SheetCell kGateCell = {0, kWormCell * 4, kWormCell, kWormCell};
inline constexpr int kGateFrames = 3;

static_assert(kWormHeadX + kWormCell * kWormHeadFrames <= kWormBodyX &&
              kWormBodyX + kWormCell * kWormBodyFrames <= kWormTailX);
