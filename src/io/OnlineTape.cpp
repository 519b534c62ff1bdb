#include "io/OnlineTape.h"

#include <cstring>
#include <initializer_list>

#include "io/ReplayFile.h"
#include "platform/LittleEndian.h"

namespace {

// The ops (docs/replay-format.md): a run of passes with the keys as they
// were, a pass with new keys, and the records.
constexpr uint8_t kRunOp = 0x80;   // 1nnnnnnn: n + 1 passes
constexpr uint8_t kKeysOp = 0x40;  // 01aaaaaa bbbbbbbb: one pass with keys a | b << 6
constexpr uint8_t kHashOp = 0x01;
constexpr uint8_t kCheckpointOp = 0x02;
constexpr uint8_t kPointsOp = 0x03;
constexpr uint8_t kLostOp = 0x04;
constexpr uint32_t kRunMax = 128;
constexpr size_t kCheckpointBytes = 1 + 1 + 1 + 8;
constexpr size_t kPointsOpBytes = 1 + 1 + kNetPointsBytes;
constexpr uint8_t kLevels = kNetLevels;

void ReadPoints(const uint8_t* p, NetPoints* out) {
    out->level = p[0];
    out->velocityBits = ReadLittleEndian<uint32_t>(p + 1);
    out->accelerationBits = ReadLittleEndian<uint32_t>(p + 5);
    int32_t* values[] = {&out->shieldRecover, &out->plasmaShields, &out->hsJumpSeconds,
                         &out->maxWarpGates,  &out->lives,         &out->points};
    for (size_t i = 0; i < 6; ++i) *values[i] = ReadLittleEndian<int32_t>(p + 9 + 4 * i);
}

}  // namespace

void OnlineTape::Record(uint8_t* buffer, size_t capacity) {
    *this = OnlineTape();
    buffer_ = buffer;
    capacity_ = capacity;
    mode_ = Mode::Recording;
}

void OnlineTape::Play(const uint8_t* data, size_t size) {
    *this = OnlineTape();
    data_ = data;
    size_ = size;
    mode_ = Mode::Playing;
}

// ---- recording ---------------------------------------------------------------

bool OnlineTape::Room(size_t bytes) {
    if (mode_ != Mode::Recording) return false;
    if (capacity_ >= bytes && pos_ <= capacity_ - bytes) return true;
    full_ = true;
    mode_ = Mode::Off;
    return false;
}

void OnlineTape::PutU64(uint64_t v) {
    for (int i = 0; i < 8; ++i) Put(static_cast<uint8_t>(v >> (8 * i)));
}

void OnlineTape::Pass(const uint8_t keys[2]) {
    if (mode_ != Mode::Recording) return;
    if (passes_ >= kReplayMaxPasses || segmentPasses_ >= kReplayMaxSegmentPasses) {
        // Longer than a replay may be: the game goes on unrecorded.
        full_ = true;
        mode_ = Mode::Off;
        return;
    }
    const uint8_t k0 = keys[0] & kKeyMask, k1 = keys[1] & kKeyMask;
    if (k0 == keys_[0] && k1 == keys_[1]) {
        if (runOpen_ && (buffer_[runAt_] & 0x7Fu) < kRunMax - 1) {
            ++buffer_[runAt_];
        } else {
            if (!Room(1)) return;
            runAt_ = pos_;
            Put(kRunOp);
            runOpen_ = true;
        }
    } else {
        if (!Room(2)) return;
        const uint32_t v = k0 | static_cast<uint32_t>(k1) << 7;
        Put(static_cast<uint8_t>(kKeysOp | (v & 0x3Fu)));
        Put(static_cast<uint8_t>(v >> 6));
        keys_[0] = k0;
        keys_[1] = k1;
        runOpen_ = false;
    }
    ++passes_;
    ++segmentPasses_;
}

void OnlineTape::Hash(uint64_t hash) {
    if (!Room(9)) return;
    Put(kHashOp);
    PutU64(hash);
    runOpen_ = false;
    ++checks_;
}

