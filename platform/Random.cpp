#include "platform/Random.h"

namespace platform {

namespace {
LcgRandom gDefaultRandom;
Random* gRandom = &gDefaultRandom;
bool gHasFixedSeed = false;
uint32_t gFixedSeed = 0;
}  // namespace

Random& GetRandom() {
    return *gRandom;
}

Random* SetRandom(Random* random) {
    Random* previous = gRandom;
    gRandom = random != nullptr ? random : &gDefaultRandom;
    return previous == &gDefaultRandom ? nullptr : previous;
}

void SetFixedSeed(bool enabled, uint32_t seed) {
    gHasFixedSeed = enabled;
    gFixedSeed = seed;
}

bool GetFixedSeed(uint32_t* seed) {
    if (gHasFixedSeed && seed != nullptr) {
        *seed = gFixedSeed;
    }
    return gHasFixedSeed;
}

}  // namespace platform
