#pragma once
#include <cstddef>
#include <cstdint>

// Everything a game reads from the player and the machine, pass by pass, as
// a compact stream of bytes (docs/replay-format.md): the keys, the pointer's
// motion and button, the window's focus and the tick counter, with the
// state hashes the game stores at the end of each level.
//
// Recording, each read stores what it got when it differs from what the
// tape would have given anyway (the keys as they were, no motion, the tick
// counter kPassMs on a pass); playing, each read gets what was stored. A pass
// with nothing new costs nothing but a count. The tape writes into a buffer
// given at the start and never allocates; when the buffer is full it stops
// recording and says so (Full).
class InputTape {
public:
    enum class Mode : uint8_t { Off, Recording, Playing };
    // Kinds of state hash: a level ended, the game-over table came up, the
    // recording stops here (the player left the game or the program ended).
    enum CheckpointKind : uint8_t { kLevelEnd = 0, kGameOver = 1, kStop = 2 };
    static constexpr uint8_t kLastCheckpointKind = kStop;
    // Room kept free for the op being written (the largest takes 11 bytes).
    static constexpr size_t kOpRoom = 16;

    void Record(uint8_t* buffer, size_t capacity, bool buttonAtStart);
    void Play(const uint8_t* data, size_t size, bool buttonAtStart);
    void Stop() { mode_ = Mode::Off; }
    Mode GetMode() const { return mode_; }
    bool Recording() const { return mode_ == Mode::Recording; }
    bool Playing() const { return mode_ == Mode::Playing; }

    // The reads. `keys` is the 256-byte key state (non-zero: down).
    void Keys(uint8_t* keys);
    void Mouse(int32_t* dx, int32_t* dy, uint8_t* buttonDown);
    void Focus(bool* focused);
    void Ticks(uint32_t* ticks);
    // A state hash: stored, or compared with the one stored at this point.
    void Checkpoint(uint8_t kind, uint8_t level, uint64_t hash);
    void EndPass();
    // Playing, between passes: the recording stopped here (the program ended
    // after the last pass); the stop's checkpoint is next.
    bool StopsBeforePass();

    // Recording: the bytes written so far.
    size_t Size() const { return pos_; }
    uint32_t Passes() const { return passes_; }
    uint32_t Checkpoints() const { return checkpoints_; }
    // Recording stopped because the buffer is full.
    bool Full() const { return full_; }
    // Playing: the game read something other than what the tape holds here,
    // or a state hash differs. OutOfStepLevel is the level the failed
    // checkpoint names, 0 when the fault was not at a checkpoint.
    bool OutOfStep() const { return outOfStep_; }
    uint8_t OutOfStepLevel() const { return outOfStepLevel_; }
    // Playing: every byte of the tape has been used.
    bool Finished() const { return playPos_ >= size_ && quietLeft_ == 0 && !eventPending_; }

    // Playing: the recording's stop (kStop) has been matched: the replay
    // played to its recorded end.
    bool StopTaken() const { return stopTaken_; }
    // Playing: the whole recording was played and its last state hash was
    // the game-over table's (a replay saved as the table came up): the
    // replay has played to its recorded end too.
    bool EndedAtGameOver() const { return Finished() && gameOverLast_; }

    // Walks a stream as Play would, without a game: false at the first
    // byte that breaks the format's rules, with the reason; the passes and
    // checkpoints it holds otherwise. A whole recording (not `cutShort`)
    // ends with its stop and the pass after it; one cut short holds no
    // stop. No stretch between state hashes is longer than
    // kReplayMaxSegmentPasses, nor the whole longer than kReplayMaxPasses.
    // How a body must end: with its stop (a whole recording), without one
    // (cut short), or either way (a recording still under way).
    enum class Ending : uint8_t { Whole, CutShort, Any };
    static bool Check(const uint8_t* data, size_t size, Ending ending, uint32_t* passes, uint32_t* checkpoints,
                      const char** reason);
    static bool Check(const uint8_t* data, size_t size, uint32_t* passes, uint32_t* checkpoints, const char** reason) {
        return Check(data, size, Ending::Any, passes, checkpoints, reason);
    }

private:
    enum EventType : uint8_t { kKeys = 0, kMouse = 1, kFocus = 2, kTicks = 3, kCheckpoint = 4, kTypes = 5 };
    void Reset(bool buttonAtStart);
    // Recording.
    bool Room();
    void Put(uint8_t byte) { buffer_[pos_++] = byte; }
    void PutVarint(uint32_t value);
    void BeginEvent(EventType type);
    void TrivialRead() { ++gap_; }
    // Playing: true when this read is the pending event of `type`; false for
    // a read that got nothing new (after counting it).
    bool TakeEvent(EventType type);
    bool PeekEvent();
    void Fail(uint8_t level);

    Mode mode_ = Mode::Off;
    uint8_t* buffer_ = nullptr;
    size_t capacity_ = 0;
    size_t pos_ = 0;
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t playPos_ = 0;

    // What a read that stores nothing gives.
    uint8_t keys_[256] = {};
    uint8_t button_ = 0;
    bool focused_ = true;
    uint32_t lastTicks_ = 0;
    uint32_t passesSinceTicks_ = 0;
    bool ticksRead_ = false;

    // Recording: reads since the pass's last event; where the open run of
    // quiet passes is counted, and whether this pass stored anything.
    uint32_t gap_ = 0;
    size_t runAt_ = 0;
    bool runOpen_ = false;
    bool passHasEvents_ = false;
    bool full_ = false;
    uint32_t passes_ = 0;
    uint32_t checkpoints_ = 0;
    uint32_t segmentPasses_ = 0;  // recording: passes since the last state hash
    bool stopTaken_ = false;
    bool gameOverLast_ = false;  // the last state hash taken was the game-over table's

    // Playing: the next event's type and the reads still to go before it;
    // quiet passes still to go.
    bool eventPending_ = false;
    EventType pendingType_ = kKeys;
    uint32_t pendingGap_ = 0;
    uint32_t quietLeft_ = 0;
    bool outOfStep_ = false;
    uint8_t outOfStepLevel_ = 0;
};
