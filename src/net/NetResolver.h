#pragma once
#include <cstddef>
#include <cstdint>

#include "net/NetAddress.h"

struct addrinfo;

// Looks a host's name up without holding the game up: each lookup runs
// getaddrinfo on a thread of its own, started by Start; the game asks how
// it went once a frame (Poll, which never waits and never allocates). A
// lookup that has not answered within its time bound fails with words, and
// one given up (Cancel, or a new Start) is left to end on its own thread,
// its answer thrown away. Numeric addresses come back as they are.
class NetResolver {
public:
    enum class State : uint8_t { Idle, Running, Done, Failed };
    // What looks a name up: getaddrinfo, or a test's stand-in.
    using LookupFunction = int (*)(const char* name, const char* service, const addrinfo* hints, addrinfo** found);
    static constexpr uint32_t kTimeoutMs = 5000;

    NetResolver() = default;
    ~NetResolver() { Cancel(); }
    NetResolver(const NetResolver&) = delete;
    NetResolver& operator=(const NetResolver&) = delete;

    // Starts looking up `address` ("HOST[:PORT]", as ParseNetAddress reads
    // it), giving up a lookup still running. False (Failed, with why) when
    // the text is no address or no thread can be had.
    bool Start(const char* address, uint32_t timeoutMs = kTimeoutMs);
    // How the lookup goes, at once.
    State Poll();
    // Waits for the answer (or the time bound): for a program's start-up,
    // never for a frame.
    State WaitForAnswer();
    // Gives up a running lookup (Idle).
    void Cancel();
    State GetState() const { return state_; }
    // The name as typed, without its port ("" before a Start).
    const char* Name() const { return name_; }
    // Done: the address to join, numeric, with its port ("127.0.0.1:7311",
    // "[::1]:7311").
    const char* Numeric() const { return numeric_; }
    // Failed: why, in a few words after "cannot join: ".
    const char* Failure() const { return failure_; }

    // Tests put a stand-in in place of getaddrinfo (nullptr: getaddrinfo).
    static void SetLookupFunction(LookupFunction lookup);

    struct Job;  // one lookup, shared with its thread

private:
    void Fail(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // (The browser looks nothing up: it keeps these unused.)
    [[maybe_unused]] Job* job_ = nullptr;
    State state_ = State::Idle;
    [[maybe_unused]] uint64_t startedUs_ = 0;  // steady clock
    uint32_t timeoutMs_ = kTimeoutMs;
    [[maybe_unused]] uint16_t port_ = kNetDefaultPort;
    char name_[kNetHostNameBytes] = {};
    char numeric_[kNetAddressTextBytes] = {};
    char failure_[kNetHostNameBytes + 96] = {};
};
