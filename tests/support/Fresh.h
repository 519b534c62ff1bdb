#pragma once
// A fresh start for tests that bring up the game or its display.
#include "gfx/Display.h"
#include "gfx/ImageLoader.h"
#include "io/Input.h"
#include "io/SoundBank.h"

// The game's program-wide failure flags back to a fresh start's: every
// test that starts the game or its display begins here.
inline void ResetFailureFlags() {
    displayFailed = imageLoadFailed = soundFailed = soundLoadFailed = inputFailed = false;
}

// The 640 x 480 display on the host set, flags reset, the back buffer
// clipped to the screen: what a fixture of the drawing layers starts with.
inline bool StartTestDisplay() {
    ResetFailureFlags();
    if (!InitDisplay(kScreenWidth, kScreenHeight, 8)) return false;
    const Rect screen{0, 0, kScreenWidth, kScreenHeight};
    return SetClipList(backBuffer, 1, &screen);
}
