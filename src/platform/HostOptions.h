#pragma once

// How the player wants the real window and sound, from the command line (and
// later the settings file). The game core never reads these; the entry point
// hands them to the SDL host.
enum class ScaleMode {
    Auto,     // whole factors when they give 2x or more, otherwise fit
    Integer,  // the largest whole factor that fits
    Fit,      // the largest aspect-correct size that fits
};

struct HostOptions {
    int fullscreen = -1;  // -1 the default (full screen unless VOIDCRAWL_WINDOWED), 0 a window, 1 full screen
    ScaleMode scale = ScaleMode::Auto;
    bool mute = false;
};
