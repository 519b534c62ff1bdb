#include "world/Worm.h"

#include "gfx/ImageLoader.h"
#include "gfx/ImageSlots.h"
#include "io/SoundBank.h"
#include "io/SoundSlots.h"
#include "platform/Host.h"
#include "world/FoodItem.h"
#include "world/Random.h"

namespace {

// The explosion sprites' frame counts; Explode picks the frame itself, from
// all kExplosionStripFrames pictures of every strip.
constexpr int32_t kExplosionFrames[kExplosionStrips] = {9, 9, 8};

// Random tries for a warp exit before the board is searched cell by cell.
// With even one free cell among the 280, missing it this many times in a
// row is practically impossible, so the random choice is all that ever
// decides in play; the scan only keeps a full board from hanging the game.
constexpr int32_t kWarpExitTries = 10000;

// Steps a boost or brake lasts.
constexpr int32_t kBoostSteps = 25;

}  // namespace

void Worm::Bind(ArenaGrid& arenaGrid, Font& bigFont, SoundBank& soundBank, ImageBank& imageBank) {
    grid = &arenaGrid;
    font = &bigFont;
    sounds = &soundBank;
    images = &imageBank;
    for (int slot = kImageWorm0; slot <= kImageShared; ++slot) SetSourceColorKey(0, 0, images->surfaces[slot]);
    for (int32_t k = 0; k < kExplosionStrips; ++k)
        explosionSprites[k].Init(images->surfaces[kImageExplosions], ExplosionCell(k), kExplosionFrames[k], 40);
    // An explosion on the bottom rows is cut at the play area's edge: the
    // status bar below stays whole.
    for (Sprite& explosion : explosionSprites) explosion.SetClip(kScreenWidth, kArenaBottom);
    for (int32_t h = 0; h < 4; ++h) crashSprites[h].Init(images->surfaces[kImageShared], CrashCell(h), kCrashFrames, 4);
    gateSprite.Init(images->surfaces[kImageShared], kGateCell, kGateFrames, 6);
    score = 0;
    lengthTotal = 0;
}

void Worm::SetupForMatch(int32_t shipType, const ShipStats* source) {
    ship = ShipTableIndex(shipType);
    statsSource = source;
    if (statsSource) stats = *statsSource;
    Surface sheet = images->surfaces[kImageWorm0 + ship];
    for (int32_t h = 0; h < 4; ++h) {
        headSprites[h].Init(sheet, WormHeadCell(h), kWormHeadFrames, 3);
        bodySprites[h].Init(sheet, WormBodyCell(h), kWormBodyFrames, 1);
        tailSprites[h].Init(sheet, WormTailCell(h), kWormTailFrames, 1);
    }
}

void Worm::ResetForMatch() {
    points = 0;
    score = 0;
    lengthTotal = 0;
    scoreAtLastExit = 0;
    pendingGrowth = 0;
    length = 0;
    // Nothing of the last game carries over: not a queued turn, nor what
    // the segment records held (a record's cell type is what the grid
    // reads where it points to it), so every game starts as the first
    // game of the program does, and its replay plays it the same.
    queuedTurn = kNoTurn;
    for (Segment& s : segments) s = Segment();
    if (statsSource) stats = *statsSource;
}

void Worm::AddSegment(int32_t x, int32_t y, int32_t heading) {
    Segment& s = segments[length];
    s.cellX = x;
    s.cellY = y;
    s.heading = heading;
    s.offsetX = 0;
    s.offsetY = 0;
    s.cellType = CellType::Occupied;
    s.warpPhase = 0;
    s.animCounter = 0;
    ++length;
}

void Worm::SetTailFrame(int32_t frame) {
    for (Sprite& tail : tailSprites) tail.frame = frame;
}

