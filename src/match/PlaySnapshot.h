#pragma once
#include <cstddef>
#include <cstdint>

#include "match/Match.h"

// Everything a pass of play changes, saved and put back whole: the match
// object itself (its flags and counters, the level clock, the worms with
// their sprites' frames, the grid, the food, the arena's walls) and the
// random generator. The match is copied as it lies in memory, so a field
// added to it is saved without anyone having to remember it; only the
// worms' segment records beyond each tail end are left out (play writes
// them before it reads them) besides the start gate's and the three a
// worm's start sets up (it keeps part of the tail end's). Fixed size and
// no allocation: a rollback keeps a ring of these.
//
// A snapshot holds the match's pointers as they are (into itself and to
// the shared fonts, sounds and pictures): it is put back only into the
// match it was taken from, and only within a level. Loading a level, the
// points screens and the game-over table change what lies outside the
// match (pictures, the palette, the high-score file) and are never undone.
class PlaySnapshot {
public:
    static constexpr size_t kCapacity = sizeof(Match) + 64;

    void Save(const Match& match);
    void Restore(Match& match) const;
    // Bytes in use, of kCapacity.
    size_t Size() const { return size_; }

    // Whether two snapshots of the same match hold the same state; if not,
    // the first few fields where they differ, in words ("worm 1: segment
    // 12, byte 4 of 32; worm 1: stepProgress, byte 2 of 4"), from `match`'s
    // layout.
    bool SameAs(const PlaySnapshot& other, const Match& match, char* what, size_t whatSize) const;

private:
    uint32_t randomState_ = 0;
    int32_t segmentsSaved_[2] = {};  // each worm's segments 0 to its tail end
    size_t size_ = 0;
    alignas(16) uint8_t bytes_[kCapacity] = {};
};

// A hash of everything play depends on: the generator, the level, the
// worms (where every segment stands, speed, stats, score), the board's
// cells and the food, and the level clock. Drawing is left out, and so is
// every pointer, so that two machines playing the same game hash alike; a
// replay stores these hashes, so what they cover is part of its format.
uint64_t MatchStateHash(const Match& match);

// As MatchStateHash, and every value it takes into `text`, a line each
// ("worm 2: 7"), cut at `size`: two machines' states side by side when
// their hashes differ.
uint64_t DescribeMatchState(const Match& match, char* text, size_t size);
