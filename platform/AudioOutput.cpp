#include "platform/AudioOutput.h"

#include "platform/NullAudioOutput.h"
#ifdef KEST_WITH_SDL
#include "platform/sdl/SdlAudio.h"
#endif

namespace platform {

namespace {

std::unique_ptr<AudioOutput> CreateNullAudioOutput() {
    return std::make_unique<NullAudioOutput>();
}

}  // namespace

const std::vector<AudioOutputEntry>& AudioOutputs() {
    // In order of preference; null can always run and comes last as the fallback.
    static const std::vector<AudioOutputEntry> outputs = {
#ifdef KEST_WITH_SDL
        {"sdl", "SDL2 audio queue", CreateSdlAudioOutput},
#endif
        {"null", "no sound, real-time pace only", CreateNullAudioOutput},
    };
    return outputs;
}

std::unique_ptr<AudioOutput> CreateAudioOutput(const std::string& name) {
    for (const AudioOutputEntry& entry : AudioOutputs()) {
        if (name == entry.name) {
            return entry.create();
        }
    }
    return nullptr;
}

}  // namespace platform
