#include "audio/ZRawSoundReader.h"

#include "core/ZByteCursor.h"

int32_t ZRawSoundReader::ParseHeader() {
    Reset();
    uint8_t header[kHeaderBytes];
    if (!ReadAt(0, header, kHeaderBytes)) {
        return -1;
    }
    ZByteCursor cursor(header, sizeof header);
    uint32_t tag = cursor.U32LE();
    uint32_t rate = cursor.U32LE();
    uint16_t bits = cursor.U16LE();
    uint16_t channels = cursor.U16LE();
    uint16_t compression = cursor.U16LE();
    if (tag != kTypeRawSound || compression != 0 || !SetPcmFormat(channels, rate, bits)) {
        return -1;
    }
    SetDataRange(kHeaderBytes, FileSize() - kHeaderBytes);
    return 0;
}
