// The inverse DCT of the JPEG decoder: the one-dimensional Loeffler-Ligtenberg-Moschytz transform in
// single precision, first along each row of the dequantised coefficients, then along each column with
// every multiplier divided by 8, so that the result is the 8 x 8 samples themselves. The plain routine is
// the reference; the SSE2 routine does the same operations in the same order, four rows or columns at a
// time, and gives the same floats.
#pragma once

#include <cstdint>

namespace jpegidct {

// coefficients: 64 quantised values in natural order; quant: the 64 divisors in natural order, as floats.
// Writes 8 rows of 8 samples, stride floats apart, each plus bias.
void InverseDctPlain(const int16_t* coefficients, const float* quant, float* out, int32_t stride, float bias);
void InverseDctSse2(const int16_t* coefficients, const float* quant, float* out, int32_t stride, float bias);
// True when every coefficient but the DC term is 0.
bool HasOnlyDc(const int16_t* coefficients);
// A block whose only coefficient is the DC term: every sample is the same.
void InverseDctDcOnly(const int16_t* coefficients, const float* quant, float* out, int32_t stride,
                      float bias);

// The same with AVX2, eight rows or columns at a time; only where jpegcpu::HasAvx2.
void InverseDctAvx2(const int16_t* coefficients, const float* quant, float* out, int32_t stride, float bias);
// The fastest routine this processor runs.
void InverseDct(const int16_t* coefficients, const float* quant, float* out, int32_t stride, float bias);

}  // namespace jpegidct
