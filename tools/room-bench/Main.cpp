// voidcrawl-room-bench: games relayed through a voidcrawl-server's rooms,
// on loopback, for make bench-server (docs/server.md, "Measures").
//
//   voidcrawl-room-bench --port P --pid PID [--games N,N,...] [--seconds S] [--rate R] [--bytes B]
//
// For each number of games N: N pairs of UDP sockets, each pair in a room
// of its own (opened, entered by code), each socket on a loopback address
// of its game's own (127.1.x.y: the server counts asks per address). Each
// socket sends R datagrams a second (100, as the game does) of B bytes
// (64) to the other, first directly, then wrapped in Relay through the
// server; each datagram carries the time it was sent, and the receiver
// notes how long it took (the datagrams go out and come in by two
// sockets, in batches: see Side). Prints, per N, the server's CPU (from
// /proc/PID/stat) while relaying, the datagrams lost, and the latency's
// p50 and p99 direct and relayed: what the server's hop adds.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "net/RoomProtocol.h"
#include "platform/LittleEndian.h"

namespace {

int64_t NowNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// The server's user and system time so far, in seconds.
double ProcessCpuSeconds(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::strtoull(field.c_str(), nullptr, 10);
        if (i == 15) stime = std::strtoull(field.c_str(), nullptr, 10);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

struct Peer {
    int fd = -1;
    sockaddr_in self{};
    uint8_t token[kRoomTokenBytes] = {};
    int other = -1;  // the index of the other socket
    int64_t nextSend = 0;
};

sockaddr_in Loopback(uint32_t ip, uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(ip);
    a.sin_port = htons(port);
    return a;
}

int OpenSocket(uint32_t ip, sockaddr_in* self) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int buffer = 1 << 20;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    sockaddr_in a = Loopback(ip, 0);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    socklen_t n = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    *self = a;
    return fd;
}

bool Send(int fd, const sockaddr_in& to, const RoomMessage& m) {
    uint8_t b[kRoomMaxMessageBytes];
    const size_t n = WriteRoomMessage(m, b, sizeof b);
    return n > 0 && sendto(fd, b, n, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) == static_cast<ssize_t>(n);
}

// The next room message on `fd` within `ms`.
bool Receive(int fd, RoomMessage* m, int ms) {
    static uint8_t b[kRoomMaxMessageBytes + 1];
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) return false;
    const ssize_t n = recv(fd, b, sizeof b, 0);
    const char* why = nullptr;
    return n > 0 && ParseRoomMessage(b, static_cast<size_t>(n), m, &why);
}

// Asks until answered (every 200 ms, 10 times at most).
bool Ask(int fd, const sockaddr_in& server, const RoomMessage& ask, RoomMessage* answer) {
    for (int i = 0; i < 10; ++i) {
        Send(fd, server, ask);
        if (Receive(fd, answer, 200) && answer->kind != RoomKind::Relayed) return answer->kind == RoomKind::Room;
    }
    return false;
}

// Opens one room for each pair and enters it; false when the server refuses.
bool MakeRooms(std::vector<Peer>& peers, const sockaddr_in& server, int round) {
    for (size_t g = 0; g * 2 < peers.size(); ++g) {
        Peer& host = peers[g * 2];
        Peer& joiner = peers[g * 2 + 1];
        RoomMessage ask;
        ask.kind = RoomKind::Open;
        ask.mode = RoomMode::Create;
        std::strcpy(ask.gameVersion, "bench");
        ask.dataHash = 1;
        ask.askId = (static_cast<uint64_t>(round) << 32) | (g * 2);
        RoomMessage room;
        if (!Ask(host.fd, server, ask, &room)) return false;
        std::memcpy(host.token, room.token, kRoomTokenBytes);
        ask.kind = RoomKind::Enter;
        std::memcpy(ask.code, room.code, kRoomCodeBytes);
        ask.askId += 1;
        RoomMessage entered;
        if (!Ask(joiner.fd, server, ask, &entered)) return false;
        std::memcpy(joiner.token, entered.token, kRoomTokenBytes);
        RoomMessage told;
        Receive(host.fd, &told, 200);  // the host hears of its joiner
    }
    return true;
}

