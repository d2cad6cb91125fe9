// A run of equally sized frame items (and, optionally, their alpha planes) turned into one picture: a
// vertical strip of all frames with one frame shown at a time. Every frame is decoded once, when the
// picture is made, so that playing the animation is a copy from a fixed offset.
#pragma once

#include <cstdint>

#include "graphics/ZPicture.h"

class CAnimatingPicture : public ZPicture {
  public:
    // Frames firstId..lastId; alphas from firstAlphaId on, one per frame until lastAlphaId, after which
    // the last one serves the remaining frames (an alpha id without an item means no alpha). Frames that
    // are missing or differ in size from the first are left out with their alphas; an alpha of another
    // size is left out alone. Without a first frame the picture is empty, with 0 frames. Reference
    // counted: the maker releases it.
    CAnimatingPicture(uint16_t firstId, uint16_t lastId, uint16_t firstAlphaId, uint16_t lastAlphaId);

  protected:
    ~CAnimatingPicture() override = default;
};
