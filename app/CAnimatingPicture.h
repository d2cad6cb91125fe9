// A picture made of a run of equally sized frame items of the media container, and optionally their
// alpha planes, decoded once into one vertical strip that an animating control shows a frame at a time.
#pragma once

#include <cstdint>

#include "graphics/ZPicture.h"

class CAnimatingPicture : public ZPicture {
  public:
    // Frames firstFrame .. lastFrame (just firstFrame when lastFrame is lower); item firstFrame + k is
    // masked by alpha firstAlpha + k up to lastAlpha, and by lastAlpha after it (alpha id 0 with no such
    // item: none). Missing items and frames of another size than the first are left out with their
    // alphas, and later frames move up; when fewer alphas than frames remain, the last one repeats.
    // Without the first item the picture stays empty.
    CAnimatingPicture(uint16_t firstFrame, uint16_t lastFrame, uint16_t firstAlpha, uint16_t lastAlpha);

  protected:
    ~CAnimatingPicture() override = default;
};
