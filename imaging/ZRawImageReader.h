// The reader for the framework's own "RIX " frame images: a sequence of 58-byte little-endian image
// headers, each pointing at its pixel rows and optionally at an alpha plane, a mask and a colour table,
// embedded in the item or named by media id.
#pragma once

#include <vector>

#include "imaging/ZImageReader.h"

class ZAlphaChannel;
class ZMask;

class ZRawImageReader : public ZImageReader {
  public:
    static constexpr int32_t kHeaderSize = 58;
    // Transfer flags of an image header.
    static constexpr uint8_t kHasTransparentIndex = 0x01;
    static constexpr uint8_t kHasKeyColor = 0x02;
    static constexpr uint8_t kHasOpacity = 0x04;

    // One image header as stored.
    struct Header {
        int16_t imageCount = 0;
        int16_t width = 0;
        int16_t height = 0;  // negative: rows stored bottom-up
        int16_t x = 0;
        int16_t y = 0;
        int16_t visible = 0;
        int16_t depth = 0;
        int32_t pixelSize = 0;
        int32_t pixelOffset = 0;
        int32_t alphaSize = 0;
        int32_t alphaRef = 0;  // offset of an embedded plane, or the media id of an "RAX " item
        int32_t maskSize = 0;
        int32_t maskRef = 0;
        int32_t colorTableSize = 0;
        int32_t colorTableOffset = 0;
        uint8_t transferFlags = 0;
        uint8_t opacity = 63;
        uint8_t transparentIndex = 0;
        uint8_t keyColor[3] = {0, 0, 0};
        int16_t frameCount = 1;
        int16_t format = 0;
    };

    explicit ZRawImageReader(ZFile* file) : ZImageReader(file) {}
    ~ZRawImageReader() override;

    int32_t ReadHeader() override;
    int32_t ReadImage(ZOffscreen& target, int32_t flags, int32_t index, int32_t option) override;
    // Index -1: the union of the visible images; -2: the union of all; an image: its size at 0, 0.
    void GetBounds(ZRect& out, int32_t index) override;

    const std::vector<Header>& GetHeaders() const { return headers_; }
    // Decodes one stored header (kHeaderSize bytes).
    static Header ParseHeader(const uint8_t* bytes);

  private:
    ZRect RectOf(const Header& h) const;
    int32_t CheckImage(const Header& h);
    int32_t ReadOne(ZOffscreen& target, int32_t flags, int32_t i, bool direct);
    template <class Media>
    Media* MadeEarlier(const std::vector<Media*>& made, int32_t i, bool alpha) const;
    void ReadAlpha(ZOffscreen& target, int32_t i);
    ZAlphaChannel* MakeAlphaChannel(const Header& h);
    void ReadMask(ZOffscreen& target, int32_t i);
    void ReadColorTable(ZOffscreen& target, int32_t i);
    void ReleaseShared();

    std::vector<Header> headers_;
    std::vector<ZAlphaChannel*> alphas_;  // the plane each image got, with a reference
    std::vector<ZMask*> masks_;           // likewise for masks
    ZRect union_;
    int32_t itemSize_ = 0;
};