void Worm::Start(int32_t cellX, int32_t cellY, int32_t newTargetLength) {
    if (stats.lives == 0) return;

    for (int32_t h = 0; h < 4; ++h) {
        headSprites[h].frame = 0;
        bodySprites[h].frame = 0;
        tailSprites[h].frame = 0;
    }
    for (Sprite& explosion : explosionSprites) explosion.frame = 0;
    // Nothing of an earlier crash's picture carries over (a crash cut short
    // by the end of a life, level or game, or one that ended on a heading
    // the next crash turns to): a crash runs as it does in a replay played
    // from a fresh start.
    for (Sprite& crash : crashSprites) {
        crash.frame = 0;
        crash.delayCount = 0;
    }

    shield = stats.plasmaShields;
    alive = 1;
    active = 1;
    controlLatch = 0;
    exitOpen = 0;
    jumping = 0;
    exited = 0;
    rocketsReady = 0;
    crashing = 0;
    // A boost or brake cut short by a death or a jump ends with that life.
    boostSteps = 0;

    speed = 5.0f;
    maxSpeed = stats.velocity;
    stepProgress = 0.0f;
    pendingTurn = kNoTurn;
    targetLength = newTargetLength;
    openGates = 0;
    explosionStrip = 0;

    // A worm that died comes back owing a third of its length.
    pendingGrowth = length / 3;
    length = 0;
    AddSegment(cellX, cellY, 1);
    AddSegment(cellX, cellY, 1);

    sounds->PlayOverlapped(kSoundWarp);
    segments[1].warpPhase = 2;  // the head comes out of the start gate

    // The tail end starts off the board; the first steps bring it on. It is
    // set before the heading search, so that a worm boxed in at its start
    // cell, which dies right here, takes no stale cell of an earlier life
    // off the grid.
    segments[2].cellX = 1;
    segments[2].cellY = 30;
    segments[2].warpPhase = 0;

    const int32_t heading = FindOpenHeading(1);
    if (heading >= 0)
        segments[1].heading = heading;
    else
        Die();

    // A worm that died at its start cell leaves nothing on the grid and
    // does not crash a second time against the board's edge.
    if (alive) {
        SetTarget();
        grid->Place(&segments[1]);
        CheckTarget();
        if (alive) grid->Place(&segments[0]);
    }

    exitTimer = 0;
    exitMarker = 0;
}

bool Worm::Update(PlayActions held) {
    if (!alive) {
        Explode();
        return true;
    }

    if (jumping) {
        speed += 0.05f;
        score += Rand() % kJumpScoreRange;
    } else {
        if (score > 0) score -= 1;
        ReadControls(held);
        if (speed < maxSpeed) {
            speed += stats.acceleration;
            if (speed > maxSpeed) speed = maxSpeed;
        } else if (speed > maxSpeed) {
            speed -= stats.acceleration;
            if (speed < maxSpeed) speed = maxSpeed;
        }
    }

    if (exitOpen) {
        exitTimer += 1;
        if (exitTimer / kPassesPerSecond == stats.hsJumpSeconds) {
            StartJump();
            exitOpen = 0;
        }
    }

    stepProgress += speed;
    headSprites[Heading()].AdvanceLoop();

    if (stepProgress >= kStepPixels) {
        ++stepCount;
        BoostTick();
        // No clamp: the shield may end a little above full.
        if (shield < stats.plasmaShields) shield += stats.shieldRecover;
        stepProgress = 0.0f;  // whatever went beyond the cell is dropped
        Grow();
        Shift();
        if (!jumping) {
            ApplyTurn(pendingTurn);
            SetTarget();
            CheckTarget();
            if (alive) grid->Place(&segments[0]);
            pendingTurn = queuedTurn;
            queuedTurn = kNoTurn;
        }
    }

    Draw(stepProgress);
    DrawCrash();
    return true;
}

void Worm::ReadControls(PlayActions held) {
    if (!controlLatch) {
        // Right wins over left when both are held.
        const int32_t turn = held.Held(kKeyRight) ? kTurnRight : (held.Held(kKeyLeft) ? kTurnLeft : kNoTurn);
        if (pendingTurn == kNoTurn) {
            if (turn != kNoTurn) {
                // Too slow to steer: the press is used up all the same.
                if (speed > 0.5f) pendingTurn = turn;
                controlLatch = 1;
            }
        } else if (turn != kNoTurn) {
            queuedTurn = turn;
            controlLatch = 1;
        }

        if (held.Held(kKeyWarp)) {
            OpenWarpGate();
            controlLatch = 1;
        }
        if (held.Held(kKeyBoost) && rocketsReady) {
            sounds->Play(kSoundRockets, SoundLoop::Once);
            maxSpeed = stats.velocity + 1.5f;
            SetTailFrame(kTailBoost);
            boostSteps = kBoostSteps;
            rocketsReady = 0;
            controlLatch = 1;
        }
        if (held.Held(kKeyBrake) && rocketsReady) {
            maxSpeed = stats.velocity - 1.0f;
            SetTailFrame(kTailBrake);
            boostSteps = kBoostSteps;
            rocketsReady = 0;
            controlLatch = 1;
        }
        if (held.Held(kKeyJump) && exitOpen) {
            controlLatch = 1;
            StartJump();
            exitOpen = 0;
        }
    }

    if (!held.Any()) controlLatch = 0;
}

void Worm::BoostTick() {
    if (boostSteps <= 0) return;
    boostSteps -= 1;
    if (boostSteps == 0) {
        rocketsReady = 0;
        maxSpeed = stats.velocity;
        SetTailFrame(kTailNormal);
    }
}

