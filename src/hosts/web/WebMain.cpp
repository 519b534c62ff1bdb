// VoidCrawl in the browser: the entry point of the web build. The page
// (web/voidcrawl-page.js) starts it when the player has clicked, with the
// data set mounted at /data; when the game ends the page says so and offers
// to start again.
//
// Replays: the page writes a replay file into the module's memory and
// names it, on the command line of a new run (--replay FILE, as on the
// desktop) or, while the game runs, through vc_web_watch_replay, taken
// between two passes. The page hears how the watching goes (replayStatus):
// the state hashes matched so far, then verified, out of step at a level,
// left, or the file refused with the desktop's words.
#include <emscripten.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "WormSteering.h"
#include "app/FrameLoop.h"
#include "app/Game.h"
#include "app/Replay.h"
#include "hosts/web/WebHost.h"
#include "hosts/web/WebRoomSocket.h"
#include "hosts/web/WebStore.h"
#include "hosts/web/WebWorld.h"
#include "io/Input.h"
#include "io/PlayActions.h"
#include "net/UdpLink.h"
#include "platform/DataDir.h"
#include "platform/Host.h"
#include "platform/KeyCodes.h"
#include "platform/SaveFile.h"
#include "platform/Settings.h"
#include "platform/UserDir.h"

namespace {

Game game;  // large: it holds every screen and the worms

// The replay being watched, whole.
uint8_t watchedFile[kReplayFileCapacity];
// A replay the page asked for, until the next pass takes it.
char askedPath[kMaxUserPath] = {};
char askedCode[kWorldFeedCodeBytes] = {};  // a live game the page asked to watch

// The bodies of EM_JS are JavaScript, which the C++ formatter would break.
// clang-format off
EM_JS(void, WebGameEnded, (int failed), {
    if (Module.vcPage) Module.vcPage.gameEnded(Module, failed !== 0);
});

EM_JS(void, WebReplayStatus, (const char* state, int hashes, int level, const char* text), {
    if (Module.vcPage) Module.vcPage.replayStatus(UTF8ToString(state), hashes, level, UTF8ToString(text));
});

EM_JS(void, WebPlayMode, (const char* mode, int paused, int speed), {
    if (Module.vcPage && Module.vcPage.playMode) Module.vcPage.playMode(UTF8ToString(mode), paused !== 0, speed);
});
// clang-format on

// What the page's touch controls offer as the game stands: the name field's
// keyboard on the set-up screen, the pause button in play, YES and NO while
// the EXIT box is up, the replay's own buttons while one is watched, and
// nothing of these elsewhere (Esc on the menu ends the game).
const char* TouchMode() {
    if (game.watchingReplay) return "replay";
    if (game.state == GameState::Playing) return game.exitBoxShown ? "exit" : "play";
    if (game.state == GameState::PlayerSetup) return "name";
    return "menu";
}

// Reads the replay at `path` and watches it: at once in a game that runs
// (`running`), else from the first pass. A file this game cannot play, or
// one handed in during a game, is said where the player looks.
void WatchReplayFile(const char* path, bool running) {
    const char* slash = std::strrchr(path, '/');
    const char* name = slash != nullptr ? slash + 1 : path;
    char why[kReadReasonSize] = "";
    size_t size = 0;
    ReplayHeader header;
    const uint8_t* tape = nullptr;
    ReadError error;
    if (!ReadReplayFile(path, watchedFile, &size, &header, &tape, &error)) {
        std::snprintf(why, sizeof why, "%s", error.reason);
    } else if (ReplayFitsThisGame(header, PlayDataHash(), why, sizeof why)) {
        if (!running) {
            game.WatchReplay(header, tape);
            return;
        }
        if (game.WatchReplayInstead(header, tape)) return;
        std::snprintf(why, sizeof why, "a game is in play; leave it first (Esc, then Y)");
    }
    std::fprintf(stderr, "voidcrawl: cannot play the replay '%s': %s\n", name, why);
    char text[kMaxUserPath + kReadReasonSize];
    std::snprintf(text, sizeof text, "Cannot play the replay '%s': %s", name, why);
    WebReplayStatus("refused", 0, 0, text);
}

// For the page's tests (vc_web_pilot): this machine's player in an online
// game played as the runner's autopilot plays it (its steering, shared:
// tools/runner/WormSteering), through the same keys and pointer a player
// uses: SPACE while the level's intro shows or the worm waits to start,
// the worm steered to the food and out through its exit, and OK clicked on
// its points screen. Decided after each pass, from what the pass left; the
// input is the next pass's.
class TestPilot {
public:
    bool on = false;

