#pragma once
// The levels of the game: arena backgrounds (and, with them, the level files
// that name them).
#include <array>
#include <string>

#include "Canvas.h"

// Arena backgrounds, 640 x 480 pictures under grafik/. A level file names
// its picture as the game opens it, with the folder: see LevelBackgroundPath.
inline constexpr std::array<const char*, 6> kLevelBackgrounds = {
    "Nebula1.dat",  // violet veil: a magenta and blue emission nebula
    "Nebula2.dat",  // teal drift with a ringed gas giant
    "Nebula3.dat",  // crimson rift: a red nebula split by a dust lane, a small moon
    "Nebula4.dat",  // a spiral galaxy seen at a slant
    "Nebula5.dat",  // the limb of a blue world under a green aurora
    "Nebula6.dat",  // deep field: far galaxies and one bright star
};

// "grafik\Nebula1.dat" and so on: the name stored in a level file.
std::string LevelBackgroundPath(int index);

// Paints background `index` (0-based). Its palette is the shared upper half
// (128..255) with the picture's own colours in 1..127.
Canvas BuildLevelBackground(int index, Palette& palette);

// Writes every background under dir/grafik/.
bool MakeLevelBackgrounds(const std::string& dir);
