// The reader for "JPEG" items: baseline (and 8-bit extended) sequential, Huffman-coded JPEG with one or
// three components, written straight into the target offscreen in the target's own depth. Its depth
// stays 0: it adapts to whatever depth the target has. Files it cannot decode fail ReadHeader with a
// short reason (GetError).
#pragma once

#include <cstddef>
#include <memory>

#include "imaging/ZImageReader.h"

class ZJPEGFrame;

class ZJPEGImageReader : public ZImageReader {
  public:
    explicit ZJPEGImageReader(ZFile* file);
    ~ZJPEGImageReader() override;

    // Reads the whole item and its markers up to the first scan.
    int32_t ReadHeader() override;
    // Decodes the one image (flags, index and option are not looked at) into target's top-left.
    int32_t ReadImage(ZOffscreen& target, int32_t flags, int32_t index, int32_t option) override;

  private:
    std::unique_ptr<uint8_t[]> data_;
    size_t size_ = 0;
    std::unique_ptr<ZJPEGFrame> frame_;
};
