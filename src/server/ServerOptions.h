#pragma once
#include <cstdint>
#include <string>

#include "net/RoomProtocol.h"

// voidcrawl-server's command line. Every limit a hostile client meets has
// an option and a default that suits one small machine.
namespace server {

struct ServerOptions {
    std::string host = "127.0.0.1";
    uint16_t port = 8080;          // 0: any free port (the line printed says which)
    std::string dataDir;           // the server's own folder; empty: voidcrawl-server-data
    std::string db;                // an SQLite file or a postgresql:// address; empty: world.sqlite in dataDir
    std::string webDir;            // the browser build's files; empty: none served
    std::string gameData;          // the game's data set; empty: "data" beside the program
    int32_t workers = 0;           // replays re-played at once; 0: one a core
    int32_t queue = 64;            // replays waiting for a worker before 503
    int32_t verifySeconds = 10;    // wall-clock time a worker has for one replay
    int32_t verifyMemoryMb = 256;  // address space a worker may take
    int32_t ratePerMinute = 30;    // replays one address may send a minute
    bool trustProxy = false;       // take the client's address from X-Forwarded-For
    int32_t maxConnections = 512;  // open connections before 503
    int32_t clientSeconds = 10;    // a request must arrive whole within this (slow clients are cut)
    int32_t udpPort = -1;          // the rooms' UDP port; -1: the HTTP port's number; 0: no rooms
    std::string udpHost;           // the rooms' address; empty: --listen's
    int32_t maxRooms = kRoomDefaultMaxRooms;  // rooms at once, then new ones are refused
    int32_t feedMemoryMb = 256;               // the rooms' live feeds, all together
    bool help = false;
    bool verifyWorker = false;  // this process is a worker: a replay on stdin, a verdict line on stdout
    std::string verifyCommand;  // the worker program instead of this one (for tests)
};

// Parses the command line (argv[0] is the program); false with the reason.
bool ParseServerArguments(int argc, const char* const* argv, ServerOptions* options, std::string* error);
std::string ServerUsage();

}  // namespace server
