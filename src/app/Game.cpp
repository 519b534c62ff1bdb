#include "app/Game.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <utility>

#include "app/CommandLine.h"
#include "app/PlayPicture.h"
#include "app/Replay.h"
#include "gfx/FontMetrics.h"
#include "gfx/ImageSlots.h"
#include "gfx/PaletteFader.h"
#include "gfx/ScreenDump.h"
#include "io/Input.h"
#include "io/PointerSheet.h"
#include "io/SoundSlots.h"
#include "platform/Host.h"
#include "world/Difficulty.h"
#include "world/Random.h"

namespace {

// The most passes N runs to reach the next level of a watched replay.
constexpr int32_t kReplayMaxSkip = 200000;

// A font's glyph grid and its proportional trims, added in their order.
void SetUpFont(Font& font, Surface surface, const FontMetrics& m) {
    font.Init(surface, 0, 0, m.cellWidth, m.cellHeight, m.defaultTrim, m.wrapWidth);
    for (int i = 0; i < FontMetrics::kMaxTrims && m.trimmed[i] != '\0'; ++i)
        font.AddTrim(static_cast<uint8_t>(m.trimmed[i]), m.trims[i]);
}

}  // namespace

// The reason goes to the terminal on a line of its own, then the player is
// told of the failure (a message box, or the host's line on stderr).
void Game::Fail(const char* text, const char* reason) {
    std::fprintf(stderr, "voidcrawl: %s\n", reason && *reason ? reason : text);
    if (Host* host = GetHost()) host->ShowMessage(text, kErrorTitle);
}

bool Game::LoadGameImage(Surface* surface, const char* file, int32_t width, int32_t height, Placement placement) {
    *surface = CreateSurface(width, height, placement);
    const bool ok = loader.LoadSurface(file, *surface, nullptr);
    SetSourceColorKey(0, 0, *surface);
    return ok;
}

bool Game::Init() {
    players = 1;

    InitInput();
    SetInputTape(&recorder.tape);
    CreateKeyboard();
    CreateMouse();
    if (inputFailed) {
        Fail("Unable to setup Direct Input", InputFailureReason());
        return false;
    }
    InitSound();
    if (soundFailed) {
        Fail("Unable to setup Direct Sound", SoundFailureReason());
        return false;
    }
    InitDisplay(kScreenWidth, kScreenHeight, 8);
    if (displayFailed) {
        Fail("Unable to setup Direct Draw", DisplayFailureReason());
        return false;
    }

    SeedRandom(useSeed ? seed : static_cast<uint32_t>(std::time(nullptr)));

    LoadGameImage(&cursorSurface, "grafik\\mousehi.dat", kPointerCell.w, kPointerCell.h, SystemMemory);
    const FontMetrics& medium = kMediumFontMetrics;
    const FontMetrics& small = kSmallFontMetrics;
    const FontMetrics& big = kBigFontMetrics;
    LoadGameImage(&mediumFontSurface, "grafik\\impFont16.dat", medium.sheetWidth, medium.sheetHeight, VideoMemory);
    LoadGameImage(&smallFontSurface, "grafik\\impFont8.dat", small.sheetWidth, small.sheetHeight, VideoMemory);
    LoadGameImage(&bigFontSurface, "grafik\\ImpFont22.dat", big.sheetWidth, big.sheetHeight, VideoMemory);
    CreateDisplayPalette(loader.palette);

    SetUpFont(bigFont, bigFontSurface, kBigFontMetrics);
    SetUpFont(smallFont, smallFontSurface, kSmallFontMetrics);
    SetUpFont(mediumFont, mediumFontSurface, kMediumFontMetrics);

    for (const ImageSlotFile& slot : kImageSlotFiles) imageBank.Add(slot.file, slot.width, slot.height, slot.placement);

    sounds.Init();
    for (const SoundSlotFile& slot : kSoundSlotFiles) sounds.Load(slot.file, 8);
    sounds.SetFrequency(kSoundHum, 11025);
    humPlaying = false;
    FollowHumSetting();

    LoadShipTables(shipBaseStats, shipLimits, &upgradeCosts);

    cursor.Init(cursorSurface, kPointerCell.x, kPointerCell.y, kPointerCell.w, kPointerCell.h, 1, 0);
    cursor.SetBounds(0, 0, 639, 479);

    InitScreens();

    if (imageLoadFailed || soundLoadFailed) return false;
    if (displayFailed) {
        std::fprintf(stderr, "voidcrawl: out of picture memory during start-up\n");
        return false;
    }

    playDataHash = PlayDataHash();
    exitBoxShown = false;
    state = GameState::MainMenu;
    BlackOutPalette();
    // A replay asked for before start-up (the command line) starts from
    // black, as a game does; the menu comes when it ends.
    if (!replayPending_) GoTo(GameState::MainMenu);
    if (Host* host = GetHost()) host->SetPadContext(CurrentPadContext());
    return true;
}