void OnlineTape::Points(int32_t player, const NetPoints& p) {
    if (!Room(kPointsOpBytes)) return;
    Put(kPointsOp);
    Put(player == 1 ? 1 : 0);
    Put(p.level);
    uint8_t bytes[4];
    for (const uint32_t v : {p.velocityBits, p.accelerationBits}) {
        WriteLittleEndian<uint32_t>(bytes, v);
        for (const uint8_t b : bytes) Put(b);
    }
    for (const int32_t v : {p.shieldRecover, p.plasmaShields, p.hsJumpSeconds, p.maxWarpGates, p.lives, p.points}) {
        WriteLittleEndian<int32_t>(bytes, v);
        for (const uint8_t b : bytes) Put(b);
    }
    runOpen_ = false;
}

void OnlineTape::Lost() {
    if (!Room(1)) return;
    Put(kLostOp);
    runOpen_ = false;
}

void OnlineTape::Checkpoint(uint8_t kind, uint8_t level, uint64_t hash) {
    if (mode_ == Mode::Recording) {
        if (!Room(kCheckpointBytes)) return;
        Put(kCheckpointOp);
        Put(kind);
        Put(level);
        PutU64(hash);
        runOpen_ = false;
        ++checks_;
        segmentPasses_ = 0;
        return;
    }
    if (mode_ != Mode::Playing || outOfStep_) return;
    if (Peek() != Next::Checkpoint) return Fail(level);
    const uint8_t* p = data_ + pos_ + 1;
    const uint64_t recorded = ReadLittleEndian<uint64_t>(p + 2);
    pos_ += kCheckpointBytes;
    if (p[0] != kind || p[1] != level || (recorded != hash && recorded != 0)) return Fail(p[1]);
    ++checks_;
    if (kind == kStop) stopTaken_ = true;
    gameOverLast_ = kind == kGameOver;
}

// ---- playing -----------------------------------------------------------------

void OnlineTape::Fail(uint8_t level) {
    if (outOfStep_) return;
    outOfStep_ = true;
    outOfStepLevel_ = level;
}

OnlineTape::Next OnlineTape::Peek() const {
    if (mode_ != Mode::Playing || runLeft_ > 0) return runLeft_ > 0 ? Next::Pass : Next::End;
    if (pos_ >= size_) return Next::End;
    const uint8_t op = data_[pos_];
    if (op >= kKeysOp) return Next::Pass;
    switch (op) {
    case kHashOp:
        return Next::Hash;
    case kCheckpointOp:
        return Next::Checkpoint;
    case kPointsOp:
        return Next::Points;
    case kLostOp:
        return Next::Lost;
    default:
        return Next::End;  // Check refuses it before play
    }
}

uint8_t OnlineTape::PeekCheckpointKind() const {
    return Peek() == Next::Checkpoint && pos_ + 1 < size_ ? data_[pos_ + 1] : 0xFF;
}

bool OnlineTape::TakePass(uint8_t keys[2]) {
    if (outOfStep_ || Peek() != Next::Pass) return false;
    if (runLeft_ == 0) {
        const uint8_t op = data_[pos_++];
        if (op >= kRunOp) {
            runLeft_ = (op & 0x7Fu) + 1;
        } else {
            const uint32_t v = (op & 0x3Fu) | static_cast<uint32_t>(pos_ < size_ ? data_[pos_++] : 0) << 6;
            keys_[0] = static_cast<uint8_t>(v & kKeyMask);
            keys_[1] = static_cast<uint8_t>(v >> 7);
            runLeft_ = 1;
        }
    }
    --runLeft_;
    keys[0] = keys_[0];
    keys[1] = keys_[1];
    ++passes_;
    return true;
}

void OnlineTape::TakeHash(uint32_t passes, uint64_t hash, uint8_t level) {
    if (mode_ != Mode::Playing || outOfStep_) return;
    if (Peek() != Next::Hash || passes != passes_ || pos_ + 9 > size_) return Fail(level);
    const uint64_t recorded = ReadLittleEndian<uint64_t>(data_ + pos_ + 1);
    pos_ += 9;
    if (recorded != hash) return Fail(level);
    ++checks_;
}