struct Result {
    double p50 = 0, p99 = 0, max = 0;
    uint64_t sent = 0, received = 0;
    double serverCpu = 0;  // of one core, while relaying
};

double Percentile(std::vector<int64_t>& v, double q) {
    if (v.empty()) return 0;
    const size_t k = std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())));
    std::nth_element(v.begin(), v.begin() + static_cast<long>(k), v.end());
    return static_cast<double>(v[k]) / 1000.0;  // µs
}

// The two sockets every game's datagrams go out and come in by, one for
// the hosts' side and one for the joiners', so that the bench sends and
// reads them in batches (sendmmsg, recvmmsg) and its own cost stays small
// beside the server's. A room knows its players by their tokens: a Stay
// from the side's socket moves each player there.
constexpr int kBatch = 64;
struct Side {
    int fd = -1;
    sockaddr_in self{};
};

void MoveTo(std::vector<Peer>& peers, Side sides[2], const sockaddr_in& server) {
    for (size_t i = 0; i < peers.size(); ++i) {
        RoomMessage stay;
        stay.kind = RoomKind::Stay;
        std::memcpy(stay.token, peers[i].token, kRoomTokenBytes);
        Send(sides[i % 2].fd, server, stay);
        if (i % 64 == 63) usleep(2000);  // (the answers must not overflow the side's buffer)
    }
    usleep(200000);
    uint8_t b[kRoomMaxMessageBytes + 1];
    for (int s = 0; s < 2; ++s)
        while (recv(sides[s].fd, b, sizeof b, 0) > 0) {}
}

