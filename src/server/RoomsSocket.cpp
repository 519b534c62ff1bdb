#include "RoomsSocket.h"

#include <sys/socket.h>

#include <boost/asio/ip/address.hpp>
#include <chrono>
#include <cstring>
#include <exception>

namespace server {
namespace asio = boost::asio;
using udp = asio::ip::udp;

namespace {

constexpr auto kSweepEvery = std::chrono::seconds(1);
// Datagrams read one after another before the loop turns to its other work.
constexpr int kReadsInARow = 64;

}  // namespace

RoomsSocket::RoomsSocket(asio::io_context& io, Rooms& rooms) : io_(io), rooms_(rooms), socket_(io), timer_(io) {
    send_ = [this](const RoomAddress& to, const uint8_t* bytes, size_t n) { SendTo(to, bytes, n); };
}

void RoomsSocket::SendTo(const RoomAddress& to, const uint8_t* bytes, size_t n) {
    sockaddr_storage address;
    const size_t length = RoomAddressToSockaddr(to, v6_, &address);
    udp::endpoint endpoint;
    if (length == 0 || length > endpoint.capacity()) return;
    std::memcpy(endpoint.data(), &address, length);
    endpoint.resize(length);
    boost::system::error_code ec;
    socket_.send_to(asio::const_buffer(bytes, n), endpoint, 0, ec);
    if (ec) ++sendDropped;
}

bool RoomsSocket::Open(const std::string& host, uint16_t port, std::string* error) {
    boost::system::error_code ec;
    Close();
    const asio::ip::address address = asio::ip::make_address(host, ec);
    if (ec) {
        *error = "'" + host + "' is not an IP address";
        return false;
    }
    const udp::endpoint endpoint(address, port);
    socket_.open(endpoint.protocol(), ec);
    if (!ec) socket_.bind(endpoint, ec);
    // Sends never wait: a datagram the socket cannot take now is dropped.
    if (!ec) socket_.non_blocking(true, ec);
    if (ec) {
        *error = "cannot take UDP port " + std::to_string(port) + " on " + host + " for rooms: " + ec.message();
        Close();
        return false;
    }
    v6_ = address.is_v6();
    return true;
}

void RoomsSocket::Close() {
    boost::system::error_code ignored;
    timer_.cancel();
    if (socket_.is_open()) socket_.close(ignored);
}

uint16_t RoomsSocket::Port() const {
    boost::system::error_code ec;
    const udp::endpoint at = socket_.local_endpoint(ec);
    return ec ? 0 : at.port();
}

void RoomsSocket::Start() {
    Receive();
    Tick();
}

void RoomsSocket::Receive() {
    socket_.async_receive_from(asio::buffer(buffer_), from_, [this](boost::system::error_code ec, size_t n) {
        if (ec == asio::error::operation_aborted || !socket_.is_open()) return;
        if (!ec) Handle(n);
        // Then what else is waiting, up to a few, without a turn of the loop each.
        for (int i = 1; i < kReadsInARow && socket_.is_open(); ++i) {
            boost::system::error_code again;
            const size_t got = socket_.receive_from(asio::buffer(buffer_), from_, 0, again);
            if (again) break;
            Handle(got);
        }
        Receive();
    });
}

void RoomsSocket::Handle(size_t size) {
    RoomAddress from;
    if (!RoomAddressFromSockaddr(from_.data(), from_.size(), &from)) return;
    try {
        rooms_.Take(buffer_, size, from, SteadySeconds(), send_);
    } catch (const std::exception&) {
        // (Nothing in Take throws but an allocation that failed: the datagram is lost.)
    }
}

void RoomsSocket::Tick() {
    timer_.expires_after(kSweepEvery);
    timer_.async_wait([this](boost::system::error_code ec) {
        if (ec) return;
        try {
            rooms_.Sweep(SteadySeconds());
        } catch (const std::exception&) {
        }
        Tick();
    });
}

}  // namespace server
