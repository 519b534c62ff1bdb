#include "HttpServer.h"

#include <array>
#include <boost/asio/ip/address.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket/rfc6455.hpp>
#include <chrono>
#include <cstdint>
#include <exception>
#include <limits>
#include <optional>

#include "io/ReplayFile.h"
#include "server/RoomsWebSocket.h"
#include "server/Watchers.h"

namespace server {
namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

constexpr size_t kHeaderLimit = 8 * 1024;
constexpr auto kWriteTime = std::chrono::seconds(30);
constexpr auto kLingerTime = std::chrono::seconds(2);
constexpr size_t kMostDropped = 64 * 1024 * 1024;
constexpr int32_t kQueueRetrySeconds = 5;
constexpr int32_t kConnectionsRetrySeconds = 5;

std::string TooLarge(unsigned long long bytes) {
    return "the replay is too large (" + std::to_string(bytes) + " bytes; at most " +
           std::to_string(kReplayFileCapacity) + ")";
}

// One connection: requests read one after another (keep-alive), each
// within the client's time, answered in order.
class Session : public std::enable_shared_from_this<Session> {
public:
    Session(tcp::socket socket, HttpServer& server) : stream_(std::move(socket)), server_(server) {
        ++server_.connections;
        boost::system::error_code ec;
        const tcp::endpoint peer = stream_.socket().remote_endpoint(ec);
        peer_ = ec ? std::string("unknown") : peer.address().to_string();
        peerPort_ = ec ? 0 : peer.port();
    }
    ~Session() { --server_.connections; }

    void Start() { ReadHeader(); }
    // Too many connections: says so and closes.
    void Refuse() {
        Write(BusyAnswer(503, "the server has too many connections; try again soon", kConnectionsRetrySeconds), true);
    }

private:
    void ReadHeader() {
        parser_.emplace();
        parser_->header_limit(kHeaderLimit);
        // The body's limit is set once the header is read, so that a length
        // too large is answered with that length.
        parser_->body_limit(std::numeric_limits<std::uint64_t>::max());
        stream_.expires_after(std::chrono::seconds(server_.Options().clientSeconds));
        http::async_read_header(stream_, buffer_, *parser_,
                                [self = shared_from_this()](beast::error_code ec, size_t) { self->OnHeader(ec); });
    }

    void OnHeader(beast::error_code ec) {
        if (ec) return ReadFailed(ec);
        const auto length = parser_->content_length();
        if (length && *length > kReplayFileCapacity) {
            const bool replay = parser_->get().method() == http::verb::post;
            return Write(ErrorAnswer(replay ? 422 : 413, replay ? TooLarge(*length) : "the request is too large"),
                         true);
        }
        parser_->body_limit(kReplayFileCapacity);
        http::async_read(stream_, buffer_, *parser_,
                         [self = shared_from_this()](beast::error_code ec, size_t) { self->OnRequest(ec); });
    }

    void ReadFailed(beast::error_code ec) {
        if (ec == http::error::body_limit)
            return Write(ErrorAnswer(422, "the replay is too large (more than " + std::to_string(kReplayFileCapacity) +
                                              " bytes; at most " + std::to_string(kReplayFileCapacity) + ")"),
                         true);
        if (ec == http::error::header_limit) return Write(ErrorAnswer(431, "the request's header is too large"), true);
        // A client that is gone, or too slow, is let go without a word;
        // one that sends what is not HTTP is told so.
        if (ec == beast::error::timeout || ec == http::error::end_of_stream || ec == asio::error::eof ||
            ec == asio::error::connection_reset || ec == http::error::partial_message) {
            Close();
            return;
        }
        Write(ErrorAnswer(400, "that is not an HTTP request this server reads"), true);
    }

