#pragma once
#include <boost/asio/io_context.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "server/Rooms.h"
#include "server/RoomsSocket.h"

// The rooms for the browser, which cannot send UDP: a WebSocket at
// kRoomsSocketPath (upgraded from the HTTP server's connection), each
// binary message one room message, the same bytes a game's datagram to or
// from the UDP socket carries. Each socket plays under a made-up address of
// its own (WebSocketAddress), so that Rooms treats it as any player: what
// Rooms sends to such an address goes out on its socket, what it sends to
// any other on the UDP socket. A socket's asks count against its client's
// IP address. A text message, one too long or a socket that falls silent
// is closed; what waits to be written is bounded (the rest is dropped, as a
// full UDP buffer drops it). On the one event loop, beside the HTTP.
namespace server {

inline constexpr const char kRoomsSocketPath[] = "/api/v1/rooms/socket";

class RoomsWebSockets {
public:
    // Messages waiting to be written to one socket; more are dropped.
    static constexpr size_t kMostWaiting = 256;

    // `connections` counts the sockets open, with the HTTP connections.
    RoomsWebSockets(Rooms& rooms, RoomsSocket& udp, int32_t& connections);
    ~RoomsWebSockets();
    RoomsWebSockets(const RoomsWebSockets&) = delete;
    RoomsWebSockets& operator=(const RoomsWebSockets&) = delete;

    // Takes an HTTP connection whose request asks for the upgrade, from a
    // client at `clientIp`.
    void Accept(boost::beast::tcp_stream stream, boost::beast::http::request<boost::beast::http::string_body> request,
                const std::string& clientIp);
    // A message for the socket at `to` (a WebSocketAddress); nothing when it has gone.
    void Deliver(const RoomAddress& to, const uint8_t* bytes, size_t size);

    size_t Open() const { return sockets_.size(); }
    uint64_t dropped = 0;  // messages a socket's queue had no room for

    class Socket;

private:
    friend class Socket;
    Rooms& rooms_;
    RoomsSocket& udp_;
    int32_t& connections_;
    uint64_t next_ = 1;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::unordered_map<uint64_t, std::weak_ptr<Socket>> sockets_;
};

// The address a client's IP address text (as Beast prints it) asks as;
// family 0 when it is none.
RoomAddress RoomAddressOfIp(const std::string& ip);

}  // namespace server
