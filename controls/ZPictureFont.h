// A font drawn from a strip of glyph images: every glyph side by side in code order, glyph c at offset[c]
// (the sum of the widths of the codes before it), the strip as tall as the font's size. The strip is a
// colour picture ("RIX ") drawn as it is, or an alpha strip ("RAX ", or rasterised from a platform font one
// glyph at a time as text needs it) drawn in the tint colour.
//
// The metrics item ("FONT", little-endian): ascent i16, descent i16, 256 advance widths u16 (the low byte
// is used), face name length u32, the name, style i16. An "RDX " item stops after the widths.
#pragma once

#include <bitset>
#include <cstdint>
#include <string>

#include "controls/ZFont.h"

class ZAlphaChannel;
class ZOffscreen;
class ZPicture;

class ZPictureFont : public ZFont {
  public:
    // Loads the strip mediaId and the metrics item metricsId. Without a usable strip the font measures but
    // draws nothing; without usable metrics it also measures 0.
    ZPictureFont(int32_t mediaId, int32_t metricsId);
    // Rasterised from a platform font on demand; the source must outlive this font (both are registered,
    // and DestroyAllFonts deletes them together).
    explicit ZPictureFont(ZFont& source);
    ~ZPictureFont() override;

    bool IsPlatformFont() const override { return false; }
    int32_t TextWidth(const char* text, int32_t maxCount) override;
    // A glyph that starts right of the clip ends the run; one partly inside draws its visible part. rgb,
    // when given, sets the tint first.
    void DrawText(ZGraphicDevice& device, int32_t x, int32_t baselineY, const char* text, int32_t maxCount,
                  const ZRect* clip, const uint8_t* rgb) override;

    // The colour an alpha strip draws in (black until set).
    void SetColor(uint8_t r, uint8_t g, uint8_t b);
    // Where glyph c starts in the strip.
    int32_t GetOffset(uint8_t c) const { return offsets_[c]; }
    bool HasStrip() const;
    ZFont* GetSourceFont() const { return source_; }

    struct Metrics {
        int16_t ascent = 0;
        int16_t descent = 0;
        uint8_t widths[256] = {};
        std::string face;
        int16_t style = 0;
    };
    // Parses a metrics item (withName: "FONT", else "RDX "); false for a short item, a name that runs
    // past its end, or a negative ascent or descent.
    static bool ParseMetrics(const uint8_t* bytes, size_t size, bool withName, Metrics& out);

  private:
    void LoadStrip(uint16_t mediaId);
    bool LoadMetrics(uint16_t metricsId);
    void ComputeOffsets();
    void RenderGlyph(uint8_t c);
    // The offscreen that glyphs are drawn from: the colour strip, or the tinted fill over the alpha strip.
    ZOffscreen* GlyphSource();

    ZPicture* picture_ = nullptr;
    ZAlphaChannel* alpha_ = nullptr;
    ZOffscreen* tinted_ = nullptr;  // made again when the tint changes
    uint8_t tint_[3] = {0, 0, 0};
    int32_t offsets_[256] = {};  // 32-bit: a strip may be wider than 32767 pixels
    std::bitset<256> rendered_;
    ZFont* source_ = nullptr;
};
