#include "match/Match.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <string>
#include <tuple>
#include <vector>

#include "io/Input.h"
#include "support/GameHarness.h"

namespace {

// An open level on the high-score picture, the starts at (3, 7) and (16, 7).
struct LevelSpec {
    int32_t target = 30;
    int32_t foodCount = 5;
};

void WriteLevel(const std::string& name, const LevelSpec& spec) {
    std::vector<uint8_t> bytes(kLevelFileBytes, 0);
    std::memcpy(bytes.data(), "grafik\\hiscore.dat", 18);
    std::memcpy(bytes.data() + 150, "TEST RUN", 8);
    const int32_t fields[9] = {spec.target, 30, 30, 30, spec.foodCount, 3, 7, 16, 7};
    std::memcpy(bytes.data() + 300, fields, sizeof fields);
    std::ofstream(name, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

class MatchFlowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(h.Start());
        for (int i = 0; i < 20; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "L%d.DAT", i);
            WriteLevel(name, LevelSpec{});
        }
    }
    Match& match() { return h.game->match; }
    void BeginGame(int players, int difficulty) { h.BeginMatch(players, difficulty); }
    // A one-player game on level `index` through the real Game, worms
    // started with SPACE: the clock of the timer level is running.
    void StartPlay(int index) {
        BeginGame(1, 1);
        ASSERT_TRUE(h.PlayLevel(index));
    }
    // Player 1 runs out of lives: the game-over cue, then the table.
    void RunOutToTheTable() {
        match().phase = MatchPhase::Play;
        for (int i = 0; i < match().players; ++i) {
            match().worms[i].active = 0;
            match().worms[i].stats.lives = 0;
        }
        match().Frame();  // player 1 runs out: saved at once, the first frame of the cue
        ASSERT_TRUE(match().playerOut[0]);
        ASSERT_TRUE(match().resultsSaved);
        for (int i = 1; i < Match::kGameOverCueFrames; ++i) match().Frame();
        ASSERT_FALSE(match().TableShown());
        ASSERT_TRUE(match().InPlay());
        match().Frame();  // the game-over table is entered
        ASSERT_TRUE(match().TableShown());
    }
    // A click on the game-over table's continue button, one match frame long.
    void ClickContinue() { ClickAt(560, 60); }
    // A click at (x, y), one match frame long.
    void ClickAt(int32_t x, int32_t y) {
        h.game->cursor.x = x;
        h.game->cursor.y = y;
        MouseState.rgbButtons[0] = 0x80;
        h.host.SetMouseButton(true);
        match().Frame();
        h.host.SetMouseButton(false);
        MouseState.rgbButtons[0] = 0;
    }
    std::vector<uint8_t> Back() { return std::vector<uint8_t>(backBuffer->pixels, backBuffer->pixels + 640 * 480); }
    GameHarness h;
};

// Targets 30 and 10 by difficulty, one player then two; a two-player game
// places three more food items, and the timer level keeps its target.
TEST_F(MatchFlowTest, TargetsScaleByDifficultyAndPlayersAndTwoPlayersGetMoreFood) {
    const int expect[2][2][3] = {{{20, 30, 35}, {15, 24, 29}}, {{6, 10, 11}, {5, 8, 9}}};
    for (int t = 0; t < 2; ++t) {
        LevelSpec spec;
        spec.target = t ? 10 : 30;
        WriteLevel("L0.DAT", spec);
        for (int players = 1; players <= 2; ++players)
            for (int d = 0; d < 3; ++d) {
                BeginGame(players, d);
                ASSERT_FALSE(match().levelFailed) << match().levelError;
                EXPECT_EQ(match().level->target, expect[t][players - 1][d]) << spec.target << " " << players << d;
                EXPECT_EQ(std::count_if(std::begin(match().food.items), std::end(match().food.items),
                                        [](const FoodItem& f) { return f.cellType == CellType::Food; }),
                          players == 2 ? 8 : 5);
                EXPECT_EQ(bool(match().playerOut[1]), players == 1);
            }
    }
    match().levelIndex = Match::kTimerLevel;
    ASSERT_TRUE(match().LoadLevel());
    EXPECT_EQ(match().level->target, 30);
    LevelSpec food;
    food.foodCount = 18;  // 18 fit the slots for one player, 18 + 3 do not
    WriteLevel("L0.DAT", food);
    BeginGame(1, 1);
    EXPECT_FALSE(match().levelFailed) << match().levelError;
    Said([&] { BeginGame(2, 1); });
    EXPECT_NE(std::string(match().levelError).find("food"), std::string::npos) << match().levelError;
}

