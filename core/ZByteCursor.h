// The one way decoders read bytes held in memory: a cursor over a span that stays failed once a read or
// skip would pass its end. A failed cursor reads zeros and moves no further, so a parser can read a whole
// structure and check Ok() once, without ever touching a byte outside the data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

class ZByteCursor {
  public:
    ZByteCursor() = default;
    ZByteCursor(const uint8_t* data, size_t size) : data_(data), size_(data != nullptr ? size : 0) {}

    bool Ok() const { return !failed_; }
    size_t Position() const { return position_; }
    size_t Size() const { return size_; }
    size_t Remaining() const { return size_ - position_; }
    bool AtEnd() const { return position_ >= size_; }
    // The bytes from the current position on (null for an empty span).
    const uint8_t* Here() const { return data_ != nullptr ? data_ + position_ : nullptr; }

    // Marks the cursor failed unless count bytes remain.
    bool Need(size_t count) {
        if (failed_ || count > size_ - position_) {
            failed_ = true;
            return false;
        }
        return true;
    }
    bool Skip(size_t count) {
        if (!Need(count)) {
            return false;
        }
        position_ += count;
        return true;
    }
    // Moves to an absolute position inside the span (the end included).
    bool Seek(size_t position) {
        if (failed_ || position > size_) {
            failed_ = true;
            return false;
        }
        position_ = position;
        return true;
    }
    // Copies count bytes, or fails and clears out.
    bool Read(void* out, size_t count) {
        if (!Need(count)) {
            std::memset(out, 0, count);
            return false;
        }
        std::memcpy(out, data_ + position_, count);
        position_ += count;
        return true;
    }
    // A cursor over the next count bytes, which this one steps past; a failed cursor when they are not
    // all there.
    ZByteCursor Sub(size_t count) {
        if (!Need(count)) {
            ZByteCursor failed;
            failed.failed_ = true;
            return failed;
        }
        ZByteCursor sub(data_ + position_, count);
        position_ += count;
        return sub;
    }

    uint8_t U8() { return uint8_t(Unsigned<1, false>()); }
    uint16_t U16LE() { return uint16_t(Unsigned<2, false>()); }
    uint16_t U16BE() { return uint16_t(Unsigned<2, true>()); }
    uint32_t U32LE() { return uint32_t(Unsigned<4, false>()); }
    uint32_t U32BE() { return uint32_t(Unsigned<4, true>()); }
    int16_t S16LE() { return int16_t(U16LE()); }
    int16_t S16BE() { return int16_t(U16BE()); }
    int32_t S32LE() { return int32_t(U32LE()); }
    int32_t S32BE() { return int32_t(U32BE()); }

  private:
    template <int Bytes, bool BigEndian>
    uint64_t Unsigned() {
        if (!Need(Bytes)) {
            return 0;
        }
        uint64_t value = 0;
        for (int i = 0; i < Bytes; ++i) {
            int shift = BigEndian ? 8 * (Bytes - 1 - i) : 8 * i;
            value |= uint64_t(data_[position_ + size_t(i)]) << shift;
        }
        position_ += Bytes;
        return value;
    }

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t position_ = 0;
    bool failed_ = false;
};
