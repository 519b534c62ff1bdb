#include "platform/PadMapper.h"

#include <cstring>

namespace {

// The letters a pad spells with, in order, and their keys by position.
constexpr int kLetters = 27;
constexpr uint8_t kLetterKeys[kLetters] = {
    0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32,      0x31,  // A..N
    0x18, 0x19, 0x10, 0x13, 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C, DIK_SPACE,        // O..Z, space
};

constexpr int kStickRange = 32767;
// Pointer speed in pixels a pass at full tilt: from a slow start, so that
// small moves are easy, to the full speed after a quarter of a second.
constexpr float kPointerSlowest = 1.5f;
constexpr float kPointerFastest = 16.0f;
constexpr int kPointerRampTicks = 25;
// The D-pad moves the pointer a step a press, and repeats when held.
constexpr int kDpadStep = 8;
constexpr int kDpadRepeatAfter = 20;
constexpr int kDpadRepeatEvery = 3;

// How far past the dead zone an axis is, 0..1, squared for fine control
// near the middle, with its sign.
float StickAmount(int value) {
    const int size = value < 0 ? -value : value;
    if (size <= PadMapper::kPointerDeadZone) return 0.0f;
    float amount = static_cast<float>(size - PadMapper::kPointerDeadZone) /
                   static_cast<float>(kStickRange - PadMapper::kPointerDeadZone);
    if (amount > 1.0f) amount = 1.0f;
    return value < 0 ? -amount * amount : amount * amount;
}

}  // namespace

void PadMapper::SetContext(PadContext context) {
    if (context == context_) return;
    context_ = context;
    for (Pad& pad : pads_) {
        pad.stickLeft = pad.stickRight = false;
        pad.heldTicks = pad.dpadTicks = 0;
    }
    tapCount_ = 0;
    tapHeld_ = false;
    letter_ = -1;
    bindPress_ = -1;
}

void PadMapper::Connect(int pad) {
    if (pad < 0 || pad >= kPads) return;
    pads_[pad] = Pad{};
    pads_[pad].connected = true;
}

void PadMapper::Disconnect(int pad) {
    if (pad < 0 || pad >= kPads) return;
    pads_[pad] = Pad{};
}

void PadMapper::Button(int pad, int button, bool down) {
    if (!Connected(pad) || button < 0 || button >= kPadButtonCount) return;
    Pad& p = pads_[pad];
    if (down && !p.down[button]) p.pressed[button] = true;
    p.down[button] = down;
}

void PadMapper::Axis(int pad, int axis, int value) {
    if (!Connected(pad) || axis < 0 || axis >= kPadAxisCount) return;
    pads_[pad].axis[axis] = value < -kStickRange ? -kStickRange : (value > kStickRange ? kStickRange : value);
}

void PadMapper::Tick() {
    std::memset(keys_, 0, sizeof keys_);
    leftDown_ = false;
    // A spelled key is held for one pass and let go for the next.
    if (tapHeld_) {
        tapHeld_ = false;
        --tapCount_;
        std::memmove(taps_, taps_ + 1, static_cast<size_t>(tapCount_));
    } else if (tapCount_ > 0) {
        Hold(taps_[0]);
        tapHeld_ = true;
    }
    for (int i = 0; i < kPads; ++i) {
        Pad& pad = pads_[i];
        if (!pad.connected) continue;
        switch (context_) {
        case PadContext::Play:
            PlayPad(i, pad);
            break;
        case PadContext::Pointer:
            PointerPad(pad);
            break;
        case PadContext::Text:
            PointerPad(pad);
            SpellName(pad);
            break;
        case PadContext::Binding:
            for (int button = 0; button < kPadButtonCount && bindPress_ < 0; ++button) {
                if (pad.pressed[button]) bindPress_ = button;
            }
            break;
        }
        std::memset(pad.pressed, 0, sizeof pad.pressed);
    }
}

void PadMapper::PlayPad(int player, Pad& pad) {
    const int x = pad.axis[kPadLeftX];
    if (!pad.stickLeft && x < -kTurnPress) pad.stickLeft = true;
    if (pad.stickLeft && x > -kTurnRelease) pad.stickLeft = false;
    if (!pad.stickRight && x > kTurnPress) pad.stickRight = true;
    if (pad.stickRight && x < kTurnRelease) pad.stickRight = false;
    const uint8_t* keys = playKeys_.code[player];
    if (Held(pad, kPadLeft) || pad.stickLeft) Hold(keys[kKeyLeft]);
    if (Held(pad, kPadRight) || pad.stickRight) Hold(keys[kKeyRight]);
    const int8_t* bound = bindings_.button;
    if (Held(pad, bound[kPadWarp])) Hold(keys[kKeyWarp]);
    if (Held(pad, bound[kPadJump])) Hold(keys[kKeyJump]);
    if (Held(pad, bound[kPadBoost])) Hold(keys[kKeyBoost]);
    if (Held(pad, bound[kPadBrake])) Hold(keys[kKeyBrake]);
    if (Held(pad, bound[kPadSpace])) {
        Hold(DIK_SPACE);
        Hold(DIK_Y);  // the EXIT box's yes
    }
    if (Held(pad, bound[kPadPause])) Hold(DIK_ESCAPE);
    if (Held(pad, kPadB)) Hold(DIK_N);  // the EXIT box's no
}

