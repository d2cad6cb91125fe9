// Which vector instructions this processor offers the JPEG decoder's routines beyond SSE2, asked once.
#pragma once

namespace jpegcpu {

inline bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

}  // namespace jpegcpu
