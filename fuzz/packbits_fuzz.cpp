// Decodes arbitrary bytes with the PackBits codec into an output block of exactly its size, with any step
// and count, in one call or row by row, checking that it stays inside both blocks.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "imaging/ZPackBitsCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4 || size > (1u << 16)) {
        return 0;
    }
    // The first bytes choose the step, the count and the output size; the rest is packed data. The
    // packed bytes get a block of their own, so reading past them is caught.
    int32_t step = int32_t(data[0] % 9) - 1;  // -1 and 0 must act as 1
    int32_t count = int32_t(data[1]) * 16 + data[2] % 16;
    size_t outSize = size_t(data[3]) * 8;
    size_t inSize = size - 4;
    std::unique_ptr<uint8_t[]> in(new uint8_t[inSize]);
    std::copy(data + 4, data + size, in.get());
    std::unique_ptr<uint8_t[]> out(new uint8_t[outSize]);

    ZPackBitsCodec codec;
    codec.SetInput(in.get(), inSize);
    codec.SetOutput(out.get(), outSize, step);
    int32_t produced = codec.Decode(count);
    if (produced < 0 || produced > count || codec.GetInputUsed() > inSize ||
        codec.GetOutputUsed() > outSize) {
        std::abort();
    }
    // Row by row, as the reader decodes: the positions carry on from call to call.
    codec.SetInput(in.get(), inSize);
    codec.SetOutput(out.get(), outSize, 1);
    while (codec.Decode(7) == 7) {
    }
    return 0;
}
