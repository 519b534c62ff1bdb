#pragma once
#include <string>

#include "platform/KeyCodes.h"
#include "platform/PadMapper.h"

// How the player wants the real window and sound, from the settings file and
// the command line. The game core never reads these; the entry point
// hands them to the SDL host.
enum class ScaleMode {
    Auto,     // whole factors when they give 2x or more, otherwise fit
    Integer,  // the largest whole factor that fits
    Fit,      // the largest aspect-correct size that fits
};

// "auto", "integer", "fit": as the settings file and --scale spell them.
inline const char* ScaleName(ScaleMode mode) {
    return mode == ScaleMode::Integer ? "integer" : mode == ScaleMode::Fit ? "fit" : "auto";
}

// The window's size in real pixels; 0 x 0 until the player chooses one (or
// drags one): then the largest whole factor of 640 x 480 that fits the
// screen's usable area.
struct WindowSize {
    int width = 0;
    int height = 0;
};
inline bool operator==(const WindowSize& a, const WindowSize& b) { return a.width == b.width && a.height == b.height; }
inline bool operator!=(const WindowSize& a, const WindowSize& b) { return !(a == b); }
// What a chosen window may measure: a quarter of the picture at least.
inline constexpr int kMinWindowWidth = 160;
inline constexpr int kMinWindowHeight = 120;
inline constexpr int kMaxWindowSide = 16384;

struct HostOptions {
    int fullscreen = -1;  // -1 the default (full screen unless VOIDCRAWL_WINDOWED), 0 a window, 1 full screen
    ScaleMode scale = ScaleMode::Auto;
    WindowSize window;  // the window's size when not full screen
    bool mute = false;
    int volume = 100;                      // the master volume, 0 to 100
    std::string settingsPath;              // where changes made in play are kept; empty: not kept
    PlayKeys playKeys = kDefaultPlayKeys;  // what a pad presses for each player
    PadBindings padBindings = kDefaultPadBindings;
    bool rumble = true;
    std::string padMappingPath;  // the player's own gamecontrollerdb.txt, if any
};
