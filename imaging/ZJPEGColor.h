// Decoded JPEG samples to target pixels, one image row at a time: exact YCbCr to RGB conversion for 24-
// and 32-bit targets in the target format's byte order, ordered dither to 15- and 16-bit words, and
// YCbCr error diffusion to an 8-bit palette. The conversion is computed in double precision and
// truncated toward zero: R = Y + 1.403 Cr, G = Y - 0.344 Cb - 0.714 Cr, B = Y + 1.773 Cb, each clamped to
// 0..255. The SSE2 and AVX2 32-bit routines do the same double operations two or four
// pixels at a time.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "graphics/ZPixelFormat.h"

class ZOrderedDitherer;
class ZYCbCrErrorDiffusionDitherer;

namespace jpegcolor {

// One image row: luma 0..255 (or outside, for odd data) and chroma centred on 0; cb and cr are null for
// a grey image.
struct SampleRow {
    const float* y = nullptr;
    const float* cb = nullptr;
    const float* cr = nullptr;
    int32_t width = 0;
};

// A value truncated toward zero and clamped to a byte (clamping first gives the same and keeps far-off
// values of corrupt data away from the integer conversion).
inline uint8_t ToByte(double v) {
    return uint8_t(int32_t(std::clamp(v, 0.0, 255.0)));
}

struct Rgb {
    uint8_t r, g, b;
};

inline Rgb ToRgb(float y, float cb, float cr) {
    double dy = y;
    double dcb = cb;
    double dcr = cr;
    return {ToByte(dy + 1.403 * dcr), ToByte(dy - 0.344 * dcb - 0.714 * dcr), ToByte(dy + 1.773 * dcb)};
}

// Pixel i of a row; grey rows give R = G = B = the luma.
inline Rgb RgbAt(const SampleRow& row, int32_t i) {
    if (row.cb == nullptr) {
        uint8_t v = ToByte(row.y[i]);
        return {v, v, v};
    }
    return ToRgb(row.y[i], row.cb[i], row.cr[i]);
}

// 4:2:0 chroma widened to width pixels: each sample of line serves two pixels (the top image row).
void WidenNearest(const float* line, float* out, int32_t width);
// Below the top row: pixel x takes (its nearest sample + the nearest sample of pixel x - 1 of the row
// above) / 2, pixel 0 its nearest sample alone. above is the chroma line of the row above.
void WidenAveraged(const float* line, const float* above, float* out, int32_t width);

// 32-bit pixels with the unused byte 0, in order's byte positions.
void WriteRow32Plain(const SampleRow& row, uint8_t* out, const ZByteOrder& order);
void WriteRow32Sse2(const SampleRow& row, uint8_t* out, const ZByteOrder& order);
// The same with AVX2, four doubles at a time; only where jpegcpu::HasAvx2.
void WriteRow32Avx2(const SampleRow& row, uint8_t* out, const ZByteOrder& order);
// The faster of the two this processor runs.
void WriteRow32(const SampleRow& row, uint8_t* out, const ZByteOrder& order);
void WriteRow24(const SampleRow& row, uint8_t* out, const ZByteOrder& order);

// How 15- and 16-bit words are laid out.
struct WordLayout {
    bool sixBitGreen = true;   // 5-6-5, else 5-5-5
    bool littleEndian = true;  // the format's native-byte-order flag
};
// Image row y. The dither column of a pixel is the number of pixels of its 8-pixel block row still to
// be written, counting itself.
void WriteRow16(const SampleRow& row, uint8_t* out, int32_t y, const WordLayout& layout,
                const ZOrderedDitherer& ditherer);
// Palette indices; the ditherer must have selected row y already.
void WriteRow8(const SampleRow& row, uint8_t* out, ZYCbCrErrorDiffusionDitherer& ditherer);

// The 8-bit path's tables for a palette of 256 R, G, B entries: the palette in Y, Cb, Cr bytes, and
// for each 5-5-6 bit (Cb, Cr, Y) code the palette index that inverse (R5 << 11 | G6 << 5 | B5) gives
// for that code's colour.
void ConvertPalette(const uint8_t* rgb, uint8_t* ycbcr);
void FillIndexTable(const uint8_t* inverse, uint8_t* indexTable);

}  // namespace jpegcolor
