// udprelay: a UDP relay between two ends of a network game on this machine,
// with delay, jitter, loss and duplication drawn from a seed (UdpRelay.h).
//
//   udprelay --to PORT [--listen PORT] [--delay MIN-MAX] [--loss P]
//            [--duplicate P] [--seed N] [--alter N] [--replay N:MS] [--back]
//
// --alter N flips the middle byte of the Nth datagram to the target (with
// --back, from it), as a forger on the path would; --replay N:MS sends the
// Nth again MS milliseconds later.
// The game that joins connects to the relay's port (printed on start); the
// relay passes its datagrams to 127.0.0.1:PORT. SIGUSR1 drops everything
// from then on (a peer that vanished); SIGINT or SIGTERM ends the relay,
// which then prints its counts.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "UdpRelay.h"

namespace {

volatile std::sig_atomic_t cutSignal = 0;
volatile std::sig_atomic_t stopSignal = 0;

int Usage() {
    std::fprintf(stderr,
                 "usage: udprelay --to PORT [--listen PORT] [--delay MIN-MAX] [--loss P] [--duplicate P] [--seed N]\n"
                 "                [--alter N] [--replay N:MS] [--back]\n");
    return 2;
}

bool Number(const char* text, unsigned long max, unsigned long* out) {
    char* end = nullptr;
    *out = std::strtoul(text, &end, 10);
    return end != text && *end == '\0' && *out <= max;
}

bool Fraction(const char* text, double* out) {
    char* end = nullptr;
    *out = std::strtod(text, &end);
    return end != text && *end == '\0' && *out >= 0 && *out <= 1;
}

}  // namespace

int main(int argc, char** argv) {
    RelayOptions o;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--back") == 0) {
            o.tamperToTarget = false;
            continue;
        }
        if (i + 1 >= argc) return Usage();
        const char* value = argv[++i];
        unsigned long n = 0;
        if (std::strcmp(arg, "--to") == 0 && Number(value, 65535, &n) && n > 0) {
            o.targetPort = static_cast<uint16_t>(n);
        } else if (std::strcmp(arg, "--listen") == 0 && Number(value, 65535, &n)) {
            o.listenPort = static_cast<uint16_t>(n);
        } else if (std::strcmp(arg, "--delay") == 0) {
            const std::string text = value;
            const size_t dash = text.find('-');
            unsigned long lo = 0, hi = 0;
            if (dash == std::string::npos || !Number(text.substr(0, dash).c_str(), 60000, &lo) ||
                !Number(text.substr(dash + 1).c_str(), 60000, &hi) || hi < lo)
                return Usage();
            o.minDelayMs = static_cast<uint32_t>(lo);
            o.maxDelayMs = static_cast<uint32_t>(hi);
        } else if ((std::strcmp(arg, "--loss") == 0 && Fraction(value, &o.loss)) ||
                   (std::strcmp(arg, "--duplicate") == 0 && Fraction(value, &o.duplicate))) {
            continue;
        } else if (std::strcmp(arg, "--alter") == 0 && Number(value, ~0u, &n) && n > 0) {
            o.alterNth = static_cast<uint32_t>(n);
        } else if (std::strcmp(arg, "--replay") == 0) {
            const std::string text = value;
            const size_t colon = text.find(':');
            unsigned long nth = 0, ms = 0;
            if (colon == std::string::npos || !Number(text.substr(0, colon).c_str(), ~0u, &nth) || nth == 0 ||
                !Number(text.substr(colon + 1).c_str(), 60000, &ms))
                return Usage();
            o.replayNth = static_cast<uint32_t>(nth);
            o.replayAfterMs = static_cast<uint32_t>(ms);
        } else if (std::strcmp(arg, "--seed") == 0 && Number(value, ~0ul, &n)) {
            o.seed = n;
        } else {
            return Usage();
        }
    }
    if (o.targetPort == 0) return Usage();
    UdpRelay relay;
    std::string why;
    if (!relay.Open(o, &why)) {
        std::fprintf(stderr, "udprelay: %s\n", why.c_str());
        return 1;
    }
    std::signal(SIGUSR1, [](int) { cutSignal = 1; });
    std::signal(SIGINT, [](int) { stopSignal = 1; });
    std::signal(SIGTERM, [](int) { stopSignal = 1; });
    std::printf("udprelay: 127.0.0.1:%u -> 127.0.0.1:%u\n", relay.Port(), o.targetPort);
    std::fflush(stdout);
    std::thread watcher([&] {
        while (!stopSignal) {
            if (cutSignal) relay.Cut();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        relay.Stop();
    });
    relay.Run();
    watcher.join();
    const RelayCounts c = relay.Counts();
    std::printf(
        "udprelay: received %llu, sent %llu, lost %llu, duplicated %llu, cut %llu, altered %llu, replayed %llu\n",
        static_cast<unsigned long long>(c.received), static_cast<unsigned long long>(c.sent),
        static_cast<unsigned long long>(c.lost), static_cast<unsigned long long>(c.duplicated),
        static_cast<unsigned long long>(c.cut), static_cast<unsigned long long>(c.altered),
        static_cast<unsigned long long>(c.replayed));
    std::printf("udprelay: %llu bytes from the client, %llu from the target\n",
                static_cast<unsigned long long>(c.bytesFromClient), static_cast<unsigned long long>(c.bytesFromTarget));
    return 0;
}
