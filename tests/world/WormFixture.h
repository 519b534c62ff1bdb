#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/Random.h"
#include "gfx/Display.h"
#include "gfx/Font.h"
#include "gfx/ImageLoader.h"
#include "io/Input.h"
#include "io/SoundBank.h"
#include "support/FakeHost.h"
#include "world/ArenaGrid.h"
#include "world/FoodItem.h"
#include "world/ShipStats.h"
#include "world/Worm.h"

// Colours painted into the worm's picture sheets, so that a pixel on the
// back buffer tells which picture was drawn there.
inline uint8_t HeadColour(int heading) { return static_cast<uint8_t>(10 + heading); }
inline uint8_t BodyColour(int heading) { return static_cast<uint8_t>(20 + heading); }
inline uint8_t TailColour(int heading) { return static_cast<uint8_t>(30 + heading); }
inline uint8_t CrashColour(int heading) { return static_cast<uint8_t>(40 + heading); }
constexpr uint8_t kGateColour = 50;
inline uint8_t ExplosionColour(int strip) { return static_cast<uint8_t>(60 + strip); }

// A worm on an empty arena with a display, the four picture sheets it draws
// from and 25 silent sound slots whose starts are logged.
class WormTest : public ::testing::Test, public DisplayFixtureBase {
protected:
    void SetUp() override {
        displayFailed = false;
        ASSERT_TRUE(InitDisplay(640, 480, 8));
        const Rect screen{0, 0, 640, 480};
        SetClipList(backBuffer, 1, &screen);
        ClearSurface(backBuffer, 0);

        images.surfaces[0] = MakeShipSheet();
        images.surfaces[1] = MakeShipSheet();
        images.surfaces[2] = CreateSurface(640, 250, VideoMemory);
        for (int y = 0; y < 250; ++y)
            std::memset(images.surfaces[2]->pixels + y * 640, ExplosionColour(y / 65 < 3 ? y / 65 : 0), 640);
        images.surfaces[3] = CreateSurface(640, 180, VideoMemory);
        for (int y = 0; y < 180; ++y)
            std::memset(images.surfaces[3]->pixels + y * 640, y < 132 ? CrashColour(y / 33) : kGateColour, 640);

        LoadSilentSounds();
        std::memset(KeyState, 0, sizeof KeyState);
        SeedRandom(12345);
        grid.ClearAll();

        worm.Bind(grid, font, sounds, images);
        worm.SetKeys(DIK_LEFT, DIK_RIGHT, DIK_RCONTROL, DIK_RSHIFT, DIK_UP, DIK_DOWN);
        worm.SetupForMatch(0, &kShipBaseStats[0]);
        worm.ResetForMatch();
        SoundBank::ClearStartedLog();
    }

    void TearDown() override {
        sounds.ReleaseAll();
        for (int i = 0; i < 4; ++i) ReleaseSurface(images.surfaces[i]);
        ShutdownDisplay();
        std::memset(KeyState, 0, sizeof KeyState);
    }

    // Head pictures left, body and tail pictures further right, one row per heading.
    static Surface MakeShipSheet() {
        Surface s = CreateSurface(640, 140, VideoMemory);
        for (int y = 0; y < 140; ++y) {
            const int h = y < 132 ? y / 33 : 0;
            for (int x = 0; x < 640; ++x) {
                uint8_t c = 0;
                if (x < 99) c = HeadColour(h);
                else if (x >= 165 && x < 198) c = BodyColour(h);
                else if (x >= 198 && x < 330) c = TailColour(h);
                s->pixels[y * 640 + x] = c;
            }
        }
        return s;
    }

    // A WAVE file without samples: every play starts and ends at once, so
    // the start log records each play and no copy is ever needed.
    void LoadSilentSounds() {
        const std::string path = "/tmp/vc-worm-" + std::to_string(getpid()) + ".wav";
        const uint8_t wave[] = {'R', 'I', 'F', 'F', 38, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                18, 0, 0, 0, 1, 0, 1, 0, 0x22, 0x56, 0, 0, 0x22, 0x56, 0, 0, 1, 0, 8, 0,
                                0, 0, 'd', 'a', 't', 'a', 0, 0, 0, 0};
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(wave, 1, sizeof wave, f);
        std::fclose(f);
        sounds.Init();
        for (int i = 0; i < 25; ++i) ASSERT_EQ(sounds.Load(path.c_str(), 8), i);
        std::remove(path.c_str());
    }

    static bool Played(int slot) {
        const int* slots = nullptr;
        const int n = SoundBank::StartedLog(&slots);
        for (int i = 0; i < n; ++i)
            if (slots[i] == slot) return true;
        return false;
    }
    static int PlayCount() { return SoundBank::StartedLog(nullptr); }

    uint8_t BackAt(int x, int y) const { return backBuffer->pixels[y * 640 + x]; }

    void PlaceWall(int x, int y) {
        GridObject& w = walls[wallCount++];
        w.cellX = x;
        w.cellY = y;
        w.cellType = CellType::Wall;
        grid.Place(&w);
    }
    FoodItem& PlaceFood(int x, int y, int growth, int score, int givesRockets, int soundSlot = 6) {
        FoodItem& f = foods[foodCount++];
        f.cellX = x;
        f.cellY = y;
        f.cellType = CellType::Food;
        f.growth = growth;
        f.score = score;
        f.givesRockets = givesRockets;
        f.soundSlot = soundSlot;
        grid.Place(&f);
        return f;
    }

    // Runs frames until the worm has taken one step; returns the frames used.
    int Step() {
        for (int frames = 1; frames <= 1000; ++frames) {
            const float before = worm.stepProgress;
            worm.Update();
            if (worm.stepProgress < before) return frames;  // the step resets the progress
        }
        ADD_FAILURE() << "the worm never took a step";
        return 0;
    }
    // Drives at a steady speed: one cell every four frames.
    void Cruise() { worm.speed = worm.maxSpeed = 8.0f; }

    CellPos Cell(int k) const { return CellPos{worm.segments[k].cellX, worm.segments[k].cellY}; }

    Font font;
    ImageBank images;
    SoundBank sounds;
    ArenaGrid grid;
    Worm worm;
    GridObject walls[300];
    int wallCount = 0;
    FoodItem foods[20];
    int foodCount = 0;
};

inline bool operator==(const CellPos& a, const CellPos& b) { return a.x == b.x && a.y == b.y; }
inline std::ostream& operator<<(std::ostream& os, const CellPos& c) { return os << "(" << c.x << ", " << c.y << ")"; }
