// Decoders sit between a sound reader and the mixer and deliver frames in the reader's format. Each
// kind of compression has one decoder kind; prototypes live in the sound registry and Create makes a
// working decoder of the same kind. The reader is shared: a decoder holds a reference while it uses it.
#pragma once

#include <cstdint>
#include <memory>

#include "audio/ZAudioFormat.h"
#include "audio/ZSoundReader.h"

class ZAudioDecoder {
  public:
    ZAudioDecoder() = default;
    ZAudioDecoder(const ZAudioDecoder&) = delete;
    ZAudioDecoder& operator=(const ZAudioDecoder&) = delete;
    virtual ~ZAudioDecoder() = default;

    // Decodes from source from its start (null: no source).
    virtual void SetSource(std::shared_ptr<ZSoundReader> source);
    // Delivers up to frames frames from the current position into buffer or a buffer of the decoder's or
    // the source's own. frames gives back the frames delivered. Returns the samples, or null at the end
    // and on failure (error set).
    virtual const uint8_t* Decode(uint8_t* buffer, int32_t& frames, const ZAudioEncodingFormat& wanted,
                                  bool& error) = 0;
    // Moves to a frame of the output; returns the position in bytes of the output.
    virtual int64_t SetPosition(int64_t frames);
    virtual bool AtEnd() const;
    bool Rewind() {
        SetPosition(0);
        return true;
    }
    virtual std::unique_ptr<ZAudioDecoder> Create() const = 0;
    virtual int32_t GetKind() const = 0;

    const ZAudioEncodingFormat& GetOutputFormat() const { return output_; }
    int64_t GetPosition() const { return position_; }

  protected:
    std::shared_ptr<ZSoundReader> source_;
    ZAudioEncodingFormat output_;
    int64_t position_ = 0;  // bytes of output delivered
};

// Uncompressed samples pass through unchanged, in the source's own format.
class ZAudioNonDecoder : public ZAudioDecoder {
  public:
    void SetSource(std::shared_ptr<ZSoundReader> source) override;
    const uint8_t* Decode(uint8_t* buffer, int32_t& frames, const ZAudioEncodingFormat& wanted,
                          bool& error) override;
    std::unique_ptr<ZAudioDecoder> Create() const override { return std::make_unique<ZAudioNonDecoder>(); }
    int32_t GetKind() const override { return kDecoderNone; }
};
