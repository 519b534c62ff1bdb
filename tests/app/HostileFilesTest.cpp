// The whole game against broken data files: every picture, every sound,
// every level file and the high-score files are cut short, filled with
// garbage and given absurd header values, one at a time, in a private copy
// of the data set. The game must never crash: start-up fails with a line on
// stderr naming the file, or it starts and plays on (a picture or sound that
// is merely short still loads), a level is refused with a message naming
// its file, and a high-score table reads as whatever its file holds, or as
// empty when there is nothing to read.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "support/Files.h"
#include "support/GameHarness.h"
#include "support/RecordedGame.h"

namespace {

namespace fs = std::filesystem;
using Edit = std::function<void(Bytes&)>;

Bytes Garbage(size_t n, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes b(n);
    for (uint8_t& x : b) x = static_cast<uint8_t>(random());
    return b;
}
size_t Find(const Bytes& b, const char* id) { return std::search(b.begin(), b.end(), id, id + 4) - b.begin(); }
Edit Cut(size_t n) {
    return [n](Bytes& b) { b.resize(std::min(n, b.size())); };
}
Edit Set(size_t at, uint32_t v, int n = 4) {
    return [=](Bytes& b) { Put(b, at, v, n); };
}
Edit SetAfter(const char* id, size_t at, uint32_t v, int n = 4) {
    return [=](Bytes& b) { Put(b, Find(b, id) + at, v, n); };
}
// Garbage over the whole file (not starting "BM" or "RIFF"), or the bytes
// from `at` on taken from a garbage run of `n` bytes from its `skip`th byte.
Edit Noise(uint32_t seed) {
    return [seed](Bytes& b) { b = Garbage(b.size(), seed), b[0] = 'X'; };
}
void Splice(Bytes& b, size_t at, const Bytes& g, size_t skip) { std::copy(g.begin() + skip, g.end(), b.begin() + at); }
// Something that is not a file at all in the file's place.
enum class NotAFile { No, Folder, Pipe };

// How a damaged file must be treated, and what the refusal says.
enum class Expect { Refused, Either, Starts };  // Starts: the damage is in bytes the game does not use
struct Damage {
    const char* what;
    Expect expect;
    Edit edit;
    NotAFile instead = NotAFile::No;
    const char* says = "";
};

const std::vector<Damage> kPictureDamage = {
    {"empty", Expect::Refused, Cut(0)},
    {"cut inside the file header", Expect::Refused, Cut(10)},
    {"cut inside the info header", Expect::Refused, Cut(40)},
    {"cut inside the colour table", Expect::Refused, Cut(54 + 500)},
    {"cut in half", Expect::Either, [](Bytes& b) { b.resize(b.size() / 2); }},
    {"garbage", Expect::Refused, Noise(1)},
    {"garbage pixels and colours", Expect::Starts, [](Bytes& b) { Splice(b, 54, Garbage(b.size(), 2), 54); }},
    {"garbage after the magic", Expect::Refused,
     [](Bytes& b) { Splice(b, 2, Garbage(54, 3), 2), Put(b, 18, 0x7FFFFFF1); }},
    {"width 2^31 - 1", Expect::Refused, Set(18, 0x7FFFFFFF)},
    {"negative width", Expect::Refused, Set(18, 0x80000000)},
    {"height 2^31 - 1", Expect::Refused, Set(22, 0x7FFFFFFF)},
    {"height 0", Expect::Refused, Set(22, 0)},
    {"top-down height", Expect::Refused, Set(22, 0xFFFFFFF0)},
    {"16 bits per pixel", Expect::Refused, Set(28, 16, 2)},
    {"65535 bits per pixel", Expect::Refused, Set(28, 0xFFFF, 2)},
    {"pixel data size 4 GB", Expect::Refused, Set(34, 0xFFFFFFFF)},
    {"pixel data size 0", Expect::Refused, Set(34, 0)},
    {"pixel data larger than the file", Expect::Either, [](Bytes& b) { Put(b, 34, uint32_t(b.size() * 3)); }},
    {"absurd file size, offset and colour counts", Expect::Starts,
     [](Bytes& b) {
         for (size_t at : {2, 10, 14, 30, 46, 50}) Put(b, at, 0xFFFFFFFF);
     }},
    {"a folder instead of the file", Expect::Refused, nullptr, NotAFile::Folder, "it is a folder, not a file"},
    {"a pipe instead of the file", Expect::Refused, nullptr, NotAFile::Pipe, "it is a pipe, not a file"},
};

const std::vector<Damage> kSoundDamage = {
    {"empty", Expect::Refused, Cut(0)},
    {"cut inside the RIFF header", Expect::Refused, Cut(11)},
    {"cut inside the format record", Expect::Refused, [](Bytes& b) { b.resize(Find(b, "fmt ") + 18); }},
    {"cut before the data chunk", Expect::Refused, [](Bytes& b) { b.resize(Find(b, "data")); }},
    {"cut in half", Expect::Either, [](Bytes& b) { b.resize(b.size() / 2); }},
    {"garbage", Expect::Refused, Noise(4)},
    {"garbage samples", Expect::Starts,
     [](Bytes& b) {
         const size_t at = Find(b, "data") + 8;
         Splice(b, at, Garbage(b.size() - at, 5), 0);
     }},
    {"RIFF size 4 GB", Expect::Either, Set(4, 0xFFFFFFFF)},
    {"RIFF size 0", Expect::Refused, Set(4, 0)},
    {"format chunk size 4 GB", Expect::Refused, SetAfter("fmt ", 4, 0xFFFFFFFF)},
    {"format chunk size 0", Expect::Either, SetAfter("fmt ", 4, 0)},
    {"not PCM", Expect::Refused, SetAfter("fmt ", 8, 0x55, 2)},
    {"absurd channels, rate and sample size", Expect::Starts,
     [](Bytes& b) {
         const size_t f = Find(b, "fmt ") + 8;
         Put(b, f + 2, 0xFFFF, 2), Put(b, f + 4, 0xFFFFFFFF), Put(b, f + 8, 0), Put(b, f + 12, 0, 2);
         Put(b, f + 14, 0xFFFF, 2);
     }},
    {"data size 4 GB", Expect::Either, SetAfter("data", 4, 0xFFFFFFFF)},
    {"data size 0", Expect::Starts, SetAfter("data", 4, 0)},
    {"no data chunk", Expect::Refused, [](Bytes& b) { std::copy_n("dada", 4, b.begin() + Find(b, "data")); }},
    {"a folder instead of the file", Expect::Refused, nullptr, NotAFile::Folder, "it is a folder, not a file"},
    {"a pipe instead of the file", Expect::Refused, nullptr, NotAFile::Pipe, "it is a pipe, not a file"},
};

// Damages `file`, or puts something that is not a file in its place.
void Apply(const fs::path& file, const Edit& edit, NotAFile instead = NotAFile::No) {
    Bytes bytes = ReadAll(file);
    fs::remove_all(file);
    if (instead == NotAFile::Folder) return void(fs::create_directory(file));
    if (instead == NotAFile::Pipe) return void(mkfifo(file.c_str(), 0600));
    edit(bytes);
    WriteAll(file, bytes);
}

// Every picture and sound of the data set, as "grafik/..." or "sound/...".
// Called while the tests are registered, before main: a missing data set
// gives one case that fails and says so, instead of ending the program.
constexpr const char* kNoDataSet = "no data set";
std::vector<std::string> PicturesAndSounds() {
    std::vector<std::string> names;
    std::error_code ec;
    for (const char* folder : {"grafik", "sound"})
        for (const auto& e : fs::directory_iterator(fs::path(VC_DATA_DIR) / folder, ec))
            names.push_back(std::string(folder) + "/" + e.path().filename().string());
    std::sort(names.begin(), names.end());
    if (names.empty()) names.push_back(kNoDataSet);
    return names;
}

// Every screen of the game and a little play: whatever loaded is drawn,
// played and shown.
void Tour(GameHarness& h) {
    ASSERT_TRUE(h.Passes(140));
    for (auto [x, y, state] : {std::tuple{317, 295, GameState::HighScores}, {312, 370, GameState::Info}}) {
        h.Click(x, y);
        EXPECT_EQ(h.game->state, state);
        h.host.MoveMouseTo(600, 440);  // the info screen's ball plays its sound
        ASSERT_TRUE(h.Passes(20));
        h.Tap(DIK_ESCAPE);
    }
    h.Click(315, 150);  // ONE PLAYER
    ASSERT_EQ(h.game->state, GameState::PlayerSetup);
    ASSERT_TRUE(h.Passes(10));
    h.Tap(DIK_RETURN);
    ASSERT_EQ(h.game->state, GameState::Playing);
    ASSERT_TRUE(h.Passes(10));
    h.Tap(DIK_SPACE);
    h.host.SetKey(DIK_UP, true);  // boost into whatever is ahead
    ASSERT_TRUE(h.Passes(150));
    EXPECT_EQ(h.game->state, GameState::Playing);
}

// Damages one data file in a fresh copy of the data set and starts the game.
// A level's picture is read when its level begins: the level is refused with
// a message naming the level file, or it is played.
void TryDamage(const std::string& file, const Damage& damage) {
    SCOPED_TRACE(file + ": " + damage.what);
    GameHarness h;
    Apply(fs::path(h.dir()) / file, damage.edit, damage.instead);
    bool started = false;
    const std::string err = Said([&] { started = h.Start(); });
    std::vector<int> levels;  // the levels whose picture this is
    for (int n = 0; n < Match::kLevels; ++n) {
        const Bytes level = ReadAll(fs::path(VC_DATA_DIR) / ("L" + std::to_string(n) + ".DAT"));
        std::string name(reinterpret_cast<const char*>(level.data()));
        std::replace(name.begin(), name.end(), '\\', '/');
        if (name == file) levels.push_back(n);
    }
    if (levels.empty()) {
        EXPECT_NE(damage.expect, started ? Expect::Refused : Expect::Starts) << err;
        if (started) return Tour(h);
        // Named as the player sees the folders, with what is wrong.
        EXPECT_NE(err.find("\"" + file + "\": " + damage.says), std::string::npos) << err;
        return;
    }
    ASSERT_TRUE(started) << "start-up read a level's picture:\n" << err;
    Match& match = h.game->match;
    for (const int n : levels) {
        testing::internal::CaptureStderr();
        h.BeginMatch(2, 1);  // level 1, which may use the picture itself
        if (n != 0 && !match.levelFailed) {
            match.levelIndex = n;
            match.LoadLevel();
        }
        testing::internal::GetCapturedStderr();
        const std::string error = match.levelError;
        EXPECT_NE(damage.expect, match.levelFailed ? Expect::Starts : Expect::Refused) << error;
        if (match.levelFailed) {
            const bool firstRefused = n != 0 && error.find("L0.DAT") != std::string::npos;
            EXPECT_TRUE(firstRefused || error.find("L" + std::to_string(n) + ".DAT") != std::string::npos) << error;
            EXPECT_NE(error.find("picture"), std::string::npos) << error;
            EXPECT_FALSE(match.Frame());
            continue;
        }
        h.game->state = GameState::Playing;
        h.Tap(DIK_SPACE);
        ASSERT_TRUE(h.Passes(100));
        EXPECT_EQ(h.game->state, GameState::Playing);
        match.Leave();
        h.game->state = GameState::MainMenu;
    }
}

class DamagedDataFile : public ::testing::TestWithParam<std::string> {};

TEST_P(DamagedDataFile, StartUpFailsNamingItOrTheGamePlaysOn) {
    ASSERT_NE(GetParam(), kNoDataSet) << "the data set is missing from " << VC_DATA_DIR << ": build the data target";
    const bool picture = GetParam().rfind("grafik/", 0) == 0;
    for (const Damage& d : picture ? kPictureDamage : kSoundDamage) TryDamage(GetParam(), d);
}

INSTANTIATE_TEST_SUITE_P(Data, DamagedDataFile, ::testing::ValuesIn(PicturesAndSounds()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string n = info.param.substr(0, info.param.rfind('.'));
                             std::replace_if(
                                 n.begin(), n.end(), [](char c) { return !std::isalnum(c); }, '_');
                             return n;
                         });

// ---- level files -------------------------------------------------------------

Edit Named(const char* name) {
    return [name](Bytes& b) {
        std::fill_n(b.begin(), 150, 0);
        std::copy_n(name, std::strlen(name), b.begin());
    };
}

TEST(HostileLevels, EveryLevelFileIsRefusedWithItsNameWhateverIsWrong) {
    struct LevelDamage {
        const char* reason;  // a word of the refusal
        Edit edit;
        NotAFile instead = NotAFile::No;
    };
    const std::vector<LevelDamage> damages = {
        {"shorter", Cut(0)},
        {"shorter", Cut(1455)},
        {"terminated", [](Bytes& b) { b = Garbage(b.size(), 7), b[149] = 'x'; }},
        {"terminated", [](Bytes& b) { std::fill_n(b.begin(), 150, 'A'); }},
        {"title", [](Bytes& b) { std::fill_n(b.begin() + 150, 150, 'T'); }},
        {"food", Set(316, 0x7FFFFFFF)},
        {"food", Set(316, 0x80000000)},
        {"board", Set(320, 0xFFFFFFFF)},
        {"board", Set(324, 0x7FFFFFFF)},
        {"board", Set(328, 20)},
        {"target", Set(300, 0xFFFFFFFF)},
        {"target", Set(300, 0x7FFFFFFF)},
        {"wall", [](Bytes& b) { std::fill(b.begin() + 336, b.end(), 0xFF); }},
        {"free cells",
         [](Bytes& b) {
             std::fill(b.begin() + 336 + 4 * 14, b.end(), 0xFF), Put(b, 320, 0), Put(b, 324, 1), Put(b, 328, 0),
                 Put(b, 332, 2);
         }},
        {"picture", Named("grafik\\NoSuchPicture.dat")},
        {"picture", Named("sound\\click.dat")},
        {"picture", Named("grafik\\walls.dat")},  // a picture of the wrong size
        {"picture", Named("L0.DAT")},
        {"picture", Named("grafik")},
        {"it is a folder, not a file", nullptr, NotAFile::Folder},
        {"it is a pipe, not a file", nullptr, NotAFile::Pipe},
    };
    GameHarness h;
    ASSERT_TRUE(h.Start());
    Match& match = h.game->match;
    for (int level = 0; level < Match::kLevels; ++level) {
        const std::string name = "L" + std::to_string(level) + ".DAT";
        const fs::path path = fs::path(h.dir()) / name;
        const Bytes original = ReadAll(path);
        for (const auto& [reason, edit, instead] : damages) {
            SCOPED_TRACE(name + ": " + reason);
            h.BeginMatch(level % 2 + 1, 1);
            ASSERT_FALSE(match.levelFailed) << match.levelError;
            Apply(path, edit, instead);
            match.levelIndex = level;
            Said([&] { EXPECT_FALSE(match.LoadLevel()); });
            EXPECT_NE(std::string(match.levelError).find(name), std::string::npos) << match.levelError;
            EXPECT_NE(std::string(match.levelError).find(reason), std::string::npos) << match.levelError;
            EXPECT_FALSE(match.Frame());
            fs::remove_all(path);
            WriteAll(path, original);
        }
    }
}

// A replay file read by the game: a header out of its rules or a tape cut
// anywhere is refused with its reason before a pass is played, and a tape
// with any byte changed that still reads is played to an end, in step or
// out of it, never past its passes.
TEST(HostileReplays, BrokenReplaysAreRefusedOrPlayedToAnEnd) {
    GameHarness h;
    ASSERT_TRUE(h.Start());
    const Bytes good = PlayAndLeave(h, 2);
    ReplayHeader header;
    const uint8_t* tape = nullptr;
    ASSERT_TRUE(ParseReplay(good.data(), good.size(), &header, &tape, nullptr));
    const size_t end = good.size();
    const std::pair<const char*, Edit> refused[] = {
        {"shorter than a replay's header", Cut(0)},
        {"shorter than a replay's header", Cut(159)},
        {"the input's length does not match", Cut(160)},
        {"the input's length does not match", Cut(end - 1)},
        {"not a replay", Set(0, 'X', 1)},
        {"format this version of the game does not know", Set(4, 2, 2)},
        {"the header has the wrong size", Set(6, 161, 2)},
        {"the game version is not text", Set(8, 0x07, 1)},
        {"the number of players", Set(36, 3, 1)},
        {"the number of players", Set(36, 0, 1)},
        {"an unknown difficulty", Set(37, 3, 1)},
        {"unknown flags", Set(38, 0x80, 1)},
        {"unknown flags", Set(39, 2, 1)},
        {"unknown flags", Set(48, 4, 1)},
        {"the pointer is off the screen", Set(40, 640)},
        {"the pointer is off the screen", Set(44, 0xFFFFFFFF)},
        {"unknown fields in the header", Set(50, 1, 1)},
        {"unknown fields in the header", Set(159, 1, 1)},
        {"a player's name does not end", [](Bytes& b) { std::fill(b.begin() + 52, b.begin() + 72, 'A'); }},
        {"an unknown ship", Set(92, 3)},
        {"an unknown ship", Set(96, 0xFFFFFFFF)},
        {"the players' keys are not keys a game can be played with", Set(100, 0, 1)},
        {"the players' keys are not keys a game can be played with", [](Bytes& b) { b[101] = b[100]; }},
        {"the players' keys are not keys a game can be played with", [](Bytes& b) { b[111] = b[100]; }},
        {"longer than any game records", Set(132, 0x7FFFFFFF)},
        {"passes and hashes the header counts", Set(136, header.passes + 1)},
        {"passes and hashes the header counts", Set(140, header.checkpoints - 1)},
        {"an unknown kind of input", [](Bytes& b) { b.push_back(0x70), Put(b, 132, b.size() - 160); }},
        // Results and times out of the game's reach.
        {"the level reached is not 1 to 20", Set(128, 0)},
        {"the level reached is not 1 to 20", Set(128, 21)},
        {"a score or a length total below zero", Set(112, 0x80000000)},
        {"a score or a length total below zero", Set(120, 0xFFFFFFFF)},
        {"a one-player game names a result for player 2", Set(116, 5)},
        {"a one-player game names a result for player 2", Set(124, 5)},
        {"a one-player game names a result for player 2", Set(72, 'B', 1)},
        {"an unknown ship", Set(96, 1)},
        {"an unknown ship", Set(92, 2)},
        {"the time the game began is out of range", Set(144, 5)},
        {"the time the game began is out of range", Set(148, 0x100)},
        {"more passes than a game's levels allow", Set(136, kReplayMaxPasses + 1)},
        // A tape that does not end as a whole recording does.
        {"the replay ends before its recorded end",
         [](Bytes& b) { b.resize(b.size() - 12), Put(b, 132, b.size() - 160); }},
        {"the replay ends before its recorded end",
         [](Bytes& b) { b.resize(b.size() - 1), Put(b, 132, b.size() - 160); }},
        {"something after the end of the recording", [](Bytes& b) { b.push_back(0x80), Put(b, 132, b.size() - 160); }},
        {"a replay cut short holds the end of its recording", Set(38, kReplayCutShort, 1)},
        // Idle passes beyond what a level can last.
        {"longer between two state hashes than a level can last",
         [](Bytes& b) {
             b.insert(b.end() - 12, kReplayMaxSegmentPasses / 128 + 1, 0xFF);
             Put(b, 132, b.size() - 160);
         }},
    };
    for (const auto& [reason, edit] : refused) {
        SCOPED_TRACE(reason);
        Bytes b = good;
        edit(b);
        ReadError error;
        EXPECT_FALSE(ParseReplay(b.data(), b.size(), &header, &tape, &error));
        EXPECT_EQ(error.status, ReadStatus::Malformed);
        EXPECT_NE(std::string(error.reason).find(reason), std::string::npos) << error.reason;
    }

    // Every fourth byte of the tape changed in turn.
    int tries = 0, played = 0, caught = 0;
    for (size_t at = kReplayHeaderBytes; at < good.size(); at += 4, ++tries) {
        Bytes b = good;
        b[at] ^= 0x21;
        if (!ParseReplay(b.data(), b.size(), &header, &tape, nullptr)) {
            ++caught;
            continue;
        }
        h.game->PlayReplay(header, tape);
        uint32_t pass = 0;
        for (; pass < header.passes + 2 && h.game->recorder.end == Game::ReplayEnd::None; ++pass) h.Pass();
        ASSERT_NE(h.game->recorder.end, Game::ReplayEnd::None) << "byte " << at;
        ++played;
        if (h.game->recorder.end != Game::ReplayEnd::Verified) ++caught;
    }
    // A byte that changes nothing play reads may pass; nearly none does.
    EXPECT_GT(played, 0);
    EXPECT_GE(caught * 10, tries * 9) << caught << " of " << tries;
}

}  // namespace
