#include <utility>

#include "audio/ZAudioDevice.h"

namespace {

ZAudioDeviceHook& Hook() {
    static ZAudioDeviceHook hook;
    return hook;
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
    return nullptr;  // the wave-out device on the chosen sound output comes next
}
