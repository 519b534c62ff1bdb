#include "WormFixture.h"
#include "world/ShipStats.h"

namespace {

TEST(ShipStatsTest, TablesAreCopiedWithPlasmaShieldsBeforeShieldRecoverInPanelRows) {
    ShipStats base[2];
    ShipLimits limits[2];
    UpgradeCosts costs;
    LoadShipTables(base, limits, &costs);
    EXPECT_EQ((std::tuple{base[0].maxWarpGates, base[1].velocity, base[1].plasmaShields, limits[0][RowShieldRecover],
                          limits[1][RowPlasmaShields], costs[RowShieldRecover], costs[RowLives]}),
              (std::tuple{2, 2.1f, 140, 4, 300, 50, 100}));
    // Only ship 1 reads the second table; 2 is the unused second player's placeholder.
    EXPECT_EQ((std::tuple{ShipTableIndex(-1), ShipTableIndex(0), ShipTableIndex(1), ShipTableIndex(2)}),
              (std::tuple{0, 0, 1, 0}));
}

using ShipWormTest = WormTest;

TEST_F(ShipWormTest, EachGameRestartsFromTheBaseValuesAndOtherShipTypesFlyShipZero) {
    worm.SetupForMatch(1, &kShipBaseStats[1]);
    worm.stats.velocity = 3.5f;
    worm.stats.lives = 1;
    worm.points = 7;
    worm.score = 900;
    worm.ResetForMatch();
    EXPECT_EQ((std::tuple{worm.headSprites[0].surface, worm.stats.velocity, worm.stats.lives, worm.points, worm.score}),
              (std::tuple{images.surfaces[kImageWorm1], 2.1f, 3, 0, 0}));
    worm.SetupForMatch(2, &kShipBaseStats[0]);
    EXPECT_EQ((std::tuple{worm.ship, worm.headSprites[0].surface}), (std::tuple{0, images.surfaces[kImageWorm0]}));
    Worm spare;  // never set up: a reset reads no ship values, and without lives it never starts
    spare.Bind(grid, font, sounds, images);
    spare.length = 12;
    spare.ResetForMatch();
    spare.Start(3, 3, 10);
    EXPECT_EQ((std::tuple{spare.length, spare.stats.lives, spare.active, grid.At(3, 3)}),
              (std::tuple{0, 0, 0, nullptr}));
}

}  // namespace
