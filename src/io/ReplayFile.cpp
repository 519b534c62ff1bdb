#include "io/ReplayFile.h"

#include <cstring>

#include "io/InputTape.h"
#include "io/OnlineTape.h"
#include "platform/LittleEndian.h"

namespace {

// Where each field lies in the header.
enum Offset : size_t {
    kMagicAt = 0,
    kFormatAt = 4,
    kHeaderBytesAt = 6,
    kVersionAt = 8,
    kDataHashAt = 24,
    kRandomAt = 32,
    kPlayersAt = 36,
    kDifficultyAt = 37,
    kFlagsAt = 38,
    kButtonAt = 39,
    kPointerXAt = 40,
    kPointerYAt = 44,
    kLatchAt = 48,
    kOnlinePlayerAt = 49,
    kNamesAt = 52,
    kShipsAt = 92,
    kKeysAt = 100,
    kScoresAt = 112,
    kLengthsAt = 120,
    kLevelAt = 128,
    kTapeBytesAt = 132,
    kPassesAt = 136,
    kCheckpointsAt = 140,
    kStartedAt = 144,
    kEnd = 152,
};
static_assert(kNamesAt + 2 * kReplayNameBytes == kShipsAt);
static_assert(kKeysAt + 2 * kPlayKeyCount == kScoresAt);
static_assert(kEnd <= kReplayHeaderBytes);

// Zero-terminated text with zeros after its end; printable ASCII only
// when `printable`.
bool GoodText(const char* text, size_t size, bool printable = true) {
    size_t n = 0;
    while (n < size && text[n] != 0) {
        const auto c = static_cast<unsigned char>(text[n]);
        if (printable && (c < 0x20 || c > 0x7E)) return false;
        ++n;
    }
    if (n == size) return false;
    for (; n < size; ++n)
        if (text[n] != 0) return false;
    return true;
}

bool Refuse(ReadError* error, const char* reason) { return ReadFailed(error, ReadStatus::Malformed, reason); }

}  // namespace

void WriteReplayHeader(const ReplayHeader& h, uint8_t* out) {
    std::memset(out, 0, kReplayHeaderBytes);
    std::memcpy(out + kMagicAt, kReplayMagic, sizeof kReplayMagic);
    WriteLittleEndian<uint16_t>(out + kFormatAt, kReplayFormatVersion);
    WriteLittleEndian<uint16_t>(out + kHeaderBytesAt, static_cast<uint16_t>(kReplayHeaderBytes));
    std::memcpy(out + kVersionAt, h.gameVersion, kReplayVersionBytes - 1);
    WriteLittleEndian<uint64_t>(out + kDataHashAt, h.dataHash);
    WriteLittleEndian<uint32_t>(out + kRandomAt, h.randomState);
    out[kPlayersAt] = h.players;
    out[kDifficultyAt] = h.difficulty;
    out[kFlagsAt] = h.flags;
    out[kButtonAt] = h.buttonDown;
    WriteLittleEndian<int32_t>(out + kPointerXAt, h.pointerX);
    WriteLittleEndian<int32_t>(out + kPointerYAt, h.pointerY);
    out[kLatchAt] = h.latches;
    out[kOnlinePlayerAt] = h.onlinePlayer;
    for (int i = 0; i < 2; ++i) {
        std::memcpy(out + kNamesAt + i * kReplayNameBytes, h.names[i], kReplayNameBytes - 1);
        WriteLittleEndian<int32_t>(out + kShipsAt + 4 * i, h.ships[i]);
        std::memcpy(out + kKeysAt + i * kPlayKeyCount, h.keys.code[i], kPlayKeyCount);
        WriteLittleEndian<int32_t>(out + kScoresAt + 4 * i, h.scores[i]);
        WriteLittleEndian<int32_t>(out + kLengthsAt + 4 * i, h.lengthTotals[i]);
    }
    WriteLittleEndian<int32_t>(out + kLevelAt, h.level);
    WriteLittleEndian<uint32_t>(out + kTapeBytesAt, h.tapeBytes);
    WriteLittleEndian<uint32_t>(out + kPassesAt, h.passes);
    WriteLittleEndian<uint32_t>(out + kCheckpointsAt, h.checkpoints);
    WriteLittleEndian<int64_t>(out + kStartedAt, h.startedAt);
}

