// Level files: Arena::Check, then the level loaded from memory into a match
// just begun (Match::LoadLevelBytes: the arena, its walls, food placement)
// and its first frames (the intro, the worms starting from the level's cells
// and moving). Nothing is read from disk per input but the level's picture,
// and the arena pictures of this process's copy of the data set are cut to
// one row, so that reading one costs little: pictures have a target of their
// own.
//
// The input is a level file; bytes after the first 1456 (which the game
// ignores) choose the level number, players, difficulty, target factor and
// the keys held during play.
//
// Rules checked:
//   - a level that passes the check for a two-player game passes it for one
//     player (extra food only makes it harder), and a refusal has a reason;
//   - the match accepts nothing that the check refuses; a refused level
//     names its file in the match's error, leaves the arena as it was
//     (header, walls, picture) and ends play;
//   - an accepted level has one wall record per non-zero flag, each in the
//     grid as a wall, and its target scaled by the factor (except on the
//     timer level), and its intro and play frames run.

#include <cstdio>
#include <cstring>
#include <string>

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

int32_t Le32(const uint8_t* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                                (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24));
}
int32_t Flag(const uint8_t* data, int32_t x, int32_t y) { return Le32(data + 336 + 4 * (x * 14 + y)); }

// Each grafik/ArenaN.dat of the working copy becomes a 640 x 1 picture.
void CutArenaPictures() {
    static uint8_t bmp[54 + 1024 + 640];
    const uint32_t fields[][2] = {{2, sizeof bmp}, {10, 54 + 1024}, {14, 40}, {18, 640}, {22, 1}, {34, 640}};
    bmp[0] = 'B';
    bmp[1] = 'M';
    for (const auto& f : fields)
        for (int i = 0; i < 4; ++i) bmp[f[0] + i] = static_cast<uint8_t>(f[1] >> (8 * i));
    bmp[26] = 1;
    bmp[28] = 8;
    for (int i = 0; i < 640; ++i) bmp[54 + 1024 + i] = static_cast<uint8_t>(i);
    for (int n = 0; n < Match::kLevels; ++n) {
        const std::string name = "grafik/Arena" + std::to_string(n) + ".dat";
        std::FILE* f = std::fopen(name.c_str(), "wb");
        FUZZ_CHECK(f != nullptr && std::fwrite(bmp, 1, sizeof bmp, f) == sizeof bmp);
        FUZZ_CHECK(std::fclose(f) == 0);
    }
}

}  // namespace

int FuzzLevel(const uint8_t* data, size_t size) {
    Game& game = FuzzGame();
    static const bool cut = (CutArenaPictures(), true);
    (void)cut;
    const Knobs k = ReadKnobs(data, size);

    ReadError error;
    const bool one = Arena::Check(data, static_cast<int64_t>(size), 0, &error);
    FUZZ_CHECK(one || (error.status == ReadStatus::Malformed && error.reason[0] != 0));
    error = ReadError();
    const bool two = Arena::Check(data, static_cast<int64_t>(size), 3, &error);
    FUZZ_CHECK(two || (error.status == ReadStatus::Malformed && error.reason[0] != 0));
    FUZZ_CHECK(!two || one);

    Match& match = game.match;
    Arena& arena = match.arena;
    static PlayerSetup setup;
    std::strcpy(setup.name1, "ALICE");
    std::strcpy(setup.name2, "BOB");
    setup.ship1 = 0;
    setup.ship2 = k.players == 2 ? 1 : 2;
    match.players = k.players;
    match.SetPlayers(&setup);
    match.Reset(k.difficulty);
    match.targetFactor = k.factor;
    match.levelIndex = k.levelIndex;

    static LevelHeader headerBefore;
    static WallCell wallsBefore[280];
    static uint8_t pictureBefore[640 * 480];
    headerBefore = arena.header;
    const int32_t wallCountBefore = arena.wallCount;
    std::memcpy(wallsBefore, arena.walls, sizeof wallsBefore);
    std::memcpy(pictureBefore, arena.background->pixels, sizeof pictureBefore);
    imageLoadFailed = false;
    const bool loaded = match.LoadLevelBytes(data, static_cast<int64_t>(size));
    FUZZ_CHECK(!imageLoadFailed);
    FUZZ_CHECK(!loaded || (k.players == 2 ? two : one));
    if (!loaded) {
        char name[16];
        std::snprintf(name, sizeof name, "L%d.DAT", static_cast<int>(k.levelIndex));
        FUZZ_CHECK(match.levelFailed && std::strstr(match.levelError, name) != nullptr);
        FUZZ_CHECK(std::memcmp(&headerBefore, &arena.header, sizeof headerBefore) == 0);
        FUZZ_CHECK(arena.wallCount == wallCountBefore);
        FUZZ_CHECK(std::memcmp(wallsBefore, arena.walls, sizeof wallsBefore) == 0);
        FUZZ_CHECK(std::memcmp(pictureBefore, arena.background->pixels, sizeof pictureBefore) == 0);
        FUZZ_CHECK(!match.Frame());
        return 0;
    }
    int32_t walls = 0;
    for (int32_t x = 0; x < 20; ++x)
        for (int32_t y = 0; y < 14; ++y) walls += Flag(data, x, y) != 0;
    FUZZ_CHECK(arena.wallCount == walls);
    for (int32_t i = 0; i < arena.wallCount; ++i) {
        const WallCell& w = arena.walls[i];
        FUZZ_CHECK(ArenaGrid::OnBoard(w.cellX, w.cellY));
        FUZZ_CHECK(Flag(data, w.cellX, w.cellY) != 0);
        FUZZ_CHECK(match.grid.TypeAt(w.cellX, w.cellY) == CellType::Wall);
    }
    const int32_t fileTarget = Le32(data + 300);
    const int32_t scaled = k.levelIndex == Match::kTimerLevel
                               ? fileTarget
                               : static_cast<int32_t>(static_cast<double>(fileTarget) * static_cast<double>(k.factor));
    FUZZ_CHECK(arena.header.target == scaled);

    FUZZ_CHECK(match.level != nullptr && match.IntroPending());
    match.Frame();  // the intro
    KeyState[DIK_SPACE] = 0x80;
    match.Frame();  // the worms start
    KeyState[DIK_SPACE] = 0;
    FUZZ_CHECK(!match.IntroPending());
    static const uint8_t codes[2][6] = {
        {DIK_LEFT, DIK_RIGHT, DIK_UP, DIK_DOWN, DIK_RCONTROL, DIK_RSHIFT},
        {DIK_A, DIK_D, DIK_W, DIK_S, DIK_LCONTROL, DIK_LSHIFT},
    };
    for (const uint8_t keys : k.keys) {
        for (int p = 0; p < 2; ++p)
            for (int b = 0; b < 6; ++b) KeyState[codes[p][b]] = (keys >> b) & 1 ? 0x80 : 0;
        match.Frame();
    }
    std::memset(KeyState, 0, sizeof KeyState);
    return 0;
}
