#include "match/Match.h"

#include <cstdio>
#include <cstring>

#include "gfx/Display.h"
#include "gfx/FontMetrics.h"
#include "gfx/ImageSlots.h"
#include "io/Input.h"
#include "io/SoundSlots.h"
#include "match/IntroPanel.h"
#include "platform/GameFile.h"
#include "platform/Host.h"
#include "world/Difficulty.h"
#include "world/Random.h"

namespace {

constexpr float kFactorStep = 0.2f;
// Food items added to each level while both players of two are in.
constexpr int32_t kTwoPlayerExtraFood = 3;
// A level's target length is its file's target times this, by difficulty.
constexpr float kTargetFactors[kDifficulties] = {0.7f, 1.0f, 1.17f};

uint32_t Ticks() { return ReadTicks(); }

struct StatusLayout {
    int32_t pressX, lengthX, shieldX, barLeft, livesX, scoreX, scoreY;
};
// Player 1's panel is on the right, player 2's on the left.
constexpr StatusLayout kLayout[2] = {
    {455, 406, 490, 525, 359, 500, 1},
    {120, 76, 160, 195, 29, 1, 1},
};

// A waiting player's name shows its first four letters.
constexpr TextExtent kWaitingNameShown = FirstCharAnd(3);

// The level clock's colons and hundredths, from its left edge.
constexpr int32_t kClockColon1 = 30, kClockColon2 = 70, kClockHundredths = 80;

// The box a text's glyphs take.
Rect TextBox(const Font& font, int32_t x, int32_t y, const char* text) {
    return Rect{x, y, x + font.TextWidth(text), y + font.cellHeight - 2};
}

// The waiting player's "PRESS SPACE" stands just above the status bar.
constexpr int32_t kWaitingLineY = Match::kStatusBarTop - kSmallFontMetrics.cellHeight;
// The intro's "PRESS SPACE", under its panel.
constexpr int32_t kIntroPressX = 240, kIntroPressY = 380;

}  // namespace

float Match::AddFactor(float factor, float delta) {
    return static_cast<float>(static_cast<double>(factor) + static_cast<double>(delta));
}

void Match::Init(Font* big, Font* small, Font* medium, ImageBank* bank, SoundBank* s, const ShipStats* base0,
                 const ShipStats* base1, SetupScreen* setup, HighScoreTable* table, MouseCursor* c) {
    bigFont = big;
    smallFont = small;
    mediumFont = medium;
    imageBank = bank;
    sounds = s;
    shipBaseStatsRef[0] = base0;
    shipBaseStatsRef[1] = base1;
    setupScreen = setup;
    highScores = table;
    cursor = c;
    SetSourceColorKey(0, 0, imageBank->surfaces[kImageComplete]);
    arena.Init(&grid, smallFont, mediumFont);
    food.Init(&grid);
    SetSourceColorKey(0, 0, imageBank->surfaces[kImagePanel]);
    SetDisplayPalette(127, 128, &imageBank->palette[127]);
    for (int i = 0; i < 2; ++i) worms[i].Bind(grid, *bigFont, *sounds, *imageBank);
    SetPlayKeys(playKeys);
}

void Match::SetPlayKeys(const PlayKeys& keys) { playKeys = keys; }

void Match::SetPlayers(const PlayerSetup* setup) {
    playerSetup = setup;
    const char* source[2] = {setup->name1, setup->name2};
    for (int i = 0; i < 2; ++i) {
        std::memset(names[i], 0, sizeof names[i]);
        size_t n = 0;
        while (n + 1 < sizeof names[i] && source[i][n]) ++n;
        std::memcpy(names[i], source[i], n);
    }
    worms[0].SetupForMatch(setup->ship1, shipBaseStatsRef[ShipTableIndex(setup->ship1)]);
    worms[1].SetupForMatch(setup->ship2, shipBaseStatsRef[ShipTableIndex(setup->ship2)]);
}

void Match::Begin(int32_t d) {
    Reset(d);
    highScores->Load(HighScoreTable::FileName(d), ClampDifficulty(d));
    LoadLevel();
}

