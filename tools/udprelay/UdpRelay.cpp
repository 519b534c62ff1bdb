#include "UdpRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

enum Count { kReceived, kSent, kLost, kDuplicated, kCut, kAltered, kReplayed, kBytesFromClient, kBytesFromTarget };

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

int BoundSocket(uint16_t port, std::string* why) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *why = std::string("socket: ") + std::strerror(errno);
        return -1;
    }
    const sockaddr_in a = Loopback(port);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        *why = "cannot bind 127.0.0.1:" + std::to_string(port) + ": " + std::strerror(errno);
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

uint64_t RelayNowMicros() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

UdpRelay::~UdpRelay() {
    if (client_ >= 0) close(client_);
    if (target_ >= 0) close(target_);
}

bool UdpRelay::Open(const RelayOptions& options, std::string* why) {
    options_ = options;
    if (options.maxDelayMs < options.minDelayMs) {
        *why = "the longest delay is shorter than the shortest";
        return false;
    }
    random_ = options.seed;
    client_ = BoundSocket(options.listenPort, why);
    if (client_ < 0) return false;
    target_ = BoundSocket(0, why);
    if (target_ < 0) return false;
    sockaddr_in a{};
    socklen_t length = sizeof a;
    getsockname(client_, reinterpret_cast<sockaddr*>(&a), &length);
    port_ = ntohs(a.sin_port);
    return true;
}

// SplitMix64.
uint64_t UdpRelay::Draw() {
    uint64_t z = (random_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

RelayCounts UdpRelay::Counts() const {
    return {counts_[kReceived],
            counts_[kSent],
            counts_[kLost],
            counts_[kDuplicated],
            counts_[kCut],
            counts_[kAltered],
            counts_[kReplayed],
            counts_[kBytesFromClient],
            counts_[kBytesFromTarget]};
}

void UdpRelay::Take(int fd, bool toTarget) {
    uint8_t buffer[65536];
    for (;;) {
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n = recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (n < 0) return;
        if (toTarget) {
            // The client is the first to send; anyone else is ignored.
            if (!haveClient_) {
                std::memcpy(clientAddress_, &from, sizeof from);
                haveClient_ = true;
            } else if (std::memcmp(clientAddress_, &from, sizeof from) != 0) {
                continue;
            }
        } else if (from.sin_port != htons(options_.targetPort) || from.sin_addr.s_addr != htonl(INADDR_LOOPBACK)) {
            continue;  // only the target answers
        }
        ++counts_[kReceived];
        counts_[toTarget ? kBytesFromClient : kBytesFromTarget] += static_cast<uint64_t>(n);
        if (cut_) {
            ++counts_[kCut];
            continue;
        }
        if (toTarget == options_.tamperToTarget) {
            ++tamperSeen_;
            if (tamperSeen_ == options_.alterNth && n > 0) {
                buffer[n / 2] ^= 0xFF;
                ++counts_[kAltered];
            }
            if (tamperSeen_ == options_.replayNth) {
                pending_.push_back({RelayNowMicros() + options_.replayAfterMs * 1000ull, toTarget,
                                    std::vector<uint8_t>(buffer, buffer + n)});
                ++counts_[kReplayed];
            }
        }
        const auto unit = [this] { return static_cast<double>(Draw() >> 11) / 9007199254740992.0; };
        if (unit() < options_.loss) {
            ++counts_[kLost];
            continue;
        }
        const int copies = unit() < options_.duplicate ? 2 : 1;
        if (copies == 2) ++counts_[kDuplicated];
        for (int c = 0; c < copies; ++c) {
            const uint64_t span = options_.maxDelayMs - options_.minDelayMs;
            const uint64_t delayUs = options_.minDelayMs * 1000ull + (span > 0 ? Draw() % (span * 1000 + 1) : 0);
            pending_.push_back({RelayNowMicros() + delayUs, toTarget, std::vector<uint8_t>(buffer, buffer + n)});
        }
    }
}

void UdpRelay::Deliver(uint64_t now) {
    for (size_t i = 0; i < pending_.size();) {
        Pending& p = pending_[i];
        if (p.due > now) {
            ++i;
            continue;
        }
        if (cut_) {
            ++counts_[kCut];
        } else if (p.toTarget) {
            const sockaddr_in to = Loopback(options_.targetPort);
            sendto(target_, p.bytes.data(), p.bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
            ++counts_[kSent];
        } else {
            sendto(client_, p.bytes.data(), p.bytes.size(), 0, reinterpret_cast<const sockaddr*>(clientAddress_),
                   sizeof(sockaddr_in));
            ++counts_[kSent];
        }
        pending_[i] = std::move(pending_.back());
        pending_.pop_back();
    }
}

void UdpRelay::Run() {
    while (!stop_) {
        uint64_t now = RelayNowMicros();
        Deliver(now);
        int waitMs = 5;
        for (const Pending& p : pending_) {
            const int64_t left = static_cast<int64_t>(p.due) - static_cast<int64_t>(now);
            waitMs = std::min<int>(waitMs, left <= 0 ? 0 : static_cast<int>((left + 999) / 1000));
        }
        pollfd fds[2] = {{client_, POLLIN, 0}, {target_, POLLIN, 0}};
        if (poll(fds, 2, waitMs) > 0) {
            if ((fds[0].revents & POLLIN) != 0) Take(client_, true);
            if ((fds[1].revents & POLLIN) != 0) Take(target_, false);
        }
    }
}
