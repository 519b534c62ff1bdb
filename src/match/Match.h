#pragma once
#include <cstdint>

#include "gfx/Font.h"
#include "gfx/ImageLoader.h"
#include "gfx/PaletteFader.h"
#include "io/Input.h"
#include "io/MouseCursor.h"
#include "io/SoundBank.h"
#include "match/Arena.h"
#include "match/FoodSet.h"
#include "match/PlayInput.h"
#include "screens/HighScoreTable.h"
#include "screens/PlayerSetup.h"
#include "screens/SetupScreen.h"
#include "world/ArenaGrid.h"
#include "world/ShipStats.h"
#include "world/Worm.h"

// Where a game stands.
enum class MatchPhase : uint8_t {
    Intro,   // a level's intro panel, until SPACE starts the worms
    Play,    // the level is played (the game-over cue stands over it too)
    Points,  // the points screens between levels
    Table,   // the game-over table
    // Between screens: the level or the table left, the next level not yet
    // loaded (a level that cannot be loaded leaves the game here).
    Between,
};

// A game of up to 20 levels for one or two players: level intro, play,
// points screens between levels, game over with the high-score table,
// continuing, and the end after the twentieth level.
class Match {
public:
    static constexpr int32_t kLevels = 20;
    static constexpr int32_t kTimerLevel = 5;
    // Frames the "GAME OVER" cue stands before the table.
    static constexpr int32_t kGameOverCueFrames = 175;
    // The play area's bottom edge: the status bar lies below it, and
    // nothing of play (sprites, the waiting player's line) is drawn there.
    static constexpr int32_t kStatusBarTop = kArenaBottom;

    void Init(Font* bigFont, Font* smallFont, Font* mediumFont, ImageBank* imageBank, SoundBank* sounds,
              const ShipStats* baseStats0, const ShipStats* baseStats1, SetupScreen* setupScreen,
              HighScoreTable* highScores, MouseCursor* cursor);
    void SetPlayers(const PlayerSetup* setup);
    // The keys each player steers with (the players' own choice, or
    // kDefaultPlayKeys): Frame reads each player's actions by them.
    void SetPlayKeys(const PlayKeys& keys);
    // A new game of the difficulty: Reset, then the difficulty's high-score
    // table and the first level are read.
    void Begin(int32_t difficulty);
    void Reset(int32_t difficulty);
    void Enter();
    // One pass with the keys as KeyState holds them (local play, replays):
    // the worms and SPACE read them as the pass begins, and SPACE's latch
    // is let go by the keys as they stand after it (the name field of the
    // table reads the keyboard again).
    bool Frame();
    // One pass with the input given (the online session, a pass run again).
    bool Frame(const PlayInput& input);
    void Leave();
    void Shutdown();
    // The game stands still (Esc held or the exit box up): the level clock
    // stops until the next Frame.
    void Freeze();
    void Resume();

    // Loads the file of level levelIndex, or that level from its file's bytes
    // already in memory; false when the level cannot be used, with the
    // reason in levelError.
    bool LoadLevel();
    bool LoadLevelBytes(const uint8_t* bytes, int64_t size);
    bool RefuseLevel(const char* reason);
    void IntroFrame(const PlayInput& input);
    void PlayFrame(const PlayInput& input);
    void PointsFrame();
    int32_t GameOverFrame();
    void PlayWorms(const PlayInput& input);
    void ShowWaiting(int32_t player);
    bool DrawLevelClock(int32_t x, int32_t y, uint32_t start, int32_t duration);
    void DrawStatusBar();
    void DrawExitCountdown(int32_t player);
    void DrawGameOverCue();
    // Text on a clean patch of the arena: whatever play drew in the text's
    // box is wiped first, so that no sprite shows through or over it.
    void DrawTextClear(Font* font, int32_t x, int32_t y, const char* text);

