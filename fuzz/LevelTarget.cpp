// Level files: Arena::Check, Arena::Load from a real file, and the first
// frames of the level in a running match (food placement, the intro, the
// worms starting from the level's cells and moving).
//
// The input is a level file; bytes after the first 1456 (which the game
// ignores) choose the level number, players, difficulty and the keys held
// during play.
//
// Rules checked:
//   - a level that passes the check for a two-player game passes it for one
//     player (extra food only makes it harder), and a refusal has a reason;
//   - Arena::Load accepts nothing that the check refuses, and a refused
//     level leaves the arena as it was (header, walls, picture);
//   - an accepted level has one wall record per non-zero flag, each in the
//     grid as a wall, and its target scaled by the factor (except on the
//     timer level);
//   - in the match, a refused level ends the game with a reason naming the
//     file; an accepted one runs its intro and play frames.

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FuzzTargets.h"
#include "app/Game.h"
#include "io/Input.h"

namespace {

struct Knobs {
    int32_t levelIndex = 0;
    int32_t players = 1;
    int32_t difficulty = 1;
    float factor = 1.0f;
    uint8_t keys[8] = {};  // per play frame: bit 0 left, 1 right, 2 up, 3 down, 4 gate, 5 jump
};

Knobs ReadKnobs(const uint8_t* data, size_t size) {
    Knobs k;
    if (size <= static_cast<size_t>(kLevelFileBytes)) return k;
    const uint8_t* p = data + kLevelFileBytes;
    const size_t n = size - kLevelFileBytes;
    k.levelIndex = p[0] % Match::kLevels;
    if (n > 1) {
        k.players = 1 + (p[1] & 1);
        k.difficulty = (p[1] >> 1) % 3;
    }
    static const float kFactors[] = {0.5f, 0.7f, 1.0f, 1.17f, 0.97f, 0.8f, 1.37f, 0.0f};
    if (n > 2) k.factor = kFactors[p[2] % 8];
    for (size_t i = 0; i < sizeof k.keys && 3 + i < n; ++i) k.keys[i] = p[3 + i];
    return k;
}

std::string LevelName(int32_t index) { return "L" + std::to_string(index) + ".DAT"; }

// The data set's own level files, to put back after each input.
const std::vector<uint8_t>& OriginalLevel(int32_t index) {
    static std::vector<uint8_t> originals[Match::kLevels];
    static bool read[Match::kLevels] = {};
    if (!read[index]) {
        std::ifstream f(LevelName(index), std::ios::binary);
        originals[index].assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
        read[index] = true;
    }
    return originals[index];
}

void WriteFile(const std::string& name, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(name.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, f) == size);
    FUZZ_CHECK(std::fclose(f) == 0);
}

int32_t Flag(const uint8_t* data, int32_t x, int32_t y) {
    const uint8_t* p = data + 336 + 4 * (x * 14 + y);
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                                (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24));
}

