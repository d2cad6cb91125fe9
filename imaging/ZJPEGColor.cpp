#include "imaging/ZJPEGColor.h"

#include <immintrin.h>

#include "graphics/ZDitherer.h"
#include "imaging/ZJPEGCpu.h"

namespace jpegcolor {
namespace {

uint8_t ClampByte(int32_t v) {
    return uint8_t(std::clamp(v, 0, 255));
}

// A float sample plus offset, truncated and clamped, for the ditherers' 0..255 inputs.
int32_t ToLevel(float v, float offset) {
    return int32_t(std::clamp(v + offset, 0.0f, 255.0f));
}

// Four floats as two pairs of doubles.
void Widen(__m128 v, __m128d& low, __m128d& high) {
    low = _mm_cvtps_pd(v);
    high = _mm_cvtps_pd(_mm_movehl_ps(v, v));
}

// Two channel values truncated toward zero as 32-bit integers in the low half. Values above 255 are cut
// to 255 first; values below -2^31 become the smallest integer. Either way the saturating packs that
// follow clamp to 0..255 exactly as the plain routine does.
__m128i Truncate(__m128d v) {
    return _mm_cvttpd_epi32(_mm_min_pd(v, _mm_set1_pd(255.0)));
}

__m128i Truncate4(__m128d low, __m128d high) {
    return _mm_unpacklo_epi64(Truncate(low), Truncate(high));
}

// Eight channel values as bytes clamped to 0..255, in the low half.
// Inlined into the AVX2 routines too, so that no legacy SSE code runs between their AVX code.
__attribute__((always_inline)) inline __m128i Bytes8(__m128i first4, __m128i next4) {
    __m128i words = _mm_packs_epi32(first4, next4);
    return _mm_packus_epi16(words, words);
}

struct Channels {
    __m128i r, g, b;  // eight bytes each, in the low halves
};

// Pixels i .. i + 3 as 32-bit R, G and B integers.
void FourPixels(const SampleRow& row, int32_t i, __m128i& r, __m128i& g, __m128i& b) {
    __m128d y0, y1, cb0, cb1, cr0, cr1;
    Widen(_mm_loadu_ps(row.y + i), y0, y1);
    Widen(_mm_loadu_ps(row.cb + i), cb0, cb1);
    Widen(_mm_loadu_ps(row.cr + i), cr0, cr1);
    const __m128d kCrToR = _mm_set1_pd(1.403);
    const __m128d kCbToG = _mm_set1_pd(0.344);
    const __m128d kCrToG = _mm_set1_pd(0.714);
    const __m128d kCbToB = _mm_set1_pd(1.773);
    r = Truncate4(_mm_add_pd(y0, _mm_mul_pd(kCrToR, cr0)), _mm_add_pd(y1, _mm_mul_pd(kCrToR, cr1)));
    g = Truncate4(_mm_sub_pd(_mm_sub_pd(y0, _mm_mul_pd(kCbToG, cb0)), _mm_mul_pd(kCrToG, cr0)),
                  _mm_sub_pd(_mm_sub_pd(y1, _mm_mul_pd(kCbToG, cb1)), _mm_mul_pd(kCrToG, cr1)));
    b = Truncate4(_mm_add_pd(y0, _mm_mul_pd(kCbToB, cb0)), _mm_add_pd(y1, _mm_mul_pd(kCbToB, cb1)));
}

template <bool Grey>
Channels EightPixels(const SampleRow& row, int32_t i) {
    if constexpr (Grey) {
        __m128d y0, y1, y2, y3;
        Widen(_mm_loadu_ps(row.y + i), y0, y1);
        Widen(_mm_loadu_ps(row.y + i + 4), y2, y3);
        __m128i v = Bytes8(Truncate4(y0, y1), Truncate4(y2, y3));
        return {v, v, v};
    } else {
        __m128i r0, g0, b0, r1, g1, b1;
        FourPixels(row, i, r0, g0, b0);
        FourPixels(row, i + 4, r1, g1, b1);
        return {Bytes8(r0, r1), Bytes8(g0, g1), Bytes8(b0, b1)};
    }
}

// Byte lanes by position in the pixel, the unused one zero: eight pixels of 32 bits.
// Inlined into the AVX2 routines too, so that no legacy SSE code runs between their AVX code.
__attribute__((always_inline)) inline void StorePixels(const Channels& c, const ZByteOrder& order,
                                                       uint8_t* out) {
    __m128i lanes[4] = {_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()};
    lanes[order.r] = c.r;
    lanes[order.g] = c.g;
    lanes[order.b] = c.b;
    __m128i low = _mm_unpacklo_epi8(lanes[0], lanes[1]);
    __m128i high = _mm_unpacklo_epi8(lanes[2], lanes[3]);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(low, high));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi16(low, high));
}

