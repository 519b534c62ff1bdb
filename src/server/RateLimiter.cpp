#include "RateLimiter.h"

#include <sodium.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace server {

double SteadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

RateLimiter::KeyedHash RateLimiter::NewKeyedHash() {
    KeyedHash hash;
    static_assert(sizeof hash.key == crypto_shorthash_KEYBYTES);
    if (sodium_init() < 0) std::abort();  // (the server cannot start without it either)
    randombytes_buf(hash.key, sizeof hash.key);
    return hash;
}

size_t RateLimiter::KeyedHash::operator()(const std::string& address) const {
    uint8_t out[crypto_shorthash_BYTES];
    crypto_shorthash(out, reinterpret_cast<const unsigned char*>(address.data()), address.size(), key);
    size_t v = 0;
    std::memcpy(&v, out, std::min(sizeof v, sizeof out));
    return v;
}

RateLimiter::RateLimiter(int32_t perMinute, size_t mostAddresses)
    : perMinute_(perMinute), mostAddresses_(mostAddresses), buckets_(0, NewKeyedHash()) {}

double RateLimiter::Refilled(const Bucket& b, double now) const {
    const double elapsed = std::max(0.0, now - b.at);
    return std::min(static_cast<double>(perMinute_), b.tokens + elapsed * perMinute_ / 60.0);
}

void RateLimiter::DropFull(double now) {
    for (auto it = buckets_.begin(); it != buckets_.end();) {
        if (Refilled(it->second, now) >= perMinute_)
            it = buckets_.erase(it);
        else
            ++it;
    }
}

bool RateLimiter::Take(const std::string& address, double now, int32_t* retryAfter, bool* tell) {
    if (tell != nullptr) *tell = false;
    auto it = buckets_.find(address);
    if (it == buckets_.end()) {
        if (buckets_.size() >= mostAddresses_ && (now - scannedAt_ >= kScanSeconds || now < scannedAt_)) {
            scannedAt_ = now;
            DropFull(now);
        }
        if (buckets_.size() >= mostAddresses_) {
            *retryAfter = std::max(1, static_cast<int32_t>(std::ceil(60.0 / perMinute_)));
            return false;
        }
        it = buckets_.emplace(address, Bucket{static_cast<double>(perMinute_), now}).first;
    }
    Bucket& b = it->second;
    b.tokens = Refilled(b, now);
    b.at = now;
    if (b.tokens >= 1.0) {
        b.tokens -= 1.0;
        return true;
    }
    *retryAfter = std::max(1, static_cast<int32_t>(std::ceil((1.0 - b.tokens) * 60.0 / perMinute_)));
    if (tell != nullptr && (now - b.toldAt >= kTellSeconds || now < b.toldAt)) {
        *tell = true;
        b.toldAt = now;
    }
    return false;
}

}  // namespace server
