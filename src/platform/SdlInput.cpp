#include "platform/SdlInput.h"

#include <SDL.h>

#include <cstdio>
#include <cstring>

#include "platform/Host.h"

bool SdlInput::Open(char* reason, int reasonSize) {
    // Keyboard and mouse arrive as events of the game's window; here only
    // the event queue is started.
    if (SDL_InitSubSystem(SDL_INIT_EVENTS) != 0) {
        if (reason != nullptr && reasonSize > 0) std::snprintf(reason, static_cast<size_t>(reasonSize), "%s", SDL_GetError());
        return false;
    }
    open_ = true;
    Clear();
    return true;
}

void SdlInput::Close() {
    Clear();
    if (open_) {
        SDL_QuitSubSystem(SDL_INIT_EVENTS);
        open_ = false;
    }
}

void SdlInput::BeginPass() {
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

void SdlInput::KeyDown(uint8_t code) {
    if (code == 0) return;
    keys_[code] = 0x80;
    pressedNow_[code] = true;
    releaseKey_[code] = false;
}

void SdlInput::KeyUp(uint8_t code) {
    if (code == 0) return;
    if (pressedNow_[code]) {
        releaseKey_[code] = true;
    } else {
        keys_[code] = 0;
    }
}

void SdlInput::PointerAt(int x, int y) {
    pointerX_ = x < 0 ? 0 : (x > kScreenWidth - 1 ? kScreenWidth - 1 : x);
    pointerY_ = y < 0 ? 0 : (y > kScreenHeight - 1 ? kScreenHeight - 1 : y);
}

void SdlInput::LeftButton(bool down) {
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

void SdlInput::Clear() {
    std::memset(keys_, 0, sizeof keys_);
    std::memset(pressedNow_, 0, sizeof pressedNow_);
    std::memset(releaseKey_, 0, sizeof releaseKey_);
    leftDown_ = 0;
    leftPressedNow_ = false;
    releaseLeft_ = false;
    padLeft_ = false;
}

void SdlInput::TakeMouse(int32_t* dx, int32_t* dy, uint8_t* leftDown) {
    *dx = pointerX_ - reportedX_;
    *dy = pointerY_ - reportedY_;
    reportedX_ = pointerX_;
    reportedY_ = pointerY_;
    *leftDown = padLeft_ ? 0x80 : leftDown_;
}
