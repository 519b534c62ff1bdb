#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/NetDefaults.h"

// The packets two games exchange to play one match over the network
// (docs/net-protocol.md): a six-byte header (magic, protocol version, kind)
// and a body of fixed layout, all numbers little-endian. WriteNetPacket
// writes one into a caller's buffer; ParseNetPacket reads one, checking
// every size, count, range and pass number against what this side knows
// of the exchange (NetWindow), and refuses anything else with a reason.
// Neither allocates nor throws.

constexpr char kNetMagic[4] = {'V', 'C', 'N', 'P'};
constexpr uint8_t kNetProtocolVersion = 2;
constexpr size_t kNetHeaderBytes = 6;
constexpr size_t kNetVersionBytes = 16;  // the game version, zero-terminated
constexpr size_t kNetNameBytes = 20;     // a player's name, zero-terminated
constexpr uint8_t kNetShipTypes = 2;
// The input delays the game offers, in passes.
constexpr uint8_t kNetMaxInputDelay = kMaxInputDelay;
constexpr uint8_t kNetMaxDifficulty = 2;
// At most this many passes of input in one packet: the newest unacknowledged ones.
constexpr uint8_t kNetMaxInputsPerPacket = 16;
// How far (in passes) a packet's pass numbers may lie behind the newest ones
// already seen before the packet is refused as stale.
constexpr uint32_t kNetPassWindow = 128;
// State hashes are exchanged for the passes that are multiples of this.
constexpr uint32_t kNetHashInterval = 100;
constexpr size_t kNetMaxPacketBytes = 96;
// A points record's level is below this (the match's level count).
constexpr uint8_t kNetLevels = 20;
// Its whole numbers lie in 0 .. this, its speeds in 0 .. kNetMaxSpeed.
constexpr int32_t kNetMaxPointsValue = 1000000;
constexpr float kNetMaxSpeed = 100.0f;

enum class NetKind : uint8_t {
    Hello = 1,    // the joining side: who it is and what it runs
    Welcome = 2,  // the host accepts, and says how the match is played
    Refuse = 3,   // the host refuses, and why
    Inputs = 4,   // input records of consecutive passes, and an acknowledgement
    Hash = 5,     // the state hash of a pass both sides have played for sure
    Ping = 6,
    Pong = 7,
    Bye = 8,     // the sender leaves, and says on which pass its game ends
    Points = 9,  // the sender's player after its points screen
    Delay = 10,  // the host: the input delay from a pass on; the joiner sends it back
};

// One pass of one player's input. The six play keys (world's PlayKey
// order: left, right, warp, jump, boost, brake) as bits 0-5; bits 6 and 7
// are zero. `extra` is the match's to use; the protocol carries it as it is.
struct NetInput {
    uint8_t keys = 0;
    uint8_t extra[3] = {};
};
constexpr size_t kNetInputBytes = 4;
constexpr uint8_t kNetKeyBits = 0x3F;
// What the match puts in `extra`, as the reader holds it to: SPACE (0 or 1)
// in the first byte; in the second how many passes ahead of the receiver
// the sender sees itself, a signed byte within -kNetMaxLead .. kNetMaxLead,
// or kNetLeadNotKnown; the third zero.
constexpr int32_t kNetMaxLead = 100;
constexpr uint8_t kNetLeadNotKnown = 0x80;
// Why an input record breaks those rules (a constant string), or nullptr.
const char* NetInputFault(const NetInput& input);

struct NetHello {
    char gameVersion[kNetVersionBytes] = {};
    uint64_t dataHash = 0;
    char name[kNetNameBytes] = {};
    uint8_t ship = 0;        // 0 .. kNetShipTypes - 1
    uint8_t inputDelay = 0;  // passes the sender would like its input held back
};

// The host's answer: the host's own hello, and the match both sides play.
struct NetWelcome {
    NetHello host;
    uint8_t inputDelay = 0;  // what both sides use
    uint8_t difficulty = 0;  // 0 .. kNetMaxDifficulty
    uint32_t seed = 0;       // the match's random seed
};

