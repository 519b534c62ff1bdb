#include "screens/InfoScreen.h"

#include "io/SoundSlots.h"
#include "platform/Host.h"
#include "platform/KeyNames.h"
#include "screens/InfoSheet.h"

namespace {

using L = InfoLayout;

constexpr int32_t kLead = 11;      // between the lines of a paragraph
constexpr int32_t kHeadDrop = 28;  // from a heading to its copy
constexpr int32_t kParagraphGap = 6;

const char* const kGoal =
    "STEER YOUR SPACE WORM THROUGH THE VOID AND EAT: EVERY BITE MAKES IT LONGER AND ADDS TO YOUR SCORE. WHEN IT "
    "REACHES THE LEVEL'S TARGET LENGTH, ITS HYPERSPACE EXIT OPENS. JUMP OUT WITH YOUR JUMP KEY, OR THE SHIP JUMPS BY "
    "ITSELF AFTER A FEW SECONDS.";
const char* const kLevels =
    "A GAME RUNS THROUGH 20 LEVELS, EASY, MEDIUM OR HARD. LEVEL 6 IS A TIMER LEVEL: 40 SECONDS ON THE CLOCK. "
    "BETWEEN LEVELS, SPEND THE POINTS YOU EARNED ON SHIP UPGRADES.";
const char* const kShields =
    "WALLS, WORMS AND THE ARENA'S EDGE DRAIN YOUR PLASMA SHIELD AND BOUNCE YOU OFF; THE SHIELD RECOVERS AS YOU FLY. "
    "BELOW ZERO THE SHIP EXPLODES AND A LIFE IS LOST. A WARP GATE THROWS YOUR HEAD TO A RANDOM FREE CELL.";
const char* const kActions[kPlayKeyCount] = {"TURN LEFT", "TURN RIGHT", "WARP GATE", "HYPER JUMP", "BOOST", "BRAKE"};
const char* const kGrows[L::kFoodKindsShown] = {"GROW 2", "GROW 4", "GROW 5", "GROW 7", "1 BOOST"};
const char* const kWorths[L::kFoodKindsShown] = {"200 PTS", "500 PTS", "800 PTS", "1400 PTS", "OR BRAKE"};

const Settings kDefaultSettings;

}  // namespace

bool InfoScreen::Init(Font* big, Font* medium, Font* small, MouseCursor* c, SoundBank* s) {
    bool ok = FontScreen::Init(big, medium, small, s, c, "grafik\\bgInfo2.dat");
    ballSurface = CreateSurface(kBallSheetWidth, kBallSheetHeight, SystemMemory);
    ok = loader.LoadSurface("grafik\\BallAnim.dat", ballSurface, nullptr) && ok;
    SetSourceColorKey(0, 0, ballSurface);
    ballSprite.Init(ballSurface, kBallCell, kBallFrames, 7);
    for (int k = 0; k < 2; ++k) hoverSprites[k].Init(ballSurface, kBallHoverCells[k], 1, 0);
    return ok;
}

void InfoScreen::DrawCopy() {
    // the goal and the levels
    const int32_t goalX = L::kGoalPanel.x + kPanelInset + 4;
    const int32_t goalWidth = L::kGoalPanel.w - 2 * (kPanelInset + 4);
    int32_t y = L::kGoalPanel.y + kPanelInset;
    DrawPanelCaps(*mediumFont, goalX, y, "THE GOAL", goalWidth);
    y = DrawPanelParagraph(*smallFont, goalX, y + kHeadDrop, goalWidth, kLead, kGoal) + kParagraphGap;
    DrawPanelCaps(*mediumFont, goalX, y, "20 LEVELS", goalWidth);
    DrawPanelParagraph(*smallFont, goalX, y + kHeadDrop, goalWidth, kLead, kLevels);

    // the keys as they are bound now
    Host* host = GetHost();
    const PlayKeys& keys = (host != nullptr ? host->CurrentSettings() : kDefaultSettings).keys;
    const int32_t keysX = L::kKeysPanel.x + kPanelInset + 4;
    const int32_t keysWidth = L::kKeysPanel.w - 2 * (kPanelInset + 4);
    DrawPanelCaps(*mediumFont, keysX, L::kKeyCaptionY, "KEYS", keysWidth);
    for (int p = 0; p < 2; ++p) {
        const ScreenBox well = L::KeyWell(p, 0);
        DrawPanelCentred(*smallFont, ScreenBox{well.x, L::kKeyHeadY, well.w, smallFont->cellHeight},
                         p == 0 ? "PLAYER 1" : "PLAYER 2");
    }
    for (int a = 0; a < kPlayKeyCount; ++a) {
        const ScreenBox row = L::KeyWell(0, a);
        DrawPanelCaps(*smallFont, keysX, row.y + (row.h - smallFont->cellHeight) / 2 + 2, kActions[a], row.x - keysX);
        for (int p = 0; p < 2; ++p) DrawPanelCentred(*smallFont, L::KeyWell(p, a), DikKeyName(keys.code[p][a]));
    }
    DrawPanelCaps(*mediumFont, keysX, L::kShieldsY, "SHIELDS AND LIVES", keysWidth);
    DrawPanelParagraph(*smallFont, keysX, L::kShieldsY + kHeadDrop, keysWidth, kLead, kShields);

    // the food
    const int32_t foodX = L::kFoodPanel.x + kPanelInset + 4;
    DrawPanelCaps(*mediumFont, foodX, L::kFoodPanel.y + kPanelInset, "FOOD", L::kFoodPanel.w);
    DrawPanelCaps(*smallFont, foodX + 70, L::kFoodPanel.y + kPanelInset + 7,
                  "EACH ITEM COMES BACK ELSEWHERE ONCE IT IS EATEN.", L::kFoodPanel.w - 2 * kPanelInset - 74);
    for (int k = 0; k < L::kFoodKindsShown; ++k) {
        const ScreenBox column{L::kFoodCentreX + k * L::kFoodStep - L::kFoodStep / 2, L::kFoodLabelY, L::kFoodStep,
                               smallFont->cellHeight};
        DrawPanelCentred(*smallFont, column, kGrows[k]);
        DrawPanelCentred(*smallFont, ScreenBox{column.x, column.y + L::kFoodLineStep, column.w, column.h}, kWorths[k]);
    }
    const ScreenBox escLine{L::kFoodPanel.x, L::kFoodPanel.Bottom() - kPanelRim - smallFont->cellHeight - 2,
                            L::kFoodPanel.w, smallFont->cellHeight};
    DrawPanelCentred(*smallFont, escLine, "ESC RETURNS TO THE MENU. IN PLAY IT FREEZES THE GAME: EXIT Y/N.");
}

bool InfoScreen::Frame() {
    DrawBackground("HOW TO PLAY");
    DrawCopy();
    ballSprite.Draw(L::kBallX, L::kBallY, backBuffer);
    ballSprite.AdvanceLoop();
    cursor->Update();
    if (ballSprite.Contains(cursor->x, cursor->y)) {
        if (!hovered) sounds->Play(kSoundInfo, SoundLoop::Once);
        hovered = 1;
        for (int k = 0; k < 2; ++k) hoverSprites[k].Draw(L::kHoverX[k], L::kHoverY[k], backBuffer);
        if (cursor->LeftDown()) {
            sounds->Play(kSoundClick, SoundLoop::Once);
            return true;
        }
        return false;
    }
    hovered = 0;
    return false;
}

void InfoScreen::Release() {
    FontScreen::Release();
    if (ballSurface) ReleaseSurface(ballSurface);
    ballSurface = nullptr;
}
