#include "core/rng.h"

namespace {
uint32_t rng_state = 0;
}

void rng_seed(uint32_t seed) { rng_state = seed; }

int rng_next()
{
    rng_state = rng_state * 214013u + 2531011u;
    return static_cast<int>((rng_state >> 16) & 32767u);
}

float frand() { return static_cast<float>(rng_next()) * (1.0f / 32767.0f); }