// The match and every screen, with the fonts, sounds and pointer they share.
void Game::InitScreens() {
    match.Init(&bigFont, &smallFont, &mediumFont, &imageBank, &sounds, &shipBaseStats[0], &shipBaseStats[1],
               &setupScreen, &highScoreScreen, &cursor);
    setupScreen.Init(&mediumFont, &smallFont, &sounds, &cursor, &playerSetup, &shipLimits[0], &shipLimits[1],
                     &upgradeCosts);
    highScoreScreen.Init(&cursor, &sounds);
    highScoreScreen.hintFont = &smallFont;
    highScoreScreen.tableFont = &mediumFont;
    highScoreScreen.worldView.Init(&mediumFont, &smallFont);
    if (Host* host = GetHost()) highScoreScreen.world = host->World();
    setupScreen.shownStats[0] = &shipBaseStats[0];
    setupScreen.shownStats[1] = &shipBaseStats[1];
    infoScreen.Init(&bigFont, &mediumFont, &smallFont, &cursor, &sounds);
    mainMenu.Init(&smallFont, &sounds, &cursor);
    optionsScreen.Init(&bigFont, &mediumFont, &smallFont, &sounds, &cursor, kOptionsBackgroundFile);
    optionsScreen.InitOnlinePage(kOnlineBackgroundFile);
    twoPlayersScreen.Init(&bigFont, &mediumFont, &smallFont, &sounds, &cursor, kTwoPlayersBackgroundFile);
}

void Game::EnteringScreen() {
    // Keys and buttons held down across a change of screen belong to the
    // screen that was left: the new one waits for them to be let go.
    escHeldOver = 1;
    cursor.IgnoreHeldButton();
}

// The one way from screen to screen (the one before has faded out): the
// state changes and the screen it names comes on, its first picture drawn
// into both buffers, then faded in. The wait for the other player stays
// on the set-up's picture; play draws its own.
void Game::GoTo(GameState next) {
    state = next;
    if (next == GameState::Connecting) return;
    if (next == GameState::MainMenu) {
        StopTape();  // the game, if there was one, is over
        if (onlineFromScreen_) online.role = OnlinePlay::Role::None;
        onlineFromScreen_ = false;
    }
    EnteringScreen();
    if (next == GameState::Playing) {
        FlipDisplay();
        match.Enter();
        return;
    }
    if (next == GameState::MainMenu)
        mainMenu.optionsKeyWasDown = KeyState[DIK_O] != 0 ? 1 : 0;  // O held from before opens nothing
    Screen& screen = *ScreenOf(next);
    screen.Arm();
    screen.ShowFrame();
    FlipDisplay();
    screen.ShowFrame();
    screen.FadeIn();
}

// The screen a state shows (none: play's own picture).
Screen* Game::ScreenOf(GameState of) {
    switch (of) {
    case GameState::MainMenu:
        return &mainMenu;
    case GameState::PlayerSetup:
    case GameState::Connecting:
        return &setupScreen;
    case GameState::HighScores:
        return &highScoreScreen;
    case GameState::Info:
        return &infoScreen;
    case GameState::Options:
        return &optionsScreen;
    case GameState::TwoPlayers:
        return &twoPlayersScreen;
    case GameState::Playing:
        break;
    }
    return nullptr;
}

void Game::EnterPlayerSetup() {
    match.players = players;
    mainMenu.FadeOut();  // the menu's palette: the menu's or the two-players screen's
    setupScreen.shownPlayers = SetupPlayers();
    GoTo(GameState::PlayerSetup);
}

void Game::LeaveAfterLevelError() {
    std::fprintf(stderr, "voidcrawl: %s\n", match.levelError);
    match.Leave();
    if (Host* host = GetHost()) host->ShowMessage(match.levelError, "VoidCrawl");
    exitBoxShown = false;
    GoTo(GameState::MainMenu);
}

void Game::HoldFrozenPicture(bool withBox) {
    heldThisPass = true;
    match.Freeze();
    if (heldPasses > 0 && heldWithBox == withBox) {
        if (heldPasses >= 2) {
            // Two passes have drawn this picture into both buffers: nothing
            // to copy, draw or compare until it changes.
            pictureSteady = true;
            return;
        }
        ++heldPasses;
    } else {
        heldPasses = 1;
        heldWithBox = withBox;
    }
    HoldPictureOnShow();
    if (withBox) DrawExitBox(drawKit);
}

