#include "audio/ZSoundRegistry.h"

#include "audio/ZRawSoundReader.h"
#include "audio/ZWAVESoundReader.h"

bool ZSoundRegistry::RegisterReader(std::unique_ptr<ZSoundReader> prototype) {
    if (prototype == nullptr || FindReader(prototype->GetType()) != nullptr) {
        return false;
    }
    readers_.Append(new ZSoundReaderRegisterElement(std::move(prototype)));
    return true;
}

bool ZSoundRegistry::RegisterDecoder(std::unique_ptr<ZAudioDecoder> prototype) {
    if (prototype == nullptr || FindDecoder(prototype->GetKind()) != nullptr) {
        return false;
    }
    decoders_.Append(new ZAudioDecoderRegisterElement(std::move(prototype)));
    return true;
}

const ZSoundReader* ZSoundRegistry::FindReader(ZTypeCode type) const {
    for (ZListElement* e = readers_.GetHead(); e != nullptr; e = e->next) {
        auto* element = static_cast<ZSoundReaderRegisterElement*>(e);
        if (element->type == type) {
            return element->prototype.get();
        }
    }
    return nullptr;
}

const ZAudioDecoder* ZSoundRegistry::FindDecoder(int32_t kind) const {
    for (ZListElement* e = decoders_.GetHead(); e != nullptr; e = e->next) {
        auto* element = static_cast<ZAudioDecoderRegisterElement*>(e);
        if (element->kind == kind) {
            return element->prototype.get();
        }
    }
    return nullptr;
}

std::unique_ptr<ZSoundReader> ZSoundRegistry::OpenReader(ZTypeCode type, const ZFile* file) const {
    const ZSoundReader* prototype = FindReader(type);
    if (prototype == nullptr) {
        return nullptr;
    }
    std::unique_ptr<ZSoundReader> reader = prototype->CreateForFile(file);
    return reader->ParseHeader() == 0 ? std::move(reader) : nullptr;
}

const char* ZSoundRegistry::UnplayableReason(const ZAudioEncodingFormat& format) const {
    if (FindDecoder(format.decoderKind) != nullptr) {
        return nullptr;
    }
    return format.decoderKind == kDecoderMicrosoftADPCM ? "ADPCM sound is not supported"
                                                        : "this sound encoding is not supported";
}

ZSoundRegistry& SoundRegistry() {
    static ZSoundRegistry registry;
    return registry;
}

void RegisterStandardSound(ZSoundRegistry& registry) {
    registry.RegisterDecoder(std::make_unique<ZAudioNonDecoder>());
    registry.RegisterReader(std::make_unique<ZRawSoundReader>(nullptr));
    registry.RegisterReader(std::make_unique<ZWAVESoundReader>(nullptr));
}
