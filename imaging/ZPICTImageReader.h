// The reader for type "PICT": the type is recognised so that a file of it meets a reader, and refused
// with a reason, because PICT pictures are not decoded.
#pragma once

#include "imaging/ZImageReader.h"

class ZPICTImageReader : public ZImageReader {
  public:
    explicit ZPICTImageReader(ZFile* file) : ZImageReader(file) {}

    // Always fails.
    int32_t ReadHeader() override;
    // Fails when pixels are asked for; without them there is nothing to do.
    int32_t ReadImage(ZOffscreen& target, int32_t flags, int32_t index, int32_t option) override;
};
