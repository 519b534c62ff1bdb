#pragma once
#include <SDL.h>

#include <cstdint>
#if defined(__linux__)
#include <cerrno>
#include <ctime>
#endif

// The SDL host's one clock, counted from the host's start, with the
// conversions the pacing needs and a sleep to a moment on it. On Linux it
// is CLOCK_MONOTONIC in nanoseconds, the clock clock_nanosleep wakes on, so
// a pass sleeps to its deadline without waking early and waiting out the
// rest (SDL's counter is CLOCK_MONOTONIC_RAW there, which no sleep takes).
// Elsewhere it is SDL's performance counter.
class SdlClock {
public:
#if defined(__linux__)
    SdlClock() : frequency_(kNanosPerSecond), base_(Now()) {}

    uint64_t Now() const {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return static_cast<uint64_t>(now.tv_sec) * kNanosPerSecond + static_cast<uint64_t>(now.tv_nsec);
    }
    // Sleeps until Now() reaches `deadline` (a signal does not cut it short).
    void SleepUntil(uint64_t deadline) const {
        timespec until{};
        until.tv_sec = static_cast<time_t>(deadline / kNanosPerSecond);
        until.tv_nsec = static_cast<long>(deadline % kNanosPerSecond);
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {}
    }
#else
    SdlClock() : frequency_(SDL_GetPerformanceFrequency()), base_(SDL_GetPerformanceCounter()) {}

    uint64_t Now() const { return SDL_GetPerformanceCounter(); }
    // SDL_Delay sleeps whole milliseconds and may overshoot by one: it
    // sleeps to within 2 ms of `deadline`, and the counter is read for the
    // rest.
    void SleepUntil(uint64_t deadline) const {
        for (uint64_t now = Now(); now < deadline; now = Now()) {
            const uint64_t ms = (deadline - now) * 1000 / frequency_;
            if (ms > 2) SDL_Delay(static_cast<Uint32>(ms - 2));
        }
    }
#endif
    uint64_t Frequency() const { return frequency_; }
    uint64_t Base() const { return base_; }

    // Whole milliseconds in `counts` (rounded down).
    uint64_t CountsToWholeMs(uint64_t counts) const {
        return counts / frequency_ * 1000 + counts % frequency_ * 1000 / frequency_;
    }
    // Counter counts that a duration of whole milliseconds takes (rounded up).
    uint64_t MsToCounts(uint64_t ms) const { return ms / 1000 * frequency_ + (ms % 1000 * frequency_ + 999) / 1000; }
    double CountsToMs(uint64_t counts) const {
        return static_cast<double>(counts) * 1000.0 / static_cast<double>(frequency_);
    }

private:
    static constexpr uint64_t kNanosPerSecond = 1000000000;
    uint64_t frequency_;
    uint64_t base_;
};
