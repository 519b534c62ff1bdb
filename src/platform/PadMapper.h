#pragma once
#include <cstdint>

#include "platform/KeyCodes.h"
#include "platform/PadContext.h"

// Gamepads as the game sees them: a pad presses its player's keys in the
// key snapshot, moves the pointer and presses its button; the game reads
// nothing new. The first pad is player 1's, the second player 2's.
//
// What a pad does depends on where the game is (PadContext):
//   Play     stick or D-pad left/right turn (the stick with a dead zone and
//            hysteresis, so a held stick acts as a held key); the bound
//            buttons press warp, jump, boost and brake; "start" presses
//            SPACE (and Y, the EXIT box's yes), "pause" presses Esc; B also
//            presses N (the EXIT box's no).
//   Pointer  the left stick moves the pointer with acceleration, the D-pad
//            in steps; A is the left button (and Y), B presses N, Y presses
//            O (the menu's OPTIONS), Back Esc.
//   Text     as Pointer, but the D-pad spells a name: up/down run through
//            the letters at the end of the name, right keeps the letter, B
//            deletes (Backspace).
//   Binding  nothing is pressed; the first button pressed on either pad
//            waits for TakeBindPress.
// Buttons and axes are numbered as SDL's game controller numbers them.

enum PadButton : int {
    kPadA,
    kPadB,
    kPadX,
    kPadY,
    kPadBack,
    kPadGuide,
    kPadStart,
    kPadLeftStick,
    kPadRightStick,
    kPadLeftShoulder,
    kPadRightShoulder,
    kPadUp,
    kPadDown,
    kPadLeft,
    kPadRight,
    kPadButtonCount
};
enum PadAxis : int { kPadLeftX, kPadLeftY, kPadRightX, kPadRightY, kPadLeftTrigger, kPadRightTrigger, kPadAxisCount };

// Which button does what in play (the players may choose others).
enum PadAction : int { kPadWarp, kPadJump, kPadBoost, kPadBrake, kPadSpace, kPadPause, kPadActionCount };
struct PadBindings {
    int8_t button[kPadActionCount];
};
inline constexpr PadBindings kDefaultPadBindings = {{kPadB, kPadRightShoulder, kPadX, kPadY, kPadA, kPadStart}};

class PadMapper {
public:
    static constexpr int kPads = 2;
    // The stick turns past this and lets go below the second.
    static constexpr int kTurnPress = 16000;
    static constexpr int kTurnRelease = 8000;
    // The stick moves the pointer past this.
    static constexpr int kPointerDeadZone = 6000;

    void SetPlayKeys(const PlayKeys& keys) { playKeys_ = keys; }
    void SetBindings(const PadBindings& bindings) { bindings_ = bindings; }
    void SetContext(PadContext context);
    PadContext Context() const { return context_; }

    // A pad plugged into slot `pad` (0 or 1), or gone: everything it held is
    // let go at once.
    void Connect(int pad);
    void Disconnect(int pad);
    bool Connected(int pad) const { return pad >= 0 && pad < kPads && pads_[pad].connected; }

    void Button(int pad, int button, bool down);
    void Axis(int pad, int axis, int value);  // -32768..32767

    // Once a pass, before the game reads its input: works out the keys held,
    // the pointer's motion and the button. A press that came and went within
    // the last pass still shows for this one.
    void Tick();

    // 0x80 for each key a pad holds.
    const uint8_t* Keys() const { return keys_; }
    // Pointer motion made by the pads since the last take.
    void TakePointer(int* dx, int* dy);
    bool LeftDown() const { return leftDown_; }
    // The button pressed in the Binding context since the last take, or -1.
    int TakeBindPress() {
        const int button = bindPress_;
        bindPress_ = -1;
        return button;
    }

private:
    struct Pad {
        bool connected = false;
        bool down[kPadButtonCount] = {};
        bool pressed[kPadButtonCount] = {};  // went down since the last tick
        int axis[kPadAxisCount] = {};
        bool stickLeft = false, stickRight = false;  // the stick's turn, with hysteresis
        int heldTicks = 0;                           // how long the stick has moved the pointer
        int dpadTicks = 0;                           // how long a D-pad direction has been held
    };

    bool Held(const Pad& pad, int button) const { return pad.down[button] || pad.pressed[button]; }
    void Hold(int code) {
        if (code > 0 && code < 256) keys_[code] = 0x80;
    }
    void PlayPad(int player, Pad& pad);
    void PointerPad(Pad& pad);
    void SpellName(Pad& pad);
    void Tap(uint8_t code);

    Pad pads_[kPads];
    PlayKeys playKeys_ = kDefaultPlayKeys;
    PadBindings bindings_ = kDefaultPadBindings;
    PadContext context_ = PadContext::Pointer;
    uint8_t keys_[256] = {};
    bool leftDown_ = false;
    int bindPress_ = -1;
    float pointerX_ = 0, pointerY_ = 0;  // motion not yet taken, with its fractions
    // Name spelling: taps one key a pass at a time, each let go before the next.
    static constexpr int kTapQueue = 8;
    uint8_t taps_[kTapQueue] = {};
    int tapCount_ = 0;
    bool tapHeld_ = false;
    int letter_ = -1;  // the letter being chosen at the end of the name, -1 none
};

// Button and axis names as SDL's game controller spells them ("a",
// "rightshoulder", "dpup", "leftx"), matched without regard to case; -1 for
// names that are none.
int PadButtonFromName(const char* name);
const char* PadButtonName(int button);
int PadAxisFromName(const char* name);
