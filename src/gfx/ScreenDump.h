#pragma once

// Saves the back buffer as "ScrDump.raw" (307,200 palette indices, top row
// first) and the display palette as "ScrDump.pal" (JASC-PAL text), both in
// the user folder.
void DumpScreen();
