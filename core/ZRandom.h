// The process-wide random generator (seeded once) and the sleep call.
#pragma once

#include <cstdint>

// Seeds the generator from the wall clock, or from the fixed seed when one is set; only the first
// call after start-up (or after ResetRandomSeed) seeds.
void SeedRandom();
bool IsRandomSeeded();
// Lets the next SeedRandom seed again; for tests and replays.
void ResetRandomSeed();
// A value in 0..0x7FFF.
int RandomValue();
void ZSleep(uint32_t ms);
