// The run-length decoders of device-independent bitmaps: RLE8 (one byte per pixel) and RLE4 (one nibble
// per pixel, expanded to one byte). Both read pairs (count, value): a count above 0 repeats the value; a
// count of 0 starts a command: 0 end of line, 1 end of bitmap, 2 a move by (dx, dy), 3 and up an absolute
// run of that many pixels padded to a 16-bit boundary.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/ZByteCursor.h"
#include "imaging/ZCodec.h"

class ZRunLengthCodec : public ZCodec {
  public:
    // Decodes input into rows of width pixels, stride bytes apart, starting at output (the first stored
    // row); pixels a row does not hold are dropped.
    ZRunLengthCodec(const uint8_t* input, size_t inputSize, uint8_t* output, int32_t width, int32_t stride)
        : input_(input, inputSize), output_(output), width_(width), stride_(stride) {}

    // Decodes into count rows, which are cleared first (so a line that ends early is padded with 0). The
    // result is the bytes the output advanced at the end-of-bitmap command; 0 when the input ends before
    // it or a command would pass the last row.
    int32_t Decode(int32_t count) override;

  protected:
    // The pixel of an encoded run at position i of the run.
    virtual uint8_t RunPixel(uint8_t value, int32_t i) const {
        (void)i;
        return value;
    }
    // The pixels of an absolute run of count pixels: copies them to the row; false when the input ends.
    virtual bool AbsoluteRun(int32_t count);
    // Bytes of input an absolute run of count pixels occupies before its padding.
    virtual int32_t AbsoluteBytes(int32_t count) const { return count; }

    // Writes one pixel at the current position and steps on; false past the last row.
    bool Put(uint8_t pixel);

    ZByteCursor input_;

  private:
    uint8_t* output_;
    int32_t width_;
    int32_t stride_;
    int32_t rows_ = 0;
    int32_t x_ = 0;
    int32_t y_ = 0;
};

class ZRunLengthNibbleCodec : public ZRunLengthCodec {
  public:
    using ZRunLengthCodec::ZRunLengthCodec;

  protected:
    // Runs alternate the value's high and low nibble, the high one first.
    uint8_t RunPixel(uint8_t value, int32_t i) const override {
        return (i & 1) == 0 ? uint8_t(value >> 4) : uint8_t(value & 0x0F);
    }
    bool AbsoluteRun(int32_t count) override;
    int32_t AbsoluteBytes(int32_t count) const override { return (count + 1) / 2; }
};
