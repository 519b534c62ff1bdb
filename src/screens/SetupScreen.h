#pragma once
#include <cstdint>

#include "gfx/Display.h"
#include "gfx/Font.h"
#include "gfx/ImageLoader.h"
#include "gfx/PaletteFader.h"
#include "gfx/Sprite.h"
#include "io/MouseCursor.h"
#include "io/SoundBank.h"
#include "screens/NameEntry.h"
#include "screens/PlayerSetup.h"
#include "screens/Screen.h"
#include "world/ShipStats.h"

// The set-up screen, where each player types a name and picks a ship, and
// the points screen between levels, which shares its pictures.
class SetupScreen final : public Screen {
public:
    void Init(Font* mediumFont, Font* smallFont, SoundBank* sounds, MouseCursor* cursor, PlayerSetup* playerSetup,
              const ShipLimits* limits0, const ShipLimits* limits1, const UpgradeCosts* costs);
    // Arms the screen for a new round: player 1 first, an empty name field.
    void Arm() override;
    void DrawBackground();
    void DrawStats(const ShipStats* stats0, const ShipStats* stats1);
    bool Frame(int32_t players);
    bool PointsFrame(ShipStats* stats, int32_t ship, int32_t score, int32_t* points, int32_t* lives, const char* name);
    // Its picture as it comes on, for `shownPlayers` with the ships' base
    // values `shownStats` (the game sets both).
    void ShowFrame() override {
        DrawBackground();
        Frame(shownPlayers);
        DrawStats(shownStats[0], shownStats[1]);
    }
    int32_t shownPlayers = 1;
    const ShipStats* shownStats[2] = {};
    void FadeOut() override;
    void FadeIn() override;
    void Release();

    // A row's value as the panel shows it: the speeds in hundredths, rounded
    // to the nearest, the rest as they are.
    static int32_t ShownValue(const ShipStats& stats, int32_t row);
    // One purchase of a row's step, kept within the ship type's limit.
    static void ApplyStep(ShipStats* stats, int32_t row, const ShipLimits& limits);
    static bool RowAvailable(const ShipStats& stats, int32_t row, int32_t points, const ShipLimits& limits,
                             const UpgradeCosts& costs);

    uint8_t player1Active = 1;
    uint8_t player2Active = 0;
    uint8_t clickLatch = 0;
    Surface background = nullptr;
    Surface panelSurface = nullptr;
    Surface shipAnimSurfaces[2] = {};
    PaletteEntry palette[kPaletteSize] = {};
    int32_t selectedShip = 0;
    Font* mediumFont = nullptr;
    Font* smallFont = nullptr;
    Sprite shipAnims[2];
    Sprite inputPanel;
    Sprite plusSigns[kShipRows];
    Sprite leftArrow;
    Sprite rightArrow;
    Sprite okButton;
    NameEntry nameEntry;
    MouseCursor* cursor = nullptr;
    SoundBank* sounds = nullptr;
    PlayerSetup* playerSetup = nullptr;
    const ShipLimits* limits[2] = {};
    const UpgradeCosts* costs = nullptr;
    PaletteFader fader;
    ImageLoader loader;
};