    void OnRequest(beast::error_code ec) {
        if (ec) return ReadFailed(ec);
        http::request<http::string_body> req = parser_->release();
        keepAlive_ = req.keep_alive();
        if (beast::websocket::is_upgrade(req)) return Upgrade(std::move(req));
        Request request;
        request.method = std::string(req.method_string());
        request.target = std::string(req.target());
        const auto xff = req.find("X-Forwarded-For");
        if (xff != req.end()) request.forwardedFor = std::string(xff->value());
        request.peerPort = peerPort_;
        request.body = std::move(req.body());
        // No time limit while the answer is being made (a worker has its own).
        stream_.expires_never();
        server_.Handle(std::move(request), peer_,
                       [self = shared_from_this()](Answer answer) { self->Write(std::move(answer), false); });
    }

    // A WebSocket: the rooms' socket is handed over with its connection;
    // any other is refused.
    void Upgrade(http::request<http::string_body> req) {
        if (server_.roomSockets == nullptr || req.target() != kRoomsSocketPath)
            return Write(ErrorAnswer(404, "no WebSocket is served there"), true);
        const auto xff = req.find("X-Forwarded-For");
        const std::string client = ClientAddress(peer_, xff != req.end() ? std::string(xff->value()) : std::string(),
                                                 server_.Options().trustProxy);
        stream_.expires_never();
        server_.roomSockets->Accept(std::move(stream_), std::move(req), client);
    }

    void Write(Answer answer, bool close) {
        close = close || answer.close || !keepAlive_;
        auto res = std::make_shared<http::response<http::string_body>>();
        res->result(static_cast<http::status>(answer.status));
        res->version(11);
        res->set(http::field::server, "voidcrawl-server");
        res->set(http::field::content_type, answer.contentType);
        res->set("X-Content-Type-Options", "nosniff");
        res->set(http::field::cache_control, "no-store");
        for (const auto& [name, value] : answer.headers) res->set(name, value);
        res->body() = std::move(answer.body);
        res->keep_alive(!close);
        res->prepare_payload();
        stream_.expires_after(kWriteTime);
        http::async_write(stream_, *res, [self = shared_from_this(), res, close](beast::error_code ec, size_t) {
            if (ec) return self->Close();
            if (close) return self->Linger();
            self->ReadHeader();
        });
    }

    // After an answer that ends the connection: no more is sent, and what
    // the client still sends (the rest of a body too large) is read and
    // dropped for a little while, so that closing does not reset the
    // connection before the client has read the answer.
    void Linger() {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        stream_.expires_after(kLingerTime);
        ReadAndDrop();
    }
    void ReadAndDrop() {
        stream_.async_read_some(asio::buffer(drop_), [self = shared_from_this()](beast::error_code ec, size_t n) {
            self->dropped_ += n;
            if (ec || self->dropped_ > kMostDropped) return self->Close();
            self->ReadAndDrop();
        });
    }

    void Close() {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
        stream_.close();
    }

    beast::tcp_stream stream_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    HttpServer& server_;
    std::string peer_;
    uint16_t peerPort_ = 0;
    bool keepAlive_ = true;
    std::array<char, 16384> drop_{};
    size_t dropped_ = 0;
};

}  // namespace

std::string ClientAddress(const std::string& peer, const std::string& forwardedFor, bool trustProxy) {
    if (!trustProxy || forwardedFor.empty()) return peer;
    const size_t comma = forwardedFor.rfind(',');
    std::string last = comma == std::string::npos ? forwardedFor : forwardedFor.substr(comma + 1);
    const size_t start = last.find_first_not_of(" \t");
    const size_t end = last.find_last_not_of(" \t");
    if (start == std::string::npos) return peer;
    last = last.substr(start, end - start + 1);
    boost::system::error_code ec;
    const asio::ip::address address = asio::ip::make_address(last, ec);
    return ec ? peer : address.to_string();
}

HttpServer::HttpServer(asio::io_context& io, const ServerOptions& options, Store& store, Verifier& verifier,
                       const StaticFiles& files, ServerFacts facts)
    : io_(io),
      options_(options),
      store_(store),
      verifier_(verifier),
      files_(files),
      facts_(std::move(facts)),
      rate_(options.ratePerMinute),
      queue_(options.workers, options.queue),
      acceptor_(io) {}