enum class NetRefuseReason : uint8_t {
    Version = 1,   // another game version
    DataSet = 2,   // other levels
    Busy = 3,      // the host already plays with someone
    Protocol = 4,  // the hello broke the rules
};
// The refusing side's own version and data hash, so that the refused side
// can say what differs.
struct NetRefuse {
    NetRefuseReason reason = NetRefuseReason::Protocol;
    char gameVersion[kNetVersionBytes] = {};
    uint64_t dataHash = 0;
};

struct NetInputs {
    uint32_t firstPass = 0;
    uint8_t count = 0;  // 1 .. kNetMaxInputsPerPacket
    // The receiver's passes the sender holds: every pass below this one.
    uint32_t have = 0;
    NetInput inputs[kNetMaxInputsPerPacket];
};

struct NetHash {
    uint32_t pass = 0;  // the state after this many passes
    uint64_t hash = 0;
};

struct NetPing {
    uint32_t time = 0;  // the pinging side's clock in ms; a pong echoes it
};

enum class NetByeReason : uint8_t {
    Left = 1,        // the player left the match
    OutOfStep = 2,   // the state hashes differ
    Misbehaved = 3,  // the peer's packets broke the rules
};

// How far ahead of the sender's newest pass sent a delay change may lie.
constexpr uint32_t kNetDelayAheadMax = 4 * kNetPassWindow;
struct NetDelay {
    uint32_t pass = 0;  // the first pass whose keys wait `delay` passes
    uint8_t delay = 0;  // 0 .. kNetMaxInputDelay
};

// A player's worm as its points screen left it, for the level about to be
// played: the ship's upgrades and the points not spent. The speeds travel
// as their IEEE-754 bit patterns, so that both games hold the same floats.
struct NetPoints {
    uint8_t level = 0;  // 0 .. kNetLevels - 1
    uint32_t velocityBits = 0, accelerationBits = 0;
    int32_t shieldRecover = 0, plasmaShields = 0, hsJumpSeconds = 0, maxWarpGates = 0, lives = 0, points = 0;
};

// Why a points record breaks the rules (a constant string), or nullptr
// when it keeps them.
const char* NetPointsFault(const NetPoints& points);
constexpr size_t kNetPointsBytes = 1 + 2 * 4 + 6 * 4;

struct NetPacket {
    NetKind kind = NetKind::Bye;
    NetHello hello;      // Hello
    NetWelcome welcome;  // Welcome
    NetRefuse refuse;    // Refuse
    NetInputs inputs;    // Inputs
    NetHash hash;        // Hash
    NetPing ping;        // Ping, Pong
    NetPoints points;    // Points
    NetDelay delay;      // Delay
    NetByeReason bye = NetByeReason::Left;
    // Bye: the sender's game ends after this many passes. It holds both
    // sides' keys of every pass below, and the receiver acknowledged its own.
    uint32_t byeEnd = 0;
};

// What this side knows of the exchange, against which a packet's pass
// numbers are checked.
struct NetWindow {
    uint32_t peerHave = 0;  // the peer's passes held here: every pass below
    uint32_t sent = 0;      // this side's passes sent so far
    uint32_t peerAck = 0;   // the newest `have` the peer sent
};

// The packet's bytes into `out` (at least kNetMaxPacketBytes); the size, or
// 0 when the packet itself breaks the rules (a count out of range, text that
// does not end) and nothing was written.
size_t WriteNetPacket(const NetPacket& packet, uint8_t* out, size_t capacity);

// Reads one packet. False with `why` set to the reason (a constant string)
// when the bytes break any rule.
bool ParseNetPacket(const uint8_t* data, size_t size, const NetWindow& window, NetPacket* packet, const char** why);

// The packet's size for a kind (the inputs': with `count` records).
size_t NetPacketBytes(NetKind kind, uint8_t count = 0);

// The host's check of a joining side's hello against its own: whether the
// two games can play together, and if not, why.
bool NetHelloFits(const NetHello& theirs, const NetHello& ours, NetRefuseReason* reason);

// A refusal in words for the refused player, from the refusal and this
// side's own hello: "the host runs VoidCrawl 1.0.1; this is VoidCrawl 1.0.0".
void DescribeNetRefusal(const NetRefuse& refuse, const NetHello& ours, char* text, size_t size);
