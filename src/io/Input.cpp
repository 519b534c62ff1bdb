#include "io/Input.h"

#include <cstdio>
#include <cstring>

#include "io/InputTape.h"
#include "platform/Host.h"

uint8_t KeyState[256] = {};
MouseSnapshot MouseState = {};
bool inputFailed = false;

namespace {
bool keyboardUp = false;
bool mouseUp = false;
char failureReason[256] = "";
InputTape* tape = nullptr;
}  // namespace

void SetInputTape(InputTape* t) { tape = t; }

const char* InputFailureReason() { return failureReason; }

bool InitInput() {
    Host* host = GetHost();
    if (!host) {
        std::snprintf(failureReason, sizeof failureReason, "no host");
        inputFailed = true;
        return false;
    }
    if (!host->InitInput(failureReason, sizeof failureReason)) {
        inputFailed = true;
        return false;
    }
    return true;
}

bool CreateKeyboard() {
    if (inputFailed || !GetHost()) return false;
    keyboardUp = true;
    return true;
}

bool CreateMouse() {
    if (inputFailed || !GetHost()) return false;
    mouseUp = true;
    return true;
}

bool ReadKeyboard() {
    Host* host = GetHost();
    if (!host || !keyboardUp) return false;
    // The pass began with the host's events pumped (the frame loop).
    std::memcpy(KeyState, host->KeyStates(), sizeof KeyState);
    if (tape != nullptr) tape->Keys(KeyState);
    return true;
}

bool ReadMouse() {
    Host* host = GetHost();
    if (!host || !mouseUp) return false;
    int32_t dx = 0, dy = 0;
    uint8_t left = 0;
    host->TakeMouse(&dx, &dy, &left);
    if (tape != nullptr) tape->Mouse(&dx, &dy, &left);
    MouseState.lX = dx;
    MouseState.lY = dy;
    MouseState.lZ = 0;
    MouseState.rgbButtons[0] = left ? 0x80 : 0;
    return true;
}

bool ReadFocus() {
    Host* host = GetHost();
    bool focused = host == nullptr || host->Focused();
    if (tape != nullptr) tape->Focus(&focused);
    return focused;
}

uint32_t ReadTicks() {
    Host* host = GetHost();
    uint32_t ticks = host != nullptr ? host->Ticks() : 0;
    if (tape != nullptr) tape->Ticks(&ticks);
    return ticks;
}

void ShutdownInput() {
    if ((keyboardUp || mouseUp) && GetHost()) GetHost()->ShutdownInput();
    keyboardUp = mouseUp = false;
}
