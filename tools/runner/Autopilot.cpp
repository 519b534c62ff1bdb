#include "Autopilot.h"

#include <cstring>
#include <string>

#include "Script.h"
#include "WormPlanner.h"
#include "WormSteering.h"
#include "app/Game.h"
#include "hosts/headless/HeadlessHost.h"
#include "io/Input.h"
#include "platform/PadMapper.h"

namespace {

// Each worm's keys: left, right, warp, jump, boost, brake (the usual ones).
constexpr const uint8_t (&kWormKeys)[2][kPlayKeyCount] = kDefaultPlayKeys.code;

// Upgrades in the order they are bought: first what keeps the worm alive.
constexpr int32_t kUpgradeOrder[] = {RowLives, RowPlasmaShields, RowShieldRecover, RowVelocity, RowAcceleration};

// What each worm key is on its player's pad.
constexpr int kPadForKey[6] = {kPadLeft, kPadRight, kPadB, kPadRightShoulder, kPadX, kPadY};
// The names the pads spell (letters only: the D-pad runs through A..Z).
constexpr const char* kPadNames[2] = {"ADA", "BO"};
// Passes between two D-pad presses while spelling: the name field takes
// the keys a pad spells one a pass, each let go before the next.
constexpr int32_t kSpellPause = 6;

// How far to tilt the stick to close `distance` pixels: all the way when
// far, half way near, not at all when close enough to click.
int StickFor(int32_t distance) {
    const int32_t size = distance < 0 ? -distance : distance;
    const int tilt = size <= 4 ? 0 : (size <= 40 ? 20000 : 32767);
    return distance < 0 ? -tilt : tilt;
}

bool OnScreen(int32_t x, int32_t y) { return x >= 0 && y >= 0 && x < kScreenWidth && y < kScreenHeight; }

}  // namespace

Autopilot::Autopilot(HeadlessHost& host, const Game& game, const Options& options, FILE* log)
    : host_(host), game_(game), options_(options), log_(log) {
    if (options_.pads) {
        host_.Pads().Connect(0);
        host_.Pads().Connect(1);
    }
}

// ---- input ------------------------------------------------------------------

// Pad 1's stick moves the pointer toward (x, y); true once it is there.
bool Autopilot::PadPointAt(int32_t x, int32_t y) {
    const int tiltX = StickFor(x - host_.PointerX());
    const int tiltY = StickFor(y - host_.PointerY());
    host_.Pads().Axis(0, kPadLeftX, tiltX);
    host_.Pads().Axis(0, kPadLeftY, tiltY);
    return tiltX == 0 && tiltY == 0;
}

void Autopilot::ClickAt(int32_t x, int32_t y) {
    // The screens test the pointer and the button as the previous pass's
    // pointer update left them, and take a click only after a pass with the
    // button up: down for one pass, up for two.
    if (options_.pads) {
        if (!PadPointAt(x, y)) {
            if (mouseDown_) host_.Pads().Button(0, kPadA, false);
            mouseDown_ = false;
            clickPhase_ = 0;
            return;
        }
        clickPhase_ = (clickPhase_ + 1) % 3;
        mouseDown_ = clickPhase_ == 0;
        host_.Pads().Button(0, kPadA, mouseDown_);
        return;
    }
    host_.MoveMouseTo(x, y);
    clickPhase_ = (clickPhase_ + 1) % 3;
    mouseDown_ = clickPhase_ == 0;
    host_.SetMouseButton(mouseDown_);
}

void Autopilot::ClickSprite(const Sprite& sprite) {
    ClickAt(sprite.x + (sprite.cellWidth - 2) / 2, sprite.y + (sprite.cellHeight - 2) / 2);
}

void Autopilot::ReleaseMouse() {
    if (options_.pads) {
        if (mouseDown_) host_.Pads().Button(0, kPadA, false);
        host_.Pads().Axis(0, kPadLeftX, 0);
        host_.Pads().Axis(0, kPadLeftY, 0);
    } else if (mouseDown_) {
        host_.SetMouseButton(false);
    }
    mouseDown_ = false;
    clickPhase_ = 0;
}

void Autopilot::SetWormKey(int32_t player, int32_t key) {
    if (wormKeyDown_[player] == key) return;
    if (options_.pads) {
        for (int k = 0; k < 6; ++k) {
            if (kWormKeys[player][k] == wormKeyDown_[player]) host_.Pads().Button(player, kPadForKey[k], false);
            if (kWormKeys[player][k] == key) host_.Pads().Button(player, kPadForKey[k], true);
        }
        wormKeyDown_[player] = key;
        return;
    }
    if (wormKeyDown_[player] != 0) host_.SetKey(static_cast<uint8_t>(wormKeyDown_[player]), false);
    if (key != 0) host_.SetKey(static_cast<uint8_t>(key), true);
    wormKeyDown_[player] = key;
}

