#pragma once
#include <cstddef>
#include <cstdint>

#include "net/NetProtocol.h"

struct sockaddr;
struct sockaddr_storage;

// The messages a game and a voidcrawl-server exchange to meet in a room
// (docs/net-protocol.md, "Rooms"): two players find each other with a
// five-letter code or a quick match, the server tells each the other's
// public address, and when no direct path opens it relays the link's
// datagrams, which it never reads. Every message: magic, version, kind, a
// body of fixed layout (a relayed datagram's bytes after it), numbers
// little-endian. Each kind has one size; the server's questions are padded
// so that no answer is larger than the question it answers.
// WriteRoomMessage and ParseRoomMessage neither allocate nor throw.

constexpr char kRoomMagic[4] = {'V', 'C', 'R', 'M'};
constexpr uint8_t kRoomProtocolVersion = 1;
constexpr size_t kRoomHeaderBytes = 6;

// A room's code: five letters of these twenty, upper case on the wire (the
// reader folds lower case). Letters a reader could take for another (B 8,
// I L 1, O 0, S 5, Z 2) are left out.
constexpr char kRoomCodeLetters[] = "ACDEFGHJKMNPQRTUVWXY";
constexpr size_t kRoomCodeAlphabet = sizeof kRoomCodeLetters - 1;
constexpr size_t kRoomCodeLength = 5;
constexpr size_t kRoomCodeBytes = kRoomCodeLength + 1;  // with its zero, as the game keeps it
constexpr uint32_t kRoomCodeCount = 20u * 20u * 20u * 20u * 20u;
static_assert(kRoomCodeAlphabet == 20);

constexpr size_t kRoomTokenBytes = 16;                  // a player's secret in its room
constexpr size_t kRoomVersionBytes = kNetVersionBytes;  // the game version, zero-terminated
constexpr size_t kRoomAddressBytes = 19;                // family, 16 address bytes, port
constexpr uint8_t kRoomMaxDifficulty = kNetMaxDifficulty;
// A relayed link datagram: 1 .. this many bytes.
constexpr size_t kRoomMaxRelayBytes = 1200;

// Each kind's size (Relay and Relayed: this plus the datagram's bytes).
constexpr size_t kRoomOpenBytes = 96;
constexpr size_t kRoomEnterBytes = 96;
constexpr size_t kRoomStayBytes = 64;
constexpr size_t kRoomRelayHeadBytes = kRoomHeaderBytes + kRoomTokenBytes;  // 22
constexpr size_t kRoomLeaveBytes = 64;
constexpr size_t kRoomPunchBytes = 14;
constexpr size_t kRoomRoomBytes = 64;
constexpr size_t kRoomRefusedBytes = 32;
constexpr size_t kRoomRelayedHeadBytes = kRoomHeaderBytes;  // 6
// The live feed (a room's game as its host records it, for watchers):
// a Feed carries 1 .. kRoomMaxFeedBytes of the recording at an offset, a
// FeedAck says how much the server holds. Its flags: kRoomFeedFinal, the
// bytes are the recording's final header (at offset 0) and the feed ends.
constexpr size_t kRoomMaxFeedBytes = 1024;
constexpr size_t kRoomFeedHeadBytes = kRoomHeaderBytes + kRoomTokenBytes + 4 + 2 + 1;  // 29
constexpr size_t kRoomFeedAckBytes = 12;
constexpr uint8_t kRoomFeedFinal = 0x01;
// FeedAck's flags: send no more (the feed is at its bounds, or refused);
// the feed has ended (its final header is held).
constexpr uint8_t kRoomFeedFull = 0x01;
constexpr uint8_t kRoomFeedEnded = 0x02;
// The longest message of all: a Relay of the longest datagram.
constexpr size_t kRoomMaxMessageBytes = kRoomRelayHeadBytes + kRoomMaxRelayBytes;

// The rooms' clock, as both sides keep it.
constexpr uint32_t kRoomWaitSeconds = 600;       // a room waits this long for its second player
constexpr uint32_t kRoomSilenceSeconds = 30;     // a player not heard (Stay, Relay) this long is gone
constexpr uint32_t kRoomPlaySeconds = 4 * 3600;  // a room with two players lives at most this long
constexpr uint32_t kRoomDirectMs = 2000;         // the joiner relays when no direct welcome came in this
constexpr uint32_t kRoomAskEveryMs = 250;        // Open / Enter again until answered
constexpr uint32_t kRoomAskGiveUpMs = 5000;      // ... and "the server does not answer" after this
constexpr uint32_t kRoomStayWaitingMs = 1000;    // Stay this often until the match plays
constexpr uint32_t kRoomStayPlayingMs = 10000;   // ... and this often in play
constexpr uint32_t kRoomPunchEveryMs = 500;      // the host punches toward its joiner this often
// The IP TTL (IPv6 hop limit) of a Punch: it opens the sender's own
// router's mapping and dies before the other's.
constexpr int kRoomPunchTtl = 2;

// The server's bounds.
constexpr uint32_t kRoomRelayPerSecond = 400;  // relayed datagrams a player may send a second
constexpr uint32_t kRoomAsksPerMinute = 20;    // Open / Enter asks an IP address may make a minute
constexpr uint32_t kRoomDefaultMaxRooms = 10000;

