#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// One HTTP(S) request of the world table's link, made with libcurl on the
// link's own thread. Bounded in every way a server could stretch it: the
// time to connect and in all, the answer's size (a larger one is cut off
// and refused), no redirect followed, http and https only.

struct HttpLimits {
    long connectMs = 5000;
    long totalMs = 20000;
    size_t maxBody = 0;  // the largest answer taken
};

struct HttpAnswer {
    long status = 0;  // 0: no answer (see `failure`)
    std::string body;
    int64_t retryAfter = -1;  // Retry-After's seconds; -1 none
    int64_t totalCount = -1;  // X-Total-Count; -1 none
    int64_t feedHeld = -1;    // X-Feed-Held (a live feed's bytes held); -1 none
    bool feedEnded = false;   // X-Feed-Ended: 1 (a live feed's last bytes)
    std::string failure;      // why there is no answer, in words
};

// A connection kept from one request to the next (HTTP keep-alive): the
// server counts a live feed's watcher by its connection. Used by one
// thread at a time.
class HttpSession {
public:
    HttpSession() = default;
    ~HttpSession();
    HttpSession(const HttpSession&) = delete;
    HttpSession& operator=(const HttpSession&) = delete;
    void* handle = nullptr;  // libcurl's easy handle, made at the first request
};

// GET `url` (a null `post`), or POST `postSize` bytes of `post` to it as
// application/octet-stream. True when the server answered (any status);
// false, with `failure` said, when it could not be reached, took too long,
// sent more than `limits.maxBody`, or `stop` was set meanwhile.
// With a `session`, its connection is used again when it still stands.
bool HttpRequest(const std::string& url, const uint8_t* post, size_t postSize, const HttpLimits& limits,
                 const std::atomic<bool>* stop, HttpAnswer* answer, HttpSession* session = nullptr);
