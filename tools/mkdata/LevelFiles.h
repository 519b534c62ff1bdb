#pragma once
// The twenty level files L0.DAT..L19.DAT, compiled from the designer's text
// files levels/L00.txt..L19.txt (the format is described in levels/README.md).
#include <array>
#include <cstdint>
#include <string>

inline constexpr int kLevelFileCount = 20;
inline constexpr int kLevelColumns = 20;
inline constexpr int kLevelRows = 14;
inline constexpr size_t kLevelFileSize = 1456;
// Two-player games place this many more food items than the level asks for,
// and there are 20 food slots.
inline constexpr int kLevelExtraFood = 3;
inline constexpr int kLevelFoodSlots = 20;
// Longest title in characters; it must also fit the intro panel's room in
// pixels (kIntroTitleRoom, match/IntroPanel.h).
inline constexpr size_t kLevelTitleMax = 18;
// Straight free cells a worm needs in front of its start cell.
inline constexpr int kLevelMinRunway = 3;

// The space scenes painted behind the arena, as a level source names them
// ("scene: rift"); Levels.h paints them.
inline constexpr std::array<const char*, 6> kLevelScenes = {"veil", "giant", "rift", "spiral", "world", "deep"};
// The wall designs, as a level source names them ("walls: plating");
// LevelArt.h paints them.
inline constexpr std::array<const char*, 4> kWallStyles = {"plating", "crystal", "rock", "ember"};

// One level as the game reads it.
struct LevelSource {
    std::string background;  // "grafik\Arena0.dat": the level's own arena picture
    std::string title;
    int32_t scene = 0;      // index into kLevelScenes
    int32_t wallStyle = 0;  // index into kWallStyles
    int32_t target = 0;
    int32_t chanceA = 0, chanceB = 0, chanceC = 0;
    int32_t foodCount = 0;
    int32_t start1X = 0, start1Y = 0, start2X = 0, start2Y = 0;
    std::array<bool, kLevelColumns * kLevelRows> walls{};  // cell (x, y) is x * 14 + y

    bool Wall(int x, int y) const { return walls[static_cast<size_t>(x * kLevelRows + y)]; }
};

// Parses and checks one level text. `name` only labels the messages: on a
// mistake the result is false and `error` reads "name:line: what is wrong".
bool ParseLevel(const std::string& text, const std::string& name, LevelSource& level, std::string& error);

// The 1456 bytes of a level file, little-endian: background name and title
// (150 bytes each, zero padded), target, the three chances, food count, the
// two start cells, then the wall flags column by column.
std::array<uint8_t, kLevelFileSize> EncodeLevel(const LevelSource& level);

// "L00.txt" .. "L19.txt", and "L0.DAT" .. "L19.DAT".
std::string LevelSourceName(int index);
std::string LevelFileName(int index);
// "Arena0.dat" .. "Arena19.dat" under grafik/, and the name a level file
// stores for it: "grafik\Arena0.dat".
std::string LevelPictureName(int index);
std::string LevelPicturePath(int index);

// Reads and checks sourceDir/L00.txt..L19.txt; each level's background is
// its own arena picture. Every mistake is printed on stderr; any mistake
// makes the result false.
bool ReadLevelSources(const std::string& sourceDir, std::array<LevelSource, kLevelFileCount>& levels);

// Compiles sourceDir/L00.txt..L19.txt into outDir/L0.DAT..L19.DAT (the
// pictures they name are Levels.h's business).
bool WriteLevelFiles(const std::string& sourceDir, const std::string& outDir);
bool WriteLevelFiles(const std::array<LevelSource, kLevelFileCount>& levels, const std::string& outDir);
