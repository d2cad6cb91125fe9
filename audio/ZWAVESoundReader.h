// RIFF "WAVE" sound: uncompressed 8- and 16-bit PCM, and Microsoft ADPCM, whose configuration is kept
// for a decoder (none is built in, so such files parse but cannot be played).
#pragma once

#include "audio/ZSoundReader.h"
#include "core/ZByteCursor.h"

class ZWAVESoundReader : public ZSoundReader {
  public:
    using ZSoundReader::ZSoundReader;
    ~ZWAVESoundReader() override;

    int32_t ParseHeader() override;
    std::unique_ptr<ZSoundReader> CreateForFile(const ZFile* file) const override {
        return std::make_unique<ZWAVESoundReader>(file);
    }
    ZTypeCode GetType() const override { return kTypeWave; }
    ZAudioDecoderConfig* GetDecoderConfig() const override { return config_; }

  private:
    // Parses a "fmt " chunk body of size bytes at offset; false when the format is refused.
    bool ParseFormat(int64_t offset, int64_t size);
    bool ParseADPCM(ZByteCursor& body, int32_t channels, uint32_t rate, uint32_t bytesPerSecond,
                    uint16_t blockAlign, uint16_t bits);
    void ReleaseConfig();

    ZAudioDecoderConfig* config_ = nullptr;
};