void Match::Reset(int32_t d) {
    difficulty = d;
    for (int i = 0; i < 2; ++i) {
        exitShownAt[i] = 0;
        exitNumberX[i] = 0;
    }
    resultsSaved = allLevelsDone = timerExpired = 0;
    phase = MatchPhase::Play;
    levelEnd = pointsReady = 0;
    frozen = 0;
    frozenAt = 0;
    timerStart = 0;  // set when a level starts; a game's state owes nothing to the last one's
    gameOverCue = 0;
    playerOut[0] = 0;
    endChoice = 0;
    levelFailed = 0;
    levelError[0] = 0;
    worms[0].ResetForMatch();
    worms[1].ResetForMatch();
    levelIndex = 0;
    playerOut[1] = players == 2 ? 0 : 1;
    StartingFactors();
}

// The target factor and extra food a game starts with (and a continue
// starts again with): easier while both players of two are in.
void Match::StartingFactors() {
    targetFactor = kTargetFactors[ClampDifficulty(difficulty)];
    if (players == 2) {
        targetFactor = AddFactor(targetFactor, -kFactorStep);
        extraFood = kTwoPlayerExtraFood;
    } else {
        extraFood = 0;
    }
}

bool Match::LoadLevel() {
    std::snprintf(levelFileName, sizeof levelFileName, "L%d.DAT", static_cast<int>(levelIndex));
    uint8_t bytes[kLevelFileBytes];
    ReadError why;
    std::FILE* f = OpenGameFile(levelFileName, "rb", &why);
    if (!f) return RefuseLevel(why.reason);
    const size_t got = std::fread(bytes, 1, sizeof bytes, f);
    std::fclose(f);
    return LoadLevelBytes(bytes, static_cast<int64_t>(got));
}

bool Match::RefuseLevel(const char* reason) {
    levelFailed = 1;
    std::snprintf(levelError, sizeof levelError, "The level file %s cannot be used: %s.", levelFileName, reason);
    // Whatever the players reached so far still counts.
    if (!resultsSaved && (worms[0].score > 0 || worms[1].score > 0)) SaveResults();
    return false;
}

bool Match::LoadLevelBytes(const uint8_t* bytes, int64_t size) {
    std::memset(levelFileName, 0, sizeof levelFileName);
    std::snprintf(levelFileName, sizeof levelFileName, "L%d.DAT", static_cast<int>(levelIndex));
    grid.ClearAll();
    ReadError error;
    if (!arena.Load(bytes, size, targetFactor, names[0], names[1], levelIndex, extraFood, &error))
        return RefuseLevel(error.reason);
    level = &arena.header;
    playerDone[0] = 0;
    if (players == 2) {
        food.Reset(extraFood + level->foodCount, level->chanceA, level->chanceB, level->chanceC);
        playerDone[1] = 0;
    } else {
        food.Reset(level->foodCount, level->chanceA, level->chanceB, level->chanceC);
        playerDone[1] = 1;
    }
    phase = MatchPhase::Intro;
    timerExpired = 0;
    gameOverCue = 0;
    arena.Draw();
    food.Draw();
    FlipDisplay();
    arena.Draw();
    food.Draw();
    return true;
}

void Match::Freeze() {
    if (frozen) return;
    frozen = 1;
    frozenAt = Ticks();
}

void Match::Resume() {
    if (!frozen) return;
    frozen = 0;
    // The level clock skips the time the game stood still.
    if (timerStart != 0) {
        timerStart += Ticks() - frozenAt;
        if (timerStart == 0) timerStart = 1;  // 0 means "not started"
    }
}

bool Match::Frame() {
    if (levelFailed) return false;
    const bool goesOn = RunFrame(ReadPlayInput(KeyState, playKeys));
    FollowSpaceLatch(KeyState[DIK_SPACE] != 0, KeyState[DIK_Y] != 0);
    return goesOn;
}

bool Match::Frame(const PlayInput& input) {
    if (levelFailed) return false;
    const bool goesOn = RunFrame(input);
    FollowSpaceLatch(input.space, input.yes);
    return goesOn;
}

void Match::FollowSpaceLatch(bool spaceDown, bool yesDown) {
    if (!spaceDown && !yesDown) spaceLatch = 0;
}