TEST_F(MatchFlowTest, TwoPlayerFactorRisesAsPlayersRunOut) {
    BeginGame(2, 0);
    EXPECT_EQ(match().targetFactor, 0.5f);
    EXPECT_EQ(match().extraFood, 3);
    match().phase = MatchPhase::Play;
    for (Worm& w : match().worms) w.active = 0;
    match().worms[1].stats.lives = 0;
    match().PlayWorms(PlayInput{});
    EXPECT_EQ(match().targetFactor, 0.7f);
    EXPECT_EQ(match().extraFood, 0);
    EXPECT_TRUE(match().playerOut[1]);
    match().PlayWorms(PlayInput{});  // once out, no second raise
    EXPECT_EQ(match().targetFactor, 0.7f);
    match().worms[0].stats.lives = 0;
    match().PlayWorms(PlayInput{});
    EXPECT_EQ(match().targetFactor, static_cast<float>(0.899999976));
    BeginGame(2, 1);
    EXPECT_EQ(match().targetFactor, static_cast<float>(0.800000012));
    BeginGame(2, 2);
    EXPECT_EQ(match().targetFactor, static_cast<float>(0.969999969));
}

// Each player who runs out makes the game harder for the one left; a
// continue brings both back, so it starts as easy as the game began.
TEST_F(MatchFlowTest, AContinuedTwoPlayerGameStartsAgainAtItsFirstFactorAndExtraFood) {
    for (int d = 0; d < 3; ++d) {
        BeginGame(2, d);
        const float factor = match().targetFactor;
        const int32_t target = match().level->target;
        RunOutToTheTable();
        ASSERT_GT(match().targetFactor, factor);
        ASSERT_EQ(match().extraFood, 0);
        ClickContinue();
        ASSERT_FALSE(match().levelFailed) << match().levelError;
        EXPECT_EQ((std::tuple{match().targetFactor, match().extraFood, match().level->target,
                              std::count_if(std::begin(match().food.items), std::end(match().food.items),
                                            [](const FoodItem& f) { return f.cellType == CellType::Food; })}),
                  (std::tuple{factor, 3, target, std::ptrdiff_t{8}}))
            << "difficulty " << d;
    }
}

// A level refused when a game begins, or later in play, returns to the menu
// with a message naming its file, and the game goes on.
TEST_F(MatchFlowTest, ARefusedLevelReturnsToTheMenuNamingItsFile) {
    std::remove("L0.DAT");
    h.Passes(140);
    h.Click(225 + 90, 120 + 30);  // ONE PLAYER
    ASSERT_EQ(h.game->state, GameState::PlayerSetup);
    std::string err = Said([&] { h.Tap(DIK_RETURN); });
    EXPECT_EQ((std::tuple{h.game->state, h.host.MessageCount()}), (std::tuple{GameState::MainMenu, 1}));
    EXPECT_NE(std::string(h.host.LastMessageText()).find("L0.DAT"), std::string::npos);
    EXPECT_NE(err.find("L0.DAT"), std::string::npos);

    WriteLevel("L0.DAT", LevelSpec{});
    std::remove("L3.DAT");
    StartPlay(2);
    match().levelIndex = 3;  // the next level, as after the points screens
    testing::internal::CaptureStderr();
    EXPECT_FALSE(match().LoadLevel());
    EXPECT_TRUE(h.Pass());
    err = testing::internal::GetCapturedStderr();
    EXPECT_EQ((std::tuple{h.game->state, h.host.MessageCount()}), (std::tuple{GameState::MainMenu, 2}));
    EXPECT_NE(std::string(h.host.LastMessageText()).find("L3.DAT"), std::string::npos);
    EXPECT_TRUE(h.Passes(5));  // the game goes on
}

