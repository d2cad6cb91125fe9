// The one pixel store of the system: a rectangle of pixels in one of the pixel formats, with a palette
// for 8-bit pixels and a transfer mode that says how it is drawn onto another. "DIB section" offscreens
// keep the platform bitmap's rules (bottom-up rows, strides padded to 4 bytes, 16 bits stored as 5-5-5);
// memory offscreens are top-down. Pixel memory is 32-byte aligned and zero-filled.
#pragma once

#include <cstdint>

#include "core/ZLinkedList.h"
#include "core/ZRect.h"
#include "graphics/ZPixelFormat.h"
#include "graphics/ZTransferMode.h"

class CWnd;
class ZFile;
class ZAlphaChannel;
class ZColorTable;
class ZMask;

class ZOffscreen : public ZListElement {
  public:
    // depth 0 (or -2) means the screen's depth; format 0 or 1 the default for the depth; stride 0 the
    // computed one; colorTable null the current colour table. Without memory the offscreen has no pixels.
    ZOffscreen(const ZRect& rect, int32_t depth, ZColorTable* colorTable = nullptr,
               int16_t kind = kKindDefault, int16_t format = 0, int32_t stride = 0);
    // A colour-only offscreen: no pixels, it stands for a rectangle of colour rgb.
    ZOffscreen(const ZRect& rect, const uint8_t rgb[3]);
    // A copy of the part of source inside clipRect (null: all): same kind, depth, format and colour, the
    // pixels copied, the transfer mode copied with its alpha channel cropped to the part.
    ZOffscreen(ZOffscreen& source, const ZRect* clipRect);
    ~ZOffscreen() override;
    ZOffscreen(const ZOffscreen&) = delete;
    ZOffscreen& operator=(const ZOffscreen&) = delete;

    // Pins the pixels while they are addressed; true when there are pixels.
    bool Lock();
    void Unlock();
    int32_t GetLockCount() const { return lockCount_; }
    uint8_t* GetPixels() const { return pixels_; }
    // The address of row y of the image (row 0 is the last stored row of a bottom-up offscreen), and the
    // step from one image row to the next (negative when bottom-up).
    uint8_t* RowAddress(int32_t y) const;
    int32_t RowStep() const { return bottomUp_ ? -stride_ : stride_; }

    void Clear();
    // Exchanges row i with row height - 1 - i.
    void FlipRows();
    // Converts this offscreen's pixels from its own format to toFormat of the same depth.
    void ConvertByteOrder(int16_t toFormat);
    // Converts pixel memory between two formats of one depth.
    static void ConvertByteOrder(uint8_t* pixels, int32_t stride, int32_t width, int32_t height,
                                 int32_t depth, int16_t fromFormat, int16_t toFormat);
    // Fills rect (null: all; clipped) with rgb (null: the offscreen's colour).
    void Fill(const ZRect* rect, const uint8_t* rgb);
    // Copies sourceRect (null: all) to targetRect (null: all) of target; negative origins on either side
    // move the other side along, the extent is what fits in both. Between formats (or palettes) the
    // converters change the pixels and the target takes the adjusted transfer mode. False when nothing was
    // copied.
    bool CopyTo(ZOffscreen& target, const ZRect* sourceRect, const ZRect* targetRect);

    // Composes sourceRect of this offscreen onto targetRect of target (same format) with this offscreen's
    // transfer mode: transparency, opacity, alpha channel, mask; a colour-only offscreen fills.
    void DrawInto(ZOffscreen& target, const ZRect* sourceRect, const ZRect* targetRect);
    // Copies sourceRect (null: all) to targetRect (null: the window's client area) of the window's part of
    // the screen. The pixels must be in the screen's layout (a 15-bit offscreen may go to a 16-bit screen).
    void DrawToWindow(CWnd& window, const ZRect* sourceRect, const ZRect* targetRect);

