#include "audio/ZSoundChannel.h"

#include <algorithm>
#include <limits>
#include <new>
#include <utility>

namespace {

// A format whose samples can be converted: uncompressed, 8 or 16 bits, signed or unsigned.
bool IsConvertible(const ZAudioEncodingFormat& format) {
    return (format.bits == 8 || format.bits == 16) &&
           (format.encoding == kEncodingSigned || format.encoding == kEncodingUnsigned) && format.rate > 0 &&
           format.decoderKind == kDecoderNone;
}

// One sample as a signed 16-bit value: 8-bit samples take the high byte.
int32_t ReadSample(const uint8_t* p, const ZAudioEncodingFormat& format) {
    bool isUnsigned = format.encoding == kEncodingUnsigned;
    if (format.bits == 8) {
        return (isUnsigned ? int32_t(p[0]) - 128 : int32_t(int8_t(p[0]))) * 256;
    }
    uint32_t raw = format.byteOrder == kByteOrderLittleEndian ? uint32_t(p[0]) | uint32_t(p[1]) << 8
                                                              : uint32_t(p[0]) << 8 | uint32_t(p[1]);
    return isUnsigned ? int32_t(raw) - 32768 : int32_t(int16_t(raw));
}

void WriteSample(uint8_t* p, const ZAudioEncodingFormat& format, int32_t value) {
    bool isUnsigned = format.encoding == kEncodingUnsigned;
    if (format.bits == 8) {
        int32_t high = value >> 8;  // rounds towards minus infinity, so -1 stays below zero
        p[0] = uint8_t(isUnsigned ? high + 128 : high);
        return;
    }
    uint32_t raw = uint32_t(isUnsigned ? value + 32768 : value) & 0xFFFFu;
    bool little = format.byteOrder == kByteOrderLittleEndian;
    p[0] = uint8_t(little ? raw : raw >> 8);
    p[1] = uint8_t(little ? raw >> 8 : raw);
}

// Mono becomes stereo by playing the one sample on both sides; stereo becomes mono as the mean.
void ConvertFrame(const uint8_t* source, const ZAudioEncodingFormat& from, uint8_t* dest,
                  const ZAudioEncodingFormat& to) {
    int32_t left = ReadSample(source, from);
    int32_t right = from.Channels() == 2 ? ReadSample(source + from.BytesPerSample(), from) : left;
    if (to.Channels() == 2) {
        WriteSample(dest, to, left);
        WriteSample(dest + to.BytesPerSample(), to, right);
    } else {
        WriteSample(dest, to, (left + right) >> 1);
    }
}

}  // namespace

ZSoundChannel::ZSoundChannel(std::shared_ptr<ZSoundReader> source, std::unique_ptr<ZAudioDecoder> decoder)
    : source_(std::move(source)), decoder_(std::move(decoder)) {
    if (source_ == nullptr || decoder_ == nullptr) {
        Finish(true);
        return;
    }
    sourceFormat_ = source_->GetFormat();
    decoder_->SetSource(source_);
}

std::shared_ptr<ZSoundChannel> ZSoundChannel::Create(std::shared_ptr<ZSoundReader> source,
                                                     const ZSoundRegistry& registry, const char** why) {
    const char* reason =
        source == nullptr ? "there is no sound to play" : registry.UnplayableReason(source->GetFormat());
    if (why != nullptr) {
        *why = reason;
    }
    if (reason != nullptr) {
        return nullptr;
    }
    std::unique_ptr<ZAudioDecoder> decoder = registry.FindDecoder(source->GetFormat().decoderKind)->Create();
    return std::make_shared<ZSoundChannel>(std::move(source), std::move(decoder));
}

int64_t ZSoundChannel::GetTotalFrames() const {
    if (source_ == nullptr) {
        return 0;
    }
    return sourceFormat_.BytesToFrames(source_->GetDataEnd() - source_->GetDataStart());
}

void ZSoundChannel::Finish(bool failed) {
    if (failed) {
        failed_.store(true);
    }
    finished_.store(true);
}

const uint8_t* ZSoundChannel::Render(uint8_t* dest, const ZAudioEncodingFormat& format, int32_t& frames) {
    if (finished_.load() || frames <= 0) {
        frames = 0;
        return nullptr;
    }
    if (!(decoder_->GetOutputFormat() == format)) {
        return RenderConverted(dest, format, frames);
    }
    // The same format: the decoder's bytes go out untouched.
    int32_t asked = frames;
    bool error = false;
    decoder_->SetPosition(sourceFrame_);
    const uint8_t* samples = decoder_->Decode(dest, frames, format, error);
    if (samples == nullptr || frames <= 0) {
        frames = 0;
        Finish(error);
        return nullptr;
    }
    sourceFrame_ += frames;
    phase_ = 0;
    renderedFrames_.store(sourceFrame_);
    if (frames < asked || decoder_->AtEnd()) {
        Finish(false);
    }
    return samples;
}

const uint8_t* ZSoundChannel::RenderConverted(uint8_t* dest, const ZAudioEncodingFormat& to,
                                              int32_t& frames) {
    const ZAudioEncodingFormat from = decoder_->GetOutputFormat();
    if (!IsConvertible(from)) {
        frames = 0;
        Finish(true);
        return nullptr;
    }
    if (!IsConvertible(to)) {
        frames = 0;
        return nullptr;
    }
    // Nearest earlier frame: output frame i plays sound frame (phase_ + i * from.rate) / to.rate, counted
    // from sourceFrame_. The phase carries over, so that blocks join without drift.
    int64_t wanted = frames;
    int64_t needed = (phase_ + (wanted - 1) * from.rate) / to.rate + 1;
    int32_t count = int32_t(std::min<int64_t>(needed, std::numeric_limits<int32_t>::max()));
    bool error = false;
    decoder_->SetPosition(sourceFrame_);
    const uint8_t* samples = decoder_->Decode(nullptr, count, from, error);
    if (samples == nullptr || count <= 0) {
        frames = 0;
        Finish(error);
        return nullptr;
    }
    // At the end of the sound only the output frames whose sound frame arrived are rendered.
    int64_t available = (int64_t(count) * to.rate - phase_ + from.rate - 1) / from.rate;
    int64_t n = std::min(wanted, available);
    uint8_t* out = dest != nullptr ? dest : GrowStorage(to.FramesToBytes(n));
    if (out == nullptr) {
        frames = 0;
        return nullptr;
    }
    for (int64_t i = 0; i < n; ++i) {
        int64_t frame = (phase_ + i * from.rate) / to.rate;
        ConvertFrame(samples + from.FramesToBytes(frame), from, out + to.FramesToBytes(i), to);
    }
    int64_t stepped = phase_ + n * from.rate;
    sourceFrame_ += stepped / to.rate;
    phase_ = stepped % to.rate;
    // Stepping down in rate may step over the sound's last frames.
    renderedFrames_.store(std::min(sourceFrame_, GetTotalFrames()));
    frames = int32_t(n);
    decoder_->SetPosition(sourceFrame_);
    if (count < needed || decoder_->AtEnd()) {
        Finish(false);
    }
    return out;
}

uint8_t* ZSoundChannel::GrowStorage(int64_t bytes) {
    if (bytes > storageSize_) {
        storage_.reset(new (std::nothrow) uint8_t[size_t(bytes)]);
        storageSize_ = storage_ != nullptr ? bytes : 0;
    }
    return storage_.get();
}
