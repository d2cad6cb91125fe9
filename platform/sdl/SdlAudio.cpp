#include "platform/sdl/SdlAudio.h"

#include <SDL.h>

namespace platform {

namespace {

// The SDL sample format that is exactly the one asked for, or 0 when SDL has none.
SDL_AudioFormat SdlFormat(const AudioSpec& spec) {
    if (spec.bits == 8) {
        return spec.isSigned ? AUDIO_S8 : AUDIO_U8;
    }
    if (spec.bits == 16) {
        if (spec.isSigned) {
            return spec.bigEndian ? AUDIO_S16MSB : AUDIO_S16LSB;
        }
        return spec.bigEndian ? AUDIO_U16MSB : AUDIO_U16LSB;
    }
    return 0;
}

// SDL's hardware buffer in frames: a power of two near one block, so that SDL asks in pieces no larger
// than what we write.
Uint16 BufferFrames(const AudioSpec& spec, int32_t blockBytes) {
    int32_t frameBytes = spec.channels * (spec.bits / 8);
    int32_t frames = frameBytes > 0 ? blockBytes / frameBytes : 0;
    Uint16 power = 64;
    while (power < 32768 && power * 2 <= frames) {
        power = Uint16(power * 2);
    }
    return power;
}

class SdlAudioOutput final : public AudioOutput {
  public:
    ~SdlAudioOutput() override { Close(); }

    AudioOpenResult Open(const AudioSpec& spec, int32_t blockBytes) override {
        Close();
        SDL_AudioFormat format = SdlFormat(spec);
        if (format == 0 || spec.rate <= 0 || spec.channels < 1 || spec.channels > 2) {
            error_ = "SDL cannot play this sample format";
            return AudioOpenResult::kUnsupportedFormat;
        }
        // The framework handles SIGINT and SIGTERM itself.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            error_ = SDL_GetError();
            return AudioOpenResult::kFailed;
        }
        SDL_AudioSpec want{};
        want.freq = spec.rate;
        want.format = format;
        want.channels = Uint8(spec.channels);
        want.samples = BufferFrames(spec, blockBytes);
        want.callback = nullptr;  // queued, not pulled
        SDL_AudioSpec have{};
        // No changes allowed: SDL converts to what the hardware takes, so the queue takes our bytes as
        // they are.
        device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (device_ == 0) {
            error_ = SDL_GetError();
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return AudioOpenResult::kFailed;
        }
        written_ = 0;
        return AudioOpenResult::kOpened;
    }

    void Close() override {
        if (device_ == 0) {
            return;
        }
        SDL_CloseAudioDevice(device_);
        device_ = 0;
        // SDL counts its subsystem users, so the window keeps its own hold on SDL.
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }

    void Pause(bool paused) override {
        if (device_ != 0) {
            SDL_PauseAudioDevice(device_, paused ? 1 : 0);
        }
    }

    bool Write(const uint8_t* data, int32_t bytes) override {
        if (device_ == 0 || data == nullptr || bytes <= 0 ||
            SDL_QueueAudio(device_, data, Uint32(bytes)) != 0) {
            return false;
        }
        written_ += bytes;
        return true;
    }

    int64_t PlayedBytes() override { return written_ - QueuedBytes(); }

    int64_t QueuedBytes() override { return device_ != 0 ? int64_t(SDL_GetQueuedAudioSize(device_)) : 0; }

    std::string GetError() const override { return error_; }

  private:
    SDL_AudioDeviceID device_ = 0;
    int64_t written_ = 0;
    std::string error_;
};

}  // namespace

std::unique_ptr<AudioOutput> CreateSdlAudioOutput() {
    return std::make_unique<SdlAudioOutput>();
}

}  // namespace platform
