// Replays every input stored under tests/fuzz_regressions/<target>/ through
// the fuzz target of that name (fuzz/FuzzTargets.h). Each stored input once
// crashed the game or broke one of the rules its target checks; a target
// that finds a broken rule aborts, which fails the test with the rule named
// on stderr. The targets also run on a few edge cases, so that their own
// checks are exercised in every build.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzTargets.h"
#include "net/NetProtocol.h"
#include "net/RoomProtocol.h"
#include "support/Files.h"

namespace {

// A rooms session for fuzz/RoomsTarget.cpp: records of the sender (and
// what to put in: 8 a token, 16 a code, from the second byte), the time
// passed in quarter seconds, the length, the datagram.
inline std::vector<uint8_t> RoomsSession() {
    std::vector<uint8_t> b;
    auto record = [&b](uint8_t who, uint8_t which, uint8_t wait, const RoomMessage& m) {
        uint8_t bytes[kRoomMaxMessageBytes];
        const size_t n = WriteRoomMessage(m, bytes, sizeof bytes);
        b.insert(b.end(), {who, which, wait, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8)});
        b.insert(b.end(), bytes, bytes + n);
    };
    RoomMessage m;
    m.kind = RoomKind::Open;
    std::strcpy(m.gameVersion, "1.0.0");
    m.askId = 1;
    record(0, 0, 0, m);  // a room
    m.kind = RoomKind::Enter;
    std::strcpy(m.code, "AAAAA");
    m.askId = 2;
    record(1 | 16, 0, 1, m);  // entered by its code
    m = RoomMessage{};
    m.kind = RoomKind::Stay;
    m.flags = kRoomPunched;
    record(0 | 8, 0, 4, m);  // the host's token: punched
    static const uint8_t datagram[] = {5, 0, 1, 2, 3};
    m.kind = RoomKind::Relay;
    m.payload = datagram;
    m.payloadSize = sizeof datagram;
    record(0 | 8, 0, 0, m);
    record(1 | 8, 1, 0, m);  // the joiner's
    record(4 | 8, 1, 0, m);  // the joiner's token from elsewhere
    m = RoomMessage{};
    m.kind = RoomKind::Open;
    m.mode = RoomMode::Quick;
    std::strcpy(m.gameVersion, "1.0.0");
    for (uint8_t who = 2; who < 8; ++who) {
        m.askId = who;
        record(who, 0, 0, m);  // quick matches, and the limits
    }
    m = RoomMessage{};
    m.kind = RoomKind::Leave;
    record(0 | 8, 0, 200, m);
    return b;
}

