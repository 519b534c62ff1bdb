#pragma once
#include "gfx/SheetCell.h"

// "BallAnim.dat", as the data tool draws it and the info screen cuts it:
// the ball that leads back to the menu, turning through its frames, and the
// two pictures that show while the pointer is on it, in 65-pixel cells.
inline constexpr int kBallSheetWidth = 480, kBallSheetHeight = 66;
inline constexpr SheetCell kBallCell = {0, 0, 65, 65};
inline constexpr int kBallFrames = 3;
// The BACK TO MENU sign, and the arrow pointing down at the ball.
inline constexpr SheetCell kBallHoverCells[2] = {{262, 0, 65, 65}, {327, 0, 65, 65}};

// "bgInfo2.dat", as the data tool paints it and the info screen writes over
// it: the title plate, three panels (the goal and the levels with the two
// ship types, the keys with a well for each player's key, the food with
// each item) and the open corner where the ball stands.
#include "platform/KeyCodes.h"
#include "screens/PanelSheet.h"

struct InfoLayout {
    static constexpr ScreenBox kGoalPanel = {14, 56, 304, 280};
    static constexpr ScreenBox kKeysPanel = {326, 56, 300, 280};
    static constexpr ScreenBox kFoodPanel = {14, 342, 476, 132};
    // Where the ball and the pictures shown while the pointer is on it stand.
    static constexpr int32_t kBallX = 570, kBallY = 410;
    static constexpr int32_t kHoverX[2] = {500, 540}, kHoverY[2] = {400, 340};
    // The worms crawling toward a meal at the foot of the goal's panel: one
    // of each ship type, tail, body and head kWormPitch apart, the meal
    // kMealGap beyond the head.
    static constexpr int32_t kWormsX = kGoalPanel.x + 12, kWormsY = kGoalPanel.Bottom() - kPanelRim - 40;
    static constexpr int32_t kWormStep = 146, kWormPitch = 32, kMealGap = 38;
    // The keys: a row per play key, the action's name on the left and a
    // well for each player's key.
    static constexpr int32_t kKeyCaptionY = kKeysPanel.y + kPanelInset;
    static constexpr int32_t kKeyHeadY = kKeyCaptionY + 30;
    static constexpr int32_t kKeyRowY = kKeyHeadY + 18, kKeyRowStep = 19, kKeyWellHeight = 17;
    static constexpr int32_t kKeyWellX[2] = {428, 526}, kKeyWellWidth = 88;
    static constexpr int32_t kShieldsY = kKeyRowY + kKeyRowStep * kPlayKeyCount + 4;
    static constexpr ScreenBox KeyWell(int player, int action) {
        return {kKeyWellX[player], kKeyRowY + kKeyRowStep * action, kKeyWellWidth, kKeyWellHeight};
    }
    // The food: each item's picture, centred kFoodStep apart, with what it
    // gives and is worth in two lines under it.
    static constexpr int32_t kFoodKindsShown = 5;
    static constexpr int32_t kFoodCentreX = kFoodPanel.x + 52, kFoodStep = 92;
    static constexpr int32_t kFoodTop = kFoodPanel.y + 34, kFoodLabelY = kFoodTop + 40, kFoodLineStep = 14;
};

static_assert(InfoLayout::KeyWell(1, 0).Right() <= InfoLayout::kKeysPanel.Right() - kPanelRim);
static_assert(InfoLayout::KeyWell(0, kPlayKeyCount - 1).Bottom() < InfoLayout::kShieldsY);
