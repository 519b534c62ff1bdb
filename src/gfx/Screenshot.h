#pragma once
#include <cstdint>
#include <ctime>
#include <string>

#include "platform/PaletteEntry.h"

// F12: the 640 x 480 frame on show, through its palette, as a PNG in the
// player's pictures folder ($XDG_PICTURES_DIR, else the one named in
// ~/.config/user-dirs.dirs, else ~/Pictures) in a "VoidCrawl" folder, named
// for the local date and time ("voidcrawl-2026-12-06-231502.png", then "-2",
// "-3", ... when taken).

// The file name of the `attempt`th try (1: no suffix) for the time `when`.
void ScreenshotName(const std::tm& when, int attempt, char* out, int outSize);

// The folder by that rule from the values given (any may be null):
// XDG_PICTURES_DIR, the text of user-dirs.dirs, HOME. False when none gives
// an absolute path.
bool ChooseScreenshotDir(const char* xdgPictures, const char* userDirsText, const char* home, std::string* dir);
// The rule applied to this process's environment and files.
bool FindScreenshotDir(std::string* dir);

// Writes the frame into `folder` (made when missing), whole or not at all,
// and never over a file that is there. True with the file's path in `path`,
// or false with the reason in `reason`.
bool SaveScreenshot(const uint8_t* pixels, const PaletteEntry* palette, const std::tm& when, const char* folder,
                    char* path, int pathSize, char* reason, int reasonSize);

// SaveScreenshot at the local time now into the pictures folder. Says on
// stdout which file it wrote, or on stderr why it could not, and puts a
// short line for the player in `notice` either way.
bool TakeScreenshot(const uint8_t* pixels, const PaletteEntry* palette, char* notice, int noticeSize);