// At game over the result goes into the table file; continue then restarts
// one level back (never before the first) with fresh scores.
TEST_F(MatchFlowTest, GameOverEntersTheResultAndContinueRestartsOneLevelBackWithFreshScores) {
    const int expect[4][2] = {{0, 0}, {1, 0}, {2, 1}, {7, 6}};
    for (const auto& c : expect) {
        BeginGame(1, 0);
        match().levelIndex = c[0];
        match().worms[0].score = 4321 + c[0];
        match().worms[0].lengthTotal = 42;
        RunOutToTheTable();
        HighScoreTable check;
        check.Load("teasy.dat", 0);
        check.Sort();
        EXPECT_EQ((std::tuple{check.order[0]->score, std::string(check.order[0]->name), check.order[0]->lengthTotal,
                              check.order[0]->level}),
                  (std::tuple{4321 + c[0], std::string("ALICE"), 42, c[0] + 1}));
        const uint8_t* fresh = h.game->highScoreScreen.fresh;
        EXPECT_EQ(std::count(fresh, fresh + HighScoreTable::kRecords, 1), 1);
        ClickContinue();
        // The rows marked new belong to the game that made them.
        EXPECT_EQ((std::tuple{match().levelIndex, match().worms[0].score, match().worms[0].stats.lives,
                              bool(match().playerOut[0]), bool(match().playerOut[1]), bool(match().IntroPending()),
                              bool(match().resultsSaved), std::count(fresh, fresh + HighScoreTable::kRecords, 1)}),
                  (std::tuple{c[1], 0, 3, false, true, true, false, std::ptrdiff_t{0}}))
            << "from level index " << c[0];
    }
}

// A game walks intro, play, the cue over play, the table; a continue into
// a level that cannot be loaded leaves it between screens: neither in play
// nor at a table, and no frame runs again.
TEST_F(MatchFlowTest, AContinueIntoALevelThatCannotBeLoadedLeavesTheGameBetweenScreens) {
    BeginGame(1, 0);
    EXPECT_EQ((std::tuple{match().phase, match().IntroPending(), match().InPlay()}),
              (std::tuple{MatchPhase::Intro, true, true}));
    RunOutToTheTable();
    EXPECT_EQ((std::tuple{match().phase, match().InPlay(), match().PointsPhase()}),
              (std::tuple{MatchPhase::Table, false, false}));
    std::remove("L0.DAT");
    testing::internal::CaptureStderr();
    ClickContinue();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ((std::tuple{match().phase, match().IntroPending(), match().InPlay(), match().PointsPhase(),
                          match().TableShown(), bool(match().levelFailed)}),
              (std::tuple{MatchPhase::Between, false, false, false, false, true}));
    EXPECT_FALSE(match().Frame());
}

TEST_F(MatchFlowTest, GameOverShowsItsCueForItsFramesThenTheTableWithTheNewEntryBlinking) {
    BeginGame(1, 0);
    match().worms[0].score = 555;
    RunOutToTheTable();
    HighScoreTable& table = h.game->highScoreScreen;
    ASSERT_EQ(table.records[0].score, 555);
    EXPECT_TRUE(table.fresh[0]);
    // The new row blinks; the screen above the rows stays as it is.
    int rowChanges = 0, topChanges = 0;
    std::vector<uint8_t> before = Back();
    for (int i = 0; i < 2 * HighScoreTable::kBlinkFrames; ++i) {
        match().Frame();
        for (int y = 0; y < 640 * 480; ++y) {
            if (before[y] == backBuffer->pixels[y]) continue;
            (y / 640 >= 180 && y / 640 < 205 ? rowChanges : topChanges) += 1;
        }
        before = Back();
    }
    EXPECT_GT(rowChanges, 100);
    EXPECT_EQ(topChanges, 0);

    // After the last level there is no cue: the table comes at once.
    BeginGame(1, 0);
    match().phase = MatchPhase::Play;
    match().allLevelsDone = 1;
    match().Frame();
    match().Frame();
    EXPECT_TRUE(match().resultsSaved);
}