    void AfterPass(const Game& game) {
        const Match& m = game.match;
        const int32_t me = m.onlinePlayer;
        if (!on || game.state != GameState::Playing || !game.online.Active() || me < 0 || me > 1) {
            LetGo();
            return;
        }
        hunger_.Watch(m.worms[me]);
        const Worm& w = m.worms[me];
        const bool gameOver = m.playerOut[0] && m.playerOut[1];
        if (m.PointsPhase() && !gameOver) {
            SetKey(-1);
            SetSpace(false);
            if (m.pointsDue[me] && !m.playerOut[me]) {
                ClickOk(game.setupScreen.okButton);
            } else {
                ReleaseMouse();
            }
            return;
        }
        ReleaseMouse();
        // SPACE is taken once and only after it was let go: down a pass, up the next.
        const bool waiting =
            !gameOver && (m.IntroPending() || (!m.playerOut[me] && !w.active && !w.exited && w.stats.lives != 0));
        SetSpace(waiting && !spaceDown_);
        if (gameOver || m.IntroPending()) {
            SetKey(-1);
            return;
        }
        SetKey(SteerKey(m, me, key_ >= 0, hunger_, &board_));
    }

private:
    void SetKey(int32_t key) {
        if (key == key_) return;
        Host* host = GetHost();
        const PlayKeys& keys = host != nullptr ? host->CurrentSettings().keys : kDefaultPlayKeys;
        if (key_ >= 0) WebTestKey(keys.code[0][key_], false);
        if (key >= 0) WebTestKey(keys.code[0][key], true);
        key_ = key;
    }
    void SetSpace(bool down) {
        if (down != spaceDown_) WebTestKey(DIK_SPACE, down);
        spaceDown_ = down;
    }
    // The screens take a click only after a pass with the button up: the
    // pointer on the button, down for one pass, up for two.
    void ClickOk(const Sprite& button) {
        clickPhase_ = (clickPhase_ + 1) % 3;
        mouseDown_ = clickPhase_ == 0;
        WebTestPointer(button.x + (button.cellWidth - 2) / 2, button.y + (button.cellHeight - 2) / 2, mouseDown_);
    }
    void ReleaseMouse() {
        if (mouseDown_) WebTestPointer(0, 0, false);
        mouseDown_ = false;
        clickPhase_ = 0;
    }
    void LetGo() {
        SetKey(-1);
        SetSpace(false);
        ReleaseMouse();
    }

    int32_t key_ = -1;  // the play key held, -1 none
    bool spaceDown_ = false;
    bool mouseDown_ = false;
    int32_t clickPhase_ = 0;
    WormHunger hunger_;
    PlanBoard board_;
};

TestPilot pilot;

// Takes the page's replays between passes, and tells it how watching goes.
class PageHooks final : public PassHooks {
public:
    explicit PageHooks(WorldLink* world) : world_(world) {}

    void BeforePass(int64_t) override {
        TendWebWorld(world_);
        if (askedCode[0] != '\0') {
            char code[sizeof askedCode];
            std::memcpy(code, askedCode, sizeof code);
            askedCode[0] = '\0';
            liveTold_ = false;
            game.WatchLive(world_, code);
        }
        if (askedPath[0] == '\0') return;
        char path[kMaxUserPath];
        std::memcpy(path, askedPath, sizeof path);
        askedPath[0] = '\0';
        WatchReplayFile(path, true);
    }

