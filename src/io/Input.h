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

// Why the input set-up failed, for the error report.
const char* InputFailureReason();