    // Online play: the player this machine's player steers (-1: both are
    // played here). Each machine works its own player's points screens and
    // waits for the other's (pointsReady, then TakePoints).
    int32_t onlinePlayer = -1;
    // Set while a pass runs under the rollback session: a pass that ends
    // the level or the game stops there (levelEnd = 1) instead of going on
    // to the points screens or the table, until the game lets it go on
    // (levelEnd = 2: the next frame goes on from where the pass stopped).
    uint8_t holdLevelEnds = 0;
    uint8_t levelEnd = 0;
    // Online: this machine's player closed its points screen.
    uint8_t pointsReady = 0;
    // A player's points screen as it closed (a replay of an online game
    // takes both players' so).
    void TakePoints(int32_t player, const ShipStats& stats, int32_t points);
    // Whether a player's points screen could have closed with these values:
    // each value reached from the worm's own (as play left it at the level's
    // exit) by whole steps of the screen, none past the ship type's limits,
    // the steps' costs paid from the points play gave, what is left the
    // points said. nullptr when it could; otherwise why not, in words.
    const char* PointsFault(int32_t player, const ShipStats& stats, int32_t points) const;
    // Online: the link went or the other player left: the game ends here,
    // its results kept, and the table follows.
    void EndOnline();
    // Passes of a level under way (not its end, nor the screens between levels).
    bool InLevelPlay() const { return InPlay() && !resultsSaved && !allLevelsDone && levelEnd == 0; }
    // The phase as play's flags once named it (the state hash takes these).
    bool IntroPending() const { return phase == MatchPhase::Intro; }
    // The arena is on show: the intro or play (not behind the points
    // screens or the table).
    bool InPlay() const { return phase == MatchPhase::Intro || phase == MatchPhase::Play; }
    bool PointsPhase() const { return phase == MatchPhase::Points; }
    bool TableShown() const { return phase == MatchPhase::Table; }  // the game-over table has faded in

    MatchPhase phase = MatchPhase::Between;

    uint8_t resultsSaved = 0;  // this game's results are in the table (and saved when they could be)
    // A replayed game: its results were kept when it was played, so the
    // table only shows them and nothing is written.
    uint8_t resultsOffDisk = 0;
    uint8_t playerDone[2] = {};
    uint8_t spaceLatch = 0;
    uint8_t playerOut[2] = {};
    uint8_t pointsDue[2] = {};
    uint8_t allLevelsDone = 0;
    uint8_t timerExpired = 0;
    PaletteEntry targetPalette[kPaletteSize] = {};
    Worm worms[2];
    FoodSet food;
    Arena arena;
    ArenaGrid grid;
    Font* bigFont = nullptr;
    Font* mediumFont = nullptr;
    Font* smallFont = nullptr;
    SetupScreen* setupScreen = nullptr;
    char names[2][20] = {};
    PlayKeys playKeys = kDefaultPlayKeys;
    const LevelHeader* level = nullptr;
    HighScoreTable* highScores = nullptr;
    char levelFileName[30] = {};
    int32_t levelIndex = 0;
    int32_t players = 1;
    int32_t extraFood = 0;
    int32_t difficulty = 0;
    int32_t endChoice = 0;
    float targetFactor = 1.0f;
    int32_t exitShownAt[2] = {};
    int32_t exitNumberX[2] = {};
    int32_t exitNumberY[2] = {};
    uint32_t timerStart = 0;
    // Frozen since the tick count frozenAt.
    uint8_t frozen = 0;
    uint32_t frozenAt = 0;
    // Frames the "GAME OVER" cue has been shown.
    int32_t gameOverCue = 0;
    uint8_t cueShowing = 0;        // this frame shows the cue
    uint8_t waitingShown[2] = {};  // this frame shows the player's "PRESS SPACE"
    SoundBank* sounds = nullptr;
    ImageBank* imageBank = nullptr;
    MouseCursor* cursor = nullptr;
    const PlayerSetup* playerSetup = nullptr;
    const ShipStats* shipBaseStatsRef[2] = {};
    PaletteFader fader;

    // A level that could not be loaded ends the game: the flag and the reason.
    uint8_t levelFailed = 0;
    char levelError[200] = {};

private:
    bool RunFrame(const PlayInput& input);
    // SPACE is taken again once it and Y are both up.
    void FollowSpaceLatch(bool spaceDown, bool yesDown);
    // PlayFrame's parts: the game is over (the cue, the table, a
    // continue), a continue, and the level done (the points screens).
    void GameOverPassFrame();
    void Continue();
    void LevelDone();
    void ArmSetupScreen();
    // True once the points screens close.
    bool OnlinePointsFrame();
    void SaveResults();
    static float AddFactor(float factor, float delta);
    void StartingFactors();
};
