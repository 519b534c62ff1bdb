#include "io/InputTape.h"

#include <cstring>

#include "io/ReplayFile.h"
#include "platform/Host.h"

namespace {

constexpr uint8_t kEndOfPass = 0x80;  // and the quiet passes after it in the low 7 bits
constexpr uint32_t kGapInOp = 15;     // a gap this long or longer goes on in a varint
constexpr uint32_t kMaxKeyEvent = 256;

uint32_t ZigZag(int32_t v) { return (static_cast<uint32_t>(v) << 1) ^ (v < 0 ? 0xFFFFFFFFu : 0u); }
int32_t UnZigZag(uint32_t v) { return static_cast<int32_t>((v >> 1) ^ (0u - (v & 1u))); }

// Bounds-checked reading of a stream; every getter is false past the end or
// on a varint longer than a 32-bit value needs.
struct StreamReader {
    const uint8_t* data;
    size_t size;
    size_t* pos;

    bool Byte(uint8_t* out) const {
        if (*pos >= size) return false;
        *out = data[(*pos)++];
        return true;
    }
    bool Varint(uint32_t* out) const {
        uint32_t value = 0;
        for (int shift = 0; shift < 35; shift += 7) {
            uint8_t b = 0;
            if (!Byte(&b)) return false;
            if (shift == 28 && (b & 0xF0) != 0) return false;
            value |= static_cast<uint32_t>(b & 0x7F) << shift;
            if ((b & 0x80) == 0) {
                *out = value;
                return true;
            }
        }
        return false;
    }
    bool U64(uint64_t* out) const {
        if (*pos > size || size - *pos < 8) return false;
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v |= static_cast<uint64_t>(data[*pos + i]) << (8 * i);
        *pos += 8;
        *out = v;
        return true;
    }
};

struct KeyEvent {
    uint32_t count = 0;
    uint8_t codes[kMaxKeyEvent] = {};
};

struct MouseEvent {
    uint8_t button = 0;
    int32_t dx = 0, dy = 0;
};

struct CheckpointEvent {
    uint8_t kind = 0, level = 0;
    uint64_t hash = 0;
};

// The payloads, each with its rules; false on a byte that breaks them.
bool ReadKeys(const StreamReader& r, KeyEvent* e) {
    uint8_t n = 0;
    if (!r.Byte(&n)) return false;
    e->count = n + 1u;
    for (uint32_t i = 0; i < e->count; ++i) {
        if (!r.Byte(&e->codes[i])) return false;
        if (i > 0 && e->codes[i] <= e->codes[i - 1]) return false;  // ascending, each once
    }
    return true;
}

bool ReadMouse(const StreamReader& r, MouseEvent* e) {
    uint8_t flags = 0;
    if (!r.Byte(&flags) || (flags & ~7u) != 0) return false;
    e->button = flags & 1u;
    uint32_t v = 0;
    e->dx = e->dy = 0;
    if ((flags & 2u) != 0) {
        if (!r.Varint(&v) || v == 0) return false;
        e->dx = UnZigZag(v);
    }
    if ((flags & 4u) != 0) {
        if (!r.Varint(&v) || v == 0) return false;
        e->dy = UnZigZag(v);
    }
    return true;
}

bool ReadFocus(const StreamReader& r, uint8_t* focused) { return r.Byte(focused) && *focused <= 1; }

bool ReadTicks(const StreamReader& r, int32_t* delta) {
    uint32_t v = 0;
    if (!r.Varint(&v)) return false;
    *delta = UnZigZag(v);
    return true;
}

bool ReadCheckpoint(const StreamReader& r, CheckpointEvent* e) {
    return r.Byte(&e->kind) && e->kind <= InputTape::kLastCheckpointKind && r.Byte(&e->level) && e->level >= 1 &&
           r.U64(&e->hash);
}

}  // namespace

void InputTape::Reset(bool buttonAtStart) {
    std::memset(keys_, 0, sizeof keys_);
    button_ = buttonAtStart ? 1 : 0;
    focused_ = true;
    lastTicks_ = 0;
    passesSinceTicks_ = 0;
    ticksRead_ = false;
    gap_ = 0;
    runAt_ = 0;
    runOpen_ = false;
    passHasEvents_ = false;
    full_ = false;
    passes_ = 0;
    checkpoints_ = 0;
    segmentPasses_ = 0;
    stopTaken_ = false;
    gameOverLast_ = false;
    eventPending_ = false;
    pendingGap_ = 0;
    quietLeft_ = 0;
    outOfStep_ = false;
    outOfStepLevel_ = 0;
    pos_ = 0;
    playPos_ = 0;
}

