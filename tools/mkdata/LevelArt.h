#pragma once
// Wall looks. The game draws the same tile at every wall cell, and that tile
// is left clear: each level's walls are painted into the level's own arena
// picture instead, in the design its source names, each pixel shaded by its
// distance to the nearest free cell. Touching wall cells so read as one
// structure, with edges and corners only where a wall meets open space.
#include <array>
#include <string>

#include "Canvas.h"
#include "LevelFiles.h"

// The designs are named by kWallStyles (LevelFiles.h): plating (steel hull
// plates with a bevelled, riveted rim), crystal (violet facets with a
// glowing cyan rim), rock (rough bronze asteroid rock), ember (a dark
// hexagonal lattice with fire in its seams).

using WallFlags = std::array<bool, kLevelColumns * kLevelRows>;  // cell (x, y) is x * 14 + y

// Paints the wall cells of `walls` onto a 640 x 480 arena picture in
// `style`, with the shared palette half (128..255); the picture's own
// colours (1..127, from `palette`) darken where a wall casts its shadow.
void PaintWalls(Canvas& picture, const Palette& palette, const WallFlags& walls, int style);