template <bool Grey>
int32_t WriteEights(const SampleRow& row, uint8_t* out, const ZByteOrder& order) {
    int32_t i = 0;
    for (; i + 8 <= row.width; i += 8) {
        StorePixels(EightPixels<Grey>(row, i), order, out + 4 * i);
    }
    return i;
}

// ---- AVX2: the channels as 32-bit integers in 0..255, shifted into their bytes

// The shift of each channel's byte in a pixel.
struct Shifts {
    __m128i r, g, b;
};

Shifts ShiftsOf(const ZByteOrder& order) {
    return {_mm_cvtsi32_si128(8 * order.r), _mm_cvtsi32_si128(8 * order.g), _mm_cvtsi32_si128(8 * order.b)};
}

// Four doubles cut to 255 and truncated; values far below 0 become the smallest integer, which the
// caller raises to 0 with the rest of the negative ones.
__attribute__((target("avx2"), always_inline)) inline __m128i TruncateAvx2(__m256d v) {
    return _mm256_cvttpd_epi32(_mm256_min_pd(v, _mm256_set1_pd(255.0)));
}

__attribute__((target("avx2"), always_inline)) inline __m256d LoadDoubles(const float* p) {
    return _mm256_cvtps_pd(_mm_loadu_ps(p));
}

// Eight channel values as integers in 0..255.
__attribute__((target("avx2"), always_inline)) inline __m256i Channel8(__m256d first4, __m256d next4) {
    __m256i all = _mm256_set_m128i(TruncateAvx2(next4), TruncateAvx2(first4));
    return _mm256_max_epi32(all, _mm256_setzero_si256());
}

template <bool Grey>
__attribute__((target("avx2"))) int32_t WriteEightsAvx2(const SampleRow& row, uint8_t* out,
                                                        const ZByteOrder& order) {
    const Shifts shift = ShiftsOf(order);
    const __m256d kCrToR = _mm256_set1_pd(1.403);
    const __m256d kCbToG = _mm256_set1_pd(0.344);
    const __m256d kCrToG = _mm256_set1_pd(0.714);
    const __m256d kCbToB = _mm256_set1_pd(1.773);
    int32_t i = 0;
    for (; i + 8 <= row.width; i += 8) {
        __m256d y0 = LoadDoubles(row.y + i);
        __m256d y1 = LoadDoubles(row.y + i + 4);
        __m256i r, g, b;
        if constexpr (Grey) {
            r = g = b = Channel8(y0, y1);
        } else {
            __m256d cb0 = LoadDoubles(row.cb + i);
            __m256d cb1 = LoadDoubles(row.cb + i + 4);
            __m256d cr0 = LoadDoubles(row.cr + i);
            __m256d cr1 = LoadDoubles(row.cr + i + 4);
            r = Channel8(_mm256_add_pd(y0, _mm256_mul_pd(kCrToR, cr0)),
                         _mm256_add_pd(y1, _mm256_mul_pd(kCrToR, cr1)));
            g = Channel8(
                _mm256_sub_pd(_mm256_sub_pd(y0, _mm256_mul_pd(kCbToG, cb0)), _mm256_mul_pd(kCrToG, cr0)),
                _mm256_sub_pd(_mm256_sub_pd(y1, _mm256_mul_pd(kCbToG, cb1)), _mm256_mul_pd(kCrToG, cr1)));
            b = Channel8(_mm256_add_pd(y0, _mm256_mul_pd(kCbToB, cb0)),
                         _mm256_add_pd(y1, _mm256_mul_pd(kCbToB, cb1)));
        }
        __m256i pixels = _mm256_or_si256(_mm256_sll_epi32(r, shift.r), _mm256_sll_epi32(g, shift.g));
        pixels = _mm256_or_si256(pixels, _mm256_sll_epi32(b, shift.b));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * i), pixels);
    }
    return i;
}

