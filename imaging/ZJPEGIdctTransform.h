// The one-dimensional transform of the JPEG inverse DCT, shared by the plain and the vector routines so
// that every one of them does the same operations in the same order. Included only by the inverse DCT's
// own sources.
#pragma once

#include <cstdint>

namespace jpegidct::transform {

// The multipliers of one pass; the column pass divides each by 8, which in binary floating point changes
// no digit, so both passes round alike.
struct Multipliers {
    float dc, c0298, c0390, c0541, c0765, c0899, c1175, c1501, c1847, c1961, c2053, c2562, c3072;
};

constexpr Multipliers Scaled(float s) {
    return {s,
            0.298631336f * s,
            0.390180644f * s,
            0.541196100f * s,
            0.765366865f * s,
            0.899976223f * s,
            1.175875602f * s,
            1.501321110f * s,
            1.847759065f * s,
            1.961570560f * s,
            2.053119869f * s,
            2.562915447f * s,
            3.072711026f * s};
}

inline constexpr Multipliers kRowPass = Scaled(1.0f);
inline constexpr Multipliers kColumnPass = Scaled(0.125f);

// One eight-point transform: in and out may not overlap. Always inlined, so that the vector routine keeps
// its lanes in registers.
template <class V>
__attribute__((always_inline)) inline void Transform(const V* in, V* out, const Multipliers& m) {
    // Even part.
    V z2 = in[2];
    V z3 = in[6];
    V z1 = (z2 + z3) * V(m.c0541);
    V tmp2 = z1 + z3 * V(-m.c1847);
    V tmp3 = z1 + z2 * V(m.c0765);
    V tmp0 = (in[0] + in[4]) * V(m.dc);
    V tmp1 = (in[0] - in[4]) * V(m.dc);
    V tmp10 = tmp0 + tmp3;
    V tmp13 = tmp0 - tmp3;
    V tmp11 = tmp1 + tmp2;
    V tmp12 = tmp1 - tmp2;
    // Odd part.
    V t0 = in[7];
    V t1 = in[5];
    V t2 = in[3];
    V t3 = in[1];
    V s1 = t0 + t3;
    V s2 = t1 + t2;
    V s3 = t0 + t2;
    V s4 = t1 + t3;
    V s5 = (s3 + s4) * V(m.c1175);
    t0 = t0 * V(m.c0298);
    t1 = t1 * V(m.c2053);
    t2 = t2 * V(m.c3072);
    t3 = t3 * V(m.c1501);
    s1 = s1 * V(-m.c0899);
    s2 = s2 * V(-m.c2562);
    s3 = s3 * V(-m.c1961);
    s4 = s4 * V(-m.c0390);
    s3 = s3 + s5;
    s4 = s4 + s5;
    t0 = t0 + s1 + s3;
    t1 = t1 + s2 + s4;
    t2 = t2 + s2 + s3;
    t3 = t3 + s1 + s4;
    out[0] = tmp10 + t3;
    out[7] = tmp10 - t3;
    out[1] = tmp11 + t2;
    out[6] = tmp11 - t2;
    out[2] = tmp12 + t1;
    out[5] = tmp12 - t1;
    out[3] = tmp13 + t0;
    out[4] = tmp13 - t0;
}

}  // namespace jpegidct::transform
