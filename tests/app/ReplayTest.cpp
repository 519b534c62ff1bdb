// Replays in the game itself: a game played as in the window (a clock that
// jitters, the window losing the keyboard, the EXIT box turned down and
// then taken) is saved when it is left and replays in step; and the replay
// folder keeps the newest games and those behind the high-score tables.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Autopilot.h"
#include "app/Replay.h"
#include "platform/UserDir.h"
#include "screens/HighScoreSheet.h"
#include "support/Files.h"
#include "support/GameHarness.h"
#include "support/RecordedGame.h"
#include "support/TapeOps.h"

namespace {

namespace fs = std::filesystem;

// Plays a replay in a fresh game to its end.
Game::ReplayEnd Replay(const Bytes& file) {
    GameHarness h;
    EXPECT_TRUE(h.Start());
    ReplayHeader header;
    const uint8_t* tape = nullptr;
    ReadError error;
    EXPECT_TRUE(ParseReplay(file.data(), file.size(), &header, &tape, &error)) << error.reason;
    char why[256];
    EXPECT_TRUE(ReplayFitsThisGame(header, h.game->playDataHash, why, sizeof why)) << why;
    h.game->recorder.recordGames = false;
    h.game->PlayReplay(header, tape);
    for (uint32_t pass = 0; pass < header.passes + 2 && h.game->recorder.end == Game::ReplayEnd::None; ++pass) h.Pass();
    // A replayed game's results were kept when it was played: no table is written.
    for (int32_t d = 0; d < kDifficulties; ++d)
        EXPECT_FALSE(fs::exists(fs::path(h.dir()) / HighScoreTable::FileName(d))) << HighScoreTable::FileName(d);
    return h.game->recorder.end;
}

// A game lost on the first level and continued from the table: the clicks
// on the table and the game after them replay in step.
TEST(Replay, AGameContinuedFromTheTableReplaysInStep) {
    Bytes file;
    {
        GameHarness h;
        ASSERT_TRUE(h.Start());
        std::FILE* log = std::fopen("/dev/null", "w");
        Autopilot::Options options;
        options.startFromMenu = true;
        options.steer = 0;  // nobody steers: the worm flies into the walls
        Autopilot pilot(h.host, *h.game, options, log);
        const Match& m = h.game->match;
        for (int64_t frame = 0; frame < 50000 && !m.TableShown(); ++frame) {
            pilot.BeforePass(frame);
            h.Pass();
            pilot.AfterPass(frame);
        }
        std::fclose(log);
        ASSERT_TRUE(m.TableShown());
        const Sprite& button = h.game->highScoreScreen.continueButton;
        h.Click(button.x + button.cellWidth / 2, button.y + button.cellHeight / 2);
        ASSERT_FALSE(m.TableShown());
        h.Tap(DIK_SPACE);
        ASSERT_TRUE(h.Passes(200));
        h.Tap(DIK_ESCAPE);
        h.host.SetKey(DIK_Y, true);
        h.Pass();
        ASSERT_EQ(h.game->state, GameState::MainMenu);
        file = ReadAll(fs::path(h.dir()) / kReplayFolder / h.game->recorder.name);
    }
    ReplayHeader header;
    const uint8_t* tape = nullptr;
    ASSERT_TRUE(ParseReplay(file.data(), file.size(), &header, &tape, nullptr));
    EXPECT_EQ(header.checkpoints, 2u);  // the table, and the stop after the continue
    EXPECT_EQ(Replay(file), Game::ReplayEnd::Verified);
}

// Watching a replay (of a game left through the EXIT box, the second of
// its run, which owes nothing to the first): the viewer's keys pause it,
// set its speed, skip to the next level and leave it; the replay's own
// input stays its own; watched to its end it verifies.
TEST(Replay, AWatchedReplayPausesSpeedsUpSkipsAndLeaves) {
    Bytes file;
    {
        GameHarness h;
        ASSERT_TRUE(h.Start());
        PlayAndLeave(h, 2);
        file = PlayAndLeave(h, 3);
    }
    ReplayHeader header;
    const uint8_t* tape = nullptr;
    ASSERT_TRUE(ParseReplay(file.data(), file.size(), &header, &tape, nullptr));
    EXPECT_EQ(header.checkpoints, 3u);  // levels 1 and 2, and the stop
    EXPECT_EQ(std::string(header.names[0]), "AUTOPILOT");
    GameHarness h;
    ASSERT_TRUE(h.Start());
    Game& g = *h.game;
    g.WatchReplay(header, tape);
    ASSERT_TRUE(h.Passes(10));
    EXPECT_EQ(g.recorder.tape.Passes(), 10u);
    auto press = [&](uint8_t key) {
        h.host.SetKey(key, true);
        h.Pass();
        h.host.SetKey(key, false);
    };
    press(DIK_4);  // this frame already runs four passes
    ASSERT_TRUE(h.Passes(5));
    EXPECT_EQ(g.recorder.tape.Passes(), 34u);
    press(DIK_P);
    ASSERT_TRUE(h.Passes(20));
    EXPECT_TRUE(g.watchPaused);
    EXPECT_EQ(g.recorder.tape.Passes(), 34u);
    press(DIK_SPACE);  // on again
    EXPECT_EQ(g.recorder.tape.Passes(), 38u);
    EXPECT_EQ(g.match.levelIndex, 0);
    press(DIK_N);
    EXPECT_EQ(g.match.levelIndex, 1);
    EXPECT_EQ(g.recorder.end, Game::ReplayEnd::None);
    press(DIK_ESCAPE);
    EXPECT_FALSE(g.watchingReplay);
    EXPECT_EQ(g.state, GameState::MainMenu);
    EXPECT_EQ(g.recorder.tape.GetMode(), InputTape::Mode::Off);
    // Watched to the end, the replay verifies and the menu follows.
    g.WatchReplay(header, tape);
    g.watchSpeed = 8;
    for (int i = 0; i < 20000 && g.watchingReplay; ++i) h.Pass();
    EXPECT_EQ(g.recorder.end, Game::ReplayEnd::Verified);
    EXPECT_EQ(g.state, GameState::MainMenu);
}

// A click on an entry's row in the table the menu shows plays the replay
// of the game behind it, as does Enter on the row the arrow keys pick; a
// row without one does nothing. Watching ends back on the table, its row
// picked, the player's pointer where it was and the table as it was.
TEST(Replay, AClickOnATableEntryWatchesItsGame) {
    GameHarness h;
    ASSERT_TRUE(h.Start());
    Game& g = *h.game;
    const Bytes file = PlayAndLeave(h, 2);
    ReplayHeader header;
    const uint8_t* tape = nullptr;
    ASSERT_TRUE(ParseReplay(file.data(), file.size(), &header, &tape, nullptr));
    ASSERT_GT(header.scores[0], 0);
    // The game's entry, as a game over would have made it, below another's.
    HighScoreTable& table = g.highScoreScreen;
    table.Clear();
    table.Insert(header.scores[0] + 1, "SOMEONE", 50, 3);
    table.Insert(header.scores[0], header.names[0], header.lengthTotals[0], header.level);
    ASSERT_TRUE(table.Save(HighScoreTable::FileName(header.difficulty)));
    ASSERT_TRUE(h.Passes(140));
    h.Click(317, 295);  // HIGH SCORES
    ASSERT_EQ(g.state, GameState::HighScores);
    h.Click(300, kHighScoreFirstRowY + 5);
    EXPECT_EQ(g.state, GameState::HighScores);
    EXPECT_FALSE(g.watchingReplay);
    EXPECT_EQ(table.Picked(), nullptr);  // the row under the pointer has no game to watch
    const Bytes before = ReadAll(fs::path(h.dir()) / HighScoreTable::FileName(header.difficulty));
    const int32_t secondRowY = kHighScoreFirstRowY + kHighScoreRowHeight + 5;
    h.Click(300, secondRowY);
    EXPECT_TRUE(g.watchingReplay);
    ASSERT_TRUE(h.Passes(50));
    EXPECT_NE(g.cursor.y, secondRowY);  // the replay moves the pointer as its player did
    h.Tap(DIK_ESCAPE);
    EXPECT_FALSE(g.watchingReplay);
    ASSERT_EQ(g.state, GameState::HighScores);
    EXPECT_EQ(table.pickedRow, 1);
    EXPECT_EQ(g.cursor.x, 300);
    EXPECT_EQ(g.cursor.y, secondRowY);
    // The arrow keys step over rows without a game: the pick stays.
    h.Tap(DIK_UP);
    h.Tap(DIK_DOWN);
    EXPECT_EQ(table.pickedRow, 1);
    h.Tap(DIK_RETURN);
    ASSERT_TRUE(g.watchingReplay);
    g.watchSpeed = 8;
    for (int i = 0; i < 20000 && g.watchingReplay; ++i) h.Pass();
    EXPECT_EQ(g.recorder.end, Game::ReplayEnd::Verified);
    EXPECT_EQ(g.state, GameState::HighScores);
    EXPECT_EQ(ReadAll(fs::path(h.dir()) / HighScoreTable::FileName(header.difficulty)), before);
}

constexpr int kFadeStep = 6;

// Every picture the host was handed, as it was shown.
struct Shown {
    std::vector<uint8_t> pixels;
    std::vector<PaletteEntry> palette;
};
void KeepShown(void* context, const uint8_t* pixels, const PaletteEntry* palette) {
    auto* shown = static_cast<std::vector<Shown>*>(context);
    if (pixels == nullptr || palette == nullptr || shown->size() >= 400) return;
    shown->push_back(
        {std::vector<uint8_t>(pixels, pixels + 640 * 480), std::vector<PaletteEntry>(palette, palette + 256)});
}

// The pictures from the start of a watched replay until the arena shows in
// its own colours are a fade from black in the arena's palette, as a game
// starts: pictures that show nothing (all black) may come first; then each
// shows the arena (never the screen the replay was chosen on), the first
// one step from black, every colour it shows between black and the
// arena's and no darker than in the picture before.
void ExpectFadeFromBlack(const Game& g, const std::vector<Shown>& shown) {
    const PaletteEntry* target = g.match.targetPalette;
    const uint8_t* arena = g.match.arena.background->pixels;
    const Shown* before = nullptr;  // the last picture that showed something
    bool reached = false;
    for (size_t i = 0; i < shown.size() && !reached; ++i) {
        const Shown& s = shown[i];
        bool used[256] = {};
        size_t arenaPixels = 0;
        for (size_t k = 0; k < s.pixels.size(); ++k) {
            used[s.pixels[k]] = true;
            arenaPixels += s.pixels[k] == arena[k] ? 1 : 0;
        }
        bool visible = false;
        for (int c = 0; c < 256; ++c) {
            const PaletteEntry& p = s.palette[static_cast<size_t>(c)];
            visible = visible || (used[c] && (p.red != 0 || p.green != 0 || p.blue != 0));
        }
        if (!visible) continue;
        EXPECT_GT(arenaPixels, s.pixels.size() * 6 / 10) << "picture " << i << " is not the arena";
        reached = true;
        for (int c = 0; c < 256; ++c) {
            if (!used[c]) continue;
            const PaletteEntry& p = s.palette[static_cast<size_t>(c)];
            const PaletteEntry& t = target[c];
            ASSERT_TRUE(p.red <= t.red && p.green <= t.green && p.blue <= t.blue)
                << "picture " << i << ": colour " << c << " beyond the arena's";
            const PaletteEntry from = before ? before->palette[static_cast<size_t>(c)] : PaletteEntry{0, 0, 0, 0};
            const int most = before ? 255 : kFadeStep;  // the first picture: one step from black
            ASSERT_TRUE(p.red >= from.red && p.green >= from.green && p.blue >= from.blue && p.red <= most &&
                        p.green <= most && p.blue <= most)
                << "picture " << i << ": colour " << c << " not on the way up from black";
            reached =
                reached && t.red - p.red <= kFadeStep && t.green - p.green <= kFadeStep && t.blue - p.blue <= kFadeStep;
        }
        before = &s;
    }
    EXPECT_TRUE(reached) << "the arena's colours are never reached";
}

// A replay named on the command line (watched before the game starts) and
// one picked from the table's row both fade in from black as a game does.
// The player's own mouse, moved while a replay plays (the recorded
// player's moves shown in its place where the replay reads the mouse: its
// EXIT box), leaves the pointer where the player's hand went once watching
// ends, not where it stood before: the next click lands under the
// player's pointer. Past the screen's edge it stops there.
TEST(Replay, ThePlayersMouseMovedWhileWatchingIsWhereThePointerIsAfter) {
    GameHarness h;
    ASSERT_TRUE(h.Start());
    Game& g = *h.game;
    const Bytes file = PlayAndLeave(h, 2);
    ReplayHeader header;
    const uint8_t* tape = nullptr;
    ASSERT_TRUE(ParseReplay(file.data(), file.size(), &header, &tape, nullptr));
    for (const int reach : {40, 700}) {
        SCOPED_TRACE(reach);
        h.host.MoveMouseTo(100, 100);
        ASSERT_TRUE(h.Passes(3));
        const int32_t beforeX = g.cursor.x, beforeY = g.cursor.y;
        g.WatchReplay(header, tape);
        g.watchSpeed = 8;
        // Every pass to its end, the hand going right and back again.
        int x = 100;
        for (int pass = 0; pass < 20000 && g.watchingReplay; ++pass) {
            x = 100 + (pass / 4) % (reach + 1);
            h.host.MoveMouseTo(x, 100 - (pass % 2));
            ASSERT_TRUE(h.Pass());
        }
        ASSERT_FALSE(g.watchingReplay);
        ASSERT_TRUE(h.Passes(2));
        const int32_t hostX = std::min(x, 639);
        EXPECT_EQ(g.cursor.x, std::min<int32_t>(beforeX + hostX - 100, g.cursor.maxX));
        EXPECT_NEAR(g.cursor.y, beforeY, 1);
    }
}

TEST(Replay, AWatchedReplayFadesInFromBlackInTheArenasPalette) {
    Bytes file;
    {
        GameHarness h;
        ASSERT_TRUE(h.Start());
        Game& g = *h.game;
        file = PlayAndLeave(h, 2);
        ReplayHeader header;
        const uint8_t* tape = nullptr;
        ASSERT_TRUE(ParseReplay(file.data(), file.size(), &header, &tape, nullptr));
        HighScoreTable& table = g.highScoreScreen;
        table.Clear();
        table.Insert(header.scores[0], header.names[0], header.lengthTotals[0], header.level);
        ASSERT_TRUE(table.Save(HighScoreTable::FileName(header.difficulty)));
        ASSERT_TRUE(h.Passes(140));
        h.Click(317, 295);  // HIGH SCORES
        ASSERT_EQ(g.state, GameState::HighScores);
        h.host.MoveMouseTo(300, kHighScoreFirstRowY + 5);
        h.Pass();
        h.host.SetMouseButton(true);
        for (int i = 0; i < 4 && !g.watchingReplay; ++i) h.Pass();  // the table fades out in the pass that picks
        ASSERT_TRUE(g.watchingReplay);
        h.host.SetMouseButton(false);
        std::vector<Shown> shown;
        h.host.WatchPresents(KeepShown, &shown);
        ASSERT_TRUE(h.Passes(5));
        h.host.WatchPresents(nullptr, nullptr);
        SCOPED_TRACE("from the table's row");
        ExpectFadeFromBlack(g, shown);
    }
    ReplayHeader header;
    const uint8_t* tape = nullptr;
    ASSERT_TRUE(ParseReplay(file.data(), file.size(), &header, &tape, nullptr));
    GameHarness h;
    std::vector<Shown> shown;
    h.host.WatchPresents(KeepShown, &shown);
    h.game->WatchReplay(header, tape);  // as the command line does, before start-up
    ASSERT_TRUE(h.Start());
    ASSERT_TRUE(h.Passes(5));
    h.host.WatchPresents(nullptr, nullptr);
    SCOPED_TRACE("from the command line");
    ExpectFadeFromBlack(*h.game, shown);
}

// A replay from the command line left with Esc before its first pass
// leaves the menu on show, faded in (start-up kept it for after the replay).
TEST(Replay, AReplayLeftBeforeItStartsLeavesTheMenuOnShow) {
    const Bytes file = FreshGameLeftAt(2);
    ASSERT_FALSE(file.empty());
    ReplayHeader header;
    const uint8_t* tape = nullptr;
    ASSERT_TRUE(ParseReplay(file.data(), file.size(), &header, &tape, nullptr));
    GameHarness h;
    h.game->WatchReplay(header, tape);
    ASSERT_TRUE(h.Start());
    h.host.SetKey(DIK_ESCAPE, true);
    h.Pass();
    h.host.SetKey(DIK_ESCAPE, false);
    EXPECT_FALSE(h.game->watchingReplay);
    EXPECT_EQ(h.game->state, GameState::MainMenu);
    const PaletteEntry* shown = h.host.LastPalette();
    const PaletteEntry* menu = h.game->mainMenu.menuPalette;
    int away = 0;  // channels further than a fade step from the menu's
    for (int c = 0; c < 256; ++c)
        away += std::abs(shown[c].red - menu[c].red) > kFadeStep ||
                        std::abs(shown[c].green - menu[c].green) > kFadeStep ||
                        std::abs(shown[c].blue - menu[c].blue) > kFadeStep
                    ? 1
                    : 0;
    EXPECT_EQ(away, 0);
}

// A game too long for the tape plays on: the replay stops where the tape
// filled, is saved then (marked as cut short) and again when the game is
// left, and what it holds replays in step.
TEST(Replay, AGameThatOutgrowsTheTapePlaysOnAndKeepsWhatFitted) {
    Bytes file;
    {
        // One game at a time: the display is the program's.
        GameHarness h;
        ASSERT_TRUE(h.Start());
        h.game->recorder.tapeCapacity = 400;
        testing::internal::CaptureStderr();
        file = PlayAndLeave(h, 3);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(h.game->match.levelIndex, 2);  // the game itself went on to level 3
        const size_t told = err.find("this game is too long to record");
        EXPECT_NE(told, std::string::npos) << err;
        EXPECT_EQ(err.find("this game is too long", told + 1), std::string::npos) << "said more than once: " << err;
    }
    ReplayHeader header;
    const uint8_t* tape = nullptr;
    ReadError error;
    ASSERT_TRUE(ParseReplay(file.data(), file.size(), &header, &tape, &error)) << error.reason;
    EXPECT_NE(header.flags & kReplayCutShort, 0);
    EXPECT_LE(header.tapeBytes, 400u);
    EXPECT_GT(header.passes, 100u);
    // In step as far as it goes; the results came after, so it proves none.
    EXPECT_EQ(Replay(file), Game::ReplayEnd::CutShort);
}

// A replay that cannot be saved is said, as a table that cannot be saved is.
TEST(Replay, AFailedSaveTellsThePlayer) {
    GameHarness h;
    ASSERT_TRUE(h.Start());
    WriteAll(fs::path(h.dir()) / kReplayFolder, Bytes{'x'});  // a file where the folder goes
    ASSERT_TRUE(h.Passes(140));
    h.Click(315, 150);  // ONE PLAYER
    ASSERT_EQ(h.game->state, GameState::PlayerSetup);
    h.Tap(DIK_A);
    h.Tap(DIK_RETURN);
    ASSERT_EQ(h.game->state, GameState::Playing);
    ASSERT_TRUE(h.Passes(20));
    const int before = h.host.MessageCount();
    testing::internal::CaptureStderr();
    h.Tap(DIK_ESCAPE);
    h.Tap(DIK_Y);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(h.game->state, GameState::MainMenu);
    EXPECT_EQ(h.host.MessageCount(), before + 1);
    EXPECT_NE(std::string(h.host.LastMessageText()).find("The game's replay was not saved: "), std::string::npos)
        << h.host.LastMessageText();
    EXPECT_NE(err.find("replay was not saved"), std::string::npos) << err;
    EXPECT_EQ(h.game->recorder.name[0], '\0');
}

TEST(Replay, TheFolderKeepsTheNewestFiftyAndThoseBehindTheTables) {
    GameHarness h;
    ASSERT_TRUE(h.Start());
    // 60 games' replays, the oldest first, each with the results the game
    // reached (as it notes its own); the third's game is in the table.
    ReplayHeader header;
    std::snprintf(header.gameVersion, sizeof header.gameVersion, "1.0.0");
    std::snprintf(header.names[0], sizeof header.names[0], "ALICE");
    header.level = 4;
    uint8_t bytes[kReplayHeaderBytes];
    for (int i = 0; i < 60; ++i) {
        header.scores[0] = 1000 + i;
        header.lengthTotals[0] = 40;
        WriteReplayHeader(header, bytes);
        char name[64];
        std::snprintf(name, sizeof name, "20260101-0000%02d-00.vcr", i);
        ASSERT_TRUE(SaveUserFile((std::string(kReplayFolder) + "/" + name).c_str(), bytes, sizeof bytes, nullptr));
        ASSERT_TRUE(RecordCheckedReplay(name, bytes, sizeof bytes, header));
    }
    // The fifth's bytes changed to claim the entry's result: the game never
    // checked that, so it is behind nothing and goes by its age.
    header.scores[0] = 1002;
    WriteReplayHeader(header, bytes);
    ASSERT_TRUE(SaveUserFile("replays/20260101-000004-00.vcr", bytes, sizeof bytes, nullptr));
    // Not replays of the game: kept whatever their age.
    ASSERT_TRUE(SaveUserFile("replays/20000101-000000-00.vcr", "junk", 4, nullptr));
    ASSERT_TRUE(SaveUserFile("replays/notes.txt", "mine", 4, nullptr));
    h.game->highScoreScreen.Clear();
    h.game->highScoreScreen.Insert(1002, "ALICE", 40, 4);
    ASSERT_TRUE(h.game->highScoreScreen.Save(HighScoreTable::FileName(0)));

    // Where the folder is a copy (the browser), each deletion reaches the kept files.
    static std::vector<std::string> forgotten;
    static const SaveMirror mirror = {[](const char*) {}, [] {}, [](const char*, char*, int) { return true; },
                                      [](const char* path) { forgotten.emplace_back(path); }};
    SetSaveMirror(&mirror);
    EXPECT_EQ(PruneReplays(), 9);
    SetSaveMirror(nullptr);
    const fs::path folder = fs::path(h.dir()) / kReplayFolder;
    ASSERT_EQ(forgotten.size(), 9u);
    for (int i = 0; i < 60; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "20260101-0000%02d-00.vcr", i);
        EXPECT_EQ(fs::exists(folder / name), i == 2 || i >= 10) << name;
        if (i < 10 && i != 2) {
            EXPECT_EQ(fs::path(forgotten[i - (i > 2)]).filename(), name);
        }
    }
    EXPECT_TRUE(fs::exists(folder / "20000101-000000-00.vcr"));
    EXPECT_TRUE(fs::exists(folder / "notes.txt"));
}