    bool AfterPass(int64_t) override {
        pilot.AfterPass(game);
        TellPlayMode();
        if (game.live.GetStage() == LiveWatch::Stage::Refused && !liveTold_) {
            char text[kWatchReasonBytes + 48];
            std::snprintf(text, sizeof text, "The game cannot be watched: %s.", game.live.Reason());
            WebReplayStatus("refused", 0, 0, text);
            liveTold_ = true;
        }
        const uint32_t hashes = game.ReplayHashes();
        if (game.watchingReplay) {
            if (!watching_ || hashes != hashes_) WebReplayStatus("watching", static_cast<int>(hashes), 0, "");
        } else if (watching_) {
            // The verdict is the game's (JudgeReplay), in its words.
            const Game::ReplayEnd end = game.recorder.end;
            char text[sizeof game.recorder.verdict + 32] = "";
            if (end == Game::ReplayEnd::OutOfStep)
                std::snprintf(text, sizeof text, "The replay went out of step at level %d.",
                              static_cast<int>(game.recorder.outOfStepLevel));
            else if (end != Game::ReplayEnd::Verified && end != Game::ReplayEnd::None)
                std::snprintf(text, sizeof text, "The replay is not verified: %s.", game.recorder.verdict);
            WebReplayStatus(end == Game::ReplayEnd::Verified    ? "verified"
                            : end == Game::ReplayEnd::OutOfStep ? "out of step"
                            : end == Game::ReplayEnd::None      ? "left"
                                                                : "not verified",
                            static_cast<int>(hashes), game.recorder.outOfStepLevel, text);
        }
        watching_ = game.watchingReplay;
        hashes_ = hashes;
        return true;
    }

private:
    // The page hears of a change only.
    void TellPlayMode() {
        const char* mode = TouchMode();
        const bool paused = game.watchPaused;
        const int32_t speed = game.watchSpeed;
        if (mode == mode_ && paused == paused_ && speed == speed_) return;
        mode_ = mode;
        paused_ = paused;
        speed_ = speed;
        WebPlayMode(mode, paused ? 1 : 0, static_cast<int>(speed));
    }

    WorldLink* world_;
    bool liveTold_ = false;  // the live game's refusal has been told
    bool watching_ = false;
    uint32_t hashes_ = 0;
    const char* mode_ = nullptr;
    bool paused_ = false;
    int32_t speed_ = 0;
};

}  // namespace

// The page asks to watch the replay file at `path` (in the module's memory).
extern "C" EMSCRIPTEN_KEEPALIVE void vc_web_watch_replay(const char* path) {
    std::snprintf(askedPath, sizeof askedPath, "%s", path);
}

// The page asks to watch the game of the room `code` as it is played (its
// "Live games" list): taken at the next pass, as the window's WATCH A GAME.
extern "C" EMSCRIPTEN_KEEPALIVE void vc_web_watch_live(const char* code) {
    std::snprintf(askedCode, sizeof askedCode, "%s", code != nullptr ? code : "");
}

// Where the page writes the code it hands to vc_web_watch_live (a ccall's
// string would wait for the frame loop's sleep to end): a room's code and
// its zero.
extern "C" EMSCRIPTEN_KEEPALIVE char* vc_web_live_code() {
    static char code[kWorldFeedCodeBytes];
    return code;
}

// For the page's tests, read only: a live game watched. [0] the stage
// (LiveWatch::Stage), [1] waiting for the game, [2] passes held, [3] passes
// played, [4] the server's answers taken.
extern "C" EMSCRIPTEN_KEEPALIVE const int32_t* vc_web_live() {
    static int32_t out[5];
    out[0] = static_cast<int32_t>(game.live.GetStage());
    out[1] = game.live.Waiting() ? 1 : 0;
    out[2] = static_cast<int32_t>(game.live.PassesHeld());
    out[3] = game.watchingLive ? static_cast<int32_t>(game.recorder.onlineTape.Passes()) : 0;
    out[4] = static_cast<int32_t>(game.live.Answers());
    return out;
}

