#pragma once
// The levels of the game: the space scenes behind the arena, and each
// level's own arena picture (its scene with its walls painted in), written
// beside the level files that name them.
#include <array>
#include <string>

#include "Canvas.h"
#include "LevelFiles.h"

// Paints scene `index` (0-based, kLevelScenes). Its palette is the shared
// upper half (128..255) with the picture's own colours in 1..127.
Canvas BuildLevelBackground(int index, Palette& palette);

// Writes the twenty arena pictures under dir/grafik/, as the levels name
// them (LevelPictureName).
bool MakeArenaPictures(const std::string& dir, const std::array<LevelSource, kLevelFileCount>& levels);