namespace fs = std::filesystem;
std::vector<fs::path> StoredInputs(const char* target) {
    std::vector<fs::path> files;
    const fs::path dir = fs::path(VC_FUZZ_REGRESSIONS_DIR) / target;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return files;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

int Run(const FuzzTarget& t, const Bytes& b) { return t.run(b.empty() ? nullptr : b.data(), b.size()); }

// A room's link: the server's Room bodies (token, code, role, stage, peer,
// seconds) waiting, then pairing with a joiner at 127.0.0.1; a relayed
// cookie request and a stranger's; garbage from the server.
[[gnu::noinline]] Bytes RoomLinkCase() {
    auto body = [](uint8_t stage) {
        Bytes b(50, 0);
        for (size_t i = 0; i < 16; ++i) b[i] = static_cast<uint8_t>(0xA0 + i);
        for (size_t i = 0; i < 5; ++i) b[16 + i] = static_cast<uint8_t>("KMNPQ"[i]);
        b[21] = 1;
        b[22] = stage;
        if (stage > 1) b[23] = 4, b[24] = 127, b[27] = 1, b[40] = 0x40, b[41] = 0x9C;
        b[42] = 0x58, b[43] = 0x02;
        return b;
    };
    Bytes request(64, 0);
    for (size_t i = 0; i < 6; ++i) request[i] = static_cast<uint8_t>("\x01VCUL\x01"[i]);
    Bytes room = {2};
    for (const auto& [kind, bytes] :
         {std::pair{uint8_t{2}, body(1)}, std::pair{uint8_t{2}, body(2)}, std::pair{uint8_t{3}, request},
          std::pair{uint8_t{1}, request}, std::pair{uint8_t{0}, Bytes{'V', 'C', 'R', 'M', 1, 16}}}) {
        room.insert(room.end(), {kind, static_cast<uint8_t>(bytes.size())});
        room.insert(room.end(), bytes.begin(), bytes.end());
    }
    return room;
}

// Inputs at the edges every target must take: nothing, a byte, all ones,
// zeros longer than any header, and a level file for the timer level in a
// two-player game.
std::vector<Bytes> EdgeCases(const std::string& target) {
    std::vector<Bytes> cases = {{}, {0}, Bytes(64, 0xFF), Bytes(2000, 0)};
    if (target == "level") {
        Bytes level(1456 + 3, 0);
        const char name[] = "grafik\\Arena0.dat";
        std::copy(name, name + sizeof name, level.begin());
        for (auto [at, value] :
             {std::pair{300, 30}, {316, 5}, {320, 3}, {324, 7}, {328, 16}, {332, 7}, {1456, 5}, {1457, 1}})
            level[at] = static_cast<uint8_t>(value);
        cases.push_back(level);
    }
    if (target == "rollback") {
        // The peer's first three passes of keys, then a hash, each after its length byte.
        NetPacket inputs;
        inputs.kind = NetKind::Inputs;
        inputs.inputs.count = 3;
        for (uint8_t i = 0; i < 3; ++i) inputs.inputs.inputs[i].keys = static_cast<uint8_t>(1u << i);
        NetPacket hash;
        hash.kind = NetKind::Hash;
        hash.hash = {100, 0x0123456789abcdefull};
        Bytes framed = {0};  // no input delay
        for (const NetPacket* p : {&inputs, &hash}) {
            uint8_t bytes[kNetMaxPacketBytes];
            const size_t n = WriteNetPacket(*p, bytes, sizeof bytes);
            framed.push_back(static_cast<uint8_t>(n));
            framed.insert(framed.end(), bytes, bytes + n);
        }
        cases.push_back(framed);
    }
    if (target == "link") {
        // Sealed to the host: a reliable and an unreliable packet, a ping,
        // a pong, a message of no kind; then the same again as a repeat,
        // a forgery from the peer, and a goodbye.
        Bytes plain = {0, 0, 0, 0, 1, 0, 0, 0, 0, 3, 'a', 'b', 'c', 2, 1, 'z', 3, 1, 2, 3, 4, 4, 9, 9, 9, 9, 77};
        Bytes session = {0, 2, static_cast<uint8_t>(plain.size())};
        session.insert(session.end(), plain.begin(), plain.end());
        for (const uint8_t kind : {uint8_t{2 | 4}, uint8_t{0}}) {
            session.insert(session.end(), {kind, static_cast<uint8_t>(plain.size())});
            session.insert(session.end(), plain.begin(), plain.end());
        }
        session.insert(session.end(), {2, 5, 1, 0, 0, 0, 5});
        cases.push_back(session);
        cases.push_back(RoomLinkCase());
    }
    if (target == "rooms") cases.push_back(RoomsSession());
    if (target == "room") {
        // An Enter whose code came in lower case, a Room and the longest Relay.
        RoomMessage m;
        m.kind = RoomKind::Enter;
        std::strcpy(m.code, "QRTUV");
        std::strcpy(m.gameVersion, "1.0.0");
        uint8_t bytes[kRoomMaxMessageBytes];
        Bytes enter(bytes, bytes + WriteRoomMessage(m, bytes, sizeof bytes));
        for (size_t i = 6; i < 11; ++i) enter[i] = static_cast<uint8_t>(enter[i] - 'A' + 'a');
        cases.push_back(enter);
        m.kind = RoomKind::Room;
        m.peer.family = 6;
        m.peer.bytes[15] = 1;
        m.peer.port = 1;
        cases.emplace_back(bytes, bytes + WriteRoomMessage(m, bytes, sizeof bytes));
        static const uint8_t datagram[kRoomMaxRelayBytes] = {};
        m.kind = RoomKind::Relay;
        m.payload = datagram;
        m.payloadSize = sizeof datagram;
        cases.emplace_back(bytes, bytes + WriteRoomMessage(m, bytes, sizeof bytes));
    }
    return cases;
}

}  // namespace

namespace {

class FuzzRegression : public ::testing::TestWithParam<FuzzTarget> {};

}  // namespace

// A target is named by its name in test listings, never by its bytes
// (pointers that change with every link).
void PrintTo(const FuzzTarget& target, std::ostream* out) { *out << target.name; }

namespace {

// Each input runs in a child process: a broken rule aborts the child, fails
// the expectation with the rule on stderr, and the other inputs still run.
void ExpectPasses(const FuzzTarget& target, const Bytes& input) {
    EXPECT_EXIT(std::exit(Run(target, input) == 0 ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

TEST_P(FuzzRegression, StoredInputsAndEdgeCasesPass) {
    GTEST_FLAG_SET(death_test_style, "fast");
    const FuzzTarget& target = GetParam();
    // Start the game here once (for the targets that need it), so that each
    // child only runs its input.
    if (std::string(target.name) == "level" || std::string(target.name) == "highscore" ||
        std::string(target.name) == "rollback")
        FuzzGame();
    int stored = 0;
    for (const fs::path& file : StoredInputs(target.name)) {
        SCOPED_TRACE(file.string());
        ExpectPasses(target, ReadAll(file));
        ++stored;
    }
    for (const Bytes& b : EdgeCases(target.name)) ExpectPasses(target, b);
    RecordProperty("stored_inputs", stored);
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzRegression, ::testing::ValuesIn(kFuzzTargets),
                         [](const ::testing::TestParamInfo<FuzzTarget>& info) { return std::string(info.param.name); });

}  // namespace
