#include "hosts/headless/HeadlessHost.h"

#include <cstdio>
#include <cstring>

#include "platform/Resimulation.h"

namespace {

void CopyText(char* out, int outSize, const char* text) {
    if (out == nullptr || outSize <= 0) return;
    std::snprintf(out, static_cast<size_t>(outSize), "%s", text != nullptr ? text : "");
}

int Clamp(int value, int low, int high) { return value < low ? low : (value > high ? high : value); }

}  // namespace

bool HeadlessHost::Fails(Device device, char* reason, int reasonSize) {
    int index = static_cast<int>(device);
    if (!failArmed_[index]) return false;
    failArmed_[index] = false;
    CopyText(reason, reasonSize, failReason_[index]);
    return true;
}

void HeadlessHost::FailNext(Device device, const char* reason) {
    int index = static_cast<int>(device);
    failArmed_[index] = true;
    CopyText(failReason_[index], kMessageSize, reason);
}

bool HeadlessHost::InitInput(char* reason, int reasonSize) { return !Fails(Device::Input, reason, reasonSize); }

bool HeadlessHost::InitAudio(AudioSource* source, char* reason, int reasonSize) {
    if (Fails(Device::Audio, reason, reasonSize)) return false;
    audioSource_ = source;
    return true;
}

bool HeadlessHost::InitDisplay(char* reason, int reasonSize) { return !Fails(Device::Display, reason, reasonSize); }

void HeadlessHost::ShutdownAudio() { audioSource_ = nullptr; }

void HeadlessHost::ShutdownDisplay() {
    lastPixels_ = nullptr;
    lastPalette_ = nullptr;
}

void HeadlessHost::ShutdownInput() {
    std::memset(keys_, 0, sizeof keys_);
    ShowKeys();
    leftDown_ = 0;
}

void HeadlessHost::Present(const uint8_t* pixels, const PaletteEntry* palette) {
    lastPixels_ = pixels;
    lastPalette_ = palette;
    ++presentCount_;
    if (watcher_ != nullptr) watcher_(watcherContext_, pixels, palette);
    if (!hashing_ || pixels == nullptr || palette == nullptr) return;
    auto mix = [this](const uint8_t* bytes, size_t size) {
        for (size_t i = 0; i < size; ++i) presentHash_ = (presentHash_ ^ bytes[i]) * 1099511628211ull;
    };
    mix(reinterpret_cast<const uint8_t*>(palette), sizeof(PaletteEntry) * 256);
    mix(pixels, static_cast<size_t>(kScreenWidth) * kScreenHeight);
}

// The pads are read once a pass, as a real pass reads its events.
void HeadlessHost::PumpEvents() {
    if (!padTickDue_) return;
    padTickDue_ = false;
    pads_.Tick();
    int dx = 0, dy = 0;
    pads_.TakePointer(&dx, &dy);
    if (dx != 0 || dy != 0) MoveMouseTo(pointerX_ + dx, pointerY_ + dy);
    ShowKeys();
}

// The keys shown are the keyboard's and the pads' together.
void HeadlessHost::ShowKeys() {
    const uint8_t* pad = pads_.Keys();
    for (int i = 0; i < 256; ++i) shownKeys_[i] = keys_[i] | pad[i];
}

void HeadlessHost::TakeMouse(int32_t* dx, int32_t* dy, uint8_t* leftDown) {
    *dx = motionX_;
    *dy = motionY_;
    motionX_ = 0;
    motionY_ = 0;
    *leftDown = leftDown_ | (pads_.LeftDown() ? 0x80 : 0);
}

void HeadlessHost::EndPass(uint32_t passStart) {
    ticks_ += kPassMs;
    padTickDue_ = true;
    if (audioSource_ != nullptr && !Unwatched()) audioSource_->Render(audio_, kFramesPerPass, kAudioRate);
}

void HeadlessHost::ShowMessage(const char* text, const char* title) {
    CopyText(messageText_, kMessageSize, text);
    CopyText(messageTitle_, kMessageSize, title);
    ++messageCount_;
    std::fprintf(stderr, "%s: %s\n", title, text);
}

void HeadlessHost::MoveMouseTo(int x, int y) {
    x = Clamp(x, 0, kScreenWidth - 1);
    y = Clamp(y, 0, kScreenHeight - 1);
    motionX_ += x - pointerX_;
    motionY_ += y - pointerY_;
    pointerX_ = x;
    pointerY_ = y;
}

void HeadlessHost::ApplySettings(const Settings& /*before*/, const Settings& after) {
    pads_.SetPlayKeys(after.keys);
    pads_.SetBindings(after.pad);
}
