#pragma once
// A small HTTP server on loopback for the world link's tests: real sockets,
// one connection at a time, each request answered as the test's script
// says (a status and body, a hang, bytes that are no HTTP at all).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class StubHttpServer {
public:
    struct Request {
        std::string method, path, contentType;
        std::string body;
    };
    struct Reply {
        explicit Reply(int status_ = 200, std::string body_ = "", std::string headers_ = "", int hangMs_ = 0,
                       std::string raw_ = "", size_t hugeBody_ = 0)
            : status(status_),
              body(std::move(body_)),
              headers(std::move(headers_)),
              hangMs(hangMs_),
              raw(std::move(raw_)),
              hugeBody(hugeBody_) {}
        int status = 200;
        std::string body;
        std::string headers;  // more header lines, each ending "\r\n"
        int hangMs = 0;       // waits this long before answering
        std::string raw;      // non-empty: these bytes instead of an answer
        size_t hugeBody = 0;  // non-zero: a body of that many bytes instead
    };
    using Script = std::function<Reply(const Request&)>;

    // Listens on 127.0.0.1:`port` (0: any free port).
    explicit StubHttpServer(Script script, int port = 0) : script_(std::move(script)) {
        listen_ = socket(AF_INET, SOCK_STREAM, 0);
        const int on = 1;
        setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listen_, 16) != 0) {
            close(listen_);
            listen_ = -1;
            return;
        }
        socklen_t size = sizeof address;
        getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~StubHttpServer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (listen_ >= 0) close(listen_);
    }
    StubHttpServer(const StubHttpServer&) = delete;
    StubHttpServer& operator=(const StubHttpServer&) = delete;

    bool Listening() const { return listen_ >= 0; }
    int Port() const { return port_; }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::vector<Request> Requests() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

    // A port nothing listens on now (one the system just gave and took back).
    static int FreePort() {
        const StubHttpServer probe([](const Request&) { return Reply(); });
        return probe.Port();
    }

private:
    void Serve() {
        while (!stop_) {
            pollfd wait{listen_, POLLIN, 0};
            if (poll(&wait, 1, 20) <= 0) continue;
            const int fd = accept(listen_, nullptr, nullptr);
            if (fd < 0) continue;
            Handle(fd);
            close(fd);
        }
    }

    // Reads until `done` says the bytes so far are whole; false on the end, a
    // stop or five seconds of nothing.
    bool ReadMore(int fd, std::string* bytes) {
        for (int waited = 0; waited < 5000 && !stop_; waited += 20) {
            pollfd wait{fd, POLLIN, 0};
            if (poll(&wait, 1, 20) <= 0) continue;
            char buffer[65536];
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) return false;
            bytes->append(buffer, static_cast<size_t>(n));
            return true;
        }
        return false;
    }

    static std::string Header(const std::string& head, const char* name) {
        std::string lower = head;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const std::string key = std::string("\r\n") + name + ":";
        const size_t at = lower.find(key);
        if (at == std::string::npos) return "";
        size_t begin = at + key.size();
        while (begin < head.size() && head[begin] == ' ') ++begin;
        return head.substr(begin, head.find("\r\n", begin) - begin);
    }

    void Handle(int fd) {
        std::string bytes;
        size_t headEnd = std::string::npos;
        while ((headEnd = bytes.find("\r\n\r\n")) == std::string::npos)
            if (bytes.size() > 65536 || !ReadMore(fd, &bytes)) return;
        const std::string head = bytes.substr(0, headEnd);
        Request request;
        const size_t space = head.find(' ');
        request.method = head.substr(0, space);
        request.path = head.substr(space + 1, head.find(' ', space + 1) - space - 1);
        request.contentType = Header(head, "content-type");
        const size_t length = std::strtoul(Header(head, "content-length").c_str(), nullptr, 10);
        while (bytes.size() < headEnd + 4 + length)
            if (!ReadMore(fd, &bytes)) return;
        request.body = bytes.substr(headEnd + 4, length);
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(request);
        }
        const Reply reply = script_(request);
        for (int waited = 0; waited < reply.hangMs && !stop_; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (stop_) return;
        if (!reply.raw.empty()) {
            Write(fd, reply.raw);
            return;
        }
        const std::string body = reply.hugeBody > 0 ? std::string(reply.hugeBody, '[') : reply.body;
        Write(fd, "HTTP/1.1 " + std::to_string(reply.status) + " Stub\r\nContent-Type: application/json\r\n" +
                      "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n" + reply.headers +
                      "\r\n");
        Write(fd, body);
    }

    void Write(int fd, const std::string& bytes) {
        size_t sent = 0;
        while (sent < bytes.size() && !stop_) {
            const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return;
            sent += static_cast<size_t>(n);
        }
    }

    Script script_;
    int listen_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<Request> requests_;
    std::thread thread_;
};
