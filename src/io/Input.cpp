#include "io/Input.h"

#include <cstdio>
#include <cstring>

#include "io/InputTape.h"
#include "platform/Host.h"
#include "platform/Resimulation.h"

uint8_t KeyState[256] = {};
MouseSnapshot MouseState = {};
bool inputFailed = false;

namespace {
bool keyboardUp = false;
bool mouseUp = false;
char failureReason[256] = "";
InputTape* tape = nullptr;
TickReads* keptTicks = nullptr;
const uint32_t* passTicks = nullptr;
int64_t hostTravelX = 0, hostTravelY = 0;  // HostPointerTravel
}  // namespace

void KeepTickReads(TickReads* reads) { keptTicks = reads; }
void SetPassTicks(const uint32_t* ticks) { passTicks = ticks; }

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
    hostTravelX += dx;
    hostTravelY += dy;
    if (tape != nullptr) tape->Mouse(&dx, &dy, &left);
    MouseState.lX = dx;
    MouseState.lY = dy;
    MouseState.lZ = 0;
    MouseState.rgbButtons[0] = left ? 0x80 : 0;
    return true;
}

void HostPointerTravel(int64_t* x, int64_t* y) {
    *x = hostTravelX;
    *y = hostTravelY;
}

bool ReadFocus() {
    Host* host = GetHost();
    bool focused = host == nullptr || host->Focused();
    if (tape != nullptr) tape->Focus(&focused);
    return focused;
}

uint32_t ReadTicks() {
    if (passTicks != nullptr) return *passTicks;
    if (Resimulating()) {
        if (keptTicks == nullptr) return 0;
        if (keptTicks->served < keptTicks->count) return keptTicks->values[keptTicks->served++];
        keptTicks->overrun = true;
        return keptTicks->count > 0 ? keptTicks->values[keptTicks->count - 1] : 0;
    }
    Host* host = GetHost();
    uint32_t ticks = host != nullptr ? host->Ticks() : 0;
    if (tape != nullptr) tape->Ticks(&ticks);
    if (keptTicks != nullptr) {
        if (keptTicks->count < TickReads::kMax)
            keptTicks->values[keptTicks->count++] = ticks;
        else
            keptTicks->overrun = true;
    }
    return ticks;
}

void ShutdownInput() {
    if ((keyboardUp || mouseUp) && GetHost()) GetHost()->ShutdownInput();
    keyboardUp = mouseUp = false;
}
