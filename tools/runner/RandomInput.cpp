#include "RandomInput.h"

#include <cstring>

#include "Autopilot.h"
#include "app/Game.h"
#include "hosts/headless/HeadlessHost.h"
#include "io/Input.h"

namespace {

// Both players' worm keys: left, right, warp, jump, boost, brake.
constexpr const uint8_t (&kWormKeys)[2][kPlayKeyCount] = kDefaultPlayKeys.code;
constexpr uint8_t kEsc = 0x01;
constexpr uint8_t kKeyY = 0x15;
constexpr uint8_t kKeyN = 0x31;
constexpr uint8_t kKeyO = 0x18;
constexpr uint8_t kSpace = 0x39;
constexpr uint8_t kEnter = 0x1C;
constexpr uint8_t kBackspace = 0x0E;
constexpr uint8_t kColonKey = 0x27;  // types ':' into an address
constexpr uint8_t kArrowKeys[] = {0xC8, 0xD0, 0xCB, 0xCD};

// Keys that type: the letter rows and the digits 2 to 0. The '1' key is left
// out: while it is down the game writes a screen dump on every frame.
constexpr uint8_t kTypingKeys[] = {
    0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B,        // 2..0
    0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19,  // Q..P
    0x1E, 0x1F, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26,        // A..L
    0x2C, 0x2D, 0x2E, 0x2F, 0x30, 0x31, 0x32,                    // Z..M
};
constexpr int32_t kTypingKeyCount = static_cast<int32_t>(sizeof kTypingKeys);

// Margin round the Quit item inside which the button is never left down
// when the next frame may be a main-menu frame.
constexpr int32_t kQuitMargin = 8;

bool OnScreen(const Sprite& s) { return s.x >= 0 && s.y >= 0 && s.x < kScreenWidth && s.y < kScreenHeight; }

bool Inside(const Sprite& s, int32_t x, int32_t y, int32_t margin) {
    return x >= s.x - margin && y >= s.y - margin && x < s.x + s.cellWidth + margin && y < s.y + s.cellHeight + margin;
}

}  // namespace

const char* SoakScreenName(int32_t screen) {
    static const char* const kNames[kSoakScreenCount] = {"menu",   "info",     "highscores", "setup",     "play",
                                                         "points", "gameover", "options",    "twoplayers"};
    return screen >= 0 && screen < kSoakScreenCount ? kNames[screen] : "?";
}

SoakScreen ClassifySoakScreen(const Game& game) {
    switch (game.state) {
    case GameState::MainMenu:
        return kSoakMenu;
    case GameState::Info:
        return kSoakInfo;
    case GameState::HighScores:
        return kSoakHighScores;
    case GameState::PlayerSetup:
    case GameState::Connecting:
        return kSoakSetup;
    case GameState::Options:
        return kSoakOptions;
    case GameState::TwoPlayers:
        return kSoakTwoPlayers;
    case GameState::Playing:
        break;
    }
    const Match& m = game.match;
    if (m.playerOut[0] && m.playerOut[1]) return kSoakGameOver;
    if (m.PointsPhase()) return kSoakPoints;
    return kSoakPlay;
}

RandomInput::RandomInput(HeadlessHost& host, const Game& game, uint32_t seed, Autopilot* autopilot)
    : host_(host), game_(game), autopilot_(autopilot), state_(seed * 2654435761u + 0x9E3779B9u) {
    if (state_ == 0) state_ = 1;
}

uint32_t RandomInput::Next() {
    // xorshift32
    uint32_t x = state_;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    state_ = x;
    return x;
}

// ---- keys -------------------------------------------------------------------

void RandomInput::Tap(uint8_t code, int32_t passes) {
    int32_t slot = -1;
    for (int32_t i = 0; i < kMaxHeld; ++i) {
        if (heldPasses_[i] > 0 && heldCode_[i] == code) slot = i;
        if (slot < 0 && heldPasses_[i] == 0) slot = i;
    }
    if (slot < 0) return;  // enough keys down already
    heldCode_[slot] = code;
    heldPasses_[slot] = passes;
    host_.SetKey(code, true);
}

void RandomInput::ReleaseKeys() {
    for (int32_t i = 0; i < kMaxHeld; ++i) {
        if (heldPasses_[i] > 0) host_.SetKey(heldCode_[i], false);
        heldPasses_[i] = 0;
    }
}

void RandomInput::StepKeys() {
    for (int32_t i = 0; i < kMaxHeld; ++i) {
        if (heldPasses_[i] == 0) continue;
        if (--heldPasses_[i] == 0) host_.SetKey(heldCode_[i], false);
    }
}

// ---- mouse ------------------------------------------------------------------