void Game::PlayingFrame(bool escDown) {
    if (!ReadFocus()) {
        // The window is in the background: play stands still, as with Esc
        // held, until it comes back, and nothing is asked of the player.
        HoldFrozenPicture(false);
        return;
    }
    if (escDown) {
        // Frozen while Esc is held; the box shows once it is released.
        RaiseExitBox();
        HoldFrozenPicture(false);
        return;
    }
    if (exitBoxShown) {
        HoldFrozenPicture(true);
        // Only a press begun while the box is up answers it.
        bool pressed[kExitBoxKeys] = {};
        for (int k = 0; k < kExitBoxKeys; ++k) {
            if (!KeyState[kExitBoxKeyCodes[k]]) exitBoxKeyHeld_[k] = 0;
            pressed[k] = KeyState[kExitBoxKeyCodes[k]] != 0 && !exitBoxKeyHeld_[k];
        }
        if (pressed[kExitBoxNo]) exitBoxShown = false;
        if (pressed[kExitBoxYes]) {
            exitBoxShown = false;
            match.Leave();
            GoTo(GameState::MainMenu);
        }
        return;
    }
    if (!(syncTest != nullptr ? syncTest->Frame(match) : match.Frame())) {
        if (match.levelFailed) {
            LeaveAfterLevelError();
            return;
        }
        RaiseExitBox();
    }
}

// The box comes up: keys and the button held now were pressed for what
// was on show before it (the table's Back), so they answer nothing, here
// or where the box goes back to, until they are let go.
void Game::RaiseExitBox() {
    exitBoxShown = true;
    for (int k = 0; k < kExitBoxKeys; ++k) exitBoxKeyHeld_[k] = KeyState[kExitBoxKeyCodes[k]] != 0 ? 1 : 0;
    cursor.IgnoreHeldButton();
}

// Both at this keyboard, or online as the command line would have asked.
void Game::TwoPlayersFrame(bool escDown) {
    using Choice = TwoPlayersScreen::Choice;
    const Choice choice = twoPlayersScreen.Frame(escDown);
    if (choice == Choice::None) return;
    if (choice == Choice::Watch) {
        // The screen stays (its line says so) until the game's first passes are held.
        if (!WatchLive(GetHost() != nullptr ? GetHost()->World() : nullptr, twoPlayersScreen.watchCode)) LiveRefused();
        return;
    }
    if (live.Active() && !watchingLive) live.Stop();  // another choice: the watch not begun is given up
    if (choice == Choice::Back) {
        twoPlayersScreen.FadeOut();
        GoTo(GameState::MainMenu);
        return;
    }
    const TwoPlayersScreen& screen = twoPlayersScreen;
    if (choice == Choice::CreateRoom || choice == Choice::QuickMatch || choice == Choice::JoinRoom) {
        const NetRoomMode mode = choice == Choice::CreateRoom   ? NetRoomMode::Create
                                 : choice == Choice::QuickMatch ? NetRoomMode::Quick
                                                                : NetRoomMode::Join;
        online.AskRoom(mode, screen.roomCode, screen.roomServer, screen.roomPort, screen.delay, online.link);
        onlineFromScreen_ = true;
    } else if (choice != Choice::Keyboard) {
        const bool host = choice == Choice::Host;
        online.Ask(host ? OnlinePlay::Role::Host : OnlinePlay::Role::Join, twoPlayersScreen.port,
                   host ? "" : twoPlayersScreen.joinAt, twoPlayersScreen.delay, online.link);
        onlineFromScreen_ = true;
    }
    EnterPlayerSetup();
}

// The hum plays while the settings ask for it (the menu's switch and the
// options screen change them), from start-up on.
void Game::FollowHumSetting() {
    Host* host = GetHost();
    const bool wanted = host == nullptr || host->CurrentSettings().hum;
    if (wanted == humPlaying) return;
    humPlaying = wanted;
    if (wanted)
        sounds.Play(kSoundHum, SoundLoop::Loop);
    else
        sounds.Stop(kSoundHum);
}

// Pads steer in play, spell names on the set-up screen, wait for a button
// the options screen binds, and move the pointer everywhere else.
PadContext Game::CurrentPadContext() const {
    if (state == GameState::PlayerSetup) return PadContext::Text;
    if (state == GameState::Options && optionsScreen.WaitingForPad()) return PadContext::Binding;
    if (state == GameState::Playing && (match.InPlay() || exitBoxShown)) return PadContext::Play;
    return PadContext::Pointer;
}