void InputTape::Record(uint8_t* buffer, size_t capacity, bool buttonAtStart) {
    Reset(buttonAtStart);
    buffer_ = buffer;
    capacity_ = capacity;
    data_ = nullptr;
    size_ = 0;
    mode_ = Mode::Recording;
}

void InputTape::Play(const uint8_t* data, size_t size, bool buttonAtStart) {
    Reset(buttonAtStart);
    data_ = data;
    size_ = size;
    buffer_ = nullptr;
    capacity_ = 0;
    mode_ = Mode::Playing;
}

// ---- recording ---------------------------------------------------------------

bool InputTape::Room() {
    if (capacity_ >= kOpRoom && pos_ <= capacity_ - kOpRoom) return true;
    full_ = true;
    mode_ = Mode::Off;
    return false;
}

void InputTape::PutVarint(uint32_t value) {
    while (value >= 0x80) {
        Put(static_cast<uint8_t>(value | 0x80));
        value >>= 7;
    }
    Put(static_cast<uint8_t>(value));
}

void InputTape::BeginEvent(EventType type) {
    const uint32_t inOp = gap_ < kGapInOp ? gap_ : kGapInOp;
    Put(static_cast<uint8_t>((type << 4) | inOp));
    if (inOp == kGapInOp) PutVarint(gap_ - kGapInOp);
    gap_ = 0;
    passHasEvents_ = true;
    runOpen_ = false;
}

// ---- playing -----------------------------------------------------------------

void InputTape::Fail(uint8_t level) {
    if (outOfStep_) return;
    outOfStep_ = true;
    outOfStepLevel_ = level;
}

bool InputTape::PeekEvent() {
    if (eventPending_) return true;
    if (outOfStep_ || quietLeft_ > 0 || playPos_ >= size_ || data_[playPos_] >= kEndOfPass) return false;
    const uint8_t op = data_[playPos_++];
    uint32_t gap = op & 0x0Fu;
    if (gap == kGapInOp) {
        uint32_t more = 0;
        const StreamReader r{data_, size_, &playPos_};
        if (!r.Varint(&more) || more > UINT32_MAX - kGapInOp) {
            Fail(0);
            return false;
        }
        gap += more;
    }
    if ((op >> 4) >= kTypes) {
        Fail(0);
        return false;
    }
    pendingType_ = static_cast<EventType>(op >> 4);
    pendingGap_ = gap;
    eventPending_ = true;
    return true;
}

bool InputTape::TakeEvent(EventType type) {
    if (!PeekEvent()) return false;
    if (pendingGap_ > 0) {
        --pendingGap_;
        return false;
    }
    if (pendingType_ != type) {
        // The recording read something else here; name its level when it
        // was a level's state hash.
        const bool named = pendingType_ == kCheckpoint && playPos_ + 1 < size_;
        Fail(named ? data_[playPos_ + 1] : 0);
        return false;
    }
    eventPending_ = false;
    return true;
}

// ---- the reads ---------------------------------------------------------------

void InputTape::Keys(uint8_t* keys) {
    if (mode_ == Mode::Recording) {
        KeyEvent e;
        for (uint32_t code = 0; code < 256; ++code) {
            keys[code] = keys[code] != 0 ? 0x80 : 0;
            if (keys[code] != keys_[code]) e.codes[e.count++] = static_cast<uint8_t>(code);
        }
        if (e.count == 0) return TrivialRead();
        if (!Room()) return;
        BeginEvent(kKeys);
        Put(static_cast<uint8_t>(e.count - 1));
        for (uint32_t i = 0; i < e.count; ++i) Put(e.codes[i]);
        std::memcpy(keys_, keys, sizeof keys_);
        return;
    }
    if (mode_ != Mode::Playing) return;
    if (TakeEvent(kKeys)) {
        KeyEvent e;
        if (!ReadKeys(StreamReader{data_, size_, &playPos_}, &e)) {
            Fail(0);
        } else {
            for (uint32_t i = 0; i < e.count; ++i) keys_[e.codes[i]] = keys_[e.codes[i]] != 0 ? 0 : 0x80;
        }
    }
    std::memcpy(keys, keys_, sizeof keys_);
}

