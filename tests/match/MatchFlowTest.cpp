#include "match/Match.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "io/Input.h"
#include "support/GameHarness.h"

namespace {

struct LevelSpec {
    std::string background = "grafik\\hiscore.dat";
    std::string title = "TEST RUN";
    int32_t target = 30;
    int32_t chances[3] = {30, 30, 30};
    int32_t foodCount = 5;
    int32_t start[4] = {3, 7, 16, 7};
    std::vector<std::pair<int, int>> walls;
    int size = kLevelFileBytes;
    bool terminateTitle = true;
};

void WriteLevel(const std::string& name, const LevelSpec& spec) {
    std::vector<uint8_t> bytes(kLevelFileBytes, 0);
    std::memcpy(bytes.data(), spec.background.c_str(), spec.background.size());
    std::memcpy(bytes.data() + 150, spec.title.c_str(), spec.title.size());
    if (!spec.terminateTitle) std::memset(bytes.data() + 150, 'X', 150);
    const int32_t fields[9] = {spec.target,   spec.chances[0], spec.chances[1], spec.chances[2], spec.foodCount,
                               spec.start[0], spec.start[1],   spec.start[2],   spec.start[3]};
    std::memcpy(bytes.data() + 300, fields, sizeof fields);
    for (auto [x, y] : spec.walls) {
        const int32_t one = 1;
        std::memcpy(bytes.data() + 336 + 4 * (x * 14 + y), &one, 4);
    }
    std::ofstream f(name, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), spec.size);
}

class MatchFlowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(h.Start());
        for (int i = 0; i < 20; ++i) WriteLevel("L" + std::to_string(i) + ".DAT", LevelSpec{});
    }
    Match& match() { return h.game->match; }
    void BeginGame(int players, int difficulty) {
        PlayerSetup setup;
        std::strcpy(setup.name1, "ALICE");
        std::strcpy(setup.name2, "BOB");
        setup.ship1 = 0;
        setup.ship2 = players == 2 ? 1 : 2;
        match().players = players;
        match().SetPlayers(&setup);
        setup_ = setup;
        match().playerSetup = &setup_;
        match().Begin(difficulty);
    }
    // A one-player game on level `index` through the real Game, worms
    // started with SPACE: the clock of the timer level is running.
    void StartPlay(int index) {
        BeginGame(1, 1);
        ASSERT_TRUE(h.PlayLevel(index));
    }
    // Player 1 runs out of lives: the game-over cue, then the table.
    void RunOutToTheTable() {
        match().introPending = 0;
        match().worms[0].active = 0;
        match().worms[0].stats.lives = 0;
        match().Frame();  // player 1 runs out: the first frame of the cue
        ASSERT_TRUE(match().playerOut[0]);
        for (int i = 1; i < Match::kGameOverCueFrames; ++i) match().Frame();
        ASSERT_FALSE(match().resultsSaved);
        match().Frame();  // the game-over table is entered and saved
        ASSERT_TRUE(match().resultsSaved);
    }
    std::vector<uint8_t> Shown() { return std::vector<uint8_t>(h.host.LastPixels(), h.host.LastPixels() + 640 * 480); }
    std::vector<uint8_t> Back() { return std::vector<uint8_t>(backBuffer->pixels, backBuffer->pixels + 640 * 480); }
    GameHarness h;
    PlayerSetup setup_;
};

TEST_F(MatchFlowTest, TargetsScaleByDifficultyAndPlayers) {
    const int expectOne[3] = {20, 30, 35};
    const int expectTwo[3] = {15, 24, 29};
    for (int d = 0; d < 3; ++d) {
        BeginGame(1, d);
        ASSERT_FALSE(match().levelFailed) << match().levelError;
        EXPECT_EQ(match().level->target, expectOne[d]) << d;
        BeginGame(2, d);
        EXPECT_EQ(match().level->target, expectTwo[d]) << d;
    }
    LevelSpec ten;
    ten.target = 10;
    WriteLevel("L0.DAT", ten);
    const int tenOne[3] = {6, 10, 11};
    const int tenTwo[3] = {5, 8, 9};
    for (int d = 0; d < 3; ++d) {
        BeginGame(1, d);
        EXPECT_EQ(match().level->target, tenOne[d]);
        BeginGame(2, d);
        EXPECT_EQ(match().level->target, tenTwo[d]);
    }
}

TEST_F(MatchFlowTest, TheTimerLevelKeepsItsTarget) {
    BeginGame(1, 2);
    match().levelIndex = 5;
    ASSERT_TRUE(match().LoadLevel());
    EXPECT_EQ(match().level->target, 30);
    EXPECT_TRUE(match().introPending);
}