void Autopilot::MenuInput() {
    if (!options_.startFromMenu || startedGame_) return;
    const MainMenu& menu = game_.mainMenu;
    if (menu.difficulty != options_.difficulty && options_.difficulty >= 0 && options_.difficulty < 3)
        ClickSprite(menu.difficultySprites[options_.difficulty]);
    else
        ClickSprite(menu.itemSprites[options_.pads || options_.online ? 1 : 0]);  // TWO PLAYERS or ONE PLAYER
}

// Each player's name spelled on the D-pad (up runs through the letters,
// right keeps one), then OK clicked with the stick and A.
void Autopilot::PadSetupInput() {
    PadMapper& pads = host_.Pads();
    const int32_t who = game_.setupScreen.player2Active ? 1 : 0;
    if (who != spellingFor_) {
        spellingFor_ = who;
        typed_ = 0;
        spellPresses_ = 0;
        padWait_ = kSpellPause;
    }
    if (padButtonDown_ >= 0) {
        pads.Button(0, padButtonDown_, false);
        padButtonDown_ = -1;
        padWait_ = kSpellPause;
        return;
    }
    if (padWait_ > 0) {
        --padWait_;
        return;
    }
    const char* name = kPadNames[who];
    if (typed_ < static_cast<int32_t>(std::strlen(name))) {
        const int32_t letter = name[typed_] - 'A';
        if (spellPresses_ <= letter) {
            padButtonDown_ = kPadUp;
            ++spellPresses_;
        } else {
            padButtonDown_ = kPadRight;
            ++typed_;
            spellPresses_ = 0;
        }
        pads.Button(0, padButtonDown_, true);
        return;
    }
    ClickSprite(game_.setupScreen.okButton);
}

void Autopilot::SetupInput() {
    if (!options_.startFromMenu) return;
    startedGame_ = true;
    if (options_.pads) {
        PadSetupInput();
        return;
    }
    ReleaseMouse();
    // One key a pass, with a pass of all keys up between: the name field
    // takes a key once and only after it has been released. After the name
    // comes Enter, again until the screen has gone.
    if (typingKey_ != 0) {
        host_.SetKey(static_cast<uint8_t>(typingKey_), false);
        typingKey_ = 0;
        return;
    }
    const int32_t n = static_cast<int32_t>(std::strlen(options_.name));
    int32_t code = DIK_RETURN;
    if (typed_ < n) {
        code = ParseKeyName(std::string(1, options_.name[typed_]));
        ++typed_;
    }
    if (code <= 0) return;  // a character without a key of its own is left out
    host_.SetKey(static_cast<uint8_t>(code), true);
    typingKey_ = code;
}

void Autopilot::PointsInput() {
    const Match& m = game_.match;
    int32_t p = m.pointsDue[0] && !m.playerOut[0] ? 0 : 1;
    if (m.onlinePlayer >= 0) {
        // Online only this player's own screen; then it waits for the other.
        p = m.onlinePlayer;
        if (!m.pointsDue[p] || m.playerOut[p]) {
            ReleaseMouse();
            return;
        }
    }
    const Worm& w = m.worms[p];
    const SetupScreen& screen = game_.setupScreen;
    const int32_t ship = ShipTableIndex(p == 0 ? game_.playerSetup.ship1 : game_.playerSetup.ship2);
    for (int32_t row : kUpgradeOrder) {
        const Sprite& plus = screen.plusSigns[row];
        if (!SetupScreen::RowAvailable(w.stats, row, w.points, game_.shipLimits[ship], game_.upgradeCosts)) continue;
        if (!OnScreen(plus.x, plus.y)) continue;
        ClickSprite(plus);
        return;
    }
    ClickSprite(screen.okButton);
}

void Autopilot::SteerWorm(int32_t player) {
    const int32_t key = SteerKey(game_.match, player, wormKeyDown_[player] != 0, hunger_[player], &board_);
    SetWormKey(player, key < 0 ? 0 : kWormKeys[player][key]);
}

void Autopilot::PlayInput() {
    const Match& m = game_.match;
    sawPlay_ = true;
    const bool gameOver = m.playerOut[0] && m.playerOut[1];

    // The match takes SPACE once and only after it has been released: down
    // for one pass, up for the next.
    bool waiting = !game_.exitBoxShown && !gameOver && !m.PointsPhase() && m.IntroPending();
    for (int32_t i = 0; i < m.players && i < 2 && !game_.exitBoxShown && !gameOver && !m.PointsPhase(); ++i) {
        if (m.onlinePlayer >= 0 && i != m.onlinePlayer) continue;  // the other machine starts its own
        const Worm& w = m.worms[i];
        if (!m.playerOut[i] && !w.active && !w.exited && w.stats.lives != 0) waiting = true;
    }
    const bool space = waiting && !spaceDown_;
    if (space != spaceDown_) {
        if (options_.pads) {
            host_.Pads().Button(0, kPadA, space);  // A starts the waiting worms
        } else {
            host_.SetKey(DIK_SPACE, space);
        }
    }
    spaceDown_ = space;

    if (m.PointsPhase() && !gameOver && !game_.exitBoxShown) {
        PointsInput();
        return;
    }
    ReleaseMouse();
    if (game_.exitBoxShown || gameOver || m.IntroPending()) {
        SetWormKey(0, 0);
        SetWormKey(1, 0);
        return;
    }
    // Online, only this machine's worm (which a room's pairing may name late).
    for (int32_t i = 0; i < m.players && i < 2; ++i)
        if ((options_.steer & (1 << i)) && (m.onlinePlayer < 0 || i == m.onlinePlayer)) SteerWorm(i);
}

