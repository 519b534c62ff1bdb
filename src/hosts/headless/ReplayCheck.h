#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "io/ReplayFile.h"

class Game;

// The one check of a replay, as the runner's --replay --verify and the
// world table's server make it: the file read and walked (ParseReplay),
// fitted to this game's version and data set, played to its end on the
// game's own code and judged (JudgeReplay). Each step that fails says why
// in the runner's words; a replay that verifies gives each player's result
// as the re-play reached it (the match's, never the header's).

// One player's result where the re-play ended.
struct ReplayCheckResult {
    int32_t player = 1;  // 1 or 2
    std::string name;
    int32_t score = 0;
    int32_t level = 0;   // the level reached, 1 to 20
    int32_t length = 0;  // the worm's length total
    int32_t ship = 0;    // the ship type the player chose
    int32_t difficulty = 0;
};

class ReplayCheck {
public:
    // The file at `path`, or bytes in memory, read as a replay. False with
    // the reason in Words() ("not a replay", "it is a folder, not a replay").
    bool Read(const char* path);
    bool Take(const uint8_t* data, size_t size);
    // Whether this game (its version, and the data set in the working
    // folder) can play it; if not, Words() says what differs.
    bool Fits();
    // The most frames playing it takes.
    int64_t Frames() const;
    // Hands the replay to `game`, to be played from its next pass;
    // `unwatched`: no picture drawn nor sound mixed (play is the same).
    void Begin(Game& game, bool unwatched);
    // Whether the game has given the replay its verdict.
    static bool Ended(const Game& game);
    // The verdict once play stopped: true when verified. Words() then says
    // "verified N state hashes, P passes in S s"; otherwise the verdict
    // ("out of step at level 3", "not verified: ...").
    bool Judge(const Game& game, double seconds);
    // The players' results where the re-play ended, in player order.
    std::vector<ReplayCheckResult> Results(const Game& game) const;

    const std::string& Words() const { return words_; }
    const ReplayHeader& Header() const { return header_; }
    const uint8_t* Bytes() const { return bytes_.data(); }
    size_t Size() const { return size_; }

private:
    std::vector<uint8_t> bytes_;
    size_t size_ = 0;
    ReplayHeader header_;
    const uint8_t* tape_ = nullptr;
    std::string words_;
};

// The results as the runner prints them, a line a player:
//   result: player 1 "NAME" score 12345 length 678 level 9 difficulty easy
// (in the name, " and \ are escaped with \, other bytes outside printable
// ASCII written \xNN).
std::string ReplayResultLines(const std::vector<ReplayCheckResult>& results);

// A whole check of a replay in memory on the headless host, the data set
// in `dataDir` (the process's working folder becomes it): kind, words and,
// when verified, the results.
struct ReplayCheckOutcome {
    enum class Kind : uint8_t {
        Verified,
        Refused,        // not a replay, or not one this game plays: nothing was played
        NotVerified,    // played, and not a proof of its results
        StartupFailed,  // the game could not start (its data set)
    };
    Kind kind = Kind::StartupFailed;
    std::string words;
    std::vector<ReplayCheckResult> results;
    int32_t difficulty = 0;
    double seconds = 0;
};
ReplayCheckOutcome CheckReplay(const uint8_t* data, size_t size, const std::string& dataDir);
