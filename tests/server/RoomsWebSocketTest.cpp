// The rooms' WebSocket on the real voidcrawl-server: a browser's socket
// meets a UDP game and another socket in rooms, each learning that the
// other is "not known" (nobody punches toward a browser) and relaying both
// ways; what a socket may not send closes it; a socket that closes leaves
// its room at once.
#include <gtest/gtest.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "RoomClients.h"
#include "ServerHarness.h"
#include "net/RoomProtocol.h"

namespace server_test {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

// A page's end of the socket: each call runs the client's own loop for at
// most `ms`, so that a server that says nothing fails the case instead of
// holding it.
class Page {
public:
    explicit Page(uint16_t port, const std::string& path = "/api/v1/rooms/socket") : ws_(io_) {
        beast::error_code ec;
        beast::get_lowest_layer(ws_).connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port), ec);
        if (ec) {
            error = ec.message();
            return;
        }
        ws_.binary(true);
        bool done = false;
        ws_.async_handshake(upgradeAnswer_, "127.0.0.1", path, [&](beast::error_code e) {
            ec = e;
            done = true;
        });
        Run(done, 3000);
        if (!done || ec) {
            error = done ? ec.message() : "no answer";
            return;
        }
        open = true;
    }
    int UpgradeStatus() const { return static_cast<int>(upgradeAnswer_.result_int()); }

    bool SendBytes(const Bytes& b, bool binary = true) {
        ws_.binary(binary);
        bool done = false;
        beast::error_code ec;
        ws_.async_write(asio::buffer(b), [&](beast::error_code e, size_t) {
            ec = e;
            done = true;
        });
        Run(done, 2000);
        return done && !ec;
    }
    bool Send(const RoomMessage& m) {
        uint8_t b[kRoomMaxMessageBytes];
        const size_t n = WriteRoomMessage(m, b, sizeof b);
        return n != 0 && SendBytes(Bytes(b, b + n));
    }
    // The next message within `ms`; false when none came (or the socket
    // closed: `closed`). A read that has not ended by then stays for the
    // next call (giving it up would end the socket).
    bool Receive(RoomMessage* m, Bytes* payload = nullptr, int ms = 2000) {
        if (!reading_) {
            buffer_.clear();
            reading_ = true;
            readDone_ = false;
            ws_.async_read(buffer_, [this](beast::error_code e, size_t) {
                readEc_ = e;
                readDone_ = true;
            });
        }
        Run(readDone_, ms);
        if (!readDone_) return false;
        reading_ = false;
        if (readEc_) {
            closed = true;
            closeCode = ws_.reason().code;
            return false;
        }
        got_.assign(static_cast<const uint8_t*>(buffer_.cdata().data()),
                    static_cast<const uint8_t*>(buffer_.cdata().data()) + buffer_.size());
        const char* why = nullptr;
        if (!ParseRoomMessage(got_.data(), got_.size(), m, &why)) {
            ADD_FAILURE() << "the server sent what is no room message: " << why;
            return false;
        }
        if (payload != nullptr && m->payload != nullptr) payload->assign(m->payload, m->payload + m->payloadSize);
        return true;
    }
    void Close() {
        bool done = false;
        ws_.async_close(websocket::close_code::normal, [&](beast::error_code) { done = true; });
        Run(done, 2000);
    }

    bool open = false;
    bool closed = false;
    uint16_t closeCode = 0;
    std::string error;

private:
    void Run(bool& done, int ms) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        io_.restart();
        while (!done && std::chrono::steady_clock::now() < until) io_.run_for(std::chrono::milliseconds(10));
    }
    asio::io_context io_;
    websocket::stream<beast::tcp_stream> ws_;
    bool reading_ = false, readDone_ = false;
    beast::error_code readEc_;
    websocket::response_type upgradeAnswer_;
    beast::flat_buffer buffer_;
    Bytes got_;
};

bool Unknown(const RoomAddress& a) { return a == RoomAddress(); }

