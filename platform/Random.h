// The program's source of random numbers. Injectable so that tests and `--seed=N` runs replay the same
// draws; the default generator is seeded from the wall clock.
#pragma once

#include <cstdint>

namespace platform {

class Random {
  public:
    virtual ~Random() = default;
    virtual void Seed(uint32_t seed) = 0;
    // A value in 0..0x7FFF.
    virtual int Next() = 0;
};

// A small linear congruential generator with 15-bit results: the same sequence on every platform for a
// given seed.
class LcgRandom final : public Random {
  public:
    explicit LcgRandom(uint32_t seed = 1) : state_(seed) {}
    void Seed(uint32_t seed) override { state_ = seed; }
    int Next() override {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFF);
    }

  private:
    uint32_t state_;
};

// A generator that hands out a fixed list of values in turn (then repeats them); for tests.
class ScriptedRandom final : public Random {
  public:
    ScriptedRandom(const int* values, int count) : values_(values), count_(count) {}
    void Seed(uint32_t) override {}
    int Next() override {
        if (count_ <= 0) {
            return 0;
        }
        int v = values_[index_ % count_] & 0x7FFF;
        ++index_;
        return v;
    }

  private:
    const int* values_;
    int count_;
    int index_ = 0;
};

// The generator the program draws from. Never null.
Random& GetRandom();
// Installs a generator (null restores the default) and returns the previous one; caller keeps ownership.
Random* SetRandom(Random* random);

// When set (by `--seed=N`), seeding from the time uses this value instead.
void SetFixedSeed(bool enabled, uint32_t seed);
bool GetFixedSeed(uint32_t* seed);

}  // namespace platform
