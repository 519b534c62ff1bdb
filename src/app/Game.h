#pragma once
#include <cstdint>

#include "app/LiveWatch.h"
#include "app/OnlinePlay.h"
#include "app/PlayPicture.h"
#include "app/Recorder.h"
#include "app/Replay.h"
#include "app/WorldPlay.h"
#include "gfx/Display.h"
#include "gfx/Font.h"
#include "gfx/ImageLoader.h"
#include "io/InputTape.h"
#include "io/MouseCursor.h"
#include "io/ReplayFile.h"
#include "io/SoundBank.h"
#include "match/Match.h"
#include "match/PlaySyncTest.h"
#include "platform/Host.h"
#include "screens/HighScoreTable.h"
#include "screens/InfoScreen.h"
#include "screens/MainMenu.h"
#include "screens/OptionsScreen.h"
#include "screens/PlayerSetup.h"
#include "screens/Screen.h"
#include "screens/SetupScreen.h"
#include "screens/TwoPlayersScreen.h"
#include "world/ShipStats.h"

enum class GameState : int32_t {
    Playing = 0,
    PlayerSetup = 1,
    MainMenu = 2,
    HighScores = 3,
    Info = 4,
    Options = 5,
    Connecting = 6,  // an online game's set-up is done: waiting for the other player
    TwoPlayers = 7,  // where two players play: this keyboard, or hosting or joining online
};

// The one object that owns every subsystem for the whole run: start-up, the
// top-level state machine with its fades, and shut-down. It gives online
// play what it asks of the game (OnlineHooks).
class Game : private OnlineHooks {
public:
    bool Init();
    bool RunFrame();
    void Shutdown();

    // Seeds the random generator with `seed` instead of the clock (runner, tests).
    bool useSeed = false;
    uint32_t seed = 1;

    bool exitBoxShown = false;
    GameState state = GameState::MainMenu;
    Surface bigFontSurface = nullptr;
    Surface smallFontSurface = nullptr;
    Surface mediumFontSurface = nullptr;
    Surface cursorSurface = nullptr;
    Match match;
    Font bigFont;
    Font mediumFont;
    Font smallFont;
    SetupScreen setupScreen;
    int32_t players = 1;
    int32_t difficulty = 0;
    PlayerSetup playerSetup;
    MouseCursor cursor;
    ImageBank imageBank;
    ShipStats shipBaseStats[kShipTypes];
    ShipLimits shipLimits[kShipTypes];
    UpgradeCosts upgradeCosts;
    HighScoreTable highScoreScreen;
    InfoScreen infoScreen;
    MainMenu mainMenu;
    OptionsScreen optionsScreen;
    TwoPlayersScreen twoPlayersScreen;
    SoundBank sounds;
    ImageLoader loader;
    // Esc was down when the present screen was entered and has not been
    // let go since: it does not count on this screen.
    uint8_t escHeldOver = 0;
    // What the pads last saw of each worm, to shake them on a crash or death.
    uint8_t padSawCrash[2] = {};
    int32_t padSawLives[2] = {};
    // Whether the menu's hum is playing; it follows the settings' hum.
    bool humPlaying = false;
    // Passes in a row that held the frozen picture, and whether the EXIT box
    // was drawn on it; from the third such pass both buffers already hold
    // exactly what the pass would draw.
    int32_t heldPasses = 0;
    bool heldWithBox = false;
    bool heldThisPass = false;
    bool pictureSteady = false;

    // Every game's recording, and the replay being played.
    Recorder recorder;
    // A game against a player on another machine (TWO PLAYERS when the
    // command line asked to host or join, or the two-players screen chose
    // to, where the program has a link).
    DrawKit drawKit{&bigFont, &mediumFont, &smallFont, &imageBank};
    OnlinePlay online{match, drawKit, *this, recorder};
    // The world table: each finished game's replay handed to the host's
    // link (when the player turned sending on), and the answers for the screens.
    WorldPlay world;

    // Runs every pass of play through the sync test (runner, tests); null:
    // play runs once a pass, as always.
    PlaySyncTest* syncTest = nullptr;

    // ---- replays ----------------------------------------------------------
    // A replay's verdict, once it has stopped playing: `recorder.end`.
    using ReplayEnd = ReplayVerdict;
    uint64_t playDataHash = 0;
    // Plays the replay `tape` (ParseReplay's, kept alive by the caller) from
    // the next pass instead of the player's input; the header must fit this
    // game (ReplayFitsThisGame).
    void PlayReplay(const ReplayHeader& header, const uint8_t* tape);
    // As PlayReplay, watched in the window: P or SPACE pauses, 1, 2, 4 and 8
    // set the speed (passes a frame), N skips to the next level, Esc leaves
    // for the menu (or the high-score table it was picked from), as does the
    // replay's end; the status bar says REPLAY.
    void WatchReplay(const ReplayHeader& header, const uint8_t* tape);
    // As WatchReplay, between two passes of a running game (a replay the
    // browser page hands in): the screen on show fades out, as for a click
    // on a table's entry, and a replay being watched gives way. False, with
    // nothing changed, while a game is in play.
    bool WatchReplayInstead(const ReplayHeader& header, const uint8_t* tape);
    bool watchingReplay = false;
    int32_t watchSpeed = 1;
    bool watchPaused = false;
    // The replay to be played is the file `name` of the replay folder, with
    // these bytes.
    void NoteReplaySource(const char* name, const uint8_t* bytes, size_t size) {
        recorder.NoteSource(name, bytes, size);
    }
    // The state hashes a replay has matched so far.
    uint32_t ReplayHashes() const { return recorder.Hashes(); }

