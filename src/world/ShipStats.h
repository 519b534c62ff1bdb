#pragma once
#include <cstdint>

// The seven values of a ship, in stored order. The two speeds are 32-bit
// floats; the rest are whole numbers.
struct ShipStats {
    float velocity = 0.0f;      // top speed, pixels per frame
    float acceleration = 0.0f;  // speed change per frame toward the top speed
    int32_t shieldRecover = 0;  // shield regained per step
    int32_t plasmaShields = 0;  // full shield
    int32_t hsJumpSeconds = 0;  // seconds from exit opening to the automatic jump
    int32_t maxWarpGates = 0;   // warp gates open at once
    int32_t lives = 0;
};

// Rows of the stats panel, of ShipLimits and of UpgradeCosts. Plasma shields
// come before shield recover here, the other way round from ShipStats.
enum ShipRow : int32_t {
    RowVelocity = 0,
    RowAcceleration = 1,
    RowPlasmaShields = 2,
    RowShieldRecover = 3,
    RowHsJump = 4,
    RowMaxWarpGates = 5,
    RowLives = 6,
};
constexpr int32_t kShipRows = 7;

// Upper limit of each row (row 4: the lowest jump time). Velocity and
// acceleration are in hundredths.
struct ShipLimits {
    int32_t values[kShipRows] = {};
    int32_t operator[](int32_t row) const { return values[row]; }
};

// Points that one step of each row costs.
struct UpgradeCosts {
    int32_t values[kShipRows] = {};
    int32_t operator[](int32_t row) const { return values[row]; }
};

constexpr int32_t kShipTypes = 2;

// The ship tables the game holds for the whole run.
inline constexpr ShipStats kShipBaseStats[kShipTypes] = {
    {2.4f, 0.02f, 1, 90, 5, 2, 3},
    {2.1f, 0.03f, 2, 140, 5, 1, 3},
};
inline constexpr ShipLimits kShipLimits[kShipTypes] = {
    {{500, 7, 200, 4, 1, 5, 5}},
    {{400, 10, 300, 7, 1, 3, 5}},
};
inline constexpr UpgradeCosts kUpgradeCosts = {{10, 25, 5, 50, 40, 70, 100}};

// A ship type as an index into the tables: anything but 1 is ship 0, so that
// the placeholder type of an unused second player never reads past them.
inline int32_t ShipTableIndex(int32_t ship) { return ship == 1 ? 1 : 0; }

// Fills the game's own copies of the three tables.
void LoadShipTables(ShipStats baseStats[kShipTypes], ShipLimits limits[kShipTypes], UpgradeCosts* costs);
