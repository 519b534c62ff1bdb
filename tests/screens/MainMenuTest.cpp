#include "screens/MainMenu.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>

#include "io/Input.h"
#include "io/SoundSlots.h"
#include "platform/PadMapper.h"
#include "platform/Settings.h"
#include "support/GameHarness.h"

namespace {

// Centre points of things on the menu once the items have slid in.
constexpr int kInfoX = 272 + 40, kInfoY = 345 + 25;
constexpr int kQuitX = 270 + 50, kQuitY = 410 + 30;
constexpr int kItemCentreY[5] = {150, 216, 295, 375, 442};

class MainMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(h.Start());
        ASSERT_EQ(h.game->state, GameState::MainMenu);
    }
    MainMenu& menu() { return h.game->mainMenu; }
    GameHarness h;
};

TEST_F(MainMenuTest, ItemsSlideInOnceThenStandCentred) {
    EXPECT_EQ(menu().slideOffset, 632);  // the show sequence drew two frames already
    h.Passes(10);
    EXPECT_EQ((std::tuple{menu().slideOffset, menu().itemSprites[0].x, menu().itemSprites[4].x}),
              (std::tuple{592, 592, 592 + 160}));
    h.Passes(200);
    EXPECT_EQ(menu().slideOffset, 88);
    const std::pair<int, int> centred[5] = {{225, 120}, {222, 185}, {197, 250}, {272, 345}, {270, 410}};
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ((std::pair{menu().itemSprites[k].x, menu().itemSprites[k].y}), centred[k]) << k;
    h.Click(kInfoX, kInfoY);  // leaving and coming back shows no second slide
    ASSERT_EQ(h.game->state, GameState::Info);
    h.Tap(DIK_ESCAPE);
    EXPECT_EQ((std::tuple{h.game->state, menu().itemSprites[0].x}), (std::tuple{GameState::MainMenu, 225}));
}

TEST(MainMenuReturn, EscHeldThroughAReturnToTheMenuNeedsAFreshPressToQuit) {
    const std::pair<int, GameState> screens[] = {
        {2, GameState::HighScores}, {3, GameState::Info}, {0, GameState::PlayerSetup}};
    for (const auto& [itemY, state] : screens) {
        GameHarness h;
        ASSERT_TRUE(h.Start());
        h.Passes(140);
        h.Click(320, kItemCentreY[itemY]);
        ASSERT_EQ(h.game->state, state);
        h.host.SetKey(DIK_ESCAPE, true);
        EXPECT_TRUE(h.Pass());  // back to the menu, with both fades
        EXPECT_EQ(h.game->state, GameState::MainMenu);
        EXPECT_TRUE(h.Passes(20)) << "Esc held over from screen " << static_cast<int>(state);
        h.host.SetKey(DIK_ESCAPE, false);
        EXPECT_TRUE(h.Pass());
        h.host.SetKey(DIK_ESCAPE, true);
        EXPECT_FALSE(h.Pass());
    }
}

// The hum plays from start-up only when the settings ask for it, the switch
// shows it, and a click on the switch is kept in the settings file.
TEST(MainMenuHum, TheSwitchFollowsTheSettingsAndAClickIsKept) {
    GameHarness h;
    Settings quiet;
    quiet.hum = false;
    const std::string path = std::filesystem::absolute("settings.ini").string();
    h.host.KeepSettings(quiet, path);
    ASSERT_TRUE(h.Start());
    h.Passes(140);
    EXPECT_EQ((std::pair{SoundBank::IsSounding(kSoundHum), h.game->mainMenu.humSwitch.frame}), (std::pair{false, 1}));
    h.Click(407, 466);
    EXPECT_EQ((std::pair{SoundBank::IsSounding(kSoundHum), h.game->mainMenu.humSwitch.frame}), (std::pair{true, 0}));
    EXPECT_TRUE(h.host.CurrentSettings().hum);
    Settings saved;
    saved.hum = false;
    ASSERT_TRUE(std::filesystem::exists(path));
    ASSERT_TRUE(LoadSettings(path.c_str(), &saved, nullptr));
    EXPECT_TRUE(saved.hum);
    h.Click(407, 466);
    EXPECT_FALSE(SoundBank::IsSounding(kSoundHum));
    ASSERT_TRUE(LoadSettings(path.c_str(), &saved, nullptr));
    EXPECT_FALSE(saved.hum);
}