TEST_F(MatchFlowTest, TwoPlayerFactorRisesAsPlayersRunOut) {
    BeginGame(2, 0);
    EXPECT_EQ(match().targetFactor, 0.5f);
    EXPECT_EQ(match().extraFood, 3);
    match().introPending = 0;
    for (Worm& w : match().worms) w.active = 0;
    match().worms[1].stats.lives = 0;
    match().PlayWorms();
    EXPECT_EQ(match().targetFactor, 0.7f);
    EXPECT_EQ(match().extraFood, 0);
    EXPECT_TRUE(match().playerOut[1]);
    match().PlayWorms();  // once out, no second raise
    EXPECT_EQ(match().targetFactor, 0.7f);
    match().worms[0].stats.lives = 0;
    match().PlayWorms();
    EXPECT_FLOAT_EQ(match().targetFactor, 0.899999976f);
    EXPECT_EQ(match().targetFactor, static_cast<float>(0.899999976));
    BeginGame(2, 1);
    EXPECT_EQ(match().targetFactor, static_cast<float>(0.800000012));
    BeginGame(2, 2);
    EXPECT_EQ(match().targetFactor, static_cast<float>(0.969999969));
}

TEST_F(MatchFlowTest, OnePlayerGamesKeepPlayerTwoOut) {
    BeginGame(1, 1);
    EXPECT_TRUE(match().playerOut[1]);
    EXPECT_TRUE(match().playerDone[1]);
    EXPECT_EQ(match().extraFood, 0);
    int items = 0;
    for (const FoodItem& f : match().food.items) items += f.cellType == CellType::Food;
    EXPECT_EQ(items, 5);
    BeginGame(2, 1);
    items = 0;
    for (const FoodItem& f : match().food.items) items += f.cellType == CellType::Food;
    EXPECT_EQ(items, 8);
}

TEST_F(MatchFlowTest, BrokenLevelFilesAreRefusedWithAReason) {
    struct Case {
        const char* what;
        LevelSpec spec;
        bool remove;
        const char* reason;
    };
    std::vector<Case> cases;
    cases.push_back({"missing", LevelSpec{}, true, "cannot be opened"});
    LevelSpec shortFile;
    shortFile.size = 1000;
    cases.push_back({"short", shortFile, false, "shorter"});
    LevelSpec title;
    title.terminateTitle = false;
    cases.push_back({"title", title, false, "title"});
    LevelSpec food;
    food.foodCount = 18;  // 18 + 3 extra in a two-player game
    cases.push_back({"food", food, false, "food"});
    LevelSpec off;
    off.start[3] = 14;
    cases.push_back({"start off the board", off, false, "off the board"});
    LevelSpec wallStart;
    wallStart.walls = {{3, 7}};
    cases.push_back({"start on a wall", wallStart, false, "wall"});
    LevelSpec picture;
    picture.background = "grafik\\nothing-here.dat";
    cases.push_back({"picture", picture, false, "picture"});
    LevelSpec crowded;
    for (int x = 0; x < 20; ++x)
        for (int y = 1; y < 14; ++y)
            if (!(y == 7 && (x == 3 || x == 16)) && x > 0) crowded.walls.push_back({x, y});
    cases.push_back({"too few free cells", crowded, false, "free cells"});
    for (const Case& c : cases) {
        if (c.remove)
            std::remove("L0.DAT");
        else
            WriteLevel("L0.DAT", c.spec);
        testing::internal::CaptureStderr();
        BeginGame(2, 1);
        testing::internal::GetCapturedStderr();
        EXPECT_TRUE(match().levelFailed) << c.what;
        EXPECT_NE(std::string(match().levelError).find(c.reason), std::string::npos)
            << c.what << ": " << match().levelError;
        EXPECT_NE(std::string(match().levelError).find("L0.DAT"), std::string::npos);
        EXPECT_FALSE(match().Frame()) << c.what;
    }
}

TEST_F(MatchFlowTest, ARefusedFirstLevelReturnsToTheMenu) {
    std::remove("L0.DAT");
    h.Passes(140);
    h.Click(225 + 90, 120 + 30);  // ONE PLAYER
    ASSERT_EQ(h.game->state, GameState::PlayerSetup);
    h.host.SetKey(DIK_RETURN, true);
    testing::internal::CaptureStderr();
    h.Pass();
    const std::string err = testing::internal::GetCapturedStderr();
    h.host.SetKey(DIK_RETURN, false);
    EXPECT_EQ(h.game->state, GameState::MainMenu);
    EXPECT_EQ(h.host.MessageCount(), 1);
    EXPECT_NE(std::string(h.host.LastMessageText()).find("L0.DAT"), std::string::npos);
    EXPECT_NE(err.find("L0.DAT"), std::string::npos);
    EXPECT_TRUE(h.Pass());  // the game goes on
}

