#include <utility>

#include "audio/ZAudioDevice.h"
#include "audio/ZDirectSoundDevice.h"
#include "audio/ZWaveOutDevice.h"
#include "platform/AudioOutput.h"

namespace {

ZAudioDeviceHook& Hook() {
    static ZAudioDeviceHook hook;
    return hook;
}

// The output named in the options, else the preferred one of this build.
std::unique_ptr<platform::AudioOutput> ChosenOutput() {
    if (std::unique_ptr<platform::AudioOutput> output =
            platform::CreateAudioOutput(AudioOptions().outputName)) {
        return output;
    }
    return platform::AudioOutputs().front().create();
}

}  // namespace

void SetAudioDeviceHook(ZAudioDeviceHook hook) {
    Hook() = std::move(hook);
}

bool CheckDirectSound(bool& emulated) {
    emulated = false;
    return false;  // no DirectSound on this system
}

std::unique_ptr<ZAudioDevice> CreateAudioDevice(const ZAudioEncodingFormat& format, int32_t blockBytes) {
    if (!AudioOptions().audioEnabled) {
        return nullptr;
    }
    if (Hook()) {
        if (std::unique_ptr<ZAudioDevice> device = Hook()(format, blockBytes)) {
            return device;
        }
    }
    bool emulated = false;
    if (AudioOptions().tryDirectSound && CheckDirectSound(emulated) && !emulated) {
        // Only a system with DirectSound gets here, and its port supplies the looping buffer.
        return std::make_unique<ZDirectSoundDevice>(format, nullptr, blockBytes);
    }
    if (AudioOptions().tryWaveOut) {
        return std::make_unique<ZWaveOutDevice>(format, ChosenOutput(), blockBytes);
    }
    return nullptr;
}