// A replay of a game played to its end: one cut anywhere at an op with its
// counts put right is refused before it plays (it ends before its recorded
// end); marked as cut short, it plays in step but proves no result.
TEST(Replay, ACutReplayIsNeverVerified) {
    const Bytes file = FreshGameLeftAt(3);
    ASSERT_FALSE(file.empty());
    ASSERT_EQ(Replay(file), Game::ReplayEnd::Verified);
    const std::vector<TapeOpStart> starts = TapeOpStarts(file);
    ASSERT_GT(starts.size(), 100u);
    auto cut = [&](const TapeOpStart& at, uint8_t flags) {
        Bytes b(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(at.at));
        Put(b, 38, flags, 1);
        Put(b, 132, static_cast<uint32_t>(at.at - kReplayHeaderBytes));
        Put(b, 136, at.passes);
        Put(b, 140, at.checkpoints);
        return b;
    };
    int refused = 0;
    for (const TapeOpStart& at : starts) {
        const Bytes b = cut(at, 0);
        ReplayHeader header;
        const uint8_t* tape = nullptr;
        ReadError error;
        if (!ParseReplay(b.data(), b.size(), &header, &tape, &error)) {
            ++refused;
            EXPECT_STREQ(error.reason, "the replay ends before its recorded end") << at.at;
        }
    }
    EXPECT_EQ(refused, static_cast<int>(starts.size()));
    // A few, marked cut short: in step as far as they go, and no more.
    GameHarness h;
    ASSERT_TRUE(h.Start());
    h.game->recorder.recordGames = false;
    for (size_t i = 1; i < starts.size(); i += starts.size() / 5) {
        const Bytes b = cut(starts[i], kReplayCutShort);
        ReplayHeader header;
        const uint8_t* tape = nullptr;
        ASSERT_TRUE(ParseReplay(b.data(), b.size(), &header, &tape, nullptr)) << starts[i].at;
        h.game->PlayReplay(header, tape);
        for (uint32_t pass = 0; pass < header.passes + 2 && h.game->recorder.end == Game::ReplayEnd::None; ++pass)
            h.Pass();
        EXPECT_EQ(h.game->recorder.end, Game::ReplayEnd::CutShort) << starts[i].at << ": " << h.game->recorder.verdict;
        EXPECT_NE(std::string(h.game->recorder.verdict).find("cut short"), std::string::npos)
            << h.game->recorder.verdict;
    }
}

