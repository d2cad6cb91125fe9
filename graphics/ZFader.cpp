#include "graphics/ZFader.h"

#include <algorithm>

#include "platform/Clock.h"

namespace {

// What colour a fade hands to the apply step.
class FadeColor {
  public:
    FadeColor(const uint8_t* from, const uint8_t* to, int16_t direction)
        : from_(from != nullptr ? from : to), to_(to), blackened_(direction != 0) {}

    // The colour after elapsed of duration milliseconds, written to out when it has to be computed; null
    // when the fade carries no colour.
    const uint8_t* At(uint32_t elapsed, int32_t duration, uint8_t out[3]) const {
        if (from_ == nullptr) {
            return nullptr;
        }
        if (blackened_) {
            out[0] = out[1] = out[2] = 0;
            return out;
        }
        if (to_ == nullptr || from_ == to_) {
            return from_;
        }
        for (int32_t i = 0; i < 3; ++i) {
            int64_t span = int64_t(to_[i]) - from_[i];
            out[i] = uint8_t(from_[i] + int64_t(elapsed) * span / duration);
        }
        return out;
    }

  private:
    const uint8_t* from_;
    const uint8_t* to_;
    bool blackened_;
};

// Waits until the tick count moves on from last and returns the new reading. We ask only whether it
// changed, never whether it grew, so the wait holds across the 32-bit wrap; the millisecond of sleep
// between readings spares the processor and lets a virtual clock move.
uint32_t NextTick(uint32_t last) {
    uint32_t now = platform::TickCount();
    while (now == last) {
        platform::Sleep(1);
        now = platform::TickCount();
    }
    return now;
}

}  // namespace

ZFader::ZFader(int32_t device) : device_(device != 0 ? device : kDefaultDevice) {}

void ZFader::Fade(int16_t fromLevel, int16_t toLevel, int32_t duration, const uint8_t* fromColor,
                  const uint8_t* toColor, int16_t direction) {
    FadeColor color(fromColor, toColor, direction);
    uint32_t start = platform::TickCount();
    if (duration <= 0) {
        return;
    }
    // Elapsed time is the unsigned difference from the start, which stays right when the tick count
    // wraps during the fade.
    uint32_t last = start;
    uint32_t elapsed = 0;
    while (elapsed < uint32_t(duration)) {
        last = NextTick(last);
        elapsed = std::min(last - start, uint32_t(duration));
        uint8_t rgb[3];
        int64_t level = int64_t(fromLevel) * duration + int64_t(elapsed) * (int64_t(toLevel) - fromLevel);
        ApplyLevel(level, int64_t(duration) * 100, color.At(elapsed, duration, rgb));
    }
}

void ZFader::ApplyLevel(int64_t, int64_t, const uint8_t*) {}