bool HttpServer::Listen(std::string* error) {
    boost::system::error_code ec;
    if (acceptor_.is_open()) acceptor_.close(ec);
    const asio::ip::address address = asio::ip::make_address(options_.host, ec);
    if (ec) {
        *error = "'" + options_.host + "' is not an IP address";
        return false;
    }
    const tcp::endpoint endpoint(address, options_.port);
    acceptor_.open(endpoint.protocol(), ec);
    if (!ec) acceptor_.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec) acceptor_.bind(endpoint, ec);
    if (!ec) acceptor_.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        *error = "cannot listen on " + options_.host + ":" + std::to_string(options_.port) + ": " + ec.message();
        return false;
    }
    return true;
}

tcp::endpoint HttpServer::Endpoint() const {
    boost::system::error_code ec;
    return acceptor_.local_endpoint(ec);
}

void HttpServer::Start() { Accept(); }

void HttpServer::Accept() {
    acceptor_.async_accept([this](beast::error_code ec, tcp::socket socket) {
        if (!ec) {
            auto session = std::make_shared<Session>(std::move(socket), *this);
            if (connections > options_.maxConnections)
                session->Refuse();
            else
                session->Start();
        }
        if (acceptor_.is_open()) Accept();
    });
}

void HttpServer::Handle(Request request, const std::string& peer, const std::function<void(Answer)>& respond) {
    try {
        const Route route = ParseRoute(request.method, request.target);
        if (route.kind == RouteKind::Static) return respond(files_.Serve(route.path));
        if (route.kind == RouteKind::PostReplay)
            return Submit(request, ClientAddress(peer, request.forwardedFor, options_.trustProxy), respond);
        if ((route.kind == RouteKind::Live || route.kind == RouteKind::LiveFeed) && watchers != nullptr) {
            const std::string client = ClientAddress(peer, request.forwardedFor, options_.trustProxy);
            // A watcher is its connection: the client's address and the port it came from.
            return watchers->Handle(route, client, client + " " + peer + ":" + std::to_string(request.peerPort),
                                    respond);
        }
        const std::string key = ReadCache::KeyOf(route);
        const double now = SteadySeconds();
        if (const Answer* kept = key.empty() ? nullptr : pages_.Find(key, now)) return respond(*kept);
        Answer answer = AnswerRead(route, store_, facts_);
        pages_.Keep(key, answer, now);
        respond(std::move(answer));
    } catch (const std::exception& e) {
        respond(ErrorAnswer(500, std::string("the server failed: ") + e.what()));
    }
}

void HttpServer::Submit(Request& request, const std::string& address, const std::function<void(Answer)>& respond) {
    int32_t retryAfter = 0;
    if (!rate_.Take(address, SteadySeconds(), &retryAfter))
        return respond(BusyAnswer(429, "too many replays from this address; wait " + std::to_string(retryAfter) + " s",
                                  retryAfter));
    const std::string id = ReplayId(request.body);
    Answer known;
    if (AnswerKnown(store_, id, &known) || known.status == 503) return respond(known);
    auto bytes = std::make_shared<const std::string>(std::move(request.body));
    const bool admitted = queue_.Admit([this, bytes, id, respond] {
        verifier_.Run(bytes, [this, bytes, id, respond](const Verdict& verdict) {
            Answer answer;
            try {
                answer = FromVerdict(id, *bytes, verdict);
            } catch (const std::exception& e) {
                answer = ErrorAnswer(500, std::string("the server failed: ") + e.what());
            }
            respond(std::move(answer));
            queue_.Done();
        });
    });
    if (!admitted)
        respond(BusyAnswer(503, "the server is busy re-playing other replays; try again soon", kQueueRetrySeconds));
}

Answer HttpServer::FromVerdict(const std::string& id, const std::string& bytes, const Verdict& verdict) {
    switch (verdict.kind) {
    case Verdict::Kind::Verified: {
        Answer answer = RecordVerified(store_, id, bytes, verdict, std::time(nullptr));
        if (answer.status == 201) pages_.Forget();
        return answer;
    }
    case Verdict::Kind::Refused:
        return ErrorAnswer(422, verdict.words);
    case Verdict::Kind::Unavailable:
        break;
    }
    return BusyAnswer(503, verdict.words, kStoreRetrySeconds);
}

}  // namespace server
