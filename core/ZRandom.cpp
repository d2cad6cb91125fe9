#include "core/ZRandom.h"

#include <atomic>

#include "platform/Clock.h"
#include "platform/Random.h"

namespace {
std::atomic<bool> gSeeded{false};
}  // namespace

void SeedRandom() {
    if (gSeeded.exchange(true)) {
        return;
    }
    uint32_t seed = 0;
    if (!platform::GetFixedSeed(&seed)) {
        seed = platform::WallSeconds();
    }
    platform::GetRandom().Seed(seed);
}

bool IsRandomSeeded() {
    return gSeeded.load();
}

void ResetRandomSeed() {
    gSeeded.store(false);
}

int RandomValue() {
    return platform::GetRandom().Next() & 0x7FFF;
}

void ZSleep(uint32_t ms) {
    platform::Sleep(ms);
}
