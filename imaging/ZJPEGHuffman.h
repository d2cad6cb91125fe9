// Huffman decoding of JPEG entropy-coded data: the tables, built canonically from a DHT segment's code
// counts and symbols, and the bit reader that takes bits from the data with its byte stuffing undone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// One decoding table. Codes of up to kFastBits bits are found with one look at a table indexed by the
// next kFastBits bits; longer codes are found by comparing the next 16 bits with each length's limit.
class ZJPEGHuffmanTable {
  public:
    static constexpr int32_t kFastBits = 10;
    static constexpr int32_t kMaxSymbols = 256;

    enum class Kind { kDC, kAC };

    // Builds the codes of counts[0..15] (codes of 1..16 bits) over symbols. False for a table that
    // assigns more codes of some length than there are, more than 256 symbols, or, for 8-bit samples, a
    // DC size above 11 or an AC size above 10; the table is then empty.
    bool Build(Kind kind, const uint8_t counts[16], const uint8_t* symbols, int32_t symbolCount);
    bool IsDefined() const { return defined_; }

    // Entry of the fast table for the next kFastBits bits: the code's length in the high byte and its
    // symbol in the low byte; 0 when the code is longer (or undefined).
    uint16_t Fast(uint32_t nextBits) const { return fast_[nextBits]; }
    // AC only: for a code and its value that both fit in kFastBits bits, the value (bits 16..31,
    // signed), the coefficients to step over before it (bits 8..15) and the bits taken by code and value
    // together (bits 0..7); else 0. The end of block steps over 64 and sixteen zeros over 15, value 0.
    int32_t FastAc(uint32_t nextBits) const { return fastAc_[nextBits]; }
    // The symbol of a code longer than kFastBits at the top of next16, and its length; length 0 for a
    // code that no symbol has.
    uint8_t DecodeLong(uint32_t next16, int32_t& length) const;

  private:
    void FillFast(const int32_t* codes, const int32_t* lengths, int32_t symbolCount);
    void FillFastAc();

    bool defined_ = false;
    uint8_t symbols_[kMaxSymbols] = {};
    // For each length l (1..16): the limit of the 16-bit windows that start with a code of at most l bits,
    // and the offset that turns an l-bit code into an index into symbols_.
    int32_t limit_[17] = {};
    int32_t offset_[17] = {};
    uint16_t fast_[1 << kFastBits] = {};
    int32_t fastAc_[1 << kFastBits] = {};
};

// The value of an s-bit magnitude as JPEG sends it: a leading 0 bit means a negative value.
inline int32_t ExtendJPEGValue(uint32_t bits, int32_t size) {
    return bits < (1u << (size - 1)) ? int32_t(bits) - (1 << size) + 1 : int32_t(bits);
}

// Bits of entropy-coded data, most significant first, from a 64-bit buffer. Stuffed 0xFF 0x00 pairs give
// 0xFF; any other 0xFF (a marker, or fill bytes before one) and the end of the data stop the reader,
// which from then on feeds zero bits. Whether more bits were taken than the data held is kept, so that a
// decoder can tell a truncated or corrupt stretch of data.
class ZJPEGBitReader {
  public:
    // The buffer itself: count bits, most significant first. A decoder's hot loop works on a copy of the
    // window so that its two values stay in registers, and hands it to Refill and back with SetWindow.
    struct Window {
        uint64_t bits = 0;
        int32_t count = 0;

        uint32_t PeekBits(int32_t n) const { return uint32_t(bits >> (64 - n)); }
        void Skip(int32_t n) {
            bits <<= n;
            count -= n;
        }
        // n in 1..16.
        uint32_t Take(int32_t n) {
            uint32_t v = PeekBits(n);
            Skip(n);
            return v;
        }
    };

    ZJPEGBitReader(const uint8_t* data, size_t size, size_t position)
        : data_(data), next_(position <= size ? position : size), size_(size) {}

    // Makes at least 56 bits of window available (real or, when stopped, zero).
    void Refill(Window& window) {
        if (size_ - next_ >= 8 && !stopped_) {
            uint64_t word = LoadBigEndian(data_ + next_);
            // No 0xFF among the eight bytes: they go in whole. Bytes beyond the ones counted sit below
            // the count and are written again, with the same bits, by the next refill.
            if (HasNoFF(word)) {
                window.bits |= word >> window.count;
                next_ += size_t((63 - window.count) >> 3);
                window.count |= 56;
                return;
            }
        }
        RefillSlowly(window);
    }
    const Window& GetWindow() const { return window_; }
    void SetWindow(const Window& window) { window_ = window; }

    // The reader's own window, for decoders that need no copy.
    void Refill() { Refill(window_); }
    uint32_t PeekBits(int32_t n) const { return window_.PeekBits(n); }
    void Skip(int32_t n) { window_.Skip(n); }
    uint32_t Take(int32_t n) { return window_.Take(n); }
    int32_t Count() const { return window_.count; }

    // True when more bits were taken than the data held before the reader stopped.
    bool Overdrawn() const { return window_.count < padding_; }
    // Drops the bits held, as at a restart marker, where the data start again on a byte boundary.
    void DropBits() {
        window_ = Window();
        padding_ = 0;
    }
    // Steps over the rest of the current stretch of data to the next marker. Returns its code and moves
    // behind it, clearing the stop; -1 when the data end first.
    int32_t NextMarker();

  private:
    static uint64_t LoadBigEndian(const uint8_t* p) {
        uint64_t v;
        std::memcpy(&v, p, sizeof v);
        return __builtin_bswap64(v);
    }
    static bool HasNoFF(uint64_t word) {
        uint64_t inverted = ~word;  // a 0xFF byte becomes a zero byte
        return ((inverted - 0x0101010101010101ull) & ~inverted & 0x8080808080808080ull) == 0;
    }
    void RefillSlowly(Window& window);

    const uint8_t* data_;
    size_t next_;
    size_t size_;
    Window window_;
    // Zero bits fed in after the reader stopped, at the bottom of the buffer: count - padding_ real bits
    // remain, and a negative difference means zeros were taken as data.
    int32_t padding_ = 0;
    bool stopped_ = false;
};

// Inline, as all of the reader is, so that a decoder's window can live in registers.
inline void ZJPEGBitReader::RefillSlowly(Window& window) {
    while (window.count < 56) {
        uint32_t byte = 0;
        if (!stopped_ && next_ < size_) {
            byte = data_[next_];
            if (byte != 0xFF) {
                next_ += 1;
            } else if (next_ + 1 < size_ && data_[next_ + 1] == 0) {
                next_ += 2;  // a stuffed 0xFF
            } else {
                byte = 0;
                stopped_ = true;  // a marker, or fill bytes before one
            }
        } else {
            stopped_ = true;
        }
        if (stopped_) {
            padding_ += 8;
        }
        window.bits |= uint64_t(byte) << (56 - window.count);
        window.count += 8;
    }
}
