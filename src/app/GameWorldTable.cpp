// The high-score screen's WORLD tab, as the game runs it: the pick of a
// row, the fetch of its game and the watching of it, the one question
// whether this machine's finished games go to the world table, and the
// game-over table's line with the world's answer to the game just ended.
#include <cstdio>
#include <cstring>

#include "app/Game.h"
#include "io/Input.h"
#include "io/SoundSlots.h"
#include "platform/KeyCodes.h"

void Game::WorldTableFrame(bool escDown) {
    WorldTableView& view = highScoreScreen.worldView;
    PickWorldRow();
    const bool enter = KeyState[DIK_RETURN] != 0 && !tableKeysWere_[2];
    tableKeysWere_[2] = KeyState[DIK_RETURN];
    const bool click = cursor.LeftDown() && !tableButtonWasDown_;
    tableButtonWasDown_ = cursor.LeftDown();
    if (highScoreScreen.Frame(&mediumFont, false) != HighScoreTable::None || escDown) {
        worldFetching_ = false;
        highScoreScreen.FadeOut();
        GoTo(GameState::MainMenu);
        return;
    }
    if (!highScoreScreen.worldShown) {
        worldFetching_ = false;  // back to this machine's tables: the fetch is given up
        return;
    }
    if (click && view.RowAt(cursor.x, cursor.y) >= 0)
        FetchWorldGame(view.RowAt(cursor.x, cursor.y));
    else if (enter)
        FetchWorldGame(view.picked);
    PollWorldGame();
}

// As on this machine's tables: the pointer picks the row it moves onto, the
// arrow keys step through the rows.
void Game::PickWorldRow() {
    WorldTableView& view = highScoreScreen.worldView;
    if (cursor.x != pickPointerX_ || cursor.y != pickPointerY_) {
        if (pickPointerX_ >= 0) view.picked = view.RowAt(cursor.x, cursor.y);
        pickPointerX_ = cursor.x;
        pickPointerY_ = cursor.y;
    }
    const bool up = KeyState[DIK_UP] != 0, down = KeyState[DIK_DOWN] != 0;
    if (up && !tableKeysWere_[0]) view.MovePick(-1);
    if (down && !tableKeysWere_[1]) view.MovePick(1);
    tableKeysWere_[0] = up;
    tableKeysWere_[1] = down;
}

void Game::FetchWorldGame(int32_t band) {
    WorldTableView& view = highScoreScreen.worldView;
    const WorldRow* row = view.Row(band);
    WorldLink* world = highScoreScreen.world;
    if (row == nullptr || world == nullptr || row->replay[0] == '\0') return;
    sounds.Play(kSoundClick, SoundLoop::Once);
    world->AskReplay(row->replay);
    worldFetching_ = true;
    worldFetchRow_ = band;
    view.picked = band;
    std::snprintf(view.notice, sizeof view.notice, "FETCHING THE GAME OF %.20s (RANK %lld)...", row->name,
                  static_cast<long long>(row->rank));
}

void Game::PollWorldGame() {
    WorldLink* world = highScoreScreen.world;
    if (!worldFetching_ || world == nullptr) return;
    WorldTableView& view = highScoreScreen.worldView;
    size_t size = 0;
    char reason[kWorldReasonBytes] = {};
    const WorldAnswer answer = world->Replay(recorder.file, sizeof recorder.file, &size, reason, sizeof reason);
    if (answer == WorldAnswer::Waiting) return;
    worldFetching_ = false;
    char why[kReadReasonSize] = {};
    if (answer == WorldAnswer::Ready) {
        ReplayHeader header;
        const uint8_t* tapeBytes = nullptr;
        ReadError error;
        if (!ParseReplay(recorder.file, size, &header, &tapeBytes, &error)) {
            std::snprintf(why, sizeof why, "%s", error.reason);
        } else if (ReplayFitsThisGame(header, playDataHash, why, sizeof why)) {
            view.notice[0] = '\0';
            highScoreScreen.FadeOut();
            WatchReplay(header, tapeBytes);
            watchFromTable_ = true;
            watchFromWorld_ = true;
            watchTableDifficulty_ = highScoreScreen.difficulty;
            watchTableRow_ = worldFetchRow_;
            return;
        }
    } else {
        std::snprintf(why, sizeof why, "%s", answer == WorldAnswer::Failed ? reason : "nothing came");
    }
    sounds.Play(kSoundClickNo, SoundLoop::Once);
    std::snprintf(view.notice, sizeof view.notice, "THAT GAME CANNOT BE WATCHED: %.120s", why);
    std::fprintf(stderr, "voidcrawl: the world table's game cannot be watched: %s\n", why);
}

