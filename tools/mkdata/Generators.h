#pragma once
#include <string>

// Each generator writes its part of the data set under `dir` (which already
// holds the folders grafik/ and sound/) and returns false after printing
// the reason on stderr.
bool MakeFonts(const std::string& dir);      // grafik/ImpFont22.dat, impFont16.dat, impFont8.dat
bool MakeFrontEnd(const std::string& dir);   // menu, info, high scores, set-up pictures, pointer
bool MakePlayArt(const std::string& dir);    // worms, explosions, shared strips, food, walls, panels
bool MakeSounds(const std::string& dir);     // sound/*.dat
bool MakeLevels(const std::string& dir);     // level backgrounds and L0.DAT..L19.DAT
