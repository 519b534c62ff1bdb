#pragma once
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "server/Api.h"
#include "server/RateLimiter.h"
#include "server/ReadCache.h"
#include "server/ServerOptions.h"
#include "server/StaticFiles.h"
#include "server/Store.h"
#include "server/Verifier.h"
#include "server/VerifyQueue.h"

// The HTTP side: one acceptor and its connections on one event loop
// (Boost.Beast over Boost.Asio). Each connection reads a request within
// the client's time and size limits and hands it to Handle, which answers
// at once from the store (or the pages read a moment ago) or files, or
// after a worker has re-played the replay sent.
namespace server {

// A request as Handle sees it.
struct Request {
    std::string method;
    std::string target;
    std::string forwardedFor;  // X-Forwarded-For, as sent
    uint16_t peerPort = 0;     // the connection's, on the peer's side
    std::string body;
};

class RoomsWebSockets;
class Watchers;

class HttpServer {
public:
    HttpServer(boost::asio::io_context& io, const ServerOptions& options, Store& store, Verifier& verifier,
               const StaticFiles& files, ServerFacts facts);
    // Binds and listens; false with the reason.
    bool Listen(std::string* error);
    boost::asio::ip::tcp::endpoint Endpoint() const;
    void Start();
    // Answers one request from `address` (the peer's); `respond` is called
    // once, perhaps later, on the event loop. Never throws.
    void Handle(Request request, const std::string& address, const std::function<void(Answer)>& respond);

    // Open connections (the rooms' WebSockets too), for the limit.
    int32_t connections = 0;
    // Where a request to upgrade to the rooms' WebSocket goes (nullptr: no rooms).
    RoomsWebSockets* roomSockets = nullptr;
    // Where the live feeds' requests go (nullptr: no rooms, 404).
    Watchers* watchers = nullptr;
    const ServerOptions& Options() const { return options_; }

private:
    void Accept();
    void Submit(Request& request, const std::string& address, const std::function<void(Answer)>& respond);
    Answer FromVerdict(const std::string& id, const std::string& bytes, const Verdict& verdict);

    boost::asio::io_context& io_;
    ServerOptions options_;
    Store& store_;
    Verifier& verifier_;
    const StaticFiles& files_;
    ServerFacts facts_;
    RateLimiter rate_;
    ReadCache pages_;
    VerifyQueue queue_;
    boost::asio::ip::tcp::acceptor acceptor_;
};

// The client's address: the peer's, or with `trustProxy` the last one a
// proxy appended to X-Forwarded-For (when it is there).
std::string ClientAddress(const std::string& peer, const std::string& forwardedFor, bool trustProxy);

}  // namespace server