bool Match::RunFrame(const PlayInput& input) {
    Resume();
    arena.Draw();
    if (IntroPending()) {
        IntroFrame(input);
    } else {
        cueShowing = 0;
        waitingShown[0] = waitingShown[1] = 0;
        PlayFrame(input);
        if (InPlay() && !levelFailed) food.Draw();
        // The waiting players' lines over play, never under the food.
        for (int32_t i = 0; i < 2; ++i)
            if (waitingShown[i]) DrawTextClear(smallFont, kLayout[i].pressX, kWaitingLineY, "PRESS SPACE");
        if (cueShowing) DrawGameOverCue();  // over the food
    }
    if (InPlay() && !levelFailed) DrawStatusBar();
    return endChoice != 2 && !levelFailed;
}

void Match::IntroFrame(const PlayInput& input) {
    // The food that would lie under the intro's "PRESS SPACE" waits unseen.
    const Rect pressBox = TextBox(*mediumFont, kIntroPressX, kIntroPressY, "PRESS SPACE");
    food.Draw(&pressBox);
    Blit(0, 0, kIntroPanelWidth, kIntroPanelHeight, imageBank->surfaces[kImagePanel], kIntroPanelX, kIntroPanelY,
         backBuffer, BlitKey::Keyed);
    bigFont->DrawText(backBuffer, kIntroTextX, 170, "LEVEL", TextExtent::Whole);
    bigFont->DrawNumber(backBuffer, 305, 170, levelIndex + 1);
    // The level compiler keeps titles within kIntroTitleRoom.
    bigFont->DrawText(backBuffer, kIntroTextX, 220, level->title, TextExtent::Whole);
    DrawTextClear(mediumFont, kIntroPressX, kIntroPressY, "PRESS SPACE");
    if (levelIndex == kTimerLevel) {
        bigFont->DrawText(backBuffer, kIntroTextX, 270, "TIMER: 40 SEC", TextExtent::Whole);
    } else {
        bigFont->DrawText(backBuffer, kIntroTextX, 270, "COMPLETE: ", TextExtent::Whole);
        bigFont->DrawNumber(backBuffer, 370, 270, level->target);
    }
    ShowWaiting(0);
    if (players == 2) ShowWaiting(1);
    if (input.space && !spaceLatch) {
        worms[0].length = 0;
        worms[0].Start(level->start1X, level->start1Y, level->target);
        if (players == 2) {
            worms[1].length = 0;
            worms[1].Start(level->start2X, level->start2Y, level->target);
        }
        spaceLatch = 1;
        phase = MatchPhase::Play;
        timerStart = Ticks();
        if (timerStart == 0) timerStart = 1;  // 0 means "not started"
    }
}

void Match::ArmSetupScreen() { setupScreen->Arm(); }

void Match::PlayFrame(const PlayInput& input) {
    if (levelEnd == 1) return;  // held: the pass that ended the level is not yet sure
    if (levelEnd == 2) {
        // Let go: the level's last pass ran already; on from where it stopped.
        levelEnd = 0;
    } else {
        PlayWorms(input);
        const bool gameEnds = playerOut[0] && playerOut[1] && !resultsSaved;
        const bool levelEnds = playerDone[0] && playerDone[1] && !PointsPhase() && !(playerOut[0] && playerOut[1]);
        if (holdLevelEnds && (gameEnds || levelEnds)) {
            levelEnd = 1;
            return;
        }
    }
    if (playerOut[0] && playerOut[1]) {
        GameOverPassFrame();
    } else if (PointsPhase()) {
        PointsFrame();
    } else if (allLevelsDone) {
        playerOut[0] = playerOut[1] = 1;
    } else if (playerDone[0] && playerDone[1]) {
        LevelDone();
    }
}

void Match::GameOverPassFrame() {
    // The results are saved the moment the game ends; the cue only
    // holds back the table, so leaving during it loses nothing.
    if (!resultsSaved) SaveResults();
    if (!TableShown() && !allLevelsDone && gameOverCue < kGameOverCueFrames) {
        // The last life is gone: the arena stands still under the cue
        // for a moment before the table fades in.
        gameOverCue += 1;
        cueShowing = 1;
        return;
    }
    if (!TableShown()) phase = MatchPhase::Between;
    endChoice = GameOverFrame();
    if (allLevelsDone) {
        const ImageSlotFile& complete = kImageSlotFiles[kImageComplete];
        Blit(0, 0, complete.width, complete.height, imageBank->surfaces[kImageComplete], 140, 10, backBuffer,
             BlitKey::Keyed);
    }
    if (endChoice == HighScoreTable::Continue) Continue();
}

