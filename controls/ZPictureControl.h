// A control that shows one picture, or one frame of a picture whose frames form a vertical strip,
// optionally scaled to the control's size. A point hits it only where the picture is not transparent,
// and presses and clicks are told to the panel.
#pragma once

#include <cstdint>
#include <memory>

#include "controls/ZControl.h"

class ZOffscreen;
class ZPicture;

class ZPictureControl : public ZControl {
  public:
    static constexpr int32_t kClassId = 258;
    // Resource cursors of a draggable picture: over it, and while it is dragged.
    static constexpr int32_t kCursorGrab = 105;
    static constexpr int32_t kCursorDragging = 106;

    // Shows the picture item mediaId (none when its low 16 bits are 0). With a width and height of 0
    // the control takes the picture's size.
    ZPictureControl(int32_t id, int32_t mediaId, int32_t x, int32_t y, int32_t layer, int32_t width,
                    int32_t height, ZPanel* panel = BuildingPanel());
    // Shows picture (null: none), taking a reference of its own.
    ZPictureControl(int32_t id, ZPicture* picture, int32_t x, int32_t y, int32_t layer, int32_t width,
                    int32_t height, ZPanel* panel = BuildingPanel());
    ~ZPictureControl() override;

    // False when it is the picture shown already.
    bool SetPicture(ZPicture* picture, ZRedraw redraw);
    ZPicture* GetPicture() const { return picture_; }
    // Returns the previous setting. A picture with a mask or an alpha channel is never scaled: its
    // edges would not survive resampling. With a rect, the scaled copy is made for its size at once.
    bool SetScaled(bool on, const ZRect* rect);
    bool IsScaled() const { return scaled_; }
    void SetPixelHitTest(bool on) { pixelHitTest_ = on; }
    void SetPictureOffset(const ZPoint& offset);
    // The frame shown; clamped into the picture's frames when drawn.
    void SetFrameIndex(int32_t frame);
    int32_t GetFrameIndex() const { return frameIndex_; }
    // Where the last press or release landed, relative to the control.
    ZPoint GetGrabPoint() const { return grabPoint_; }

    void DrawContent(ZGraphicDevice& device, const ZRect& rect) override;
    // Right and bottom edges excluded, and only where the shown frame is not transparent.
    bool ContainsPoint(const ZPoint& point) const override;
    // What lies below shows through a picture with a mask or an alpha channel.
    bool IsTransparent() const override;
    bool MouseDown(const ZMouseEvent& event) override;
    bool MouseUp(const ZMouseEvent& event) override;
    bool CursorQuery(const ZMouseEvent& event) override;

  protected:
    // The picture holds at least one frame with pixels to show.
    bool HasFrames() const;
    // frameIndex_ within 0 .. frame count - 1, and 0 when there are no frames.
    int32_t ClampedFrame() const;
    int32_t GetFrameCount() const;
    // Shows frame and redraws the control when it is another one.
    void ShowFrame(int32_t frame);
    // Sends a notification back from this control's event handler: itself, its siblings, its panel.
    bool Notify(int kind);
    void RecordGrab(const ZMouseEvent& event);

  private:
    ZPictureControl(int32_t id, int32_t x, int32_t y, int32_t layer, int32_t width, int32_t height,
                    ZPanel* panel);
    // Whether the scaled copy stands in for the picture in a frame of size.
    bool UsesScaledCopy(int32_t width, int32_t height) const;
    void RebuildScaledCopy(int32_t width, int32_t height);
    void DropScaledCopy();

    bool scaled_ = false;
    bool cacheDirty_ = true;
    bool pixelHitTest_ = true;
    bool fixedSize_;
    int32_t cachedHeight_ = 0;
    int32_t cachedWidth_ = 0;
    ZPicture* scaledCopy_ = nullptr;  // one reference
    std::unique_ptr<ZOffscreen> scalingBuffer_;
    ZPicture* picture_ = nullptr;  // one reference
    ZPoint grabPoint_;
    ZPoint pictureOffset_;
    int32_t frameIndex_ = 0;
};
