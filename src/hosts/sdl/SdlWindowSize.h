#pragma once

struct SDL_Window;

// The size of the window as its display server has it now, which SDL may
// not know: asked to resize a window that the window manager keeps as it
// is (one that holds every window maximised), SDL 2 takes the size it asked
// for as the window's and never hears otherwise. False where it cannot be
// told (not X11); SDL's own size is then all there is.
bool RealWindowSize(SDL_Window* window, int* width, int* height);
