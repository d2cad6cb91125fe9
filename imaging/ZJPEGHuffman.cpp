#include "imaging/ZJPEGHuffman.h"

#include <cstring>

namespace {

// The largest magnitude size of 8-bit samples: DC differences need up to 11 bits, AC values up to 10.
constexpr int32_t kMaxDcSize = 11;
constexpr int32_t kMaxAcSize = 10;

bool SymbolsFit(ZJPEGHuffmanTable::Kind kind, const uint8_t* symbols, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        bool fits =
            kind == ZJPEGHuffmanTable::Kind::kDC ? symbols[i] <= kMaxDcSize : (symbols[i] & 15) <= kMaxAcSize;
        if (!fits) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool ZJPEGHuffmanTable::Build(Kind kind, const uint8_t counts[16], const uint8_t* symbols,
                              int32_t symbolCount) {
    *this = ZJPEGHuffmanTable();
    int32_t total = 0;
    for (int32_t i = 0; i < 16; ++i) {
        total += counts[i];
    }
    if (total != symbolCount || total > kMaxSymbols || !SymbolsFit(kind, symbols, total)) {
        return false;
    }
    // Canonical codes: within a length consecutive values, each length starting at twice the value after
    // the previous length's last code. A length whose codes pass its range over-subscribes the tree.
    int32_t codes[kMaxSymbols];
    int32_t lengths[kMaxSymbols];
    int32_t code = 0;
    int32_t index = 0;
    for (int32_t length = 1; length <= 16; ++length) {
        offset_[length] = index - code;
        for (int32_t i = 0; i < counts[length - 1]; ++i) {
            codes[index] = code++;
            lengths[index++] = length;
        }
        if (code > (1 << length)) {
            return false;
        }
        limit_[length] = code << (16 - length);
        code <<= 1;
    }
    std::memcpy(symbols_, symbols, size_t(total));
    FillFast(codes, lengths, total);
    if (kind == Kind::kAC) {
        FillFastAc();
    }
    defined_ = true;
    return true;
}

void ZJPEGHuffmanTable::FillFast(const int32_t* codes, const int32_t* lengths, int32_t symbolCount) {
    for (int32_t i = 0; i < symbolCount && lengths[i] <= kFastBits; ++i) {
        int32_t spare = kFastBits - lengths[i];
        int32_t first = codes[i] << spare;
        for (int32_t j = 0; j < (1 << spare); ++j) {
            fast_[first + j] = uint16_t(lengths[i] << 8 | symbols_[i]);
        }
    }
}

void ZJPEGHuffmanTable::FillFastAc() {
    constexpr int32_t kEndOfBlockStep = 64;
    for (uint32_t bits = 0; bits < (1u << kFastBits); ++bits) {
        uint16_t entry = fast_[bits];
        int32_t length = entry >> 8;
        int32_t run = (entry >> 4) & 15;
        int32_t size = entry & 15;
        if (length == 0 || length + size > kFastBits) {
            continue;
        }
        if (size == 0) {
            // Zero runs of 16 and the end of the block (any other run of size 0 ends it too).
            fastAc_[bits] = (run == 15 ? 15 : kEndOfBlockStep) << 8 | length;
            continue;
        }
        uint32_t magnitude = (bits >> (kFastBits - length - size)) & ((1u << size) - 1);
        int32_t value = ExtendJPEGValue(magnitude, size);
        fastAc_[bits] = int32_t(uint32_t(value) << 16) | run << 8 | (length + size);
    }
}

uint8_t ZJPEGHuffmanTable::DecodeLong(uint32_t next16, int32_t& length) const {
    for (int32_t l = kFastBits + 1; l <= 16; ++l) {
        if (int32_t(next16) < limit_[l]) {
            length = l;
            int32_t index = int32_t(next16 >> (16 - l)) + offset_[l];
            return symbols_[index];
        }
    }
    length = 0;
    return 0;
}

int32_t ZJPEGBitReader::NextMarker() {
    size_t i = next_;
    while (i + 1 < size_) {
        if (data_[i] != 0xFF) {
            ++i;
            continue;
        }
        uint8_t code = data_[i + 1];
        if (code == 0x00) {
            i += 2;
        } else if (code == 0xFF) {
            i += 1;  // fill
        } else {
            next_ = i + 2;
            stopped_ = false;
            return code;
        }
    }
    next_ = size_;
    return -1;
}
