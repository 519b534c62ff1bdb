#pragma once
// The rooms' test clients of the real voidcrawl-server: a game's UDP
// socket on loopback, the asks and tokened messages it sends, and the
// fixture that starts the server (tests/server/RoomsServerTest.cpp, and the
// page's WebSocket in RoomsWebSocketTest.cpp).
#include <gtest/gtest.h>
#include <poll.h>

#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ServerHarness.h"
#include "net/RoomProtocol.h"

namespace server_test {
using Bytes = std::vector<uint8_t>;

// A game's socket on 127.0.0.1, talking to the server's UDP port.
// (On ::1 with `v6`, for a server on [::].)
class Game {
public:
    explicit Game(uint16_t serverPort, bool v6 = false) {
        fd_ = socket(v6 ? AF_INET6 : AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_storage a{};
        socklen_t n = 0;
        if (v6) {
            auto* six = reinterpret_cast<sockaddr_in6*>(&a);
            six->sin6_family = AF_INET6;
            six->sin6_addr = in6addr_loopback;
            n = sizeof *six;
        } else {
            auto* four = reinterpret_cast<sockaddr_in*>(&a);
            four->sin_family = AF_INET;
            four->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            n = sizeof *four;
        }
        bind(fd_, reinterpret_cast<sockaddr*>(&a), n);
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &n);
        RoomAddressFromSockaddr(reinterpret_cast<sockaddr*>(&a), n, &address_);
        server_ = a;
        serverSize_ = n;
        if (v6)
            reinterpret_cast<sockaddr_in6*>(&server_)->sin6_port = htons(serverPort);
        else
            reinterpret_cast<sockaddr_in*>(&server_)->sin_port = htons(serverPort);
        serverPort_ = htons(serverPort);
    }
    ~Game() { close(fd_); }
    const RoomAddress& Address() const { return address_; }

    void SendBytes(const Bytes& b) {
        sendto(fd_, b.data(), b.size(), 0, reinterpret_cast<const sockaddr*>(&server_), serverSize_);
    }
    void Send(const RoomMessage& m) {
        uint8_t b[kRoomMaxMessageBytes];
        const size_t n = WriteRoomMessage(m, b, sizeof b);
        ASSERT_GT(n, 0u);
        SendBytes(Bytes(b, b + n));
    }
    // The next message within `ms`, from the server; false when none came.
    bool Receive(RoomMessage* m, Bytes* payload = nullptr, int ms = 2000) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, ms) <= 0) return false;
        sockaddr_storage from{};
        socklen_t n = sizeof from;
        const ssize_t got = recvfrom(fd_, buffer_, sizeof buffer_, 0, reinterpret_cast<sockaddr*>(&from), &n);
        if (got <= 0) return false;
        RoomAddress sender;
        EXPECT_TRUE(RoomAddressFromSockaddr(reinterpret_cast<sockaddr*>(&from), n, &sender) &&
                    sender.port == ntohs(serverPort_));
        const char* why = nullptr;
        if (!ParseRoomMessage(buffer_, static_cast<size_t>(got), m, &why)) {
            ADD_FAILURE() << "the server sent what is no room message: " << why;
            return false;
        }
        if (payload != nullptr && m->payload != nullptr) payload->assign(m->payload, m->payload + m->payloadSize);
        return true;
    }
    // Sends `ask` every 250 ms until an answer comes, as the game does.
    RoomMessage Ask(const RoomMessage& ask) {
        RoomMessage m;
        for (int i = 0; i < 20; ++i) {
            Send(ask);
            if (Receive(&m, nullptr, 250)) return m;
        }
        ADD_FAILURE() << "the server does not answer";
        return m;
    }

private:
    int fd_ = -1;
    RoomAddress address_;
    sockaddr_storage server_{};
    socklen_t serverSize_ = 0;
    uint16_t serverPort_ = 0;
    uint8_t buffer_[kRoomMaxMessageBytes + 64];
};

inline RoomMessage OpenAsk(RoomMode mode, uint64_t askId) {
    RoomMessage m;
    m.kind = RoomKind::Open;
    m.mode = mode;
    m.difficulty = 1;
    std::strcpy(m.gameVersion, "1.0.0");
    m.dataHash = 0xFEED;
    m.askId = askId;
    return m;
}

inline RoomMessage EnterAsk(const char* code, uint64_t askId) {
    RoomMessage m = OpenAsk(RoomMode::Create, askId);
    m.kind = RoomKind::Enter;
    std::strcpy(m.code, code);
    return m;
}

inline RoomMessage Tokened(RoomKind kind, const uint8_t* token, uint8_t flags = 0, const Bytes* payload = nullptr) {
    RoomMessage m;
    m.kind = kind;
    std::memcpy(m.token, token, kRoomTokenBytes);
    m.flags = flags;
    if (payload != nullptr) {
        m.payload = payload->data();
        m.payloadSize = payload->size();
    }
    return m;
}

class RoomsServer : public ::testing::Test {
protected:
    void SetUp() override {
        data_ = fs::path(::testing::TempDir()) / ("vc_rooms_" + std::to_string(::getpid()));
        fs::remove_all(data_);
        ASSERT_TRUE(server_.Start(data_));
    }
    void TearDown() override {
        server_.Stop();
        fs::remove_all(data_);
    }
    nlohmann::json Health() { return nlohmann::json::parse(Call(server_.Port(), "GET", "/api/v1/health").body); }

    fs::path data_;
    ServerProcess server_;
};

}  // namespace server_test
