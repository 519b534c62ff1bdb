#include "app/LiveFeed.h"

#include <cstring>

#include "net/RoomProtocol.h"

void LiveFeed::Begin(uint32_t nowMs) {
    *this = LiveFeed();
    begun_ = true;
    lastAckMs_ = heardMs_ = nowMs;
}

void LiveFeed::End(const uint8_t* header) {
    std::memcpy(header_, header, sizeof header_);
    final_ = true;
}

void LiveFeed::Pass(NetLink& link, const uint8_t* bytes, size_t size, uint32_t nowMs) {
    if (!begun_ || done_) return;
    if (size > kReplayFileCapacity) size = kReplayFileCapacity;
    uint32_t offset = 0;
    uint8_t flags = 0;
    while (link.TakeFeedAck(&offset, &flags)) {
        heardMs_ = nowMs;
        if ((flags & kRoomFeedEnded) != 0) {
            ended_ = done_ = true;
            return;
        }
        if ((flags & kRoomFeedFull) != 0) {
            done_ = true;
            return;
        }
        // (An ack of more than was sent is nobody's.)
        if (offset > acked_ && offset <= next_) {
            acked_ = offset;
            lastAckMs_ = nowMs;
        }
    }
    if (nowMs - heardMs_ >= kLiveFeedGiveUpMs) {
        done_ = true;
        return;
    }
    const uint32_t total = static_cast<uint32_t>(size);
    if (final_ && acked_ >= total) {
        if (!finalSent_ || nowMs - finalSentMs_ >= kLiveFeedResendMs) {
            if (!link.SendFeed(0, header_, sizeof header_, true)) done_ = true;
            finalSent_ = true;
            finalSentMs_ = nowMs;
            ++sent_;
        }
        return;
    }
    // Nothing in flight: the resend clock starts now. Unacked too long:
    // back to what the server holds.
    if (next_ == acked_) lastAckMs_ = nowMs;
    if (next_ > acked_ && nowMs - lastAckMs_ >= kLiveFeedResendMs) {
        next_ = acked_;
        lastAckMs_ = nowMs;
    }
    for (int32_t i = 0; i < kLiveFeedPerPass && next_ < total && next_ - acked_ < kLiveFeedWindow; ++i) {
        uint32_t count = total - next_;
        if (count > kRoomMaxFeedBytes) count = kRoomMaxFeedBytes;
        if (!link.SendFeed(next_, bytes + next_, count, false)) {
            done_ = true;
            return;
        }
        next_ += count;
        ++sent_;
    }
}
