// The whole game against broken data files: every picture, every sound,
// every level file and the high-score files are cut short, filled with
// garbage and given absurd header values, one at a time, in a private copy
// of the data set. The game must never crash: start-up fails with a line on
// stderr naming the file, or it starts and plays on (a picture or sound that
// is merely short still loads), a level is refused with a message naming
// its file, and a high-score table reads as whatever its file holds, or as
// empty when there is nothing to read.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "io/Input.h"
#include "support/GameHarness.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes ReadAll(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& path, const Bytes& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void Put32(Bytes& b, size_t at, uint32_t v) {
    if (at + 4 > b.size()) return;
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

void Put16(Bytes& b, size_t at, uint16_t v) {
    if (at + 2 > b.size()) return;
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

Bytes Garbage(size_t n, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes b(n);
    for (uint8_t& x : b) x = static_cast<uint8_t>(random());
    return b;
}

// How a damaged file must be treated.
enum class Expect {
    Refused,  // start-up fails, naming the file
    Either,   // start-up may fail (naming the file) or the game plays on
    Starts,   // the damage is in bytes the game does not use
};

struct Damage {
    std::string what;
    Expect expect;
    // Rewrites the file (given its original bytes); a damage that replaces
    // the file by something else does so itself and returns false.
    std::function<bool(const fs::path&, Bytes&)> apply;
};

Damage Edit(std::string what, Expect expect, std::function<void(Bytes&)> edit) {
    return {std::move(what), expect, [edit](const fs::path&, Bytes& b) {
                edit(b);
                return true;
            }};
}

Damage Folder() {
    return {"a folder instead of the file", Expect::Refused, [](const fs::path& p, Bytes&) {
                fs::remove(p);
                fs::create_directory(p);
                return false;
            }};
}

std::vector<Damage> PictureDamage() {
    std::vector<Damage> d;
    d.push_back(Edit("empty", Expect::Refused, [](Bytes& b) { b.clear(); }));
    d.push_back(Edit("cut inside the file header", Expect::Refused, [](Bytes& b) { b.resize(10); }));
    d.push_back(Edit("cut inside the info header", Expect::Refused, [](Bytes& b) { b.resize(40); }));
    d.push_back(Edit("cut inside the colour table", Expect::Refused, [](Bytes& b) { b.resize(54 + 500); }));
    d.push_back(Edit("cut in half", Expect::Either, [](Bytes& b) { b.resize(b.size() / 2); }));
    d.push_back(Edit("garbage", Expect::Refused, [](Bytes& b) {
        b = Garbage(b.size(), 1);
        b[0] = 'X';
    }));
    d.push_back(Edit("garbage pixels and colours", Expect::Starts, [](Bytes& b) {
        const Bytes g = Garbage(b.size(), 2);
        std::copy(g.begin() + 54, g.end(), b.begin() + 54);
    }));
    d.push_back(Edit("garbage after the magic", Expect::Refused, [](Bytes& b) {
        const Bytes g = Garbage(54, 3);
        std::copy(g.begin() + 2, g.end(), b.begin() + 2);
        Put32(b, 18, 0x7FFFFFF1);  // a width no surface has
    }));
    d.push_back(Edit("width 2^31 - 1", Expect::Refused, [](Bytes& b) { Put32(b, 18, 0x7FFFFFFF); }));
    d.push_back(Edit("negative width", Expect::Refused, [](Bytes& b) { Put32(b, 18, 0x80000000); }));
    d.push_back(Edit("height 2^31 - 1", Expect::Refused, [](Bytes& b) { Put32(b, 22, 0x7FFFFFFF); }));
    d.push_back(Edit("height 0", Expect::Refused, [](Bytes& b) { Put32(b, 22, 0); }));
    d.push_back(Edit("top-down height", Expect::Refused, [](Bytes& b) { Put32(b, 22, 0xFFFFFFF0); }));
    d.push_back(Edit("16 bits per pixel", Expect::Refused, [](Bytes& b) { Put16(b, 28, 16); }));
    d.push_back(Edit("65535 bits per pixel", Expect::Refused, [](Bytes& b) { Put16(b, 28, 0xFFFF); }));
    d.push_back(Edit("pixel data size 4 GB", Expect::Refused, [](Bytes& b) { Put32(b, 34, 0xFFFFFFFF); }));
    d.push_back(Edit("pixel data size 0", Expect::Refused, [](Bytes& b) { Put32(b, 34, 0); }));
    d.push_back(Edit("pixel data larger than the file", Expect::Either,
                     [](Bytes& b) { Put32(b, 34, static_cast<uint32_t>(b.size() * 3)); }));
    d.push_back(Edit("absurd file size, offset and colour counts", Expect::Starts, [](Bytes& b) {
        Put32(b, 2, 0xFFFFFFFF);
        Put32(b, 10, 0xFFFFFFFF);
        Put32(b, 14, 0xFFFFFFFF);
        Put32(b, 30, 0xFFFFFFFF);
        Put32(b, 46, 0xFFFFFFFF);
        Put32(b, 50, 0xFFFFFFFF);
    }));
    d.push_back(Folder());
    return d;
}

// Offset of a chunk id in the original file (the generated sounds are plain
// RIFF WAVE files: "fmt " then "data").
size_t Find(const Bytes& b, const char* id) {
    const auto it = std::search(b.begin(), b.end(), id, id + 4);
    return static_cast<size_t>(it - b.begin());
}

std::vector<Damage> SoundDamage() {
    std::vector<Damage> d;
    d.push_back(Edit("empty", Expect::Refused, [](Bytes& b) { b.clear(); }));
    d.push_back(Edit("cut inside the RIFF header", Expect::Refused, [](Bytes& b) { b.resize(11); }));
    d.push_back(Edit("cut inside the format record", Expect::Refused,
                     [](Bytes& b) { b.resize(Find(b, "fmt ") + 8 + 10); }));
    d.push_back(Edit("cut before the data chunk", Expect::Refused, [](Bytes& b) { b.resize(Find(b, "data")); }));
    d.push_back(Edit("cut in half", Expect::Either, [](Bytes& b) { b.resize(b.size() / 2); }));
    d.push_back(Edit("garbage", Expect::Refused, [](Bytes& b) {
        b = Garbage(b.size(), 4);
        b[0] = 'X';
    }));
    d.push_back(Edit("garbage samples", Expect::Starts, [](Bytes& b) {
        const size_t at = Find(b, "data") + 8;
        const Bytes g = Garbage(b.size() - at, 5);
        std::copy(g.begin(), g.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
    }));
    d.push_back(Edit("RIFF size 4 GB", Expect::Either, [](Bytes& b) { Put32(b, 4, 0xFFFFFFFF); }));
    d.push_back(Edit("RIFF size 0", Expect::Refused, [](Bytes& b) { Put32(b, 4, 0); }));
    d.push_back(Edit("format chunk size 4 GB", Expect::Refused,
                     [](Bytes& b) { Put32(b, Find(b, "fmt ") + 4, 0xFFFFFFFF); }));
    d.push_back(Edit("format chunk size 0", Expect::Either, [](Bytes& b) { Put32(b, Find(b, "fmt ") + 4, 0); }));
    d.push_back(Edit("not PCM", Expect::Refused, [](Bytes& b) { Put16(b, Find(b, "fmt ") + 8, 0x55); }));
    d.push_back(Edit("absurd channels, rate and sample size", Expect::Starts, [](Bytes& b) {
        const size_t f = Find(b, "fmt ") + 8;
        Put16(b, f + 2, 0xFFFF);
        Put32(b, f + 4, 0xFFFFFFFF);
        Put32(b, f + 8, 0);
        Put16(b, f + 12, 0);
        Put16(b, f + 14, 0xFFFF);
    }));
    d.push_back(Edit("data size 4 GB", Expect::Either, [](Bytes& b) { Put32(b, Find(b, "data") + 4, 0xFFFFFFFF); }));
    d.push_back(Edit("data size 0", Expect::Starts, [](Bytes& b) { Put32(b, Find(b, "data") + 4, 0); }));
    d.push_back(Edit("no data chunk", Expect::Refused, [](Bytes& b) { std::memcpy(&b[Find(b, "data")], "dada", 4); }));
    d.push_back(Folder());
    return d;
}

std::vector<std::string> DataFiles(const char* folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(fs::path(VC_DATA_DIR) / folder, ec))
        if (e.is_regular_file()) names.push_back(std::string(folder) + "/" + e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

constexpr int kHighScoresX = 197 + 120, kHighScoresY = 250 + 45;
constexpr int kInfoX = 272 + 40, kInfoY = 345 + 25;
constexpr int kOneX = 225 + 90, kOneY = 120 + 30;

void PressKey(GameHarness& h, uint8_t key) {
    h.host.SetKey(key, true);
    h.Pass();
    h.host.SetKey(key, false);
    h.Pass();
}

// Every screen of the game, and a little play: whatever loaded is drawn,
// played and shown.
void Tour(GameHarness& h) {
    ASSERT_TRUE(h.Passes(140));
    h.Click(kHighScoresX, kHighScoresY);
    EXPECT_EQ(h.game->state, GameState::HighScores);
    ASSERT_TRUE(h.Passes(20));
    PressKey(h, DIK_ESCAPE);
    h.Click(kInfoX, kInfoY);
    EXPECT_EQ(h.game->state, GameState::Info);
    h.host.MoveMouseTo(600, 440);  // the ball plays the info sound
    ASSERT_TRUE(h.Passes(20));
    PressKey(h, DIK_ESCAPE);
    ASSERT_EQ(h.game->state, GameState::MainMenu);
    h.Click(kOneX, kOneY);
    ASSERT_EQ(h.game->state, GameState::PlayerSetup);
    ASSERT_TRUE(h.Passes(10));
    PressKey(h, DIK_RETURN);
    ASSERT_EQ(h.game->state, GameState::Playing);
    ASSERT_TRUE(h.Passes(10));
    PressKey(h, DIK_SPACE);
    h.host.SetKey(DIK_UP, true);  // boost into whatever is ahead
    ASSERT_TRUE(h.Passes(150));
    h.host.SetKey(DIK_UP, false);
    EXPECT_EQ(h.game->state, GameState::Playing);
}

// The levels whose arena picture is `file` ("grafik/Arena0.dat").
std::vector<int> LevelsUsing(const std::string& file) {
    std::vector<int> levels;
    for (int n = 0; n < Match::kLevels; ++n) {
        const Bytes level = ReadAll(fs::path(VC_DATA_DIR) / ("L" + std::to_string(n) + ".DAT"));
        if (level.size() < 150) continue;
        std::string name(reinterpret_cast<const char*>(level.data()), 150);
        name.resize(name.find('\0') == std::string::npos ? 150 : name.find('\0'));
        std::replace(name.begin(), name.end(), '\\', '/');
        if (name == file) levels.push_back(n);
    }
    return levels;
}

// A level picture is read when its level begins: the level is refused with
// a message naming the level file, or it is played.
void TryLevelsUsing(GameHarness& h, const std::vector<int>& levels, const Damage& damage) {
    Match& match = h.game->match;
    PlayerSetup setup;
    std::strcpy(setup.name1, "ALICE");
    std::strcpy(setup.name2, "BOB");
    setup.ship1 = 0;
    setup.ship2 = 1;
    for (const int n : levels) {
        SCOPED_TRACE("level " + std::to_string(n + 1));
        match.players = 2;
        match.SetPlayers(&setup);
        testing::internal::CaptureStderr();
        match.Begin(1);  // level 1, which may use the picture itself
        if (n != 0 && !match.levelFailed) {
            match.levelIndex = n;
            match.LoadLevel();
        }
        testing::internal::GetCapturedStderr();
        const std::string levelFile = "L" + std::to_string(n) + ".DAT";
        if (match.levelFailed) {
            EXPECT_NE(damage.expect, Expect::Starts) << match.levelError;
            const std::string error = match.levelError;
            if (n == 0 || error.find("L0.DAT") == std::string::npos) {
                EXPECT_NE(error.find(levelFile), std::string::npos) << error;
            }
            EXPECT_NE(error.find("picture"), std::string::npos) << error;
            EXPECT_FALSE(match.Frame());
            continue;
        }
        EXPECT_NE(damage.expect, Expect::Refused) << "the level was played with it";
        h.game->state = GameState::Playing;
        ASSERT_TRUE(h.Passes(5));
        PressKey(h, DIK_SPACE);
        ASSERT_TRUE(h.Passes(100));
        EXPECT_EQ(h.game->state, GameState::Playing);
        match.Leave();
        h.game->state = GameState::MainMenu;
    }
}

// Damages one data file in a fresh copy of the data set and starts the game.
void TryDamage(const std::string& file, const Damage& damage) {
    SCOPED_TRACE(file + ": " + damage.what);
    GameHarness h;
    const fs::path path = fs::path(h.dir()) / file;
    Bytes bytes = ReadAll(path);
    ASSERT_FALSE(bytes.empty());
    if (damage.apply(path, bytes)) WriteAll(path, bytes);

    testing::internal::CaptureStderr();
    const bool started = h.Start();
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string base = fs::path(file).filename().string();
    const std::vector<int> levels = LevelsUsing(file);
    if (!levels.empty()) {
        ASSERT_TRUE(started) << "start-up read a level's picture:\n" << err;
        TryLevelsUsing(h, levels, damage);
        return;
    }
    if (!started) {
        EXPECT_NE(damage.expect, Expect::Starts) << err;
        EXPECT_NE(err.find(base), std::string::npos) << "start-up failed without naming the file:\n" << err;
        return;
    }
    EXPECT_NE(damage.expect, Expect::Refused) << "the game started with it";
    Tour(h);
}

class DamagedPicture : public ::testing::TestWithParam<std::string> {};

TEST_P(DamagedPicture, StartUpFailsNamingItOrTheGamePlaysOn) {
    for (const Damage& d : PictureDamage()) TryDamage(GetParam(), d);
}

INSTANTIATE_TEST_SUITE_P(Grafik, DamagedPicture, ::testing::ValuesIn(DataFiles("grafik")),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string n = fs::path(info.param).stem().string();
                             std::replace_if(n.begin(), n.end(), [](char c) { return !std::isalnum(c); }, '_');
                             return n;
                         });

class DamagedSound : public ::testing::TestWithParam<std::string> {};

TEST_P(DamagedSound, StartUpFailsNamingItOrTheGamePlaysOn) {
    for (const Damage& d : SoundDamage()) TryDamage(GetParam(), d);
}

INSTANTIATE_TEST_SUITE_P(Sound, DamagedSound, ::testing::ValuesIn(DataFiles("sound")),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string n = fs::path(info.param).stem().string();
                             std::replace_if(n.begin(), n.end(), [](char c) { return !std::isalnum(c); }, '_');
                             return n;
                         });

// ---- level files -------------------------------------------------------------

struct LevelDamage {
    std::string what;
    const char* reason;  // a word of the refusal
    std::function<bool(const fs::path&, Bytes&)> apply;
};

LevelDamage LevelEdit(std::string what, const char* reason, std::function<void(Bytes&)> edit) {
    return {std::move(what), reason, [edit](const fs::path&, Bytes& b) {
                edit(b);
                return true;
            }};
}

void Name(Bytes& b, const char* name) {
    std::fill(b.begin(), b.begin() + 150, 0);
    std::memcpy(b.data(), name, std::strlen(name));
}

std::vector<LevelDamage> LevelDamages() {
    std::vector<LevelDamage> d;
    d.push_back(LevelEdit("empty", "shorter", [](Bytes& b) { b.clear(); }));
    d.push_back(LevelEdit("one byte short", "shorter", [](Bytes& b) { b.resize(1455); }));
    d.push_back(LevelEdit("garbage", "terminated", [](Bytes& b) { b = Garbage(b.size(), 7); b[149] = 'x'; }));
    d.push_back(LevelEdit("unterminated picture name", "terminated", [](Bytes& b) { std::fill_n(b.begin(), 150, 'A'); }));
    d.push_back(LevelEdit("unterminated title", "title", [](Bytes& b) { std::fill_n(b.begin() + 150, 150, 'T'); }));
    d.push_back(LevelEdit("food count 2^31 - 1", "food", [](Bytes& b) { Put32(b, 316, 0x7FFFFFFF); }));
    d.push_back(LevelEdit("negative food count", "food", [](Bytes& b) { Put32(b, 316, 0x80000000); }));
    d.push_back(LevelEdit("start column -1", "board", [](Bytes& b) { Put32(b, 320, 0xFFFFFFFF); }));
    d.push_back(LevelEdit("start row 2^31 - 1", "board", [](Bytes& b) { Put32(b, 324, 0x7FFFFFFF); }));
    d.push_back(LevelEdit("second start column 20", "board", [](Bytes& b) { Put32(b, 328, 20); }));
    d.push_back(LevelEdit("target -1", "target", [](Bytes& b) { Put32(b, 300, 0xFFFFFFFF); }));
    d.push_back(LevelEdit("target 2^31 - 1", "target", [](Bytes& b) { Put32(b, 300, 0x7FFFFFFF); }));
    d.push_back(LevelEdit("walls everywhere", "wall", [](Bytes& b) {
        for (size_t at = 336; at < 1456; at += 4) Put32(b, at, 0xFFFFFFFF);
    }));
    d.push_back(LevelEdit("a missing picture", "picture", [](Bytes& b) { Name(b, "grafik\\NoSuchPicture.dat"); }));
    d.push_back(LevelEdit("a sound as its picture", "picture", [](Bytes& b) { Name(b, "sound\\click.dat"); }));
    d.push_back(LevelEdit("a picture of the wrong size", "picture", [](Bytes& b) { Name(b, "grafik\\walls.dat"); }));
    d.push_back(LevelEdit("itself as its picture", "picture", [](Bytes& b) { Name(b, "L0.DAT"); }));
    d.push_back(LevelEdit("a folder as its picture", "picture", [](Bytes& b) { Name(b, "grafik"); }));
    d.push_back({"a folder instead of the file", "", [](const fs::path& p, Bytes&) {
                     fs::remove(p);
                     fs::create_directory(p);
                     return false;
                 }});
    return d;
}

class HostileLevels : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(h.Start()); }
    Match& match() { return h.game->match; }
    void Begin(int players) {
        std::strcpy(setup.name1, "ALICE");
        std::strcpy(setup.name2, "BOB");
        setup.ship1 = 0;
        setup.ship2 = players == 2 ? 1 : 2;
        match().players = players;
        match().SetPlayers(&setup);
        match().Begin(1);
        ASSERT_FALSE(match().levelFailed) << match().levelError;
    }
    GameHarness h;
    PlayerSetup setup;
};

