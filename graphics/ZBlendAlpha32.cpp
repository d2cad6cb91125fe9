#include "graphics/ZBlendAlpha32.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

uint32_t BlendPixel(uint32_t s, uint32_t d, uint32_t w, uint32_t colourMask) {
    uint32_t k = w + 1;
    uint32_t result = 0;
    for (int32_t lane = 0; lane < 4; ++lane) {
        uint32_t sc = (s >> (8 * lane)) & 0xFF;
        uint32_t dc = (d >> (8 * lane)) & 0xFF;
        result |= ((dc * (64 - k) + sc * k) >> 6) << (8 * lane);
    }
    return result & colourMask;
}

void BlendRange(const uint8_t* source, uint8_t* target, const uint8_t* alpha, int32_t from, int32_t to,
                uint32_t colourMask) {
    for (int32_t x = from; x < to; ++x) {
        uint32_t w = alpha[x] & 63u;
        if (w == 0) {
            continue;
        }
        if (w == 63) {
            std::memcpy(target + 4 * x, source + 4 * x, 4);
            continue;
        }
        uint32_t s, d;
        std::memcpy(&s, source + 4 * x, 4);
        std::memcpy(&d, target + 4 * x, 4);
        uint32_t r = BlendPixel(s, d, w, colourMask);
        std::memcpy(target + 4 * x, &r, 4);
    }
}

}  // namespace

void BlendAlphaRow32Plain(const uint8_t* source, uint8_t* target, const uint8_t* alpha, int32_t count,
                          uint32_t colourMask) {
    BlendRange(source, target, alpha, 0, count, colourMask);
}

#if defined(__SSE2__)

// Four pixels at a time: the bytes widen to 16-bit lanes, where d (64 - k) + s k stays below 2^14.
void BlendAlphaRow32(const uint8_t* source, uint8_t* target, const uint8_t* alpha, int32_t count,
                     uint32_t colourMask) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi16(1);
    const __m128i full = _mm_set1_epi16(63);
    const __m128i sixtyFour = _mm_set1_epi16(64);
    const __m128i colour = _mm_set1_epi32(int32_t(colourMask));
    int32_t x = 0;
    for (; x + 4 <= count; x += 4) {
        uint32_t weights;
        std::memcpy(&weights, alpha + x, 4);
        weights &= 0x3F3F3F3Fu;
        if (weights == 0) {
            continue;
        }
        __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 4 * x));
        if (weights == 0x3F3F3F3Fu) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(target + 4 * x), s);
            continue;
        }
        __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(target + 4 * x));
        __m128i w = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int32_t(weights)), zero);  // w0..w3, 16-bit
        __m128i k = _mm_add_epi16(w, one);
        __m128i kk = _mm_unpacklo_epi16(k, k);
        __m128i kLow = _mm_unpacklo_epi32(kk, kk);   // k0 four times, then k1
        __m128i kHigh = _mm_unpackhi_epi32(kk, kk);  // k2, then k3
        __m128i low =
            _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(d, zero), _mm_sub_epi16(sixtyFour, kLow)),
                          _mm_mullo_epi16(_mm_unpacklo_epi8(s, zero), kLow));
        __m128i high =
            _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(d, zero), _mm_sub_epi16(sixtyFour, kHigh)),
                          _mm_mullo_epi16(_mm_unpackhi_epi8(s, zero), kHigh));
        __m128i blended =
            _mm_and_si128(_mm_packus_epi16(_mm_srli_epi16(low, 6), _mm_srli_epi16(high, 6)), colour);
        // Weight 0 keeps the target pixel, 63 takes the source pixel whole.
        __m128i keep = _mm_cmpeq_epi16(w, zero);
        __m128i take = _mm_cmpeq_epi16(w, full);
        keep = _mm_unpacklo_epi16(keep, keep);
        take = _mm_unpacklo_epi16(take, take);
        __m128i result = _mm_or_si128(_mm_andnot_si128(_mm_or_si128(keep, take), blended),
                                      _mm_or_si128(_mm_and_si128(keep, d), _mm_and_si128(take, s)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(target + 4 * x), result);
    }
    BlendRange(source, target, alpha, x, count, colourMask);
}

#else

void BlendAlphaRow32(const uint8_t* source, uint8_t* target, const uint8_t* alpha, int32_t count,
                     uint32_t colourMask) {
    BlendRange(source, target, alpha, 0, count, colourMask);
}

#endif
