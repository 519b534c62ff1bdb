#pragma once
#include <SDL.h>

#include <cstdint>

// The SDL host's one clock: the performance counter, counted from the
// host's start, with the conversions the pacing needs.
class SdlClock {
public:
    SdlClock() : frequency_(SDL_GetPerformanceFrequency()), base_(SDL_GetPerformanceCounter()) {}

    uint64_t Now() const { return SDL_GetPerformanceCounter(); }
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
    uint64_t frequency_;
    uint64_t base_;
};