TEST_F(HostileLevels, EveryLevelFileIsRefusedWithItsNameWhateverIsWrong) {
    const std::vector<LevelDamage> damages = LevelDamages();
    for (int level = 0; level < Match::kLevels; ++level) {
        const std::string name = "L" + std::to_string(level) + ".DAT";
        const fs::path path = fs::path(h.dir()) / name;
        const Bytes original = ReadAll(path);
        ASSERT_EQ(original.size(), static_cast<size_t>(kLevelFileBytes)) << name;
        for (const LevelDamage& d : damages) {
            SCOPED_TRACE(name + ": " + d.what);
            Begin(level % 2 + 1);
            Bytes bytes = original;
            if (d.apply(path, bytes)) WriteAll(path, bytes);
            match().levelIndex = level;
            testing::internal::CaptureStderr();
            const bool loaded = match().LoadLevel();
            testing::internal::GetCapturedStderr();
            EXPECT_FALSE(loaded);
            EXPECT_TRUE(match().levelFailed);
            const std::string error = match().levelError;
            EXPECT_NE(error.find(name), std::string::npos) << error;
            EXPECT_NE(error.find(d.reason), std::string::npos) << error;
            EXPECT_FALSE(match().Frame());
            std::error_code ec;
            fs::remove_all(path, ec);
            WriteAll(path, original);
        }
    }
}