void RandomInput::StartClick(int32_t x, int32_t y) {
    clickX_ = x;
    clickY_ = y;
    clickStep_ = 3;
}

bool RandomInput::StartClickOn(const Sprite& sprite) {
    if (!OnScreen(sprite)) return false;
    StartClick(sprite.x + Below(sprite.cellWidth > 4 ? sprite.cellWidth - 2 : 1) + 1,
               sprite.y + Below(sprite.cellHeight > 4 ? sprite.cellHeight - 2 : 1) + 1);
    return true;
}

// A click is three passes: the pointer moves there with the button up, the
// button goes down, the button comes up (the screens take a click from the
// pointer as the previous pass left it).
void RandomInput::StepMouse() {
    if (clickStep_ == 0) return;
    if (clickStep_ == 3) host_.MoveMouseTo(clickX_, clickY_);
    buttonDown_ = clickStep_ == 2;
    host_.SetMouseButton(buttonDown_);
    --clickStep_;
}

void RandomInput::Wander() {
    if (Clicking()) return;
    if (Chance(20)) {
        host_.MoveMouseTo(Below(kScreenWidth), Below(kScreenHeight));
    } else if (Chance(150)) {
        host_.MoveMouseTo(host_.PointerX() + Between(-12, 12), host_.PointerY() + Between(-12, 12));
    }
}

// The Quit item ends the program when the first main-menu frame after this
// pass finds the pointer on it with the button down; so whenever this pass
// may end on the main menu, the button is not left down over it.
void RandomInput::GuardQuit() {
    const uint8_t* keys = host_.KeyStates();
    const GameState state = game_.state;
    const bool mayReachMenu = state == GameState::MainMenu || state == GameState::Info || state == GameState::Options ||
                              state == GameState::TwoPlayers || keys[kEsc] != 0 ||
                              (state == GameState::HighScores && backPending_) ||
                              (state == GameState::Playing && game_.exitBoxShown && keys[kKeyY] != 0);
    const Sprite& quit = game_.mainMenu.itemSprites[4];
    // While the menu slides in, the item moves left; everything right of it
    // is covered later.
    const bool inQuit = Inside(quit, host_.PointerX(), host_.PointerY(), kQuitMargin) ||
                        (host_.PointerX() >= quit.x - kQuitMargin && host_.PointerY() >= quit.y - kQuitMargin &&
                         host_.PointerY() < quit.y + quit.cellHeight + kQuitMargin && game_.mainMenu.slideOffset > 90);
    if (mayReachMenu && inQuit) {
        host_.SetMouseButton(false);
        buttonDown_ = false;
        clickStep_ = 0;
    }
    // On the menu Esc is never down.
    if (state == GameState::MainMenu) host_.SetKey(kEsc, false);
}

// ---- screens ----------------------------------------------------------------

void RandomInput::MenuInput() {
    for (int32_t i = 0; i < kMaxHeld; ++i)
        if (heldPasses_[i] > 0 && heldCode_[i] == kEsc) heldPasses_[i] = 1;
    const MainMenu& menu = game_.mainMenu;
    if (Clicking()) return;
    if (screenFrames_ < dwell_) {
        if (Chance(6))
            StartClickOn(menu.difficultySprites[Below(3)]);
        else if (Chance(2))
            StartClickOn(menu.humSwitch);
        else if (Chance(8))
            host_.MoveMouseTo(menu.creditButtons[Below(3)].x + Between(2, 20),
                              menu.creditButtons[Below(3)].y + Between(2, 15));
        else if (Chance(10))
            Tap(kTypingKeys[Below(kTypingKeyCount)], Between(1, 4));
        else
            Wander();
        return;
    }
    // Time to go somewhere: ONE PLAYER, TWO PLAYERS, HIGH SCORES, INFO or
    // OPTIONS (its button or its key), never QUIT.
    const int32_t r = Below(100);
    if (r >= 90) {
        if (Chance(500))
            StartClickOn(menu.optionsButton);
        else
            Tap(kKeyO, Between(1, 3));
        return;
    }
    const int32_t item = r < 27 ? 0 : r < 45 ? 1 : r < 68 ? 2 : 3;
    StartClickOn(menu.itemSprites[item]);
}

void RandomInput::InfoInput() {
    if (Clicking()) return;
    if (screenFrames_ < dwell_) {
        if (Chance(10))
            Tap(kTypingKeys[Below(kTypingKeyCount)], Between(1, 4));
        else if (Chance(5))
            host_.MoveMouseTo(game_.infoScreen.ballSprite.x + 4, game_.infoScreen.ballSprite.y + 4);
        else
            Wander();
        return;
    }
    if (Chance(700))
        StartClickOn(game_.infoScreen.ballSprite);
    else
        Tap(kEsc, Between(1, 3));
}

