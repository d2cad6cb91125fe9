#include "imaging/ZPackBitsCodec.h"

void ZPackBitsCodec::SetInput(const uint8_t* data, size_t size) {
    in_ = data;
    inSize_ = data != nullptr ? size : 0;
    inPos_ = 0;
}

void ZPackBitsCodec::SetOutput(uint8_t* data, size_t size, int32_t step) {
    out_ = data;
    outSize_ = data != nullptr ? size : 0;
    outPos_ = 0;
    step_ = step >= 1 ? size_t(step) : 1;
}

bool ZPackBitsCodec::Put(uint8_t value) {
    if (outPos_ >= outSize_) {
        return false;
    }
    out_[outPos_] = value;
    // Past the end the position only has to stay there, without overflowing.
    outPos_ = step_ < outSize_ - outPos_ ? outPos_ + step_ : outSize_;
    return true;
}

int32_t ZPackBitsCodec::Decode(int32_t count) {
    int32_t produced = 0;
    while (produced < count && inPos_ < inSize_) {
        int32_t header = int8_t(in_[inPos_++]);
        if (header == -128) {
            continue;
        }
        bool literal = header >= 0;
        int32_t length = literal ? header + 1 : 1 - header;
        if (length > count - produced) {
            length = count - produced;
        }
        if (!literal && inPos_ >= inSize_) {
            break;
        }
        uint8_t repeated = literal ? 0 : in_[inPos_++];
        for (int32_t i = 0; i < length; ++i) {
            if (literal && inPos_ >= inSize_) {
                return produced;
            }
            if (!Put(literal ? in_[inPos_++] : repeated)) {
                return produced;
            }
            ++produced;
        }
    }
    return produced;
}
