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
        match().Frame();  // player 1 runs out
        ASSERT_TRUE(match().playerOut[0]);
        match().Frame();  // the game-over table is entered and saved
        ASSERT_TRUE(match().resultsSaved);
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
    match().introPending = 0;
    match().worms[0].active = 0;
    match().worms[0].stats.lives = 0;
    match().worms[0].score = 777;
    match().worms[0].lengthTotal = 42;
    match().Frame();
    match().Frame();
    HighScoreTable check;
    check.Load("teasy.dat", 0);
    check.Sort();
    EXPECT_EQ(check.order[0]->score, 777);
    EXPECT_STREQ(check.order[0]->name, "ALICE");
    EXPECT_EQ(check.order[0]->lengthTotal, 42);
    EXPECT_EQ(check.order[0]->level, 4);
}

}  // namespace
