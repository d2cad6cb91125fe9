// Media that can draw themselves: pictures, alpha channels and masks.
#pragma once

#include <cstdint>

#include "core/ZRect.h"
#include "media/ZMedia.h"

class ZGraphicDevice;

class ZGraphicMedia : public ZMedia {
  public:
    // Draws into placeRect of device, limited to clipRect when one is given; returns 0 or a load error.
    virtual int32_t Draw(ZGraphicDevice& device, const ZRect& placeRect, const ZRect* clipRect) = 0;
};