// A worm that crashes shakes its player's pad; one that loses a life, harder.
void Game::ShakePads() {
    Host* host = GetHost();
    for (int i = 0; i < 2; ++i) {
        const Worm& worm = match.worms[i];
        if (host != nullptr && match.InPlay()) {
            if (worm.crashing && !padSawCrash[i]) host->Rumble(i, 50, 250);
            if (worm.stats.lives < padSawLives[i]) host->Rumble(i, 100, 500);
        }
        padSawCrash[i] = worm.crashing;
        padSawLives[i] = worm.stats.lives;
    }
}

bool Game::RunFrame() {
    if (live.Active()) FollowLive();
    return watchingReplay ? WatchFrame() : RunPass();
}

// A pass of the state on show; false ends the program.
bool Game::StateFrame(bool escDown) {
    switch (state) {
    case GameState::MainMenu:
        return MenuFrame(escDown);
    case GameState::Info:
        InfoFrame(escDown);
        break;
    case GameState::PlayerSetup:
        SetupFrame(escDown);
        break;
    case GameState::Connecting:
        ConnectingFrame(escDown);
        break;
    case GameState::TwoPlayers:
        TwoPlayersFrame(escDown);
        break;
    case GameState::Playing:
        if (online.Active())
            OnlineFrame(escDown);
        else
            PlayingFrame(escDown);
        ShakePads();
        break;
    case GameState::HighScores:
        HighScoresFrame(escDown);
        break;
    case GameState::Options:
        OptionsFrame(escDown);
        break;
    }
    return true;
}

bool Game::MenuFrame(bool escDown) {
    const int32_t r = mainMenu.Frame();
    difficulty = mainMenu.difficulty;
    if (r == MainMenu::TwoPlayers && online.link != nullptr && online.role == OnlinePlay::Role::None) {
        players = 2;
        twoPlayersScreen.roomsOnly = online.link->RoomsOnly();
        mainMenu.FadeOut();
        GoTo(GameState::TwoPlayers);
    } else if (r == MainMenu::OnePlayer || r == MainMenu::TwoPlayers) {
        players = r;
        EnterPlayerSetup();
    } else if (r == MainMenu::HighScores) {
        mainMenu.FadeOut();
        const int32_t d = ClampDifficulty(difficulty);
        highScoreScreen.Load(HighScoreTable::FileName(d), d);
        highScoreScreen.ShowLocal();
        highScoreScreen.worldLine[0] = '\0';
        if (ShouldAskToSend()) RaiseSendQuestion();
        GoTo(GameState::HighScores);
    } else if (r == MainMenu::Info) {
        mainMenu.FadeOut();
        GoTo(GameState::Info);
    } else if (r == MainMenu::Options) {
        mainMenu.FadeOut();
        GoTo(GameState::Options);
    } else if (r == MainMenu::Quit || (r == MainMenu::None && escDown)) {
        mainMenu.FadeOut();
        return false;
    }
    return true;
}

void Game::InfoFrame(bool escDown) {
    if (infoScreen.Frame() || escDown) {
        infoScreen.FadeOut();
        GoTo(GameState::MainMenu);
    }
}

void Game::SetupFrame(bool escDown) {
    setupScreen.DrawBackground();
    setupScreen.DrawStats(&shipBaseStats[0], &shipBaseStats[1]);
    const bool done = setupScreen.Frame(SetupPlayers());
    if (done && SetupPlayers() != players) {
        if (!escDown) StartOnline();
        if (state == GameState::Connecting) return;
    } else if (done) {
        match.SetPlayers(&playerSetup);
        setupScreen.FadeOut();
        // (Esc in the same pass leaves the game before it begins.)
        if (recorder.recordGames && !escDown) StartRecording();
        BeginMatch();
        if (state != GameState::Playing) return;
    }
    if (escDown) {
        setupScreen.FadeOut();
        GoTo(GameState::MainMenu);
    }
}

void Game::OnlineFrame(bool escDown) {
    if (!online.PlayFrame(escDown)) {
        if (Host* host = GetHost()) match.SetPlayKeys(host->CurrentSettings().keys);
        GoTo(GameState::MainMenu);
    }
}

void Game::HighScoresFrame(bool escDown) {
    if (askingSend_) {
        AskSendFrame(escDown);
        return;
    }
    if (highScoreScreen.worldShown) {
        WorldTableFrame(escDown);
        return;
    }
    FindWatchableRows();
    PickTableRow();
    const bool enter = KeyState[DIK_RETURN] != 0 && !tableKeysWere_[2];
    tableKeysWere_[2] = KeyState[DIK_RETURN];
    if (highScoreScreen.Frame(&mediumFont, false) != HighScoreTable::None || escDown) {
        highScoreScreen.FadeOut();
        GoTo(GameState::MainMenu);
    } else if (cursor.LeftDown() && !tableButtonWasDown_) {
        // A click on an entry's row watches its game.
        WatchEntryReplay(highScoreScreen.RowAt(cursor.x, cursor.y));
    } else if (enter) {
        WatchEntryReplay(highScoreScreen.Picked());
    }
    tableButtonWasDown_ = cursor.LeftDown();
}