bool Game::ShouldAskToSend() const {
    Host* host = GetHost();
    const WorldLink* world = highScoreScreen.world;
    return host != nullptr && world != nullptr && world->Configured() && !host->CurrentSettings().worldAsked;
}

void Game::RaiseSendQuestion() {
    askingSend_ = true;
    askKeysHeld_[0] = askKeysHeld_[1] = 1;  // Y or N held from before answers nothing
}

void Game::AskSendFrame(bool escDown) {
    highScoreScreen.boxOver = true;
    highScoreScreen.Frame(&mediumFont, false);
    const BoxAnswer under = SendQuestionAt(cursor.x, cursor.y);
    DrawSendQuestion(drawKit, under);
    cursor.Update();
    // Only a press begun while the box is up answers it.
    static constexpr uint8_t kAnswerKeys[2] = {DIK_Y, DIK_N};
    bool pressed[2] = {};
    for (int k = 0; k < 2; ++k) {
        pressed[k] = KeyState[kAnswerKeys[k]] != 0 && !askKeysHeld_[k];
        askKeysHeld_[k] = KeyState[kAnswerKeys[k]] != 0 ? 1 : 0;
    }
    const bool click = cursor.LeftDown() && !tableButtonWasDown_;
    tableButtonWasDown_ = cursor.LeftDown();
    BoxAnswer answer = pressed[0] ? BoxAnswer::Yes : (pressed[1] ? BoxAnswer::No : BoxAnswer::None);
    if (answer == BoxAnswer::None && click) answer = under;
    if (answer == BoxAnswer::None && escDown) {
        // Left unanswered: asked again on the next visit.
        askingSend_ = false;
        highScoreScreen.boxOver = false;
        highScoreScreen.FadeOut();
        GoTo(GameState::MainMenu);
        return;
    }
    if (answer == BoxAnswer::None) return;
    sounds.Play(kSoundClick, SoundLoop::Once);
    KeepSendAnswer(answer == BoxAnswer::Yes);
    askingSend_ = false;
    highScoreScreen.boxOver = false;
    highScoreScreen.Arm();  // the click that answered switches nothing on the bar
}

// The answer is kept (and the question never asked again); a failed save
// holds for the run and is said under the table.
void Game::KeepSendAnswer(bool send) {
    Host* host = GetHost();
    if (host == nullptr) return;
    Settings next = host->CurrentSettings();
    next.worldSend = send;
    next.worldAsked = true;
    char reason[HighScoreTable::kWorldLineSize] = {};
    if (host->ChangeSettings(next, reason, sizeof reason)) return;
    std::snprintf(highScoreScreen.worldLine, sizeof highScoreScreen.worldLine, "Settings NOT saved: %.120s", reason);
}

// The game-over table of a game sent to the world table says where it
// stands there: being sent, its rank ("WORLD RANK 37 OF 1,204", each
// player's online), or the refusal with the server's reason.
void Game::ShowWorldStanding() {
    if (state != GameState::Playing) return;
    char* line = highScoreScreen.worldLine;
    const size_t size = sizeof highScoreScreen.worldLine;
    line[0] = '\0';
    // Only for the game on the table: an earlier game's answer is not its.
    if (!match.TableShown() || recorder.name[0] == '\0' || std::strcmp(world.tag, recorder.name) != 0) return;
    switch (world.standing) {
    case WorldPlay::Standing::None:
        break;
    case WorldPlay::Standing::Sending:
        std::snprintf(line, size, "SENDING THIS GAME TO THE WORLD TABLE...");
        break;
    case WorldPlay::Standing::Ranked:
        if (world.answer.count > 1)
            std::snprintf(line, size, "%.13s: %.40s - %.13s: %.40s", world.answer.results[0].name, world.RankText(0),
                          world.answer.results[1].name, world.RankText(1));
        else
            std::snprintf(line, size, "THIS GAME: %.60s", world.RankText(0));
        break;
    case WorldPlay::Standing::Refused:
        std::snprintf(line, size, "THE WORLD TABLE REFUSED THIS GAME: %.100s", world.reason);
        break;
    case WorldPlay::Standing::NotKept:
        std::snprintf(line, size, "THIS GAME CANNOT BE SENT TO THE WORLD TABLE: %.90s", world.reason);
        break;
    }
}
