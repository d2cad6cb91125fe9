// The prototypes of the sound readers (by file type) and of the decoders (by decoder kind). The program
// installs the standard ones through RegisterStandardSound when it opens audio; nothing registers itself.
#pragma once

#include <cstdint>
#include <memory>

#include "audio/ZAudioDecoder.h"
#include "audio/ZSoundReader.h"
#include "core/ZLinkedList.h"

class ZSoundReaderRegisterElement : public ZListElement {
  public:
    explicit ZSoundReaderRegisterElement(std::unique_ptr<ZSoundReader> prototype)
        : prototype(std::move(prototype)), type(this->prototype->GetType()) {}

    std::unique_ptr<ZSoundReader> prototype;
    ZTypeCode type;
};

class ZAudioDecoderRegisterElement : public ZListElement {
  public:
    explicit ZAudioDecoderRegisterElement(std::unique_ptr<ZAudioDecoder> prototype)
        : prototype(std::move(prototype)), kind(this->prototype->GetKind()) {}

    std::unique_ptr<ZAudioDecoder> prototype;
    int32_t kind;
};

class ZSoundRegistry {
  public:
    // Takes the prototype. A type or kind already registered keeps its first prototype, so that opening
    // audio a second time registers nothing twice; the result is then false.
    bool RegisterReader(std::unique_ptr<ZSoundReader> prototype);
    bool RegisterDecoder(std::unique_ptr<ZAudioDecoder> prototype);

    // The prototypes, not new objects; null when none is registered.
    const ZSoundReader* FindReader(ZTypeCode type) const;
    const ZAudioDecoder* FindDecoder(int32_t kind) const;
    // A new reader of type for file with its header parsed; null for an unknown type or a refused header.
    std::unique_ptr<ZSoundReader> OpenReader(ZTypeCode type, const ZFile* file) const;
    // Why a stream with this format cannot be played through the registered decoders, or null when it can.
    const char* UnplayableReason(const ZAudioEncodingFormat& format) const;

    int32_t GetReaderCount() const { return readers_.GetCount(); }
    int32_t GetDecoderCount() const { return decoders_.GetCount(); }

  private:
    ZLinkedList readers_;
    ZLinkedList decoders_;
};

// The process-wide registry, destroyed (with its prototypes) at exit.
ZSoundRegistry& SoundRegistry();
// The pass-through decoder, then the raw and the WAVE readers.
void RegisterStandardSound(ZSoundRegistry& registry = SoundRegistry());