void Worm::ApplyTurn(int32_t turn) {
    Segment& head = segments[1];
    if (turn == kTurnLeft)
        head.heading = head.heading == 0 ? 3 : head.heading - 1;
    else if (turn == kTurnRight)
        head.heading = head.heading == 3 ? 0 : head.heading + 1;
}

CellPos Worm::CellAhead(int32_t k) const {
    const Segment& s = segments[k];
    return CellPos{s.cellX + kHeadingDx[s.heading & 3], s.cellY + kHeadingDy[s.heading & 3]};
}

void Worm::SetTarget() {
    const CellPos ahead = CellAhead(1);
    segments[0].cellX = ahead.x;
    segments[0].cellY = ahead.y;
}

void Worm::Grow() {
    grewThisStep = false;
    if (pendingGrowth <= 0) return;
    if (length >= kMaxTailIndex) {
        // Full length: the rest of the growth is forfeited, so that the tail
        // is neither held in place nor drawn stretched for growth that never comes.
        pendingGrowth = 0;
    } else {
        // The tail end's record is set up afresh on its own cell; the record
        // behind it becomes the new tail end and Shift hands it the cell, so
        // the tail end keeps its cell while growing.
        const Segment& tail = segments[length];
        AddSegment(tail.cellX, tail.cellY, tail.heading);
        Segment& fresh = segments[length];
        fresh.offsetX = 0;
        fresh.offsetY = 0;
        fresh.animCounter = 0;
        fresh.warpPhase = 0;
        fresh.cellType = CellType::Occupied;
        grewThisStep = true;
        pendingGrowth -= 1;
    }
    if (length >= targetLength && exitMarker == 0) {
        exitMarker = 300;
        exitOpen = 1;
    }
}

void Worm::Shift() {
    if (!grewThisStep) grid->Remove(&segments[length]);  // the tail moves off its cell

    for (int32_t k = length; k >= 1; --k) {
        Segment& s = segments[k];
        const Segment& ahead = segments[k - 1];
        s.cellX = ahead.cellX;
        s.cellY = ahead.cellY;
        // A gate mark moves one segment down the body each step: the segment
        // that dived in comes out on the far side, the one behind dives in.
        // When two marks stand next to each other (a jump right after a
        // warp), the one behind must not swallow the one ahead: diving into
        // the next gate wins over coming out of the last, so every mark
        // reaches the tail end and closes its gate.
        if (ahead.warpPhase == 1)
            s.warpPhase = 1;
        else
            s.warpPhase = s.warpPhase == 1 ? 2 : ahead.warpPhase;
        if (k >= 2) s.heading = ahead.heading;
    }

    Segment& tail = segments[length];
    if (tail.warpPhase == 1) {
        // The tail end enters the gate: the gate closes behind it.
        const CellPos gate = CellAhead(length);
        grid->ClearCell(gate.x, gate.y);
        openGates -= 1;
        return;
    }
    if (tail.warpPhase == 2 && jumping && openGates == 0) {
        // The whole worm has left through the exit jump.
        sounds->Play(kSoundHyperOut, SoundLoop::Once);
        // Points are never negative: a score that fell since the last exit
        // (play drains it a point a pass) earns none.
        if (score > scoreAtLastExit) points += (score - scoreAtLastExit) / kScorePerPoint;
        scoreAtLastExit = score;
        lengthTotal += length;
        active = 0;
        exited = 1;
    }
}

void Worm::CheckTarget() {
    const Segment& target = segments[0];
    if (!ArenaGrid::OnBoard(target.cellX, target.cellY)) Crash();
    if (!alive) return;

    int32_t type = grid->TypeAt(segments[0].cellX, segments[0].cellY);
    if (type == CellType::Wall || type == CellType::Occupied) {
        Crash();
        type = grid->TypeAt(segments[0].cellX, segments[0].cellY);
    }
    if (type == CellType::Food) {
        FoodItem* item = static_cast<FoodItem*>(grid->At(segments[0].cellX, segments[0].cellY));
        item->cellType = CellType::EatenFood;
        sounds->PlayOverlapped(item->soundSlot);
        if (item->givesRockets == 1) {
            SetTailFrame(kTailCharged);
            rocketsReady = 1;
        }
        pendingGrowth += item->growth;
        score += item->score;
    }
}

void Worm::Crash() {
    sounds->PlayOverlapped(Rand() % 2 == 1 ? kSoundSmallCollide : kSoundPlasma);
    speed = 0.0f;
    const int32_t d = Rand() % 30;
    shield -= 2 * d;
    if (shield < 0) {
        Die();
        return;
    }
    const int32_t h = FindBounceHeading(1);
    if (h < 0) {
        Die();
        return;
    }
    segments[1].heading = h;
    SetTarget();
    crashSprites[h].frame = 0;
    crashing = 1;
    Scatter(d);
}

