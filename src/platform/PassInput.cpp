#include "platform/PassInput.h"

#include <cstring>

#include "platform/Host.h"

void PassInput::BeginPass() {
    passEnded_ = false;
    for (int code = 0; code < 256; ++code) {
        if (releaseKey_[code]) keys_[code] = 0;
        releaseKey_[code] = false;
        pressedNow_[code] = false;
    }
    if (releaseLeft_) leftDown_ = 0;
    releaseLeft_ = false;
    leftPressedNow_ = false;
    if (waitStarts_ > 0) --waitStarts_;
    // The events that waited go in, in order, until the next release.
    int taken = 0;
    while (taken < waitingCount_ && waitStarts_ == 0) ApplyNow(waiting_[taken++]);
    std::memmove(waiting_, waiting_ + taken, sizeof(KeyEvent) * static_cast<size_t>(waitingCount_ - taken));
    waitingCount_ -= taken;
}

void PassInput::KeyDown(uint8_t code) {
    if (code != 0) Apply({code, true});
}

void PassInput::KeyUp(uint8_t code) {
    if (code != 0) Apply({code, false});
}

void PassInput::Apply(KeyEvent event) {
    // A press behind a release, or behind others waiting, waits its turn;
    // so does a release behind its own key's press. Other releases are in
    // force at once. A full queue lets the event through rather than lose it.
    bool wait = event.down ? waitStarts_ > 0 || waitingCount_ > 0 : false;
    for (int i = 0; i < waitingCount_ && !wait; ++i) wait = waiting_[i].code == event.code;
    if (wait && waitingCount_ < kMostWaiting) {
        waiting_[waitingCount_++] = event;
        return;
    }
    ApplyNow(event);
}

void PassInput::ApplyNow(KeyEvent event) {
    const uint8_t code = event.code;
    if (event.down) {
        keys_[code] = 0x80;
        pressedNow_[code] = true;
        releaseKey_[code] = false;
    } else if (pressedNow_[code]) {
        releaseKey_[code] = true;
        waitStarts_ = 2;
    } else if (keys_[code] != 0) {
        keys_[code] = 0;
        if (waitStarts_ < 1) waitStarts_ = 1;
    }
}

void PassInput::PointerAt(int x, int y) {
    pointerX_ = x < 0 ? 0 : (x > kScreenWidth - 1 ? kScreenWidth - 1 : x);
    pointerY_ = y < 0 ? 0 : (y > kScreenHeight - 1 ? kScreenHeight - 1 : y);
}

void PassInput::LeftButton(bool down) {
    if (down) {
        leftDown_ = 0x80;
        leftPressedNow_ = true;
        releaseLeft_ = false;
    } else if (leftPressedNow_) {
        releaseLeft_ = true;
    } else {
        leftDown_ = 0;
    }
}

void PassInput::Clear() {
    std::memset(keys_, 0, sizeof keys_);
    std::memset(pressedNow_, 0, sizeof pressedNow_);
    std::memset(releaseKey_, 0, sizeof releaseKey_);
    waitingCount_ = 0;
    waitStarts_ = 0;
    leftDown_ = 0;
    leftPressedNow_ = false;
    releaseLeft_ = false;
    padLeft_ = false;
}

void PassInput::TakeMouse(int32_t* dx, int32_t* dy, uint8_t* leftDown) {
    *dx = pointerX_ - reportedX_;
    *dy = pointerY_ - reportedY_;
    reportedX_ = pointerX_;
    reportedY_ = pointerY_;
    *leftDown = padLeft_ ? 0x80 : leftDown_;
}
