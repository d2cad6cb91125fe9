// The variable-length LZW codec of GIF files: codes of minCodeSize + 1 to 12 bits, least significant bit
// first, carried in sub-blocks (a length byte, then that many bytes; a length of 0 ends the chain).
// The decoder reads a sub-block chain held in memory and never reads past it: a terminator or the end of
// the data ends the stream as the end code would. The encoder appends a complete chain, terminator
// included, to a byte vector.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/ZCodec.h"

class ZLZWCodec : public ZCodec {
  public:
    static constexpr int32_t kMaxCodeSize = 12;
    static constexpr int32_t kTableSize = 1 << kMaxCodeSize;

    // A decoder over size bytes of sub-blocks at data; Decode writes at *output and moves it along.
    // minCodeSize must be 1..11 (IsValid).
    ZLZWCodec(const uint8_t* data, size_t size, uint8_t** output, int32_t minCodeSize);
    // An encoder appending sub-blocks to stream; Encode takes its bytes from *input and moves it along.
    ZLZWCodec(std::vector<uint8_t>& stream, const uint8_t** input, int32_t minCodeSize);
    ~ZLZWCodec() override;

    // False for a minimum code size the format does not have, or when memory ran out.
    bool IsValid() const;

    using ZCodec::Decode;
    using ZCodec::Encode;
    // Writes up to count bytes; returns how many (fewer once the stream has ended). With lastRow the end
    // code that normally follows is taken too, when it is there.
    int32_t Decode(int32_t count, bool lastRow);
    // Codes count bytes (each below 2^minCodeSize); with last, ends the stream and closes the chain.
    int32_t Encode(int32_t count, bool last);

    // True once the end code, a terminator or the end of the data was met.
    bool Ended() const { return ended_; }

  private:
    static constexpr uint16_t kNone = 0xFFFF;
    static constexpr int32_t kHashSize = 5003;

    void Reset();
    void Grow();
    // The next code, or endCode when the stream has no more bits.
    uint16_t ReadCode();
    // Pushes the string of code (a table entry or a literal) and returns its first byte.
    uint8_t Expand(uint16_t code);
    uint8_t NextByte();

    void WriteCode(uint16_t code);
    void FlushBlock();
    void ClearHash();

    int32_t minCodeSize_ = 0;
    int32_t codeSize_ = 0;
    uint16_t codeMask_ = 0;
    uint16_t clearCode_ = 0;
    uint16_t endCode_ = 0;
    uint16_t codeLimit_ = 0;
    uint16_t nextCode_ = 0;
    uint16_t previousCode_ = kNone;
    uint8_t firstChar_ = 0;
    bool ended_ = false;

    // Decoder.
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t position_ = 0;
    size_t blockRemaining_ = 0;
    uint32_t bitBuffer_ = 0;
    int32_t bitCount_ = 0;
    uint8_t** output_ = nullptr;
    std::unique_ptr<uint16_t[]> prefix_;
    std::unique_ptr<uint8_t[]> suffix_;
    std::unique_ptr<uint8_t[]> stack_;
    int32_t stackTop_ = 0;

    // Encoder.
    std::vector<uint8_t>* stream_ = nullptr;
    const uint8_t** input_ = nullptr;
    std::unique_ptr<uint16_t[]> hashCodes_;
    std::unique_ptr<uint32_t[]> hashKeys_;
    uint16_t currentPrefix_ = 0;
    bool first_ = true;
    uint8_t block_[255] = {};
    int32_t blockCount_ = 0;
};