// Online, the link may go in play or between levels (this player's points
// screen open, or closed and waiting for the other's): either way the game
// ends there, its result saved, and the table comes at once.
TEST_F(MatchFlowTest, AnOnlineGameThatEndsAnywhereGoesToTheTableWithItsResult) {
    enum When { InPlay, OwnScreen, WaitingForTheOther };
    for (When when : {InPlay, OwnScreen, WaitingForTheOther}) {
        SCOPED_TRACE(when);
        std::remove("teasy.dat");
        BeginGame(2, 0);
        match().onlinePlayer = 1;
        match().phase = MatchPhase::Play;
        match().worms[1].score = 2468;
        if (when != InPlay) {
            for (Worm& w : match().worms) w.exited = 1;
            match().Frame();  // the level ends: the points screens
            ASSERT_TRUE(match().PointsPhase());
            if (when == WaitingForTheOther) match().pointsDue[1] = 0;
        }
        match().EndOnline();
        for (int i = 0; i < 5 && !match().TableShown(); ++i) match().Frame();
        EXPECT_TRUE(match().TableShown());
        EXPECT_FALSE(match().PointsPhase());
        HighScoreTable saved;
        saved.Load("teasy.dat", 0);
        saved.Sort();
        EXPECT_EQ((std::tuple{saved.order[0]->score, std::string(saved.order[0]->name), saved.order[0]->level}),
                  (std::tuple{2468, std::string("BOB"), 1}));
    }
}

// The result is saved the moment the game ends: a player who leaves
// during the game-over cue (Esc, then Y) keeps it.
TEST_F(MatchFlowTest, LeavingDuringTheGameOverCueKeepsTheResult) {
    StartPlay(0);
    match().worms[0].active = 0;
    match().worms[0].stats.lives = 0;
    match().worms[0].score = 3210;
    h.Pass();  // the player runs out; the cue begins
    h.Tap(DIK_ESCAPE);
    ASSERT_TRUE(h.game->exitBoxShown);
    h.Tap(DIK_Y);
    h.Passes(50);
    ASSERT_EQ(h.game->state, GameState::MainMenu);
    HighScoreTable saved;
    saved.Load("tmed.dat", 1);
    saved.Sort();
    EXPECT_EQ(saved.order[0]->score, 3210) << "the result was lost with the cue";
}

TEST_F(MatchFlowTest, TheClockShowsHundredthsWithTwoDigits) {
    BeginGame(1, 1);
    // hundredths left on the clock, then the seconds and hundredths shown
    const std::tuple<int32_t, const char*, const char*> cases[] = {
        {2909, "29", "09"}, {4000, "40", "00"}, {1234, "12", "34"}, {5, "0", "05"}, {-3, "0", "00"}};
    Font& font = *match().mediumFont;
    for (const auto& [left, seconds, hundredths] : cases) {
        h.host.SetTicks(100000);
        ClearSurface(backBuffer, 0);
        match().DrawLevelClock(250, 1, 100000 - 10 * (4000 - left), 4000);
        const std::vector<uint8_t> clock = Back();
        ClearSurface(backBuffer, 0);
        // The minutes and the seconds end at their colons.
        auto width = [&](const char* text) { return font.TextWidth(text); };
        font.DrawText(backBuffer, 280 - width("0"), 1, "0", TextExtent::Whole);
        font.DrawChar(backBuffer, 280, 1, ':');
        font.DrawText(backBuffer, 320 - width(seconds), 1, seconds, TextExtent::Whole);
        font.DrawChar(backBuffer, 320, 1, ':');
        font.DrawText(backBuffer, 330, 1, hundredths, TextExtent::Whole);
        EXPECT_TRUE(clock == Back()) << left;
    }
}

