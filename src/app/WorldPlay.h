#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/WorldLink.h"

class Recorder;

// "WORLD RANK 37 OF 1,204": a rank among a table's entries, the numbers
// with a comma between each three digits, into `out` (`size` bytes).
void FormatWorldRank(int64_t rank, int64_t entries, char* out, size_t size);

// The game's side of the world table, between the recorder and the host's
// link: a finished game's replay (saved as its game-over table came up)
// is handed to the link when the player turned sending on and the link has
// a server (online, only from player 1's machine, so that one game goes once),
// and the link's answers are kept for the screens. Nothing here waits on
// the network; the link is looked at once a pass.
class WorldPlay {
public:
    // Where the game last sent stands.
    enum class Standing : uint8_t {
        None,     // nothing sent in this run
        Sending,  // handed to the link, no answer yet
        Ranked,   // ranked: RankText
        Refused,  // refused by the server: `reason`
        NotKept,  // the link could not keep it: `reason`
    };

    // After each pass of the game.
    void AfterPass(Recorder& recorder);

    Standing standing = Standing::None;
    char tag[kWorldTagBytes] = {};  // the replay file last handed over
    WorldSent answer;               // the last answer to it
    char reason[kWorldReasonBytes] = {};

    // The rank line of player `player` (0 or 1) of the last ranked game,
    // "" when there is none.
    const char* RankText(int player) const { return player == 0 || player == 1 ? rankText_[player] : ""; }

private:
    void HandOver(const Recorder& recorder, WorldLink& link);
    void Take(const WorldSent& sent);
    char rankText_[kWorldResultsMax][80] = {};  // room for the longest two numbers
};
