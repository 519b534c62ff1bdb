#include "screens/SetupScreen.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "io/Input.h"
#include "io/SoundSlots.h"
#include "platform/Host.h"
#include "screens/SetupSheet.h"

namespace {

const char* const kRowLabels[kShipRows] = {
    "VELOCITY:", "ACCELERATION:", "PLASMA SHIELDS:", "SHIELD RECOVER:", "HS JUMP (SEC):", "MAX WARP GATES:", "LIFES:",
};

void CopyName(char* dest, size_t destSize, const char* text) {
    std::memset(dest, 0, destSize);
    if (!text) return;
    size_t n = 0;
    while (n + 1 < destSize && text[n]) ++n;
    std::memcpy(dest, text, n);
}

// A float step: the constant is added in single precision, the limit is
// tested on the sum before it is rounded back, and a value past the limit
// becomes the limit itself.
void StepFloat(float* value, float step, int32_t limitHundredths) {
    const double sum = static_cast<double>(*value) + static_cast<double>(step);
    if (sum * 100.0 > limitHundredths)
        *value = static_cast<float>(limitHundredths * 0.01);
    else
        *value = static_cast<float>(sum);
}

void StepInt(int32_t* value, int32_t step, int32_t limit) {
    *value += step;
    if (*value > limit) *value = limit;
}

}  // namespace

void SetupScreen::Init(Font* medium, Font* small, SoundBank* s, MouseCursor* c, PlayerSetup* setup,
                       const ShipLimits* limits0, const ShipLimits* limits1, const UpgradeCosts* upgradeCosts) {
    mediumFont = medium;
    smallFont = small;
    sounds = s;
    cursor = c;
    playerSetup = setup;
    limits[0] = limits0;
    limits[1] = limits1;
    costs = upgradeCosts;

    background = CreateSurface(kScreenWidth, kScreenHeight, SystemMemory);
    loader.LoadSurface("grafik\\EnterNameBG.dat", background, nullptr);
    panelSurface = CreateSurface(kSetupSheetWidth, kSetupSheetHeight, SystemMemory);
    loader.LoadSurface("grafik\\input.dat", panelSurface, nullptr);
    shipAnimSurfaces[0] = CreateSurface(kShipTurnSheetWidth, kShipTurnSheetHeight, SystemMemory);
    loader.LoadSurface("grafik\\FirAnim.dat", shipAnimSurfaces[0], nullptr);
    shipAnimSurfaces[1] = CreateSurface(kShipTurnSheetWidth, kShipTurnSheetHeight, SystemMemory);
    loader.LoadSurface("grafik\\SecAnim.dat", shipAnimSurfaces[1], palette);
    for (Surface surface : {background, panelSurface, shipAnimSurfaces[0], shipAnimSurfaces[1]})
        SetSourceColorKey(0, 0, surface);
    SetDisplayPalette(0, kPaletteSize, palette);

    for (int k = 0; k < 2; ++k) shipAnims[k].Init(shipAnimSurfaces[k], kShipTurnCell, kShipTurnFrames, 7);
    inputPanel.Init(panelSurface, kSetupNamePanelCell, 1, 0);
    for (Sprite& plus : plusSigns) plus.Init(panelSurface, kSetupPlusCell, 1, 0);
    leftArrow.Init(panelSurface, kSetupLeftArrowCell, 2, 0);
    rightArrow.Init(panelSurface, kSetupRightArrowCell, 2, 0);
    okButton.Init(panelSurface, kSetupOkCell, 2, 0);

    playerSetup->ship1 = 1;
    playerSetup->ship2 = 2;
    player1Active = 1;
    player2Active = 0;
    cursor->SetBounds(0, 0, 639, 479);
    selectedShip = 0;
}

void SetupScreen::Arm() {
    player1Active = 1;
    player2Active = 0;
    nameEntry.Init(mediumFont, backBuffer, 138, 111, 13, 380);
}

void SetupScreen::DrawBackground() {
    // The background covers the whole screen and its key is index 0: the
    // pixels a keyed copy would leave out are 0 on the cleared screen and 0
    // in the picture. One plain copy draws the same as the clear and the
    // keyed copy, at a third of the cost.
    Blit(0, 0, kScreenWidth, kScreenHeight, background, 0, 0, backBuffer, BlitKey::Opaque);
    Sprite& anim = shipAnims[ShipTableIndex(selectedShip)];
    anim.Draw(127, 210, backBuffer);
    anim.AdvanceLoop();
}