bool OnlineTape::TakePoints(int32_t* player, NetPoints* points) {
    if (outOfStep_ || Peek() != Next::Points || pos_ + kPointsOpBytes > size_) return false;
    *player = data_[pos_ + 1];
    ReadPoints(data_ + pos_ + 2, points);
    pos_ += kPointsOpBytes;
    return true;
}

bool OnlineTape::TakeLost() {
    if (outOfStep_ || Peek() != Next::Lost) return false;
    ++pos_;
    return true;
}

// ---- checking ----------------------------------------------------------------

bool OnlineTapeScan::Walk(const uint8_t* data, size_t size) {
    if (reason_ != nullptr) return false;
    auto fail = [this](const char* why) {
        reason_ = why;
        return false;
    };
    auto wait = [this](const char* why) {
        cut_ = why;
        return true;
    };
    cut_ = nullptr;
    while (walked_ < size) {
        const size_t pos = walked_;
        const uint8_t op = data[pos];
        const size_t left = size - pos;
        if (stopped_) return fail("something after the end of the recording");
        endsAtGameOver_ = false;
        if (op >= kKeysOp) {
            if (lost_) return fail("a pass after the link went");
            const uint32_t run = op >= kRunOp ? (op & 0x7Fu) + 1u : 1u;
            if (op < kRunOp && left < 2) return wait("a pass's keys are cut short");
            passes_ += run;
            segment_ += run;
            if (segment_ > kReplayMaxSegmentPasses) return fail("longer between two checkpoints than a level can last");
            if (passes_ > kReplayMaxPasses) return fail("more passes than a game's levels allow");
            walked_ += op >= kRunOp ? 1 : 2;
            continue;
        }
        switch (op) {
        case kHashOp:
            if (lost_) return fail("a state hash after the link went");
            if (passes_ == 0 || passes_ % kNetHashInterval != 0 || passes_ <= lastHashAt_)
                return fail("a state hash where none is due");
            if (left < 9) return wait("a state hash is cut short");
            lastHashAt_ = passes_;
            ++checks_;
            walked_ += 9;
            break;
        case kCheckpointOp: {
            if (left < kCheckpointBytes) return wait("a checkpoint is cut short");
            const uint8_t kind = data[pos + 1], level = data[pos + 2];
            if (kind > OnlineTape::kStop || level < 1 || level > kLevels) return fail("a checkpoint is malformed");
            walked_ += kCheckpointBytes;
            stopped_ = kind == OnlineTape::kStop;
            endsAtGameOver_ = kind == OnlineTape::kGameOver;
            ++checks_;
            segment_ = 0;
            break;
        }
        case kPointsOp: {
            if (left < kPointsOpBytes) return wait("a points record is cut short");
            if (data[pos + 1] > 1) return fail("a points record of an unknown player");
            NetPoints p;
            ReadPoints(data + pos + 2, &p);
            if (const char* why = NetPointsFault(p)) return fail(why);
            walked_ += kPointsOpBytes;
            break;
        }
        case kLostOp:
            if (lost_) return fail("the link went twice");
            lost_ = true;
            ++walked_;
            break;
        default:
            return fail("an unknown kind of record");
        }
    }
    return true;
}

bool OnlineTape::Check(const uint8_t* data, size_t size, Ending ending, uint32_t* passes, uint32_t* checks,
                       const char** reason) {
    OnlineTapeScan scan;
    if (!scan.Walk(data, size)) {
        *reason = scan.Reason();
        return false;
    }
    if (scan.Cut() != nullptr) {
        *reason = scan.Cut();
        return false;
    }
    if (ending == Ending::CutShort && scan.Stopped()) {
        *reason = "a replay cut short holds the end of its recording";
        return false;
    }
    if (ending == Ending::Whole && !scan.Stopped() && !scan.EndsAtGameOver()) {
        *reason = "the replay ends before its recorded end";
        return false;
    }
    *passes = scan.Passes();
    *checks = scan.Checks();
    return true;
}