TEST_F(HostileLevels, OddButUsableValuesArePlayed) {
    // Food chances far outside 0..100 and walls flagged by any non-zero value.
    const fs::path path = fs::path(h.dir()) / "L0.DAT";
    Bytes bytes = ReadAll(path);
    Put32(bytes, 304, 0x80000000);
    Put32(bytes, 308, 0x7FFFFFFF);
    Put32(bytes, 312, 0x7FFFFFFF);
    Put32(bytes, 316, 20);
    Put32(bytes, 336 + 4 * (10 * 14 + 1), 0x80000000);  // a wall at (10, 1)
    WriteAll(path, bytes);
    Begin(1);
    EXPECT_EQ(match().grid.TypeAt(10, 1), CellType::Wall);
    h.game->state = GameState::Playing;
    PressKey(h, DIK_SPACE);
    h.host.SetKey(DIK_UP, true);
    EXPECT_TRUE(h.Passes(400));
    int food = 0;
    for (const FoodItem& f : match().food.items) food += f.cellType == CellType::Food;
    EXPECT_EQ(food, 20);
}

// ---- high-score files ----------------------------------------------------------

struct TableDamage {
    std::string what;
    bool empty;  // the table must read as empty
    std::function<void(const fs::path&)> apply;
};

Bytes Record(int32_t score, const char* name, size_t nameBytes, int32_t length, int32_t level) {
    Bytes b(32, 0);
    Put32(b, 0, static_cast<uint32_t>(score));
    std::memcpy(b.data() + 4, name, std::min<size_t>(nameBytes, 20));
    Put32(b, 24, static_cast<uint32_t>(length));
    Put32(b, 28, static_cast<uint32_t>(level));
    return b;
}

