// Writes the seed inputs of every fuzz target from a generated data set:
//
//   fuzz_seeds DATA_DIR OUT_DIR
//
// OUT_DIR/bmp        every grafik/*.dat, plus small 8-, 16- and 24-bit pictures
// OUT_DIR/wave       every sound/*.dat, plus small files with unusual chunks
// OUT_DIR/level      every L*.DAT, each with the level number (and variants)
//                    in the trailing bytes the fuzz target reads as knobs
// OUT_DIR/highscore  tables: empty, short, full, odd names and scores, and
//                    clicks on each of the screen's buttons
// OUT_DIR/script     runner scripts using every command and key form
// OUT_DIR/packet     network packets of every kind, each after the twelve
//                    bytes of the window it is read against
// OUT_DIR/link       the link's datagrams: sealed messages of every kind, a
//                    repeat, forgeries, a stranger's cookie request
// OUT_DIR/room       room messages of every kind, as the protocol writes them
// OUT_DIR/rooms      a session with the server's rooms: a room made, entered,
//                    punched, relayed both ways, quick matches, a leave
//
//   fuzz_seeds --games RUNNER DATA_DIR OUT_DIR
//
// OUT_DIR/replay     whole games the runner's autopilot plays to their end
//                    (one player on easy, two on pads, one on hard), as the
//                    game saved them, the time each began set to 0 (not
//                    known): the same bytes on every build of the same game

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "net/NetProtocol.h"
#include "net/RoomProtocol.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

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

