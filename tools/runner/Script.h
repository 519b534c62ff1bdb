#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The runner's script: one command a line, "FRAME COMMAND [ARGS]".
// FRAME counts passes of the frame loop from 0; a command applies at the
// start of that pass (input) or after its flip (shot, state, end).

enum class ScriptOp {
    Press,     // key down
    Release,   // key up
    Mouse,     // move the pointer to (x, y)
    Focus,     // the window loses ("lost") or regains ("gained") the keyboard
    Shot,      // save the screen as PNG after the pass
    State,     // save the game state as JSON after the pass
    End,       // stop after the pass
    Pad,       // a gamepad: "pad N BUTTON press|release", "pad N axis NAME VALUE", "pad N plug|unplug"
    Settings,  // save a copy of the settings file (--settings) as it is after the pass
};

// Pseudo scan code for the left mouse button; real scan codes are 1..255.
constexpr int kMouseButtonKey = 0x100;

struct ScriptCommand {
    int64_t frame = 0;
    ScriptOp op = ScriptOp::End;
    int key = 0;          // Press / Release: scan code, or kMouseButtonKey
    int x = 0, y = 0;     // Mouse
    bool focused = true;  // Focus
    // Pad: the pad (0 or 1 for "pad 1" and "pad 2"), what happens to it and
    // the button or axis with its new state (1 pressed, 0 released, or the
    // axis value -32768..32767).
    enum class PadEvent { Button, Axis, Plug, Unplug } padEvent = PadEvent::Button;
    int pad = 0, padIndex = 0, padValue = 0;
    std::string path;  // Shot / State / Settings, as written in the script
    int line = 0;      // 1-based line number in the script
};

// Key name or hex code ("0x39", "space", "a", "7", "lmb") to its scan code,
// or kMouseButtonKey for "lmb". Names are not case sensitive. -1 if unknown.
int ParseKeyName(const std::string& name);

// Parses the whole script text. On failure returns false and sets `error` to
// "script:LINE: message".
bool ParseScript(const std::string& text, std::vector<ScriptCommand>* commands, std::string* error);

// Reads and parses a script file. A file that cannot be read is reported as
// "script: cannot read 'FILE'".
bool LoadScript(const std::string& path, std::vector<ScriptCommand>* commands, std::string* error);