std::vector<TableDamage> TableDamages() {
    auto bytes = [](Bytes content) { return [content](const fs::path& p) { WriteAll(p, content); }; };
    Bytes absurd;
    for (const Bytes& r : {Record(0x7FFFFFFF, "MAX", 3, 0x7FFFFFFF, 0x7FFFFFFF),
                           Record(static_cast<int32_t>(0x80000000), "MIN", 3, static_cast<int32_t>(0x80000000),
                                  static_cast<int32_t>(0x80000000)),
                           Record(-1, "NEGATIVE", 8, -1, -1),
                           Record(77, "\x01\x02\x7F\x80\xFE\xFF\x1B", 7, 5, 5),
                           Record(88, "TWENTYBYTESNOTERMINA", 20, 1, 1)})
        absurd.insert(absurd.end(), r.begin(), r.end());
    Bytes full;
    for (int i = 0; i < 10; ++i) {
        const Bytes r = Record(1000 + i, "ZZZZZZZZZZZZZZZZZZZZ", 20, 40, 21);
        full.insert(full.end(), r.begin(), r.end());
    }
    std::vector<TableDamage> d;
    d.push_back({"empty", true, bytes({})});
    d.push_back({"three bytes", false, bytes({1, 2, 3})});  // a score of its low three bytes
    d.push_back({"one byte short of a record", false, bytes(Garbage(31, 8))});
    d.push_back({"one byte past a record", false, bytes(Garbage(33, 9))});
    d.push_back({"one byte short", false, bytes(Garbage(319, 10))});
    d.push_back({"one byte long", false, bytes(Garbage(321, 11))});
    d.push_back({"a megabyte of garbage", false, bytes(Garbage(1 << 20, 12))});
    d.push_back({"absurd values and names", false, bytes(absurd)});
    d.push_back({"full of unterminated names", false, bytes(full)});
    d.push_back({"a folder", true, [](const fs::path& p) { fs::create_directory(p); }});
    d.push_back({"a link to nowhere", true, [](const fs::path& p) { fs::create_symlink("/nonexistent/table", p); }});
    return d;
}

