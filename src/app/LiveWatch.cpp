#include "app/LiveWatch.h"

#include <cstdio>
#include <cstring>

namespace {

// Whether `next` is a header of the same game as `first` (its results,
// lengths and counts aside).
bool SameGame(const ReplayHeader& first, const ReplayHeader& next) {
    return std::strcmp(first.gameVersion, next.gameVersion) == 0 && first.dataHash == next.dataHash &&
           first.randomState == next.randomState && first.players == next.players &&
           first.difficulty == next.difficulty && first.onlinePlayer == next.onlinePlayer &&
           std::memcmp(first.names, next.names, sizeof first.names) == 0 && first.ships[0] == next.ships[0] &&
           first.ships[1] == next.ships[1] && first.startedAt == next.startedAt && (next.flags & kReplayOnline) != 0;
}

}  // namespace

bool LiveWatch::Start(WorldLink* link, const char* code, uint32_t nowMs) {
    Reset();
    if (link == nullptr || !link->Configured()) {
        Refuse("no world server is set");
        return false;
    }
    if (code == nullptr || !FoldRoomCode(code, code_)) {
        Refuse("that is no room's code");
        return false;
    }
    link_ = link;
    stage_ = Stage::Opening;
    Ask(nowMs);
    return true;
}

void LiveWatch::Stop() {
    link_ = nullptr;
    stage_ = Stage::Off;
    waiting_ = false;
}

void LiveWatch::Reset() {
    // (The buffers stay as they are: only what is counted as held is read.)
    Stop();
    code_[0] = '\0';
    header_ = ReplayHeader();
    headerRead_ = asked_ = ended_ = askingFinal_ = retrying_ = waiting_ = false;
    held_ = finalGot_ = 0;
    scan_ = OnlineTapeScan();
    headerChanges_ = answers_ = 0;
    tries_ = 0;
    reason_[0] = '\0';
}

void LiveWatch::Refuse(const char* why) {
    std::snprintf(reason_, sizeof reason_, "%s", why);
    stage_ = Stage::Refused;
    waiting_ = false;
}

bool LiveWatch::ReadyToPlay() const {
    return stage_ == Stage::Opening && headerRead_ && (Ended() || PassesHeld() >= kWatchResumePasses);
}

void LiveWatch::Ask(uint32_t nowMs) {
    (void)nowMs;
    link_->AskFeed(code_, static_cast<uint32_t>(askingFinal_ ? finalGot_ : held_));
    asked_ = true;
}

void LiveWatch::Poll(uint32_t nowMs) {
    if (!Active() || link_ == nullptr) return;
    if (retrying_) {
        if (static_cast<int32_t>(nowMs - retryAtMs_) < 0) return;
        retrying_ = false;
        Ask(nowMs);
        return;
    }
    if (!asked_) return;
    WorldFeedPart part;
    char why[kWorldReasonBytes] = "";
    const WorldAnswer answer = link_->Feed(part_, &part, why, sizeof why);
    if (answer == WorldAnswer::Failed) return Failed(why, nowMs);
    if (answer != WorldAnswer::Ready) return;
    asked_ = false;
    tries_ = 0;
    ++answers_;
    Take(part);
    if (Active() && !Ended()) Ask(nowMs);
}

void LiveWatch::Failed(const char* why, uint32_t nowMs) {
    asked_ = false;
    // Nothing held yet: the server's word is final ("no game of that code
    // is live"); later, a failure may pass.
    if (held_ == 0 || ++tries_ >= kWatchTriesMost) {
        char text[kWatchReasonBytes];
        std::snprintf(text, sizeof text, "%s", why[0] != '\0' ? why : "the server did not answer");
        Refuse(text);
        return;
    }
    retrying_ = true;
    retryAtMs_ = nowMs + kWatchRetryMs;
}

