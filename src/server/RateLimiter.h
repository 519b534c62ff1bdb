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
// newcomer is refused rather than the table grown. A full table is looked
// through at most once a second (kScanSeconds), so that a flood of
// newcomers costs one pass a second, not one a newcomer. The table's hash
// is keyed with random bytes drawn for each limiter (SipHash), since the
// addresses are the sender's to choose (a UDP source is easily forged):
// nobody can aim many of them at one bucket.
namespace server {

// Seconds on the steady clock, as the limits and the rooms take them.
double SteadySeconds();

class RateLimiter {
public:
    static constexpr size_t kMostAddresses = 100000;
    static constexpr double kScanSeconds = 1.0;
    // A refusal is to be told to an address at most once in this long.
    static constexpr double kTellSeconds = 60.0;

    explicit RateLimiter(int32_t perMinute, size_t mostAddresses = kMostAddresses);
    // Whether `address` may make a request at `now`; if not, `retryAfter`
    // gets the seconds to wait (at least 1).
    // With `tell`: whether a refusal is the first to this address in
    // kTellSeconds (a refused newcomer to a full table: never), so that the
    // caller says so once and is silent after.
    bool Take(const std::string& address, double now, int32_t* retryAfter, bool* tell = nullptr);
    size_t Addresses() const { return buckets_.size(); }

private:
    struct KeyedHash {
        uint8_t key[16] = {};
        size_t operator()(const std::string& address) const;
    };
    static KeyedHash NewKeyedHash();
    struct Bucket {
        double tokens = 0;
        double at = 0;                  // when `tokens` was counted
        double toldAt = -kTellSeconds;  // when a refusal was last told
    };
    double Refilled(const Bucket& b, double now) const;
    void DropFull(double now);

    int32_t perMinute_;
    size_t mostAddresses_;
    double scannedAt_ = -kScanSeconds;  // when a full table was last looked through
    std::unordered_map<std::string, Bucket, KeyedHash> buckets_;
};

}  // namespace server
