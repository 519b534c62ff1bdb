#include "ServerOptions.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace server {
namespace {

bool ReadInt(const char* text, long long low, long long high, long long* value) {
    if (text == nullptr || *text == '\0' || std::strlen(text) > 18) return false;
    for (const char* c = text; *c != '\0'; ++c)
        if (*c < '0' || *c > '9') return false;
    *value = std::strtoll(text, nullptr, 10);
    return *value >= low && *value <= high;
}

// "HOST:PORT", "[V6]:PORT" or ":PORT" (all addresses).
bool ReadListen(const std::string& text, std::string* hostOut, long long* portOut) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos) return false;
    std::string host = text.substr(0, colon);
    long long port = 0;
    if (!ReadInt(text.c_str() + colon + 1, 0, 65535, &port)) return false;
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    *hostOut = host.empty() ? "0.0.0.0" : host;
    *portOut = port;
    return true;
}

struct IntOption {
    const char* name;
    long long low, high;
    int32_t ServerOptions::*field;
};
constexpr IntOption kIntOptions[] = {
    {"--workers", 1, 256, &ServerOptions::workers},
    {"--queue", 0, 100000, &ServerOptions::queue},
    {"--verify-seconds", 1, 3600, &ServerOptions::verifySeconds},
    {"--verify-memory", 32, 65536, &ServerOptions::verifyMemoryMb},
    {"--max-connections", 1, 1000000, &ServerOptions::maxConnections},
    {"--client-seconds", 1, 3600, &ServerOptions::clientSeconds},
    {"--udp-port", 0, 65535, &ServerOptions::udpPort},
    {"--max-rooms", 1, 1000000, &ServerOptions::maxRooms},
    {"--feed-memory", 1, 65536, &ServerOptions::feedMemoryMb},
};

bool ReadRate(const std::string& text, ServerOptions* options) {
    std::string number = text;
    const std::string perMinute = "/min";
    if (number.size() > perMinute.size() &&
        number.compare(number.size() - perMinute.size(), perMinute.size(), perMinute) == 0)
        number.resize(number.size() - perMinute.size());
    long long rate = 0;
    if (!ReadInt(number.c_str(), 1, 1000000, &rate)) return false;
    options->ratePerMinute = static_cast<int32_t>(rate);
    return true;
}

}  // namespace

bool ParseServerArguments(int argc, const char* const* argv, ServerOptions* options, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto needs = [&](const char* what) {
            *error = arg + " needs " + what;
            return false;
        };
        bool known = false;
        for (const IntOption& o : kIntOptions) {
            if (arg != o.name) continue;
            long long n = 0;
            if (!ReadInt(value, o.low, o.high, &n))
                return needs(("a number from " + std::to_string(o.low) + " to " + std::to_string(o.high)).c_str());
            options->*o.field = static_cast<int32_t>(n);
            ++i;
            known = true;
        }
        if (known) continue;
        if (arg == "--help" || arg == "-h") {
            options->help = true;
        } else if (arg == "--trust-proxy") {
            options->trustProxy = true;
        } else if (arg == "--verify-worker") {
            options->verifyWorker = true;
        } else if (arg == "--listen") {
            long long port = 0;
            if (value == nullptr || !ReadListen(value, &options->host, &port)) return needs("ADDRESS:PORT");
            options->port = static_cast<uint16_t>(port);
            ++i;
        } else if (arg == "--udp-listen") {
            long long port = 0;
            if (value == nullptr || !ReadListen(value, &options->udpHost, &port) || port == 0)
                return needs("ADDRESS:PORT (a port from 1)");
            options->udpPort = static_cast<int32_t>(port);
            ++i;
        } else if (arg == "--rate") {
            if (value == nullptr || !ReadRate(value, options)) return needs("N/min (N from 1)");
            ++i;
        } else if (arg == "--data" || arg == "--db" || arg == "--web" || arg == "--game-data" ||
                   arg == "--verify-command") {
            if (value == nullptr || *value == '\0') return needs("a value");
            std::string* field = arg == "--data"        ? &options->dataDir
                                 : arg == "--db"        ? &options->db
                                 : arg == "--web"       ? &options->webDir
                                 : arg == "--game-data" ? &options->gameData
                                                        : &options->verifyCommand;
            *field = value;
            ++i;
        } else {
            *error = "unknown option '" + arg + "'";
            return false;
        }
    }
    return true;
}

std::string ServerUsage() {
    return "usage: voidcrawl-server [--listen ADDR:PORT] [--data DIR] [--db PATH|postgresql://...]\n"
           "                        [--web DIR] [--game-data DIR] [--workers N] [--queue N]\n"
           "                        [--verify-seconds S] [--verify-memory MB] [--rate N/min]\n"
           "                        [--trust-proxy] [--max-connections N] [--client-seconds S]\n"
           "                        [--udp-port N | --udp-listen ADDR:PORT] [--max-rooms N]\n"
           "                        [--feed-memory MB]\n"
           "\n"
           "The world high-score table: replays sent to POST /api/v1/replays are re-played\n"
           "and only then recorded, each player's result as the re-play reached it.\n"
           "\n"
           "  --listen ADDR:PORT   where to listen (default 127.0.0.1:8080; port 0: any free\n"
           "                       port). Prints \"voidcrawl-server: listening on\n"
           "                       http://HOST:PORT\" when ready\n"
           "  --data DIR           the server's folder (default ./voidcrawl-server-data): the\n"
           "                       SQLite file world.sqlite unless --db names another store\n"
           "  --db WHERE           an SQLite file, or a postgresql:// address\n"
           "  --web DIR            serve the browser build's files from DIR (index.html for /)\n"
           "  --game-data DIR      the game's data set replays are played on (default: data\n"
           "                       beside this program)\n"
           "  --workers N          replays re-played at once, each in a process of its own\n"
           "                       (default: one a core)\n"
           "  --queue N            replays waiting for a worker; more get 503 (default 64)\n"
           "  --verify-seconds S   a worker's time for one replay, then it is killed and the\n"
           "                       replay refused (default 10)\n"
           "  --verify-memory MB   a worker's address space (default 256)\n"
           "  --rate N/min         replays one address may send a minute (default 30); more\n"
           "                       get 429\n"
           "  --trust-proxy        the client's address is the last one in X-Forwarded-For\n"
           "                       (only behind a reverse proxy that sets it)\n"
           "  --max-connections N  open connections; more get 503 (default 512)\n"
           "  --client-seconds S   a request must arrive whole within S seconds, and an idle\n"
           "                       connection is closed after them (default 10)\n"
           "  --udp-port N         the rooms where two games meet to play online, on UDP\n"
           "                       (default: the HTTP port's number; 0: no rooms). Prints\n"
           "                       \"voidcrawl-server: rooms on udp port N\" when ready\n"
           "  --udp-listen ADDR:PORT  the rooms on another address than --listen's (the\n"
           "                       public one, where a TLS proxy holds the HTTP port)\n"
           "  --max-rooms N        rooms at once; more are refused (default 10000)\n"
           "  --feed-memory MB     the live feeds of the games in the rooms, for watchers\n"
           "                       (GET /api/v1/live), all together (default 256)\n";
}

}  // namespace server
