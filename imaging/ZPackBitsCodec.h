// PackBits, the run-length scheme of Photoshop channel rows: a signed header byte h, then h + 1 literal
// bytes (h = 0..127) or one byte repeated 1 - h times (h = -1..-127); -128 is a no-op. Decoded bytes may
// be written step bytes apart, so that one channel lands in its byte of interleaved pixels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/ZCodec.h"

class ZPackBitsCodec : public ZCodec {
  public:
    // The packed bytes; decoding never reads past size.
    void SetInput(const uint8_t* data, size_t size);
    // Where decoded bytes go: the first at data, each next one step bytes further, never at or past size.
    void SetOutput(uint8_t* data, size_t size, int32_t step);

    // Produces up to count bytes; a run longer than what is left of count is cut there. Returns the bytes
    // produced: fewer than count when the input or the output ran out. Input and output stay after them.
    int32_t Decode(int32_t count) override;

    size_t GetInputUsed() const { return inPos_; }
    size_t GetOutputUsed() const { return outPos_; }

  private:
    // Writes one byte at the output position; false when the output is full.
    bool Put(uint8_t value);

    const uint8_t* in_ = nullptr;
    size_t inSize_ = 0;
    size_t inPos_ = 0;
    uint8_t* out_ = nullptr;
    size_t outSize_ = 0;
    size_t outPos_ = 0;
    size_t step_ = 1;
};
