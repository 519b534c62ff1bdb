#pragma once
#include <cstddef>
#include <cstdint>

#include "io/OnlineTape.h"
#include "io/ReplayFile.h"
#include "net/RoomProtocol.h"
#include "platform/WorldLink.h"

// A watcher's side of a room's live feed (docs/server.md, "Watching"): the
// feed's bytes (the host's recording: a replay file's header, then its
// online body as it grows) asked for through the world link from the last
// byte held, checked as they come, and held in a buffer of a replay file's
// capacity. The game plays the held body as a replay whose body grows
// (Game::WatchLive): it waits at the end of what is held, plays at 1x
// while within kWatchNearPasses of the newest pass held and at
// kWatchFastSpeed further behind, and ends as a replay ends once the feed
// has ended and every byte is held.
//
// Everything from the server is hostile: a header that is no online game's
// (or not this game's), bytes that break the body's rules, a feed that
// shrinks or jumps, or one larger than any replay is refused in words;
// nothing is played past what was checked. It never allocates.

// Within this many passes of the newest held, the watcher plays at 1x.
constexpr uint32_t kWatchNearPasses = 300;
// Further behind it plays this many passes a frame.
constexpr int32_t kWatchFastSpeed = 2;
// Once it had to wait, it plays on when this many passes are held ahead
// (so that it does not stop at every few bytes that come).
constexpr uint32_t kWatchResumePasses = 100;
// A failed ask is tried again after this long, at most this many times in a row.
constexpr uint32_t kWatchRetryMs = 1000;
constexpr int32_t kWatchTriesMost = 5;
// The words a refusal may hold.
constexpr size_t kWatchReasonBytes = 200;

class LiveWatch {
public:
    enum class Stage : uint8_t {
        Off,
        Opening,  // asking for the feed: its header and the first passes
        Playing,  // the held bytes are being played
        Refused,  // given up, with the reason
    };

    // Starts watching the room `code` (any case) through `link`. False,
    // with the reason, when the code is none or there is no world server.
    bool Start(WorldLink* link, const char* code, uint32_t nowMs);
    // Nothing more is asked for (what was held and counted stays to be read).
    void Stop();
    // Once a pass: the link's answer taken and checked, the next part asked for.
    void Poll(uint32_t nowMs);

    Stage GetStage() const { return stage_; }
    bool Active() const { return stage_ == Stage::Opening || stage_ == Stage::Playing; }
    // Enough is held to begin: the header and kWatchResumePasses passes,
    // or all of a feed that has ended.
    bool ReadyToPlay() const;
    // The game is being played (set by the game when it begins the replay).
    void Playing() { stage_ = Stage::Playing; }
    // Gives up with `why` (the game could not play the feed).
    void Refuse(const char* why);

    // The header (the final one once the game ended and it came) and the
    // body's whole records held so far.
    const ReplayHeader& Header() const { return header_; }
    const uint8_t* Body() const { return bytes_ + kReplayHeaderBytes; }
    size_t BodySize() const { return scan_.Walked(); }
    uint32_t PassesHeld() const { return scan_.Passes(); }
    // The feed has ended and every byte of it is held.
    bool Ended() const { return ended_ && !askingFinal_ && stage_ != Stage::Refused; }
    // The final header came (the game's results): counts each arrival.
    uint32_t HeaderChanges() const { return headerChanges_; }

    // Passes to play this frame, with `played` of the body's passes played
    // and `tableShown` the game-over table on show: 0 while waiting for the
    // game (the picture stands), 1, or kWatchFastSpeed when far behind.
    // Once the game-over is held, the game plays on to its table, which
    // stands (no waiting said) until the host leaves its own and the feed
    // ends.
    int32_t Speed(uint32_t played, bool tableShown);
    // Whether the next pass may be played (all it reads is held).
    bool MayPlay(uint32_t played, bool tableShown) const;
    bool Waiting() const { return waiting_; }
    const char* Reason() const { return reason_; }
    const char* Code() const { return code_; }
    // Bytes held, and the server's answers taken.
    size_t Held() const { return held_; }
    uint32_t Answers() const { return answers_; }

private:
    void Reset();
    void Ask(uint32_t nowMs);
    void Take(const WorldFeedPart& part);
    void TakeHeader();
    void TakeFinalHeader(const WorldFeedPart& part);
    void Failed(const char* why, uint32_t nowMs);

    WorldLink* link_ = nullptr;
    Stage stage_ = Stage::Off;
    char code_[kRoomCodeBytes] = {};
    ReplayHeader header_;
    bool headerRead_ = false;
    uint8_t bytes_[kReplayFileCapacity] = {};
    uint8_t part_[kWorldFeedMostRead] = {};
    size_t held_ = 0;
    OnlineTapeScan scan_;
    bool asked_ = false;
    bool ended_ = false;
    bool askingFinal_ = false;  // the feed ended: its header is asked for again
    uint8_t finalHeader_[kReplayHeaderBytes] = {};
    size_t finalGot_ = 0;
    uint32_t headerChanges_ = 0;
    int32_t tries_ = 0;
    uint32_t retryAtMs_ = 0;
    bool retrying_ = false;
    bool waiting_ = false;
    uint32_t answers_ = 0;
    char reason_[kWatchReasonBytes] = {};
};
