#pragma once
#include <string>

#include "Canvas.h"

// Each generator writes its part of the data set under `dir` (which already
// holds the folders grafik/ and sound/) and returns false after printing
// the reason on stderr.
bool MakeFonts(const std::string& dir);     // grafik/ImpFont22.dat, impFont16.dat, impFont8.dat
bool MakeFrontEnd(const std::string& dir);  // menu, info, high scores, set-up pictures, pointer
bool MakePlayArt(const std::string& dir);   // worms, explosions, shared strips, food, walls, panels
bool MakeSounds(const std::string& dir);    // sound/*.dat
bool MakeLevels(const std::string& dir);    // level backgrounds and L0.DAT..L19.DAT

// The desktop icons, icons/voidcrawl-<size>.png for each of kIconSizes: kept
// apart from the game's own files (the game never reads them).
constexpr int kIconSizes[] = {16, 32, 48, 64, 128, 256, 512};
bool MakeIcons(const std::string& dir);
Canvas BuildIcon(int size);  // the icon's picture on the shared palette, index 0 see-through
