#include "imaging/ZTargaRLECodec.h"

#include <cstring>

int32_t ZTargaRLECodec::Decode(int32_t count) {
    if (depth_ != 8 && depth_ != 15 && depth_ != 16 && depth_ != 24 && depth_ != 32) {
        return 0;
    }
    if (output_ == nullptr || count < 1 || size_t(count) > outputSize_) {
        return 0;
    }
    size_t bytes = size_t(depth_ + 7) / 8;
    size_t total = size_t(count);
    size_t written = 0;
    while (written < total) {
        uint8_t header = input_.U8();
        size_t pixels = size_t(header & 0x7F) + 1;
        if (!input_.Ok() || pixels * bytes > total - written) {
            return 0;
        }
        uint8_t* out = output_ + written;
        if ((header & 0x80) == 0) {
            if (!input_.Read(out, pixels * bytes)) {
                return 0;
            }
        } else {
            uint8_t pixel[4];
            if (!input_.Read(pixel, bytes)) {
                return 0;
            }
            for (size_t i = 0; i < pixels; ++i) {
                std::memcpy(out + i * bytes, pixel, bytes);
            }
        }
        written += pixels * bytes;
    }
    return count;
}
