#include "audio/ZAudioDecoder.h"

#include <algorithm>
#include <limits>
#include <utility>

void ZAudioDecoder::SetSource(std::shared_ptr<ZSoundReader> source) {
    source_ = std::move(source);
    position_ = 0;
}

int64_t ZAudioDecoder::SetPosition(int64_t frames) {
    position_ = output_.FramesToBytes(frames < 0 ? 0 : frames);
    return position_;
}

bool ZAudioDecoder::AtEnd() const {
    return source_ == nullptr || source_->PastEnd(position_);
}

void ZAudioNonDecoder::SetSource(std::shared_ptr<ZSoundReader> source) {
    ZAudioDecoder::SetSource(std::move(source));
    if (source_ != nullptr) {
        output_ = source_->GetFormat();
    }
}

const uint8_t* ZAudioNonDecoder::Decode(uint8_t* buffer, int32_t& frames, const ZAudioEncodingFormat& wanted,
                                        bool& error) {
    error = false;
    if (source_ == nullptr) {
        error = true;
        frames = 0;
        return nullptr;
    }
    // No conversion happens here: the caller's buffer only serves when it wants the output format as is.
    uint8_t* target = wanted == output_ ? buffer : nullptr;
    source_->SetPosition(position_);
    int64_t bytes = output_.FramesToBytes(frames < 0 ? 0 : frames);
    int32_t count = int32_t(std::min<int64_t>(bytes, std::numeric_limits<int32_t>::max()));
    const uint8_t* samples = source_->Read(target, count, error);
    position_ += count;
    frames = int32_t(output_.BytesToFrames(count));
    return samples;
}