void Match::Continue() {
    highScores->FadeOut();
    levelIndex = levelIndex > 1 && !allLevelsDone ? levelIndex - 1 : 0;
    allLevelsDone = 0;
    worms[0].ResetForMatch();
    worms[1].ResetForMatch();
    playerOut[0] = 0;
    playerOut[1] = players != 2;
    // Both players are in again: the game is as easy as it began.
    StartingFactors();
    resultsSaved = 0;
    phase = MatchPhase::Between;
    highScores->ClearFresh();
    if (!LoadLevel()) return;
    Enter();
    spaceLatch = 1;
}

void Match::LevelDone() {
    if (levelIndex + 1 == kLevels) {
        allLevelsDone = 1;
        playerDone[0] = playerDone[1] = 0;
        return;
    }
    phase = MatchPhase::Points;
    Leave();
    int p = playerOut[0] ? 1 : 0;
    if (onlinePlayer >= 0) p = onlinePlayer;
    for (int pass = 0; pass < 2; ++pass) {
        setupScreen->DrawBackground();
        Worm& w = worms[p];
        setupScreen->PointsFrame(&w.stats, p == 0 ? playerSetup->ship1 : playerSetup->ship2, w.score, &w.points,
                                 &w.stats.lives, names[p]);
        if (pass == 0) FlipDisplay();
    }
    setupScreen->FadeIn();
    ArmSetupScreen();
    cursor->IgnoreHeldButton();
    pointsDue[0] = pointsDue[1] = 1;
    pointsReady = 0;
}

void Match::TakePoints(int32_t player, const ShipStats& stats, int32_t points) {
    if (onlinePlayer < 0 || !PointsPhase() || player < 0 || player > 1) return;
    Worm& w = worms[player];
    w.stats = stats;
    w.points = points;
    pointsDue[player] = 0;
}

namespace {

// A row of the stats panel in a ship's values: the bits of its field.
uint32_t RowBits(const ShipStats& s, int32_t row) {
    uint32_t bits = 0;
    switch (row) {
    case RowVelocity:
        std::memcpy(&bits, &s.velocity, sizeof bits);
        break;
    case RowAcceleration:
        std::memcpy(&bits, &s.acceleration, sizeof bits);
        break;
    case RowPlasmaShields:
        bits = static_cast<uint32_t>(s.plasmaShields);
        break;
    case RowShieldRecover:
        bits = static_cast<uint32_t>(s.shieldRecover);
        break;
    case RowHsJump:
        bits = static_cast<uint32_t>(s.hsJumpSeconds);
        break;
    case RowMaxWarpGates:
        bits = static_cast<uint32_t>(s.maxWarpGates);
        break;
    default:
        bits = static_cast<uint32_t>(s.lives);
        break;
    }
    return bits;
}

}  // namespace

const char* Match::PointsFault(int32_t player, const ShipStats& stats, int32_t points) const {
    if (player < 0 || player > 1) return "an unknown player";
    if (playerOut[player]) return "a player out of the game has no points screen";
    const int32_t ship = ShipTableIndex(player == 0 ? playerSetup->ship1 : playerSetup->ship2);
    const ShipLimits& limits = setupScreen->limits[ship] != nullptr ? *setupScreen->limits[ship] : kShipLimits[ship];
    const UpgradeCosts& costs = setupScreen->costs != nullptr ? *setupScreen->costs : kUpgradeCosts;
    const Worm& w = worms[player];
    int64_t spent = 0;
    for (int32_t row = 0; row < kShipRows; ++row) {
        // The screen's own steps from the value play left, while the row's
        // plus sign shows (its value short of the limit); each step moves
        // the value, so a row has fewer steps than its limit's range.
        ShipStats at = w.stats;
        int32_t steps = 0;
        while (RowBits(at, row) != RowBits(stats, row)) {
            const int32_t shown = SetupScreen::ShownValue(at, row);
            const bool open = row == RowHsJump ? shown > limits[row] : shown < limits[row];
            if (!open) {
                const int32_t wanted = SetupScreen::ShownValue(stats, row);
                const bool beyond = row == RowHsJump ? wanted < limits[row] : wanted > limits[row];
                return beyond ? "an upgrade beyond the ship's limits" : "a value the points screen's steps never make";
            }
            SetupScreen::ApplyStep(&at, row, limits);
            ++steps;
        }
        spent += static_cast<int64_t>(steps) * costs[row];
    }
    if (points < 0 || spent + points != w.points) return "upgrades that the points do not pay for";
    return nullptr;
}

