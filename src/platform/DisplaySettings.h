#pragma once

// The display settings' own types: how the picture is scaled into the
// window, and the window's size. The settings (platform/Settings.h) hold
// them; the picture's fit (gfx/PictureFit.h) and the SDL host use them.
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
