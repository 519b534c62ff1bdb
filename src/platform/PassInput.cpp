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
}

void PassInput::KeyDown(uint8_t code) {
    if (code == 0) return;
    keys_[code] = 0x80;
    pressedNow_[code] = true;
    releaseKey_[code] = false;
}

void PassInput::KeyUp(uint8_t code) {
    if (code == 0) return;
    if (pressedNow_[code]) {
        releaseKey_[code] = true;
    } else {
        keys_[code] = 0;
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