// The next message of `kind` (others, such as answers to Stays, skipped).
template <typename Side>
bool Next(Side& side, RoomKind kind, RoomMessage* m, Bytes* payload = nullptr) {
    for (int i = 0; i < 8; ++i)
        if (side.Receive(m, payload) && m->kind == kind) return true;
    return false;
}

// A page opens a room; a desktop game enters it by code over UDP. The game
// is told its host is "not known" (it relays), the page its joiner's the
// same; relayed datagrams go both ways, and the page closing its socket
// leaves the room at once.
TEST_F(RoomsServer, APageHostsAUdpGameThroughTheRelayAndLeavesWhenItsSocketCloses) {
    Page page(server_.Port());
    ASSERT_TRUE(page.open) << page.error;
    ASSERT_TRUE(page.Send(OpenAsk(RoomMode::Create, 7)));
    RoomMessage opened;
    ASSERT_TRUE(Next(page, RoomKind::Room, &opened));
    EXPECT_EQ((std::tuple{opened.askId, opened.role, opened.stage}),
              (std::tuple{uint64_t{7}, RoomRole::Host, RoomStage::Waiting}));

    Game game(server_.Port());
    game.Send(EnterAsk(opened.code, 8));
    RoomMessage entered, told;
    ASSERT_TRUE(Next(game, RoomKind::Room, &entered));
    EXPECT_EQ(entered.stage, RoomStage::Pairing);
    ASSERT_TRUE(Next(page, RoomKind::Room, &told));  // the host, told unasked
    EXPECT_EQ(told.stage, RoomStage::Pairing);
    EXPECT_TRUE(Unknown(told.peer)) << "a browser is told no address: it could not use one";

    ASSERT_TRUE(page.Send(Tokened(RoomKind::Stay, opened.token, kRoomPunched)));
    RoomMessage paired;
    ASSERT_TRUE(Next(game, RoomKind::Room, &paired));
    EXPECT_EQ(paired.stage, RoomStage::Paired);
    EXPECT_TRUE(Unknown(paired.peer)) << "a browser host's address is never said";

    const Bytes fromGame = {1, 2, 3, 4, 5}, fromPage(1200, 0x5A);
    game.Send(Tokened(RoomKind::Relay, entered.token, 0, &fromGame));
    RoomMessage relayed;
    Bytes carried;
    ASSERT_TRUE(Next(page, RoomKind::Relayed, &relayed, &carried));
    EXPECT_EQ(carried, fromGame);
    ASSERT_TRUE(page.Send(Tokened(RoomKind::Relay, opened.token, 0, &fromPage)));
    ASSERT_TRUE(Next(game, RoomKind::Relayed, &relayed, &carried));
    EXPECT_EQ(carried, fromPage);

    EXPECT_EQ(Health()["room_players"], 2);
    page.Close();
    for (int i = 0; i < 50 && Health()["room_players"] != 1; ++i) usleep(20000);
    EXPECT_EQ(Health()["room_players"], 1) << "the page left its room as its socket closed";
}

// Two pages in a quick match: the second joins the first, both relay.
TEST_F(RoomsServer, TwoPagesQuickMatchAndRelayToEachOther) {
    Page first(server_.Port()), second(server_.Port());
    ASSERT_TRUE(first.open && second.open) << first.error << second.error;
    RoomMessage a, b, told;
    ASSERT_TRUE(first.Send(OpenAsk(RoomMode::Quick, 1)));
    ASSERT_TRUE(Next(first, RoomKind::Room, &a));
    ASSERT_TRUE(second.Send(OpenAsk(RoomMode::Quick, 2)));
    ASSERT_TRUE(Next(second, RoomKind::Room, &b));
    EXPECT_EQ((std::tuple{a.role, b.role, std::string(a.code)}),
              (std::tuple{RoomRole::Host, RoomRole::Joiner, std::string(b.code)}));
    ASSERT_TRUE(Next(first, RoomKind::Room, &told));
    ASSERT_TRUE(first.Send(Tokened(RoomKind::Stay, a.token, kRoomPunched)));
    const Bytes one = {9, 9, 9}, two = {7};
    ASSERT_TRUE(second.Send(Tokened(RoomKind::Relay, b.token, 0, &one)));
    RoomMessage m;
    Bytes carried;
    ASSERT_TRUE(Next(first, RoomKind::Relayed, &m, &carried));
    EXPECT_EQ(carried, one);
    ASSERT_TRUE(first.Send(Tokened(RoomKind::Relay, a.token, 0, &two)));
    ASSERT_TRUE(Next(second, RoomKind::Relayed, &m, &carried));
    EXPECT_EQ(carried, two);
}

