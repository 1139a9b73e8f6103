#pragma once

#include <cstdint>

// The show's one pseudo-random generator (a linear congruential generator),
// drawn from on the main thread only, so layouts repeat from run to run.
void rng_seed(uint32_t seed);
int rng_next();   // 0 to 32767
float frand();    // 0 to 1 inclusive