void Game::OptionsFrame(bool escDown) {
    const bool back = optionsScreen.Frame(escDown);
    if (optionsScreen.keysChanged) {
        if (Host* host = GetHost()) match.SetPlayKeys(host->CurrentSettings().keys);
        optionsScreen.keysChanged = false;
    }
    if (back) {
        optionsScreen.FadeOut();
        GoTo(GameState::MainMenu);
    }
}

bool Game::RunPass() {
    heldThisPass = false;
    pictureSteady = false;
    // A recording that ended after its last pass (the program ended there).
    if (recorder.tape.StopsBeforePass()) StopTape();
    ReadKeyboard();
    if (!KeyState[DIK_ESCAPE]) escHeldOver = 0;
    const bool escDown = KeyState[DIK_ESCAPE] != 0 && !escHeldOver;
    if (replayPending_) {
        // The pass that stands for the set-up's confirmation.
        StartReplay();
        if (watchingReplay) DrawWatchStatus();
        FlipDisplay();
        CheckpointsAfterPass();
        return true;
    }
    ShowWorldStanding();
    if (!StateFrame(escDown)) return false;
    FollowHumSetting();
    // (The 1 typed into an address, a port or the world server's address is
    // not the dump key.)
    if (KeyState[DIK_1] && !(state == GameState::TwoPlayers && twoPlayersScreen.Typing()) &&
        !(state == GameState::Options && optionsScreen.typing))
        DumpScreen();
    if (!heldThisPass) heldPasses = 0;
    // The pads are read at the start of the next pass, in the context of the
    // screen this pass leaves on show (A on ONE PLAYER is not read again as
    // the name field's).
    if (Host* host = GetHost()) host->SetPadContext(CurrentPadContext());
    if (watchingReplay) DrawWatchStatus();
    // A replay's status is drawn every pass, so its picture is never still.
    if (pictureSteady && state == GameState::Playing && !watchingReplay) {
        ShowPictureAgain();
    } else {
        FlipDisplay();
    }
    CheckpointsAfterPass();
    world.AfterPass(recorder);
    return true;
}

void Game::WatchReplay(const ReplayHeader& header, const uint8_t* tapeBytes) {
    PlayReplay(header, tapeBytes);
    watchingReplay = true;
    watchFromTable_ = false;
    watchFromWorld_ = false;
    watchCursorX_ = cursor.x;
    watchCursorY_ = cursor.y;
    HostPointerTravel(&watchTravelX_, &watchTravelY_);
    watchSpeed = 1;
    watchPaused = false;
    if (Host* host = GetHost()) std::memcpy(watchKeys_, host->KeyStates(), sizeof watchKeys_);
}

bool Game::WatchReplayInstead(const ReplayHeader& header, const uint8_t* tapeBytes) {
    if (state == GameState::Playing && !watchingReplay) return false;
    if (watchingReplay) EndWatching();  // to the menu, which fades out below
    // What the screen on show holds beyond its picture goes with it: the
    // wait for the other player, a name being looked up.
    if (state == GameState::Connecting) online.Stop();
    if (state == GameState::TwoPlayers) twoPlayersScreen.Leave();
    if (Screen* shown = ScreenOf(state)) shown->FadeOut();
    WatchReplay(header, tapeBytes);
    return true;
}

// A frame of a watched replay: the viewer's keys come from the host (the
// game's own keys come from the tape), then as many of the replay's passes
// as the speed asks, or none while paused.
bool Game::WatchFrame() {
    uint8_t keys[256] = {};
    if (Host* host = GetHost()) std::memcpy(keys, host->KeyStates(), sizeof keys);
    auto pressed = [&](uint8_t code) { return keys[code] != 0 && watchKeys_[code] == 0; };
    const bool leave = pressed(DIK_ESCAPE);
    // (A live game is played at its own pace: no skips nor speeds.)
    const bool skip = pressed(DIK_N) && !watchingLive;
    if (pressed(DIK_P) || pressed(DIK_SPACE)) watchPaused = !watchPaused;
    for (const auto& [code, speed] : {std::pair{DIK_1, 1}, {DIK_2, 2}, {DIK_4, 4}, {DIK_8, 8}})
        if (pressed(code) && !watchingLive) watchSpeed = speed;
    std::memcpy(watchKeys_, keys, sizeof watchKeys_);
    if (leave) {
        EndWatching();
        return true;
    }
    if (watchPaused && !replayPending_) {
        // The picture on show stands; nothing of the game runs.
        HoldPictureOnShow();
        DrawWatchStatus();
        FlipDisplay();
        return true;
    }
    const int32_t level = match.levelIndex;
    const int32_t passes = WatchPasses(skip);
    if (passes == 0) {
        // The live game's next passes are not held yet: its picture stands.
        HoldPictureOnShow();
        DrawWatchStatus();
        FlipDisplay();
        return true;
    }
    for (int32_t i = 0; i < passes; ++i) {
        if (watchingLive && i > 0 && !live.MayPlay(recorder.onlineTape.Passes(), match.TableShown())) break;
        if (!RunPass()) return false;
        if (recorder.end != ReplayVerdict::None) {
            EndWatching();
            return true;
        }
        if (skip && match.levelIndex != level) break;
    }
    return true;
}

