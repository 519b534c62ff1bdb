#pragma once
#include <cstdint>

// The game's one pseudo-random generator: state * 214013 + 2531011, and
// each call returns bits 16..30 of the new state (0..32767).
void SeedRandom(uint32_t seed);
int32_t Rand();
uint32_t RandomState();
