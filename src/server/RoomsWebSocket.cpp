#include "RoomsWebSocket.h"

#include <boost/asio/ip/address.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <cstring>
#include <deque>
#include <exception>
#include <vector>

namespace server {
namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;

namespace {

constexpr auto kHandshakeTime = std::chrono::seconds(10);

}  // namespace

RoomAddress RoomAddressOfIp(const std::string& ip) {
    RoomAddress a;
    boost::system::error_code ec;
    const asio::ip::address address = asio::ip::make_address(ip, ec);
    if (ec) return a;
    if (address.is_v4() || (address.is_v6() && address.to_v6().is_v4_mapped())) {
        const auto v4 =
            address.is_v4() ? address.to_v4() : asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
        const auto bytes = v4.to_bytes();
        a.family = 4;
        std::memcpy(a.bytes, bytes.data(), bytes.size());
    } else {
        const auto bytes = address.to_v6().to_bytes();
        a.family = 6;
        std::memcpy(a.bytes, bytes.data(), bytes.size());
    }
    a.port = 1;
    return a;
}

class RoomsWebSockets::Socket : public std::enable_shared_from_this<Socket> {
public:
    Socket(RoomsWebSockets& hub, beast::tcp_stream stream, uint64_t id, const RoomAddress& limitAs)
        : hub_(hub),
          hubAlive_(hub.alive_),
          ws_(std::move(stream)),
          id_(id),
          address_(WebSocketAddress(id)),
          limitAs_(limitAs) {
        ++hub_.connections_;
    }
    // (A socket the event loop lets go of after the server has ended
    // touches nothing of it.)
    ~Socket() {
        if (hubAlive_.expired()) return;
        --hub_.connections_;
        hub_.sockets_.erase(id_);
        LeaveRoom();
    }

    // (The request is kept until the upgrade is answered.)
    void Start(http::request<http::string_body> request) {
        request_ = std::move(request);
        websocket::stream_base::timeout times{};
        times.handshake_timeout = kHandshakeTime;
        // A player is gone after this much silence; a page that still
        // stands answers the pings sent halfway.
        times.idle_timeout = std::chrono::seconds(kRoomSilenceSeconds);
        times.keep_alive_pings = true;
        ws_.set_option(times);
        ws_.read_message_max(kRoomMaxMessageBytes);
        ws_.binary(true);
        ws_.set_option(websocket::stream_base::decorator(
            [](websocket::response_type& res) { res.set(http::field::server, "voidcrawl-server"); }));
        ws_.async_accept(request_, [self = shared_from_this()](beast::error_code ec) {
            if (!ec) self->Read();
        });
    }

    // A message from Rooms: kept in order, written one at a time. The
    // token of a Room message is kept, so that a socket that closes leaves
    // its room at once.
    void Queue(const uint8_t* bytes, size_t size) {
        RoomMessage m;
        if (ParseRoomMessage(bytes, size, &m, nullptr) && m.kind == RoomKind::Room) {
            std::memcpy(token_, m.token, sizeof token_);
            haveToken_ = true;
        }
        if (waiting_.size() >= kMostWaiting) {
            ++hub_.dropped;
            return;
        }
        waiting_.emplace_back(bytes, bytes + size);
        if (!writing_) Write();
    }

private:
    void Read() {
        buffer_.clear();
        ws_.async_read(buffer_, [self = shared_from_this()](beast::error_code ec, size_t) { self->OnRead(ec); });
    }

    void OnRead(beast::error_code ec) {
        if (ec) return;  // closed, timed out or too long (Beast has said so with its close code)
        if (!ws_.got_binary()) {
            ws_.async_close(websocket::close_code::unknown_data, [self = shared_from_this()](beast::error_code) {});
            return;
        }
        const auto data = buffer_.cdata();
        try {
            hub_.rooms_.Take(static_cast<const uint8_t*>(data.data()), data.size(), address_, limitAs_, SteadySeconds(),
                             hub_.udp_.Sender());
            hub_.udp_.Flush();
        } catch (const std::exception&) {
            // (Nothing in Take throws but an allocation that failed: the message is lost.)
        }
        Read();
    }

    void Write() {
        writing_ = true;
        const std::vector<uint8_t>& next = waiting_.front();
        ws_.async_write(asio::buffer(next), [self = shared_from_this()](beast::error_code ec, size_t) {
            self->waiting_.pop_front();
            if (ec || self->waiting_.empty()) {
                self->writing_ = false;
                if (ec) self->waiting_.clear();
                return;
            }
            self->Write();
        });
    }

    void LeaveRoom() {
        if (!haveToken_) return;
        RoomMessage leave;
        leave.kind = RoomKind::Leave;
        std::memcpy(leave.token, token_, sizeof token_);
        uint8_t bytes[kRoomLeaveBytes];
        const size_t n = WriteRoomMessage(leave, bytes, sizeof bytes);
        try {
            if (n != 0) hub_.rooms_.Take(bytes, n, address_, limitAs_, SteadySeconds(), hub_.udp_.Sender());
        } catch (const std::exception&) {}
    }

    RoomsWebSockets& hub_;
    std::weak_ptr<bool> hubAlive_;
    websocket::stream<beast::tcp_stream> ws_;
    http::request<http::string_body> request_;
    uint64_t id_;
    RoomAddress address_;
    RoomAddress limitAs_;
    beast::flat_buffer buffer_;
    std::deque<std::vector<uint8_t>> waiting_;
    bool writing_ = false;
    uint8_t token_[kRoomTokenBytes] = {};
    bool haveToken_ = false;
};

RoomsWebSockets::RoomsWebSockets(Rooms& rooms, RoomsSocket& udp, int32_t& connections)
    : rooms_(rooms), udp_(udp), connections_(connections) {
    udp_.SetElsewhere([this](const RoomAddress& to, const uint8_t* bytes, size_t size) { Deliver(to, bytes, size); });
}

RoomsWebSockets::~RoomsWebSockets() { udp_.SetElsewhere(nullptr); }

void RoomsWebSockets::Accept(beast::tcp_stream stream, http::request<http::string_body> request,
                             const std::string& clientIp) {
    const uint64_t id = next_++;
    auto socket = std::make_shared<Socket>(*this, std::move(stream), id, RoomAddressOfIp(clientIp));
    sockets_[id] = socket;
    socket->Start(std::move(request));
}

void RoomsWebSockets::Deliver(const RoomAddress& to, const uint8_t* bytes, size_t size) {
    if (!IsWebSocketAddress(to)) return;
    uint64_t id = 0;
    for (int i = 0; i < 8; ++i) id = (id << 8) | to.bytes[8 + i];
    const auto found = sockets_.find(id);
    if (found == sockets_.end()) return;
    if (const auto socket = found->second.lock()) socket->Queue(bytes, size);
}

}  // namespace server
