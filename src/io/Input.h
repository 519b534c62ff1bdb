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
// Every move of the mouse the host reported, summed from the start, also
// those a replay's tape played its own moves in place of: where the
// player's own pointer went while a replay moved the game's.
void HostPointerTravel(int64_t* x, int64_t* y);

// What play reads of the host besides the keys and the mouse: whether the
// window has the keyboard, and the tick counter. They go through here so
// that a replay can record and give them back.
bool ReadFocus();
uint32_t ReadTicks();

// The tick counter as one pass of play read it, kept so that the pass can
// be run again reading the same: while resimulating
// (platform/Resimulation.h) each read gives back the next kept value, and
// neither the host nor the tape is asked.
struct TickReads {
    static constexpr int32_t kMax = 16;
    uint32_t values[kMax] = {};
    int32_t count = 0;     // reads kept
    int32_t served = 0;    // resimulating: reads given back
    bool overrun = false;  // more reads than were kept, or than fit
    void Clear() {
        count = served = 0;
        overrun = false;
    }
};
// Keeps the tick reads in `reads` from now on (null: none kept).
void KeepTickReads(TickReads* reads);
// Online play: every read of the tick counter gives `*ticks`, the pass's
// own clock, which both machines read alike; neither the host nor the tape
// is asked (null: the host's clock again).
void SetPassTicks(const uint32_t* ticks);

class InputTape;
// The tape every read of the keys, the mouse, the focus and the ticks goes
// through (recording or playing); null: none.
void SetInputTape(InputTape* tape);

// Why the input set-up failed, for the error report.
const char* InputFailureReason();
