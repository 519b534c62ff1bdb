#pragma once

struct SDL_Window;

// The window's icon, the steel worm's head from the data folder's
// icons/voidcrawl-64.png. A window without it still works: a missing or
// broken picture leaves the desktop's default icon.
bool SetWindowIcon(SDL_Window* window);