void Match::EndOnline() {
    if (resultsSaved || (!InPlay() && !PointsPhase())) return;
    if (PointsPhase()) {
        // Between levels: the points screens close, and the table comes
        // over the level just left.
        setupScreen->FadeOut();
        phase = MatchPhase::Play;
        Enter();
    }
    for (int i = 0; i < 2; ++i) {
        worms[i].active = 0;
        worms[i].stats.lives = 0;
        playerOut[i] = 1;
        playerDone[i] = 1;
    }
    phase = MatchPhase::Play;
    levelEnd = 0;
    gameOverCue = kGameOverCueFrames;  // no cue: the table at once
}

// Online, each machine works its own player's screen; the other player's
// result comes over the link (TakePoints) while this one waits.
bool Match::OnlinePointsFrame() {
    const int me = onlinePlayer;
    const int them = 1 - me;
    if (pointsDue[me] && !playerOut[me]) {
        Worm& w = worms[me];
        if (setupScreen->PointsFrame(&w.stats, me == 0 ? playerSetup->ship1 : playerSetup->ship2, w.score, &w.points,
                                     &w.stats.lives, names[me])) {
            pointsDue[me] = 0;
            pointsReady = 1;
        }
    } else {
        setupScreen->DrawBackground();
        const char* const text = "WAITING FOR THE OTHER PLAYER";
        const int32_t width = mediumFont->TextWidth(text);
        // On a band of its own, as while connecting: not over the ship.
        const int32_t y = 240 - mediumFont->cellHeight / 2;
        FillRect(0, y - 8, kScreenWidth, y + mediumFont->cellHeight + 8, backBuffer, 0);
        mediumFont->DrawText(backBuffer, 320 - width / 2, y, text, TextExtent::Whole);
    }
    return !(pointsDue[me] && !playerOut[me]) && !(pointsDue[them] && !playerOut[them]);
}

void Match::PointsFrame() {
    bool closed = false;
    if (onlinePlayer >= 0) {
        closed = OnlinePointsFrame();
    } else if (pointsDue[0] && !playerOut[0]) {
        Worm& w = worms[0];
        if (setupScreen->PointsFrame(&w.stats, playerSetup->ship1, w.score, &w.points, &w.stats.lives, names[0])) {
            pointsDue[0] = 0;
            if (players == 2 && !playerOut[1]) {
                ArmSetupScreen();
                pointsDue[1] = 1;
            } else {
                closed = true;
            }
        }
    } else if (pointsDue[1] && !playerOut[1]) {
        Worm& w = worms[1];
        if (setupScreen->PointsFrame(&w.stats, playerSetup->ship2, w.score, &w.points, &w.stats.lives, names[1])) {
            ArmSetupScreen();
            pointsDue[1] = 0;
            closed = true;
        }
    } else {
        // Nobody is left to close a screen: go on to the next level.
        closed = true;
    }
    if (!closed) return;
    phase = MatchPhase::Between;
    setupScreen->FadeOut();
    levelIndex += 1;
    if (!LoadLevel()) return;
    Enter();
    resultsSaved = 0;
    spaceLatch = 1;
}

void Match::SaveResults() {
    resultsSaved = 1;
    HighScoreTable::GameResult results[2] = {
        {worms[0].score, names[0], worms[0].lengthTotal, levelIndex + 1},
        {worms[1].score, names[1], worms[1].lengthTotal, levelIndex + 1},
    };
    if (resultsOffDisk) {
        highScores->ShowResults(difficulty, results, players == 2 ? 2 : 1);
        return;
    }
    char text[kSaveReasonSize + 512];
    if (highScores->AddResults(difficulty, results, players == 2 ? 2 : 1, text, sizeof text)) return;
    // The player learns of it; the file on disk stays as it was.
    std::fprintf(stderr, "voidcrawl: %s\n", text);
    if (Host* host = GetHost()) host->ShowMessage(text, "Error Message");
}