TEST(HostileHighScores, TablesReadWhatIsThereAndTheGameGoesOn) {
    for (const TableDamage& d : TableDamages()) {
        SCOPED_TRACE(d.what);
        GameHarness h;
        ASSERT_TRUE(h.Start());
        for (const char* file : {"teasy.dat", "tmed.dat", "thard.dat"}) d.apply(fs::path(h.dir()) / file);
        HighScoreTable before;
        before.Load("thard.dat", 2);

        // Each difficulty's table on the high-score screen.
        HighScoreTable& table = h.game->highScoreScreen;
        ASSERT_TRUE(h.Passes(140));
        h.Click(kHighScoresX, kHighScoresY);
        ASSERT_EQ(h.game->state, GameState::HighScores);
        for (const int labelX : {220 + 20, 280 + 30, 370 + 20}) {
            h.Click(labelX, 455 + 10);
            ASSERT_TRUE(h.Passes(5));
            for (const HighScoreRecord& r : table.records) {
                EXPECT_EQ(r.name[19], 0) << "a name runs past its record";
                if (d.empty) {
                    EXPECT_EQ(r.score, 0);
                }
            }
        }
        PressKey(h, DIK_ESCAPE);
        ASSERT_EQ(h.game->state, GameState::MainMenu);

        // A game over enters a result into the damaged table and saves it.
        Match& match = h.game->match;
        PlayerSetup setup;
        std::strcpy(setup.name1, "WINNER");
        match.players = 1;
        match.SetPlayers(&setup);
        match.Begin(2);
        ASSERT_FALSE(match.levelFailed) << match.levelError;
        h.game->state = GameState::Playing;
        match.introPending = 0;
        match.worms[0].active = 0;
        match.worms[0].stats.lives = 0;
        match.worms[0].score = 800000;
        testing::internal::CaptureStderr();
        ASSERT_TRUE(h.Passes(Match::kGameOverCueFrames + 2));  // the cue, then the table
        const std::string err = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(match.resultsSaved);
        HighScoreTable reread;
        reread.Load("thard.dat", 2);
        if (fs::is_directory(fs::path(h.dir()) / "thard.dat")) {
            // Nowhere to save: the game says so and plays on.
            EXPECT_NE(err.find("thard.dat"), std::string::npos) << err;
            for (const HighScoreRecord& r : reread.records) EXPECT_EQ(r.score, 0);
            ASSERT_TRUE(h.Passes(20));
            continue;
        }
        EXPECT_EQ(fs::file_size(fs::path(h.dir()) / "thard.dat"), static_cast<uintmax_t>(HighScoreTable::kFileBytes));
        // The result replaced the first lowest record if it beat it; every
        // other record of the damaged table is still there, byte for byte.
        int lowest = -1;
        for (int i = 0; i < HighScoreTable::kRecords; ++i)
            if (before.records[i].score < 900000 && (lowest < 0 || before.records[i].score < before.records[lowest].score))
                lowest = i;
        const bool entered = lowest >= 0 && 800000 > before.records[lowest].score;
        for (int i = 0; i < HighScoreTable::kRecords; ++i) {
            if (entered && i == lowest) {
                EXPECT_EQ(reread.records[i].score, 800000);
                EXPECT_STREQ(reread.records[i].name, "WINNER");
            } else {
                EXPECT_EQ(std::memcmp(&reread.records[i], &before.records[i], sizeof reread.records[i]), 0)
                    << "record " << i << " was lost";
            }
        }
        ASSERT_TRUE(h.Passes(20));
    }
}

}  // namespace
