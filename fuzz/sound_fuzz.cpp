// Reads arbitrary bytes as a WAVE and as an "RSX " sound: parses the header, reads the samples to the end
// in odd-sized pieces, then plays them again through the pass-through decoder.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "audio/ZRawSoundReader.h"
#include "audio/ZSoundRegistry.h"
#include "audio/ZWAVESoundReader.h"
#include "media/ZFile.h"
#include "platform/File.h"

namespace {

void ReadToEnd(ZSoundReader& reader) {
    static const int32_t kPieces[] = {5, 7, 1001, 33};
    uint8_t buffer[1024];
    bool error = false;
    for (size_t i = 0;; ++i) {
        int32_t count = kPieces[i % 4];
        if (reader.Read(i % 2 == 0 ? nullptr : buffer, count, error) == nullptr) {
            return;
        }
    }
}

void Decode(std::shared_ptr<ZSoundReader> reader) {
    ZAudioNonDecoder decoder;
    decoder.SetSource(std::move(reader));
    ZAudioEncodingFormat wanted = decoder.GetOutputFormat();
    uint8_t buffer[4096];
    bool error = false;
    while (!decoder.AtEnd()) {
        int32_t frames = 333;
        if (decoder.Decode(buffer, frames, wanted, error) == nullptr) {
            return;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) {
        return 0;
    }
    platform::MemoryFile bytes(data, size);
    ZFile file{ZFileSpec(bytes.GetPath().c_str())};
    if (!bytes.IsValid() || !file.Open(ZFileObject::kModeRead)) {
        return 0;
    }
    std::shared_ptr<ZSoundReader> readers[] = {std::make_shared<ZWAVESoundReader>(&file),
                                               std::make_shared<ZRawSoundReader>(&file)};
    for (auto& reader : readers) {
        if (reader->ParseHeader() == 0) {
            ReadToEnd(*reader);
            Decode(reader);
        }
    }
    return 0;
}
