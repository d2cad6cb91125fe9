// A plane of 6-bit alpha values (0 transparent, 63 opaque) in an 8-bit memory offscreen, loaded from a
// "RAX " item: an 8-byte little-endian header (width i16, height i16, stride i32, stored but not used),
// then height rows of (width + 3) & ~3 bytes, one value per byte.
#pragma once

#include <cstdint>
#include <memory>

#include "graphics/ZGraphicMedia.h"
#include "graphics/ZOffscreen.h"
#include "media/ZFile.h"

class ZAlphaChannel : public ZGraphicMedia {
  public:
    // Loads the "RAX " item at once.
    explicit ZAlphaChannel(uint16_t mediaId);
    // An empty plane of the rectangle's size (contents 0); not reloadable.
    explicit ZAlphaChannel(const ZRect& rect);
    // The part of source inside clipRect (null: all), values copied.
    ZAlphaChannel(ZAlphaChannel& source, const ZRect* clipRect);

    int32_t Load() override;
    int32_t Unload() override;
    int32_t Draw(ZGraphicDevice&, const ZRect&, const ZRect*) override { return 0; }

    // Reads "RAX " data from file into the plane; -1 for malformed or short data.
    int32_t ReadRax(ZFile& file);
    // 0..63 at (x, y) moved by the origin; 0 outside the plane or without one.
    int32_t GetAlphaAt(int32_t x, int32_t y) const;
    // Unites this plane into target's: every target value d becomes the alpha of the union of coverages d
    // and s (this plane's value) at the given opacity. Rectangles clip as offscreen copies do.
    void CombineInto(ZAlphaChannel& target, const ZRect* sourceRect, const ZRect* targetRect,
                     int32_t opacity);

    ZOffscreen* GetPlane() const { return plane_.get(); }
    const ZRect& GetBounds() const { return bounds_; }
    void SetOrigin(int32_t x, int32_t y) {
        originX_ = x;
        originY_ = y;
    }

    // The largest edge a "RAX " item may have.
    static constexpr int32_t kMaxEdge = 16384;

  protected:
    ~ZAlphaChannel() override = default;

  private:
    int32_t ReadPicture();
    const uint8_t* UnionTable(int32_t opacity);

    ZRect bounds_;
    std::unique_ptr<ZOffscreen> plane_;
    uint16_t mediaId_ = 0;
    int32_t originX_ = 0;
    int32_t originY_ = 0;
    bool failed_ = false;
    int32_t unionOpacity_ = -1;
    std::unique_ptr<uint8_t[]> unionTable_;
};