void RandomInput::HighScoresInput() {
    if (Clicking()) return;
    const HighScoreTable& table = game_.highScoreScreen;
    if (screenFrames_ < dwell_) {
        if (Chance(8))
            StartClickOn(table.labels[Below(3)]);
        else if (Chance(5))
            Tap(kTypingKeys[Below(kTypingKeyCount)], Between(1, 4));
        else
            Wander();
        return;
    }
    if (Chance(700))
        StartClickOn(table.backButton);
    else
        Tap(kEsc, Between(1, 3));
}

// The options screen is looked at, never changed: a soak plays with the
// keys it started with. Esc goes back.
void RandomInput::OptionsInput() {
    if (Clicking()) return;
    if (screenFrames_ < dwell_)
        Wander();
    else if ((screenFrames_ - dwell_) % 50 == 0)
        Tap(kEsc, Between(1, 3));
}

// The two-players screen: the port and the delay stepped, the address typed
// and cut back, and now and then a join refused (an address that ends in
// ':' never parses). It never hosts or joins, which would wait for another
// game; it leaves for the set-up (this keyboard), by BACK or by Esc.
void RandomInput::TwoPlayersInput() {
    if (Clicking()) return;
    using S = TwoPlayersScreen;
    const S& screen = game_.twoPlayersScreen;
    auto clickEntry = [&](int32_t entry) {
        const ScreenBox& b = S::EntryBox(entry);
        StartClick(b.x + 1 + Below(b.w - 2), b.y + 1 + Below(b.h - 2));
    };
    const size_t length = std::strlen(screen.address);
    const bool typing = screen.row == S::kJoinRow || screen.row == S::kHostRow;
    if (screenFrames_ < dwell_) {
        static const int32_t kSteps[] = {S::kPortDown,  S::kPortUp,  S::kPortField,
                                         S::kDelayDown, S::kDelayUp, S::kAddressField};
        if (Chance(8))
            clickEntry(kSteps[Below(6)]);
        else if (screen.row == S::kJoinRow && length > 0 && screen.address[length - 1] == ':' && Chance(30))
            clickEntry(S::kJoinEntry);  // refused
        else if (typing && Chance(60))
            Tap(Chance(150) ? kBackspace : Chance(60) ? kColonKey : kTypingKeys[Below(kTypingKeyCount)], 1);
        else if (Chance(5))
            Tap(kArrowKeys[Below(4)], Between(1, 3));
        else
            Wander();
        return;
    }
    if ((screenFrames_ - dwell_) % 30 != 0) return;
    const int32_t r = Below(100);
    if (r < 50)
        clickEntry(S::kKeyboardEntry);
    else if (r < 80)
        clickEntry(S::kBackEntry);
    else
        Tap(kEsc, Between(1, 3));
}

void RandomInput::SetupInput() {
    if (Clicking()) return;
    const SetupScreen& screen = game_.setupScreen;
    bool anyHeld = false;
    for (int32_t i = 0; i < kMaxHeld; ++i)
        if (heldPasses_[i] > 0) anyHeld = true;
    if (screenFrames_ < dwell_) {
        if (Chance(10))
            StartClickOn(Chance(500) ? screen.leftArrow : screen.rightArrow);
        else if (!anyHeld && Chance(300))
            Tap(Chance(120) ? kBackspace : kTypingKeys[Below(kTypingKeyCount)], Between(1, 3));
        else if (Chance(3))
            Tap(kWormKeys[Below(2)][Below(6)], 1);
        else
            Wander();
        return;
    }
    // Done: Enter or OK for each player, now and then Esc back to the menu.
    if (anyHeld || (screenFrames_ - dwell_) % 20 != 0) return;
    const int32_t r = Below(100);
    if (r < 60)
        Tap(kEnter, Between(1, 3));
    else if (r < 93)
        StartClickOn(screen.okButton);
    else
        Tap(kEsc, Between(1, 3));
}

void RandomInput::RandomPlay() {
    const Match& m = game_.match;
    if (Chance(40)) Tap(kSpace, Between(1, 3));
    for (int32_t p = 0; p < m.players && p < 2; ++p)
        if (Chance(60)) Tap(kWormKeys[p][Below(10) < 7 ? Below(2) : Below(6)], Between(1, 4));
}

// While the autopilot plays, now and then a warp just before a worm's exit
// opens, so that the jump it makes at once follows a warp by a step or less:
// the timing that once left a jump without end.
void RandomInput::WarpNearTheExit() {
    const Match& m = game_.match;
    for (int32_t p = 0; p < m.players && p < 2; ++p) {
        const Worm& w = m.worms[p];
        if (!w.active || !w.alive || w.jumping || w.exitOpen || w.exitMarker != 0) continue;
        if (w.length + w.pendingGrowth >= w.targetLength && Chance(20)) Tap(kWormKeys[p][2], 1);
    }
}