void PadMapper::PointerPad(Pad& pad) {
    const float vx = StickAmount(pad.axis[kPadLeftX]);
    const float vy = StickAmount(pad.axis[kPadLeftY]);
    if (vx != 0.0f || vy != 0.0f) {
        if (pad.heldTicks < kPointerRampTicks) ++pad.heldTicks;
        const float speed = kPointerSlowest +
                            (kPointerFastest - kPointerSlowest) * static_cast<float>(pad.heldTicks) / kPointerRampTicks;
        pointerX_ += vx * speed;
        pointerY_ += vy * speed;
    } else {
        pad.heldTicks = 0;
    }
    if (context_ == PadContext::Pointer) {
        const int dx = (Held(pad, kPadRight) ? 1 : 0) - (Held(pad, kPadLeft) ? 1 : 0);
        const int dy = (Held(pad, kPadDown) ? 1 : 0) - (Held(pad, kPadUp) ? 1 : 0);
        const bool fresh =
            pad.pressed[kPadLeft] || pad.pressed[kPadRight] || pad.pressed[kPadUp] || pad.pressed[kPadDown];
        if (dx != 0 || dy != 0) {
            ++pad.dpadTicks;
            if (fresh || (pad.dpadTicks > kDpadRepeatAfter && pad.dpadTicks % kDpadRepeatEvery == 0)) {
                pointerX_ += static_cast<float>(dx * kDpadStep);
                pointerY_ += static_cast<float>(dy * kDpadStep);
            }
        } else {
            pad.dpadTicks = 0;
        }
    }
    // A clicks and nothing more: the EXIT box has the play context's yes,
    // and a key held with the click would reach the screen it opens (A on
    // ONE PLAYER typed a "Y" into the name).
    if (Held(pad, kPadA)) leftDown_ = true;
    if (context_ == PadContext::Pointer && Held(pad, kPadB)) Hold(DIK_N);
    if (context_ == PadContext::Pointer && Held(pad, kPadY)) Hold(DIK_O);  // the menu's OPTIONS
    if (Held(pad, kPadBack)) Hold(DIK_ESCAPE);
}

void PadMapper::SpellName(Pad& pad) {
    const int step = (pad.pressed[kPadUp] ? 1 : 0) - (pad.pressed[kPadDown] ? 1 : 0);
    if (step != 0) {
        if (letter_ < 0) {
            letter_ = step > 0 ? 0 : kLetters - 1;
        } else {
            Tap(DIK_BACK);  // the letter shown gives way to the next
            letter_ = (letter_ + step + kLetters) % kLetters;
        }
        Tap(kLetterKeys[letter_]);
    }
    if (pad.pressed[kPadRight]) letter_ = -1;  // kept: the next letter starts afresh
    if (pad.pressed[kPadB]) {
        Tap(DIK_BACK);
        letter_ = -1;
    }
}

void PadMapper::Tap(uint8_t code) {
    if (tapCount_ < kTapQueue) taps_[tapCount_++] = code;
}

void PadMapper::TakePointer(int* dx, int* dy) {
    const int x = static_cast<int>(pointerX_);
    const int y = static_cast<int>(pointerY_);
    pointerX_ -= static_cast<float>(x);
    pointerY_ -= static_cast<float>(y);
    *dx = x;
    *dy = y;
}

namespace {

constexpr const char* kButtonNames[kPadButtonCount] = {"a",
                                                       "b",
                                                       "x",
                                                       "y",
                                                       "back",
                                                       "guide",
                                                       "start",
                                                       "leftstick",
                                                       "rightstick",
                                                       "leftshoulder",
                                                       "rightshoulder",
                                                       "dpup",
                                                       "dpdown",
                                                       "dpleft",
                                                       "dpright"};
constexpr const char* kAxisNames[kPadAxisCount] = {"leftx", "lefty", "rightx", "righty", "lefttrigger", "righttrigger"};

bool SameName(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        const char x = *a >= 'A' && *a <= 'Z' ? static_cast<char>(*a - 'A' + 'a') : *a;
        if (x != *b) return false;
    }
    return *a == *b;
}

}  // namespace

int PadButtonFromName(const char* name) {
    if (name == nullptr) return -1;
    for (int i = 0; i < kPadButtonCount; ++i) {
        if (SameName(name, kButtonNames[i])) return i;
    }
    return -1;
}

const char* PadButtonName(int button) { return button >= 0 && button < kPadButtonCount ? kButtonNames[button] : ""; }

int PadAxisFromName(const char* name) {
    if (name == nullptr) return -1;
    for (int i = 0; i < kPadAxisCount; ++i) {
        if (SameName(name, kAxisNames[i])) return i;
    }
    return -1;
}