int32_t SetupScreen::ShownValue(const ShipStats& stats, int32_t row) {
    switch (row) {
    case RowVelocity:
        return static_cast<int32_t>(std::lround(static_cast<double>(stats.velocity) * 100.0));
    case RowAcceleration:
        return static_cast<int32_t>(std::lround(static_cast<double>(stats.acceleration) * 100.0));
    case RowPlasmaShields:
        return stats.plasmaShields;
    case RowShieldRecover:
        return stats.shieldRecover;
    case RowHsJump:
        return stats.hsJumpSeconds;
    case RowMaxWarpGates:
        return stats.maxWarpGates;
    case RowLives:
        return stats.lives;
    default:
        return 0;
    }
}

bool SetupScreen::RowAvailable(const ShipStats& stats, int32_t row, int32_t points, const ShipLimits& lim,
                               const UpgradeCosts& upgradeCosts) {
    if (points < upgradeCosts[row]) return false;
    const int32_t shown = ShownValue(stats, row);
    return row == RowHsJump ? shown > lim[row] : shown < lim[row];
}

void SetupScreen::ApplyStep(ShipStats* stats, int32_t row, const ShipLimits& lim) {
    switch (row) {
    case RowVelocity:
        StepFloat(&stats->velocity, 0.1f, lim[row]);
        break;
    case RowAcceleration:
        StepFloat(&stats->acceleration, 0.01f, lim[row]);
        break;
    case RowPlasmaShields:
        StepInt(&stats->plasmaShields, 5, lim[row]);
        break;
    case RowShieldRecover:
        StepInt(&stats->shieldRecover, 1, lim[row]);
        break;
    case RowHsJump:
        stats->hsJumpSeconds -= 1;
        if (stats->hsJumpSeconds < lim[row]) stats->hsJumpSeconds = lim[row];
        break;
    case RowMaxWarpGates:
        StepInt(&stats->maxWarpGates, 1, lim[row]);
        break;
    case RowLives:
        StepInt(&stats->lives, 1, lim[row]);
        break;
    default:
        break;
    }
}

void SetupScreen::DrawStats(const ShipStats* stats0, const ShipStats* stats1) {
    const int32_t ship = ShipTableIndex(selectedShip);
    const ShipStats* stats = ship == 0 ? stats0 : stats1;
    for (int32_t r = 0; r < kShipRows; ++r) {
        const int32_t y = kShipRowY + kShipRowPitch * r;
        smallFont->DrawText(backBuffer, 363, y, kRowLabels[r], TextExtent::Whole);
        if (stats) smallFont->DrawNumber(backBuffer, kShipValueX, y, ShownValue(*stats, r));
        if (limits[ship]) smallFont->DrawNumber(backBuffer, kShipLimitX, y, (*limits[ship])[r]);
    }
}

bool SetupScreen::Frame(int32_t players) {
    inputPanel.Draw(83, 61, backBuffer);
    FillRect(220, 10, 445, 42, backBuffer, 0);
    smallFont->DrawText(backBuffer, 111, 376, "- TYPE YOUR NAME", TextExtent::Whole);
    smallFont->DrawText(backBuffer, 111, 393, "- SELECT YOUR SHIP BY CLICKING ON THE ARROW", TextExtent::Whole);
    smallFont->DrawText(backBuffer, 111, 411, "- WHEN DONE PRESS ENTER OR CLICK OK", TextExtent::Whole);

    const bool down = cursor->LeftDown();
    if (player1Active) {
        mediumFont->DrawText(backBuffer, 249, 15, "VOIDCRAWL 1", TextExtent::Whole);
        const char* name = nameEntry.Update();
        const bool ok = okButton.Contains(cursor->x, cursor->y) && down && !clickLatch;
        if (name || ok) {
            sounds->Play(kSoundClick, SoundLoop::Once);
            playerSetup->ship1 = selectedShip;
            clickLatch = 1;
            player1Active = 0;
            player2Active = 1;
            CopyName(playerSetup->name1, sizeof playerSetup->name1, name ? name : nameEntry.Typed());
            nameEntry.Init(mediumFont, backBuffer, 138, 111, 13, 380);
        }
    }
    if (players != 2) {
        player2Active = 0;
    } else if (player2Active) {
        mediumFont->DrawText(backBuffer, 249, 15, "VOIDCRAWL 2", TextExtent::Whole);
        if (!clickLatch) {
            const bool ok = okButton.Contains(cursor->x, cursor->y) && down;
            const char* name = nameEntry.Update();
            if (name || ok) {
                sounds->Play(kSoundClick, SoundLoop::Once);
                playerSetup->ship2 = selectedShip;
                clickLatch = 1;
                player2Active = 0;
                CopyName(playerSetup->name2, sizeof playerSetup->name2, name ? name : nameEntry.Typed());
            }
        }
    }

    if (selectedShip == 0) rightArrow.Draw(246, 294, backBuffer);
    if (selectedShip == 1) leftArrow.Draw(127, 294, backBuffer);
    if (leftArrow.Contains(cursor->x, cursor->y) && down && !clickLatch) {
        if (selectedShip != 0) sounds->Play(kSoundClick, SoundLoop::Once);
        leftArrow.frame = 1;
        selectedShip = 0;
    } else {
        leftArrow.frame = 0;
        if (rightArrow.Contains(cursor->x, cursor->y) && down) {
            if (selectedShip != 1) sounds->Play(kSoundClick, SoundLoop::Once);
            rightArrow.frame = 1;
            selectedShip = 1;
        } else {
            rightArrow.frame = 0;
        }
    }

    clickLatch = 1;
    if (!KeyState[DIK_RETURN] && !cursor->LeftDown()) clickLatch = 0;

    okButton.Draw(564, 416, backBuffer);
    cursor->Update();
    if (player1Active || player2Active) return false;
    player1Active = 1;
    player2Active = 0;
    return true;
}