bool ParseReplayHeader(const uint8_t* data, size_t size, ReplayHeader* header, ReadError* error) {
    if (size < kReplayHeaderBytes) return Refuse(error, "shorter than a replay's header");
    if (std::memcmp(data + kMagicAt, kReplayMagic, sizeof kReplayMagic) != 0) return Refuse(error, "not a replay");
    if (ReadLittleEndian<uint16_t>(data + kFormatAt) != kReplayFormatVersion)
        return Refuse(error, "a replay format this version of the game does not know");
    if (ReadLittleEndian<uint16_t>(data + kHeaderBytesAt) != kReplayHeaderBytes)
        return Refuse(error, "the header has the wrong size");
    ReplayHeader h;
    std::memcpy(h.gameVersion, data + kVersionAt, kReplayVersionBytes);
    if (!GoodText(h.gameVersion, kReplayVersionBytes)) return Refuse(error, "the game version is not text");
    h.dataHash = ReadLittleEndian<uint64_t>(data + kDataHashAt);
    h.randomState = ReadLittleEndian<uint32_t>(data + kRandomAt);
    h.players = data[kPlayersAt];
    h.difficulty = data[kDifficultyAt];
    h.flags = data[kFlagsAt];
    h.buttonDown = data[kButtonAt];
    h.pointerX = ReadLittleEndian<int32_t>(data + kPointerXAt);
    h.pointerY = ReadLittleEndian<int32_t>(data + kPointerYAt);
    h.latches = data[kLatchAt];
    h.onlinePlayer = data[kOnlinePlayerAt];
    if (h.players < 1 || h.players > 2) return Refuse(error, "the number of players is not 1 or 2");
    if (h.difficulty > 2) return Refuse(error, "an unknown difficulty");
    if ((h.flags & ~(kReplayCutShort | kReplayOnline)) != 0 || h.buttonDown > 1 || h.latches > 3)
        return Refuse(error, "unknown flags");
    if ((h.flags & kReplayOnline) != 0 ? h.players != 2 || h.onlinePlayer < 1 || h.onlinePlayer > 2
                                       : h.onlinePlayer != 0)
        return Refuse(error, "an online game's players are not as it says");
    if (h.pointerX < 0 || h.pointerX > 639 || h.pointerY < 0 || h.pointerY > 479)
        return Refuse(error, "the pointer is off the screen");
    for (int i = 0; i < 2; ++i) {
        const bool inGame = i < h.players;
        std::memcpy(h.names[i], data + kNamesAt + i * kReplayNameBytes, kReplayNameBytes);
        if (!GoodText(h.names[i], kReplayNameBytes, false)) return Refuse(error, "a player's name does not end");
        h.ships[i] = ReadLittleEndian<int32_t>(data + kShipsAt + 4 * i);
        if (inGame ? h.ships[i] < 0 || h.ships[i] >= kReplayNoShip : h.ships[i] != kReplayNoShip)
            return Refuse(error, "an unknown ship");
        std::memcpy(h.keys.code[i], data + kKeysAt + i * kPlayKeyCount, kPlayKeyCount);
        h.scores[i] = ReadLittleEndian<int32_t>(data + kScoresAt + 4 * i);
        h.lengthTotals[i] = ReadLittleEndian<int32_t>(data + kLengthsAt + 4 * i);
        if (h.scores[i] < 0 || h.lengthTotals[i] < 0) return Refuse(error, "a score or a length total below zero");
        if (!inGame && (h.names[i][0] != 0 || h.scores[i] != 0 || h.lengthTotals[i] != 0))
            return Refuse(error, "a one-player game names a result for player 2");
    }
    // The players' keys as the settings allow them: each a key, none twice
    // (a key that turned one worm both ways plays as no game did).
    for (int k = 0; k < 2 * kPlayKeyCount; ++k) {
        const uint8_t code = h.keys.code[k / kPlayKeyCount][k % kPlayKeyCount];
        bool twice = false;
        for (int j = 0; j < k; ++j) twice = twice || h.keys.code[j / kPlayKeyCount][j % kPlayKeyCount] == code;
        if (code == 0 || twice) return Refuse(error, "the players' keys are not keys a game can be played with");
    }
    h.level = ReadLittleEndian<int32_t>(data + kLevelAt);
    h.tapeBytes = ReadLittleEndian<uint32_t>(data + kTapeBytesAt);
    h.passes = ReadLittleEndian<uint32_t>(data + kPassesAt);
    h.checkpoints = ReadLittleEndian<uint32_t>(data + kCheckpointsAt);
    h.startedAt = ReadLittleEndian<int64_t>(data + kStartedAt);
    for (size_t i = kOnlinePlayerAt + 1; i < kNamesAt; ++i)
        if (data[i] != 0) return Refuse(error, "unknown fields in the header");
    for (size_t i = kEnd; i < kReplayHeaderBytes; ++i)
        if (data[i] != 0) return Refuse(error, "unknown fields in the header");
    if (h.level < 1 || h.level > kReplayLevels) return Refuse(error, "the level reached is not 1 to 20");
    if (h.startedAt != 0 && (h.startedAt < kReplayEarliestStart || h.startedAt > kReplayLatestStart))
        return Refuse(error, "the time the game began is out of range");
    if (h.tapeBytes > kReplayTapeCapacity) return Refuse(error, "the input is longer than any game records");
    if (h.passes > kReplayMaxPasses) return Refuse(error, "more passes than a game's levels allow");
    *header = h;
    return true;
}

bool ParseReplay(const uint8_t* data, size_t size, ReplayHeader* header, const uint8_t** tape, ReadError* error) {
    ReplayHeader h;
    if (!ParseReplayHeader(data, size, &h, error)) return false;
    if (h.tapeBytes != size - kReplayHeaderBytes) return Refuse(error, "the input's length does not match the file's");
    uint32_t passes = 0, checkpoints = 0;
    const char* why = nullptr;
    const bool cutShort = (h.flags & kReplayCutShort) != 0;
    const uint8_t* body = data + kReplayHeaderBytes;
    const bool checked =
        (h.flags & kReplayOnline) != 0
            ? OnlineTape::Check(body, h.tapeBytes, cutShort ? OnlineTape::Ending::CutShort : OnlineTape::Ending::Whole,
                                &passes, &checkpoints, &why)
            : InputTape::Check(body, h.tapeBytes, cutShort ? InputTape::Ending::CutShort : InputTape::Ending::Whole,
                               &passes, &checkpoints, &why);
    if (!checked) return Refuse(error, why);
    if (passes != h.passes || checkpoints != h.checkpoints)
        return Refuse(error, "the input does not hold the passes and hashes the header counts");
    *header = h;
    *tape = data + kReplayHeaderBytes;
    return true;
}