void CheckArenaLoad(Game& game, const uint8_t* data, size_t size, const Knobs& k) {
    Arena& arena = game.match.arena;
    char error[120] = {};
    const bool one = Arena::Check(data, static_cast<int64_t>(size), 0, error, sizeof error);
    FUZZ_CHECK(one || error[0] != 0);
    error[0] = 0;
    const bool two = Arena::Check(data, static_cast<int64_t>(size), 3, error, sizeof error);
    FUZZ_CHECK(two || error[0] != 0);
    FUZZ_CHECK(!two || one);

    const int32_t extraFood = k.players == 2 ? 3 : 0;
    static LevelHeader headerBefore;
    static WallCell wallsBefore[280];
    static uint8_t pictureBefore[640 * 480];
    headerBefore = arena.header;
    const int32_t wallCountBefore = arena.wallCount;
    std::memcpy(wallsBefore, arena.walls, sizeof wallsBefore);
    std::memcpy(pictureBefore, arena.background->pixels, sizeof pictureBefore);

    game.match.grid.ClearAll();
    imageLoadFailed = false;
    error[0] = 0;
    const bool loaded = arena.Load(LevelName(k.levelIndex).c_str(), k.factor, "ALICE", "BOB", k.levelIndex,
                                   extraFood, error, sizeof error);
    FUZZ_CHECK(!imageLoadFailed);
    FUZZ_CHECK(!loaded || (extraFood == 3 ? two : one));
    if (!loaded) {
        FUZZ_CHECK(error[0] != 0);
        FUZZ_CHECK(std::memcmp(&headerBefore, &arena.header, sizeof headerBefore) == 0);
        FUZZ_CHECK(arena.wallCount == wallCountBefore);
        FUZZ_CHECK(std::memcmp(wallsBefore, arena.walls, sizeof wallsBefore) == 0);
        FUZZ_CHECK(std::memcmp(pictureBefore, arena.background->pixels, sizeof pictureBefore) == 0);
        return;
    }
    int32_t walls = 0;
    for (int32_t x = 0; x < 20; ++x)
        for (int32_t y = 0; y < 14; ++y) walls += Flag(data, x, y) != 0;
    FUZZ_CHECK(arena.wallCount == walls);
    for (int32_t i = 0; i < arena.wallCount; ++i) {
        const WallCell& w = arena.walls[i];
        FUZZ_CHECK(ArenaGrid::OnBoard(w.cellX, w.cellY));
        FUZZ_CHECK(Flag(data, w.cellX, w.cellY) != 0);
        FUZZ_CHECK(game.match.grid.TypeAt(w.cellX, w.cellY) == CellType::Wall);
    }
    const int32_t fileTarget = static_cast<int32_t>(static_cast<uint32_t>(data[300]) |
                                                    (static_cast<uint32_t>(data[301]) << 8) |
                                                    (static_cast<uint32_t>(data[302]) << 16) |
                                                    (static_cast<uint32_t>(data[303]) << 24));
    const int32_t scaled = k.levelIndex == Match::kTimerLevel
                               ? fileTarget
                               : static_cast<int32_t>(static_cast<double>(fileTarget) * static_cast<double>(k.factor));
    FUZZ_CHECK(arena.header.target == scaled);
}

void PlayLevel(Game& game, const Knobs& k) {
    Match& match = game.match;
    static PlayerSetup setup;
    std::strcpy(setup.name1, "ALICE");
    std::strcpy(setup.name2, "BOB");
    setup.ship1 = 0;
    setup.ship2 = k.players == 2 ? 1 : 2;
    match.players = k.players;
    match.SetPlayers(&setup);
    match.Begin(k.difficulty);  // loads L0.DAT
    if (k.levelIndex != 0 && !match.levelFailed) {
        match.levelIndex = k.levelIndex;
        match.LoadLevel();
    }
    if (match.levelFailed) {
        FUZZ_CHECK(std::strstr(match.levelError, LevelName(k.levelIndex).c_str()) != nullptr);
        FUZZ_CHECK(!match.Frame());
        return;
    }
    FUZZ_CHECK(match.level != nullptr && match.introPending);
    match.Frame();  // the intro
    KeyState[DIK_SPACE] = 0x80;
    match.Frame();  // the worms start
    KeyState[DIK_SPACE] = 0;
    FUZZ_CHECK(!match.introPending);
    for (const uint8_t keys : k.keys) {
        static const uint8_t codes[2][6] = {
            {DIK_LEFT, DIK_RIGHT, DIK_UP, DIK_DOWN, DIK_RCONTROL, DIK_RSHIFT},
            {DIK_A, DIK_D, DIK_W, DIK_S, DIK_LCONTROL, DIK_LSHIFT},
        };
        for (int p = 0; p < 2; ++p)
            for (int b = 0; b < 6; ++b) KeyState[codes[p][b]] = (keys >> b) & 1 ? 0x80 : 0;
        match.Frame();
    }
    std::memset(KeyState, 0, sizeof KeyState);
}

}  // namespace

int FuzzLevel(const uint8_t* data, size_t size) {
    Game& game = FuzzGame();
    const Knobs k = ReadKnobs(data, size);
    const std::string name = LevelName(k.levelIndex);
    const std::vector<uint8_t>& original = OriginalLevel(k.levelIndex);
    (void)OriginalLevel(0);
    WriteFile(name, data, size);

    CheckArenaLoad(game, data, size, k);
    PlayLevel(game, k);

    WriteFile(name, original.data(), original.size());
    return 0;
}
