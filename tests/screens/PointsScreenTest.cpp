// The points screen between levels: which rows the points buy, how far each
// row goes for each ship type, and one purchase per press.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

#include "support/GameHarness.h"

namespace {

TEST(PointsScreen, ThirtyPointsBuyOnlyTheCheapRowsAndEachRowStopsAtItsShipsLimit) {
    ShipStats base[kShipTypes];
    ShipLimits limits[kShipTypes];
    UpgradeCosts costs;
    LoadShipTables(base, limits, &costs);
    std::vector<bool> available;
    for (int32_t r = 0; r < kShipRows; ++r)
        available.push_back(SetupScreen::RowAvailable(base[0], r, 30, limits[0], costs));
    EXPECT_EQ(available, (std::vector<bool>{true, true, true, false, false, false, false}));
    // ship, row, purchases until the row is no longer offered, the value then shown
    const std::tuple<int, ShipRow, int, int32_t> cases[] = {{0, RowVelocity, 26, 500},      {1, RowVelocity, 19, 400},
                                                            {0, RowAcceleration, 5, 7},     {1, RowAcceleration, 7, 10},
                                                            {0, RowPlasmaShields, 22, 200}, {0, RowHsJump, 4, 1}};
    for (const auto& [ship, row, purchases, shown] : cases) {
        ShipStats s = base[ship];
        int bought = 0;
        for (; bought < 100 && SetupScreen::RowAvailable(s, row, 100000, limits[ship], costs); ++bought)
            SetupScreen::ApplyStep(&s, row, limits[ship]);
        EXPECT_EQ((std::tuple{bought, SetupScreen::ShownValue(s, row)}), (std::tuple{purchases, shown}))
            << "ship " << ship << " row " << row;
        if (row == RowVelocity && ship == 0) {
            EXPECT_LT(s.velocity, 5.0f);  // single-precision steps from 2.4
        }
    }
}

TEST(PointsScreen, AHeldButtonBuysOneStepNoPointsBuyNothingAndOkKeepsWhatIsLeft) {
    GameHarness h;
    ASSERT_TRUE(h.Start());
    SetupScreen& screen = h.game->setupScreen;
    ShipStats stats = h.game->shipBaseStats[0];
    int32_t points = 35, lives = stats.lives;
    auto frame = [&](int x, int y, bool down) {
        h.game->cursor.x = x;
        h.game->cursor.y = y;
        MouseState.rgbButtons[0] = down ? 0x80 : 0;
        return screen.PointsFrame(&stats, 0, 1234, &points, &lives, "ALICE");
    };
    const int plusX = 345, plusY = 192;  // row r's plus sign is 17 pixels lower than row r - 1's
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(frame(plusX, plusY, true));
    EXPECT_EQ((std::tuple{points, SetupScreen::ShownValue(stats, RowVelocity)}), (std::tuple{25, 250}));
    frame(plusX, plusY, false);
    frame(plusX, plusY + 2 * 17, true);  // plasma shields
    EXPECT_EQ((std::tuple{points, stats.plasmaShields}), (std::tuple{20, 95}));
    frame(0, 0, false);
    int32_t none = 0;
    const ShipStats before = stats;
    h.game->cursor.x = plusX;
    h.game->cursor.y = plusY;
    MouseState.rgbButtons[0] = 0x80;
    screen.PointsFrame(&stats, 0, 0, &none, &lives, "ALICE");
    EXPECT_EQ(std::memcmp(&before, &stats, sizeof stats), 0);
    frame(0, 0, false);
    EXPECT_TRUE(frame(590, 435, true));  // OK
    EXPECT_EQ(points, 20);
    MouseState.rgbButtons[0] = 0;
}

}  // namespace