void InputTape::Mouse(int32_t* dx, int32_t* dy, uint8_t* buttonDown) {
    if (mode_ == Mode::Recording) {
        const uint8_t button = *buttonDown != 0 ? 1 : 0;
        *buttonDown = button != 0 ? 0x80 : 0;
        if (*dx == 0 && *dy == 0 && button == button_) return TrivialRead();
        if (!Room()) return;
        BeginEvent(kMouse);
        Put(static_cast<uint8_t>(button | (*dx != 0 ? 2u : 0u) | (*dy != 0 ? 4u : 0u)));
        if (*dx != 0) PutVarint(ZigZag(*dx));
        if (*dy != 0) PutVarint(ZigZag(*dy));
        button_ = button;
        return;
    }
    if (mode_ != Mode::Playing) return;
    MouseEvent e;
    e.button = button_;
    if (TakeEvent(kMouse) && !ReadMouse(StreamReader{data_, size_, &playPos_}, &e)) Fail(0);
    button_ = e.button;
    *dx = e.dx;
    *dy = e.dy;
    *buttonDown = button_ != 0 ? 0x80 : 0;
}

void InputTape::Focus(bool* focused) {
    if (mode_ == Mode::Recording) {
        if (*focused == focused_) return TrivialRead();
        if (!Room()) return;
        BeginEvent(kFocus);
        Put(*focused ? 1 : 0);
        focused_ = *focused;
        return;
    }
    if (mode_ != Mode::Playing) return;
    uint8_t value = 0;
    if (TakeEvent(kFocus)) {
        if (ReadFocus(StreamReader{data_, size_, &playPos_}, &value))
            focused_ = value != 0;
        else
            Fail(0);
    }
    *focused = focused_;
}

void InputTape::Ticks(uint32_t* ticks) {
    const uint32_t expected = ticksRead_ ? lastTicks_ + kPassMs * passesSinceTicks_ : 0;
    if (mode_ == Mode::Recording) {
        if (ticksRead_ && *ticks == expected) {
            TrivialRead();
        } else {
            if (!Room()) return;
            BeginEvent(kTicks);
            PutVarint(ZigZag(static_cast<int32_t>(*ticks - expected)));
        }
    } else if (mode_ == Mode::Playing) {
        int32_t delta = 0;
        if (TakeEvent(kTicks) && !ReadTicks(StreamReader{data_, size_, &playPos_}, &delta)) Fail(0);
        *ticks = expected + static_cast<uint32_t>(delta);
    } else {
        return;
    }
    lastTicks_ = *ticks;
    passesSinceTicks_ = 0;
    ticksRead_ = true;
}

void InputTape::Checkpoint(uint8_t kind, uint8_t level, uint64_t hash) {
    if (mode_ == Mode::Recording) {
        if (!Room()) return;
        if (kind == kStop && capacity_ - pos_ < 2 * kOpRoom) {
            // The stop goes only with the end of its pass after it.
            full_ = true;
            mode_ = Mode::Off;
            return;
        }
        BeginEvent(kCheckpoint);
        Put(kind);
        Put(level);
        for (int i = 0; i < 8; ++i) Put(static_cast<uint8_t>(hash >> (8 * i)));
        ++checkpoints_;
        segmentPasses_ = 0;
        return;
    }
    if (mode_ != Mode::Playing) return;
    if (!TakeEvent(kCheckpoint)) {
        Fail(level);  // the recording has no state hash here
        return;
    }
    CheckpointEvent e;
    if (!ReadCheckpoint(StreamReader{data_, size_, &playPos_}, &e)) {
        Fail(0);
        return;
    }
    if (e.kind != kind || e.level != level || e.hash != hash) {
        Fail(e.level);
        return;
    }
    ++checkpoints_;
    if (kind == kStop) stopTaken_ = true;
    gameOverLast_ = kind == kGameOver;
}

