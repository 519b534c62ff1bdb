#pragma once
#include <cstddef>
#include <cstdint>

#include "io/ReplayFile.h"
#include "net/NetLink.h"

// The host's side of a room's live feed (docs/net-protocol.md, "Rooms"):
// its recording (the replay file's bytes as they become final) goes to the
// room server from the last offset the server acknowledged, at most
// kLiveFeedPerPass Feeds a pass and kLiveFeedWindow bytes unacknowledged,
// again from there after kLiveFeedResendMs without an ack (go-back-N). At
// the end the final header goes, until the server says the feed has ended.
// A server that says "full", or says nothing for kLiveFeedGiveUpMs, is fed
// no more. It never waits and never allocates: a pass costs a few sends.
constexpr int32_t kLiveFeedPerPass = 4;
constexpr uint32_t kLiveFeedWindow = 8 * 1024;
constexpr uint32_t kLiveFeedResendMs = 250;
constexpr uint32_t kLiveFeedGiveUpMs = 10000;

class LiveFeed {
public:
    // A new recording, at `nowMs`.
    void Begin(uint32_t nowMs);
    bool Begun() const { return begun_; }
    // A pass: the acks taken, then what is due sent. `bytes`: the
    // recording, its first `size` final.
    void Pass(NetLink& link, const uint8_t* bytes, size_t size, uint32_t nowMs);
    // The recording has ended: `header` (kReplayHeaderBytes, copied) is
    // its final header, sent once every byte is acknowledged.
    void End(const uint8_t* header);
    // Nothing more to send: the feed ended, was refused, or the server went quiet.
    bool Done() const { return done_; }
    bool Ended() const { return ended_; }
    uint32_t Acked() const { return acked_; }
    uint32_t FeedsSent() const { return sent_; }

private:
    bool begun_ = false;
    bool done_ = false;
    bool ended_ = false;
    bool final_ = false;
    uint8_t header_[kReplayHeaderBytes] = {};
    uint32_t acked_ = 0;      // every byte below is held by the server
    uint32_t next_ = 0;       // the next byte to send
    uint32_t lastAckMs_ = 0;  // when the ack last moved on (or sending began from it)
    uint32_t heardMs_ = 0;    // when the server last acked at all
    uint32_t finalSentMs_ = 0;
    bool finalSent_ = false;
    uint32_t sent_ = 0;
};
