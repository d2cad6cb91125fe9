#include "imaging/ZJPEGIdct.h"

#include <emmintrin.h>

#include "imaging/ZJPEGCpu.h"
#include "imaging/ZJPEGIdctTransform.h"

namespace jpegidct {
namespace {

using transform::kColumnPass;
using transform::kRowPass;
using transform::Transform;

// Four floats with the arithmetic of one: the vector routine runs the very template the plain one runs.
struct Lanes {
    __m128 v;
    Lanes() = default;
    explicit Lanes(__m128 x) : v(x) {}
    explicit Lanes(float x) : v(_mm_set1_ps(x)) {}
};
inline Lanes operator+(Lanes a, Lanes b) {
    return Lanes(_mm_add_ps(a.v, b.v));
}
inline Lanes operator-(Lanes a, Lanes b) {
    return Lanes(_mm_sub_ps(a.v, b.v));
}
inline Lanes operator*(Lanes a, Lanes b) {
    return Lanes(_mm_mul_ps(a.v, b.v));
}

// Dequantised coefficients as floats: the product of two values that floats hold exactly, rounded once,
// which is what converting the integer product would give.
__m128 Dequantise(__m128i coefficients32, const float* quant) {
    return _mm_mul_ps(_mm_cvtepi32_ps(coefficients32), _mm_loadu_ps(quant));
}

// Widens 8 int16 to two vectors of 4 int32.
void Widen(__m128i x, __m128i& low, __m128i& high) {
    low = _mm_srai_epi32(_mm_unpacklo_epi16(x, x), 16);
    high = _mm_srai_epi32(_mm_unpackhi_epi16(x, x), 16);
}

void Transpose(Lanes& a, Lanes& b, Lanes& c, Lanes& d) {
    _MM_TRANSPOSE4_PS(a.v, b.v, c.v, d.v);
}

// block[r][h]: row r, columns 4h .. 4h + 3. Makes in[k] of lane group g hold element k of the four rows
// or columns 4g .. 4g + 3 that the next pass takes.
__attribute__((always_inline)) inline void TransposeBlock(Lanes block[8][2], Lanes in[2][8]) {
#pragma GCC unroll 8
    for (int32_t g = 0; g < 2; ++g) {
#pragma GCC unroll 8
        for (int32_t h = 0; h < 2; ++h) {
            Lanes a = block[4 * g][h], b = block[4 * g + 1][h], c = block[4 * g + 2][h],
                  d = block[4 * g + 3][h];
            Transpose(a, b, c, d);
            in[g][4 * h] = a;
            in[g][4 * h + 1] = b;
            in[g][4 * h + 2] = c;
            in[g][4 * h + 3] = d;
        }
    }
}

}  // namespace

void InverseDctPlain(const int16_t* coefficients, const float* quant, float* out, int32_t stride,
                     float bias) {
    float work[64];
    for (int32_t r = 0; r < 8; ++r) {
        float in[8];
        bool acZero = true;
        for (int32_t k = 0; k < 8; ++k) {
            in[k] = float(coefficients[8 * r + k]) * quant[8 * r + k];
            acZero = acZero && (k == 0 || coefficients[8 * r + k] == 0);
        }
        float* row = work + 8 * r;
        if (acZero) {
            for (int32_t k = 0; k < 8; ++k) {
                row[k] = in[0];
            }
        } else {
            Transform(in, row, kRowPass);
        }
    }
    for (int32_t c = 0; c < 8; ++c) {
        float in[8];
        float result[8];
        for (int32_t k = 0; k < 8; ++k) {
            in[k] = work[8 * k + c];
        }
        Transform(in, result, kColumnPass);
        for (int32_t k = 0; k < 8; ++k) {
            out[k * stride + c] = result[k] + bias;
        }
    }
}

void InverseDctSse2(const int16_t* coefficients, const float* quant, float* out, int32_t stride, float bias) {
    Lanes block[8][2];
#pragma GCC unroll 8
    for (int32_t r = 0; r < 8; ++r) {
        __m128i row = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coefficients + 8 * r));
        __m128i low, high;
        Widen(row, low, high);
        block[r][0] = Lanes(Dequantise(low, quant + 8 * r));
        block[r][1] = Lanes(Dequantise(high, quant + 8 * r + 4));
    }
    // Rows: lanes are four rows, in[k] their coefficient k.
    Lanes in[2][8];
    TransposeBlock(block, in);
    Lanes rows[2][8];
    Transform(in[0], rows[0], kRowPass);
    // Rows 4 .. 7 are often all zero; their outputs are zero then, as the plain routine's are.
    __m128i lower = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(coefficients + 32)),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i*>(coefficients + 40)));
    lower = _mm_or_si128(lower,
                         _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(coefficients + 48)),
                                      _mm_loadu_si128(reinterpret_cast<const __m128i*>(coefficients + 56))));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(lower, _mm_setzero_si128())) == 0xFFFF) {
        for (Lanes& l : rows[1]) {
            l = Lanes(_mm_setzero_ps());
        }
    } else {
        Transform(in[1], rows[1], kRowPass);
    }
// rows[g][k]: element k of rows 4g .. 4g + 3; back to block[r][h] to transpose once more.
#pragma GCC unroll 8
    for (int32_t g = 0; g < 2; ++g) {
#pragma GCC unroll 8
        for (int32_t k = 0; k < 8; ++k) {
            block[k][g] = rows[g][k];
        }
    }
    // Columns: lanes are four columns, in[k] their element k.
    TransposeBlock(block, in);
    Lanes columns[2][8];
    Transform(in[0], columns[0], kColumnPass);
    Transform(in[1], columns[1], kColumnPass);
    Lanes add(bias);
#pragma GCC unroll 8
    for (int32_t k = 0; k < 8; ++k) {
        _mm_storeu_ps(out + k * stride, (columns[0][k] + add).v);
        _mm_storeu_ps(out + k * stride + 4, (columns[1][k] + add).v);
    }
}

bool HasOnlyDc(const int16_t* coefficients) {
    // The DC term is masked out of the first eight.
    __m128i any = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(coefficients)),
                                _mm_set_epi16(-1, -1, -1, -1, -1, -1, -1, 0));
    for (int32_t r = 1; r < 8; ++r) {
        any = _mm_or_si128(any, _mm_loadu_si128(reinterpret_cast<const __m128i*>(coefficients + 8 * r)));
    }
    return _mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128())) == 0xFFFF;
}

void InverseDctDcOnly(const int16_t* coefficients, const float* quant, float* out, int32_t stride,
                      float bias) {
    // Every other input is 0: each pass passes the DC term through unchanged but for the column pass's
    // scale, exactly, so the full transform gives these very floats.
    float value = float(coefficients[0]) * quant[0] * kColumnPass.dc + bias;
    for (int32_t r = 0; r < 8; ++r) {
        for (int32_t c = 0; c < 8; ++c) {
            out[r * stride + c] = value;
        }
    }
}

void InverseDct(const int16_t* coefficients, const float* quant, float* out, int32_t stride, float bias) {
    if (jpegcpu::HasAvx2()) {
        InverseDctAvx2(coefficients, quant, out, stride, bias);
    } else {
        InverseDctSse2(coefficients, quant, out, stride, bias);
    }
}

}  // namespace jpegidct