TEST_F(MainMenuTest, TheInfoBallClickDoesNotReachTheLabelUnderIt) {
    h.Passes(140);
    h.Click(kInfoX, kInfoY);
    ASSERT_EQ(h.game->state, GameState::Info);
    h.Click(600, 465);  // the ball, where the HARD label lies on the menu
    ASSERT_EQ(h.game->state, GameState::MainMenu);
    h.Passes(5);
    EXPECT_EQ(h.game->difficulty, 0);
    h.Click(600, 465);  // a press of its own does choose it
    EXPECT_EQ(h.game->difficulty, 2);
}

TEST_F(MainMenuTest, QuitTakesAPressThatBeganOnIt) {
    EXPECT_TRUE(h.Click(529, 465));  // MEDIUM, while QUIT is still far off
    EXPECT_EQ(h.game->difficulty, 1);
    while (menu().itemSprites[4].x > 400) h.Pass();
    // QUIT slides under the EASY label: the click is the label's.
    ASSERT_LE(menu().itemSprites[4].x, 450);
    EXPECT_TRUE(h.Click(450, 465));
    EXPECT_EQ(h.game->difficulty, 0);
    h.Passes(140);
    // A press that began off the items, dragged onto QUIT.
    h.host.MoveMouseTo(600, 300);
    h.Pass();
    h.host.SetMouseButton(true);
    EXPECT_TRUE(h.Passes(3));
    h.host.MoveMouseTo(kQuitX, kQuitY);
    EXPECT_TRUE(h.Passes(5));
    h.host.SetMouseButton(false);
    EXPECT_TRUE(h.Pass());
    h.host.SetMouseButton(true);
    EXPECT_TRUE(h.Pass());
    EXPECT_FALSE(h.Pass());
}

// Enter held from player 1's name into player 2's confirms nothing until it
// is released and pressed again; then the match begins.
TEST_F(MainMenuTest, EnterHeldIntoTheSecondPlayersNameConfirmsItOnlyWhenPressedAgain) {
    h.Passes(140);
    h.Click(320, kItemCentreY[1]);  // TWO PLAYERS
    ASSERT_EQ(h.game->state, GameState::PlayerSetup);
    h.Tap(DIK_A);
    h.host.SetKey(DIK_RETURN, true);
    h.Passes(10);
    EXPECT_EQ((std::tuple{h.game->state, std::string(h.game->playerSetup.name1)}),
              (std::tuple{GameState::PlayerSetup, std::string("A")}));
    h.host.SetKey(DIK_RETURN, false);
    h.Pass();
    h.Tap(DIK_S);
    EXPECT_EQ(h.game->state, GameState::PlayerSetup);
    h.Tap(DIK_RETURN);
    EXPECT_EQ((std::tuple{h.game->state, std::string(h.game->match.names[1])}),
              (std::tuple{GameState::Playing, std::string("S")}));
}

TEST_F(MainMenuTest, APadsAHeldFromOnePlayerIntoTheSetupTypesNothing) {
    h.Passes(140);
    h.host.MoveMouseTo(320, kItemCentreY[0]);
    h.Pass();
    h.host.Pads().Connect(0);
    h.host.Pads().Button(0, kPadA, true);  // the menu's click, and the EXIT box's yes
    for (int i = 0; i < 6 && h.game->state == GameState::MainMenu; ++i) h.Pass();
    ASSERT_EQ(h.game->state, GameState::PlayerSetup);
    h.Passes(5);
    h.host.Pads().Button(0, kPadA, false);
    h.Passes(5);
    EXPECT_STREQ(h.game->setupScreen.nameEntry.Typed(), "") << "the press that chose the item is not a letter";
}

// The credits' name lines greet what a player knows (the players, the
// game's worlds), never the tools the game is built and tested with.
TEST(MainMenuCredits, NameLinesGreetPlayersNotBuildTools) {
    const char* const tools[] = {"CMAKE",   "GCC",        "LIBPNG",     "SDL",       "FREETYPE",    "DEJAVU",
                                 "DEBIAN",  "GOOGLETEST", "BENCHMARK",  "SOX",       "IMAGEMAGICK", "XVFB",
                                 "XDOTOOL", "CLANG",      "EMSCRIPTEN", "LIBSODIUM", "GTEST"};
    for (int k = 0; k < kMenuCredits; ++k)
        for (int line = 0; line < MainMenu::kCreditLines; ++line)
            for (const char* tool : tools)
                EXPECT_EQ(std::strstr(MainMenu::kCredits[k][line], tool), nullptr)
                    << "panel " << k << " line " << line << ": " << MainMenu::kCredits[k][line];
}

}  // namespace