// Whether the picture's point (x, y) is on the set-up screen's name field:
// the page then gives the field the system's keyboard.
extern "C" EMSCRIPTEN_KEEPALIVE int vc_web_on_name_field(int x, int y) {
    return game.state == GameState::PlayerSetup && game.setupScreen.inputPanel.Contains(x, y) ? 1 : 0;
}

// For the page's tests, read only: the EXIT box up or not, a replay watched
// or not, paused or not, and its speed.
extern "C" EMSCRIPTEN_KEEPALIVE const int32_t* vc_web_play() {
    static int32_t out[4];
    out[0] = game.exitBoxShown ? 1 : 0;
    out[1] = game.watchingReplay ? 1 : 0;
    out[2] = game.watchPaused ? 1 : 0;
    out[3] = game.watchSpeed;
    return out;
}

// For the page's tests, read only: the name typed so far on the set-up
// screen (`which` 0) or player 1's name in the match (1), as bytes.
extern "C" EMSCRIPTEN_KEEPALIVE const char* vc_web_name(int which) {
    return which == 0 ? game.setupScreen.nameEntry.Typed() : game.match.names[0];
}

// For the page's tests, read only: online play as it stands. [0] the
// room's stage (NetRoomStage), [1] role (NetRoomRole), [2] the path
// (NetPath), [3] the round trip (ms), [4] rollbacks, [5] waits, [6] passes,
// [7] the session's input delay, [8..12] the room's code (its letters,
// 0 none), [13] levels ended online, [14..15] the link's datagrams sent and
// received, [16] refused from the server, [17] the level in play (1 the
// first, 0 none), [18] 1 its intro showing, 2 the game-over table;
// vc_web_level_hash(level) each
// level's end hash as hex.
extern "C" EMSCRIPTEN_KEEPALIVE const int32_t* vc_web_online() {
    static int32_t out[19];
    std::memset(out, 0, sizeof out);
    const NetLink* link = game.online.link;
    if (link == nullptr) return out;
    const NetRoomState room = link->RoomState();
    out[0] = static_cast<int32_t>(room.stage);
    out[1] = static_cast<int32_t>(room.role);
    out[2] = static_cast<int32_t>(link->Path());
    out[3] = static_cast<int32_t>(link->RoundTripMs());
    const RollbackSession& session = game.online.Session();
    out[4] = static_cast<int32_t>(session.Rollbacks());
    out[5] = static_cast<int32_t>(session.Waits());
    out[6] = session.Pass();
    out[7] = session.Delay();
    for (int i = 0; i < 5 && room.code[i] != '\0'; ++i) out[8 + i] = room.code[i];
    for (int32_t level = 0; level < Match::kLevels; ++level)
        if (game.online.LevelEndHash(level) != 0) out[13] = level + 1;
    const NetLinkCounts counts = link->Counts();
    out[14] = static_cast<int32_t>(counts.sent);
    out[15] = static_cast<int32_t>(counts.received);
    out[16] = static_cast<int32_t>(counts.server);
    if (game.state == GameState::Playing && game.match.level != nullptr) {
        out[17] = game.match.levelIndex + 1;
        out[18] = game.match.IntroPending() ? 1 : (game.match.TableShown() ? 2 : 0);
    }
    return out;
}

extern "C" EMSCRIPTEN_KEEPALIVE const char* vc_web_level_hash(int level) {
    static char text[17];
    std::snprintf(text, sizeof text, "%016llx",
                  static_cast<unsigned long long>(game.online.LevelEndHash(static_cast<int32_t>(level))));
    return text;
}