// The passes a watched frame runs: the speed chosen, or the live game's
// (none while its next passes are not held).
int32_t Game::WatchPasses(bool skip) {
    if (!watchingLive) return skip ? kReplayMaxSkip : watchSpeed;
    if (replayPending_) return 1;
    watchSpeed = live.Speed(recorder.onlineTape.Passes(), match.TableShown());
    return watchSpeed;
}

bool Game::WatchLive(WorldLink* link, const char* code) {
    if (watchingLive) EndWatching();
    liveHeaderChanges_ = 0;
    return live.Start(link, code, GetHost() != nullptr ? GetHost()->Ticks() : 0);
}

// A pass of a live game watched: the feed's answers taken; once enough is
// held the replay begins, and it is handed every byte that comes.
void Game::FollowLive() {
    live.Poll(GetHost() != nullptr ? GetHost()->Ticks() : 0);
    if (live.GetStage() == LiveWatch::Stage::Refused) return LiveRefused();
    if (live.ReadyToPlay()) {
        ReplayHeader header = live.Header();
        header.tapeBytes = static_cast<uint32_t>(live.BodySize());
        char why[kWatchReasonBytes];
        if (!ReplayFitsThisGame(header, playDataHash, why, sizeof why)) {
            live.Refuse(why);
            return LiveRefused();
        }
        if (!WatchReplayInstead(header, live.Body())) {
            live.Refuse("a game is in play here");
            return LiveRefused();
        }
        watchingLive = true;
        live.Playing();
        liveHeaderChanges_ = live.HeaderChanges();
        return;
    }
    if (!watchingLive) return;
    // (The online replay plays the recorder's tape.)
    if (online.Replaying()) recorder.onlineTape.Grow(live.BodySize());
    if (live.HeaderChanges() != liveHeaderChanges_) {
        // The game's final header: its results, which the replay is judged by.
        liveHeaderChanges_ = live.HeaderChanges();
        recorder.header = live.Header();
    }
}

// The live game cannot be watched (any more): said, and the watching left.
void Game::LiveRefused() {
    std::fprintf(stderr, "voidcrawl: the game %s cannot be watched: %s\n", live.Code(), live.Reason());
    if (watchingReplay) EndWatching();
    if (state == GameState::TwoPlayers)
        std::snprintf(twoPlayersScreen.notice, sizeof twoPlayersScreen.notice, "CANNOT WATCH: %.180s", live.Reason());
    // (The reason stays for whoever asks; nothing more is fetched.)
    watchingLive = false;
}

bool Game::WatchEntryReplay(const HighScoreRecord* entry) {
    size_t size = 0;
    if (entry == nullptr ||
        !LoadReplayFor(*entry, highScoreScreen.difficulty, recorder.file, sizeof recorder.file, &size))
        return false;
    ReplayHeader header;
    const uint8_t* tapeBytes = nullptr;
    ReadError error;
    char why[kReadReasonSize];
    if (!ParseReplay(recorder.file, size, &header, &tapeBytes, &error)) {
        std::snprintf(why, sizeof why, "%s", error.reason);
    } else if (ReplayFitsThisGame(header, playDataHash, why, sizeof why)) {
        highScoreScreen.FadeOut();
        const int32_t row = highScoreScreen.pickedRow;
        WatchReplay(header, tapeBytes);
        watchFromTable_ = true;
        watchTableDifficulty_ = highScoreScreen.difficulty;
        watchTableRow_ = row;
        return true;
    }
    std::fprintf(stderr, "voidcrawl: the entry's replay cannot be played: %s\n", why);
    return false;
}

