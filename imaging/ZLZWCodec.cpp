#include "imaging/ZLZWCodec.h"

#include <cstring>
#include <new>

ZLZWCodec::ZLZWCodec(const uint8_t* data, size_t size, uint8_t** output, int32_t minCodeSize)
    : minCodeSize_(minCodeSize), data_(data), size_(data != nullptr ? size : 0), output_(output) {
    prefix_.reset(new (std::nothrow) uint16_t[kTableSize]);
    suffix_.reset(new (std::nothrow) uint8_t[kTableSize]);
    // The longest string is one byte per table entry, plus the byte a not-yet-known code repeats.
    stack_.reset(new (std::nothrow) uint8_t[kTableSize + 1]);
    Reset();
}

ZLZWCodec::ZLZWCodec(std::vector<uint8_t>& stream, const uint8_t** input, int32_t minCodeSize)
    : minCodeSize_(minCodeSize), stream_(&stream), input_(input) {
    hashCodes_.reset(new (std::nothrow) uint16_t[kHashSize]);
    hashKeys_.reset(new (std::nothrow) uint32_t[kHashSize]);
    ClearHash();
    Reset();
}

ZLZWCodec::~ZLZWCodec() = default;

bool ZLZWCodec::IsValid() const {
    bool sizeOk = minCodeSize_ >= 1 && minCodeSize_ < kMaxCodeSize;
    bool memoryOk = stream_ != nullptr ? hashCodes_ != nullptr && hashKeys_ != nullptr
                                       : prefix_ != nullptr && suffix_ != nullptr && stack_ != nullptr;
    return sizeOk && memoryOk;
}

void ZLZWCodec::Reset() {
    int32_t size = minCodeSize_ >= 1 && minCodeSize_ < kMaxCodeSize ? minCodeSize_ : 8;
    clearCode_ = uint16_t(1 << size);
    endCode_ = uint16_t(clearCode_ + 1);
    codeSize_ = size + 1;
    codeLimit_ = uint16_t(1 << codeSize_);
    codeMask_ = uint16_t(codeLimit_ - 1);
    nextCode_ = uint16_t(clearCode_ + 2);
    previousCode_ = kNone;
}

// Codes widen once the next entry no longer fits; both sides check after every code but a clear, so the
// widths agree even for a minimum code size of 1, where the first entry already needs a wider code.
void ZLZWCodec::Grow() {
    if (nextCode_ >= codeLimit_ && codeSize_ < kMaxCodeSize) {
        ++codeSize_;
        codeLimit_ = uint16_t(1 << codeSize_);
        codeMask_ = uint16_t(codeLimit_ - 1);
    }
}

// The next data byte of the chain; ends the stream at a terminator or at the end of the data.
uint8_t ZLZWCodec::NextByte() {
    if (blockRemaining_ == 0) {
        if (position_ >= size_ || data_[position_] == 0) {
            ended_ = true;
            return 0;
        }
        blockRemaining_ = data_[position_++];
    }
    if (position_ >= size_) {
        ended_ = true;
        return 0;
    }
    --blockRemaining_;
    return data_[position_++];
}

uint16_t ZLZWCodec::ReadCode() {
    while (bitCount_ < codeSize_) {
        uint8_t byte = NextByte();
        if (ended_) {
            return endCode_;
        }
        bitBuffer_ |= uint32_t(byte) << bitCount_;
        bitCount_ += 8;
    }
    auto code = uint16_t(bitBuffer_ & codeMask_);
    bitBuffer_ >>= codeSize_;
    bitCount_ -= codeSize_;
    return code;
}

uint8_t ZLZWCodec::Expand(uint16_t code) {
    // Every entry's prefix is an older entry or a literal, so the walk ends within the table.
    while (code >= clearCode_ && stackTop_ < kTableSize) {
        stack_[stackTop_++] = suffix_[code];
        code = prefix_[code];
    }
    auto first = uint8_t(code);
    stack_[stackTop_++] = first;
    return first;
}

