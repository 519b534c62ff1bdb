#pragma once

#include "platform/Host.h"
#include "support/Fresh.h"

// A do-nothing host for unit tests of the drawing and input layers: it
// accepts every device, counts presents and hands out scripted input.
class FakeHost : public Host {
public:
    bool InitInput(char*, int) override { return true; }
    bool InitAudio(AudioSource* s, char*, int) override {
        source = s;
        return true;
    }
    bool InitDisplay(char*, int) override { return true; }
    void ShutdownAudio() override {}
    void ShutdownDisplay() override {}
    void ShutdownInput() override {}
    void Present(const uint8_t* p, const PaletteEntry* pal) override {
        ++presents;
        lastPixels = p;
        lastPalette = pal;
    }
    void PumpEvents() override {}
    const uint8_t* KeyStates() override { return keys; }
    void TakeMouse(int32_t* dx, int32_t* dy, uint8_t* left) override {
        *dx = mouseDx;
        *dy = mouseDy;
        *left = button;
        mouseDx = mouseDy = 0;
    }
    uint32_t Ticks() override { return ticks; }
    void EndPass(uint32_t) override { ticks += kPassMs; }
    void PaceFadeStep() override { ++fadeSteps; }
    void LockAudio() override {}
    void UnlockAudio() override {}
    void ShowMessage(const char*, const char*) override {}
    bool CloseRequested() override { return false; }

    AudioSource* source = nullptr;
    uint8_t keys[256] = {};
    int32_t mouseDx = 0, mouseDy = 0;
    uint8_t button = 0;
    uint32_t ticks = 0;
    int presents = 0;
    int fadeSteps = 0;
    const uint8_t* lastPixels = nullptr;
    const PaletteEntry* lastPalette = nullptr;
};

// Brings the display up on a FakeHost for the length of a test.
class DisplayFixtureBase {
public:
    DisplayFixtureBase() { SetHost(&host); }
    ~DisplayFixtureBase() { SetHost(nullptr); }
    FakeHost host;
};
