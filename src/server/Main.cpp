// voidcrawl-server: the world high-score table. See docs/server.md.
#include <signal.h>
#include <sodium.h>
#include <unistd.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <thread>

#include "app/Replay.h"
#include "server/HttpServer.h"
#include "server/Rooms.h"
#include "server/RoomsSocket.h"
#include "server/RoomsWebSocket.h"
#include "server/ServerOptions.h"
#include "server/StaticFiles.h"
#include "server/Store.h"
#include "server/Verifier.h"
#include "server/Watchers.h"

namespace {

namespace fs = std::filesystem;

std::string ThisProgram() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : self.string();
}

std::string Absolute(const std::string& path) {
    std::error_code ec;
    const fs::path p = fs::absolute(path, ec);
    return ec ? path : p.lexically_normal().string();
}

// The data set's hash as replays carry it, read in its folder.
bool DataSetHash(const std::string& gameData, std::string* hash, std::string* error) {
    const std::string here = fs::current_path().string();
    if (chdir(gameData.c_str()) != 0) {
        *error = "cannot enter the game's data folder '" + gameData + "': " + std::strerror(errno);
        return false;
    }
    const uint64_t value = PlayDataHash();
    if (chdir(here.c_str()) != 0 || value == 0) {
        *error = "cannot read the game's levels in '" + gameData + "'";
        return false;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    *hash = text;
    return true;
}

// Every path made absolute, the defaults filled in, the folders made.
bool Settle(server::ServerOptions* o, std::string* error) {
    const std::string self = ThisProgram();
    if (o->gameData.empty()) o->gameData = (fs::path(self).parent_path() / "data").string();
    o->gameData = Absolute(o->gameData);
    if (o->dataDir.empty()) o->dataDir = "voidcrawl-server-data";
    o->dataDir = Absolute(o->dataDir);
    const bool postgres = o->db.rfind("postgresql://", 0) == 0 || o->db.rfind("postgres://", 0) == 0;
    if (o->db.empty()) o->db = (fs::path(o->dataDir) / "world.sqlite").string();
    if (!postgres) {
        o->db = Absolute(o->db);
        std::error_code ec;
        fs::create_directories(fs::path(o->db).parent_path(), ec);
        if (ec) {
            *error = "cannot make the folder of '" + o->db + "': " + ec.message();
            return false;
        }
    }
    if (o->workers == 0) o->workers = static_cast<int32_t>(std::max(1u, std::thread::hardware_concurrency()));
    if (o->verifyCommand.empty()) o->verifyCommand = self;
    return true;
}

// The HTTP acceptor, and the rooms' UDP socket on the same addresses: at
// the HTTP port's number unless --udp-port names another (0: none). When
// the HTTP port was left to the system and its number is taken for UDP,
// another is tried.
bool Listen(const server::ServerOptions& options, server::HttpServer& http, server::RoomsSocket& rooms,
            std::string* error) {
    constexpr int kTries = 16;
    for (int attempt = 0;; ++attempt) {
        if (!http.Listen(error)) return false;
        if (options.udpPort == 0) return true;
        const uint16_t port = options.udpPort > 0 ? static_cast<uint16_t>(options.udpPort) : http.Endpoint().port();
        if (rooms.Open(options.udpHost.empty() ? options.host : options.udpHost, port, error)) return true;
        if (options.port != 0 || options.udpPort > 0 || attempt + 1 == kTries) return false;
    }
}

int Serve(server::ServerOptions options) {
    std::string error, dataset;
    if (!Settle(&options, &error) || !DataSetHash(options.gameData, &dataset, &error)) {
        std::fprintf(stderr, "voidcrawl-server: %s\n", error.c_str());
        return 1;
    }
    std::unique_ptr<server::Store> store = server::OpenStore(options.db, &error);
    if (!store) {
        std::fprintf(stderr, "voidcrawl-server: cannot open the store '%s': %s\n", options.db.c_str(), error.c_str());
        return 1;
    }
    server::StaticFiles files;
    if (!files.Open(options.webDir, &error)) {
        std::fprintf(stderr, "voidcrawl-server: %s\n", error.c_str());
        return 1;
    }
    boost::asio::io_context io(1);
    server::Verifier verifier(io, {options.verifyCommand, "--verify-worker", "--game-data", options.gameData},
                              {options.verifySeconds, options.verifyMemoryMb});
    server::RoomsLimits limits;
    limits.maxRooms = static_cast<uint32_t>(options.maxRooms);
    server::Rooms rooms(limits, [](uint8_t* out, size_t n) { randombytes_buf(out, n); });
    server::RoomsSocket roomsSocket(io, rooms);
    server::Feeds feeds(static_cast<uint64_t>(options.feedMemoryMb) * 1024 * 1024);
    server::Watchers watchers(io, feeds);
    const bool withRooms = options.udpPort != 0;
    server::ServerFacts facts{VC_VERSION, dataset, {}};
    if (withRooms) facts.rooms = [&rooms] { return rooms.Counts(); };
    server::HttpServer http(io, options, *store, verifier, files, facts);
    server::RoomsWebSockets roomSockets(rooms, roomsSocket, http.connections);
    if (withRooms) {
        http.roomSockets = &roomSockets;
        rooms.SetFeeds(&feeds);
        http.watchers = &watchers;
    }
    if (!Listen(options, http, roomsSocket, &error)) {
        std::fprintf(stderr, "voidcrawl-server: %s\n", error.c_str());
        return 1;
    }
    http.Start();
    if (withRooms) roomsSocket.Start();
    boost::asio::signal_set stop(io, SIGINT, SIGTERM);
    stop.async_wait([&io](const boost::system::error_code&, int) { io.stop(); });
    const auto at = http.Endpoint();
    const std::string host = at.address().is_v6() ? "[" + at.address().to_string() + "]" : at.address().to_string();
    std::printf("voidcrawl-server: listening on http://%s:%u\n", host.c_str(), static_cast<unsigned>(at.port()));
    if (withRooms) std::printf("voidcrawl-server: rooms on udp port %u\n", static_cast<unsigned>(roomsSocket.Port()));
    std::fflush(stdout);
    io.run();
    std::fprintf(stderr, "voidcrawl-server: stopped (workers' peak memory %ld kB)\n", verifier.PeakWorkerKb());
    return 0;
}

int Main(int argc, char** argv) {
    server::ServerOptions options;
    std::string error;
    if (!server::ParseServerArguments(argc, argv, &options, &error)) {
        std::fprintf(stderr, "voidcrawl-server: %s\n%s", error.c_str(), server::ServerUsage().c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(server::ServerUsage().c_str(), stdout);
        return 0;
    }
    if (options.verifyWorker) return server::RunVerifyWorker(Absolute(options.gameData));
    signal(SIGPIPE, SIG_IGN);
    if (sodium_init() < 0) {
        std::fprintf(stderr, "voidcrawl-server: libsodium cannot start\n");
        return 1;
    }
    return Serve(options);
}

}  // namespace

int main(int argc, char** argv) {
    // (Nothing is meant to throw this far: a handler catches its own.)
    try {
        return Main(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "voidcrawl-server: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "voidcrawl-server: an unknown failure\n");
    }
    return 1;
}
