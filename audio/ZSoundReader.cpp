#include "audio/ZSoundReader.h"

#include <algorithm>
#include <new>

ZSoundReader::ZSoundReader(const ZFile* file) {
    if (file != nullptr) {
        file_ = *file;
    }
}

ZSoundReader::~ZSoundReader() = default;

void ZSoundReader::Reset() {
    position_ = 0;
    dataStart_ = 0;
    dataEnd_ = 0;
    format_ = ZAudioEncodingFormat();
}

bool ZSoundReader::SetPcmFormat(int32_t channels, int64_t rate, int32_t bits) {
    if (!IsValidLayout(channels, rate) || (bits != 8 && bits != 16)) {
        return false;
    }
    format_.stereo = channels == 2 ? 1 : 0;
    format_.rate = int32_t(rate);
    format_.bits = bits;
    format_.encoding = ZAudioEncodingFormat::EncodingForBits(bits);
    format_.byteOrder = kByteOrderLittleEndian;
    format_.decoderKind = kDecoderNone;
    return true;
}

void ZSoundReader::SetDataRange(int64_t start, int64_t size) {
    int64_t end = std::min(start + size, FileSize());
    int64_t frame = format_.FrameBytes();
    dataStart_ = start;
    dataEnd_ = end > start && frame > 0 ? start + (end - start) / frame * frame : start;
    position_ = 0;
}

int64_t ZSoundReader::FileSize() {
    return std::max<int64_t>(file_.GetSize(), 0);
}

bool ZSoundReader::ReadAt(int64_t offset, void* out, int32_t count) {
    if (offset < 0 || offset + count > FileSize()) {
        return false;
    }
    file_.Seek(int32_t(offset));
    return file_.Read(out, count) == count;
}

void ZSoundReader::SetPosition(int64_t offset) {
    int64_t frame = format_.FrameBytes();
    offset = std::clamp<int64_t>(offset, 0, dataEnd_ - dataStart_);
    position_ = frame > 0 ? offset / frame * frame : 0;
}

uint8_t* ZSoundReader::Read(uint8_t* buffer, int32_t& count, bool& error) {
    error = false;
    int64_t frame = format_.FrameBytes();
    if (count <= 0 || AtEnd() || frame <= 0) {
        count = 0;
        return nullptr;
    }
    // Whole frames only: a partial frame would shift every later sample.
    int64_t wanted = std::min<int64_t>(count, dataEnd_ - dataStart_ - position_) / frame * frame;
    count = int32_t(wanted);
    if (count == 0) {
        return nullptr;
    }
    if (buffer == nullptr) {
        if (bufferSize_ < count) {
            buffer_.reset(new (std::nothrow) uint8_t[size_t(count)]);
            bufferSize_ = buffer_ != nullptr ? count : 0;
        }
        if (buffer_ == nullptr) {
            count = 0;
            error = true;
            return nullptr;
        }
        buffer = buffer_.get();
    }
    if (!ReadAt(dataStart_ + position_, buffer, count)) {
        count = 0;
        error = true;
        return nullptr;
    }
    position_ += count;
    return buffer;
}
