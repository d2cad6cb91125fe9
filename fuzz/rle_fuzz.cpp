// Runs the run-length decoders on arbitrary input into an output block of exactly the size they are
// given. The first byte picks the codec (RLE8, RLE4 or Targa packets), the second the output's shape.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/ZRunLengthCodec.h"
#include "imaging/ZTargaRLECodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > (1u << 16)) {
        return 0;
    }
    uint8_t codec = data[0] % 3;
    uint8_t shape = data[1];
    const uint8_t* input = data + 2;
    size_t inputSize = size - 2;
    if (codec < 2) {
        int32_t width = 1 + (shape & 31);
        int32_t stride = (width + 3) & ~3;
        int32_t rows = 1 + (shape >> 5);
        std::vector<uint8_t> output(size_t(stride) * size_t(rows));
        ZRunLengthCodec rle8(input, inputSize, output.data(), width, stride);
        ZRunLengthNibbleCodec rle4(input, inputSize, output.data(), width, stride);
        (codec == 0 ? rle8 : static_cast<ZRunLengthCodec&>(rle4)).Decode(rows);
        return 0;
    }
    static constexpr int32_t kDepths[] = {8, 15, 16, 24, 32, 12};
    int32_t depth = kDepths[shape % 6];
    int32_t total = 1 + shape * 3;
    std::vector<uint8_t> output(static_cast<size_t>(total));
    ZTargaRLECodec targa(depth, input, inputSize, output.data(), output.size());
    targa.Decode(total);
    return 0;
}