TEST_F(MatchFlowTest, ContinueRestartsOneLevelBackWithFreshScores) {
    const int expect[4][2] = {{0, 0}, {1, 0}, {2, 1}, {7, 6}};
    for (const auto& c : expect) {
        BeginGame(1, 1);
        match().levelIndex = c[0];
        match().introPending = 0;
        match().worms[0].active = 0;
        match().worms[0].stats.lives = 0;
        match().worms[0].score = 4321;
        RunOutToTheTable();
        // Click the continue button.
        h.game->cursor.x = 560;
        h.game->cursor.y = 60;
        MouseState.rgbButtons[0] = 0x80;
        h.host.SetMouseButton(true);
        match().Frame();
        h.host.SetMouseButton(false);
        MouseState.rgbButtons[0] = 0;
        EXPECT_EQ(match().levelIndex, c[1]) << "from level index " << c[0];
        EXPECT_EQ(match().worms[0].score, 0);
        EXPECT_EQ(match().worms[0].stats.lives, 3);
        EXPECT_FALSE(match().playerOut[0]);
        EXPECT_TRUE(match().playerOut[1]);
        EXPECT_TRUE(match().introPending);
        EXPECT_FALSE(match().resultsSaved);
    }
}

TEST_F(MatchFlowTest, GameOverEntersTheResultIntoTheTableFile) {
    BeginGame(1, 0);
    match().levelIndex = 3;
    match().worms[0].score = 777;
    match().worms[0].lengthTotal = 42;
    RunOutToTheTable();
    HighScoreTable check;
    check.Load("teasy.dat", 0);
    check.Sort();
    EXPECT_EQ(check.order[0]->score, 777);
    EXPECT_STREQ(check.order[0]->name, "ALICE");
    EXPECT_EQ(check.order[0]->lengthTotal, 42);
    EXPECT_EQ(check.order[0]->level, 4);
}

TEST_F(MatchFlowTest, GameOverShowsItsCueOnTheStillArenaThenMarksTheNewEntry) {
    BeginGame(1, 0);
    match().introPending = 0;
    match().worms[0].active = 0;
    match().worms[0].stats.lives = 0;
    match().worms[0].score = 555;
    match().Frame();
    ASSERT_TRUE(match().playerOut[0]);
    for (int i = 1; i < Match::kGameOverCueFrames; ++i) {
        match().Frame();
        ASSERT_FALSE(match().resultsSaved) << "frame " << i;
    }
    // The arena and its status bar stand under the cue: the panel's middle
    // holds more than the arena alone.
    const std::vector<uint8_t> cue = Back();
    match().arena.Draw();
    int differ = 0;
    for (int y = 150; y < 330; ++y)
        for (int x = 170; x < 470; ++x) differ += cue[y * 640 + x] != backBuffer->pixels[y * 640 + x];
    EXPECT_GT(differ, 1000);
    EXPECT_TRUE(match().inPlay);

    match().Frame();
    ASSERT_TRUE(match().resultsSaved);
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
    match().introPending = 0;
    match().allLevelsDone = 1;
    match().Frame();
    match().Frame();
    EXPECT_TRUE(match().resultsSaved);
}

TEST_F(MatchFlowTest, TheTimerLevelClockStandsStillWhileTheGameIsFrozen) {
    StartPlay(Match::kTimerLevel);
    h.Passes(1000);  // ten seconds of play
    h.host.SetKey(DIK_ESCAPE, true);
    h.Passes(2000);
    h.host.SetKey(DIK_ESCAPE, false);
    h.Passes(1500);  // the EXIT Y/N box
    ASSERT_TRUE(h.game->exitBoxShown);
    h.host.SetKey(DIK_N, true);
    h.Pass();
    h.host.SetKey(DIK_N, false);
    EXPECT_FALSE(match().timerExpired);
    int frames = 0;
    while (!match().timerExpired && frames < 5000) {
        h.Pass();
        ++frames;
    }
    EXPECT_NEAR(frames, 3000, 2) << "thirty seconds of the clock were left";
}

TEST_F(MatchFlowTest, AFrozenGameShowsOneStillPicture) {
    StartPlay(0);
    h.Passes(30);  // the worm is under way
    const std::vector<uint8_t> last = Shown();
    h.host.SetKey(DIK_ESCAPE, true);
    for (int i = 0; i < 3; ++i) {
        h.Pass();
        EXPECT_TRUE(Shown() == last) << "Esc held, pass " << i;
    }
    h.host.SetKey(DIK_ESCAPE, false);
    h.Pass();
    const std::vector<uint8_t> box = Shown();
    EXPECT_FALSE(box == last);
    for (int i = 0; i < 3; ++i) {
        h.Pass();
        EXPECT_TRUE(Shown() == box) << "box up, pass " << i;
    }
}

