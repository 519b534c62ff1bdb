#pragma once
#include <cstdint>
#include <cstdio>

#include "WormPlanner.h"
#include "WormSteering.h"

class Game;
class HeadlessHost;
class Sprite;

// The runner's autopilot: plays the game only through the headless host's
// keys and mouse, as a player at the keyboard would.
//
// Before each pass it looks at the state the previous pass left and sets
// the input for the coming one:
//  - in play, each steered worm turns toward the nearest food it can reach
//    without boxing itself in (WormPlanner), one press a step: a worm reads
//    a key press once and needs all its keys up before the next one counts,
//    so a key is down for one pass and up for at least the next;
//  - a worm whose exit is open jumps out at once; a charge of rockets is
//    spent on a boost;
//  - SPACE is pressed (one pass down, one up) while the level intro shows
//    or a worm waits to restart;
//  - on the points screens it buys upgrades, first what keeps the worm
//    alive (lives, plasma shields, shield recovery, then top speed and
//    acceleration), and clicks OK;
//  - optionally, it starts a one-player game from the main menu: click the
//    difficulty, ONE PLAYER, type the name, Enter;
//  - or, online, TWO PLAYERS: this machine's player's name, Enter, and a
//    wait for the other game; then only the local player's worm, SPACE and
//    points screens are worked;
//  - or, with pads, a two-player game played on two gamepads only: pad 1's
//    stick moves the pointer and its A clicks, the D-pad spells each name,
//    and each pad steers its player's worm (D-pad, B, right shoulder, X).
// After each pass it reports the match's events on its log and decides
// whether the run is over: once the game-over table has been shown, or
// when the game is back at the main menu after a game.
class Autopilot {
public:
    struct Options {
        bool startFromMenu = false;
        uint8_t steer = 3;       // bit 0: player 1's worm, bit 1: player 2's worm
        int32_t difficulty = 0;  // chosen on the menu before ONE PLAYER
        const char* name = "AUTOPILOT";
        // False: the run goes on past the game-over table and the menu
        // (the soak, whose random input drives the rest).
        bool stopAtEnd = true;
        // Everything through two gamepads (a two-player game from the menu).
        bool pads = false;
        // An online game: TWO PLAYERS from the menu, this machine's player
        // set up alone; only its own worm (`steer`) and points screens are
        // worked.
        bool online = false;
    };

    Autopilot(HeadlessHost& host, const Game& game, const Options& options, FILE* log);

    void BeforePass(int64_t frame);
    // False when the run should end after this pass.
    bool AfterPass(int64_t frame);

    int64_t GameOverFrame() const { return gameOverFrame_; }

private:
    void MenuInput();
    void SetupInput();
    void PlayInput();
    void PointsInput();
    void SteerWorm(int32_t player);
    void ClickAt(int32_t x, int32_t y);
    void ClickSprite(const Sprite& sprite);
    void SetWormKey(int32_t player, int32_t key);
    void ReleaseMouse();
    bool PadPointAt(int32_t x, int32_t y);
    void PadSetupInput();
    void Watch(int64_t frame);

    HeadlessHost& host_;
    const Game& game_;
    Options options_;
    FILE* log_;

    bool startedGame_ = false;
    bool sawPlay_ = false;
    int32_t clickPhase_ = 0;
    bool mouseDown_ = false;
    int32_t typed_ = 0;      // characters of the name typed so far
    int32_t typingKey_ = 0;  // the key held on the set-up screen, 0 for none
    bool spaceDown_ = false;
    int32_t wormKeyDown_[2] = {0, 0};  // the worm key held this pass, 0 for none
    int32_t spellingFor_ = -1;         // with pads: whose name the D-pad spells
    int32_t spellPresses_ = 0;         // presses of up for the letter being spelled
    int32_t padButtonDown_ = -1;       // the D-pad press held on the set-up screen
    int32_t padWait_ = 0;              // passes to leave the spelling alone
    WormHunger hunger_[2];

    // What the previous pass showed, for the event log.
    struct Seen {
        bool valid = false;
        bool playing = false;
        bool intro = false;
        int32_t levelIndex = -1;
        bool alive[2] = {};
        int32_t lives[2] = {};
        bool exited[2] = {};
        bool out[2] = {};
        bool tableShown = false;
    };
    Seen seen_;
    PlanBoard board_;
    int64_t gameOverFrame_ = -1;
    bool stop_ = false;
};