bool SetupScreen::PointsFrame(ShipStats* stats, int32_t ship, int32_t score, int32_t* points, int32_t* lives,
                              const char* name) {
    (void)lives;  // the lives row is part of `stats`, which is edited in place
    selectedShip = ShipTableIndex(ship);
    DrawBackground();
    DrawStats(selectedShip == 0 ? stats : nullptr, selectedShip == 1 ? stats : nullptr);

    mediumFont->DrawText(backBuffer, 108, 15, name, TextExtent::Whole);
    FillRect(105, 10, 540, 42, backBuffer, 0);
    mediumFont->DrawText(backBuffer, 320 - mediumFont->lastWidth / 4, 15, name, TextExtent::Whole);

    mediumFont->DrawText(backBuffer, 180, 50, "DISTRUBUTE YOUR POINTS", TextExtent::Whole);
    mediumFont->DrawText(backBuffer, 240, 100, "SCORE:", TextExtent::Whole);
    mediumFont->DrawNumber(backBuffer, 330, 100, score);
    mediumFont->DrawText(backBuffer, 230, 150, "YOUR POINTS:", TextExtent::Whole);
    mediumFont->DrawNumber(backBuffer, 400, 150, *points);
    smallFont->DrawText(backBuffer, 111, 376, "- UPGRADE YOUR SHIP BY CLICKING THE PLUS SIGNS", TextExtent::Whole);
    smallFont->DrawText(backBuffer, 111, 393, "- YOU MAY SAVE YOUR POINTS AND USE THEM LATER", TextExtent::Whole);
    smallFont->DrawText(backBuffer, 111, 411, "- WHEN DONE CLICK OK", TextExtent::Whole);

    const ShipLimits& lim = *limits[selectedShip];
    const bool down = cursor->LeftDown();
    if (*points != 0) {
        for (int32_t r = 0; r < kShipRows; ++r) {
            const int32_t y = kShipRowY + kShipRowPitch * r;
            smallFont->DrawNumber(backBuffer, kShipCostX, y, (*costs)[r]);
            if (RowAvailable(*stats, r, *points, lim, *costs))
                plusSigns[r].Draw(338, y - 2, backBuffer);
            else
                plusSigns[r].Draw(800, 500, backBuffer);
        }
        if (down && !clickLatch) {
            for (int32_t r = 0; r < kShipRows; ++r) {
                if (!plusSigns[r].Contains(cursor->x, cursor->y)) continue;
                ApplyStep(stats, r, lim);
                plusSigns[r].frame = 1;
                *points -= (*costs)[r];
                clickLatch = 1;
                break;
            }
        }
    }
    if (!down) {
        clickLatch = 0;
        for (Sprite& plus : plusSigns) plus.frame = 0;
    }
    okButton.Draw(564, 416, backBuffer);
    if (okButton.Contains(cursor->x, cursor->y) && down && !clickLatch) {
        sounds->Play(kSoundClick, SoundLoop::Once);
        clickLatch = 1;
        return true;
    }
    cursor->Update();
    return false;
}

void SetupScreen::FadeOut() { fader.FadeOut(); }

void SetupScreen::FadeIn() { fader.FadeIn(palette); }

void SetupScreen::Release() {
    for (Surface* s : {&background, &panelSurface, &shipAnimSurfaces[0], &shipAnimSurfaces[1]}) {
        if (*s) ReleaseSurface(*s);
        *s = nullptr;
    }
}