int32_t Worm::FindBounceHeading(int32_t k) const {
    // For the head, the segment behind it still has the heading it travelled
    // before its latest turn.
    const int32_t h = segments[k + 1].heading & 3;
    const int32_t x = segments[k].cellX + kHeadingDx[h];
    const int32_t y = segments[k].cellY + kHeadingDy[h];
    if (ArenaGrid::OnBoard(x, y) && grid->TypeAt(x, y) < CellType::Wall) return h;
    return FindOpenHeading(k);
}

int32_t Worm::FindOpenHeading(int32_t k) const {
    const Segment& s = segments[k];
    int32_t best = -1;
    int32_t bestCount = 0;
    for (int32_t h = 0; h < 4; ++h) {
        int32_t count = 0;
        int32_t x = s.cellX + kHeadingDx[h];
        int32_t y = s.cellY + kHeadingDy[h];
        while (ArenaGrid::OnBoard(x, y) && grid->TypeAt(x, y) <= CellType::Food) {
            ++count;
            x += kHeadingDx[h];
            y += kHeadingDy[h];
        }
        if (count > bestCount) {  // ties keep the earlier heading
            best = h;
            bestCount = count;
        }
    }
    return best;
}

void Worm::Scatter(int32_t distance) {
    if (length < 2) return;
    for (int32_t k = 2; k <= length; ++k) {
        Segment& s = segments[k];
        s.offsetX = -distance;
        s.offsetY = -distance;
        const int32_t x = s.cellX * 32 + s.offsetX;
        const int32_t y = s.cellY * 32 + s.offsetY;
        if (x < 0 || x > 608) s.offsetX = distance;
        if (y < 0 || y > 416) s.offsetY = distance;
    }
}

void Worm::Die() {
    alive = 0;
    active = 1;  // the explosion runs
    exitOpen = 0;
    sounds->PlayOverlapped(kSoundDeath);
    for (int32_t k = 0; k <= length; ++k) {
        grid->Remove(&segments[k]);
        if (segments[k].warpPhase == 1) {
            const CellPos gate = CellAhead(k);
            grid->ClearCell(gate.x, gate.y);
        }
    }
    if (stats.lives > 0) stats.lives -= 1;
    lengthTotal += length;
}

bool Worm::FindWarpExit(CellPos* exit) const {
    for (int32_t tries = 0; tries < kWarpExitTries; ++tries) {
        const int32_t x = Rand() % kArenaColumns;
        const int32_t y = Rand() % kArenaRows;
        if (grid->TypeAt(x, y) == CellType::Empty) {
            *exit = CellPos{x, y};
            return true;
        }
    }
    for (int32_t y = 0; y < kArenaRows; ++y)
        for (int32_t x = 0; x < kArenaColumns; ++x)
            if (grid->TypeAt(x, y) == CellType::Empty) {
                *exit = CellPos{x, y};
                return true;
            }
    return false;
}

void Worm::OpenWarpGate() {
    // One gate mark per open gate: no new gate while the head is still
    // diving into the last one (segment 1) or the mark has only just
    // passed it (segment 2).
    CellPos exit{};
    if (exitOpen || openGates >= stats.maxWarpGates || segments[1].warpPhase == 1 || segments[2].warpPhase == 1 ||
        !FindWarpExit(&exit)) {
        sounds->PlayOverlapped(kSoundWarpRefused);
        return;
    }
    sounds->PlayOverlapped(kSoundWarp);
    openGates += 1;
    segments[1].warpPhase = 1;  // the head dives into a gate at its target cell, which stays Occupied
    Segment& target = segments[0];
    target.cellX = exit.x;
    target.cellY = exit.y;
    target.heading = Heading();
    grid->Place(&target);
}

void Worm::StartJump() {
    // One jump at a time: an exit reopened during a jump (the timer level's
    // clock) must not add a second gate behind the first.
    if (jumping) return;
    Segment& target = segments[0];
    if (segments[1].warpPhase == 1) {
        // The head is already diving into a warp gate: that gate becomes the
        // exit, and the warp's far side, now never reached, is freed.
        if (grid->At(target.cellX, target.cellY) == &target) grid->ClearCell(target.cellX, target.cellY);
    } else {
        openGates += 1;
    }
    sounds->PlayOverlapped(kSoundWarp);
    target.cellX = 1;
    target.cellY = 30;
    segments[1].warpPhase = 1;
    jumping = 1;
}
