#pragma once
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <cstdint>
#include <string>

#include "server/Rooms.h"

// The rooms on the server's UDP socket, on the one event loop beside the
// HTTP acceptor: every datagram read goes to Rooms::Take with its source
// and the time, what Rooms sends goes out at once (a datagram the socket
// cannot take now is dropped and counted: nothing waits), and Rooms::Sweep
// runs every second.
namespace server {

class RoomsSocket {
public:
    RoomsSocket(boost::asio::io_context& io, Rooms& rooms);
    // Binds `host`:`port`; false with the reason.
    bool Open(const std::string& host, uint16_t port, std::string* error);
    void Close();
    void Start();
    uint16_t Port() const;
    // Datagrams the socket would not take (its buffer full), dropped.
    uint64_t sendDropped = 0;

private:
    void Receive();
    void Handle(size_t size);
    void Tick();
    void SendTo(const RoomAddress& to, const uint8_t* bytes, size_t n);

    boost::asio::io_context& io_;
    Rooms& rooms_;
    boost::asio::ip::udp::socket socket_;
    boost::asio::ip::udp::endpoint from_;
    boost::asio::steady_timer timer_;
    Rooms::Send send_;
    bool v6_ = false;
    // One byte more than the longest message, so that a longer datagram is
    // seen as one (and refused) rather than cut to size.
    uint8_t buffer_[kRoomMaxMessageBytes + 1] = {};
};

}  // namespace server
