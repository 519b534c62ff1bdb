#pragma once
#include <cstddef>
#include <cstdint>

#include "net/NetProtocol.h"

// An online game as a replay holds it (docs/replay-format.md, "Online
// body"): the keys of both players on every pass both machines confirmed,
// the session's state hash every kNetHashInterval passes, the hashes where
// a level ended, the game-over table came up and the recording stopped,
// both players' points records between levels, and where the link went.
// Only confirmed passes are written, never a prediction.
//
// Recording writes into a buffer given at the start and never allocates;
// when the buffer is full it stops and says so (Full). Playing serves the
// same things back in order: each Take is true when what comes next is of
// its kind, and a hash that differs puts the tape out of step.
class OnlineTape {
public:
    enum class Mode : uint8_t { Off, Recording, Playing };
    // Checkpoint kinds, as the input tape's: a level ended, the game-over
    // table came up, the recording stops here.
    enum CheckpointKind : uint8_t { kLevelEnd = 0, kGameOver = 1, kStop = 2 };
    enum class Next : uint8_t { Pass, Hash, Checkpoint, Points, Lost, End };
    // A player's keys of a pass: PlayKey bits 0-5 and SPACE as bit 6.
    static constexpr uint8_t kKeyMask = 0x7F;

    void Record(uint8_t* buffer, size_t capacity);
    void Play(const uint8_t* data, size_t size);
    // Playing a body that grows in place (a live game's): its first `size`
    // bytes are held now (never fewer than before).
    void Grow(size_t size) {
        if (mode_ == Mode::Playing && size > size_) size_ = size;
    }
    void Stop() { mode_ = Mode::Off; }
    Mode GetMode() const { return mode_; }
    bool Recording() const { return mode_ == Mode::Recording; }
    bool Playing() const { return mode_ == Mode::Playing; }

    // Recording.
    void Pass(const uint8_t keys[2]);
    void Hash(uint64_t hash);
    void Points(int32_t player, const NetPoints& points);
    void Lost();
    // Recording: stores a checkpoint. Playing: compares it with the one
    // that comes next (a recorded 0 is not compared); `level` is 1-20.
    void Checkpoint(uint8_t kind, uint8_t level, uint64_t hash);

    // Playing: what comes next, and taking it.
    Next Peek() const;
    uint8_t PeekCheckpointKind() const;  // when Peek() is Checkpoint
    bool TakePass(uint8_t keys[2]);
    // The session's hash after `passes` passes against the recorded one;
    // `level` is named when they differ.
    void TakeHash(uint32_t passes, uint64_t hash, uint8_t level);
    bool TakePoints(int32_t* player, NetPoints* points);
    bool TakeLost();
    // Something other than what comes next was asked for.
    void Fail(uint8_t level);
    bool OutOfStep() const { return outOfStep_; }
    uint8_t OutOfStepLevel() const { return outOfStepLevel_; }
    bool Finished() const { return Peek() == Next::End; }

    size_t Size() const { return pos_; }
    // Recording: the bytes that are final (an open run's count may still
    // grow in place; the bytes before it no longer change).
    size_t SureSize() const { return mode_ == Mode::Recording && runOpen_ ? runAt_ : pos_; }
    uint32_t Passes() const { return passes_; }
    // State hashes written (recording) or matched (playing): the session's
    // and the checkpoints.
    uint32_t Checks() const { return checks_; }
    bool Full() const { return full_; }

    // Playing: the recording's stop has been matched: the replay played
    // to its recorded end.
    bool StopTaken() const { return stopTaken_; }
    // Playing: the body was played to its end, whose last record was the
    // game-over checkpoint (a replay saved as the table came up).
    bool EndedAtGameOver() const { return Finished() && gameOverLast_; }

    // Walks a body as Play would, without a game: false at the first byte
    // that breaks the format's rules, with the reason; the passes and the
    // state hashes it holds otherwise. A whole recording
    // ends with its stop; one cut short holds none. No stretch between
    // checkpoints is longer than kReplayMaxSegmentPasses, nor the whole
    // longer than kReplayMaxPasses.
    // How a body must end: with its stop (a whole recording), without one
    // (cut short), or either way (a recording still under way).
    enum class Ending : uint8_t { Whole, CutShort, Any };
    static bool Check(const uint8_t* data, size_t size, Ending ending, uint32_t* passes, uint32_t* checks,
                      const char** reason);
    static bool Check(const uint8_t* data, size_t size, uint32_t* passes, uint32_t* checks, const char** reason) {
        return Check(data, size, Ending::Any, passes, checks, reason);
    }

private:
    bool Room(size_t bytes);
    void Put(uint8_t b) { buffer_[pos_++] = b; }
    void PutU64(uint64_t v);

    Mode mode_ = Mode::Off;
    uint8_t* buffer_ = nullptr;
    size_t capacity_ = 0;
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t pos_ = 0;
    uint8_t keys_[2] = {};
    // Recording: where the open run of unchanged passes is counted.
    size_t runAt_ = 0;
    bool runOpen_ = false;
    // Playing: passes of the present run still to go.
    uint32_t runLeft_ = 0;
    uint32_t passes_ = 0;
    uint32_t checks_ = 0;
    uint32_t segmentPasses_ = 0;  // recording: passes since the last checkpoint
    bool stopTaken_ = false;
    bool gameOverLast_ = false;  // the last checkpoint taken was the game-over one
    bool full_ = false;
    bool outOfStep_ = false;
    uint8_t outOfStepLevel_ = 0;
};

// The walk of an online body that OnlineTape::Check makes, a piece at a
// time, for a body that grows as it is received (a live game's feed): each
// Walk goes on from where the last stopped over the same bytes, longer
// now, through every whole record. A record cut at the end waits (Cut
// says which) until more bytes come; a record that breaks the format's
// rules ends the walk for good (Reason).
class OnlineTapeScan {
public:
    // False once a record breaks the rules.
    bool Walk(const uint8_t* data, size_t size);
    // The bytes of whole records walked.
    size_t Walked() const { return walked_; }
    uint32_t Passes() const { return static_cast<uint32_t>(passes_); }
    uint32_t Checks() const { return checks_; }
    bool Stopped() const { return stopped_; }
    bool EndsAtGameOver() const { return endsAtGameOver_; }
    bool Lost() const { return lost_; }
    // Why the walk was refused (null: it was not).
    const char* Reason() const { return reason_; }
    // The record cut short at the end of the last walk (null: none).
    const char* Cut() const { return cut_; }

private:
    size_t walked_ = 0;
    uint64_t segment_ = 0;  // passes since the last checkpoint
    uint64_t passes_ = 0;
    uint64_t lastHashAt_ = 0;
    uint32_t checks_ = 0;
    bool stopped_ = false;
    bool endsAtGameOver_ = false;
    bool lost_ = false;
    const char* reason_ = nullptr;
    const char* cut_ = nullptr;
};