// A replay whose header claims other results than its play reaches (here
// a score the passes could reach, and the level) is not verified.
TEST(Replay, AReplayClaimingOtherResultsIsNotVerified) {
    const Bytes file = FreshGameLeftAt(2);
    ASSERT_FALSE(file.empty());
    ReplayHeader header;
    const uint8_t* tape = nullptr;
    ASSERT_TRUE(ParseReplay(file.data(), file.size(), &header, &tape, nullptr));
    Bytes more = file;
    Put(more, 112, static_cast<uint32_t>(header.scores[0] + 1));
    EXPECT_EQ(Replay(more), Game::ReplayEnd::ResultsDiffer);
    Bytes higher = file;
    Put(higher, 128, static_cast<uint32_t>(header.level + 1));
    EXPECT_EQ(Replay(higher), Game::ReplayEnd::ResultsDiffer);
    // A score no pass count reaches is refused before play.
    Bytes huge = file;
    Put(huge, 112, 0x7FFFFFFF);
    ASSERT_TRUE(ParseReplay(huge.data(), huge.size(), &header, &tape, nullptr));
    char why[256];
    EXPECT_FALSE(ReplayFitsThisGame(header, PlayDataHash(), why, sizeof why));
    EXPECT_NE(std::string(why).find("more than"), std::string::npos) << why;
}

