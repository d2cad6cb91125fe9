#include "imaging/ZJPEGColor.h"

#include <emmintrin.h>

#include "graphics/ZDitherer.h"

namespace jpegcolor {
namespace {

uint8_t ClampByte(int32_t v) {
    return uint8_t(std::clamp(v, 0, 255));
}

// A float sample plus offset, truncated and clamped, for the ditherers' 0..255 inputs.
int32_t ToLevel(float v, float offset) {
    return int32_t(std::clamp(v + offset, 0.0f, 255.0f));
}

// Two pixels' channel as doubles, clamped to 0..255 and truncated: two 32-bit integers in the low half.
__m128i TruncateClamped(__m128d v) {
    v = _mm_min_pd(_mm_max_pd(v, _mm_setzero_pd()), _mm_set1_pd(255.0));
    return _mm_cvttpd_epi32(v);
}

// Pixels i and i + 1 of a colour row as 32-bit words with R, G and B shifted into place.
__m128i TwoPixels(const SampleRow& row, int32_t i, __m128i shiftR, __m128i shiftG, __m128i shiftB) {
    __m128d y = _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row.y + i))));
    __m128d cb =
        _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row.cb + i))));
    __m128d cr =
        _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row.cr + i))));
    __m128d r = _mm_add_pd(y, _mm_mul_pd(_mm_set1_pd(1.403), cr));
    __m128d g =
        _mm_sub_pd(_mm_sub_pd(y, _mm_mul_pd(_mm_set1_pd(0.344), cb)), _mm_mul_pd(_mm_set1_pd(0.714), cr));
    __m128d b = _mm_add_pd(y, _mm_mul_pd(_mm_set1_pd(1.773), cb));
    __m128i pixels = _mm_sll_epi32(TruncateClamped(r), shiftR);
    pixels = _mm_or_si128(pixels, _mm_sll_epi32(TruncateClamped(g), shiftG));
    return _mm_or_si128(pixels, _mm_sll_epi32(TruncateClamped(b), shiftB));
}

// Pixels i and i + 1 of a grey row.
__m128i TwoGreyPixels(const SampleRow& row, int32_t i, __m128i shiftR, __m128i shiftG, __m128i shiftB) {
    __m128d y = _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(row.y + i))));
    __m128i v = TruncateClamped(y);
    __m128i pixels = _mm_or_si128(_mm_sll_epi32(v, shiftR), _mm_sll_epi32(v, shiftG));
    return _mm_or_si128(pixels, _mm_sll_epi32(v, shiftB));
}

}  // namespace

void WriteRow32Plain(const SampleRow& row, uint8_t* out, const ZByteOrder& order) {
    for (int32_t i = 0; i < row.width; ++i, out += 4) {
        Rgb c = RgbAt(row, i);
        out[order.r] = c.r;
        out[order.g] = c.g;
        out[order.b] = c.b;
        out[order.x] = 0;
    }
}

void WriteRow32Sse2(const SampleRow& row, uint8_t* out, const ZByteOrder& order) {
    __m128i shiftR = _mm_cvtsi32_si128(8 * order.r);
    __m128i shiftG = _mm_cvtsi32_si128(8 * order.g);
    __m128i shiftB = _mm_cvtsi32_si128(8 * order.b);
    auto pair = row.cb == nullptr ? TwoGreyPixels : TwoPixels;
    int32_t i = 0;
    for (; i + 4 <= row.width; i += 4) {
        __m128i low = pair(row, i, shiftR, shiftG, shiftB);
        __m128i high = pair(row, i + 2, shiftR, shiftG, shiftB);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i), _mm_unpacklo_epi64(low, high));
    }
    SampleRow rest = row;
    rest.y += i;
    rest.cb = row.cb != nullptr ? row.cb + i : nullptr;
    rest.cr = row.cr != nullptr ? row.cr + i : nullptr;
    rest.width = row.width - i;
    WriteRow32Plain(rest, out + 4 * i, order);
}

void WriteRow24(const SampleRow& row, uint8_t* out, const ZByteOrder& order) {
    for (int32_t i = 0; i < row.width; ++i, out += 3) {
        Rgb c = RgbAt(row, i);
        out[order.r] = c.r;
        out[order.g] = c.g;
        out[order.b] = c.b;
    }
}

void WriteRow16(const SampleRow& row, uint8_t* out, int32_t y, const WordLayout& layout,
                const ZOrderedDitherer& ditherer) {
    for (int32_t i = 0; i < row.width; ++i, out += 2) {
        Rgb c = RgbAt(row, i);
        int32_t blockEnd = std::min((i & ~7) + 8, row.width);
        int32_t column = blockEnd - i;
        uint32_t word;
        if (layout.sixBitGreen) {
            ZLevels l = ditherer.FineLevels<6>(y, column, c.r, c.g, c.b);
            word = uint32_t(l.b | l.g << 5 | l.r << 11);
        } else {
            ZLevels l = ditherer.FineLevels<5>(y, column, c.r, c.g, c.b);
            word = uint32_t(l.b | l.g << 5 | l.r << 10);
        }
        out[layout.littleEndian ? 0 : 1] = uint8_t(word);
        out[layout.littleEndian ? 1 : 0] = uint8_t(word >> 8);
    }
}

void WriteRow8(const SampleRow& row, uint8_t* out, ZYCbCrErrorDiffusionDitherer& ditherer) {
    for (int32_t i = 0; i < row.width; ++i) {
        int32_t luma = ToLevel(row.y[i], 0.0f);
        int32_t cb = row.cb != nullptr ? ToLevel(row.cb[i], 128.0f) : 128;
        int32_t cr = row.cr != nullptr ? ToLevel(row.cr[i], 128.0f) : 128;
        out[i] = ditherer.Index(i, luma, cb, cr);
    }
}

void ConvertPalette(const uint8_t* rgb, uint8_t* ycbcr) {
    for (int32_t i = 0; i < 256; ++i) {
        int32_t r = rgb[3 * i];
        int32_t g = rgb[3 * i + 1];
        int32_t b = rgb[3 * i + 2];
        ycbcr[3 * i] = ClampByte((1225 * r + 2404 * g + 467 * b) >> 12);
        ycbcr[3 * i + 1] = ClampByte(((2048 * b - 1356 * g - 692 * r) >> 12) + 128);
        ycbcr[3 * i + 2] = ClampByte(((2048 * r - 1716 * g - 332 * b) >> 12) + 128);
    }
}

void FillIndexTable(const uint8_t* inverse, uint8_t* indexTable) {
    for (int32_t i = 0; i < 32; ++i) {
        for (int32_t j = 0; j < 32; ++j) {
            for (int32_t k = 0; k < 64; ++k) {
                int32_t r = ClampByte((45976 * j + 16384 * k - 704436) >> 12);
                int32_t g = ClampByte((16384 * k - 11272 * i - 23400 * j + 545608) >> 12);
                int32_t b = ClampByte((58096 * i + 16384 * k - 892296) >> 12);
                indexTable[i << 11 | j << 6 | k] = inverse[(r >> 3) << 11 | (g >> 2) << 5 | (b >> 3)];
            }
        }
    }
}

}  // namespace jpegcolor
