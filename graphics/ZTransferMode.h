// How one offscreen is drawn onto another: transparent index or key colour, global opacity (6-bit), an
// alpha channel and a mask. Copies share the alpha channel and mask by reference.
#pragma once

#include <cstdint>

class ZAlphaChannel;
class ZMask;

class ZTransferMode {
  public:
    enum : uint32_t {
        kTransparentIndex = 0x01,
        kTransparentColor = 0x02,
        kUseOpacity = 0x04,
        kUseAlphaChannel = 0x08,
        kUseMask = 0x10,
    };

    ZTransferMode() = default;
    ZTransferMode(const ZTransferMode& other);
    ZTransferMode& operator=(const ZTransferMode& other);
    ~ZTransferMode();

    bool Has(uint32_t flag) const { return (flags & flag) != 0; }
    // Setting a channel (or mask) takes a reference and sets its flag; null releases it and clears the flag.
    void SetAlphaChannel(ZAlphaChannel* channel);
    ZAlphaChannel* GetAlphaChannel() const { return alphaChannel_; }
    void SetMask(ZMask* mask);
    ZMask* GetMask() const { return mask_; }

    uint32_t flags = 0;
    uint8_t opacity = 63;  // 0..63, with kUseOpacity
    uint8_t transparentIndex = 0;
    uint8_t keyColor[3] = {0, 0, 0};  // R, G, B

  private:
    ZAlphaChannel* alphaChannel_ = nullptr;
    ZMask* mask_ = nullptr;
};