// The tables link an entry only to a replay whose results the game checked
// (its own recordings), never to a file that merely claims them: a forged
// copy placed in the folder, newer, with the entry's result in its header,
// is neither shown nor watched; the game's own replay, its bytes changed,
// is behind no entry any more.
TEST(Replay, AForgedReplayInTheFolderIsNotLinkedToAnEntry) {
    GameHarness h;
    ASSERT_TRUE(h.Start());
    Game& g = *h.game;
    const Bytes file = PlayAndLeave(h, 2);
    ReplayHeader header;
    const uint8_t* tape = nullptr;
    ASSERT_TRUE(ParseReplay(file.data(), file.size(), &header, &tape, nullptr));
    HighScoreTable& table = g.highScoreScreen;
    table.Clear();
    table.Insert(header.scores[0], header.names[0], header.lengthTotals[0], header.level);
    ASSERT_TRUE(table.Save(HighScoreTable::FileName(header.difficulty)));
    const fs::path folder = fs::path(h.dir()) / kReplayFolder;
    uint8_t has[HighScoreTable::kRecords] = {};
    FindReplaysBehind(table.records, HighScoreTable::kRecords, header.difficulty, has);
    int row = -1;
    for (int i = 0; i < HighScoreTable::kRecords; ++i)
        if (table.records[i].score == header.scores[0]) row = i;
    ASSERT_GE(row, 0);
    EXPECT_EQ(has[row], 1);

    // The forgery: the same header over another game's input, newer.
    Bytes forged = file;
    const size_t turn = FindTapeEvent(forged, [&](int type, size_t at) {
        return type == 0 && forged[at] == 0 && (forged[at + 1] == DIK_LEFT || forged[at + 1] == DIK_RIGHT);
    });
    ASSERT_NE(turn, 0u);
    forged[turn + 1] = forged[turn + 1] == DIK_LEFT ? DIK_RIGHT : DIK_LEFT;
    WriteAll(folder / "29991231-235959-00.vcr", forged);
    static uint8_t buffer[kReplayFileCapacity];
    size_t size = 0;
    ASSERT_TRUE(LoadReplayFor(table.records[row], header.difficulty, buffer, sizeof buffer, &size));
    EXPECT_EQ(Bytes(buffer, buffer + size), file);  // the game's own, not the newer forgery

    // The game's own file with other bytes: linked to nothing.
    WriteAll(folder / g.recorder.name, forged);
    std::fill(std::begin(has), std::end(has), 0);
    FindReplaysBehind(table.records, HighScoreTable::kRecords, header.difficulty, has);
    EXPECT_EQ(has[row], 0);
    EXPECT_FALSE(LoadReplayFor(table.records[row], header.difficulty, buffer, sizeof buffer, &size));
}