    // Reads height rows of width pixels, stored stride bytes apart in the file's depth and format (rows
    // bottom first when bottomUp), into the top-left of the pixels, converting to this offscreen's row order
    // and format. Rows and width beyond the offscreen are not read. Returns the bytes read, 0 on a short
    // read, a stride shorter than a row, or a depth this offscreen does not have.
    int32_t ReadRows(ZFile& file, int32_t width, int32_t height, int32_t stride, int32_t depth,
                     int16_t format, bool bottomUp);
    // For an 8-bit offscreen whose colour table placed black and white: exchanges the values of the white
    // index and 255, then of the black index and 0, so the pixels keep their colours.
    void RemapPlacedPalette();

    // Keeps a reference to table (null: the current one; an equal current table stands in for it) and
    // releases the previous. With convert, 8-bit pixels are remapped to keep their colours.
    void SetColorTable(ZColorTable* table, bool convert = false);
    // With an added reference, or null.
    ZColorTable* GetColorTable() const;
    // Copies mode and fits it to the offscreen: a transparent index on pixels that are not 8-bit becomes
    // the key colour of that entry, a key colour on 8-bit pixels becomes the nearest index.
    void SetTransferMode(const ZTransferMode& mode);
    const ZTransferMode& GetTransferMode() const { return mode_; }
    // Releases the alpha channel and mask and clears every flag.
    void ClearTransferMode() { mode_ = ZTransferMode(); }
    void SetAlphaChannel(ZAlphaChannel* channel) { mode_.SetAlphaChannel(channel); }
    // With an added reference, or null.
    ZAlphaChannel* GetAlphaChannel() const;
    void SetMask(ZMask* mask) { mode_.SetMask(mask); }
    int32_t GetOpacity() const { return mode_.Has(ZTransferMode::kUseOpacity) ? mode_.opacity : 63; }
    // The 6-bit coverage at (x, y): 0 outside, on the transparent index or key colour; else the alpha
    // channel's value (63 without one) scaled by the opacity.
    int32_t GetAlphaAt(int32_t x, int32_t y) const;
    // The colour of the pixel at (x, y), inside the offscreen, as 0xRRGGBB (8-bit pixels through the colour
    // table, or as grey without one).
    uint32_t ColorAt(int32_t x, int32_t y) const;

    const ZRect& GetRect() const { return rect_; }
    int32_t GetWidth() const { return rect_.right; }
    int32_t GetHeight() const { return rect_.bottom; }
    int32_t GetDepth() const { return depth_; }
    int16_t GetFormat() const { return format_; }
    int16_t GetKind() const { return kind_; }
    int32_t GetStride() const { return stride_; }
    bool IsBottomUp() const { return bottomUp_; }
    bool IsColorOnly() const { return colorOnly_; }
    const uint8_t* GetColor() const { return color_; }
    bool IsVisible() const { return visible_; }
    void SetVisible(bool visible) { visible_ = visible; }
    ZPoint GetPosition() const { return position_; }
    void SetPosition(const ZPoint& p) { position_ = p; }

    // The storage kind that kind 0 stands for (memory unless windows ask for platform bitmaps).
    static void SetDefaultKind(int16_t kind);
    static int16_t GetDefaultKind();
    // Largest edge accepted, so that every byte count fits in 32 bits.
    static constexpr int32_t kMaxEdge = 16384;

  private:
    bool Allocate(int32_t width, int32_t height, int32_t depth, int16_t kind, int16_t format, int32_t stride);
    void ReleasePixels();
    void RemapPixels(ZColorTable& from, ZColorTable& to);

    int16_t kind_ = kKindMemory;
    int16_t format_ = 0;
    bool colorOnly_ = false;
    uint8_t* pixels_ = nullptr;
    ZColorTable* colorTable_ = nullptr;
    uint8_t color_[3] = {0, 0, 0};
    ZRect rect_;
    int32_t depth_ = 0;
    bool visible_ = true;
    ZPoint position_;
    ZTransferMode mode_;
    int32_t stride_ = 0;
    bool bottomUp_ = false;
    int32_t lockCount_ = 0;
};