void LiveWatch::Take(const WorldFeedPart& part) {
    if (part.size > kWorldFeedMostRead) return Refuse("the server sent more than was asked for");
    if (askingFinal_) return TakeFinalHeader(part);
    if (part.size > kReplayFileCapacity - held_) return Refuse("the game's feed is larger than any replay");
    if (part.held >= 0 && static_cast<uint64_t>(part.held) < held_ + part.size) {
        char text[kWatchReasonBytes];
        std::snprintf(text, sizeof text, "the game's feed went back (the server holds %lld bytes of it, %zu came)",
                      static_cast<long long>(part.held), held_ + part.size);
        return Refuse(text);
    }
    std::memcpy(bytes_ + held_, part_, part.size);
    held_ += part.size;
    if (!headerRead_ && held_ >= kReplayHeaderBytes) TakeHeader();
    if (stage_ == Stage::Refused) return;
    if (headerRead_ && !scan_.Walk(Body(), held_ - kReplayHeaderBytes)) {
        char text[kWatchReasonBytes];
        std::snprintf(text, sizeof text, "the game's feed is broken: %s", scan_.Reason());
        return Refuse(text);
    }
    if (!part.ended) return;
    if (!headerRead_) return Refuse("the game's feed ended before its header");
    // The last bytes are held; the final header (with the results) took
    // the first one's place: it is asked for once more. A record cut at
    // the end (a room that closed in the middle of one) is not played.
    ended_ = askingFinal_ = true;
}

void LiveWatch::TakeHeader() {
    ReadError error;
    ReplayHeader header;
    if (!ParseReplayHeader(bytes_, kReplayHeaderBytes, &header, &error)) {
        char text[kWatchReasonBytes];
        std::snprintf(text, sizeof text, "the game's feed is no replay: %s", error.reason);
        return Refuse(text);
    }
    if ((header.flags & kReplayOnline) == 0 || header.players != 2)
        return Refuse("the game's feed is no online game's recording");
    header_ = header;
    header_.tapeBytes = 0;
    headerRead_ = true;
}

void LiveWatch::TakeFinalHeader(const WorldFeedPart& part) {
    // (It may come in pieces, as any of the feed's bytes.)
    const size_t take = part.size < kReplayHeaderBytes - finalGot_ ? part.size : kReplayHeaderBytes - finalGot_;
    if (take == 0) return Refuse("the game's final header did not come");
    std::memcpy(finalHeader_ + finalGot_, part_, take);
    finalGot_ += take;
    if (finalGot_ < kReplayHeaderBytes) return;
    askingFinal_ = false;
    ReadError error;
    ReplayHeader final;
    if (!ParseReplayHeader(finalHeader_, kReplayHeaderBytes, &final, &error) || !SameGame(header_, final))
        return Refuse("the game's final header is not its own");
    // A room that closed before the game's end keeps the first header.
    if (final.tapeBytes == 0 && final.passes == 0) return;
    if (final.tapeBytes != BodySize() || final.passes != PassesHeld())
        return Refuse("the game's final header does not fit its bytes");
    header_ = final;
    ++headerChanges_;
}

bool LiveWatch::MayPlay(uint32_t played, bool tableShown) const {
    if (stage_ != Stage::Playing) return false;
    // Whatever the game reads after a pass (a state hash, a level's end, the
    // points records) comes before the next pass's record: with that pass
    // held, all of it is. After the game-over only the stop comes, which
    // the game reads once its table has stood: it plays to the table.
    return Ended() || PassesHeld() >= played + 2 || (scan_.EndsAtGameOver() && !tableShown);
}

int32_t LiveWatch::Speed(uint32_t played, bool tableShown) {
    if (stage_ != Stage::Playing) return 0;
    const uint32_t held = PassesHeld();
    const uint32_t lead = held > played ? held - played : 0;
    const int32_t speed = lead > kWatchNearPasses ? kWatchFastSpeed : 1;
    if (Ended()) {
        waiting_ = false;
        return speed;
    }
    if (scan_.EndsAtGameOver()) {
        // The game is over: nothing to wait for but the host leaving.
        waiting_ = false;
        return tableShown ? 0 : speed;
    }
    if (!MayPlay(played, tableShown)) waiting_ = true;
    if (waiting_ && lead < kWatchResumePasses) return 0;
    waiting_ = false;
    return speed;
}
