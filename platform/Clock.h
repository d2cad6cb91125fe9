// Millisecond time for the whole program. Ticks are unsigned 32-bit and wrap after about 49.7 days;
// compare them by subtraction, never with < on absolute values.
#pragma once

#include <cstdint>

namespace platform {

class Clock {
  public:
    virtual ~Clock() = default;
    // Milliseconds since some fixed start; wraps around.
    virtual uint32_t Now() = 0;
    // Block the calling thread for about ms milliseconds (a virtual clock advances instead).
    virtual void Sleep(uint32_t ms) = 0;
};

// The monotonic clock of the machine.
class RealClock final : public Clock {
  public:
    uint32_t Now() override;
    void Sleep(uint32_t ms) override;
};

// A clock that only moves when told to: Sleep advances it at once. Tests and headless runs use it to
// pass minutes of show time in milliseconds of real time.
class VirtualClock final : public Clock {
  public:
    explicit VirtualClock(uint32_t start = 0) : now_(start) {}
    uint32_t Now() override { return now_; }
    void Sleep(uint32_t ms) override { now_ += ms; }
    void Advance(uint32_t ms) { now_ += ms; }
    void Set(uint32_t now) { now_ = now; }

  private:
    uint32_t now_;  // touched only by the user-interface thread
};

// The clock the program reads. Never null: a RealClock until SetClock installs another.
Clock& GetClock();
// Installs a clock (null restores the real one) and returns the previous. The caller keeps ownership.
Clock* SetClock(Clock* clock);

// Shorthands for the current clock.
inline uint32_t TickCount() {
    return GetClock().Now();
}
inline void Sleep(uint32_t ms) {
    GetClock().Sleep(ms);
}

// Seconds since the Unix epoch, for seeding.
uint32_t WallSeconds();

}  // namespace platform
