#pragma once
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

#include "server/Api.h"
#include "server/Feeds.h"
#include "server/RateLimiter.h"
#include "server/Routes.h"

// The watchers' side of the live feeds, over HTTP: GET /api/v1/live lists
// the rooms with a feed, GET /api/v1/live/CODE?from=N gives a feed's bytes
// from N (at most kFeedMostRead), or waits up to kLiveWaitSeconds for them
// when none are held past N yet (a long poll; 204 when none came). Each
// address may ask kLivePerMinute times a minute; a room has at most
// kFeedMostWatchers watchers (503 beyond).
namespace server {

constexpr double kLiveWaitSeconds = 2;
constexpr int32_t kLivePerMinute = 20 * 60;
constexpr int32_t kLiveRetrySeconds = 10;

class Watchers {
public:
    Watchers(boost::asio::io_context& io, Feeds& feeds);
    // `client`: the address the rate counts; `watcher`: who watches (the
    // client's address and port). `respond` is called once, perhaps later.
    void Handle(const Route& route, const std::string& client, const std::string& watcher,
                std::function<void(Answer)> respond);
    // Requests waiting for bytes now.
    size_t Waiting() const { return waiting_.size(); }

private:
    struct Waiter {
        uint32_t code = 0;
        uint64_t from = 0;
        std::function<void(Answer)> respond;
        std::unique_ptr<boost::asio::steady_timer> timer;
        bool done = false;
    };
    void Woken(uint32_t code);
    void Finish(const std::shared_ptr<Waiter>& waiter);
    Answer List();
    // The bytes from `from`; false (and no answer) when none are held past
    // it and the feed goes on.
    bool Bytes(uint32_t code, uint64_t from, Answer* answer);

    boost::asio::io_context& io_;
    Feeds& feeds_;
    RateLimiter rate_;
    std::unordered_multimap<uint32_t, std::shared_ptr<Waiter>> waiting_;
};

}  // namespace server
