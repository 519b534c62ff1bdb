#include "Feeds.h"

#include <algorithm>
#include <cstring>

namespace server {

namespace {

bool OnlineHeader(const uint8_t* bytes, ReplayHeader* header) {
    ReadError error;
    return ParseReplayHeader(bytes, kReplayHeaderBytes, header, &error) && (header->flags & kReplayOnline) != 0;
}

}  // namespace

Feeds::Ack Feeds::Take(uint32_t code, const RoomMessage& m, double now) {
    (void)now;
    auto it = feeds_.find(code);
    if (it == feeds_.end()) {
        // A feed begins with its first bytes, at 0.
        if (m.offset != 0 || (m.flags & kRoomFeedFinal) != 0) {
            ++refused_;
            return Ack{0, 0};
        }
        if (used_ + kFeedOverheadBytes + m.payloadSize > memory_) {
            ++refused_;
            return Ack{0, kRoomFeedFull};
        }
        it = feeds_.emplace(code, Feed{}).first;
        it->second.order = ++order_;
        used_ += kFeedOverheadBytes;
    }
    Feed& f = it->second;
    const uint32_t held = static_cast<uint32_t>(f.bytes.size());
    const uint8_t flags = static_cast<uint8_t>((f.refused ? kRoomFeedFull : 0) | (f.ended ? kRoomFeedEnded : 0));
    if (f.refused || f.ended) {
        ++refused_;
        return Ack{held, flags};
    }
    if ((m.flags & kRoomFeedFinal) != 0) {
        // The final header: in the place of the first, once the first is held.
        ReplayHeader header;
        if (m.offset != 0 || m.payloadSize != kReplayHeaderBytes || held < kReplayHeaderBytes ||
            !OnlineHeader(m.payload, &header)) {
            ++refused_;
            return Ack{held, flags};
        }
        std::memcpy(f.bytes.data(), m.payload, kReplayHeaderBytes);
        f.header = header;
        f.ended = true;
        f.endedAt = now;
        if (onGrow) onGrow(code);
        return Ack{held, kRoomFeedEnded};
    }
    if (m.offset != held) {
        ++refused_;
        return Ack{held, flags};
    }
    if (held + m.payloadSize > kReplayFileCapacity || used_ + m.payloadSize > memory_) {
        ++refused_;
        return Ack{held, kRoomFeedFull};
    }
    f.bytes.append(reinterpret_cast<const char*>(m.payload), m.payloadSize);
    used_ += m.payloadSize;
    if (!f.headerRead && f.bytes.size() >= kReplayHeaderBytes) {
        if (!OnlineHeader(reinterpret_cast<const uint8_t*>(f.bytes.data()), &f.header)) {
            // No online game's recording: nothing of it is kept, nothing more taken.
            ++refused_;
            used_ -= f.bytes.size();
            f.bytes.clear();
            f.bytes.shrink_to_fit();
            f.refused = true;
            return Ack{0, kRoomFeedFull};
        }
        f.headerRead = true;
    }
    if (onGrow) onGrow(code);
    return Ack{static_cast<uint32_t>(f.bytes.size()), 0};
}

void Feeds::RoomClosed(uint32_t code, double now) {
    const auto it = feeds_.find(code);
    if (it == feeds_.end()) return;
    Feed& f = it->second;
    if (f.bytes.empty()) return Forget(code);
    if (!f.ended) {
        f.ended = true;
        f.endedAt = now;
        if (onGrow) onGrow(code);
    }
}

void Feeds::Sweep(double now) {
    std::vector<uint32_t> gone;
    for (auto& [code, f] : feeds_) {
        DropQuiet(f, now);
        if (f.ended && now - f.endedAt >= kFeedKeptSeconds) gone.push_back(code);
    }
    for (const uint32_t code : gone) Forget(code);
}

void Feeds::Forget(uint32_t code) {
    const auto it = feeds_.find(code);
    if (it == feeds_.end()) return;
    used_ -= it->second.bytes.size() + kFeedOverheadBytes;
    feeds_.erase(it);
}

void Feeds::DropQuiet(Feed& f, double now) {
    for (auto w = f.watchers.begin(); w != f.watchers.end();)
        w = now - w->second >= kFeedWatcherSeconds ? f.watchers.erase(w) : std::next(w);
}

Feeds::Watch Feeds::Admit(uint32_t code, const std::string& watcher, double now) {
    const auto it = feeds_.find(code);
    if (it == feeds_.end() || !it->second.headerRead) return Watch::NoSuchFeed;
    Feed& f = it->second;
    DropQuiet(f, now);
    const auto known = f.watchers.find(watcher);
    if (known != f.watchers.end()) {
        known->second = now;
        return Watch::Admitted;
    }
    if (f.watchers.size() >= kFeedMostWatchers) return Watch::TooManyWatchers;
    f.watchers.emplace(watcher, now);
    return Watch::Admitted;
}

bool Feeds::Read(uint32_t code, uint64_t from, size_t most, std::string* bytes, bool* ended, uint32_t* held) const {
    const auto it = feeds_.find(code);
    if (it == feeds_.end() || !it->second.headerRead) return false;
    const Feed& f = it->second;
    bytes->clear();
    if (from < f.bytes.size()) *bytes = f.bytes.substr(static_cast<size_t>(from), std::min(most, kFeedMostRead));
    *ended = f.ended;
    *held = static_cast<uint32_t>(f.bytes.size());
    return true;
}

std::vector<FeedRow> Feeds::List(double now) {
    std::vector<std::pair<uint64_t, uint32_t>> order;
    for (auto& [code, f] : feeds_)
        if (f.headerRead) order.emplace_back(f.order, code);
    std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    if (order.size() > kFeedListRows) order.resize(kFeedListRows);
    std::vector<FeedRow> rows;
    rows.reserve(order.size());
    for (const auto& [o, code] : order) {
        Feed& f = feeds_.at(code);
        DropQuiet(f, now);
        FeedRow row;
        row.code = code;
        row.difficulty = f.header.difficulty;
        for (int i = 0; i < 2; ++i) row.names[i] = f.header.names[i];
        row.bytes = static_cast<uint32_t>(f.bytes.size());
        row.watchers = static_cast<uint32_t>(f.watchers.size());
        row.ended = f.ended;
        rows.push_back(std::move(row));
    }
    return rows;
}

FeedsCounts Feeds::Counts() const {
    FeedsCounts c;
    c.feeds = feeds_.size();
    for (const auto& [code, f] : feeds_) c.bytes += f.bytes.size();
    c.refused = refused_;
    return c;
}

}  // namespace server
