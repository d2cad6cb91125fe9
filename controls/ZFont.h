// Fonts of the controls. A platform font is created from a face name, a pixel size and a style and is
// measured and drawn by the graphic device; a picture font (ZPictureFont) is a strip of glyph images with a
// table of advance widths. Text controls call TextWidth and DrawText whatever the kind of font.
//
// Every font is in one process-wide registry (newest first), so that equal requests share one font;
// DestroyAllFonts empties it.
#pragma once

#include <cstdint>

#include "core/ZRect.h"
#include "core/ZString.h"
#include "platform/CFont.h"

class ZGraphicDevice;

class ZFont : public CFont {
  public:
    // A platform font: character height size in pixels, style bits 1 bold, 2 italic, 4 underline.
    ZFont(const char* face, int32_t size, int32_t style);
    ~ZFont() override;

    virtual bool IsPlatformFont() const { return true; }
    // The advance of at most maxCount bytes of text (all when negative), stopping at a NUL.
    virtual int32_t TextWidth(const char* text, int32_t maxCount);
    // Draws at most maxCount bytes (all when negative, stopping at a NUL) with the origin at (x, baselineY),
    // clipped to clip (null: the target), in rgb (null: black).
    virtual void DrawText(ZGraphicDevice& device, int32_t x, int32_t baselineY, const char* text,
                          int32_t maxCount, const ZRect* clip, const uint8_t* rgb);

    // Takes the widths of the 256 single-byte texts, the ascent and the descent, once; on the shared work
    // device when device is null.
    void Measure(ZGraphicDevice* device);
    int32_t GetAscent(ZGraphicDevice* device);
    int32_t GetDescent(ZGraphicDevice* device);
    const uint8_t* GetWidths(ZGraphicDevice* device);
    bool IsMeasured() const { return measured_; }

    const ZString& GetFaceName() const { return faceName_; }
    int32_t GetSize() const { return size_; }
    int32_t GetStyle() const { return style_; }
    int32_t GetMediaId() const { return mediaId_; }

    // The registered font of the face (compared exactly), size and style of the wanted kind; made when
    // there is none. A new picture font is rasterised from the platform font of the same request, which is
    // found or made too. A found font is measured on device when one is given. Null for a null face or
    // when no font can be made.
    static ZFont* FindFont(const char* face, int32_t size, int32_t style, ZGraphicDevice* device,
                           bool platform);
    // The picture font of the glyph strip item mediaId (its low 16 bits; 0: null), loaded with the metrics
    // item metricsId (0: the same id) unless one is registered.
    static ZFont* FindPictureFont(int32_t mediaId, int32_t metricsId);
    static void DestroyAllFonts();
    // The first registered font (newest), and the one after a font.
    static ZFont* GetFirstFont();
    ZFont* GetNextFont() const { return next_; }

  protected:
    // A font that is not opened by the platform (picture fonts).
    ZFont();
    // The number of bytes before maxCount or the first NUL.
    static int32_t RunLength(const char* text, int32_t maxCount);
    // A 1 x 1 offscreen device for measuring, shared by all fonts until the registry empties.
    static ZGraphicDevice& WorkDevice();

    ZString faceName_{kDefaultCapacity};
    int32_t size_ = 0;
    int32_t style_ = 0;
    int32_t mediaId_ = 0;
    uint8_t widths_[256] = {};
    int16_t ascent_ = -1;
    int16_t descent_ = -1;
    bool measured_ = false;

  private:
    void Register();

    ZFont* next_ = nullptr;
};