// A replay's header alone, of a game ALICE scored `score` in: a readable
// replay to the folder's pruning.
Bytes ReplayOf(int32_t score) {
    ReplayHeader header;
    std::snprintf(header.gameVersion, sizeof header.gameVersion, "1.0.0");
    std::snprintf(header.names[0], sizeof header.names[0], "ALICE");
    header.level = 4;
    header.scores[0] = score;
    header.lengthTotals[0] = 40;
    Bytes bytes(kReplayHeaderBytes);
    WriteReplayHeader(header, bytes.data());
    return bytes;
}

// The player's own files among the game's replays: a friend's replay, a
// song, links and names that only look like the game's, all of them real
// replays older than any game's. One game keeps the newest fifty of the
// game's own, by the time in their names, and never touches the others.
TEST(Replay, KeepingTheNewestFiftyLeavesThePlayersOwnFilesAlone) {
    TempDir scratch;
    const ScopedUserDir user(scratch.path().string());
    const fs::path folder = scratch.path() / kReplayFolder;
    fs::create_directories(folder);
    auto gameName = [](int i) {
        char name[64];
        std::snprintf(name, sizeof name, "20260101-0000%02d-00.vcr", i);
        return std::string(name);
    };
    for (int i = 0; i < 60; ++i) WriteAll(folder / gameName(i), ReplayOf(1000 + i));
    // Of the game's form, and older than all: the oldest to go.
    WriteAll(folder / "20240229-235959-99.vcr", ReplayOf(1));
    const std::vector<std::string> players = {
        "000-from-a-friend.vcr",  "song.new-2024-12",       "0000-link.vcr",           "20000101-000000-00.vcr",
        "20251301-000000-00.vcr", "20250229-000000-00.vcr", "20250100-000000-00.vcr",  "20250101-240000-00.vcr",
        "20250101-006000-00.vcr", "2025010a-000000-00.vcr", "20250101-000000-000.vcr", "19691231-235959-00.vcr",
    };
    WriteAll(scratch.path() / "friend.vcr", ReplayOf(7));
    for (const std::string& name : players) {
        if (name == "0000-link.vcr" || name == "20000101-000000-00.vcr")
            fs::create_symlink("../friend.vcr", folder / name);  // a link, even of the game's form
        else if (name == "song.new-2024-12")
            WriteText(folder / name, "la la la");
        else
            WriteAll(folder / name, ReplayOf(2));
    }

    char name[kReplayNameSize] = "";
    SaveResult result;
    const Bytes game = ReplayOf(5000);
    const std::time_t now = 1796000000;  // 2026-11-30: after all of them
    ASSERT_TRUE(SaveReplayFile(game.data(), game.size(), now, name, &result)) << result.reason;
    EXPECT_EQ(ReadAll(folder / name), game);
    // 62 of the game's: the twelve oldest went.
    EXPECT_FALSE(fs::exists(folder / "20240229-235959-99.vcr"));
    for (int i = 0; i < 60; ++i) EXPECT_EQ(fs::exists(folder / gameName(i)), i >= 11) << gameName(i);
    for (const std::string& kept : players) EXPECT_TRUE(fs::exists(fs::symlink_status(folder / kept))) << kept;
    EXPECT_EQ(ReadText(folder / "song.new-2024-12"), "la la la");
    EXPECT_TRUE(fs::is_symlink(folder / "0000-link.vcr"));
    EXPECT_EQ(ReadAll(scratch.path() / "friend.vcr"), ReplayOf(7));
}

}  // namespace