void RandomInput::PointsInput() {
    if (Clicking()) return;
    const SetupScreen& screen = game_.setupScreen;
    if (screenFrames_ < dwell_) {
        if (Chance(30))
            StartClickOn(screen.plusSigns[Below(kShipRows)]);
        else
            Wander();
        return;
    }
    StartClickOn(screen.okButton);
}

void RandomInput::GameOverInput() {
    if (Clicking()) return;
    const HighScoreTable& table = game_.highScoreScreen;
    if (screenFrames_ < dwell_) {
        if (Chance(5))
            StartClickOn(table.labels[Below(3)]);
        else
            Wander();
        return;
    }
    StartClickOn(Chance(350) ? table.continueButton : table.backButton);
}

void RandomInput::ExitBoxInput() {
    if (Clicking()) return;
    const uint8_t* keys = host_.KeyStates();
    if (keys[kKeyY] || keys[kKeyN] || keys[kEsc]) return;
    if (screenFrames_ < dwell_ || Below(100) >= 10) {
        Wander();
        return;
    }
    // Leave for the menu about a third of the time.
    Tap(Chance(350) ? kKeyY : kKeyN, Between(1, 3));
}

void RandomInput::PlayingInput(int64_t frame) {
    const Match& m = game_.match;
    const bool piloted = autopilot_ && playFrames_ < pilotUntil_;
    if (game_.exitBoxShown && !host_.KeyStates()[kEsc]) {
        ExitBoxInput();
        return;
    }
    if (screen_ == kSoakGameOver) {
        GameOverInput();
        return;
    }
    if (screen_ == kSoakPoints) {
        if (piloted)
            autopilot_->BeforePass(frame);
        else
            PointsInput();
        return;
    }
    ++playFrames_;
    if (piloted) {
        autopilot_->BeforePass(frame);
        WarpNearTheExit();
    } else {
        RandomPlay();
    }
    // Now and then Esc, for the EXIT Y/N box.
    if (!m.IntroPending() && Chance(1)) Tap(kEsc, Between(1, 4));
    if (!piloted) Wander();
}

void RandomInput::BeforePass(int64_t frame) {
    const int32_t screen = ClassifySoakScreen(game_);
    if (screen != screen_) {
        const int32_t previous = screen_;
        screen_ = screen;
        screenFrames_ = 0;
        switch (screen) {
        case kSoakMenu:
            dwell_ = Between(20, 500);
            break;
        case kSoakInfo:
        case kSoakHighScores:
            dwell_ = Between(50, 600);
            break;
        case kSoakSetup:
            dwell_ = Between(30, 300);
            break;
        case kSoakPoints:
            dwell_ = Between(20, 300);
            break;
        case kSoakGameOver:
            dwell_ = Between(50, 600);
            break;
        default:
            dwell_ = Between(20, 200);
            break;
        }
        // A new game (from the set-up screen, or continued from the
        // game-over table): the autopilot plays it for a while, unless this
        // one is all random.
        if (screen == kSoakPlay && (previous == kSoakSetup || previous == kSoakGameOver)) {
            playFrames_ = 0;
            pilotUntil_ = autopilot_ && Chance(850) ? Between(2000, 30000) : 0;
        }
        if (previous != kSoakPlay) ReleaseKeys();
    }
    ++screenFrames_;
    if (game_.exitBoxShown && !dwellForBox_) {
        dwellForBox_ = true;
        dwell_ = static_cast<int32_t>(screenFrames_) + Between(10, 200);
    } else if (!game_.exitBoxShown) {
        dwellForBox_ = false;
    }
    StepKeys();

    const bool pilotPoints = autopilot_ && playFrames_ < pilotUntil_ && screen_ == kSoakPoints;
    switch (game_.state) {
    case GameState::MainMenu:
        MenuInput();
        break;
    case GameState::Info:
        InfoInput();
        break;
    case GameState::HighScores:
        HighScoresInput();
        break;
    case GameState::Options:
        OptionsInput();
        break;
    case GameState::TwoPlayers:
        TwoPlayersInput();
        break;
    case GameState::PlayerSetup:
    case GameState::Connecting:
        SetupInput();
        break;
    case GameState::Playing:
        PlayingInput(frame);
        break;
    }
    if (!pilotPoints) StepMouse();
    GuardQuit();
    backPending_ = game_.state == GameState::HighScores && buttonDown_ &&
                   Inside(game_.highScoreScreen.backButton, host_.PointerX(), host_.PointerY(), 0);
}

void RandomInput::AfterPass(int64_t frame) {
    (void)frame;
    ++counts_[ClassifySoakScreen(game_)];
}
