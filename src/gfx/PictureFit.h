#pragma once

#include "platform/HostOptions.h"

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
