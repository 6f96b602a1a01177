#pragma once
// The process's one random generator: a linear congruential generator whose 32-bit seed
// is shared by everything that draws from it, so the order of draws is the order of
// calls.
#include <cstdint>

uint32_t RandomSeed();
void SetRandomSeed(uint32_t seed);

// Seeds from the time of day (UTC) in milliseconds since midnight.
void Randomize();

// A number in 0 .. n - 1 for n >= 1, and 0 for n = 0. A negative n is taken as the
// unsigned number of the same bits, so the result may be any 32-bit value.
int32_t Random(int32_t n);
