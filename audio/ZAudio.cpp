#include "audio/ZAudio.h"

#include <new>
#include <utility>

#include "audio/ZSoundRegistry.h"

bool OpenAudio(ZAudio& audio, const ZAudioEncodingFormat& format, int32_t blockBytes, int32_t levels) {
    CloseAudio(audio);
    std::unique_ptr<ZAudioDevice> device = CreateAudioDevice(format, blockBytes);
    if (device == nullptr) {
        return false;
    }
    // The device is the current one now, so starting output opens it.
    audio.device = std::move(device);
    StartAudioOutput();
    audio.mixer.reset(new (std::nothrow) ZAudioMixer(audio.device.get(), levels));
    if (audio.mixer == nullptr) {
        CloseAudio(audio);
        return false;
    }
    RegisterStandardSound();
    return true;
}

void CloseAudio(ZAudio& audio) {
    if (audio.device == nullptr && audio.mixer == nullptr) {
        return;
    }
    StopAudioOutput();
    // The mixer goes first: its thread services the device until it is joined.
    audio.mixer.reset();
    audio.device.reset();
}
