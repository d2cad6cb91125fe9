// The LZW decoder on arbitrary sub-block streams (the first byte picks the minimum code size), and the
// encoder on the same bytes as pixels: decoding what it wrote must give them back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/ZLZWCodec.h"

namespace {

std::vector<uint8_t> Decode(const uint8_t* data, size_t size, int32_t minCodeSize, size_t count, size_t row) {
    std::vector<uint8_t> out(count);
    uint8_t* output = out.data();
    ZLZWCodec codec(data, size, &output, minCodeSize);
    size_t done = 0;
    while (done < count) {
        size_t want = std::min(row, count - done);
        size_t got = size_t(codec.Decode(int32_t(want), done + want == count));
        done += got;
        if (got < want) {
            break;
        }
    }
    out.resize(done);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > (1u << 16)) {
        return 0;
    }
    int32_t minCodeSize = data[0] % 11 + 1;
    size_t row = data[1] % 64 + 1;
    Decode(data + 2, size - 2, minCodeSize, size * 8, row);

    // The round trip, with the input masked to values the code size can carry.
    std::vector<uint8_t> pixels(data + 2, data + size);
    for (uint8_t& v : pixels) {
        v = uint8_t(v & ((1 << std::min(minCodeSize, 8)) - 1));
    }
    std::vector<uint8_t> stream;
    const uint8_t* input = pixels.data();
    ZLZWCodec encoder(stream, &input, minCodeSize);
    for (size_t done = 0; done < pixels.size();) {
        size_t count = std::min(row, pixels.size() - done);
        done += count;
        encoder.Encode(int32_t(count), done == pixels.size());
    }
    if (Decode(stream.data(), stream.size(), minCodeSize, pixels.size(), row) != pixels) {
        std::abort();
    }
    return 0;
}
