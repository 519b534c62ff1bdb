#pragma once
#include <cstddef>
#include <cstdint>

#include "app/Replay.h"
#include "io/InputTape.h"
#include "io/OnlineTape.h"
#include "io/ReplayFile.h"
#include "match/Match.h"

// The title of the message boxes that tell the player of a failure.
constexpr const char kErrorTitle[] = "Error Message";

// What the recorder asks of an online game's session (OnlinePlay), whose
// confirmed passes it records and whose recording it plays back.
class SessionRecording {
public:
    // The session's generator is put in force again (the game's own frames
    // draw from it).
    virtual void ResumeGenerator() = 0;
    // Recording: every confirmed pass onto the tape (the game is over).
    virtual void TapeAllPasses() = 0;
    // Recording stops: the session ends where both games end (or drops its
    // guesses), its generator in force, every confirmed pass on the tape.
    virtual void SettleForStop() = 0;
    // This machine's player (0 or 1).
    virtual int32_t Local() const = 0;
    // Recording: the tape ends on a level's end whose next level's points
    // records are not on it yet (play here went past that end before any
    // later pass was sure on both sides), with that level.
    virtual bool TapeHoldsALevelsEndLast(uint8_t* level) const = 0;
    virtual bool Replaying() const = 0;
    // Replaying: the recording's stop (or its end) came where play stands.
    virtual bool ReplayEndsHere() const = 0;
    // A replay is over, or left: the tape stops.
    virtual void EndReplay() = 0;

protected:
    ~SessionRecording() = default;
};

// What the set-up's confirmation hands a recording, besides the match.
struct RecordingStart {
    uint64_t dataHash = 0;
    int32_t players = 1;
    int32_t difficulty = 0;
    bool buttonDown = false;
    int32_t pointerX = 0, pointerY = 0;
    bool clickLatch = false;
    int32_t onlinePlayer = -1;  // this machine's player in an online game; -1: a game at this keyboard
};

// The one recorder of the game: every game is recorded, from the set-up's
// confirmation until it is left (at this keyboard every read through
// `tape`, online both players' confirmed passes through `onlineTape`),
// and saved when the game-over table comes up and when it ends; a replay
// is played back through the same tapes and judged, once, at its end.
class Recorder {
public:
    bool recordGames = true;
    // How much of the file a game's input may fill (less only in tests).
    size_t tapeCapacity = kReplayTapeCapacity;
    InputTape tape;
    OnlineTape onlineTape;
    ReplayHeader header;
    char name[64] = {};  // the file this game's replay is saved as
    // Set when a game's replay was saved as its game-over table came up (a
    // finished game, in `file`), until the world table's glue takes it.
    bool finishedGame = false;
    // The file being written: header, then the tape.
    uint8_t file[kReplayFileCapacity] = {};

    // Set once a replay has stopped playing (JudgeReplay's verdict); the
    // level it names (where it lost step or stopped), and the verdict in words.
    ReplayVerdict end = ReplayVerdict::None;
    int32_t outOfStepLevel = 0;
    char verdict[200] = {};

    // Everything play depends on that is not in the tape: what the set-up
    // handed over, the generator and the pointer as they are now.
    void Start(const RecordingStart& from, const Match& match);
    // A replay of `header` is asked for: no verdict yet.
    void Expect(const ReplayHeader& replay);
    // A replay's first pass: the level and table marks start again.
    void BeginReplay();
    // An online game (or its replay) begins: its marks start again.
    void BeginOnlineGame();
    // After each pass: the state hashes where a level ends and where the
    // table comes up, then the pass ends on the tape. A replay that has
    // played to its end, or lost step, is judged here. `online` is the
    // session of an online game under way (null: none); `watching`, a
    // replay watched in the window.
    void AfterPass(const Match& match, SessionRecording* online, bool watching);
    // The end of a recording or a replay: the last state hash, then the
    // file is saved or the replay's verdict given.
    void Stop(const Match& match, SessionRecording& online);
    // The replay's end: what play reached is judged against the header
    // (JudgeReplay), once. A replay from the replay folder (NoteSource)
    // that verifies joins the checked results.
    void Judge(const Match& match);
    // True when the file is saved.
    bool Save(const Match& match);
    // The replay to be played is the file `name` of the replay folder, with
    // these bytes; Forget: it is not (any longer).
    void NoteSource(const char* fileName, const uint8_t* bytes, size_t size);
    void ForgetSource() { source_[0] = '\0'; }
    bool Online() const { return (header.flags & kReplayOnline) != 0; }
    // The state hashes a replay has matched so far.
    uint32_t Hashes() const { return Online() ? onlineTape.Checks() : tape.Checkpoints(); }

private:
    void OfflineAfterPass(const Match& match);
    void OnlineAfterPass(const Match& match, SessionRecording& online, bool watching);
    void StopOnlineRecording(const Match& match, SessionRecording& online);
    // Once a game: a tape that filled says so, and the replay is saved.
    void TellTooLong(const Match& match, bool full, uint32_t passes);

    // The replay being played, when it is a file of the replay folder: its
    // name, size and bytes' hash (the bytes may be gone by its end).
    char source_[kReplayNameSize] = {};
    size_t sourceSize_ = 0;
    const uint8_t* sourceBytes_ = nullptr;
    int32_t levelIndex_ = 0;
    uint8_t allDone_ = 0;
    uint8_t tableShown_ = 0;
    bool fullTold_ = false;
    uint8_t tableSeen_ = 0;  // online: the table's mark
    int32_t tableHeld_ = 0;  // frames a watched replay's table has shown
};