// What a socket may not do: a text message, one longer than any room
// message, and another path's upgrade; garbage in binary is dropped
// unanswered and the socket stays.
TEST_F(RoomsServer, TextTooLongAndOtherPathsAreRefusedAndGarbageIsDropped) {
    {
        Page page(server_.Port());
        ASSERT_TRUE(page.open) << page.error;
        ASSERT_TRUE(page.SendBytes(Bytes{'h', 'i'}, false));
        RoomMessage m;
        EXPECT_FALSE(page.Receive(&m));
        EXPECT_TRUE(page.closed);
        EXPECT_EQ(page.closeCode, static_cast<uint16_t>(websocket::close_code::unknown_data));
    }
    {
        Page page(server_.Port());
        ASSERT_TRUE(page.open) << page.error;
        page.SendBytes(Bytes(kRoomMaxMessageBytes + 1, 0));
        RoomMessage m;
        EXPECT_FALSE(page.Receive(&m));
        EXPECT_TRUE(page.closed);
        EXPECT_EQ(page.closeCode, static_cast<uint16_t>(websocket::close_code::too_big));
    }
    {
        Page page(server_.Port(), "/api/v1/scores");
        EXPECT_FALSE(page.open);
        EXPECT_EQ(page.UpgradeStatus(), 404);
    }
    Page page(server_.Port());
    ASSERT_TRUE(page.open) << page.error;
    for (const Bytes& junk : {Bytes{}, Bytes{'V', 'C', 'R', 'M'}, Bytes(96, 0xFF), Bytes(kRoomMaxMessageBytes, 1)})
        ASSERT_TRUE(page.SendBytes(junk));
    RoomMessage m;
    EXPECT_FALSE(page.Receive(&m, nullptr, 300));
    EXPECT_FALSE(page.closed);
    ASSERT_TRUE(page.Send(OpenAsk(RoomMode::Create, 3)));
    EXPECT_TRUE(Next(page, RoomKind::Room, &m)) << "the socket still works";
    EXPECT_GE(Health()["room_garbage"], 4);
}

// Sockets ask as their client's address, however many it opens: the
// address's asks a minute are shared, and the one over is told so.
TEST_F(RoomsServer, ManySocketsFromOneAddressShareItsAsksAMinute) {
    std::vector<std::unique_ptr<Page>> pages;
    int answered = 0, refused = 0;
    for (uint32_t i = 0; i <= kRoomAsksPerMinute; ++i) {
        pages.push_back(std::make_unique<Page>(server_.Port()));
        Page& page = *pages.back();
        ASSERT_TRUE(page.open) << page.error;
        ASSERT_TRUE(page.Send(OpenAsk(RoomMode::Create, 100 + i)));
        RoomMessage m;
        ASSERT_TRUE(page.Receive(&m));
        answered += m.kind == RoomKind::Room;
        refused += m.kind == RoomKind::Refused && m.reason == RoomRefusal::TooManyAsks;
    }
    EXPECT_EQ((std::tuple{answered, refused}), (std::tuple{static_cast<int>(kRoomAsksPerMinute), 1}));
}

}  // namespace
}  // namespace server_test