// For the page's tests, read only: the game's top-level state (GameState as
// a number), and player 1's worm (online: this side's; in play or not, its head's cell, its
// heading, its score) with the cell of the food nearest its head (-1 when
// there is none) and whether its boost and brake keys are down as play
// reads them, so that a test can play a short game that scores.
// For the page's tests: the test pilot on (1) or off (0).
extern "C" EMSCRIPTEN_KEEPALIVE void vc_web_pilot(int on) { pilot.on = on != 0; }

extern "C" EMSCRIPTEN_KEEPALIVE int vc_web_game_state() { return static_cast<int>(game.state); }

extern "C" EMSCRIPTEN_KEEPALIVE const int32_t* vc_web_worm() {
    static int32_t out[9];
    // Online, this machine's player's worm (player 2's on the joining side).
    const Worm& worm = game.match.worms[game.online.Active() ? game.online.Local() : 0];
    out[0] = worm.alive != 0 && worm.active != 0 ? 1 : 0;
    out[1] = worm.segments[1].cellX;
    out[2] = worm.segments[1].cellY;
    out[3] = worm.Heading();
    out[4] = worm.score;
    out[5] = out[6] = -1;
    int32_t nearest = 1 << 30;
    for (const FoodItem& item : game.match.food.items) {
        if (item.cellType != CellType::Food) continue;
        const int32_t dx = item.cellX - out[1], dy = item.cellY - out[2];
        const int32_t distance = (dx < 0 ? -dx : dx) + (dy < 0 ? -dy : dy);
        if (distance >= nearest) continue;
        nearest = distance;
        out[5] = item.cellX;
        out[6] = item.cellY;
    }
    const PlayActions held = PlayActionsOf(KeyState, game.match.playKeys, 0);
    out[7] = held.Held(kKeyBoost) ? 1 : 0;
    out[8] = held.Held(kKeyBrake) ? 1 : 0;
    return out;
}

int main(int argc, char** argv) {
    std::string error;
    if (!EnterDataDir("/data", nullptr, nullptr, &error)) {
        std::fprintf(stderr, "voidcrawl: %s\n", error.c_str());
        WebGameEnded(1);
        return 1;
    }
    // High scores and replays go to the player's folder, kept in the browser's storage
    // (or, where the browser has none, for as long as the page is open).
    SetUpUserDir();
    OpenWebStore(GetUserDir());

    if (argc == 3 && std::strcmp(argv[1], "--replay") == 0) WatchReplayFile(argv[2], false);

    // The settings file lives in the player's folder, so in the browser's
    // storage: what the options chose (keys, the pad's buttons, sending
    // games to the world table) is there at the next visit. A broken file
    // costs a line per problem, never the start.
    Settings kept;
    char settingsPath[kMaxUserPath] = "";
    std::vector<std::string> problems;
    if (UserFilePath(kSettingsFileName, settingsPath, sizeof settingsPath))
        LoadSettings(settingsPath, &kept, &problems);
    for (const std::string& problem : problems) std::fprintf(stderr, "voidcrawl: settings: %s\n", problem.c_str());
    Host* host = CreateWebHost(kept, settingsPath);
    // The world table's link: the page's own server by default (the
    // settings' [world] server over it), sending only once the player
    // turned it on.
    WorldLink* world = CreateWebWorld(GetUserDir());
    host->UseWorld(world);
    // Online play: the desktop's link, over the page's WebSocket to the
    // world server's rooms (TWO PLAYERS offers the rooms alone).
    static WebRoomSocket roomSocket;
    static UdpLink link;
    link.UsePort(&roomSocket);
    game.online.link = &link;
    PageHooks hooks(world);
    const LoopEnd end = RunFrameLoop(*host, game, &hooks, nullptr);
    host->UseWorld(nullptr);
    delete world;
    delete host;
    CloseWebStore();
    WebGameEnded(end == LoopEnd::StartupFailed ? 1 : 0);
    return end == LoopEnd::StartupFailed ? 1 : 0;
}
