// "RSX " raw sound: a 14-byte little-endian header (tag, rate, bits, channels, compression 0), then
// uncompressed samples to the end of the file.
#pragma once

#include "audio/ZSoundReader.h"

class ZRawSoundReader : public ZSoundReader {
  public:
    static constexpr int32_t kHeaderBytes = 14;

    using ZSoundReader::ZSoundReader;

    int32_t ParseHeader() override;
    std::unique_ptr<ZSoundReader> CreateForFile(const ZFile* file) const override {
        return std::make_unique<ZRawSoundReader>(file);
    }
    ZTypeCode GetType() const override { return kTypeRawSound; }
};
