#include "world/ShipStats.h"

void LoadShipTables(ShipStats baseStats[kShipTypes], ShipLimits limits[kShipTypes], UpgradeCosts* costs) {
    for (int32_t ship = 0; ship < kShipTypes; ++ship) {
        baseStats[ship] = kShipBaseStats[ship];
        limits[ship] = kShipLimits[ship];
    }
    *costs = kUpgradeCosts;
}
