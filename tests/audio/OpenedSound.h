// Sound bytes as an open file with a reader of the given type over it, its header parsed: how the audio
// tests turn the files of SoundWriter.h into readers.
#pragma once

#include <memory>
#include <string>

#include "audio/ZRawSoundReader.h"
#include "audio/ZWAVESoundReader.h"
#include "platform/File.h"

namespace soundtest {

struct OpenedSound {
    explicit OpenedSound(const std::string& bytes, ZTypeCode type = kTypeWave)
        : memory(bytes.data(), bytes.size()), file(ZFileSpec(memory.GetPath().c_str())) {
        file.Open(ZFileObject::kModeRead);
        if (type == kTypeWave) {
            reader = std::make_shared<ZWAVESoundReader>(&file);
        } else {
            reader = std::make_shared<ZRawSoundReader>(&file);
        }
        parsed = reader->ParseHeader();
    }

    platform::MemoryFile memory;
    ZFile file;
    std::shared_ptr<ZSoundReader> reader;
    int32_t parsed = -1;
};

}  // namespace soundtest