TEST_F(MatchFlowTest, TheClockShowsHundredthsWithTwoDigits) {
    BeginGame(1, 1);
    struct Case {
        int32_t left;  // hundredths on the clock
        const char* seconds;
        const char* hundredths;
    };
    const Case cases[] = {{2909, "29", "09"}, {4000, "40", "00"}, {1234, "12", "34"}, {5, "0", "05"}, {-3, "0", "00"}};
    Font& font = *match().mediumFont;
    for (const Case& c : cases) {
        h.host.SetTicks(100000);
        ClearSurface(backBuffer, 0);
        match().DrawLevelClock(250, 1, 100000 - 10 * (4000 - c.left), 4000);
        const std::vector<uint8_t> clock = Back();
        ClearSurface(backBuffer, 0);
        font.DrawText(backBuffer, 250, 1, "0", 0);
        font.DrawChar(backBuffer, 280, 1, ':');
        font.DrawText(backBuffer, 290, 1, c.seconds, 0);
        font.DrawChar(backBuffer, 320, 1, ':');
        font.DrawText(backBuffer, 330, 1, c.hundredths, 0);
        EXPECT_TRUE(clock == Back()) << c.left;
    }
}

TEST_F(MatchFlowTest, TheClockOpensOnlyTheExitsOfWormsInPlay) {
    enum State { InPlay, Jumping, Exited, Waiting };
    const std::pair<State, bool> cases[] = {{InPlay, true}, {Jumping, false}, {Exited, false}, {Waiting, false}};
    for (const auto& [state, opens] : cases) {
        BeginGame(2, 1);
        match().levelIndex = Match::kTimerLevel;
        ASSERT_TRUE(match().LoadLevel());
        match().introPending = 0;
        match().worms[0].Start(match().level->start1X, match().level->start1Y, 30);
        Worm& w = match().worms[1];
        w.Start(match().level->start2X, match().level->start2Y, 30);
        if (state == Jumping) w.StartJump();
        if (state == Exited || state == Waiting) w.active = 0;
        if (state == Exited) w.exited = 1;
        h.host.SetTicks(100000);
        match().timerStart = 100000 - 40010;
        match().PlayWorms();
        ASSERT_TRUE(match().timerExpired);
        EXPECT_EQ(w.exitOpen != 0, opens) << state;
        EXPECT_TRUE(match().worms[0].exitOpen) << state;
        if (state == Exited) {
            // Whatever its flag says, a worm that left draws no countdown.
            ClearSurface(backBuffer, 0);
            match().DrawStatusBar();
            const std::vector<uint8_t> bar = Back();
            w.exitOpen = 1;
            ClearSurface(backBuffer, 0);
            match().DrawStatusBar();
            EXPECT_TRUE(bar == Back());
        }
        if (state == Waiting) {
            // A waiting worm gets its exit open as it starts.
            KeyState[DIK_SPACE] = 0x80;
            match().spaceLatch = 0;
            match().PlayWorms();
            KeyState[DIK_SPACE] = 0;
            EXPECT_TRUE(w.active);
            EXPECT_TRUE(w.exitOpen);
        }
    }
}

TEST_F(MatchFlowTest, ANegativeShieldShowsAsZero) {
    BeginGame(1, 1);
    Worm& w = match().worms[0];
    w.shield = 0;
    ClearSurface(backBuffer, 0);
    match().DrawStatusBar();
    const std::vector<uint8_t> zero = Back();
    w.shield = -14;
    ClearSurface(backBuffer, 0);
    match().DrawStatusBar();
    EXPECT_TRUE(zero == Back());
    EXPECT_EQ(w.shield, -14);
}

TEST_F(MatchFlowTest, AButtonHeldFromPlayDoesNotAnswerTheGameOverTable) {
    BeginGame(1, 1);
    h.game->state = GameState::Playing;
    match().introPending = 0;
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
    EXPECT_TRUE(match().introPending);
}

}  // namespace

namespace {

TEST_F(MatchFlowTest, EachWormSteersWithItsPlayersChosenKeysInOrder) {
    PlayKeys chosen = kDefaultPlayKeys;
    for (int p = 0; p < 2; ++p)
        for (int a = 0; a < kPlayKeyCount; ++a) chosen.code[p][a] = static_cast<uint8_t>(0x10 + 8 * p + a);
    match().SetPlayKeys(chosen);
    for (int p = 0; p < 2; ++p) {
        const int32_t* k = match().worms[p].keys;  // left, right, warp, jump, boost, brake
        EXPECT_EQ((std::vector<int32_t>(k, k + 6)),
                  (std::vector<int32_t>(chosen.code[p], chosen.code[p] + kPlayKeyCount)))
            << p;
    }
}

}  // namespace