void Autopilot::BeforePass(int64_t frame) {
    (void)frame;
    if (stop_) return;
    switch (game_.state) {
    case GameState::MainMenu:
        MenuInput();
        break;
    case GameState::PlayerSetup:
        SetupInput();
        break;
    case GameState::Playing:
        if (typingKey_ != 0) {
            host_.SetKey(static_cast<uint8_t>(typingKey_), false);
            typingKey_ = 0;
        }
        PlayInput();
        break;
    default:
        break;
    }
}

// ---- watching ---------------------------------------------------------------

void Autopilot::Watch(int64_t frame) {
    const Match& m = game_.match;
    Seen now;
    now.valid = true;
    now.playing = game_.state == GameState::Playing && m.level != nullptr;
    now.intro = now.playing && m.IntroPending();
    now.levelIndex = m.levelIndex;
    for (int32_t i = 0; i < 2; ++i) {
        now.alive[i] = m.worms[i].alive != 0;
        now.lives[i] = m.worms[i].stats.lives;
        now.exited[i] = m.worms[i].exited != 0;
        now.out[i] = m.playerOut[i] != 0;
    }
    now.tableShown = m.TableShown();

    // Hunger: steps taken since the worm last ate or started.
    for (int32_t i = 0; i < 2; ++i) hunger_[i].Watch(m.worms[i]);

    if (now.playing && log_) {
        const bool wasPlaying = seen_.valid && seen_.playing;
        if (now.intro && !(wasPlaying && seen_.intro && seen_.levelIndex == now.levelIndex)) {
            int32_t food = 0;
            for (const FoodItem& item : m.food.items)
                if (item.cellType != CellType::Empty) ++food;
            std::fprintf(log_, "frame %lld: level %d intro (target %d, food %d, targetFactor %.9g, extraFood %d)\n",
                         static_cast<long long>(frame), m.levelIndex + 1, m.level->target, food,
                         static_cast<double>(m.targetFactor), m.extraFood);
        }
        for (int32_t i = 0; wasPlaying && i < m.players && i < 2; ++i) {
            const Worm& w = m.worms[i];
            // A worm boxed in at its start cell dies within the pass that
            // starts it, so deaths are told by the lives.
            if (now.lives[i] < seen_.lives[i] && !now.alive[i])
                std::fprintf(log_, "frame %lld: player %d lost a life (lives left %d, length %d)\n",
                             static_cast<long long>(frame), i + 1, w.stats.lives, w.length);
            if (!seen_.exited[i] && now.exited[i])
                std::fprintf(log_, "frame %lld: player %d left level %d (score %d, points %d, length %d)\n",
                             static_cast<long long>(frame), i + 1, m.levelIndex + 1, w.score, w.points, w.length);
            if (!seen_.out[i] && now.out[i] && !m.allLevelsDone)
                std::fprintf(log_, "frame %lld: player %d out (targetFactor %.9g, extraFood %d)\n",
                             static_cast<long long>(frame), i + 1, static_cast<double>(m.targetFactor), m.extraFood);
        }
    }
    if (now.playing && now.out[0] && now.out[1] && now.tableShown && gameOverFrame_ < 0) {
        gameOverFrame_ = frame;
        if (log_) {
            std::fprintf(log_, "frame %lld: game over at level %d%s (score %d", static_cast<long long>(frame),
                         m.levelIndex + 1, m.allLevelsDone ? ", all levels done" : "", m.worms[0].score);
            if (m.players == 2) std::fprintf(log_, ", %d", m.worms[1].score);
            std::fprintf(log_, ")\n");
        }
        stop_ = options_.stopAtEnd;
    }
    // (An online game that could not start is back at the menu too.)
    if ((sawPlay_ || (options_.online && startedGame_)) && game_.state == GameState::MainMenu && !stop_ &&
        options_.stopAtEnd) {
        if (log_) std::fprintf(log_, "frame %lld: back at the menu\n", static_cast<long long>(frame));
        stop_ = true;
    }
    // Without a stop at the end, each new game gets its game-over line.
    if (!options_.stopAtEnd && !(now.out[0] && now.out[1])) gameOverFrame_ = -1;
    seen_ = now;
}

bool Autopilot::AfterPass(int64_t frame) {
    Watch(frame);
    return !stop_;
}