void Game::DrawWatchStatus() {
    char text[40];
    const char* what = watchingLive ? "LIVE" : "REPLAY";
    if (watchPaused)
        std::snprintf(text, sizeof text, "%s PAUSED", what);
    else if (watchingLive && live.Waiting())
        std::snprintf(text, sizeof text, "LIVE: WAITING FOR THE GAME...");
    else if (watchingLive && watchSpeed == 1)
        std::snprintf(text, sizeof text, "LIVE");
    else
        std::snprintf(text, sizeof text, "%s X%d", what, static_cast<int>(watchSpeed));
    if (match.players < 2) {
        // The top left corner is free in play and between levels.
        smallFont.DrawText(backBuffer, 8, 6, text, TextExtent::Whole);
        return;
    }
    // Player 1's score holds the corner: under the score line, on black.
    const int32_t width = smallFont.TextWidth(text);
    const int32_t top = mediumFont.cellHeight + 4;
    FillRect(0, top, width + 12, top + smallFont.cellHeight + 4, backBuffer, 0);
    smallFont.DrawText(backBuffer, 8, top + 2, text, TextExtent::Whole);
}

void Game::EndWatching() {
    // Left before its first pass: no game of its own took the screen.
    const bool neverStarted = replayPending_;
    watchingReplay = false;
    replayPending_ = false;
    if (watchingLive) {
        watchingLive = false;
        if (live.GetStage() != LiveWatch::Stage::Refused) live.Stop();
    }
    if (recorder.end != ReplayVerdict::None && recorder.end != ReplayVerdict::Verified)
        std::fprintf(stderr, "voidcrawl: the replay is not verified: %s\n", recorder.verdict);
    recorder.ForgetSource();
    recorder.tape.Stop();
    online.EndReplay();
    if (Host* host = GetHost()) match.SetPlayKeys(host->CurrentSettings().keys);
    // The pointer where the player's mouse went meanwhile: the replay's
    // moves were the recorded player's, the player's own went on under them.
    int64_t travelX = 0, travelY = 0;
    HostPointerTravel(&travelX, &travelY);
    cursor.MoveTo(watchCursorX_ + (travelX - watchTravelX_), watchCursorY_ + (travelY - watchTravelY_));
    if (state == GameState::Playing) match.Leave();
    exitBoxShown = false;
    if (watchFromTable_) {
        // Back to the table the game was picked from, its row still picked.
        watchFromTable_ = false;
        if (state == GameState::MainMenu) mainMenu.FadeOut();
        highScoreScreen.Load(HighScoreTable::FileName(watchTableDifficulty_), watchTableDifficulty_);
        FindWatchableRows();
        highScoreScreen.pickedRow = watchTableRow_;
        highScoreScreen.worldShown = watchFromWorld_;  // the world's rows are still the view's
        if (watchFromWorld_) highScoreScreen.worldView.picked = watchTableRow_;
        watchFromWorld_ = false;
        pickPointerX_ = cursor.x;
        pickPointerY_ = cursor.y;
        tableButtonWasDown_ = true;
        tableKeysWere_[2] = 1;
        GoTo(GameState::HighScores);
        return;
    }
    if (state == GameState::MainMenu && !neverStarted) return;  // the replay's game was left there
    GoTo(GameState::MainMenu);
}

void Game::FindWatchableRows() {
    if (highScoreScreen.loads == watchableLoads_) return;
    FindReplaysBehind(highScoreScreen.records, HighScoreTable::kRecords, highScoreScreen.difficulty,
                      highScoreScreen.watchable);
    watchableLoads_ = highScoreScreen.loads;
}

// The pointer picks the row it moves onto; the arrow keys step through the
// rows whose games can be watched.
void Game::PickTableRow() {
    if (cursor.x != pickPointerX_ || cursor.y != pickPointerY_) {
        if (pickPointerX_ >= 0) highScoreScreen.pickedRow = highScoreScreen.RowIndexAt(cursor.x, cursor.y);
        pickPointerX_ = cursor.x;
        pickPointerY_ = cursor.y;
    }
    const bool up = KeyState[DIK_UP] != 0, down = KeyState[DIK_DOWN] != 0;
    if (up && !tableKeysWere_[0]) highScoreScreen.MovePick(-1);
    if (down && !tableKeysWere_[1]) highScoreScreen.MovePick(1);
    tableKeysWere_[0] = up;
    tableKeysWere_[1] = down;
}

// The set-up of an online game is done: hosting or joining starts, and the
// set-up screen stays behind "waiting for the other player".
void Game::StartOnline() {
    const uint32_t matchSeed = useSeed ? seed : static_cast<uint32_t>(std::time(nullptr)) ^ RandomState();
    if (!online.Start(playerSetup, ClampDifficulty(difficulty), matchSeed, playDataHash)) {
        GiveUpOnline(true);
        return;
    }
    GoTo(GameState::Connecting);
}