TEST_F(MatchFlowTest, TheClockOpensOnlyTheExitsOfWormsInPlay) {
    enum State { InPlay, Jumping, Exited, Waiting };
    const std::pair<State, bool> cases[] = {{InPlay, true}, {Jumping, false}, {Exited, false}, {Waiting, false}};
    for (const auto& [state, opens] : cases) {
        BeginGame(2, 1);
        match().levelIndex = Match::kTimerLevel;
        ASSERT_TRUE(match().LoadLevel());
        match().phase = MatchPhase::Play;
        match().worms[0].Start(match().level->start1X, match().level->start1Y, 30);
        Worm& w = match().worms[1];
        w.Start(match().level->start2X, match().level->start2Y, 30);
        if (state == Jumping) w.StartJump();
        if (state == Exited || state == Waiting) w.active = 0;
        if (state == Exited) w.exited = 1;
        h.host.SetTicks(100000);
        match().timerStart = 100000 - 40010;
        match().PlayWorms(PlayInput{});
        ASSERT_TRUE(match().timerExpired);
        EXPECT_EQ(w.exitOpen != 0, opens) << state;
        EXPECT_TRUE(match().worms[0].exitOpen) << state;
        if (state == Exited) {
            // Whatever its flag says, a worm that left draws no countdown;
            // a shield below zero shows as 0.
            auto bar = [&] {
                ClearSurface(backBuffer, 0);
                match().DrawStatusBar();
                return Back();
            };
            const std::vector<uint8_t> before = bar();
            w.exitOpen = 1;
            EXPECT_TRUE(bar() == before);
            match().worms[0].shield = 0;
            const std::vector<uint8_t> zero = bar();
            match().worms[0].shield = -14;
            EXPECT_TRUE(bar() == zero);
        }
        if (state == Waiting) {
            // A waiting worm gets its exit open as it starts.
            PlayInput space;
            space.space = true;
            match().spaceLatch = 0;
            match().PlayWorms(space);
            EXPECT_TRUE(w.active);
            EXPECT_TRUE(w.exitOpen);
        }
    }
}

TEST_F(MatchFlowTest, AButtonHeldFromPlayDoesNotAnswerTheGameOverTable) {
    BeginGame(1, 1);
    h.game->state = GameState::Playing;
    match().phase = MatchPhase::Play;
    match().worms[0].active = 0;
    match().worms[0].stats.lives = 0;
    match().worms[0].score = 100;
    h.host.MoveMouseTo(578, 64);  // the continue button
    h.host.SetMouseButton(true);
    h.Passes(Match::kGameOverCueFrames + 10);
    ASSERT_TRUE(match().resultsSaved);
    EXPECT_TRUE(match().playerOut[0]) << "the table was answered by a press from play";
    h.host.SetMouseButton(false);
    h.Pass();
    h.host.SetMouseButton(true);
    h.Passes(2);
    h.host.SetMouseButton(false);
    EXPECT_FALSE(match().playerOut[0]);
    EXPECT_TRUE(match().IntroPending());
}

// The table's Back raises the EXIT box. The button still held from it, or
// a Y or N held when the box came up, answers nothing; a press begun while
// the box is up does.
TEST_F(MatchFlowTest, OnlyAPressBegunWhileTheExitBoxIsUpAnswersIt) {
    BeginGame(1, 1);
    h.game->state = GameState::Playing;
    match().phase = MatchPhase::Play;
    match().worms[0].active = 0;
    match().worms[0].stats.lives = 0;
    match().worms[0].score = 100;
    h.Passes(Match::kGameOverCueFrames + 10);
    ASSERT_TRUE(match().TableShown());
    h.host.MoveMouseTo(60, 60);  // the back button
    h.host.SetMouseButton(true);
    h.Passes(3);
    ASSERT_TRUE(h.game->exitBoxShown);
    h.Tap(DIK_N);  // the button still down
    h.Passes(5);
    EXPECT_FALSE(h.game->exitBoxShown) << "the button held from Back answered the table again";
    h.host.SetMouseButton(false);
    h.Pass();
    // Back again, with Y held as the box comes up: it does not leave.
    h.host.SetKey(DIK_Y, true);
    h.host.SetMouseButton(true);
    h.Passes(3);
    h.host.SetMouseButton(false);
    h.Passes(3);
    EXPECT_EQ((std::tuple{h.game->state, h.game->exitBoxShown}), (std::tuple{GameState::Playing, true}));
    h.host.SetKey(DIK_Y, false);
    h.Pass();
    h.Tap(DIK_N);
    EXPECT_FALSE(h.game->exitBoxShown);
    // N held through Esc: the box that shows once Esc is let go stays up.
    h.host.SetKey(DIK_N, true);
    h.Tap(DIK_ESCAPE);
    h.Passes(2);
    EXPECT_TRUE(h.game->exitBoxShown) << "N held from before the box answered it";
    h.host.SetKey(DIK_N, false);
    h.Pass();
    h.Tap(DIK_Y);
    EXPECT_EQ(h.game->state, GameState::MainMenu);
}

