#include "world/ShipStats.h"

#include <gtest/gtest.h>

#include "WormFixture.h"

namespace {

TEST(ShipStatsTest, TablesHoldTheShipValuesInTheirOrders) {
    ShipStats base[2];
    ShipLimits limits[2];
    UpgradeCosts costs;
    LoadShipTables(base, limits, &costs);

    EXPECT_EQ(base[0].velocity, 2.4f);
    EXPECT_EQ(base[0].acceleration, 0.02f);
    EXPECT_EQ(base[0].shieldRecover, 1);
    EXPECT_EQ(base[0].plasmaShields, 90);
    EXPECT_EQ(base[0].maxWarpGates, 2);
    EXPECT_EQ(base[1].velocity, 2.1f);
    EXPECT_EQ(base[1].acceleration, 0.03f);
    EXPECT_EQ(base[1].shieldRecover, 2);
    EXPECT_EQ(base[1].plasmaShields, 140);
    EXPECT_EQ(base[1].hsJumpSeconds, 5);
    EXPECT_EQ(base[1].maxWarpGates, 1);
    EXPECT_EQ(base[1].lives, 3);
    // Single-precision constants: not the doubles.
    EXPECT_NE(static_cast<double>(base[1].velocity), 2.1);

    // Limits and costs run in panel order: plasma shields before shield recover.
    const int32_t limits0[7] = {500, 7, 200, 4, 1, 5, 5};
    const int32_t limits1[7] = {400, 10, 300, 7, 1, 3, 5};
    const int32_t costRow[7] = {10, 25, 5, 50, 40, 70, 100};
    for (int r = 0; r < kShipRows; ++r) {
        EXPECT_EQ(limits[0][r], limits0[r]) << r;
        EXPECT_EQ(limits[1][r], limits1[r]) << r;
        EXPECT_EQ(costs[r], costRow[r]) << r;
    }
    EXPECT_EQ(limits[1][RowPlasmaShields], 300);
    EXPECT_EQ(costs[RowShieldRecover], 50);
}

TEST(ShipStatsTest, OnlyShipOneIndexesTheSecondTable) {
    EXPECT_EQ(ShipTableIndex(0), 0);
    EXPECT_EQ(ShipTableIndex(1), 1);
    EXPECT_EQ(ShipTableIndex(2), 0);  // the unused second player of a one-player game
    EXPECT_EQ(ShipTableIndex(-1), 0);
}

using ShipWormTest = WormTest;

TEST_F(ShipWormTest, ANewGameStartsFromTheShipTypesBaseValues) {
    ShipStats base[2];
    ShipLimits limits[2];
    UpgradeCosts costs;
    LoadShipTables(base, limits, &costs);

    worm.SetupForMatch(1, &base[1]);
    worm.ResetForMatch();
    EXPECT_EQ(worm.stats.velocity, 2.1f);
    EXPECT_EQ(worm.stats.plasmaShields, 140);
    EXPECT_EQ(worm.stats.maxWarpGates, 1);
    EXPECT_EQ(worm.headSprites[0].surface, images.surfaces[1]);

    // Upgrades and lost lives last for the game only.
    worm.stats.velocity = 3.5f;
    worm.stats.lives = 1;
    worm.points = 7;
    worm.score = 900;
    worm.ResetForMatch();
    EXPECT_EQ(base[1].velocity, 2.1f);
    EXPECT_EQ(worm.stats.velocity, 2.1f);
    EXPECT_EQ(worm.stats.lives, 3);
    EXPECT_EQ(worm.points, 0);
    EXPECT_EQ(worm.score, 0);
}

TEST_F(ShipWormTest, APlaceholderShipTypeFliesShipZeroAndAWormNeverSetUpKeepsItsValues) {
    worm.SetupForMatch(2, &kShipBaseStats[ShipTableIndex(2)]);
    EXPECT_EQ(worm.ship, 0);
    EXPECT_EQ(worm.headSprites[0].surface, images.surfaces[0]);
    EXPECT_EQ(worm.stats.velocity, 2.4f);

    Worm spare;
    spare.Bind(grid, font, sounds, images);
    spare.stats.lives = 0;
    spare.length = 12;
    spare.ResetForMatch();  // no ship values to copy: nothing is read
    EXPECT_EQ(spare.length, 0);
    EXPECT_EQ(spare.stats.lives, 0);
    spare.Start(3, 3, 10);  // out of lives: stays off the board
    EXPECT_EQ(spare.active, 0);
    EXPECT_EQ(grid.At(3, 3), nullptr);
}

}  // namespace
