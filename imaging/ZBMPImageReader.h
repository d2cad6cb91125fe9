// The reader for device-independent bitmap files (".BMP"): Windows headers of 40 to 124 bytes and the
// OS/2 core header of 12, with 8, 16 (read as 5-5-5) or 24 bits per pixel uncompressed, 8 bits run-length
// encoded (RLE8) and 4 bits run-length encoded (RLE4, decoded to one byte per pixel).
#pragma once

#include "imaging/ZImageReader.h"

class ZBMPImageReader : public ZImageReader {
  public:
    // Compression codes of the information header.
    enum : int32_t { kCompressionNone = 0, kCompressionRLE8 = 1, kCompressionRLE4 = 2 };

    explicit ZBMPImageReader(ZFile* file) : ZImageReader(file) {}

    int32_t ReadHeader() override;
    int32_t ReadImage(ZOffscreen& target, int32_t flags, int32_t index, int32_t option) override;

    int32_t GetCompression() const { return compression_; }
    bool IsBottomUp() const { return bottomUp_; }

  private:
    int32_t CheckDepth(int32_t bitCount);
    int32_t ReadRunLength(ZOffscreen& target);

    int32_t compression_ = kCompressionNone;
    bool bottomUp_ = true;
    // Bytes from one stored row to the next, from the width (uncompressed rows end on 32-bit boundaries).
    int32_t stride_ = 0;
    // Where the pixel data start.
    int32_t dataOffset_ = 0;
};