TEST_F(MatchFlowTest, EachPlayersChosenKeysBecomeThatPlayersActionsInOrder) {
    PlayKeys chosen = kDefaultPlayKeys;
    for (int p = 0; p < 2; ++p)
        for (int a = 0; a < kPlayKeyCount; ++a) chosen.code[p][a] = static_cast<uint8_t>(0x40 + 8 * p + a);
    match().SetPlayKeys(chosen);
    uint8_t keys[256] = {};
    for (int p = 0; p < 2; ++p) {
        for (int a = 0; a < kPlayKeyCount; ++a) {
            keys[chosen.code[p][a]] = 0x80;
            const PlayInput input = ReadPlayInput(keys, match().playKeys);
            keys[chosen.code[p][a]] = 0;
            EXPECT_EQ((std::tuple{int(input.actions[p].bits), int(input.actions[1 - p].bits), input.space, input.yes}),
                      (std::tuple{1 << a, 0, false, false}))
                << p << " " << a;
        }
    }
    keys[kDefaultPlayKeys.code[0][kKeyLeft]] = 0x80;  // the usual keys steer nobody now
    keys[DIK_SPACE] = keys[DIK_Y] = 0x80;
    const PlayInput input = ReadPlayInput(keys, match().playKeys);
    EXPECT_EQ((std::tuple{int(input.actions[0].bits), int(input.actions[1].bits), input.space, input.yes}),
              (std::tuple{0, 0, true, true}));
}

}  // namespace

namespace {

// Online, this machine works its own player's points screen; the level
// goes on only once the other player's result has come too, and it is
// that result the other worm plays the next level with.
TEST_F(MatchFlowTest, OnlinePointsScreensWaitForTheOtherPlayersResult) {
    BeginGame(2, 0);
    match().onlinePlayer = 1;
    match().phase = MatchPhase::Play;
    for (Worm& w : match().worms) {
        w.active = 0;
        w.exited = 1;
    }
    match().Frame();  // both through the exit: the points screens
    ASSERT_TRUE(match().PointsPhase());
    match().Frame();    // the button up once: the screen takes clicks
    ClickAt(590, 436);  // OK
    match().Frame();
    EXPECT_TRUE(match().pointsReady);
    EXPECT_FALSE(match().pointsDue[1]);
    for (int i = 0; i < 50; ++i) match().Frame();
    EXPECT_TRUE(match().PointsPhase()) << "the level went on without the other player's result";
    EXPECT_EQ(match().levelIndex, 0);

    ShipStats theirs = match().worms[0].stats;
    theirs.lives = 5;
    theirs.maxWarpGates = 3;
    // Offline, a result from elsewhere is never taken, nor one of no player.
    const int32_t pointsBefore = match().worms[0].points;
    match().onlinePlayer = -1;
    match().TakePoints(0, theirs, 999);
    match().onlinePlayer = 1;
    match().TakePoints(2, theirs, 999);
    match().TakePoints(-1, theirs, 999);
    EXPECT_TRUE(match().pointsDue[0]);
    EXPECT_EQ(match().worms[0].points, pointsBefore);

    match().TakePoints(0, theirs, 77);  // as the link hands the other player's result over
    match().Frame();
    EXPECT_FALSE(match().PointsPhase());
    EXPECT_EQ(match().levelIndex, 1);
    EXPECT_EQ((std::tuple{match().worms[0].stats.lives, match().worms[0].stats.maxWarpGates, match().worms[0].points}),
              (std::tuple{5, 3, 77}));
}

}  // namespace

