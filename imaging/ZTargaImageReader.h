// The reader for true-colour Targa files ("TPIC"): image type 2 (uncompressed) or 10 (run-length
// encoded), 15, 16 (read as 5-5-5), 24 or 32 bits per pixel, stored bottom-up or from the top-left.
#pragma once

#include "imaging/ZImageReader.h"

class ZTargaImageReader : public ZImageReader {
  public:
    // The descriptor's top-left origin bit: rows are stored top first.
    static constexpr uint8_t kTopLeftOrigin = 0x20;

    explicit ZTargaImageReader(ZFile* file) : ZImageReader(file) {}

    int32_t ReadHeader() override;
    int32_t ReadImage(ZOffscreen& target, int32_t flags, int32_t index, int32_t option) override;

    bool IsBottomUp() const { return bottomUp_; }
    bool IsCompressed() const { return compressed_; }

  private:
    int32_t ReadPixels(uint8_t* pixels, int32_t total);

    bool bottomUp_ = true;
    bool compressed_ = false;
    // The stored bits per pixel (16 and 15 are both read as 5-5-5) and where the pixels start.
    int32_t storedDepth_ = 0;
    int32_t dataOffset_ = 0;
};
