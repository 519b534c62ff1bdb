#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <unordered_map>

#include "net/RoomProtocol.h"
#include "server/Feeds.h"
#include "server/RateLimiter.h"

// Rooms where two games meet (docs/net-protocol.md "Rooms", docs/server.md):
// one opens a room and gives the other its code, or both ask for a quick
// match; the server tells each the other's address as it sees it, and
// relays the link's datagrams between the two when no direct path opens.
// This is the rule alone: datagrams in (bytes, the source address, the
// time), datagrams out through `Send`, so that it is tested with a fake
// clock and made-up addresses. RoomsSocket puts it on the server's UDP
// socket. Everything that comes in is hostile: whatever breaks a rule is
// dropped unanswered and counted, nothing is forwarded but between a
// room's two registered players, and no answer is larger than its question.
namespace server {

struct RoomsLimits {
    uint32_t maxRooms = kRoomDefaultMaxRooms;
    int32_t asksPerMinute = kRoomAsksPerMinute;     // Open and Enter, per IP address (IPv6: per /64)
    uint32_t relayPerSecond = kRoomRelayPerSecond;  // per player
};

struct RoomsCounts {
    uint64_t rooms = 0;      // live now
    uint64_t players = 0;    // in them now
    uint64_t opened = 0;     // rooms made since the start
    uint64_t paired = 0;     // rooms that found their second player
    uint64_t relayed = 0;    // datagrams forwarded
    uint64_t overRelay = 0;  // relays beyond a player's rate, dropped
    uint64_t refused = 0;    // Refused answers sent
    uint64_t limited = 0;    // asks over an address's rate (told once a minute, else dropped)
    uint64_t garbage = 0;    // datagrams that are no question for the server
    uint64_t strangers = 0;  // a token of no player, or a relay with nobody to go to
    uint64_t expired = 0;    // rooms closed by their clock
    uint64_t fed = 0;        // Feeds taken from hosts (acknowledged)
};

class Rooms {
public:
    // Sends one datagram: called at once, inside Take or Sweep.
    using Send = std::function<void(const RoomAddress& to, const uint8_t* bytes, size_t size)>;
    // Fills `n` bytes with random ones (randombytes_buf in the server).
    using Random = std::function<void(uint8_t* out, size_t n)>;

    Rooms(const RoomsLimits& limits, Random random);

    // One datagram from `from`, at `now` (seconds on a steady clock).
    void Take(const uint8_t* data, size_t size, const RoomAddress& from, double now, const Send& send) {
        Take(data, size, from, from, now, send);
    }
    // ... whose asks count against `limitAs`'s address: a WebSocket's
    // made-up address asks as its client's IP address.
    void Take(const uint8_t* data, size_t size, const RoomAddress& from, const RoomAddress& limitAs, double now,
              const Send& send);
    // The clocks' rules (waiting, silence, play): the server calls it every second.
    void Sweep(double now);
    RoomsCounts Counts() const;
    // Where the hosts' Feeds go (nullptr: none are taken); told of each room that closes.
    void SetFeeds(Feeds* feeds) { feeds_ = feeds; }

    // How long a closed room's code is remembered (an Enter is told the
    // room has closed) and not handed out again.
    static constexpr double kClosedSeconds = kRoomWaitSeconds;

private:
    using Token = std::array<uint8_t, kRoomTokenBytes>;
    struct TokenHash {
        size_t operator()(const Token& t) const;
    };
    struct Player {
        bool present = false;
        Token token{};
        RoomAddress address;
        double lastHeard = 0;
        uint64_t askId = 0;
        RoomAddress askedFrom;  // the Open or Enter's address, with askId the key of a repeat
        double relayTokens = 0;
        double relayAt = 0;
    };
    struct Room {
        uint32_t code = 0;
        RoomMode mode = RoomMode::Create;
        uint8_t difficulty = 0;
        std::string version;
        uint64_t dataHash = 0;
        double created = 0;
        double pairedAt = 0;
        RoomStage stage = RoomStage::Waiting;
        Player players[2];   // host, joiner
        uint64_t order = 0;  // the order quick rooms are matched in
    };
    struct Seat {
        uint32_t code = 0;
        int index = 0;  // 0 host, 1 joiner
    };
    struct AskKey {
        RoomAddress from;
        uint64_t askId = 0;
        bool operator==(const AskKey& o) const { return from == o.from && askId == o.askId; }
    };
    // The repeats' table's keys are the sender's to choose: their hash is
    // keyed (SipHash) with random bytes drawn at the start, so that nobody
    // can aim them at one bucket.
    struct AskHash {
        uint8_t key[16] = {};
        size_t operator()(const AskKey& k) const;
    };
    static AskHash NewAskHash(const Random& random);
    using QuickKey = std::tuple<std::string, uint64_t, uint8_t>;

    void Ask(const RoomMessage& m, const RoomAddress& from, const RoomAddress& limitAs, double now, const Send& send);
    void Stay(const RoomMessage& m, const RoomAddress& from, double now, const Send& send);
    void Relay(const RoomMessage& m, const RoomAddress& from, double now, const Send& send);
    void Leave(const RoomMessage& m, double now);
    void Feed(const RoomMessage& m, const RoomAddress& from, double now, const Send& send);

    Room* Create(const RoomMessage& m, const RoomAddress& from, double now);
    void Join(Room& room, const RoomMessage& m, const RoomAddress& from, double now, const Send& send);
    Room* OldestQuick(const QuickKey& key, const RoomAddress& from, double now);
    bool NewCode(uint32_t* code);
    Token NewToken();
    void Place(Room& room, int index, const RoomAddress& from, uint64_t askId, double now);
    void Unseat(Room& room, int index);
    // The room's clocks at `now`: false when they closed it (it is gone).
    bool Lives(Room& room, double now);
    void Close(uint32_t code, double now);
    Room* Find(uint32_t code);
    Room* OfToken(const uint8_t* token, int* index);

    void SendRoom(const Room& room, int index, uint64_t askId, double now, const RoomAddress& to, const Send& send);
    void SendRefused(uint64_t askId, RoomRefusal reason, const RoomAddress& to, const Send& send);

    RoomsLimits limits_;
    Random random_;
    RateLimiter asks_;
    std::unordered_map<uint32_t, Room> rooms_;
    std::unordered_map<Token, Seat, TokenHash> seats_;
    std::unordered_map<AskKey, Token, AskHash> repeats_;
    std::map<QuickKey, std::set<std::pair<uint64_t, uint32_t>>> quick_;
    // Closed codes: when each closed, and the same in the order they did.
    std::unordered_map<uint32_t, double> closed_;
    std::multimap<double, uint32_t> closedOrder_;
    uint64_t order_ = 0;
    RoomsCounts counts_;
    Feeds* feeds_ = nullptr;
};

// A WebSocket's made-up address, the `id`th (from 1): in 100::/64, the
// block kept for addresses that lead nowhere, so that no datagram can come
// from one (the UDP socket drops any that claims to). A room names a peer
// at such an address "not known": nobody can punch toward a browser.
RoomAddress WebSocketAddress(uint64_t id);
bool IsWebSocketAddress(const RoomAddress& address);

// The key the ask limit counts an address under: an IPv4 address, or an
// IPv6 address's first 64 bits (a home gets a whole /64).
std::string RoomAskKey(const RoomAddress& address);

}  // namespace server
