#include "app/Recorder.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "app/CommandLine.h"
#include "platform/Host.h"
#include "world/Difficulty.h"
#include "world/Random.h"

namespace {

// Frames a watched replay's game-over table stands before the replay ends.
constexpr int32_t kTableWatchedFrames = 300;

}  // namespace

void Recorder::Start(const RecordingStart& from, const Match& match) {
    ReplayHeader& h = header;
    h = ReplayHeader();
    std::snprintf(h.gameVersion, sizeof h.gameVersion, "%s", kGameVersion);
    h.dataHash = from.dataHash;
    h.randomState = RandomState();
    h.players = static_cast<uint8_t>(from.players == 2 ? 2 : 1);
    h.difficulty = static_cast<uint8_t>(ClampDifficulty(from.difficulty));
    h.buttonDown = from.buttonDown ? 1 : 0;
    h.pointerX = from.pointerX;
    h.pointerY = from.pointerY;
    h.latches = static_cast<uint8_t>((from.clickLatch ? kReplayClickLatch : 0) |
                                     (match.spaceLatch != 0 ? kReplaySpaceLatch : 0));
    for (int i = 0; i < 2; ++i) std::memcpy(h.names[i], match.names[i], sizeof h.names[i] - 1);
    h.ships[0] = match.playerSetup->ship1;
    h.ships[1] = match.playerSetup->ship2;
    if (h.players == 1) {
        // Player 2 is not in a one-player game, whatever the set-up kept
        // from an earlier game: no name, no ship (worm 2 never plays).
        std::memset(h.names[1], 0, sizeof h.names[1]);
        h.ships[1] = kReplayNoShip;
    }
    h.keys = match.playKeys;
    h.startedAt = static_cast<int64_t>(std::time(nullptr));
    name[0] = 0;
    levelIndex_ = 0;
    allDone_ = tableShown_ = 0;
    fullTold_ = false;
    const size_t capacity = tapeCapacity < kReplayTapeCapacity ? tapeCapacity : kReplayTapeCapacity;
    if (from.onlinePlayer >= 0) {
        // Online, the confirmed passes of both players are recorded instead.
        h.flags = kReplayOnline;
        h.onlinePlayer = static_cast<uint8_t>(from.onlinePlayer + 1);
        onlineTape.Record(file + kReplayHeaderBytes, capacity);
        return;
    }
    tape.Record(file + kReplayHeaderBytes, capacity, h.buttonDown != 0);
}

void Recorder::Expect(const ReplayHeader& replay) {
    header = replay;
    end = ReplayVerdict::None;
    outOfStepLevel = 0;
    verdict[0] = '\0';
}

void Recorder::BeginReplay() {
    levelIndex_ = 0;
    allDone_ = tableShown_ = 0;
}

void Recorder::BeginOnlineGame() {
    fullTold_ = false;
    tableSeen_ = 0;
    tableHeld_ = 0;
}

void Recorder::TellTooLong(const Match& match, bool full, uint32_t passes) {
    if (!full || fullTold_) return;
    fullTold_ = true;
    std::fprintf(stderr, "voidcrawl: this game is too long to record: its replay stops after %u passes\n", passes);
    Save(match);
}

void Recorder::AfterPass(const Match& match, SessionRecording* online, bool watching) {
    if (online != nullptr)
        OnlineAfterPass(match, *online, watching);
    else
        OfflineAfterPass(match);
}

void Recorder::OfflineAfterPass(const Match& match) {
    TellTooLong(match, tape.Full(), tape.Passes());
    if (tape.GetMode() == InputTape::Mode::Off) return;
    bool save = false;
    if (match.levelIndex != levelIndex_) {
        tape.Checkpoint(InputTape::kLevelEnd, static_cast<uint8_t>(levelIndex_ + 1), MatchStateHash(match));
        levelIndex_ = match.levelIndex;
    }
    if (match.allLevelsDone != allDone_) {
        allDone_ = match.allLevelsDone;
        if (allDone_)
            tape.Checkpoint(InputTape::kLevelEnd, static_cast<uint8_t>(match.levelIndex + 1), MatchStateHash(match));
    }
    if (match.TableShown() != tableShown_) {
        tableShown_ = match.TableShown();
        if (tableShown_) {
            tape.Checkpoint(InputTape::kGameOver, static_cast<uint8_t>(match.levelIndex + 1), MatchStateHash(match));
            save = true;
        }
    }
    tape.EndPass();
    if (tape.Recording() && save) finishedGame = Save(match);
    if (tape.Playing() && (tape.OutOfStep() || tape.Finished())) {
        Judge(match);
        tape.Stop();
    }
}

void Recorder::OnlineAfterPass(const Match& match, SessionRecording& online, bool watching) {
    TellTooLong(match, onlineTape.Full(), onlineTape.Passes());
    if (onlineTape.GetMode() == OnlineTape::Mode::Off) return;
    online.ResumeGenerator();
    const uint8_t level = static_cast<uint8_t>(match.levelIndex + 1);
    if (match.TableShown() != tableSeen_) {
        tableSeen_ = match.TableShown();
        if (tableSeen_) {
            if (!online.Replaying()) online.TapeAllPasses();
            onlineTape.Checkpoint(OnlineTape::kGameOver, level, MatchStateHash(match));
            if (onlineTape.Recording()) finishedGame = Save(match);
        }
    }
    if (!online.Replaying()) return;
    if (!onlineTape.OutOfStep() && online.ReplayEndsHere()) {
        // A watched game's table stands a moment before the replay ends.
        if (watching && match.TableShown() && tableHeld_ < kTableWatchedFrames) {
            ++tableHeld_;
            return;
        }
        if (onlineTape.PeekCheckpointKind() == OnlineTape::kStop)
            onlineTape.Checkpoint(OnlineTape::kStop, level, MatchStateHash(match));
    }
    if (onlineTape.OutOfStep() || online.ReplayEndsHere()) {
        Judge(match);
        onlineTape.Stop();
    }
}

