// The twenty level files of the data set pass the game's own check even in a
// two-player game (three more food items), which the autopilot never plays.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "match/Arena.h"
#include "match/Match.h"

TEST(ShippedLevels, EveryLevelPassesTheGamesCheckWithTwoPlayers) {
    for (int i = 0; i < Match::kLevels; ++i) {
        const std::string name = "L" + std::to_string(i) + ".DAT";
        std::ifstream in(std::filesystem::path(VC_DATA_DIR) / name, std::ios::binary);
        const std::vector<uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
        char error[120] = {};
        EXPECT_TRUE(Arena::Check(bytes.data(), static_cast<int64_t>(bytes.size()), 3, error, sizeof error))
            << name << ": " << error;
    }
}