// WidenAveraged's pixels from x (even) on, sixteen at a time; returns where it stopped.
__attribute__((target("avx2"))) int32_t WidenAveragedAvx2(const float* line, const float* above, float* out,
                                                          int32_t x, int32_t width) {
    const __m256 half = _mm256_set1_ps(0.5f);
    for (; x + 16 <= width; x += 16) {
        int32_t i = x / 2;
        __m256 here = _mm256_loadu_ps(line + i);
        __m256 even = _mm256_mul_ps(_mm256_add_ps(here, _mm256_loadu_ps(above + i - 1)), half);
        __m256 odd = _mm256_mul_ps(_mm256_add_ps(here, _mm256_loadu_ps(above + i)), half);
        // The unpacks pair within each 128-bit half; the permutes put the halves in order.
        __m256 low = _mm256_unpacklo_ps(even, odd);
        __m256 high = _mm256_unpackhi_ps(even, odd);
        _mm256_storeu_ps(out + x, _mm256_permute2f128_ps(low, high, 0x20));
        _mm256_storeu_ps(out + x + 8, _mm256_permute2f128_ps(low, high, 0x31));
    }
    return x;
}

// The pixels from i on, by the plain routine.
void WriteRest(const SampleRow& row, int32_t i, uint8_t* out, const ZByteOrder& order) {
    SampleRow rest = row;
    rest.y += i;
    rest.cb = row.cb != nullptr ? row.cb + i : nullptr;
    rest.cr = row.cr != nullptr ? row.cr + i : nullptr;
    rest.width = row.width - i;
    WriteRow32Plain(rest, out + 4 * i, order);
}

}  // namespace

void WidenNearest(const float* line, float* out, int32_t width) {
    for (int32_t x = 0; x < width; ++x) {
        out[x] = line[x / 2];
    }
}

void WidenAveraged(const float* line, const float* above, float* out, int32_t width) {
    out[0] = line[0];
    int32_t x = 1;
    if (width > 1) {
        out[1] = (line[0] + above[0]) * 0.5f;
        x = 2;
    }
    if (jpegcpu::HasAvx2()) {
        x = WidenAveragedAvx2(line, above, out, x, width);
    }
    // Four samples give eight pixels: even ones average with the sample up and left, odd ones straight up.
    const __m128 half = _mm_set1_ps(0.5f);
    for (; x + 8 <= width; x += 8) {
        int32_t i = x / 2;
        __m128 here = _mm_loadu_ps(line + i);
        __m128 even = _mm_mul_ps(_mm_add_ps(here, _mm_loadu_ps(above + i - 1)), half);
        __m128 odd = _mm_mul_ps(_mm_add_ps(here, _mm_loadu_ps(above + i)), half);
        _mm_storeu_ps(out + x, _mm_unpacklo_ps(even, odd));
        _mm_storeu_ps(out + x + 4, _mm_unpackhi_ps(even, odd));
    }
    for (; x < width; ++x) {
        out[x] = (line[x / 2] + above[(x - 1) / 2]) * 0.5f;
    }
}

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
    int32_t i = row.cb == nullptr ? WriteEights<true>(row, out, order) : WriteEights<false>(row, out, order);
    WriteRest(row, i, out, order);
}

void WriteRow32Avx2(const SampleRow& row, uint8_t* out, const ZByteOrder& order) {
    int32_t i =
        row.cb == nullptr ? WriteEightsAvx2<true>(row, out, order) : WriteEightsAvx2<false>(row, out, order);
    WriteRest(row, i, out, order);
}

void WriteRow32(const SampleRow& row, uint8_t* out, const ZByteOrder& order) {
    if (jpegcpu::HasAvx2()) {
        WriteRow32Avx2(row, out, order);
    } else {
        WriteRow32Sse2(row, out, order);
    }
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
