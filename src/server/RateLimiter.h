#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

// A per-address limit: each address has a bucket of `perMinute` tokens,
// refilled evenly over a minute; a request takes one. An empty bucket says
// how many whole seconds until the next token. The time is passed in
// (seconds on any steady clock), so that the rule is tested without waiting.
// The table holds at most kMostAddresses; when full, buckets that have
// filled again (which remember nothing) are dropped, and if none has, the
// newcomer is refused rather than the table grown.
namespace server {

class RateLimiter {
public:
    static constexpr size_t kMostAddresses = 100000;

    explicit RateLimiter(int32_t perMinute, size_t mostAddresses = kMostAddresses)
        : perMinute_(perMinute), mostAddresses_(mostAddresses) {}
    // Whether `address` may make a request at `now`; if not, `retryAfter`
    // gets the seconds to wait (at least 1).
    bool Take(const std::string& address, double now, int32_t* retryAfter);
    size_t Addresses() const { return buckets_.size(); }

private:
    struct Bucket {
        double tokens = 0;
        double at = 0;  // when `tokens` was counted
    };
    double Refilled(const Bucket& b, double now) const;
    void DropFull(double now);

    int32_t perMinute_;
    size_t mostAddresses_;
    std::unordered_map<std::string, Bucket> buckets_;
};

}  // namespace server
