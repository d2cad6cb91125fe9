#include "audio/ZAudioFormat.h"

#include <cstring>
#include <iterator>

bool ZAudioFormat::StepDown() {
    if (stereo != 0) {
        stereo = 0;
        return true;
    }
    if (bits == 16) {
        bits = 8;
        return true;
    }
    static constexpr int32_t kLadder[] = {48000, 44100, 32000, 24000, 22050, 16000, 11025, 8000};
    for (size_t i = 0; i + 1 < std::size(kLadder); ++i) {
        if (rate == kLadder[i]) {
            rate = kLadder[i + 1];
            return true;
        }
    }
    return false;
}

int32_t ZAudioFormat::BlockBytes() const {
    if (rate <= 0 || bits <= 0 || bits > 32) {
        return 0;
    }
    int64_t bytes = int64_t(FrameBytes()) * ((int64_t(rate) + 11024) / 11025) * 512;
    return int32_t(bytes);  // under 2^31 for any positive 32-bit rate
}

void FillSilence(void* data, int64_t bytes, const ZAudioEncodingFormat& format) {
    if (data == nullptr || bytes <= 0) {
        return;
    }
    auto* out = static_cast<uint8_t*>(data);
    bool isUnsigned = format.encoding == kEncodingUnsigned;
    if (format.bits == 8) {
        std::memset(out, isUnsigned ? 0x80 : 0, size_t(bytes));
    } else if (format.bits == 16) {
        if (!isUnsigned) {
            std::memset(out, 0, size_t(bytes));
            return;
        }
        bool little = format.byteOrder == kByteOrderLittleEndian;
        for (int64_t i = 0; i + 1 < bytes; i += 2) {
            out[i] = little ? 0x00 : 0x80;
            out[i + 1] = little ? 0x80 : 0x00;
        }
    }
}