void InputTape::EndPass() {
    if (mode_ == Mode::Recording) {
        if (passes_ >= kReplayMaxPasses || segmentPasses_ >= kReplayMaxSegmentPasses) {
            // Longer than a replay may be: the game goes on unrecorded.
            full_ = true;
            mode_ = Mode::Off;
            return;
        }
        if (!passHasEvents_ && runOpen_ && (buffer_[runAt_] & 0x7Fu) < 0x7Fu) {
            ++buffer_[runAt_];
        } else {
            if (!Room()) return;
            runAt_ = pos_;
            Put(kEndOfPass);
            runOpen_ = true;
        }
        ++passes_;
        ++segmentPasses_;
        ++passesSinceTicks_;
        passHasEvents_ = false;
        gap_ = 0;
        return;
    }
    if (mode_ != Mode::Playing || outOfStep_) return;
    ++passesSinceTicks_;
    if (quietLeft_ > 0) {
        --quietLeft_;
        ++passes_;
        return;
    }
    if (PeekEvent()) {
        // Something the recording read in this pass was never asked for.
        const bool named = pendingType_ == kCheckpoint && playPos_ + 1 < size_;
        Fail(named ? data_[playPos_ + 1] : 0);
        return;
    }
    if (outOfStep_ || playPos_ >= size_) return;
    quietLeft_ = data_[playPos_++] & 0x7Fu;
    ++passes_;
}

bool InputTape::StopsBeforePass() {
    if (mode_ != Mode::Playing || outOfStep_ || eventPending_ || quietLeft_ > 0) return false;
    return playPos_ + 1 < size_ && data_[playPos_] == (kCheckpoint << 4) && data_[playPos_ + 1] == kStop;
}

bool InputTape::Check(const uint8_t* data, size_t size, Ending ending, uint32_t* passes, uint32_t* checkpoints,
                      const char** reason) {
    size_t pos = 0;
    const StreamReader r{data, size, &pos};
    uint64_t passCount = 0;
    uint64_t segment = 0;  // passes since the last state hash
    uint32_t checkpointCount = 0;
    bool stopped = false;  // the stop's state hash has been read ...
    size_t stopAt = 0;     // ... and ends here
    // The game-over table's hash with no read after it: a recording saved
    // as the table came up ends there.
    bool endsAtGameOver = false;
    auto fail = [reason](const char* why) {
        *reason = why;
        return false;
    };
    while (pos < size) {
        const uint8_t op = data[pos++];
        if (op >= kEndOfPass) {
            passCount += 1u + (op & 0x7Fu);
            segment += 1u + (op & 0x7Fu);
            if (segment > kReplayMaxSegmentPasses) return fail("longer between two state hashes than a level can last");
            if (passCount > kReplayMaxPasses) return fail("more passes than a game's levels allow");
            continue;
        }
        if ((op & 0x0Fu) == kGapInOp) {
            uint32_t more = 0;
            if (!r.Varint(&more) || more > UINT32_MAX - kGapInOp) return fail("a read count is cut short or too long");
        }
        endsAtGameOver = false;
        switch (op >> 4) {
        case kKeys: {
            KeyEvent e;
            if (!ReadKeys(r, &e)) return fail("a key change is cut short or out of order");
            break;
        }
        case kMouse: {
            MouseEvent e;
            if (!ReadMouse(r, &e)) return fail("a pointer move is malformed");
            break;
        }
        case kFocus: {
            uint8_t focused = 0;
            if (!ReadFocus(r, &focused)) return fail("a focus change is malformed");
            break;
        }
        case kTicks: {
            int32_t delta = 0;
            if (!ReadTicks(r, &delta)) return fail("a tick count is malformed");
            break;
        }
        case kCheckpoint: {
            CheckpointEvent e;
            if (!ReadCheckpoint(r, &e) || e.level > kReplayLevels) return fail("a state hash is malformed");
            if (stopped) return fail("something after the end of the recording");
            stopped = e.kind == kStop;
            endsAtGameOver = e.kind == kGameOver;
            stopAt = pos;
            ++checkpointCount;
            segment = 0;
            break;
        }
        default:
            return fail("an unknown kind of input");
        }
    }
    // The stop is the recording's last read: its pass's end follows, alone.
    if (ending == Ending::CutShort && stopped) return fail("a replay cut short holds the end of its recording");
    if (ending == Ending::Whole && !stopped && !endsAtGameOver) return fail("the replay ends before its recorded end");
    if (stopped && stopAt == size) return fail("the replay ends before its recorded end");
    if (stopped && (size - stopAt != 1 || data[stopAt] != kEndOfPass))
        return fail("something after the end of the recording");
    *passes = static_cast<uint32_t>(passCount);
    *checkpoints = checkpointCount;
    return true;
}