void Put16(Bytes& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutId(Bytes& b, const char* id) { b.insert(b.end(), id, id + 4); }

bool Write(const fs::path& path, const Bytes& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
}

Bytes Read(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

Bytes Bmp(int32_t width, int32_t height, uint16_t bits) {
    const uint32_t row = static_cast<uint32_t>(width) * (bits / 8);
    const uint32_t image = row * static_cast<uint32_t>(height);
    const uint32_t table = bits == 8 ? 1024 : 0;
    Bytes b = {'B', 'M'};
    Put32(b, 54 + table + image);
    Put32(b, 0);
    Put32(b, 54 + table);
    Put32(b, 40);
    Put32(b, static_cast<uint32_t>(width));
    Put32(b, static_cast<uint32_t>(height));
    Put16(b, 1);
    Put16(b, bits);
    Put32(b, 0);
    Put32(b, image);
    for (int i = 0; i < 4; ++i) Put32(b, 0);
    for (uint32_t i = 0; i < table / 4; ++i) Put32(b, i * 0x010203u);
    for (uint32_t i = 0; i < image; ++i) b.push_back(static_cast<uint8_t>(i * 13 + 1));
    return b;
}

Bytes Wave(const std::vector<std::pair<std::string, Bytes>>& chunks) {
    Bytes body;
    PutId(body, "WAVE");
    for (const auto& [id, data] : chunks) {
        PutId(body, id.c_str());
        Put32(body, static_cast<uint32_t>(data.size()));
        body.insert(body.end(), data.begin(), data.end());
        if (data.size() & 1) body.push_back(0);
    }
    Bytes b;
    PutId(b, "RIFF");
    Put32(b, static_cast<uint32_t>(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

Bytes PcmFormat(uint16_t size) {
    Bytes f;
    Put16(f, 1);
    Put16(f, 1);
    Put32(f, 22050);
    Put32(f, 22050);
    Put16(f, 1);
    Put16(f, 8);
    if (size >= 18) Put16(f, 0);
    f.resize(size, 0);
    return f;
}

struct Record {
    int32_t score;
    const char* name;
    int32_t length;
    int32_t level;
};

Bytes Table(const std::vector<Record>& records) {
    Bytes b;
    for (const Record& r : records) {
        Put32(b, static_cast<uint32_t>(r.score));
        char name[20] = {};
        std::memcpy(name, r.name, std::min<size_t>(std::strlen(r.name), 20));
        b.insert(b.end(), name, name + 20);
        Put32(b, static_cast<uint32_t>(r.length));
        Put32(b, static_cast<uint32_t>(r.level));
    }
    return b;
}

// Knobs of the high-score target: font, flags (1 continue, 2 button down),
// pointer x and y (16 bits each), a score to insert.
Bytes Knobs(uint8_t font, uint8_t flags, uint16_t x, uint16_t y, uint32_t score) {
    Bytes b = {font, flags};
    Put16(b, x);
    Put16(b, y);
    Put32(b, score);
    return b;
}

// Where a replay's header keeps when its game began (docs/replay-format.md).
constexpr size_t kStartedAtOffset = 144;
constexpr size_t kStartedAtBytes = 8;

// The autopilot's whole games, each as the replay the game saved.
int WriteGames(const fs::path& runner, const fs::path& data, const fs::path& out) {
    const struct {
        const char* name;
        const char* args;
    } games[] = {
        {"easy", "--autopilot --seed 5"},
        {"pads", "--autopilot --autopilot-difficulty 1 --autopilot-pads --seed 6"},
        {"hard", "--autopilot --autopilot-difficulty 2 --seed 7"},
    };
    fs::create_directories(out / "replay");
    for (const auto& game : games) {
        const fs::path user = out / (std::string("user-") + game.name);
        fs::remove_all(user);
        fs::create_directories(user);
        const std::string command = "'" + runner.string() + "' --data '" + data.string() + "' --user-dir '" +
                                    user.string() + "' " + game.args + " >/dev/null";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "fuzz_seeds: the game '%s' failed: %s\n", game.name, command.c_str());
            return 1;
        }
        Bytes replay;
        for (const auto& e : fs::directory_iterator(user / "replays"))
            if (e.path().extension() == ".vcr") replay = Read(e.path());
        if (replay.size() < kStartedAtOffset + kStartedAtBytes) {
            std::fprintf(stderr, "fuzz_seeds: the game '%s' saved no replay\n", game.name);
            return 1;
        }
        std::fill_n(replay.begin() + kStartedAtOffset, kStartedAtBytes, 0);
        if (!Write(out / "replay" / (std::string(game.name) + ".vcr"), replay)) return 1;
        std::printf("fuzz_seeds: the %s game, %zu bytes\n", game.name, replay.size());
        fs::remove_all(user);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--games") == 0) return WriteGames(argv[2], argv[3], argv[4]);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s DATA_DIR OUT_DIR\n       %s --games RUNNER DATA_DIR OUT_DIR\n", argv[0],
                     argv[0]);
        return 2;
    }
    const fs::path data = argv[1];
    const fs::path out = argv[2];
    if (!fs::is_directory(data / "grafik") || !fs::is_directory(data / "sound")) {
        std::fprintf(stderr, "fuzz_seeds: no data set at %s\n", data.c_str());
        return 1;
    }
    int written = 0;
    auto put = [&](const char* target, const std::string& name, const Bytes& bytes) {
        fs::create_directories(out / target);
        if (!Write(out / target / name, bytes)) {
            std::fprintf(stderr, "fuzz_seeds: cannot write %s/%s\n", target, name.c_str());
            std::exit(1);
        }
        ++written;
    };

    // Pictures.
    for (const auto& e : fs::directory_iterator(data / "grafik")) put("bmp", e.path().filename(), Read(e.path()));
    put("bmp", "small8.bmp", Bmp(32, 2, 8));
    put("bmp", "small16.bmp", Bmp(16, 3, 16));
    put("bmp", "small24.bmp", Bmp(16, 3, 24));
    Bytes gap = Bmp(32, 25, 8);
    gap.insert(gap.begin() + 54 + 1024, 40, 0xAB);  // bytes between the table and the pixels
    put("bmp", "gap8.bmp", gap);

    // Sounds.
    for (const auto& e : fs::directory_iterator(data / "sound")) put("wave", e.path().filename(), Read(e.path()));
    const Bytes samples = {128, 140, 160, 120, 100, 128, 131};
    put("wave", "plain.wav", Wave({{"fmt ", PcmFormat(18)}, {"data", samples}}));
    put("wave", "fmt16.wav", Wave({{"fmt ", PcmFormat(16)}, {"data", samples}}));
    put("wave", "list.wav", Wave({{"fmt ", PcmFormat(18)}, {"LIST", {1, 2, 3}}, {"data", samples}}));
    put("wave", "empty.wav", Wave({{"fmt ", PcmFormat(18)}, {"data", {}}}));
    Bytes junkFirst;
    PutId(junkFirst, "JUNK");
    Put32(junkFirst, 3);
    junkFirst.insert(junkFirst.end(), {9, 9, 9, 0});
    const Bytes plain = Wave({{"fmt ", PcmFormat(18)}, {"data", samples}});
    junkFirst.insert(junkFirst.end(), plain.begin(), plain.end());
    put("wave", "junkfirst.wav", junkFirst);

    // Levels, each under its own number; then a few variants.
    for (int i = 0; i < 20; ++i) {
        const fs::path file = data / ("L" + std::to_string(i) + ".DAT");
        if (!fs::exists(file)) continue;
        Bytes level = Read(file);
        level.resize(1456, 0);
        Bytes one = level;
        one.insert(one.end(), {static_cast<uint8_t>(i), 2, 2, 0, 1, 1, 4, 2, 2, 32, 0});
        put("level", "L" + std::to_string(i) + ".lvl", one);
        if (i == 0 || i == 5 || i == 19) {
            Bytes two = level;
            two.insert(two.end(), {static_cast<uint8_t>(i), 5, 1, 4, 4, 8, 8, 16, 0, 1, 2});
            put("level", "L" + std::to_string(i) + "-two.lvl", two);
        }
    }

    // High-score tables.
    const std::vector<Record> full = {
        {5000, "ALICE", 40, 7},
        {300, "BOB", 12, 2},
        {12000, "CAROL", 88, 15},
        {300, "DAVE", 11, 2},
        {750, "EVE", 20, 3},
        {1, "F", 5, 1},
        {99999, "MALLORYMALLOR", 200, 20},
        {42, "", 6, 1},
        {4200, "TRENT", 33, 6},
        {900000, "PEGGY", 999, 20},
    };
    put("highscore", "empty.dat", {});
    put("highscore", "full.dat", Table(full));
    Bytes shortTable = Table(full);
    shortTable.resize(100);
    put("highscore", "short.dat", shortTable);
    put("highscore", "odd.dat",
        Table({{-5, "NEG", -1, -1},
               {0x7FFFFFFF, "MAXIMUM", 0x7FFFFFFF, 0x7FFFFFFF},
               {static_cast<int32_t>(0x80000000), "MINIMUM", 0, 0},
               {7, "\x01\x7F\x80\xFF", 3, 3}}));
    Bytes unterminated = Table(full);
    for (int r = 0; r < 10; ++r) std::memset(unterminated.data() + r * 32 + 4, 'Z', 20);
    put("highscore", "unterminated.dat", unterminated);
    const struct {
        const char* name;
        uint8_t font, flags;
        uint16_t x, y;
    } clicks[] = {
        {"easy", 0, 2, 230, 460},    {"medium", 1, 2, 300, 460}, {"hard", 2, 2, 380, 460},
        {"continue", 0, 3, 560, 60}, {"back", 0, 2, 60, 60},     {"nowhere", 1, 1, 320, 240},
    };
    for (const auto& c : clicks) {
        Bytes b = Table(full);
        const Bytes k = Knobs(c.font, c.flags, c.x, c.y, 6000);
        b.insert(b.end(), k.begin(), k.end());
        put("highscore", std::string("click-") + c.name + ".dat", b);
    }

    // Scripts.
    const char* scripts[][2] = {
        {"menu.txt", "150 mouse 312 370\n152 press lmb\n154 release lmb\n160 shot info.png\n161 end\n"},
        {"keys.txt",
         "# keys by name and code\n0 press space\n1 release SPACE\n2 press 0x39\n3 press left\n3 press rctrl\n"
         "4 release 0xcd\n5 press a\n5 press 7\n6 press 0\n7 press esc   # comment\n8 state out.json\n9 end\n"},
        {"crlf.txt", "10 mouse -5 100000\r\n10 mouse 0 0\r\n\r\n20 shot a.png\r\n"},
        {"bad-order.txt", "5 end\n4 end\n"},
        {"bad-key.txt", "1 press hyper\n"},
        {"bad-args.txt", "1 mouse 1\n"},
    };
    for (const auto& s : scripts) put("script", s[0], Bytes(s[1], s[1] + std::strlen(s[1])));

    // Network packets (docs/net-protocol.md): the window (peer's passes
    // held, passes sent, peer's newest ack), then the packet.
    auto packet = [](uint8_t kind, const Bytes& body) {
        Bytes b;
        Put32(b, 1000);
        Put32(b, 1000);
        Put32(b, 900);
        PutId(b, "VCNP");
        b.push_back(kNetProtocolVersion);
        b.push_back(kind);
        b.insert(b.end(), body.begin(), body.end());
        return b;
    };
    auto text = [](const char* t, size_t n) {
        Bytes b(n, 0);
        std::memcpy(b.data(), t, std::min(std::strlen(t), n - 1));
        return b;
    };
    Bytes hello = text("1.0.0", 16);
    for (int i = 0; i < 8; ++i) hello.push_back(static_cast<uint8_t>(0x11 * (i + 1)));
    const Bytes name = text("PLAYER", 20);
    hello.insert(hello.end(), name.begin(), name.end());
    hello.insert(hello.end(), {1, 3});
    put("packet", "hello", packet(1, hello));
    Bytes welcome = hello;
    welcome.insert(welcome.end(), {3, 1});
    Put32(welcome, 0xC0FFEE);
    put("packet", "welcome", packet(2, welcome));
    Bytes refuse = {2};
    const Bytes version = text("0.9.9", 16);
    refuse.insert(refuse.end(), version.begin(), version.end());
    for (int i = 0; i < 8; ++i) refuse.push_back(static_cast<uint8_t>(i));
    put("packet", "refuse", packet(3, refuse));
    for (const uint8_t count : {1, 5, 16}) {
        Bytes inputs;
        Put32(inputs, 1000 - count / 2);
        inputs.push_back(count);
        Put32(inputs, 950);
        for (uint8_t i = 0; i < count; ++i)
            inputs.insert(inputs.end(), {static_cast<uint8_t>(i * 7 & 0x3F), static_cast<uint8_t>(i & 1),
                                         i == 0 ? kNetLeadNotKnown : static_cast<uint8_t>(i * 11), 0});
        put("packet", "inputs-" + std::to_string(count), packet(4, inputs));
    }
    Bytes hash;
    Put32(hash, 900);
    for (int i = 0; i < 8; ++i) hash.push_back(static_cast<uint8_t>(0xA0 + i));
    put("packet", "hash", packet(5, hash));
    Bytes ping;
    Put32(ping, 123456);
    put("packet", "ping", packet(6, ping));
    put("packet", "pong", packet(7, ping));
    Bytes bye = {1};
    Put32(bye, 990);
    put("packet", "bye", packet(8, bye));
    Bytes delay;
    Put32(delay, 1300);
    delay.push_back(4);
    put("packet", "delay", packet(10, delay));
    Bytes points = {3};
    Put32(points, 0x3FC00000);  // 1.5
    Put32(points, 0x3F400000);  // 0.75
    for (const uint32_t v : {2u, 1u, 10u, 3u, 4u, 1250u}) Put32(points, v);
    put("packet", "points", packet(9, points));

    // The link's datagrams (fuzz/LinkTarget.cpp): the side, then records
    // (kind, length, bytes); sealed records (kind 2) hold a datagram's
    // plain text: the ack, then messages.
    auto record = [](Bytes& b, uint8_t kind, const Bytes& bytes) {
        b.push_back(kind);
        b.push_back(static_cast<uint8_t>(bytes.size()));
        b.insert(b.end(), bytes.begin(), bytes.end());
    };
    Bytes sealedText;
    Put32(sealedText, 0);
    const Bytes packetBytes = packet(6, ping);
    const Bytes packetBody(packetBytes.begin() + 12, packetBytes.end());
    sealedText.push_back(1);  // reliable, sequence 0
    Put32(sealedText, 0);
    sealedText.push_back(static_cast<uint8_t>(packetBody.size()));
    sealedText.insert(sealedText.end(), packetBody.begin(), packetBody.end());
    sealedText.push_back(2);  // unreliable
    sealedText.push_back(static_cast<uint8_t>(packetBody.size()));
    sealedText.insert(sealedText.end(), packetBody.begin(), packetBody.end());
    sealedText.insert(sealedText.end(), {3, 1, 2, 3, 4, 4, 0, 0, 0, 0});  // a ping, a pong
    Bytes session = {0};
    record(session, 2, sealedText);
    record(session, 2 | (1 << 2), sealedText);  // the one before again: a repeat
    record(session, 0, sealedText);             // unsealed from the peer: forged
    Bytes cookieRequest(64, 0);
    const uint8_t requestHead[] = {1, 'V', 'C', 'U', 'L', 1, 1, 2, 3, 4, 5, 6, 7, 8};
    std::copy(std::begin(requestHead), std::end(requestHead), cookieRequest.begin());
    record(session, 1, cookieRequest);    // a stranger asks for a cookie
    record(session, 2, {0, 0, 0, 0, 5});  // a goodbye
    put("link", "session", session);
    Bytes joining = {1};
    record(joining, 0, {2, 1, 2, 3, 4, 5, 6, 7, 8});
    record(joining, 0, Bytes(57, 4));
    put("link", "joining", joining);
    // A room's link (first byte 2): the server's Room bodies after the ask
    // id (token, code, role, stage, peer, seconds), waiting then pairing
    // with a joiner at 127.0.0.1:40000; a cookie request relayed; garbage
    // from the server's address; a stranger's request.
    auto roomBody = [](uint8_t stage, bool peer) {
        Bytes body(50, 0);
        for (size_t i = 0; i < 16; ++i) body[i] = static_cast<uint8_t>(0xA0 + i);
        const char code[] = "KMNPQ";
        std::copy(code, code + 5, body.begin() + 16);
        body[21] = 1;  // host
        body[22] = stage;
        if (peer) {
            body[23] = 4;
            body[24] = 127;
            body[27] = 1;
            body[40] = 0x40;  // port 40000, little-endian
            body[41] = 0x9C;
        }
        body[42] = 0x58;  // 600 s
        body[43] = 0x02;
        return body;
    };
    Bytes roomLink = {2};
    record(roomLink, 2, roomBody(1, false));
    record(roomLink, 2, roomBody(2, true));
    record(roomLink, 3, cookieRequest);
    record(roomLink, 0, {'V', 'C', 'R', 'M', 1, 16, 0});
    record(roomLink, 1, cookieRequest);
    put("link", "room", roomLink);

    // Room messages (docs/net-protocol.md, "Rooms"), one of each kind.
    auto room = [&](const char* name, const RoomMessage& m) {
        uint8_t bytes[kRoomMaxMessageBytes];
        const size_t n = WriteRoomMessage(m, bytes, sizeof bytes);
        put("room", name, Bytes(bytes, bytes + n));
    };
    RoomMessage ask;
    ask.kind = RoomKind::Open;
    ask.mode = RoomMode::Quick;
    ask.difficulty = 1;
    std::strcpy(ask.gameVersion, "1.0.0");
    ask.dataHash = 0x1122334455667788ull;
    ask.askId = 99;
    room("open", ask);
    ask.kind = RoomKind::Enter;
    std::strcpy(ask.code, "HJKMN");
    room("enter", ask);
    RoomMessage told = ask;
    told.kind = RoomKind::Room;
    for (size_t i = 0; i < kRoomTokenBytes; ++i) told.token[i] = static_cast<uint8_t>(i + 1);
    told.stage = RoomStage::Paired;
    told.peer.family = 4;
    told.peer.bytes[0] = 192, told.peer.bytes[3] = 7;
    told.peer.port = 7311;
    told.waitSeconds = 590;
    room("room", told);
    told.kind = RoomKind::Stay;
    told.flags = kRoomPunched;
    room("stay", told);
    told.kind = RoomKind::Leave;
    room("leave", told);
    told.kind = RoomKind::Relay;
    const uint8_t datagram[] = {5, 1, 0, 0, 0, 0, 0, 0, 0, 0xAB, 0xCD};
    told.payload = datagram;
    told.payloadSize = sizeof datagram;
    room("relay", told);
    told.kind = RoomKind::Relayed;
    room("relayed", told);
    told.kind = RoomKind::Refused;
    told.reason = RoomRefusal::TooManyAsks;
    room("refused", told);
    told.kind = RoomKind::Punch;
    room("punch", told);
    put("rooms", "session", RoomsSession());

    std::printf("fuzz_seeds: %d seed files in %s\n", written, out.c_str());
    return 0;
}