enum class RoomKind : uint8_t {
    // The game to the server.
    Open = 1,   // a new room, or a quick match
    Enter = 2,  // the room of a code
    Stay = 3,   // still here (and, from the host, "punched")
    Relay = 4,  // a link datagram for the other player
    Leave = 5,
    // The server to the game.
    Relayed = 6,  // the other player's link datagram
    // From game to game (never to the server): opens the sender's router.
    Punch = 8,
    Feed = 9,      // bytes of the host's recording, for watchers
    Room = 16,     // the room as it stands, for this player
    Refused = 17,  // an Open or Enter refused, and why
    FeedAck = 18,  // the feed's bytes held
};

// Kinds a server takes; the others it drops unanswered.
bool RoomKindForServer(RoomKind kind);

enum class RoomMode : uint8_t { Create = 1, Quick = 2 };
enum class RoomRole : uint8_t { Host = 1, Joiner = 2 };
enum class RoomStage : uint8_t { Waiting = 1, Pairing = 2, Paired = 3 };
constexpr uint8_t kRoomPunched = 0x01;  // Stay's flag: the host has punched toward its joiner

enum class RoomRefusal : uint8_t {
    NoSuchRoom = 1,   // no room has that code
    Full = 2,         // the room has its two players
    Version = 3,      // the room's game is another version
    DataSet = 4,      // the room plays other levels
    TooManyAsks = 5,  // this address asked too often
    NoRoom = 6,       // the server holds as many rooms as it may
    Closed = 7,       // the room expired, or its owner left
};
// The refusal in words for the player ("no room has that code"); words
// for an unknown reason too.
const char* DescribeRoomRefusal(RoomRefusal reason);

// An address as the server sees it: family 4 (the first 4 bytes, then
// zeros) or 6 (all 16), a port of 1 .. 65535; or, family 0, not known
// (every byte zero).
struct RoomAddress {
    uint8_t family = 0;
    uint8_t bytes[16] = {};
    uint16_t port = 0;
};
bool operator==(const RoomAddress& a, const RoomAddress& b);
inline bool operator!=(const RoomAddress& a, const RoomAddress& b) { return !(a == b); }
// From a socket's address; an IPv4 address an IPv6 socket maps
// (::ffff:a.b.c.d) becomes family 4. False (and not known) for anything
// else.
bool RoomAddressFromSockaddr(const sockaddr* address, size_t size, RoomAddress* out);
// Into an address for a socket of family AF_INET6 (`v6Socket`: an IPv4
// address is mapped) or AF_INET. Its size; 0 when it cannot be (not known,
// an IPv6 address for an IPv4 socket).
size_t RoomAddressToSockaddr(const RoomAddress& address, bool v6Socket, sockaddr_storage* out);
// "192.0.2.7:7311", "[2001:db8::5]:7311" or "-" (not known).
int FormatRoomAddress(const RoomAddress& address, char* out, size_t size);

// Whether `text` is a code: five of the letters, either case, and its end.
bool IsRoomCode(const char* text);
// The code upper case into `out` (kRoomCodeBytes, zero-terminated); false
// (and `out` empty) when `text` is no code.
bool FoldRoomCode(const char* text, char out[kRoomCodeBytes]);
// The code of a number below kRoomCodeCount (each number its own code).
void RoomCodeOfNumber(uint32_t number, char out[kRoomCodeBytes]);
// The number of a code (upper case), or kRoomCodeCount when it is none.
uint32_t RoomCodeNumber(const char* code);

// One message. Only the fields of its kind count; the writer writes those
// and zeros, and the reader fills those and leaves the rest as they were.
struct RoomMessage {
    RoomKind kind = RoomKind::Stay;
    uint64_t askId = 0;                            // Open, Enter: the game's nonce; Room, Refused echo it
    RoomMode mode = RoomMode::Create;              // Open
    uint8_t difficulty = 0;                        // Open: 0 .. kRoomMaxDifficulty
    char gameVersion[kRoomVersionBytes] = {};      // Open, Enter: printable, zero-terminated
    uint64_t dataHash = 0;                         // Open, Enter
    char code[kRoomCodeBytes] = {};                // Enter, Room: upper case, zero-terminated
    uint8_t token[kRoomTokenBytes] = {};           // Stay, Relay, Leave, Room
    uint8_t flags = 0;                             // Stay: kRoomPunched; Feed: kRoomFeedFinal; FeedAck: Full, Ended
    uint32_t offset = 0;                           // Feed: where its bytes go; FeedAck: every byte below is held
    RoomRole role = RoomRole::Host;                // Room
    RoomStage stage = RoomStage::Waiting;          // Room
    RoomAddress peer;                              // Room: the other player, or not known
    uint16_t waitSeconds = 0;                      // Room: 0 .. kRoomWaitSeconds the room may still wait
    RoomRefusal reason = RoomRefusal::NoSuchRoom;  // Refused
    // Relay, Relayed: the link datagram, 1 .. kRoomMaxRelayBytes; Feed:
    // the recording's bytes, 1 .. kRoomMaxFeedBytes. The
    // reader points into the bytes it read (valid while they are).
    const uint8_t* payload = nullptr;
    size_t payloadSize = 0;
};

// The size a message of this kind has (Relay, Relayed, Feed: with `payloadSize`
// bytes); 0 for no kind.
size_t RoomMessageBytes(RoomKind kind, size_t payloadSize = 0);
// Writes a message into `out`; its size, or 0 when a field breaks the
// rules or it does not fit `capacity`.
size_t WriteRoomMessage(const RoomMessage& message, uint8_t* out, size_t capacity);
// Reads one; false with the reason (a constant string) when the bytes
// break a rule: magic, version, kind, size, a field out of range, padding
// that is not zero.
bool ParseRoomMessage(const uint8_t* data, size_t size, RoomMessage* out, const char** why);
