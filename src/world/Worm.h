#pragma once
#include <cstdint>

#include "gfx/Sprite.h"
#include "io/PlayActions.h"
#include "world/ArenaGrid.h"
#include "world/ShipStats.h"
#include "world/WormSheets.h"

class Font;
class ImageBank;
class SoundBank;

// One cell of a worm. The grid head holds the cell the segment stands in
// (it glides toward the next cell during a step) and its shake offsets.
struct Segment : GridObject {
    int32_t warpPhase = 0;    // 0 normal, 1 diving into a gate, 2 coming out of one
    int32_t animCounter = 0;  // explosion picture; the head's also runs the crash picture
    int32_t heading = 0;      // 0 up, 1 right, 2 down, 3 left
};

struct CellPos {
    int32_t x;
    int32_t y;
};

// Headings: 0 up (y - 1), 1 right (x + 1), 2 down (y + 1), 3 left (x - 1).
constexpr int32_t kHeadingDx[4] = {0, 1, 0, -1};
constexpr int32_t kHeadingDy[4] = {-1, 0, 1, 0};

constexpr int32_t kWormSegments = 1001;
constexpr int32_t kStartGateIndex = 1000;  // the start-gate marker lives behind the worm's own cells
constexpr int32_t kMaxTailIndex = 999;     // the tail end never goes beyond this index
constexpr float kStepPixels = 32.0f;
// A jumping worm scores 0 to kJumpScoreRange - 1 a pass.
constexpr int32_t kJumpScoreRange = 35;
// An exit earns a point of upgrades for each this much score gained since the last.
constexpr int32_t kScorePerPoint = 300;
// A turn waiting for a step: anticlockwise, clockwise, or none.
constexpr int32_t kTurnLeft = -1;
constexpr int32_t kTurnRight = 1;
constexpr int32_t kNoTurn = 0;

// One player's ship with its tail. Segment 0 is the cell ahead of the head
// (the one it is moving into, not drawn), segment 1 the head, segments 2 to
// length - 1 the body and segment `length` the tail end.
class Worm {
public:
    // Set-up, once when the match is built.
    void Bind(ArenaGrid& grid, Font& font, SoundBank& sounds, ImageBank& images);
    // At each new game. A ship type other than 0 or 1 flies with ship 0's pictures.
    void SetupForMatch(int32_t shipType, const ShipStats* source);
    // Clears the scores and copies the ship values again (left alone when
    // the worm was never set up for a ship).
    void ResetForMatch();

    // Puts the worm into the level at its start cell; nothing when no lives are left.
    void Start(int32_t cellX, int32_t cellY, int32_t newTargetLength);
    // One frame, with what the player holds in it. Always true.
    bool Update(PlayActions held);

    // Steps of a frame.
    void ReadControls(PlayActions held);
    void BoostTick();
    // kTurnLeft or kTurnRight turns the head; anything else leaves it.
    void ApplyTurn(int32_t turn);
    void SetTarget();
    CellPos CellAhead(int32_t k) const;
    void Grow();
    void Shift();
    void CheckTarget();
    void Crash();
    // -1 when there is no open heading.
    int32_t FindBounceHeading(int32_t k) const;
    int32_t FindOpenHeading(int32_t k) const;
    void Scatter(int32_t distance);
    void Settle(int32_t k);
    void Die();
    void Explode();
    void OpenWarpGate();
    void StartJump();
    void ShowStartGate(int32_t cellX, int32_t cellY);
    CellPos PixelPosition(int32_t k) const;
    void Draw(float progress);
    void DrawCrash();

    // The worm's heading is the head's.
    int32_t Heading() const { return segments[1].heading; }
    void SetTailFrame(int32_t frame);

    // Turns (kTurnLeft, kTurnRight, kNoTurn) for the next step and the one after it.
    int32_t pendingTurn = kNoTurn;
    int32_t queuedTurn = kNoTurn;
    uint8_t controlLatch = 0;
    uint8_t alive = 0;
    uint8_t crashing = 0;
    uint8_t exitOpen = 0;
    uint8_t jumping = 0;
    uint8_t exited = 0;
    uint8_t active = 0;
    uint8_t rocketsReady = 0;
    int32_t length = 0;
    int32_t pendingGrowth = 0;
    int32_t shield = 0;
    int32_t boostSteps = 0;
    int32_t targetLength = 0;
    int32_t lengthTotal = 0;
    Segment segments[kWormSegments];

    Sprite headSprites[4];
    Sprite bodySprites[4];
    Sprite tailSprites[4];
    Sprite crashSprites[4];
    Sprite explosionSprites[kExplosionStrips];
    Sprite gateSprite;

    ArenaGrid* grid = nullptr;
    Font* font = nullptr;
    SoundBank* sounds = nullptr;
    ImageBank* images = nullptr;

    float speed = 0.0f;
    float maxSpeed = 0.0f;
    float stepProgress = 0.0f;
    int32_t exitTimer = 0;
    int32_t exitMarker = 0;
    int32_t score = 0;
    int32_t openGates = 0;
    int32_t ship = 0;
    int32_t points = 0;
    int32_t scoreAtLastExit = 0;
    int32_t explosionStrip = 0;
    ShipStats stats;
    const ShipStats* statsSource = nullptr;

    // Set by Grow when it added a segment during the current step.
    bool grewThisStep = false;
    // Steps taken since the worm was built (it only ever counts up); lets a
    // watcher tell how far a jump has come.
    int32_t stepCount = 0;

private:
    void AddSegment(int32_t x, int32_t y, int32_t heading);
    bool FindWarpExit(CellPos* exit) const;
};
