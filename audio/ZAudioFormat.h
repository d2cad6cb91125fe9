// Sample formats of sound streams, shared by the sound readers, the decoders and the output: channels,
// rate and sample size, and the conversions between frames, samples, bytes and milliseconds. A frame is
// one sample per channel. Conversions answer 0 for a format with no rate or no sample size, so that a
// format not yet filled in never divides by zero.
#pragma once

#include <cstdint>

class ZAudioFormat {
  public:
    ZAudioFormat() = default;
    ZAudioFormat(int32_t stereo, int32_t rate, int32_t bits) : stereo(stereo), rate(rate), bits(bits) {}

    int32_t Channels() const { return stereo != 0 ? 2 : 1; }
    int32_t BytesPerSample() const { return (bits + 7) / 8; }
    // The bytes of one frame (the block align of the stream).
    int32_t FrameBytes() const { return Channels() * BytesPerSample(); }
    int64_t BytesPerSecond() const { return int64_t(FrameBytes()) * rate; }

    int64_t FramesToSamples(int64_t frames) const { return frames * Channels(); }
    int64_t FramesToBytes(int64_t frames) const { return frames * FrameBytes(); }
    int64_t SamplesToBytes(int64_t samples) const { return samples * BytesPerSample(); }
    int64_t SamplesToFrames(int64_t samples) const { return samples / Channels(); }
    int64_t BytesToFrames(int64_t bytes) const { return FrameBytes() > 0 ? bytes / FrameBytes() : 0; }
    int64_t BytesToSamples(int64_t bytes) const {
        return BytesPerSample() > 0 ? bytes / BytesPerSample() : 0;
    }
    double FramesToMilliseconds(int64_t frames) const {
        return rate > 0 ? double(frames) * 1000.0 / rate : 0.0;
    }
    double BytesToMilliseconds(int64_t bytes) const {
        return BytesPerSecond() > 0 ? double(bytes) * 1000.0 / double(BytesPerSecond()) : 0.0;
    }
    int64_t MillisecondsToFrames(int64_t ms) const { return int64_t(rate) * ms / 1000; }
    int64_t MillisecondsToBytes(int64_t ms) const { return BytesPerSecond() * ms / 1000; }

    // One step down when output refuses this format: two channels become one, else 16 bits become 8,
    // else the rate steps 48000, 44100, 32000, 24000, 22050, 16000, 11025, 8000. False when no step
    // is left (8000 Hz mono 8-bit, or a rate off that ladder).
    bool StepDown();
    // The bytes of one output block: 512 frames for every started 11025 Hz of rate, so about 46 ms at
    // 11025, 22050 and 44100 Hz. 0 for a format with no rate or a sample size outside 1..32 bits.
    int32_t BlockBytes() const;

    bool operator==(const ZAudioFormat&) const = default;

    int32_t stereo = 0;  // 0 = mono, otherwise two channels
    int32_t rate = 22050;
    int32_t bits = 16;
};

enum ZAudioEncoding : int32_t {
    kEncodingNone = 0,
    kEncodingSigned = 2,    // two's complement
    kEncodingUnsigned = 3,  // offset 128 (8 bits) or 32768 (16 bits)
    // Compressed Microsoft ADPCM; output that takes format tags is told tag 2.
    kEncodingADPCM = 16385,
};

enum ZAudioDecoderKind : int32_t {
    kDecoderNone = 0,  // uncompressed samples
    kDecoderMicrosoftADPCM = 8,
};

constexpr int32_t kByteOrderLittleEndian = 1;
constexpr int32_t kByteOrderBigEndian = 0;

class ZAudioEncodingFormat : public ZAudioFormat {
  public:
    ZAudioEncodingFormat() = default;
    // Uncompressed, little-endian, and the encoding customary for the sample size: unsigned 8-bit, signed
    // 16-bit, none otherwise.
    explicit ZAudioEncodingFormat(const ZAudioFormat& format)
        : ZAudioFormat(format), encoding(EncodingForBits(format.bits)) {}

    static int32_t EncodingForBits(int32_t bits) {
        return bits == 8 ? kEncodingUnsigned : bits == 16 ? kEncodingSigned : kEncodingNone;
    }

    bool operator==(const ZAudioEncodingFormat&) const = default;

    int32_t encoding = kEncodingSigned;
    int32_t byteOrder = kByteOrderLittleEndian;
    int32_t decoderKind = kDecoderNone;
};

// Writes bytes of silence in format: 0x80 bytes for unsigned 8-bit, 0x8000 in the format's byte order
// for unsigned 16-bit, zeros for signed samples. Other sample sizes are left as they are.
void FillSilence(void* data, int64_t bytes, const ZAudioEncodingFormat& format);
