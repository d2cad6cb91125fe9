#include "audio/ZWAVESoundReader.h"

#include <algorithm>

namespace {

constexpr uint32_t kTagRiff = MakeTypeCode("RIFF");
constexpr uint32_t kTagFormat = MakeTypeCode("fmt ");
constexpr uint32_t kTagData = MakeTypeCode("data");
constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatADPCM = 2;
constexpr int64_t kChunkHeaderBytes = 8;
// The plain format fields, then the ADPCM extension: extra size, samples per block, coefficient count
// and the coefficient pairs.
constexpr int32_t kFormatBytes = 16;
constexpr int32_t kADPCMFormatBytes = kFormatBytes + 6 + ZMicrosoftADPCMConfig::kCoefficientCount * 4;

}  // namespace

ZWAVESoundReader::~ZWAVESoundReader() {
    ReleaseConfig();
}

void ZWAVESoundReader::ReleaseConfig() {
    if (config_ != nullptr) {
        config_->Release();
        config_ = nullptr;
    }
}

int32_t ZWAVESoundReader::ParseHeader() {
    Reset();
    ReleaseConfig();
    uint8_t riff[12];
    if (!ReadAt(0, riff, sizeof riff)) {
        return -1;
    }
    ZByteCursor header(riff, sizeof riff);
    uint32_t tag = header.U32LE();
    uint32_t riffSize = header.U32LE();
    if (tag != kTagRiff || header.U32LE() != kTypeWave) {
        return -1;
    }
    // 64-bit offsets, bounded by the file as well as by the RIFF size: a huge chunk size ends the walk
    // instead of wrapping around, and every step moves forward by at least a chunk header.
    int64_t limit = std::min(int64_t(riffSize) + kChunkHeaderBytes, FileSize());
    bool haveFormat = false;
    bool haveData = false;
    int64_t dataOffset = 0;
    int64_t dataSize = 0;
    for (int64_t offset = 12; offset + kChunkHeaderBytes <= limit;) {
        uint8_t chunk[kChunkHeaderBytes];
        if (!ReadAt(offset, chunk, sizeof chunk)) {
            return -1;
        }
        ZByteCursor cursor(chunk, sizeof chunk);
        uint32_t chunkTag = cursor.U32LE();
        int64_t size = cursor.U32LE();
        int64_t body = offset + kChunkHeaderBytes;
        if (chunkTag == kTagFormat) {
            if (!ParseFormat(body, size)) {
                return -1;
            }
            haveFormat = true;
            if (haveData && dataSize > 0) {
                break;
            }
        } else if (chunkTag == kTagData) {
            haveData = true;
            dataOffset = body;
            dataSize = size;
            if (haveFormat) {
                break;
            }
        }
        offset = body + size + (size & 1);  // chunks are padded to an even size
    }
    if (!haveFormat || !haveData) {
        return -1;
    }
    SetDataRange(dataOffset, dataSize);
    return 0;
}

bool ZWAVESoundReader::ParseFormat(int64_t offset, int64_t size) {
    if (size < kFormatBytes) {
        return false;
    }
    // Only the bytes the chunk holds: a cursor over them refuses an extension that runs past its end.
    uint8_t bytes[kADPCMFormatBytes];
    int32_t count = int32_t(std::min<int64_t>(size, kADPCMFormatBytes));
    if (!ReadAt(offset, bytes, count)) {
        return false;
    }
    ZByteCursor body(bytes, size_t(count));
    uint16_t formatTag = body.U16LE();
    uint16_t channels = body.U16LE();
    uint32_t rate = body.U32LE();
    uint32_t bytesPerSecond = body.U32LE();
    uint16_t blockAlign = body.U16LE();
    uint16_t bits = body.U16LE();
    if (formatTag == kFormatPcm) {
        ReleaseConfig();  // a later plain format replaces an earlier compressed one
        return SetPcmFormat(channels, rate, bits);
    }
    if (formatTag == kFormatADPCM) {
        return ParseADPCM(body, channels, rate, bytesPerSecond, blockAlign, bits);
    }
    return false;
}

bool ZWAVESoundReader::ParseADPCM(ZByteCursor& body, int32_t channels, uint32_t rate, uint32_t bytesPerSecond,
                                  uint16_t blockAlign, uint16_t bits) {
    // The format has 4-bit samples only; the sample size also gives the frame size reads are cut to.
    if (!IsValidLayout(channels, rate) || bits != 4) {
        return false;
    }
    auto* config = new ZMicrosoftADPCMConfig();
    config->formatTag = kFormatADPCM;
    config->channels = uint16_t(channels);
    config->rate = rate;
    config->bytesPerSecond = bytesPerSecond;
    config->blockAlign = blockAlign;
    config->bits = bits;
    body.U16LE();  // the extension's size, which the fields below fix
    config->samplesPerBlock = body.U16LE();
    config->coefficientCount = body.U16LE();
    for (auto& pair : config->coefficients) {
        pair[0] = body.S16LE();
        pair[1] = body.S16LE();
    }
    if (!body.Ok() || config->coefficientCount != ZMicrosoftADPCMConfig::kCoefficientCount) {
        config->Release();
        return false;
    }
    ReleaseConfig();
    config_ = config;
    format_.stereo = channels == 2 ? 1 : 0;
    format_.rate = int32_t(rate);
    format_.bits = bits;
    format_.encoding = kEncodingADPCM;
    format_.byteOrder = kByteOrderLittleEndian;
    format_.decoderKind = kDecoderMicrosoftADPCM;
    return true;
}
