#pragma once
#include <cstdint>

#include "platform/KeyCodes.h"

// Keyboard and mouse snapshots, refreshed from the host.

struct MouseSnapshot {
    int32_t lX, lY, lZ;
    uint8_t rgbButtons[4];
};

extern uint8_t KeyState[256];
extern MouseSnapshot MouseState;
extern bool inputFailed;

bool InitInput();
bool CreateKeyboard();
bool CreateMouse();
bool ReadKeyboard();
bool ReadMouse();
void ShutdownInput();

// What play reads of the host besides the keys and the mouse: whether the
// window has the keyboard, and the tick counter. They go through here so
// that a replay can record and give them back.
bool ReadFocus();
uint32_t ReadTicks();

class InputTape;
// The tape every read of the keys, the mouse, the focus and the ticks goes
// through (recording or playing); null: none.
void SetInputTape(InputTape* tape);

// Why the input set-up failed, for the error report.
const char* InputFailureReason();
