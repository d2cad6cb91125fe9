// What a decoder needs to know about a compressed stream beyond its sample format, as the reader found it
// in the file's header. Shared by reference count between the reader and any decoder that uses it.
#pragma once

#include <atomic>
#include <cstdint>

#include "audio/ZAudioFormat.h"

class ZAudioDecoderConfig {
  public:
    explicit ZAudioDecoderConfig(int32_t kind) : kind_(kind) {}
    ZAudioDecoderConfig(const ZAudioDecoderConfig&) = delete;
    ZAudioDecoderConfig& operator=(const ZAudioDecoderConfig&) = delete;

    int32_t GetKind() const { return kind_; }
    void AddReference() { ++refCount_; }
    // Drops one reference; the last deletes the object.
    void Release() {
        if (--refCount_ == 0) {
            delete this;
        }
    }

  protected:
    virtual ~ZAudioDecoderConfig() = default;

  private:
    int32_t kind_;
    std::atomic<int32_t> refCount_{1};
};

// The "fmt " chunk of a Microsoft ADPCM WAVE file, its extension and coefficient table included.
class ZMicrosoftADPCMConfig : public ZAudioDecoderConfig {
  public:
    static constexpr int32_t kCoefficientCount = 7;

    ZMicrosoftADPCMConfig() : ZAudioDecoderConfig(kDecoderMicrosoftADPCM) {}

    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint32_t bytesPerSecond = 0;
    uint16_t blockAlign = 0;
    uint16_t bits = 0;
    uint16_t samplesPerBlock = 0;
    uint16_t coefficientCount = 0;
    int16_t coefficients[kCoefficientCount][2] = {};
};