void Match::DrawGameOverCue() {
    Blit(0, 0, kIntroPanelWidth, kIntroPanelHeight, imageBank->surfaces[kImagePanel], kIntroPanelX, kIntroPanelY,
         backBuffer, BlitKey::Keyed);
    const char* const text = "GAME OVER";
    const int32_t width = bigFont->TextWidth(text);
    bigFont->DrawText(backBuffer, 320 - width / 2, 240 - bigFont->cellHeight / 2, text, TextExtent::Whole);
}

int32_t Match::GameOverFrame() {
    if (!resultsSaved) SaveResults();
    if (!TableShown()) {
        phase = MatchPhase::Table;
        Leave();
        cursor->IgnoreHeldButton();
        highScores->Frame(mediumFont, onlinePlayer < 0);
        FlipDisplay();
        highScores->Frame(mediumFont, onlinePlayer < 0);
        highScores->FadeIn();
    }
    // Online, a game that is over stays over: nobody continues alone.
    return highScores->Frame(mediumFont, onlinePlayer < 0);
}

void Match::Enter() {
    for (int i = 0; i < kPaletteSize; ++i) {
        const PaletteEntry& src = i < 128 ? arena.backgroundPalette[i] : imageBank->palette[i];
        targetPalette[i] = PaletteEntry{src.red, src.green, src.blue, kPaletteFlags};
    }
    fader.FadeIn(targetPalette);
}

void Match::Leave() { fader.FadeOut(); }

void Match::Shutdown() {
    food.Release();
    arena.Release();
}

void Match::PlayWorms(const PlayInput& input) {
    const int count = players == 2 ? 2 : 1;
    for (int i = 0; i < count; ++i) {
        Worm& w = worms[i];
        const int32_t sx = i == 0 ? level->start1X : level->start2X;
        const int32_t sy = i == 0 ? level->start1Y : level->start2Y;
        if (w.active) {
            w.Update(input.actions[i]);
        } else if (w.exited) {
            playerDone[i] = 1;
        } else if (w.stats.lives != 0) {
            waitingShown[i] = 1;  // drawn over the food (Frame)
            ShowWaiting(i);
            playerDone[i] = 0;
            if (input.space && !spaceLatch) {
                w.Start(sx, sy, level->target);
                if (levelIndex == kTimerLevel && timerExpired) {
                    w.exitOpen = 1;
                    w.exitMarker = static_cast<int32_t>(Ticks());
                }
                spaceLatch = 1;
            }
        } else {
            if (players == 2 && !playerOut[i]) targetFactor = AddFactor(targetFactor, kFactorStep);
            playerDone[i] = 1;
            playerOut[i] = 1;
            extraFood = 0;
        }
    }
    if (levelIndex == kTimerLevel && !timerExpired) {
        if (DrawLevelClock(250, 1, timerStart, 4000)) {
            timerExpired = 1;
            // Every worm in play has its exit opened; one already on its
            // way out keeps its jump, and a waiting worm gets the exit when
            // it starts.
            for (Worm& w : worms) {
                if (!w.active || !w.alive || w.jumping || w.exited) continue;
                w.exitOpen = 1;
                w.exitMarker = static_cast<int32_t>(Ticks());
            }
        }
    }
}

void Match::ShowWaiting(int32_t i) {
    const int32_t sx = i == 0 ? level->start1X : level->start2X;
    const int32_t sy = i == 0 ? level->start1Y : level->start2Y;
    worms[i].ShowStartGate(sx, sy);
    if (!playerOut[i]) smallFont->DrawText(backBuffer, sx * 32 + 5, sy * 32 + 10, names[i], kWaitingNameShown);
}