int32_t ZLZWCodec::Decode(int32_t count, bool lastRow) {
    if (!IsValid() || output_ == nullptr || *output_ == nullptr || count <= 0) {
        return 0;
    }
    uint8_t* out = *output_;
    int32_t written = 0;
    while (written < count) {
        if (stackTop_ > 0) {
            out[written++] = stack_[--stackTop_];
            continue;
        }
        if (ended_) {
            break;
        }
        uint16_t code = ReadCode();
        if (code == endCode_) {
            ended_ = true;
            break;
        }
        if (code == clearCode_) {
            Reset();
            continue;
        }
        // A code the table does not hold yet, or a string code before any literal (a stream that does
        // not start with a clear starts as after one), stands for 0.
        if (code > nextCode_ || (code >= clearCode_ && previousCode_ == kNone)) {
            code = 0;
        }
        uint8_t first;
        if (code == nextCode_) {
            // The string being defined: the previous string and its own first byte.
            stack_[stackTop_++] = firstChar_;
            first = Expand(previousCode_);
        } else {
            first = Expand(code);
        }
        if (previousCode_ != kNone && nextCode_ < kTableSize) {
            prefix_[nextCode_] = previousCode_;
            suffix_[nextCode_] = first;
            ++nextCode_;
        }
        Grow();
        previousCode_ = code;
        firstChar_ = first;
    }
    *output_ = out + written;
    if (lastRow && written == count && stackTop_ == 0 && !ended_) {
        // Takes the end code when it comes next; anything else is left for a later call.
        size_t position = position_, blockRemaining = blockRemaining_;
        uint32_t bitBuffer = bitBuffer_;
        int32_t bitCount = bitCount_;
        if (ReadCode() != endCode_) {
            position_ = position;
            blockRemaining_ = blockRemaining;
            bitBuffer_ = bitBuffer;
            bitCount_ = bitCount;
            ended_ = false;
        } else {
            ended_ = true;
        }
    }
    return written;
}

void ZLZWCodec::ClearHash() {
    if (hashCodes_ != nullptr) {
        std::memset(hashCodes_.get(), 0, sizeof(uint16_t) * kHashSize);
    }
}

void ZLZWCodec::FlushBlock() {
    if (blockCount_ > 0) {
        stream_->push_back(uint8_t(blockCount_));
        stream_->insert(stream_->end(), block_, block_ + blockCount_);
        blockCount_ = 0;
    }
}

void ZLZWCodec::WriteCode(uint16_t code) {
    bitBuffer_ |= uint32_t(code) << bitCount_;
    bitCount_ += codeSize_;
    while (bitCount_ >= 8) {
        block_[blockCount_++] = uint8_t(bitBuffer_);
        bitBuffer_ >>= 8;
        bitCount_ -= 8;
        if (blockCount_ == int32_t(sizeof(block_))) {
            FlushBlock();
        }
    }
    if (code != clearCode_) {
        Grow();
    }
}

int32_t ZLZWCodec::Encode(int32_t count, bool last) {
    if (!IsValid() || input_ == nullptr || (count > 0 && *input_ == nullptr)) {
        return 0;
    }
    const uint8_t* in = *input_;
    auto valueMask = uint8_t(clearCode_ - 1);
    for (int32_t i = 0; i < count; ++i) {
        auto c = uint8_t(in[i] & valueMask);
        if (first_) {
            WriteCode(clearCode_);
            currentPrefix_ = c;
            first_ = false;
            continue;
        }
        uint32_t key = (uint32_t(currentPrefix_) << 8) | c;
        int32_t h = currentPrefix_ + 16 * c;
        if (h >= kHashSize) {
            h -= kHashSize;
        }
        int32_t step = h == 0 ? 1 : kHashSize - h;
        while (hashCodes_[h] != 0 && hashKeys_[h] != key) {
            h -= step;
            if (h < 0) {
                h += kHashSize;
            }
        }
        if (hashCodes_[h] != 0) {
            currentPrefix_ = hashCodes_[h];
            continue;
        }
        WriteCode(currentPrefix_);
        if (nextCode_ >= kTableSize) {
            WriteCode(clearCode_);
            Reset();
            ClearHash();
        } else {
            hashCodes_[h] = nextCode_++;
            hashKeys_[h] = key;
        }
        currentPrefix_ = c;
    }
    *input_ = in + count;
    if (last) {
        WriteCode(first_ ? clearCode_ : currentPrefix_);
        first_ = false;
        WriteCode(endCode_);
        if (bitCount_ > 0) {
            block_[blockCount_++] = uint8_t(bitBuffer_);
            bitBuffer_ = 0;
            bitCount_ = 0;
        }
        FlushBlock();
        stream_->push_back(0);
    }
    return 0;
}