    // ---- watching a game as it is played ------------------------------------
    // Watches the game of the room `code` through `link` (the world
    // table's server, which holds the room's live feed): once its first
    // passes are held, the screen on show fades out and the feed plays as a
    // replay whose body grows (LiveWatch: it waits for the game where the
    // held bytes end, catches up at 2x); Esc leaves for the menu, as does
    // the game's end. False, with the reason in `live.Reason()`, when it
    // cannot begin; a feed refused later is said the same way (on stderr,
    // and on the two-players screen when that is on show).
    bool WatchLive(WorldLink* link, const char* code);
    LiveWatch live;
    // The replay being watched is the live game.
    bool watchingLive = false;

private:
    bool BeginOnlineMatch(int32_t onlineDifficulty, bool record) override;
    void DrawSetupBackground() override { setupScreen.DrawBackground(); }
    void FadeOutSetup() override { setupScreen.FadeOut(); }
    // Players the set-up screen asks for: online, only this machine's.
    int32_t SetupPlayers() const { return online.Wanted() && players == 2 ? 1 : players; }
    void StartOnline();
    void ConnectingFrame(bool escDown);
    void GiveUpOnline(bool failed);
    void InitScreens();
    void EnteringScreen();
    void HoldFrozenPicture(bool withBox);
    void RaiseExitBox();
    // The keys that answer the EXIT box, and which of them were held when
    // it came up (not yet let go since).
    enum ExitBoxKey { kExitBoxYes, kExitBoxNo, kExitBoxKeys };
    static constexpr uint8_t kExitBoxKeyCodes[kExitBoxKeys] = {DIK_Y, DIK_N};
    uint8_t exitBoxKeyHeld_[kExitBoxKeys] = {};
    bool LoadGameImage(Surface* surface, const char* file, int32_t width, int32_t height, Placement placement);
    // The one way to change state: the new state's screen comes on.
    void GoTo(GameState next);
    Screen* ScreenOf(GameState of);
    void EnterPlayerSetup();
    // A pass of each state (false: the program ends).
    bool StateFrame(bool escDown);
    bool MenuFrame(bool escDown);
    void InfoFrame(bool escDown);
    void SetupFrame(bool escDown);
    void TwoPlayersFrame(bool escDown);
    void PlayingFrame(bool escDown);
    void OnlineFrame(bool escDown);
    void HighScoresFrame(bool escDown);
    void OptionsFrame(bool escDown);
    void FollowHumSetting();
    PadContext CurrentPadContext() const;
    void ShakePads();
    void LeaveAfterLevelError();
    void Fail(const char* text, const char* reason);
    bool RunPass();
    bool WatchFrame();
    int32_t WatchPasses(bool skip);
    void FollowLive();
    void LiveRefused();
    void DrawWatchStatus();
    void EndWatching();
    bool WatchEntryReplay(const HighScoreRecord* entry);
    void BeginMatch();
    void StartRecording();
    void StartReplay();
    void CheckpointsAfterPass();
    void StopTape();

    // The two-players screen chose online play (not the command line):
    // back on the menu, TWO PLAYERS asks again.
    bool onlineFromScreen_ = false;
    // The live game's header changes the recorder has taken.
    uint32_t liveHeaderChanges_ = 0;
    const uint8_t* replayTape_ = nullptr;
    bool replayPending_ = false;
    uint8_t watchKeys_[256] = {};  // the host's keys the last watched frame
    bool tableButtonWasDown_ = false;
    // The high-score screen's rows whose games can be watched, as of the
    // table's `loads`; its pick by keys and pointer; what watching from it
    // comes back to.
    void FindWatchableRows();
    void PickTableRow();
    uint32_t watchableLoads_ = 0;
    uint8_t tableKeysWere_[3] = {};
    int32_t pickPointerX_ = -1, pickPointerY_ = -1;
    bool watchFromTable_ = false;
    int32_t watchTableDifficulty_ = 0;
    int32_t watchTableRow_ = -1;
    // ---- the high-score screen's WORLD tab (GameWorldTable.cpp) ------------
    void WorldTableFrame(bool escDown);
    void PickWorldRow();
    // A row's game is fetched from the world table, then watched; the line
    // under the table says so meanwhile, or why it cannot be watched.
    void FetchWorldGame(int32_t band);
    void PollWorldGame();
    // The first visit of the high-score screen with a world table set asks
    // once whether this machine's finished games are sent to it.
    bool ShouldAskToSend() const;
    void RaiseSendQuestion();
    void AskSendFrame(bool escDown);
    void KeepSendAnswer(bool send);
    void ShowWorldStanding();
    bool askingSend_ = false;
    uint8_t askKeysHeld_[2] = {};
    bool worldFetching_ = false;
    int32_t worldFetchRow_ = -1;
    bool watchFromWorld_ = false;
    // The game's pointer when a replay began: the replay moves it, the
    // player's own pointer takes up from here again afterwards.
    int32_t watchCursorX_ = 0, watchCursorY_ = 0;
    int64_t watchTravelX_ = 0, watchTravelY_ = 0;  // the host's pointer travel when watching began
};
