// A timed transition of the screen level (a percentage) and, optionally, of a colour. Every intermediate
// value goes to the apply step, which has no visible effect in this system, so a fade is a blocking wait
// of its duration. The backdrop window fades towards black through one before it opens.
#pragma once

#include <cstdint>

#include "core/ZLinkedList.h"

class ZFader : public ZListElement {
  public:
    // The device that a fade would drive; 0 stands for the process-wide default.
    static constexpr int32_t kDefaultDevice = 0;

    explicit ZFader(int32_t device = kDefaultDevice);
    ~ZFader() override = default;

    // Interpolates from fromLevel to toLevel (percentages) over duration milliseconds of tick count and
    // returns when the duration has passed, without yielding to the message loop. Colours are R, G, B or
    // null: with both given and direction 0 the colour runs from fromColor to toColor; with direction not
    // 0 the colour handed on is black; with one given it stays that colour. Nothing happens for a
    // duration <= 0.
    void Fade(int16_t fromLevel, int16_t toLevel, int32_t duration, const uint8_t* fromColor,
              const uint8_t* toColor, int16_t direction);

    // The apply step: level / scale is the current level as a fraction of 1 (scale is duration * 100);
    // color is R, G, B or null. It does nothing here; a fader with a visible effect overrides it.
    virtual void ApplyLevel(int64_t level, int64_t scale, const uint8_t* color);

    int32_t GetDevice() const { return device_; }

  private:
    int32_t device_;
};
