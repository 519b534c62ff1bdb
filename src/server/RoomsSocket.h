#pragma once
#include <sys/socket.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <cstdint>
#include <string>
#include <vector>

#include "server/Rooms.h"

// The rooms on the server's UDP socket, on the one event loop beside the
// HTTP acceptor: when the socket is readable, the datagrams waiting are
// read in batches (recvmmsg) and each goes to Rooms::Take with its source
// and the time; what Rooms sends is gathered and goes out in one call
// (sendmmsg) after each batch; a datagram the socket cannot take now is
// dropped and counted (nothing waits). Rooms::Sweep runs every second.
namespace server {

class RoomsSocket {
public:
    // Datagrams read (and sent) in one call.
    static constexpr int kBatch = 64;

    RoomsSocket(boost::asio::io_context& io, Rooms& rooms);
    // Binds `host`:`port`; false with the reason.
    bool Open(const std::string& host, uint16_t port, std::string* error);
    void Close();
    void Start();
    uint16_t Port() const;
    // Datagrams the socket would not take (its buffer full), dropped.
    uint64_t sendDropped = 0;
    // Datagrams that claimed a WebSocket's made-up address as their source, dropped.
    uint64_t spoofed = 0;

    // What Rooms sends through: the UDP socket, or `elsewhere` for a
    // WebSocket's made-up address (nullptr: nowhere). Sent at the next Flush.
    const Rooms::Send& Sender() const { return send_; }
    void SetElsewhere(Rooms::Send elsewhere) { elsewhere_ = std::move(elsewhere); }
    void Flush();

private:
    void Wait();
    void ReadAll();
    void Queue(const RoomAddress& to, const uint8_t* bytes, size_t n);
    void Tick();

    Rooms& rooms_;
    boost::asio::ip::udp::socket socket_;
    boost::asio::steady_timer timer_;
    Rooms::Send send_;
    Rooms::Send elsewhere_;
    bool v6_ = false;
    // The batch read: one byte more than the longest message each, so that
    // a longer datagram is seen as one (and refused) rather than cut.
    std::vector<uint8_t> in_;
    std::vector<sockaddr_storage> from_;
    std::vector<iovec> inIov_;
    std::vector<mmsghdr> inMsgs_;
    // The batch to send.
    std::vector<uint8_t> out_;
    std::vector<sockaddr_storage> to_;
    std::vector<iovec> outIov_;
    std::vector<mmsghdr> outMsgs_;
    int queued_ = 0;
};

}  // namespace server