// Each game sends `rate` datagrams a second of `bytes` bytes each way, for
// `seconds` (the first second's are not counted), directly between the
// sides or through the server.
Result Play(std::vector<Peer>& peers, Side sides[2], const sockaddr_in& server, bool relayed, int rate, size_t bytes,
            double seconds, int pid) {
    const size_t games = peers.size() / 2;
    const int64_t tick = 1000000;  // ns: each millisecond, what is due
    const int64_t start = NowNs();
    const int64_t counted = start + 1000000000;
    const int64_t end = start + static_cast<int64_t>(seconds * 1e9);
    std::vector<int64_t> latencies;
    latencies.reserve(static_cast<size_t>(static_cast<double>(peers.size()) * rate * seconds));
    Result r;
    double cpuAtCount = -1;
    // The datagrams of one batch, and their headers.
    static uint8_t out[kBatch][kRoomMaxMessageBytes];
    static uint8_t in[kBatch][kRoomMaxMessageBytes + 1];
    mmsghdr outMsgs[kBatch], inMsgs[kBatch];
    iovec outIov[kBatch], inIov[kBatch];
    std::memset(inMsgs, 0, sizeof inMsgs);
    for (int k = 0; k < kBatch; ++k) {
        inIov[k] = {in[k], sizeof in[k]};
        inMsgs[k].msg_hdr.msg_iov = &inIov[k];
        inMsgs[k].msg_hdr.msg_iovlen = 1;
    }
    double owed = 0;  // datagrams due each way and not yet sent
    uint64_t nextGame = 0;
    int64_t nextTick = start;
    pollfd polls[2] = {{sides[0].fd, POLLIN, 0}, {sides[1].fd, POLLIN, 0}};
    while (true) {
        int64_t now = NowNs();
        if (now >= end) break;
        if (cpuAtCount < 0 && now >= counted) cpuAtCount = ProcessCpuSeconds(pid);
        if (now >= nextTick) {
            // What is due this tick, each side, round the games in turn.
            owed += static_cast<double>(games) * rate * static_cast<double>(tick) / 1e9;
            nextTick += tick;
            while (owed >= 1.0) {
                const int count = static_cast<int>(std::min<double>(kBatch, owed));
                for (int side = 0; side < 2; ++side) {
                    const int64_t t = NowNs();
                    for (int k = 0; k < count; ++k) {
                        const size_t g = (nextGame + static_cast<uint64_t>(k)) % games;
                        const Peer& p = peers[g * 2 + static_cast<size_t>(side)];
                        uint8_t* d = out[k];
                        size_t n = bytes;
                        uint8_t* payload = d;
                        if (relayed) {
                            std::memcpy(d, kRoomMagic, 4);
                            d[4] = kRoomProtocolVersion;
                            d[5] = static_cast<uint8_t>(RoomKind::Relay);
                            std::memcpy(d + kRoomHeaderBytes, p.token, kRoomTokenBytes);
                            payload = d + kRoomRelayHeadBytes;
                            n += kRoomRelayHeadBytes;
                        }
                        std::memset(payload, 0x5A, bytes);
                        WriteLittleEndian<int64_t>(payload, t);
                        outIov[k] = {d, n};
                        std::memset(&outMsgs[k], 0, sizeof outMsgs[k]);
                        outMsgs[k].msg_hdr.msg_iov = &outIov[k];
                        outMsgs[k].msg_hdr.msg_iovlen = 1;
                        outMsgs[k].msg_hdr.msg_name =
                            const_cast<sockaddr_in*>(relayed ? &server : &sides[1 - side].self);
                        outMsgs[k].msg_hdr.msg_namelen = sizeof(sockaddr_in);
                    }
                    int done = 0;
                    while (done < count) {
                        const int n = sendmmsg(sides[side].fd, outMsgs + done, static_cast<unsigned>(count - done), 0);
                        if (n <= 0) break;  // a full buffer: the rest is lost, and counted so
                        done += n;
                    }
                    if (t >= counted) r.sent += static_cast<uint64_t>(count);
                }
                nextGame += static_cast<uint64_t>(count);
                owed -= count;
            }
        }
        now = NowNs();
        const int wait = nextTick > now ? static_cast<int>((nextTick - now + 999999) / 1000000) : 0;
        if (poll(polls, 2, wait) <= 0) continue;
        for (int side = 0; side < 2; ++side) {
            if ((polls[side].revents & POLLIN) == 0) continue;
            for (;;) {
                const int n = recvmmsg(sides[side].fd, inMsgs, kBatch, MSG_DONTWAIT, nullptr);
                if (n <= 0) break;
                const int64_t arrived = NowNs();
                for (int k = 0; k < n; ++k) {
                    const uint8_t* body = in[k];
                    const size_t size = inMsgs[k].msg_len;
                    if (relayed) {
                        RoomMessage m;
                        const char* why = nullptr;
                        if (!ParseRoomMessage(in[k], size, &m, &why) || m.kind != RoomKind::Relayed) continue;
                        body = m.payload;
                    } else if (size != bytes) {
                        continue;
                    }
                    const int64_t sentAt = ReadLittleEndian<int64_t>(body);
                    if (sentAt < counted) continue;
                    ++r.received;
                    latencies.push_back(arrived - sentAt);
                }
                if (n < kBatch) break;
            }
        }
    }
    const double cpuAtEnd = ProcessCpuSeconds(pid);
    // What is still on its way is let arrive, uncounted.
    usleep(100000);
    for (int side = 0; side < 2; ++side)
        while (recvmmsg(sides[side].fd, inMsgs, kBatch, MSG_DONTWAIT, nullptr) > 0) {}
    r.serverCpu = (cpuAtEnd - cpuAtCount) / (seconds - 1.0);
    r.p50 = Percentile(latencies, 0.50);
    r.p99 = Percentile(latencies, 0.99);
    r.max = latencies.empty() ? 0 : static_cast<double>(*std::max_element(latencies.begin(), latencies.end())) / 1000.0;
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    int port = 0, pid = 0, rate = 100;
    double seconds = 6;
    size_t bytes = 64;
    std::vector<int> games = {50, 100, 200, 400, 800};
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        const char* v = argv[i + 1];
        if (arg == "--port")
            port = std::atoi(v);
        else if (arg == "--pid")
            pid = std::atoi(v);
        else if (arg == "--seconds")
            seconds = std::atof(v);
        else if (arg == "--rate")
            rate = std::atoi(v);
        else if (arg == "--bytes")
            bytes = static_cast<size_t>(std::atol(v));
        else if (arg == "--games") {
            games.clear();
            std::stringstream list(v);
            for (std::string n; std::getline(list, n, ',');) games.push_back(std::atoi(n.c_str()));
        } else {
            std::fprintf(stderr, "voidcrawl-room-bench: unknown option %s\n", arg.c_str());
            return 2;
        }
    }
    if (port <= 0 || port > 65535 || pid <= 0 || rate <= 0 || seconds < 2 || bytes < 8 || bytes > kRoomMaxRelayBytes) {
        std::fprintf(stderr,
                     "usage: voidcrawl-room-bench --port P --pid PID [--games N,N,...] [--seconds S >= 2] [--rate R] "
                     "[--bytes 8..1200]\n");
        return 2;
    }
    const sockaddr_in server = Loopback(INADDR_LOOPBACK, static_cast<uint16_t>(port));
    std::printf(
        "| games | datagrams/s through the server | server CPU (of one core) | lost | direct p50 / p99 | "
        "relayed p50 / p99 | added p50 / p99 |\n|---|---|---|---|---|---|---|\n");
    for (size_t round = 0; round < games.size(); ++round) {
        const int n = games[round];
        std::vector<Peer> peers(static_cast<size_t>(n) * 2);
        bool ok = true;
        for (size_t i = 0; i < peers.size() && ok; ++i) {
            // Each game on a loopback address of its own, each round on new ones.
            const uint32_t ip = 0x7F010000u + static_cast<uint32_t>(round) * 8192u + static_cast<uint32_t>(i / 2) + 1;
            peers[i].fd = OpenSocket(ip, &peers[i].self);
            peers[i].other = static_cast<int>(i ^ 1);
            ok = peers[i].fd >= 0;
        }
        if (!ok || !MakeRooms(peers, server, static_cast<int>(round))) {
            std::fprintf(stderr, "voidcrawl-room-bench: %d games: the rooms could not be made (%s)\n", n,
                         ok ? "refused or no answer" : std::strerror(errno));
            return 1;
        }
        Side sides[2];
        for (int side = 0; side < 2; ++side) {
            sides[side].fd = OpenSocket(0x7F000001u, &sides[side].self);
            const int buffer = 4 << 20;
            setsockopt(sides[side].fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
            setsockopt(sides[side].fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
        }
        const Result direct = Play(peers, sides, server, false, rate, bytes, seconds, pid);
        MoveTo(peers, sides, server);
        const Result relayed = Play(peers, sides, server, true, rate, bytes, seconds, pid);
        const double lostDirect =
            direct.sent == 0 ? 0
                             : 100.0 * static_cast<double>(direct.sent - std::min(direct.sent, direct.received)) /
                                   static_cast<double>(direct.sent);
        (void)lostDirect;
        const double lost = relayed.sent == 0
                                ? 0
                                : 100.0 * static_cast<double>(relayed.sent - std::min(relayed.sent, relayed.received)) /
                                      static_cast<double>(relayed.sent);
        std::printf("| %d | %d | %.1f %% | %.2f %% | %.0f / %.0f µs | %.0f / %.0f µs | %.0f / %.0f µs |\n", n,
                    n * 2 * rate, relayed.serverCpu * 100.0, lost, direct.p50, direct.p99, relayed.p50, relayed.p99,
                    relayed.p50 - direct.p50, relayed.p99 - direct.p99);
        std::fflush(stdout);
        for (Peer& p : peers) {
            RoomMessage leave;
            leave.kind = RoomKind::Leave;
            std::memcpy(leave.token, p.token, kRoomTokenBytes);
            Send(p.fd, server, leave);
            close(p.fd);
        }
        for (Side& side : sides) close(side.fd);
    }
    return 0;
}
