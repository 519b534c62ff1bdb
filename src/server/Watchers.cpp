#include "Watchers.h"

#include <chrono>
#include <exception>
#include <nlohmann/json.hpp>
#include <vector>

namespace server {
namespace asio = boost::asio;
using json = nlohmann::json;

Watchers::Watchers(asio::io_context& io, Feeds& feeds) : io_(io), feeds_(feeds), rate_(kLivePerMinute) {
    feeds_.onGrow = [this](uint32_t code) { Woken(code); };
}

void Watchers::Handle(const Route& route, const std::string& client, const std::string& watcher,
                      std::function<void(Answer)> respond) {
    const double now = SteadySeconds();
    int32_t retryAfter = 0;
    if (!rate_.Take(client, now, &retryAfter))
        return respond(BusyAnswer(429, "too many requests from this address; wait " + std::to_string(retryAfter) + " s",
                                  retryAfter));
    if (route.kind == RouteKind::Live) return respond(List());
    const uint32_t code = RoomCodeNumber(route.id.c_str());
    switch (feeds_.Admit(code, watcher, now)) {
    case Feeds::Watch::NoSuchFeed:
        return respond(ErrorAnswer(404, "no game of that code is live"));
    case Feeds::Watch::TooManyWatchers:
        return respond(BusyAnswer(503, "that game has as many watchers as it may; try again soon", kLiveRetrySeconds));
    case Feeds::Watch::Admitted:
        break;
    }
    std::string ignored;
    bool ended = false;
    uint32_t held = 0;
    feeds_.Read(code, 0, 0, &ignored, &ended, &held);
    if (static_cast<uint64_t>(route.offset) > held)
        return respond(ErrorAnswer(400, "from is past the " + std::to_string(held) + " bytes held"));
    Answer answer;
    if (Bytes(code, static_cast<uint64_t>(route.offset), &answer)) return respond(std::move(answer));
    // Nothing new yet: the request waits for the feed to grow.
    auto waiter = std::make_shared<Waiter>();
    waiter->code = code;
    waiter->from = static_cast<uint64_t>(route.offset);
    waiter->respond = std::move(respond);
    waiter->timer = std::make_unique<asio::steady_timer>(io_);
    waiter->timer->expires_after(std::chrono::milliseconds(static_cast<int>(kLiveWaitSeconds * 1000)));
    waiting_.emplace(code, waiter);
    waiter->timer->async_wait([this, waiter](boost::system::error_code) { Finish(waiter); });
}

void Watchers::Woken(uint32_t code) {
    const auto range = waiting_.equal_range(code);
    std::vector<std::shared_ptr<Waiter>> woken;
    for (auto it = range.first; it != range.second; ++it) woken.push_back(it->second);
    for (const auto& w : woken) w->timer->cancel();  // each finishes on its timer's call
}

void Watchers::Finish(const std::shared_ptr<Waiter>& waiter) {
    if (waiter->done) return;
    waiter->done = true;
    const auto range = waiting_.equal_range(waiter->code);
    for (auto it = range.first; it != range.second; ++it)
        if (it->second == waiter) {
            waiting_.erase(it);
            break;
        }
    Answer answer;
    try {
        if (!Bytes(waiter->code, waiter->from, &answer)) answer.status = 204;
    } catch (const std::exception& e) {
        answer = ErrorAnswer(500, std::string("the server failed: ") + e.what());
    }
    waiter->respond(std::move(answer));
}

bool Watchers::Bytes(uint32_t code, uint64_t from, Answer* answer) {
    std::string bytes;
    bool ended = false;
    uint32_t held = 0;
    if (!feeds_.Read(code, from, kFeedMostRead, &bytes, &ended, &held)) {
        *answer = ErrorAnswer(404, "no game of that code is live");
        return true;
    }
    if (bytes.empty() && !ended) return false;
    answer->status = 200;
    answer->contentType = "application/octet-stream";
    answer->headers.emplace_back("X-Feed-Held", std::to_string(held));
    if (ended && from + bytes.size() == held) answer->headers.emplace_back("X-Feed-Ended", "1");
    answer->body = std::move(bytes);
    return true;
}

Answer Watchers::List() {
    json rows = json::array();
    for (const FeedRow& row : feeds_.List(SteadySeconds())) {
        char code[kRoomCodeBytes];
        RoomCodeOfNumber(row.code, code);
        rows.push_back({{"code", code},
                        {"difficulty", row.difficulty},
                        {"names", {row.names[0], row.names[1]}},
                        {"bytes", row.bytes},
                        {"watchers", row.watchers},
                        {"ended", row.ended}});
    }
    Answer a;
    // (Names go out as JSON text only, <, > and & escaped.)
    a.body = JsonText(json{{"live", rows}}.dump(-1, ' ', false, json::error_handler_t::replace));
    return a;
}

}  // namespace server
