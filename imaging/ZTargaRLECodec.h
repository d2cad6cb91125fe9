// The run-length packets of Targa images: a header byte h gives (h & 0x7F) + 1 pixels, which follow one by
// one when bit 0x80 is clear, or as one pixel written that many times when it is set.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/ZByteCursor.h"
#include "imaging/ZCodec.h"

class ZTargaRLECodec : public ZCodec {
  public:
    // Pixels of depth bits (8, 15, 16, 24 or 32) from input into output, a block of outputSize bytes.
    ZTargaRLECodec(int32_t depth, const uint8_t* input, size_t inputSize, uint8_t* output, size_t outputSize)
        : depth_(depth), input_(input, inputSize), output_(output), outputSize_(outputSize) {}

    // Writes count bytes of pixels: count, or 0 for another depth, when the input ends first, or when a
    // packet would pass count bytes or the output block.
    int32_t Decode(int32_t count) override;

  private:
    int32_t depth_;
    ZByteCursor input_;
    uint8_t* output_;
    size_t outputSize_;
};