bool Match::DrawLevelClock(int32_t x, int32_t y, uint32_t start, int32_t duration) {
    int32_t minutes = 0, seconds = 0, hundredths = 0;
    if (start != 0) {
        const uint32_t elapsed = (Ticks() - start) / 10u;
        const int32_t c = duration - static_cast<int32_t>(elapsed);
        const int32_t s = c / 100;
        minutes = s / 60;
        seconds = s - 60 * minutes;
        hundredths = c - 100 * s;
    }
    // The last frame may come out a little below zero: it shows zeros.
    // The minutes and the seconds end at their colons (the clock reads
    // 0:35:41, not 0  :35:41); each field is two digits wide.
    char field[12];
    std::snprintf(field, sizeof field, "%d", static_cast<int>(minutes > 0 ? minutes : 0));
    mediumFont->DrawText(backBuffer, x + kClockColon1 - mediumFont->TextWidth(field), y, field, TextExtent::Whole);
    mediumFont->DrawChar(backBuffer, x + kClockColon1, y, ':');
    std::snprintf(field, sizeof field, "%d", static_cast<int>(seconds > 0 ? seconds : 0));
    mediumFont->DrawText(backBuffer, x + kClockColon2 - mediumFont->TextWidth(field), y, field, TextExtent::Whole);
    mediumFont->DrawChar(backBuffer, x + kClockColon2, y, ':');
    char digits[3] = {'0', '0', 0};
    if (hundredths > 0) {
        digits[0] = static_cast<char>('0' + hundredths / 10 % 10);
        digits[1] = static_cast<char>('0' + hundredths % 10);
    }
    mediumFont->DrawText(backBuffer, x + kClockHundredths, y, digits, TextExtent::Whole);
    return hundredths <= 0 && seconds <= 0 && minutes <= 0;
}

void Match::DrawStatusBar() {
    const int count = players == 2 ? 2 : 1;
    for (int i = 0; i < count; ++i) {
        const Worm& w = worms[i];
        const StatusLayout& l = kLayout[i];
        smallFont->DrawNumber(backBuffer, l.lengthX, 464, w.length);
        // A crash can take the shield below zero; the panel shows no less than 0.
        smallFont->DrawNumber(backBuffer, l.shieldX, 464, w.shield > 0 ? w.shield : 0);
        int32_t width = 0;
        if (w.stats.plasmaShields > 0) {
            const double full = static_cast<double>(w.shield) * 107.0 / w.stats.plasmaShields;
            width = full > 107.0 ? 107 : static_cast<int32_t>(full);
        } else if (w.shield > 0) {
            width = 107;
        }
        FillRect(l.barLeft, 466, l.barLeft + width, 476, backBuffer, w.shield >= 40 ? 223 : 212);
        for (int32_t life = w.stats.lives < 20 ? w.stats.lives : 20; life >= 1; --life) {
            const int32_t x = l.livesX + 13 * life;
            FillRect(x, 451, x + 6, 455, backBuffer, 223);
        }
        mediumFont->DrawNumber(backBuffer, l.scoreX, l.scoreY, w.score);
        if (!playerOut[i]) DrawExitCountdown(i);
    }
}

void Match::DrawTextClear(Font* font, int32_t x, int32_t y, const char* text) {
    const Rect box = TextBox(*font, x, y, text);
    Blit(box.left, box.top, box.right, box.bottom, arena.background, x, y, backBuffer, BlitKey::Opaque);
    font->DrawText(backBuffer, x, y, text, TextExtent::Whole);
}

void Match::DrawExitCountdown(int32_t i) {
    Worm& w = worms[i];
    // Only a worm in play counts down to its jump.
    if (!w.exitOpen || !w.active || !w.alive) return;
    const int32_t t = w.exitTimer;
    if (exitShownAt[i] / kPassesPerSecond != t / kPassesPerSecond || exitNumberX[i] == 0) {
        exitShownAt[i] = t;
        const int32_t hx = w.segments[1].cellX;
        const int32_t hy = w.segments[1].cellY;
        int32_t x = hx * 32;
        x -= Rand() % 64;
        x += Rand() % 32;
        int32_t y = hy * 32;
        y -= Rand() % 64;
        y += Rand() % 32;
        if (x < 0)
            x = 5;
        else if (x > 620)
            x = 620;
        if (y < 0)
            y = 5;
        else if (y > 416)
            y = 416;
        exitNumberX[i] = x;
        exitNumberY[i] = y;
        sounds->Play(kSoundExitBeep, SoundLoop::Once);
    }
    if (t - kPassesPerSecond / 2 <= exitShownAt[i])
        bigFont->DrawNumber(backBuffer, exitNumberX[i], exitNumberY[i],
                            w.stats.hsJumpSeconds - exitShownAt[i] / kPassesPerSecond);
}
