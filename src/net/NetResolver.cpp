#include "net/NetResolver.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#ifndef __EMSCRIPTEN__
#include <netdb.h>
#include <pthread.h>
#include <sys/socket.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <new>
#endif

#ifdef __EMSCRIPTEN__

// The browser hosts and joins no game: nothing to look up.
struct NetResolver::Job {};

bool NetResolver::Start(const char* address, uint32_t timeoutMs) {
    Cancel();
    timeoutMs_ = timeoutMs;
    std::snprintf(name_, sizeof name_, "%s", address != nullptr ? address : "");
    Fail("the browser cannot look %s up", name_);
    return false;
}
NetResolver::State NetResolver::Poll() { return state_; }
NetResolver::State NetResolver::WaitForAnswer() { return state_; }
void NetResolver::Cancel() { state_ = State::Idle; }
void NetResolver::SetLookupFunction(LookupFunction) {}

#else

namespace {

std::atomic<NetResolver::LookupFunction> gLookup{nullptr};

uint64_t NowUs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

// A name under the reserved "invalid" domain, which no host may have: said
// at once, without asking the network.
bool ReservedInvalid(const char* name) {
    static const char kInvalid[] = "invalid";
    size_t length = std::strlen(name);
    if (length > 0 && name[length - 1] == '.') --length;
    const size_t tail = sizeof kInvalid - 1;
    if (length < tail || strncasecmp(name + length - tail, kInvalid, tail) != 0) return false;
    return length == tail || name[length - tail - 1] == '.';
}

}  // namespace

struct NetResolver::Job {
    std::atomic<int> holders{2};  // the resolver and the thread
    std::atomic<bool> done{false};
    LookupFunction lookup = nullptr;
    char name[kNetHostNameBytes] = {};
    int error = 0;  // getaddrinfo's
    char host[kNetAddressTextBytes] = {};

    static void Release(Job* job) {
        if (job->holders.fetch_sub(1, std::memory_order_acq_rel) == 1) delete job;
    }
    static void* Run(void* self) {
        Job* job = static_cast<Job*>(self);
        if (ReservedInvalid(job->name)) {
            job->error = EAI_NONAME;
        } else {
            addrinfo hints{};
            hints.ai_family = AF_UNSPEC;
            hints.ai_socktype = SOCK_DGRAM;
            addrinfo* found = nullptr;
            job->error = job->lookup(job->name, nullptr, &hints, &found);
            // The first address, in the order the system prefers.
            if (job->error == 0 && (found == nullptr || getnameinfo(found->ai_addr, found->ai_addrlen, job->host,
                                                                    sizeof job->host, nullptr, 0, NI_NUMERICHOST) != 0))
                job->error = EAI_FAIL;
            if (found != nullptr) freeaddrinfo(found);
        }
        job->done.store(true, std::memory_order_release);
        Release(job);
        return nullptr;
    }
};

void NetResolver::SetLookupFunction(LookupFunction lookup) { gLookup.store(lookup); }

bool NetResolver::Start(const char* address, uint32_t timeoutMs) {
    Cancel();
    timeoutMs_ = timeoutMs;
    numeric_[0] = failure_[0] = name_[0] = '\0';
    const char* why = "";
    if (!ParseNetAddress(address, name_, sizeof name_, &port_, &why)) {
        std::snprintf(name_, sizeof name_, "%s", address != nullptr ? address : "");
        Fail("%s", why);
        return false;
    }
    Job* job = new (std::nothrow) Job;
    if (job == nullptr) {
        Fail("no memory to look %s up", name_);
        return false;
    }
    const LookupFunction lookup = gLookup.load();
    job->lookup = lookup != nullptr ? lookup : getaddrinfo;
    std::memcpy(job->name, name_, sizeof job->name);
    pthread_attr_t attributes;
    pthread_t thread;
    const bool made = pthread_attr_init(&attributes) == 0 &&
                      pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED) == 0 &&
                      pthread_create(&thread, &attributes, &Job::Run, job) == 0;
    pthread_attr_destroy(&attributes);
    if (!made) {
        delete job;
        Fail("no thread could be had to look %s up", name_);
        return false;
    }
    job_ = job;
    startedUs_ = NowUs();
    state_ = State::Running;
    return true;
}

NetResolver::State NetResolver::Poll() {
    if (state_ != State::Running) return state_;
    if (!job_->done.load(std::memory_order_acquire)) {
        if (NowUs() - startedUs_ < uint64_t{timeoutMs_} * 1000) return state_;
        Cancel();
        Fail("no answer about %s in %u s (is this machine on a network?)", name_,
             static_cast<unsigned>((timeoutMs_ + 999) / 1000));
        return state_;
    }
    const int error = job_->error;
    char host[kNetAddressTextBytes];
    std::memcpy(host, job_->host, sizeof host);
    Job::Release(job_);
    job_ = nullptr;
    switch (error) {
    case 0:
        FormatNetAddress(host, port_, numeric_, sizeof numeric_);
        state_ = State::Done;
        break;
    case EAI_NONAME:
        Fail("no host called %s", name_);
        break;
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
#endif
        Fail("%s has no address to join", name_);
        break;
    case EAI_AGAIN:
        Fail("the name server could not say where %s is (try again, or type its numeric address)", name_);
        break;
    case EAI_MEMORY:
        Fail("no memory to look %s up", name_);
        break;
    default:
        Fail("%s could not be looked up (the name server failed)", name_);
        break;
    }
    return state_;
}

NetResolver::State NetResolver::WaitForAnswer() {
    constexpr timespec kNap{0, 5 * 1000 * 1000};
    while (Poll() == State::Running) nanosleep(&kNap, nullptr);
    return state_;
}

void NetResolver::Cancel() {
    if (job_ != nullptr) Job::Release(job_);
    job_ = nullptr;
    state_ = State::Idle;
}

#endif

void NetResolver::Fail(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(failure_, sizeof failure_, format, arguments);
    va_end(arguments);
    state_ = State::Failed;
}
