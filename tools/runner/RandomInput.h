#pragma once
#include <cstdint>

class Autopilot;
class Game;
class HeadlessHost;
class Sprite;

// The screens a soak counts its frames on.
enum SoakScreen : int32_t {
    kSoakMenu = 0,  // main menu, credits panel included
    kSoakInfo,
    kSoakHighScores,
    kSoakSetup,
    kSoakPlay,  // play outside the points screens and the game-over table
    kSoakPoints,
    kSoakGameOver,
    kSoakOptions,
    kSoakTwoPlayers,  // only with a link: TWO PLAYERS goes straight to the set-up without one
    kSoakScreenCount
};

const char* SoakScreenName(int32_t screen);
SoakScreen ClassifySoakScreen(const Game& game);

// The runner's soak input: random keys, typing, mouse moves and clicks
// through the headless host, seeded, and biased so that a long run visits
// every screen again and again. It never ends the program: on the main menu
// Esc stays up and the Quit item is never clicked (nor left under a pressed
// button when a screen returns to the menu).
//
// With an autopilot, each game is played by the autopilot for a while (it
// steers, presses SPACE and spends the points) and then by random worm keys
// until it is over; random input drives everything else, plus an occasional
// Esc and Y/N during play.
class RandomInput {
public:
    RandomInput(HeadlessHost& host, const Game& game, uint32_t seed, Autopilot* autopilot);

    void BeforePass(int64_t frame);
    // Counts the pass that has just run on the screen the game now shows.
    void AfterPass(int64_t frame);

    const int64_t* Counts() const { return counts_; }

private:
    uint32_t Next();
    int32_t Below(int32_t n) { return static_cast<int32_t>(Next() % static_cast<uint32_t>(n)); }
    bool Chance(int32_t perMille) { return Below(1000) < perMille; }
    int32_t Between(int32_t lo, int32_t hi) { return lo + Below(hi - lo + 1); }

    void Tap(uint8_t code, int32_t passes);
    void ReleaseKeys();
    void StepKeys();
    bool Clicking() const { return clickStep_ > 0; }
    void StartClick(int32_t x, int32_t y);
    bool StartClickOn(const Sprite& sprite);
    void StepMouse();
    void Wander();
    void GuardQuit();

    void MenuInput();
    void InfoInput();
    void HighScoresInput();
    void OptionsInput();
    void TwoPlayersInput();
    void SetupInput();
    void PlayingInput(int64_t frame);
    void RandomPlay();
    void WarpNearTheExit();
    void PointsInput();
    void GameOverInput();
    void ExitBoxInput();

    HeadlessHost& host_;
    const Game& game_;
    Autopilot* autopilot_;
    uint32_t state_;

    static constexpr int32_t kMaxHeld = 16;
    uint8_t heldCode_[kMaxHeld] = {};
    int32_t heldPasses_[kMaxHeld] = {};

    int32_t clickStep_ = 0;  // 3: move there, 2: button down, 1: button up
    int32_t clickX_ = 0, clickY_ = 0;
    bool buttonDown_ = false;
    bool backPending_ = false;  // the high-score back button was under a pressed button

    int32_t screen_ = -1;
    int64_t screenFrames_ = 0;
    int32_t dwell_ = 0;
    bool dwellForBox_ = false;  // the EXIT Y/N box has its own wait

    // How the current game is played: by the autopilot until `pilotUntil_`
    // frames of play have passed, then by random worm keys.
    int64_t playFrames_ = 0;
    int64_t pilotUntil_ = 0;

    int64_t counts_[kSoakScreenCount] = {};
};
