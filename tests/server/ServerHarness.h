#pragma once
// The real voidcrawl-server, started as a process of its own on a free
// loopback port with a fresh data folder (so a fresh SQLite file), and a
// small HTTP client over real sockets. The replays it is sent are the
// runner's autopilot games.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <boost/beast/http.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "support/Files.h"

namespace server_test {

namespace fs = std::filesystem;

struct Reply {
    int status = 0;  // 0: no answer (the connection closed, or timed out)
    std::string body;
    std::map<std::string, std::string> headers;  // names in lower case
    bool closed = false;                         // the server said Connection: close
    std::string Header(const std::string& name) const {
        const auto it = headers.find(name);
        return it == headers.end() ? std::string() : it->second;
    }
};

// A connected TCP socket to 127.0.0.1:port, or -1.
inline int Connect(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Sends everything it can (a server that stops reading ends it).
inline bool SendAll(int fd, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Reads until the server closes, or `seconds` pass; what was read.
inline std::string ReadToClose(int fd, double seconds) {
    std::string got;
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    char chunk[65536];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) break;
        got.append(chunk, static_cast<size_t>(n));
    }
    return got;
}

inline Reply ParseReply(const std::string& raw) {
    namespace http = boost::beast::http;
    Reply reply;
    http::response_parser<http::string_body> parser;
    parser.body_limit(64 * 1024 * 1024);
    parser.eager(true);
    boost::beast::error_code ec;
    parser.put(boost::asio::buffer(raw), ec);
    if (!parser.is_header_done()) return reply;
    if (!parser.is_done()) parser.put_eof(ec);
    const auto& res = parser.get();
    reply.status = static_cast<int>(res.result_int());
    reply.body = res.body();
    for (const auto& field : res) {
        std::string name(field.name_string());
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        reply.headers[name] = std::string(field.value());
    }
    reply.closed = !res.keep_alive();
    return reply;
}

// One request on a connection of its own (Connection: close).
inline Reply Call(uint16_t port, const std::string& method, const std::string& target, const std::string& body = "",
                  const std::string& extraHeaders = "", double seconds = 60) {
    const int fd = Connect(port);
    if (fd < 0) return {};
    std::string request =
        method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + extraHeaders;
    if (method == "POST")
        request += "Content-Type: application/octet-stream\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
    request += "\r\n" + body;
    SendAll(fd, request);
    const std::string raw = ReadToClose(fd, seconds);
    close(fd);
    return ParseReply(raw);
}

inline Reply Post(uint16_t port, const std::string& body, const std::string& extraHeaders = "") {
    return Call(port, "POST", "/api/v1/replays", body, extraHeaders);
}

// The server process.
class ServerProcess {
public:
    ~ServerProcess() { Kill(); }

    // Starts it on port 0 with `data` as its folder; true once it says where
    // it listens (127.0.0.1, or [::] when `extra` says --listen [::]:0).
    bool Start(const fs::path& data, const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args = {VC_SERVER_BIN, "--listen",    "127.0.0.1:0", "--data",
                                         data.string(), "--game-data", VC_DATA_DIR};
        args.insert(args.end(), extra.begin(), extra.end());
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) return false;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            std::vector<char*> argv;
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
        // The line that says where it listens, within 20 s.
        std::string said;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (said.find('\n') == std::string::npos && std::chrono::steady_clock::now() < until) {
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            char c[256];
            const ssize_t n = read(out_, c, sizeof c);
            if (n <= 0) break;
            said.append(c, static_cast<size_t>(n));
        }
        std::smatch m;
        if (!std::regex_search(
                said, m, std::regex("voidcrawl-server: listening on http://(?:127\\.0\\.0\\.1|\\[::\\]):(\\d+)\n"))) {
            ADD_FAILURE() << "the server did not say where it listens: '" << said << "'";
            return false;
        }
        port_ = static_cast<uint16_t>(std::stoi(m[1]));
        return port_ != 0;
    }
    uint16_t Port() const { return port_; }
    pid_t Pid() const { return pid_; }
    // kill -9, then reaped.
    void Kill() { End(SIGKILL); }
    // SIGTERM: its exit status.
    int Stop() { return End(SIGTERM); }

private:
    int End(int signal) {
        int status = -1;
        if (pid_ > 0) {
            kill(pid_, signal);
            waitpid(pid_, &status, 0);
            pid_ = -1;
        }
        if (out_ >= 0) close(out_);
        out_ = -1;
        return status;
    }
    pid_t pid_ = -1;
    int out_ = -1;
    uint16_t port_ = 0;
};

// A replay the runner's autopilot played and saved, with the results its
// --verify printed (name, score), in player order.
struct MadeReplay {
    std::string bytes;
    std::vector<std::pair<std::string, int>> results;
    int difficulty = 0;
};

// Plays `args` (autopilot options) in the runner with `user` as its user
// folder; the replay it saved, verified by the runner.
inline MadeReplay MakeReplay(const fs::path& user, const std::string& args) {
    MadeReplay made;
    fs::remove_all(user);
    const fs::path out = user.string() + ".out";
    const std::string run = std::string("'") + VC_RUNNER + "' " + args + " --data '" + VC_DATA_DIR + "' --user-dir '" +
                            user.string() + "' > '" + out.string() + "' 2>&1";
    if (std::system(run.c_str()) != 0) {
        ADD_FAILURE() << run << "\n" << ReadText(out);
        return made;
    }
    std::smatch m;
    const std::string said = ReadText(out);
    if (!std::regex_search(said, m, std::regex("replay: saved (\\S+) \\("))) {
        ADD_FAILURE() << "no replay saved: " << said;
        return made;
    }
    const fs::path replay = m[1].str();
    made.bytes = ReadText(replay);
    const std::string verify = std::string("'") + VC_RUNNER + "' --verify --replay '" + replay.string() + "' --data '" +
                               VC_DATA_DIR + "' > '" + out.string() + "' 2>&1";
    if (std::system(verify.c_str()) != 0) {
        ADD_FAILURE() << "the runner does not verify its own replay: " << ReadText(out);
        return made;
    }
    const std::string verdict = ReadText(out);
    const std::regex line("result: player \\d \"([^\"]*)\" score (\\d+) length \\d+ level \\d+ difficulty (\\w+)");
    for (std::sregex_iterator it(verdict.begin(), verdict.end(), line), end; it != end; ++it) {
        made.results.emplace_back((*it)[1], std::stoi((*it)[2]));
        made.difficulty = (*it)[3] == "easy" ? 0 : (*it)[3] == "medium" ? 1 : 2;
    }
    return made;
}

// The runner's words for a replay file it refuses (stderr, after the file's
// name), or its verdict line (stdout, after "replay: ").
inline std::string RunnerWords(const fs::path& file) {
    const fs::path out = file.string() + ".said";
    const std::string verify = std::string("'") + VC_RUNNER + "' --verify --replay '" + file.string() + "' --data '" +
                               VC_DATA_DIR + "' > '" + out.string() + "' 2>&1";
    (void)std::system(verify.c_str());
    const std::string said = ReadText(out);
    std::smatch m;
    if (std::regex_search(said, m, std::regex("cannot play the replay '[^']*': ([^\n]*)\n"))) return m[1];
    if (std::regex_search(said, m, std::regex("replay: ([^\n]*)\n"))) return m[1];
    return said;
}

}  // namespace server_test
