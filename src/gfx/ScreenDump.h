#pragma once

// Saves the back buffer as "ScrDump.raw" (307,200 palette indices, top row
// first) and the display palette as "ScrDump.pal" (JASC-PAL text), both in
// the user folder.
void DumpScreen();

struct SaveResult;
// The same, saying what became of it: false with the reason in `result`.
bool SaveScreenDump(SaveResult* result);
