#include "Rooms.h"

#include <sodium.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/LittleEndian.h"

namespace server {

size_t Rooms::TokenHash::operator()(const Token& t) const {
    // Tokens are the server's own random bytes.
    return static_cast<size_t>(ReadLittleEndian<uint64_t>(t.data()));
}

size_t Rooms::AskHash::operator()(const AskKey& k) const {
    uint8_t bytes[1 + sizeof k.from.bytes + 2 + 8];
    bytes[0] = k.from.family;
    std::memcpy(bytes + 1, k.from.bytes, sizeof k.from.bytes);
    WriteLittleEndian<uint16_t>(bytes + 1 + sizeof k.from.bytes, k.from.port);
    WriteLittleEndian<uint64_t>(bytes + 3 + sizeof k.from.bytes, k.askId);
    uint8_t hash[crypto_shorthash_BYTES];
    crypto_shorthash(hash, bytes, sizeof bytes, key);
    return static_cast<size_t>(ReadLittleEndian<uint64_t>(hash));
}

std::string RoomAskKey(const RoomAddress& a) {
    std::string key(1, static_cast<char>(a.family));
    key.append(reinterpret_cast<const char*>(a.bytes), a.family == 4 ? 4 : 8);
    return key;
}

Rooms::Rooms(const RoomsLimits& limits, Random random)
    : limits_(limits), random_(std::move(random)), asks_(limits.asksPerMinute), repeats_(0, NewAskHash(random_)) {}

Rooms::AskHash Rooms::NewAskHash(const Random& random) {
    AskHash hash;
    static_assert(sizeof hash.key == crypto_shorthash_KEYBYTES);
    random(hash.key, sizeof hash.key);
    return hash;
}

RoomsCounts Rooms::Counts() const {
    RoomsCounts c = counts_;
    c.rooms = rooms_.size();
    c.players = seats_.size();
    return c;
}

RoomAddress WebSocketAddress(uint64_t id) {
    RoomAddress a;
    a.family = 6;
    a.bytes[0] = 0x01;  // 100::/64
    for (int i = 0; i < 8; ++i) a.bytes[8 + i] = static_cast<uint8_t>(id >> (56 - 8 * i));
    a.port = 1;
    return a;
}

bool IsWebSocketAddress(const RoomAddress& a) {
    static constexpr uint8_t kPrefix[8] = {0x01, 0, 0, 0, 0, 0, 0, 0};
    return a.family == 6 && std::memcmp(a.bytes, kPrefix, sizeof kPrefix) == 0;
}

void Rooms::Take(const uint8_t* data, size_t size, const RoomAddress& from, const RoomAddress& limitAs, double now,
                 const Send& send) {
    RoomMessage m;
    const char* why = nullptr;
    if (from.family == 0 || !ParseRoomMessage(data, size, &m, &why) || !RoomKindForServer(m.kind)) {
        ++counts_.garbage;
        return;
    }
    switch (m.kind) {
    case RoomKind::Open:
    case RoomKind::Enter:
        return Ask(m, from, limitAs, now, send);
    case RoomKind::Stay:
        return Stay(m, from, now, send);
    case RoomKind::Relay:
        return Relay(m, from, now, send);
    case RoomKind::Leave:
        return Leave(m, now);
    case RoomKind::Feed:
        return Feed(m, from, now, send);
    default:
        ++counts_.garbage;
        return;
    }
}

void Rooms::Ask(const RoomMessage& m, const RoomAddress& from, const RoomAddress& limitAs, double now,
                const Send& send) {
    // The same ask again (its answer was lost): the same answer, no second room.
    const auto repeat = repeats_.find(AskKey{from, m.askId});
    if (repeat != repeats_.end()) {
        const Token token = repeat->second;
        int index = 0;
        Room* room = OfToken(token.data(), &index);
        if (room != nullptr && Lives(*room, now) && (room = OfToken(token.data(), &index)) != nullptr)
            return SendRoom(*room, index, m.askId, now, from, send);
    }
    int32_t retryAfter = 0;
    bool tell = false;
    if (!asks_.Take(RoomAskKey(limitAs), now, &retryAfter, &tell)) {
        ++counts_.limited;
        if (tell) SendRefused(m.askId, RoomRefusal::TooManyAsks, from, send);
        return;
    }
    if (m.kind == RoomKind::Enter) {
        const uint32_t code = RoomCodeNumber(m.code);
        Room* room = Find(code);
        if (room == nullptr || !Lives(*room, now)) {
            const auto closed = closed_.find(code);
            const bool wasHere = closed != closed_.end() && now - closed->second < kClosedSeconds;
            return SendRefused(m.askId, wasHere ? RoomRefusal::Closed : RoomRefusal::NoSuchRoom, from, send);
        }
        if (room->stage != RoomStage::Waiting) return SendRefused(m.askId, RoomRefusal::Full, from, send);
        if (room->version != m.gameVersion) return SendRefused(m.askId, RoomRefusal::Version, from, send);
        if (room->dataHash != m.dataHash) return SendRefused(m.askId, RoomRefusal::DataSet, from, send);
        return Join(*room, m, from, now, send);
    }
    if (m.mode == RoomMode::Quick) {
        if (Room* room = OldestQuick(QuickKey{m.gameVersion, m.dataHash, m.difficulty}, from, now))
            return Join(*room, m, from, now, send);
    }
    if (rooms_.size() >= limits_.maxRooms) return SendRefused(m.askId, RoomRefusal::NoRoom, from, send);
    Room* room = Create(m, from, now);
    if (room == nullptr) return SendRefused(m.askId, RoomRefusal::NoRoom, from, send);
    SendRoom(*room, 0, m.askId, now, from, send);
}

void Rooms::Stay(const RoomMessage& m, const RoomAddress& from, double now, const Send& send) {
    int index = 0;
    Room* room = OfToken(m.token, &index);
    if (room == nullptr) {
        ++counts_.strangers;
        return;
    }
    // The clocks first: a player silent too long is gone, whatever it says now.
    if (!Lives(*room, now) || (room = OfToken(m.token, &index)) == nullptr) return;
    Player& p = room->players[index];
    p.address = from;
    p.lastHeard = now;
    if (index == 0 && (m.flags & kRoomPunched) != 0 && room->stage == RoomStage::Pairing) {
        room->stage = RoomStage::Paired;
        // The joiner hears at once that it may join the host's address.
        const Player& joiner = room->players[1];
        if (joiner.present) SendRoom(*room, 1, 0, now, joiner.address, send);
    }
    SendRoom(*room, index, 0, now, from, send);
}

void Rooms::Relay(const RoomMessage& m, const RoomAddress& from, double now, const Send& send) {
    int index = 0;
    Room* room = OfToken(m.token, &index);
    if (room == nullptr || room->stage == RoomStage::Waiting) {
        ++counts_.strangers;
        return;
    }
    if (!Lives(*room, now) || (room = OfToken(m.token, &index)) == nullptr) return;
    Player& p = room->players[index];
    const Player& other = room->players[1 - index];
    if (!other.present) {
        ++counts_.strangers;
        return;
    }
    p.address = from;
    p.lastHeard = now;
    const double rate = limits_.relayPerSecond;
    p.relayTokens = std::min(rate, p.relayTokens + std::max(0.0, now - p.relayAt) * rate);
    p.relayAt = now;
    if (p.relayTokens < 1.0) {
        ++counts_.overRelay;
        return;
    }
    p.relayTokens -= 1.0;
    RoomMessage out;
    out.kind = RoomKind::Relayed;
    out.payload = m.payload;
    out.payloadSize = m.payloadSize;
    uint8_t bytes[kRoomMaxMessageBytes];
    const size_t n = WriteRoomMessage(out, bytes, sizeof bytes);
    if (n == 0) return;
    ++counts_.relayed;
    send(other.address, bytes, n);
}

void Rooms::Leave(const RoomMessage& m, double now) {
    int index = 0;
    Room* room = OfToken(m.token, &index);
    if (room == nullptr) {
        ++counts_.strangers;
        return;
    }
    Unseat(*room, index);
    const bool ownerLeft = room->stage == RoomStage::Waiting && index == 0;
    if (ownerLeft || (!room->players[0].present && !room->players[1].present)) Close(room->code, now);
}

void Rooms::Feed(const RoomMessage& m, const RoomAddress& from, double now, const Send& send) {
    int index = 0;
    Room* room = OfToken(m.token, &index);
    // Only the host of a room in play feeds it; anyone else is dropped unanswered.
    if (feeds_ == nullptr || room == nullptr || index != 0 || room->stage == RoomStage::Waiting) {
        ++counts_.strangers;
        return;
    }
    if (!Lives(*room, now) || (room = OfToken(m.token, &index)) == nullptr) return;
    Player& p = room->players[index];
    p.address = from;
    p.lastHeard = now;
    const Feeds::Ack ack = feeds_->Take(room->code, m, now);
    RoomMessage out;
    out.kind = RoomKind::FeedAck;
    out.offset = ack.offset;
    out.flags = ack.flags;
    uint8_t bytes[kRoomFeedAckBytes];
    const size_t n = WriteRoomMessage(out, bytes, sizeof bytes);
    if (n == 0) return;
    ++counts_.fed;
    send(from, bytes, n);
}

void Rooms::Sweep(double now) {
    if (feeds_ != nullptr) feeds_->Sweep(now);
    std::vector<uint32_t> codes;
    codes.reserve(rooms_.size());
    for (const auto& entry : rooms_) codes.push_back(entry.first);
    for (const uint32_t code : codes)
        if (Room* room = Find(code)) Lives(*room, now);
    while (!closedOrder_.empty() && now - closedOrder_.begin()->first >= kClosedSeconds) {
        const auto oldest = closedOrder_.begin();
        const auto closed = closed_.find(oldest->second);
        if (closed != closed_.end() && closed->second == oldest->first) closed_.erase(closed);
        closedOrder_.erase(oldest);
    }
}

bool Rooms::Lives(Room& room, double now) {
    for (int i = 0; i < 2; ++i)
        if (room.players[i].present && now - room.players[i].lastHeard >= kRoomSilenceSeconds) Unseat(room, i);
    const bool nobody = !room.players[0].present && !room.players[1].present;
    bool lapsed;
    if (room.stage == RoomStage::Waiting)
        lapsed = !room.players[0].present || now - room.created >= kRoomWaitSeconds;
    else
        lapsed = nobody || now - room.pairedAt >= kRoomPlaySeconds;
    if (!lapsed) return true;
    ++counts_.expired;
    Close(room.code, now);
    return false;
}

Rooms::Room* Rooms::Create(const RoomMessage& m, const RoomAddress& from, double now) {
    uint32_t code = 0;
    if (!NewCode(&code)) return nullptr;
    Room& room = rooms_[code];
    room.code = code;
    room.mode = m.mode;
    room.difficulty = m.difficulty;
    room.version = m.gameVersion;
    room.dataHash = m.dataHash;
    room.created = now;
    room.stage = RoomStage::Waiting;
    Place(room, 0, from, m.askId, now);
    if (room.mode == RoomMode::Quick) {
        room.order = ++order_;
        quick_[QuickKey{room.version, room.dataHash, room.difficulty}].insert({room.order, code});
    }
    ++counts_.opened;
    return &room;
}

void Rooms::Join(Room& room, const RoomMessage& m, const RoomAddress& from, double now, const Send& send) {
    if (room.mode == RoomMode::Quick) {
        const auto queue = quick_.find(QuickKey{room.version, room.dataHash, room.difficulty});
        if (queue != quick_.end()) {
            queue->second.erase({room.order, room.code});
            if (queue->second.empty()) quick_.erase(queue);
        }
    }
    Place(room, 1, from, m.askId, now);
    room.stage = RoomStage::Pairing;
    room.pairedAt = now;
    ++counts_.paired;
    // The host hears of its joiner at once (it punches toward it); the
    // joiner learns the host's address once the host has punched.
    SendRoom(room, 0, 0, now, room.players[0].address, send);
    SendRoom(room, 1, m.askId, now, from, send);
}

Rooms::Room* Rooms::OldestQuick(const QuickKey& key, const RoomAddress& from, double now) {
    // A room whose clock has run out is closed on the way and the next looked at.
    for (int tries = 0; tries < 64; ++tries) {
        const auto queue = quick_.find(key);
        if (queue == quick_.end()) return nullptr;
        Room* pick = nullptr;
        for (const auto& [order, code] : queue->second) {
            Room* room = Find(code);
            // Never with itself: a game that asked again from the same socket.
            if (room != nullptr && room->players[0].address != from) {
                pick = room;
                break;
            }
        }
        if (pick == nullptr) return nullptr;
        if (Lives(*pick, now)) return pick;
    }
    return nullptr;
}

bool Rooms::NewCode(uint32_t* code) {
    // A uniform number below the count: draws at or above the last whole
    // multiple of it are drawn again.
    constexpr uint64_t kFair = (uint64_t{1} << 32) / kRoomCodeCount * kRoomCodeCount;
    for (int tries = 0; tries < 64; ++tries) {
        uint8_t bytes[4];
        random_(bytes, sizeof bytes);
        const uint32_t v = ReadLittleEndian<uint32_t>(bytes);
        if (v >= kFair) continue;
        const uint32_t candidate = v % kRoomCodeCount;
        if (rooms_.count(candidate) != 0 || closed_.count(candidate) != 0) continue;
        *code = candidate;
        return true;
    }
    return false;
}

Rooms::Token Rooms::NewToken() {
    Token t{};
    do random_(t.data(), t.size());
    while (seats_.count(t) != 0);
    return t;
}

void Rooms::Place(Room& room, int index, const RoomAddress& from, uint64_t askId, double now) {
    Player& p = room.players[index];
    p.present = true;
    p.token = NewToken();
    p.address = from;
    p.lastHeard = now;
    p.askId = askId;
    p.askedFrom = from;
    p.relayTokens = limits_.relayPerSecond;
    p.relayAt = now;
    seats_[p.token] = Seat{room.code, index};
    repeats_[AskKey{from, askId}] = p.token;
}

void Rooms::Unseat(Room& room, int index) {
    Player& p = room.players[index];
    if (!p.present) return;
    seats_.erase(p.token);
    const auto repeat = repeats_.find(AskKey{p.askedFrom, p.askId});
    if (repeat != repeats_.end() && repeat->second == p.token) repeats_.erase(repeat);
    p = Player{};
}

void Rooms::Close(uint32_t code, double now) {
    const auto it = rooms_.find(code);
    if (it == rooms_.end()) return;
    Room& room = it->second;
    Unseat(room, 0);
    Unseat(room, 1);
    if (room.mode == RoomMode::Quick) {
        const auto queue = quick_.find(QuickKey{room.version, room.dataHash, room.difficulty});
        if (queue != quick_.end()) {
            queue->second.erase({room.order, code});
            if (queue->second.empty()) quick_.erase(queue);
        }
    }
    rooms_.erase(it);
    if (feeds_ != nullptr) feeds_->RoomClosed(code, now);
    closed_[code] = now;
    closedOrder_.emplace(now, code);
    // At most as many closed codes remembered as rooms may live.
    while (closedOrder_.size() > limits_.maxRooms) {
        const auto oldest = closedOrder_.begin();
        const auto closed = closed_.find(oldest->second);
        if (closed != closed_.end() && closed->second == oldest->first) closed_.erase(closed);
        closedOrder_.erase(oldest);
    }
}

Rooms::Room* Rooms::Find(uint32_t code) {
    const auto it = rooms_.find(code);
    return it == rooms_.end() ? nullptr : &it->second;
}

Rooms::Room* Rooms::OfToken(const uint8_t* token, int* index) {
    Token t;
    std::memcpy(t.data(), token, t.size());
    const auto seat = seats_.find(t);
    if (seat == seats_.end()) return nullptr;
    *index = seat->second.index;
    return Find(seat->second.code);
}

void Rooms::SendRoom(const Room& room, int index, uint64_t askId, double now, const RoomAddress& to, const Send& send) {
    RoomMessage out;
    out.kind = RoomKind::Room;
    out.askId = askId;
    const Player& p = room.players[index];
    std::memcpy(out.token, p.token.data(), kRoomTokenBytes);
    RoomCodeOfNumber(room.code, out.code);
    out.role = index == 0 ? RoomRole::Host : RoomRole::Joiner;
    out.stage = room.stage;
    const Player& other = room.players[1 - index];
    // The host learns its joiner's address on pairing, the joiner the
    // host's once the host has punched toward it.
    const bool peerKnown =
        other.present && (room.stage == RoomStage::Paired || (room.stage == RoomStage::Pairing && index == 0));
    // Nobody can punch toward a browser, nor a browser toward anyone: a
    // room with one names no address to either.
    if (peerKnown && !IsWebSocketAddress(other.address) && !IsWebSocketAddress(to)) out.peer = other.address;
    if (room.stage == RoomStage::Waiting) {
        const double left = std::ceil(kRoomWaitSeconds - (now - room.created));
        out.waitSeconds = static_cast<uint16_t>(std::clamp(left, 0.0, static_cast<double>(kRoomWaitSeconds)));
    }
    uint8_t bytes[kRoomRoomBytes];
    const size_t n = WriteRoomMessage(out, bytes, sizeof bytes);
    if (n != 0) send(to, bytes, n);
}

void Rooms::SendRefused(uint64_t askId, RoomRefusal reason, const RoomAddress& to, const Send& send) {
    RoomMessage out;
    out.kind = RoomKind::Refused;
    out.askId = askId;
    out.reason = reason;
    uint8_t bytes[kRoomRefusedBytes];
    const size_t n = WriteRoomMessage(out, bytes, sizeof bytes);
    if (n == 0) return;
    ++counts_.refused;
    send(to, bytes, n);
}

}  // namespace server
