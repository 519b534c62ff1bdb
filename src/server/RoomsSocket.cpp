#include "RoomsSocket.h"

#include <sys/socket.h>

#include <boost/asio/ip/address.hpp>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>

namespace server {
namespace asio = boost::asio;
using udp = asio::ip::udp;

namespace {

constexpr auto kSweepEvery = std::chrono::seconds(1);
// Datagrams read one after another before the loop turns to its other work.
constexpr int kReadsInARow = 256;
// The socket's buffers each way (the system may cap them lower): a
// thousand games send 200,000 datagrams a second, and a moment's wait of
// the loop should not lose them.
constexpr int kSocketBufferBytes = 4 * 1024 * 1024;

}  // namespace

constexpr size_t kInSlot = kRoomMaxMessageBytes + 1;

RoomsSocket::RoomsSocket(asio::io_context& io, Rooms& rooms)
    : rooms_(rooms),
      socket_(io),
      timer_(io),
      in_(kBatch * kInSlot),
      from_(kBatch),
      inIov_(kBatch),
      inMsgs_(kBatch),
      out_(kBatch * kRoomMaxMessageBytes),
      to_(kBatch),
      outIov_(kBatch),
      outMsgs_(kBatch) {
    send_ = [this](const RoomAddress& to, const uint8_t* bytes, size_t n) { Queue(to, bytes, n); };
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
    if (!ec) {
        boost::system::error_code ignored;  // a smaller buffer still works
        socket_.set_option(asio::socket_base::receive_buffer_size(kSocketBufferBytes), ignored);
        socket_.set_option(asio::socket_base::send_buffer_size(kSocketBufferBytes), ignored);
    }
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
    Wait();
    Tick();
}

void RoomsSocket::Wait() {
    socket_.async_wait(udp::socket::wait_read, [this](boost::system::error_code ec) {
        if (ec == asio::error::operation_aborted || !socket_.is_open()) return;
        ReadAll();
        Wait();
    });
}

void RoomsSocket::ReadAll() {
    const int fd = socket_.native_handle();
    // What is waiting, a batch at a time, a few batches before the loop
    // turns to its other work.
    for (int round = 0; round < kReadsInARow / kBatch + 1; ++round) {
        for (int i = 0; i < kBatch; ++i) {
            inIov_[i] = {&in_[static_cast<size_t>(i) * kInSlot], kInSlot};
            std::memset(&inMsgs_[i], 0, sizeof inMsgs_[i]);
            inMsgs_[i].msg_hdr.msg_name = &from_[i];
            inMsgs_[i].msg_hdr.msg_namelen = sizeof from_[i];
            inMsgs_[i].msg_hdr.msg_iov = &inIov_[i];
            inMsgs_[i].msg_hdr.msg_iovlen = 1;
        }
        const int n = recvmmsg(fd, inMsgs_.data(), kBatch, MSG_DONTWAIT, nullptr);
        if (n <= 0) break;
        const double now = SteadySeconds();
        for (int i = 0; i < n; ++i) {
            RoomAddress from;
            if (!RoomAddressFromSockaddr(reinterpret_cast<const sockaddr*>(&from_[i]), inMsgs_[i].msg_hdr.msg_namelen,
                                         &from))
                continue;
            if (IsWebSocketAddress(from)) {
                ++spoofed;
                continue;
            }
            try {
                rooms_.Take(&in_[static_cast<size_t>(i) * kInSlot], inMsgs_[i].msg_len, from, now, send_);
            } catch (const std::exception&) {
                // (Nothing in Take throws but an allocation that failed: the datagram is lost.)
            }
        }
        Flush();
        if (n < kBatch) break;
    }
}

void RoomsSocket::Queue(const RoomAddress& to, const uint8_t* bytes, size_t n) {
    if (IsWebSocketAddress(to)) {
        if (elsewhere_) elsewhere_(to, bytes, n);
        return;
    }
    if (queued_ == kBatch) Flush();
    const size_t length = RoomAddressToSockaddr(to, v6_, &to_[queued_]);
    if (length == 0 || n > kRoomMaxMessageBytes) return;
    uint8_t* slot = &out_[static_cast<size_t>(queued_) * kRoomMaxMessageBytes];
    std::memcpy(slot, bytes, n);
    outIov_[queued_] = {slot, n};
    mmsghdr& m = outMsgs_[queued_];
    std::memset(&m, 0, sizeof m);
    m.msg_hdr.msg_name = &to_[queued_];
    m.msg_hdr.msg_namelen = static_cast<socklen_t>(length);
    m.msg_hdr.msg_iov = &outIov_[queued_];
    m.msg_hdr.msg_iovlen = 1;
    ++queued_;
}

void RoomsSocket::Flush() {
    const int fd = socket_.native_handle();
    int done = 0;
    while (done < queued_) {
        const int n = sendmmsg(fd, outMsgs_.data() + done, static_cast<unsigned>(queued_ - done), MSG_DONTWAIT);
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // A full buffer, or a destination the system refuses: that one is dropped.
        ++sendDropped;
        ++done;
    }
    queued_ = 0;
}

void RoomsSocket::Tick() {
    timer_.expires_after(kSweepEvery);
    timer_.async_wait([this](boost::system::error_code ec) {
        if (ec) return;
        try {
            rooms_.Sweep(SteadySeconds());
        } catch (const std::exception&) {}
        Tick();
    });
}

}  // namespace server
