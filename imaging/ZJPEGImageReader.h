// The reader for "JPEG" items: baseline sequential, Huffman-coded, 8-bit JPEG with one or three
// components, written straight into the target offscreen in the target's own depth.
#pragma once

#include "imaging/ZImageReader.h"

class ZJPEGImageReader : public ZImageReader {
  public:
    explicit ZJPEGImageReader(ZFile* file);
    ~ZJPEGImageReader() override;

    int32_t ReadHeader() override;
    int32_t ReadImage(ZOffscreen& target, int32_t flags, int32_t index, int32_t option) override;
};
