#pragma once

// The player's folder in the browser: what the game writes there (the
// high-score tables) is kept in the browser's own storage (IndexedDB), so it
// is there again when the page is loaded the next time, byte for byte.

// Puts the kept files into the folder `dir` (made if need be) and waits
// until they are there. False, with the reason on stderr, when the browser
// keeps nothing (the game then plays with a folder that lasts one visit).
bool OpenWebStore(const char* dir);

// Called between passes: when anything in the folder has changed since the
// last call (a save), starts writing it to the browser's storage.
void KeepWebStore();

// Writes what is left to write and waits until it is written.
void CloseWebStore();
