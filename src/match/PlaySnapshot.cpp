#include "match/PlaySnapshot.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <type_traits>

#include "platform/Hash.h"
#include "world/Random.h"

// Copied as bytes: nothing in the match may need more than a byte copy.
static_assert(std::is_trivially_copyable_v<Match>);

namespace {

// A stretch of the match's bytes.
struct Piece {
    size_t offset;
    size_t size;
};
constexpr int kMaxPieces = 7;

size_t OffsetIn(const Match& m, const void* p) {
    return static_cast<size_t>(static_cast<const uint8_t*>(p) - reinterpret_cast<const uint8_t*>(&m));
}

// A worm's start sets up records 0 to 2 (the target, the head and the
// tail end) and keeps part of what the tail end's record held: its heading,
// which picks the tail's picture, and its offsets, which a crash's scatter
// moved and which the next pass's drawing reads (drawing them back in
// place takes numbers from the generator). These three are saved whatever
// the worm's length, so that a rollback over a start puts them back too.
constexpr int32_t kStartRecords = 3;

// Segment records 0 to the tail end, and at least the start's; the start
// gate's is saved on its own.
int32_t SegmentsInUse(const Worm& w) {
    const int32_t used = w.length < kStartRecords - 1 ? kStartRecords : w.length + 1;
    return used < kStartGateIndex ? used : kStartGateIndex;
}

// The match's bytes in the order a snapshot holds them: up to the first
// worm's segments, its segments in use, its start gate, on to the second
// worm's segments, and so on to the end.
int Pieces(const Match& m, const int32_t segments[2], Piece* out) {
    int n = 0;
    size_t at = 0;
    for (int i = 0; i < 2; ++i) {
        const size_t first = OffsetIn(m, &m.worms[i].segments[0]);
        out[n++] = Piece{at, first - at};
        out[n++] = Piece{first, sizeof(Segment) * static_cast<size_t>(segments[i])};
        out[n++] = Piece{OffsetIn(m, &m.worms[i].segments[kStartGateIndex]), sizeof(Segment)};
        at = first + sizeof m.worms[i].segments;
    }
    out[n++] = Piece{at, sizeof(Match) - at};
    return n;
}

struct Field {
    const char* name;
    const void* at;
    size_t size;
};
#define VC_FIELD(object, field) \
    Field { #field, &(object).field, sizeof(object).field }

// Names the field of `fields` that holds byte `offset` of the match; *end
// gets the offset just past it.
bool NameField(const Match& m, size_t offset, std::initializer_list<Field> fields, const char* owner, char* what,
               size_t whatSize, size_t* end) {
    for (const Field& f : fields) {
        const size_t start = OffsetIn(m, f.at);
        if (offset < start || offset >= start + f.size) continue;
        std::snprintf(what, whatSize, "%s%s, byte %zu of %zu", owner, f.name, offset - start, f.size);
        *end = start + f.size;
        return true;
    }
    return false;
}

size_t DescribeWorm(const Match& m, int i, size_t offset, char* what, size_t whatSize) {
    const Worm& w = m.worms[i];
    char owner[16];
    std::snprintf(owner, sizeof owner, "worm %d: ", i + 1);
    const size_t segments = OffsetIn(m, &w.segments[0]);
    if (offset >= segments && offset < segments + sizeof w.segments) {
        const size_t rel = offset - segments;
        std::snprintf(what, whatSize, "worm %d: segment %zu, byte %zu of %zu", i + 1, rel / sizeof(Segment),
                      rel % sizeof(Segment), sizeof(Segment));
        return offset - rel % sizeof(Segment) + sizeof(Segment);
    }
    size_t end = offset + 1;
    if (NameField(m, offset, {VC_FIELD(w, pendingTurn),  VC_FIELD(w, queuedTurn),      VC_FIELD(w, controlLatch),
                              VC_FIELD(w, alive),        VC_FIELD(w, crashing),        VC_FIELD(w, exitOpen),
                              VC_FIELD(w, jumping),      VC_FIELD(w, exited),          VC_FIELD(w, active),
                              VC_FIELD(w, rocketsReady), VC_FIELD(w, length),          VC_FIELD(w, pendingGrowth),
                              VC_FIELD(w, shield),       VC_FIELD(w, boostSteps),      VC_FIELD(w, targetLength),
                              VC_FIELD(w, lengthTotal),  VC_FIELD(w, headSprites),     VC_FIELD(w, bodySprites),
                              VC_FIELD(w, tailSprites),  VC_FIELD(w, crashSprites),    VC_FIELD(w, explosionSprites),
                              VC_FIELD(w, gateSprite),   VC_FIELD(w, speed),           VC_FIELD(w, maxSpeed),
                              VC_FIELD(w, stepProgress), VC_FIELD(w, exitTimer),       VC_FIELD(w, exitMarker),
                              VC_FIELD(w, score),        VC_FIELD(w, openGates),       VC_FIELD(w, ship),
                              VC_FIELD(w, points),       VC_FIELD(w, scoreAtLastExit), VC_FIELD(w, explosionStrip),
                              VC_FIELD(w, stats),        VC_FIELD(w, grewThisStep),    VC_FIELD(w, stepCount)},
                  owner, what, whatSize, &end))
        return end;
    std::snprintf(what, whatSize, "worm %d: byte %zu of its record", i + 1, offset - OffsetIn(m, &w));
    return end;
}

// Where byte `offset` of the match lies, in words; returns the offset just
// past the field, item or cell named.
size_t Describe(const Match& m, size_t offset, char* what, size_t whatSize) {
    for (int i = 0; i < 2; ++i) {
        const size_t start = OffsetIn(m, &m.worms[i]);
        if (offset >= start && offset < start + sizeof(Worm)) return DescribeWorm(m, i, offset, what, whatSize);
    }
    const size_t items = OffsetIn(m, &m.food.items[0]);
    if (offset >= items && offset < items + sizeof m.food.items) {
        const size_t rel = offset - items;
        std::snprintf(what, whatSize, "food: item %zu, byte %zu of %zu", rel / sizeof(FoodItem), rel % sizeof(FoodItem),
                      sizeof(FoodItem));
        return offset - rel % sizeof(FoodItem) + sizeof(FoodItem);
    }
    const size_t cells = OffsetIn(m, &m.grid.cells[0]);
    if (offset >= cells && offset < cells + sizeof m.grid.cells) {
        constexpr size_t kEntryBytes = sizeof(ArenaGrid::cells) / (kArenaColumns * kArenaColumnPitch);
        const size_t entry = (offset - cells) / kEntryBytes;
        std::snprintf(what, whatSize, "grid: cell %zu, %zu", entry / kArenaColumnPitch, entry % kArenaColumnPitch);
        return cells + (entry + 1) * kEntryBytes;
    }
    size_t end = offset + 1;
    if (NameField(m, offset, {VC_FIELD(m, resultsSaved),  VC_FIELD(m, phase),        VC_FIELD(m, playerDone),
                              VC_FIELD(m, spaceLatch),    VC_FIELD(m, playerOut),    VC_FIELD(m, pointsDue),
                              VC_FIELD(m, allLevelsDone), VC_FIELD(m, timerExpired), VC_FIELD(m, food),
                              VC_FIELD(m, arena),         VC_FIELD(m, levelIndex),   VC_FIELD(m, extraFood),
                              VC_FIELD(m, endChoice),     VC_FIELD(m, targetFactor), VC_FIELD(m, exitShownAt),
                              VC_FIELD(m, exitNumberX),   VC_FIELD(m, exitNumberY),  VC_FIELD(m, timerStart),
                              VC_FIELD(m, frozen),        VC_FIELD(m, frozenAt),     VC_FIELD(m, gameOverCue),
                              VC_FIELD(m, cueShowing),    VC_FIELD(m, levelFailed),  VC_FIELD(m, resultsOffDisk),
                              VC_FIELD(m, onlinePlayer),  VC_FIELD(m, levelEnd),     VC_FIELD(m, holdLevelEnds),
                              VC_FIELD(m, pointsReady)},
                  "match: ", what, whatSize, &end))
        return end;
    std::snprintf(what, whatSize, "match: byte %zu of %zu", offset, sizeof(Match));
    return end;
}

#undef VC_FIELD

// The state hash's walk over the match, which can also write each value it
// takes as a line of text ("worm 1: 42"), so that two machines' states can
// be set side by side when their hashes differ.
class StateHasher {
public:
    StateHasher(char* text, size_t size) : text_(text), size_(size) {
        if (text_ != nullptr && size_ > 0) text_[0] = '\0';
    }
    void Section(const char* name) { section_ = name; }
    void Byte(uint8_t v) {
        fnv_.Byte(v);
        Write("%s: %u\n", static_cast<unsigned>(v));
    }
    void I32(int32_t v) {
        fnv_.I32(v);
        Write("%s: %d\n", static_cast<int>(v));
    }
    void U32(uint32_t v) {
        fnv_.U32(v);
        Write("%s: 0x%08x\n", static_cast<unsigned>(v));
    }
    uint64_t Value() const { return fnv_.Value(); }

private:
    template <typename T>
    void Write(const char* format, T v) {
        if (text_ == nullptr || used_ + 1 >= size_) return;
        const int n = std::snprintf(text_ + used_, size_ - used_, format, section_, v);
        if (n > 0) used_ = used_ + static_cast<size_t>(n) < size_ ? used_ + static_cast<size_t>(n) : size_ - 1;
    }
    Fnv64 fnv_;
    char* text_;
    size_t size_;
    size_t used_ = 0;
    const char* section_ = "match";
};

void HashFloat(StateHasher& h, float f) {
    uint32_t bits = 0;
    static_assert(sizeof bits == sizeof f);
    std::memcpy(&bits, &f, sizeof bits);
    h.U32(bits);
}

void HashGridObject(StateHasher& h, const GridObject& o) {
    h.I32(o.cellX);
    h.I32(o.cellY);
    h.I32(o.cellType);
}

// A waiting turn as the hash takes it: the scan code of the player's key
// that asks for it (0: none), as the worm once kept it, so that the hashes
// stored in replays hold.
int32_t TurnKeyCode(int32_t turn, const uint8_t* bindings) {
    if (turn == kTurnLeft) return bindings[kKeyLeft];
    if (turn == kTurnRight) return bindings[kKeyRight];
    return 0;
}

void HashWorm(StateHasher& h, const Worm& w, const uint8_t* bindings) {
    for (int32_t v : {TurnKeyCode(w.pendingTurn, bindings), TurnKeyCode(w.queuedTurn, bindings), w.length,
                      w.pendingGrowth, w.shield, w.boostSteps, w.targetLength, w.lengthTotal, w.exitTimer, w.exitMarker,
                      w.score, w.openGates, w.ship, w.points, w.scoreAtLastExit})
        h.I32(v);
    for (uint8_t v : {w.controlLatch, w.alive, w.crashing, w.exitOpen, w.jumping, w.exited, w.active, w.rocketsReady})
        h.Byte(v);
    HashFloat(h, w.speed);
    HashFloat(h, w.maxSpeed);
    HashFloat(h, w.stepProgress);
    HashFloat(h, w.stats.velocity);
    HashFloat(h, w.stats.acceleration);
    for (int32_t v :
         {w.stats.shieldRecover, w.stats.plasmaShields, w.stats.hsJumpSeconds, w.stats.maxWarpGates, w.stats.lives})
        h.I32(v);
    const int32_t shown = w.length < 0 ? 0 : (w.length + 1 < kWormSegments ? w.length + 1 : kWormSegments);
    for (int32_t i = 0; i < shown; ++i) {
        const Segment& s = w.segments[i];
        HashGridObject(h, s);
        h.I32(s.heading);
        h.I32(s.warpPhase);
    }
}

}  // namespace

void PlaySnapshot::Save(const Match& match) {
    randomState_ = RandomState();
    for (int i = 0; i < 2; ++i) segmentsSaved_[i] = SegmentsInUse(match.worms[i]);
    Piece pieces[kMaxPieces];
    const int n = Pieces(match, segmentsSaved_, pieces);
    const auto* from = reinterpret_cast<const uint8_t*>(&match);
    size_ = 0;
    for (int k = 0; k < n; ++k) {
        std::memcpy(bytes_ + size_, from + pieces[k].offset, pieces[k].size);
        size_ += pieces[k].size;
    }
}

void PlaySnapshot::Restore(Match& match) const {
    Piece pieces[kMaxPieces];
    const int n = Pieces(match, segmentsSaved_, pieces);
    auto* to = reinterpret_cast<uint8_t*>(&match);
    size_t at = 0;
    for (int k = 0; k < n; ++k) {
        std::memcpy(to + pieces[k].offset, bytes_ + at, pieces[k].size);
        at += pieces[k].size;
    }
    SeedRandom(randomState_);
}

bool PlaySnapshot::SameAs(const PlaySnapshot& other, const Match& match, char* what, size_t whatSize) const {
    for (int i = 0; i < 2; ++i) {
        if (segmentsSaved_[i] == other.segmentsSaved_[i]) continue;
        std::snprintf(what, whatSize, "worm %d: %d segment records, then %d", i + 1, segmentsSaved_[i],
                      other.segmentsSaved_[i]);
        return false;
    }
    if (randomState_ != other.randomState_) {
        std::snprintf(what, whatSize, "the random generator: %08x, then %08x", randomState_, other.randomState_);
        return false;
    }
    if (std::memcmp(bytes_, other.bytes_, size_) == 0) return true;
    // The first few fields that differ: the first in memory is not always
    // the one that went wrong first.
    constexpr int kNamed = 3;
    Piece pieces[kMaxPieces];
    const int n = Pieces(match, segmentsSaved_, pieces);
    size_t at = 0;
    size_t used = 0;
    int named = 0;
    what[0] = 0;
    for (int k = 0; k < n && named < kNamed; ++k) {
        for (size_t b = 0; b < pieces[k].size && named < kNamed; ++b) {
            if (bytes_[at + b] == other.bytes_[at + b]) continue;
            char one[96];
            const size_t end = Describe(match, pieces[k].offset + b, one, sizeof one);
            if (used < whatSize) {
                const int wrote = std::snprintf(what + used, whatSize - used, "%s%s", named > 0 ? "; " : "", one);
                used += wrote > 0 ? static_cast<size_t>(wrote) : 0;
            }
            ++named;
            if (end > pieces[k].offset + b + 1) b = end - pieces[k].offset - 1;  // on past the field
        }
        at += pieces[k].size;
    }
    return false;
}

namespace {

uint64_t WalkMatchState(const Match& m, char* text, size_t size) {
    StateHasher h(text, size);
    h.U32(RandomState());
    for (int32_t v : {m.levelIndex, m.players, m.difficulty, m.extraFood, m.endChoice, m.gameOverCue}) h.I32(v);
    h.U32(m.timerStart);
    h.U32(m.frozenAt);
    h.Byte(m.frozen);
    HashFloat(h, m.targetFactor);
    // The phase as the flags it once was (1 or 0), in their places.
    const auto flag = [](bool set) { return static_cast<uint8_t>(set ? 1 : 0); };
    for (uint8_t v :
         {m.resultsSaved, flag(m.TableShown()), m.playerDone[0], m.playerDone[1], flag(m.IntroPending()), m.spaceLatch,
          m.playerOut[0], m.playerOut[1], flag(m.PointsPhase()), flag(m.InPlay()), m.allLevelsDone, m.timerExpired})
        h.Byte(v);
    // The worms of this game, once it has begun: until the first level
    // starts they hold whatever the game before left in them, which play
    // never reads (Worm::Start sets it all).
    const bool begun = m.levelIndex > 0 || !m.IntroPending();
    const char* const wormNames[2] = {"worm 1", "worm 2"};
    for (int32_t i = 0; i < (m.players == 2 ? 2 : 1) && begun; ++i) {
        h.Section(wormNames[i]);
        HashWorm(h, m.worms[i], m.playKeys.code[i]);
    }
    h.Section("grid");
    for (int32_t y = 0; y < kArenaRows; ++y)
        for (int32_t x = 0; x < kArenaColumns; ++x) h.I32(m.grid.TypeAt(x, y));
    h.Section("food");
    for (const FoodItem& f : m.food.items) {
        if (f.cellType == CellType::Empty) continue;  // a slot this level does not use
        HashGridObject(h, f);
        h.I32(f.spriteIndex);
    }
    return h.Value();
}

}  // namespace

uint64_t MatchStateHash(const Match& m) { return WalkMatchState(m, nullptr, 0); }

uint64_t DescribeMatchState(const Match& m, char* text, size_t size) { return WalkMatchState(m, text, size); }
