// An image made of one or more offscreens drawn in list order, optionally a vertical strip of equally
// tall animation frames of which one is shown at a time.
#pragma once

#include <cstdint>

#include "core/ZLinkedList.h"
#include "graphics/ZGraphicMedia.h"
#include "graphics/ZOffscreen.h"
#include "media/ZFileSpec.h"

class ZPicture : public ZGraphicMedia {
  public:
    // The framework's defaults for the reader arguments.
    static constexpr int32_t kDefaultLoadFlags = 7;
    static constexpr int32_t kAllImages = -2;

    // The "RIX " (or other picture) item with the id, loaded at once; reloadable.
    explicit ZPicture(uint16_t mediaId, int32_t loadFlags = 0, int32_t index = -4, int32_t option = -4);
    // A picture file, loaded at once; type "????" takes the type from the extension; reloadable.
    explicit ZPicture(const ZFileSpec& file, ZTypeCode type = kTypeUnknown, int32_t loadFlags = 0,
                      int32_t index = -4, int32_t option = -4);
    // One offscreen of rect's size and depth (default format), with colorTable (null: the current one).
    ZPicture(const ZRect& rect, int32_t depth, ZColorTable* colorTable);
    // One colour-only offscreen: a rectangle of rgb.
    ZPicture(const ZRect& rect, const uint8_t rgb[3]);

    int32_t Load() override;
    int32_t Unload() override;
    // Draws the current frame into placeRect, limited to clipRect; loads first.
    int32_t Draw(ZGraphicDevice& device, const ZRect& placeRect, const ZRect* clipRect) override;

    // Divides the full image into n frames stacked vertically. A picture without offscreens may have 0
    // frames; other counts below 1, and any count without offscreens, are ignored.
    void SetFrameCount(int32_t n);
    int32_t GetFrameCount() const { return frameCount_; }
    void SetCurrentFrame(int32_t frame) { currentFrame_ = frame; }
    int32_t GetCurrentFrame() const { return currentFrame_; }
    // Deletes all offscreens and takes offscreen; with recompute, the full bounds become their union.
    void ReplaceOffscreens(ZOffscreen* offscreen, bool recompute);
    // The union of the offscreens' rectangles at their positions (empty ones skipped).
    ZRect GetUnionBounds() const;
    bool HasTransferMode() const;
    // True when every visible offscreen is transparent at the point of the current frame.
    bool IsTransparentAt(int32_t x, int32_t y) const;
    // The same for a frame of one's own, so that controls sharing the picture each test the frame they
    // show. A point outside the frame is transparent rather than a pixel of a neighbouring frame.
    bool IsTransparentAt(int32_t x, int32_t y, int32_t frame) const;
    bool GetTransferMode(ZTransferMode& mode) const;
    void SetTransferMode(const ZTransferMode& mode);

    // A new 8-bit alpha plane of size whose values are the first offscreen's bytes (0..255) cut to 6 bits,
    // inverted with invert; null without 8-bit pixels or memory.
    ZOffscreen* MakeAlphaPlane(const ZRect& size, bool invert) const;

    // What the image reader is asked for.
    uint16_t GetMediaId() const { return mediaId_; }
    ZTypeCode GetItemType() const { return itemType_; }
    int32_t GetLoadFlags() const { return loadFlags_; }
    int32_t GetImageIndex() const { return imageIndex_; }
    int32_t GetOption() const { return option_; }

    const ZRect& GetBounds() const { return bounds_; }
    const ZRect& GetFullBounds() const { return fullBounds_; }
    ZOffscreen* GetFirstOffscreen() const { return static_cast<ZOffscreen*>(offscreens_.GetHead()); }

  protected:
    ~ZPicture() override = default;

  private:
    void InitEmpty(const ZRect& rect, ZOffscreen* offscreen);
    int32_t frameHeight() const { return frameCount_ > 0 ? fullBounds_.Height() / frameCount_ : 0; }

    ZRect bounds_;
    ZLinkedList offscreens_;
    uint16_t mediaId_ = 0;
    ZFileSpec file_;
    ZTypeCode itemType_ = kTypeUnknown;
    int32_t currentFrame_ = 0;
    int32_t frameCount_ = 1;
    int32_t loadFlags_ = kDefaultLoadFlags;
    int32_t imageIndex_ = kAllImages;
    int32_t option_ = -1;
    ZRect fullBounds_;
    bool failed_ = false;
};
