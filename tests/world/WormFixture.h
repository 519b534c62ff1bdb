#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <tuple>

#include "gfx/Display.h"
#include "gfx/Font.h"
#include "gfx/ImageLoader.h"
#include "gfx/ImageSlots.h"
#include "io/PlayActions.h"
#include "io/SoundBank.h"
#include "io/SoundSlots.h"
#include "support/FakeHost.h"
#include "world/FoodItem.h"
#include "world/Random.h"
#include "world/Worm.h"

using P = std::pair<int, int>;

// Colours painted into the picture sheets, so a back-buffer pixel tells which picture was drawn.
inline uint8_t HeadColour(int h) { return uint8_t(10 + h); }
inline uint8_t BodyColour(int h) { return uint8_t(20 + h); }
inline uint8_t TailColour(int h) { return uint8_t(30 + h); }
inline uint8_t CrashColour(int h) { return uint8_t(40 + h); }
constexpr uint8_t kGateColour = 50;
inline uint8_t ExplosionColour(int strip) { return uint8_t(60 + strip); }
// Sheets 0 and 1 hold a ship's heads left, its body at 165 and its tails from 198, a heading a row; sheet 2 the
// explosion strips; sheet 3 the crash strips and the gate.
inline uint8_t SheetColour(int sheet, int x, int y) {
    const int h = y < 132 ? y / 33 : 0;
    if (sheet == 2) return ExplosionColour(y / 65 < 3 ? y / 65 : 0);
    if (sheet == 3) return y < 132 ? CrashColour(h) : kGateColour;
    if (x < 99) return HeadColour(h);
    if (x >= 165 && x < 198) return BodyColour(h);
    return x >= 198 && x < 330 ? TailColour(h) : 0;
}

// A worm on an empty arena, with the four picture sheets and a silent sound in every slot, whose starts are logged.
class WormTest : public ::testing::Test, public DisplayFixtureBase {
protected:
    void SetUp() override {
        ASSERT_TRUE(StartTestDisplay());
        ClearSurface(backBuffer, 0);
        for (int i = kImageWorm0; i <= kImageShared; ++i) {
            const int height = kImageSlotFiles[i].height;
            images.surfaces[i] = CreateSurface(640, height, VideoMemory);
            for (int p = 0; p < 640 * height; ++p) images.surfaces[i]->pixels[p] = SheetColour(i, p % 640, p / 640);
        }
        // A WAVE without samples: every play starts and ends at once and is logged.
        const std::string path = "/tmp/vc-worm-" + std::to_string(getpid()) + ".wav";
        std::ofstream(path, std::ios::binary)
            .write("RIFF\x26\0\0\0WAVEfmt \x12\0\0\0\1\0\1\0\x22\x56\0\0\x22\x56\0\0\1\0\x08\0\0\0data\0\0\0\0", 46);
        sounds.Init();
        for (int i = 0; i < kSoundSlotCount; ++i) ASSERT_EQ(sounds.Load(path.c_str(), 8), i);
        std::remove(path.c_str());
        holding = PlayActions{};
        SeedRandom(12345);
        grid.ClearAll();
        worm.Bind(grid, font, sounds, images);
        worm.SetupForMatch(0, &kShipBaseStats[0]);
        worm.ResetForMatch();
        SoundBank::ClearStartedLog();
    }
    void TearDown() override {
        sounds.ReleaseAll();
        for (int i = kImageWorm0; i <= kImageShared; ++i) ReleaseSurface(images.surfaces[i]);
        ShutdownDisplay();
    }
    static bool Played(int slot) {
        const int* slots = nullptr;
        const int n = SoundBank::StartedLog(&slots);
        return std::find(slots, slots + n, slot) != slots + n;
    }
    // The actions of these keys held together.
    static PlayActions Hold(std::initializer_list<PlayKey> keys) {
        PlayActions held;
        for (PlayKey k : keys) held.bits = uint8_t(held.bits | PlayActions::Bit(k));
        return held;
    }
    static uint8_t BackAt(int x, int y) { return backBuffer->pixels[y * 640 + x]; }
    void PlaceWall(int x, int y) { grid.Place(&(walls[wallCount++] = GridObject{x, y, 0, 0, CellType::Wall})); }
    FoodItem& PlaceFood(int x, int y, int growth, int score, int rockets, int soundSlot = kSoundGrow1) {
        FoodItem& f = foods[foodCount++] = FoodItem{{x, y, 0, 0, CellType::Food}, 0, soundSlot, growth, score, rockets};
        grid.Place(&f);
        return f;
    }
    // Runs frames until the worm has taken one step (the step resets the progress).
    void Step(int steps = 1) {
        for (int frames = 0; steps > 0; ++frames) {
            ASSERT_LT(frames, 1000) << "the worm never took a step";
            const float before = worm.stepProgress;
            worm.Update(holding);
            steps -= worm.stepProgress < before;
        }
    }
    void Cruise() { worm.speed = worm.maxSpeed = 8.0f; }  // one cell every four frames
    P Cell(int k) const { return {worm.segments[k].cellX, worm.segments[k].cellY}; }

    Font font;
    ImageBank images;
    SoundBank sounds;
    ArenaGrid grid;
    Worm worm;
    PlayActions holding;  // what the player holds in the frames a test runs
    GridObject walls[300];
    int wallCount = 0;
    FoodItem foods[20];
    int foodCount = 0;
};
