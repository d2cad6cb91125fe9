// The inverse DCT with AVX2, eight rows or columns per operation. This file alone is compiled for AVX2;
// the decoder calls it only where the processor has it.
#include <immintrin.h>

#include "imaging/ZJPEGIdct.h"
#include "imaging/ZJPEGIdctTransform.h"

namespace jpegidct {
namespace {

// Eight floats with the arithmetic of one.
struct Lanes8 {
    __m256 v;
    Lanes8() = default;
    explicit Lanes8(__m256 x) : v(x) {}
    explicit Lanes8(float x) : v(_mm256_set1_ps(x)) {}
};
inline Lanes8 operator+(Lanes8 a, Lanes8 b) {
    return Lanes8(_mm256_add_ps(a.v, b.v));
}
inline Lanes8 operator-(Lanes8 a, Lanes8 b) {
    return Lanes8(_mm256_sub_ps(a.v, b.v));
}
inline Lanes8 operator*(Lanes8 a, Lanes8 b) {
    return Lanes8(_mm256_mul_ps(a.v, b.v));
}

// rows[i] becomes column i.
__attribute__((always_inline)) inline void Transpose(Lanes8 rows[8]) {
    __m256 t[8];
#pragma GCC unroll 8
    for (int32_t i = 0; i < 8; i += 2) {
        t[i] = _mm256_unpacklo_ps(rows[i].v, rows[i + 1].v);
        t[i + 1] = _mm256_unpackhi_ps(rows[i].v, rows[i + 1].v);
    }
    __m256 u[8];
#pragma GCC unroll 8
    for (int32_t i = 0; i < 8; i += 4) {
        u[i] = _mm256_shuffle_ps(t[i], t[i + 2], _MM_SHUFFLE(1, 0, 1, 0));
        u[i + 1] = _mm256_shuffle_ps(t[i], t[i + 2], _MM_SHUFFLE(3, 2, 3, 2));
        u[i + 2] = _mm256_shuffle_ps(t[i + 1], t[i + 3], _MM_SHUFFLE(1, 0, 1, 0));
        u[i + 3] = _mm256_shuffle_ps(t[i + 1], t[i + 3], _MM_SHUFFLE(3, 2, 3, 2));
    }
#pragma GCC unroll 8
    for (int32_t i = 0; i < 4; ++i) {
        rows[i] = Lanes8(_mm256_permute2f128_ps(u[i], u[i + 4], 0x20));
        rows[i + 4] = Lanes8(_mm256_permute2f128_ps(u[i], u[i + 4], 0x31));
    }
}

}  // namespace

void InverseDctAvx2(const int16_t* coefficients, const float* quant, float* out, int32_t stride, float bias) {
    Lanes8 block[8];
#pragma GCC unroll 8
    for (int32_t r = 0; r < 8; ++r) {
        __m128i row = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coefficients + 8 * r));
        __m256 values = _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(row));
        // The product of two values floats hold exactly, rounded once, as in the plain routine.
        block[r] = Lanes8(_mm256_mul_ps(values, _mm256_loadu_ps(quant + 8 * r)));
    }
    // Rows: lanes are the eight rows, block[k] their coefficient k.
    Transpose(block);
    Lanes8 rows[8];
    transform::Transform(block, rows, transform::kRowPass);
    // rows[k]: element k of every row; columns next, lanes the eight columns.
    Transpose(rows);
    Lanes8 columns[8];
    transform::Transform(rows, columns, transform::kColumnPass);
    Lanes8 add(bias);
#pragma GCC unroll 8
    for (int32_t k = 0; k < 8; ++k) {
        _mm256_storeu_ps(out + k * stride, (columns[k] + add).v);
    }
}

}  // namespace jpegidct
