#pragma once

// The player's folder in the browser: what the game writes there (the
// high-score tables, the replays) is kept in the browser's own storage
// (IndexedDB), so it is there again when the page is loaded the next time,
// byte for byte; a replay the game prunes leaves the storage too.
//
// The folder is a copy. Each save is stored before it counts as saved, and
// a save that the browser refuses (storage full, blocked, not answering)
// fails with the reason, as a full disk does on the desktop. Before a table
// is read to take a result, the copy is brought up to date under a lock that
// every tab of the site shares, so two tabs that end a game both keep their
// results.

// Puts the kept files into the folder `dir` (made if need be) and hands the
// game's saves to the browser's storage. False, with the reason on stderr,
// when the kept files cannot be read; when the browser has no storage at
// all, the page also says once that nothing will be kept.
bool OpenWebStore(const char* dir);

// Lets go of the browser's storage.
void CloseWebStore();
