// An 8-bit picture plus a table that says, per pixel value, whether drawing may land on that pixel.
#pragma once

#include <cstdint>

#include "graphics/ZGraphicMedia.h"

class ZPicture;

class ZMask : public ZGraphicMedia {
  public:
    // Loads the picture item with the id as 8-bit memory pixels without black-and-white placement, and
    // keeps its first offscreen locked. Every value starts blocked.
    explicit ZMask(uint16_t mediaId);

    int32_t Draw(ZGraphicDevice&, const ZRect&, const ZRect*) override { return 0; }
    ZPicture* GetPicture() const { return picture_; }
    // blocked[v] != 0: pixels of value v receive no drawing.
    uint8_t* GetBlocked() { return blocked_; }

  protected:
    ~ZMask() override;

  private:
    ZPicture* picture_ = nullptr;
    uint8_t blocked_[256];
};