void Recorder::StopOnlineRecording(const Match& match, SessionRecording& online) {
    online.SettleForStop();
    uint64_t hash = MatchStateHash(match);
    uint8_t level = static_cast<uint8_t>(match.levelIndex + 1);
    // A points screen left open (its choices were never sent) or the
    // game-over cue is no state a replay brings back: not compared.
    const int32_t me = online.Local();
    if ((match.PointsPhase() && match.pointsDue[me] && !match.playerOut[me]) ||
        (match.resultsSaved && !match.TableShown()))
        hash = 0;
    // Nor is a game that went on past a level's end here while nothing
    // after it was sure: the replay ends at that level's points screens,
    // without the records this machine went on with.
    uint8_t endedLevel = 0;
    if (online.TapeHoldsALevelsEndLast(&endedLevel)) {
        hash = 0;
        level = endedLevel;
    }
    onlineTape.Checkpoint(OnlineTape::kStop, level, hash);
}

void Recorder::Stop(const Match& match, SessionRecording& online) {
    if (onlineTape.Recording()) {
        StopOnlineRecording(match, online);
        Save(match);
    }
    if (online.Replaying() && end == ReplayVerdict::None) Judge(match);  // left at its table
    online.EndReplay();
    if (tape.GetMode() == InputTape::Mode::Off) return;
    const bool recording = tape.Recording();
    // (A replay cut short has no stop: its tape may end just before it.)
    if (recording || !tape.Finished()) {
        tape.Checkpoint(InputTape::kStop, static_cast<uint8_t>(match.levelIndex + 1), MatchStateHash(match));
        tape.EndPass();
    }
    if (recording)
        Save(match);
    else
        Judge(match);
    tape.Stop();
}

void Recorder::NoteSource(const char* fileName, const uint8_t* bytes, size_t size) {
    std::snprintf(source_, sizeof source_, "%s", fileName);
    sourceBytes_ = bytes;
    sourceSize_ = size;
}

void Recorder::Judge(const Match& match) {
    ReplayPlayed played;
    if (Online()) {
        played.outOfStep = onlineTape.OutOfStep();
        played.outOfStepLevel = onlineTape.OutOfStepLevel();
        // (A viewer who leaves at the table, with only the stop to come,
        // has seen the game to its end.)
        played.stopTaken = onlineTape.StopTaken() || onlineTape.PeekCheckpointKind() == OnlineTape::kStop ||
                           onlineTape.EndedAtGameOver();
        played.bodyDone = onlineTape.Finished();
    } else {
        played.outOfStep = tape.OutOfStep();
        played.outOfStepLevel = tape.OutOfStepLevel();
        played.stopTaken = tape.StopTaken() || tape.EndedAtGameOver();
        played.bodyDone = tape.Finished();
    }
    played.level = match.levelIndex + 1;
    for (int i = 0; i < 2; ++i) {
        played.scores[i] = match.worms[i].score;
        played.lengthTotals[i] = match.worms[i].lengthTotal;
    }
    end = JudgeReplay(header, played, &outOfStepLevel, verdict, sizeof verdict);
    if (end == ReplayVerdict::Verified && source_[0] != '\0')
        RecordCheckedReplay(source_, sourceBytes_, sourceSize_, header);
    source_[0] = '\0';
}

bool Recorder::Save(const Match& match) {
    ReplayHeader& h = header;
    const bool onlineGame = Online();
    h.flags = static_cast<uint8_t>((onlineGame ? kReplayOnline : 0) |
                                   ((onlineGame ? onlineTape.Full() : tape.Full()) ? kReplayCutShort : 0));
    for (int i = 0; i < 2; ++i) {
        h.scores[i] = match.worms[i].score;
        h.lengthTotals[i] = match.worms[i].lengthTotal;
    }
    h.level = match.levelIndex + 1;
    h.tapeBytes = static_cast<uint32_t>(onlineGame ? onlineTape.Size() : tape.Size());
    h.passes = onlineGame ? onlineTape.Passes() : tape.Passes();
    h.checkpoints = onlineGame ? onlineTape.Checks() : tape.Checkpoints();
    WriteReplayHeader(h, file);
    SaveResult result;
    const size_t size = kReplayHeaderBytes + h.tapeBytes;
    if (SaveReplayFile(file, size, static_cast<std::time_t>(h.startedAt), name, &result)) {
        // The game reached these results itself: the replay may stand behind them.
        RecordCheckedReplay(name, file, size, h);
        return true;
    }
    // As a failed save of the tables: the player is told, in words.
    char text[kSaveReasonSize + 64];
    std::snprintf(text, sizeof text, "The game's replay was not saved: %s", result.reason);
    std::fprintf(stderr, "voidcrawl: %s\n", text);
    if (Host* host = GetHost()) host->ShowMessage(text, kErrorTitle);
    return false;
}
