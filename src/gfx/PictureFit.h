#pragma once

#include "platform/DisplaySettings.h"

// Where the 640 x 480 picture goes in a window of a given size, and how it
// gets there: a whole factor, or the largest aspect-correct size that fits
// reached through a sharp whole-factor step and then a smooth final step.
struct PictureFit {
    int left = 0, top = 0, width = 0, height = 0;  // the picture's place in the window, centred
    int prescale = 1;                              // the sharp whole factor drawn first
    bool whole = true;                             // the picture is exactly prescale times 640 x 480
};

// `mode` Auto takes whole factors when they give 2x or more, otherwise fits.
// A window smaller than 640 x 480 always gets the shrunk, fitted picture.
PictureFit FitPicture(int windowWidth, int windowHeight, ScaleMode mode);

// The largest whole factor of 640 x 480 that fits a room of that size (the
// screen's usable area less the window's frame); 0 when not even 1x fits.
int LargestWholeFactor(int roomWidth, int roomHeight);

// The window for the size the player wants (0 x 0: auto) in that room:
// auto is the largest whole factor of the picture that fits, or the largest
// 4:3 size that fits where 1x does not; a chosen size is kept within the
// room and no smaller than kMinWindowWidth x kMinWindowHeight.
WindowSize ChooseWindowSize(WindowSize wanted, int roomWidth, int roomHeight);
