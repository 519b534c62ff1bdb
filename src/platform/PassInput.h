#pragma once
#include <cstdint>

#include "platform/Host.h"

// A window's keyboard and mouse as the game reads them (the SDL window's and
// the browser page's alike): key states by the game's scan codes, the
// pointer in the game's 640 x 480 pixels and the left button.
//
// The game samples the keys and the button as levels, once or more per
// pass, so a press and its release that arrive within one pass (a quick tap
// or a scripted click) would be missed: such a release is held back until
// the first event pump of the next pass.
//
// A screen that takes one key at a time (the name field) takes the next
// only once it has seen the last one up, so every key's release is seen by
// a pass of its own before a press that came after it: key events that
// arrive after a release wait, in order, for the pass after the one that
// shows the release (two passes on for a tap's held-back release). A name's
// last letter and Enter typed in the same instant are both taken, one pass
// apart. Presses with no release between them (two players at once, a key
// held with another) still count in the same pass.
class PassInput {
public:
    // Called at the first pump after a pass has ended: releases held back
    // take effect now.
    void BeginPass();
    void EndPass() { passEnded_ = true; }
    bool PassEnded() const { return passEnded_; }

    void KeyDown(uint8_t code);
    void KeyUp(uint8_t code);
    // Motion arrives in 640 x 480 coordinates; outside the picture it is
    // clamped to the screen, as the game's own pointer is, so that the two
    // stay together.
    void PointerAt(int x, int y);
    void LeftButton(bool down);
    // The pads move the pointer by (dx, dy) and hold the button or not.
    void MovePointer(int dx, int dy) { PointerAt(pointerX_ + dx, pointerY_ + dy); }
    void PadButton(bool down) { padLeft_ = down; }
    // Everything up: key releases that happen while another window has the
    // keyboard never reach us.
    void Clear();

    const uint8_t* KeyStates() const { return keys_; }
    void TakeMouse(int32_t* dx, int32_t* dy, uint8_t* leftDown);

private:
    // Key events after a release, waiting for their pass.
    static constexpr int kMostWaiting = 64;
    struct KeyEvent {
        uint8_t code;
        bool down;
    };
    void Apply(KeyEvent event);     // in turn
    void ApplyNow(KeyEvent event);  // in force at once

    KeyEvent waiting_[kMostWaiting] = {};
    int waitingCount_ = 0;
    // Pass starts before the waiting events may go in: 1 after a release
    // seen by this pass, 2 after a tap's release held back to the next.
    int waitStarts_ = 0;
    uint8_t keys_[256] = {};
    bool passEnded_ = false;
    bool pressedNow_[256] = {};  // went down during this pass
    bool releaseKey_[256] = {};  // went up again: released in the next pass
    uint8_t leftDown_ = 0;
    bool leftPressedNow_ = false;
    bool releaseLeft_ = false;
    bool padLeft_ = false;
    // The game's pointer starts in the middle of the screen; so does ours.
    int pointerX_ = kScreenWidth / 2;
    int pointerY_ = kScreenHeight / 2;
    int reportedX_ = kScreenWidth / 2;
    int reportedY_ = kScreenHeight / 2;
};
