#include "world/Random.h"

namespace {
uint32_t state = 1;
}

void SeedRandom(uint32_t seed) { state = seed; }

int32_t Rand() {
    state = state * 214013u + 2531011u;
    return static_cast<int32_t>((state >> 16) & 0x7FFF);
}

uint32_t RandomState() { return state; }