void Game::ConnectingFrame(bool escDown) {
    const OnlinePlay::Wait wait = online.WaitFrame();
    if (wait == OnlinePlay::Wait::Ready) {
        setupScreen.FadeOut();
        online.BeginPlay();
    } else if (wait == OnlinePlay::Wait::Failed || escDown) {
        GiveUpOnline(wait == OnlinePlay::Wait::Failed);
    }
}

// Back to the menu from the set-up or the wait, saying why when it failed.
void Game::GiveUpOnline(bool failed) {
    if (failed) {
        char text[320];
        std::snprintf(text, sizeof text, "The online game cannot start: %s.", online.Failure());
        Fail(text, nullptr);
    }
    online.Stop();
    setupScreen.FadeOut();
    GoTo(GameState::MainMenu);
}

// An online game (or its replay) begins: two players at the agreed
// difficulty, recorded as a game here is.
bool Game::BeginOnlineMatch(int32_t onlineDifficulty, bool record) {
    difficulty = onlineDifficulty;
    players = 2;
    if (record && recorder.recordGames) StartRecording();
    BeginMatch();
    return state == GameState::Playing;
}

// What the set-up's confirmation starts, for the players and for a replay.
void Game::BeginMatch() {
    match.onlinePlayer = -1;
    match.resultsOffDisk = recorder.tape.Playing() || online.Replaying() ? 1 : 0;
    match.Begin(difficulty);
    if (match.levelFailed) {
        LeaveAfterLevelError();
        return;
    }
    GoTo(GameState::Playing);
}

// What the set-up screen handed over, for the recording.
void Game::StartRecording() {
    RecordingStart from;
    from.dataHash = playDataHash;
    from.players = players;
    from.difficulty = difficulty;
    from.buttonDown = MouseState.rgbButtons[0] != 0;
    from.pointerX = cursor.x;
    from.pointerY = cursor.y;
    from.clickLatch = setupScreen.clickLatch != 0;
    from.onlinePlayer = online.Active() ? online.Local() : -1;
    recorder.Start(from, match);
}

void Game::PlayReplay(const ReplayHeader& header, const uint8_t* tapeBytes) {
    recorder.Expect(header);
    replayTape_ = tapeBytes;
    replayPending_ = true;
}

// The game as the recording's confirmation left it, then its first pass.
void Game::StartReplay() {
    replayPending_ = false;
    // The screen left behind faded to near black; the arena fades in from
    // black itself, never from what that screen's palette kept.
    BlackOutPalette();
    const ReplayHeader& h = recorder.header;
    players = h.players;
    difficulty = h.difficulty;
    std::memset(playerSetup.name1, 0, sizeof playerSetup.name1);
    std::memset(playerSetup.name2, 0, sizeof playerSetup.name2);
    std::memcpy(playerSetup.name1, h.names[0], sizeof h.names[0]);
    std::memcpy(playerSetup.name2, h.names[1], sizeof h.names[1]);
    playerSetup.ship1 = h.ships[0];
    playerSetup.ship2 = h.ships[1];
    match.players = players;
    match.SetPlayKeys(h.keys);
    cursor.x = h.pointerX;
    cursor.y = h.pointerY;
    MouseState.rgbButtons[0] = h.buttonDown != 0 ? 0x80 : 0;
    setupScreen.clickLatch = (h.latches & kReplayClickLatch) != 0 ? 1 : 0;
    match.spaceLatch = (h.latches & kReplaySpaceLatch) != 0 ? 1 : 0;
    exitBoxShown = false;
    match.SetPlayers(&playerSetup);
    SeedRandom(h.randomState);
    recorder.BeginReplay();
    if ((h.flags & kReplayOnline) != 0) {
        online.BeginReplay(h, replayTape_);
        return;
    }
    recorder.tape.Play(replayTape_, h.tapeBytes, h.buttonDown != 0);
    BeginMatch();
}

// The recorder's marks after each pass, of the online session when one plays.
void Game::CheckpointsAfterPass() { recorder.AfterPass(match, online.Active() ? &online : nullptr, watchingReplay); }

void Game::StopTape() { recorder.Stop(match, online); }

void Game::Shutdown() {
    online.Stop();
    StopTape();
    SetInputTape(nullptr);
    for (Surface* s : {&cursorSurface, &bigFontSurface, &smallFontSurface, &mediumFontSurface}) {
        if (*s) ReleaseSurface(*s);
        *s = nullptr;
    }
    mainMenu.Release();
    highScoreScreen.Release();
    setupScreen.Release();
    infoScreen.Release();
    optionsScreen.Release();
    twoPlayersScreen.Release();
    imageBank.ReleaseAll();
    sounds.ReleaseAll();
    match.Shutdown();
    ShutdownInput();
    ShutdownSound();
    ShutdownDisplay();
}