namespace {

// Online, the other player's points record is taken only when that
// player's own screen could have closed with it: from the values play left
// (the simulation knows every worm's score at the exit, hence its points),
// in the screen's steps, within the ship's limits, paid for.
TEST_F(MatchFlowTest, APointsRecordMustBeReachableFromWhatPlayGaveThePlayer) {
    BeginGame(2, 0);  // player 1 flies ship 0, player 2 ship 1
    match().onlinePlayer = 1;
    for (Worm& w : match().worms) w.points = 200;
    const ShipLimits& limits0 = kShipLimits[0];
    const ShipLimits& limits1 = kShipLimits[1];
    auto bought = [](ShipStats s, std::initializer_list<std::pair<int32_t, int>> steps, const ShipLimits& limits) {
        for (const auto& [row, times] : steps)
            for (int i = 0; i < times; ++i) SetupScreen::ApplyStep(&s, row, limits);
        return s;
    };
    const ShipStats base0 = match().worms[0].stats, base1 = match().worms[1].stats;
    struct Case {
        const char* what;
        int32_t player;
        ShipStats stats;
        int32_t points;
        const char* fault;
    };
    ShipStats tooManyLives = base0;
    tooManyLives.lives = 1000000;
    ShipStats fast = base0;
    fast.velocity = 100.0f;
    ShipStats offStep = base0;
    offStep.velocity = 2.45f;
    ShipStats lowered = base0;
    lowered.plasmaShields -= 5;
    const Case cases[] = {
        {"nothing bought, the points kept", 0, base0, 200, nullptr},
        {"three speed steps, two shields, a life", 0,
         bought(base0, {{RowVelocity, 3}, {RowPlasmaShields, 2}, {RowLives, 1}}, limits0), 60, nullptr},
        {"ship 1's top speed, 19 steps", 1, bought(base1, {{RowVelocity, 19}}, limits1), 10, nullptr},
        {"the jump down to its least", 0, bought(base0, {{RowHsJump, 4}}, limits0), 40, nullptr},
        {"a million lives", 0, tooManyLives, 0, "an upgrade beyond the ship's limits"},
        {"a speed of 100", 0, fast, 0, "an upgrade beyond the ship's limits"},
        {"ship 0's speed on ship 1", 1, bought(base1, {{RowVelocity, 30}}, limits0), 0,
         "an upgrade beyond the ship's limits"},
        {"a speed between the steps", 0, offStep, 200, "a value the points screen's steps never make"},
        {"shields taken away", 0, lowered, 205, "a value the points screen's steps never make"},
        {"points from nowhere", 0, base0, 201, "upgrades that the points do not pay for"},
        {"a step not paid for", 0, bought(base0, {{RowVelocity, 1}}, limits0), 200,
         "upgrades that the points do not pay for"},
        {"more than the points buy", 0, bought(base0, {{RowLives, 2}, {RowVelocity, 1}}, limits0), -10,
         "upgrades that the points do not pay for"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_STREQ(match().PointsFault(c.player, c.stats, c.points), c.fault);
    }
    // A player out of lives has no screen, so no record.
    match().playerOut[0] = 1;
    EXPECT_STREQ(match().PointsFault(0, base0, 200), "a player out of the game has no points screen");
}

// A worm whose score fell since its last exit leaves the level with its
// points as they were, never below zero, so the points record of its
// screen closed untouched is one the other machine's check stands behind.
TEST_F(MatchFlowTest, AnExitBelowTheLastExitsScoreKeepsThePointsAndTheirRecordSound) {
    BeginGame(2, 0);
    match().onlinePlayer = 1;
    Worm& w = match().worms[0];
    w.Start(match().level->start1X, match().level->start1Y, match().level->target);
    w.length = 2;
    w.jumping = 1;
    w.openGates = 0;
    w.segments[2].warpPhase = 1;  // the tail end comes out of the jump gate at this step
    w.points = 0;
    w.score = 100;
    w.scoreAtLastExit = 1000;
    w.Shift();
    ASSERT_TRUE(w.exited);
    EXPECT_EQ(w.points, 0);
    EXPECT_STREQ(match().PointsFault(0, w.stats, w.points), nullptr);
}

}  // namespace
